// The window's placement, page names and loop waits, and Direct3D: the WARP fallback, a lost
// device rebuilt, and a failed rebuild that leaves no renderer on a null device.
#include "app/window.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/d3d.h"
#include "app/frame_loop.h"
#include "app/screenshot.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"

namespace {

TEST(Window, RectScaledCappedByTheWorkAreaAndCentred) {
    // work area, scale -> window rectangle
    const std::tuple<RECT, float, RECT> cases[] = {
        {{0, 0, 1920, 1040}, 1.0f, {360, 130, 1560, 910}},
        {{0, 0, 1920, 1040}, 1.5f, {60, 20, 1860, 1020}},     // 1800 x 1170, the height capped
        {{100, 50, 1380, 850}, 1.25f, {120, 70, 1360, 830}},  // both capped, offset work area
        {{0, 0, 2561, 1441}, 1.0f, {680, 330, 1880, 1110}},   // odd margins: integer division
    };
    for (const auto& [work, scale, expected] : cases) {
        const RECT r = MainWindowRect(work, scale);
        EXPECT_TRUE(r.left == expected.left && r.top == expected.top && r.right == expected.right &&
                    r.bottom == expected.bottom) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST(Window, PageNamesExactAndCaseSensitive) {
    const std::pair<const char*, int> names[] = {{"apache", 1}, {"php", 2},  {"mysql", 3}, {"components", 4},
                                                 {"logs", 5},   {"prefs", 6}, {"PHP", 0},  {"update", 0},
                                                 {"", 0},       {"dashboard", 0}};
    for (const auto& [name, page] : names) EXPECT_EQ(PageFromName(name), page) << name;
}

TEST(FrameLoop, WaitsAndCaptureCount) {
    // screenshot, hidden, ms since input, busy -> wait
    EXPECT_EQ(FrameWaitMs(false, true, 0, true), 400u);
    EXPECT_EQ(FrameWaitMs(false, false, 749, false), 0u);
    EXPECT_EQ(FrameWaitMs(false, false, 750, false), 100u);
    EXPECT_EQ(FrameWaitMs(false, false, 5000, true), 0u);
    EXPECT_EQ(FrameWaitMs(true, false, 5000, false), 0u);
    EXPECT_EQ(FrameWaitMs(true, true, 5000, false), 0u);
    // "At least": 0 or a negative count captures the first frame instead of never.
    EXPECT_FALSE(CaptureDue(13, 14));
    EXPECT_TRUE(CaptureDue(14, 14));
    EXPECT_TRUE(CaptureDue(1, 0));
    EXPECT_TRUE(CaptureDue(1, -5));
}

TEST(Screenshot, RowsAtThePitchPackedAsOpaqueBgra) {
    // 2 x 2 pixels, rows 12 bytes apart (4 of padding).
    const uint8_t rows[] = {1, 2, 3, 0, 4, 5, 6, 7, 9, 9, 9, 9, 10, 11, 12, 13, 14, 15, 16, 17, 9, 9, 9, 9};
    EXPECT_EQ(PackOpaqueBgra(rows, 12, 2, 2),
              (std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255, 12, 11, 10, 255, 16, 15, 14, 255}));
}

// The drivers asked for, with buffer count and swap effect; only the hardware works, when allowed.
std::vector<std::tuple<D3D_DRIVER_TYPE, UINT, DXGI_SWAP_EFFECT>> g_attempts;
bool g_hardwareWorks = false;

HRESULT RecordingFactory(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                         ID3D11Device** device, ID3D11DeviceContext** context) {
    g_attempts.emplace_back(driver, desc.BufferCount, desc.SwapEffect);
    if (driver != D3D_DRIVER_TYPE_HARDWARE || !g_hardwareWorks) return DXGI_ERROR_UNSUPPORTED;
    return ::D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &desc,
                                           swapChain, device, nullptr, context);
}

class Direct3D : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 64, 48);
        ASSERT_TRUE(window);
        g_attempts.clear();
        SetDeviceFactory(RecordingFactory);
    }
    void TearDown() override {
        SetDeviceFactory(nullptr);
        if (ImGui::GetCurrentContext()) {
            if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplDX11_Shutdown();
            ImGui::DestroyContext();
        }
        CleanupDeviceD3D();
        ::DestroyWindow(window);
    }
    HWND window = nullptr;
};

TEST_F(Direct3D, HardwareFirstThenWarpWithOneDiscardBuffer_FalseWithoutEither) {
    g_hardwareWorks = false;
    EXPECT_FALSE(CreateDeviceD3D(window));
    EXPECT_EQ(g_attempts, (decltype(g_attempts){{D3D_DRIVER_TYPE_HARDWARE, 2, DXGI_SWAP_EFFECT_FLIP_DISCARD},
                                                {D3D_DRIVER_TYPE_WARP, 1, DXGI_SWAP_EFFECT_DISCARD}}));
    EXPECT_FALSE(D3dDevice() || D3dContext() || D3dSwapChain() || D3dRenderTarget());

    g_hardwareWorks = true;
    ASSERT_TRUE(CreateDeviceD3D(window));
    EXPECT_TRUE(D3dDevice() && D3dContext() && D3dSwapChain() && D3dRenderTarget());
    ResizeRenderTarget(80, 60);
    EXPECT_TRUE(D3dRenderTarget());
}

TEST_F(Direct3D, LostDeviceRebuiltWithTheRenderer_AFailedRebuildLeavesNoRendererOnANullDevice) {
    g_hardwareWorks = true;
    ASSERT_TRUE(CreateDeviceD3D(window));
    ImGui::CreateContext();
    ASSERT_TRUE(ImGui_ImplDX11_Init(D3dDevice(), D3dContext()));
    ID3D11Device* const before = D3dDevice();
    EXPECT_TRUE(RecoverAfterPresent(S_OK, window));
    EXPECT_TRUE(RecoverAfterPresent(DXGI_STATUS_OCCLUDED, window));
    EXPECT_EQ(D3dDevice(), before) << "only a removed or reset device is rebuilt";

    EXPECT_TRUE(RecoverAfterPresent(DXGI_ERROR_DEVICE_RESET, window));
    EXPECT_TRUE(D3dDevice() && D3dRenderTarget());
    EXPECT_TRUE(ImGui::GetIO().BackendRendererUserData);

    g_hardwareWorks = false;
    EXPECT_FALSE(RecoverAfterPresent(DXGI_ERROR_DEVICE_REMOVED, window));
    EXPECT_EQ(D3dDevice(), nullptr);
    EXPECT_EQ(ImGui::GetIO().BackendRendererUserData, nullptr) << "no renderer initialised on a null device";
}

}  // namespace

// The window's placement, page names, loop waits and what its procedure records for the loop (the
// session's lock among it), and Direct3D: the WARP fallback, a lost device rebuilt with the logo
// made on the new device, and a failed rebuild that leaves no renderer on a null device.
#include "app/window.h"

#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "app/d3d.h"
#include "app/frame_loop.h"
#include "app/screenshot.h"
#include "app/tray.h"
#include "app/tray_model.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "ui/logo.h"
#include "ui/state.h"

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
    constexpr HRESULT kOccluded = DXGI_STATUS_OCCLUDED;
    // screenshot, hidden, ms since input, busy, last frame left out, last Present -> wait
    const std::tuple<bool, bool, uint64_t, bool, bool, HRESULT, DWORD> waits[] = {
        {false, true, 0, true, false, S_OK, 400},
        {false, true, 0, true, true, S_OK, 400},
        {false, false, 749, false, false, S_OK, 0},
        {false, false, 750, false, false, S_OK, 100},
        {false, false, 750, false, true, S_OK, 100},
        {false, false, 5000, true, false, S_OK, 0},
        // A frame left out did not wait in Present for vertical sync: the loop must not spin.
        {false, false, 5000, true, true, S_OK, kSkippedFrameWaitMs},
        {false, false, 10, false, true, S_OK, kSkippedFrameWaitMs},
        // Nor does an occluded Present (a locked screen), even while a job runs or the user acts.
        {false, false, 10, true, true, kOccluded, 100},
        {false, true, 10, true, false, kOccluded, 400},
        {false, false, 5000, true, false, DXGI_ERROR_DEVICE_RESET, 0},
        {true, false, 5000, false, false, S_OK, 0},
        {true, true, 5000, false, true, kOccluded, 0},
    };
    for (const auto& [screenshot, hidden, sinceInput, busy, skipped, present, wait] : waits)
        EXPECT_EQ(FrameWaitMs(screenshot, hidden, sinceInput, busy, skipped, present), wait)
            << screenshot << hidden << " " << sinceInput << " " << busy << skipped << " " << std::hex << present;
    EXPECT_GT(kSkippedFrameWaitMs, 0u);
    // "At least": 0 or a negative count captures the first frame instead of never.
    EXPECT_FALSE(CaptureDue(13, 14));
    EXPECT_TRUE(CaptureDue(14, 14));
    EXPECT_TRUE(CaptureDue(1, 0));
    EXPECT_TRUE(CaptureDue(1, -5));
}

TEST(Window, PaintSizeAndDpiChangeAskTheLoopForAPresentedFrame_PaintValidates) {
    // The capture class shares the procedure; a main-class window would take the hand-over of
    // the single-instance test running beside this one.
    const HWND window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 320, 200);
    ASSERT_TRUE(window);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    (void)TakeRepaintRequest();
    UINT width = 0, height = 0;
    (void)TakePendingSize(width, height);
    RECT suggested{10, 10, 1210, 790};
    // message, its parameters -> the loop must present its next frame
    const std::tuple<const char*, UINT, WPARAM, LPARAM, bool> messages[] = {
        {"paint", WM_PAINT, 0, 0, true},
        {"size", WM_SIZE, SIZE_RESTORED, MAKELPARAM(900, 600), true},
        {"maximised", WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(1600, 1000), true},
        {"minimised", WM_SIZE, SIZE_MINIMIZED, 0, false},
        {"dpi", WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested), true},
        {"mouse", WM_MOUSEMOVE, 0, MAKELPARAM(5, 5), false},
        {"another message", WM_NULL, 0, 0, false},
    };
    for (const auto& [name, message, wParam, lParam, repaint] : messages) {
        ::InvalidateRect(window, nullptr, FALSE);
        ::SendMessageW(window, message, wParam, lParam);
        EXPECT_EQ(TakeRepaintRequest(), repaint) << name;
        EXPECT_FALSE(TakeRepaintRequest()) << name << ": the request is taken once";
        if (message == WM_PAINT) {
            EXPECT_FALSE(::GetUpdateRect(window, nullptr, FALSE)) << "WM_PAINT validates";
        }
    }
    ::DestroyWindow(window);
}

std::vector<std::tuple<HWND, UINT, DWORD>> g_allowed;

BOOL WINAPI RecordingFilter(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
    g_allowed.emplace_back(window, message, action);
    return TRUE;
}

// The tray's side of the window: its notifications are left to the loop, and "TaskbarCreated" is
// let through (an elevated window would not get it from a restarted Explorer otherwise).
TEST(Window, OneTrayClickShowsItOnce_ARightClickLeavesTheMenuToTheLoop_TaskbarCreatedLetThrough) {
    const HWND window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 320, 200);
    ASSERT_TRUE(window);
    ASSERT_FALSE(::IsWindowVisible(window));
    const auto notify = [&](unsigned event) { ::SendMessageW(window, kTrayCallbackMessage, 1, MAKELPARAM(event, 1)); };
    TraySetClockForTests([]() -> uint64_t { return 5000; });  // both halves of each click at one moment, whatever the load
    notify(WM_LBUTTONUP);
    notify(NIN_SELECT);
    TrayRunRequests();  // as the loop does after its pump
    EXPECT_TRUE(::IsWindowVisible(window)) << "shown once, not shown and hidden again";
    notify(WM_RBUTTONUP);
    notify(WM_CONTEXTMENU);
    EXPECT_TRUE(TrayTakeRequests().menu) << "left to the loop";
    TraySetClockForTests(nullptr);
    SetMessageFilterForTests(RecordingFilter);
    RegisterTaskbarCreated(window);
    SetMessageFilterForTests(nullptr);
    EXPECT_EQ(g_allowed, (decltype(g_allowed){{window, ::RegisterWindowMessageW(L"TaskbarCreated"), DWORD(MSGFLT_ALLOW)}}));
    ::DestroyWindow(window);
}

std::vector<std::pair<HWND, DWORD>> g_watched;
std::vector<HWND> g_unwatched;
BOOL g_watchAnswer = TRUE;
bool g_lockedAnswer = true;
std::vector<std::string> g_sessionCalls;   // "watch" and "ask", in the order they came

// The window asks for its session's lock and unlock while it exists, and how the session stands
// when it is made (a screen locked already sends no notification); its procedure only records them,
// and other changes of the session leave the lock as it was. Without the notifications it would
// never hear of the unlock: the lock it is made on is then left unseen, and it draws.
TEST(Window, SessionLock_AskedWhileTheWindowExists_LockedAtItsMaking_ThenAsNotified) {
    SetSessionNotificationForTests(
        [](HWND window, DWORD flags) -> BOOL {
            g_sessionCalls.push_back("watch");
            return g_watched.emplace_back(window, flags), g_watchAnswer;
        },
        [](HWND window) -> BOOL { return g_unwatched.push_back(window), TRUE; },
        [] { return g_sessionCalls.push_back("ask"), g_lockedAnswer; });
    g_watchAnswer = FALSE;
    const HWND unwatched = CreateCaptureWindow(::GetModuleHandleW(nullptr), 320, 200);
    ASSERT_TRUE(unwatched);
    EXPECT_FALSE(SessionLocked()) << "made on a locked screen, its notifications refused";
    ::DestroyWindow(unwatched);
    g_watched.clear();
    g_unwatched.clear();

    g_watchAnswer = TRUE;
    const HWND window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 320, 200);
    ASSERT_TRUE(window);
    EXPECT_EQ(g_watched, (decltype(g_watched){{window, DWORD(NOTIFY_FOR_THIS_SESSION)}}));
    EXPECT_TRUE(SessionLocked()) << "made on a locked screen";
    // change of the session -> locked after it
    for (const auto& [change, locked] : {std::pair{WTS_SESSION_UNLOCK, false}, {WTS_SESSION_LOCK, true},
                                         {WTS_CONSOLE_DISCONNECT, true}, {WTS_SESSION_UNLOCK, false}}) {
        ::SendMessageW(window, WM_WTSSESSION_CHANGE, change, 1);
        EXPECT_EQ(SessionLocked(), locked) << change;
    }
    ::DestroyWindow(window);
    EXPECT_EQ(g_unwatched, (std::vector<HWND>{window}));

    // The usual start, on an unlocked screen: registered before the ask, so that a lock coming
    // between the two, or any time later, is heard of.
    g_lockedAnswer = false;
    g_sessionCalls.clear();
    const HWND unlocked = CreateCaptureWindow(::GetModuleHandleW(nullptr), 320, 200);
    ASSERT_TRUE(unlocked);
    EXPECT_EQ(g_sessionCalls, (std::vector<std::string>{"watch", "ask"}));
    EXPECT_FALSE(SessionLocked()) << "made on an unlocked screen";
    ::SendMessageW(unlocked, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 1);
    EXPECT_TRUE(SessionLocked()) << "locked later";
    ::DestroyWindow(unlocked);
    g_lockedAnswer = true;
    SetSessionNotificationForTests(nullptr, nullptr, nullptr);
}

// The session service's answer as WTSINFOEXW lays it out: the level at offset 0, the level-1
// SessionFlags at 16, 232 bytes in all; WTS_SESSIONSTATE_LOCK is 0, UNLOCK 1, unknown -1.
TEST(Window, SessionInfo_LockedOnlyByLevelOneWithTheLockState) {
    // bytes returned, level, SessionFlags -> locked
    const std::tuple<size_t, DWORD, LONG, bool> answers[] = {
        {232, 1, 0, true}, {232, 1, 1, false}, {232, 1, -1, false}, {232, 2, 0, false},
        {231, 1, 0, false}, {400, 1, 0, true},
    };
    for (const auto& [bytes, level, flags, locked] : answers) {
        alignas(8) unsigned char answer[400] = {};
        std::memcpy(answer, &level, sizeof(level));
        std::memcpy(answer + 16, &flags, sizeof(flags));
        EXPECT_EQ(SessionInfoSaysLocked(answer, bytes), locked) << bytes << " " << level << " " << flags;
    }
    EXPECT_FALSE(SessionInfoSaysLocked(nullptr, 232));
}

TEST(Screenshot, RowsAtThePitchPackedAsOpaqueBgra) {
    // 2 x 2 pixels, rows 12 bytes apart (4 of padding).
    const uint8_t rows[] = {1, 2, 3, 0, 4, 5, 6, 7, 9, 9, 9, 9, 10, 11, 12, 13, 14, 15, 16, 17, 9, 9, 9, 9};
    EXPECT_EQ(PackOpaqueBgra(rows, 12, 2, 2),
              (std::vector<uint8_t>{3, 2, 1, 255, 6, 5, 4, 255, 12, 11, 10, 255, 16, 15, 14, 255}));
}

// The drivers asked for, with buffer count and swap effect; only the hardware works, when allowed.
std::vector<std::tuple<D3D_DRIVER_TYPE, UINT, DXGI_SWAP_EFFECT>> g_attempts;
UINT g_flagsAskedFor = 0;  // of every attempt
bool g_hardwareWorks = false;

HRESULT RecordingFactory(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                         ID3D11Device** device, ID3D11DeviceContext** context) {
    g_attempts.emplace_back(driver, desc.BufferCount, desc.SwapEffect);
    g_flagsAskedFor |= desc.Flags;
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
    EXPECT_EQ(g_flagsAskedFor, 0u) << "no display-mode switches";
}

TEST_F(Direct3D, AltEnterLeavesTheWindowAWindow) {
    g_hardwareWorks = true;
    ASSERT_TRUE(CreateDeviceD3D(window));
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    // DXGI watches the window's posted messages for Alt+Enter (bit 29: Alt held).
    ::PostMessageW(window, WM_SYSKEYDOWN, VK_RETURN, LPARAM(1 | 1 << 29));
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    BOOL fullScreen = TRUE;
    ASSERT_TRUE(SUCCEEDED(D3dSwapChain()->GetFullscreenState(&fullScreen, nullptr)));
    EXPECT_FALSE(fullScreen);
    if (fullScreen) D3dSwapChain()->SetFullscreenState(FALSE, nullptr);  // released windowed
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

// The device a view was made on; the reference GetDevice adds is given back at once.
ID3D11Device* DeviceOf(ID3D11ShaderResourceView* view) {
    ID3D11Device* device = nullptr;
    view->GetDevice(&device);
    if (device) device->Release();
    return device;
}

TEST_F(Direct3D, LostDevice_TheLogoIsMadeAgainOnTheNewDevice_NoneWhenTheRebuildFails) {
    (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the logo is decoded with WIC
    g_hardwareWorks = true;
    ASSERT_TRUE(CreateDeviceD3D(window));
    ImGui::CreateContext();
    ASSERT_TRUE(ImGui_ImplDX11_Init(D3dDevice(), D3dContext()));
    UiState& state = ui::State();
    state.device = D3dDevice();
    state.logo = CreateLogoTexture(D3dDevice());
    ASSERT_TRUE(state.logo) << "the test program carries the logo resource";
    // Held, so that nothing new can be made at their addresses while the test compares them.
    ID3D11Device* const oldDevice = D3dDevice();
    ID3D11ShaderResourceView* const oldLogo = state.logo;
    oldDevice->AddRef();
    oldLogo->AddRef();

    for (const HRESULT lost : {DXGI_ERROR_DEVICE_REMOVED, DXGI_ERROR_DEVICE_RESET}) {
        ASSERT_TRUE(RecoverAfterPresent(lost, window));
        ASSERT_NE(D3dDevice(), oldDevice);
        EXPECT_EQ(state.device, D3dDevice());
        ASSERT_TRUE(state.logo) << "the logo is made again";
        EXPECT_NE(state.logo, oldLogo);
        EXPECT_EQ(DeviceOf(state.logo), D3dDevice()) << "a view of the new device, never of the old one";
    }

    g_hardwareWorks = false;
    EXPECT_FALSE(RecoverAfterPresent(DXGI_ERROR_DEVICE_REMOVED, window));
    EXPECT_EQ(state.logo, nullptr);
    EXPECT_EQ(state.device, nullptr) << "the interface keeps no released device";
    oldLogo->Release();
    oldDevice->Release();
}

}  // namespace

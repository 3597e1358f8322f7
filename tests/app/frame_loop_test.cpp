// The frame loop as the window runs it, with the whole interface on a root of stand-in builds
// whose servers do not run, and on an empty root: idle, uncovered and restyled, on a locked
// session, clicked from the tray, and on a device rebuilt at a lower feature level.
#include "app/frame_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/d3d.h"
#include "app/tray.h"
#include "app/window.h"
#include "core/config.h"
#include "core/files.h"
#include "core/online.h"
#include "core/settings.h"
#include "core/text.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "tests/control/control_fixture.h"
#include "ui/fonts.h"
#include "ui/ui.h"

namespace {

constexpr int kSettlePasses = 15;  // the interface's windows settle in a few frames
constexpr int kWatchedPasses = 10;
constexpr int kMaxTicks = 1200;    // a minute of 50 ms ticks: a loop that stalls still ends

// A test's steps, taken from a timer of the loop's own thread: each acts once its condition holds
// of what the loop did since the step before; the loop is ended after the last step's action.
struct Step {
    std::function<bool(const FrameLoopCounts& since)> ready;
    std::function<void()> act;
};
struct Script {
    std::vector<Step> steps;
    FrameLoopCounts counts, atStep;
    std::vector<FrameLoopCounts> spans;  // what the loop did before each step, since the one before
    size_t next = 0;
    int timerTicks = 0;
};
Script* g_script = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    Script& s = *g_script;
    if (++s.timerTicks > kMaxTicks) return ::PostQuitMessage(0);
    if (s.next == s.steps.size()) return;
    const FrameLoopCounts since{s.counts.passes - s.atStep.passes, s.counts.visiblePasses - s.atStep.visiblePasses,
                                s.counts.rendered - s.atStep.rendered};
    if (!s.steps[s.next].ready(since)) return;
    s.spans.push_back(since);
    s.atStep = s.counts;
    if (s.steps[s.next].act) s.steps[s.next].act();
    if (++s.next == s.steps.size()) ::PostQuitMessage(0);
}

// A step after `passes` more visible passes.
Step AfterVisiblePasses(int passes, std::function<void()> act = {}) {
    return {[passes](const FrameLoopCounts& since) { return since.visiblePasses >= passes; }, std::move(act)};
}

// A scratch fonts folder of DejaVu files under the Windows font names, one standing in for the
// icon font: glyphs enough for an atlas that grows with the DPI (the test prefix has no fonts).
struct StandInFonts : testkit::ScratchDir {
    StandInFonts() {
        const std::pair<const wchar_t*, const wchar_t*> files[] = {{L"DejaVuSans.ttf", L"segoeui.ttf"},
                                                                   {L"DejaVuSans-Bold.ttf", L"seguisb.ttf"},
                                                                   {L"DejaVuSansMono.ttf", L"consola.ttf"},
                                                                   {L"DejaVuSerif.ttf", L"segmdl2.ttf"}};
        for (const auto& [dejaVu, windows] : files)
            EXPECT_TRUE(CopyFileTo(Utf8ToWide(ZERVA_DEJAVU_DIR_WIN) + L"\\" + dejaVu, *this / windows, true));
        ui::SetFontsFolderForTests(Path());
    }
    ~StandInFonts() { ui::SetFontsFolderForTests({}); }
};

class FrameLoopTest : public controltest::ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // Catalogs and the public address fail at once on a closed loopback port.
        const std::string closed = "http://127.0.0.1:" + std::to_string(testkit::UnusedPort());
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(closed).c_str());
        Config::Instance().SetBool(setting::kCheckUpdates, false);
        // The capture class shares the procedure; a main-class window would take the hand-over of
        // the single-instance test running beside this one.
        window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 640, 400);
        ASSERT_TRUE(window);
        // Beyond the virtual screen's edge: windows of tests running beside this one on the same
        // display would otherwise cover and uncover it, and each uncovering rightly renders a frame.
        ::SetWindowPos(window, nullptr, 4000, 4000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(CreateDeviceD3D(window));
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;
        ImGui_ImplWin32_Init(window);
        ASSERT_TRUE(ImGui_ImplDX11_Init(D3dDevice(), D3dContext()));
        g_script = &script;
    }
    // Runs the loop with the interface at `scale` on the root as it stands, through the script's
    // steps; returns the loop's exit code.
    int RunScript(float scale = 1.0f) {
        ui::Init(UiInit{window, D3dDevice(), scale});
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
        EXPECT_TRUE(::SetTimer(window, 1, 50, OnTimer));
        FrameLoopOptions options;
        options.counts = &script.counts;
        const int code = RunFrameLoop(window, options);
        ::KillTimer(window, 1);
        EXPECT_LE(script.timerTicks, kMaxTicks) << "the loop made " << script.counts.visiblePasses << " visible passes";
        EXPECT_GE(script.counts.rendered, 1) << "the first frame";
        return code;
    }
    // The frames rendered between each step and the next, from step `first` on.
    std::vector<int> RenderedFrom(size_t first) const {
        std::vector<int> rendered;
        for (size_t i = first; i < script.spans.size(); ++i) rendered.push_back(script.spans[i].rendered);
        return rendered;
    }
    void TearDown() override {
        g_script = nullptr;
        SetDeviceFactory(nullptr);
        ui::Shutdown();
        if (ImGui::GetCurrentContext()) {
            if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplDX11_Shutdown();
            if (ImGui::GetIO().BackendPlatformUserData) ImGui_ImplWin32_Shutdown();
            ImGui::DestroyContext();
        }
        CleanupDeviceD3D();
        if (window) ::DestroyWindow(window);
        ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
        ControlTest::TearDown();
    }
    HWND window = nullptr;
    Script script;
};

// Idle, uncovered, restyled: nothing changed, nothing rendered; the uncovered window and the new
// font texture are drawn once.
TEST_F(FrameLoopTest, IdleWindowRendersNothing_OneFrameOnceUncoveredOrRestyled) {
    MakeApache(LeasedPort());
    MakePhp();
    MakeMariaDb(LeasedPort());
    script.steps = {AfterVisiblePasses(kSettlePasses),
                    AfterVisiblePasses(kWatchedPasses, [this] { ::InvalidateRect(window, nullptr, FALSE); }),
                    // The same theme: the same colours and glyphs.
                    AfterVisiblePasses(kWatchedPasses, [] { ui::RequestThemeApply(); }),
                    AfterVisiblePasses(kWatchedPasses)};
    EXPECT_EQ(RunScript(), kLoopEnded);
    EXPECT_EQ(RenderedFrom(1), (std::vector<int>{0, 1, 1}));
}

// A first run: the Dashboard with the install wizard over it, whose catalogs cannot be loaded.
TEST_F(FrameLoopTest, EmptyRoot_IdleWindowRendersNothing) {
    script.steps = {AfterVisiblePasses(kSettlePasses), AfterVisiblePasses(kWatchedPasses)};
    EXPECT_EQ(RunScript(), kLoopEnded);
    EXPECT_EQ(RenderedFrom(1), (std::vector<int>{0}));
}

// The hardware swap chain flips, and a flip-model swap chain never reports a locked screen: the
// loop learns of the lock from the session, draws nothing until the unlock, then shows one frame.
TEST_F(FrameLoopTest, LockedSession_NothingDrawnUntilUnlocked_ThenOneFrame) {
    const auto session = [this](WPARAM change) { ::PostMessageW(window, WM_WTSSESSION_CHANGE, change, 1); };
    script.steps = {AfterVisiblePasses(kSettlePasses, [&] { session(WTS_SESSION_LOCK); }),
                    {[](const FrameLoopCounts& since) { return since.passes >= kWatchedPasses; },
                     [&] { session(WTS_SESSION_UNLOCK); }},
                    AfterVisiblePasses(kWatchedPasses)};
    EXPECT_EQ(RunScript(), kLoopEnded);
    ASSERT_EQ(script.spans.size(), 3u);
    EXPECT_EQ(script.spans[1].visiblePasses, 0) << "frames laid out while locked";
    EXPECT_EQ(RenderedFrom(1), (std::vector<int>{0, 1}));
}

uint64_t g_trayNow = 0;
int g_hides = 0, g_shows = 0;

LRESULT CALLBACK CountingShows(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SHOWWINDOW) ++(wParam ? g_shows : g_hides);
    return MainWndProc(window, message, wParam, lParam);
}

// A left click on the tray icon brings two notifications; the procedure only records them, and the
// loop hides the shown window once, then at the next click shows it once.
TEST_F(FrameLoopTest, TrayClicks_TheWindowHiddenOnceThenShownOnce) {
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingShows));
    TraySetClockForTests([] { return g_trayNow; });
    const auto click = [this](uint64_t tick) {
        g_trayNow = tick;  // both halves at one moment, whatever the load
        for (const unsigned event : {unsigned(WM_LBUTTONUP), unsigned(NIN_SELECT)})
            ::PostMessageW(window, kTrayCallbackMessage, 0, MAKELPARAM(event, 1));
    };
    bool hiddenByTheFirst = false;
    const auto afterPasses = [](const FrameLoopCounts& since) { return since.passes >= 5; };
    script.steps = {AfterVisiblePasses(kSettlePasses, [&] {
                        g_hides = g_shows = 0;
                        click(10000);
                    }),
                    {afterPasses,
                     [&] {
                         hiddenByTheFirst = !::IsWindowVisible(window);
                         click(20000);  // well past the double-click time
                     }},
                    {afterPasses, {}}};
    EXPECT_EQ(RunScript(), kLoopEnded);
    TraySetClockForTests(nullptr);
    EXPECT_TRUE(hiddenByTheFirst);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(g_hides, 1);
    EXPECT_EQ(g_shows, 1);
}

// Feature level 10.0: textures up to 8192 on a side, where the first device took 16384.
HRESULT OlderDevice(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                    ID3D11Device** device, ID3D11DeviceContext** context) {
    const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_10_0;
    return ::D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, &level, 1, D3D11_SDK_VERSION, &desc,
                                           swapChain, device, nullptr, context);
}

// At a high DPI the font atlas outgrows what a lower feature level can hold: a lost device rebuilt
// at one has the atlas made again to fit it, and the window goes on.
TEST_F(FrameLoopTest, DeviceRebuiltAtALowerLevel_TheAtlasMadeAgainToFit_TheWindowGoesOn) {
    StandInFonts fonts;
    int heightBefore = 0;
    script.steps = {AfterVisiblePasses(3,
                                       [&] {
                                           heightBefore = ImGui::GetIO().Fonts->TexHeight;
                                           SetDeviceFactory(OlderDevice);
                                           // What the loop does after a Present that found its
                                           // device lost, which no driver here does on demand.
                                           EXPECT_TRUE(RecoverAfterPresent(DXGI_ERROR_DEVICE_REMOVED, window));
                                       }),
                    AfterVisiblePasses(3)};
    EXPECT_EQ(RunScript(4.0f), kLoopEnded);
    EXPECT_GT(heightBefore, 8192) << "an atlas only the first device could hold";
    ASSERT_TRUE(D3dDevice());
    EXPECT_EQ(D3dDevice()->GetFeatureLevel(), D3D_FEATURE_LEVEL_10_0);
    const ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    EXPECT_TRUE(atlas.TexWidth <= 8192 && atlas.TexHeight <= 8192) << atlas.TexWidth << " x " << atlas.TexHeight;
    ASSERT_EQ(script.spans.size(), 2u);
    EXPECT_GE(script.spans[1].rendered, 1) << "frames drawn on the new device";
}

// The renderer does not check the font texture it makes: the loop ends rather than draw without.
TEST_F(FrameLoopTest, AFontTextureTheDeviceCannotMake_EndsTheLoop) {
    ui::Init(UiInit{window, D3dDevice(), 1.0f});
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->AddCustomRectRegular(8, 20000);  // longer than any texture of the device
    atlas->ClearTexData();
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    // Should the loop draw on, this ends it.
    ASSERT_TRUE(::SetTimer(window, 2, 20000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(0); }));
    FrameLoopOptions options;
    options.counts = &script.counts;
    EXPECT_EQ(RunFrameLoop(window, options), kLoopNoDevice);
    ::KillTimer(window, 2);
    EXPECT_EQ(script.counts.rendered, 0);
}

// A capture on a screen that shows nothing of the window (a locked one; here a minimised window,
// whose Present is occluded too) still draws each of its frames and is written.
TEST_F(FrameLoopTest, Screenshot_OccludedWindow_EveryFrameDrawnAndCaptured) {
    ui::Init(UiInit{window, D3dDevice(), 1.0f});
    ::ShowWindow(window, SW_SHOWMINNOACTIVE);
    // Should the loop stop drawing, this ends it.
    ASSERT_TRUE(::SetTimer(window, 2, 20000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(0); }));
    FrameLoopOptions options;
    options.screenshot = true;
    options.screenshotPath = root / L"shot.png";
    options.frames = 3;
    options.counts = &script.counts;
    EXPECT_EQ(RunFrameLoop(window, options), kLoopEnded);
    ::KillTimer(window, 2);
    EXPECT_EQ(script.counts.rendered, 3);
    EXPECT_TRUE(PathExists(options.screenshotPath));
}

}  // namespace

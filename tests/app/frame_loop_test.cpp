// The frame loop as the window runs it, with the whole interface on a root of stand-in builds
// whose servers do not run, and on an empty root; driven from a timer of its own thread.
#include "app/frame_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "app/d3d.h"
#include "app/tray.h"
#include "app/window.h"
#include "control/server.h"
#include "core/config.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/online.h"
#include "core/settings.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "tests/control/control_fixture.h"
#include "ui/fonts.h"
#include "ui/state.h"
#include "ui/ui.h"

namespace {

// What the timer saw: the settling passes, then a step of passes after each of the test's acts
// (the first step after none); the loop is ended after the last.
struct Watch {
    HWND window = nullptr;
    std::vector<std::function<void()>> acts;
    FrameLoopCounts counts, atStep;
    size_t step = 0;
    // Over each watched step: frames rendered and laid out, passes, and the waits they asked for.
    std::vector<int> rendered, laidOut, passes;
    std::vector<uint64_t> waitedMs;
    int timerTicks = 0;
};
Watch* g_watch = nullptr;

constexpr int kSettlePasses = 15;  // the interface's windows settle in a few frames
constexpr int kWatchedPasses = 10;
constexpr int kMaxTicks = 1200;    // a minute of 50 ms ticks: a loop that stalls still ends

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    Watch& w = *g_watch;
    if (++w.timerTicks > kMaxTicks) return ::PostQuitMessage(0);
    if (w.counts.passes - w.atStep.passes < (w.step == 0 ? kSettlePasses : kWatchedPasses)) return;
    if (w.step > 0) {
        w.rendered.push_back(w.counts.rendered - w.atStep.rendered);
        w.laidOut.push_back(w.counts.visiblePasses - w.atStep.visiblePasses);
        w.passes.push_back(w.counts.passes - w.atStep.passes);
        w.waitedMs.push_back(w.counts.waitedMs - w.atStep.waitedMs);
    }
    w.atStep = w.counts;
    if (w.step == w.acts.size()) return ::PostQuitMessage(0);
    if (const auto& act = w.acts[w.step++]) act();
}

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
        watch.window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 640, 400);
        ASSERT_TRUE(watch.window);
        // Beyond the virtual screen's edge: windows of tests running beside this one on the same
        // display would otherwise cover and uncover it, and each uncovering rightly renders a frame.
        ::SetWindowPos(watch.window, nullptr, 4000, 4000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(CreateDeviceD3D(watch.window));
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;
        ImGui_ImplWin32_Init(watch.window);
        ASSERT_TRUE(ImGui_ImplDX11_Init(D3dDevice(), D3dContext()));
        g_watch = &watch;
    }
    // Runs the loop with the interface at `scale` on the root as it stands, through the timer's steps.
    void RunWatched(float scale = 1.0f) {
        ui::Init(UiInit{watch.window, D3dDevice(), scale});
        ::ShowWindow(watch.window, SW_SHOWNOACTIVATE);
        ASSERT_TRUE(::SetTimer(watch.window, 1, 50, OnTimer));
        FrameLoopOptions options;
        options.counts = &watch.counts;
        EXPECT_EQ(RunFrameLoop(watch.window, options), kLoopEnded);
        ::KillTimer(watch.window, 1);
        ASSERT_LE(watch.timerTicks, kMaxTicks) << "the loop made " << watch.counts.visiblePasses << " visible passes";
        EXPECT_GE(watch.counts.rendered, 1) << "the first frame";
    }
    void TearDown() override {
        g_watch = nullptr;
        SetDeviceFactory(nullptr);
        ui::Shutdown();
        if (ImGui::GetCurrentContext()) {
            if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplDX11_Shutdown();
            if (ImGui::GetIO().BackendPlatformUserData) ImGui_ImplWin32_Shutdown();
            ImGui::DestroyContext();
        }
        CleanupDeviceD3D();
        if (watch.window) ::DestroyWindow(watch.window);
        ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
        ControlTest::TearDown();
    }
    Watch watch;
};

// Idle, uncovered, restyled: nothing changed, nothing rendered; the uncovered window and the new
// font texture are drawn once.
TEST_F(FrameLoopTest, IdleWindowRendersNothing_OneFrameOnceUncoveredOrRestyled) {
    MakeApache(LeasedPort());
    MakePhp();
    MakeMariaDb(LeasedPort());
    // Nothing; as when a window on top goes away; the same theme: the same colours and glyphs.
    watch.acts = {{}, [this] { ::InvalidateRect(watch.window, nullptr, FALSE); }, [] { ui::RequestThemeApply(); }};
    RunWatched();
    EXPECT_EQ(watch.rendered, (std::vector<int>{0, 1, 1}));
}

// A first run: the Dashboard with the install wizard over it, whose catalogs cannot be loaded.
TEST_F(FrameLoopTest, EmptyRoot_IdleWindowRendersNothing) {
    watch.acts = {{}};
    RunWatched();
    ASSERT_FALSE(watch.rendered.empty());
    EXPECT_EQ(watch.rendered[0], 0);
}

uint64_t g_trayNow = 0;
int g_balloons = 0;

BOOL WINAPI CountingShell(DWORD message, PNOTIFYICONDATAW data) {
    g_balloons += message == NIM_MODIFY && (data->uFlags & NIF_INFO);
    return TRUE;
}

// Nothing of the window shows on a locked session (the hardware swap chain flips, and never reports
// it) nor once hidden from the tray: nothing is drawn until it shows again, then one frame. A click
// brings two notifications; the loop hides the window once, then at the next click shows it.
// Locked while a job runs, the loop waits as a hidden one (a visible one would go round without
// pause), and an alert becomes no balloon: the window, still up, shows it once unlocked. Hidden,
// an alert becomes one.
TEST_F(FrameLoopTest, LockedOrHiddenFromTheTray_NothingDrawnUntilSeenAgain_ThenOneFrame) {
    const auto session = [this](WPARAM change) { ::PostMessageW(watch.window, WM_WTSSESSION_CHANGE, change, 1); };
    const auto click = [this] {
        g_trayNow += 10000;  // both halves at one moment, whatever the load, well past the click before
        for (const unsigned event : {unsigned(WM_LBUTTONUP), unsigned(NIN_SELECT)})
            ::PostMessageW(watch.window, kTrayCallbackMessage, 0, MAKELPARAM(event, 1));
    };
    const auto alert = [](const char* title) { Server::Instance().PushAlert(title, "", true, alert_action::kNone); };
    UniqueHandle started(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const auto job = [&] {
        Server::Instance().Start();  // not before: its refreshes would draw frames in the steps above
        Server::Instance().Enqueue("Working", [&] {
            ::SetEvent(started.Get());
            ::WaitForSingleObject(release.Get(), 60000);
        }, "");
        EXPECT_EQ(::WaitForSingleObject(started.Get(), 20000), DWORD(WAIT_OBJECT_0));
    };
    const auto lockWhileBusy = [&] {
        EXPECT_TRUE(ui::IsBusy()) << "the window saw the job";
        session(WTS_SESSION_LOCK);
        alert("While locked");
    };
    const auto unlock = [&] {
        EXPECT_EQ(g_balloons, 0) << "a balloon while locked";
        session(WTS_SESSION_UNLOCK);
        ::SetEvent(release.Get());
    };
    TraySetShellForTests(CountingShell);
    TraySetClockForTests([] { return g_trayNow; });
    TrayAddIcon(watch.window);
    watch.acts = {[&] { session(WTS_SESSION_LOCK); }, [&] { session(WTS_SESSION_UNLOCK); }, click, click,
                  job, lockWhileBusy, unlock, click, [&] { alert("While hidden"); }};
    RunWatched();
    ::SetEvent(release.Get());  // the worker's job ends whatever failed
    TrayRemoveIcon();
    TraySetClockForTests(nullptr);
    TraySetShellForTests(nullptr);
    ASSERT_EQ(watch.rendered.size(), watch.acts.size());
    EXPECT_EQ(std::vector<int>(watch.rendered.begin(), watch.rendered.begin() + 4), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_EQ(watch.laidOut[0], 0) << "frames laid out while locked";
    EXPECT_EQ(watch.laidOut[5], 0) << "frames laid out while locked and busy";
    EXPECT_EQ(watch.waitedMs[5], kHiddenFrameWaitMs * watch.passes[5]) << "each pass locked waits as a hidden one";
    EXPECT_GE(watch.rendered[6], 1) << "unlocked";
    EXPECT_EQ(g_balloons, 1) << "the alert raised while hidden";
    const std::deque<Alert>& queued = ui::State().alerts;
    EXPECT_TRUE(!queued.empty() && queued.front().title == "While locked") << "kept for the window";
}

// Feature level 10.0: textures up to 8192 on a side, where the first device took 16384.
HRESULT OlderDevice(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                    ID3D11Device** device, ID3D11DeviceContext** context) {
    const D3D_FEATURE_LEVEL level = D3D_FEATURE_LEVEL_10_0;
    return ::D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, &level, 1, D3D11_SDK_VERSION, &desc,
                                           swapChain, device, nullptr, context);
}

// At a high DPI the atlas of the stand-in fonts outgrows what a lower feature level can hold: a
// lost device rebuilt at one has the atlas made again to fit it, and the window goes on.
TEST_F(FrameLoopTest, DeviceRebuiltAtALowerLevel_TheAtlasMadeAgainToFit_TheWindowGoesOn) {
    testkit::ScratchDir fonts;
    ASSERT_TRUE(CopyFileTo(L"" ZERVA_DEJAVU_DIR_WIN L"\\DejaVuSans.ttf", fonts / L"segoeui.ttf", true));
    ui::SetFontsFolderForTests(fonts.Path());
    int heightBefore = 0;
    watch.acts = {[&] {
        heightBefore = ImGui::GetIO().Fonts->TexHeight;
        SetDeviceFactory(OlderDevice);
        // What the loop does after a Present that found its device lost, which no driver here does on demand.
        EXPECT_TRUE(RecoverAfterPresent(DXGI_ERROR_DEVICE_REMOVED, watch.window));
    }};
    RunWatched(4.0f);
    ui::SetFontsFolderForTests({});
    EXPECT_GT(heightBefore, 8192) << "an atlas only the first device could hold";
}

// The renderer does not check the font texture it makes: the loop ends rather than draw without.
TEST_F(FrameLoopTest, AFontTextureTheDeviceCannotMake_EndsTheLoop) {
    ui::Init(UiInit{watch.window, D3dDevice(), 1.0f});
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->AddCustomRectRegular(8, 20000);  // longer than any texture of the device
    atlas->ClearTexData();
    ::ShowWindow(watch.window, SW_SHOWNOACTIVATE);
    // Should the loop draw on, this ends it.
    ASSERT_TRUE(::SetTimer(watch.window, 2, 20000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(0); }));
    FrameLoopOptions options;
    options.counts = &watch.counts;
    EXPECT_EQ(RunFrameLoop(watch.window, options), kLoopNoDevice);
    ::KillTimer(watch.window, 2);
    EXPECT_EQ(watch.counts.rendered, 0);
}

// A capture on a screen that shows nothing of the window (a locked one; here a minimised window,
// whose Present is occluded too) still draws each of its frames and is written.
TEST_F(FrameLoopTest, Screenshot_OccludedWindow_EveryFrameDrawnAndCaptured) {
    ui::Init(UiInit{watch.window, D3dDevice(), 1.0f});
    ::ShowWindow(watch.window, SW_SHOWMINNOACTIVE);
    // Should the loop stop drawing, this ends it.
    ASSERT_TRUE(::SetTimer(watch.window, 2, 20000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(0); }));
    FrameLoopOptions options;
    options.screenshot = true;
    options.screenshotPath = root / L"shot.png";
    options.frames = 3;
    options.counts = &watch.counts;
    EXPECT_EQ(RunFrameLoop(watch.window, options), kLoopEnded);
    ::KillTimer(watch.window, 2);
    EXPECT_EQ(watch.counts.rendered, 3);
    EXPECT_TRUE(PathExists(options.screenshotPath));
}

}  // namespace

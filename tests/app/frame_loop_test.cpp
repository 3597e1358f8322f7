// The frame loop as the window runs it, with the whole interface on a root of stand-in builds
// whose servers do not run, and on an empty root.
#include "app/frame_loop.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/d3d.h"
#include "app/window.h"
#include "core/config.h"
#include "core/files.h"
#include "core/online.h"
#include "core/settings.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "tests/control/control_fixture.h"
#include "ui/ui.h"

namespace {

// What the timer saw: the settling passes, then idle passes, passes after WM_PAINT, passes after
// the theme was applied again.
struct Watch {
    HWND window = nullptr;
    FrameLoopCounts counts, atStep;
    int step = 0;
    std::vector<int> rendered;  // frames rendered over each watched step
    int timerTicks = 0;
};
Watch* g_watch = nullptr;

constexpr int kSettlePasses = 15;  // the interface's windows settle in a few frames
constexpr int kWatchedPasses = 10;
constexpr int kMaxTicks = 1200;    // a minute of 50 ms ticks: a loop that stalls still ends

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    Watch& w = *g_watch;
    if (++w.timerTicks > kMaxTicks) return ::PostQuitMessage(0);
    if (w.counts.visiblePasses - w.atStep.visiblePasses < (w.step == 0 ? kSettlePasses : kWatchedPasses)) return;
    if (w.step > 0) w.rendered.push_back(w.counts.rendered - w.atStep.rendered);
    w.atStep = w.counts;
    switch (++w.step) {
    case 2: ::InvalidateRect(w.window, nullptr, FALSE); break;  // as when a window on top goes away
    case 3: ui::RequestThemeApply(); break;                     // the same theme: the same colours and glyphs
    case 4: ::PostQuitMessage(0); break;
    default: break;
    }
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
    // Runs the loop with the interface on the root as it stands, through the timer's steps.
    void RunWatched() {
        ui::Init(UiInit{watch.window, D3dDevice(), 1.0f});
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
    RunWatched();
    EXPECT_EQ(watch.rendered, (std::vector<int>{0, 1, 1}));
}

// A first run: the Dashboard with the install wizard over it, whose catalogs cannot be loaded.
TEST_F(FrameLoopTest, EmptyRoot_IdleWindowRendersNothing) {
    RunWatched();
    ASSERT_FALSE(watch.rendered.empty());
    EXPECT_EQ(watch.rendered[0], 0);
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

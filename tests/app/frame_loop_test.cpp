// The frame loop as the window runs it, with the whole interface on a root of stand-in builds
// whose servers do not run: once the first frames have settled, an idle window renders nothing
// more; a window uncovered (WM_PAINT) renders and presents one frame, and so does a theme applied
// again (a new font texture, which may take the old one's id).
#include "app/frame_loop.h"

#include <gtest/gtest.h>

#include "app/d3d.h"
#include "app/window.h"
#include "core/config.h"
#include "core/settings.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "tests/control/control_fixture.h"
#include "ui/ui.h"

namespace {

// What the timer saw, in visible passes of the loop.
struct Watch {
    HWND window = nullptr;
    FrameLoopCounts counts;
    int step = 0;
    int passesAtStep = 0;  // visible passes when the step began
    int renderedAtStep = 0;
    int idleRendered = -1;       // frames rendered over the idle passes
    int paintRendered = -1;      // frames rendered over the passes after WM_PAINT
    int themeRendered = -1;      // frames rendered over the passes after the theme was applied
    int timerTicks = 0;
};
Watch* g_watch = nullptr;

constexpr int kSettlePasses = 15;  // the interface's windows settle in a few frames
constexpr int kWatchedPasses = 10;
constexpr int kMaxTicks = 1200;    // a minute of 50 ms ticks: a loop that stalls still ends

void NextStep(Watch& w) {
    ++w.step;
    w.passesAtStep = w.counts.visiblePasses;
    w.renderedAtStep = w.counts.rendered;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    Watch& w = *g_watch;
    const int passes = w.counts.visiblePasses - w.passesAtStep;
    const int rendered = w.counts.rendered - w.renderedAtStep;
    if (++w.timerTicks > kMaxTicks) return ::PostQuitMessage(0);
    switch (w.step) {
    case 0:
        if (passes >= kSettlePasses) NextStep(w);
        break;
    case 1:
        if (passes < kWatchedPasses) break;
        w.idleRendered = rendered;
        ::InvalidateRect(w.window, nullptr, FALSE);  // as when a window on top goes away
        NextStep(w);
        break;
    case 2:
        if (passes < kWatchedPasses) break;
        w.paintRendered = rendered;
        ui::RequestThemeApply();  // the same theme: the same colours and glyphs
        NextStep(w);
        break;
    case 3:
        if (passes < kWatchedPasses) break;
        w.themeRendered = rendered;
        ::PostQuitMessage(0);
        break;
    default: break;
    }
}

class FrameLoopTest : public controltest::ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        (void)::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        MakeApache(LeasedPort());
        MakePhp();
        MakeMariaDb(LeasedPort());
        Config::Instance().SetBool(setting::kCheckUpdates, false);
        // The capture class shares the procedure; a main-class window would take the hand-over of
        // the single-instance test running beside this one.
        watch.window = CreateCaptureWindow(::GetModuleHandleW(nullptr), 640, 400);
        ASSERT_TRUE(watch.window);
        ASSERT_TRUE(CreateDeviceD3D(watch.window));
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;
        ImGui_ImplWin32_Init(watch.window);
        ASSERT_TRUE(ImGui_ImplDX11_Init(D3dDevice(), D3dContext()));
        ui::Init(UiInit{watch.window, D3dDevice(), 1.0f});
        g_watch = &watch;
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
        ControlTest::TearDown();
    }
    Watch watch;
};

TEST_F(FrameLoopTest, IdleWindowRendersNothing_OneFrameOnceUncoveredOrRestyled) {
    ::ShowWindow(watch.window, SW_SHOWNOACTIVATE);
    ASSERT_TRUE(::SetTimer(watch.window, 1, 50, OnTimer));
    FrameLoopOptions options;
    options.counts = &watch.counts;
    EXPECT_EQ(RunFrameLoop(watch.window, options), kLoopEnded);
    ::KillTimer(watch.window, 1);
    ASSERT_LE(watch.timerTicks, kMaxTicks) << "the loop made " << watch.counts.visiblePasses << " visible passes";
    EXPECT_GE(watch.counts.rendered, 1) << "the first frame";
    EXPECT_EQ(watch.idleRendered, 0) << "nothing changed, nothing rendered";
    EXPECT_EQ(watch.paintRendered, 1) << "the uncovered window shows its frame, once";
    EXPECT_EQ(watch.themeRendered, 1) << "the new font texture is drawn, once";
}

}  // namespace

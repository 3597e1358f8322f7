#include "app/frame_loop.h"

#include <d3d11.h>

#include <utility>

#include "app/d3d.h"
#include "app/presented_frame.h"
#include "app/screenshot.h"
#include "app/tray.h"
#include "app/tray_model.h"
#include "app/window.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "ui/fonts.h"
#include "ui/ui.h"

namespace {

// Pumps every waiting message; true when WM_QUIT was among them.
bool PumpMessages() {
    bool quit = false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quit = true;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return quit;
}

enum class Drawn {
    Rendered,       // to be presented
    LeftOut,        // the picture on screen is the same
    NoFontTexture,  // nothing can be drawn on this device
};

// Lays out one frame; renders it only when it must reach the screen (see PresentedFrame).
Drawn DrawFrame(PresentedFrame& presented, bool forced) {
    UINT width = 0, height = 0;
    if (TakePendingSize(width, height)) {
        ResizeRenderTarget(width, height);
        forced = true;  // the new buffers hold nothing yet
    }
    ui::ApplyPendingTheme();
    // A theme or DPI change, or a new device, made the renderer drop its font texture; it makes
    // it again below, perhaps at the old address, where the same id would stand for new pixels.
    if (!ImGui::GetIO().Fonts->TexID) {
        forced = true;
        // The renderer does not check the texture it makes: it would go on without one.
        if (!ui::FontTextureCanBeMade(D3dDevice())) return Drawn::NoFontTexture;
    }
    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
    ImGui::NewFrame();
    ui::Frame();
    ImGui::Render();
    const ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    const float clear[4] = {bg.x, bg.y, bg.z, 1.0f};
    if (!presented.ShouldPresent(*ImGui::GetDrawData(), clear, forced)) return Drawn::LeftOut;
    ID3D11RenderTargetView* target = D3dRenderTarget();
    D3dContext()->OMSetRenderTargets(1, &target, nullptr);
    if (target) D3dContext()->ClearRenderTargetView(target, clear);
    ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
    return Drawn::Rendered;
}

}  // namespace

DWORD FrameWaitMs(bool screenshot, bool hidden, uint64_t msSinceInput, bool busy, bool lastSkipped,
                  HRESULT lastPresent) {
    if (screenshot) return 0;
    if (hidden) return kHiddenFrameWaitMs;
    if (lastPresent == DXGI_STATUS_OCCLUDED || (msSinceInput >= 750 && !busy)) return 100;
    // A frame left out did not wait for vertical sync in Present: without this wait the loop
    // would spin at full speed while nothing changes on screen.
    return lastSkipped ? kSkippedFrameWaitMs : 0;
}

bool CaptureDue(int framesDrawn, int framesOption) { return framesDrawn >= framesOption; }

int RunFrameLoop(HWND window, const FrameLoopOptions& options) {
    BalloonChooser balloons;
    PresentedFrame presented;
    int drawn = 0;
    int result = kLoopEnded;
    bool destroyed = false;  // WM_QUIT is on its way; only the pump is left to do
    bool skipped = false;    // the last visible pass left its frame out
    bool wasHidden = true;   // nothing of the window is on screen yet
    HRESULT lastPresent = S_OK;
    for (;;) {
        const bool hidden = !options.screenshot && (!::IsWindowVisible(window) || ::IsIconic(window));
        if (!destroyed) {
            // A locked screen shows nothing of the window, which waits as a hidden one.
            const bool unseen = hidden || (!options.screenshot && SessionLocked());
            const uint64_t sinceInput = ::GetTickCount64() - LastInputTick();
            const DWORD wait = FrameWaitMs(options.screenshot, unseen, sinceInput, !hidden && ui::IsBusy(), skipped,
                                           lastPresent);
            if (wait) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
            if (options.counts) options.counts->waitedMs += wait;
        }
        if (PumpMessages()) return result;
        if (destroyed) continue;
        if (options.counts) ++options.counts->passes;
        // Taken after the pump, which may have brought the lock: nothing is drawn from then on.
        // Its alerts are no balloons: the window is still up, and shows them once unlocked.
        const bool locked = !options.screenshot && SessionLocked();
        if (!options.screenshot) {
            TrayUpdate();
            TrayRunRequests();
        }
        if (ui::ShouldQuit()) {
            destroyed = ::DestroyWindow(window);  // its WM_DESTROY posts WM_QUIT
            continue;
        }
        if (hidden || locked) {
            wasHidden = true;
            const std::optional<Alert> alert = hidden ? balloons.HiddenPass() : std::nullopt;
            if (alert) TrayBalloon(alert->title, alert->message);
            continue;
        }
        // The fallback's swap chain (blit model) reports a locked or covered screen, which shows
        // nothing of what is drawn: only ask, until it shows the window again (its next frame is
        // presented then, as the occluded one was forgotten). A capture reads the back buffer,
        // which is drawn all the same: it draws on.
        if (!options.screenshot && lastPresent == DXGI_STATUS_OCCLUDED) {
            lastPresent = D3dSwapChain()->Present(0, DXGI_PRESENT_TEST);
            if (lastPresent == DXGI_STATUS_OCCLUDED) continue;
        }
        // Every capture frame is drawn; a window shown again or uncovered shows its next frame.
        const bool forced = options.screenshot || TakeRepaintRequest() || std::exchange(wasHidden, false);
        const Drawn frame = DrawFrame(presented, forced);
        if (frame == Drawn::NoFontTexture) return kLoopNoDevice;
        skipped = frame == Drawn::LeftOut;
        if (options.counts) {
            ++options.counts->visiblePasses;
            options.counts->rendered += skipped ? 0 : 1;
        }
        if (skipped) {
            balloons.VisiblePass();
            continue;
        }
        if (options.screenshot && CaptureDue(++drawn, options.frames)) {
            // Captured before Present: the back buffer still holds the frame just drawn.
            if (!SaveScreenshotPng(options.screenshotPath)) result = kLoopScreenshotFailed;
            destroyed = ::DestroyWindow(window);
            continue;
        }
        lastPresent = D3dSwapChain()->Present(options.screenshot ? 0 : 1, 0);
        // An occluded window or a lost device showed nothing of this frame.
        if (lastPresent != S_OK) presented.Forget();
        if (!RecoverAfterPresent(lastPresent, window)) return kLoopNoDevice;
        if (options.screenshot) ::Sleep(60);
        balloons.VisiblePass();
    }
}

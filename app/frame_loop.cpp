#include "app/frame_loop.h"

#include <d3d11.h>

#include "app/d3d.h"
#include "app/screenshot.h"
#include "app/tray.h"
#include "app/tray_model.h"
#include "app/window.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
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

void DrawFrame() {
    UINT width = 0, height = 0;
    if (TakePendingSize(width, height)) ResizeRenderTarget(width, height);
    ui::ApplyPendingTheme();
    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
    ImGui::NewFrame();
    ui::Frame();
    ImGui::Render();
    const ImVec4 bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    const float clear[4] = {bg.x, bg.y, bg.z, 1.0f};
    ID3D11RenderTargetView* target = D3dRenderTarget();
    D3dContext()->OMSetRenderTargets(1, &target, nullptr);
    if (target) D3dContext()->ClearRenderTargetView(target, clear);
    ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
}

}  // namespace

DWORD FrameWaitMs(bool screenshot, bool hidden, uint64_t msSinceInput, bool busy) {
    if (screenshot) return 0;
    if (hidden) return 400;
    return (msSinceInput >= 750 && !busy) ? 100 : 0;
}

bool CaptureDue(int framesDrawn, int framesOption) { return framesDrawn >= framesOption; }

int RunFrameLoop(HWND window, const FrameLoopOptions& options) {
    BalloonChooser balloons;
    int drawn = 0;
    int result = kLoopEnded;
    bool destroyed = false;  // WM_QUIT is on its way; only the pump is left to do
    for (;;) {
        const bool hidden = !options.screenshot && (!::IsWindowVisible(window) || ::IsIconic(window));
        if (!destroyed) {
            const uint64_t sinceInput = ::GetTickCount64() - LastInputTick();
            const DWORD wait = FrameWaitMs(options.screenshot, hidden, sinceInput, !hidden && ui::IsBusy());
            if (wait) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        }
        if (PumpMessages()) return result;
        if (destroyed) continue;
        if (!options.screenshot) TrayUpdate();
        if (ui::ShouldQuit()) {
            destroyed = ::DestroyWindow(window);  // its WM_DESTROY posts WM_QUIT
            continue;
        }
        if (hidden) {
            if (const std::optional<Alert> alert = balloons.HiddenPass()) TrayBalloon(alert->title, alert->message);
            continue;
        }
        DrawFrame();
        if (options.screenshot && CaptureDue(++drawn, options.frames)) {
            // Captured before Present: the back buffer still holds the frame just drawn.
            if (!SaveScreenshotPng(options.screenshotPath)) result = kLoopScreenshotFailed;
            destroyed = ::DestroyWindow(window);
            continue;
        }
        const HRESULT presented = D3dSwapChain()->Present(options.screenshot ? 0 : 1, 0);
        if (!RecoverAfterPresent(presented, window)) return kLoopNoDevice;
        if (options.screenshot) ::Sleep(60);
        balloons.VisiblePass();
    }
}

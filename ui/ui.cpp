#include "ui/ui.h"

#include <d3d11.h>

#include "control/server.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "ui/logo.h"
#include "ui/theme.h"

namespace {

bool g_restyle = false;

bool DarkFromSetting() { return GetThemeSetting() != "light"; }

}  // namespace

namespace ui {

void RequestThemeApply() { g_restyle = true; }

void ApplyPendingTheme() {
    if (!g_restyle) return;
    g_restyle = false;
    const bool dark = DarkFromSetting();
    UiState& state = State();
    ApplyTheme(state.dpiScale, dark);
    // The renderer rebuilds the font texture on its next new frame. Without a renderer (before
    // the window exists, or in tests) there is nothing to invalidate.
    if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplDX11_InvalidateDeviceObjects();
    ApplyTitleBarTheme(state.hwnd, dark);
}

bool AnyBuildInstalled() {
    const UiState& state = State();
    return !state.apaches.empty() || !state.phps.empty() || !state.dbs.empty();
}

void SetPage(Page page) { State().page = page; }

void OpenUpdateDialog() {
    State().updateDialogOpen = true;
    const updater::UpdateInfo check = updater::GetCheckState();
    if (!check.checking && !check.done) updater::StartCheck(false);
}

void AnnounceUpdated(const std::string& previousVersion) {
    LogSuccess(console::kZerva, Format(Tr("Zerva updated from %s to %s."), previousVersion.c_str(), kZervaVersion));
    Toast(Format(Tr("Zerva updated to version %s"), kZervaVersion), false);
}

void RequestQuit() { State().quitRequested = true; }
bool ShouldQuit() { return State().quitNow; }

void SetDpiScale(float scale) {
    State().dpiScale = scale;
    RequestThemeApply();
}

void Shutdown() {
    UiState& state = State();
    if (state.logo) state.logo->Release();
    state.logo = nullptr;
}

int RunningServerCount() {
    const ServerStatus status = Server::Instance().GetStatus();
    return int(status.apache.running) + int(status.mysql.running);
}

std::string TrayTooltip() {
    const ServerStatus status = Server::Instance().GetStatus();
    auto word = [](bool running) { return running ? Tr("running") : Tr("stopped"); };
    return Format("Zerva - Apache: %s, MySQL: %s", word(status.apache.running), word(status.mysql.running));
}

}  // namespace ui

#include "ui/ui.h"

#include <d3d11.h>

#include "control/catalog.h"
#include "control/installer.h"
#include "control/server.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "ui/confirm.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"
#include "ui/frame.h"
#include "ui/logo.h"
#include "ui/pages/pages.h"
#include "ui/theme.h"

namespace {

bool g_restyle = false;

bool DarkFromSetting() { return GetThemeSetting() != "light"; }

// Twelve hours between automatic update checks.
constexpr double kUpdateCheckInterval = 43200;

void CopySnapshots(UiState& state) {
    state.server = Server::Instance().GetStatus();
    state.installer = installer::GetStatus();
    for (const char* key : ui::kCatalogKeys) state.catalogs[key] = installer::GetCatalog(key);
    state.updateCheck = updater::GetCheckState();
    state.download = updater::GetDownloadState();
}

void RunAutomaticActions(UiState& state) {
    if (!state.wizardAutoShown && state.apaches.empty() && state.phps.empty() && state.dbs.empty()) {
        state.wizardRequested = true;
        state.wizardAutoShown = true;
    }
    if (Config::Instance().GetBool(setting::kCheckUpdates) && !state.updateCheck.checking &&
        updater::SecondsSinceLastCheck() > kUpdateCheckInterval)
        updater::StartCheck(true);
    if (state.startAfterInstall && !state.installer.busy) {
        state.startAfterInstall = false;
        ui::RefreshInstalls(true);
        if (state.currentApache) Server::Instance().StartAll();
    }
}

}  // namespace

namespace ui {

void Init(const UiInit& init) {
    UiState& state = State();
    state.hwnd = init.hwnd;
    state.device = init.device;
    state.dpiScale = init.dpiScale;
    state.consoleOpen = Config::Instance().GetBool(setting::kConsoleOpen);
    SetFontTextureLimit(MaxTextureSide(state.device));
    ApplyTheme(state.dpiScale, DarkFromSetting());
    state.logo = CreateLogoTexture(state.device);
    RefreshInstalls(true);
}

void Frame() {
    UiState& state = State();
    CopySnapshots(state);
    RefreshInstallsAt(ImGui::GetTime(), state.installer.jobsDone, false);
    Alert alert;
    while (Server::Instance().PopAlert(alert)) state.alerts.push_back(std::move(alert));
    RunAutomaticActions(state);
    DrawFrameLayout();
    InstallWizard();
    AlertPopup();
    DrawConfirmDialog();
    QuitDialog();
    UpdateDialog();
    DrawToasts();
}

bool IsBusy() {
    const UiState& state = State();
    if (state.server.busy || state.server.queued > 0) return true;
    if (installer::GetStatus().busy) return true;
    if (!Toasts().empty() || state.stopping) return true;
    return updater::GetDownloadState().downloading || updater::GetCheckState().checking;
}

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

void DeviceRebuilt(ID3D11Device* device) {
    Shutdown();
    State().device = device;
    State().logo = CreateLogoTexture(device);
    // The new device may have another feature level than the old one, and another texture limit:
    // an atlas made for a higher one could not become a texture on it, so it is made again.
    const int limit = device ? MaxTextureSide(device) : FontTextureLimit();
    if (limit != FontTextureLimit()) {
        SetFontTextureLimit(limit);
        RequestThemeApply();
    }
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

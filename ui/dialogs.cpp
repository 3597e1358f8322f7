// Sections: Shared pieces; Alerts; Quitting; Update dialog; Toasts.
#include "ui/dialogs.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "core/config.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "ui/confirm.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

using namespace ui::icon;

constexpr ImGuiWindowFlags kDialogFlags = ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings;

// ---- Shared pieces ----

void CentreNextDialog(float width) {
    ImGui::SetNextWindowSize(ImVec2(width * ui::Scale(), 0));
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
}

// The translated title with the fixed id behind it, so a change of language keeps the popup open.
std::string DialogTitle(const char* title, const char* id) { return std::string(title) + "###" + id; }

float ButtonWidth(const char* icon, const char* text) {
    const std::string label = ui::ComposeLabel(icon, text, nullptr);
    return ImGui::CalcTextSize(label.c_str()).x + 2 * ImGui::GetStyle().FramePadding.x;
}

// Moves the cursor so that buttons of these widths, one spacing apart, end at the right edge.
void AlignButtonsRight(std::initializer_list<float> widths) {
    float total = 0;
    for (float w : widths) total += w;
    total += ImGui::GetStyle().ItemSpacing.x * float(widths.size() > 0 ? widths.size() - 1 : 0);
    ImGui::SetCursorPosX(std::max(ui::ContentRightX() - total, ImGui::GetCursorPosX()));
}

void DialogSeparator() {
    ImGui::Spacing();
    ImGui::Separator();
    ImGui::Spacing();
}

// An icon and a text wrapped at the right edge, both in one colour; the text is never a format.
void IconMessage(const char* icon, const ImVec4& color, const std::string& text) {
    ImGui::TextColored(color, "%s", icon);
    ImGui::SameLine();
    ImGui::PushStyleColor(ImGuiCol_Text, color);
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text.c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

void WrappedPlain(const std::string& text) {
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text.c_str());
    ImGui::PopTextWrapPos();
}

// A message taller than the window leaves room for (a long configuration test output) scrolls in
// a box of its own, so that the dialog and its buttons stay on screen.
void ScrolledMessage(const std::string& text) {
    const float height = ImGui::CalcTextSize(text.c_str(), nullptr, false, ImGui::GetContentRegionAvail().x).y;
    const float room = ImGui::GetMainViewport()->WorkSize.y - 6 * ImGui::GetFrameHeight();
    if (height <= room) return WrappedPlain(text);
    ImGui::BeginChild("##message", ImVec2(0, std::max(room, ImGui::GetFrameHeight())));
    WrappedPlain(text);
    ImGui::EndChild();
}

// ---- Alerts ----

struct AlertTarget {
    const char* label;
    Page page;
};

// The button an alert's action offers, by action code; null label for none.
AlertTarget TargetOf(AlertAction action) {
    switch (action) {
        case alert_action::kComponents: return {"Open Components", page::kComponents};
        case alert_action::kApache: return {"Open Apache settings", page::kApache};
        case alert_action::kPhp: return {"Open PHP settings", page::kPhp};
        case alert_action::kMySql: return {"Open MySQL settings", page::kMySql};
        default: return {nullptr, page::kDashboard};
    }
}

// ---- Quitting ----

void BeginQuitWait(UiState& state, bool stopServers) {
    state.quitStopsServers = stopServers;
    if (stopServers) {
        Server::Instance().StopAll();
        // This frame's copy must already hold the job: taken before it, it shows an idle worker.
        state.server = Server::Instance().GetStatus();
        state.stopTick = UINT64_MAX;
    }
    state.alertsBeforeStop = state.alerts.size();
    state.stopping = true;
}

bool ErrorAlertSinceStop(const UiState& state) {
    for (size_t i = state.alertsBeforeStop; i < state.alerts.size(); ++i)
        if (state.alerts[i].error) return true;
    return false;
}

void DrawQuitQuestion(UiState& state) {
    if (!ui::OpenDialogInTurn("###exit")) return;
    CentreNextDialog(540);
    if (!ImGui::BeginPopupModal(DialogTitle(Tr("Quit Zerva"), "exit").c_str(), nullptr, kDialogFlags)) return;
    const ServerStatus& server = state.server;
    const bool installing = state.installer.busy;
    // Only the installer keeps Zerva from quitting: the question is about it alone.
    const bool aboutServers = server.apache.running || server.mysql.running || server.busy || !installing;
    if (aboutServers) WrappedPlain(Tr("Apache and/or MySQL are running. Do you want to stop them before quitting Zerva?"));
    if (installing) {
        if (aboutServers) ImGui::Spacing();
        WrappedPlain(Format(Tr("The installer is still working: %s. Quitting now would leave it half done, so Zerva "
                               "quits once it has finished."),
                            state.installer.title.c_str()));
    }
    DialogSeparator();

    bool close = false;
    if (aboutServers) {
        AlignButtonsRight({ButtonWidth(kStop, Tr("Stop and quit")), ButtonWidth(nullptr, Tr("Quit, keep running")),
                           ButtonWidth(nullptr, Tr("Cancel"))});
        if (ui::AccentButton(kStop, Tr("Stop and quit"), "exit_stop")) {
            BeginQuitWait(state, true);
            close = true;
        }
        ImGui::SameLine();
        if (ui::Button(nullptr, Tr("Quit, keep running"), "exit_keep")) {
            if (installing) BeginQuitWait(state, false);
            else state.quitNow = true;
            close = true;
        }
    } else {
        AlignButtonsRight({ButtonWidth(nullptr, Tr("Quit when finished")), ButtonWidth(nullptr, Tr("Cancel"))});
        if (ui::AccentButton(nullptr, Tr("Quit when finished"), "exit_wait")) {
            BeginQuitWait(state, false);
            close = true;
        }
    }
    ImGui::SameLine();
    if (ui::Button(nullptr, Tr("Cancel"), "exit_cancel") || ui::TakeEscape()) close = true;
    if (close) {
        state.quitDialogOpen = false;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

// The wait runs whether or not its popup could open yet (an alert may be on screen first).
void DrawQuitWait(UiState& state) {
    // The worker clears its busy mark before the monitor pass that sees the servers gone, and a
    // pass already under way when the stop was queued ends after it: only a pass that follows
    // the first sight of the idle worker tells whether the stop failed.
    const ServerStatus& server = state.server;
    if (state.quitStopsServers && state.stopTick == UINT64_MAX && !server.busy && server.queued == 0)
        state.stopTick = server.tick;
    switch (ui::CheckQuitWait(state.server, state.installer.busy, state.quitStopsServers, state.stopTick,
                              ErrorAlertSinceStop(state))) {
        case ui::QuitWait::kQuit: state.quitNow = true; return;
        case ui::QuitWait::kFailed: state.stopping = false; return;  // its alert shows next
        case ui::QuitWait::kWaiting: break;
    }
    if (!ui::OpenDialogInTurn("###stopping")) return;
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal("###stopping", nullptr,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize | kDialogFlags))
        return;
    ui::Spinner();
    ImGui::SameLine();
    ImGui::BeginGroup();
    if (state.quitStopsServers) ImGui::TextUnformatted(Tr("Stopping the servers..."));
    if (state.installer.busy) ImGui::Text("%s", Format(Tr("Waiting for the installer to finish: %s"),
                                                        state.installer.title.c_str()).c_str());
    ImGui::EndGroup();
    // Escape gives up quitting; a stop already queued still runs.
    if (ui::TakeEscape()) {
        state.stopping = false;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

// ---- Update dialog ----

void DrawUpdateState(const UiState& state, const updater::UpdateInfo& check, const updater::DownloadState& download,
                     ui::UpdateView view) {
    const float s = ui::Scale();
    switch (view) {
        case ui::UpdateView::kChecking:
            ui::Spinner();
            ImGui::SameLine();
            ImGui::TextUnformatted(Tr("Checking for updates..."));
            return;
        case ui::UpdateView::kCheckError:
            IconMessage(kError, ui::DangerColor(), std::string(Tr("Cannot check for updates:")) + " " + check.error);
            return;
        case ui::UpdateView::kUpToDate: {
            ImFont* big = ui::Fonts()[ui::kFontBig] ? ui::Fonts()[ui::kFontBig] : ImGui::GetFont();
            ImGui::PushFont(big);
            ImGui::TextColored(ui::SuccessColor(), "%s", kCheck);
            const float bigHeight = ImGui::GetTextLineHeight();
            ImGui::PopFont();
            ImGui::SameLine();
            ImGui::SetCursorPosY(ImGui::GetCursorPosY() + (bigHeight - ImGui::GetTextLineHeight()) / 2);
            ImGui::Text("%s", Format(Tr("Zerva %s is up to date."), check.installed.c_str()).c_str());
            return;
        }
        case ui::UpdateView::kAvailable:
        case ui::UpdateView::kManualOnly: break;
    }
    ImFont* bold = ui::Fonts()[ui::kFontBold] ? ui::Fonts()[ui::kFontBold] : ImGui::GetFont();
    ImGui::PushFont(bold);
    ImGui::TextUnformatted(Tr("A new version of Zerva is available."));
    ImGui::PopFont();
    ImGui::Spacing();
    ui::MutedText("%s", Tr("Installed version"));
    ImGui::SameLine(200 * s);
    ImGui::TextUnformatted(check.installed.c_str());
    ui::MutedText("%s", Tr("New version"));
    ImGui::SameLine(200 * s);
    ImGui::TextColored(ui::AccentColor(), "%s", check.latest.c_str());
    ImGui::Spacing();
    ui::Callout(kInfo,
                Tr("Only Zerva.exe is replaced: your servers, sites, databases and settings are kept. Apache and MySQL "
                   "keep running during the update."),
                ui::AccentColor());
    if (view == ui::UpdateView::kManualOnly)
        ui::WrappedText(Tr("This version cannot be installed automatically: download it from the website."));
    if (state.installer.busy)
        ui::Callout(kInfo, Tr("A component is being installed or removed: the update waits until it has finished."),
                    ui::WarningColor());
    if (download.downloading) {
        ImGui::TextUnformatted(download.status.c_str());
        const float fraction = download.progress >= 0 ? float(download.progress)
                                                      : float(std::fmod(ImGui::GetTime() * 0.6, 1.0));
        ImGui::PushStyleColor(ImGuiCol_PlotHistogram, ui::AccentColor());
        ImGui::ProgressBar(fraction, ImVec2(-1.0f, 8 * s), "");
        ImGui::PopStyleColor();
    } else if (!download.error.empty()) {
        IconMessage(kError, ui::DangerColor(), download.error);
    }
    if (!state.updateError.empty()) IconMessage(kError, ui::DangerColor(), state.updateError);
}

void DrawUpdateButtons(UiState& state, const updater::UpdateInfo& check, const updater::DownloadState& download,
                       ui::UpdateView view) {
    const float s = ui::Scale();
    const char* closeText = download.downloading ? Tr("Cancel") : Tr("Close");
    const float closeWidth = 150 * s;
    if (view == ui::UpdateView::kUpToDate || view == ui::UpdateView::kCheckError) {
        AlignButtonsRight({ButtonWidth(kRefresh, Tr("Check again")), closeWidth});
        if (ui::Button(kRefresh, Tr("Check again"), "upd_check")) updater::StartCheck(true);
        ImGui::SameLine();
    } else if (view == ui::UpdateView::kManualOnly) {
        AlignButtonsRight({ButtonWidth(kOpenPage, Tr("Open the download page")), closeWidth});
        if (ui::AccentButton(kOpenPage, Tr("Open the download page"), "upd_page")) ui::OpenUrl(check.page);
        ImGui::SameLine();
    } else if (view == ui::UpdateView::kAvailable) {
        AlignButtonsRight({ButtonWidth(kDownload, Tr("Update and restart")), closeWidth});
        if (ui::AccentButton(kDownload, Tr("Update and restart"), "upd_go", ImVec2(0, 0),
                             !download.downloading && !state.installRequested)) {
            state.updateError.clear();
            state.installRequested = true;
            if (!download.ready) updater::Download();
        }
        ImGui::SameLine();
    } else {
        AlignButtonsRight({closeWidth});
    }
    if (ui::Button(nullptr, closeText, "upd_close", ImVec2(closeWidth, 0)) || ui::TakeEscape()) {
        if (download.downloading) updater::CancelDownload();
        state.updateDialogOpen = false;
        state.installRequested = false;
        ImGui::CloseCurrentPopup();
    }
}

}  // namespace

namespace ui {

// ---- Alerts ----

void AlertPopup() {
    UiState& state = State();
    if (state.alerts.empty() || !OpenDialogInTurn("###notice")) return;
    CentreNextDialog(520);
    const Alert& alert = state.alerts.front();
    if (!ImGui::BeginPopupModal(DialogTitle(alert.title.c_str(), "notice").c_str(), nullptr, kDialogFlags)) return;
    ImFont* big = Fonts()[kFontBig] ? Fonts()[kFontBig] : ImGui::GetFont();
    ImGui::PushFont(big);
    ImGui::TextColored(alert.error ? DangerColor() : AccentColor(), "%s", alert.error ? kError : kInfo);
    ImGui::PopFont();
    ImGui::SameLine();
    ScrolledMessage(alert.message);
    DialogSeparator();

    const AlertTarget target = TargetOf(alert.action);
    const float okWidth = 150 * Scale();
    if (target.label) AlignButtonsRight({ButtonWidth(nullptr, Tr(target.label)), okWidth});
    else AlignButtonsRight({okWidth});
    bool done = false;
    if (target.label) {
        if (AccentButton(nullptr, Tr(target.label), "notice_action")) {
            state.page = target.page;
            done = true;
        }
        ImGui::SameLine();
    }
    if (Button(nullptr, Tr("OK"), "notice_ok", ImVec2(okWidth, 0)) || ui::TakeEscape()) done = true;
    if (done) {
        state.alerts.pop_front();
        if (state.alertsBeforeStop > 0) --state.alertsBeforeStop;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

// ---- Quitting ----

QuitStart DecideQuit(bool anyServerRunning, bool workerBusy, bool installerBusy, bool askSetting) {
    if (installerBusy) return QuitStart::kAsk;
    if (!anyServerRunning && !workerBusy) return QuitStart::kNow;
    return askSetting ? QuitStart::kAsk : QuitStart::kStopFirst;
}

QuitWait CheckQuitWait(const ServerStatus& server, bool installerBusy, bool stopServers, uint64_t stopTick,
                       bool errorAlertArrived) {
    if (stopServers) {
        if (errorAlertArrived) return QuitWait::kFailed;
        if (server.busy || server.queued > 0) return QuitWait::kWaiting;
        if (server.apache.running || server.mysql.running)
            return server.tick > stopTick ? QuitWait::kFailed : QuitWait::kWaiting;
    }
    return installerBusy ? QuitWait::kWaiting : QuitWait::kQuit;
}

void QuitDialog() {
    UiState& state = State();
    const ServerStatus& server = state.server;
    if (state.quitRequested) {
        state.quitRequested = false;
        if (!state.quitDialogOpen && !state.stopping) {
            switch (DecideQuit(server.apache.running || server.mysql.running, server.busy, state.installer.busy,
                               Config::Instance().GetBool(setting::kAskCloseServerWhenExit))) {
                case QuitStart::kNow: state.quitNow = true; break;
                case QuitStart::kAsk: state.quitDialogOpen = true; break;
                case QuitStart::kStopFirst: BeginQuitWait(state, true); break;
            }
        }
    }
    if (state.quitNow) return;
    if (state.quitDialogOpen) DrawQuitQuestion(state);
    else if (state.stopping) DrawQuitWait(state);
}

// ---- Update dialog ----

UpdateView ClassifyUpdate(const updater::UpdateInfo& check) {
    if (check.checking) return UpdateView::kChecking;
    if (check.latest.empty()) return UpdateView::kCheckError;
    if (!check.available) return UpdateView::kUpToDate;
    return check.url.empty() || check.sha256.empty() ? UpdateView::kManualOnly : UpdateView::kAvailable;
}

void UpdateDialog() {
    UiState& state = State();
    if (!state.updateDialogOpen) return;
    const updater::UpdateInfo check = updater::GetCheckState();
    const updater::DownloadState download = updater::GetDownloadState();
    // A download that ended without a verified file (failed or cancelled) leaves nothing to
    // apply: "Update and restart" may be tried again.
    if (state.installRequested && !download.downloading && !download.ready) state.installRequested = false;
    // The swap waits for the installer: ending the process in the middle of an installation
    // could lose the component it replaces.
    if (state.installRequested && download.ready && !state.installer.busy) {
        state.installRequested = false;
        std::string error;
        if (updater::ApplyUpdate(L"", error)) state.quitNow = true;
        else state.updateError = error;
        return;
    }
    if (!OpenDialogInTurn("###update")) return;
    CentreNextDialog(580);
    if (!ImGui::BeginPopupModal(DialogTitle(Tr("Zerva update"), "update").c_str(), nullptr, kDialogFlags)) return;
    const UpdateView view = ClassifyUpdate(check);
    DrawUpdateState(state, check, download, view);
    DialogSeparator();
    DrawUpdateButtons(state, check, download, view);
    ImGui::EndPopup();
}

// ---- Toasts ----

void DrawToasts() {
    std::vector<::Toast>& toasts = Toasts();
    const double now = ImGui::GetTime();
    std::erase_if(toasts, [now](const ::Toast& toast) { return toast.expiresAt < now; });
    const float s = Scale();
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    constexpr ImGuiWindowFlags kToastFlags =
        ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
        ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
        ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav;
    float top = viewport->Pos.y + 18 * s;
    for (size_t i = 0; i < toasts.size(); ++i) {
        ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x + viewport->Size.x - 18 * s, top), ImGuiCond_Always,
                                ImVec2(1.0f, 0.0f));
        ImGui::SetNextWindowBgAlpha(0.96f);
        ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 8 * s);
        ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 1.0f);
        const std::string name = "##toast" + std::to_string(i);
        if (ImGui::Begin(name.c_str(), nullptr, kToastFlags)) {
            const bool error = toasts[i].error;
            ImGui::TextColored(error ? DangerColor() : SuccessColor(), "%s", error ? kError : kCheck);
            ImGui::SameLine();
            // Long texts wrap instead of running off the window.
            ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + 420 * s);
            ImGui::TextUnformatted(toasts[i].text.c_str());
            ImGui::PopTextWrapPos();
        }
        top += ImGui::GetWindowHeight() + 8 * s;
        ImGui::End();
        ImGui::PopStyleVar(2);
    }
}

}  // namespace ui

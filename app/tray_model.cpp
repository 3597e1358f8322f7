#include "app/tray_model.h"

#include <windows.h>
#include <shellapi.h>

#include "core/translate.h"

namespace {

TrayMenuEntry Item(int id, std::string text, bool enabled) { return {id, std::move(text), enabled, {}}; }
TrayMenuEntry Separator() { return {}; }

}  // namespace

std::vector<TrayMenuEntry> BuildTrayMenu(const ServerStatus& status, bool windowShown) {
    const bool apache = status.apache.running, mysql = status.mysql.running, idle = !status.busy;
    const bool any = apache || mysql;
    TrayMenuEntry servers = Item(0, Tr("Apache / MySQL"), true);
    // The single-server items ignore the busy mark: the queue takes them in turn.
    servers.submenu = {Item(tray_cmd::kStartApache, Tr("Start Apache only"), !apache),
                       Item(tray_cmd::kStopApache, Tr("Stop Apache only"), apache),
                       Item(tray_cmd::kStartMySql, Tr("Start MySQL only"), !mysql),
                       Item(tray_cmd::kStopMySql, Tr("Stop MySQL only"), mysql)};
    return {Item(tray_cmd::kToggle, windowShown ? Tr("Hide Zerva") : Tr("Show Zerva"), true),
            Separator(),
            Item(tray_cmd::kStartAll, Tr("Start servers"), !(apache && mysql) && idle),
            Item(tray_cmd::kStopAll, Tr("Stop servers"), any && idle),
            Item(tray_cmd::kRestartAll, Tr("Restart servers"), any && idle),
            std::move(servers),
            Separator(),
            Item(tray_cmd::kOpenLocalhost, Tr("Open localhost"), apache),
            Item(tray_cmd::kPhpMyAdmin, "phpMyAdmin", apache),
            Item(tray_cmd::kWwwFolder, Tr("www folder"), true),
            Separator(),
            Item(tray_cmd::kQuit, Tr("Quit"), true)};
}

int TrayIconResource(int runningServers) {
    if (runningServers >= 2) return 104;
    return runningServers == 1 ? 103 : 102;
}

std::wstring TrayTooltipText(const std::wstring& tooltip) { return tooltip.substr(0, 127); }

TrayChange UpdateTrayShown(TrayShown& shown, int state, const std::wstring& tooltip) {
    TrayChange change;
    change.newIcon = state != shown.state;
    const std::wstring tip = TrayTooltipText(tooltip);
    change.send = change.newIcon || tip != shown.tooltip;
    shown.state = state;
    shown.tooltip = tip;
    return change;
}

std::optional<Alert> BalloonChooser::HiddenPass() {
    Alert alert;
    if (!Server::Instance().NewestAlertSince(alert, m_seen)) return std::nullopt;
    return alert;
}

void BalloonChooser::VisiblePass() { m_seen = Server::Instance().AlertCount(); }

void TrayGestures::Kind::Request(uint64_t tick, uint64_t doubleClickMs) {
    if (kept && tick - *kept < doubleClickMs) return;
    kept = tick;
    pending = true;
}

void TrayGestures::Record(unsigned event, uint64_t tick, uint64_t doubleClickMs) {
    switch (event) {
    case WM_LBUTTONUP:
    case NIN_SELECT:
    case NIN_KEYSELECT: m_toggle.Request(tick, doubleClickMs); break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: m_menu.Request(tick, doubleClickMs); break;
    default: break;
    }
}

TrayRequests TrayGestures::Take() {
    const TrayRequests requests{m_toggle.pending, m_menu.pending};
    m_toggle.pending = m_menu.pending = false;
    return requests;
}

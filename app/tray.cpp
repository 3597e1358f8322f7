#include "app/tray.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/tray_model.h"
#include "app/window.h"
#include "control/server.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "ui/ui.h"

namespace {

NOTIFYICONDATAW g_nid{};
bool g_wanted = false;  // between TrayAddIcon and TrayRemoveIcon
bool g_added = false;   // the shell took the icon
uint64_t g_lastAddTick = 0;
TrayShown g_shown;
TrayGestures g_gestures;
HMODULE g_iconModule = nullptr;
TrayShellCall g_shell = nullptr;
TrayClock g_clock = nullptr;

uint64_t Now() { return g_clock ? g_clock() : ::GetTickCount64(); }

BOOL Shell(DWORD message, NOTIFYICONDATAW& data) {
    return g_shell ? g_shell(message, &data) : ::Shell_NotifyIconW(message, &data);
}

// Offers the icon to the shell. One the shell still holds (a "TaskbarCreated" that did not come
// from a restart) refuses NIM_ADD, so a failed add is followed by a modification, which succeeds
// only for an icon the shell knows.
void OfferIcon() {
    g_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    g_added = Shell(NIM_ADD, g_nid) || Shell(NIM_MODIFY, g_nid);
    g_lastAddTick = Now();
    if (!g_added) return;
    g_nid.uVersion = NOTIFYICON_VERSION_4;
    Shell(NIM_SETVERSION, g_nid);
}

HICON LoadTrayIcon(int resource) {
    HICON icon = nullptr;
    const HMODULE module = g_iconModule ? g_iconModule : ::GetModuleHandleW(nullptr);
    if (FAILED(::LoadIconMetric(module, MAKEINTRESOURCEW(resource), LIM_SMALL, &icon))) return nullptr;
    return icon;
}

// Replaces the record's icon; the handle it held is destroyed, so re-adding never leaks one.
void SetIcon(HICON icon) {
    if (g_nid.hIcon) ::DestroyIcon(g_nid.hIcon);
    g_nid.hIcon = icon;
}

void CopyTip(const std::wstring& tip) {
    const std::wstring cut = TrayTooltipText(tip);
    wcsncpy_s(g_nid.szTip, cut.c_str(), _TRUNCATE);
}

void AppendEntries(HMENU menu, const std::vector<TrayMenuEntry>& entries) {
    for (const TrayMenuEntry& entry : entries) {
        if (!entry.submenu.empty()) {
            HMENU sub = ::CreatePopupMenu();
            AppendEntries(sub, entry.submenu);
            ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), Utf8ToWide(entry.text).c_str());
        } else if (entry.id == 0) {
            ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            TrayAppendItem(menu, entry.id, entry.text, entry.enabled);
        }
    }
}

void RunCommand(int id) {
    Server& server = Server::Instance();
    switch (id) {
    case tray_cmd::kToggle: ToggleMainWindow(); break;
    case tray_cmd::kStartAll: server.StartAll(); break;
    case tray_cmd::kStopAll: server.StopAll(); break;
    case tray_cmd::kRestartAll: server.RestartAll(); break;
    case tray_cmd::kOpenLocalhost: OpenWithShell(LocalhostUrl()); break;
    case tray_cmd::kPhpMyAdmin: OpenWithShell(LocalhostUrl() + "mysql/"); break;
    case tray_cmd::kWwwFolder: OpenInExplorer(WwwDir()); break;
    case tray_cmd::kQuit:
        // The quit question, if any, must appear in a window the user can see.
        ShowMainWindow();
        ui::RequestQuit();
        break;
    case tray_cmd::kStartApache: server.StartApache(); break;
    case tray_cmd::kStopApache: server.StopApache(); break;
    case tray_cmd::kStartMySql: server.StartMySql(); break;
    case tray_cmd::kStopMySql: server.StopMySql(); break;
    default: break;
    }
}

}  // namespace

void TrayAddIcon(HWND window) {
    g_nid.cbSize = sizeof(g_nid);
    g_nid.hWnd = window;
    g_nid.uID = 1;
    g_nid.uCallbackMessage = kTrayCallbackMessage;
    SetIcon(LoadTrayIcon(TrayIconResource(0)));
    CopyTip(L"Zerva");
    g_wanted = true;
    g_shown = TrayShown{};
    OfferIcon();
}

void TrayUpdate() {
    if (!g_wanted) return;
    if (!g_added) {
        if (Now() - g_lastAddTick < kTrayAddRetryMs) return;
        OfferIcon();  // with the picture and tooltip it was first offered with, as g_shown says
        if (!g_added) return;
    }
    const int state = ui::RunningServerCount();
    const TrayChange change = UpdateTrayShown(g_shown, state, Utf8ToWide(ui::TrayTooltip()));
    if (change.newIcon) SetIcon(LoadTrayIcon(TrayIconResource(state)));
    if (!change.send) return;
    CopyTip(g_shown.tooltip);
    g_nid.uFlags = NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    Shell(NIM_MODIFY, g_nid);
}

void TrayShowMenu() {
    const HWND window = g_nid.hWnd;
    HMENU menu = ::CreatePopupMenu();
    AppendEntries(menu, BuildTrayMenu(Server::Instance().GetStatus(), MainWindowShown()));
    ::SetMenuDefaultItem(menu, tray_cmd::kToggle, FALSE);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(window);
    const int chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0,
                                        window, nullptr);
    ::DestroyMenu(menu);
    ::PostMessageW(window, WM_NULL, 0, 0);
    RunCommand(chosen);
}

void TrayRecordNotification(unsigned event) {
    g_gestures.Record(event, Now(), ::GetDoubleClickTime());
}

void TrayRunRequests() {
    const TrayRequests requests = g_gestures.Take();
    if (requests.toggle) ToggleMainWindow();
    if (requests.menu) TrayShowMenu();
}

TrayRequests TrayTakeRequests() { return g_gestures.Take(); }

void TrayBalloon(const std::string& title, const std::string& text) {
    if (!g_added) return;
    NOTIFYICONDATAW balloon = g_nid;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = NIIF_WARNING;
    wcsncpy_s(balloon.szInfoTitle, Utf8ToWide(title).substr(0, 63).c_str(), _TRUNCATE);
    wcsncpy_s(balloon.szInfo, Utf8ToWide(text).substr(0, 255).c_str(), _TRUNCATE);
    Shell(NIM_MODIFY, balloon);
}

void TrayRemoveIcon() {
    if (!g_wanted) return;
    g_nid.uFlags = 0;
    if (g_added) Shell(NIM_DELETE, g_nid);
    SetIcon(nullptr);
    g_wanted = g_added = false;
}

void TrayAppendItem(HMENU menu, int id, const std::string& text, bool enabled) {
    ::AppendMenuW(menu, enabled ? MF_STRING : MF_STRING | MF_GRAYED, UINT_PTR(id), Utf8ToWide(text).c_str());
}

std::string LocalhostUrl() {
    const std::optional<ApacheInstall> apache = CurrentApache();
    return apache ? HomeUrl(*apache) : "http://localhost/";
}

void TraySetIconModule(HMODULE module) { g_iconModule = module; }
HICON TrayIconHandle() { return g_nid.hIcon; }
void TraySetShellForTests(TrayShellCall call) { g_shell = call; }

void TraySetClockForTests(TrayClock clock) { g_clock = clock; }

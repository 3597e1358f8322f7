// app/tray_model.h: what the notification-area icon shows, decided apart from the shell calls:
// the menu with its enabled items, the icon of the running count, the tooltip to send and the
// alert that becomes a balloon, and which of the icon's notifications ask for something. GUI
// thread; owns nothing but the balloon counter and the clicks not yet acted on.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/server.h"

// Menu command ids.
namespace tray_cmd {
inline constexpr int kToggle = 1000;
inline constexpr int kStartAll = 1001;
inline constexpr int kStopAll = 1002;
inline constexpr int kRestartAll = 1003;
inline constexpr int kOpenLocalhost = 1004;
inline constexpr int kPhpMyAdmin = 1005;
inline constexpr int kWwwFolder = 1006;
inline constexpr int kQuit = 1007;
inline constexpr int kStartApache = 1008;
inline constexpr int kStopApache = 1009;
inline constexpr int kStartMySql = 1010;
inline constexpr int kStopMySql = 1011;
}  // namespace tray_cmd

// One row of the menu: a separator has id 0 and no text; a submenu row has its items.
struct TrayMenuEntry {
    int id = 0;
    std::string text;  // translated, except "phpMyAdmin"
    bool enabled = true;
    std::vector<TrayMenuEntry> submenu;
};

// The menu for one server snapshot; `windowShown` is visible and not minimised.
std::vector<TrayMenuEntry> BuildTrayMenu(const ServerStatus& status, bool windowShown);

// Icon resources: 102 no server runs, 103 one, 104 both.
int TrayIconResource(int runningServers);

// The tooltip a notification icon can hold: 127 UTF-16 units at most.
std::wstring TrayTooltipText(const std::wstring& tooltip);

// What was last sent to the shell, and what the next update must send.
struct TrayShown {
    int state = 0;
    std::wstring tooltip = L"Zerva";
};
struct TrayChange {
    bool newIcon = false;  // load the icon of the new state
    bool send = false;     // NIM_MODIFY with icon and tooltip
};
// Compares with what was last sent and records the new state and tooltip in `shown`.
TrayChange UpdateTrayShown(TrayShown& shown, int state, const std::wstring& tooltip);

// Alerts raised while the window is hidden: each hidden pass turns only the newest alert since
// the previous pass into a balloon; alerts raised while the window is shown never become one.
// Every alert stays queued for the window.
class BalloonChooser {
public:
    std::optional<Alert> HiddenPass();
    void VisiblePass();

private:
    uint64_t m_seen = 0;
};

// What the icon's notifications ask of the loop.
struct TrayRequests {
    bool toggle = false;  // show or hide the window
    bool menu = false;    // open the menu
};

// With NOTIFYICON_VERSION_4 one gesture brings two notifications: a left click WM_LBUTTONUP then
// NIN_SELECT, Enter NIN_KEYSELECT twice, a right click WM_RBUTTONUP then WM_CONTEXTMENU (the menu
// key WM_CONTEXTMENU alone). Acting on each would show and hide the window at once, or open the
// menu a second time once the user closed it. The window procedure records them; the loop acts
// on each gesture once.
class TrayGestures {
public:
    // Notification `event` (the low word of the callback's second parameter) received at `tick`
    // (milliseconds). A request within `doubleClickMs` of the last one of its kind that was kept
    // belongs to the same gesture and is dropped; notifications that ask nothing are ignored.
    void Record(unsigned event, uint64_t tick, uint64_t doubleClickMs);
    // What the notifications recorded since the last call ask, cleared.
    TrayRequests Take();

private:
    struct Kind {
        std::optional<uint64_t> kept;  // when the last request of this kind was kept
        bool pending = false;
        void Request(uint64_t tick, uint64_t doubleClickMs);
    };
    Kind m_toggle, m_menu;
};

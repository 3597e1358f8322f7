// app/tray.h: the notification-area icon of the window mode: added at start-up and again when
// Explorer restarts, brought up to date on every pass of the frame loop, the clicks on it, its
// menu, balloons, and removal at shut-down. GUI thread only; owns the icon record and the icon
// handle.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

struct TrayRequests;

// Icon id 1 of `window`, picture 102, tooltip "Zerva". Called again after "TaskbarCreated": the
// previous icon handle is destroyed, and the next TrayUpdate sends the state again. When the
// shell refuses the icon (Explorer not ready yet at logon), TrayUpdate tries again.
void TrayAddIcon(HWND window);
// Icon and tooltip from a fresh server count; sends only what changed. An icon the shell refused
// is offered again every kTrayAddRetryMs first.
void TrayUpdate();
inline constexpr uint64_t kTrayAddRetryMs = 2000;
// The menu at the cursor, then the chosen command.
void TrayShowMenu();
// The window procedure's part: records one notification of the icon (the low word of the
// callback's second parameter), for TrayRunRequests.
void TrayRecordNotification(unsigned event);
// The loop's part: shows or hides the window, or opens the menu, once per gesture recorded.
void TrayRunRequests();
// What TrayRunRequests would act on, cleared (tests).
TrayRequests TrayTakeRequests();
// One warning balloon from the icon (title cut to 63 units, text to 255).
void TrayBalloon(const std::string& title, const std::string& text);
// NIM_DELETE and the icon handle destroyed; nothing when no icon was added.
void TrayRemoveIcon();
void TrayAppendItem(HMENU menu, int id, const std::string& text, bool enabled);
// The home address of the current Apache build, else "http://localhost/".
std::string LocalhostUrl();

// Where the tray icons are loaded from (zerva.exe itself unless a test names another module).
void TraySetIconModule(HMODULE module);
// The icon handle now in the record (tests check that a replaced one was destroyed).
HICON TrayIconHandle();
// Stands in for Shell_NotifyIconW (null restores it).
using TrayShellCall = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);
void TraySetShellForTests(TrayShellCall call);
// Stands in for GetTickCount64, the clock of the add's retries and of the gestures (null restores it).
using TrayClock = uint64_t (*)();
void TraySetClockForTests(TrayClock clock);

// app/window.h: the main window and the hidden capture window of the screenshot mode, their
// class, size and placement, the window procedure, and what it records for the frame loop
// (pending size, repaint request, last input, the session's lock). GUI thread only; owns the
// main window handle.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr wchar_t kMainWindowClass[] = L"ZervaRenewWindow";
inline constexpr wchar_t kCaptureWindowClass[] = L"ZervaRenewCapture";
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;
// Posted by a second instance: the running one shows its window.
inline constexpr UINT kShowWindowMessage = WM_APP + 2;

// The main window's rectangle: 1200 x 780 scaled, at most the work area less 40, centred.
RECT MainWindowRect(const RECT& workArea, float scale);
// Registers the class and creates the window, not shown; null on failure. Either window asks for
// the session's lock and unlock until it is destroyed.
HWND CreateMainWindow(HINSTANCE instance);
// The never-shown popup of the screenshot mode, `width` x `height` at (0, 0); null on failure.
HWND CreateCaptureWindow(HINSTANCE instance, int width, int height);
HWND MainWindow();

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
float WindowDpiScale(HWND window);
void ShowMainWindow();
// Hides the window when it is shown, else shows it.
void ToggleMainWindow();
// Visible and not minimised.
bool MainWindowShown();
// Registers "TaskbarCreated", after which its message re-adds the tray icon, and lets it through
// to `window` when this copy runs elevated (Windows drops messages from a less privileged
// Explorer otherwise, and the icon would never come back after a restart of it).
void RegisterTaskbarCreated(HWND window);
// Stands in for ChangeWindowMessageFilterEx (null restores it).
using MessageFilterCall = BOOL(WINAPI*)(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT info);
void SetMessageFilterForTests(MessageFilterCall call);

// 1 "apache", 2 "php", 3 "mysql", 4 "components", 5 "logs", 6 "prefs", else 0 (exact names).
int PageFromName(const std::string& name);

// The size recorded by the last WM_SIZE, cleared; false when none is pending.
bool TakePendingSize(UINT& width, UINT& height);
// Whether the window was uncovered, resized or moved to another DPI since the last call (its
// next frame must reach the screen whatever it holds); cleared.
bool TakeRepaintRequest();
// GetTickCount64 of the last input or of the program showing the window.
uint64_t LastInputTick();
// Whether the session was locked when the window was made or at the last lock or unlock
// notification since: a locked screen shows nothing of the window.
bool SessionLocked();
// Whether the session service's WTSSessionInfoEx answer (`bytes` long) says the session is
// locked: level 1 with SessionFlags WTS_SESSIONSTATE_LOCK. Unlocked, unknown, another level or an
// answer too short: false, so the window draws.
bool SessionInfoSaysLocked(const void* info, size_t bytes);
// Stand in for WTSRegisterSessionNotification, WTSUnRegisterSessionNotification and the ask of
// whether the session is locked now (null restores them).
using SessionWatchCall = BOOL(WINAPI*)(HWND window, DWORD flags);
using SessionUnwatchCall = BOOL(WINAPI*)(HWND window);
using SessionLockedCall = bool (*)();
void SetSessionNotificationForTests(SessionWatchCall watch, SessionUnwatchCall unwatch, SessionLockedCall lockedNow);

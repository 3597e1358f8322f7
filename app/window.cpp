#include "app/window.h"

#include <wtsapi32.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "app/tray.h"
#include "control/server.h"
#include "core/config.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/version.h"
#include "imgui.h"
#include "ui/ui.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

namespace {

HWND g_window = nullptr;
UINT g_pendingWidth = 0, g_pendingHeight = 0;
bool g_repaint = false;
UINT g_taskbarCreated = 0;
uint64_t g_lastInput = 0;
MessageFilterCall g_messageFilter = nullptr;
bool g_sessionLocked = false;
SessionWatchCall g_watchSession = nullptr;
SessionUnwatchCall g_unwatchSession = nullptr;
SessionLockedCall g_sessionLockedNow = nullptr;

bool RegisterClassNamed(HINSTANCE instance, const wchar_t* name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(101));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool IsInputMessage(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= 0x20E) || (message >= WM_KEYDOWN && message <= 0x109) ||
           message == WM_MOUSELEAVE || message == WM_SETFOCUS;
}

std::wstring WindowTitle() { return Utf8ToWide("Zerva " + std::string(kZervaVersion)); }

int DpiScaled(HWND window, int size) { return int(size * (float(::GetDpiForWindow(window)) / 96.0f)); }

// WTSINFOEXW of the Windows SDK, which the MinGW headers lack (WTSSessionInfoEx is class 25).
struct WtsInfoExLevel1 {
    ULONG sessionId;
    WTS_CONNECTSTATE_CLASS sessionState;
    LONG sessionFlags;  // WTS_SESSIONSTATE_LOCK 0, WTS_SESSIONSTATE_UNLOCK 1, -1 unknown
    WCHAR winStationName[33], userName[21], domainName[18];
    LARGE_INTEGER logonTime, connectTime, disconnectTime, lastInputTime, currentTime;
    DWORD incomingBytes, outgoingBytes, incomingFrames, outgoingFrames, incomingCompressed, outgoingCompressed;
};
struct WtsInfoEx {
    DWORD level;
    WtsInfoExLevel1 level1;
};
static_assert(offsetof(WtsInfoEx, level1.sessionFlags) == 16 && sizeof(WtsInfoEx) == 232);
// Locked is 0, not 1 as a flag would read: taken the wrong way round, an unlocked screen would
// leave the window undrawn.
constexpr LONG kWtsSessionStateLock = 0;

// Whether this session is locked now, as the session service says; false when it cannot say.
bool SessionLockedNow() {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTS_INFO_CLASS(25), &buffer,
                                       &bytes))
        return false;
    const bool locked = SessionInfoSaysLocked(buffer, bytes);
    ::WTSFreeMemory(buffer);
    return locked;
}

// The hardware swap chain flips, and a flip-model swap chain never reports its window occluded:
// only the session's lock notification tells the loop that nothing it draws can be seen. The
// notifications tell of changes only: a window made on a locked screen (a start at logon, a
// restart after an update) asks how the session stands, after registering so that no change
// falls between the two. Should the session service refuse either, the lock goes unseen and the
// loop draws on, as it would without it: a lock taken from the ask while no notification will
// ever tell of the unlock would leave the window undrawn until it is restarted.
HWND WatchSession(HWND window) {
    if (!window) return window;
    const SessionWatchCall watch = g_watchSession ? g_watchSession : ::WTSRegisterSessionNotification;
    const SessionLockedCall lockedNow = g_sessionLockedNow ? g_sessionLockedNow : SessionLockedNow;
    g_sessionLocked = watch(window, NOTIFY_FOR_THIS_SESSION) && lockedNow();
    return window;
}

void UnwatchSession(HWND window) { (g_unwatchSession ? g_unwatchSession : ::WTSUnRegisterSessionNotification)(window); }

}  // namespace

RECT MainWindowRect(const RECT& workArea, float scale) {
    const int workWidth = workArea.right - workArea.left, workHeight = workArea.bottom - workArea.top;
    const int width = std::min(workWidth - 40, int(scale * 1200));
    const int height = std::min(workHeight - 40, int(scale * 780));
    const int left = workArea.left + (workWidth - width) / 2, top = workArea.top + (workHeight - height) / 2;
    return {left, top, left + width, top + height};
}

HWND CreateMainWindow(HINSTANCE instance) {
    if (!RegisterClassNamed(instance, kMainWindowClass)) return nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const HDC screen = ::GetDC(nullptr);
    const float scale = float(::GetDeviceCaps(screen, LOGPIXELSX)) / 96.0f;
    ::ReleaseDC(nullptr, screen);
    const RECT rect = MainWindowRect(monitor.rcWork, scale);
    g_window = ::CreateWindowExW(0, kMainWindowClass, WindowTitle().c_str(), WS_OVERLAPPEDWINDOW, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    return WatchSession(g_window);
}

HWND CreateCaptureWindow(HINSTANCE instance, int width, int height) {
    if (!RegisterClassNamed(instance, kCaptureWindowClass)) return nullptr;
    g_window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kCaptureWindowClass, WindowTitle().c_str(), WS_POPUP, 0, 0, width, height,
                                 nullptr, nullptr, instance, nullptr);
    return WatchSession(g_window);
}

HWND MainWindow() { return g_window; }

float WindowDpiScale(HWND window) { return float(::GetDpiForWindow(window)) / 96.0f; }

void ShowMainWindow() {
    ::ShowWindow(g_window, ::IsIconic(g_window) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(g_window);
    g_lastInput = ::GetTickCount64();
}

bool MainWindowShown() { return ::IsWindowVisible(g_window) && !::IsIconic(g_window); }

void ToggleMainWindow() {
    if (MainWindowShown())
        ::ShowWindow(g_window, SW_HIDE);
    else
        ShowMainWindow();
}

void RegisterTaskbarCreated(HWND window) {
    g_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (g_taskbarCreated == 0) return;
    // Without elevation nothing is filtered and the call changes nothing; its failure leaves the
    // icon as it was before (gone after an Explorer restart), so it is not reported.
    const MessageFilterCall allow = g_messageFilter ? g_messageFilter : ::ChangeWindowMessageFilterEx;
    allow(window, g_taskbarCreated, MSGFLT_ALLOW, nullptr);
}

void SetMessageFilterForTests(MessageFilterCall call) { g_messageFilter = call; }

int PageFromName(const std::string& name) {
    static const char* const kNames[] = {"apache", "php", "mysql", "components", "logs", "prefs"};
    for (int i = 0; i < 6; ++i)
        if (name == kNames[i]) return i + 1;
    return 0;
}

bool TakePendingSize(UINT& width, UINT& height) {
    if (g_pendingWidth == 0 || g_pendingHeight == 0) return false;
    width = g_pendingWidth;
    height = g_pendingHeight;
    g_pendingWidth = g_pendingHeight = 0;
    return true;
}

bool TakeRepaintRequest() { return std::exchange(g_repaint, false); }

uint64_t LastInputTick() { return g_lastInput; }

bool SessionLocked() { return g_sessionLocked; }

bool SessionInfoSaysLocked(const void* info, size_t bytes) {
    if (!info || bytes < sizeof(WtsInfoEx)) return false;
    WtsInfoEx answer;
    std::memcpy(&answer, info, sizeof(answer));
    return answer.level == 1 && answer.level1.sessionFlags == kWtsSessionStateLock;
}

void SetSessionNotificationForTests(SessionWatchCall watch, SessionUnwatchCall unwatch, SessionLockedCall lockedNow) {
    g_watchSession = watch;
    g_unwatchSession = unwatch;
    g_sessionLockedNow = lockedNow;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ImGui_ImplWin32_WndProcHandler(window, message, wParam, lParam)) return 1;
    if (IsInputMessage(message)) g_lastInput = ::GetTickCount64();
    if (g_taskbarCreated != 0 && message == g_taskbarCreated) {
        TrayAddIcon(window);
        return 0;
    }
    switch (message) {
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = POINT{DpiScaled(window, 860), DpiScaled(window, 560)};
        return 0;
    }
    case WM_DESTROY:
        UnwatchSession(window);
        ::PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        // Validated at once, or Windows sends it again and again; the frame loop presents its
        // next frame, which Direct3D draws over the whole client area.
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::EndPaint(window, &paint);
        g_repaint = true;
        return 0;
    }
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            if (Config::Instance().GetBool(setting::kMinimizeToTray)) ::ShowWindow(window, SW_HIDE);
        } else {
            // Only recorded: the frame loop resizes the buffers before its next frame.
            g_pendingWidth = LOWORD(lParam);
            g_pendingHeight = HIWORD(lParam);
            g_repaint = true;
        }
        return 0;
    case WM_CLOSE:
        // The interface decides (it may ask about running servers first).
        ui::RequestQuit();
        return 0;
    case WM_ENDSESSION:
        if (wParam) Server::Instance().Shutdown(false);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;  // Alt alone does not open the system menu
        break;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        ui::SetDpiScale(float(HIWORD(wParam)) / 96.0f);
        g_repaint = true;
        return 0;
    }
    case kTrayCallbackMessage:
        // Only recorded: one click brings two notifications, and the loop acts once per gesture.
        TrayRecordNotification(LOWORD(lParam));
        return 0;
    case WM_WTSSESSION_CHANGE:
        // Only recorded: the loop draws nothing while the session is locked, and shows its next
        // frame once it is unlocked.
        if (wParam == WTS_SESSION_LOCK) g_sessionLocked = true;
        if (wParam == WTS_SESSION_UNLOCK) g_sessionLocked = false;
        return 0;
    case kShowWindowMessage:
        ShowMainWindow();
        return 0;
    default: break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

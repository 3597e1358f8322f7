// app/window_mode.h: the window road of the program: one instance, the write test, the folder
// layout, the window with Direct3D 11 and Dear ImGui, the interface, the server control and the
// tray icon, the frame loop, then the orderly shut-down. Main thread (the GUI thread).
#pragma once
#include <windows.h>

#include <string>

struct StartOptions;

inline constexpr wchar_t kSingleInstanceMutex[] = L"Local\\ZervaRenew.SingleInstance";

// Runs the window mode to its end; returns the exit code (0, or 1 when the root folder is not
// writable, Direct3D 11 is missing or lost for good, or a screenshot could not be written).
int RunWindowMode(HINSTANCE instance, const StartOptions& options);

// Takes the single-instance mutex `name`. False when another copy holds it: that copy was asked
// to show its window, or, when it runs with rights this one lacks (elevated), the user was told
// so, since Windows drops messages to it. The caller then ends with 0.
[[nodiscard]] bool TakeSingleInstance(const wchar_t* name);
// The write test; when it fails, offers to restart elevated, after letting the single-instance
// mutex go: `program` (this program's path) with ElevatedRestartArguments of `options` and
// `chosenRoot`, both resolved (ResolvedPath). The elevated copy runs in another logon session,
// which has none of the user's subst and mapped drives; started from its resolved path, it also
// finds a root that is its own folder. False: the caller ends with 1.
[[nodiscard]] bool CheckFolderWritable(const std::wstring& folder, const StartOptions& options,
                                       const std::wstring& chosenRoot, const std::wstring& program);
// The arguments of the elevated copy, quoted: the root folder when --root or ZERVA_ROOT chose it
// (`chosenRoot`, absolute, or empty), --cache made absolute and --lang, when given. The elevated
// copy starts in the system folder and without this process's environment, so neither a
// relative path nor ZERVA_ROOT would reach it.
std::wstring ElevatedRestartArguments(const StartOptions& options, const std::wstring& chosenRoot);
// One console warning per database configuration or client library of another package.
void CheckForeignMysqlFiles();
// Those warnings for a Windows folder (the test seam of the above).
void CheckForeignMysqlFilesIn(const std::wstring& windowsFolder, const std::wstring& driveRoot);
// Dark title bar unless THEME is exactly "light".
void ApplyInitialTitleBarTheme(HWND window);

// Stand in for MessageBoxW and ShellExecuteW (null restores them): a message box would wait for
// a user a headless run does not have.
using MessageBoxCall = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
using ShellExecuteCall = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                            LPCWSTR folder, INT show);
void SetWindowModeCallsForTests(MessageBoxCall messageBox, ShellExecuteCall shellExecute);

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

// The write test; when it fails, offers to restart elevated. False: the caller ends with 1.
[[nodiscard]] bool CheckFolderWritable(const std::wstring& folder);
// One console warning per database configuration or client library of another package.
void CheckForeignMysqlFiles();
// Those warnings for a Windows folder (the test seam of the above).
void CheckForeignMysqlFilesIn(const std::wstring& windowsFolder, const std::wstring& driveRoot);
// Dark title bar unless THEME is exactly "light".
void ApplyInitialTitleBarTheme(HWND window);

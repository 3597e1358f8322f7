#include "app/window_mode.h"

#include <shellapi.h>

#include "app/d3d.h"
#include "app/frame_loop.h"
#include "app/options.h"
#include "app/tray.h"
#include "app/window.h"
#include "control/server.h"
#include "control/updater.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "stack/apache/builds.h"
#include "ui/theme.h"
#include "ui/ui.h"

namespace {

// Held until the process ends: the next start finds it and hands over.
UniqueHandle g_instanceMutex;
MessageBoxCall g_messageBox = nullptr;
ShellExecuteCall g_shellExecute = nullptr;

int Ask(HWND owner, const std::wstring& text, UINT type) {
    return (g_messageBox ? g_messageBox : ::MessageBoxW)(owner, text.c_str(), L"Zerva", type);
}

void ShowDirect3DUnavailable(HWND owner) {
    Ask(owner, L"Direct3D 11 is not available on this computer.", MB_OK | MB_ICONERROR);
}

// The root folder when the user chose it rather than taking the executable's folder.
std::wstring ChosenRoot(const StartOptions& options) {
    return options.root || EnvironmentVariable(L"ZERVA_ROOT") ? RootDir() : std::wstring();
}

void InitImGui(HWND window) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    io.IniFilename = nullptr;
    ImGui_ImplWin32_Init(window);
    ImGui_ImplDX11_Init(D3dDevice(), D3dContext());
}

void ShutDownImGui() {
    // A lost device that could not be rebuilt has already shut the renderer down.
    if (ImGui::GetIO().BackendRendererUserData) ImGui_ImplDX11_Shutdown();
    ImGui_ImplWin32_Shutdown();
    ImGui::DestroyContext();
}

void StartInterface(HWND window, const StartOptions& options, bool screenshot) {
    if (screenshot) {
        ui::Init(UiInit{window, D3dDevice(), 1.0f});
        ui::SetPage(PageFromName(options.page));
        if (options.page == "update") ui::OpenUpdateDialog();
    } else {
        ui::Init(UiInit{window, D3dDevice(), WindowDpiScale(window)});
    }
    updater::CleanUpUpdateFiles();
    if (!options.updatedFrom.empty()) ui::AnnounceUpdated(options.updatedFrom);
}

void ShowAtStart(HWND window) {
    Config& config = Config::Instance();
    const bool apacheCurrent = CurrentApache().has_value();
    RegisterTaskbarCreated(window);
    TrayAddIcon(window);
    if (config.GetBool(setting::kStartOnStart) && apacheCurrent && !Server::Instance().AnyRunning())
        Server::Instance().StartAll();
    if (config.GetBool(setting::kStartSystrayMode) && apacheCurrent) {
        ::ShowWindow(window, SW_HIDE);
        return;
    }
    ::ShowWindow(window, SW_SHOWDEFAULT);
    ::UpdateWindow(window);
}

}  // namespace

int RunWindowMode(HINSTANCE instance, const StartOptions& options) {
    const bool screenshot = !options.screenshot.empty();
    if (!screenshot && !TakeSingleInstance(kSingleInstanceMutex)) return 0;
    if (!CheckFolderWritable(RootDir(), options, ChosenRoot(options), ExePath())) return 1;
    EnsureLayout();
    LogInfo(console::kZerva, "Zerva " + std::string(kZervaVersion) + " - " + WideToUtf8(RootDir()));
    CheckForeignMysqlFiles();

    const HWND window = screenshot ? CreateCaptureWindow(instance, options.width, options.height)
                                   : CreateMainWindow(instance);
    if (window) ApplyInitialTitleBarTheme(window);
    if (!window || !CreateDeviceD3D(window)) {
        ShowDirect3DUnavailable(window);
        return 1;
    }
    InitImGui(window);
    StartInterface(window, options, screenshot);
    Server::Instance().Start();
    if (!screenshot) ShowAtStart(window);

    const int loopResult = RunFrameLoop(window, FrameLoopOptions{screenshot, options.screenshot, options.frames});
    if (loopResult == kLoopNoDevice && !screenshot && ::IsWindow(window)) {
        ShowDirect3DUnavailable(window);
        ::DestroyWindow(window);
    }

    if (!screenshot) TrayRemoveIcon();
    ui::Shutdown();
    ShutDownImGui();
    CleanupDeviceD3D();
    Server::Instance().Shutdown(false);
    // Nothing is left to show a failure to; every change was already saved when it was made.
    if (!screenshot) (void)Config::Instance().Save();
    g_instanceMutex.Reset();
    return loopResult;
}

bool TakeSingleInstance(const wchar_t* name) {
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, name);
    const DWORD error = ::GetLastError();
    g_instanceMutex.Reset(mutex);
    if (error == ERROR_ACCESS_DENIED) {
        // The mutex of an elevated copy refuses this one, and Windows would drop the show message
        // posted to its window: only the user can bring it forward.
        Ask(nullptr,
            Utf8ToWide(Tr("Zerva is already running as administrator.\n\nWindows does not let this copy show its "
                          "window. Open it from the Zerva icon in the notification area, or quit it and start Zerva "
                          "again.")),
            MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (error != ERROR_ALREADY_EXISTS) return true;
    if (const HWND first = ::FindWindowW(kMainWindowClass, nullptr)) {
        // Lets the first instance come to the foreground although this one has the focus.
        ::AllowSetForegroundWindow(ASFW_ANY);
        ::PostMessageW(first, kShowWindowMessage, 0, 0);
    }
    return false;
}

bool CheckFolderWritable(const std::wstring& folder, const StartOptions& options, const std::wstring& chosenRoot,
                         const std::wstring& program) {
    if (IsDirectoryWritable(folder)) return true;
    const std::string text =
        Format(Tr("Zerva cannot write in its folder:\n%s\n\nZerva keeps its configuration and its servers in this "
                  "folder. Move the Zerva folder somewhere you can write (for example C:\\Zerva or your Documents), "
                  "or restart it as administrator.\n\nRestart as administrator now?"),
               WideToUtf8(folder).c_str());
    if (Ask(nullptr, Utf8ToWide(text), MB_YESNO | MB_ICONWARNING) == IDYES) {
        // The elevated copy may reach its single-instance check before this process has ended:
        // finding the mutex still held, it would hand over to a window that never comes and exit.
        g_instanceMutex.Reset();
        const std::wstring arguments = ElevatedRestartArguments(options, ResolvedPath(chosenRoot));
        (g_shellExecute ? g_shellExecute : ::ShellExecuteW)(nullptr, L"runas", ResolvedPath(program).c_str(),
                                                            arguments.empty() ? nullptr : arguments.c_str(), nullptr,
                                                            SW_SHOWNORMAL);
    }
    return false;
}

std::wstring ElevatedRestartArguments(const StartOptions& options, const std::wstring& chosenRoot) {
    CommandLine arguments;
    if (!chosenRoot.empty()) arguments.Add(L"--root").AddQuoted(chosenRoot);
    if (!options.cache.empty()) arguments.Add(L"--cache").AddQuoted(AbsoluteFolder(options.cache));
    if (!options.lang.empty()) arguments.Add(L"--lang").AddQuoted(Utf8ToWide(options.lang));
    return arguments.Text();
}

void CheckForeignMysqlFiles() {
    wchar_t windows[260] = {};
    ::GetWindowsDirectoryW(windows, 260);
    CheckForeignMysqlFilesIn(windows, L"C:\\");
}

void CheckForeignMysqlFilesIn(const std::wstring& windowsFolder, const std::wstring& driveRoot) {
    for (const std::wstring& path : {windowsFolder + L"\\my.ini", driveRoot + L"my.ini", driveRoot + L"my.cnf"})
        if (PathExists(path))
            LogWarning(console::kZerva,
                       Tr("A MySQL configuration file from another package was found (ignored by Zerva): ") +
                           WideToUtf8(path));
    for (const std::wstring& path : {windowsFolder + L"\\System32\\libmysql.dll", windowsFolder + L"\\libmysql.dll"})
        if (PathExists(path))
            LogWarning(console::kZerva,
                       Tr("libmysql.dll was installed in Windows by another package and may disturb PHP: ") +
                           WideToUtf8(path));
}

void ApplyInitialTitleBarTheme(HWND window) { ApplyTitleBarTheme(window, GetThemeSetting() != "light"); }

void SetWindowModeCallsForTests(MessageBoxCall messageBox, ShellExecuteCall shellExecute) {
    g_messageBox = messageBox;
    g_shellExecute = shellExecute;
}

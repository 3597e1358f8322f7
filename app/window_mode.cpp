#include "app/window_mode.h"

#include <shellapi.h>

#include "app/d3d.h"
#include "app/frame_loop.h"
#include "app/options.h"
#include "app/tray.h"
#include "app/window.h"
#include "control/server.h"
#include "control/updater.h"
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

// True when another instance holds the mutex; that instance is asked to show its window.
bool HandOverToRunningInstance() {
    const HANDLE mutex = ::CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
    const DWORD error = ::GetLastError();
    g_instanceMutex.Reset(mutex);
    if (error != ERROR_ALREADY_EXISTS) return false;
    if (const HWND first = ::FindWindowW(kMainWindowClass, nullptr)) {
        // Lets the first instance come to the foreground although this one has the focus.
        ::AllowSetForegroundWindow(ASFW_ANY);
        ::PostMessageW(first, kShowWindowMessage, 0, 0);
    }
    return true;
}

void ShowDirect3DUnavailable(HWND owner) {
    ::MessageBoxW(owner, L"Direct3D 11 is not available on this computer.", L"Zerva", MB_OK | MB_ICONERROR);
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
    if (!screenshot && HandOverToRunningInstance()) return 0;
    if (!CheckFolderWritable(RootDir())) return 1;
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

bool CheckFolderWritable(const std::wstring& folder) {
    if (IsDirectoryWritable(folder)) return true;
    const std::string text =
        Format(Tr("Zerva cannot write in its folder:\n%s\n\nZerva keeps its configuration and its servers in this "
                  "folder. Move the Zerva folder somewhere you can write (for example C:\\Zerva or your Documents), "
                  "or restart it as administrator.\n\nRestart as administrator now?"),
               WideToUtf8(folder).c_str());
    if (::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), L"Zerva", MB_YESNO | MB_ICONWARNING) == IDYES) {
        wchar_t self[520] = {};
        ::GetModuleFileNameW(nullptr, self, 520);
        ::ShellExecuteW(nullptr, L"runas", self, nullptr, nullptr, SW_SHOWNORMAL);
    }
    return false;
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

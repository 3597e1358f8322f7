// app/main.cpp: the process entry. Prepares the process (DPI awareness, COM), gathers the
// options, fixes the root folder, loads the settings and the language, then takes the
// command-line road or the window road. Main thread, which becomes the GUI thread.
#include <windows.h>
#include <objbase.h>

#include "app/cli.h"
#include "app/options.h"
#include "app/window_mode.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"

namespace {

HINSTANCE g_instance = nullptr;

// The command-line road: exit code 3 alone, before anything is printed, when the root folder
// cannot be written.
int RunCommandLineMode(const std::vector<std::wstring>& args, const StartOptions& options) {
    if (!IsDirectoryWritable(RootDir())) return 3;
    if (!options.cache.empty()) {
        const std::wstring cache = AbsoluteFolder(options.cache);
        if (EnsureDirectory(cache)) SetCacheDir(cache);
    }
    EnsureLayout();
    updater::CleanUpUpdateFiles();
    if (!options.updatedFrom.empty())
        LogSuccess(console::kZerva, Format(Tr("Zerva updated from %s to %s."), options.updatedFrom.c_str(),
                                           kZervaVersion));
    return CliMain(args);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    g_instance = instance;
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    const std::vector<std::wstring> args = ProcessArguments();
    const bool cliMode = IsCliMode(args);
    const StartOptions options = ScanOptions(args);
    if (options.waitPid) WaitForProcess(*options.waitPid);

    SetRootDir(ChooseRootFolder(options));
    Config::Instance().Load(RootDir() + L"\\zerva.ini");
    SetLanguage(Config::Instance().Get(setting::kLanguage));
    if (!options.lang.empty()) SetLanguage(options.lang);

    const int exitCode = cliMode ? RunCommandLineMode(args, options) : RunWindowMode(g_instance, options);
    if (SUCCEEDED(com)) ::CoUninitialize();
    // Detached threads (catalog loaders, the update check, output readers of running servers)
    // may still be working: end the process here instead of returning into the runtime, which
    // would destroy static objects under them. Everything worth keeping is written by now.
    ::ExitProcess(UINT(exitCode));
}

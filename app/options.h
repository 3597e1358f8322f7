// app/options.h: the options of zerva.exe, gathered once at start-up from the argument list, the
// command-line mode switch and the choice of the root folder. Main thread; no state of its own.
#pragma once
#include <optional>
#include <string>
#include <vector>

struct StartOptions {
    std::wstring screenshot;       // --screenshot: a PNG path; screenshot mode when not empty
    std::string page;              // --page (screenshot mode): the first page shown
    int width = 1280, height = 820;  // --size "WxH" (screenshot mode); a part that does not parse keeps its default
    int frames = 14;               // --frames (screenshot mode): frames drawn before the capture
    std::string updatedFrom;       // --updated-from: the version a finished self-update replaced
    std::optional<int> waitPid;    // --wait-pid: a process to wait for before anything else
    std::string lang;              // --lang: overrides the LANGUAGE setting when not empty
    std::optional<std::wstring> root;  // the last --root that has a value
    std::wstring cache;            // --cache (command-line mode): the download cache folder
};

// The arguments after the program path (CommandLineToArgvW of the process's command line).
std::vector<std::wstring> ProcessArguments();
// True when one argument is exactly "--cli" (case-sensitive, anywhere).
bool IsCliMode(const std::vector<std::wstring>& args);
// Every option of the list. Options match in any letter case and take the next argument as
// their value (the first one wins, --root the last one); an option written last has no value
// and is ignored. Nothing is waited for here.
StartOptions ScanOptions(const std::vector<std::wstring>& args);
// Waits up to 20 s for the process to end; one that cannot be opened is not waited for.
void WaitForProcess(int pid);
// The root folder: the --root value, else ZERVA_ROOT (read whole, however long), else the
// executable's folder; made absolute.
std::wstring ChooseRootFolder(const StartOptions& options);
// The folder made absolute against the working folder ("." and ".." folded), without trailing
// separators; however long.
std::wstring AbsoluteFolder(const std::wstring& folder);
// The value of an environment variable, however long; none when it is not set or empty.
std::optional<std::wstring> EnvironmentVariable(const wchar_t* name);

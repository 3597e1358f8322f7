// ui/shell.h: what the pages hand to Windows: web addresses, folders and text files to the shell,
// and command prompts. GUI thread. One seam, so tests record the calls instead of opening windows.
#pragma once
#include <string>
#include <vector>

struct PhpInstall;

namespace ui {

// One call the pages made, as recorded for tests.
struct ShellCall {
    enum class Kind { Url, Folder, Editor, Console } kind = Kind::Url;
    std::wstring target;       // the address, folder, file or program
    std::wstring args;         // console: the program's arguments; editor: the editor program
    std::wstring workDir;      // console only
    std::wstring pathPrepend;  // console only
};

// The editor program: TEXT_EDITOR when set, else "notepad.exe".
std::string TextEditor();
void OpenUrl(const std::string& url);
void OpenFolder(const std::wstring& folder);
// Opens the file in TextEditor(), falling back to Notepad.
void EditTextFile(const std::wstring& file);
// A visible console (LaunchInConsole); false when it did not start.
[[nodiscard]] bool OpenConsole(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
                               const std::wstring& pathPrepend);
// cmd.exe of the system folder, working in www, with the build's folder first in PATH, printing
// the build's version and staying open.
[[nodiscard]] bool OpenPhpConsole(const PhpInstall& php);

// Test seam: while set, the calls above are appended here instead of reaching Windows (consoles
// then report success). Null restores Windows.
void RecordShellCallsForTests(std::vector<ShellCall>* sink);

}  // namespace ui

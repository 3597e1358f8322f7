#include "ui/shell.h"

#include <windows.h>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/proc.h"
#include "core/settings.h"
#include "core/text.h"
#include "stack/php/builds.h"

namespace {

std::vector<ui::ShellCall>* g_recorder = nullptr;

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return (length > 0 && length < MAX_PATH) ? std::wstring(buffer, length) : std::wstring(L"C:\\Windows\\System32");
}

}  // namespace

namespace ui {

std::string TextEditor() {
    const std::string editor = Config::Instance().Get(setting::kTextEditor);
    return editor.empty() ? "notepad.exe" : editor;
}

void OpenUrl(const std::string& url) {
    if (g_recorder) return g_recorder->push_back({ShellCall::Kind::Url, Utf8ToWide(url)});
    OpenWithShell(url);
}

void OpenFolder(const std::wstring& folder) {
    if (g_recorder) return g_recorder->push_back({ShellCall::Kind::Folder, folder});
    OpenInExplorer(folder);
}

void EditTextFile(const std::wstring& file) {
    if (g_recorder) return g_recorder->push_back({ShellCall::Kind::Editor, file, Utf8ToWide(TextEditor())});
    OpenInEditor(TextEditor(), file);
}

bool OpenConsole(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
                 const std::wstring& pathPrepend) {
    if (g_recorder) {
        g_recorder->push_back({ShellCall::Kind::Console, exe, args, workDir, pathPrepend});
        return true;
    }
    return LaunchInConsole(exe, args, workDir, pathPrepend);
}

bool OpenPhpConsole(const PhpInstall& php) {
    return OpenConsole(SystemFolder() + L"\\cmd.exe", PhpConsoleArguments(php.dir + L"\\php.exe"), WwwDir(), php.dir);
}

void RecordShellCallsForTests(std::vector<ShellCall>* sink) { g_recorder = sink; }

}  // namespace ui

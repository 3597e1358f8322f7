#include "app/options.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "core/files.h"
#include "core/handle.h"
#include "core/text.h"

namespace {

// The value after the first occurrence of `name` among the arguments but the last.
std::optional<std::wstring> FirstValue(const std::vector<std::wstring>& args, const wchar_t* name) {
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (::_wcsicmp(args[i].c_str(), name) == 0) return args[i + 1];
    return std::nullopt;
}

}  // namespace

std::vector<std::wstring> ProcessArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
    ::LocalFree(argv);
    return args;
}

bool IsCliMode(const std::vector<std::wstring>& args) {
    for (const std::wstring& arg : args)
        if (arg == L"--cli") return true;
    return false;
}

StartOptions ScanOptions(const std::vector<std::wstring>& args) {
    StartOptions options;
    if (auto v = FirstValue(args, L"--screenshot")) options.screenshot = *v;
    if (auto v = FirstValue(args, L"--page")) options.page = WideToUtf8(*v);
    if (auto v = FirstValue(args, L"--size")) {
        int w = 0, h = 0;
        const int parsed = ::swscanf(v->c_str(), L"%dx%d", &w, &h);
        if (parsed >= 1) options.width = w;
        if (parsed >= 2) options.height = h;
    }
    if (auto v = FirstValue(args, L"--frames")) options.frames = ::_wtoi(v->c_str());
    if (auto v = FirstValue(args, L"--updated-from")) options.updatedFrom = WideToUtf8(*v);
    if (auto v = FirstValue(args, L"--wait-pid")) options.waitPid = ::_wtoi(v->c_str());
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (::_wcsicmp(args[i].c_str(), L"--root") != 0) continue;
        options.root = args[i + 1];
        ++i;  // the value is never itself an option
    }
    if (auto v = FirstValue(args, L"--lang")) options.lang = WideToUtf8(*v);
    if (auto v = FirstValue(args, L"--cache")) options.cache = *v;
    return options;
}

void WaitForProcess(int pid) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid)));
    if (process) ::WaitForSingleObject(process.Get(), 20000);
}

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name) {
    std::wstring value(520, L'\0');
    for (;;) {
        const DWORD n = ::GetEnvironmentVariableW(name, value.data(), DWORD(value.size()));
        if (n == 0) return std::nullopt;
        // Too small a buffer gets the size needed, terminator included, and nothing written:
        // ask again with that size (the value may have grown in between, hence the loop).
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.assign(n, L'\0');
    }
}

std::wstring AbsoluteFolder(const std::wstring& folder) {
    // GetFullPathNameW folds "." and ".." too; asked with too small a buffer it returns the size
    // needed, so a long path is read whole.
    std::wstring result(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetFullPathNameW(folder.c_str(), DWORD(result.size()), result.data(), nullptr);
        if (n == 0) {
            result = folder;
            break;
        }
        if (n < result.size()) {
            result.resize(n);
            break;
        }
        result.assign(n, L'\0');
    }
    // "C:\\Zerva\\" would give "C:\\Zerva\\\\bin"; a drive's own root keeps its separator.
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

std::wstring ChooseRootFolder(const StartOptions& options) {
    if (options.root) return AbsoluteFolder(*options.root);
    if (auto env = EnvironmentVariable(L"ZERVA_ROOT")) return AbsoluteFolder(*env);
    return AbsoluteFolder(Utf8ToWide(ExeDirectory()));
}

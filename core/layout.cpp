#include "core/layout.h"

#include "core/files.h"
#include "core/text.h"

namespace {

// Set at start-up before any other thread exists; read-only afterwards.
std::wstring g_rootDir;
std::wstring g_cacheDir;

std::wstring UnderRoot(const wchar_t* relative) { return g_rootDir + L"\\" + relative; }

// Writes a first-run file unless something is already there.
void WriteIfMissing(const std::wstring& path, const char* text) {
    if (!PathExists(path)) (void)WriteFileAtomic(path, text);
}

bool IsFolderEmpty(const std::wstring& folder) {
    return ListSubdirectories(folder).empty() && ListFiles(folder, "*").empty();
}

}  // namespace

void SetRootDir(const std::wstring& path) { g_rootDir = path; }
void SetCacheDir(const std::wstring& path) { g_cacheDir = path; }
const std::wstring& RootDir() { return g_rootDir; }
bool HasCacheDir() { return !g_cacheDir.empty(); }

std::wstring BinDir() { return UnderRoot(L"bin"); }
std::wstring ApacheDir() { return UnderRoot(L"bin\\apache"); }
std::wstring PhpDir() { return UnderRoot(L"bin\\php"); }
std::wstring DatabaseDir() { return UnderRoot(L"bin\\database"); }
std::wstring WwwDir() { return UnderRoot(L"www"); }
std::wstring PhpAppsDir() { return UnderRoot(L"phpapps"); }
std::wstring TempDir() { return UnderRoot(L"temp"); }
std::wstring SessionsDir() { return UnderRoot(L"temp\\sessions"); }
std::wstring DownloadsDir() { return HasCacheDir() ? g_cacheDir : UnderRoot(L"temp\\downloads"); }

void EnsureLayout() {
    for (const std::wstring& folder : {ApacheDir(), PhpDir(), DatabaseDir(), WwwDir(), PhpAppsDir(), TempDir(),
                                       SessionsDir(), UnderRoot(L"temp\\uploads"), DownloadsDir(),
                                       UnderRoot(L"temp\\phpmyadmin")})
        (void)EnsureDirectory(folder);   // a folder that cannot be made fails the first write into it, by path
    if (IsFolderEmpty(WwwDir())) WriteIfMissing(WwwDir() + L"\\index.php", kDefaultHomePage);
    const std::wstring pages = PhpAppsDir() + L"\\zerva";
    WriteIfMissing(pages + L"\\phpinfo.php", "<?php\nphpinfo();\n");
    WriteIfMissing(pages + L"\\index.php", "<?php\nheader('Location: phpinfo.php');\n");
}

std::string LoadTemplate(const std::wstring& name, const char* builtin) {
    std::string text;
    if (ReadWholeFile(UnderRoot(L"templates\\") + name, text)) return text;
    return builtin;
}

std::string ApacheTemplate() { return LoadTemplate(L"httpd_zerva.conf", kBuiltinApacheTemplate); }
std::string MyTemplate() { return LoadTemplate(L"my_zerva.ini", kBuiltinMyTemplate); }
std::string PhpMyAdminTemplate() { return LoadTemplate(L"config.inc.php", kBuiltinPhpMyAdminTemplate); }

bool IsInsideRoot(const std::string& path) {
    std::string root = ToLower(ToForwardSlashes(WideToUtf8(g_rootDir)));
    if (!root.empty() && root.back() != '/') root += '/';
    return StartsWith(ToLower(ToForwardSlashes(path)), root);
}

#include "core/layout.h"

#include <windows.h>

#include <map>
#include <mutex>

#include "core/files.h"
#include "core/handle.h"
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

// A path that could not be resolved is asked again no sooner than this after the failed ask: an
// offline share or a disconnected mapped drive can hold each open for seconds, and the monitor and
// the start and stop waits probe several times a second; a share that comes back is resolved
// within the minute.
constexpr uint64_t kRetryUnresolvedMs = 60000;

uint64_t TickNow() { return ::GetTickCount64(); }

FinalPathCall g_finalPath = FinalPathOf;
TickCall g_now = TickNow;

// What was learnt of one path: its final path, or when the last ask failed.
struct Resolution {
    std::string finalPath;   // empty while unresolved
    uint64_t failedAt = 0;   // the clock when the last ask ended without one
};

std::mutex g_resolutionsMutex;
std::map<std::wstring, Resolution> g_resolutions;

// FinalPathOf, kept once found (a root on a network drive must not cost a round trip on every
// monitor pass) and not asked again for a while after a failure. The lock is held through the
// ask, so callers that come meanwhile take its result rather than opening the path again.
std::string CachedFinalPath(const std::wstring& path) {
    std::lock_guard lock(g_resolutionsMutex);
    const auto found = g_resolutions.find(path);
    if (found != g_resolutions.end() &&
        (!found->second.finalPath.empty() || g_now() - found->second.failedAt < kRetryUnresolvedMs))
        return found->second.finalPath;
    Resolution& resolution = g_resolutions[path];
    resolution.finalPath = g_finalPath(path);
    if (resolution.finalPath.empty()) resolution.failedAt = g_now();
    return resolution.finalPath;
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

bool IsInsideRoot(const std::string& path) { return g_rootDir.empty() || IsInsideFolder(path, g_rootDir); }

bool IsInsideFolder(const std::string& path, const std::wstring& folder) {
    return IsPathUnder(path, {WideToUtf8(folder), CachedFinalPath(folder)});
}

std::wstring ResolvedPath(const std::wstring& path) {
    if (path.empty()) return path;
    const std::string finalPath = CachedFinalPath(path);
    return finalPath.empty() ? path : Utf8ToWide(PlainPath(finalPath));
}

std::string FinalPathOf(const std::wstring& path) {
    const UniqueHandle handle(::CreateFileW(ExtendedPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return {};
    std::wstring finalPath(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle.Get(), finalPath.data(), DWORD(finalPath.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < finalPath.size()) {
            finalPath.resize(length);
            return WideToUtf8(finalPath);
        }
        finalPath.resize(length);   // too short: the length asked for, its NUL included
    }
    return {};
}

void SetPathResolutionForTests(FinalPathCall finalPath, TickCall now) {
    std::lock_guard lock(g_resolutionsMutex);
    g_finalPath = finalPath ? finalPath : FinalPathOf;
    g_now = now ? now : TickNow;
    g_resolutions.clear();
}

std::string PlainPath(std::string_view path) {
    const std::string head = ToLower(ToForwardSlashes(path.substr(0, 8)));
    if (StartsWith(head, "//?/unc/")) return "\\\\" + std::string(path.substr(8));
    if (StartsWith(head, "//?/")) return std::string(path.substr(4));
    return std::string(path);
}

std::string PathKey(std::string_view path) { return ToLower(ToForwardSlashes(PlainPath(path))); }

bool IsPathUnder(std::string_view path, const std::vector<std::string>& folders) {
    const std::string key = PathKey(path);
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::string prefix = PathKey(folder);
        if (prefix.back() != '/') prefix += '/';
        if (StartsWith(key, prefix)) return true;
    }
    return false;
}

#include "control/updater.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

#include "core/cmdline.h"
#include "core/config.h"
#include "core/detached.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/http.h"
#include "core/json.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/online.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "core/zip.h"

// Contents:
// ---- State ----      the records, the executable path
// ---- Pure pieces ---- manifest forms, zip address, entry choice, versions, command line
// ---- Check ----      StartCheck, CheckThread, getters
// ---- Download ----   SetDownloadStatus, FailDownload, UnpackExecutable, VerifyExecutable,
//                      RunDownload, DownloadThread, Download, CancelDownload, GetDownloadState
// ---- Apply ----      FailSwap, ApplyUpdate, CleanUpUpdateFiles

namespace updater {

namespace {

// ---- State ----

constexpr char kThreadRefused[] = "cannot start a thread";
constexpr int kOldDeleteAttempts = 40;
constexpr DWORD kOldDeletePauseMs = 250;

struct State {
    std::mutex mutex;
    UpdateInfo check;
    bool checkFinished = false;
    std::chrono::steady_clock::time_point lastCheck;
    DownloadState download;
    std::wstring exeOverride;
    // Outside the mutex: the transfer writes them, any thread reads them.
    std::atomic<bool> cancel{false};
    TransferProgress progress;
};

// Never destroyed: detached threads may still be writing when the program's statics go away.
State& S() {
    static State* state = new State;
    return *state;
}

std::wstring ExecutablePath() {
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        if (!S().exeOverride.empty()) return S().exeOverride;
    }
    return ExePath();
}

bool (*g_swapMove)(const std::wstring&, const std::wstring&, uint32_t) = nullptr;

// The moves of the swap, through the test seam when one is set.
bool SwapMove(const std::wstring& from, const std::wstring& to, uint32_t flags) {
    if (g_swapMove) return g_swapMove(from, to, flags);
    return ::MoveFileExW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str(), flags) != FALSE;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? std::wstring(L".") : path.substr(0, at);
}

}  // namespace

void SetSwapMoveForTesting(bool (*move)(const std::wstring& from, const std::wstring& to, uint32_t flags)) {
    g_swapMove = move;
}

void SetExecutablePathForTesting(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().exeOverride = path;
}

// ---- Pure pieces ----

bool ParseManifest(std::string_view body, UpdateInfo& info) {
    bool ok = false;
    const JsonValue root = JsonParse(body, &ok);
    const std::string version = ok ? root.Find("version").AsString() : std::string();
    if (version.empty()) return false;
    info.latest = version;
    info.url = root.Find("url").AsString();
    info.sha256 = ToLower(root.Find("sha256").AsString());
    const std::string page = root.Find("page").AsString();
    if (!page.empty()) info.page = page;
    return true;
}

std::string ParseLegacyVersion(std::string_view text) {
    // VERSION\s*=\s*"([^"]+)" scanned by hand: the body may be megabytes long, and a backtracking
    // matcher recurses once per character of the value. At one starting point the pattern can
    // read the text in one way only, so the first occurrence that reads through is the match.
    constexpr std::string_view kName = "VERSION";
    for (size_t at = text.find(kName); at != std::string_view::npos; at = text.find(kName, at + 1)) {
        const size_t equals = SkipSpaces(text, at + kName.size());
        if (equals == text.size() || text[equals] != '=') continue;
        const size_t open = SkipSpaces(text, equals + 1);
        if (open == text.size() || text[open] != '"') continue;
        const size_t close = text.find('"', open + 1);
        if (close == std::string_view::npos || close == open + 1) continue;
        return std::string(text.substr(open + 1, close - open - 1));
    }
    return {};
}

bool IsZipUrl(std::string_view url) {
    const std::string_view path = url.substr(0, url.find('?'));
    return path.size() >= 4 && EqualsIgnoreCase(path.substr(path.size() - 4), ".zip");
}

int ChooseExecutableEntry(const std::vector<std::string>& names) {
    int chosen = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string lower = ToLower(names[i]);
        if (lower != "zerva.exe" && !EndsWith(lower, "/zerva.exe")) continue;
        if (chosen < 0 || names[i].size() < names[size_t(chosen)].size()) chosen = int(i);
    }
    return chosen;
}

uint64_t PackVersion(std::string_view version) {
    const std::vector<uint64_t> parts = ParseVersionParts(ExtractVersion(version));
    uint64_t packed = 0;
    for (size_t i = 0; i < 4; ++i) packed = packed << 16 | (i < parts.size() ? parts[i] & 0xFFFF : 0);
    return packed;
}

std::wstring RestartCommandLine(const std::wstring& exe, uint32_t pid, const std::wstring& root,
                                const std::wstring& extra) {
    // QuoteArg doubles a backslash before the closing quote, so a drive root "C:\" arrives whole.
    CommandLine line;
    line.AddQuoted(exe).Add(L"--wait-pid").Add(std::to_wstring(pid));
    line.Add(L"--updated-from").Add(Utf8ToWide(kZervaVersion)).Add(L"--root").AddQuoted(root);
    if (!extra.empty()) line.Add(extra);
    return line.Text();
}

// ---- Check ----

std::string UpdateUrl() {
    const std::string custom = Config::Instance().Get(setting::kUpdateUrl);
    return custom.empty() ? OnlineAddress(kManifestUrl) : custom;
}

namespace {

void CheckThread() {
    UpdateInfo info;
    info.installed = kZervaVersion;
    HttpOptions options;
    options.timeoutMs = 15000;
    HttpResult manifest;
    std::string body;
    const bool manifestArrived = HttpGet(manifest, UpdateUrl(), options, nullptr, nullptr, body);
    if (!manifestArrived || !ParseManifest(body, info)) {
        HttpResult legacy;
        std::string legacyBody;
        if (HttpGet(legacy, OnlineAddress(kLegacyVersionUrl), options, nullptr, nullptr, legacyBody))
            info.latest = ParseLegacyVersion(legacyBody);
    }
    if (info.latest.empty()) {
        info.error = manifestArrived ? "invalid update file" : manifest.error;
    } else if (CompareVersions(info.latest, info.installed) > 0) {
        info.available = true;
        LogInfo(console::kZerva, Format(Tr("Zerva %s is available (installed: %s)."), info.latest.c_str(),
                                        info.installed.c_str()));
    }
    std::lock_guard<std::mutex> lock(S().mutex);
    S().check = std::move(info);
    S().check.done = true;
    S().lastCheck = std::chrono::steady_clock::now();
    S().checkFinished = true;
}

}  // namespace

void StartCheck(bool force) {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (S().check.checking || (S().checkFinished && !force)) return;
    S().check.checking = true;
    // The thread waits for this lock before it stores its result, so starting it here is safe.
    if (!StartDetached(CheckThread)) {
        S().check.checking = false;
        S().check.error = kThreadRefused;
    }
}

UpdateInfo GetCheckState() {
    std::lock_guard<std::mutex> lock(S().mutex);
    UpdateInfo copy = S().check;
    if (copy.installed.empty()) copy.installed = kZervaVersion;
    return copy;
}

double SecondsSinceLastCheck() {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (!S().checkFinished) return 1e12;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - S().lastCheck).count();
}

// ---- Download ----

namespace {

void SetDownloadStatus(const std::string& status, double progress) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().download.status = status;
    S().download.progress = progress;
}

void FailDownload(const std::string& text) {
    LogError(console::kZerva, Tr("Update failed: ") + text);
    std::lock_guard<std::mutex> lock(S().mutex);
    S().download.downloading = false;
    S().download.ready = false;
    S().download.error = text;
}

// Moves the archive's Zerva.exe to `newExe`; the work folder is gone afterwards either way.
bool UnpackExecutable(const std::wstring& work, const std::wstring& archive, const std::wstring& newExe,
                      std::string& error) {
    std::vector<std::string> names;
    std::string listError;
    const int chosen = ListZipEntries(archive, names, listError) ? ChooseExecutableEntry(names) : -1;
    if (chosen < 0) {
        (void)RemoveTree(work);   // a leftover work folder is cleared by the next download
        error = Tr("Zerva.exe not found in the archive");
        return false;
    }
    const std::string& name = names[size_t(chosen)];
    const std::string prefix = name.substr(0, name.size() - 9);
    const std::wstring unpacked = work + L"\\unpacked";
    const std::wstring unpackedExe = unpacked + L"\\Zerva.exe";
    std::string extractError;
    const bool extracted = ExtractZip(archive, unpacked, prefix, nullptr, &S().cancel, &extractError,
                                      [](const std::string& rest) { return !EqualsIgnoreCase(rest, "Zerva.exe"); });
    if (!extracted || !PathExists(unpackedExe)) {
        (void)RemoveTree(work);
        // An entry that extracts to no file (a folder named Zerva.exe) fails without a text of its own.
        error = extractError.empty() ? std::string(Tr("Zerva.exe not found in the archive")) : extractError;
        return false;
    }
    ::DeleteFileW(ExtendedPath(newExe).c_str());
    const bool moved = ::MoveFileExW(ExtendedPath(unpackedExe).c_str(), ExtendedPath(newExe).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
    const DWORD code = ::GetLastError();
    if (!moved) error = Tr("cannot install the new Zerva.exe: ") + LastErrorText(code, newExe);
    (void)RemoveTree(work);
    return moved;
}

// Checks the new executable against the running one and the announced version; deletes it when
// it does not pass.
bool VerifyExecutable(const std::wstring& newExe, const std::wstring& exe, const std::string& latest,
                      std::string& error) {
    if (PeArchitecture(newExe) != PeArchitecture(exe)) {
        error = Tr("the downloaded file is not a Zerva executable for this computer");
    } else if ((FileVersion(newExe) >> 16) != (PackVersion(latest) >> 16)) {
        // The fourth part is a build number that a release announcement does not carry.
        error = Format(Tr("the downloaded file is not version %s"), latest.c_str());
    } else {
        return true;
    }
    ::DeleteFileW(ExtendedPath(newExe).c_str());
    return false;
}

bool RunDownload(const UpdateInfo& info, std::string& error) {
    const std::wstring exe = ExecutablePath();
    const std::wstring newExe = exe + L".new";
    if (!IsDirectoryWritable(FolderOf(exe))) {
        error = Tr("the Zerva folder is read-only");
        return false;
    }
    const bool isZip = IsZipUrl(info.url);
    const std::wstring work = TempDir() + L"\\update";
    (void)RemoveTree(work);
    (void)EnsureDirectory(work);   // a failure shows as the download's own "cannot write"
    const std::wstring target = isZip ? work + L"\\Zerva-update.zip" : newExe;

    SetDownloadStatus(std::string(Tr("Downloading")) + " Zerva " + info.latest, 0.0);
    S().progress.done = 0;
    S().progress.total = 0;
    HttpOptions options;
    options.timeoutMs = 60000;
    HttpResult result;
    if (!DownloadFile(result, info.url, target, options, &S().cancel, &S().progress)) {
        error = result.error + " (" + info.url + ")";
        return false;
    }

    SetDownloadStatus(Tr("Checking the SHA-256 checksum..."), -1.0);
    const std::optional<std::string> hash = Sha256File(target);
    if (!hash || *hash != info.sha256) {
        ::DeleteFileW(ExtendedPath(target).c_str());
        error = Tr("checksum mismatch: the downloaded file was deleted");
        return false;
    }
    if (isZip && !UnpackExecutable(work, target, newExe, error)) return false;
    return VerifyExecutable(newExe, exe, info.latest, error);
}

void DownloadThread(const UpdateInfo& info) {
    std::string error;
    if (!RunDownload(info, error)) {
        FailDownload(error);
        return;
    }
    LogSuccess(console::kZerva, Format(Tr("Zerva %s downloaded and verified (SHA-256)."), info.latest.c_str()));
    std::lock_guard<std::mutex> lock(S().mutex);
    S().download.downloading = false;
    S().download.ready = true;
    S().download.status.clear();
}

}  // namespace

void Download() {
    const UpdateInfo snapshot = GetCheckState();
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        if (S().download.downloading || !snapshot.available || snapshot.url.empty() || snapshot.sha256.empty())
            return;
        S().download = DownloadState{};
        S().download.downloading = true;
    }
    S().cancel = false;
    if (!StartDetached([snapshot] { DownloadThread(snapshot); })) FailDownload(Tr("cannot start a thread"));
}

void CancelDownload() { S().cancel = true; }

DownloadState GetDownloadState() {
    std::lock_guard<std::mutex> lock(S().mutex);
    DownloadState copy = S().download;
    const uint64_t total = S().progress.total;
    if (copy.downloading && total > 0) copy.progress = double(S().progress.done) / double(total);
    return copy;
}

// ---- Apply ----

namespace {

// The downloaded file is dropped with the failed swap: the next attempt downloads it again
// rather than retrying a file that could not be installed or started. Unless the previous
// executable could not be put back (`restored` false): then no copy is deleted, and the error says
// where the previous version is (else the new one, when Zerva.exe is gone).
bool FailSwap(const std::wstring& exe, const std::wstring& newExe, const std::wstring& oldExe, bool restored,
              std::string& error, std::string text) {
    if (restored && PathExists(exe)) {
        ::DeleteFileW(ExtendedPath(newExe).c_str());
    } else if (PathExists(oldExe)) {
        text += Format(Tr(" - Zerva.exe could not be put back: the previous version is %s"), WideToUtf8(oldExe).c_str());
    } else if (!PathExists(exe) && PathExists(newExe)) {
        text += Format(Tr(" - Zerva.exe could not be put back: the new version is %s"), WideToUtf8(newExe).c_str());
    }
    error = std::move(text);
    std::lock_guard<std::mutex> lock(S().mutex);
    S().download.ready = false;
    return false;
}

}  // namespace

bool ApplyUpdate(const std::wstring& extra, std::string& error) {
    const std::wstring exe = ExecutablePath();
    const std::wstring newExe = exe + L".new";
    const std::wstring oldExe = exe + L".old";
    if (!PathExists(newExe)) {
        error = "Zerva.exe.new not found";
        // Nothing is left to apply: the next attempt must download again.
        std::lock_guard<std::mutex> lock(S().mutex);
        S().download.ready = false;
        return false;
    }
    ::DeleteFileW(ExtendedPath(oldExe).c_str());
    // Windows lets a running image be renamed, not deleted: the old one moves aside.
    if (!SwapMove(exe, oldExe, MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = ::GetLastError();
        return FailSwap(exe, newExe, oldExe, true, error, Tr("cannot rename Zerva.exe: ") + LastErrorText(code, exe));
    }
    if (!SwapMove(newExe, exe, MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = ::GetLastError();
        std::string text = Tr("cannot install the new Zerva.exe: ") + LastErrorText(code, newExe);
        const bool restored = SwapMove(oldExe, exe, MOVEFILE_REPLACE_EXISTING);
        return FailSwap(exe, newExe, oldExe, restored, error, std::move(text));
    }

    std::wstring commandLine = RestartCommandLine(exe, ::GetCurrentProcessId(), RootDir(), extra);
    const std::wstring folder = FolderOf(exe);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &process)) {
        const DWORD code = ::GetLastError();
        std::string text = Tr("cannot start the new Zerva.exe: ") + LastErrorText(code, exe);
        // One move puts the old executable back over the new one, so the folder never lacks one.
        const bool restored = SwapMove(oldExe, exe, MOVEFILE_REPLACE_EXISTING);
        return FailSwap(exe, newExe, oldExe, restored, error, std::move(text));
    }
    ::AllowSetForegroundWindow(process.dwProcessId);
    UniqueHandle ownedProcess(process.hProcess), ownedThread(process.hThread);
    LogInfo(console::kZerva, Tr("Restarting Zerva with the new version..."));
    return true;
}

void CleanUpUpdateFiles() {
    const std::wstring exe = ExecutablePath();
    const std::wstring newExe = exe + L".new";
    const std::wstring oldExe = exe + L".old";
    if (PathExists(newExe)) ::DeleteFileW(ExtendedPath(newExe).c_str());
    if (!PathExists(oldExe)) return;
    // The previous process may still be ending and holding its image; a refused thread leaves
    // the file for the next start.
    (void)StartDetached([oldExe] {
        for (int attempt = 0; attempt < kOldDeleteAttempts; ++attempt) {
            if (!PathExists(oldExe) || ::DeleteFileW(ExtendedPath(oldExe).c_str())) return;
            ::Sleep(kOldDeletePauseMs);
        }
    });
}

}  // namespace updater

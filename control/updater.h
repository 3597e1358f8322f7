// control/updater.h: the self-updater: checks the update manifest, downloads and verifies the new
// executable, swaps it in through ".new" and ".old" and restarts it. The GUI and command-line
// threads call in; the check, the download and the deletion of the previous executable run on
// short detached threads. Owns the check and download records under one mutex.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// The built-in online addresses (before ZERVA_ONLINE_BASE) and the product's web site.
inline constexpr char kManifestUrl[] = "https://zerva.dev/file/zerva4/update.json";
inline constexpr char kLegacyVersionUrl[] = "https://zerva.dev/file/version.php";
inline constexpr char kProductPage[] = "https://zerva.dev/";

struct UpdateInfo {
    bool checking = false;          // a check thread runs
    bool done = false;              // a check has finished at least once
    std::string error;              // why the last check found no version
    std::string installed;          // the running version
    std::string latest;             // the version the manifest announces, empty when unknown
    std::string url;                // the new executable, or a zip archive holding it
    std::string sha256;             // expected SHA-256 of the file at url, lower-case hex
    std::string page = kProductPage;  // a web page about the release
    bool available = false;         // latest is newer than installed
};

struct DownloadState {
    bool downloading = false;
    bool ready = false;             // the verified new executable waits to be applied
    double progress = -1.0;         // 0 to 1, -1 when unknown
    std::string status;             // the current step, for display
    std::string error;              // the reason of the last failure
};

// The setting UPDATE_URL when set (the user's own address, used as written), else the built-in
// manifest address.
std::string UpdateUrl();
// Starts a check unless one runs or (without force) one has already finished.
void StartCheck(bool force);
UpdateInfo GetCheckState();
// Seconds since the last finished check; 1e12 before the first.
double SecondsSinceLastCheck();
// Starts downloading the announced version when one is available with its url and sha256 and
// no download runs; otherwise does nothing.
void Download();
void CancelDownload();
DownloadState GetDownloadState();
// Swaps exe + ".new" in and starts it with --wait-pid, --updated-from, --root and `extra`. On
// failure the running executable is back in place, no ".new" is left and `error` says why; when
// the executable could not be put back, no copy is deleted and `error` also names where the
// previous (else the new) version is. Any failure leaves the download not ready: trying again
// downloads anew.
[[nodiscard]] bool ApplyUpdate(const std::wstring& extra, std::string& error);
// Deletes a left-over ".new" now and the previous executable (".old") on a detached thread that
// retries while the old process still holds it.
void CleanUpUpdateFiles();

// ---- Pure pieces, text in, text out ----
// Form 1 of the manifest: true when it is a JSON document with a non-empty "version"; then
// latest, url, sha256 (lower-cased) and, when not empty, page are taken from it.
bool ParseManifest(std::string_view body, UpdateInfo& info);
// Form 2, the legacy file: the text between the double quotes of VERSION = "..."; "" when absent.
std::string ParseLegacyVersion(std::string_view text);
// The address, cut at its first "?", ends in ".zip" in any letter case.
bool IsZipUrl(std::string_view url);
// The archive entry holding the executable: "zerva.exe" at the top or in a folder, the shortest
// name first; -1 when none.
int ChooseExecutableEntry(const std::vector<std::string>& names);
// A version in the layout of a Windows file version: four 16-bit parts, missing ones 0.
uint64_t PackVersion(std::string_view version);
// "exe" --wait-pid <pid> --updated-from <version> --root "root" [extra]
std::wstring RestartCommandLine(const std::wstring& exe, uint32_t pid, const std::wstring& root,
                                const std::wstring& extra);

// Replaces the file moves of ApplyUpdate (MoveFileExW when null), so tests can fail any of them.
void SetSwapMoveForTesting(bool (*move)(const std::wstring& from, const std::wstring& to, uint32_t flags));
// Replaces the running executable's path in every later step, so tests swap a copy in a scratch
// folder and never the test program; empty restores the real one.
void SetExecutablePathForTesting(const std::wstring& path);

}  // namespace updater

// control/installer.cpp: the installer queue and its jobs. Index:
//   ---- Queue and status ----  Enqueue, WorkerLoop, Cancel, GetStatus, SetProgress, SetMessage
//   ---- Download ----          DownloadPackage, DownloadCaBundle
//   ---- Extraction ----        FindArchiveRoot, ExtractFilter, ExtractPackage
//   ---- Configuration ----     per component, the current-build rule
//   ---- Jobs ----              RunInstall (phpMyAdmin replaced only once the new copy works),
//                               RunUninstall (refused under the running server of the build in
//                               use), Install, Uninstall
#include "control/installer.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "control/catalog.h"
#include "control/monitor.h"
#include "control/sequences.h"
#include "core/detached.h"
#include "core/files.h"
#include "core/http.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/zip.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/database/builds.h"
#include "stack/database/data_dir.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"

namespace installer {

namespace {

std::mutex g_mutex;
std::condition_variable g_wake;
std::deque<InstallerJob> g_queue;
InstallerStatus g_status;
bool g_workerStarted = false;
bool g_running = false;   // the worker is inside a job
bool g_jobFailed = false; // the running job reported a failure

CancelFlag g_cancel{false};
std::atomic<int32_t> g_phase{0};   // 0 none, 1 downloading, 2 extracting
TransferProgress g_downloadProgress;
TransferProgress g_extractProgress;

constexpr uint32_t kArchiveTimeoutMs = 60000;
constexpr uint32_t kSmallFileTimeoutMs = 30000;

void WorkerLoop() {
    for (;;) {
        InstallerJob job;
        {
            std::unique_lock<std::mutex> lock(g_mutex);
            g_wake.wait(lock, [] { return !g_queue.empty(); });
            job = std::move(g_queue.front());
            g_queue.pop_front();
            g_running = true;
            g_status.busy = true;
            g_status.title = job.title;
            g_status.step.clear();
            g_status.progress = -1;
            g_status.queued = int32_t(g_queue.size());
            g_jobFailed = false;
        }
        g_cancel = false;
        try {
            job.job();
        } catch (const std::exception& e) {
            // A job reports its failures as results; this only keeps the queue alive.
            SetMessage(job.title + ": " + e.what());
        }
        // Before the job counts as done: whoever waits for its end then finds the catalogs marked
        // after it, and no scan of this thread still listing the build folders it may remove next.
        RefreshAfterJob();
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_running = false;
            g_status.lastJobFailed = g_jobFailed;
            g_status.busy = !g_queue.empty();
            ++g_status.jobsDone;
            g_status.queued = int32_t(g_queue.size());
            g_phase = 0;
        }
    }
}

}  // namespace

// ---- Queue and status ----

void Enqueue(const std::string& title, std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_workerStarted) g_workerStarted = StartDetached(WorkerLoop);
        if (g_workerStarted) {
            g_queue.push_back({title, std::move(job)});
            g_status.queued = int32_t(g_queue.size());
            g_status.busy = true;
            g_wake.notify_one();
            return;
        }
    }
    // Without a worker the job ends here, failed, so that nobody waits for it; the next job tries again.
    SetMessage(std::string(Tr("Cannot start the installer thread")) + ": " + title);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_status.lastJobFailed = true;
    ++g_status.jobsDone;
}

void Cancel() {
    g_cancel = true;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queue.clear();
    g_status.queued = 0;
    // Jobs dropped before the worker took one leave nothing running.
    g_status.busy = g_running;
}

InstallerStatus GetStatus() {
    std::lock_guard<std::mutex> lock(g_mutex);
    InstallerStatus status = g_status;
    if (g_phase == 1) {
        const uint64_t received = g_downloadProgress.done, total = g_downloadProgress.total;
        status.progress = total ? double(received) / double(total) : -1;
        status.step += total ? Format("  (%s / %s)", FormatSize(received).c_str(), FormatSize(total).c_str())
                             : "  (" + FormatSize(received) + ")";
    } else if (g_phase == 2) {
        const uint64_t done = g_extractProgress.done, total = g_extractProgress.total;
        status.progress = total ? double(done) / double(total) : -1;
    }
    return status;
}

void SetProgress(const std::string& step, double progress) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_status.step = step;
    g_status.progress = progress;
}

void SetMessage(const std::string& text) {
    LogError(console::kInstall, text);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_status.message = text;
    // Only a job's own failure marks it; a failure outside any job leaves the last job's result.
    if (g_running) g_jobFailed = true;
}

// ---- Download ----

namespace {

// phpMyAdmin publishes "<hash>  <file name>" next to each archive.
std::string FetchPublishedChecksum(const std::string& url) {
    HttpOptions options;
    options.timeoutMs = kSmallFileTimeoutMs;
    HttpResult result;
    std::string body;
    if (!HttpGetString(result, url + ".sha256", body, options)) return {};
    return ToLower(Trim(body.substr(0, body.find_first_of(" \t\r\n"))));
}

bool UsableCachedArchive(const std::wstring& archive, const std::string& expected) {
    if (!PathExists(archive)) return false;
    if (!expected.empty()) {
        const auto sum = Sha256File(archive);
        return sum && *sum == expected;
    }
    return HasCacheDir() && FileSize(archive) > 0;
}

}  // namespace

bool DownloadPackage(const Package& package, std::wstring& archive) {
    archive = DownloadsDir() + L"\\" + Utf8ToWide(package.fileName);
    std::string expected = package.sha256;
    if (expected.empty() && package.comp == Comp::PhpMyAdmin) expected = FetchPublishedChecksum(package.url);

    if (UsableCachedArchive(archive, expected)) {
        LogInfo(console::kInstall, std::string(Tr("Using the cached archive")) + " " + package.fileName);
    } else {
        g_downloadProgress.done = 0;
        g_downloadProgress.total = 0;
        SetProgress(std::string(Tr("Downloading")) + " " + package.fileName, 0);
        g_phase = 1;
        HttpOptions options;
        options.timeoutMs = kArchiveTimeoutMs;
        if (package.comp == Comp::Apache) {
            // The Apache host serves its archives only to visitors coming from its page.
            options.browserAgent = true;
            options.referer = EndpointAddress(Endpoint::ApachePage);
        }
        HttpResult result;
        if (!DownloadFile(result, package.url, archive, options, &g_cancel, &g_downloadProgress)) {
            SetMessage(std::string(Tr("Download failed")) + " (" + package.url + "): " + result.error);
            return false;
        }
        LogInfo(console::kInstall,
                package.fileName + " " + std::string(Tr("downloaded")) + " (" + FormatSize(FileSize(archive)) + ")");
    }
    if (expected.empty()) return true;

    SetProgress(std::string(Tr("Checking the SHA-256 checksum...")), -1);
    g_phase = 0;
    const auto sum = Sha256File(archive);
    if (!sum || *sum != expected) {
        ::DeleteFileW(ExtendedPath(archive).c_str());
        SetMessage(std::string(Tr("Checksum mismatch, the downloaded file was deleted: ")) + package.fileName);
        return false;
    }
    LogSuccess(console::kInstall, std::string(Tr("SHA-256 checksum verified")) + ": " + package.fileName);
    return true;
}

void DownloadCaBundle() {
    const std::wstring bundle = CaBundlePath();
    // A file without a certificate is no bundle: a redirect page that earlier downloads saved in
    // its place would otherwise stay, and PHP would verify every TLS peer against it.
    const std::optional<std::string> held = ReadWholeFile(bundle);
    if (held && held->find("-----BEGIN CERTIFICATE-----") != std::string::npos) return;
    const std::string address = EndpointAddress(Endpoint::CaBundle);
    HttpOptions options;
    options.timeoutMs = kSmallFileTimeoutMs;
    HttpResult result;
    if (!DownloadFile(result, address, bundle, options, &g_cancel, nullptr)) return;
    const size_t scheme = address.find("://");
    LogInfo(console::kInstall, std::string(Tr("CA certificates bundle downloaded")) + " (" +
                                   (scheme == std::string::npos ? address : address.substr(scheme + 3)) + ")");
}

// ---- Extraction ----

bool FindArchiveRoot(const std::vector<std::string>& names, const std::string& marker, std::string& prefix) {
    bool found = false;
    for (const std::string& name : names) {
        const std::string lower = ToLower(name);
        if (lower != marker && !EndsWith(lower, "/" + marker)) continue;
        const std::string candidate = name.substr(0, name.size() - marker.size());
        if (!found || candidate.size() < prefix.size()) prefix = candidate;
        found = true;
    }
    return found;
}

bool ExtractFilter(const Package& package, const std::string& name) {
    const std::string lower = ToLower(name);
    if (EndsWith(lower, ".pdb")) return true;
    return package.comp == Comp::Database && (StartsWith(lower, "include/") || EndsWith(lower, ".lib"));
}

namespace {

std::string MarkerFor(const Package& package, const std::vector<std::string>& names) {
    std::string unused;
    switch (package.comp) {
        case Comp::Php: return "php.exe";
        case Comp::Apache: return "bin/httpd.exe";
        case Comp::PhpMyAdmin: return "index.php";
        default: return FindArchiveRoot(names, "bin/mariadbd.exe", unused) ? "bin/mariadbd.exe" : "bin/mysqld.exe";
    }
}

// Extracts the archive's build folder into `staging`; on failure nothing of it remains.
bool ExtractToStaging(const Package& package, const std::wstring& archive, const std::wstring& staging) {
    std::vector<std::string> names;
    std::string error;
    if (!ListZipEntries(archive, names, error)) {
        SetMessage(error);
        return false;
    }
    const std::string marker = MarkerFor(package, names);
    std::string prefix;
    if (!FindArchiveRoot(names, marker, prefix)) {
        SetMessage(std::string(Tr("Unexpected archive content")) + " (" + marker + " " + std::string(Tr("not found")) + "): " + package.fileName);
        return false;
    }
    (void)RemoveTree(staging);   // a leftover of an interrupted run
    g_extractProgress.done = 0;
    g_extractProgress.total = 0;
    SetProgress(std::string(Tr("Extracting")) + " " + package.fileName, 0);
    g_phase = 2;
    const bool extracted = ExtractZip(archive, staging, prefix, &g_extractProgress, &g_cancel, &error,
                                      [&package](const std::string& name) { return ExtractFilter(package, name); });
    g_phase = 0;
    if (!extracted) {
        (void)RemoveTree(staging);
        SetMessage(std::string(Tr("Extraction failed")) + ": " + error);
        return false;
    }
    return true;
}

bool MoveIntoPlace(const std::wstring& staging, const std::wstring& dest) {
    // The window scans the build folders, the new one too, opening the programs inside for a
    // moment; Windows refuses to move a folder while a file in it is open, so the move waits.
    std::string error;
    if (MoveFileReplacing(staging, dest, &error)) return true;
    (void)RemoveTree(staging);
    const std::string written = "cannot write " + WideToUtf8(dest) + ": ";
    const std::string reason = StartsWith(error, written) ? error.substr(written.size()) : error;
    SetMessage(std::string(Tr("Cannot create the folder")) + " " + WideToUtf8(dest) + ": " + reason);
    return false;
}

}  // namespace

bool ExtractPackage(const Package& package, const std::wstring& archive, const std::wstring& dest) {
    const std::wstring staging = dest + L".installing";
    return ExtractToStaging(package, archive, staging) && MoveIntoPlace(staging, dest);
}

// ---- Configuration ----

namespace {

bool ConfigurePhp(const Package& package, std::string& error) {
    DownloadCaBundle();
    const auto build = FindPhp(package.folder);
    if (!build) {
        error = "PHP: " + package.folder;
        return false;
    }
    CopyVcRuntime(build->dir, build->arch);
    const std::vector<std::string> templates = ListPhpIniTemplates(*build);
    std::string failure;
    if (templates.empty() || !BuildPhpTemplate(*build, templates.front(), failure)) {
        error = "PHP: " + (failure.empty() ? std::string("php.ini-development not found") : failure);
        return false;
    }
    if (!FindPhp(GetCurrentPhpName())) SetCurrentPhpName(build->name);
    return true;
}

bool ConfigureApache(const Package& package, std::string& error) {
    const auto build = FindApache(package.folder);
    if (!build) {
        error = "Apache: " + package.folder;
        return false;
    }
    CopyVcRuntime(build->dir + L"\\bin", build->arch);
    std::string failure;
    if (!BuildApacheTemplate(*build, failure)) {
        error = "Apache: " + failure;
        return false;
    }
    if (!FindApache(GetCurrentApacheName())) SetCurrentApacheName(build->name);
    return true;
}

bool ConfigureDatabase(const Package& package, std::string& error) {
    const auto build = FindDb(package.folder);
    if (!build) {
        error = "MariaDB: " + package.folder;
        return false;
    }
    CopyVcRuntime(DbBinDir(*build), build->arch);
    std::string failure;
    bool done = EnsureMyTemplate(*build, failure);
    if (done) {
        SetProgress(std::string(Tr("Creating the databases (first initialization)...")), -1);
        done = WriteMyIni(*build, failure) && InitDataFolder(*build, failure);
    }
    if (!done) {
        error = "MariaDB: " + failure;
        return false;
    }
    if (!FindDb(GetCurrentDbName())) SetCurrentDbName(build->name);
    return true;
}

// A kept config.inc.php goes back byte for byte; a first install gets a generated one.
bool ConfigurePhpMyAdmin(const std::wstring& target, const std::string& keptConfig, std::string& error) {
    const std::wstring config = target + L"\\config.inc.php";
    if (!(keptConfig.empty() ? WritePhpMyAdminConfig(&error) : WriteFileAtomic(config, keptConfig, &error)))
        return false;
    (void)EnsureDirectory(TempDir() + L"\\phpmyadmin");
    return true;
}

bool Configure(const Package& package, const std::wstring& target, const std::string& keptConfig,
               std::string& error) {
    SetProgress(std::string(Tr("Configuring...")), -1);
    switch (package.comp) {
        case Comp::Php: return ConfigurePhp(package, error);
        case Comp::Apache: return ConfigureApache(package, error);
        case Comp::Database: return ConfigureDatabase(package, error);
        case Comp::PhpMyAdmin: return ConfigurePhpMyAdmin(target, keptConfig, error);
    }
    return false;
}

}  // namespace

// ---- Jobs ----

std::wstring TargetFolder(const Package& package) {
    const std::wstring folder = Utf8ToWide(package.folder);
    switch (package.comp) {
        case Comp::Php: return PhpDir() + L"\\" + folder;
        case Comp::Apache: return ApacheDir() + L"\\" + folder;
        case Comp::Database: return DatabaseDir() + L"\\" + folder;
        case Comp::PhpMyAdmin: return PhpAppsDir() + L"\\" + folder;
    }
    return {};
}

namespace {

// The previous phpMyAdmin stays until the new one and its configuration are in place: a failed
// or cancelled reinstall leaves the old copy, config.inc.php included, where it was.
bool ReplacePhpMyAdmin(const Package& package, const std::wstring& archive, const std::wstring& target) {
    const std::wstring old = target + L".old";
    const std::wstring staging = target + L".installing";
    // A reinstall interrupted between its moves, or one whose new copy could not be taken away
    // again, left the configured copy in ".old".
    std::string keptConfig = ReadWholeFile(target + L"\\config.inc.php").value_or("");
    if (keptConfig.empty()) keptConfig = ReadWholeFile(old + L"\\config.inc.php").value_or("");
    if (!ExtractToStaging(package, archive, staging)) return false;

    if (PathExists(target)) {
        (void)RemoveTree(old);   // what cannot be removed makes the move fail, which is reported
        if (!::MoveFileExW(ExtendedPath(target).c_str(), ExtendedPath(old).c_str(), 0)) {
            const DWORD code = ::GetLastError();
            (void)RemoveTree(staging);
            SetMessage(std::string(Tr("Cannot replace phpMyAdmin (files in use?)")) + ": " + LastErrorText(code, target));
            return false;
        }
    }
    const bool hadOld = PathExists(old);
    auto restore = [&] {
        if (hadOld) ::MoveFileExW(ExtendedPath(old).c_str(), ExtendedPath(target).c_str(), 0);
    };
    if (!MoveIntoPlace(staging, target)) {
        restore();
        return false;
    }
    std::string error;
    if (!Configure(package, target, keptConfig, error)) {
        if (hadOld) (void)RemoveTree(target);
        restore();
        SetMessage(error);
        return false;
    }
    (void)RemoveTree(old);
    return true;
}

// The current build of its component while the server that loads it runs (PHP runs inside Apache).
// Looked at when the removal runs, not only at the click: queued behind a long download, it may
// find that server started meanwhile, whose locked files would survive a half-done deletion.
bool InUseByRunningServer(Comp comp, const std::string& name) {
    std::optional<std::string> current;
    if (comp == Comp::Apache) {
        if (const auto build = CurrentApache()) current = build->name;
    } else if (comp == Comp::Php) {
        if (const auto build = CurrentPhp()) current = build->name;
    } else if (comp == Comp::Database) {
        if (const auto build = CurrentDb()) current = build->name;
    }
    if (!current || !EqualsIgnoreCase(*current, name)) return false;
    return comp == Comp::Database ? !FindMySqlProcesses().empty() : !FindApacheProcesses().empty();
}

}  // namespace

void RunInstall(const Package& package) {
    LogInfo(console::kInstall, std::string(Tr("Installing")) + " " + package.label + "...");
    const std::wstring target = TargetFolder(package);
    // Names come from online documents: only a plain name may become a file or folder.
    for (const std::string* name : {&package.folder, &package.fileName}) {
        if (target.empty() || !IsPlainName(*name)) {
            SetMessage(package.label + ": " + std::string(Tr("unsafe file or folder name")) + " (" + *name + ")");
            return;
        }
    }
    if (package.comp != Comp::PhpMyAdmin && PathExists(target)) {
        SetMessage(package.label + ": " + std::string(Tr("already installed")) + " (" + WideToUtf8(target) + ")");
        return;
    }
    std::wstring archive;
    if (!DownloadPackage(package, archive)) return;
    if (package.comp == Comp::PhpMyAdmin) {
        if (!ReplacePhpMyAdmin(package, archive, target)) return;
    } else {
        if (!ExtractPackage(package, archive, target)) return;
        std::string error;
        if (!Configure(package, target, {}, error)) {
            SetMessage(error);
            return;
        }
    }
    if (!HasCacheDir()) ::DeleteFileW(ExtendedPath(archive).c_str());
    LogSuccess(console::kInstall, package.label + " " + std::string(Tr("installed")) + " -> " + WideToUtf8(target));
}

void RunUninstall(Comp comp, const std::string& name) {
    Package package;
    package.comp = comp;
    package.folder = comp == Comp::PhpMyAdmin ? "phpmyadmin" : name;
    const std::wstring target = TargetFolder(package);
    // Only one plain name strictly inside its component's folder; never the Apache folder itself.
    const bool refused = name.empty() || target.empty() || !IsPlainName(package.folder) ||
                         EqualsIgnoreCase(ToForwardSlashes(WideToUtf8(target)), ToForwardSlashes(WideToUtf8(ApacheDir())));
    if (refused) {
        SetMessage(std::string(Tr("This folder cannot be removed from Zerva")) + ": " + name);
        return;
    }
    if (InUseByRunningServer(comp, name)) {
        SetMessage(std::string(Tr("Stop the server before removing the version in use")) + ": " + name);
        return;
    }
    SetProgress(std::string(Tr("Deleting files...")), -1);
    if (!RemoveTree(target)) {
        SetMessage(std::string(Tr("Cannot delete")) + " " + WideToUtf8(target) + " (" + std::string(Tr("files in use?")) + ")");
        return;
    }
    LogSuccess(console::kInstall, name + " " + std::string(Tr("removed")));
}

void Install(const Package& package) {
    Enqueue(std::string(Tr("Installing")) + " " + package.label, [package] { RunInstall(package); });
}

void Uninstall(Comp comp, const std::string& name) {
    Enqueue(std::string(Tr("Removing")) + " " + name, [comp, name] { RunUninstall(comp, name); });
}

}  // namespace installer

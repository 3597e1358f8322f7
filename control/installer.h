// control/installer.h: the installer queue. One detached worker thread, started by the first
// queued job, runs installs and removals one at a time: download (cache, ".part", SHA-256),
// extraction through "<target>.installing", configuration of the new build. Callers on any
// thread queue, cancel and copy the status; the installer mutex guards queue and status only.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "control/catalog_parse.h"

namespace installer {

struct InstallerJob {
    std::string title;          // already translated: "Installing PHP 8.3.14", "Removing ..."
    std::function<void()> job;
};

// The snapshot returned by GetStatus.
struct InstallerStatus {
    bool busy = false;          // a job runs or waits
    std::string title;          // of the current (or last) job
    std::string step;           // the current step; byte counts appended while downloading
    double progress = -1;       // 0..1 of the step, -1 when it cannot be given
    int32_t queued = 0;         // jobs waiting
    int32_t jobsDone = 0;       // jobs finished since the program started
    std::string message;        // the last failure; never cleared
    bool lastJobFailed = false; // the last finished job ended with a failure (message holds it)
};

// Queue the install of a copy of the package, or the removal of an installed build.
void Install(const Package& package);
void Uninstall(Comp comp, const std::string& name);
// Stops the running transfer or extraction at its next check and drops every waiting job.
void Cancel();
InstallerStatus GetStatus();
// The common queueing step. When the worker thread cannot be started the job fails at once.
void Enqueue(const std::string& title, std::function<void()> job);

// ---- The steps of a job, on the worker (exposed for the tests) ----
void RunInstall(const Package& package);
void RunUninstall(Comp comp, const std::string& name);
// The component's folder joined with the package's folder; "" for an unknown component.
std::wstring TargetFolder(const Package& package);
[[nodiscard]] bool DownloadPackage(const Package& package, std::wstring& archive);
[[nodiscard]] bool ExtractPackage(const Package& package, const std::wstring& archive, const std::wstring& dest);
// The folder inside the archive that holds `marker` ("bin/httpd.exe"): the shortest prefix of
// a matching entry, the first of equally short ones. False when no entry matches.
[[nodiscard]] bool FindArchiveRoot(const std::vector<std::string>& names, const std::string& marker, std::string& prefix);
// True to leave an entry out: debug symbols, and a database build's headers and import libraries.
bool ExtractFilter(const Package& package, const std::string& name);
// Fetches the CA bundle for PHP when it is missing or holds no certificate; a failure is silent.
void DownloadCaBundle();
void SetProgress(const std::string& step, double progress);
// Logs the failure as an error (source Install), then stores it as the status message.
void SetMessage(const std::string& text);

}  // namespace installer

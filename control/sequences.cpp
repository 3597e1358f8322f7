// control/sequences.cpp: the stop sequences of Apache and the database server and the helpers
// the start sequences share: the port check, the port-served rule, the runtime-library copy and
// the polling wait. Server worker only (the stops also after the worker has ended).
#include "control/sequences.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "control/monitor.h"
#include "control/server_status.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/proc.h"
#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(250);
constexpr int32_t kApacheStopWaitMs = 10000;
constexpr int32_t kMySqlStopWaitMs = 20000;
constexpr int32_t kAfterKillWaitMs = 3000;

bool (*g_forcedEnd)(uint32_t) = nullptr;
std::atomic<int32_t> g_stopWaitMs{0};  // 0: the waits above

int32_t StopWait(int32_t productMs) {
    const int32_t forTest = g_stopWaitMs.load();
    return forTest > 0 ? forTest : productMs;
}

bool Contains(const std::vector<uint32_t>& pids, uint32_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// Terminates what is left, waits, and reports whether anything survived.
bool ForceEnd(std::vector<ProcessInfo> (*find)()) {
    for (const auto& process : find()) (void)(g_forcedEnd ? g_forcedEnd(process.pid) : KillPid(process.pid, process.fullPath));
    return WaitUntil(kAfterKillWaitMs, [find] { return find().empty(); });
}

// The end of a stop: the refreshed status, then success, or an error and an alert when the
// server survived even the forced end (a survivor keeps its baseline, so its template stays watched).
void FinishStop(bool stopped, ConsoleSource source, void (*setBaseline)(uint64_t), const std::string& success,
                const std::string& failure, const std::string& alertTitle, const std::string& alertMessage) {
    if (stopped) setBaseline(0);
    RefreshStatus();
    if (stopped) {
        LogSuccess(source, success);
        return;
    }
    LogError(source, failure);
    QueueAlert(Alert{alertTitle, alertMessage, true, alert_action::kNone});
}

}  // namespace

// ---- Helpers ----

void SetForcedEndForTest(bool (*kill)(uint32_t pid)) { g_forcedEnd = kill; }
void SetStopWaitForTest(int32_t waitMs) { g_stopWaitMs = waitMs; }

std::string PortOwnerText(std::optional<uint32_t> ownerPid, const std::string& ownerName) {
    std::string owner = ownerPid ? ownerName + " (PID " + std::to_string(*ownerPid) + ")" : Tr("another program");
    if (ownerPid && *ownerPid == 4) owner += Tr(" - Windows HTTP service (IIS, http.sys...)");
    return owner;
}

bool CheckPortFree(int32_t port, const std::string& serverName, AlertAction action) {
    if (!Config::Instance().GetBool(setting::kDetectPortUsed)) return true;
    // A number no TCP port can have cannot be probed; the server itself refuses it.
    if (port <= 0 || port > 65535) return true;
    const PortState state = ProbePort(uint16_t(port));
    if (state == PortState::Free) return true;
    if (state == PortState::Reserved) {
        LogError(console::kZerva, Format(Tr("Port %d is reserved by Windows"), port));
        QueueAlert(Alert{Format(Tr("Port %d unavailable"), port),
                         Format(Tr("Port %d needed by %s lies in a range that Windows reserves for itself (the command "
                                   "netsh int ipv4 show excludedportrange protocol=tcp lists them).\n\nChange the port "
                                   "in Zerva."),
                                port, serverName.c_str()),
                         true, action});
        return false;
    }
    const auto listener = PortOwner(uint16_t(port));
    const std::string owner = PortOwnerText(listener ? std::optional<uint32_t>(listener->pid) : std::nullopt,
                                            listener ? listener->name : std::string());
    LogError(console::kZerva, Format(Tr("Port %d is already used by %s"), port, owner.c_str()));
    QueueAlert(Alert{
        Format(Tr("Port %d unavailable"), port),
        Format(Tr("Port %d needed by %s is already used by %s.\n\nStop that program or change the port in Zerva."),
               port, serverName.c_str(), owner.c_str()),
        true, action});
    return false;
}

bool PortServed(std::optional<uint32_t> ownerPid, const std::vector<uint32_t>& serverPids, bool freeBefore,
                bool listeningNow) {
    if (ownerPid) return Contains(serverPids, *ownerPid);
    return freeBefore && listeningNow;
}

std::vector<int32_t> FreePorts(const std::vector<int32_t>& ports) {
    std::vector<int32_t> free;
    for (int32_t port : ports)
        if (port > 0 && port <= 65535 && IsPortFree(uint16_t(port))) free.push_back(port);
    return free;
}

bool PortsServed(const std::vector<int32_t>& ports, const std::vector<int32_t>& freeBefore,
                 const std::function<std::vector<uint32_t>()>& serverPids) {
    std::optional<std::vector<uint32_t>> pids;  // the process list is read only when an owner is named
    for (int32_t port : ports) {
        if (port <= 0 || port > 65535) return false;
        // The listener table, not a bind probe: a probe's bind could take the port from the server
        // in the very moment it binds.
        const auto row = PortListenerPid(uint16_t(port));
        const std::optional<uint32_t> owner = row && *row != 0 ? row : std::nullopt;
        if (owner && !pids) pids = serverPids();
        const bool wasFree = std::find(freeBefore.begin(), freeBefore.end(), port) != freeBefore.end();
        if (!PortServed(owner, owner ? *pids : std::vector<uint32_t>(), wasFree, row.has_value())) return false;
    }
    return true;
}

void CopyVcRuntime(const std::wstring& dest, int32_t arch) {
    const std::wstring source = BinDir() + L"\\vcruntime\\" + Utf8ToWide(ArchName(arch));
    if (!IsDirectory(source) || !IsDirectory(dest)) return;
    for (const auto& name : ListFiles(source, "*.dll")) {
        const std::wstring from = source + L"\\" + Utf8ToWide(name);
        const std::wstring to = dest + L"\\" + Utf8ToWide(name);
        if (!PathExists(to) || FileVersion(to) < FileVersion(from)) (void)CopyFileTo(from, to, true);
    }
}

bool InitDataFolder(const DbInstall& build, std::string& error) {
    const bool initialized = HasMysqlDatabase(build);
    if (!InitDataDir(build, GetMysqlRootPassword(), error)) return false;
    if (initialized) return true;
    // phpMyAdmin may have been configured with the default before the first initialization made
    // the root password: it logs in with the stored one from now on.
    std::string pmaError;
    if (UpdatePhpMyAdminConfig(uint32_t(MysqlPort()), GetMysqlRootPassword(), pmaError) == PhpMyAdminUpdate::Failed)
        LogError(console::kMySql, Format(Tr("phpMyAdmin was not updated: %s"), pmaError.c_str()));
    return true;
}

bool WaitUntil(int32_t timeoutMs, const std::function<bool()>& predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        if (predicate()) return true;
        std::this_thread::sleep_for(kPollStep);
    }
}

std::vector<uint32_t> ParentProcesses(const std::vector<ProcessInfo>& processes) {
    const std::vector<uint32_t> pids = PidsOf(processes);
    std::vector<uint32_t> parents;
    for (const auto& process : processes)
        if (!Contains(pids, process.parentPid)) parents.push_back(process.pid);
    return parents;
}

// ---- Stop sequences ----

void DoStopApache() {
    const auto processes = FindApacheProcesses();
    if (processes.empty()) return;
    const std::string label = Tr("Stopping Apache...");
    SetBusyLabel(label);
    LogInfo(console::kApache, label);
    // Only the parent watches the event; it takes its children down with it.
    for (uint32_t pid : ParentProcesses(processes))
        (void)SignalNamedEvent(L"ap" + std::to_wstring(pid) + L"_shutdown");
    const bool stopped = WaitUntil(StopWait(kApacheStopWaitMs), [] { return FindApacheProcesses().empty(); })
                         || ForceEnd(FindApacheProcesses);
    FinishStop(stopped, console::kApache, SetApacheBaseline, Tr("Apache stopped."),
               Tr("Apache is still running after the forced stop."), Tr("Apache did not stop"),
               Tr("Apache is still running after the stop request and the forced end.\n"
                  "End httpd.exe in the Task Manager."));
}

void DoStopMySql() {
    const auto processes = FindMySqlProcesses();
    if (processes.empty()) return;
    const std::string label = Tr("Stopping MySQL...");
    SetBusyLabel(label);
    LogInfo(console::kMySql, label);
    for (const auto& process : processes) {
        const std::wstring pid = std::to_wstring(process.pid);
        if (!SignalNamedEvent(L"MySQLShutdown" + pid)) (void)SignalNamedEvent(L"Global\\MySQLShutdown" + pid);
    }
    const auto none = [] { return FindMySqlProcesses().empty(); };
    bool stopped = WaitUntil(StopWait(kMySqlStopWaitMs), none);
    if (!stopped) {
        if (auto db = CurrentDb()) (void)MysqlAdminShutdown(*db, GetMysqlRootPassword());
        stopped = WaitUntil(StopWait(kMySqlStopWaitMs), none);
    }
    if (!stopped) {
        LogWarning(console::kMySql, Tr("Clean shutdown failed: the process is terminated."));
        stopped = ForceEnd(FindMySqlProcesses);
    }
    FinishStop(stopped, console::kMySql, SetMySqlBaseline, Tr("MySQL stopped."),
               Tr("The database server is still running after the forced stop."), Tr("MySQL did not stop"),
               Tr("The database server is still running after the stop request and the forced end.\n"
                  "End it in the Task Manager."));
}

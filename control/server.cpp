// control/server.cpp: the Server singleton's worker thread, which runs the queued jobs one at a
// time, its start and end, the ten job operations and the two restarts of a build switch, and
// the doors to the shared state of control/server_status.cpp.
#include "control/server.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "control/monitor.h"
#include "control/sequences.h"
#include "control/start.h"
#include "core/detached.h"
#include "core/log.h"
#include "core/translate.h"

namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(500);
constexpr auto kRefreshEvery = std::chrono::milliseconds(900);

struct Worker {
    std::atomic<bool> stop{false};
    // Guards started and thread: Start and Shutdown may race from different threads.
    std::mutex lifeMutex;
    bool started = false;
    std::thread thread;
};

Worker& W() {
    static Worker worker;
    return worker;
}

// True on the worker thread, which must never wait for itself to end.
thread_local bool t_onWorker = false;

// The worker must survive whatever a job or a pass throws.
void RunGuarded(const std::function<void()>& work) {
    try {
        if (!work) throw std::bad_function_call();
        work();
    } catch (const std::exception& e) {
        LogError(console::kZerva, Tr("internal error: ") + std::string(e.what()));
    }
}

// A job that no worker will run: failed at once, with the reason in the console.
void RefuseJob(const std::string& label) {
    LogError(console::kZerva, std::string(Tr("Cannot start the server thread")) + ": " + label);
}

// Restarts, of the servers asked for, those that run as the job begins: both are stopped before
// either starts, and the database's start does not depend on Apache's. A server stopped while the
// job waited (a stop queued before it) stays stopped.
void RestartIfRunning(bool apacheAsked, bool mysqlAsked) {
    const bool apache = apacheAsked && !FindApacheProcesses().empty();
    const bool mysql = mysqlAsked && !FindMySqlProcesses().empty();
    if (apache) DoStopApache();
    if (mysql) DoStopMySql();
    if (apache) (void)DoStartApache();
    if (mysql) (void)DoStartMySql();
}

}  // namespace

// ---- Queue, status and alerts ----

Server& Server::Instance() {
    static Server server;
    return server;
}

void Server::Enqueue(const std::string& label, std::function<void()> job, const std::string& key) {
    if (!EnqueueJob(ServerJob{label, key, std::move(job)})) RefuseJob(label.empty() ? key : label);
}

ServerStatus Server::GetStatus() { return CopyStatus(); }

bool Server::AnyRunning() {
    bool running = false;
    EditStatus([&](ServerStatus& status) { running = status.apache.running || status.mysql.running; });
    return running;
}

void Server::PushAlert(const std::string& title, const std::string& message, bool error, AlertAction action) {
    QueueAlert(Alert{title, message, error, action});
}

bool Server::PopAlert(Alert& out) { return TakeOldestAlert(out); }

uint64_t Server::AlertCount() { return QueuedAlertCount(); }

bool Server::LastAlertSince(Alert& out, uint64_t seen) { return ReadNewestAlert(out, seen); }

bool Server::NewestAlertSince(Alert& out, uint64_t& seen) { return ReadNewestAlert(out, seen); }

// ---- Worker ----

void Server::Start() {
    Worker& w = W();
    std::lock_guard<std::mutex> life(w.lifeMutex);
    if (w.started || w.stop) return;
    w.started = true;
    RunGuarded([this] { Refresh(); });
    const ServerStatus status = GetStatus();
    if (status.apache.running) SetApacheBaseline(ApacheConfigSignature());
    if (status.mysql.running) SetMySqlBaseline(MySqlConfigSignature());
    if (StartJoinable(w.thread, [this] { WorkerLoop(); })) return;
    // No worker: every job, waiting or to come, fails with the reason rather than waiting forever.
    for (const std::string& label : CloseJobQueue()) RefuseJob(label);
    QueueAlert(Alert{Tr("Cannot start the server thread"),
                     Tr("Zerva cannot start or stop the servers until it is restarted."), true, alert_action::kNone});
}

void Server::Shutdown(bool stopServers) {
    Worker& w = W();
    w.stop = true;
    WakeJobWaiters();
    if (t_onWorker) return;  // a job asking for the end: the loop ends after it
    {
        // Held across the join, so a second caller returns only once the worker has ended.
        std::lock_guard<std::mutex> life(w.lifeMutex);
        if (w.thread.joinable()) w.thread.join();
    }
    if (stopServers) {
        DoStopApache();
        DoStopMySql();
    }
}

void Server::WorkerLoop() {
    t_onWorker = true;
    Worker& w = W();
    auto lastTick = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    while (!w.stop) {
        std::optional<ServerJob> job = WaitForJob(kWaitStep, w.stop);
        if (!job) {
            if (w.stop) return;
            if (std::chrono::steady_clock::now() - lastTick >= kRefreshEvery) {
                RunGuarded([this] { Refresh(); });
                lastTick = std::chrono::steady_clock::now();
            }
            continue;
        }
        RunGuarded(job->job);
        ClearBusy();
        RunGuarded([this] { Refresh(); });
        lastTick = std::chrono::steady_clock::now();
    }
}

void Server::Refresh() {
    RefreshStatus();
    const ConfigRestarts due = DueConfigRestarts();
    if (due.apache) RestartApache();
    if (due.mysql) RestartMySql();
}

// ---- Job operations ----

void Server::StartAll() {
    Enqueue(Tr("Starting servers..."), [] { if (DoStartApache()) (void)DoStartMySql(); }, "startall");
}

void Server::StopAll() {
    Enqueue(Tr("Stopping servers..."), [] { DoStopApache(); DoStopMySql(); }, "stopall");
}

void Server::RestartAll() {
    Enqueue(Tr("Restarting servers..."), [] {
        DoStopApache();
        DoStopMySql();
        if (DoStartApache()) (void)DoStartMySql();
    }, "restartall");
}

void Server::StartApache() {
    Enqueue(Tr("Starting Apache..."), [] { (void)DoStartApache(); }, "startapache");
}

void Server::StopApache() {
    Enqueue(Tr("Stopping Apache..."), [] { DoStopApache(); }, "stopapache");
}

void Server::RestartApache() {
    Enqueue(Tr("Restarting Apache..."), [] { DoStopApache(); (void)DoStartApache(); }, "restartapache");
}

void Server::StartMySql() {
    Enqueue(Tr("Starting MySQL..."), [] { (void)DoStartMySql(); }, "startmysql");
}

void Server::StopMySql() {
    Enqueue(Tr("Stopping MySQL..."), [] { DoStopMySql(); }, "stopmysql");
}

void Server::RestartMySql() {
    Enqueue(Tr("Restarting MySQL..."), [] { DoStopMySql(); (void)DoStartMySql(); }, "restartmysql");
}

void Server::RestartRunning() {
    Enqueue(Tr("Applying the configuration..."), [] { RestartIfRunning(true, true); }, "restartrunning");
}

void Server::RestartApacheIfRunning() {
    Enqueue(Tr("Restarting Apache..."), [] { RestartIfRunning(true, false); }, "restartapacheifrunning");
}

void Server::RestartMySqlIfRunning() {
    Enqueue(Tr("Restarting MySQL..."), [] { RestartIfRunning(false, true); }, "restartmysqlifrunning");
}

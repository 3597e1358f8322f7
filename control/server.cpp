// control/server.cpp: the Server singleton's shared state (job queue, status block, alerts),
// the worker thread that runs the queued jobs one at a time, and the ten job operations.
// Lock order: only the worker and Enqueue nest two locks, always queue mutex, then status mutex.
#include "control/server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "control/monitor.h"
#include "control/sequences.h"
#include "control/start.h"
#include "core/log.h"
#include "core/translate.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWaitStep = std::chrono::milliseconds(500);
constexpr auto kRefreshEvery = std::chrono::milliseconds(900);

struct Shared {
    std::mutex queueMutex;
    std::condition_variable wake;
    std::deque<ServerJob> queue;

    std::mutex statusMutex;
    ServerStatus status;

    std::mutex alertMutex;
    std::deque<Alert> alerts;
    Alert lastAlert;
    uint64_t alertCount = 0;

    std::atomic<bool> stop{false};
    // Guards started and worker: Start and Shutdown may race from different threads.
    std::mutex lifeMutex;
    bool started = false;
    std::thread worker;
};

Shared& S() {
    static Shared shared;
    return shared;
}

std::atomic<void (*)()> g_afterAlertRead{nullptr};

void AfterAlertRead() {
    if (auto hook = g_afterAlertRead.load()) hook();
}

// True on the worker thread, which must never wait for itself to end.
thread_local bool t_onWorker = false;

// Publishes the waiting count; the caller holds the queue mutex.
void PublishQueuedLocked() {
    Shared& s = S();
    std::lock_guard<std::mutex> status(s.statusMutex);
    s.status.queued = int32_t(s.queue.size());
}

// The worker must survive whatever a job or a pass throws.
void RunGuarded(const std::function<void()>& work) {
    try {
        if (!work) throw std::bad_function_call();
        work();
    } catch (const std::exception& e) {
        LogError(console::kZerva, Tr("internal error: ") + std::string(e.what()));
    }
}

void RestartRunningJob() {
    const bool apache = !FindApacheProcesses().empty();
    const bool mysql = !FindMySqlProcesses().empty();
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
    Shared& s = S();
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        bool duplicate = false;
        if (!key.empty())
            for (const ServerJob& waiting : s.queue)
                if (waiting.key == key) duplicate = true;
        if (!duplicate) s.queue.push_back(ServerJob{label, key, std::move(job)});
        // Published here, not only by the worker, so "idle and nothing queued" never shows
        // between this call and the worker taking the job.
        PublishQueuedLocked();
    }
    s.wake.notify_one();
}

ServerStatus Server::GetStatus() {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    return S().status;
}

bool Server::AnyRunning() {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    return S().status.apache.running || S().status.mysql.running;
}

void QueueAlert(Alert alert) {
    Shared& s = S();
    std::lock_guard<std::mutex> lock(s.alertMutex);
    s.lastAlert = alert;
    ++s.alertCount;
    s.alerts.push_back(std::move(alert));
}

void Server::PushAlert(const std::string& title, const std::string& message, bool error, AlertAction action) {
    QueueAlert(Alert{title, message, error, action});
}

bool Server::PopAlert(Alert& out) {
    Shared& s = S();
    std::lock_guard<std::mutex> lock(s.alertMutex);
    if (s.alerts.empty()) return false;
    out = std::move(s.alerts.front());
    s.alerts.pop_front();
    return true;
}

uint64_t Server::AlertCount() {
    uint64_t count = 0;
    {
        std::lock_guard<std::mutex> lock(S().alertMutex);
        count = S().alertCount;
    }
    AfterAlertRead();
    return count;
}

bool Server::LastAlertSince(Alert& out, uint64_t seen) {
    uint64_t count = seen;
    return NewestAlertSince(out, count);
}

bool Server::NewestAlertSince(Alert& out, uint64_t& seen) {
    Shared& s = S();
    bool raised = false;
    {
        std::lock_guard<std::mutex> lock(s.alertMutex);
        raised = s.alertCount > seen;
        if (raised) out = s.lastAlert;
        seen = s.alertCount;
    }
    AfterAlertRead();
    return raised;
}

void SetAfterAlertReadForTest(void (*hook)()) { g_afterAlertRead = hook; }

void SetBusyLabel(const std::string& label) {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    S().status.busy = true;
    S().status.currentLabel = label;
}

void EditStatus(const std::function<void(ServerStatus&)>& edit) {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    edit(S().status);
}

bool IsJobQueueEmpty() {
    std::lock_guard<std::mutex> lock(S().queueMutex);
    return S().queue.empty();
}

// ---- Worker ----

void Server::Start() {
    Shared& s = S();
    std::lock_guard<std::mutex> life(s.lifeMutex);
    if (s.started || s.stop) return;
    s.started = true;
    RunGuarded([this] { Refresh(); });
    const ServerStatus status = GetStatus();
    if (status.apache.running) SetApacheBaseline(ApacheConfigSignature());
    if (status.mysql.running) SetMySqlBaseline(MySqlConfigSignature());
    s.worker = std::thread([this] { WorkerLoop(); });
}

void Server::Shutdown(bool stopServers) {
    Shared& s = S();
    s.stop = true;
    {
        // Taken so the wake-up cannot fall between the worker's test of the flag and its wait.
        std::lock_guard<std::mutex> lock(s.queueMutex);
    }
    s.wake.notify_all();
    if (t_onWorker) return;  // a job asking for the end: the loop ends after it
    {
        // Held across the join, so a second caller returns only once the worker has ended.
        std::lock_guard<std::mutex> life(s.lifeMutex);
        if (s.worker.joinable()) s.worker.join();
    }
    if (stopServers) {
        DoStopApache();
        DoStopMySql();
    }
}

void Server::WorkerLoop() {
    t_onWorker = true;
    Shared& s = S();
    auto lastTick = Clock::now() - std::chrono::seconds(10);
    while (!s.stop) {
        ServerJob job;
        bool taken = false;
        {
            std::unique_lock<std::mutex> queueLock(s.queueMutex);
            const auto deadline = Clock::now() + kWaitStep;
            while (!s.stop && s.queue.empty())
                if (s.wake.wait_until(queueLock, deadline) == std::cv_status::timeout) break;
            if (s.stop) return;
            if (!s.queue.empty()) {
                job = std::move(s.queue.front());
                s.queue.pop_front();
                taken = true;
            }
            // busy goes with taking the job, in one hold of the status mutex, so a reader never
            // sees the job neither waiting nor running.
            std::lock_guard<std::mutex> status(s.statusMutex);
            s.status.queued = int32_t(s.queue.size());
            if (taken) {
                s.status.busy = !job.label.empty();
                s.status.currentLabel = job.label;
            }
        }
        if (!taken) {
            if (Clock::now() - lastTick >= kRefreshEvery) {
                RunGuarded([this] { Refresh(); });
                lastTick = Clock::now();
            }
            continue;
        }
        RunGuarded(job.job);
        {
            std::lock_guard<std::mutex> status(s.statusMutex);
            s.status.busy = false;
            s.status.currentLabel.clear();
        }
        RunGuarded([this] { Refresh(); });
        lastTick = Clock::now();
    }
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
    Enqueue(Tr("Applying the configuration..."), RestartRunningJob, "restartrunning");
}

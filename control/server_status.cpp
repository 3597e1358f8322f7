// control/server_status.cpp: the job queue, the status block and the alert queue of the server
// control. Each operation holds one mutex for its whole duration, except the worker's WaitForJob,
// which nests the status mutex inside the queue mutex (the only nesting, always in that order).
#include "control/server_status.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

struct Shared {
    std::mutex queueMutex;
    std::condition_variable wake;
    std::deque<ServerJob> queue;
    bool closed = false;

    std::mutex statusMutex;
    ServerStatus status;

    std::mutex alertMutex;
    std::deque<Alert> alerts;
    Alert lastAlert;
    uint64_t alertCount = 0;
};

Shared& S() {
    static Shared shared;
    return shared;
}

std::atomic<void (*)()> g_afterAlertRead{nullptr};

void AfterAlertRead() {
    if (auto hook = g_afterAlertRead.load()) hook();
}

// Publishes the waiting count; the caller holds the queue mutex.
void PublishQueuedLocked() {
    Shared& s = S();
    std::lock_guard<std::mutex> status(s.statusMutex);
    s.status.queued = int32_t(s.queue.size());
}

}  // namespace

// ---- Job queue ----

bool EnqueueJob(ServerJob job) {
    Shared& s = S();
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        if (s.closed) return false;
        bool duplicate = false;
        if (!job.key.empty())
            for (const ServerJob& waiting : s.queue)
                if (waiting.key == job.key) duplicate = true;
        if (!duplicate) s.queue.push_back(std::move(job));
        // Published here, not only by the worker, so "idle and nothing queued" never shows
        // between this call and the worker taking the job.
        PublishQueuedLocked();
    }
    s.wake.notify_one();
    return true;
}

bool IsJobQueueEmpty() {
    std::lock_guard<std::mutex> lock(S().queueMutex);
    return S().queue.empty();
}

std::optional<ServerJob> WaitForJob(std::chrono::milliseconds wait, const std::atomic<bool>& stop) {
    Shared& s = S();
    std::unique_lock<std::mutex> queueLock(s.queueMutex);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!stop && s.queue.empty())
        if (s.wake.wait_until(queueLock, deadline) == std::cv_status::timeout) break;
    if (stop) return std::nullopt;
    std::optional<ServerJob> job;
    if (!s.queue.empty()) {
        job = std::move(s.queue.front());
        s.queue.pop_front();
    }
    std::lock_guard<std::mutex> status(s.statusMutex);
    s.status.queued = int32_t(s.queue.size());
    if (job) {
        s.status.busy = !job->label.empty();
        s.status.currentLabel = job->label;
    }
    return job;
}

void WakeJobWaiters() {
    {
        std::lock_guard<std::mutex> lock(S().queueMutex);
    }
    S().wake.notify_all();
}

std::vector<std::string> CloseJobQueue() {
    std::vector<std::string> dropped;
    std::lock_guard<std::mutex> lock(S().queueMutex);
    S().closed = true;
    for (const ServerJob& job : S().queue) dropped.push_back(job.label.empty() ? job.key : job.label);
    S().queue.clear();
    PublishQueuedLocked();
    return dropped;
}

// ---- Status ----

ServerStatus CopyStatus() {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    return S().status;
}

void EditStatus(const std::function<void(ServerStatus&)>& edit) {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    edit(S().status);
}

void SetBusyLabel(const std::string& label) {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    S().status.busy = true;
    S().status.currentLabel = label;
}

void ClearBusy() {
    std::lock_guard<std::mutex> lock(S().statusMutex);
    S().status.busy = false;
    S().status.currentLabel.clear();
}

// ---- Alerts ----

void QueueAlert(Alert alert) {
    Shared& s = S();
    std::lock_guard<std::mutex> lock(s.alertMutex);
    s.lastAlert = alert;
    ++s.alertCount;
    s.alerts.push_back(std::move(alert));
}

bool TakeOldestAlert(Alert& out) {
    Shared& s = S();
    std::lock_guard<std::mutex> lock(s.alertMutex);
    if (s.alerts.empty()) return false;
    out = std::move(s.alerts.front());
    s.alerts.pop_front();
    return true;
}

uint64_t QueuedAlertCount() {
    uint64_t count = 0;
    {
        std::lock_guard<std::mutex> lock(S().alertMutex);
        count = S().alertCount;
    }
    AfterAlertRead();
    return count;
}

bool ReadNewestAlert(Alert& out, uint64_t& seen) {
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

// control/server_status.h: the state the server control shares: the job queue, the status
// snapshot and the alert queue, each under its own mutex. Below the sequences and the monitor,
// which report here, and the worker (control/server.h), which takes the jobs. Any thread.
// Owns the three blocks (server_status.cpp).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ServerJob {
    std::string label;           // already translated; empty: runs without the busy mark
    std::string key;             // de-duplication key; empty: never de-duplicated
    std::function<void()> job;
};

// One server as the monitor last saw it.
struct ServerState {
    bool running = false;
    std::vector<uint32_t> pids;  // in process-list order
    double cpuPercent = 0;       // share of the whole machine, 0 to 100
    uint64_t memoryBytes = 0;
    std::string exePath;         // image of the first process; empty when not running
    std::vector<int32_t> ports;  // the ports this server is expected to use
};

struct ServerStatus {
    ServerState apache, mysql;
    bool busy = false;           // a job with a label runs
    std::string currentLabel;    // its label, or the step a sequence set; empty when idle
    int32_t queued = 0;          // jobs waiting
    std::vector<float> apacheCpu, mysqlCpu;      // percent, oldest first, at most 120
    std::vector<float> apacheMemMb, mysqlMemMb;  // MiB, oldest first, at most 120
    std::vector<std::string> others;             // servers of other installations
    uint64_t tick = 0;           // monitor passes so far
};

// What an alert offers to open.
using AlertAction = int32_t;
namespace alert_action {
inline constexpr AlertAction kNone = 0;
inline constexpr AlertAction kComponents = 1;
inline constexpr AlertAction kApache = 2;
inline constexpr AlertAction kPhp = 3;
inline constexpr AlertAction kMySql = 4;
}  // namespace alert_action

// A condition the user must act on.
struct Alert {
    std::string title;    // translated
    std::string message;  // translated, may hold "\n"
    bool error = false;
    AlertAction action = alert_action::kNone;
};

// ---- Job queue ----
// Drops the job when its non-empty key is already waiting; otherwise appends it. Publishes the
// waiting count and wakes the worker. False (the job dropped unrun) once the queue is closed.
bool EnqueueJob(ServerJob job);
// Whether no job waits, read under the queue mutex.
bool IsJobQueueEmpty();
// For the worker: waits up to `wait` while `stop` is clear and nothing waits, then takes the
// first job (none once `stop` is set). Publishes the waiting count, and the busy mark with the
// taken job, in one hold of the status mutex: a reader never sees a job neither waiting nor running.
std::optional<ServerJob> WaitForJob(std::chrono::milliseconds wait, const std::atomic<bool>& stop);
// Wakes every waiter, under the queue mutex so the wake-up cannot fall between a waiter's test
// of its stop flag and its wait.
void WakeJobWaiters();
// For a worker that could not be started: later jobs are refused, the waiting ones removed; their
// labels (keys for jobs without one) are returned in order.
std::vector<std::string> CloseJobQueue();

// ---- Status ----
ServerStatus CopyStatus();
// Runs `edit` on the status block under the status mutex.
void EditStatus(const std::function<void(ServerStatus&)>& edit);
// Marks the worker busy with a step label ("Starting Apache...").
void SetBusyLabel(const std::string& label);
// The job has ended: not busy, no label.
void ClearBusy();

// ---- Alerts ----
// Appends to the alert FIFO and remembers it as the last alert.
void QueueAlert(Alert alert);
// The oldest alert, removed; false when none waits.
bool TakeOldestAlert(Alert& out);
// Alerts queued since the start; popping does not lower it.
uint64_t QueuedAlertCount();
// The last alert when more than `seen` alerts were queued so far; `seen` becomes the count read
// in that one hold of the alert mutex.
bool ReadNewestAlert(Alert& out, uint64_t& seen);
// Test seam: called after each read of the alert block, once its mutex is released, so a test
// can raise an alert between two reads (null: nothing).
void SetAfterAlertReadForTest(void (*hook)());

// control/server.h: the Server singleton: the job queue with its worker thread, the status
// snapshot, the alert queue and the ten job operations. Every operation may be called from any
// thread; only the worker (and the sequences and monitor it runs) writes process state.
// Owns the worker thread, the queue, status and alert blocks (state lives in server.cpp).
#pragma once
#include <cstdint>
#include <functional>
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

// Appends to the alert FIFO and remembers it as the last alert.
void QueueAlert(Alert alert);

class Server {
public:
    static Server& Instance();

    // ---- Queue, status and alerts (server.cpp) ----
    // Drops the job when its non-empty key is already waiting; otherwise appends it.
    void Enqueue(const std::string& label, std::function<void()> job, const std::string& key);
    ServerStatus GetStatus();
    bool AnyRunning();
    void PushAlert(const std::string& title, const std::string& message, bool error, AlertAction action);
    // The oldest alert, removed; false when none waits.
    bool PopAlert(Alert& out);
    uint64_t AlertCount();
    // The last alert when more than `seen` alerts were queued so far.
    bool LastAlertSince(Alert& out, uint64_t seen);
    // The same, and `seen` becomes the count read in that one hold of the alert mutex: an alert
    // raised after it is still new at the next call. (Two separate reads would count an alert
    // raised between them as seen without ever handing it out.)
    bool NewestAlertSince(Alert& out, uint64_t& seen);

    // ---- Worker (server.cpp) ----
    // Once per process: one refresh on the calling thread, the baselines of servers already
    // running, then the worker. Nothing after Shutdown.
    void Start();
    // Ends the worker after its running job (waiting jobs never run); then, when stopServers,
    // stops both servers on the calling thread. Safe to call twice and from any thread; every
    // caller returns once the worker has ended, except a job on the worker, which only asks.
    void Shutdown(bool stopServers);

    void StartAll();
    void StopAll();
    void RestartAll();
    void StartApache();
    void StopApache();
    void RestartApache();
    void StartMySql();
    void StopMySql();
    void RestartMySql();
    void RestartRunning();

    // ---- Monitor (monitor.cpp) ----
    // One monitor pass: processes, histories, other installations, log tails, restart rule.
    void Refresh();

private:
    Server() = default;
    void WorkerLoop();
};

// ---- For the sequences and the monitor (server worker) ----
// Marks the worker busy with a step label ("Starting Apache...").
void SetBusyLabel(const std::string& label);
// Runs `edit` on the status block under the status mutex.
void EditStatus(const std::function<void(ServerStatus&)>& edit);
// Whether no job waits, read under the queue mutex.
bool IsJobQueueEmpty();

// Test seam: called after each read of the alert block, once its mutex is released, so a test
// can raise an alert between two reads (null: nothing).
void SetAfterAlertReadForTest(void (*hook)());

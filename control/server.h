// control/server.h: the Server singleton: the worker thread that runs the queued jobs, the ten
// job operations, and the doors to the queue, status and alerts of control/server_status.h.
// Every operation may be called from any thread; only the worker (and the sequences and monitor
// it runs) writes process state. Owns the worker thread (server.cpp). Above the sequences and
// the monitor, whose work its jobs run.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "control/server_status.h"

class Server {
public:
    static Server& Instance();

    // ---- Queue, status and alerts (control/server_status.h) ----
    // Drops the job when its non-empty key is already waiting; otherwise appends it. Without a
    // worker (its thread refused) the job fails at once, logged.
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
    // running, then the worker. Nothing after Shutdown. A worker thread the system refuses is
    // alerted, and every job, waiting or later, fails with that reason in the console.
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
    // After a build switch: restart the server only when it runs as the job begins, so one whose
    // stop was under way at the switch is only switched, never started again. Keys of their own,
    // so a restart the monitor or a button queued is neither taken in nor taking them in.
    void RestartApacheIfRunning();
    void RestartMySqlIfRunning();

    // One monitor pass (processes, histories, other installations, log tails), then the restarts
    // the configuration rule asks for queued.
    void Refresh();

private:
    Server() = default;
    void WorkerLoop();
};

// control/monitor.h: the server monitor: the processes of this root, other installations, CPU and
// memory histories, error-log tails copied into the console log, and configuration signatures
// with the two-pass restart rule. Runs on the server worker (once on Server::Start's caller);
// owns the log tails, CPU samplers, baselines and pending signatures (monitor.cpp). Reports to
// control/server_status.h; the worker queues the restarts the rule asks for.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/log.h"
#include "core/probes.h"

struct ApacheInstall;
struct ServerState;

// One monitor pass: the processes of both servers, CPU and memory with their histories, other
// installations and the error-log tails, published in the status block. The start and stop
// sequences run it once they end; Server::Refresh adds the restart rule.
void RefreshStatus();
// What the restart rule asks for after a pass, each notice logged: nothing while a job waits or
// the setting is off; else a server whose templates changed and were seen the same on two passes.
struct ConfigRestarts {
    bool apache = false;
    bool mysql = false;
};
ConfigRestarts DueConfigRestarts();

// The processes named `exeNames` (any case) whose image lies inside `folder`, as given or as the
// system resolves it (IsInsideFolder); unknown images never.
std::vector<ProcessInfo> FindProcessesUnder(const std::vector<std::string>& exeNames, const std::wstring& folder);
std::vector<ProcessInfo> FindApacheProcesses();  // httpd.exe under root\bin\apache
std::vector<ProcessInfo> FindMySqlProcesses();   // mysqld.exe, mariadbd.exe under root\bin\database
std::vector<uint32_t> PidsOf(const std::vector<ProcessInfo>& processes);
// Everything but the ports, which RefreshStatus sets.
void FillServerState(ServerState& state, const std::vector<ProcessInfo>& processes, const CpuSampler& sampler);

// Fold of the last-write times of the Apache and PHP templates; of the database template.
uint64_t ApacheConfigSignature();
uint64_t MySqlConfigSignature();

// A log file followed from the last complete line read.
struct LogTail {
    std::wstring path;
    uint64_t offset = 0;  // bytes read so far
    bool armed = false;
};
// Appends the lines completed since the last call to the console log. The first call (or a
// new path) only arms the tail at the end of the file.
void TailServerLog(LogTail& tail, const std::wstring& path, ConsoleSource source);

// The ports of the Listen directives of an httpd.conf, each once, in file order (a port listened
// on at 127.0.0.1 and [::1] is one port); unreadable: none.
std::vector<int32_t> ParseListenPorts(const std::wstring& path);
std::wstring ApacheErrorLogPath(const ApacheInstall& build);   // dir\logs\error.log
std::wstring ApacheAccessLogPath(const ApacheInstall& build);  // dir\logs\access.log

// ---- For the start and stop sequences (server worker) ----
// The signature a server was started with; 0 clears it (stopped).
void SetApacheBaseline(uint64_t signature);
void SetMySqlBaseline(uint64_t signature);
// Follows `path` from its present end, so only lines written from now on are copied.
void RearmApacheTail(const std::wstring& path);
void RearmMySqlTail(const std::wstring& path);

// ---- Pure pieces, exposed for their tests ----
// sig = sig * 31 + time for each time in order, wrapping.
uint64_t FoldSignature(const std::vector<uint64_t>& writeTimes);
std::vector<int32_t> ParseListenPortsText(std::string_view text);

enum class RestartStep { kNone, kPending, kRestart };
// One pass of the restart rule for one server; updates `pending`.
RestartStep ApplyRestartRule(bool running, uint64_t baseline, uint64_t& pending, uint64_t signature);
// Entries of the servers of other installations: image path, or "name (PID n)" when unknown;
// processes under the root and repeated entries are left out.
std::vector<std::string> OtherInstallations(const std::vector<ProcessInfo>& processes);
// Appends a sample and keeps the newest 120.
void AppendSample(std::vector<float>& history, float sample);

// control/monitor.cpp: one monitor pass (RefreshStatus) and its pieces: process discovery, other
// installations, histories, error-log tails; and the configuration restart rule.
// Only the worker runs a pass, so the tails, samplers and signatures here need no lock.
#include "control/monitor.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "control/server_status.h"
#include "core/config.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"

namespace {

constexpr size_t kHistoryLength = 120;
const std::vector<std::string> kApacheNames{"httpd.exe"};
const std::vector<std::string> kMySqlNames{"mysqld.exe", "mariadbd.exe"};
constexpr uint64_t kTailWindow = 262144;  // newest bytes read per pass

struct ServerWatch {
    bool running = false;  // processes found by the last pass
    LogTail tail;
    CpuSampler sampler;
    uint64_t baseline = 0;
    uint64_t pending = 0;
};

struct Monitor {
    ServerWatch apache;
    ServerWatch mysql;
};

Monitor& M() {
    static Monitor monitor;
    return monitor;
}

// The last `count` bytes before `end`, opened so a server writing or rotating its log is not
// disturbed; none when the file cannot be opened or read.
bool ReadRange(const std::wstring& path, uint64_t end, uint64_t count, std::string& out) {
    UniqueHandle file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER start;
    start.QuadPart = LONGLONG(end - count);
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return false;
    out.assign(size_t(count), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.Get(), out.data(), DWORD(count), &read, nullptr)) return false;
    out.resize(read);
    return true;
}

uint64_t FoldFiles(const std::vector<std::wstring>& files) {
    std::vector<uint64_t> times;
    for (const auto& file : files) times.push_back(FileWriteTime(file));
    return FoldSignature(times);
}

// One server's rule after a pass; true (with the notice logged) when it is to be restarted.
bool RuleAsksRestart(const char* notice, ServerWatch& watch, uint64_t (*signature)()) {
    if (!watch.running || watch.baseline == 0) return false;
    if (ApplyRestartRule(watch.running, watch.baseline, watch.pending, signature()) != RestartStep::kRestart) return false;
    LogInfo(console::kZerva, notice);
    return true;
}

void TailDatabaseLog(LogTail& tail) {
    if (auto db = CurrentDb()) TailServerLog(tail, FindDbErrorLog(*db), console::kMySql);
}

// Level of an error-log line by its tags: error, warning or info.
LogLevel TailLineLevel(const std::string& line) {
    const std::string lower = ToLower(line);
    auto has = [&](const char* word) { return lower.find(word) != std::string::npos; };
    for (const char* word : {":error]", "[error]", "fatal", ":emerg]", ":crit]", "php parse error"})
        if (has(word)) return level::kError;
    for (const char* word : {":warn]", "[warning]", "php warning", "deprecated"})
        if (has(word)) return level::kWarning;
    return level::kInfo;
}

// A PHP line in Apache's log is shown as PHP's.
ConsoleSource TailLineSource(const std::string& line, ConsoleSource source) {
    return source == console::kApache && line.find("PHP ") != std::string::npos ? console::kPhp : source;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// The digits at `at` as a port; none without digits or past 65535 (a number no TCP port has
// would make every later probe meaningless).
std::optional<int32_t> PortAt(std::string_view line, size_t at) {
    size_t end = at;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
    int32_t port = 0;
    const auto [stop, failure] = std::from_chars(line.data() + at, line.data() + end, port);
    if (end == at || failure != std::errc() || port <= 0 || port > 65535) return std::nullopt;
    return port;
}

// The port of a line matching ^\s*Listen\s+(?:[^\s:]+:|\[[^\s\]]*\]:)?(\d+) (any case): an IPv6
// address between brackets, as httpd.conf lists the loopback one ("Listen [::1]:8080"), or one
// without colons. Scanned by hand so a long line cannot exhaust the stack the way a backtracking
// matcher can.
std::optional<int32_t> ListenLinePort(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (!StartsWithIgnoreCase(line.substr(i), "listen")) return std::nullopt;
    i += 6;
    const size_t word = i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == word) return std::nullopt;
    if (i < line.size() && line[i] == '[') {
        size_t close = i;
        while (close < line.size() && !IsBlank(line[close]) && line[close] != ']') ++close;
        if (close + 1 < line.size() && line[close] == ']' && line[close + 1] == ':') return PortAt(line, close + 2);
    }
    size_t colon = i;
    while (colon < line.size() && !IsBlank(line[colon]) && line[colon] != ':') ++colon;
    // As the pattern backtracks: an address and colon when digits follow them, else digits at once.
    if (colon > i && colon < line.size() && line[colon] == ':' && colon + 1 < line.size() &&
        line[colon + 1] >= '0' && line[colon + 1] <= '9')
        return PortAt(line, colon + 1);
    return PortAt(line, i);
}

}  // namespace

// ---- Processes ----

namespace {

// The processes of `processes` named `exeNames` (any case) whose image lies inside `folder`, as
// given or as resolved: the system reports images by their resolved path.
std::vector<ProcessInfo> KeepUnder(const std::vector<ProcessInfo>& processes, const std::vector<std::string>& exeNames,
                                   const std::wstring& folder) {
    std::vector<ProcessInfo> kept;
    for (const auto& process : processes) {
        const bool named = std::any_of(exeNames.begin(), exeNames.end(),
                                       [&](const std::string& name) { return EqualsIgnoreCase(process.exeName, name); });
        if (named && !process.fullPath.empty() && IsInsideFolder(process.fullPath, folder)) kept.push_back(process);
    }
    return kept;
}

}  // namespace

std::vector<ProcessInfo> FindProcessesUnder(const std::vector<std::string>& exeNames, const std::wstring& folder) {
    return KeepUnder(FindProcessesByName(exeNames), exeNames, folder);
}

std::vector<ProcessInfo> FindApacheProcesses() { return FindProcessesUnder(kApacheNames, ApacheDir()); }
std::vector<ProcessInfo> FindMySqlProcesses() { return FindProcessesUnder(kMySqlNames, DatabaseDir()); }

std::vector<uint32_t> PidsOf(const std::vector<ProcessInfo>& processes) {
    std::vector<uint32_t> pids;
    for (const auto& process : processes) pids.push_back(process.pid);
    return pids;
}

void FillServerState(ServerState& state, const std::vector<ProcessInfo>& processes, const CpuSampler& sampler) {
    state.running = !processes.empty();
    state.pids = PidsOf(processes);
    state.cpuPercent = state.running ? sampler.cpuPercent : 0;
    state.memoryBytes = state.running ? sampler.workingSetBytes : 0;
    state.exePath = state.running ? processes.front().fullPath : std::string();
}

std::vector<std::string> OtherInstallations(const std::vector<ProcessInfo>& processes) {
    std::vector<std::string> entries;
    for (const auto& process : processes) {
        if (!process.fullPath.empty() && IsInsideRoot(process.fullPath)) continue;
        std::string entry = process.fullPath.empty()
            ? process.exeName + " (PID " + std::to_string(process.pid) + ")"
            : process.fullPath;
        if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(std::move(entry));
    }
    return entries;
}

void AppendSample(std::vector<float>& history, float sample) {
    history.push_back(sample);
    if (history.size() > kHistoryLength) history.erase(history.begin(), history.end() - kHistoryLength);
}

// ---- Signatures and the restart rule ----

uint64_t FoldSignature(const std::vector<uint64_t>& writeTimes) {
    uint64_t signature = 0;
    for (uint64_t time : writeTimes) signature = signature * 31 + time;
    return signature;
}

uint64_t ApacheConfigSignature() {
    std::vector<std::wstring> files;
    if (auto apache = CurrentApache()) {
        files.push_back(HttpdTemplatePath(*apache));
        const std::wstring extra = apache->dir + L"\\conf\\extra";
        for (const auto& name : ListFiles(extra, "*_zerva.conf")) files.push_back(extra + L"\\" + Utf8ToWide(name));
    }
    if (auto php = CurrentPhp()) files.push_back(PhpTemplatePath(*php));
    return FoldFiles(files);
}

uint64_t MySqlConfigSignature() {
    if (auto db = CurrentDb()) return FoldFiles({MyTemplatePath(*db)});
    return 0;
}

RestartStep ApplyRestartRule(bool running, uint64_t baseline, uint64_t& pending, uint64_t signature) {
    if (!running || baseline == 0 || signature == baseline) return RestartStep::kNone;
    if (signature == pending) {
        pending = 0;
        return RestartStep::kRestart;
    }
    pending = signature;
    return RestartStep::kPending;
}

void SetApacheBaseline(uint64_t signature) { M().apache.baseline = signature; }
void SetMySqlBaseline(uint64_t signature) { M().mysql.baseline = signature; }

// ---- Log tails ----

void TailServerLog(LogTail& tail, const std::wstring& path, ConsoleSource source) {
    if (!tail.armed || tail.path != path) {
        tail.path = path;
        tail.offset = FileSize(path);
        tail.armed = true;
        return;
    }
    const uint64_t size = FileSize(path);
    if (size < tail.offset) tail.offset = 0;  // emptied or replaced
    if (size == tail.offset) return;
    const uint64_t count = std::min(size - tail.offset, kTailWindow);
    std::string bytes;
    if (!ReadRange(path, size, count, bytes) || bytes.size() != count) return;
    const size_t lastFeed = bytes.rfind('\n');
    if (lastFeed == std::string::npos) return;  // an unfinished line is read again next pass
    tail.offset = size - count + lastFeed + 1;
    bytes.resize(lastFeed);
    for (const auto& raw : SplitLines(bytes)) {
        std::string line = Trim(raw);
        if (line.empty()) continue;
        const ConsoleSource lineSource = TailLineSource(line, source);
        const LogLevel lineLevel = TailLineLevel(line);
        LogBuffer::Instance().Append(lineSource, lineLevel, std::move(line));
    }
}

void RearmApacheTail(const std::wstring& path) {
    M().apache.tail = LogTail{path, FileSize(path), true};
}

void RearmMySqlTail(const std::wstring& path) {
    M().mysql.tail = LogTail{path, FileSize(path), true};
}

std::wstring ApacheErrorLogPath(const ApacheInstall& build) { return build.dir + L"\\logs\\error.log"; }
std::wstring ApacheAccessLogPath(const ApacheInstall& build) { return build.dir + L"\\logs\\access.log"; }

// ---- Listen ports ----

std::vector<int32_t> ParseListenPortsText(std::string_view text) {
    std::vector<int32_t> ports;
    for (const auto& line : SplitLines(text))
        if (const auto port = ListenLinePort(line); port && std::find(ports.begin(), ports.end(), *port) == ports.end())
            ports.push_back(*port);
    return ports;
}

std::vector<int32_t> ParseListenPorts(const std::wstring& path) {
    return ParseListenPortsText(ReadWholeFile(path).value_or(""));
}

// ---- The pass ----

void RefreshStatus() {
    Monitor& m = M();
    // One process snapshot serves the three lists: each costs milliseconds under load.
    const auto servers = FindProcessesByName({"httpd.exe", "mysqld.exe", "mariadbd.exe"});
    const auto apache = KeepUnder(servers, kApacheNames, ApacheDir());
    const auto mysql = KeepUnder(servers, kMySqlNames, DatabaseDir());
    SampleCpu(m.apache.sampler, PidsOf(apache));
    SampleCpu(m.mysql.sampler, PidsOf(mysql));

    std::vector<std::string> others;
    if (Config::Instance().GetBool(setting::kDetectOthersPackage)) others = OtherInstallations(servers);

    const auto apacheBuild = CurrentApache();
    if (apacheBuild) TailServerLog(m.apache.tail, ApacheErrorLogPath(*apacheBuild), console::kApache);
    TailDatabaseLog(m.mysql.tail);

    std::vector<int32_t> apachePorts;
    if (apacheBuild)
        for (int port : TemplateVhostPorts(*apacheBuild)) apachePorts.push_back(port);
    EditStatus([&](ServerStatus& status) {
        FillServerState(status.apache, apache, m.apache.sampler);
        FillServerState(status.mysql, mysql, m.mysql.sampler);
        status.apache.ports = apachePorts;
        status.mysql.ports = {int32_t(MysqlPort())};
        AppendSample(status.apacheCpu, float(status.apache.cpuPercent));
        AppendSample(status.mysqlCpu, float(status.mysql.cpuPercent));
        AppendSample(status.apacheMemMb, float(double(status.apache.memoryBytes) / 1048576.0));
        AppendSample(status.mysqlMemMb, float(double(status.mysql.memoryBytes) / 1048576.0));
        status.others = std::move(others);
        ++status.tick;
    });
    m.apache.running = !apache.empty();
    m.mysql.running = !mysql.empty();
}

ConfigRestarts DueConfigRestarts() {
    Monitor& m = M();
    ConfigRestarts due;
    if (!Config::Instance().GetBool(setting::kAutoRestartConfigChanged) || !IsJobQueueEmpty()) return due;
    due.apache = RuleAsksRestart(Tr("Apache / PHP configuration changed: restarting Apache."), m.apache,
                                 ApacheConfigSignature);
    due.mysql = RuleAsksRestart(Tr("MySQL configuration changed: restarting MySQL."), m.mysql, MySqlConfigSignature);
    return due;
}

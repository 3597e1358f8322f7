// core/probes.h: read-only probes of the machine for server control and the dashboard: whether a
// port can be taken and who listens on it, process names and lists, local IPv4 addresses, and
// CPU and memory samples. Any thread; the only state is the caller-owned CpuSampler.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProcessInfo {
    uint32_t pid = 0;
    uint32_t parentPid = 0;  // as the process list reports it (0 when started from outside Windows)
    std::string exeName;     // file name as the process list reports it
    std::string fullPath;    // empty when it cannot be queried
};

// The image path of a process opened with at least PROCESS_QUERY_LIMITED_INFORMATION (a HANDLE);
// empty when it cannot be read.
std::string ProcessImagePath(void* process);

struct PortOwnerInfo {
    uint32_t pid = 0;
    std::string name;        // ProcessNameForPid
};

// One CPU and memory measurement series; kept by its caller between samples, never locked.
struct CpuSampler {
    std::map<uint32_t, uint64_t> samples;  // pid to its kernel + user time (100 ns) at the previous sample
    uint64_t lastWallTime = 0;             // FILETIME ticks of the previous sample; 0 before the first
    double cpuPercent = 0;                 // last result, 0 to 100 of the whole machine
    uint64_t workingSetBytes = 0;          // summed working sets of the last sample
};

// Starts Winsock 2.2 once per process, whichever thread asks first; cleaned up at exit.
[[nodiscard]] bool WinsockStartup();

// What an exclusive bind of a TCP port says. Windows keeps ranges of ports for itself (Hyper-V,
// WSL and Docker reserve them; `netsh int ipv4 show excludedportrange protocol=tcp` lists them):
// binding one is refused with WSAEACCES although no program listens on it.
enum class PortState { Free, InUse, Reserved };
// Binds the wildcard address of IPv4, then of IPv6, exclusively, and lets go at once. A refusal
// with WSAEACCES where the listener table shows no listener is Reserved; any other refusal InUse.
PortState ProbePort(uint16_t port);
// True when the TCP port can be bound exclusively on IPv4 and on IPv6 (ProbePort is Free).
bool IsPortFree(uint16_t port);
// Test seam: the error a bind of the probes gives (0 for success, else a WSA code) in place of a
// real bind; null restores real binds. Wine reserves no ports, so their refusal is shown this way.
void SetBindResultForTest(int (*bindResult)(int family, uint16_t port));
// The process that listens on the TCP port, when the system tells (pid 0 counts as unknown).
std::optional<PortOwnerInfo> PortOwner(uint16_t port);
// The process id of the listener table's row for the TCP port: 0 when the table names no owner
// (Wine's never does), none when nothing listens. Unlike IsPortFree it binds nothing, so it cannot
// take the port from a server that is starting.
std::optional<uint32_t> PortListenerPid(uint16_t port);
// "System" for 4, the image's file name, the process list's name, or "PID <n>"; never empty.
std::string ProcessNameForPid(uint32_t pid);
// Running processes whose executable name equals one of `exeNames` (ASCII case-insensitive).
std::vector<ProcessInfo> FindProcessesByName(const std::vector<std::string>& exeNames);
// Dotted IPv4 addresses of the adapters that are up, without loopback and link-local ones.
std::vector<std::string> LocalIPv4Addresses();
// Takes one sample of the processes' CPU time and working sets and updates the sampler.
void SampleCpu(CpuSampler& sampler, const std::vector<uint32_t>& pids);

// ---- Pure pieces, exposed for their tests ----
// What one process gave at a sample; a value is missing when its query failed.
struct CpuReading {
    uint32_t pid = 0;
    std::optional<uint64_t> cpuTime;     // kernel + user, 100 ns
    std::optional<uint64_t> workingSet;  // bytes
};
// The arithmetic of SampleCpu: `now` in FILETIME ticks, `processors` logical processors.
void ApplyCpuSample(CpuSampler& sampler, uint64_t now, unsigned processors, const std::vector<CpuReading>& readings);

struct AdapterAddresses {
    bool up = false;
    bool loopback = false;
    std::vector<std::string> addresses;  // dotted IPv4, in the adapter's order
};
// The addresses LocalIPv4Addresses reports of these adapters, in order, duplicates kept.
std::vector<std::string> SelectIPv4Addresses(const std::vector<AdapterAddresses>& adapters);

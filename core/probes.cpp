// core/probes.cpp: port probes (bind tests and the listener table), process names and lists
// (image paths, Toolhelp snapshots), local addresses (GetAdaptersAddresses) and CPU samples.
#include "core/probes.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "core/handle.h"
#include "core/text.h"

namespace {

// Empty when the process cannot be opened or queried.
std::string FullImagePath(uint32_t pid) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    return process ? ProcessImagePath(process.Get()) : std::string();
}

// Calls `visit` with each entry of a fresh process snapshot until it returns false.
template <typename Visit>
void WalkProcesses(Visit visit) {
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32FirstW(snapshot.Get(), &entry); ok; ok = ::Process32NextW(snapshot.Get(), &entry))
        if (!visit(entry)) return;
}

std::atomic<int (*)(int, uint16_t)> g_bindResult{nullptr};

// Binds the family's wildcard address exclusively, as a server would, and lets go at once: the
// bind's error, 0 when the port could be taken.
int ProbeBind(int family, uint16_t port) {
    if (const auto result = g_bindResult.load()) return result(family, port);
    SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;  // no such stack: nothing can listen on it either
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof(on));
    sockaddr_storage address = {};
    int length = 0;
    if (family == AF_INET6) {
        // Without this the IPv6 probe would also cover IPv4, which has its own probe.
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof(on));
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&address);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    }
    const int error = ::bind(s, reinterpret_cast<const sockaddr*>(&address), length) == 0 ? 0 : ::WSAGetLastError();
    ::closesocket(s);
    return error;
}

// The listening row of the port in the family's owner table: its pid (0 when the table names no
// owner, as Wine's does), or none without a row.
template <typename Table>
std::optional<uint32_t> ListenerRow(ULONG family, uint16_t port) {
    DWORD size = 0;
    ::GetExtendedTcpTable(nullptr, &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (size == 0) return std::nullopt;
    // The table can grow between the two calls.
    size += 1024;
    std::vector<uint64_t> buffer(size / sizeof(uint64_t) + 1);
    if (::GetExtendedTcpTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0) != NO_ERROR)
        return std::nullopt;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (ntohs(u_short(table->table[i].dwLocalPort)) == port) return table->table[i].dwOwningPid;
    return std::nullopt;
}

template <typename Table>
uint32_t ListenerPid(ULONG family, uint16_t port) {
    return ListenerRow<Table>(family, port).value_or(0);
}

}  // namespace

std::string ProcessImagePath(void* process) {
    std::wstring path(32768, L'\0');  // the longest path Windows has
    DWORD size = DWORD(path.size());
    if (!::QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
    path.resize(size);
    return WideToUtf8(path);
}

bool WinsockStartup() {
    static const bool started = [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        std::atexit([] { ::WSACleanup(); });
        return true;
    }();
    return started;
}

PortState ProbePort(uint16_t port) {
    // Without Winsock no socket opens and the port counts as free: the server's own start then
    // reports what is wrong, where a "port in use" would mislead.
    (void)WinsockStartup();
    // Errors other than these two say nothing about the port: the next family is asked.
    const auto refused = [](int error) { return error == WSAEADDRINUSE || error == WSAEACCES; };
    int error = ProbeBind(AF_INET, port);
    if (!refused(error)) error = ProbeBind(AF_INET6, port);
    if (error == WSAEACCES) {
        // What a port in Windows' excluded ranges gives; a listener of another user can give it too.
        return PortListenerPid(port) ? PortState::InUse : PortState::Reserved;
    }
    return error == WSAEADDRINUSE ? PortState::InUse : PortState::Free;
}

bool IsPortFree(uint16_t port) { return ProbePort(port) == PortState::Free; }

void SetBindResultForTest(int (*bindResult)(int family, uint16_t port)) { g_bindResult = bindResult; }

std::optional<PortOwnerInfo> PortOwner(uint16_t port) {
    (void)WinsockStartup();   // the owner tables need no socket: they answer either way
    uint32_t pid = ListenerPid<MIB_TCPTABLE_OWNER_PID>(AF_INET, port);
    if (pid == 0) pid = ListenerPid<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, port);
    if (pid == 0) return std::nullopt;
    return PortOwnerInfo{pid, ProcessNameForPid(pid)};
}

std::optional<uint32_t> PortListenerPid(uint16_t port) {
    (void)WinsockStartup();   // the tables need no socket: they answer either way
    if (const auto pid = ListenerRow<MIB_TCPTABLE_OWNER_PID>(AF_INET, port)) return pid;
    return ListenerRow<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, port);
}

std::string ProcessNameForPid(uint32_t pid) {
    if (pid == 4) return "System";
    std::string path = FullImagePath(pid);
    if (!path.empty()) return path.substr(path.find_last_of("\\/") + 1);
    std::string name;
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID != pid) return true;
        name = WideToUtf8(entry.szExeFile);
        return false;
    });
    return name.empty() ? Format("PID %lu", static_cast<unsigned long>(pid)) : name;
}

std::vector<ProcessInfo> FindProcessesByName(const std::vector<std::string>& exeNames) {
    std::vector<ProcessInfo> found;
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        const std::string exeName = WideToUtf8(entry.szExeFile);
        const bool wanted = std::any_of(exeNames.begin(), exeNames.end(),
                                        [&](const std::string& name) { return EqualsIgnoreCase(exeName, name); });
        if (wanted)
            found.push_back({entry.th32ProcessID, entry.th32ParentProcessID, exeName, FullImagePath(entry.th32ProcessID)});
        return true;
    });
    return found;
}

std::vector<std::string> SelectIPv4Addresses(const std::vector<AdapterAddresses>& adapters) {
    std::vector<std::string> selected;
    for (const auto& adapter : adapters) {
        if (!adapter.up || adapter.loopback) continue;
        for (const auto& address : adapter.addresses)
            if (!StartsWith(address, "169.254.")) selected.push_back(address);  // link-local
    }
    return selected;
}

std::vector<std::string> LocalIPv4Addresses() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16384;
    std::vector<uint64_t> buffer(size / sizeof(uint64_t));  // 8-byte aligned, as the records need
    auto* first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    ULONG result = ::GetAdaptersAddresses(AF_INET, flags, nullptr, first, &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer.assign(size / sizeof(uint64_t) + 1, 0);
        first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
        result = ::GetAdaptersAddresses(AF_INET, flags, nullptr, first, &size);
    }
    if (result != NO_ERROR) return {};

    std::vector<AdapterAddresses> adapters;
    for (const IP_ADAPTER_ADDRESSES* a = first; a; a = a->Next) {
        AdapterAddresses adapter;
        adapter.up = a->OperStatus == IfOperStatusUp;
        adapter.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
            const auto& bytes = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr)->sin_addr.S_un.S_un_b;
            adapter.addresses.push_back(Format("%u.%u.%u.%u", bytes.s_b1, bytes.s_b2, bytes.s_b3, bytes.s_b4));
        }
        adapters.push_back(std::move(adapter));
    }
    return SelectIPv4Addresses(adapters);
}

void ApplyCpuSample(CpuSampler& sampler, uint64_t now, unsigned processors, const std::vector<CpuReading>& readings) {
    // A clock set back gives no interval rather than a wrapped, huge one.
    const uint64_t wall = (sampler.lastWallTime == 0 || now <= sampler.lastWallTime) ? 0 : now - sampler.lastWallTime;
    std::map<uint32_t, uint64_t> samples;
    uint64_t cpu = 0, workingSet = 0;
    for (const auto& reading : readings) {
        if (reading.cpuTime) {
            samples[reading.pid] = *reading.cpuTime;
            // A new pid, or a reused one whose total went down, has no interval yet.
            const auto previous = sampler.samples.find(reading.pid);
            if (previous != sampler.samples.end() && *reading.cpuTime >= previous->second)
                cpu += *reading.cpuTime - previous->second;
        }
        if (reading.workingSet) workingSet += *reading.workingSet;
    }
    sampler.cpuPercent = wall == 0 ? 0.0
                                   : std::min(100.0, double(cpu) * 100.0 / (double(wall) * std::max(1u, processors)));
    sampler.workingSetBytes = workingSet;
    sampler.samples = std::move(samples);
    sampler.lastWallTime = now;
}

namespace {

uint64_t Ticks(const FILETIME& time) { return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

}  // namespace

void SampleCpu(CpuSampler& sampler, const std::vector<uint32_t>& pids) {
    FILETIME nowTime;
    ::GetSystemTimeAsFileTime(&nowTime);
    unsigned processors = ::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    if (processors == 0) {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        processors = info.dwNumberOfProcessors;
    }
    std::vector<CpuReading> readings;
    for (uint32_t pid : pids) {
        UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        if (!process) process.Reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        if (!process) continue;
        CpuReading reading;
        reading.pid = pid;
        FILETIME created, exited, kernel, user;
        if (::GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) reading.cpuTime = Ticks(kernel) + Ticks(user);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (::GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) reading.workingSet = counters.WorkingSetSize;
        readings.push_back(reading);
    }
    ApplyCpuSample(sampler, Ticks(nowTime), processors, readings);
}

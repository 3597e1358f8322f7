#include "core/probes.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/handle.h"
#include "core/proc.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using Lines = std::vector<std::string>;

namespace {

constexpr uint64_t kSecond = 10'000'000;  // FILETIME ticks

std::wstring UniqueName() {
    static std::atomic<unsigned> counter{0};
    return Utf8ToWide(Format("zp%lu-%u-%s", ::GetCurrentProcessId(), ++counter, RandomAlnum(6).c_str()));
}

// A stand-in started with Spawn that reports its first steps to a file, signals, and then waits
// until the test asks it to stop (or ends it).
class WaitingStandin {
public:
    explicit WaitingStandin(const std::wstring& steps)
        : m_ready(UniqueName()), m_stop(UniqueName()), m_report(m_dir / L"report.txt") {
        m_readyEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, m_ready.c_str()));
        // Ours from the start: the stand-in signals ready before it opens this event, so a stop
        // request made by name right after "ready" could find no event and be lost.
        m_stopEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, m_stop.c_str()));
        proc::SpawnOptions options;
        options.exe = testkit::StandinPath(L"standin.exe");
        options.args = L"out \"" + m_report + L"\" + " + steps + L" + signal " + m_ready + L" + wait-event " +
                       m_stop + L" 60000";
        options.logOutput = false;
        m_pid = proc::Spawn(options, nullptr);
        if (m_pid) m_process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, m_pid));
    }
    ~WaitingStandin() { Stop(); }
    // False when it ended before it got ready (a step failed) or took too long.
    bool WaitReady() {
        const HANDLE waits[2] = {m_readyEvent.Get(), m_process.Get()};
        return m_process && ::WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    void Stop() {
        if (m_process && ::SetEvent(m_stopEvent.Get())) ::WaitForSingleObject(m_process.Get(), 20000);
    }
    uint32_t Pid() const { return m_pid; }
    Lines Report() const { return SplitLines(testkit::ReadFile(m_report)); }

private:
    testkit::ScratchDir m_dir;
    std::wstring m_ready, m_stop, m_report;
    UniqueHandle m_readyEvent, m_stopEvent, m_process;
    uint32_t m_pid = 0;
};

uint16_t ListeningPort(const Lines& report) {
    for (const auto& line : report)
        if (StartsWith(line, "listening ")) return uint16_t(std::stoul(line.substr(10)));
    return 0;
}

// A port nothing listens on right now: the system picks one, and we let go of it.
uint16_t UnusedPort() {
    WinsockStartup();
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

}  // namespace

// ---- Ports ----

TEST(Probes, IsPortFree_IPv4Listener_BusyUntilItStops) {
    WaitingStandin listener(L"listen 0 v4");
    ASSERT_TRUE(listener.WaitReady());
    const uint16_t port = ListeningPort(listener.Report());
    ASSERT_NE(port, 0);
    EXPECT_FALSE(IsPortFree(port));

    // Under Wine the owner is never known; where it is, it must be the stand-in.
    if (const auto owner = PortOwner(port)) {
        EXPECT_EQ(owner->pid, listener.Pid());
        EXPECT_TRUE(EqualsIgnoreCase(owner->name, "standin.exe")) << owner->name;
    }
    listener.Stop();
    EXPECT_TRUE(IsPortFree(port));
}

TEST(Probes, IsPortFree_IPv6OnlyListener_Busy) {
    WaitingStandin listener(L"listen 0 v6");
    if (!listener.WaitReady()) GTEST_SKIP() << "no IPv6 loopback here";
    const uint16_t port = ListeningPort(listener.Report());
    ASSERT_NE(port, 0);
    EXPECT_FALSE(IsPortFree(port));
    listener.Stop();
    EXPECT_TRUE(IsPortFree(port));
}

TEST(Probes, UnusedPort_FreeWithoutOwner) {
    const uint16_t port = UnusedPort();
    EXPECT_TRUE(IsPortFree(port));
    EXPECT_FALSE(PortOwner(port).has_value());
}

// ---- Processes ----

TEST(Probes, ProcessNameForPid_SystemSelfAndUnknown) {
    EXPECT_EQ(ProcessNameForPid(4), "System");
    EXPECT_TRUE(EqualsIgnoreCase(ProcessNameForPid(::GetCurrentProcessId()), "core_tests.exe"));
    // Wine keeps an ended process queryable for a moment, so no real pid is reliably gone;
    // this one never exists (Windows process ids are multiples of 4 far below it).
    EXPECT_EQ(ProcessNameForPid(0xFFFFFFF0u), "PID 4294967280");
}

TEST(Probes, FindProcessesByName_ReportsPidParentAndFullPath) {
    WaitingStandin child(L"print ready");
    ASSERT_TRUE(child.WaitReady());
    const std::vector<ProcessInfo> found = FindProcessesByName({"nothing-like-this.exe", "STANDIN.EXE"});
    const ProcessInfo* mine = nullptr;
    for (const auto& info : found) {
        EXPECT_TRUE(EqualsIgnoreCase(info.exeName, "standin.exe")) << info.exeName;
        if (info.pid == child.Pid()) mine = &info;
    }
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->parentPid, ::GetCurrentProcessId());
    EXPECT_TRUE(EqualsIgnoreCase(mine->fullPath, WideToUtf8(testkit::StandinPath(L"standin.exe")))) << mine->fullPath;
    EXPECT_TRUE(FindProcessesByName({"nothing-like-this.exe"}).empty());
}

// ---- Addresses ----

TEST(Probes, SelectIPv4Addresses_SkipsDownLoopbackAndLinkLocal) {
    const std::vector<AdapterAddresses> adapters = {
        {true, false, {"192.168.1.5", "169.254.3.4", "10.0.0.2"}},
        {false, false, {"192.168.9.9"}},
        {true, true, {"127.0.0.1"}},
        {true, false, {"169.254.10.10"}},
        {true, false, {"192.168.1.5"}},
    };
    EXPECT_EQ(SelectIPv4Addresses(adapters), (Lines{"192.168.1.5", "10.0.0.2", "192.168.1.5"}));
    EXPECT_TRUE(SelectIPv4Addresses({}).empty());
}

TEST(Probes, LocalIPv4Addresses_DottedWithoutLoopbackOrLinkLocal) {
    for (const auto& address : LocalIPv4Addresses()) {
        in_addr parsed;
        EXPECT_EQ(::inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
        EXPECT_FALSE(StartsWith(address, "127.")) << address;
        EXPECT_FALSE(StartsWith(address, "169.254.")) << address;
    }
}

// ---- CPU and memory ----

TEST(ProbesCpu, FirstSample_ZeroPercentButMemoryCounted) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 4, {{10, 5 * kSecond, 1000}, {11, 2 * kSecond, 24}});
    EXPECT_EQ(sampler.cpuPercent, 0.0);
    EXPECT_EQ(sampler.workingSetBytes, 1024u);
    EXPECT_EQ(sampler.lastWallTime, 100 * kSecond);
    EXPECT_EQ(sampler.samples, (std::map<uint32_t, uint64_t>{{10, 5 * kSecond}, {11, 2 * kSecond}}));
}

TEST(ProbesCpu, OneProcessorBusyOfFour_Is25Percent) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 4, {{10, 5 * kSecond, 0}});
    ApplyCpuSample(sampler, 102 * kSecond, 4, {{10, 7 * kSecond, 0}});
    EXPECT_DOUBLE_EQ(sampler.cpuPercent, 25.0);
}

TEST(ProbesCpu, Sum_CappedAt100) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 1, {{10, 0, {}}, {11, 0, {}}});
    ApplyCpuSample(sampler, 101 * kSecond, 1, {{10, kSecond, {}}, {11, kSecond, {}}});
    EXPECT_DOUBLE_EQ(sampler.cpuPercent, 100.0);
}

TEST(ProbesCpu, NewReusedAndUnreadablePids_AddNothing) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 2, {{10, 9 * kSecond, {}}, {11, kSecond, {}}, {12, {}, 50}});
    // 10 was reused by a younger process, 13 is new, 12 had no time last time, 11 ran 1 s of 2.
    ApplyCpuSample(sampler, 101 * kSecond, 2,
                   {{10, kSecond, {}}, {11, 2 * kSecond, {}}, {12, 3 * kSecond, {}}, {13, 4 * kSecond, {}}});
    EXPECT_DOUBLE_EQ(sampler.cpuPercent, 50.0);
    EXPECT_EQ(sampler.workingSetBytes, 0u);
}

TEST(ProbesCpu, GonePids_Forgotten) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 1, {{10, kSecond, {}}, {11, kSecond, {}}});
    ApplyCpuSample(sampler, 101 * kSecond, 1, {{11, kSecond, {}}});
    EXPECT_EQ(sampler.samples.count(10), 0u);
    // Back again: it counts as new, not as 10 s of work since its old total.
    ApplyCpuSample(sampler, 102 * kSecond, 1, {{10, kSecond * 11 / 10, {}}});
    EXPECT_EQ(sampler.cpuPercent, 0.0);
}

TEST(ProbesCpu, ClockStandingStillOrSetBack_ZeroPercent) {
    CpuSampler sampler;
    ApplyCpuSample(sampler, 100 * kSecond, 1, {{10, 0, {}}});
    ApplyCpuSample(sampler, 100 * kSecond, 1, {{10, kSecond, {}}});
    EXPECT_EQ(sampler.cpuPercent, 0.0);
    ApplyCpuSample(sampler, 90 * kSecond, 1, {{10, 2 * kSecond, {}}});
    EXPECT_EQ(sampler.cpuPercent, 0.0);
    EXPECT_EQ(sampler.lastWallTime, 90 * kSecond);
}

TEST(ProbesCpu, SampleCpu_OwnProcessMeasuredMissingPidSkipped) {
    CpuSampler sampler;
    const uint32_t self = ::GetCurrentProcessId();
    SampleCpu(sampler, {self, 0xFFFFFFF0u});
    EXPECT_GT(sampler.workingSetBytes, 0u);
    EXPECT_EQ(sampler.samples.size(), 1u);
    EXPECT_EQ(sampler.samples.count(self), 1u);
    EXPECT_NE(sampler.lastWallTime, 0u);
    EXPECT_EQ(sampler.cpuPercent, 0.0);
}

#include "core/probes.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
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

// A spawned stand-in that runs `steps` with its reports going to a file, then signals ready and
// waits for its stop event. Both events are ours from the start, so no signal can be lost.
class WaitingStandin {
public:
    explicit WaitingStandin(const std::wstring& steps) {
        m_pid = proc::Spawn({.exe = testkit::StandinPath(L"standin.exe"),
                             .args = L"out \"" + m_report + L"\" + " + steps + L" + signal " + m_ready +
                                     L" + wait-event " + m_stop + L" 60000",
                             .logOutput = false},
                            nullptr);
        m_process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, m_pid));
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
    // The port of a "listen" step's report, or 0.
    uint16_t ListeningPort() const {
        unsigned port = 0;
        std::sscanf(testkit::ReadFile(m_report).c_str(), "listening %u", &port);
        return uint16_t(port);
    }

private:
    testkit::ScratchDir m_dir;
    std::wstring m_report = m_dir / L"report.txt";
    std::wstring m_ready = UniqueName(), m_stop = UniqueName();
    UniqueHandle m_readyEvent{::CreateEventW(nullptr, TRUE, FALSE, m_ready.c_str())};
    UniqueHandle m_stopEvent{::CreateEventW(nullptr, TRUE, FALSE, m_stop.c_str())};
    UniqueHandle m_process;
    uint32_t m_pid = 0;
};

}  // namespace

// ---- Ports ----

TEST(Probes, IsPortFree_IPv4OrIPv6Listener_BusyUntilItStops) {
    for (const std::wstring family : {L"v4", L"v6"}) {
        SCOPED_TRACE(WideToUtf8(family));
        WaitingStandin listener(L"listen 0 " + family);
        const bool ready = listener.WaitReady();
        if (!ready && family == L"v6") GTEST_SKIP() << "no IPv6 loopback here";
        ASSERT_TRUE(ready);
        const uint16_t port = listener.ListeningPort();
        ASSERT_NE(port, 0);
        EXPECT_FALSE(IsPortFree(port));
        const auto row = PortListenerPid(port);  // the table lists it, owner known or not
        EXPECT_TRUE(row && (*row == 0 || *row == listener.Pid()));

        // Under Wine the owner is never known; where it is, it must be the stand-in.
        if (const auto owner = PortOwner(port)) {
            EXPECT_EQ(owner->pid, listener.Pid());
            EXPECT_TRUE(EqualsIgnoreCase(owner->name, "standin.exe")) << owner->name;
        }
        listener.Stop();
        EXPECT_TRUE(IsPortFree(port));
        EXPECT_FALSE(PortOwner(port).has_value() || PortListenerPid(port).has_value());
    }
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

// Each case is a series of samples; every sample checks the percentage and the memory sum.
TEST(ProbesCpu, ApplyCpuSample_Series_GivePercentOfMachineAndMemorySum) {
    struct Sample {
        uint64_t now;
        std::vector<CpuReading> readings;
        double percent;
        uint64_t workingSet;
    };
    struct Case {
        const char* name;
        unsigned processors;
        std::vector<Sample> samples;
    };
    const Case cases[] = {
        {"first sample: no interval yet, memory summed where known", 4,
         {{100 * kSecond, {{10, 5 * kSecond, 1000}, {11, 2 * kSecond, 24}, {12, {}, {}}}, 0, 1024}}},
        {"one processor of four busy", 4,
         {{100 * kSecond, {{10, 5 * kSecond, 0}}, 0, 0}, {102 * kSecond, {{10, 7 * kSecond, 0}}, 25, 0}}},
        {"capped at 100", 1,
         {{100 * kSecond, {{10, 0, {}}, {11, 0, {}}}, 0, 0}, {101 * kSecond, {{10, kSecond, {}}, {11, kSecond, {}}}, 100, 0}}},
        // 10 is reused by a younger process, 13 is new, 12 had no time last time; only 11 counts.
        {"new, reused and unreadable pids add nothing", 2,
         {{100 * kSecond, {{10, 9 * kSecond, {}}, {11, kSecond, {}}, {12, {}, 50}}, 0, 50},
          {101 * kSecond, {{10, kSecond, {}}, {11, 2 * kSecond, {}}, {12, 3 * kSecond, {}}, {13, 4 * kSecond, {}}}, 50, 0}}},
        // Back after a gap, 10 counts as new, not as 0.1 s of work since its old total.
        {"gone pids forgotten", 1,
         {{100 * kSecond, {{10, kSecond, {}}, {11, kSecond, {}}}, 0, 0},
          {101 * kSecond, {{11, kSecond, {}}}, 0, 0},
          {102 * kSecond, {{10, kSecond * 11 / 10, {}}}, 0, 0}}},
        // The interval after a clock set back starts from the new time.
        {"clock standing still or set back", 1,
         {{100 * kSecond, {{10, 0, {}}}, 0, 0},
          {100 * kSecond, {{10, kSecond, {}}}, 0, 0},
          {90 * kSecond, {{10, 2 * kSecond, {}}}, 0, 0},
          {92 * kSecond, {{10, 3 * kSecond, {}}}, 50, 0}}},
    };
    for (const auto& c : cases) {
        CpuSampler sampler;
        for (size_t i = 0; i < c.samples.size(); ++i) {
            SCOPED_TRACE(Format("%s, sample %zu", c.name, i + 1));
            ApplyCpuSample(sampler, c.samples[i].now, c.processors, c.samples[i].readings);
            EXPECT_DOUBLE_EQ(sampler.cpuPercent, c.samples[i].percent);
            EXPECT_EQ(sampler.workingSetBytes, c.samples[i].workingSet);
        }
    }
}

TEST(ProbesCpu, SampleCpu_OwnProcessMeasuredMissingPidSkipped) {
    CpuSampler sampler;
    const uint32_t self = ::GetCurrentProcessId();
    SampleCpu(sampler, {self, 0xFFFFFFF0u});
    EXPECT_GT(sampler.workingSetBytes, 0u);
    EXPECT_EQ(sampler.samples.size(), 1u);
    EXPECT_EQ(sampler.samples.count(self), 1u);
    EXPECT_NE(sampler.lastWallTime, 0u);
}

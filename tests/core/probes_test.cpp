#include "core/probes.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using Lines = std::vector<std::string>;
using testkit::WaitingStandin;

TEST(Probes, IsPortFree_IPv4OrIPv6Listener_BusyUntilItStops) {
    for (const std::wstring family : {L"v4", L"v6"}) {
        SCOPED_TRACE(WideToUtf8(family));
        // A leased port, not port 0: once freed, a port-0 number can go to a parallel test at once.
        const testkit::PortLease lease;
        WaitingStandin listener(L"listen " + std::to_wstring(lease.Port()) + L" " + family);
        const bool ready = listener.WaitReady();
        if (!ready && family == L"v6") GTEST_SKIP() << "no IPv6 loopback here";
        ASSERT_TRUE(ready);
        const uint16_t port = listener.ListeningPort();
        ASSERT_EQ(port, lease.Port());
        EXPECT_FALSE(IsPortFree(port));
        const auto row = PortListenerPid(port);  // the table lists it, owner known or not
        EXPECT_TRUE(row && (*row == 0 || *row == listener.Pid()));

        // Under Wine the owner is never known; where it is, it must be the stand-in.
        if (const auto owner = PortOwner(port)) {
            EXPECT_EQ(owner->pid, listener.Pid());
            EXPECT_TRUE(EqualsIgnoreCase(owner->name, "standin.exe")) << owner->name;
        }
        listener.Stop();
        EXPECT_TRUE(IsPortFree(port) && !PortOwner(port) && !PortListenerPid(port));
    }
}

// Wine reserves no ports: the binds' answers come through the seam. The port's listener, when
// there is one, is real: a refusal of a port somebody listens on is that program's doing.
TEST(Probes, ProbePort_RefusalWithoutListenerIsReservedByWindows) {
    static int v4 = 0, v6 = 0;
    SetBindResultForTest([](int family, uint16_t) { return family == AF_INET6 ? v6 : v4; });
    const testkit::PortLease lease;
    const std::tuple<int, int, PortState> cases[] = {   // the IPv4 bind's answer, the IPv6 one's
        {0, 0, PortState::Free},                      {WSAEADDRINUSE, 0, PortState::InUse},
        {WSAEACCES, 0, PortState::Reserved},          {0, WSAEACCES, PortState::Reserved},
        {WSAEADDRNOTAVAIL, WSAEACCES, PortState::Reserved},  // the other family still asked
        {WSAEADDRNOTAVAIL, 0, PortState::Free},       {0, WSAEADDRINUSE, PortState::InUse},
    };
    for (const auto& [v4Answer, v6Answer, state] : cases) {
        std::tie(v4, v6) = std::tie(v4Answer, v6Answer);
        EXPECT_EQ(ProbePort(lease.Port()), state) << v4 << " " << v6;
        EXPECT_EQ(IsPortFree(lease.Port()), state == PortState::Free);
    }
    v4 = WSAEACCES;
    WaitingStandin listener(L"listen " + std::to_wstring(lease.Port()));
    ASSERT_TRUE(listener.WaitReady());
    EXPECT_EQ(ProbePort(lease.Port()), PortState::InUse);
    SetBindResultForTest(nullptr);
    EXPECT_EQ(ProbePort(lease.Port()), PortState::InUse);   // real binds again
}

TEST(Probes, Processes_NamedByPidAndFoundByNameWithParentAndPath) {
    EXPECT_EQ(ProcessNameForPid(4), "System");
    EXPECT_TRUE(EqualsIgnoreCase(ProcessNameForPid(::GetCurrentProcessId()), "core_tests.exe"));
    // Wine keeps an ended process queryable for a moment; this pid never exists (ids are multiples of 4).
    EXPECT_EQ(ProcessNameForPid(0xFFFFFFF0u), "PID 4294967280");
    WaitingStandin child(L"print ready");
    ASSERT_TRUE(child.WaitReady());
    const ProcessInfo* mine = nullptr;
    const std::vector<ProcessInfo> found = FindProcessesByName({"nothing-like-this.exe", "STANDIN.EXE"});
    for (const auto& info : found) {
        EXPECT_TRUE(EqualsIgnoreCase(info.exeName, "standin.exe")) << info.exeName;
        if (info.pid == child.Pid()) mine = &info;
    }
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->parentPid, ::GetCurrentProcessId());
    EXPECT_TRUE(EqualsIgnoreCase(mine->fullPath, WideToUtf8(testkit::StandinPath(L"standin.exe")))) << mine->fullPath;
}

TEST(Probes, SelectIPv4Addresses_UpAdaptersWithoutLoopbackOrLinkLocal) {
    const std::vector<AdapterAddresses> adapters = {
        {true, false, {"192.168.1.5", "169.254.3.4", "10.0.0.2"}}, {false, false, {"192.168.9.9"}},
        {true, true, {"127.0.0.1"}}, {true, false, {"169.254.10.10"}}, {true, false, {"192.168.1.5"}}};
    EXPECT_EQ(SelectIPv4Addresses(adapters), (Lines{"192.168.1.5", "10.0.0.2", "192.168.1.5"}));
}

TEST(ProbesCpu, ApplyCpuSample_Series_GivePercentOfMachineAndMemorySum) {
    constexpr uint64_t kSecond = 10'000'000;   // FILETIME ticks
    struct Sample {
        uint64_t now;
        std::vector<CpuReading> readings;
        double percent;
        uint64_t workingSet;
    };
    const struct {
        const char* name;
        unsigned processors;
        std::vector<Sample> samples;
    } cases[] = {
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
         {{100 * kSecond, {{10, kSecond, {}}, {11, kSecond, {}}}, 0, 0}, {101 * kSecond, {{11, kSecond, {}}}, 0, 0},
          {102 * kSecond, {{10, kSecond * 11 / 10, {}}}, 0, 0}}},
        // The interval after a clock set back starts from the new time.
        {"clock standing still or set back", 1,
         {{100 * kSecond, {{10, 0, {}}}, 0, 0}, {100 * kSecond, {{10, kSecond, {}}}, 0, 0},
          {90 * kSecond, {{10, 2 * kSecond, {}}}, 0, 0}, {92 * kSecond, {{10, 3 * kSecond, {}}}, 50, 0}}},
    };
    for (const auto& c : cases) {
        CpuSampler sampler;
        for (size_t i = 0; i < c.samples.size(); ++i) {
            SCOPED_TRACE(Format("%s, sample %zu", c.name, i + 1));
            ApplyCpuSample(sampler, c.samples[i].now, c.processors, c.samples[i].readings);
            EXPECT_TRUE(std::abs(sampler.cpuPercent - c.samples[i].percent) < 1e-9 && sampler.workingSetBytes == c.samples[i].workingSet)
                << sampler.cpuPercent << " % " << sampler.workingSetBytes;
        }
    }
}

TEST(ProbesCpu, SampleCpu_OwnProcessMeasuredMissingPidSkipped) {
    CpuSampler sampler;
    SampleCpu(sampler, {::GetCurrentProcessId(), 0xFFFFFFF0u});
    EXPECT_TRUE(sampler.workingSetBytes > 0 && sampler.lastWallTime != 0);
    EXPECT_TRUE(sampler.samples.size() == 1 && sampler.samples.count(::GetCurrentProcessId()) == 1);
}

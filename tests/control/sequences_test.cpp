#include "control/sequences.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/files.h"
#include "core/text.h"
#include "tests/control/control_fixture.h"

using namespace controltest;

TEST(Sequences, PortServed_OwnerWhenKnownElseFreeBeforeAndBusyNow) {
    const std::vector<uint32_t> pids{40, 41};
    const struct {
        std::optional<uint32_t> owner;
        bool freeBefore, listeningNow, served;
    } cases[] = {
        {41, false, true, true},               // the table names one of ours
        {99, true, true, false},               // another program took it
        {std::nullopt, true, true, true},      // no owner listed (Wine): it was ours to take
        {std::nullopt, false, true, false},    // busy already before the spawn
        {std::nullopt, true, false, false},    // not listening yet
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortServed(c.owner, pids, c.freeBefore, c.listeningNow), c.served)
            << (c.owner ? *c.owner : 0) << c.freeBefore << c.listeningNow;

    EXPECT_EQ(PortOwnerText(1234, "nginx.exe"), "nginx.exe (PID 1234)");
    EXPECT_EQ(PortOwnerText(4, "System"), "System (PID 4) - Windows HTTP service (IIS, http.sys...)");
    EXPECT_EQ(PortOwnerText(std::nullopt, ""), "another program");

    EXPECT_EQ(ParentProcesses({{7, 1, "httpd.exe", "a"}, {8, 7, "httpd.exe", "a"}, {9, 0, "httpd.exe", "a"}}),
              (std::vector<uint32_t>{7, 9}));
}

TEST_F(ControlTest, CheckPortFree_BusyPortLogsAndAlerts_SettingOffSkips) {
    BusyPort busy;
    ASSERT_NE(busy.Port(), 0);
    const auto lines = LinesDuring([&] { EXPECT_FALSE(CheckPortFree(busy.Port(), "Apache", alert_action::kApache)); });
    const std::string owner = OwnerText(busy.Port());
    EXPECT_EQ(lines, (std::vector<LogLine>{{console::kZerva, level::kError, Format("Port %d is already used by %s", busy.Port(), owner.c_str())}}));
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{Format(
                               "! Port %d unavailable | Port %d needed by Apache is already used by %s.\n\nStop that "
                               "program or change the port in Zerva. | 2", busy.Port(), busy.Port(), owner.c_str())}));
    Config::Instance().SetBool(setting::kDetectPortUsed, false);
    EXPECT_TRUE(CheckPortFree(busy.Port(), "Apache", alert_action::kApache));
    EXPECT_TRUE(PopAlerts().empty());

    // A port of Windows' excluded ranges (the bind refused with WSAEACCES, nobody listening) is not
    // "used by another program": the text says where it went.
    Config::Instance().SetBool(setting::kDetectPortUsed, true);
    const int32_t port = LeasedPort();
    SetBindResultForTest([](int, uint16_t) { return 10013; });   // WSAEACCES
    const auto reserved = LinesDuring([&] { EXPECT_FALSE(CheckPortFree(port, "MySQL", alert_action::kMySql)); });
    SetBindResultForTest(nullptr);
    EXPECT_EQ(reserved, (std::vector<LogLine>{{console::kZerva, level::kError, Format("Port %d is reserved by Windows", port)}}));
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{Format(
                               "! Port %d unavailable | Port %d needed by MySQL lies in a range that Windows reserves for "
                               "itself (the command netsh int ipv4 show excludedportrange protocol=tcp lists them).\n\n"
                               "Change the port in Zerva. | 4", port, port)}));
}

TEST_F(ControlTest, CopyVcRuntime_MissingOrOlderOnly) {
    // The stand-in copies carry version resources: standin.exe 1.0.0.0, httpd.exe 2.4.58.0.
    const std::wstring source = root / L"bin/vcruntime/x64";
    const std::wstring dest = root / L"build";
    ASSERT_TRUE(EnsureDirectory(source) && EnsureDirectory(dest));
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll"})
        ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"standin.exe"), source + L"\\" + name, true));
    testkit::WriteFile(source + L"\\notes.txt", "not a library");
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"httpd.exe"), dest + L"\\b.dll", true));  // newer: kept
    testkit::WriteFile(dest + L"\\c.dll", "no version");                                   // older: replaced

    CopyVcRuntime(dest, 0);  // unknown architecture: "?" cannot even name a folder
    EXPECT_FALSE(PathExists(dest + L"\\a.dll"));
    CopyVcRuntime(dest, 2);
    EXPECT_EQ(FileVersion(dest + L"\\b.dll"), FileVersion(testkit::StandinPath(L"httpd.exe")));
    EXPECT_TRUE(FileVersion(dest + L"\\a.dll") == FileVersion(source + L"\\a.dll") &&
                FileVersion(dest + L"\\c.dll") == FileVersion(source + L"\\c.dll") && !PathExists(dest + L"\\notes.txt"));
    CopyVcRuntime(root / L"missing", 2);  // no destination folder: nothing created
    EXPECT_FALSE(PathExists(root / L"missing"));
}

TEST(Sequences, WaitUntil_CallsAtOnceThenPollsToTheDeadline) {
    int calls = 0;
    EXPECT_TRUE(WaitUntil(0, [&] { return ++calls > 0; }) && calls == 1);
    calls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitUntil(600, [&] { ++calls; return false; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
    EXPECT_TRUE(calls >= 2 && calls <= 5) << calls;  // at once, every 250 ms, a last one at the deadline
}

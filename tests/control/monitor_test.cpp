#include "control/monitor.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "control/start.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/text.h"
#include "tests/control/control_fixture.h"

using namespace controltest;

TEST(Monitor, ParseListenPortsText_DirectivesOnly) {
    // "1.2.3.4:x": the pattern falls back to the first digits. Each port once.
    EXPECT_EQ(ParseListenPortsText("Listen 80\r\n  listen 127.0.0.1:8080\r\n#Listen 81\nListen [::1]:82\nListen 0.0.0.0:443 https\n"
                                   "ListenBacklog 511\nListen 99999999999\nListen 1.2.3.4:x\nListen:81\n"
                                   "\tLISTEN 80\n" + std::string(200000, ' ') + "Listen 82\n"),
              (std::vector<int32_t>{80, 8080, 82, 443, 1}));
    EXPECT_EQ(ParseListenPortsText("Listen 127.0.0.1:41080\r\nListen [::1]:41080\r\nListen [::1]:8080 http\r\nListen [::1]\r\n"),
              (std::vector<int32_t>{41080, 8080}));
    EXPECT_TRUE(ParseListenPorts(L"Z:\\no\\such\\httpd.conf").empty());
}

TEST(Monitor, TailServerLog_CompleteNewLinesWithLevelAndSource) {
    testkit::ScratchDir dir;
    const std::wstring log = dir / L"error.log";
    testkit::WriteFile(log, "old line\r\n");
    LogTail tail, dbTail;
    const std::string added = "[core:error] [pid 4] AH00037\r\n\r\n  [mpm_winnt:emerg] and [ssl:crit]  \n"
                              "2024 [ERROR] InnoDB\nPHP Parse error: syntax\n[php:warn] PHP Warning:  Undefined\n"
                              "2024 [Warning] Aborted\nphp deprecated: no blank after PHP\n[mpm_winnt:notice] Child\nhalf";
    const auto lines = LinesDuring([&] {
        TailServerLog(tail, log, console::kApache);  // arms at the end: nothing logged
        TailServerLog(dbTail, log, console::kMySql);
        testkit::WriteFile(log, "old line\r\n" + added);
        TailServerLog(tail, log, console::kApache);
        TailServerLog(dbTail, log, console::kMySql);
    });
    const std::vector<LogLine> apacheLines{
        {console::kApache, level::kError, "[core:error] [pid 4] AH00037"}, {console::kApache, level::kError, "[mpm_winnt:emerg] and [ssl:crit]"},
        {console::kApache, level::kError, "2024 [ERROR] InnoDB"}, {console::kPhp, level::kError, "PHP Parse error: syntax"},
        {console::kPhp, level::kWarning, "[php:warn] PHP Warning:  Undefined"}, {console::kApache, level::kWarning, "2024 [Warning] Aborted"},
        {console::kApache, level::kWarning, "php deprecated: no blank after PHP"}, {console::kApache, level::kInfo, "[mpm_winnt:notice] Child"}};
    std::vector<LogLine> expected = apacheLines;
    for (auto [source, level, text] : apacheLines) expected.emplace_back(console::kMySql, level, text);  // never PHP
    EXPECT_EQ(lines, expected);

    EXPECT_EQ(LinesDuring([&] {
                  testkit::WriteFile(log, "old line\r\n" + added + " done\n");  // the unfinished line, now whole
                  TailServerLog(tail, log, console::kApache);
                  testkit::WriteFile(log, "new\n");  // emptied and rewritten: read from the start
                  TailServerLog(tail, log, console::kApache);
                  // Past the 256 KiB window only the newest part is read, beginning mid-line.
                  testkit::WriteFile(log, "new\n" + std::string(300000, 'x') + "\nlast\n");
                  TailServerLog(tail, log, console::kApache);
              }),
              (std::vector<LogLine>{{console::kApache, level::kInfo, "half done"}, {console::kApache, level::kInfo, "new"},
                                    {console::kApache, level::kInfo, std::string(262144 - 6, 'x')}, {console::kApache, level::kInfo, "last"}}));
}

TEST(Monitor, RestartRule_TwoPassesOfTheSameNewSignature) {
    uint64_t pending = 0;
    for (const auto& [running, baseline, signature] : {std::tuple{false, 5, 7}, {true, 0, 7}, {true, 5, 5}})
        EXPECT_EQ(ApplyRestartRule(running, uint64_t(baseline), pending, uint64_t(signature)), RestartStep::kNone);
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 7), RestartStep::kPending);  // first sight
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 8), RestartStep::kPending);  // still being written
    EXPECT_EQ(pending, 8u);
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 8), RestartStep::kRestart);
    EXPECT_EQ(pending, 0u);
}

TEST_F(ControlTest, Monitor_OtherInstallationsAndHistories) {
    const std::string inside = WideToUtf8(root / L"bin/apache/a/bin/httpd.exe");
    EXPECT_EQ(OtherInstallations({{10, 0, "httpd.exe", inside},
                                  {11, 0, "httpd.exe", "C:\\xampp\\apache\\bin\\httpd.exe"},
                                  {12, 0, "mysqld.exe", ""},
                                  {13, 0, "httpd.exe", "C:\\xampp\\apache\\bin\\httpd.exe"}}),
              (std::vector<std::string>{"C:\\xampp\\apache\\bin\\httpd.exe", "mysqld.exe (PID 12)"}));

    std::vector<float> history;
    for (int i = 0; i < 125; ++i) AppendSample(history, float(i));
    EXPECT_TRUE(history.size() == 120u && history.front() == 5.0f && history.back() == 124.0f) << history.size();
}

// Only a process run from inside bin\apache is this root's Apache: one under a sibling folder whose
// name merely begins the same (bin\apache2, bin\apache.bak) is another installation, neither shown
// as running nor stopped.
TEST_F(ControlTest, Monitor_HttpdUnderASiblingFolder_NeitherOursNorStopped) {
    std::vector<std::wstring> ready;   // each server's access log, which it tells once it serves
    const auto spawn = [&](const std::wstring& build) {
        const std::wstring dir = MakeFolder(root / build, {{"bin/httpd.exe", stacktest::kStandin},
                                                           {"conf/httpd.conf", "# standin: no-listen\r\n"},
                                                           {"logs/error.log", ""}});
        ready.push_back(dir + L"\\logs\\access.log");
        return proc::SpawnProcess({.exe = dir + L"\\bin\\httpd.exe",
                                   .args = L"-f \"" + dir + L"\\conf\\httpd.conf\" -d \"" + dir + L"\""}, nullptr);
    };
    const proc::Process siblings[] = {spawn(L"bin/apache2/httpd-2.4.58"), spawn(L"bin/apache.bak")};
    const proc::Process ours = spawn(L"bin/apache/httpd-2.4.58");
    for (const std::wstring& log : ready)
        ASSERT_TRUE(testkit::WaitFor([&] { return testkit::ReadFile(log).find(" ready") != std::string::npos; }));
    for (const ProcessInfo& process : FindApacheProcesses())
        EXPECT_TRUE(StartsWith(ToLower(process.fullPath), ToLower(WideToUtf8(root / L"bin\\apache\\")))) << process.fullPath;

    DoStopApache();
    Server::Instance().Refresh();
    EXPECT_FALSE(Server::Instance().GetStatus().apache.running || ours.IsRunning());
    for (const auto& sibling : siblings) EXPECT_TRUE(sibling.IsRunning());
}

// A root reached through a link (a junction; a subst or mapped drive alike): the system names the
// server's image by its resolved path, and the server is still this root's (the stop sequence
// finds it too), running and no other installation.
TEST_F(ControlTest, Monitor_RootThroughALink_ItsResolvedServersAreOurs) {
    testkit::ScratchDir linkHome;
    const testkit::DirectoryLink link(linkHome / L"root", root.Path());
    if (!link.Made()) GTEST_SKIP() << "this system makes no directory links";
    SetRootDir(link.Path());
    MakeApache(LeasedPort());
    // Wine names an image by the path it was first mapped through: with the file mapped through its
    // resolved path first, it names the server's image as Windows always does.
    const UniqueHandle image(::CreateFileW((root / L"bin/apache/httpd-2.4.58/bin/httpd.exe").c_str(), GENERIC_READ | GENERIC_EXECUTE,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    const UniqueHandle mapped(::CreateFileMappingW(image.Get(), nullptr, PAGE_EXECUTE_READ | SEC_IMAGE, 0, 0, nullptr));
    ASSERT_TRUE(mapped) << LastErrorText();
    ASSERT_TRUE(DoStartApache());
    const auto apache = FindApacheProcesses();
    EXPECT_FALSE(apache.empty());
    const std::vector<std::string> real{root.Utf8()}, given{WideToUtf8(link.Path())};
    for (const ProcessInfo& process : apache)   // what makes the case
        EXPECT_TRUE(IsPathUnder(process.fullPath, real) && !IsPathUnder(process.fullPath, given)) << process.fullPath;
    Server::Instance().Refresh();
    const ServerStatus status = Server::Instance().GetStatus();
    EXPECT_TRUE(status.apache.running);
    for (const std::string& other : status.others) EXPECT_FALSE(IsPathUnder(other, real)) << other;
}

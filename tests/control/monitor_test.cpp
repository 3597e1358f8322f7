#include "control/monitor.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/text.h"
#include "tests/control/control_fixture.h"

using namespace controltest;

TEST(Monitor, ParseListenPortsText_DirectivesOnly) {
    EXPECT_EQ(ParseListenPortsText("Listen 80\r\n"
                                   "  listen 127.0.0.1:8080\r\n"
                                   "#Listen 81\n"
                                   "Listen [::1]:82\n"
                                   "Listen 0.0.0.0:443 https\n"
                                   "ListenBacklog 511\n"
                                   "Listen 99999999999\n"
                                   "\tLISTEN 80\n"),
              (std::vector<int32_t>{80, 8080, 443, 80}));
    EXPECT_TRUE(ParseListenPorts(L"Z:\\no\\such\\httpd.conf").empty());
}

TEST(Monitor, TailLines_LevelAndSource) {
    const struct {
        const char* line;
        LogLevel level;
        ConsoleSource apacheSource;
    } cases[] = {
        {"[Mon] [core:error] [pid 4] AH00037", level::kError, console::kApache},
        {"[Mon] [mpm_winnt:emerg] AH00", level::kError, console::kApache},
        {"[ssl:crit] x", level::kError, console::kApache},
        {"2024 [ERROR] InnoDB", level::kError, console::kApache},
        {"PHP Fatal error:  Uncaught", level::kError, console::kPhp},
        {"PHP Parse error: syntax", level::kError, console::kPhp},
        {"[php:warn] PHP Warning:  Undefined", level::kWarning, console::kPhp},
        {"2024 [Warning] Aborted", level::kWarning, console::kApache},
        {"PHP Deprecated:  x", level::kWarning, console::kPhp},
        {"[mpm_winnt:notice] AH00354: Child: Starting", level::kInfo, console::kApache},
        {"php warning without the blank", level::kWarning, console::kApache},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TailLineLevel(c.line), c.level) << c.line;
        EXPECT_EQ(TailLineSource(c.line, console::kApache), c.apacheSource) << c.line;
        EXPECT_EQ(TailLineSource(c.line, console::kMySql), console::kMySql) << c.line;
    }
}

TEST(Monitor, TailServerLog_CompleteNewLinesOnly) {
    testkit::ScratchDir dir;
    const std::wstring log = dir / L"error.log";
    testkit::WriteFile(log, "old line\r\n");
    LogTail tail;
    const uint64_t since = LastSeq();
    TailServerLog(tail, log, console::kApache);  // arms at the end: nothing logged
    EXPECT_TRUE(tail.armed);
    testkit::WriteFile(log, "old line\r\n[x:error] one\r\n\r\n  PHP Warning: two  \nhalf");
    TailServerLog(tail, log, console::kApache);
    testkit::WriteFile(log, "old line\r\n[x:error] one\r\n\r\n  PHP Warning: two  \nhalf done\n");
    TailServerLog(tail, log, console::kApache);
    testkit::WriteFile(log, "new\n");  // emptied and rewritten: read from the start
    TailServerLog(tail, log, console::kApache);
    EXPECT_EQ(LogSince(since), (std::vector<LogLine>{{console::kApache, level::kError, "[x:error] one"},
                                                     {console::kPhp, level::kWarning, "PHP Warning: two"},
                                                     {console::kApache, level::kInfo, "half done"},
                                                     {console::kApache, level::kInfo, "new"}}));
    // Past the 256 KiB window only the newest part is read, beginning mid-line.
    testkit::WriteFile(log, "new\n" + std::string(300000, 'x') + "\nlast\n");
    TailServerLog(tail, log, console::kApache);
    const auto lines = LogSince(since);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(std::get<2>(lines[4]), std::string(262144 - 6, 'x'));
    EXPECT_EQ(std::get<2>(lines[5]), "last");
}

TEST(Monitor, RestartRule_TwoPassesOfTheSameNewSignature) {
    uint64_t pending = 0;
    EXPECT_EQ(ApplyRestartRule(false, 5, pending, 7), RestartStep::kNone);
    EXPECT_EQ(ApplyRestartRule(true, 0, pending, 7), RestartStep::kNone);
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 5), RestartStep::kNone);
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 7), RestartStep::kPending);  // first sight
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 8), RestartStep::kPending);  // still being written
    EXPECT_EQ(pending, 8u);
    EXPECT_EQ(ApplyRestartRule(true, 5, pending, 8), RestartStep::kRestart);
    EXPECT_EQ(pending, 0u);

    EXPECT_EQ(FoldSignature({}), 0u);
    EXPECT_EQ(FoldSignature({2, 3}), 2u * 31 + 3);
    EXPECT_EQ(FoldSignature({~uint64_t(0), 1}), ~uint64_t(0) * 31 + 1);  // wraps
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
    ASSERT_EQ(history.size(), 120u);
    EXPECT_EQ(history.front(), 5.0f);
    EXPECT_EQ(history.back(), 124.0f);
}

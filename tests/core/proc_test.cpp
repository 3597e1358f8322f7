#include "core/proc.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "core/detached.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/log.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using namespace std::string_literals;  // "...\0..."s keeps the embedded NULs
using proc::EnvList;
using Lines = std::vector<std::string>;

namespace {

std::wstring Standin() { return testkit::StandinPath(L"standin.exe"); }

proc::SpawnOptions StandinRun(const std::wstring& args) { return {.exe = Standin(), .args = args}; }

// The lines of `text` that start with `prefix`, ignoring case.
Lines LinesStartingWith(const std::string& text, const std::string& prefix) {
    Lines found;
    for (const auto& line : SplitLines(text))
        if (StartsWithIgnoreCase(line, prefix)) found.push_back(line);
    return found;
}

// Log entries whose text contains `tag`, oldest first, as "<source> <level> <text>".
Lines LoggedWith(const std::string& tag) {
    std::vector<LogEntry> all;
    LogBuffer::Instance().Snapshot(all, 0);
    Lines tagged;
    for (const auto& e : all)
        if (e.text.find(tag) != std::string::npos) tagged.push_back(Format("%u %u %s", e.source, e.level, e.text.c_str()));
    return tagged;
}

}  // namespace

TEST(ProcEnvironment, ParseAndBuild_DriveEntriesKept_OverridesAndPathPrependSorted) {
    const wchar_t block[] = L"=C:=C:\\dir\0Path=C:\\w\0NOEQUALS\0A=b=c\0E=\0";
    const EnvList expected = {{L"=C:", L"C:\\dir"}, {L"Path", L"C:\\w"}, {L"A", L"b=c"}, {L"E", L""}};
    EXPECT_TRUE(proc::ParseEnvironmentBlock(block) == expected && proc::ParseEnvironmentBlock(nullptr).empty());

    const struct {
        const char* name;
        EnvList vars, overrides;
        const wchar_t* pathPrepend;
        std::wstring block;
    } cases[] = {
        {"overrides replace ignoring case, keep the spelling, append the rest",
         {{L"PhpRc", L"old"}, {L"Other", L"1"}}, {{L"PHPRC", L"new"}, {L"OPENSSL_CONF", L"c.cnf"}}, L"",
         L"OPENSSL_CONF=c.cnf\0Other=1\0PhpRc=new\0\0"s},
        {"prepend replaces Path whatever its spelling", {{L"Path", L"C:\\old"}}, {}, L"C:\\a;C:\\b",
         L"Path=C:\\a;C:\\b;C:\\old\0\0"s},
        {"prepend without PATH appends one ending in ;", {{L"X", L"1"}}, {}, L"C:\\a", L"PATH=C:\\a;\0X=1\0\0"s},
        {"sorted ignoring case", {{L"b", L"2"}, {L"_u", L"5"}, {L"C", L"3"}, {L"=D:", L"D:\\"}, {L"A", L"1"}}, {}, L"",
         L"=D:=D:\\\0_u=5\0A=1\0b=2\0C=3\0\0"s},
        {"empty names and names with = ignored", {{L"A", L"1"}}, {{L"", L"x"}, {L"A=B", L"y"}}, L"",
         L"A=1\0\0"s},
        {"empty block is two NULs", {}, {}, L"", std::wstring(2, L'\0')},
    };
    for (const auto& c : cases) EXPECT_EQ(proc::BuildEnvironmentBlock(c.vars, c.overrides, c.pathPrepend), c.block) << c.name;
}

TEST(ProcOutput, Utf8KeptElseCodePage_StrictAboutOverlongsSurrogatesAndRange) {
    const std::pair<const char*, bool> cases[] = {
        {"", true}, {"plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true}, {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xC0\xAF", false}, {"\xE0\x80\xAF", false},                      // overlong, two and three bytes
        {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},              // surrogate, past U+10FFFF
        {"caf\xC3", false}, {"\x80 stray", false}, {"\xE2\x28\xA1", false}, {"\xFF", false},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(proc::IsValidUtf8(cases[i].first), cases[i].second) << "case " << i;
    EXPECT_EQ(proc::DecodeOutputLine("caf\xC3\xA9", 850) + proc::DecodeOutputLine("\x82t\x82", 850),
              "caf\xC3\xA9\xC3\xA9t\xC3\xA9");  // é in code page 850
}

TEST(ProcOutput, LineSplitter_CrLfAcrossChunksBareLfAndRemainder) {
    Lines lines;
    proc::LineSplitter splitter([&](std::string line) { lines.push_back(std::move(line)); });
    for (const char* chunk : {"a\r", "\nb\n\n", "c\r\r\nd"}) splitter.Feed(chunk);
    splitter.Finish();
    EXPECT_EQ(lines, (Lines{"a", "b", "", "c\r", "d"}));
}

// Each case runs three times on a thread of its own, so concurrent Runs must keep their pipes apart.
TEST(ProcRun, FinishedChildren_ExitCodeAndOwnOutputFoldedIntoLfLines) {
    const struct {
        const wchar_t* args;
        std::string output;
        uint32_t exitCode;
    } cases[] = {
        {L"hex 610d0a62", "a\nb\n", 0},                                     // CR LF, unterminated last line
        {L"hex 636166820a", proc::DecodeOutputLine("caf\x82", ::GetOEMCP()) + "\n", 0},  // not UTF-8: OEM
        {L"print one + eprint two + print three", "one\ntwo\nthree\n", 0},  // one pipe, in order
        {L"cmdline  + print \"two words\"",   // Format: GCC 12 warns falsely about "\"" + string
         Format("\"%s\" cmdline  + print \"two words\"\ntwo words\n", WideToUtf8(Standin()).c_str()), 0},
        {L"cwd", WideToUtf8(testkit::BinDir()) + "\n", 0},  // by default, the program's folder
        {L"exit 42", "", 42},
        {L"exit 0xC0000135", "", 0xC0000135u},
    };
    std::vector<std::thread> threads;
    for (const auto& c : cases)
        threads.emplace_back([&c] {
            SCOPED_TRACE(WideToUtf8(c.args));
            for (int round = 0; round < 3; ++round) {
                const proc::RunResult r = proc::Run(StandinRun(c.args), 30000);
                EXPECT_TRUE(r.started && !r.timedOut && r.error.empty() && r.exitCode == c.exitCode) << r.error << r.exitCode;
                EXPECT_EQ(r.output, c.output);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(proc::IsValidUtf8(cases[1].output));
}

// A grandchild that inherited the pipe holds it for a minute; Run must come back long before. (On
// a time-out the grandchild ends with the child: the next test.)
TEST(ProcRun, TimeoutOrLingeringGrandchild_ReturnsPromptlyWithOutputSoFar) {
    // Steps, time-out, whether it timed out, exit code, output.
    const std::tuple<const wchar_t*, uint32_t, bool, uint32_t, std::string> cases[] = {
        {L"print partial + sleep 60000 + print never", 1000, true, 1, "partial\n"},
        {L"grandchild 60000 + print partial + sleep 60000", 1000, true, 1, "partial\n"},
        {L"grandchild 60000 + print done + exit 5", 60000, false, 5, "done\n"},
    };
    for (const auto& [steps, timeoutMs, timedOut, exitCode, output] : cases) {
        SCOPED_TRACE(WideToUtf8(steps));
        const auto start = std::chrono::steady_clock::now();
        const proc::RunResult r = proc::Run(StandinRun(steps), timeoutMs);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 15.0);
        EXPECT_TRUE(r.timedOut == timedOut && r.exitCode == exitCode) << r.exitCode;
        std::string expected = output;
        unsigned grandchild = 0;
        if (std::sscanf(r.output.c_str(), "grandchild %u", &grandchild) == 1) {
            if (!timedOut) {
                EXPECT_TRUE(IsPidRunning(grandchild) && KillPid(grandchild));  // it really kept the pipe open
            }
            expected = Format("grandchild %u\n", grandchild) + expected;
        }
        EXPECT_EQ(r.output, expected);
    }
}

// A time-out ends the child with every process it started (a database tool's server would keep
// its data folder); a child that ends by itself leaves them running. The grandchild holds a file
// open while it runs: whether the file can be deleted tells, whoever has its id by now.
TEST(ProcRun, TimeOut_EndsTheWholeTree_AChildEndingByItselfLeavesItsOwnRunning) {
    const struct {
        const wchar_t* then;
        uint32_t timeoutMs;
        bool timedOut, grandchildRuns;
    } cases[] = {{L"sleep 60000", 5000, true, false}, {L"exit 5", 60000, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.then));
        testkit::ScratchDir dir;
        const std::wstring held = dir / L"held.txt";
        const proc::RunResult r = proc::Run(StandinRun(L"grandchild 60000 \"" + held + L"\" + " + c.then), c.timeoutMs);
        unsigned grandchild = 0;
        ASSERT_EQ(std::sscanf(r.output.c_str(), "grandchild %u", &grandchild), 1) << "started too late: " << r.output;
        EXPECT_EQ(r.timedOut, c.timedOut);
        const bool freed = testkit::WaitFor([&] { return ::DeleteFileW(held.c_str()) != FALSE; }, c.grandchildRuns ? 500 : 20000);
        EXPECT_EQ(freed, !c.grandchildRuns);
        if (c.grandchildRuns) {
            EXPECT_TRUE(KillPid(grandchild));  // it holds the file: the id is still its own
            EXPECT_TRUE(testkit::WaitFor([&] { return ::DeleteFileW(held.c_str()) != FALSE; }, 20000));
        }
    }
}

// The process a spawn returns is judged by its own handle; a reader thread the system refuses
// leaves nothing running, in a spawn as in a run.
TEST(ProcSpawn, ProcessRunsUntilItEnds_RefusedReaderThreadStartsNothing) {
    proc::Process running = proc::SpawnProcess(StandinRun(L"sleep 60000"), nullptr);
    ASSERT_TRUE(running.Pid() != 0 && running.IsRunning());
    EXPECT_TRUE(KillPid(running.Pid()));
    EXPECT_FALSE(running.IsRunning() || proc::Process().IsRunning());

    testkit::ScratchDir dir;
    const std::wstring held = dir / L"held.txt";
    const proc::SpawnOptions options = StandinRun(L"out \"" + held + L"\" + sleep 60000");
    FailThreadStartsForTesting(true);
    std::string error;
    const uint32_t pid = proc::Spawn(options, &error);
    const proc::RunResult run = proc::Run(options, 60000);
    FailThreadStartsForTesting(false);
    EXPECT_TRUE(pid == 0 && error == "cannot start a thread") << error;
    EXPECT_TRUE(!run.started && !run.timedOut && run.error == "cannot start a thread") << run.error;
    // Both children were ended: the file they held can go.
    EXPECT_TRUE(testkit::WaitFor([&] { return !PathExists(held) || ::DeleteFileW(held.c_str()) != FALSE; }, 20000));
}

TEST(ProcRun, EnvironmentAndWorkDir_ReachTheChild) {
    // Our own environment spells the variables differently from the options.
    std::wstring oldPath(32768, L'\0');
    oldPath.resize(::GetEnvironmentVariableW(L"PATH", oldPath.data(), DWORD(oldPath.size())));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"PATH", nullptr));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", oldPath.c_str()));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Zerva_Test_Var", L"old"));

    testkit::ScratchDir dir;
    proc::SpawnOptions options = StandinRun(L"cwd + env");
    options.workDir = dir.Path();
    options.pathPrepend = L"C:\\zerva-one;C:\\zerva-two";
    options.env = {{L"ZERVA_TEST_VAR", L"new"}, {L"ZERVA_TEST_ADDED", L"x y"}};
    const proc::RunResult r = proc::Run(options, 20000);
    ::SetEnvironmentVariableW(L"Zerva_Test_Var", nullptr);

    EXPECT_EQ(LinesStartingWith(r.output, "PATH="), Lines{"Path=C:\\zerva-one;C:\\zerva-two;" + WideToUtf8(oldPath)});
    EXPECT_EQ(LinesStartingWith(r.output, "ZERVA_TEST_"), (Lines{"ZERVA_TEST_ADDED=x y", "Zerva_Test_Var=new"}));
    EXPECT_TRUE(StartsWithIgnoreCase(r.output, dir.Utf8() + "\n")) << r.output;
}

TEST(ProcRun, HandleList_ChildInheritsOnlyItsPipe) {
    // An inheritable handle of ours that a child could reach only by wholesale inheritance.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle event(::CreateEventW(&inherit, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const proc::RunResult r = proc::Run(StandinRun(L"handle " + std::to_wstring(uintptr_t(event.Get()))), 20000);
    EXPECT_TRUE(r.output == "not inherited\n" && ::WaitForSingleObject(event.Get(), 0) == WAIT_TIMEOUT) << r.output;
}

TEST(ProcStart, MissingProgramOrNothingToStop_FailsWithSystemMessage) {
    testkit::ScratchDir dir;
    const proc::SpawnOptions options{.exe = dir / L"missing.exe"};
    const proc::RunResult r = proc::Run(options, 5000);
    EXPECT_TRUE(!r.started && !r.timedOut && r.exitCode == 0xFFFFFFFFu && r.error == LastErrorText(ERROR_FILE_NOT_FOUND)) << r.error;
    std::string error;
    EXPECT_TRUE(proc::Spawn(options, &error) == 0u && error == r.error && proc::Spawn(options, nullptr) == 0u) << error;
    // A file that is not a program: the system's text names it, with no insert left in it.
    testkit::WriteFile(dir / L"notes.exe", "not a program");
    const std::string notProgram = proc::Run({.exe = dir / L"notes.exe"}, 5000).error;
    EXPECT_TRUE(notProgram.find(WideToUtf8(dir / L"notes.exe")) != std::string::npos && notProgram.find('%') == std::string::npos)
        << notProgram;
    EXPECT_FALSE(LaunchInConsole(options.exe, L"", L"", L""));
    EXPECT_FALSE(SignalNamedEvent(Utf8ToWide(testkit::UniqueName())) || KillPid(0) || IsPidRunning(0));
}

TEST(ProcSpawn, OutputLines_LoggedByLevelUnlessBlankRejectedOrFilterThrows) {
    const std::string tag = testkit::UniqueName();
    const std::wstring t = Utf8ToWide(tag);
    proc::SpawnOptions options = StandinRun(L"print \"  " + t + L" plain  \" \"\" \"   \" \"boom " + t + L"\" \"drop " + t +
                                            L"\" \"warning: " + t + L"\" \"fatal: " + t + L"\" \"drop end " + t + L"\"");
    options.logSource = console::kApache;
    // Shared with the reader thread, which may outlive the test.
    auto lastSeen = std::make_shared<UniqueHandle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto asked = std::make_shared<std::atomic<int>>(0);
    // A filter that throws must cost its line only, not the reader thread (nor Zerva).
    options.lineFilter = [lastSeen, asked, tag](const std::string& line) {
        ++*asked;
        if (StartsWith(line, "boom")) throw std::runtime_error("filter failed " + tag);
        if (StartsWith(line, "drop end")) ::SetEvent(lastSeen->Get());
        return !StartsWith(line, "drop");
    };
    std::string error;
    ASSERT_NE(proc::Spawn(options, &error), 0u) << error;
    // Lines are handled in order, so once the filter saw the last one the earlier ones are logged.
    ASSERT_EQ(::WaitForSingleObject(lastSeen->Get(), 20000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(asked->load(), 6);  // never about the two blank lines
    // Sources: 0 Zerva, 1 Apache; levels: 0 info, 2 warning, 3 error.
    EXPECT_EQ(LoggedWith(tag), (Lines{"1 0   " + tag + " plain  ", "0 3 internal error: filter failed " + tag,
                                      "1 2 warning: " + tag, "1 3 fatal: " + tag}));
}

TEST(ProcSpawn, LoggingOff_StillDrainsPipeAndLogsNothing) {
    const std::string tag = testkit::UniqueName();
    proc::SpawnOptions options = StandinRun(L"repeat 20000 \"" + Utf8ToWide(tag) + L" flood of output\" + exit 7");
    options.logOutput = false;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, proc::Spawn(options, nullptr)));
    ASSERT_TRUE(process);
    // About 600 KB: far more than the pipe holds, so the child ends only if it is read.
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeProcess(process.Get(), &code) && code == 7u) << code;   // it wrote everything
    EXPECT_TRUE(LoggedWith(tag).empty());
}

// A process list is read before its processes are ended; one may end in between and its id go to
// another program, which must not be ended in its place.
TEST(ProcStop, KillPid_EndsOnlyTheImageTheListGave) {
    testkit::WaitingStandin child;
    ASSERT_TRUE(child.WaitReady());
    EXPECT_FALSE(KillPid(child.Pid(), "C:\\elsewhere\\standin.exe"));
    EXPECT_EQ(::WaitForSingleObject(child.Process(), 0), DWORD(WAIT_TIMEOUT)) << "another program's id: left alone";
    EXPECT_TRUE(KillPid(child.Pid(), ToLower(WideToUtf8(testkit::StandinPath(L"standin.exe")))));
    EXPECT_EQ(::WaitForSingleObject(child.Process(), 5000), DWORD(WAIT_OBJECT_0));
}

TEST(ProcStop, SignalOrKill_EndsWaitingChildWithExitCode0) {
    using testkit::WaitingStandin;
    const std::pair<const char*, bool (*)(const WaitingStandin&)> ways[] = {
        {"SignalNamedEvent", [](const WaitingStandin& c) { return SignalNamedEvent(c.StopEventName()); }},
        {"KillPid", [](const WaitingStandin& c) { return KillPid(c.Pid()); }},   // it waits for the end itself
    };
    for (const auto& [name, stop] : ways) {
        SCOPED_TRACE(name);
        WaitingStandin child;
        // Stopped only once it runs, as servers are (one ended while Wine still started it once kept
        // the test program from exiting).
        ASSERT_TRUE(child.WaitReady());
        EXPECT_TRUE(IsPidRunning(child.Pid()) && stop(child));
        ASSERT_EQ(::WaitForSingleObject(child.Process(), stop == ways[1].second ? 0 : 20000), DWORD(WAIT_OBJECT_0));
        DWORD code = 99;
        EXPECT_TRUE(::GetExitCodeProcess(child.Process(), &code) && code == 0u) << code;   // not its time-out code, 124
        EXPECT_FALSE(IsPidRunning(child.Pid()));   // still openable through our handle, but ended
    }
}

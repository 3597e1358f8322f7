#include "core/proc.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/files.h"
#include "core/handle.h"
#include "core/log.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using proc::EnvList;
using Lines = std::vector<std::string>;

namespace {

// A literal with embedded NULs, all of it (without the compiler's final NUL).
template <size_t N>
std::wstring Block(const wchar_t (&text)[N]) {
    return std::wstring(text, N - 1);
}

std::wstring Standin() { return testkit::StandinPath(L"standin.exe"); }

// The stand-in's path between double quotes, as the command line starts. (Built with Format:
// GCC 12 warns falsely about "\"" + std::string.)
std::string QuotedStandin() { return Format("\"%s\"", WideToUtf8(Standin()).c_str()); }

proc::SpawnOptions StandinRun(const std::wstring& args) {
    proc::SpawnOptions options;
    options.exe = Standin();
    options.args = args;
    return options;
}

// Names of events and log tags no other test process uses.
std::string UniqueTag() {
    static std::atomic<unsigned> counter{0};
    return Format("zt%lu-%u-%s", ::GetCurrentProcessId(), ++counter, RandomAlnum(6).c_str());
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The "grandchild <pid>" line of the output, so the test can end that process.
uint32_t GrandchildPid(const std::string& output) {
    for (const auto& line : SplitLines(output))
        if (StartsWith(line, "grandchild ")) return uint32_t(std::stoul(line.substr(11)));
    return 0;
}

// Collects what a spawned child's line filter sees, so a test can wait for a line.
class LineWatch {
public:
    std::function<bool(const std::string&)> Filter(std::string reject = {}) {
        auto state = m_state;
        return [state, reject](const std::string& line) {
            std::lock_guard lock(state->mutex);
            state->lines.push_back(line);
            state->changed.notify_all();
            return reject.empty() || line.find(reject) == std::string::npos;
        };
    }
    // Whether a line starting with `prefix` was seen, waiting up to 20 s for one.
    bool WaitFor(const std::string& prefix) {
        std::unique_lock lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::any_of(m_state->lines.begin(), m_state->lines.end(),
                               [&](const std::string& line) { return StartsWith(line, prefix); });
        });
    }
    Lines Seen() {
        std::lock_guard lock(m_state->mutex);
        return m_state->lines;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        Lines lines;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// Log entries whose text contains `tag`, oldest first.
std::vector<LogEntry> LoggedWith(const std::string& tag) {
    std::vector<LogEntry> all, tagged;
    LogBuffer::Instance().Snapshot(all, 0);
    for (auto& entry : all)
        if (entry.text.find(tag) != std::string::npos) tagged.push_back(entry);
    return tagged;
}

}  // namespace

// ---- Environment block ----

TEST(ProcEnvironment, Parse_KeepsDriveEntriesAndSplitsAtFirstEquals) {
    const wchar_t block[] = L"=C:=C:\\dir\0Path=C:\\w\0NOEQUALS\0A=b=c\0E=\0";
    const EnvList expected = {{L"=C:", L"C:\\dir"}, {L"Path", L"C:\\w"}, {L"A", L"b=c"}, {L"E", L""}};
    EXPECT_EQ(proc::ParseEnvironmentBlock(block), expected);
    EXPECT_TRUE(proc::ParseEnvironmentBlock(nullptr).empty());
}

TEST(ProcEnvironment, Build_OverridesReplaceIgnoringCaseAndKeepSpelling) {
    const EnvList vars = {{L"PhpRc", L"old"}, {L"Other", L"1"}};
    const std::wstring block =
        proc::BuildEnvironmentBlock(vars, {{L"PHPRC", L"new"}, {L"OPENSSL_CONF", L"c.cnf"}}, L"");
    EXPECT_EQ(block, Block(L"OPENSSL_CONF=c.cnf\0Other=1\0PhpRc=new\0\0"));
}

TEST(ProcEnvironment, Build_PathPrepend_ReplacesPathWhateverItsSpelling) {
    const std::wstring block = proc::BuildEnvironmentBlock({{L"Path", L"C:\\old"}}, {}, L"C:\\a;C:\\b");
    EXPECT_EQ(block, Block(L"Path=C:\\a;C:\\b;C:\\old\0\0"));
}

TEST(ProcEnvironment, Build_PathPrepend_NoPath_AppendsWithTrailingSemicolon) {
    const std::wstring block = proc::BuildEnvironmentBlock({{L"X", L"1"}}, {}, L"C:\\a");
    EXPECT_EQ(block, Block(L"PATH=C:\\a;\0X=1\0\0"));
}

TEST(ProcEnvironment, Build_SortsIgnoringCase) {
    const EnvList vars = {{L"b", L"2"}, {L"_u", L"5"}, {L"C", L"3"}, {L"=D:", L"D:\\"}, {L"A", L"1"}};
    EXPECT_EQ(proc::BuildEnvironmentBlock(vars, {}, L""),
              Block(L"=D:=D:\\\0_u=5\0A=1\0b=2\0C=3\0\0"));
}

TEST(ProcEnvironment, Build_BadOverrideNamesIgnoredAndEmptyBlockIsTwoNuls) {
    const std::wstring block = proc::BuildEnvironmentBlock({{L"A", L"1"}}, {{L"", L"x"}, {L"A=B", L"y"}}, L"");
    EXPECT_EQ(block, Block(L"A=1\0\0"));
    EXPECT_EQ(proc::BuildEnvironmentBlock({}, {}, L""), std::wstring(2, L'\0'));
}

// ---- Output lines ----

TEST(ProcOutput, IsValidUtf8_StrictAboutOverlongsSurrogatesAndRange) {
    EXPECT_TRUE(proc::IsValidUtf8(""));
    EXPECT_TRUE(proc::IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_TRUE(proc::IsValidUtf8("\xF4\x8F\xBF\xBF"));         // U+10FFFF
    EXPECT_FALSE(proc::IsValidUtf8("\xC0\xAF"));                // overlong "/"
    EXPECT_FALSE(proc::IsValidUtf8("\xE0\x80\xAF"));            // overlong, three bytes
    EXPECT_FALSE(proc::IsValidUtf8("\xED\xA0\x80"));            // surrogate
    EXPECT_FALSE(proc::IsValidUtf8("\xF4\x90\x80\x80"));        // past U+10FFFF
    EXPECT_FALSE(proc::IsValidUtf8("caf\xC3"));                 // cut short
    EXPECT_FALSE(proc::IsValidUtf8("\x80 stray continuation"));
    EXPECT_FALSE(proc::IsValidUtf8("\xE2\x28\xA1"));            // bad continuation
    EXPECT_FALSE(proc::IsValidUtf8("\xFF"));
}

TEST(ProcOutput, Decode_Utf8KeptElseCodePage) {
    EXPECT_EQ(proc::DecodeOutputLine("caf\xC3\xA9", 850), "caf\xC3\xA9");
    EXPECT_EQ(proc::DecodeOutputLine("caf\x82", 850), "caf\xC3\xA9");       // é in code page 850
    EXPECT_EQ(proc::DecodeOutputLine("\x82t\x82", 850), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(proc::DecodeOutputLine("", 850), "");
}

TEST(ProcOutput, LineSplitter_CrLfAcrossChunksBareLfAndRemainder) {
    Lines lines;
    proc::LineSplitter splitter([&](std::string line) { lines.push_back(std::move(line)); });
    splitter.Feed("a\r");
    splitter.Feed("\nb\n\n");
    splitter.Feed("c\r\r\nd");
    splitter.Finish();
    EXPECT_EQ(lines, (Lines{"a", "b", "", "c\r", "d"}));
}

// ---- Run ----

TEST(ProcRun, CrLfAndUnterminatedLine_FoldedIntoLfLines) {
    const proc::RunResult r = proc::Run(StandinRun(L"hex 610d0a62"), 20000);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "a\nb\n");
    EXPECT_EQ(r.error, "");
}

TEST(ProcRun, NonUtf8Bytes_ReadInOemCodePage) {
    const proc::RunResult r = proc::Run(StandinRun(L"hex 636166820a"), 20000);
    EXPECT_EQ(r.output, proc::DecodeOutputLine("caf\x82") + "\n");
    EXPECT_TRUE(proc::IsValidUtf8(r.output));
    EXPECT_NE(r.output, "caf\x82\n");
}

TEST(ProcRun, StdoutAndStderr_SharePipeInOrder) {
    const proc::RunResult r = proc::Run(StandinRun(L"print one + eprint two + print three"), 20000);
    EXPECT_EQ(r.output, "one\ntwo\nthree\n");
}

TEST(ProcRun, ExitCode_Returned) {
    EXPECT_EQ(proc::Run(StandinRun(L"exit 42"), 20000).exitCode, 42u);
    EXPECT_EQ(proc::Run(StandinRun(L"exit 0xC0000135"), 20000).exitCode, 0xC0000135u);
}

TEST(ProcRun, Timeout_TerminatesWithExitCode1AndKeepsPartialOutput) {
    const auto start = std::chrono::steady_clock::now();
    const proc::RunResult r = proc::Run(StandinRun(L"print partial + sleep 60000 + print never"), 1000);
    EXPECT_LT(SecondsSince(start), 15.0);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.output, "partial\n");
}

namespace {

// Runs steps that start with "grandchild 60000", so a grandchild holds the pipe for a minute;
// Run must come back long before. Ends the grandchild afterwards.
proc::RunResult RunLeavingGrandchild(const std::wstring& steps, uint32_t timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    const proc::RunResult r = proc::Run(StandinRun(L"grandchild 60000 + " + steps), timeoutMs);
    EXPECT_LT(SecondsSince(start), 15.0);
    const uint32_t grandchild = GrandchildPid(r.output);
    EXPECT_TRUE(IsPidRunning(grandchild)) << r.output;  // it really kept the pipe open
    EXPECT_TRUE(KillPid(grandchild));
    return r;
}

}  // namespace

TEST(ProcRun, TimeoutWhileGrandchildHoldsPipe_ReturnsWithoutHang) {
    const proc::RunResult r = RunLeavingGrandchild(L"print partial + sleep 60000", 1000);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.output.find("partial\n"), std::string::npos);
}

TEST(ProcRun, ChildEndsWhileGrandchildHoldsPipe_ReturnsWithoutHang) {
    const proc::RunResult r = RunLeavingGrandchild(L"print done + exit 5", 60000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 5u);
    EXPECT_NE(r.output.find("done\n"), std::string::npos);
}

TEST(ProcRun, MissingProgram_NotStartedWithSystemMessage) {
    testkit::ScratchDir dir;
    proc::SpawnOptions options;
    options.exe = dir / L"missing.exe";
    const proc::RunResult r = proc::Run(options, 5000);
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(r.error, LastErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(r.output, "");
}

TEST(ProcRun, EnvironmentOverridesAndPathPrepend_ReachTheChild) {
    // Our own environment spells the variables differently from the options.
    std::wstring oldPath(32768, L'\0');
    oldPath.resize(::GetEnvironmentVariableW(L"PATH", oldPath.data(), DWORD(oldPath.size())));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"PATH", nullptr));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Path", oldPath.c_str()));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Zerva_Test_Var", L"old"));

    proc::SpawnOptions options = StandinRun(L"env");
    options.pathPrepend = L"C:\\zerva-one;C:\\zerva-two";
    options.env = {{L"ZERVA_TEST_VAR", L"new"}, {L"ZERVA_TEST_ADDED", L"x y"}};
    const proc::RunResult r = proc::Run(options, 20000);
    ::SetEnvironmentVariableW(L"Zerva_Test_Var", nullptr);

    Lines paths, vars;
    for (const auto& line : SplitLines(r.output)) {
        if (StartsWithIgnoreCase(line, "PATH=")) paths.push_back(line);
        if (StartsWithIgnoreCase(line, "ZERVA_TEST_")) vars.push_back(line);
    }
    EXPECT_EQ(paths, Lines{"Path=C:\\zerva-one;C:\\zerva-two;" + WideToUtf8(oldPath)});
    EXPECT_EQ(vars, (Lines{"ZERVA_TEST_ADDED=x y", "Zerva_Test_Var=new"}));
}

TEST(ProcRun, WorkingFolder_DefaultsToProgramFolder) {
    const proc::RunResult byDefault = proc::Run(StandinRun(L"cwd"), 20000);
    EXPECT_TRUE(EqualsIgnoreCase(Trim(byDefault.output), WideToUtf8(testkit::BinDir()))) << byDefault.output;

    testkit::ScratchDir dir;
    proc::SpawnOptions options = StandinRun(L"cwd");
    options.workDir = dir.Path();
    EXPECT_TRUE(EqualsIgnoreCase(Trim(proc::Run(options, 20000).output), dir.Utf8()));
}

TEST(ProcRun, CommandLine_QuotedProgramThenArgsAsGiven) {
    const proc::RunResult r = proc::Run(StandinRun(L"cmdline  + print \"two words\""), 20000);
    EXPECT_EQ(r.output, QuotedStandin() + " cmdline  + print \"two words\"\ntwo words\n");
}

TEST(ProcRun, HandleList_ChildInheritsOnlyItsPipe) {
    // An inheritable handle of ours that a child could reach only by wholesale inheritance.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle event(::CreateEventW(&inherit, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const auto value = reinterpret_cast<uintptr_t>(event.Get());
    const proc::RunResult r = proc::Run(StandinRun(L"handle " + std::to_wstring(value)), 20000);
    EXPECT_EQ(r.output, "not inherited\n");
    EXPECT_EQ(::WaitForSingleObject(event.Get(), 0), DWORD(WAIT_TIMEOUT));
}

TEST(ProcRun, ConcurrentRuns_EachGetsOnlyItsOwnOutput) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 4; ++i) {
                const std::string token = Format("t%d-%d", t, i);
                const proc::RunResult r = proc::Run(StandinRun(L"print " + Utf8ToWide(token)), 30000);
                if (r.output != token + "\n" || r.exitCode != 0) ++wrong;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// ---- Spawn ----

TEST(ProcSpawn, OutputLines_LoggedWithSourceAndLevelBlankLinesSkipped) {
    const std::string tag = UniqueTag();
    const std::wstring t = Utf8ToWide(tag);
    LineWatch watch;
    proc::SpawnOptions options = StandinRun(L"print \"  " + t + L" plain  \" \"\" \"   \" \"warning: " + t +
                                            L"\" \"fatal: " + t + L"\" end-" + t);
    options.logSource = console::kApache;
    options.lineFilter = watch.Filter("end-");
    std::string error;
    ASSERT_NE(proc::Spawn(options, &error), 0u) << error;
    ASSERT_TRUE(watch.WaitFor("end-"));

    // The filter is never asked about blank lines, and lines before "end-" are logged by now.
    EXPECT_EQ(watch.Seen(), (Lines{"  " + tag + " plain  ", "warning: " + tag, "fatal: " + tag, "end-" + tag}));
    const std::vector<LogEntry> logged = LoggedWith(tag);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0].text, "  " + tag + " plain  ");
    EXPECT_EQ(logged[0].level, level::kInfo);
    EXPECT_EQ(logged[1].level, level::kWarning);
    EXPECT_EQ(logged[2].level, level::kError);
    for (const auto& entry : logged) EXPECT_EQ(entry.source, console::kApache);
}

TEST(ProcSpawn, LineFilter_OnlyAcceptedLinesLogged) {
    const std::string tag = UniqueTag();
    const std::wstring t = Utf8ToWide(tag);
    LineWatch watch;
    auto seen = watch.Filter();
    proc::SpawnOptions options = StandinRun(L"print \"keep " + t + L"\" \"drop " + t + L"\" \"keep2 " + t +
                                            L"\" \"drop end " + t + L"\"");
    options.lineFilter = [seen](const std::string& line) { return seen(line) && StartsWith(line, "keep"); };
    ASSERT_NE(proc::Spawn(options, nullptr), 0u);
    ASSERT_TRUE(watch.WaitFor("drop end"));

    Lines texts;
    for (const auto& entry : LoggedWith(tag)) texts.push_back(entry.text);
    EXPECT_EQ(texts, (Lines{"keep " + tag, "keep2 " + tag}));
}

TEST(ProcSpawn, LineFilterThrows_LineDroppedErrorLoggedReadingGoesOn) {
    const std::string tag = UniqueTag();
    const std::wstring t = Utf8ToWide(tag);
    LineWatch watch;
    auto seen = watch.Filter();
    proc::SpawnOptions options = StandinRun(L"print \"boom " + t + L"\" \"after " + t + L"\" \"end " + t + L"\"");
    options.logSource = console::kApache;
    options.lineFilter = [seen, tag](const std::string& line) {
        if (StartsWith(line, "boom")) throw std::runtime_error("filter failed " + tag);
        return seen(line) && !StartsWith(line, "end ");
    };
    ASSERT_NE(proc::Spawn(options, nullptr), 0u);
    // The "end" line is never logged; once the filter saw it, the lines before it are.
    ASSERT_TRUE(watch.WaitFor("end "));

    const std::vector<LogEntry> logged = LoggedWith(tag);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].text, "internal error: filter failed " + tag);
    EXPECT_EQ(logged[0].level, level::kError);
    EXPECT_EQ(logged[1].text, "after " + tag);
}

TEST(ProcSpawn, LoggingOff_StillDrainsPipeAndLogsNothing) {
    const std::string tag = UniqueTag();
    proc::SpawnOptions options = StandinRun(L"repeat 20000 \"" + Utf8ToWide(tag) + L" flood of output\" + exit 7");
    options.logOutput = false;
    const uint32_t pid = proc::Spawn(options, nullptr);
    ASSERT_NE(pid, 0u);
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    ASSERT_TRUE(process);
    // About 600 KB: far more than the pipe holds, so the child ends only if it is read.
    ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(LoggedWith(tag).empty());
}

TEST(ProcSpawn, MissingProgram_ReturnsZeroWithSystemMessage) {
    testkit::ScratchDir dir;
    proc::SpawnOptions options;
    options.exe = dir / L"missing.exe";
    std::string error;
    EXPECT_EQ(proc::Spawn(options, &error), 0u);
    EXPECT_EQ(error, LastErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(proc::Spawn(options, nullptr), 0u);
}

// ---- Stopping and liveness ----

namespace {

// A spawned stand-in that waits on its own stop event, with a handle that keeps its exit code.
struct WaitingChild {
    std::wstring stopEvent = Utf8ToWide(UniqueTag());
    LineWatch watch;
    uint32_t pid = 0;
    UniqueHandle process;

    // False when it did not start or never got as far as waiting.
    bool Start() {
        proc::SpawnOptions options = StandinRun(L"wait-event " + stopEvent + L" 60000");
        options.lineFilter = watch.Filter();
        pid = proc::Spawn(options, nullptr);
        if (pid) process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        return process && watch.WaitFor("waiting");
    }
    DWORD ExitCode() const {
        DWORD code = 99;
        ::GetExitCodeProcess(process.Get(), &code);
        return code;
    }
};

}  // namespace

TEST(ProcStop, SignalNamedEvent_StopsWaitingChild) {
    WaitingChild child;
    EXPECT_FALSE(SignalNamedEvent(child.stopEvent));  // nobody made it yet
    ASSERT_TRUE(child.Start());
    EXPECT_TRUE(IsPidRunning(child.pid));

    EXPECT_TRUE(SignalNamedEvent(child.stopEvent));
    ASSERT_EQ(::WaitForSingleObject(child.process.Get(), 20000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(child.ExitCode(), 0u);  // ended by the event, not by its own time-out (124)
    EXPECT_FALSE(IsPidRunning(child.pid));
}

TEST(ProcStop, KillPid_EndsProcessWithExitCode0) {
    WaitingChild child;
    ASSERT_TRUE(child.Start());
    EXPECT_TRUE(KillPid(child.pid));
    EXPECT_EQ(::WaitForSingleObject(child.process.Get(), 0), DWORD(WAIT_OBJECT_0));  // KillPid waited
    EXPECT_EQ(child.ExitCode(), 0u);
    EXPECT_FALSE(IsPidRunning(child.pid));
}

TEST(ProcStop, EndedOrZeroPid_NotRunning) {
    const uint32_t pid = proc::Spawn(StandinRun(L"exit 0"), nullptr);
    ASSERT_NE(pid, 0u);
    {
        UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (process) {
            ASSERT_EQ(::WaitForSingleObject(process.Get(), 20000), DWORD(WAIT_OBJECT_0));
        }
    }
    EXPECT_FALSE(IsPidRunning(pid));
    EXPECT_FALSE(IsPidRunning(0));
    EXPECT_FALSE(KillPid(0));
}

// ---- Visible console ----

TEST(ProcConsole, LaunchInConsole_RunsWithPathPrependInWorkDir) {
    testkit::ScratchDir dir;
    const std::wstring ready = Utf8ToWide(UniqueTag());
    UniqueHandle readyEvent(::CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    ASSERT_TRUE(readyEvent);
    const std::wstring report = dir / L"report.txt";
    const std::wstring args = L"out \"" + report + L"\" + cmdline + cwd + env + signal " + ready;
    ASSERT_TRUE(LaunchInConsole(Standin(), args, dir.Path(), L"C:\\zerva-console"));
    ASSERT_EQ(::WaitForSingleObject(readyEvent.Get(), 30000), DWORD(WAIT_OBJECT_0));

    const Lines lines = SplitLines(testkit::ReadFile(report));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], QuotedStandin() + " " + WideToUtf8(args));
    EXPECT_TRUE(EqualsIgnoreCase(lines[1], dir.Utf8()));
    int paths = 0;
    for (const auto& line : lines) {
        if (!StartsWithIgnoreCase(line, "PATH=")) continue;
        ++paths;
        EXPECT_TRUE(StartsWith(line.substr(5), "C:\\zerva-console;")) << line;
    }
    EXPECT_EQ(paths, 1);
}

TEST(ProcConsole, LaunchInConsole_MissingProgram_False) {
    testkit::ScratchDir dir;
    EXPECT_FALSE(LaunchInConsole(dir / L"missing.exe", L"", L"", L""));
}

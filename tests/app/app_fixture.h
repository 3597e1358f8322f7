// tests/app/app_fixture.h: what the end-to-end tests of zerva.exe share: the real program run as
// a child with its standard output on a pipe read to the end, and a scratch root for it with
// stand-in builds (the server-control fixture, whose guard ends the root's stand-in servers).
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/handle.h"
#include "core/proc.h"
#include "core/text.h"
#include "tests/control/control_fixture.h"

namespace apptest {

struct ZervaRun {
    uint32_t exitCode = 0xFFFFFFFF;
    std::string output;              // the bytes as written
    std::vector<std::string> lines;  // without their CR LF
};

inline std::wstring ZervaExe() { return testkit::BinDir() + L"\\zerva.exe"; }

// Our environment without the ZERVA_ variables, then those of `env`.
inline std::wstring ChildEnvironment(const proc::EnvList& env) {
    const EnvironmentStrings own(::GetEnvironmentStringsW());
    proc::EnvList vars = proc::ParseEnvironmentBlock(own.Get());
    std::erase_if(vars, [](const auto& var) { return StartsWithIgnoreCase(WideToUtf8(var.first), "ZERVA_"); });
    return proc::BuildEnvironmentBlock(std::move(vars), env, L"");
}

// An online base on a closed loopback port: the window's automatic update check fails at once
// without leaving the machine.
inline std::wstring ClosedOnlineBase() { return L"http://127.0.0.1:" + std::to_wstring(testkit::UnusedPort()); }

// Runs `exe` with the arguments and the variables of `env`; ZERVA_ROOT and ZERVA_ONLINE_BASE are
// not passed on unless `env` sets them. With a `job`, the program runs inside it from its first
// instruction. Fails the test unless every line ends in CR LF.
inline ZervaRun RunExe(const std::wstring& exe, const std::wstring& args, const proc::EnvList& env = {},
                       HANDLE job = nullptr) {
    ZervaRun run;
    std::wstring block = ChildEnvironment(env);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    UniqueHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{.cb = sizeof(startup), .dwFlags = STARTF_USESTDHANDLES, .hStdOutput = writeEnd, .hStdError = writeEnd};
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | (job ? CREATE_SUSPENDED : 0), block.data(), nullptr, &startup, &info))
        return run;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    if (job) {
        EXPECT_TRUE(::AssignProcessToJobObject(job, process.Get())) << LastErrorText();
        ::ResumeThread(thread.Get());
    }
    writer.Reset();  // the child holds the only write end: its end is our end of file
    char buffer[4096];
    for (DWORD got = 0; ::ReadFile(reader.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0;)
        run.output.append(buffer, got);
    DWORD code = 0;
    if (::WaitForSingleObject(process.Get(), 90000) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.Get(), &code))
        run.exitCode = code;
    run.lines = SplitLines(run.output);
    std::string joined;
    for (const std::string& line : run.lines) joined += line + "\r\n";
    EXPECT_EQ(run.output, joined) << "every line ends in CR LF";
    return run;
}

// Whether the shell holds tray icon 1 of `window`: a modification that changes nothing succeeds
// only for an icon it knows.
inline bool ShellHasIcon(HWND window) {
    NOTIFYICONDATAW probe{};
    probe.cbSize = sizeof(probe);
    probe.hWnd = window;
    probe.uID = 1;
    return ::Shell_NotifyIconW(NIM_MODIFY, &probe);
}

// The top-level windows of a process as "class 'title'" (what a process that does not end shows:
// a message box is "#32770").
inline std::string WindowsOf(uint32_t pid) {
    std::pair<uint32_t, std::string> found{pid, ""};
    ::EnumWindows([](HWND window, LPARAM param) -> BOOL {
        auto& [wanted, text] = *reinterpret_cast<std::pair<uint32_t, std::string>*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        wchar_t name[128] = {}, title[256] = {};
        ::GetClassNameW(window, name, 128);
        ::GetWindowTextW(window, title, 256);
        if (owner == wanted) text += WideToUtf8(name) + " '" + WideToUtf8(title) + "' ";
        return TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    return "windows of the process: " + found.second;
}

// zerva.exe started without waiting for it, ended (if it still runs) when the object goes, so a
// failing test leaves no window-mode process behind.
class ZervaProcess {
public:
    ZervaProcess(const std::wstring& args, const proc::EnvList& env) {
        std::wstring block = ChildEnvironment(env);
        STARTUPINFOW startup{.cb = sizeof(startup)};
        std::wstring commandLine = L"\"" + ZervaExe() + L"\" " + args;
        PROCESS_INFORMATION info{};
        EXPECT_TRUE(::CreateProcessW(ZervaExe().c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                     CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info));
        m_process.Reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        m_pid = info.dwProcessId;
    }
    ~ZervaProcess() {
        if (m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(m_process.Get(), 99);
            ::WaitForSingleObject(m_process.Get(), 10000);
        }
    }
    ZervaProcess(const ZervaProcess&) = delete;
    ZervaProcess& operator=(const ZervaProcess&) = delete;
    // The exit code, or 0xFFFFFFFF when it did not end within `timeoutMs`.
    uint32_t Wait(uint32_t timeoutMs = 60000) {
        DWORD code = 0xFFFFFFFF;
        if (!m_process || ::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(m_process.Get(), &code))
            return 0xFFFFFFFF;
        return code;
    }
    uint32_t Pid() const { return m_pid; }

private:
    UniqueHandle m_process;
    uint32_t m_pid = 0;
};

// The closing status block: the last five lines, six with the url line; and the lines before it.
inline std::vector<std::string> Tail(const ZervaRun& run, size_t blockLines = 5) {
    return {run.lines.end() - std::min(blockLines, run.lines.size()), run.lines.end()};
}
inline std::vector<std::string> Head(const ZervaRun& run, size_t blockLines = 5) {
    return {run.lines.begin(), run.lines.end() - std::min(blockLines, run.lines.size())};
}
inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
// The block of a root without builds.
inline std::vector<std::string> EmptyBlock(const std::string& root) {
    return {"root     : " + root, "apache   : -  stopped", "php      : -", "database : -  stopped", "pma      : "};
}

// A scratch root that zerva.exe is pointed at with --root, stand-in builds on demand.
class AppTest : public controltest::ControlTest {
protected:
    ZervaRun Zerva(const std::wstring& args, const proc::EnvList& env = {}, const std::wstring& exe = ZervaExe(),
                   HANDLE job = nullptr) {
        return RunExe(exe, L"--root \"" + root.Path() + L"\" " + args, env, job);
    }
    // The block of the Apache, PHP and MariaDB stand-in builds.
    std::vector<std::string> Block(bool apacheRuns, bool dbRuns, const std::string& pma = "") {
        const auto state = [](bool runs) { return runs ? "  RUNNING" : "  stopped"; };
        return {"root     : " + root.Utf8(), "apache   : 2.4.58 (x64) [httpd-2.4.58]" + std::string(state(apacheRuns)),
                "php      : 8.3.14 (x64) [php-8.3.14]", "database : MariaDB 11.4.2 [mariadb-11.4.2]" + std::string(state(dbRuns)),
                "pma      : " + pma, Format("url      : http://localhost:%d/", webPort)};
    }
    void MakeStack() {
        MakeApache(webPort);
        MakePhp();
        MakeMariaDb(dbPort);
    }
    const int32_t webPort = testkit::UnusedPort(), dbPort = testkit::UnusedPort();
};

}  // namespace apptest

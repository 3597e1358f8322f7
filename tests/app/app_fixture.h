// tests/app/app_fixture.h: what the end-to-end tests of zerva.exe share: the real program run as
// a child with its standard output on a pipe read to the end, and a scratch root for it with
// stand-in builds (the server-control fixture, whose guard ends the root's stand-in servers).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Runs `exe` with the arguments and the variables of `env`; ZERVA_ROOT and ZERVA_ONLINE_BASE are
// not passed on unless `env` sets them. Fails the test unless every line ends in CR LF.
inline ZervaRun RunExe(const std::wstring& exe, const std::wstring& args, const proc::EnvList& env = {}) {
    ZervaRun run;
    const EnvironmentStrings own(::GetEnvironmentStringsW());
    proc::EnvList vars = proc::ParseEnvironmentBlock(own.Get());
    std::erase_if(vars, [](const auto& var) { return StartsWithIgnoreCase(WideToUtf8(var.first), "ZERVA_"); });
    std::wstring block = proc::BuildEnvironmentBlock(std::move(vars), env, L"");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    UniqueHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{.cb = sizeof(startup), .dwFlags = STARTF_USESTDHANDLES, .hStdOutput = writeEnd, .hStdError = writeEnd};
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          block.data(), nullptr, &startup, &info))
        return run;
    UniqueHandle process(info.hProcess), thread(info.hThread);
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
    ZervaRun Zerva(const std::wstring& args, const proc::EnvList& env = {}, const std::wstring& exe = ZervaExe()) {
        return RunExe(exe, L"--root \"" + root.Path() + L"\" " + args, env);
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

// tests/app/app_fixture.h: what the end-to-end tests of zerva.exe share: the real program run as
// a child with its standard output on a pipe read to the end, its environment of the test's
// choice, and a scratch root with stand-in builds (the server-control fixture, whose guard ends
// every stand-in server of the root however the test ends).
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
    std::string output;               // the bytes as written
    std::vector<std::string> lines;   // output cut at CR LF
    bool crlf = true;                 // every line ended in CR LF, no bare LF or CR
};

inline std::wstring ZervaExe() { return testkit::BinDir() + L"\\zerva.exe"; }

// Runs `exe` with the arguments; `env` sets variables and `unset` removes them (ZERVA_ROOT and
// ZERVA_ONLINE_BASE are always removed unless `env` sets them). At most `timeoutMs`.
inline ZervaRun RunExe(const std::wstring& exe, const std::wstring& args, const proc::EnvList& env = {},
                       uint32_t timeoutMs = 90000) {
    ZervaRun run;
    const EnvironmentStrings own(::GetEnvironmentStringsW());
    proc::EnvList vars;
    for (auto& var : proc::ParseEnvironmentBlock(own.Get()))
        if (_wcsicmp(var.first.c_str(), L"ZERVA_ROOT") != 0 && _wcsicmp(var.first.c_str(), L"ZERVA_ONLINE_BASE") != 0)
            vars.push_back(std::move(var));
    std::wstring block = proc::BuildEnvironmentBlock(std::move(vars), env, L"");

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    UniqueHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = nullptr;
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          block.data(), nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << WideToUtf8(exe);
        return run;
    }
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writer.Reset();  // the child holds the only write end: its end is our end of file
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(reader.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    EXPECT_EQ(::WaitForSingleObject(process.Get(), timeoutMs), WAIT_OBJECT_0);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.Get(), &code)) run.exitCode = code;

    size_t start = 0;
    while (start < run.output.size()) {
        const size_t end = run.output.find("\r\n", start);
        const std::string line = run.output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos || line.find_first_of("\r\n") != std::string::npos) run.crlf = false;
        run.lines.push_back(line);
        start = end == std::string::npos ? run.output.size() : end + 2;
    }
    return run;
}

// The five or six lines of the closing status block.
inline std::vector<std::string> StatusBlock(const std::string& root, const std::string& apache,
                                            const std::string& php, const std::string& database,
                                            const std::string& pma = "", const std::string& url = "") {
    std::vector<std::string> lines = {"root     : " + root, "apache   : " + apache, "php      : " + php,
                                      "database : " + database, "pma      : " + pma};
    if (!url.empty()) lines.push_back("url      : " + url);
    return lines;
}

inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The closing status block: the last five lines, six with the url line.
inline std::vector<std::string> Tail(const ZervaRun& run, size_t blockLines = 5) {
    return {run.lines.end() - std::min(blockLines, run.lines.size()), run.lines.end()};
}
// The lines before it.
inline std::vector<std::string> Head(const ZervaRun& run, size_t blockLines = 5) {
    return {run.lines.begin(), run.lines.end() - std::min(blockLines, run.lines.size())};
}

// A scratch root (with stand-in builds on demand) that zerva.exe is pointed at with --root.
class AppTest : public controltest::ControlTest {
protected:
    // zerva.exe --root <root> <args>
    ZervaRun Zerva(const std::wstring& args, const proc::EnvList& env = {}) {
        const ZervaRun run = RunExe(ZervaExe(), L"--root \"" + root.Path() + L"\" " + args, env);
        EXPECT_TRUE(run.crlf) << run.output;
        return run;
    }
};

}  // namespace apptest

// tests/support/testkit.h: what every test program shares: scratch folders that clean up
// after themselves, small file helpers, executable headers, waiting on a condition, the paths of
// the test stand-ins and a waiting stand-in.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/handle.h"

namespace testkit {

// A fresh, uniquely named folder under the temporary folder, removed with its content when the
// object goes away. Safe for tests running in parallel.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return m_path; }
    // Path + "\" + relative (forward slashes in `relative` are turned into backslashes).
    std::wstring operator/(std::wstring_view relative) const;
    std::string Utf8() const;

private:
    std::wstring m_path;
};

// Writes bytes, creating parent folders; fails the current test when it cannot.
void WriteFile(const std::wstring& path, std::string_view bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::wstring& path);


// Checks `condition` every few milliseconds until it holds (true) or `timeoutMs` passes (false):
// for states another thread or process reaches that give no event to wait on.
bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs = 30000);

// The folder of the running test program: the stand-ins are built beside it.
std::wstring BinDir();
// A stand-in program in BinDir, e.g. StandinPath(L"standin.exe").
std::wstring StandinPath(std::wstring_view fileName);
// A loopback port nobody listens on: bound once to learn a free number, then released.
uint16_t UnusedPort();
// The source tree, for tests that read the project's own sources.
std::wstring SourceDir();
// The .cpp and .h files under SourceDir() + "\\" + folder, sub-folders included; empty when
// the folder does not exist.
std::vector<std::wstring> SourceFiles(std::wstring_view folder);

// A loopback port that no other test takes while the lease lives. The numbers (20000-29999) lie
// below the ephemeral ranges of Windows and Linux, so no port-0 bind of a parallel test can land
// on one, and each number is claimed through a named object every test process sees. Use it where
// a test frees a port and then looks at it again: a port-0 number can be reused by anyone at once.
class PortLease {
public:
    PortLease();
    // 0 when no number of the range was free (the constructor then fails the test).
    uint16_t Port() const { return m_port; }

private:
    UniqueHandle m_claim;
    uint16_t m_port = 0;
};

// Starts a program of the Unix host through drive Z: (e.g. L"Z:\\bin\\ln") in `folder` and waits
// until `done` holds, at most `timeoutMs`; false (with `error` when it could not start) if not.
// Such a child gets no process handle nor our pipes under Wine: the folder's change notifications
// (watched from before the start, so none is missed) are the wake-up.
bool RunHostProgram(const std::wstring& folder, const std::wstring& program, std::wstring commandLine,
                    const std::function<bool()>& done, uint32_t timeoutMs, std::string* error = nullptr);

// A name for events and log tags that no other test process uses.
std::string UniqueName();

// The smallest executable PeArchitecture accepts: "MZ", the PE offset at 0x3C, "PE\0\0", the machine.
std::string PeImage(uint16_t machine, uint32_t peOffset = 0x40);
inline constexpr uint16_t kX86 = 0x14C;
inline constexpr uint16_t kArm64 = 0xAA64;

// A spawned stand-in that runs `steps` (their reports going to a file), signals ready and then
// waits up to a minute for its stop event; stopped when the object goes. Both events are ours from
// the start, so no signal can be lost.
class WaitingStandin {
public:
    explicit WaitingStandin(const std::wstring& steps = L"cwd");
    ~WaitingStandin() { Stop(); }
    WaitingStandin(const WaitingStandin&) = delete;
    WaitingStandin& operator=(const WaitingStandin&) = delete;
    // False when it ended before it got ready (a step failed) or took too long.
    bool WaitReady();
    void Stop();
    uint32_t Pid() const { return m_pid; }
    HANDLE Process() const { return m_process.Get(); }
    const std::wstring& StopEventName() const { return m_stop; }
    // The port of a "listen" step's report, or 0.
    uint16_t ListeningPort() const;

private:
    ScratchDir m_dir;
    std::wstring m_report = m_dir / L"report.txt";
    std::wstring m_ready, m_stop;
    UniqueHandle m_readyEvent, m_stopEvent, m_process;
    uint32_t m_pid = 0;
};

}  // namespace testkit

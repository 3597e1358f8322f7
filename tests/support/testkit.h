// tests/support/testkit.h: what every test program shares: self-removing scratch folders, file
// helpers, executable headers, waiting on a condition, port leases, the stand-ins' paths.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/handle.h"

namespace testkit {

// A fresh folder under Temp, unique across parallel tests, removed with its content at the end.
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

void WriteFile(const std::wstring& path, std::string_view bytes);   // parents made; fails the test if it cannot
std::string ReadFile(const std::wstring& path);   // the whole file, or "<missing>"

// Write handles that fail the two ways a full disk shows: `ReadOnly` (a file opened for reading,
// whose writes fail with an error code) and `Full` (the write end of a full pipe that does not
// wait, whose writes report success having written nothing, as a short write to a full disk does).
struct FailingWrites {
    explicit FailingWrites(const std::wstring& file);
    UniqueHandle ReadOnly();
    UniqueHandle Full();

private:
    std::wstring m_file;
    UniqueHandle m_pipeServer;  // never read: the pipe stays full
};

// Polls `condition` until it holds (true) or `timeoutMs` passes (false): for states with no event.
bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs = 30000);

std::wstring BinDir();   // the running test program's folder, where the stand-ins are built
std::wstring StandinPath(std::wstring_view fileName);   // e.g. StandinPath(L"standin.exe")
uint16_t UnusedPort();    // a loopback port nobody listens on: bound once to learn it, then released
std::wstring SourceDir();  // the source tree, for tests that read the project's own sources
// The .cpp and .h files under SourceDir() + "\\" + folder and its sub-folders (none if absent).
std::vector<std::wstring> SourceFiles(std::wstring_view folder);

// A loopback port no other test takes while the lease lives: 20000-29999 lie below the ephemeral
// ranges (no port-0 bind lands there) and each number is claimed by a named object every test
// process sees. For tests that free a port and look at it again (a port-0 number is reused at once).
class PortLease {
public:
    PortLease();
    // 0 when no number of the range was free (the constructor then fails the test).
    uint16_t Port() const { return m_port; }

private:
    UniqueHandle m_claim;
    uint16_t m_port = 0;
};

// Starts a Unix host program through drive Z: (e.g. L"Z:\\bin\\ln") in `folder`, waits at most
// `timeoutMs` for `done`; false (with `error` if it could not start) if not. Under Wine such a child
// gives no handle: the folder's change notifications, watched from before the start, wake us.
bool RunHostProgram(const std::wstring& folder, const std::wstring& program, std::wstring commandLine,
                    const std::function<bool()>& done, uint32_t timeoutMs, std::string* error = nullptr);

std::string UniqueName();   // for events and log tags no other test process uses

// Wine's own export: the Unix path of a Windows path; empty, with `error`, outside Wine or when
// the path has none.
std::string UnixPath(const std::wstring& windowsPath, std::string& error);

// `link` made a link to the folder `target` (absolute paths), removed with the object: a symbolic
// link where Windows allows one (developer mode), else a Unix link by the host's ln, which Wine
// resolves as Windows resolves a junction. The link's folder must outlive the object.
class DirectoryLink {
public:
    DirectoryLink(const std::wstring& link, const std::wstring& target);
    ~DirectoryLink();
    DirectoryLink(const DirectoryLink&) = delete;
    DirectoryLink& operator=(const DirectoryLink&) = delete;
    bool Made() const { return m_made; }   // false when this system makes no directory links
    const std::wstring& Path() const { return m_link; }

private:
    std::wstring m_link, m_name;
    bool m_made = false;
};

// The smallest executable PeArchitecture accepts: "MZ", the PE offset at 0x3C, "PE\0\0", the machine.
std::string PeImage(uint16_t machine, uint32_t peOffset = 0x40);
inline constexpr uint16_t kX86 = 0x14C;
inline constexpr uint16_t kArm64 = 0xAA64;

// A spawned stand-in that runs `steps` (reports to a file), signals ready, then waits up to a minute
// for its stop event; stopped when the object goes. Both events are ours from the start: none is lost.
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

// core/proc.h: the one way Zerva starts other programs: hidden, with standard output and error
// captured through a pipe, a built environment block and an explicit inheritance list.
// Run blocks its (worker) caller and holds the child's whole tree in a job object until it ends;
// Spawn leaves one detached reader thread per child that writes to the console log, and never
// ties the child to anything of ours: it leaves a job Zerva runs in where the job allows it. Also:
// visible consoles, stop events, forced ends and liveness checks.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/log.h"

namespace proc {

// Environment variables as (name, value) pairs, in block order.
using EnvList = std::vector<std::pair<std::wstring, std::wstring>>;

struct SpawnOptions {
    std::wstring exe;            // full path of the program
    std::wstring args;           // passed as it stands after the quoted program path
    std::wstring workDir;        // empty: the folder of exe
    std::wstring pathPrepend;    // folders joined with ";" to put in front of PATH; empty: PATH unchanged
    EnvList env;                 // variables to set or replace (names case-insensitive)
    ConsoleSource logSource = 0; // Spawn only: source of the logged output lines
    bool logOutput = true;       // Spawn only: log output lines at all
    // Spawn only: when set, only lines it returns true for are logged. Runs on the reader thread.
    std::function<bool(const std::string&)> lineFilter;
};

struct RunResult {
    bool started = false;           // the process was created
    bool timedOut = false;          // the time-out expired and the process was terminated
    uint32_t exitCode = 0xFFFFFFFF; // 0xFFFFFFFF until known
    std::string output;             // every line followed by LF; stdout and stderr interleaved
    std::string error;              // why it could not be started
};

// A started process held by an owned handle: it tells whether this very process still runs,
// however soon the system hands its id to another one. Any thread; moved, never copied.
class Process {
public:
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    ~Process();
    uint32_t Pid() const { return m_pid; }  // 0 for none
    // False once the process has ended, and for none.
    bool IsRunning() const;

private:
    friend Process SpawnProcess(const SpawnOptions& options, std::string* error);
    Process(void* handle, uint32_t pid) : m_handle(handle), m_pid(pid) {}  // takes over the HANDLE
    void* m_handle = nullptr;
    uint32_t m_pid = 0;
};

// Runs the program to its end, at most timeoutMs; after that the child and every process it
// started are terminated with exit code 1. A child that ends by itself leaves what it started
// running. Also returns, a little after the child ended, when a grandchild still holds the
// output pipe.
RunResult Run(SpawnOptions options, uint32_t timeoutMs);
// Starts a long-running program and logs its output lines; returns it, or none with the reason
// in *error (when given). The child outlives Zerva: started outside the job Zerva runs in when the
// job allows it (else inside, where closing the job ends it).
Process SpawnProcess(const SpawnOptions& options, std::string* error);
// The same, keeping only the process id (0 when it could not be started).
uint32_t Spawn(const SpawnOptions& options, std::string* error);
// The environment block a child gets: Zerva's own with `overrides` and `pathPrepend` applied
// (BuildEnvironmentBlock).
std::wstring CurrentEnvironmentBlock(const EnvList& overrides, std::wstring_view pathPrepend);

// ---- Pure pieces, exposed for their tests ----
// The entries of a block of NUL-terminated "name=value" strings ending with an empty one. The
// name ends at the first "=" after its first character, so "=C:=C:\x" is kept; entries
// without such a "=" are skipped.
EnvList ParseEnvironmentBlock(const wchar_t* block);
// Applies `overrides` (replacing case-insensitively, keeping the existing spelling), puts
// `pathPrepend` and ";" in front of PATH when it is not empty, sorts by name ignoring case and
// returns the block, ending with two NULs. Names that are empty or hold "=" are ignored.
std::wstring BuildEnvironmentBlock(EnvList vars, const EnvList& overrides, std::wstring_view pathPrepend);
// True only for strictly valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// A line of child output as UTF-8: kept when valid UTF-8, else read in `codePage` (0: the OEM
// code page of the system).
std::string DecodeOutputLine(std::string_view bytes, unsigned codePage = 0);

// Cuts a byte stream into lines at LF, dropping a CR just before it; chunks may split anywhere.
class LineSplitter {
public:
    using Sink = std::function<void(std::string)>;
    explicit LineSplitter(Sink sink) : m_sink(std::move(sink)) {}
    void Feed(std::string_view bytes);
    // Hands over an unterminated, non-empty remainder as a last line.
    void Finish();

private:
    void Emit(std::string_view line);
    Sink m_sink;
    std::string m_pending;
};

}  // namespace proc

// Starts `exe` in a new visible console with `pathPrepend` in front of PATH; the working folder
// is `workDir`, or Zerva's own when empty. Nothing is inherited; returns whether it started.
[[nodiscard]] bool LaunchInConsole(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
                     const std::wstring& pathPrepend);
// Sets an existing named event (servers watch one to stop cleanly); false when it does not exist.
[[nodiscard]] bool SignalNamedEvent(const std::wstring& name);
// Terminates the process with exit code 0 and waits up to 3 s for it; false when it cannot be
// opened or terminated. With `image`, the path a process list gave for it, only a process of that
// image is ended: a listed process may have ended since, and its id gone to another program.
[[nodiscard]] bool KillPid(uint32_t pid, std::string_view image = {});
// True only when the process can be opened and has not ended; pid 0 is never running. An id says
// nothing of a process of ours once it ended (the system hands it out again): judge those by
// their proc::Process.
bool IsPidRunning(uint32_t pid);
// Test seam: answers IsPidRunning in its place (null: the system), so a test can play an ended
// process whose id another one has taken.
void SetPidRunningForTest(bool (*answer)(uint32_t pid));

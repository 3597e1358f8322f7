// core/proc.cpp: child processes: environment blocks, output decoding and splitting, the output
// pump, process creation with an inheritance list, Run, Spawn and the small process helpers.
//
// ---- Sections ----
// Environment block      ParseEnvironmentBlock, BuildEnvironmentBlock
// Output lines           IsValidUtf8, DecodeOutputLine, LineSplitter
// Starting a child       CreateOutputPipe, AttributeList, CreateHidden, StartChild, PumpOutput
// Run and Spawn          proc::Process, proc::Run, proc::SpawnProcess, proc::Spawn
// Other processes        LaunchInConsole, SignalNamedEvent, KillPid, IsPidRunning
#include "core/proc.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cwchar>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "core/detached.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/probes.h"
#include "core/text.h"

namespace proc {

// ---- Environment block ----

EnvList ParseEnvironmentBlock(const wchar_t* block) {
    EnvList vars;
    for (const wchar_t* p = block; p && *p; p += std::wcslen(p) + 1) {
        const std::wstring_view entry(p);
        // Searching from the second character keeps the per-drive entries ("=C:=C:\dir").
        const size_t equals = entry.find(L'=', 1);
        if (equals == std::wstring_view::npos) continue;
        vars.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
    }
    return vars;
}

namespace {

bool SameName(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

void SetVariable(EnvList& vars, const std::wstring& name, const std::wstring& value) {
    for (auto& var : vars) {
        if (SameName(var.first, name)) {
            var.second = value;  // the existing spelling of the name stays
            return;
        }
    }
    vars.emplace_back(name, value);
}

}  // namespace

std::wstring BuildEnvironmentBlock(EnvList vars, const EnvList& overrides, std::wstring_view pathPrepend) {
    for (const auto& [name, value] : overrides) {
        // Such a name would turn into another variable, or cut the block short.
        if (name.empty() || name.find(L'=') != std::wstring::npos || name.find(L'\0') != std::wstring::npos)
            continue;
        SetVariable(vars, name, value);
    }
    if (!pathPrepend.empty()) {
        std::wstring oldPath;
        for (const auto& var : vars)
            if (SameName(var.first, L"PATH")) oldPath = var.second;
        SetVariable(vars, L"PATH", std::wstring(pathPrepend) + L";" + oldPath);
    }
    // Windows expects the block sorted by name, ignoring case.
    std::stable_sort(vars.begin(), vars.end(), [](const auto& a, const auto& b) {
        return _wcsicmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    std::wstring block;
    for (const auto& [name, value] : vars) {
        block += name;
        block += L'=';
        block += value;
        block += L'\0';
    }
    // An empty block is still two NULs.
    if (block.empty()) block += L'\0';
    block += L'\0';
    return block;
}

// ---- Output lines ----

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;   // overlong
            if (b == 0xED) high = 0x9F;  // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;   // overlong
            if (b == 0xF4) high = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) return false;
        for (size_t k = 2; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < 0x80 || next > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

std::string DecodeOutputLine(std::string_view bytes, unsigned codePage) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    const UINT page = codePage ? codePage : CP_OEMCP;
    const int n = ::MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0) return WideToUtf8(Utf8ToWide(bytes));  // unknown code page: replacement characters
    std::wstring wide(size_t(n), L'\0');
    ::MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()), wide.data(), n);
    return WideToUtf8(wide);
}

void LineSplitter::Emit(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_sink(DecodeOutputLine(line));
}

void LineSplitter::Feed(std::string_view bytes) {
    m_pending.append(bytes);
    size_t start = 0;
    for (size_t lf; (lf = m_pending.find('\n', start)) != std::string::npos; start = lf + 1)
        Emit(std::string_view(m_pending).substr(start, lf - start));
    m_pending.erase(0, start);
}

void LineSplitter::Finish() {
    if (!m_pending.empty()) m_sink(DecodeOutputLine(m_pending));
    m_pending.clear();
}

// ---- Starting a child ----

namespace {

constexpr DWORD kReadChunk = 4096;
constexpr DWORD kCreationFlags =
    CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP;
// How long Run waits for the last output once the child has ended before it stops reading.
constexpr DWORD kReaderGraceMs = 2000;

// Held from the pipe's creation until our copy of its write end is closed, so a child started
// by another thread at the same moment can never pick up this pipe.
std::mutex g_startMutex;

struct Child {
    UniqueHandle process;
    UniqueHandle thread;
    UniqueHandle readEnd;
    DWORD pid = 0;
};

// A pipe whose read end is overlapped (ours: a read can then be abandoned even while a
// grandchild keeps the write end open) and whose write end is a plain inheritable handle, as
// children expect of their standard output. Returns 0 or the error code.
DWORD CreateOutputPipe(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"\\\\.\\pipe\\zerva-output-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial) + L"-" + std::to_wstring(::GetTickCount64());
    // First instance only and a single instance: nobody else can own or join this pipe.
    readEnd.Reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                     1, kReadChunk, kReadChunk, 0, nullptr));
    if (!readEnd) return ::GetLastError();
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    writeEnd.Reset(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writeEnd) return ::GetLastError();
    return 0;
}

// PROC_THREAD_ATTRIBUTE_HANDLE_LIST: the child inherits these handles and nothing else of ours.
class AttributeList {
public:
    explicit AttributeList(std::vector<HANDLE> handles) : m_handles(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            m_error = ::GetLastError();
            return;
        }
        m_list = list;
        if (!::UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                         m_handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
            m_error = ::GetLastError();
        }
    }
    ~AttributeList() {
        if (m_list) ::DeleteProcThreadAttributeList(m_list);
    }
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;
    // 0 when the list is ready.
    DWORD Error() const { return m_error; }
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;  // must outlive the list, which points into it
    std::vector<char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
    DWORD m_error = 0;
};

bool InAJob() {
    BOOL inJob = FALSE;
    return ::IsProcessInJob(::GetCurrentProcess(), nullptr, &inJob) && inJob;
}

// CreateProcessW with the hidden start-up of `si`; with `leaveJob`, outside the job Zerva runs in
// where that job allows it. A server must outlive the panel, also when the tool that started the
// panel holds its children in a job that ends them when it closes. A job that allows no breakaway
// (or one it is nested in) refuses with access denied: the child then starts inside it, as it would
// without the flag. Outside any job the flag is not tried at all.
bool CreateHidden(const SpawnOptions& options, std::wstring& commandLine, std::wstring& environment,
                  const std::wstring& workDir, STARTUPINFOEXW& si, DWORD flags, bool leaveJob, PROCESS_INFORMATION& pi) {
    const auto create = [&](DWORD creationFlags) {
        return ::CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, creationFlags,
                                environment.data(), workDir.empty() ? nullptr : workDir.c_str(), &si.StartupInfo, &pi) != FALSE;
    };
    if (leaveJob && InAJob()) {
        if (create(flags | CREATE_BREAKAWAY_FROM_JOB)) return true;
        if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
    }
    return create(flags);
}

// `extraFlags` joins the creation flags (CREATE_SUSPENDED for a child that joins a job first);
// `leaveJob`: see CreateHidden.
std::optional<Child> StartChild(const SpawnOptions& options, std::string& error, DWORD extraFlags = 0,
                                bool leaveJob = false) {
    std::wstring environment = CurrentEnvironmentBlock(options.env, options.pathPrepend);
    std::wstring commandLine = L"\"" + options.exe + L"\"";
    if (!options.args.empty()) commandLine += L" " + options.args;
    const std::wstring workDir = options.workDir.empty() ? ParentFolder(options.exe) : options.workDir;

    // Declared before the handles, so it is released only after they are closed.
    std::lock_guard lock(g_startMutex);
    UniqueHandle readEnd, writeEnd;
    if (const DWORD code = CreateOutputPipe(readEnd, writeEnd)) {
        error = LastErrorText(code);
        return std::nullopt;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   OPEN_EXISTING, 0, nullptr));
    std::vector<HANDLE> inherited{writeEnd.Get()};
    if (nul) inherited.push_back(nul.Get());
    AttributeList attributes(inherited);
    if (const DWORD code = attributes.Error()) {
        error = LastErrorText(code);  // never fall back to inheriting everything
        return std::nullopt;
    }

    STARTUPINFOEXW si = {};
    si.StartupInfo.cb = sizeof(si);
    si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdInput = nul.Get();
    si.StartupInfo.hStdOutput = writeEnd.Get();
    si.StartupInfo.hStdError = writeEnd.Get();
    si.lpAttributeList = attributes.Get();
    PROCESS_INFORMATION pi = {};
    if (!CreateHidden(options, commandLine, environment, workDir, si, kCreationFlags | extraFlags, leaveJob, pi)) {
        error = LastErrorText(::GetLastError(), options.exe);
        return std::nullopt;
    }
    Child child;
    child.process.Reset(pi.hProcess);
    child.thread.Reset(pi.hThread);
    child.readEnd = std::move(readEnd);
    child.pid = pi.dwProcessId;
    return child;
}

bool IsSet(HANDLE event) { return event && ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// Reads the pipe until every writer has closed it, or until `cancel` (may be null) is set, and
// hands each line to `sink`. A zero-byte read is a zero-byte write of a child, not the end.
void PumpOutput(HANDLE pipe, HANDLE cancel, LineSplitter::Sink sink) {
    LineSplitter splitter(std::move(sink));
    UniqueHandle readDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<char> buffer(kReadChunk);
    // Checking `cancel` first each time: a grandchild that writes without pause must not keep
    // a cancelled reader going.
    while (readDone && !IsSet(cancel)) {
        OVERLAPPED ov = {};
        ov.hEvent = readDone.Get();
        if (!::ReadFile(pipe, buffer.data(), kReadChunk, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING)
            break;
        const HANDLE waits[2] = {readDone.Get(), cancel};
        DWORD got = 0;
        if (::WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe, &ov);
            // The buffer belongs to the read until it has completed; keep what it brought.
            if (::GetOverlappedResult(pipe, &ov, &got, TRUE)) splitter.Feed(std::string_view(buffer.data(), got));
            break;
        }
        if (!::GetOverlappedResult(pipe, &ov, &got, FALSE)) break;  // broken pipe: all writers gone
        splitter.Feed(std::string_view(buffer.data(), got));
    }
    splitter.Finish();
}

}  // namespace

std::wstring CurrentEnvironmentBlock(const EnvList& overrides, std::wstring_view pathPrepend) {
    const EnvironmentStrings own(::GetEnvironmentStringsW());
    EnvList vars = ParseEnvironmentBlock(own.Get());
    return BuildEnvironmentBlock(std::move(vars), overrides, pathPrepend);
}

// ---- Run and Spawn ----

Process::Process(Process&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_pid(std::exchange(other.m_pid, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        if (m_handle) ::CloseHandle(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
        m_pid = std::exchange(other.m_pid, 0);
    }
    return *this;
}

Process::~Process() {
    if (m_handle) ::CloseHandle(m_handle);
}

bool Process::IsRunning() const { return m_handle && ::WaitForSingleObject(m_handle, 0) == WAIT_TIMEOUT; }

namespace {

constexpr char kThreadRefused[] = "cannot start a thread";

// Puts a suspended child into a new job and lets it run, so whatever it starts joins the job
// too. The job is made without "kill on close": closing it ends nobody. None (the child still
// runs) when the system refuses, for instance a job of ours that allows no nested one.
UniqueHandle RunInJob(const Child& child) {
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (job && !::AssignProcessToJobObject(job.Get(), child.process.Get())) job.Reset();
    ::ResumeThread(child.thread.Get());
    return job;
}

// Ends the child and, through its job when it has one, everything it started.
void EndTree(HANDLE job, HANDLE process) {
    if (!job || !::TerminateJobObject(job, 1)) ::TerminateProcess(process, 1);
}

}  // namespace

RunResult Run(SpawnOptions options, uint32_t timeoutMs) {
    RunResult result;
    UniqueHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle pumped(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!cancel || !pumped) {
        result.error = LastErrorText();
        return result;
    }
    std::optional<Child> child = StartChild(options, result.error, CREATE_SUSPENDED);
    if (!child) return result;
    const UniqueHandle job = RunInJob(*child);
    child->thread.Reset();
    const HANDLE process = child->process.Get();

    std::string output;
    std::thread reader;
    const bool reading = StartJoinable(reader, [&] {
        PumpOutput(child->readEnd.Get(), cancel.Get(), [&output](std::string line) {
            output += line;
            output += '\n';
        });
        ::SetEvent(pumped.Get());
    });
    if (!reading) {
        // Unread, the child would block on a full pipe until its time-out: end it now.
        EndTree(job.Get(), process);
        ::WaitForSingleObject(process, 2000);
        result.error = kThreadRefused;
        return result;
    }
    result.started = true;

    if (::WaitForSingleObject(process, timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        EndTree(job.Get(), process);
        ::WaitForSingleObject(process, 2000);
    }
    DWORD code = 0;
    // A process that survived termination has no exit code yet (GetExitCodeProcess says 259).
    if (IsSet(process) && ::GetExitCodeProcess(process, &code)) result.exitCode = code;
    child->process.Reset();

    // The pipe ends only when the child's own children have let go of it too; one that
    // inherited it and lives on must not hold the caller here.
    if (::WaitForSingleObject(pumped.Get(), kReaderGraceMs) != WAIT_OBJECT_0) ::SetEvent(cancel.Get());
    reader.join();
    result.output = std::move(output);
    return result;
}

Process SpawnProcess(const SpawnOptions& options, std::string* error) {
    std::string why;
    std::optional<Child> child = StartChild(options, why, 0, true);
    if (!child) {
        if (error) *error = why;
        return {};
    }
    child->thread.Reset();
    // Shared, because the thread's work must be copyable; the reader is its only user.
    auto pipe = std::make_shared<UniqueHandle>(std::move(child->readEnd));
    const bool reading = StartDetached([pipe, source = options.logSource, logOutput = options.logOutput,
                                        filter = options.lineFilter] {
        // Logging off still drains the pipe, so the child never blocks on a full one.
        PumpOutput(pipe->Get(), nullptr, [&](std::string line) {
            if (!logOutput || Trim(line).empty()) return;
            // Nothing may escape this detached thread: it would end Zerva. The line is dropped.
            try {
                if (filter && !filter(line)) return;
                const LogLevel lineLevel = LineLevel(line);
                LogBuffer::Instance().Append(source, lineLevel, std::move(line));
            } catch (const std::exception& e) {
                LogError(console::kZerva, std::string("internal error: ") + e.what());
            }
        });
    });
    if (!reading) {
        // A server whose output nobody reads would stop at the first full pipe: not started.
        ::TerminateProcess(child->process.Get(), 1);
        if (error) *error = kThreadRefused;
        return {};
    }
    return Process(child->process.Release(), child->pid);
}

uint32_t Spawn(const SpawnOptions& options, std::string* error) { return SpawnProcess(options, error).Pid(); }

}  // namespace proc

// ---- Other processes ----

bool LaunchInConsole(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir,
                     const std::wstring& pathPrepend) {
    std::wstring environment = proc::CurrentEnvironmentBlock({}, pathPrepend);
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
        return false;
    }
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    return true;
}

bool SignalNamedEvent(const std::wstring& name) {
    UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    return event && ::SetEvent(event.Get());
}

bool KillPid(uint32_t pid, std::string_view image) {
    UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return false;
    // Judged on the handle that is ended, so the id cannot change hands in between.
    if (!image.empty() && !EqualsIgnoreCase(ProcessImagePath(process.Get()), image)) return false;
    const bool ended = ::TerminateProcess(process.Get(), 0) != 0;
    ::WaitForSingleObject(process.Get(), 3000);
    return ended;
}

namespace {
std::atomic<bool (*)(uint32_t)> g_pidRunning{nullptr};
}  // namespace

void SetPidRunningForTest(bool (*answer)(uint32_t pid)) { g_pidRunning = answer; }

bool IsPidRunning(uint32_t pid) {
    if (auto answer = g_pidRunning.load()) return answer(pid);
    if (pid == 0) return false;  // the idle process, never one of ours
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

#include "tests/support/testkit.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

#include "core/files.h"
#include "core/probes.h"
#include "core/proc.h"
#include "core/text.h"

namespace testkit {

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, n);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    // Process id, a per-process counter and random letters: unique across parallel test processes.
    m_path = base + L"\\zerva-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(counter++) + L"-" + Utf8ToWide(RandomAlnum(6));
    if (!EnsureDirectory(m_path)) ADD_FAILURE() << "cannot create scratch folder " << Utf8();
}

ScratchDir::~ScratchDir() { (void)RemoveTree(m_path); }  // a leftover folder in Temp fails no test

std::wstring ScratchDir::operator/(std::wstring_view relative) const {
    std::wstring rel(relative);
    std::replace(rel.begin(), rel.end(), L'/', L'\\');
    return m_path + L"\\" + rel;
}

std::string ScratchDir::Utf8() const { return WideToUtf8(m_path); }

void WriteFile(const std::wstring& path, std::string_view bytes) {
    if (!WriteFileAtomic(path, bytes)) ADD_FAILURE() << "cannot write " << WideToUtf8(path);
}

std::string ReadFile(const std::wstring& path) { return ReadWholeFile(path).value_or("<missing>"); }

FailingWrites::FailingWrites(const std::wstring& file) : m_file(file) {}

UniqueHandle FailingWrites::ReadOnly() {
    WriteFile(m_file, "");
    return UniqueHandle(::CreateFileW(m_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

UniqueHandle FailingWrites::Full() {
    const std::wstring name = L"\\\\.\\pipe\\" + Utf8ToWide(UniqueName());
    m_pipeServer.Reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_NOWAIT,
                                          1, 1, 1, 0, nullptr));
    UniqueHandle client(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    if (!client || !::SetNamedPipeHandleState(client.Get(), &mode, nullptr, nullptr)) return {};
    // Filled until a write takes nothing more.
    const std::string block(65536, 'x');
    for (DWORD done = 1; done > 0;)
        if (!::WriteFile(client.Get(), block.data(), DWORD(block.size()), &done, nullptr)) return {};
    return client;
}

bool WaitFor(const std::function<bool()>& condition, unsigned timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(10);
    }
}

std::wstring BinDir() { return Utf8ToWide(ExeDirectory()); }
std::wstring StandinPath(std::wstring_view fileName) { return BinDir() + L"\\" + std::wstring(fileName); }

uint16_t UnusedPort() {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

std::wstring SourceDir() { return Utf8ToWide(ZERVA_SOURCE_DIR_WIN); }

bool RunHostProgram(const std::wstring& folder, const std::wstring& program, std::wstring commandLine,
                    const std::function<bool()>& done, uint32_t timeoutMs, std::string* error) {
    std::unique_ptr<void, decltype(&::FindCloseChangeNotification)> change(
        ::FindFirstChangeNotificationW(folder.c_str(), TRUE,
                                       FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE),
        &::FindCloseChangeNotification);
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (change.get() == INVALID_HANDLE_VALUE) {
        change.release();
        if (error) *error = "cannot watch " + WideToUtf8(folder) + ": " + LastErrorText();
        return false;
    }
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          folder.c_str(), &startup, &process)) {
        if (error) *error = "cannot start " + WideToUtf8(program) + ": " + LastErrorText();
        return false;
    }
    // Wine gives a Unix program no process handle, and a thread "handle" that is no handle of ours:
    // closing it closed whichever handle of this process had the same number (a fixture server's
    // lifeline, which then stopped that server). Both are owned only when the process came with them.
    UniqueHandle ownedProcess(process.hProcess), ownedThread(process.hProcess ? process.hThread : nullptr);
    for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;;) {
        if (done()) return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return false;
        // The cap only guards against a missed notification.
        ::WaitForSingleObject(change.get(), DWORD(std::min<ULONGLONG>(deadline - now, 200)));
        ::FindNextChangeNotification(change.get());
    }
}

std::string UnixPath(const std::wstring& windowsPath, std::string& error) {
    const auto fn = reinterpret_cast<char*(__cdecl*)(const wchar_t*)>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) {
        error = "needs Wine (no wine_get_unix_file_name)";
        return {};
    }
    char* unixPath = fn(windowsPath.c_str());
    if (!unixPath) error = "no Unix path for " + WideToUtf8(windowsPath);
    const std::string result = unixPath ? unixPath : "";
    if (unixPath) ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

DirectoryLink::DirectoryLink(const std::wstring& link, const std::wstring& target)
    : m_link(link), m_name(link.substr(link.find_last_of(L'\\') + 1)) {
    // Wine reports success without making a link: only the folder it shows counts.
    ::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    std::string error;
    const std::string unixTarget = IsDirectory(link) ? "" : UnixPath(target, error);
    if (!unixTarget.empty())
        RunHostProgram(ParentFolder(link), L"Z:\\bin\\ln", L"ln -s \"" + Utf8ToWide(unixTarget) + L"\" \"" + m_name + L"\"",
                       [&] { return IsDirectory(link); }, 10000);
    m_made = IsDirectory(link);
}

DirectoryLink::~DirectoryLink() {
    // Wine cannot remove a Unix link; left behind, it would outlive the folder it is in.
    if (m_made && PathExists(m_link) && !::RemoveDirectoryW(m_link.c_str()))
        RunHostProgram(ParentFolder(m_link), L"Z:\\bin\\rm", L"rm -f \"" + m_name + L"\"",
                       [&] { return !PathExists(m_link); }, 10000);
}

std::string UniqueName() {
    static std::atomic<unsigned> counter{0};
    return Format("zt%lu-%u-%s", ::GetCurrentProcessId(), ++counter, RandomAlnum(6).c_str());
}

std::string PeImage(uint16_t machine, uint32_t peOffset) {
    std::string bytes(peOffset + 6, '\0');
    bytes.replace(0, 2, "MZ");
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = char((peOffset >> (8 * i)) & 0xFF);
    bytes.replace(peOffset, 2, "PE");
    bytes[peOffset + 4] = char(machine & 0xFF), bytes[peOffset + 5] = char(machine >> 8);
    return bytes;
}

WaitingStandin::WaitingStandin(const std::wstring& steps)
    : m_ready(Utf8ToWide(UniqueName())), m_stop(Utf8ToWide(UniqueName())),
      m_readyEvent(::CreateEventW(nullptr, TRUE, FALSE, m_ready.c_str())),
      m_stopEvent(::CreateEventW(nullptr, TRUE, FALSE, m_stop.c_str())) {
    m_pid = proc::Spawn({.exe = StandinPath(L"standin.exe"),
                         .args = L"out \"" + m_report + L"\" + " + steps + L" + signal " + m_ready + L" + wait-event " +
                                 m_stop + L" 60000",
                         .logOutput = false},
                        nullptr);
    m_process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, m_pid));
}

bool WaitingStandin::WaitReady() {
    const HANDLE waits[2] = {m_readyEvent.Get(), m_process.Get()};
    return m_process && ::WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
}

void WaitingStandin::Stop() {
    if (m_process && ::SetEvent(m_stopEvent.Get())) ::WaitForSingleObject(m_process.Get(), 20000);
}

uint16_t WaitingStandin::ListeningPort() const {
    unsigned port = 0;
    std::sscanf(ReadFile(m_report).c_str(), "listening %u", &port);
    return uint16_t(port);
}

static void CollectSources(const std::wstring& folder, std::vector<std::wstring>& out) {
    for (const char* pattern : {"*.cpp", "*.h"})
        for (const auto& name : ListFiles(folder, pattern)) out.push_back(folder + L"\\" + Utf8ToWide(name));
    for (const auto& sub : ListSubdirectories(folder)) CollectSources(folder + L"\\" + Utf8ToWide(sub), out);
}

std::vector<std::wstring> SourceFiles(std::wstring_view folder) {
    std::vector<std::wstring> files;
    CollectSources(SourceDir() + L"\\" + std::wstring(folder), files);
    return files;
}

PortLease::PortLease() {
    constexpr unsigned kFirst = 20000, kCount = 10000;
    // Start where this process's id and the clock point, so parallel test programs rarely probe the
    // same numbers. The claims are seen only within one Wine session, and the process ids of two
    // sessions side by side (several suites on one machine) follow the same sequence.
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    const unsigned start = unsigned((::GetCurrentProcessId() / 4 * 61 + uint64_t(now.QuadPart)) % kCount);
    for (unsigned i = 0; i < kCount; ++i) {
        const auto port = uint16_t(kFirst + (start + i) % kCount);
        UniqueHandle claim(::CreateMutexW(nullptr, FALSE, (L"zerva-test-port-" + std::to_wstring(port)).c_str()));
        if (!claim || ::GetLastError() == ERROR_ALREADY_EXISTS || !IsPortFree(port)) continue;
        m_claim = std::move(claim);
        m_port = port;
        return;
    }
    ADD_FAILURE() << "no free test port in " << kFirst << "-" << kFirst + kCount - 1;
}

}  // namespace testkit

// tools/standin/standin.cpp: the test stand-in program. Each step does one thing that Zerva
// relies on of a real server or tool, so tests can drive it through Zerva's own code.
// Usage: standin.exe <step> [args] [+ <step> [args]]...   (steps are listed in Usage()).
// A copy whose file name is a step name (httpd.exe runs "httpd") hands all its arguments to it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <string>
#include <vector>

#include "tools/standin/apache_roles.h"
#include "tools/standin/database_roles.h"
#include "tools/standin/standin.h"

namespace standin {

HANDLE g_out = nullptr;
Args g_all;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// WriteFile rather than stdio: no buffering and no newline translation, so bytes and their
// order reach the pipe exactly as the tests expect.
void WriteBytes(HANDLE target, const std::string& bytes) {
    DWORD written = 0;
    if (target && target != INVALID_HANDLE_VALUE)
        ::WriteFile(target, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

void Report(const std::string& line) { WriteBytes(g_out, line + "\r\n"); }

unsigned long Number(const std::wstring& text) { return std::wcstoul(text.c_str(), nullptr, 0); }

bool ReadText(const std::wstring& path, std::string& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    ::CloseHandle(file);
    return true;
}

// Written beside the target and moved over it, so a test that waits for the file never reads
// half of it.
bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = path + L".part";
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    WriteBytes(file, bytes);
    ::CloseHandle(file);
    // Wine refuses to replace a file while anyone has it open, even with delete sharing, and a
    // test polls these files: retry for a while rather than lose the record.
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        ::Sleep(10);
    }
    return false;
}

// Sockets of listeners stay open until the process ends.
std::vector<SOCKET> g_listeners;

unsigned ListenTcp(const std::wstring& address, unsigned port) {
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
    sockaddr_storage storage = {};
    int length = 0;
    auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    const bool v6 = address.find(L':') != std::wstring::npos;
    if (v6) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(u_short(port));
        length = sizeof(sockaddr_in6);
        if (::InetPtonW(AF_INET6, address.c_str(), &in6->sin6_addr) != 1) return 0;
    } else {
        in4->sin_family = AF_INET;
        in4->sin_port = htons(u_short(port));
        length = sizeof(sockaddr_in);
        if (::InetPtonW(AF_INET, address.c_str(), &in4->sin_addr) != 1) return 0;
    }
    SOCKET s = ::socket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    if (v6) {
        DWORD on = 1;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof(on));
    }
    if (::bind(s, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(s, 16) != 0) {
        Report("cannot listen: error " + std::to_string(::WSAGetLastError()));
        ::closesocket(s);
        return 0;
    }
    ::getsockname(s, reinterpret_cast<sockaddr*>(&storage), &length);
    g_listeners.push_back(s);
    return ntohs(v6 ? in6->sin6_port : in4->sin_port);
}

void CloseListeners() {
    for (SOCKET s : g_listeners) ::closesocket(s);
    g_listeners.clear();
}

}  // namespace standin

namespace {

using namespace standin;

int Usage() {
    std::fputs(
        "usage: standin <step> [args] [+ <step> [args]]...\n"
        "  print <text>...          each text and CR LF on standard output\n"
        "  eprint <text>...         each text and CR LF on standard error\n"
        "  hex <bytes>...           raw bytes given as hex digits (\"610d0a\")\n"
        "  repeat <count> <text>    the text and CR LF, count times\n"
        "  sleep <ms>               wait\n"
        "  exit <code>              end now with the code\n"
        "  env | cwd | cmdline      print the environment, working folder or command line\n"
        "  out <file>               later reports go to the file instead\n"
        "  record <file>            write all arguments to the file, one per line\n"
        "  listen <port> [v4|v6]    listen on loopback (port 0: any), print \"listening <port>\"\n"
        "  hold <file>              open the file without sharing until the program ends\n"
        "  signal <name>            set the named event, creating it when missing\n"
        "  wait-event <name> [ms]   create the named event, print \"waiting <name>\", wait for it\n"
        "                           (exit 124 when the time passes first)\n"
        "  grandchild <ms> [file]   start a copy that sleeps holding our output (and the file),\n"
        "                           print its pid once it holds the file\n"
        "  handle <value>           set the event of that inherited handle value, print the result\n"
        "  zerva ...                the restarted Zerva: command line, working folder and process id\n"
        "                           to zerva-restart.txt beside the program\n",
        stderr);
    return 64;
}

int Print(const Args& a) {
    for (const auto& text : a) Report(ToUtf8(text));
    return 0;
}

int EPrint(const Args& a) {
    for (const auto& text : a) WriteBytes(::GetStdHandle(STD_ERROR_HANDLE), ToUtf8(text) + "\r\n");
    return 0;
}

int Hex(const Args& a) {
    std::string bytes;
    for (const auto& text : a)
        for (size_t i = 0; i + 1 < text.size(); i += 2)
            bytes += char(std::wcstoul(text.substr(i, 2).c_str(), nullptr, 16));
    WriteBytes(g_out, bytes);
    return 0;
}

int Repeat(const Args& a) {
    if (a.size() < 2) return Usage();
    const std::string line = ToUtf8(a[1]) + "\r\n";
    std::string block;
    for (unsigned long i = Number(a[0]); i > 0; --i) block += line;
    WriteBytes(g_out, block);
    return 0;
}

int SleepStep(const Args& a) {
    if (a.empty()) return Usage();
    ::Sleep(DWORD(Number(a[0])));
    return 0;
}

int Env(const Args&) {
    wchar_t* block = ::GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += std::wcslen(p) + 1) Report(ToUtf8(p));
    if (block) ::FreeEnvironmentStringsW(block);
    return 0;
}

int Cwd(const Args&) {
    wchar_t buffer[MAX_PATH * 4] = {};
    ::GetCurrentDirectoryW(DWORD(std::size(buffer)), buffer);
    Report(ToUtf8(buffer));
    return 0;
}

int CmdLine(const Args&) {
    Report(ToUtf8(::GetCommandLineW()));
    return 0;
}

int Out(const Args& a) {
    if (a.empty()) return Usage();
    g_out = ::CreateFileW(a[0].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_out == INVALID_HANDLE_VALUE ? 2 : 0;
}

int Record(const Args& a) {
    if (a.empty()) return Usage();
    std::string text;
    for (const auto& arg : g_all) text += ToUtf8(arg) + "\r\n";
    return WriteWhole(a[0], text) ? 0 : 2;
}

int Listen(const Args& a) {
    if (a.empty()) return Usage();
    const bool v6 = a.size() > 1 && a[1] == L"v6";
    const unsigned port = ListenTcp(v6 ? L"::1" : L"127.0.0.1", unsigned(Number(a[0])));
    if (port == 0) return 3;
    Report("listening " + std::to_string(port));
    return 0;
}

// Opens the file without sharing, as a server holding its log, until the program ends.
int Hold(const Args& a) {
    if (a.empty()) return Usage();
    const HANDLE file = ::CreateFileW(a[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Report("cannot hold " + ToUtf8(a[0]));
        return 1;
    }
    Report("holding " + ToUtf8(a[0]));
    return 0;  // the handle is left open on purpose: the process's end closes it
}

int Signal(const Args& a) {
    if (a.empty()) return Usage();
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, a[0].c_str());
    if (!event) return 2;
    ::SetEvent(event);
    ::CloseHandle(event);
    return 0;
}

int WaitEvent(const Args& a) {
    if (a.empty()) return Usage();
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, a[0].c_str());
    if (!event) return 2;
    // Only now can a stop request reach us; tests wait for this line before they send one.
    Report("waiting " + ToUtf8(a[0]));
    const DWORD ms = a.size() > 1 ? DWORD(Number(a[1])) : INFINITE;
    const DWORD result = ::WaitForSingleObject(event, ms);
    ::CloseHandle(event);
    return result == WAIT_OBJECT_0 ? 0 : 124;
}

// The copy inherits our output handles, so it keeps the parent's pipe open after we end. Given a
// file, the copy holds it open (others may only read it) while it sleeps, and we report once it
// does: whoever cannot delete the file knows the copy still runs, whatever its id has become.
int Grandchild(const Args& a) {
    if (a.empty()) return Usage();
    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
    if (a.size() > 1) commandLine += L" out \"" + a[1] + L"\" +";
    commandLine += L" sleep " + a[0];
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return 2;
    ::CloseHandle(pi.hThread);
    for (int waited = 0; a.size() > 1 && waited < 20000; waited += 10) {
        if (::GetFileAttributesW(a[1].c_str()) != INVALID_FILE_ATTRIBUTES) break;
        if (::WaitForSingleObject(pi.hProcess, 10) != WAIT_TIMEOUT) break;
    }
    ::CloseHandle(pi.hProcess);
    Report("grandchild " + std::to_string(pi.dwProcessId));
    return 0;
}

int HandleStep(const Args& a) {
    if (a.empty()) return Usage();
    HANDLE h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(a[0].c_str(), nullptr, 0)));
    Report(::SetEvent(h) ? "inherited" : "not inherited");
    return 0;
}

// What the updater hands the new Zerva.exe: the whole command line as received (the test checks
// its exact quoting), the working folder, and our id so the test can wait for us to end.
int Zerva(const Args&) {
    wchar_t self[MAX_PATH * 4] = {}, cwd[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
    ::GetCurrentDirectoryW(DWORD(std::size(cwd)), cwd);
    std::wstring file = self;
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"zerva-restart.txt";
    const std::string text = ToUtf8(::GetCommandLineW()) + "\r\n" + ToUtf8(cwd) + "\r\n" +
                             std::to_string(::GetCurrentProcessId()) + "\r\n";
    return WriteWhole(file, text) ? 0 : 2;
}

int Exit(const Args& a) {
    if (a.empty()) return Usage();
    ::ExitProcess(UINT(Number(a[0])));
}

struct Step {
    const wchar_t* name;
    int (*run)(const Args&);
};

// Server and tool stand-ins (e.g. "httpd") join this table; their copies are then picked by
// file name as well as by the first argument.
constexpr Step kSteps[] = {
    {L"print", Print},   {L"eprint", EPrint},         {L"hex", Hex},
    {L"repeat", Repeat}, {L"sleep", SleepStep},
    {L"exit", Exit},     {L"env", Env},               {L"cwd", Cwd},
    {L"cmdline", CmdLine}, {L"out", Out},             {L"record", Record},
    {L"listen", Listen}, {L"signal", Signal},         {L"wait-event", WaitEvent},
    {L"grandchild", Grandchild}, {L"handle", HandleStep}, {L"hold", Hold},
    {L"zerva", Zerva},
    {L"httpd", Httpd},
    {L"openssl", OpenSsl},
    {L"mariadbd", DbServer},     {L"mysqld", DbServer},
    {L"mariadb-install-db", DbInstallTool}, {L"mysql_install_db", DbInstallTool},
    {L"mariadb-admin", DbAdmin}, {L"mysqladmin", DbAdmin},
    {L"mariadb", DbClient},      {L"mysql", DbClient},
};

const Step* FindStep(const std::wstring& name) {
    for (const auto& step : kSteps)
        if (name == step.name) return &step;
    return nullptr;
}

// The file name without folder and ".exe", lower-case.
std::wstring OwnStem() {
    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
    std::wstring stem = self;
    stem = stem.substr(stem.find_last_of(L"\\/") + 1);
    if (stem.size() > 4 && _wcsicmp(stem.c_str() + stem.size() - 4, L".exe") == 0) stem.resize(stem.size() - 4);
    for (auto& c : stem) c = wchar_t(std::towlower(c));
    return stem;
}

// Runs the steps of the command line in order; the first failing step's code ends the run.
int RunSteps(const Args& all) {
    size_t i = 0;
    while (i < all.size()) {
        size_t end = i + 1;
        while (end < all.size() && all[end] != L"+") ++end;
        const Step* step = FindStep(all[i]);
        if (!step) return Usage();
        const int result = step->run(Args(all.begin() + long(i) + 1, all.begin() + long(end)));
        if (result != 0) return result;
        i = end + 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    g_all.assign(argv + 1, argv + argc);
    const Step* named = FindStep(OwnStem());
    const int result = named ? named->run(g_all) : g_all.empty() ? Usage() : RunSteps(g_all);
    // Closed before we exit, so the port is free by the time a waiter sees the process end
    // (under Wine the process can be reported ended before its sockets are gone).
    CloseListeners();
    return result;
}

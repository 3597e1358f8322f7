// tools/standin/database_roles.cpp: the database server and its tools as Zerva drives them. Each
// role writes the arguments it received, one per line, to <own path without .exe>.args, so tests
// see exactly what arrived (passwords included).
//   server:  --defaults-file=<my.ini>: listens on [mysqld] port and bind-address, writes its
//            error log where log-error (or <datadir>\<computer>.err) says, and stops when
//            "MySQLShutdown<pid>" or "Global\MySQLShutdown<pid>" is set or the admin tool asks.
//            With --initialize-insecure it creates <datadir>\mysql instead, then reads the
//            --init-file and writes its text to <own path>.init (exit 1 when it cannot read it).
//            Marker lines of the defaults file: "# standin: no-listen" takes no port,
//            "# standin: die" exits with 1 at once, "# standin: ignore-stop" ignores the stop
//            events and the admin tool, "# standin: hang" makes --initialize-insecure hang
//            half-way. With --bootstrap --datadir=<dir> it hangs half-way too, as the server the
//            install tool runs.
//   install tool: creates --datadir and its mysql folder. A file <own path>.hang makes it run
//            the server beside it with --bootstrap instead and wait for it for ever.
//   admin tool: "shutdown" stops the server on --port, "password" only records; both fail when
//            no server listens there. A file <own path>.fail makes it print that file and exit 1.
//   client: records only.
#include "tools/standin/database_roles.h"

#include <iterator>
#include <map>

namespace standin {

namespace {

std::wstring OwnPathStem() {
    wchar_t self[MAX_PATH * 4] = {};
    ::GetModuleFileNameW(nullptr, self, DWORD(std::size(self)));
    std::wstring path = self;
    if (path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".exe") == 0) path.resize(path.size() - 4);
    return path;
}

void RecordArgs(const Args& a) {
    std::string text;
    for (const auto& arg : a) text += ToUtf8(arg) + "\r\n";
    WriteWhole(OwnPathStem() + L".args", text);
}

// The value of the first "--name=value" argument, or "".
std::wstring Option(const Args& a, const std::wstring& name) {
    const std::wstring prefix = L"--" + name + L"=";
    for (const auto& arg : a)
        if (arg.compare(0, prefix.size(), prefix) == 0) return arg.substr(prefix.size());
    return {};
}

bool HasFlag(const Args& a, const wchar_t* flag) {
    for (const auto& arg : a)
        if (arg == flag) return true;
    return false;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The [mysqld] options of an option file: names lower-case with "_" read as "-", values without
// their quotes.
std::map<std::string, std::string> MysqldOptions(const std::wstring& path) {
    std::map<std::string, std::string> options;
    std::string text;
    if (!ReadText(path, text)) return options;
    bool inSection = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            inSection = line == "[mysqld]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || line[0] == '#') continue;
        std::string name = Trimmed(line.substr(0, equals));
        for (auto& c : name) c = (c == '_') ? '-' : (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        std::string value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        options[name] = value;
    }
    return options;
}

// Whether the file holds the line "# standin: <name>" (blanks around it allowed).
bool HasMarker(const std::wstring& path, const std::string& name) {
    std::string text;
    if (!ReadText(path, text)) return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (Trimmed(text.substr(start, end - start)) == "# standin: " + name) return true;
        start = end + 1;
    }
    return false;
}

bool IsAbsolute(const std::wstring& path) {
    return (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) || (path.size() > 1 && path[1] == L':');
}

std::wstring ErrorLogPath(const std::wstring& dataDir, const std::map<std::string, std::string>& options) {
    const auto named = options.find("log-error");
    if (named != options.end() && !named->second.empty()) {
        const std::wstring path = Widen(named->second);
        return IsAbsolute(path) ? path : dataDir + L"\\" + path;
    }
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = DWORD(std::size(computer));
    if (!::GetComputerNameW(computer, &size)) return dataDir + L"\\localhost.err";
    return dataDir + L"\\" + computer + L".err";
}

std::wstring AdminEventName(const std::wstring& port) { return L"StandinDbServer" + port; }

// A first initialization stopped half-way: the system database's folder made, a data file held
// open without sharing, as a server writing it does, and no end. Only a forced end stops it.
[[noreturn]] void HangHalfWay(const std::wstring& dataDir) {
    ::CreateDirectoryW(dataDir.c_str(), nullptr);
    ::CreateDirectoryW((dataDir + L"\\mysql").c_str(), nullptr);
    const std::wstring data = dataDir + L"\\ibdata1";
    const HANDLE held = ::CreateFileW(data.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    Report(held == INVALID_HANDLE_VALUE ? "[ERROR] cannot create " + ToUtf8(data) : "[Note] holding " + ToUtf8(data));
    for (;;) ::Sleep(INFINITE);
}

// The server beside us, run for the bootstrap as the real install tool does, without our handles
// (so not our output either): it lives on its own until it is ended.
int RunBootstrapServer(const std::wstring& dataDir) {
    std::wstring server = OwnPathStem();
    server = server.substr(0, server.find_last_of(L"\\/") + 1) + L"mariadbd.exe";
    std::wstring commandLine = L"\"" + server + L"\" --bootstrap \"--datadir=" + dataDir + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(server.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &si, &pi)) {
        Report("[ERROR] cannot start " + ToUtf8(server));
        return 1;
    }
    ::CloseHandle(pi.hThread);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::CloseHandle(pi.hProcess);
    return 1;
}

int Initialize(const Args& a, const std::wstring& dataDir) {
    ::CreateDirectoryW(dataDir.c_str(), nullptr);
    ::CreateDirectoryW((dataDir + L"\\mysql").c_str(), nullptr);
    std::string script;
    if (!ReadText(Option(a, L"init-file"), script)) {
        Report("[ERROR] cannot read the init file");
        return 1;
    }
    WriteWhole(OwnPathStem() + L".init", script);
    Report("[Note] data directory initialized");
    return 0;
}

}  // namespace

int DbServer(const Args& a) {
    RecordArgs(a);
    const auto options = MysqldOptions(Option(a, L"defaults-file"));
    const auto value = [&](const char* name, const char* fallback) {
        const auto found = options.find(name);
        return Widen(found == options.end() ? fallback : found->second);
    };
    if (HasFlag(a, L"--bootstrap")) HangHalfWay(Option(a, L"datadir"));
    const std::wstring dataDir = value("datadir", "data");
    const std::wstring defaults = Option(a, L"defaults-file");
    if (HasFlag(a, L"--initialize-insecure")) {
        if (HasMarker(defaults, "hang")) HangHalfWay(dataDir);
        return Initialize(a, dataDir);
    }
    if (HasMarker(defaults, "die")) {
        Report("[ERROR] asked to die");
        return 1;
    }
    const bool ignoreStop = HasMarker(defaults, "ignore-stop");
    const std::wstring port = value("port", "3306");
    const std::wstring pid = std::to_wstring(::GetCurrentProcessId());
    // Made before the port opens: whoever sees the port may stop us at once.
    HANDLE stops[3] = {::CreateEventW(nullptr, TRUE, FALSE, (L"MySQLShutdown" + pid).c_str()),
                       ::CreateEventW(nullptr, TRUE, FALSE, (L"Global\\MySQLShutdown" + pid).c_str()),
                       ::CreateEventW(nullptr, TRUE, FALSE, AdminEventName(port).c_str())};
    HANDLE waitFor[3];
    DWORD count = 0;
    for (HANDLE event : stops)
        if (event) waitFor[count++] = event;  // a Global\ name can be refused without the privilege
    const std::wstring errorLog = ErrorLogPath(dataDir, options);
    std::string log;
    if (!HasMarker(defaults, "no-listen") && ListenTcp(value("bind-address", "127.0.0.1"), unsigned(Number(port))) == 0) {
        WriteWhole(errorLog, "[ERROR] Can't start server: Bind on TCP/IP port " + ToUtf8(port) + "\r\n");
        return 1;
    }
    log = "[Note] ready for connections. port: " + ToUtf8(port) + "\r\n";
    WriteWhole(errorLog, log);
    Report(log.substr(0, log.size() - 2));
    if (ignoreStop) ::Sleep(INFINITE);
    ::WaitForMultipleObjects(count, waitFor, FALSE, INFINITE);
    CloseListeners();
    WriteWhole(errorLog, log + "[Note] Shutdown complete\r\n");
    for (DWORD i = 0; i < count; ++i) ::CloseHandle(waitFor[i]);
    return 0;
}

int DbInstallTool(const Args& a) {
    RecordArgs(a);
    const std::wstring dataDir = Option(a, L"datadir");
    if (dataDir.empty()) return 64;
    std::string ignored;
    if (ReadText(OwnPathStem() + L".hang", ignored)) return RunBootstrapServer(dataDir);
    ::CreateDirectoryW(dataDir.c_str(), nullptr);
    if (!::CreateDirectoryW((dataDir + L"\\mysql").c_str(), nullptr)) return 1;
    Report("Creation of the database was successful");
    return 0;
}

int DbAdmin(const Args& a) {
    RecordArgs(a);
    std::string failure;
    if (ReadText(OwnPathStem() + L".fail", failure)) {
        WriteBytes(g_out, failure);
        return 1;
    }
    std::wstring command;
    for (size_t i = 0; i < a.size() && command.empty(); ++i) {
        if (a[i] == L"-u") ++i;  // its value is the next word
        else if (a[i].empty() || a[i][0] != L'-') command = a[i];
    }
    const std::wstring port = Option(a, L"port");
    HANDLE server = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, AdminEventName(port).c_str());
    if (!server) {
        Report("error: 'Can't connect to server on '127.0.0.1' (10061)'");
        return 1;
    }
    int result = 0;
    if (command == L"shutdown") {
        ::SetEvent(server);
    } else if (command != L"password") {
        Report("error: unknown command '" + ToUtf8(command) + "'");
        result = 1;
    }
    ::CloseHandle(server);
    return result;
}

int DbClient(const Args& a) {
    RecordArgs(a);
    return 0;
}

}  // namespace standin

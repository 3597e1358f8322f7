// bench/server_bench.cpp: how soon the server status reports Apache and the database server
// running once they listen, and what the idle worker costs. Lays out a root folder with the
// stand-in httpd and MariaDB builds, starts and stops both through the job queue RUNS times, then
// leaves both running for 10 s with the worker idle and reads this process's CPU time.
// usage: server_bench.exe <empty root folder> <folder of the stand-ins> [RUNS]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "control/server.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/probes.h"
#include "core/text.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Copy(const std::wstring& standins, const wchar_t* name, const std::wstring& dir) {
    return CopyFileTo(standins + L"\\" + name, dir + L"\\" + name, true);
}

bool LayOut(const std::wstring& standins, int webPort, int dbPort) {
    const std::wstring apache = ApacheDir() + L"\\httpd-2.4.58";
    const std::wstring db = DatabaseDir() + L"\\mariadb-11.4.2";
    const std::string conf = "ServerRoot \"{APACHEPATH}\"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\n<VirtualHost *:" +
                             std::to_string(webPort) + ">\r\n</VirtualHost>\r\n";
    Config::Instance().Set(setting::kMysqlPort, std::to_string(dbPort));
    return EnsureDirectory(apache + L"\\bin") && EnsureDirectory(db + L"\\bin") &&
           Copy(standins, L"httpd.exe", apache + L"\\bin") && Copy(standins, L"openssl.exe", apache + L"\\bin") &&
           Copy(standins, L"mariadbd.exe", db + L"\\bin") && Copy(standins, L"mariadb-admin.exe", db + L"\\bin") &&
           Copy(standins, L"mariadb-install-db.exe", db + L"\\bin") &&
           WriteFileAtomic(apache + L"\\conf\\httpd_zerva.conf", conf);
}

int FreePort() {
    for (int port = 20000 + int(::GetCurrentProcessId() % 20000); port < 65000; port += 7)
        if (IsPortFree(uint16_t(port))) return port;
    return 0;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition())
        if (Clock::now() > deadline) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool Idle() {
    const ServerStatus status = Server::Instance().GetStatus();
    return !status.busy && status.queued == 0;
}

// Whether a connection to 127.0.0.1:port is accepted: the moment the server listens, seen
// without binding anything that could disturb the server's own bind.
bool Accepts(int port) {
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{AF_INET, htons(u_short(port)), {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool accepted = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::closesocket(s);
    return accepted;
}

// Milliseconds from the port turning busy to the status reporting the server running.
struct Lag {
    std::atomic<int64_t> listening{0}, reported{0};
};

void Watch(int port, bool apache, Lag& lag, std::atomic<bool>& stop) {
    auto now = [] { return Clock::now().time_since_epoch() / std::chrono::microseconds(1); };
    while (!stop) {
        if (lag.listening == 0 && Accepts(port)) lag.listening = now();
        const ServerStatus status = Server::Instance().GetStatus();
        if (lag.listening != 0 && lag.reported == 0 && (apache ? status.apache.running : status.mysql.running))
            lag.reported = now();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

uint64_t ProcessCpu100ns() {
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return ticks(kernel) + ticks(user);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: server_bench.exe <empty root> <stand-in folder> [RUNS]\n");
        return 64;
    }
    const int runs = argc > 3 ? std::max(1, _wtoi(argv[3])) : 20;
    if (!WinsockStartup()) {
        std::fprintf(stderr, "Winsock is not available\n");
        return 1;
    }
    SetRootDir(argv[1]);
    Config::Instance().Load(RootDir() + L"\\zerva.ini");
    EnsureLayout();
    const int webPort = FreePort();
    if (webPort == 0 || !LayOut(argv[2], webPort, webPort + 1)) {
        std::fprintf(stderr, "cannot lay out the root\n");
        return 1;
    }
    Server::Instance().Start();
    std::vector<double> apacheMs, mysqlMs;
    for (int run = 0; run < runs; ++run) {
        Lag apache, mysql;
        std::atomic<bool> stop{false};
        std::thread watchApache(Watch, webPort, true, std::ref(apache), std::ref(stop));
        std::thread watchMysql(Watch, webPort + 1, false, std::ref(mysql), std::ref(stop));
        Server::Instance().StartAll();
        const bool started = WaitFor([&] { return Idle() && apache.reported && mysql.reported; }, 120000);
        stop = true;
        watchApache.join();
        watchMysql.join();
        if (!started) {
            std::fprintf(stderr, "run %d: the servers did not start\n", run + 1);
            Server::Instance().Shutdown(true);
            return 1;
        }
        apacheMs.push_back(double(apache.reported - apache.listening) / 1000.0);
        mysqlMs.push_back(double(mysql.reported - mysql.listening) / 1000.0);
        if (run + 1 < runs) {
            Server::Instance().StopAll();
            WaitFor([] { return Idle() && !Server::Instance().AnyRunning(); }, 120000);
            WaitFor([&] { return IsPortFree(uint16_t(webPort)) && IsPortFree(uint16_t(webPort + 1)); }, 10000);
        }
    }
    std::printf("apache listening to reported running: median %.0f ms over %d starts\n", Median(apacheMs), runs);
    std::printf("database listening to reported running: median %.0f ms over %d starts\n", Median(mysqlMs), runs);

    const uint64_t cpuBefore = ProcessCpu100ns();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpuMs = double(ProcessCpu100ns() - cpuBefore) / 10000.0;
    const double wallMs = double((Clock::now() - wallBefore) / std::chrono::milliseconds(1));
    std::printf("idle worker with both servers running: %.0f ms of CPU in %.0f ms, %.2f%% of one core\n", cpuMs,
                wallMs, 100.0 * cpuMs / wallMs);
    Server::Instance().Shutdown(true);
    return 0;
}

// tests/control/control_fixture.h: what the server-control tests share: a scratch root with its own
// settings and stand-in Apache, PHP and MariaDB builds on demand; the console log as (source, level,
// text) triples; guards ending the Server's worker and the root's stand-in servers however a test ends.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <tuple>

#include "control/sequences.h"
#include "control/server.h"
#include "core/log.h"
#include "core/probes.h"
#include "core/proc.h"
#include "tests/stack/stack_fixture.h"
#include "tests/support/fixture_server.h"

namespace controltest {

using LogLine = std::tuple<ConsoleSource, LogLevel, std::string>;

// The log lines added while `action` ran.
inline std::vector<LogLine> LinesDuring(const std::function<void()>& action) {
    std::vector<LogLine> lines;
    for (const auto& entry : stacktest::LoggedDuring(action)) lines.emplace_back(entry.source, entry.level, entry.text);
    return lines;
}

inline bool Has(const std::vector<LogLine>& lines, const LogLine& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// True once the worker has run every queued job.
inline bool Idle() {
    const ServerStatus status = Server::Instance().GetStatus();
    return !status.busy && status.queued == 0;
}

// The keys of the waiting jobs, in order, taken out of the queue unrun (no worker may run): a test
// learns which job a click queued, and the next click starts from an empty queue.
inline std::vector<std::string> TakeWaitingKeys() {
    std::vector<std::string> keys;
    const std::atomic<bool> stop{false};
    while (std::optional<ServerJob> job = WaitForJob(std::chrono::milliseconds(0), stop)) keys.push_back(job->key);
    ClearBusy();
    return keys;
}

// Every waiting alert as one comparable text: "title | message | action", "!" first for errors.
inline std::vector<std::string> PopAlerts() {
    std::vector<std::string> alerts;
    for (Alert a; Server::Instance().PopAlert(a);)
        alerts.push_back((a.error ? "! " : "") + a.title + " | " + a.message + " | " + std::to_string(a.action));
    return alerts;
}

// How the port check names the listener of a port: Windows names this test program, Wine no one.
inline std::string OwnerText(int32_t port) {
    const auto listener = PortOwner(uint16_t(port));
    return PortOwnerText(listener ? std::optional<uint32_t>(listener->pid) : std::nullopt, listener ? listener->name : "");
}

// Holds a TCP port on 127.0.0.1 for its lifetime.
using BusyPort = testkit::FixtureServer;

// Each test gets its own root and settings. The worker is ended even when the test fails (one still
// running at exit would abort the program), then every stand-in server of the root is killed by id.
class ControlTest : public stacktest::RootTest {
protected:
    void SetUp() override {
        RootTest::SetUp();
        EnsureLayout();
    }
    void TearDown() override {
        Server::Instance().Shutdown(false);
        SetForcedEndForTest(nullptr);
        SetStopWaitForTest(0);
        // Until none is left: one pass can miss a child its parent was still starting, and a
        // stand-in left running keeps its ports and the scratch folder past the test.
        const auto key = [](const std::string& path) { return ToLower(ToForwardSlashes(path)); };
        EXPECT_TRUE(testkit::WaitFor([&] {
            bool none = true;
            for (const auto& process : FindProcessesByName({"httpd.exe", "mariadbd.exe", "mysqld.exe"}))
                if (StartsWith(key(process.fullPath), key(root.Utf8() + "\\"))) {
                    (void)KillPid(process.pid, process.fullPath);
                    none = false;
                }
            return none;
        }, 20000));
    }

    // httpd-2.4.58 whose template listens on `port` (offline: 127.0.0.1), `extra` lines appended;
    // PHP's module line switched on or off.
    void MakeApache(int32_t port, const std::string& extra = "") {
        apacheDir = MakeFolder(ApacheDir() + L"\\httpd-2.4.58",
                               {{"bin/httpd.exe", stacktest::kStandin}, {"bin/openssl.exe", stacktest::kStandin}});
        WriteApacheTemplate(port, extra);
    }
    void WriteApacheTemplate(int32_t port, const std::string& extra, bool phpModule = true) {
        testkit::WriteFile(apacheDir + L"\\conf\\httpd_zerva.conf",
                           "ServerRoot \"{APACHEPATH}\"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\n" + std::string(phpModule ? "" : "#") +
                           "LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"\r\n"
                           "<VirtualHost *:" + std::to_string(port) + ">\r\n"
                           "    DocumentRoot \"{DOCUMENTPATH}\"\r\n</VirtualHost>\r\n" + extra);
    }
    // php-8.3.14, the current PHP build, not yet configured (x64 with a module by default).
    void MakePhp(const stacktest::Files& files = {{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""},
                                                  {"php.ini-development", "[PHP]\r\n"}}) {
        SetCurrentPhpName("php-8.3.14");
        phpDir = MakeFolder(PhpDir() + L"\\php-8.3.14", files);
    }
    // mariadb-11.4.2 with its server and tools, listening on `port`; `extra` goes into my_zerva.ini.
    void MakeMariaDb(int32_t port, const std::string& extra = "") {
        Config::Instance().Set(setting::kMysqlPort, std::to_string(port));
        dbDir = MakeFolder(DatabaseDir() + L"\\mariadb-11.4.2",
                           {{"bin/mariadbd.exe", stacktest::kStandin}, {"bin/mariadb-admin.exe", stacktest::kStandin},
                            {"bin/mariadb-install-db.exe", stacktest::kStandin}});
        if (!extra.empty()) testkit::WriteFile(dbDir + L"\\my_zerva.ini", MyTemplate() + extra);
    }

    // A port held for this test alone: servers free it on a stop and take it again on the next start.
    int32_t LeasedPort() { return leases.emplace_back().Port(); }

    std::wstring apacheDir, phpDir, dbDir;
    std::deque<testkit::PortLease> leases;
};

}  // namespace controltest

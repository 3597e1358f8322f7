// tests/control/control_fixture.h: what the server-control tests share: a scratch root with its
// own settings, the console log as (source, level, text) triples, a loopback listener that keeps
// a port busy, and a guard that ends the Server's worker however the test ends.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "control/server.h"
#include "core/config.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/probes.h"
#include "tests/support/testkit.h"

namespace controltest {

using LogLine = std::tuple<ConsoleSource, LogLevel, std::string>;

// Console log entries appended after `since` (a sequence number from LastSeq).
inline std::vector<LogLine> LogSince(uint64_t since) {
    std::vector<LogEntry> entries;
    LogBuffer::Instance().Snapshot(entries, since);
    std::vector<LogLine> lines;
    for (const auto& entry : entries) lines.emplace_back(entry.source, entry.level, entry.text);
    return lines;
}
inline uint64_t LastSeq() {
    std::vector<LogEntry> none;
    return LogBuffer::Instance().Snapshot(none, ~uint64_t(0));
}

inline std::vector<Alert> PopAlerts() {
    std::vector<Alert> alerts;
    Alert alert;
    while (Server::Instance().PopAlert(alert)) alerts.push_back(alert);
    return alerts;
}

// Holds a TCP port on 127.0.0.1 for its lifetime.
class BusyPort {
public:
    BusyPort() {
        WinsockStartup();
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_socket, 4) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~BusyPort() { ::closesocket(m_socket); }
    BusyPort(const BusyPort&) = delete;
    BusyPort& operator=(const BusyPort&) = delete;
    int32_t Port() const { return m_port; }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int32_t m_port = 0;
};

// Each test gets its own root and settings; the worker, when a test starts it, is ended even
// when the test fails, since a worker still running at exit would abort the program.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRootDir(root.Path());
        Config::Instance().Load(root / L"zerva.ini");
        EnsureLayout();
    }
    void TearDown() override { Server::Instance().Shutdown(false); }

    testkit::ScratchDir root;
};

}  // namespace controltest

// tests/control/online_fixture.h: what the catalog and installer tests share: a scratch root with its
// own settings and a loopback fixture server every built-in online address goes to (ZERVA_ONLINE_BASE).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "control/catalog.h"
#include "core/config.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/online.h"
#include "tests/support/fixture_server.h"
#include "tests/support/testkit.h"

namespace controltest {

class OnlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Started()) << server.Error();
        SetRootDir(root.Path());
        Config::Instance().Load(root / L"zerva.ini");
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url()).c_str());
        std::vector<LogEntry> none;
        m_logSeq = LogBuffer::Instance().Snapshot(none, ~0ull);
    }
    void TearDown() override { ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr); }

    // The key's entry once its load has ended.
    static CatalogEntry WaitCatalog(const std::string& key) {
        EXPECT_TRUE(testkit::WaitFor([&] { return !installer::GetCatalog(key).loading; })) << key;
        return installer::GetCatalog(key);
    }
    // How many requests the server got for exactly this path.
    int RequestsFor(const std::string& path) const {
        int count = 0;
        for (const auto& request : server.Requests()) count += request.path == path;
        return count;
    }
    // "level|text" of every log line written since the test began.
    std::vector<std::string> NewLogLines() {
        std::vector<LogEntry> entries;
        LogBuffer::Instance().Snapshot(entries, m_logSeq);
        std::vector<std::string> lines;
        for (const LogEntry& e : entries) lines.push_back(std::to_string(e.level) + "|" + e.text);
        return lines;
    }

    testkit::ScratchDir root;
    testkit::FixtureServer server;
    uint64_t m_logSeq = 0;
};

}  // namespace controltest

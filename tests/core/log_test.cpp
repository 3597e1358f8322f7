#include "core/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

// Each test works on a log of its own; only the helpers' test uses the process-wide one, so the
// tests hold whether they run one per process (ctest) or all in one program.

TEST(LogBuffer, SequenceNumbersAndCap) {
    LogBuffer log;
    std::vector<LogEntry> entries;
    EXPECT_EQ(log.Snapshot(entries, 0), 0u);
    for (int i = 1; i <= 4001; ++i) log.Append(console::kZerva, level::kInfo, "line " + std::to_string(i));
    EXPECT_EQ(log.Snapshot(entries, 0), 4001u);
    ASSERT_EQ(entries.size(), 4000u);
    EXPECT_EQ(entries.front().seq, 2u);
    EXPECT_EQ(entries.front().text, "line 2");
    EXPECT_EQ(entries.back().seq, 4001u);

    std::vector<LogEntry> newer{LogEntry{}};  // not cleared: new entries are appended
    EXPECT_EQ(log.Snapshot(newer, 3999), 4001u);
    ASSERT_EQ(newer.size(), 3u);
    EXPECT_EQ(newer[1].seq, 4000u);
    EXPECT_EQ(newer[2].seq, 4001u);
    newer.clear();
    EXPECT_EQ(log.Snapshot(newer, 4001), 4001u);
    EXPECT_TRUE(newer.empty());
}

TEST(LogBuffer, ClearKeepsNumbering) {
    LogBuffer log;
    log.Append(console::kApache, level::kInfo, "a");
    log.Append(console::kApache, level::kError, "b");
    log.Clear();
    std::vector<LogEntry> entries;
    EXPECT_EQ(log.Snapshot(entries, 0), 2u);
    EXPECT_TRUE(entries.empty());
    log.Append(console::kMySql, level::kSuccess, "c");
    EXPECT_EQ(log.Snapshot(entries, 2), 3u);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].seq, 3u);
}

TEST(LogBuffer, TrailingLineBreaksRemovedInnerKept) {
    LogBuffer log;
    log.Append(console::kPhp, level::kWarning, "two\nlines\r\n\r\n");
    log.Append(console::kPhp, level::kInfo, "\r\n");
    std::vector<LogEntry> entries;
    log.Snapshot(entries, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "two\nlines");
    EXPECT_EQ(entries[1].text, "");
}

TEST(LogBuffer, Helpers_WriteTheProcessLogWithTheirLevels) {
    auto& log = LogBuffer::Instance();
    std::vector<LogEntry> entries;
    const uint64_t before = log.Snapshot(entries, UINT64_MAX);  // copies nothing
    LogInfo(console::kZerva, "i");
    LogSuccess(console::kApache, "s");
    LogWarning(console::kMySql, "w");
    LogError(console::kInstall, "e");
    EXPECT_EQ(log.Snapshot(entries, before), before + 4);
    ASSERT_EQ(entries.size(), 4u);
    const LogLevel levels[] = {level::kInfo, level::kSuccess, level::kWarning, level::kError};
    const ConsoleSource sources[] = {console::kZerva, console::kApache, console::kMySql, console::kInstall};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].seq, before + 1 + i);
        EXPECT_EQ(entries[i].level, levels[i]);
        EXPECT_EQ(entries[i].source, sources[i]);
    }
}

TEST(LogBuffer, ToTextFormatsTimeSourceAndCrLf) {
    LogBuffer log;
    log.Append(console::kApache, level::kInfo, "Started");
    log.Append(9, level::kInfo, "odd source");
    log.Append(console::kInstall, level::kError, "done");
    const std::string text = log.ToText();
    // "HH:MM:SS [Apache] Started" CR LF and so on; the clock is local time.
    const std::regex line(R"(\d\d:\d\d:\d\d \[Apache\] Started\r\n)"
                          R"(\d\d:\d\d:\d\d \[Zerva\] odd source\r\n)"
                          R"(\d\d:\d\d:\d\d \[Install\] done\r\n)");
    EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST(LogBuffer, SourceNames) {
    EXPECT_STREQ(LogSourceName(0), "Zerva");
    EXPECT_STREQ(LogSourceName(1), "Apache");
    EXPECT_STREQ(LogSourceName(2), "MySQL");
    EXPECT_STREQ(LogSourceName(3), "PHP");
    EXPECT_STREQ(LogSourceName(4), "Install");
    EXPECT_STREQ(LogSourceName(9), "Zerva");
}

TEST(LogBuffer, ConcurrentWritersGetDistinctOrderedNumbers) {
    LogBuffer log;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t, &log] {
            for (int i = 0; i < 500; ++i) log.Append(console::kZerva, level::kInfo, std::to_string(t));
        });
    for (auto& w : writers) w.join();
    std::vector<LogEntry> entries;
    EXPECT_EQ(log.Snapshot(entries, 0), 2000u);
    ASSERT_EQ(entries.size(), 2000u);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].seq, i + 1);
}

TEST(LineLevel, KeywordsDecideLevel) {
    EXPECT_EQ(LineLevel("Cannot bind, warning"), level::kError);  // error words win
    EXPECT_EQ(LineLevel("ErrorLog set"), level::kError);
    EXPECT_EQ(LineLevel("AH00558: could not reliably determine"), level::kError);
    EXPECT_EQ(LineLevel("Startup FAILED"), level::kError);
    EXPECT_EQ(LineLevel("PHP Deprecated: something"), level::kWarning);
    EXPECT_EQ(LineLevel("[Warning] option"), level::kWarning);
    EXPECT_EQ(LineLevel(""), level::kInfo);
    EXPECT_EQ(LineLevel("ready for connections"), level::kInfo);
}

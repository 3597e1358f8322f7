#include "core/log.h"

#include <gtest/gtest.h>

#include <regex>

TEST(LogBuffer, Snapshot_CappedNumberedAndOnlyNewerEntries) {
    LogBuffer log;
    std::vector<LogEntry> entries;
    EXPECT_EQ(log.Snapshot(entries, 0), 0u);
    for (int i = 1; i <= 4001; ++i) log.Append(console::kZerva, level::kInfo, "line " + std::to_string(i));
    EXPECT_EQ(log.Snapshot(entries, 0), 4001u);
    ASSERT_EQ(entries.size(), 4000u);
    EXPECT_EQ(entries.front().text, "line 2");
    std::vector<LogEntry> newer{LogEntry{}};   // not cleared: new entries are appended
    EXPECT_EQ(log.Snapshot(newer, 3999), 4001u);
    ASSERT_TRUE(newer.size() == 3u && newer[1].seq == 4000u);
    newer.clear();
    log.Clear();   // numbering goes on
    log.Append(console::kPhp, level::kWarning, "two\nlines\r\n\r\n");
    EXPECT_EQ(log.Snapshot(newer, 4001), 4002u);
    ASSERT_EQ(newer.size(), 1u);
    EXPECT_EQ(newer[0].text, "two\nlines");   // trailing line breaks go, inner ones stay
}

TEST(LogBuffer, ToText_LocalTimeSourceNameAndCrLf) {
    LogBuffer log;
    for (int source = 0; source <= 5; ++source) log.Append(source == 5 ? 9 : source, level::kInfo, "x");
    const std::regex text(R"((\d\d:\d\d:\d\d \[(Zerva|Apache|MySQL|PHP|Install)\] x\r\n){6})");
    EXPECT_TRUE(std::regex_match(log.ToText(), text)) << log.ToText();
    const char* names[] = {"Zerva", "Apache", "MySQL", "PHP", "Install", "Zerva"};
    for (int source = 0; source <= 5; ++source) EXPECT_STREQ(LogSourceName(source == 5 ? 9 : source), names[source]);
}

TEST(LineLevel, KeywordsDecideLevel_ErrorWordsWin) {
    for (const auto& [line, wanted] : {std::pair{"Cannot bind, warning", level::kError}, {"ErrorLog set", level::kError},
                                       {"AH00558: could not reliably", level::kError}, {"Startup FAILED", level::kError},
                                       {"PHP Deprecated: something", level::kWarning}, {"[Warning] option", level::kWarning},
                                       {"ready for connections", level::kInfo}})
        EXPECT_EQ(LineLevel(line), wanted) << line;
}

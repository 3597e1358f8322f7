#include "core/config.h"

#include <gtest/gtest.h>

#include <set>

#include "core/files.h"
#include "tests/support/testkit.h"

using testkit::ScratchDir;
using Values = std::map<std::string, std::string>;

TEST(ConfigParse, Lines_QuotesBlanksCommentsAndLaterWins) {
    using namespace std::string_literals;
    const std::pair<std::string, Values> cases[] = {
        {"KEY = \"value\"\r\n", {{"KEY", "value"}}}, {"  KEY \t=   value  ", {{"KEY", "value"}}},
        {"\xEF\xBB\xBFKEY=value", {{"KEY", "value"}}}, {"A = \"\"", {{"A", ""}}}, {"A = \"", {{"A", "\""}}},
        {"A = \"say \"hi\"\"", {{"A", "say \"hi\""}}}, {"A = \" padded \"", {{"A", " padded "}}},
        {"A = x=y=z", {{"A", "x=y=z"}}}, {"A = 1\rB = 2\r", {{"A", "1"}, {"B", "2"}}},
        {"# c\n  ; indented comment\n [section]\n= no key\nno equals sign\nK = 1\nK = 2\n\n# K = 3\n", {{"K", "2"}}},
        // Saved from Notepad as "Unicode": UTF-16 with its mark, read as the text it is.
        {"\xFF\xFEK\0=\0\xE9\0\r\0\n\0M\0=\0" "1\0"s, {{"K", "\xC3\xA9"}, {"M", "1"}}},
    };
    for (const auto& [text, values] : cases) EXPECT_EQ(Config::Parse(text), values) << testing::PrintToString(text);
}

TEST(ConfigSerialize, SortedQuotedCrLf_RoundTripsAndLineBreaksCannotSplitIt) {
    EXPECT_EQ(Config::Serialize({{"b", "2"}, {"A", "1"}, {"AB", ""}}),
              "# Zerva configuration\r\nA = \"1\"\r\nAB = \"\"\r\nb = \"2\"\r\n");
    const std::string text = Config::Serialize({{"PASSWORD", "p\"w=d "}, {"EDITOR", "C:\\ed.exe"}, {"Q", "\""}});
    EXPECT_EQ(Config::Serialize(Config::Parse(text)), text);
    const std::string broken = Config::Serialize({{"A", "x\r\nB = \"injected\""}, {"C", "y\nz"}});
    EXPECT_EQ(Config::Parse(broken), (Values{{"A", "x  B = \"injected\""}, {"C", "y z"}}));
}

TEST(Config, LoadSetSave_OnlyChangesWrittenUnknownKeysKept) {
    ScratchDir dir;
    const std::wstring path = dir / L"zerva.ini";
    Config config;
    EXPECT_FALSE(config.Save());   // no Load yet
    config.Set("EARLY", "1");      // before Load: memory only
    EXPECT_FALSE(PathExists(path));
    config.Load(path);
    EXPECT_EQ(config.GetString("EARLY", "def"), "def");
    config.Set("B", "2");
    config.Set("A", "1");
    EXPECT_EQ(testkit::ReadFile(path), "# Zerva configuration\r\nA = \"1\"\r\nB = \"2\"\r\n");
    testkit::WriteFile(path, "# edited by hand\r\nA = 1\r\nB = 2\r\nUNKNOWN_KEY = kept\r\n");
    config.Set("A", "1");   // unchanged: the file is not rewritten
    EXPECT_EQ(testkit::ReadFile(path), "# edited by hand\r\nA = 1\r\nB = 2\r\nUNKNOWN_KEY = kept\r\n");
    config.Load(path);
    EXPECT_TRUE(config.Set("A", "3"));
    EXPECT_EQ(testkit::ReadFile(path), "# Zerva configuration\r\nA = \"3\"\r\nB = \"2\"\r\nUNKNOWN_KEY = \"kept\"\r\n");
    // A folder in the way of the temporary: the save fails and says so, the value stays in memory.
    ASSERT_TRUE(EnsureDirectory(path + L".zvtmp"));
    EXPECT_FALSE(config.Set("A", "4"));
    EXPECT_EQ(config.GetString("A", ""), "4");
    EXPECT_NE(testkit::ReadFile(path).find("A = \"3\""), std::string::npos);
}

TEST(Config, TypedGetters_DefaultsForAbsentOrUnreadable) {
    ScratchDir dir;
    Config config;
    testkit::WriteFile(dir / L"zerva.ini", "T1 = YES\nT2 = On\nT3 = TRUE\nF1 = Off\nF2 = no\nX1 = 2\nX3 = \"\"\n"
                                           "I1 = 42abc\nI2 = -17\nI3 = abc\nI4 = 99999999999\nI5 = 0x1A\n");
    config.Load(dir / L"zerva.ini");
    for (const char* key : {"T1", "T2", "T3"}) EXPECT_TRUE(config.GetBool(key, false)) << key;
    for (const char* key : {"F1", "F2"}) EXPECT_FALSE(config.GetBool(key, true)) << key;
    EXPECT_TRUE(config.GetBool("X1", true) && !config.GetBool("X3", false));
    EXPECT_EQ(config.GetString("X3", "def"), "");   // stored empty is not the default
    for (const auto& [key, value] : {std::pair{"I1", 42}, {"I2", -17}, {"I3", 7}, {"I4", 7}, {"I5", 0}, {"X3", 7}, {"i1", 7}})
        EXPECT_EQ(config.GetInt(key, 7), value) << key;
}

TEST(Config, SettingsTable_UniqueKeysAndRowDefaults) {
    std::set<std::string> names;
    for (const SettingKey* key : setting::kAll) {
        EXPECT_TRUE(names.insert(key->name).second) << key->name;
        const std::string def = key->def;
        EXPECT_TRUE(key->type != SettingType::Bool || def == "1" || def == "0") << key->name;
    }
    ScratchDir dir;
    Config config;
    testkit::WriteFile(dir / L"zerva.ini", "MYSQL_PORT = 3307\nSTART_ON_START = off\n");
    config.Load(dir / L"zerva.ini");
    EXPECT_TRUE(config.GetInt(setting::kMysqlPort) == 3307 && !config.GetBool(setting::kStartOnStart));
    EXPECT_TRUE(config.GetBool(setting::kMinimizeToTray) && !config.GetBool(setting::kStartSystrayMode));   // row defaults
    config.SetBool(setting::kConsoleOpen, false);
    EXPECT_NE(testkit::ReadFile(dir / L"zerva.ini").find("CONSOLE_OPEN = \"0\""), std::string::npos);
}

#include "core/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/files.h"
#include "tests/support/testkit.h"

using testkit::ScratchDir;
using Values = std::map<std::string, std::string>;

// Each test uses a store of its own, so none sees a path or values that another left behind
// when they share one program.

TEST(ConfigParse, QuotesBlanksAndByteOrderMark) {
    const Values expected{{"KEY", "value"}};
    EXPECT_EQ(Config::Parse("KEY = \"value\"\r\n"), expected);
    EXPECT_EQ(Config::Parse("KEY=value"), expected);
    EXPECT_EQ(Config::Parse("  KEY \t=   value  "), expected);
    EXPECT_EQ(Config::Parse("\xEF\xBB\xBFKEY = \"value\""), expected);
}

TEST(ConfigParse, QuoteEdgeCases) {
    EXPECT_EQ(Config::Parse("A = \"\"")["A"], "");
    EXPECT_EQ(Config::Parse("A = \"")["A"], "\"");
    EXPECT_EQ(Config::Parse("A = \"say \"hi\"\"")["A"], "say \"hi\"");
    EXPECT_EQ(Config::Parse("A = \" padded \"")["A"], " padded ");
    EXPECT_EQ(Config::Parse("A = x=y=z")["A"], "x=y=z");
}

TEST(ConfigParse, IgnoredLinesAndLaterWins) {
    const Values values = Config::Parse(
        "# comment\n  ; indented comment\n [section]\n= no key\nno equals sign\nK = 1\nK = 2\n\n# K = 3\n");
    EXPECT_EQ(values, (Values{{"K", "2"}}));
}

TEST(ConfigSerialize, SortedQuotedCrLf) {
    EXPECT_EQ(Config::Serialize({{"b", "2"}, {"A", "1"}, {"AB", ""}}),
              "# Zerva configuration\r\nA = \"1\"\r\nAB = \"\"\r\nb = \"2\"\r\n");
}

TEST(ConfigSerialize, RoundTripsByteForByte) {
    const std::string text = Config::Serialize(
        {{"MYSQL_ROOT_PASSWORD", "p\"w=d "}, {"TEXT_EDITOR", "C:\\Tools\\ed.exe"}, {"Q", "\""}, {"E", ""}});
    EXPECT_EQ(Config::Serialize(Config::Parse(text)), text);
}

TEST(ConfigSerialize, LineBreakInValueCannotSplitTheFile) {
    const std::string text = Config::Serialize({{"A", "x\r\nB = \"injected\""}, {"C", "y\nz"}});
    const Values back = Config::Parse(text);
    EXPECT_EQ(back.count("B"), 0u);
    EXPECT_EQ(back.size(), 2u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST(Config, LoadSetSaveOnDisk) {
    ScratchDir dir;
    const std::wstring path = dir / L"zerva.ini";
    Config config;
    config.Set("EARLY", "1");  // before Load: memory only, nothing written
    EXPECT_FALSE(PathExists(path));
    config.Load(path);
    EXPECT_EQ(config.GetString("EARLY", "def"), "def");
    config.Set("B", "2");
    config.Set("A", "1");
    EXPECT_EQ(testkit::ReadFile(path), "# Zerva configuration\r\nA = \"1\"\r\nB = \"2\"\r\n");

    // An unchanged value does not rewrite the file.
    const uint64_t before = FileWriteTime(path);
    testkit::WriteFile(path, "# edited by hand\r\nA = 1\r\nB = 2\r\nUNKNOWN_KEY = kept\r\n");
    const uint64_t edited = FileWriteTime(path);
    config.Set("A", "1");
    EXPECT_EQ(FileWriteTime(path), edited);
    EXPECT_NE(before, 0u);

    // Unknown keys survive a load and save; comments do not.
    config.Load(path);
    config.Set("A", "3");
    EXPECT_EQ(testkit::ReadFile(path),
              "# Zerva configuration\r\nA = \"3\"\r\nB = \"2\"\r\nUNKNOWN_KEY = \"kept\"\r\n");
    EXPECT_FALSE(PathExists(path + L".zvtmp"));
}

TEST(Config, MissingFileGivesDefaultsAndSaveFailsWithoutPath) {
    ScratchDir dir;
    Config config;
    EXPECT_FALSE(config.Save());  // no Load yet
    config.Load(dir / L"absent.ini");
    EXPECT_EQ(config.GetString("LANGUAGE", "auto"), "auto");
    EXPECT_TRUE(config.GetBool("START_ON_START", true));
    EXPECT_EQ(config.GetInt("MYSQL_PORT", 3306), 3306);
}

TEST(Config, FailedSaveKeepsOldFileAndValueInMemory) {
    ScratchDir dir;
    Config config;
    testkit::WriteFile(dir / L"zerva.ini", "A = \"1\"\r\n");
    config.Load(dir / L"zerva.ini");
    EnsureDirectory(dir / L"zerva.ini.zvtmp");  // a folder in the way: the temporary cannot be made
    config.Set("A", "2");
    EXPECT_EQ(config.GetString("A", ""), "2");
    EXPECT_EQ(testkit::ReadFile(dir / L"zerva.ini"), "A = \"1\"\r\n");
}

TEST(Config, TypedGetters) {
    ScratchDir dir;
    Config config;
    testkit::WriteFile(dir / L"zerva.ini",
                       "T1 = YES\nT2 = On\nT3 = TRUE\nF1 = Off\nF2 = no\nX1 = 2\nX2 = y\nX3 = \"\"\n"
                       "I1 = 42abc\nI2 = -17\nI3 = abc\nI4 = 99999999999\nI5 = 0x1A\nI6 = \"\"\n");
    config.Load(dir / L"zerva.ini");
    EXPECT_TRUE(config.GetBool("T1", false));
    EXPECT_TRUE(config.GetBool("T2", false));
    EXPECT_TRUE(config.GetBool("T3", false));
    EXPECT_FALSE(config.GetBool("F1", true));
    EXPECT_FALSE(config.GetBool("F2", true));
    EXPECT_TRUE(config.GetBool("X1", true));
    EXPECT_FALSE(config.GetBool("X2", false));
    EXPECT_TRUE(config.GetBool("X3", true));
    EXPECT_EQ(config.GetString("X3", "def"), "");  // stored empty is not the default
    EXPECT_EQ(config.GetInt("I1", 7), 42);
    EXPECT_EQ(config.GetInt("I2", 7), -17);
    EXPECT_EQ(config.GetInt("I3", 7), 7);
    EXPECT_EQ(config.GetInt("I4", 7), 7);
    EXPECT_EQ(config.GetInt("I5", 7), 0);
    EXPECT_EQ(config.GetInt("I6", 7), 7);
    EXPECT_EQ(config.GetInt("lowercase_i1", 7), 7);  // keys are case-sensitive
}

TEST(Config, SettingsTableRowsAndTheirDefaults) {
    std::set<std::string> names;
    for (const SettingKey* key : setting::kAll) {
        EXPECT_TRUE(names.insert(key->name).second) << key->name;
        if (key->type == SettingType::Bool) {
            EXPECT_TRUE(std::string(key->def) == "1" || std::string(key->def) == "0") << key->name;
        }
    }
    EXPECT_EQ(names.size(), 20u);

    ScratchDir dir;
    Config config;
    testkit::WriteFile(dir / L"zerva.ini", "MYSQL_PORT = 3307\nSTART_ON_START = off\n");
    config.Load(dir / L"zerva.ini");
    EXPECT_EQ(config.GetInt(setting::kMysqlPort), 3307);
    EXPECT_FALSE(config.GetBool(setting::kStartOnStart));
    EXPECT_TRUE(config.GetBool(setting::kMinimizeToTray));      // row default "1"
    EXPECT_FALSE(config.GetBool(setting::kStartSystrayMode));   // row default "0"
    EXPECT_EQ(config.GetInt(setting::kApacheMode), 0);
    EXPECT_EQ(config.Get(setting::kMysqlRootPassword), "tulp");
    config.SetBool(setting::kConsoleOpen, false);
    EXPECT_EQ(config.GetString("CONSOLE_OPEN", ""), "0");
    EXPECT_NE(testkit::ReadFile(dir / L"zerva.ini").find("CONSOLE_OPEN = \"0\""), std::string::npos);
}

// phpMyAdmin's config.inc.php: written from its template, valid PHP for every password, updated in
// place keeping every other line, and the installed version.
#include "stack/phpmyadmin/config.h"

#include <random>
#include <regex>
#include <set>

#include "stack/database/data_dir.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kAwkwardPasswords;
using stacktest::ReadSingleQuoted;

namespace {

class PhpMyAdmin : public stacktest::RootTest {};

// Every line of the text as PHP reads it: the text outside single-quoted strings, each string
// replaced by a plain marker, and the string values in order. Fails when a string never closes.
struct PhpLines {
    std::vector<std::string> shapes, values;
};
PhpLines ReadPhp(const std::string& text) {
    PhpLines read;
    for (const std::string& line : SplitLines(text)) {
        std::string shape;
        for (size_t i = 0; i < line.size();) {
            if (line[i] != '\'') {
                shape += line[i++];
                continue;
            }
            const auto value = ReadSingleQuoted(line, i);
            if (!value) {
                ADD_FAILURE() << "unclosed string: " << line;
                break;
            }
            shape += "'S'";
            read.values.push_back(value->first);
            i = value->second;
        }
        read.shapes.push_back(shape);
    }
    return read;
}

}  // namespace

TEST_F(PhpMyAdmin, Write_TemplateFilledValidPhpForEveryPassword) {
    EXPECT_FALSE(WritePhpMyAdminConfig());  // no phpMyAdmin folder: never created here
    EXPECT_FALSE(IsDirectory(PhpMyAdminDir()));
    const PhpLines pristine = ReadPhp(kBuiltinPhpMyAdminTemplate);
    Config::Instance().Set(setting::kMysqlPort, "3310");
    std::set<std::string> secrets;
    for (const char* rootName : {"plain", "l'\xC3\xA9t\xC3\xA9"}) {
        SetRootDir(root / Utf8ToWide(rootName));
        ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()));
        const std::string temp = ToForwardSlashes(WideToUtf8(TempDir() + L"\\phpmyadmin"));
        for (const std::string& password : kAwkwardPasswords) {
            SCOPED_TRACE(std::string(rootName) + " / " + password);
            Config::Instance().Set(setting::kMysqlRootPassword, password);
            ASSERT_TRUE(WritePhpMyAdminConfig());
            const PhpLines php = ReadPhp(testkit::ReadFile(PhpMyAdminConfigPath()));
            EXPECT_EQ(php.shapes, pristine.shapes);  // every statement intact
            ASSERT_EQ(php.values.size(), pristine.values.size());
            for (size_t i = 0; i < php.values.size(); ++i) {
                const std::string& expected = pristine.values[i] == "@@SECRET@@"     ? php.values[i]
                                              : pristine.values[i] == "@@PORT@@"     ? "3310"
                                              : pristine.values[i] == "@@PASSWORD@@" ? password
                                              : pristine.values[i] == "@@TEMPDIR@@"  ? temp
                                                                                     : pristine.values[i];
                EXPECT_EQ(php.values[i], expected);
                if (pristine.values[i] == "@@SECRET@@") secrets.insert(php.values[i]);
            }
        }
    }
    EXPECT_EQ(secrets.size(), 2 * kAwkwardPasswords.size());  // a new secret at every write
    for (const std::string& secret : secrets)
        EXPECT_TRUE(std::regex_match(secret, std::regex("[A-Za-z0-9]{32}"))) << secret;
    // A value holding a placeholder's name is never expanded itself.
    EXPECT_EQ(FillPhpMyAdminTemplate("@@PASSWORD@@|@@TEMPDIR@@|@@@PORT@@", "s", 1, "@@TEMPDIR@@", "t"),
              "@@TEMPDIR@@|t|@1");
}

TEST_F(PhpMyAdmin, Update_PasswordAndPortOnly_EveryOtherLineKept) {
    UpdatePhpMyAdminConfig(1, "x");  // missing: nothing written
    EXPECT_FALSE(PathExists(PhpMyAdminConfigPath()));

    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()));
    ASSERT_TRUE(WritePhpMyAdminConfig());
    std::string text = testkit::ReadFile(PhpMyAdminConfigPath()) + "$cfg['Servers'][$i]['port'] = 3306;\n" +
                       "$cfg['Servers'][$i]['password'] = \"double\";\n";
    testkit::WriteFile(PhpMyAdminConfigPath(), text);
    for (const std::string& password : kAwkwardPasswords) {
        for (const std::string& changed : {password, "$1&" + password}) {
            SCOPED_TRACE(changed);
            UpdatePhpMyAdminConfig(3307, changed);
            const std::string updated = testkit::ReadFile(PhpMyAdminConfigPath());
            std::vector<std::string> before = SplitLines(text), after = SplitLines(updated);
            ASSERT_EQ(before.size(), after.size());
            for (size_t i = 0; i < before.size(); ++i) {
                if (StartsWith(before[i], "$cfg['Servers'][$i]['port'] = '"))
                    EXPECT_EQ(after[i], "$cfg['Servers'][$i]['port'] = '3307';");
                else if (StartsWith(before[i], "$cfg['Servers'][$i]['password'] = '"))
                    EXPECT_EQ(ReadSingleQuoted(after[i], after[i].find("= '") + 2)->first, changed);
                else
                    EXPECT_EQ(after[i], before[i]);
            }
            EXPECT_EQ(ReadPhp(updated).shapes, ReadPhp(text).shapes);
            text = updated;
        }
    }
}

TEST(PhpMyAdminText, UpdateScanner_RandomTexts_AgreeWithThePatterns) {
    const std::regex passwordPattern(R"re((\$cfg\['Servers'\]\[\$i\]\['password'\]\s*=\s*)'(?:[^'\\]|\\.)*'\s*;)re");
    const std::regex portPattern(R"re((\$cfg\['Servers'\]\[\$i\]\['port'\]\s*=\s*)'[^']*'\s*;)re");
    // Assignments of the template's shape, each piece of which may be missing or doubled.
    const std::vector<std::vector<std::string>> slots = {
        {"$cfg['Servers'][$i]['password']", "$cfg['Servers'][$i]['port']", "x"}, {"", " ", "\n"}, {"=", "=", ""},
        {"", " \r\n"}, {"'", "'", ""}, {"a", "\\'", "\\", "\\\n", "$1", "'", ""}, {"b", "\\\\", ""},
        {"'", "'", ""}, {"", " ", "\n"}, {";", ";", ""}};
    std::mt19937 random(7);
    int changed = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (int assignments = 0; assignments < 3; ++assignments)
            for (const auto& slot : slots) text += slot[std::uniform_int_distribution<size_t>(0, slot.size() - 1)(random)];
        const std::string expected = std::regex_replace(std::regex_replace(text, passwordPattern, "$1'p\\\\\\'w';"),
                                                        portPattern, "$1'3307';");
        ASSERT_EQ(UpdatePhpMyAdminText(text, 3307, "p\\'w"), expected) << testing::PrintToString(text);
        changed += expected != text;
    }
    EXPECT_GT(changed, 5000);
}

TEST_F(PhpMyAdmin, Version_ReleaseFileElseQuestionMarkElseNothing) {
    EXPECT_EQ(PhpMyAdminVersion(), "");
    testkit::WriteFile(PhpMyAdminDir() + L"\\index.php", "<?php");
    EXPECT_EQ(PhpMyAdminVersion(), "?");
    testkit::WriteFile(PhpMyAdminDir() + L"\\RELEASE-DATE-5.2.1", "");
    testkit::WriteFile(PhpMyAdminDir() + L"\\RELEASE-DATE-5.2.2", "");
    EXPECT_EQ(PhpMyAdminVersion(), "5.2.1");
}

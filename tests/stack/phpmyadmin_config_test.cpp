// phpMyAdmin's config.inc.php: written from its template, valid PHP for every password, updated in
// place keeping every other line, and the installed version.
#include "stack/phpmyadmin/config.h"

#include <windows.h>

#include <map>
#include <random>
#include <regex>
#include <set>

#include "core/handle.h"
#include "stack/database/data_dir.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kAwkwardPasswords;
using stacktest::ReadSingleQuoted;

namespace {
class PhpMyAdmin : public stacktest::RootTest {};

// The string PHP reads from a line "<statement start> = '<string>';", checking nothing follows it.
std::string Assigned(const std::string& line) {
    const auto value = ReadSingleQuoted(line, line.find("= '") + 2);
    EXPECT_TRUE(value && line.substr(value->second) == ";") << line;
    return value ? value->first : "<unclosed>";
}
}  // namespace

TEST_F(PhpMyAdmin, Write_TemplateFilledValidPhpForEveryPassword) {
    EXPECT_FALSE(WritePhpMyAdminConfig());  // no phpMyAdmin folder: never created here
    EXPECT_FALSE(IsDirectory(PhpMyAdminDir()));
    const std::vector<std::string> pristine = SplitLines(kBuiltinPhpMyAdminTemplate);
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
            const std::vector<std::string> lines = SplitLines(testkit::ReadFile(PhpMyAdminConfigPath()));
            ASSERT_EQ(lines.size(), pristine.size());
            const std::map<std::string, std::string> filled = {{"@@PORT@@", "3310"}, {"@@PASSWORD@@", password}, {"@@TEMPDIR@@", temp}};
            for (size_t i = 0; i < lines.size(); ++i) {
                const size_t at = pristine[i].find("@@");
                EXPECT_EQ(lines[i].substr(0, at), pristine[i].substr(0, at));  // the statement around it intact
                const std::string name = at == std::string::npos ? "" : pristine[i].substr(at, pristine[i].size() - at - 2);
                if (name == "@@SECRET@@") secrets.insert(Assigned(lines[i]));
                else if (!name.empty()) { EXPECT_EQ(Assigned(lines[i]), filled.at(name)); }
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

// No folder, or no secret (an empty one would leave phpMyAdmin's cookies open to forgery): refused
// with the reason, the previous file kept.
TEST_F(PhpMyAdmin, Write_MissingFolderOrRandomSourceFailing_RefusedWithTheReasonFileKept) {
    const std::string path = WideToUtf8(PhpMyAdminConfigPath());
    std::string error;
    EXPECT_FALSE(WritePhpMyAdminConfig(&error));
    EXPECT_EQ(error, "cannot write " + path + ": phpMyAdmin is not installed");
    testkit::WriteFile(PhpMyAdminConfigPath(), "previous");
    FailRandomForTesting(true);
    const bool written = WritePhpMyAdminConfig(&error);
    FailRandomForTesting(false);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + path + ": the random source failed");
    EXPECT_EQ(testkit::ReadFile(PhpMyAdminConfigPath()), "previous");
}

TEST_F(PhpMyAdmin, Update_PasswordAndPortOnly_EveryOtherLineKept) {
    std::string error;
    EXPECT_EQ(UpdatePhpMyAdminConfig(1, "x", error), PhpMyAdminUpdate::NotConfigured);  // nothing written
    EXPECT_FALSE(PathExists(PhpMyAdminConfigPath()));
    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
    const std::string secret = Assigned(SplitLines(testkit::ReadFile(PhpMyAdminConfigPath())).at(5));
    const std::string temp = ToForwardSlashes(WideToUtf8(TempDir() + L"\\phpmyadmin"));
    // Lines of another form than the template's stay as they are.
    const std::string odd = "$cfg['Servers'][$i]['port'] = 3306;\n$cfg['Servers'][$i]['password'] = \"x\";\n";
    testkit::WriteFile(PhpMyAdminConfigPath(), testkit::ReadFile(PhpMyAdminConfigPath()) + odd);
    for (const std::string& password : kAwkwardPasswords) {
        for (const std::string& changed : {password, "$1&" + password}) {  // no back-reference either
            EXPECT_EQ(UpdatePhpMyAdminConfig(3307, changed, error), PhpMyAdminUpdate::Updated) << error;
            EXPECT_EQ(testkit::ReadFile(PhpMyAdminConfigPath()),
                      FillPhpMyAdminTemplate(kBuiltinPhpMyAdminTemplate, secret, 3307, changed, temp) + odd);
        }
    }
    // Held open without sharing, as an editor or a virus scanner may: the failure says why.
    const std::string before = testkit::ReadFile(PhpMyAdminConfigPath());
    {
        const UniqueHandle held(::CreateFileW(PhpMyAdminConfigPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_EQ(UpdatePhpMyAdminConfig(1, "new", error), PhpMyAdminUpdate::Failed);
        EXPECT_EQ(error, "cannot read " + WideToUtf8(PhpMyAdminConfigPath()));
    }
    EXPECT_EQ(testkit::ReadFile(PhpMyAdminConfigPath()), before);
}

TEST(PhpMyAdminText, UpdateScanner_RandomTexts_AgreeWithThePatterns) {
    const std::regex password(R"re((\$cfg\['Servers'\]\[\$i\]\['password'\]\s*=\s*)'(?:[^'\\]|\\.)*'\s*;)re");
    const std::regex port(R"re((\$cfg\['Servers'\]\[\$i\]\['port'\]\s*=\s*)'[^']*'\s*;)re");
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
            for (const auto& slot : slots) text += slot[random() % slot.size()];
        const std::string expected = std::regex_replace(std::regex_replace(text, password, "$1'p\\\\\\'w';"), port, "$1'3307';");
        ASSERT_EQ(UpdatePhpMyAdminText(text, 3307, "p\\'w"), expected) << testing::PrintToString(text);
        changed += expected != text;
    }
    EXPECT_GT(changed, 5000);
}

TEST_F(PhpMyAdmin, Version_ReleaseFileElseQuestionMarkElseNothing) {
    for (const auto& [file, version] : {std::pair{L"", ""}, {L"index.php", "?"}, {L"RELEASE-DATE-5.2.2", "5.2.2"}, {L"RELEASE-DATE-5.2.1", "5.2.1"}}) {
        if (*file) testkit::WriteFile(PhpMyAdminDir() + L"\\" + file, "");
        EXPECT_EQ(PhpMyAdminVersion(), version);
    }
}

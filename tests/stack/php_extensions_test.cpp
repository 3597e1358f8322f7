// Tests of the extension list and switches and of the directive reads and writes on a build's
// php_zerva.ini, with the ext and zend_ext folders made by each test.
#include "stack/php/extensions.h"

#include <ostream>

#include "tests/stack/php_fixture.h"

using phptest::Files;

namespace {

class PhpExtensions : public phptest::PhpRootTest {
protected:
    // A build whose template holds these lines, plus the given extra files.
    PhpInstall WithTemplate(const std::string& text, Files files = {}) {
        files.push_back({"php8ts.dll", ""});
        files.push_back({"php_zerva.ini", text});
        MakeBuild("php-8.3.14", files);
        return Find("php-8.3.14");
    }
    std::string Template(const PhpInstall& b) { return testkit::ReadFile(PhpTemplatePath(b)); }
};

struct Row {
    std::string name;
    bool enabled, zend, dllPresent;
    bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << r.name << (r.enabled ? " on" : " off") << (r.zend ? " zend" : "") << (r.dllPresent ? " dll" : "");
}
std::vector<Row> Rows(const std::vector<PhpExtension>& list) {
    std::vector<Row> rows;
    for (const auto& e : list) rows.push_back({e.name, e.enabled, e.zend, e.dllPresent});
    return rows;
}

}  // namespace

// ---- Listing ----

TEST_F(PhpExtensions, List_TemplateAndExtFolder_MergedAndSorted) {
    const PhpInstall b = WithTemplate(
        ";extension=mbstring\r\n"
        "extension=php_mbstring.dll\r\n"  // listed twice: on when any line is active
        ";extension=curl\r\n"
        "; extension=modulename\r\n"
        ";extension=modulename\r\n"      // the samples' placeholder is no extension
        "zend_extension=opcache\r\n"
        "extension=\"C:\\elsewhere\\php_gone.dll\"\r\n",
        {{"ext/php_mbstring.dll", ""}, {"ext/php_curl.dll", ""}, {"ext/php_opcache.dll", ""},
         {"ext/php_xdebug.dll", ""}, {"ext/php_ldap.dll", ""}, {"ext/readme.txt", ""}});
    EXPECT_EQ(Rows(ListPhpExtensions(b)), (std::vector<Row>{
                                              {"curl", false, false, true},
                                              {"gone", true, false, false},
                                              {"ldap", false, false, true},
                                              {"mbstring", true, false, true},
                                              {"opcache", true, true, true},
                                              {"xdebug", false, true, true},
                                          }));
}

TEST_F(PhpExtensions, List_AbsolutePathWithZendMacro_PresentWhenFileExists) {
    const PhpInstall b = WithTemplate(
        "zend_extension=\"{PHPZENDPATH}\\php_xdebug.dll\"\r\n"
        ";zend_extension={PHPZENDPATH}\\php_missing.dll\r\n"
        "extension={PHPEXTPATH}\\php_custom.dll\r\n",
        {{"zend_ext/php_xdebug.dll", ""}});
    EXPECT_EQ(Rows(ListPhpExtensions(b)), (std::vector<Row>{
                                              {"custom", true, false, false},
                                              {"missing", false, true, false},
                                              {"xdebug", true, true, true},
                                          }));
}

TEST_F(PhpExtensions, List_NoTemplate_ListsExtFolderOnly) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"ext/php_opcache.dll", ""}, {"ext/php_zip.dll", ""}});
    EXPECT_EQ(Rows(ListPhpExtensions(Find("php-8.3.14"))),
              (std::vector<Row>{{"opcache", false, true, true}, {"zip", false, false, true}}));
}

// ---- Switching ----

TEST_F(PhpExtensions, Switch_EnableTouchesFirstLineOnly_DisableEveryActiveLine) {
    const PhpInstall b = WithTemplate(
        "[PHP]\r\n"
        "  ;extension=mbstring ; multibyte\r\n"
        ";extension=php_mbstring.dll\r\n"
        ";extension=mbstringx\r\n");
    std::string error;
    ASSERT_TRUE(SetPhpExtension(b, {{"mbstring", true}}, error)) << error;
    EXPECT_EQ(Template(b),
              "[PHP]\r\n"
              "  extension=mbstring ; multibyte\r\n"
              ";extension=php_mbstring.dll\r\n"
              ";extension=mbstringx\r\n");
    testkit::WriteFile(PhpTemplatePath(b), "extension=mbstring\r\nextension=\"PHP_MBSTRING.DLL\"\r\n;extension=mbstring\r\n");
    ASSERT_TRUE(SetPhpExtension(b, {{"mbstring", false}}, error)) << error;
    EXPECT_EQ(Template(b), ";extension=mbstring\r\n;extension=\"PHP_MBSTRING.DLL\"\r\n;extension=mbstring\r\n");
}

TEST_F(PhpExtensions, Switch_MissingExtension_InsertedAfterLastExtensionLine) {
    const PhpInstall b = WithTemplate(
        "[PHP]\r\n"
        "extension=curl\r\n"
        ";zend_extension=opcache\r\n"
        "[Date]\r\n"
        "date.timezone = UTC\r\n");
    std::string error;
    ASSERT_TRUE(SetPhpExtension(b, {{"xdebug", true}, {"ldap", true}, {"gone", false}}, error)) << error;
    // The map's order: "gone" (nothing to do), then ldap, then xdebug after ldap's new line.
    EXPECT_EQ(Template(b),
              "[PHP]\r\n"
              "extension=curl\r\n"
              ";zend_extension=opcache\r\n"
              "extension=ldap\r\n"
              "zend_extension=xdebug\r\n"
              "[Date]\r\n"
              "date.timezone = UTC\r\n");
}

TEST_F(PhpExtensions, Switch_NoExtensionLines_AppendsAtEnd) {
    const PhpInstall b = WithTemplate("[PHP]\nengine = On\n");
    std::string error;
    ASSERT_TRUE(SetPhpExtension(b, {{"opcache", true}}, error)) << error;
    EXPECT_EQ(Template(b), "[PHP]\r\nengine = On\r\nzend_extension=opcache\r\n");
}

TEST_F(PhpExtensions, Switch_Failures_ReportAndLeaveTemplate) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    const PhpInstall missing = Find("php-8.3.14");
    std::string error;
    EXPECT_FALSE(SetPhpExtension(missing, {{"curl", true}}, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(PhpTemplatePath(missing)));
    EXPECT_FALSE(PathExists(PhpTemplatePath(missing)));

    const PhpInstall b = WithTemplate(";extension=curl\r\n");
    // A line break in a name would write a second, unrelated line into the template.
    EXPECT_FALSE(SetPhpExtension(b, {{"curl", true}, {"x\r\nextension=evil", true}}, error));
    EXPECT_EQ(error, "invalid extension name");
    EXPECT_FALSE(SetPhpExtension(b, {{"", true}}, error));
    EXPECT_EQ(Template(b), ";extension=curl\r\n");
}

// ---- Directives ----

TEST_F(PhpExtensions, ReadDirective_FirstActiveLine_QuotesAndCommentsRemoved) {
    const PhpInstall b = WithTemplate(
        ";memory_limit = 1G\r\n"
        "Memory_Limit = 256M ; comment\r\n"
        "memory_limit = 512M\r\n"
        "error_log = \"C:\\logs\\php errors.log\" ; where\r\n"
        "html_errors = \"unterminated\r\n"
        ";display_errors = On\r\n"
        "dateXtimezone = Europe/Paris\r\n"
        "date.timezone=\r\n");
    EXPECT_EQ(ReadPhpDirective(b, "memory_limit"), "256M");
    EXPECT_EQ(ReadPhpDirective(b, "error_log"), "C:\\logs\\php errors.log");
    EXPECT_EQ(ReadPhpDirective(b, "html_errors"), "unterminated");
    EXPECT_EQ(ReadPhpDirective(b, "display_errors"), std::nullopt);  // only commented out
    EXPECT_EQ(ReadPhpDirective(b, "date.timezone"), "");               // the "." is no wildcard
    EXPECT_EQ(ReadPhpDirective(b, "max_input_vars"), std::nullopt);
    EXPECT_EQ(ReadPhpDirective(b, ""), std::nullopt);
    EXPECT_EQ(ReadPhpDirective(b, ";memory_limit"), std::nullopt);
}

TEST_F(PhpExtensions, ReadDirective_NoTemplate_Nothing) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    EXPECT_EQ(ReadPhpDirective(Find("php-8.3.14"), "memory_limit"), std::nullopt);
}

TEST_F(PhpExtensions, SetDirective_ActiveThenCommentedThenAppended) {
    const PhpInstall b = WithTemplate(
        "; max_execution_time = 30\r\n"
        ";memory_limit = 64M\r\n"
        "  memory_limit=128M ; note\r\n"
        "dateXtimezone = UTC\r\n");
    std::string error;
    ASSERT_TRUE(SetPhpDirective(b,
                                {{"max_execution_time", "60"},
                                 {"memory_limit", "-1"},
                                 {"date.timezone", "\"Europe/Paris\""},
                                 {"error_log", ""}},
                                error))
        << error;
    EXPECT_EQ(Template(b),
              "max_execution_time = 60\r\n"
              ";memory_limit = 64M\r\n"
              "memory_limit = -1\r\n"
              "dateXtimezone = UTC\r\n"
              "date.timezone = \"Europe/Paris\"\r\n"
              "error_log = \r\n");
    EXPECT_EQ(ReadPhpDirective(b, "date.timezone"), "Europe/Paris");
}

TEST_F(PhpExtensions, SetDirective_Failures_ReportAndLeaveTemplate) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    const PhpInstall missing = Find("php-8.3.14");
    std::string error;
    EXPECT_FALSE(SetPhpDirective(missing, {{"memory_limit", "1G"}}, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(PhpTemplatePath(missing)));

    const PhpInstall b = WithTemplate("memory_limit = 128M\r\n");
    EXPECT_FALSE(SetPhpDirective(b, {{"memory_limit", "1G\r\nextension=evil"}}, error));
    EXPECT_EQ(error, "invalid value for memory_limit");
    EXPECT_FALSE(SetPhpDirective(b, {{"a=b", "1"}}, error));
    EXPECT_EQ(error, "invalid directive name");
    EXPECT_FALSE(SetPhpDirective(b, {{" memory_limit", "1"}}, error));
    EXPECT_EQ(Template(b), "memory_limit = 128M\r\n");
}

TEST_F(PhpExtensions, HundredKilobyteLines_ListSwitchReadAndSetWork) {
    const size_t n = 100 * 1024;
    const std::string longValue = "extension=" + std::string(n, 'a');
    const std::string longBlanks = std::string(n, ' ') + ";" + std::string(n, ' ') + "memory_limit";
    const std::string longComment = "memory_limit = 2G ;" + std::string(n, 'c');
    const PhpInstall b = WithTemplate(longValue + "\r\n" + longBlanks + "\r\n" + longComment + "\r\n" + ";extension=curl\r\n");
    const auto list = ListPhpExtensions(b);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, std::string(n, 'a'));
    EXPECT_EQ(ReadPhpDirective(b, "memory_limit"), "2G");
    std::string error;
    ASSERT_TRUE(SetPhpExtension(b, {{"curl", true}}, error)) << error;
    ASSERT_TRUE(SetPhpDirective(b, {{"memory_limit", "1G"}}, error)) << error;
    EXPECT_EQ(Template(b), longValue + "\r\n" + longBlanks + "\r\nmemory_limit = 1G\r\nextension=curl\r\n");
}

TEST(PhpRegexEscape, EverySpecialCharacter_GetsABackslash) {
    EXPECT_EQ(RegexEscape("date.timezone"), "date\\.timezone");
    EXPECT_EQ(RegexEscape(".^$|()[]{}*+?\\"), "\\.\\^\\$\\|\\(\\)\\[\\]\\{\\}\\*\\+\\?\\\\");
    EXPECT_EQ(RegexEscape("max_input_vars-2/x"), "max_input_vars-2/x");
}

TEST(PhpSettingsTable, Rows_KeysInOrderWithChoicesForListedTypes) {
    const auto& table = PhpSettingsTable();
    ASSERT_EQ(table.size(), 25u);
    EXPECT_STREQ(table.front().key, "display_errors");
    EXPECT_STREQ(table[16].key, "date.timezone");
    EXPECT_STREQ(table.back().key, "xdebug.start_with_request");
    for (const auto& row : table) {
        const std::string type = row.type;
        const bool listed = type == "enum" || type == "size" || type == "int";
        EXPECT_TRUE(listed || type == "bool" || type == "text") << row.key;
        EXPECT_EQ(listed, std::string(row.choices).size() > 0) << row.key;
        EXPECT_GT(std::string(row.description).size(), 0u) << row.key;
    }
}

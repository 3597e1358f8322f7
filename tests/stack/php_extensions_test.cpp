// The extension list and switches and the directive reads and writes on a build's php_zerva.ini.
#include "stack/php/extensions.h"

#include "tests/stack/stack_fixture.h"

using stacktest::Files;

namespace {
class PhpExtensions : public stacktest::PhpRootTest {
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

// One entry per extension: its name, then " on", " zend" and " dll" for the flags that are set.
std::string Describe(const std::vector<PhpExtension>& list) {
    std::string out;
    for (const auto& e : list)
        out += e.name + (e.enabled ? " on" : "") + (e.zend ? " zend" : "") + (e.dllPresent ? " dll" : "") + "; ";
    return out;
}
}  // namespace

TEST_F(PhpExtensions, List_TemplateAndExtFolder_MergedAndSorted) {
    const PhpInstall b = WithTemplate(
        ";extension=mbstring\r\n"
        "extension=php_mbstring.dll\r\n"  // listed three times: on when any line is active
        ";extension=MBSTRING\r\n"
        ";extension=curl\r\n"
        "; extension=modulename\r\n"
        ";extension=modulename\r\n"      // the samples' placeholder is no extension
        "Zend_Extension=opcache\r\n"     // keywords in any case
        "extension=\"C:\\elsewhere\\php_gone.dll\"\r\n",
        {{"ext/php_mbstring.dll", ""}, {"ext/php_curl.dll", ""}, {"ext/php_opcache.dll", ""},
         {"ext/php_xdebug.dll", ""}, {"ext/php_ldap.dll", ""}, {"ext/readme.txt", ""}});
    EXPECT_EQ(Describe(ListPhpExtensions(b)),
              "curl dll; gone on; ldap dll; mbstring on dll; opcache on zend dll; xdebug zend dll; ");
    // Without a template the ext folder alone is listed.
    ASSERT_TRUE(RemoveTree(PhpTemplatePath(b)));
    EXPECT_EQ(Describe(ListPhpExtensions(b)), "curl dll; ldap dll; mbstring dll; opcache zend dll; xdebug zend dll; ");
}

TEST_F(PhpExtensions, List_AbsolutePathWithZendMacro_PresentWhenFileExists) {
    const PhpInstall b = WithTemplate(
        "zend_extension=\"{PHPZENDPATH}\\php_xdebug.dll\"\r\n"
        ";zend_extension={PHPZENDPATH}\\php_missing.dll\r\n"
        "extension={PHPEXTPATH}\\php_custom.dll\r\n",
        {{"zend_ext/php_xdebug.dll", ""}});
    EXPECT_EQ(Describe(ListPhpExtensions(b)), "custom on; missing zend; xdebug on zend dll; ");
}

TEST_F(PhpExtensions, Switch_Changes_RewriteOnlyTheirLines) {
    const std::tuple<const char*, const char*, std::map<std::string, bool>, const char*> cases[] = {
        {"on: the first line only, indentation and comment kept",
         "[PHP]\r\n  ;extension=mbstring ; multibyte\r\n;extension=php_mbstring.dll\r\n;extension=mbstringx\r\n",
         {{"mbstring", true}},
         "[PHP]\r\n  extension=mbstring ; multibyte\r\n;extension=php_mbstring.dll\r\n;extension=mbstringx\r\n"},
        {"off: every active line",
         "  extension=mbstring\r\nextension=\"PHP_MBSTRING.DLL\"\r\n;extension=mbstring\r\n",
         {{"mbstring", false}},
         "  ;extension=mbstring\r\n;extension=\"PHP_MBSTRING.DLL\"\r\n;extension=mbstring\r\n"},
        // The map's order: "gone" (nothing to do), then ldap, then xdebug after ldap's new line.
        {"missing: inserted after the last extension line",
         "[PHP]\r\nextension=curl\r\n;zend_extension=opcache\r\n[Date]\r\ndate.timezone = UTC\r\n",
         {{"xdebug", true}, {"ldap", true}, {"gone", false}},
         "[PHP]\r\nextension=curl\r\n;zend_extension=opcache\r\nextension=ldap\r\nzend_extension=xdebug\r\n"
         "[Date]\r\ndate.timezone = UTC\r\n"},
        {"no extension line: appended at the end", "[PHP]\nengine = On\n", {{"opcache", true}},
         "[PHP]\r\nengine = On\r\nzend_extension=opcache\r\n"},
    };
    for (const auto& [name, text, changes, expected] : cases) {
        const PhpInstall b = WithTemplate(text);
        std::string error;
        EXPECT_TRUE(SetPhpExtension(b, changes, error)) << error;
        EXPECT_EQ(Template(b), expected) << name;
    }
}

TEST_F(PhpExtensions, Edits_NoTemplateOrBadInput_ReportAndLeaveTemplate) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    const PhpInstall missing = Find("php-8.3.14");
    const std::string cannotRead = "cannot read " + WideToUtf8(PhpTemplatePath(missing));
    std::string error, directiveError;
    EXPECT_FALSE(SetPhpExtension(missing, {{"curl", true}}, error) || SetPhpDirective(missing, {{"memory_limit", "1G"}}, directiveError));
    EXPECT_TRUE(error == cannotRead && directiveError == cannotRead) << error << directiveError;
    EXPECT_FALSE(PathExists(PhpTemplatePath(missing)));
    const PhpInstall b = WithTemplate("memory_limit = 128M\r\n;extension=curl\r\n");
    // A line break in a name or value would write a second, unrelated line into the template.
    const std::pair<std::function<bool()>, const char*> refused[] = {
        {[&] { return SetPhpExtension(b, {{"curl", true}, {"x\r\nextension=evil", true}}, error); }, "invalid extension name"},
        {[&] { return SetPhpExtension(b, {{"", true}}, error); }, "invalid extension name"},
        {[&] { return SetPhpDirective(b, {{"memory_limit", "1G\r\nextension=evil"}}, error); }, "invalid value for memory_limit"},
        {[&] { return SetPhpDirective(b, {{"a=b", "1"}}, error); }, "invalid directive name"},
        {[&] { return SetPhpDirective(b, {{" memory_limit", "1"}}, error); }, "invalid directive name"}};
    for (const auto& [edit, message] : refused) EXPECT_TRUE(!edit() && error == message) << message << ": " << error;
    EXPECT_EQ(Template(b), "memory_limit = 128M\r\n;extension=curl\r\n");
    // A template that cannot be written back: the error says why (a folder where the new text goes).
    ASSERT_TRUE(EnsureDirectory(PhpTemplatePath(b) + L".zvtmp"));
    EXPECT_FALSE(SetPhpExtension(b, {{"curl", true}}, error) || SetPhpDirective(b, {{"memory_limit", "1G"}}, directiveError));
    EXPECT_TRUE(stacktest::CannotWriteWithReason(error, PhpTemplatePath(b)) && directiveError == error) << error;
    EXPECT_EQ(Template(b), "memory_limit = 128M\r\n;extension=curl\r\n");
}

// PHP ends a line at CR LF, LF or a lone CR; so does every reader of the template. A write puts
// CR LF after every line, as for any template.
TEST_F(PhpExtensions, LoneCrLineEnds_ListedReadAndEditedLineByLine) {
    const PhpInstall b = WithTemplate("[PHP]\rextension=curl\r;extension=ldap\rmemory_limit = 256M\r",
                                      {{"ext/php_curl.dll", ""}, {"ext/php_ldap.dll", ""}});
    EXPECT_EQ(Describe(ListPhpExtensions(b)), "curl on dll; ldap dll; ");
    EXPECT_EQ(ReadPhpDirective(b, "memory_limit"), "256M");
    std::string error;
    ASSERT_TRUE(SetPhpExtension(b, {{"ldap", true}}, error) && SetPhpDirective(b, {{"memory_limit", "1G"}}, error)) << error;
    EXPECT_EQ(Template(b), "[PHP]\r\nextension=curl\r\nextension=ldap\r\nmemory_limit = 1G\r\n");
}

TEST_F(PhpExtensions, ReadDirective_LastActiveLine_QuotesAndCommentsRemoved) {
    const PhpInstall b = WithTemplate(
        ";memory_limit = 1G\r\nmemory_limit = 256M\r\nMemory_Limit = 512M ; comment\r\n;memory_limit = 2G\r\n"
        "error_log = \"C:\\logs\\php errors.log\" ; where\r\nhtml_errors = \"unterminated\r\n"
        ";display_errors = On\r\ndateXtimezone = Europe/Paris\r\ndate.timezone=\r\n");
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"memory_limit", "512M"},   // set twice: PHP applies the last line
        {"error_log", "C:\\logs\\php errors.log"}, {"html_errors", "unterminated"},
        {"display_errors", std::nullopt},   // only commented out
        {"date.timezone", ""},              // the "." is no wildcard
        {"max_input_vars", std::nullopt}, {"", std::nullopt}, {";memory_limit", std::nullopt}};
    for (const auto& [key, value] : cases) EXPECT_EQ(ReadPhpDirective(b, key), value) << key;
    ASSERT_TRUE(RemoveTree(PhpTemplatePath(b)));
    EXPECT_EQ(ReadPhpDirective(b, "memory_limit"), std::nullopt);
}

TEST_F(PhpExtensions, SetDirective_LastActiveThenFirstCommentedThenAppended) {
    const PhpInstall b = WithTemplate(
        "; max_execution_time = 30\r\n;max_execution_time = 40\r\n;memory_limit = 64M\r\n  memory_limit=128M ; note\r\n"
        "dateXtimezone = UTC\r\nmemory_limit = 256M\r\n;memory_limit = 1G\r\n");
    std::string error;
    ASSERT_TRUE(SetPhpDirective(b, {{"max_execution_time", "60"}, {"memory_limit", "-1"},
                                    {"date.timezone", "\"Europe/Paris\""}, {"error_log", ""}}, error)) << error;
    EXPECT_EQ(Template(b), "max_execution_time = 60\r\n;max_execution_time = 40\r\n;memory_limit = 64M\r\n"
                           "  memory_limit=128M ; note\r\ndateXtimezone = UTC\r\nmemory_limit = -1\r\n;memory_limit = 1G\r\n"
                           "date.timezone = \"Europe/Paris\"\r\nerror_log = \r\n");
    EXPECT_EQ(ReadPhpDirective(b, "date.timezone"), "Europe/Paris");
}

// PHP applies a [HOST=...] or [PATH=...] section (any case, blanks after the bracket skipped) to
// that host or folder alone, loads no extension from it, and ends it at any other header: reads
// and edits go to the other lines, a new one before such sections and their comment when they end
// the file. A template saved with a byte-order mark is read as text and written back without it.
TEST_F(PhpExtensions, HostAndPathSectionsAndMark_OnlyTheLinesOfEveryRequestReadAndEdited) {
    const std::string sections = "[ host=dev.localhost]\r\nmemory_limit = 1G\r\nextension=ldap\r\n[Date]\r\ndate.timezone = UTC\r\n";
    const std::string folder = "; per folder\r\n[PATH=C:/www]\r\n;max_execution_time = 5\r\n";
    const PhpInstall b = WithTemplate("\xEF\xBB\xBF[PHP]\r\nmemory_limit = 128M\r\nextension=curl\r\n" + sections + folder,
                                      {{"ext/php_curl.dll", ""}, {"ext/php_ldap.dll", ""}});
    EXPECT_EQ(Describe(ListPhpExtensions(b)), "curl on dll; ldap dll; ");
    EXPECT_TRUE(ReadPhpDirective(b, "memory_limit") == "128M" && ReadPhpDirective(b, "date.timezone") == "UTC");
    std::string error;
    ASSERT_TRUE(SetPhpDirective(b, {{"memory_limit", "384M"}, {"max_execution_time", "60"}}, error) &&
                SetPhpExtension(b, {{"ldap", true}}, error)) << error;
    EXPECT_EQ(Template(b), "[PHP]\r\nmemory_limit = 384M\r\nextension=curl\r\nextension=ldap\r\n" + sections +
                               "max_execution_time = 60\r\n" + folder);
    // Without a global extension line the new one goes before the sections too.
    testkit::WriteFile(PhpTemplatePath(b), "[PHP]\r\nengine = On\r\n[HOST=a]\r\nextension=curl\r\n");
    ASSERT_TRUE(SetPhpExtension(b, {{"opcache", true}}, error)) << error;
    EXPECT_EQ(Template(b), "[PHP]\r\nengine = On\r\nzend_extension=opcache\r\n[HOST=a]\r\nextension=curl\r\n");
}

// tests/core/templates_test.cpp: the built-in texts keep the shape their readers rely on: LF
// line ends, the macros and placeholders the generators replace, balanced Apache blocks, and
// lines that other modules find by pattern.
#include "core/layout.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> Lines(std::string_view text) { return SplitLines(text); }

bool IsComment(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line[first] == '#';
}

// The {NAME} macros of the lines the generators expand (comment lines are copied as written).
std::set<std::string> MacrosOutsideComments(std::string_view text) {
    static const std::regex macro(R"(\{([A-Z0-9_]+)\})");
    std::set<std::string> names;
    for (const std::string& line : Lines(text)) {
        if (IsComment(line)) continue;
        for (std::sregex_iterator it(line.begin(), line.end(), macro), end; it != end; ++it)
            names.insert((*it)[1]);
    }
    return names;
}

size_t Count(std::string_view text, std::string_view needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

size_t CountLine(std::string_view text, const std::string& wanted) {
    size_t count = 0;
    for (const std::string& line : Lines(text)) count += line == wanted ? 1 : 0;
    return count;
}

struct Builtin {
    const char* name;
    const char* text;
    size_t lineCount;  // 0: not fixed
};

const Builtin kBuiltins[] = {
    {"httpd_zerva.conf", kBuiltinApacheTemplate, 144},
    {"my_zerva.ini", kBuiltinMyTemplate, 21},
    {"config.inc.php", kBuiltinPhpMyAdminTemplate, 20},
    {"index.php", kDefaultHomePage, 0},
};

}  // namespace

TEST(Templates, AllTexts_LfOnlyAsciiAndFinalLf) {
    for (const Builtin& builtin : kBuiltins) {
        SCOPED_TRACE(builtin.name);
        const std::string_view text = builtin.text;
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find('\r'), std::string_view::npos);
        for (const char c : text) {
            // A typographic quote or a stray byte would break the configuration readers.
            ASSERT_TRUE(c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7f)) << int(c);
        }
        if (builtin.lineCount != 0) {
            EXPECT_EQ(Count(text, "\n"), builtin.lineCount);
        }
    }
}

TEST(Templates, ApacheTemplate_LoadModulesMarker_OnceOnItsOwnLine) {
    EXPECT_EQ(Count(kBuiltinApacheTemplate, "@@LOADMODULES@@"), 1u);
    EXPECT_EQ(CountLine(kBuiltinApacheTemplate, "@@LOADMODULES@@"), 1u);
}

TEST(Templates, ApacheTemplate_Macros_ExactlyThoseTheGeneratorFills) {
    const std::set<std::string> expected = {
        "APACHEPATH", "APACHE_PORT", "DOCUMENTPATH", "LISTEN_VIRTUAL_HOST_PORT", "ONLINE_MODE",
        "PHPAPACHE2FILE", "PHPAPPS", "PHPMODULENAME", "PHPPATH"};
    EXPECT_EQ(MacrosOutsideComments(kBuiltinApacheTemplate), expected);
    EXPECT_EQ(CountLine(kBuiltinApacheTemplate, "{LISTEN_VIRTUAL_HOST_PORT}"), 1u);
}

TEST(Templates, ApacheTemplate_Blocks_NestAndClose) {
    static const std::regex open(R"(^\s*<([A-Za-z]+)[\s>])");
    static const std::regex close(R"(^\s*</([A-Za-z]+)>)");
    std::vector<std::string> stack;
    size_t virtualHosts = 0;
    for (const std::string& line : Lines(kBuiltinApacheTemplate)) {
        std::smatch m;
        if (std::regex_search(line, m, close)) {
            ASSERT_FALSE(stack.empty()) << line;
            EXPECT_EQ(stack.back(), m[1].str()) << line;
            stack.pop_back();
        } else if (std::regex_search(line, m, open)) {
            stack.push_back(m[1]);
            if (m[1] == "VirtualHost") {
                EXPECT_EQ(stack.size(), 1u) << "virtual hosts are top-level blocks";
                ++virtualHosts;
            }
        }
    }
    EXPECT_TRUE(stack.empty());
    EXPECT_EQ(virtualHosts, 2u);
}

TEST(Templates, ApacheTemplate_KeyLines_ExactWithTabs) {
    // Lines other modules find again by their exact text (virtual-host editing, SSL checks).
    const struct {
        const char* line;
        size_t count;
    } kLines[] = {
        {"<VirtualHost *:80>", 1},
        {"<VirtualHost *:443>", 1},
        {"\tSSLEngine on", 1},
        {"\tSSLCertificateFile \"{APACHEPATH}/conf/ssl/localhost.crt\"", 1},
        {"\tSSLCertificateKeyFile \"{APACHEPATH}/conf/ssl/localhost.key\"", 1},
        {"\tAlias \"/mysql\" \"{PHPAPPS}/phpmyadmin/\"", 2},
        {"\t\t{ONLINE_MODE}", 2},
        {"LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"", 1},
        {"ServerName localhost:{APACHE_PORT}", 1},
        {"        SSLSessionCache \"shmcb:{APACHEPATH}/logs/ssl_scache(512000)\"", 1},
    };
    for (const auto& expected : kLines)
        EXPECT_EQ(CountLine(kBuiltinApacheTemplate, expected.line), expected.count) << expected.line;
    EXPECT_EQ(Lines(kBuiltinApacheTemplate).back(), "</VirtualHost>");
}

TEST(Templates, MyTemplate_Macros_ExactlyThoseTheGeneratorFills) {
    const std::set<std::string> expected = {"MYSQLDATAPATH", "MYSQLPATH", "MYSQL_BIND", "MYSQL_PORT",
                                            "TEMPPATH"};
    EXPECT_EQ(MacrosOutsideComments(kBuiltinMyTemplate), expected);
}

TEST(Templates, MyTemplate_Sections_ServerThenClient) {
    const std::vector<std::string> lines = Lines(kBuiltinMyTemplate);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[4], "[mysqld]");
    EXPECT_EQ(lines[7], "port = {MYSQL_PORT}");
    EXPECT_EQ(lines[8], "bind-address = {MYSQL_BIND}");
    EXPECT_EQ(lines[18], "[client]");
    EXPECT_EQ(lines[19], "port = {MYSQL_PORT}");
    // The error log is found again by this pattern; the template's own line must satisfy it.
    const std::regex logError(R"re(^\s*log[-_]error\s*=\s*"?([^"\r\n]+?)"?\s*$)re", std::regex::icase);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[9], m, logError));
    EXPECT_EQ(m[1], "{MYSQLDATAPATH}/mysql_error.log");
}

TEST(Templates, PhpMyAdminTemplate_Placeholders_EachOnceNoBraceMacros) {
    const char* text = kBuiltinPhpMyAdminTemplate;
    for (const char* placeholder : {"@@SECRET@@", "@@PORT@@", "@@PASSWORD@@", "@@TEMPDIR@@"})
        EXPECT_EQ(Count(text, placeholder), 1u) << placeholder;
    EXPECT_EQ(Count(text, "@@"), 8u);
    EXPECT_EQ(Count(text, "{"), 0u);
    EXPECT_EQ(Lines(text).front(), "<?php");
}

TEST(Templates, PhpMyAdminTemplate_PasswordAndPortLines_MatchUpdatePatterns) {
    // Password and port changes rewrite these lines in place; a template they miss would leave
    // phpMyAdmin logging in with stale values.
    const std::string text = kBuiltinPhpMyAdminTemplate;
    const std::regex password(
        R"((\$cfg\['Servers'\]\[\$i\]\['password'\]\s*=\s*)'(?:[^'\\]|\\.)*'\s*;)");
    const std::regex port(R"((\$cfg\['Servers'\]\[\$i\]\['port'\]\s*=\s*)'[^']*'\s*;)");
    const auto matches = [&](const std::regex& re) {
        return std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator());
    };
    EXPECT_EQ(matches(password), 1);
    EXPECT_EQ(matches(port), 1);
}

TEST(Templates, DefaultHomePage_Content_LinksCardsAndPalettes) {
    const std::string_view page = kDefaultHomePage;
    const std::string first = Lines(page).front();
    EXPECT_EQ(first.rfind("<?php //", 0), 0u) << first;
    for (const char* part : {"href=\"/mysql/\">phpMyAdmin<", "href=\"/zerva/phpinfo.php\">phpinfo()<",
                             ">Tools<", ">Projects (www folder)<", ">Loaded PHP extensions (",
                             "No project yet: create a folder in <code>www</code>",
                             "href=\"/<?= rawurlencode($name) ?>/\"", "SORT_NATURAL | SORT_FLAG_CASE",
                             "$_SERVER['SERVER_SOFTWARE'] ?? 'Apache'", "max-width: 1000px",
                             "15px \"Segoe UI\"", "border-radius: 12px", "minmax(200px, 1fr)"})
        EXPECT_NE(page.find(part), std::string_view::npos) << part;
    const size_t light = page.find("prefers-color-scheme: light");
    ASSERT_NE(light, std::string_view::npos);
    for (const char* dark : {"#0f1117", "#181b24", "#262a36", "#e6e8ee", "#9aa0ae", "#6c7cff"})
        EXPECT_LT(page.find(dark), light) << dark;
    for (const char* bright : {"#f5f6fa", "#ffffff", "#e3e5ec", "#1b1e27", "#5f6577", "#4f5bd5"}) {
        const size_t at = page.find(bright);
        EXPECT_TRUE(at != std::string_view::npos && at > light) << bright;
    }
}

TEST(Templates, DefaultHomePage_Output_AlwaysEscapedAndTagsClosed) {
    const std::string_view page = kDefaultHomePage;
    // Folder and extension names reach the page: every echo goes through an escaping call.
    for (size_t at = page.find("<?="); at != std::string_view::npos; at = page.find("<?=", at + 1)) {
        const std::string_view echo = page.substr(at + 4, 14);
        EXPECT_TRUE(echo.rfind("h(", 0) == 0 || echo.rfind("rawurlencode(", 0) == 0) << echo;
    }
    EXPECT_EQ(Count(page, "<?php") + Count(page, "<?="), Count(page, "?>"));
    EXPECT_NE(page.find("htmlspecialchars("), std::string_view::npos);
}

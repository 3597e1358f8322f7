// tests/core/templates_test.cpp: the built-in texts keep what their readers rely on: plain ASCII
// with LF line ends, exactly the macros the generators fill, and the lines found again by pattern.
// (The Apache template's host layout is checked by its round trip in the Apache config tests.)
#include "core/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>

#include "core/text.h"

namespace {

size_t Count(const std::string& text, const std::regex& pattern) {
    return size_t(std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator()));
}

// The {NAME} macros outside comment lines (those are copied as written).
std::set<std::string> Macros(const std::string& text) {
    static const std::regex macro(R"(\{([A-Z0-9_]+)\})");
    std::set<std::string> names;
    for (const std::string& line : SplitLines(text))
        if (Trim(line).rfind('#', 0) != 0)
            for (std::sregex_iterator it(line.begin(), line.end(), macro), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

}  // namespace

TEST(Templates, Texts_AsciiWithLfLineEndsAndTheGeneratorsMacros) {
    const struct {
        const char* text;
        std::set<std::string> macros;
    } cases[] = {
        {kBuiltinApacheTemplate, {"APACHEPATH", "APACHE_PORT", "DOCUMENTPATH", "LISTEN_VIRTUAL_HOST_PORT",
                                  "ONLINE_MODE", "PHPAPACHE2FILE", "PHPAPPS", "PHPMODULENAME", "PHPPATH"}},
        {kBuiltinMyTemplate, {"MYSQLDATAPATH", "MYSQLPATH", "MYSQL_BIND", "MYSQL_PORT", "TEMPPATH"}},
        {kBuiltinPhpMyAdminTemplate, {}},   // it has @@NAME@@ placeholders instead
        {kDefaultHomePage, {}},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        SCOPED_TRACE(text.substr(0, 40));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        // A CR, a typographic quote or a stray byte would break the configuration readers.
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7f); }));
        EXPECT_EQ(Macros(text), c.macros);
    }
}

TEST(Templates, Lines_FoundAgainByTheirPatterns) {
    const std::string apache = kBuiltinApacheTemplate, my = kBuiltinMyTemplate, pma = kBuiltinPhpMyAdminTemplate;
    EXPECT_EQ(Count(apache, std::regex("@@")), 2u);
    EXPECT_EQ(Count(apache, std::regex("^@@LOADMODULES@@$", std::regex::multiline)), 1u);
    EXPECT_EQ(Count(apache, std::regex("^\\{LISTEN_VIRTUAL_HOST_PORT\\}$", std::regex::multiline)), 1u);
    EXPECT_EQ(Count(my, std::regex("^port = \\{MYSQL_PORT\\}$", std::regex::multiline)), 2u);   // [mysqld] and [client]
    EXPECT_EQ(Count(my, std::regex(R"re(^\s*log[-_]error\s*=\s*"\{MYSQLDATAPATH\}/mysql_error\.log"$)re", std::regex::multiline)), 1u);
    for (const char* placeholder : {"@@SECRET@@", "@@PORT@@", "@@PASSWORD@@", "@@TEMPDIR@@"})
        EXPECT_EQ(Count(pma, std::regex(placeholder)), 1u) << placeholder;
    EXPECT_EQ(Count(pma, std::regex("@@")), 8u);
    // Password and port changes rewrite these lines in place.
    EXPECT_EQ(Count(pma, std::regex(R"((\$cfg\['Servers'\]\[\$i\]\['password'\]\s*=\s*)'(?:[^'\\]|\\.)*'\s*;)")), 1u);
    EXPECT_EQ(Count(pma, std::regex(R"((\$cfg\['Servers'\]\[\$i\]\['port'\]\s*=\s*)'[^']*'\s*;)")), 1u);
}

TEST(Templates, DefaultHomePage_EveryEchoEscaped) {
    const std::string page = kDefaultHomePage;
    // Folder and extension names reach the page: every echo goes through an escaping call.
    for (size_t at = page.find("<?="); at != std::string::npos; at = page.find("<?=", at + 1)) {
        const std::string echo = page.substr(at + 4, 14);
        EXPECT_TRUE(StartsWith(echo, "h(") || StartsWith(echo, "rawurlencode(")) << echo;
    }
    EXPECT_NE(page.find("htmlspecialchars("), std::string::npos);
    EXPECT_EQ(Count(page, std::regex(R"(<\?(php|=))")), Count(page, std::regex(R"(\?>)")));
}

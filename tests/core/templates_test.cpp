// tests/core/templates_test.cpp: the built-in texts keep what their readers rely on: plain ASCII
// with LF line ends and exactly the macros the generators fill. (The lines the generators find
// again are checked by the generators' tests; the Apache host layout by the config round trip.)
#include "core/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

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
        ASSERT_TRUE(!text.empty() && text.back() == '\n');
        // A CR, a typographic quote or a stray byte would break the configuration readers.
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7f); }));
        EXPECT_EQ(Macros(text), c.macros);
    }
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

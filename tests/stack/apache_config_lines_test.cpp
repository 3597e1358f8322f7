// Checks the line scanners against std::regex with the same patterns on many short lines (where
// std::regex is safe), and on long lines where std::regex itself would overflow the stack.
#include "stack/apache/config_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

const auto kIcase = std::regex::ECMAScript | std::regex::icase;
const std::regex kVhostStart(R"re(^\s*<VirtualHost\s+([^>]*)>\s*$)re", kIcase);
const std::regex kVhostEnd(R"re(^\s*</VirtualHost\s*>\s*$)re", kIcase);
const std::regex kDirStart(R"re(^\s*<Directory\s+"?([^">]*)"?\s*>\s*$)re", kIcase);
const std::regex kDirEnd(R"re(^\s*</Directory\s*>\s*$)re", kIcase);
const std::regex kModule(R"re(^(\s*)(#\s*)?LoadModule\s+(\S+)\s+(.+?)\s*$)re", kIcase);
const std::regex kDirective(R"re(^\s*([A-Za-z]+)\s+(.*?)\s*$)re", std::regex::ECMAScript);
const std::regex kAlias(R"re(^\s*"([^"]*)"\s+"([^"]*)"\s*$|^\s*(\S+)\s+(\S+)\s*$)re", std::regex::ECMAScript);
const std::regex kOpenTag(R"re(^\s*<([A-Za-z]+)[\s>])re", std::regex::ECMAScript);
const std::regex kCloseTag(R"re(^\s*</([A-Za-z]+)\s*>)re", std::regex::ECMAScript);
const std::regex kVhostOpening(R"re(^\s*<VirtualHost\s+([^>]*)>)re", kIcase);
const std::regex kVhostClosing(R"re(^\s*</VirtualHost\s*>)re", kIcase);
const std::regex kLoadModule(R"re(^\s*(#\s*)?LoadModule\s+(\S+)\s+(\S+))re", kIcase);
const std::regex kSslEngine(R"re(^\s*SSLEngine\s+on\b)re", kIcase);
const std::regex kCertificate(R"re(^\s*SSLCertificateFile\s+"?([^"]+?)"?\s*$)re", kIcase);

// Short lines built from the pieces these patterns care about, fixed seed so failures repeat.
std::vector<std::string> Corpus() {
    std::vector<std::string> lines = {
        "<VirtualHost *:80>", "  <virtualhost   [::1]:8080 >  ", "<VirtualHost>", "<VirtualHost >",
        "<VirtualHostX *:80>", "<VirtualHost *:80> x", "</VirtualHost>", " </virtualhost  > ",
        "<Directory \"C:/www\">", "<Directory C:/www >", "<Directory \"\">", "<Directory \">",
        "<Directory \"a\"b\">", "<Directory  \"  >", "</Directory>", "LoadModule a_module modules/a.so",
        "#LoadModule a b", "  #  loadmodule a \"b c\"  ", "LoadModule a", "LoadModule a ",
        "LoadModule a  ", "LoadModule a \t\r", "LoadModule a \r ", "LoadModule a b\rc",
        "ServerName x", "ServerName", "ServerName\v", "Alias /a /b", "Alias \"/a b\" \"/c\"",
        "<IfModule ssl_module>", "<IfModule>", "</IfModule>", "</ IfModule>", "<If x>", "< If>",
        "\"/a\" \"/b\"", "\"/a\"\"/b\"", " /a  /b ", "/a /b /c", "\"/a\" /b", "/a \"/b\"", "",
        "SSLCertificateFile \"C:/a b/c.crt\"  ", "SSLCertificateFile c.crt\"", "SSLCertificateFile  \"",
        "SSLCertificateFile   ", "SSLCertificateFile \"a\"b\"", "SSLEngine on", " sslengine  ON # x", "SSLEngine online",
    };
    const std::vector<std::string> pieces = {
        " ", " ", "\t", "\r", "\v", "<", ">", "\"", "#", "/", ":", "VirtualHost", "virtualhost",
        "Directory", "LoadModule", "loadmodule", "IfModule", "a", "x_module", "mod.so", "80", "[::1]",
        "SSLEngine", "sslengine ", "on", "On_", "SSLCertificateFile", "sslcertificatefile ", "c.crt",
    };
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1), count(1, 9);
    for (int n = 0; n < 6000; ++n) {
        std::string line;
        for (size_t k = count(random); k > 0; --k) line += pieces[pick(random)];
        lines.push_back(line);
    }
    return lines;
}

// A group of a match, or "" when it took no part or there was no match.
std::string Group(const std::smatch& m, int n) { return !m.empty() && m[n].matched ? m[n].str() : std::string(); }

}  // namespace

TEST(ApacheConfigLines, EveryScanner_ShortLines_AgreeWithPatterns) {
    using Pair = std::pair<std::string, std::string>;
    for (const std::string& line : Corpus()) {
        SCOPED_TRACE(testing::PrintToString(line));
        std::smatch m;
        std::string first, second;
        ModuleLineMatch module;
        EXPECT_EQ(MatchVhostEnd(line), std::regex_match(line, kVhostEnd));
        EXPECT_EQ(MatchDirectoryEnd(line), std::regex_match(line, kDirEnd));
        EXPECT_EQ(MatchOpenTag(line), std::regex_search(line, kOpenTag, std::regex_constants::match_continuous));
        EXPECT_EQ(MatchCloseTag(line), std::regex_search(line, kCloseTag, std::regex_constants::match_continuous));
        ASSERT_EQ(MatchVhostStart(line, &first), std::regex_match(line, m, kVhostStart));
        EXPECT_EQ(first, Group(m, 1));
        first.clear();
        ASSERT_EQ(MatchDirectoryStart(line, &first), std::regex_match(line, m, kDirStart));
        EXPECT_EQ(first, Group(m, 1));
        ASSERT_EQ(MatchModuleLine(line, &module), std::regex_match(line, m, kModule));
        EXPECT_EQ(module.commented, m[2].matched);
        EXPECT_EQ(Pair(module.name, module.path), Pair(Group(m, 3), Group(m, 4)));
        first.clear();
        ASSERT_EQ(MatchDirective(line, &first, &second), std::regex_match(line, m, kDirective));
        EXPECT_EQ(Pair(first, second), Pair(Group(m, 1), Group(m, 2)));
        const auto continuous = std::regex_constants::match_continuous;
        bool expected = std::regex_search(line, m, kVhostOpening, continuous);
        ASSERT_EQ(FindVhostStart(line, &first), expected);
        if (expected) {
            EXPECT_EQ(first, Group(m, 1));
        }
        EXPECT_EQ(FindVhostEnd(line), std::regex_search(line, kVhostClosing, continuous));
        EXPECT_EQ(FindSslEngineOn(line), std::regex_search(line, kSslEngine, continuous));
        LoadModuleWords words;
        expected = std::regex_search(line, m, kLoadModule, continuous);
        ASSERT_EQ(FindLoadModule(line, &words), expected);
        if (expected) {
            EXPECT_EQ(words.commented, m[1].matched);
            EXPECT_EQ(std::make_pair(words.name, words.file), std::make_pair(Group(m, 2), Group(m, 3)));
        }
        expected = std::regex_match(line, m, kCertificate);
        ASSERT_EQ(MatchCertificateLine(line, &first), expected);
        if (expected) {
            EXPECT_EQ(first, Group(m, 1));
        }
        // A bare Alias argument with a quote in it would come back with doubled quotes: refused.
        const bool alias = std::regex_match(line, m, kAlias) &&
                           (m[1].matched || (Group(m, 3) + Group(m, 4)).find('"') == std::string::npos);
        first.clear(), second.clear();
        ASSERT_EQ(MatchAliasArguments(line, &first, &second), alias);
        const int url = m[1].matched ? 1 : 3;
        EXPECT_EQ(Pair(first, second), alias ? Pair(Group(m, url), Group(m, url + 1)) : Pair());
    }
}

TEST(ApacheConfigLines, LongLines_ScannedWithoutRecursion) {
    const std::string filler(200000, 'x');
    std::string argument, name, value;
    ModuleLineMatch module;
    ASSERT_TRUE(MatchVhostStart("<VirtualHost " + filler + ">", &argument));
    EXPECT_EQ(argument.size(), filler.size());
    EXPECT_TRUE(MatchDirectoryStart("<Directory \"" + filler + "\">", &argument));
    ASSERT_TRUE(MatchModuleLine("LoadModule big_module " + filler + "  ", &module));
    EXPECT_EQ(module.path, filler);
    ASSERT_TRUE(MatchDirective("Header " + filler, &name, &value));
    EXPECT_EQ(value, filler);
    EXPECT_FALSE(MatchDirective(std::string(200000, ' '), &name, &value));
    ASSERT_TRUE(MatchCertificateLine("SSLCertificateFile \"" + filler + "\" ", &value));
    EXPECT_EQ(value, filler);
    // The blank run gives its last blank back to the group, as the pattern does.
    ASSERT_TRUE(MatchCertificateLine("SSLCertificateFile" + std::string(200000, ' ') + "\"", &value));
    EXPECT_EQ(value, " ");
    EXPECT_TRUE(FindVhostStart("<VirtualHost " + filler + "> " + filler, &argument));
    EXPECT_TRUE(MatchOpenTag("<IfModule " + filler));
    EXPECT_FALSE(MatchCloseTag("</" + filler + "!"));
}

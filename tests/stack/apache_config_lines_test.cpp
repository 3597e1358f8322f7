// The line scanners against std::regex with the same patterns on many short lines (where
// std::regex is safe), and on long lines where std::regex itself would overflow the stack.
#include "stack/apache/config_lines.h"

#include "tests/stack/stack_fixture.h"

using stacktest::Scanned;

namespace {
const auto kIcase = std::regex::ECMAScript | std::regex::icase;

// Fixed lines at the edges, then random ones from the pieces these patterns care about.
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
        "<VirtualHost *:80> # main", "<VirtualHost *:80>x", "<VirtualHost *:80> a > b", "</VirtualHost> # main",
        "</VirtualHost>#", "</VirtualHost>\tx>", "<Directory C:/w> # y", "<Directory \"C:/w\">x>", "</Directory> z",
    };
    const auto random = stacktest::RandomLines(12345, 6000, {""}, {" ", " ", "\t", "\r", "\v", "<", ">", "\"", "#", "/",
        ":", "VirtualHost", "virtualhost", "Directory", "LoadModule", "loadmodule", "IfModule", "a", "x_module", "mod.so",
        "80", "[::1]", "SSLEngine", "sslengine ", "on", "On_", "SSLCertificateFile", "sslcertificatefile ", "c.crt"}, 0, 9);
    lines.insert(lines.end(), random.begin(), random.end());
    return lines;
}

Scanned If(bool ok, std::vector<std::string> groups = {}) { return ok ? Scanned(std::move(groups)) : std::nullopt; }
}  // namespace

TEST(ApacheConfigLines, EveryScanner_ShortLines_AgreeWithPatterns) {
    using Line = const std::string&;
    const struct {
        const char* pattern;
        bool whole, icase;
        std::vector<int> groups;
        std::function<Scanned(Line)> scan;
    } scanners[] = {
        {R"re(^\s*</VirtualHost>(\s[\s\S]*)?$)re", true, true, {}, [](Line l) { return If(MatchVhostEnd(l)); }},
        {R"re(^\s*</Directory>(\s[\s\S]*)?$)re", true, true, {}, [](Line l) { return If(MatchDirectoryEnd(l)); }},
        {R"re(^\s*<([A-Za-z]+)[\s>])re", false, false, {1},
         [](Line l) { std::string a; const bool ok = MatchOpenTag(l, &a); return If(ok, {a}); }},
        {R"re(^\s*</([A-Za-z]+)>(\s[\s\S]*)?$)re", true, false, {1}, [](Line l) {
             const std::optional<BlockTag> tag = ReadBlockTag(l);
             return If(tag && tag->closes, {tag ? tag->name : ""});
         }},
        {R"re(^\s*<VirtualHost(?=[\s>])\s*([\s\S]*?)\s*>[^>]*$)re", true, true, {1},
         [](Line l) { std::string a; const bool ok = MatchVhostStart(l, &a); return If(ok, {a}); }},
        {R"re(^\s*([A-Za-z]+)\s+(.*?)\s*$)re", true, false, {1, 2},
         [](Line l) { std::string a, b; const bool ok = MatchDirective(l, &a, &b); return If(ok, {a, b}); }},
        {R"re(^(\s*)(#\s*)?LoadModule\s+(\S+)\s+(.+?)\s*$)re", true, true, {-2, 3, 4}, [](Line l) {
             ModuleLineMatch m;
             const bool ok = MatchModuleLine(l, &m);
             return If(ok, {m.commented ? "1" : "", m.name, m.path});
         }},
    };
    const std::vector<std::string> lines = Corpus();
    for (const auto& s : scanners) {
        SCOPED_TRACE(s.pattern);
        stacktest::ExpectAgrees(lines, std::regex(s.pattern, s.icase ? kIcase : std::regex::ECMAScript), s.whole, s.groups,
                                s.scan);
    }
    // Quoted or bare; a bare argument with a quote in it would come back with doubled quotes: refused.
    const std::regex alias(R"re(^\s*"([^"]*)"\s+"([^"]*)"\s*$|^\s*(\S+)\s+(\S+)\s*$)re");
    for (const std::string& line : lines) {
        std::smatch m;
        const bool expected = std::regex_match(line, m, alias) && (m[1].matched || (m.str(3) + m.str(4)).find('"') == std::string::npos);
        std::string url, path;
        const bool ok = MatchAliasArguments(line, &url, &path);
        const int at = m[1].matched ? 1 : 3;
        EXPECT_EQ(If(ok, {url, path}), If(expected, {m.str(at), m.str(at + 1)})) << testing::PrintToString(line);
    }
}

TEST(ApacheConfigLines, LongLines_ScannedWithoutRecursion) {
    const std::string filler(200000, 'x');
    std::string argument, name, value;
    ModuleLineMatch module;
    EXPECT_TRUE(MatchVhostStart("<VirtualHost " + filler + ">", &argument) && argument == filler);
    EXPECT_TRUE(MatchDirectoryStart("<Directory \"" + filler + "\">", &argument) && argument == filler);
    EXPECT_TRUE(MatchModuleLine("LoadModule big_module " + filler + "  ", &module) && module.path == filler);
    EXPECT_TRUE(MatchDirective("Header " + filler, &name, &value) && value == filler);
    EXPECT_FALSE(MatchDirective(std::string(200000, ' '), &name, &value));
    EXPECT_EQ(ApacheWords("\"" + filler + "\" " + filler), (std::vector<std::string>{filler, filler}));
    EXPECT_TRUE(MatchVhostStart("<VirtualHost " + filler + "> " + filler, &argument) && argument == filler);
    EXPECT_TRUE(MatchOpenTag("<IfModule " + filler));
    EXPECT_FALSE(ReadBlockTag("</" + filler + "!"));
}

// Each row as Debian's Apache 2.4 split it into words (ServerAlias names listed by "apache2 -S").
TEST(ApacheConfigLines, ApacheWords_QuotesAndBackslashesAsApacheReadsThem) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"  \"www.shop.localhost\" \t'shop.test'  w5", {"www.shop.localhost", "shop.test", "w5"}},
        {"\"a\\\"b\" 'a\\'b' 'a\"b' \"a\\\\b\" \"a\\b\"", {"a\"b", "a'b", "a\"b", "a\\b", "a\\b"}},
        {"a\\\\b w5\\\" \\\\\\\\srv", {"a\\b", "w5\\\"", "\\\\srv"}},   // outside quotes only "\\" is one
        {"'ab'c \"w 4\" \"\" \"open to the end", {"ab", "c", "w 4", "", "open to the end"}},
        {"", {}}, {" \t ", {}},
    };
    for (const auto& [text, words] : cases) EXPECT_EQ(ApacheWords(text), words) << text;
}

TEST(ApacheConfigLines, LastLine_BackslashDroppedBeforeALineEnd_KeptAloneWithout) {
    const std::tuple<const char*, std::vector<std::string>, std::vector<std::string>> cases[] = {  // text, lines, read
        {"a\nLoadModule x_module x.so\\\n", {"a", "LoadModule x_module x.so\\"}, {"a", "LoadModule x_module x.so"}},
        {"a\nLoadModule x_module x.so\\", {"a", "LoadModule x_module x.so\\ "}, {"a", "LoadModule x_module x.so\\ "}},
        {"LogFormat \"%h\" \\\r\n  combined\\\r\n", {"LogFormat \"%h\" \\", "  combined\\"}, {"LogFormat \"%h\"   combined"}},
        {"x\\\\\n", {"x\\\\"}, {"x\\"}},
    };
    for (const auto& [text, lines, read] : cases) {
        EXPECT_EQ(SplitConfigLines(text), lines) << text;
        EXPECT_EQ(JoinContinuedLines(SplitConfigLines(text)).text, read) << text;
    }
}

// Each row as Debian's Apache 2.4 read it ("apache2 -t"): an end tag is the first word exactly,
// a start tag's argument runs to the last '>', and the words after either are ignored.
TEST(ApacheConfigLines, BlockTags_AsApacheReadsThem) {
    const std::tuple<const char*, bool, const char*, const char*, const char*> cases[] = {   // line, tag, name, argument, rest
        {"<VirtualHost *:80> # main site", true, "VirtualHost", "*:80", "# main site"},
        {"  </Directory> # docs", true, "Directory", "", "# docs"},
        {"</VirtualHost >", false, "", "", ""},        // "directive missing closing '>'"
        {"</VirtualHost>#", false, "", "", ""},
        {"<IfModule  !ssl_module >", true, "IfModule", "!ssl_module", ""},
        {"<VirtualHost a > b > c", true, "VirtualHost", "a > b", "c"},
        {"<IfModule", false, "", "", ""},
    };
    for (const auto& [line, isTag, name, argument, rest] : cases) {
        const std::optional<BlockTag> tag = ReadBlockTag(line);
        ASSERT_EQ(tag.has_value(), isTag) << line;
        if (tag) {
            EXPECT_TRUE(tag->name == name && tag->argument == argument && tag->rest == rest) << line;
        }
    }
    // A regular expression, or more than one word, is no folder of a <Directory> block of ours.
    std::string path;
    EXPECT_TRUE(MatchDirectoryStart("<Directory 'C:/w w'> # x", &path) && path == "C:/w w");
    for (const char* line : {"<Directory ~ ^.*/priv>", "<Directory \"~\" \"^/x\">", "<Directory /a /b>", "<Directory >"})
        EXPECT_FALSE(MatchDirectoryStart(line, &path)) << line;
}

// The files an Include names, as Debian's Apache 2.4 read them ("apache2 -t -D DUMP_RUN_CFG" with
// a Define in each file): a folder with its subfolders in name order, hidden files and backups
// too; wildcards in any part; nothing for a name that matches nothing.
#include "stack/apache/include_files.h"

#include "tests/stack/stack_fixture.h"

TEST(ApacheIncludeFiles, WildcardMatch_AsApacheMatchesNames) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"*.conf", "vhosts.conf", true}, {"*.conf", "VHOSTS.CONF", true}, {"*.conf", "vhosts.conf~", false},
        {"*", ".hidden", false}, {".*", ".hidden", true}, {"v?hosts.conf", "v-hosts.conf", true},
        {"[a-c]*.conf", "b.conf", true}, {"[!a-c]*.conf", "b.conf", false}, {"[^a]x", "bx", true}, {"[x", "[x", true},
        {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false}, {"", "", true}, {"*", "", true}};
    for (const auto& [pattern, name, match] : cases) EXPECT_EQ(WildcardMatch(pattern, name), match) << pattern << " " << name;
}

TEST(ApacheIncludeFiles, IncludedPaths_InTheOrderApacheReadsThem) {
    testkit::ScratchDir root;
    for (const char* file : {"inc/a/x.conf", "inc/a/sub/y.conf", "inc/a/.hidden", "inc/a/w.conf~", "inc/b/z.conf",
                             "inc/c/z.conf", "inc/c/other.txt", "conf/httpd-vhosts.conf"})
        testkit::WriteFile(root / Utf8ToWide(file), "x");
    const auto names = [&](const std::string& path) {
        std::vector<std::string> found;
        for (const std::wstring& file : IncludedPaths(path, root.Utf8() + "\\"))
            found.push_back(WideToUtf8(file.substr(root.Path().size() + 1)));
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names("inc/a"), (Names{"inc\\a\\.hidden", "inc\\a\\sub\\y.conf", "inc\\a\\w.conf~", "inc\\a\\x.conf"}));
    EXPECT_EQ(names("inc/*/z.conf"), (Names{"inc\\b\\z.conf", "inc\\c\\z.conf"}));
    EXPECT_EQ(names("inc/c/*.CONF"), (Names{"inc\\c\\z.conf"}));
    EXPECT_EQ(names("conf\\httpd-vhosts.conf"), (Names{"conf\\httpd-vhosts.conf"}));
    EXPECT_EQ(names(root.Utf8() + "/inc/b/z.conf"), (Names{"inc\\b\\z.conf"}));   // absolute: the root plays no part
    EXPECT_TRUE(names("inc/missing.conf").empty() && names("inc/nothere/*.conf").empty() && names("*.none").empty());
}

#include "core/layout.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using testkit::ReadFile;
using testkit::ScratchDir;

TEST(Layout, EnsureLayout_MakesFoldersAndPagesButNeverOverwrites) {
    ScratchDir root, cache;
    SetRootDir(root.Path());
    EnsureLayout();
    for (const wchar_t* folder : {L"bin/apache", L"bin/php", L"bin/database", L"www", L"phpapps", L"temp",
                                  L"temp/sessions", L"temp/uploads", L"temp/downloads", L"temp/phpmyadmin"})
        EXPECT_TRUE(IsDirectory(root / folder)) << WideToUtf8(folder);
    EXPECT_EQ(ReadFile(root / L"www/index.php"), kDefaultHomePage);
    EXPECT_EQ(ReadFile(root / L"phpapps/zerva/phpinfo.php"), "<?php\nphpinfo();\n");
    EXPECT_EQ(ReadFile(root / L"phpapps/zerva/index.php"), "<?php\nheader('Location: phpinfo.php');\n");
    EXPECT_EQ(ListFiles(root.Path(), "*"), std::vector<std::string>{});   // nothing loose in the root

    testkit::WriteFile(root / L"phpapps/zerva/index.php", "edited");
    ASSERT_TRUE(RemoveTree(root / L"phpapps/zerva/phpinfo.php"));
    ASSERT_TRUE(RemoveTree(root / L"www/index.php"));
    ASSERT_TRUE(EnsureDirectory(root / L"www/.hidden"));   // a document root with content gets no home page
    SetCacheDir(cache / L"dl");
    EnsureLayout();
    SetCacheDir(L"");
    EXPECT_EQ(ReadFile(root / L"phpapps/zerva/index.php"), "edited");
    EXPECT_EQ(ReadFile(root / L"phpapps/zerva/phpinfo.php"), "<?php\nphpinfo();\n");
    EXPECT_TRUE(!PathExists(root / L"www/index.php") && IsDirectory(cache / L"dl"));
}

TEST(Layout, LoadTemplate_OverrideFolderWins) {
    ScratchDir root;
    SetRootDir(root.Path());
    EXPECT_TRUE(MyTemplate() == kBuiltinMyTemplate && PhpMyAdminTemplate() == kBuiltinPhpMyAdminTemplate);
    testkit::WriteFile(root / L"templates/my_zerva.ini", "");
    EXPECT_TRUE(MyTemplate().empty() && ApacheTemplate() == kBuiltinApacheTemplate);   // an empty override is empty
}

TEST(Layout, IsInsideRoot_CaseAndSlashesIgnored_SiblingsOutside) {
    SetRootDir(L"C:\\Stack");
    for (const auto& [path, inside] : {std::pair{"c:/stack/www/x", true}, {"C:\\Stack\\temp", true},
                                       {"C:\\Stack2\\www", false}, {"C:\\Stack", false}})
        EXPECT_EQ(IsInsideRoot(path), inside) << path;
    SetRootDir(L"C:\\Stack\\");
    EXPECT_TRUE(IsInsideRoot("C:\\Stack\\www"));
}

// A folder is compared as given and as the system resolves it, in the forms its final paths take.
TEST(Layout, IsPathUnder_FinalPathFormsMatchPlainOnes) {
    const std::tuple<const char*, std::vector<std::string>, bool> cases[] = {   // path, folders, under them
        {"C:\\Real\\Stack\\bin\\apache\\a\\httpd.exe", {"S:\\bin\\apache", "\\\\?\\C:\\real\\stack\\bin\\apache"}, true},  // subst
        {"\\\\Files\\Dev\\stack\\bin\\httpd.exe", {"M:\\stack", "\\\\?\\UNC\\files\\dev\\Stack"}, true},    // mapped drive
        {"\\\\?\\C:\\Stack\\www", {"c:/stack/"}, true},
        {"C:\\Stack2\\www", {"C:\\Stack", "\\\\?\\C:\\Stack"}, false},
        {"C:\\Stack", {"\\\\?\\C:\\Stack"}, false},                    // the folder itself
        {"\\\\?\\UNC\\files\\dev2\\x", {"\\\\files\\dev"}, false},
        {"S:\\bin\\x", {"", "\\\\?\\C:\\Stack"}, false},              // not resolved: skipped
    };
    for (const auto& [path, folders, under] : cases) EXPECT_EQ(IsPathUnder(path, folders), under) << path;
    EXPECT_EQ(PathKey("\\\\?\\UNC\\Files\\Dev\\A"), "//files/dev/a");
    for (const auto& [finalPath, plain] :
         {std::pair{"\\\\?\\C:\\Real", "C:\\Real"}, {"\\\\?\\UNC\\Files\\Dev", "\\\\Files\\Dev"}, {"S:\\", "S:\\"}})
        EXPECT_EQ(PlainPath(finalPath), plain) << finalPath;
}

int g_asked = 0;
uint64_t g_clock = 1000;

// A folder that cannot be resolved (an offline share, which can hold each open for seconds; here one
// not made yet) is asked again only a minute after the failure, however many probes come meanwhile;
// once resolved, never again.
TEST(Layout, UnresolvableFolder_AskedAgainAMinuteAfterTheFailure_ResolvedOneKept) {
    ScratchDir scratch;
    const std::wstring offline = scratch / L"offline";
    SetPathResolutionForTests([](const std::wstring& path) { return ++g_asked, FinalPathOf(path); },
                              [] { return g_clock; });
    const auto probe = [&](uint64_t later) {
        g_clock += later;
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(IsInsideFolder(WideToUtf8(offline + L"\\bin\\httpd.exe"), offline));
        return g_asked;
    };
    EXPECT_EQ(probe(0), 1);
    EXPECT_EQ(probe(59999), 1) << "within the minute";
    ASSERT_TRUE(EnsureDirectory(offline));  // back online
    EXPECT_EQ(probe(1), 2) << "a minute after the failure";
    EXPECT_EQ(probe(3600000), 2) << "resolved, and kept";
    SetPathResolutionForTests(nullptr, nullptr);
}

#include "core/layout.h"

#include <gtest/gtest.h>

#include <map>
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
    for (const auto& [finalPath, plain] : {std::pair{"\\\\?\\C:\\Real\\Stack", "C:\\Real\\Stack"},
                                           {"\\\\?\\UNC\\Files\\Dev\\Stack", "\\\\Files\\Dev\\Stack"},
                                           {"\\\\?\\unc\\files\\dev", "\\\\files\\dev"},
                                           {"\\\\files\\dev", "\\\\files\\dev"}, {"S:\\", "S:\\"}, {"", ""}})
        EXPECT_EQ(PlainPath(finalPath), plain) << finalPath;
}

// A path through a link (a subst or mapped drive alike) resolves to its target, in the plain form;
// one that cannot be opened is handed back as given.
TEST(Layout, ResolvedPath_ThroughALink_TheTarget_ElseAsGiven) {
    ScratchDir target, linkHome;
    const testkit::DirectoryLink link(linkHome / L"S", target.Path());
    if (!link.Made()) GTEST_SKIP() << "this system makes no directory links";
    testkit::WriteFile(target / L"zerva.exe", "");
    EXPECT_EQ(WideToUtf8(ResolvedPath(link.Path())), target.Utf8());
    EXPECT_EQ(WideToUtf8(ResolvedPath(link.Path() + L"\\zerva.exe")), WideToUtf8(target / L"zerva.exe"));
    for (const std::wstring& given : {link.Path() + L"\\missing", std::wstring()})
        EXPECT_EQ(WideToUtf8(ResolvedPath(given)), WideToUtf8(given));
}

namespace {

// What the resolution seams saw and told: each path asked of the system, and the clock.
std::map<std::wstring, int> g_asked;
uint64_t g_clock = 0;

std::string CountedFinalPath(const std::wstring& path) {
    ++g_asked[path];
    return FinalPathOf(path);
}

uint64_t TestClock() { return g_clock; }

class LayoutResolution : public ::testing::Test {
protected:
    void SetUp() override {
        g_asked.clear();
        g_clock = 1000;
        SetPathResolutionForTests(CountedFinalPath, TestClock);
    }
    void TearDown() override { SetPathResolutionForTests(nullptr, nullptr); }
};

}  // namespace

// A root that cannot be opened (an offline share, which can hold each open for seconds; here a
// folder not made yet) is asked again only a minute after the last failure, however many probes
// come meanwhile; once resolved it is never asked again.
TEST_F(LayoutResolution, UnresolvableFolder_AskedOnceAMinute_ResolvedOneOnceForGood) {
    ScratchDir scratch;
    const std::wstring offline = scratch / L"offline";
    const std::string image = WideToUtf8(offline + L"\\bin\\apache\\httpd.exe");
    const auto probe = [&](int times) {
        for (int i = 0; i < times; ++i) {
            EXPECT_TRUE(IsInsideFolder(image, offline));
            (void)ResolvedPath(offline);
        }
        return g_asked[offline];
    };
    EXPECT_EQ(probe(50), 1);
    g_clock += 59999;
    EXPECT_EQ(probe(50), 1) << "within the minute";
    ASSERT_TRUE(EnsureDirectory(offline));   // back online
    g_clock += 1;
    EXPECT_EQ(probe(1), 2) << "a minute after the failure";
    g_clock += 3600000;
    EXPECT_EQ(probe(50), 2) << "resolved now, and kept";
}

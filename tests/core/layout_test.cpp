#include "core/layout.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using testkit::ScratchDir;

TEST(Layout, FolderGetters) {
    SetRootDir(L"C:\\Stack");
    EXPECT_EQ(RootDir(), L"C:\\Stack");
    EXPECT_EQ(BinDir(), L"C:\\Stack\\bin");
    EXPECT_EQ(ApacheDir(), L"C:\\Stack\\bin\\apache");
    EXPECT_EQ(PhpDir(), L"C:\\Stack\\bin\\php");
    EXPECT_EQ(DatabaseDir(), L"C:\\Stack\\bin\\database");
    EXPECT_EQ(WwwDir(), L"C:\\Stack\\www");
    EXPECT_EQ(PhpAppsDir(), L"C:\\Stack\\phpapps");
    EXPECT_EQ(TempDir(), L"C:\\Stack\\temp");
    EXPECT_EQ(SessionsDir(), L"C:\\Stack\\temp\\sessions");
    EXPECT_FALSE(HasCacheDir());
    EXPECT_EQ(DownloadsDir(), L"C:\\Stack\\temp\\downloads");
    SetCacheDir(L"D:\\cache");
    EXPECT_TRUE(HasCacheDir());
    EXPECT_EQ(DownloadsDir(), L"D:\\cache");
    SetCacheDir(L"");
}

TEST(Layout, EnsureLayout_FreshRoot) {
    ScratchDir root;
    SetRootDir(root.Path());
    EnsureLayout();
    for (const wchar_t* folder : {L"bin/apache", L"bin/php", L"bin/database", L"www", L"phpapps", L"temp",
                                  L"temp/sessions", L"temp/uploads", L"temp/downloads", L"temp/phpmyadmin"})
        EXPECT_TRUE(IsDirectory(root / folder)) << WideToUtf8(folder);
    EXPECT_FALSE(PathExists(root / L"templates"));
    EXPECT_EQ(testkit::ReadFile(root / L"www/index.php"), kDefaultHomePage);
    EXPECT_EQ(testkit::ReadFile(root / L"phpapps/zerva/phpinfo.php"), "<?php\nphpinfo();\n");
    EXPECT_EQ(testkit::ReadFile(root / L"phpapps/zerva/index.php"), "<?php\nheader('Location: phpinfo.php');\n");
    EXPECT_EQ(ListFiles(root.Path(), "*"), std::vector<std::string>{});  // nothing loose in the root
}

TEST(Layout, EnsureLayout_NeverOverwritesAndRecreatesMissing) {
    ScratchDir root;
    SetRootDir(root.Path());
    EnsureLayout();
    testkit::WriteFile(root / L"phpapps/zerva/index.php", "edited");
    ASSERT_TRUE(RemoveTree(root / L"phpapps/zerva/phpinfo.php"));
    testkit::WriteFile(root / L"www/index.php", "my own home page");
    EnsureLayout();
    EXPECT_EQ(testkit::ReadFile(root / L"phpapps/zerva/index.php"), "edited");
    EXPECT_EQ(testkit::ReadFile(root / L"phpapps/zerva/phpinfo.php"), "<?php\nphpinfo();\n");
    EXPECT_EQ(testkit::ReadFile(root / L"www/index.php"), "my own home page");
}

TEST(Layout, EnsureLayout_DocumentRootWithContentGetsNoHomePage) {
    ScratchDir root;
    SetRootDir(root.Path());
    ASSERT_TRUE(EnsureDirectory(root / L"www/.hidden"));
    EnsureLayout();
    EXPECT_FALSE(PathExists(root / L"www/index.php"));

    ScratchDir other;
    SetRootDir(other.Path());
    testkit::WriteFile(other / L"www/readme.txt", "x");
    EnsureLayout();
    EXPECT_FALSE(PathExists(other / L"www/index.php"));
}

TEST(Layout, EnsureLayout_CacheFolderReplacesDownloads) {
    ScratchDir root, cache;
    SetRootDir(root.Path());
    SetCacheDir(cache / L"dl");
    EnsureLayout();
    EXPECT_TRUE(IsDirectory(cache / L"dl"));
    EXPECT_FALSE(PathExists(root / L"temp/downloads"));
    EXPECT_TRUE(IsDirectory(root / L"temp/phpmyadmin"));
    SetCacheDir(L"");
}

TEST(Layout, LoadTemplate_OverrideFolderWins) {
    ScratchDir root;
    SetRootDir(root.Path());
    EXPECT_EQ(MyTemplate(), kBuiltinMyTemplate);
    EXPECT_EQ(ApacheTemplate(), kBuiltinApacheTemplate);
    EXPECT_EQ(PhpMyAdminTemplate(), kBuiltinPhpMyAdminTemplate);
    testkit::WriteFile(root / L"templates/my_zerva.ini", "[mysqld]\r\nport={MYSQL_PORT}\r\n");
    EXPECT_EQ(MyTemplate(), "[mysqld]\r\nport={MYSQL_PORT}\r\n");
    testkit::WriteFile(root / L"templates/my_zerva.ini", "");
    EXPECT_EQ(MyTemplate(), "");  // an empty override is an empty template
    EXPECT_EQ(ApacheTemplate(), kBuiltinApacheTemplate);
}

TEST(Layout, IsInsideRoot) {
    SetRootDir(L"C:\\Stack");
    EXPECT_TRUE(IsInsideRoot("c:/stack/www/x"));
    EXPECT_TRUE(IsInsideRoot("C:\\Stack\\temp"));
    EXPECT_FALSE(IsInsideRoot("C:\\Stack2\\www"));
    EXPECT_FALSE(IsInsideRoot("C:\\Stack"));
    SetRootDir(L"C:\\Stack\\");
    EXPECT_TRUE(IsInsideRoot("C:\\Stack\\www"));
    SetRootDir(L"");
    EXPECT_TRUE(IsInsideRoot("D:\\anything"));
}

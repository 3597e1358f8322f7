// Apache builds: discovery from folder names and version resources, newest-first order, the
// current-build setting, paths, and the two settings.
#include "stack/apache/builds.h"

#include "stack/apache/config.h"
#include "stack/apache/site.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kStandin;
using testkit::PeImage;

namespace {
class ApacheBuilds : public stacktest::RootTest {
protected:
    static std::wstring BuildDir(const std::string& folder) {
        return folder.empty() ? ApacheDir() : ApacheDir() + L"\\" + Utf8ToWide(folder);
    }
    // A build whose httpd.exe holds these bytes: by default a bare x86 header without version.
    static void AddBuild(const std::string& folder, const std::string& httpd = PeImage(stacktest::kX86)) {
        MakeFolder(BuildDir(folder), {{"bin/httpd.exe", httpd}});
    }
    static void WriteTemplate(const std::string& folder, const std::string& text) {
        testkit::WriteFile(BuildDir(folder) + L"\\conf\\httpd_zerva.conf", text);
    }
};
}  // namespace

TEST_F(ApacheBuilds, Scan_RootBuildAndSubfolders_SortedNewestFirst) {
    AddBuild("", kStandin);  // "apache", 2.4.58 from its resource
    for (const char* folder : {"httpd-2.4.9-win64", "httpd-2.4.10-win64", "httpd-2.4.62-win64-VS17"}) AddBuild(folder);
    testkit::WriteFile(BuildDir("httpd-2.4.99-partial") + L"\\conf\\httpd.conf", "");  // no bin\httpd.exe
    const std::vector<ApacheInstall> builds = ScanApacheInstalls();
    ASSERT_EQ(stacktest::Names(builds), (std::vector<std::string>{"httpd-2.4.62-win64-VS17", "apache",
                                                                 "httpd-2.4.10-win64", "httpd-2.4.9-win64"}));
    EXPECT_TRUE(builds[1].dir == BuildDir("") && builds[1].version == "2.4.58");
}

TEST_F(ApacheBuilds, Make_VersionFromNameElseExeElseLibrary_ArchFromExe) {
    AddBuild("httpd-2.4.62-win64-VS17", kStandin);  // the name wins over the resource's 2.4.58
    AddBuild("custom", kStandin);
    AddBuild("lib");
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"httpd.exe"), BuildDir("lib") + L"\\bin\\libhttpd.dll", true));
    AddBuild("bare", PeImage(stacktest::kArm64));
    AddBuild("httpd-2.4.2", "not an executable");
    const std::pair<const char*, const char*> cases[] = {
        {"httpd-2.4.62-win64-VS17", "2.4.62 (x64)"}, {"custom", "2.4.58 (x64)"}, {"lib", "2.4.58 (x86)"},
        {"bare", "bare (arm64)"}, {"httpd-2.4.2", "2.4.2 (?)"}};
    for (const auto& [folder, label] : cases)
        EXPECT_EQ(ApacheInstallLabel(MakeApacheInstall(folder, BuildDir(folder))), label);
    EXPECT_EQ(MakeApacheInstall("bare", BuildDir("bare")).version, "");
    EXPECT_FALSE(MakeApacheInstall("custom", BuildDir("custom")).configured);
    WriteTemplate("custom", "Listen 80\n");
    EXPECT_TRUE(MakeApacheInstall("custom", BuildDir("custom")).configured);
}

TEST_F(ApacheBuilds, Current_SettingNamesBuildInAnyCase_ElseNewest) {
    EXPECT_TRUE(ScanApacheInstalls().empty() && !CurrentApache());   // no bin\apache folder at all
    AddBuild("httpd-2.4.10");
    AddBuild("Httpd-2.4.9");
    EXPECT_EQ(CurrentApache()->name, "httpd-2.4.10");   // empty setting: newest
    SetCurrentApacheName("HTTPD-2.4.9");
    EXPECT_TRUE(GetCurrentApacheName() == "HTTPD-2.4.9" && CurrentApache()->name == "Httpd-2.4.9");
    EXPECT_TRUE(FindApache("HTTPD-2.4.10")->dir == BuildDir("httpd-2.4.10") && !FindApache("httpd-2.4"));
    ASSERT_TRUE(RemoveTree(BuildDir("Httpd-2.4.9")));
    EXPECT_EQ(CurrentApache()->name, "httpd-2.4.10");   // removed build: newest again
}

TEST_F(ApacheBuilds, Settings_OnlineModeAndDatabasePort) {
    EXPECT_TRUE(!IsOnlineMode() && MysqlPort() == 3306);
    for (const auto& [value, online] : {std::pair{"0", false}, {"", false}, {"2", false}, {"99999999999", false},
                                        {"1", true}, {" 1", true}, {"1 (network)", true}}) {
        Config::Instance().Set("APACHE_MODE", value);
        EXPECT_EQ(IsOnlineMode(), online) << value;
    }
    Config::Instance().Set("MYSQL_PORT", "3307");
    EXPECT_EQ(MysqlPort(), 3307);
}

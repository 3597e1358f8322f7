// Apache builds: discovery from folder names and version resources, newest-first order, the
// current-build setting, paths, the template's ports and home address, and the two settings.
#include "stack/apache/builds.h"

#include <gtest/gtest.h>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "tests/support/testkit.h"

using testkit::ScratchDir;
using testkit::WriteFile;

namespace {

// The smallest file PeArchitecture accepts: "MZ", the PE offset at 0x3C, "PE\0\0", machine.
std::string PeHeader(uint16_t machine) {
    std::string bytes(0x200, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x44] = char(machine & 0xFF);
    bytes[0x45] = char(machine >> 8);
    return bytes;
}
const uint16_t kMachineX86 = 0x14C;
const uint16_t kMachineArm64 = 0xAA64;

// A root folder of its own, with empty settings that save into it.
class ApacheBuilds : public testing::Test {
protected:
    void SetUp() override {
        SetRootDir(m_root.Path());
        Config::Instance().Load(m_root / L"zerva.ini");
    }

    std::wstring BuildDir(const std::wstring& folder) const {
        return folder.empty() ? m_root / L"bin/apache" : m_root / (L"bin/apache/" + folder);
    }
    // A build whose httpd.exe is the stand-in: x64 with file version 2.4.58.0.
    void AddStandinBuild(const std::wstring& folder) {
        ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"httpd.exe"), BuildDir(folder) + L"\\bin\\httpd.exe", true));
    }
    // A build whose httpd.exe is a bare header without any version resource.
    void AddBareBuild(const std::wstring& folder, uint16_t machine = kMachineX86) {
        WriteFile(BuildDir(folder) + L"\\bin\\httpd.exe", PeHeader(machine));
        WriteFile(BuildDir(folder) + L"\\modules\\mod_alias.so", "");
    }
    void WriteTemplate(const std::wstring& folder, const std::string& text) {
        WriteFile(BuildDir(folder) + L"\\conf\\httpd_zerva.conf", text);
    }

    static std::vector<std::string> Names(const std::vector<ApacheInstall>& builds) {
        std::vector<std::string> names;
        for (const ApacheInstall& b : builds) names.push_back(b.name);
        return names;
    }

    ScratchDir m_root;
};

}  // namespace

// ---- Discovery ----

TEST_F(ApacheBuilds, Scan_NoApacheFolder_Empty) {
    EXPECT_TRUE(ScanApacheInstalls().empty());
    EXPECT_FALSE(CurrentApache().has_value());
}

TEST_F(ApacheBuilds, Scan_RootBuildAndSubfolders_SortedNewestFirst) {
    AddStandinBuild(L"");                        // "apache", 2.4.58 from its resource
    AddBareBuild(L"httpd-2.4.9-win64");
    AddBareBuild(L"httpd-2.4.10-win64");
    AddBareBuild(L"httpd-2.4.62-win64-VS17");
    WriteFile(BuildDir(L"httpd-2.4.99-partial") + L"\\conf\\httpd.conf", "");  // no bin\httpd.exe
    const std::vector<ApacheInstall> builds = ScanApacheInstalls();
    EXPECT_EQ(Names(builds), (std::vector<std::string>{"httpd-2.4.62-win64-VS17", "apache",
                                                      "httpd-2.4.10-win64", "httpd-2.4.9-win64"}));
    ASSERT_EQ(builds.size(), 4u);
    EXPECT_EQ(builds[1].dir, BuildDir(L""));
    EXPECT_EQ(builds[1].version, "2.4.58");
}

TEST_F(ApacheBuilds, Make_VersionFromName_WithoutReadingFiles) {
    // The stand-in's resource says 2.4.58; the folder name wins.
    AddStandinBuild(L"httpd-2.4.62-win64-VS17");
    const ApacheInstall build = MakeApacheInstall("httpd-2.4.62-win64-VS17", BuildDir(L"httpd-2.4.62-win64-VS17"));
    EXPECT_EQ(build.version, "2.4.62");
    EXPECT_EQ(build.arch, 2);
    EXPECT_EQ(ApacheInstallLabel(build), "2.4.62 (x64)");
}

TEST_F(ApacheBuilds, Make_NamelessVersion_FromResources) {
    AddStandinBuild(L"custom");
    EXPECT_EQ(MakeApacheInstall("custom", BuildDir(L"custom")).version, "2.4.58");

    // No resource in httpd.exe: the library's resource is next.
    AddBareBuild(L"lib");
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"httpd.exe"), BuildDir(L"lib") + L"\\bin\\libhttpd.dll", true));
    EXPECT_EQ(MakeApacheInstall("lib", BuildDir(L"lib")).version, "2.4.58");

    AddBareBuild(L"bare", kMachineArm64);
    const ApacheInstall bare = MakeApacheInstall("bare", BuildDir(L"bare"));
    EXPECT_EQ(bare.version, "");
    EXPECT_EQ(bare.arch, 3);
    EXPECT_EQ(ApacheInstallLabel(bare), "bare (arm64)");
}

TEST_F(ApacheBuilds, Make_ArchitectureAndConfigured) {
    AddBareBuild(L"httpd-2.4.1", kMachineX86);
    ApacheInstall build = MakeApacheInstall("httpd-2.4.1", BuildDir(L"httpd-2.4.1"));
    EXPECT_EQ(build.arch, 1);
    EXPECT_FALSE(build.configured);
    WriteTemplate(L"httpd-2.4.1", "Listen 80\n");
    EXPECT_TRUE(MakeApacheInstall("httpd-2.4.1", BuildDir(L"httpd-2.4.1")).configured);

    WriteFile(BuildDir(L"httpd-2.4.2") + L"\\bin\\httpd.exe", "not an executable");
    build = MakeApacheInstall("httpd-2.4.2", BuildDir(L"httpd-2.4.2"));
    EXPECT_EQ(build.arch, 0);
    EXPECT_EQ(ApacheInstallLabel(build), "2.4.2 (?)");
}

TEST_F(ApacheBuilds, InstallNewerFirst_NumericThenName) {
    const auto make = [](std::string name, std::string version) {
        ApacheInstall b;
        b.name = std::move(name);
        b.version = std::move(version);
        return b;
    };
    EXPECT_TRUE(InstallNewerFirst(make("z", "2.4.10"), make("a", "2.4.9")));
    EXPECT_FALSE(InstallNewerFirst(make("a", "2.4.9"), make("z", "2.4.10")));
    EXPECT_TRUE(InstallNewerFirst(make("B", "2.4"), make("a", "2.4.0")));  // equal: byte order
    EXPECT_FALSE(InstallNewerFirst(make("a", "2.4.0"), make("B", "2.4")));
    EXPECT_TRUE(InstallNewerFirst(make("x", "0.1"), make("y", "")));
    EXPECT_FALSE(InstallNewerFirst(make("a", "1.0"), make("a", "1.0")));
}

// ---- Current build ----

TEST_F(ApacheBuilds, Current_SettingNamesBuildInAnyCase) {
    AddBareBuild(L"httpd-2.4.10");
    AddBareBuild(L"Httpd-2.4.9");
    EXPECT_EQ(CurrentApache()->name, "httpd-2.4.10");  // empty setting: newest

    SetCurrentApacheName("HTTPD-2.4.9");
    EXPECT_EQ(GetCurrentApacheName(), "HTTPD-2.4.9");
    EXPECT_NE(testkit::ReadFile(m_root / L"zerva.ini").find("APACHE_CURRENT_VERSION = \"HTTPD-2.4.9\""),
              std::string::npos);
    EXPECT_EQ(CurrentApache()->name, "Httpd-2.4.9");

    ASSERT_TRUE(RemoveTree(BuildDir(L"Httpd-2.4.9")));
    EXPECT_EQ(CurrentApache()->name, "httpd-2.4.10");  // removed build: newest again
}

TEST_F(ApacheBuilds, Find_ByNameIgnoringCase) {
    AddBareBuild(L"httpd-2.4.10");
    ASSERT_TRUE(FindApache("HTTPD-2.4.10").has_value());
    EXPECT_EQ(FindApache("HTTPD-2.4.10")->dir, BuildDir(L"httpd-2.4.10"));
    EXPECT_FALSE(FindApache("httpd-2.4").has_value());
    EXPECT_FALSE(FindApache("").has_value());
}

// ---- Paths ----

TEST_F(ApacheBuilds, Paths_BelowBuildAndRoot) {
    ApacheInstall build;
    build.dir = L"C:\\z\\bin\\apache\\h";
    EXPECT_EQ(HttpdExePath(build), L"C:\\z\\bin\\apache\\h\\bin\\httpd.exe");
    EXPECT_EQ(HttpdConfPath(build), L"C:\\z\\bin\\apache\\h\\conf\\httpd.conf");
    EXPECT_EQ(HttpdTemplatePath(build), L"C:\\z\\bin\\apache\\h\\conf\\httpd_zerva.conf");
    EXPECT_EQ(HttpdInitialConfPath(build), L"C:\\z\\bin\\apache\\h\\conf\\httpd_initial.conf");
    EXPECT_EQ(CaBundlePath(), m_root / L"bin\\cacert.pem");
    EXPECT_EQ(PathToUtf8(L"C:\\z\\caf\u00e9\\a"), "C:/z/caf\xc3\xa9/a");
}

// ---- Template ports and home address ----

TEST_F(ApacheBuilds, MainPort_SkipsSslHost) {
    AddBareBuild(L"httpd-2.4.62");
    WriteTemplate(L"httpd-2.4.62",
                  "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n"
                  "<VirtualHost *:8080>\n</VirtualHost>\n"
                  "<VirtualHost *:443>\n</VirtualHost>\n");
    const ApacheInstall build = *FindApache("httpd-2.4.62");
    EXPECT_EQ(MainHttpPort(build), 8080);
    EXPECT_EQ(HomeUrl(build), "http://localhost:8080/");
    EXPECT_EQ(TemplateVhostPorts(build), (std::vector<int>{443, 8080}));
}

TEST_F(ApacheBuilds, MainPort_AllSslOrNoHosts) {
    AddBareBuild(L"httpd-2.4.62");
    const ApacheInstall build = *FindApache("httpd-2.4.62");
    EXPECT_EQ(MainHttpPort(build), 80);  // no template at all
    EXPECT_EQ(TemplateVhostPorts(build), std::vector<int>{80});
    EXPECT_EQ(HomeUrl(build), "http://localhost/");

    WriteTemplate(L"httpd-2.4.62", "Listen 81\n");
    EXPECT_EQ(MainHttpPort(build), 80);
    EXPECT_EQ(TemplateVhostPorts(build), std::vector<int>{80});

    WriteTemplate(L"httpd-2.4.62", "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n"
                                   "<VirtualHost *:8443>\nSSLEngine on\n</VirtualHost>\n");
    EXPECT_EQ(MainHttpPort(build), 443);
    EXPECT_EQ(HomeUrl(build), "https://localhost/");
}

// ---- Settings ----

TEST_F(ApacheBuilds, Settings_OnlineModeAndDatabasePort) {
    EXPECT_FALSE(IsOnlineMode());
    EXPECT_EQ(MysqlPort(), 3306);
    for (const char* value : {"0", "", "yes", "2", "-1", "99999999999"}) {
        Config::Instance().Set("APACHE_MODE", value);
        EXPECT_FALSE(IsOnlineMode()) << value;
    }
    for (const char* value : {"1", " 1", "1 (network)"}) {
        Config::Instance().Set("APACHE_MODE", value);
        EXPECT_TRUE(IsOnlineMode()) << value;
    }
    Config::Instance().Set("MYSQL_PORT", "3307");
    EXPECT_EQ(MysqlPort(), 3307);
    Config::Instance().Set("MYSQL_PORT", "99999999999");
    EXPECT_EQ(MysqlPort(), 3306);
}

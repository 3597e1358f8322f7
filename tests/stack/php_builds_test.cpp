// Tests of the PHP build scan, the current build, the sample list, the template built from a
// sample and the php.ini generated from it, on build folders made by each test.
#include "stack/php/builds.h"

#include <algorithm>

#include "stack/apache/builds.h"
#include "tests/stack/php_fixture.h"

using phptest::Files;
using phptest::PeHeader;

namespace {

class PhpBuilds : public phptest::PhpRootTest {};

// A reduced php.ini-development with the lines the template builder looks at.
const char* const kDevelopmentSample =
    "[PHP]\r\n"
    "engine = On\r\n"
    ";extension_dir = \"./\"\r\n"
    "; On windows:\r\n"
    ";extension_dir = \"ext\"\r\n"
    ";session.save_path = \"/tmp\"\r\n"
    ";upload_tmp_dir =\r\n"
    ";sys_temp_dir = \"/tmp\"\r\n"
    "; extension=modulename\r\n"
    ";extension=bz2\r\n"
    ";extension=curl\r\n"
    ";extension=ftp\r\n"
    ";extension=intl ; internationalization\r\n"
    ";extension=ldap\r\n"
    ";extension=php_mbstring.dll\r\n"
    ";zend_extension=opcache\r\n"
    "; extension=zip\r\n"
    "[curl]\r\n"
    ";curl.cainfo =\r\n"
    "[openssl]\r\n"
    ";openssl.cafile=\r\n"
    ";openssl.capath=\r\n";

const Files kThreadSafeBuild = {
    {"php.exe", "standin"},
    {"php8ts.dll", ""},
    {"php8apache2_4.dll", ""},
    {"php.ini-development", kDevelopmentSample},
    {"php.ini-production", "[PHP]\r\n"},
    {"ext/php_bz2.dll", ""},
    {"ext/php_curl.dll", ""},
    {"ext/php_intl.dll", ""},
    {"ext/php_ldap.dll", ""},
    {"ext/php_mbstring.dll", ""},
    {"ext/php_opcache.dll", ""},
    {"ext/php_zip.dll", ""},
};

std::vector<std::string> Names(const std::vector<PhpInstall>& builds) {
    std::vector<std::string> names;
    for (const auto& b : builds) names.push_back(b.name);
    return names;
}

}  // namespace

// ---- Scanning ----

TEST_F(PhpBuilds, Scan_NoPhpFolderOrEmptyOne_FindsNothing) {
    EXPECT_TRUE(ScanPhpInstalls().empty());
    EXPECT_FALSE(CurrentPhp());
    ASSERT_TRUE(EnsureDirectory(PhpDir()));
    EXPECT_TRUE(ScanPhpInstalls().empty());
    EXPECT_FALSE(CurrentPhp());
}

TEST_F(PhpBuilds, Scan_ThreadSafeBuild_FillsEveryField) {
    const std::wstring dir = MakeBuild("php-8.3.14-Win32-vs16-x64", kThreadSafeBuild);
    MakeBuild("php-8.2.0-half-extracted", {{"ext/php_curl.dll", ""}, {"readme.txt", "x"}});
    const auto builds = ScanPhpInstalls();
    ASSERT_EQ(builds.size(), 1u);  // a folder without php.exe and php*.dll is no build
    const PhpInstall& b = builds[0];
    EXPECT_EQ(b.name, "php-8.3.14-Win32-vs16-x64");
    EXPECT_EQ(b.dir, dir);
    EXPECT_EQ(b.version, "8.3.14");
    EXPECT_EQ(b.arch, 2);
    EXPECT_EQ(b.apacheDll, "php8apache2_4.dll");
    EXPECT_EQ(b.moduleName, "php_module");
    EXPECT_FALSE(b.configured);
    EXPECT_EQ(PhpInstallLabel(b), "8.3.14 (x64)");
}

TEST_F(PhpBuilds, Scan_Architecture_FromExeElseFirstPhpDll) {
    MakeBuild("php-7.4.0-x86", {{"php.exe", PeHeader(phptest::kX86)}, {"php7ts.dll", PeHeader(phptest::kArm64)}});
    MakeBuild("php-8.4.0-arm", {{"php.exe", "not an executable"}, {"php8ts.dll", PeHeader(phptest::kArm64)}});
    MakeBuild("custom", {{"php8.dll", "MZ"}});
    EXPECT_EQ(Find("php-7.4.0-x86").arch, 1);
    EXPECT_EQ(Find("php-8.4.0-arm").arch, 3);
    const PhpInstall custom = Find("custom");
    EXPECT_EQ(custom.arch, 0);
    EXPECT_EQ(custom.version, "");
    EXPECT_EQ(PhpInstallLabel(custom), "custom (?)");
}

TEST_F(PhpBuilds, Scan_Order_NewestFirstNameOnTiesVersionlessLast) {
    for (const char* name : {"custom", "php-8.10.0", "php-8.3.14-b", "php-8.3.14-a", "php-8.9.1",
                             "php-99999999999999999999999.1"})
        MakeBuild(name, {{"php8ts.dll", ""}});
    // An out-of-range version number must not break the scan; where it sorts is not specified.
    auto names = Names(ScanPhpInstalls());
    const auto huge = std::find(names.begin(), names.end(), "php-99999999999999999999999.1");
    ASSERT_NE(huge, names.end());
    names.erase(huge);
    EXPECT_EQ(names, (std::vector<std::string>{"php-8.10.0", "php-8.9.1", "php-8.3.14-a", "php-8.3.14-b", "custom"}));
}

TEST_F(PhpBuilds, ModuleName_FromApacheDllName) {
    EXPECT_EQ(PhpModuleName("php8apache2_4.dll"), "php_module");
    EXPECT_EQ(PhpModuleName("php7apache2_4.dll"), "php7_module");
    EXPECT_EQ(PhpModuleName("PHP5APACHE2_4.DLL"), "php5_module");
    EXPECT_EQ(PhpModuleName("phpapache2_4.dll"), "php_module");
    EXPECT_EQ(PhpModuleName(""), "");
    // The wildcard match of the scan ignores case, so an upper-case file name is found too.
    MakeBuild("php-5.6.40", {{"PHP5APACHE2_4.DLL", ""}});
    const PhpInstall old = Find("php-5.6.40");
    EXPECT_EQ(old.apacheDll, "PHP5APACHE2_4.DLL");
    EXPECT_EQ(old.moduleName, "php5_module");
}

// ---- Current build ----

TEST_F(PhpBuilds, Current_SettingInOtherCase_SelectsThatBuild) {
    MakeBuild("php-8.3.14", {{"php8apache2_4.dll", ""}});
    MakeBuild("php-8.4.1", {{"php8apache2_4.dll", ""}});
    SetCurrentPhpName("PHP-8.3.14");
    EXPECT_EQ(GetCurrentPhpName(), "PHP-8.3.14");
    ASSERT_TRUE(CurrentPhp());
    EXPECT_EQ(CurrentPhp()->name, "php-8.3.14");
    SetCurrentPhpName("php-7.0.0-removed");
    EXPECT_EQ(CurrentPhp()->name, "php-8.4.1");  // a stale name falls back to the automatic choice
}

TEST_F(PhpBuilds, Current_Automatic_PrefersOlderBuildWithApacheModule) {
    MakeBuild("php-8.4.1-nts", {{"php8.dll", ""}});
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php8apache2_4.dll", ""}});
    ASSERT_TRUE(CurrentPhp());
    EXPECT_EQ(CurrentPhp()->name, "php-8.3.14");
    SetCurrentPhpName("php-8.4.1-NTS");  // chosen by name, a build without a module is current
    EXPECT_EQ(CurrentPhp()->name, "php-8.4.1-nts");
}

TEST_F(PhpBuilds, Current_OnlyBuildsWithoutModule_NoCurrentBuild) {
    MakeBuild("php-8.4.1-nts", {{"php.exe", "standin"}});
    EXPECT_EQ(ScanPhpInstalls().size(), 1u);
    EXPECT_FALSE(CurrentPhp());
    EXPECT_FALSE(FindPhp("php-8.4"));
    EXPECT_TRUE(FindPhp("PHP-8.4.1-NTS"));
}

// ---- Samples ----

TEST_F(PhpBuilds, ListTemplates_DevelopmentFirst_WithoutGeneratedOrStaleFiles) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""},
                             {"php.ini", ""},
                             {"php_zerva.ini", ""},
                             {"php_initial.ini", ""},
                             {"php.ini-production", ""},
                             {"php.ini-DEVELOPMENT-old", ""},
                             {"php.ini-development", ""},
                             {"php.ini.zvtmp", ""},
                             {"php.ini-development.ZVTMP", ""}});
    const PhpInstall b = Find("php-8.3.14");
    EXPECT_EQ(ListPhpIniTemplates(b),
              (std::vector<std::string>{"php.ini-DEVELOPMENT-old", "php.ini-development", "php.ini-production"}));
}

// ---- Template ----

TEST_F(PhpBuilds, BuildTemplate_DevelopmentSample_ForcesLinesAndEnablesDefaultsWithDll) {
    MakeBuild("php-8.3.14", kThreadSafeBuild);
    testkit::WriteFile(CaBundlePath(), "certificates");
    PhpInstall b = Find("php-8.3.14");
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(b, ListPhpIniTemplates(b).front(), error)) << error;
    EXPECT_EQ(testkit::ReadFile(PhpTemplatePath(b)),
              "[PHP]\r\n"
              "engine = On\r\n"
              ";extension_dir = \"./\"\r\n"
              "; On windows:\r\n"
              "extension_dir = \"{PHPEXTPATH}\"\r\n"
              "session.save_path = \"{TEMPPATH}/sessions\"\r\n"
              "upload_tmp_dir = \"{TEMPPATH}/uploads\"\r\n"
              "sys_temp_dir = \"{TEMPPATH}\"\r\n"
              "; extension=modulename\r\n"
              "extension=bz2\r\n"
              "extension=curl\r\n"
              ";extension=ftp\r\n"                        // no DLL
              "extension=intl ; internationalization\r\n"
              ";extension=ldap\r\n"                       // not a default extension
              "extension=php_mbstring.dll\r\n"
              ";zend_extension=opcache\r\n"               // zend lines are left alone
              "; extension=zip\r\n"                       // a blank after the mark: prose
              "[curl]\r\n"
              "curl.cainfo = \"{CACERTPATH}\"\r\n"
              "[openssl]\r\n"
              "openssl.cafile = \"{CACERTPATH}\"\r\n"
              ";openssl.capath=\r\n");
    EXPECT_EQ(testkit::ReadFile(PhpInitialIniPath(b)), testkit::ReadFile(PhpTemplatePath(b)));
    EXPECT_TRUE(Find("php-8.3.14").configured);
}

TEST_F(PhpBuilds, BuildTemplate_Twice_SameTemplateAndInitialCopy) {
    MakeBuild("php-8.3.14", kThreadSafeBuild);
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
    const std::string first = testkit::ReadFile(PhpTemplatePath(b));
    testkit::WriteFile(PhpTemplatePath(b), "edited by the user\r\n");
    ASSERT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
    EXPECT_EQ(testkit::ReadFile(PhpTemplatePath(b)), first);
    EXPECT_EQ(testkit::ReadFile(PhpInitialIniPath(b)), first);
    // Without the CA bundle the two CA lines stay as the sample has them.
    EXPECT_NE(first.find(";curl.cainfo =\r\n"), std::string::npos);
    EXPECT_NE(first.find(";openssl.cafile=\r\n"), std::string::npos);
    EXPECT_EQ(first.find("CACERTPATH"), std::string::npos);
}

TEST_F(PhpBuilds, ShapeTemplate_PatternOrder_EarlierPatternWinsOverHigherLine) {
    std::vector<std::string> lines = {
        "session.save_path = \"C:\\tmp\"",
        "extension_dir = \"C:\\php\\ext\"",
        "  ; extension_dir = \"EXT\"",
        ";session.save_path = \"/tmp\"",
        "; sys_temp_dir = \"/tmp\"",
        "upload_tmp_dir=",
    };
    ShapePhpTemplate(lines, false, [](const std::string&) { return true; });
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "session.save_path = \"C:\\tmp\"",    // the commented line is found first
                         "extension_dir = \"C:\\php\\ext\"",  // the active line stays
                         "extension_dir = \"{PHPEXTPATH}\"",
                         "session.save_path = \"{TEMPPATH}/sessions\"",
                         "sys_temp_dir = \"{TEMPPATH}\"",
                         "upload_tmp_dir = \"{TEMPPATH}/uploads\"",
                     }));
}

TEST_F(PhpBuilds, ShapeTemplate_MissingDirectives_AppendedInOrder) {
    std::vector<std::string> lines = {"[PHP]", "; session.save_path = \"/tmp\""};
    ShapePhpTemplate(lines, true, [](const std::string&) { return false; });
    EXPECT_EQ(lines, (std::vector<std::string>{"[PHP]", "; session.save_path = \"/tmp\"",
                                               "extension_dir = \"{PHPEXTPATH}\"",
                                               "session.save_path = \"{TEMPPATH}/sessions\"",
                                               "upload_tmp_dir = \"{TEMPPATH}/uploads\"",
                                               "sys_temp_dir = \"{TEMPPATH}\"",
                                               "curl.cainfo = \"{CACERTPATH}\"",
                                               "openssl.cafile = \"{CACERTPATH}\""}));
}

TEST_F(PhpBuilds, BuildTemplate_MissingSample_ReportsAndWritesNothing) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    EXPECT_FALSE(BuildPhpTemplate(b, "php.ini-development", error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(b.dir + L"\\php.ini-development"));
    EXPECT_FALSE(PathExists(PhpTemplatePath(b)));
    EXPECT_FALSE(PathExists(PhpInitialIniPath(b)));
}

TEST_F(PhpBuilds, BuildTemplate_TemplateIsAFolder_ReportsCannotWrite) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php.ini-development", "[PHP]\n"}, {"php_zerva.ini/x", ""}});
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    EXPECT_FALSE(BuildPhpTemplate(b, "php.ini-development", error));
    EXPECT_EQ(error, "cannot write " + WideToUtf8(PhpTemplatePath(b)));
    EXPECT_FALSE(PathExists(PhpInitialIniPath(b)));
}

TEST_F(PhpBuilds, BuildTemplate_HundredKilobyteLines_KeptIntact) {
    const std::string longValue = "extension=" + std::string(100 * 1024, 'a');
    const std::string longBlank = ";" + std::string(100 * 1024, ' ') + "sys_temp_dir";
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""},
                             {"php.ini-development", ";extension=curl\n" + longValue + "\n" + longBlank + "\n"},
                             {"ext/php_curl.dll", ""}});
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadLines(PhpTemplatePath(b), lines));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "extension=curl");
    EXPECT_EQ(lines[1], longValue);
    EXPECT_EQ(lines[2], longBlank);
    EXPECT_EQ(lines[6], "sys_temp_dir = \"{TEMPPATH}\"");
}

// ---- php.ini ----

TEST_F(PhpBuilds, WritePhpIni_ExpandsEveryMacroAndKeepsCrLf) {
    MakeBuild("php-8.3.14", kThreadSafeBuild);
    testkit::WriteFile(CaBundlePath(), "certificates");
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
    const MacroMap macros = {{"PHPEXTPATH", "C:/zv/bin/php/php-8.3.14/ext"},
                             {"TEMPPATH", "C:/zv/temp"},
                             {"CACERTPATH", "C:/zv/bin/cacert.pem"}};
    ASSERT_TRUE(WritePhpIni(b, macros, error)) << error;
    const std::string ini = testkit::ReadFile(PhpIniPath(b));
    EXPECT_EQ(ini.find('{'), std::string::npos);
    EXPECT_NE(ini.find("\r\nextension_dir = \"C:/zv/bin/php/php-8.3.14/ext\"\r\n"), std::string::npos);
    EXPECT_NE(ini.find("\r\nsession.save_path = \"C:/zv/temp/sessions\"\r\n"), std::string::npos);
    EXPECT_NE(ini.find("\r\nupload_tmp_dir = \"C:/zv/temp/uploads\"\r\n"), std::string::npos);
    EXPECT_NE(ini.find("\r\nsys_temp_dir = \"C:/zv/temp\"\r\n"), std::string::npos);
    EXPECT_NE(ini.find("\r\ncurl.cainfo = \"C:/zv/bin/cacert.pem\"\r\n"), std::string::npos);
    EXPECT_NE(ini.find("\r\nopenssl.cafile = \"C:/zv/bin/cacert.pem\"\r\n"), std::string::npos);
    // A macro the map lacks stays as written.
    testkit::WriteFile(PhpTemplatePath(b), "a = {UNKNOWN}\n");
    ASSERT_TRUE(WritePhpIni(b, macros, error)) << error;
    EXPECT_EQ(testkit::ReadFile(PhpIniPath(b)), "a = {UNKNOWN}\n");
}

TEST_F(PhpBuilds, WritePhpIni_NoTemplate_ReportsCannotRead) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php.ini", "old"}});
    const PhpInstall b = Find("php-8.3.14");
    std::string error;
    EXPECT_FALSE(WritePhpIni(b, {}, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(PhpTemplatePath(b)));
    EXPECT_EQ(testkit::ReadFile(PhpIniPath(b)), "old");
}

TEST_F(PhpBuilds, Reset_RestoresInitialCopy_OrChangesNothingWithoutIt) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php_zerva.ini", "edited"}});
    const PhpInstall b = Find("php-8.3.14");
    EXPECT_FALSE(ResetPhpTemplate(b));
    EXPECT_EQ(testkit::ReadFile(PhpTemplatePath(b)), "edited");
    testkit::WriteFile(PhpInitialIniPath(b), "pristine\r\n");
    EXPECT_TRUE(ResetPhpTemplate(b));
    EXPECT_EQ(testkit::ReadFile(PhpTemplatePath(b)), "pristine\r\n");
}

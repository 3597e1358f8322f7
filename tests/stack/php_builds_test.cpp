// The PHP build scan, the current build, the sample list, the template built from a sample and the
// php.ini generated from it.
#include "stack/php/builds.h"

#include <windows.h>

#include <algorithm>

#include "core/proc.h"

#include "stack/apache/builds.h"
#include "tests/stack/stack_fixture.h"

using stacktest::Files;
using testkit::PeImage;
using testkit::ReadFile;

namespace {
class PhpBuilds : public stacktest::PhpRootTest {
protected:
    // php-8.3.14 made of `files`, with its template built from php.ini-development.
    PhpInstall WithTemplate(const Files& files) {
        MakeBuild("php-8.3.14", files);
        const PhpInstall b = Find("php-8.3.14");
        std::string error;
        EXPECT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
        return b;
    }
};

// A reduced php.ini-development with the lines the template builder looks at.
const char* const kDevelopmentSample =
    "[PHP]\r\nengine = On\r\n;extension_dir = \"./\"\r\n; On windows:\r\n;extension_dir = \"ext\"\r\n"
    ";session.save_path = \"/tmp\"\r\n;upload_tmp_dir =\r\n;sys_temp_dir = \"/tmp\"\r\n"
    "; extension=modulename\r\n;extension=bz2\r\n;extension=curl\r\n;extension=ftp\r\n"
    ";extension=intl ; internationalization\r\n;extension=ldap\r\n;extension=php_mbstring.dll\r\n"
    ";zend_extension=zip\r\n; extension=zip\r\n"
    "[curl]\r\n;curl.cainfo =\r\n[openssl]\r\n;openssl.cafile=\r\n;openssl.capath=\r\n";

const Files kThreadSafeBuild = {
    {"php.exe", stacktest::kStandin}, {"php8ts.dll", ""}, {"php8apache2_4.dll", ""},
    {"php.ini-development", kDevelopmentSample}, {"php.ini-production", "[PHP]\r\n"},
    {"ext/php_bz2.dll", ""}, {"ext/php_curl.dll", ""}, {"ext/php_intl.dll", ""}, {"ext/php_ldap.dll", ""},
    {"ext/php_mbstring.dll", ""}, {"ext/php_opcache.dll", ""}, {"ext/php_zip.dll", ""},
};
}  // namespace

TEST_F(PhpBuilds, Scan_BuildFields_ArchitectureFromExeElseFirstPhpDll) {
    const std::wstring dir = MakeBuild("php-8.3.14-Win32-vs16-x64", kThreadSafeBuild);
    MakeBuild("php-8.2.0-half-extracted", {{"ext/php_curl.dll", ""}, {"readme.txt", "x"}});   // no php.exe or php*.dll
    const auto builds = ScanPhpInstalls();
    ASSERT_EQ(builds.size(), 1u);
    const PhpInstall& b = builds[0];
    EXPECT_TRUE(b.name == "php-8.3.14-Win32-vs16-x64" && b.dir == dir && !b.configured && b.apacheDll == "php8apache2_4.dll");
    EXPECT_EQ(PhpInstallLabel(b), "8.3.14 (x64)");
    MakeBuild("php-7.4.0-x86", {{"php.exe", PeImage(stacktest::kX86)}, {"php7ts.dll", PeImage(stacktest::kArm64)}});
    MakeBuild("php-8.4.0-arm", {{"php.exe", "not an executable"}, {"php8ts.dll", PeImage(stacktest::kArm64)}});
    MakeBuild("custom", {{"php8.dll", "MZ"}});
    for (const auto& [name, label] : {std::pair{"php-7.4.0-x86", "7.4.0 (x86)"}, {"php-8.4.0-arm", "8.4.0 (arm64)"}, {"custom", "custom (?)"}})
        EXPECT_EQ(PhpInstallLabel(Find(name)), label);
}

TEST_F(PhpBuilds, Scan_Order_NewestFirstNameOnTiesVersionlessLast) {
    for (const char* name : {"custom", "php-8.10.0", "php-8.3.14-b", "php-8.3.14-a", "php-8.9.1",
                             "php-99999999999999999999999.1"})
        MakeBuild(name, {{"php8ts.dll", ""}});
    auto names = stacktest::Names(ScanPhpInstalls());   // an out-of-range version sorts anywhere, but is listed
    const auto huge = std::find(names.begin(), names.end(), "php-99999999999999999999999.1");
    ASSERT_NE(huge, names.end());
    names.erase(huge);
    EXPECT_EQ(names, (std::vector<std::string>{"php-8.10.0", "php-8.9.1", "php-8.3.14-a", "php-8.3.14-b", "custom"}));
}

TEST_F(PhpBuilds, ConsoleArguments_CmdRunsAPathWithBlanksAmpersandAndParenthesis) {
    const std::wstring dir = root / L"A b & c (x)";
    EXPECT_EQ(PhpConsoleArguments(dir + L"\\php.exe"), L"/k \"\"" + dir + L"\\php.exe\" -v\"");

    // The same text after /c: cmd drops the outer quotes and runs the rest as written. A stand-in
    // named after its "cmdline" step prints the command line it was started with.
    const std::wstring program = dir + L"\\cmdline.exe";
    ASSERT_TRUE(EnsureDirectory(dir));
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"standin.exe"), program, true));
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    proc::SpawnOptions options;
    options.exe = std::wstring(system) + L"\\cmd.exe";
    options.args = PhpConsoleArguments(program).replace(0, 2, L"/c");
    const proc::RunResult run = proc::Run(options, 30000);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, Format("\"%s\" -v\n", WideToUtf8(program).c_str()));
}

TEST_F(PhpBuilds, ModuleName_FromApacheDllName) {
    for (const auto& [dll, module] : {std::pair{"php8apache2_4.dll", "php_module"}, {"php7apache2_4.dll", "php7_module"},
                                      {"PHP5APACHE2_4.DLL", "php5_module"}, {"phpapache2_4.dll", "php_module"}, {"", ""}})
        EXPECT_EQ(PhpModuleName(dll), module) << dll;
    MakeBuild("php-5.6.40", {{"PHP5APACHE2_4.DLL", ""}});   // the scan's wildcard ignores case
    EXPECT_EQ(Find("php-5.6.40").moduleName, "php5_module");
}

TEST_F(PhpBuilds, Current_NamedBuildInAnyCase_ElseNewestWithApacheModule) {
    EXPECT_FALSE(CurrentPhp());   // no bin\php folder
    MakeBuild("php-8.4.1-nts", {{"php.exe", stacktest::kStandin}});
    EXPECT_FALSE(CurrentPhp() || FindPhp("php-8.4"));   // no build Apache can load
    EXPECT_TRUE(FindPhp("PHP-8.4.1-NTS"));
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php8apache2_4.dll", ""}});
    MakeBuild("php-8.2.0", {{"php8apache2_4.dll", ""}});
    EXPECT_EQ(CurrentPhp()->name, "php-8.3.14");   // Apache cannot load the newer build
    SetCurrentPhpName("PHP-8.2.0");
    EXPECT_TRUE(GetCurrentPhpName() == "PHP-8.2.0" && CurrentPhp()->name == "php-8.2.0");
    SetCurrentPhpName("php-8.4.1-NTS");   // chosen by name, a build without a module is current
    EXPECT_EQ(CurrentPhp()->name, "php-8.4.1-nts");
    SetCurrentPhpName("php-7.0.0-removed");   // a stale name falls back to the automatic choice
    EXPECT_EQ(CurrentPhp()->name, "php-8.3.14");
}

TEST_F(PhpBuilds, ListTemplates_DevelopmentFirst_WithoutGeneratedOrStaleFiles) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php.ini", ""}, {"php_zerva.ini", ""}, {"php_initial.ini", ""},
                             {"php.ini-Production", ""}, {"php.ini-DEVELOPMENT-old", ""}, {"php.ini-development", ""},
                             {"php.ini.zvtmp", ""}, {"php.ini-development.ZVTMP", ""}});
    // Byte order alone would put "Production" before "development".
    EXPECT_EQ(ListPhpIniTemplates(Find("php-8.3.14")),
              (std::vector<std::string>{"php.ini-DEVELOPMENT-old", "php.ini-development", "php.ini-Production"}));
}

TEST_F(PhpBuilds, BuildTemplate_DevelopmentSample_ForcesLinesAndEnablesDefaultsWithDll) {
    testkit::WriteFile(CaBundlePath(), "certificates");
    const PhpInstall b = WithTemplate(kThreadSafeBuild);
    const std::string shaped =
        "[PHP]\r\nengine = On\r\n;extension_dir = \"./\"\r\n; On windows:\r\n"
        "extension_dir = \"{PHPEXTPATH}\"\r\nsession.save_path = \"{TEMPPATH}/sessions\"\r\n"
        "upload_tmp_dir = \"{TEMPPATH}/uploads\"\r\nsys_temp_dir = \"{TEMPPATH}\"\r\n"
        "; extension=modulename\r\nextension=bz2\r\nextension=curl\r\n"
        ";extension=ftp\r\n"                        // no DLL
        "extension=intl ; internationalization\r\n"
        ";extension=ldap\r\n"                       // not a default extension
        "extension=php_mbstring.dll\r\n"
        ";zend_extension=zip\r\n"                   // zend lines are left alone
        "; extension=zip\r\n"                       // a blank after the mark: prose
        "[curl]\r\ncurl.cainfo = \"{CACERTPATH}\"\r\n[openssl]\r\nopenssl.cafile = \"{CACERTPATH}\"\r\n;openssl.capath=\r\n";
    EXPECT_TRUE(ReadFile(PhpTemplatePath(b)) == shaped && ReadFile(PhpInitialIniPath(b)) == shaped);
    EXPECT_TRUE(Find("php-8.3.14").configured);
    // Built again without the CA bundle: the user's edit goes and the CA lines stay as the sample has them.
    ASSERT_TRUE(RemoveTree(CaBundlePath()));
    testkit::WriteFile(PhpTemplatePath(b), "edited by the user\r\n");
    std::string error, again = shaped;
    ASSERT_TRUE(BuildPhpTemplate(b, "php.ini-development", error)) << error;
    ReplaceAllInPlace(again, "curl.cainfo = \"{CACERTPATH}\"", ";curl.cainfo =");
    ReplaceAllInPlace(again, "openssl.cafile = \"{CACERTPATH}\"", ";openssl.cafile=");
    EXPECT_TRUE(ReadFile(PhpTemplatePath(b)) == again && ReadFile(PhpInitialIniPath(b)) == again);
}

TEST_F(PhpBuilds, ShapeTemplate_ForcedLines_FirstPatternFoundElseAppendedInOrder) {
    using Lines = std::vector<std::string>;
    Lines lines = {"session.save_path = \"C:\\tmp\"", "extension_dir = \"C:\\php\\ext\"", "  ; extension_dir = \"EXT\"",
                   ";session.save_path = \"/tmp\"", "; sys_temp_dir = \"/tmp\"", "upload_tmp_dir="};
    ShapePhpTemplate(lines, false, [](const std::string&) { return true; });
    // An earlier pattern wins over a line that a later one finds higher up.
    EXPECT_EQ(lines, (Lines{"session.save_path = \"C:\\tmp\"", "extension_dir = \"C:\\php\\ext\"",
                            "extension_dir = \"{PHPEXTPATH}\"", "session.save_path = \"{TEMPPATH}/sessions\"",
                            "sys_temp_dir = \"{TEMPPATH}\"", "upload_tmp_dir = \"{TEMPPATH}/uploads\""}));
    lines = {"[PHP]", "; session.save_path = \"/tmp\""};
    ShapePhpTemplate(lines, true, [](const std::string&) { return false; });
    EXPECT_EQ(lines, (Lines{"[PHP]", "; session.save_path = \"/tmp\"", "extension_dir = \"{PHPEXTPATH}\"",
                            "session.save_path = \"{TEMPPATH}/sessions\"", "upload_tmp_dir = \"{TEMPPATH}/uploads\"",
                            "sys_temp_dir = \"{TEMPPATH}\"", "curl.cainfo = \"{CACERTPATH}\"",
                            "openssl.cafile = \"{CACERTPATH}\""}));
}

TEST_F(PhpBuilds, BuildTemplate_UnreadableSampleOrUnwritableTemplate_ReportsAndWritesNothing) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}});
    MakeBuild("php-8.3.15", {{"php8ts.dll", ""}, {"php.ini-development", "[PHP]\n"}, {"php_zerva.ini/x", ""}});
    const PhpInstall noSample = Find("php-8.3.14"), folder = Find("php-8.3.15");
    std::string error, error2;
    EXPECT_FALSE(BuildPhpTemplate(noSample, "php.ini-development", error) || BuildPhpTemplate(folder, "php.ini-development", error2));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(noSample.dir + L"\\php.ini-development"));
    EXPECT_TRUE(stacktest::CannotWriteWithReason(error2, PhpTemplatePath(folder))) << error2;
    EXPECT_FALSE(PathExists(PhpTemplatePath(noSample)) || PathExists(PhpInitialIniPath(noSample)) ||
                 PathExists(PhpInitialIniPath(folder)));
}

TEST_F(PhpBuilds, WritePhpIni_ExpandsEveryMacroKeepsLineEnds_FailsWithoutTemplate) {
    testkit::WriteFile(CaBundlePath(), "certificates");
    const PhpInstall b = WithTemplate(kThreadSafeBuild);
    const MacroMap macros = {{"PHPEXTPATH", "C:/zv/ext"}, {"TEMPPATH", "C:/zv/temp"}, {"CACERTPATH", "C:/zv/cacert.pem"}};
    std::string error, expected = ReadFile(PhpTemplatePath(b));
    ASSERT_TRUE(WritePhpIni(b, macros, error)) << error;
    for (const auto& [name, value] : macros) ReplaceAllInPlace(expected, "{" + name + "}", value);
    EXPECT_EQ(expected.find('{'), std::string::npos);  // the map covers every macro of the template
    EXPECT_EQ(ReadFile(PhpIniPath(b)), expected);
    testkit::WriteFile(PhpTemplatePath(b), "\xEF\xBB\xBF" "a = {TEMPPATH}\r\n");   // PHP would read the mark as text
    ASSERT_TRUE(WritePhpIni(b, macros, error)) << error;
    EXPECT_EQ(ReadFile(PhpIniPath(b)), "a = C:/zv/temp\r\n");
    testkit::WriteFile(PhpTemplatePath(b), "a = {UNKNOWN}\n");   // an unknown macro stays, and so do LF ends
    ASSERT_TRUE(WritePhpIni(b, macros, error)) << error;
    EXPECT_EQ(ReadFile(PhpIniPath(b)), "a = {UNKNOWN}\n");
    ASSERT_TRUE(RemoveTree(PhpTemplatePath(b)));
    EXPECT_FALSE(WritePhpIni(b, {}, error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(PhpTemplatePath(b)));
    EXPECT_EQ(ReadFile(PhpIniPath(b)), "a = {UNKNOWN}\n");
}

TEST_F(PhpBuilds, ResetTemplate_FromInitialCopyOnly) {
    MakeBuild("php-8.3.14", {{"php8ts.dll", ""}, {"php_zerva.ini", "edited"}});
    const PhpInstall b = Find("php-8.3.14");
    EXPECT_FALSE(ResetPhpTemplate(b));
    EXPECT_EQ(ReadFile(PhpTemplatePath(b)), "edited");
    testkit::WriteFile(PhpInitialIniPath(b), "pristine\r\n");
    EXPECT_TRUE(ResetPhpTemplate(b));
    EXPECT_EQ(ReadFile(PhpTemplatePath(b)), "pristine\r\n");
}

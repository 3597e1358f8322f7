// The command "selftest" run end to end on stand-in builds: its PASS and FAIL lines, and the
// templates left exactly as they were, or absent when they were absent, save for a test host an
// interrupted run left; once run in this process, to see the PHP template as its edits left it.
#include "app/selftest.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "stack/apache/config.h"
#include "tests/app/app_fixture.h"

using namespace apptest;

namespace {
// The check lines of a run on the stand-ins where every check passes, `first` after the two
// install checks.
std::vector<std::string> AllPassed(const std::vector<std::string>& first = {}) {
    std::vector<std::string> checks = {"Apache installed", "PHP installed"};
    checks.insert(checks.end(), first.begin(), first.end());
    for (const char* check : {"load httpd_zerva.conf", "save with a new virtual host",
                              "virtual host parsed back (name, alias, directory)", "module toggle persisted",
                              "generate httpd.conf", "httpd -t with the new virtual host: Syntax OK", "virtual host removed",
                              "PHP extension list", "toggle extension sodium", "extension state persisted",
                              "set PHP settings", "memory_limit read back", "date.timezone read back", "version comparison"})
        checks.push_back(check);
    std::vector<std::string> lines;
    for (const std::string& check : checks) lines.push_back("PASS  " + check);
    lines.push_back("all tests passed");
    return lines;
}

// A PHP template saved with a UTF-8 mark, sodium off, memory_limit set for every request and
// again, with date.timezone and sodium, for one host.
const std::string kHostSection = "[HOST=dev.localhost]\r\nmemory_limit = 1G\r\ndate.timezone = UTC\r\nextension=sodium\r\n";
const std::string kMarkedPhpTemplate = "\xEF\xBB\xBF[PHP]\r\n;extension=sodium\r\nmemory_limit = 128M\r\n" + kHostSection;
}  // namespace

TEST_F(AppTest, SelfTest_StandinStack_AllPass_TemplatesByteIdentical) {
    // Bytes the edits must not disturb: a lone LF, trailing blanks, no final line end.
    MakeApache(webPort, "#LoadModule info_module modules/mod_info.so\r\n# keep  \n#end");
    MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}, {"ext/php_sodium.dll", ""}});
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf", ini = phpDir + L"\\php_zerva.ini";
    testkit::WriteFile(ini, "[PHP]\r\n;extension=sodium\r\nmemory_limit = 128M \n; end");
    const std::string confBefore = testkit::ReadFile(conf), iniBefore = testkit::ReadFile(ini);

    const ZervaRun run = Zerva(L"--cli selftest");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Head(run, 6), AllPassed());
    EXPECT_EQ(testkit::ReadFile(conf), confBefore);
    EXPECT_EQ(testkit::ReadFile(ini), iniBefore);
}

// A run ended from outside after saving its host leaves it in httpd_zerva.conf; the next run
// takes out that host alone, known by its name, and keeps every other line. The PHP template an
// editor saved with a mark stays as written, and php.ini is generated from it without the mark.
TEST_F(AppTest, SelfTest_HostLeftByAnInterruptedRun_RemovedAndEveryOtherLineKept) {
    MakeApache(webPort);
    MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}, {"ext/php_sodium.dll", ""}});
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf", ini = phpDir + L"\\php_zerva.ini";
    const std::string port = std::to_string(webPort);
    // What a save writes: the hosts in their fixed layout, a new one after a blank line.
    const std::string kept = "ServerRoot \"{APACHEPATH}\"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\n"
                             "#LoadModule info_module modules/mod_info.so\r\n"
                             "<VirtualHost *:" + port + ">\r\n\tDocumentRoot \"{DOCUMENTPATH}\"\r\n</VirtualHost>\r\n"
                             "\r\n<VirtualHost *:" + port + ">\r\n\tServerName \"zvselftest.localhost.lan\"\r\n</VirtualHost>\r\n\r\n";
    VirtualHost left = MakeVirtualHost("zvselftest", webPort);
    left.aliases.push_back({"/alias-test", "{DOCUMENTPATH}/zvselftest/"});
    std::string leftBlock;
    WriteVhostBlock(left, leftBlock);
    testkit::WriteFile(conf, kept + leftBlock + "# after the hosts\r\n");
    testkit::WriteFile(ini, kMarkedPhpTemplate);

    const ZervaRun run = Zerva(L"--cli selftest");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Head(run, 6), AllPassed({"test host of an earlier run removed"}));
    EXPECT_EQ(testkit::ReadFile(conf), kept + "# after the hosts\r\n");
    EXPECT_EQ(testkit::ReadFile(ini), kMarkedPhpTemplate);
    EXPECT_EQ(testkit::ReadFile(phpDir + L"\\php.ini"), kMarkedPhpTemplate.substr(3));
    EXPECT_EQ(Zerva(L"--cli selftest").exitCode, 0u) << "nothing left to remove";

    // Nothing is written from a file whose blocks do not balance (it was misread), nor from one
    // with a host a save would write broken (its DocumentRoot would escape the closing quote).
    for (const std::string& faulty : {kept + leftBlock + "</Directory>\r\n",
                                      "<VirtualHost *:80>\r\nDocumentRoot C:\\www\\ \r\n</VirtualHost>\r\n" + leftBlock}) {
        testkit::WriteFile(conf, faulty);
        EXPECT_FALSE(Contains(Zerva(L"--cli selftest").lines, "PASS  test host of an earlier run removed"));
        EXPECT_EQ(testkit::ReadFile(conf), faulty);
    }
}

// The self-test's PHP edits go where every request reads them: outside the [HOST=...] section,
// whose lines stay as they were; its read-back checks read the same lines.
TEST_F(AppTest, SelfTest_PhpTemplateWithHostSection_GlobalLinesEditedAndReadBack) {
    MakeApache(webPort);
    MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}, {"ext/php_sodium.dll", ""}});
    const std::wstring ini = phpDir + L"\\php_zerva.ini";
    testkit::WriteFile(ini, kMarkedPhpTemplate);
    static std::string edited;
    edited.clear();
    SetBeforeTemplateRestoreForTest([](const std::wstring& path) {
        if (EndsWith(WideToUtf8(path), "php_zerva.ini")) edited = testkit::ReadFile(path);
    });
    const int result = CliSelfTest();
    SetBeforeTemplateRestoreForTest(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(edited, "[PHP]\r\nextension=sodium\r\nmemory_limit = 384M\r\ndate.timezone = Europe/Paris\r\n" + kHostSection);
    EXPECT_EQ(testkit::ReadFile(ini), kMarkedPhpTemplate);
}

TEST_F(AppTest, SelfTest_MissingPhpOrTemplates_FailsAndLeavesNothingBehind) {
    MakeApache(webPort);
    ZervaRun run = Zerva(L"--cli selftest");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Head(run, 6), (std::vector<std::string>{"PASS  Apache installed", "FAIL  PHP installed"}));

    // Builds never started have no templates: the test may not leave empty or edited ones.
    MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}});
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf", ini = phpDir + L"\\php_zerva.ini";
    ASSERT_TRUE(::DeleteFileW(conf.c_str()));
    run = Zerva(L"--cli selftest");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.lines, "FAIL  load httpd_zerva.conf") && Contains(run.lines, "FAIL  PHP extension list"))
        << run.output;
    EXPECT_FALSE(PathExists(conf) || PathExists(ini));
}

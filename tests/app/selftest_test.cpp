// The command "selftest" run end to end on stand-in builds: its PASS and FAIL lines, and the
// templates left exactly as they were, or absent when they were absent, but for a test host an
// interrupted run left.
#include <gtest/gtest.h>

#include "core/files.h"
#include "stack/apache/config.h"
#include "tests/app/app_fixture.h"

using namespace apptest;

TEST_F(AppTest, SelfTest_StandinStack_AllPass_TemplatesByteIdentical) {
    // Bytes the edits must not disturb: a lone LF, trailing blanks, no final line end.
    MakeApache(webPort, "#LoadModule info_module modules/mod_info.so\r\n# keep  \n#end");
    MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}, {"ext/php_sodium.dll", ""}});
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf", ini = phpDir + L"\\php_zerva.ini";
    std::string hosts = testkit::ReadFile(conf);
    ReplaceAllInPlace(hosts, "<VirtualHost *:", "<VirtualHost 127.0.0.1:");   // the test host goes there too
    testkit::WriteFile(conf, hosts);
    testkit::WriteFile(ini, "[PHP]\r\n;extension=sodium\r\nmemory_limit = 128M \n; end");
    const std::string confBefore = testkit::ReadFile(conf), iniBefore = testkit::ReadFile(ini);

    const ZervaRun run = Zerva(L"--cli selftest");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    std::vector<std::string> expected;
    for (const char* check : {"Apache installed", "PHP installed", "load httpd_zerva.conf", "save with a new virtual host",
                              "virtual host parsed back (name, alias, directory)", "module toggle persisted",
                              "generate httpd.conf", "httpd -t with the new virtual host: Syntax OK", "virtual host removed",
                              "PHP extension list", "toggle extension sodium", "extension state persisted",
                              "set PHP settings", "memory_limit read back", "date.timezone read back", "version comparison"})
        expected.push_back(std::string("PASS  ") + check);
    expected.push_back("all tests passed");
    EXPECT_EQ(Head(run, 6), expected);
    const std::vector<std::string> tested = SplitLines(testkit::ReadFile(apacheDir + L"\\conf\\httpd.conf"));
    EXPECT_EQ(std::count(tested.begin(), tested.end(), "<VirtualHost 127.0.0.1:" + std::to_string(webPort) + ">"), 2);
    EXPECT_EQ(testkit::ReadFile(conf), confBefore);
    EXPECT_EQ(testkit::ReadFile(ini), iniBefore);
}

// A run ended from outside after saving its host leaves it in httpd_zerva.conf: the next run takes
// out that host alone, known by its ServerName (a host answering that name by an alias is the
// user's); but not from a file whose blocks do not balance (it was
// misread), nor one with a host a save would write broken (a ServerName of two words).
TEST_F(AppTest, SelfTest_HostLeftByAnInterruptedRun_RemovedAlone) {
    MakeApache(webPort);
    MakePhp();
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf";
    const std::string kept = "<VirtualHost *:80>\r\n\tServerName \"zvselftest.localhost.lan\"\r\n</VirtualHost>\r\n"
                             "<VirtualHost *:80>\r\n\tServerAlias zvselftest.localhost\r\n</VirtualHost>\r\n";
    std::string left;
    WriteVhostBlock(MakeVirtualHost("zvselftest", webPort), left);
    const std::pair<std::string, std::string> cases[] = {   // the file, and the file after the run ("": unchanged)
        {kept + left + "# end\r\n", kept + "# end\r\n"},
        {kept + left + "</Directory>\r\n", ""},
        {"<VirtualHost *:80>\r\nServerName \"a b\"\r\nDocumentRoot C:\\www\\ \r\n</VirtualHost>\r\n" + left, ""},
    };
    for (const auto& [before, after] : cases) {
        testkit::WriteFile(conf, before);
        const ZervaRun run = Zerva(L"--cli selftest");
        EXPECT_EQ(Contains(run.lines, "PASS  test host of an earlier run removed"), !after.empty()) << run.output;
        EXPECT_EQ(testkit::ReadFile(conf), after.empty() ? before : after);
    }
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

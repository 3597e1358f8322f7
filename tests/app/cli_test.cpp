// The commands of the command-line mode, run end to end: the real zerva.exe against a scratch
// root with stand-in builds, and the loopback fixture server in place of every online address.
#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "core/files.h"
#include "core/online.h"
#include "core/version.h"
#include "stack/apache/config.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fixture_server.h"
#include "tests/support/zip_writer.h"

using namespace apptest;

namespace {

constexpr char kApache[] = "2.4.58 (x64) [httpd-2.4.58]";
constexpr char kPhp[] = "8.3.14 (x64) [php-8.3.14]";
constexpr char kMariaDb[] = "MariaDB 11.4.2 [mariadb-11.4.2]";

class CliTest : public AppTest {
protected:
    std::vector<std::string> Block(bool apacheRuns, bool dbRuns, const std::string& pma = "") {
        return StatusBlock(root.Utf8(), std::string(kApache) + (apacheRuns ? "  RUNNING" : "  stopped"), kPhp,
                           std::string(kMariaDb) + (dbRuns ? "  RUNNING" : "  stopped"), pma,
                           Format("http://localhost:%d/", webPort));
    }
    void MakeStack() {
        MakeApache(webPort);
        MakePhp();
        MakeMariaDb(dbPort);
    }
    const int32_t webPort = testkit::UnusedPort(), dbPort = testkit::UnusedPort();
};

// Points every built-in online address at a loopback fixture server.
class OnlineCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_TRUE(server.Started()) << server.Error();
    }
    ZervaRun ZervaOnline(const std::wstring& args) {
        return Zerva(args, {{kOnlineBaseVariable, Utf8ToWide(server.Url())}});
    }
    testkit::FixtureServer server;
};

}  // namespace

TEST_F(CliTest, UnknownCommand_Exit2AfterTheClosingBlock) {
    MakeStack();
    const ZervaRun run = Zerva(L"--cli Status");   // commands are case-sensitive
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"unknown command: Status"});
    EXPECT_EQ(Tail(run, 6), Block(false, false));
}

TEST_F(CliTest, StartRestartStop_DriveTheStandinServers) {
    MakeStack();
    ZervaRun run = Zerva(L"--cli start");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::string apacheStarted = Format("OK    [Apache] Apache started (ports %d) - PHP 8.3.14", webPort);
    const std::string dbStarted = Format("OK    [MySQL] MariaDB 11.4.2 started (port %d)", dbPort);
    EXPECT_TRUE(Contains(run.lines, apacheStarted) && Contains(run.lines, dbStarted)) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(true, true));

    // A second process finds the servers the first one left running.
    run = Zerva(L"--cli restart");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.lines, "OK    [Apache] Apache stopped.") && Contains(run.lines, apacheStarted) &&
                Contains(run.lines, dbStarted)) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(true, true));

    run = Zerva(L"--cli stop");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.lines, "OK    [MySQL] MySQL stopped.")) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(false, false));
}

TEST_F(CliTest, Start_ConfigurationError_NoticeLineAndExit1) {
    MakeStack();
    WriteApacheTemplate(webPort, "# standin: syntax-error AH00526: Syntax error on line 3\r\n");
    const ZervaRun run = Zerva(L"--cli start");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.lines, "ERROR [Apache] AH00526: Syntax error on line 3")) << run.output;
    EXPECT_TRUE(Contains(run.lines, "NOTICE Apache configuration error: AH00526: Syntax error on line 3")) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(false, false));   // the database waits for Apache
}

TEST_F(CliTest, Site_CreatedOnceUnderItsLowerCaseName_UnsafeNamesCreateNothing) {
    MakeApache(webPort);
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf";
    const std::string confBefore = testkit::ReadFile(conf);
    const auto wwwBefore = ListSubdirectories(WwwDir());
    for (const std::wstring name : {L"../x", L"it's", L"a\"b", L"a\nb", L"con", L"  "}) {
        const ZervaRun run = Zerva(L"--cli site " + QuoteArg(name));
        EXPECT_EQ(run.exitCode, 1u);
        std::string shown = WideToUtf8(name);
        std::replace(shown.begin(), shown.end(), '\n', '?');
        EXPECT_EQ(Head(run, 6), std::vector<std::string>{"ERROR invalid site name: " + shown +
                                                         " (use a-z, 0-9, _ and -; not a Windows device name)"});
    }
    EXPECT_EQ(Zerva(L"--cli site").exitCode, 1u);
    EXPECT_EQ(ListSubdirectories(WwwDir()), wwwBefore);
    EXPECT_EQ(testkit::ReadFile(conf), confBefore);

    ZervaRun run = Zerva(L"--cli site \" My_Blog \"");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"site created: http://my_blog.localhost/"});
    EXPECT_EQ(testkit::ReadFile(WwwDir() + L"\\my_blog\\index.php"),
              "<?php echo 'site my_blog OK - PHP ' . PHP_VERSION;\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(conf));
    ASSERT_EQ(config.vhosts.size(), 2u);
    EXPECT_EQ(config.vhosts[1].serverName, "my_blog.localhost");
    EXPECT_EQ(config.vhosts[1].port, webPort);

    // Again: the folder is not empty and the host exists; nothing more is done.
    testkit::WriteFile(WwwDir() + L"\\my_blog\\index.php", "mine");
    const std::string confAfter = testkit::ReadFile(conf);
    run = Zerva(L"--cli site MY_BLOG");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{});
    EXPECT_EQ(testkit::ReadFile(WwwDir() + L"\\my_blog\\index.php"), "mine");
    EXPECT_EQ(testkit::ReadFile(conf), confAfter);
}

TEST_F(OnlineCliTest, CheckUpdateAndUpdate_AgainstTheManifest) {
    const std::string manifestUrl = server.Url("/file/zerva4/update.json");
    // No manifest and no legacy file: check-update says so and exits 0; update fails with 1.
    ZervaRun run = ZervaOnline(L"--cli check-update");
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(Head(run).size(), 3u) << run.output;
    EXPECT_EQ(run.lines[0], std::string("installed : ") + kZervaVersion);
    EXPECT_TRUE(StartsWith(run.lines[1], "latest    : ? ") && EndsWith(run.lines[1], "   (" + manifestUrl + ")"))
        << run.lines[1];
    EXPECT_EQ(run.lines[2], "status    : up to date");
    run = ZervaOnline(L"--cli update");
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(Head(run).size(), 4u) << run.output;
    EXPECT_TRUE(StartsWith(run.lines[3], "ERROR ") && run.lines[3].size() > 6) << run.lines[3];

    server.Serve("/file/zerva4/update.json", std::string("{\"version\": \"") + kZervaVersion + "\"}");
    run = ZervaOnline(L"--cli update");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Head(run), (std::vector<std::string>{std::string("installed : ") + kZervaVersion,
                                                   std::string("latest    : ") + kZervaVersion + "   (" + manifestUrl + ")",
                                                   "status    : up to date"}));

    server.Serve("/file/zerva4/update.json", "{\"version\": \"4.1.0\"}");
    run = ZervaOnline(L"--cli update");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.lines, "status    : update available (manual download)")) << run.output;
}

TEST_F(OnlineCliTest, Update_ReplacesTheExecutableAndStartsTheNewOne) {
    testkit::ScratchDir app;
    const std::wstring exe = app / L"Zerva.exe";
    ASSERT_TRUE(CopyFileTo(ZervaExe(), exe, true));
    const std::string next = testkit::ReadFile(testkit::StandinPath(L"zerva_next.exe"));   // 4.1.0
    server.Serve("/files/Zerva.exe", next);
    testkit::WriteFile(app / L"next.bin", next);
    server.Serve("/file/zerva4/update.json", "{\"version\": \"4.1.0\", \"url\": \"" + server.Url("/files/Zerva.exe") +
                                                 "\", \"sha256\": \"" + Sha256File(app / L"next.bin").value_or("") + "\"}");
    const ZervaRun run = RunExe(exe, L"--root \"" + root.Path() + L"\" --cli update",
                                {{kOnlineBaseVariable, Utf8ToWide(server.Url())}});
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.lines, "status    : update available")) << run.output;
    EXPECT_TRUE(Contains(run.lines, "Zerva.exe replaced by version 4.1.0, new instance started.")) << run.output;
    EXPECT_EQ(testkit::ReadFile(exe), next);
    // The new instance was started with the status command after the restart options.
    const std::wstring report = app / L"zerva-restart.txt";
    ASSERT_TRUE(testkit::WaitFor([&] { return PathExists(report); }));
    EXPECT_TRUE(EndsWith(SplitLines(testkit::ReadFile(report)).at(0), "--cli status")) << testkit::ReadFile(report);
    // Its process ends on its own; wait for it so that the folder can go.
    EXPECT_TRUE(testkit::WaitFor([&] { return RemoveTree(app.Path()); }));
}

TEST_F(OnlineCliTest, Install_UnknownComponentAndMissingVersion) {
    ZervaRun run = ZervaOnline(L"--cli install nginx");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(Head(run), std::vector<std::string>{"unknown component: nginx"});
    run = ZervaOnline(L"--cli install php 9.9.9");
    EXPECT_EQ(run.exitCode, 1u);
    // Neither the releases nor the archives list it; the error is the archives' own.
    EXPECT_EQ(Head(run), (std::vector<std::string>{"version not found: php 9.9.9 HTTP 404",
                                                   "WARN  [Install] Cannot load the catalog php:releases: HTTP 404",
                                                   "WARN  [Install] Cannot load the catalog php:archives: HTTP 404"}));
}

TEST_F(OnlineCliTest, InstallDefaults_CatalogErrorsThenOnlyWhatIsMissing) {
    ZervaRun run = ZervaOnline(L"--cli install-defaults");
    EXPECT_EQ(run.exitCode, 1u);
    std::vector<std::string> errors;
    for (const std::string& line : run.lines)
        if (StartsWith(line, "ERROR ") && line.find(" catalog: ") != std::string::npos)
            errors.push_back(line.substr(0, line.find(" catalog: ")));
    EXPECT_EQ(errors, (std::vector<std::string>{"ERROR Apache", "ERROR PHP", "ERROR MariaDB", "ERROR phpMyAdmin"}))
        << run.output;

    // With the servers there, only phpMyAdmin is fetched and installed.
    MakeStack();
    const std::string versions = R"({"version": "5.2.2", "releases": [{"version": "5.2.2", "date": "2025-01-21"}]})";
    server.Serve("/home_page/version.json", versions);
    server.Serve("/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip",
                 testkit::MakeZip({{"phpMyAdmin-5.2.2-all-languages/index.php", "<?php"},
                                   {"phpMyAdmin-5.2.2-all-languages/RELEASE-DATE-5.2.2", "2025-01-21"}}));
    const size_t requestsBefore = server.Requests().size();
    run = ZervaOnline(L"--cli install-defaults");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(false, false, "5.2.2"));
    const auto requests = server.Requests();
    std::vector<std::string> paths;
    for (size_t i = requestsBefore; i < requests.size(); ++i)
        if (!EndsWith(requests[i].path, ".sha256")) paths.push_back(requests[i].path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/home_page/version.json",
                                               "/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip"}));
}

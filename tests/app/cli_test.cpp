// The commands of the command-line mode, run end to end: the real zerva.exe against a scratch
// root with stand-in builds, and the loopback fixture server in place of every online address.
#include <gtest/gtest.h>

#include "control/monitor.h"
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

class OnlineTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(server.Started()) << server.Error();
    }
    ZervaRun Online(const std::wstring& args, const std::wstring& exe = ZervaExe()) {
        return Zerva(args, {{kOnlineBaseVariable, Utf8ToWide(server.Url())}}, exe);
    }
    testkit::FixtureServer server;
};

}  // namespace

// A port fixed in a file my_zerva.ini includes, other than MYSQL_PORT, is refused before the server
// is started, naming that file.
TEST_F(AppTest, StartRestartStop_DriveTheStandinServers_HostsThroughApacheVariables_PortOfAnIncludedFileRefused) {
    MakeStack();
    // Hosts whose port and certificate Apache's own variables name: from a Define (of a macro, as
    // the built-in SRVROOT) and from the environment httpd.exe gets. Each is listened on, none disabled.
    const int32_t shopPort = testkit::UnusedPort(), sslPort = testkit::UnusedPort();
    WriteApacheTemplate(webPort, "LoadModule ssl_module modules/mod_ssl.so\r\nDefine SRVROOT \"{APACHEPATH}\"\r\n"
                                 "Define SSL_PORT " + std::to_string(sslPort) + "\r\n<VirtualHost *:${SHOP_PORT}>\r\n"
                                 "</VirtualHost>\r\n<VirtualHost *:${SSL_PORT}>\r\n    SSLEngine on\r\n"
                                 "    SSLCertificateFile \"${SRVROOT}/conf/ssl/localhost.crt\"\r\n</VirtualHost>\r\n");
    const std::string apacheUp =
        Format("OK    [Apache] Apache started (ports %d, %d, %d) - PHP 8.3.14", webPort, shopPort, sslPort);
    const std::string dbUp = Format("OK    [MySQL] MariaDB 11.4.2 started (port %d)", dbPort);
    const int includedPort = dbPort ^ 1;   // a port other than the setting's
    const std::string refusal = Format("%s\\conf.d\\port.ini gives the database server the port %d, not the MySQL "
                                       "port %d of Zerva (MYSQL_PORT in zerva.ini), on which Zerva and phpMyAdmin "
                                       "reach it.", WideToUtf8(dbDir).c_str(), includedPort, dbPort);
    testkit::WriteFile(dbDir + L"\\conf.d\\port.ini", Format("[mariadb]\r\nport = %d\r\n", includedPort));
    const struct {
        const wchar_t* command;
        std::vector<std::string> expected;  // among the lines
        uint32_t exitCode;
        bool apacheRuns, dbRuns;
        std::string myTemplate = "";        // written before, unless empty
    } steps[] = {
        {L"start", {apacheUp, dbUp}, 0, true, true},
        {L"restart", {"OK    [Apache] Apache stopped.", apacheUp, dbUp}, 0, true, true},   // a second process
        {L"stop", {"OK    [Apache] Apache stopped.", "OK    [MySQL] MySQL stopped."}, 0, false, false},
        {L"start", {apacheUp, "ERROR [MySQL] " + refusal, "NOTICE MySQL port not usable: " + refusal}, 1, true, false,
         MyTemplate() + "!includedir conf.d\n"},
    };
    for (const auto& step : steps) {
        if (!step.myTemplate.empty()) testkit::WriteFile(dbDir + L"\\my_zerva.ini", step.myTemplate);
        const ZervaRun run = Zerva(std::wstring(L"--cli ") + step.command, {{L"SHOP_PORT", std::to_wstring(shopPort)}});
        EXPECT_EQ(run.exitCode, step.exitCode) << run.output;
        for (const std::string& line : step.expected) EXPECT_TRUE(Contains(run.lines, line)) << line << "\n" << run.output;
        EXPECT_EQ(run.output.find("disabled"), std::string::npos) << run.output;
        EXPECT_EQ(Tail(run, 6), Block(step.apacheRuns, step.dbRuns));
    }
    const ZervaRun run = Zerva(L"--cli Status");   // commands are case-sensitive
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"unknown command: Status"});
}

// Started by a tool that holds its children in a job ending them when it closes, the servers leave
// that job where it allows it and outlive it; where it does not, they still start, inside it.
TEST_F(AppTest, Start_InAKillOnCloseJob_ServersLeaveItWhereAllowedElseStartInside) {
    MakeStack();
    for (const bool breakawayOk : {true, false}) {
        SCOPED_TRACE(breakawayOk ? "breakaway allowed" : "breakaway refused");
        UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (breakawayOk ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
        ASSERT_TRUE(::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)));
        const ZervaRun run = Zerva(L"--cli start", {}, ZervaExe(), job.Get());
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(Tail(run, 6), Block(true, true));
        std::vector<ProcessInfo> servers = FindApacheProcesses(), database = FindMySqlProcesses();
        servers.insert(servers.end(), database.begin(), database.end());
        ASSERT_EQ(servers.size(), 3u);   // httpd, its child, the database server
        for (const ProcessInfo& server : servers) {
            const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, server.pid));
            BOOL inJob = breakawayOk;
            EXPECT_TRUE(::IsProcessInJob(process.Get(), job.Get(), &inJob) && inJob != breakawayOk) << server.fullPath;
        }
        job.Reset();
        if (breakawayOk) {
            const ZervaRun stop = Zerva(L"--cli stop");
            EXPECT_TRUE(Contains(stop.lines, "OK    [Apache] Apache stopped.") && Contains(stop.lines, "OK    [MySQL] MySQL stopped."))
                << stop.output;
        } else {
            EXPECT_TRUE(testkit::WaitFor([] { return FindApacheProcesses().empty() && FindMySqlProcesses().empty(); }));
        }
    }
}

TEST_F(AppTest, Start_ConfigurationError_NoticeLineAndExit1) {
    MakeStack();
    WriteApacheTemplate(webPort, "# standin: syntax-error AH00526: Syntax error on line 3\r\n"
                                 "# standin: syntax-error Invalid command 'Bogus'\r\n");
    const ZervaRun run = Zerva(L"--cli start");   // the output checks CR LF inside the notice too
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.lines, "ERROR [Apache] AH00526: Syntax error on line 3")) << run.output;
    const std::vector<std::string> head = Head(run, 6);
    EXPECT_EQ(std::vector<std::string>(head.end() - std::min<size_t>(2, head.size()), head.end()),
              (std::vector<std::string>{"NOTICE Apache configuration error: AH00526: Syntax error on line 3",
                                        "Invalid command 'Bogus'"})) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(false, false));   // the database waits for Apache
}

// A server that did not start fails the command even when no alert came, and the log says why:
// httpd.conf that cannot be written (a folder in its place), no php.ini template in a PHP build not
// configured yet, a database server the system refuses to start.
TEST_F(AppTest, StartRestart_AServerThatDidNotStart_Exit1AndTheCauseLogged) {
    MakeStack();
    const std::wstring conf = apacheDir + L"\\conf\\httpd.conf";
    const struct {
        std::function<void()> setUp;
        const wchar_t* command;
        std::string cause;   // the start of a line
        bool apacheRuns;
    } cases[] = {
        {[&] { ASSERT_TRUE(EnsureDirectory(conf + L"\\inside")); }, L"--cli start",
         "ERROR [Apache] cannot write " + WideToUtf8(conf) + ": it is a folder", false},
        {[&] { ASSERT_TRUE(RemoveTree(conf) && RemoveTree(phpDir + L"\\php.ini-development") &&
                           RemoveTree(phpDir + L"\\php_zerva.ini")); },
         L"--cli restart", "ERROR [PHP] PHP 8.3.14: no php.ini template", false},
        {[&] {
             testkit::WriteFile(phpDir + L"\\php.ini-development", "[PHP]\r\n");
             testkit::WriteFile(dbDir + L"\\bin\\mariadbd.exe", testkit::PeImage(0x8664));   // a header and nothing behind it
         }, L"--cli restart", "ERROR [MySQL] Cannot start the database server: ", true},
    };
    for (const auto& c : cases) {
        c.setUp();
        const ZervaRun run = Zerva(c.command);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(),
                                [&](const std::string& line) { return StartsWith(line, c.cause); })) << run.output;
        EXPECT_EQ(Tail(run, 6), Block(c.apacheRuns, false));
        EXPECT_TRUE(Head(run, 6).empty() || !StartsWith(Head(run, 6).back(), "NOTICE")) << "no alert makes it fail";
    }
}

TEST_F(AppTest, Site_CreatedOnceUnderItsLowerCaseName_UnsafeNamesCreateNothing) {
    MakeApache(webPort);
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf", page = WwwDir() + L"\\my_blog\\index.php";
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
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"site created: http://my_blog.localhost:" + std::to_string(webPort) + "/"});
    EXPECT_EQ(testkit::ReadFile(page), "<?php echo 'site my_blog OK - PHP ' . PHP_VERSION;\n");
    ApacheConfig config;
    ASSERT_TRUE(config.Load(conf) && config.vhosts.size() == 2u);
    EXPECT_TRUE(config.vhosts[1].serverName == "my_blog.localhost" && config.vhosts[1].port == webPort);
    // Again: the folder is not empty and the host exists; nothing more is done.
    testkit::WriteFile(page, "mine");
    const std::string confAfter = testkit::ReadFile(conf);
    run = Zerva(L"--cli site MY_BLOG");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{});
    EXPECT_TRUE(testkit::ReadFile(page) == "mine" && testkit::ReadFile(conf) == confAfter);
}

// Done is said only where Apache serves the site, as the template reads to it: a host of an
// included file that answers the name is named with its file and line, and nothing is made;
// hosts without a port of their own ("*" is "*:*") get a site without one, on the port listened
// on; HTTPS hosts alone, an HTTPS site and an https address, the status block's too.
TEST_F(AppTest, Site_DoneOnlyWhereApacheServesIt_IncludedHostsPortlessHostsHttps) {
    MakeApache(webPort);
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf";
    const std::wstring vhosts = apacheDir + L"\\conf\\extra\\vhosts.conf";
    const std::string port = std::to_string(webPort);
    testkit::WriteFile(vhosts, "# mine\r\n<VirtualHost *:" + port + ">\r\n  ServerName blogs.localhost\r\n"
                               "  ServerAlias blog.localhost\r\n</VirtualHost>\r\n");
    const std::string included = "ServerRoot \"{APACHEPATH}\"\r\n<VirtualHost *:" + port + ">\r\n</VirtualHost>\r\n"
                                 "Include conf/extra/*.conf\r\n";
    testkit::WriteFile(conf, included);
    ZervaRun run = Zerva(L"--cli site blog");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"ERROR Site not created: the virtual host blogs.localhost (" +
                                                     WideToUtf8(vhosts) + ", line 2) already answers blog.localhost."});
    EXPECT_TRUE(testkit::ReadFile(conf) == included && !PathExists(WwwDir() + L"\\blog"));

    testkit::WriteFile(conf, "<VirtualHost *>\r\n\tServerName localhost\r\n</VirtualHost>\r\n");
    run = Zerva(L"--cli site blog");
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"site created: http://blog.localhost/"});
    ApacheConfig config;
    ASSERT_TRUE(config.Load(conf) && config.vhosts.size() == 2u);
    EXPECT_TRUE(config.vhosts[1].address == "*" && config.vhosts[1].port == kNoVhostPort);

    const std::string https = "LoadModule ssl_module modules/mod_ssl.so\r\n<VirtualHost *:" + port +
                              ">\r\n\tSSLEngine on\r\n\tSSLCertificateFile \"{APACHEPATH}/conf/ssl/localhost.crt\"\r\n</VirtualHost>\r\n";
    testkit::WriteFile(conf, https);
    testkit::WriteFile(apacheDir + L"\\conf\\ssl\\localhost.crt", "made by the first start");
    run = Zerva(L"--cli site shop");
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"site created: https://shop.localhost:" + port + "/"});
    EXPECT_EQ(run.lines.back(), "url      : https://localhost:" + port + "/");
    ASSERT_TRUE(config.Load(conf) && config.vhosts.size() == 2u);
    EXPECT_EQ(config.vhosts[1].otherLines, config.vhosts[0].otherLines);
}

// A template that cannot be written back as it stands is refused with the reason, and nothing
// changes: a <Directory> left open (the new host would land in the first one), or a ServerName of
// two words between quotes (one name to Apache, which the field cannot hold).
TEST_F(AppTest, Site_TemplateThatCannotBeWrittenBack_RefusedWithTheReason_NothingChanged) {
    MakeApache(webPort);
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf";
    const std::string open = "<VirtualHost *:" + std::to_string(webPort) + ">\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {open + "  <Directory \"{DOCUMENTPATH}\">\r\n</VirtualHost>\r\n<VirtualHost *:8081>\r\n</VirtualHost>\r\n",
         "ERROR httpd_zerva.conf must be mended by hand: line 2 opens a block that is never closed: "
         "<Directory \"{DOCUMENTPATH}\">"},
        {open + "  ServerName \"blog .localhost\"\r\n  DocumentRoot C:\\sites\\blog\\ \r\n</VirtualHost>\r\n",
         "ERROR Not saved: virtual host 1 (blog .localhost), ServerName cannot hold blanks or double quotes (one name "
         "only)."},
    };
    for (const auto& [text, refusal] : cases) {
        testkit::WriteFile(conf, text);
        const ZervaRun run = Zerva(L"--cli site shop");
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(Head(run, 6), std::vector<std::string>{refusal});
        EXPECT_EQ(testkit::ReadFile(conf), text);
        EXPECT_FALSE(PathExists(WwwDir() + L"\\shop"));
    }
}

// A template written by hand as Apache reads it comes back from "site" as it was, but for its
// byte-order mark and its continued line (joined), with the new host at the top level after the
// block that holds the last one: hosts on two addresses, Alias lines in the order Apache tries them.
// The new host goes on those addresses (a "*" one would never be chosen), at their port; a host
// there that answers a name by an alias would take its requests: refused, naming that host, and
// nothing is made; one on another port does not count.
TEST_F(AppTest, Site_HandWrittenTemplate_KeptAsApacheReadsIt_NewHostAtTheTopLevel) {
    MakeApache(webPort);
    const std::wstring conf = apacheDir + L"\\conf\\httpd_zerva.conf";
    const std::string at = "127.0.0.1:" + std::to_string(webPort) + " [::1]:" + std::to_string(webPort);
    const std::string host = "<VirtualHost " + at +
                             ">\r\n\tDocumentRoot \"{DOCUMENTPATH}\"\r\n\tAlias \"/app/static\" \"{DOCUMENTPATH}/s\"\r\n"
                             "\tAlias /app \"{DOCUMENTPATH}/app\"\r\n\t<Directory \"{DOCUMENTPATH}\">\r\n\t\tOptions Indexes";
    const std::string rest = "\t\tRequire all granted\r\n\t</Directory>\r\n</VirtualHost>\r\n<VirtualHost " + at +
                             ">\r\n\tServerName \"www.localhost\"\r\n\tServerAlias *.shop.localhost BLOG.localhost\r\n"
                             "</VirtualHost>\r\n<IfModule ssl_module>\r\n<VirtualHost *:443>\r\n"
                             "\tServerAlias shop.localhost\r\n</VirtualHost>\r\n</IfModule>\r\n";
    const std::string text = "\xEF\xBB\xBF" + host + " \\\r\n FollowSymLinks\r\n" + rest + "# end\r\n";
    testkit::WriteFile(conf, text);
    ZervaRun run = Zerva(L"--cli site blog");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"ERROR Site not created: the virtual host www.localhost "
                                                     "(httpd_zerva.conf, line 11) already answers blog.localhost."});
    EXPECT_TRUE(testkit::ReadFile(conf) == text && !PathExists(WwwDir() + L"\\blog"));
    run = Zerva(L"--cli site shop");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Head(run, 6), std::vector<std::string>{"site created: http://shop.localhost:" + std::to_string(webPort) + "/"});
    VirtualHost shop = MakeVirtualHost("shop", webPort);
    shop.address = "127.0.0.1";
    shop.moreAddresses = "[::1]:" + std::to_string(webPort);
    std::string added;
    WriteVhostBlock(shop, added);
    EXPECT_EQ(testkit::ReadFile(conf), host + "  FollowSymLinks\r\n" + rest + "\r\n" + added + "# end\r\n");
}

TEST_F(OnlineTest, CheckUpdateAndUpdate_AgainstTheManifest) {
    const std::string installed = std::string("installed : ") + kZervaVersion;
    const std::string address = "   (" + server.Url("/file/zerva4/update.json") + ")";
    // No manifest and no legacy file: check-update prints the failure and exits 0, update fails.
    ZervaRun run = Online(L"--cli check-update");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(Head(run), (std::vector<std::string>{installed, "latest    : ? HTTP 404" + address, "status    : up to date"}));
    run = Online(L"--cli update");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Head(run).at(3), "ERROR HTTP 404");

    const std::tuple<std::string, std::string, uint32_t> answers[] = {
        {kZervaVersion, "status    : up to date", 0}, {"4.1.0", "status    : update available (manual download)", 1}};
    for (const auto& [version, status, code] : answers) {
        server.Serve("/file/zerva4/update.json", "{\"version\": \"" + version + "\"}");
        run = Online(L"--cli update");
        EXPECT_EQ(run.exitCode, code);
        EXPECT_EQ(Head(run).at(2), status);
    }
    // A verified download replaces a copy of zerva.exe and starts the new one with "--cli status".
    testkit::ScratchDir app;
    ASSERT_TRUE(CopyFileTo(ZervaExe(), app / L"Zerva.exe", true));
    const std::string next = testkit::ReadFile(testkit::StandinPath(L"zerva_next.exe"));   // 4.1.0
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"zerva_next.exe"), app / L"next.bin", true));
    server.Serve("/files/Zerva.exe", next);
    server.Serve("/file/zerva4/update.json", "{\"version\": \"4.1.0\", \"url\": \"" + server.Url("/files/Zerva.exe") +
                                                 "\", \"sha256\": \"" + Sha256File(app / L"next.bin").value_or("") + "\"}");
    run = Online(L"--cli update", app / L"Zerva.exe");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.lines, "Zerva.exe replaced by version 4.1.0, new instance started.")) << run.output;
    EXPECT_EQ(testkit::ReadFile(app / L"Zerva.exe"), next);
    ASSERT_TRUE(testkit::WaitFor([&] { return PathExists(app / L"zerva-restart.txt"); }));
    EXPECT_TRUE(EndsWith(SplitLines(testkit::ReadFile(app / L"zerva-restart.txt")).at(0), "--cli status"));
    EXPECT_TRUE(testkit::WaitFor([&] { return RemoveTree(app.Path()); }));   // once the new one has ended
}

TEST_F(OnlineTest, Install_UnknownComponentMissingVersion_InstallDefaultsOnlyWhatIsMissing) {
    ZervaRun run = Online(L"--cli install nginx");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(Head(run), std::vector<std::string>{"unknown component: nginx"});
    run = Online(L"--cli install php 9.9.9");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(Head(run), (std::vector<std::string>{"version not found: php 9.9.9 HTTP 404",
                                                   "WARN  [Install] Cannot load the catalog php:releases: HTTP 404",
                                                   "WARN  [Install] Cannot load the catalog php:archives: HTTP 404"}));
    run = Online(L"--cli install-defaults");
    EXPECT_EQ(run.exitCode, 1u);
    std::string errors;
    for (const std::string& line : run.lines)
        if (StartsWith(line, "ERROR ")) errors += line.substr(0, line.find(':')) + ";";
    EXPECT_EQ(errors, "ERROR Apache catalog;ERROR PHP catalog;ERROR MariaDB catalog;ERROR phpMyAdmin catalog;");

    // With the servers there, only phpMyAdmin is fetched and installed.
    MakeStack();
    server.Serve("/home_page/version.json", R"({"version": "5.2.2", "releases": [{"version": "5.2.2"}]})");
    const std::string archive = "/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip";
    server.Serve(archive, testkit::MakeZip({{"p/index.php", "<?php"}, {"p/RELEASE-DATE-5.2.2", "2025-01-21"}}));
    const size_t before = server.Requests().size();
    run = Online(L"--cli install-defaults");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Tail(run, 6), Block(false, false, "5.2.2"));
    std::vector<std::string> paths;
    for (const auto& request : server.Requests()) paths.push_back(request.path);
    EXPECT_EQ(std::vector<std::string>(paths.begin() + std::min(before, paths.size()), paths.end()),
              (std::vector<std::string>{"/home_page/version.json", archive + ".sha256", archive}));
}

#include "control/start.h"

#include <windows.h>

#include <algorithm>

#include "control/monitor.h"
#include "core/handle.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "tests/control/control_fixture.h"

using namespace controltest;

namespace {

// The log lines of jobs queued on the worker, once it has run them all.
std::vector<LogLine> RunJobs(const std::function<void()>& queue) {
    return LinesDuring([&] {
        queue();
        ASSERT_TRUE(testkit::WaitFor(Idle, 90000));
    });
}

std::vector<std::string> Texts(const std::vector<LogLine>& lines, ConsoleSource source, LogLevel level) {
    std::vector<std::string> texts;
    for (const auto& [s, l, text] : lines)
        if (s == source && l == level) texts.push_back(text);
    return texts;
}

// The alert of a server or PHP program that is no program at all.
std::string NotAProgramAlert(const std::wstring& program, const std::string& build) {
    return "! Not a valid Windows program | " + WideToUtf8(program) + " is not a valid Windows program: the build is "
           "damaged or incomplete.\nReinstall " + build + " from the Components page. | 1";
}

}  // namespace

TEST_F(ControlTest, StartAll_RestartRunning_StopAll_EndToEnd) {
    const int32_t webPort = LeasedPort(), dbPort = LeasedPort();
    MakeApache(webPort);
    MakePhp();
    MakeMariaDb(dbPort);
    testkit::WriteFile(PhpMyAdminDir() + L"\\index.php", "<?php");
    Server::Instance().Start();
    auto lines = RunJobs([] { Server::Instance().StartAll(); });
    const ServerStatus status = Server::Instance().GetStatus();
    ASSERT_TRUE(status.apache.running && status.mysql.running);
    EXPECT_TRUE(status.apache.ports == std::vector<int32_t>{webPort} && status.mysql.ports == std::vector<int32_t>{dbPort});
    for (const LogLine& line : {LogLine{console::kApache, level::kInfo, "Starting Apache 2.4.58 (x64)..."},
                                {console::kPhp, level::kInfo, "PHP 8.3.14 configured from php.ini-development."},
                                {console::kApache, level::kSuccess, Format("Apache started (ports %d) - PHP 8.3.14", webPort)},
                                {console::kMySql, level::kInfo, "Starting MariaDB 11.4.2..."},
                                {console::kMySql, level::kSuccess, Format("MariaDB 11.4.2 started (port %d)", dbPort)}})
        EXPECT_TRUE(Has(lines, line)) << std::get<2>(line);

    // httpd.exe got the generated files, the exact arguments, PHPRC and the PATH prefix.
    const std::wstring conf = apacheDir + L"\\conf\\httpd.conf";
    EXPECT_EQ(stacktest::Recorded(conf, "arg"), (std::vector<std::string>{"-f", WideToUtf8(conf), "-d", WideToUtf8(apacheDir)}));
    EXPECT_EQ(stacktest::Recorded(conf, "cwd"), (std::vector<std::string>{WideToUtf8(apacheDir)}));
    EXPECT_EQ(stacktest::RecordedEnv(conf, "PHPRC"), WideToUtf8(phpDir));
    const std::string path = stacktest::RecordedEnv(conf, "PATH");
    EXPECT_TRUE(StartsWithIgnoreCase(path, WideToUtf8(phpDir + L";" + phpDir + L"\\ext;" + apacheDir + L"\\bin;"))) << path;
    EXPECT_TRUE(PathExists(phpDir + L"\\php.ini"));
    EXPECT_EQ(testkit::ReadFile(dbDir + L"\\bin\\mariadbd.args"), "--defaults-file=" + WideToUtf8(dbDir + L"\\my.ini") + "\r\n");
    EXPECT_NE(testkit::ReadFile(dbDir + L"\\my.ini").find(Format("port = %d", dbPort)), std::string::npos);

    // Apache made phpMyAdmin's missing configuration; the first database start then made the root
    // password, so zerva.ini holds it and phpMyAdmin logs in with it.
    const std::string password = GetMysqlRootPassword();
    const std::string pmaConfig = testkit::ReadFile(PhpMyAdminConfigPath());
    EXPECT_NE(password, "tulp");
    EXPECT_NE(pmaConfig.find("['password'] = '" + password + "';"), std::string::npos) << pmaConfig;

    // Restart running: stop Apache, stop the database, start Apache, start the database.
    std::vector<std::string> order;
    for (const auto& [s, l, text] : RunJobs([] { Server::Instance().RestartRunning(); }))
        if (l == level::kSuccess || StartsWith(text, "Stopping")) order.push_back(text);
    EXPECT_EQ(order, (std::vector<std::string>{"Stopping Apache...", "Apache stopped.", "Stopping MySQL...",
                                               "MySQL stopped.", Format("Apache started (ports %d) - PHP 8.3.14", webPort),
                                               Format("MariaDB 11.4.2 started (port %d)", dbPort)}));
    EXPECT_EQ(testkit::ReadFile(PhpMyAdminConfigPath()), pmaConfig) << "an existing configuration stays byte for byte";
    RunJobs([] { Server::Instance().StopAll(); });
    EXPECT_TRUE(!Server::Instance().AnyRunning() && PopAlerts().empty());
}

// The start line names PHP only when httpd.conf loads it, not once its module line is switched off
// on the Modules tab, although a PHP build is current.
TEST_F(ControlTest, DoStartApache_PhpModuleSwitchedOff_StartLineNamesNoPhp) {
    const int32_t port = LeasedPort();
    MakeApache(port);
    WriteApacheTemplate(port, "", false);
    MakePhp();
    const auto successes = Texts(LinesDuring([] { ASSERT_TRUE(DoStartApache()); }), console::kApache, level::kSuccess);
    EXPECT_EQ(successes.empty() ? "" : successes.back(), Format("Apache started (ports %d)", port));
}

// A build switch while a stop is under way: its restart, queued behind the stop, finds the server
// stopped and leaves it so. One that finds the server running restarts it.
TEST_F(ControlTest, RestartIfRunning_DecidedWhenTheJobRuns) {
    const int32_t webPort = LeasedPort(), dbPort = LeasedPort();
    MakeApache(webPort);
    MakeMariaDb(dbPort);
    Server::Instance().Start();
    const auto successes = [](const std::function<void()>& queue) {
        std::vector<std::string> texts;
        for (const auto& [source, kind, text] : RunJobs(queue))
            if (kind == level::kSuccess) texts.push_back(text);
        return texts;
    };
    RunJobs([] { Server::Instance().StartAll(); });
    const auto both = [] { Server::Instance().RestartApacheIfRunning(), Server::Instance().RestartMySqlIfRunning(); };
    EXPECT_EQ(successes(both), (std::vector<std::string>{"Apache stopped.", Format("Apache started (ports %d)", webPort),
                                                         "MySQL stopped.", Format("MariaDB 11.4.2 started (port %d)", dbPort)}));
    EXPECT_EQ(successes([&] { Server::Instance().StopAll(), both(); }),
              (std::vector<std::string>{"Apache stopped.", "MySQL stopped."}));
    EXPECT_TRUE(FindApacheProcesses().empty() && FindMySqlProcesses().empty());
}

TEST_F(ControlTest, StartAll_ApacheMissing_AlertsAndLeavesTheDatabaseAlone) {
    MakeMariaDb(LeasedPort());
    Server::Instance().Start();
    RunJobs([] { Server::Instance().StartAll(); });
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{"! Apache is not installed | No Apache version was found in "
                                                     "bin/apache.\nInstall one from the Components page. | 1"}));
    EXPECT_FALSE(PathExists(dbDir + L"\\bin\\mariadbd.args"));
}

TEST_F(ControlTest, DoStartApache_RefusalsAlertWithTheirTextsAndActions) {
    BusyPort busy;
    const int32_t port = LeasedPort();
    MakeApache(port);
    const std::wstring httpd = ApacheDir() + L"\\httpd-2.4.58\\bin\\httpd.exe";
    const struct {
        std::function<void()> setUp;
        std::string alert;
        std::string logged;  // the error line that goes with the alert, when there is one
    } cases[] = {
        {[&] { MakePhp({{"php.exe", stacktest::kStandin}, {"php8ts.dll", ""}}); },
         "! PHP version not usable | 8.3.14 (x64) has no Apache module (php*apache2_4.dll). Use a Thread Safe (TS) build. | 3"},
        {[&] { MakePhp({{"php.exe", testkit::PeImage(testkit::kX86)}, {"php8apache2_4.dll", ""}}); },
         "! Incompatible architectures | PHP 8.3.14 is x86 but Apache 2.4.58 is x64.\nApache can only load a PHP build of "
         "the same architecture. | 3"},
        // Not a program at all: no architecture to compare, the build is to be reinstalled.
        {[&] { MakePhp({{"php.exe", "a text file"}}); },
         NotAProgramAlert(PhpDir() + L"\\php-8.3.14\\php.exe", "PHP 8.3.14")},
        {[&] {
             ASSERT_FALSE(PathExists(apacheDir + L"\\conf\\httpd.conf"));  // the PHP refusals wrote nothing
             ASSERT_TRUE(RemoveTree(phpDir));
             WriteApacheTemplate(port, "# standin: syntax-error AH00526: Syntax error on line 3\r\n");
         },
         "! Apache configuration error | AH00526: Syntax error on line 3 | 2", "AH00526: Syntax error on line 3"},
        {[&] { WriteApacheTemplate(busy.Port(), ""); },
         Format("! Port %d unavailable | Port %d needed by Apache is already used by %s.\n\nStop that program or change "
                "the port in Zerva. | 2", busy.Port(), busy.Port(), OwnerText(busy.Port()).c_str())},
        {[&] { WriteApacheTemplate(port, "# standin: die\r\n"); },
         "! Apache did not start | Apache stopped right after starting.\nCheck the console and the Apache error log. | 0",
         "Apache stopped right after starting. See the messages above or logs/error.log."},
        {[&] { testkit::WriteFile(httpd, ""); }, NotAProgramAlert(httpd, "Apache 2.4.58")},
    };
    for (const auto& c : cases) {
        c.setUp();
        const auto lines = LinesDuring([] { EXPECT_FALSE(DoStartApache()); });
        EXPECT_EQ(PopAlerts(), (std::vector<std::string>{c.alert}));
        EXPECT_TRUE(c.logged.empty() || Has(lines, {console::kApache, level::kError, c.logged})) << c.alert;
    }
    EXPECT_TRUE(FindApacheProcesses().empty());
}

TEST_F(ControlTest, DoStartMySql_MissingBuildAndImmediateDeath) {
    EXPECT_FALSE(DoStartMySql());
    MakeMariaDb(LeasedPort(), "# standin: die\n");
    const auto lines = LinesDuring([] { EXPECT_FALSE(DoStartMySql()); });
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{
                               "! MySQL / MariaDB is not installed | No database server was found in bin/database.\n"
                               "Install MariaDB from the Components page. | 1",
                               "! MySQL did not start | The database server stopped right after starting.\nCheck the "
                               "console and the MySQL error log (Logs page). | 4"}));
    EXPECT_TRUE(PathExists(dbDir + L"\\data\\mysql"));  // initialized on first use
    EXPECT_TRUE(Has(lines, {console::kMySql, level::kError, "The database server stopped right after starting. See the MySQL error log."}));
}

// A port the server cannot listen on, from the setting (as written: letters make no port) or the
// template, no port line at all, or a port fixed in the template other than the setting: refused,
// naming the value and its file, before anything runs or is made; so is a server program that is
// not a program. A port from a file the template includes names that file, where {MYSQL_PORT} is
// no macro.
TEST_F(ControlTest, DoStartMySql_UnusablePortOrNotAProgram_RefusedBeforeAnythingRuns) {
    MakeMariaDb(LeasedPort());
    const std::string templatePath = WideToUtf8(dbDir + L"\\my_zerva.ini");
    const std::string fromSetting = "The database port \"%s\" (MYSQL_PORT in zerva.ini) is not a port from 1 to 65535.";
    const std::string toSetting = "\nSet the port on the MySQL / MariaDB page. | 4";
    const std::string toTemplate = " (Edit my_zerva.ini on the MySQL / MariaDB page), or restore the initial "
                                   "configuration there. | 4";
    std::string noPortLine = MyTemplate(), literal = MyTemplate(), fixed = MyTemplate();
    noPortLine.erase(noPortLine.find("port = {MYSQL_PORT}\n"), 20);   // [client] keeps its own
    literal.replace(literal.find("{MYSQL_PORT}"), 12, "abc");
    fixed.replace(fixed.find("{MYSQL_PORT}"), 12, "53999");
    // The server stops reading extra.ini at the folder that is not there: the port after it is not taken.
    testkit::WriteFile(dbDir + L"\\extra.ini", "[mariadb]\nport = 53999\n!includedir missing\nport = 33306\n");
    testkit::WriteFile(dbDir + L"\\conf.d\\port.cnf", "[mysqld]\nport = {MYSQL_PORT}\n");
    const std::string inFile = " ({MYSQL_PORT} is not expanded in a file that my_zerva.ini includes)";
    const struct {
        std::string setting, myTemplate, problem, remedy;
    } cases[] = {
        {"0", "", Format(fromSetting.c_str(), "0"), toSetting},
        // Not the default 3306, nor the digits before the letters, in place of what was meant.
        {"3307x", "", Format(fromSetting.c_str(), "3307x"), toSetting},
        // The macro in a group this server does not read blames no setting.
        {"3306", literal + "[mysqld-5.7]\nport = {MYSQL_PORT}\n",
         Format("The database port \"abc\" in %s is not a port from 1 to 65535.", templatePath.c_str()),
         "\nCorrect it" + toTemplate},
        {"3306", noPortLine, templatePath + " has no port line under [mysqld]: the server would listen on a port of its own.",
         "\nAdd the line \"port = {MYSQL_PORT}\"" + toTemplate},
        // A port the server could take, but not the one the start would wait on and phpMyAdmin use.
        {"33306", fixed, templatePath + " gives the database server the port 53999, not the MySQL port 33306 of Zerva "
                                        "(MYSQL_PORT in zerva.ini), on which Zerva and phpMyAdmin reach it.",
         "\nWrite \"port = {MYSQL_PORT}\" there (Edit my_zerva.ini on the MySQL / MariaDB page) to use port 33306, or "
         "set the port to 53999 on that page. | 4"},
        {"33306", MyTemplate() + "!include extra.ini\n",
         WideToUtf8(dbDir) + "\\extra.ini gives the database server the port 53999, not the MySQL port 33306 of Zerva "
                             "(MYSQL_PORT in zerva.ini), on which Zerva and phpMyAdmin reach it.",
         "\nWrite \"port = 33306\" there" + inFile + ", or set the port to 53999 on the MySQL / MariaDB page. | 4"},
        {"33306", MyTemplate() + "!includedir conf.d\n",
         Format("The database port \"{MYSQL_PORT}\" in %s\\conf.d\\port.cnf is not a port from 1 to 65535.",
                WideToUtf8(dbDir).c_str()),
         "\nWrite \"port = 33306\" there" + inFile + ". | 4"},
    };
    for (const auto& c : cases) {
        Config::Instance().Set(setting::kMysqlPort, c.setting);
        if (!c.myTemplate.empty()) testkit::WriteFile(dbDir + L"\\my_zerva.ini", c.myTemplate);
        const auto lines = LinesDuring([] { EXPECT_FALSE(DoStartMySql()); });
        EXPECT_EQ(PopAlerts(), (std::vector<std::string>{"! MySQL port not usable | " + c.problem + c.remedy}));
        EXPECT_TRUE(Has(lines, {console::kMySql, level::kError, c.problem})) << c.problem;
    }
    testkit::WriteFile(dbDir + L"\\bin\\mariadbd.exe", "");
    EXPECT_FALSE(DoStartMySql());
    EXPECT_EQ(PopAlerts(), std::vector<std::string>{NotAProgramAlert(dbDir + L"\\bin\\mariadbd.exe", "MariaDB 11.4.2")});
    // Neither the install tool nor the server ran, and no data folder was made.
    EXPECT_FALSE(PathExists(dbDir + L"\\bin\\mariadb-install-db.args") || PathExists(dbDir + L"\\bin\\mariadbd.args") ||
                 PathExists(dbDir + L"\\data"));
}

// A server that dies at start is not started, even when its id already belongs to another process
// (Wine hands freed ids out again): the start judges the server by its own handle of it.
TEST_F(ControlTest, StartSequences_ServerDiesAndItsIdIsTakenByAnother_NotStarted) {
    MakeApache(LeasedPort(), "# standin: die\r\n");
    MakeMariaDb(LeasedPort(), "# standin: die\n");
    SetPidRunningForTest([](uint32_t) { return true; });   // every id has a running process again
    const bool apache = DoStartApache(), database = DoStartMySql();
    SetPidRunningForTest(nullptr);
    EXPECT_FALSE(apache || database);
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{
                               "! Apache did not start | Apache stopped right after starting.\nCheck the console and "
                               "the Apache error log. | 0",
                               "! MySQL did not start | The database server stopped right after starting.\nCheck the "
                               "console and the MySQL error log (Logs page). | 4"}));
}

TEST_F(ControlTest, DoStartApache_NotListening_Warns_DoStopApache_ForcedEnd_AndSurvivorReported) {
    SetStopWaitForTest(300);   // the stand-in ignores the request: no need to wait the full time
    MakeApache(LeasedPort(), "# standin: no-listen\r\n# standin: ignore-stop\r\n");
    auto lines = LinesDuring([] { ASSERT_TRUE(DoStartApache()); });  // running counts as started, with a warning
    EXPECT_EQ(Texts(lines, console::kApache, level::kWarning),
              (std::vector<std::string>{"No PHP version installed: Apache starts without PHP.",
                                        "Apache is running but does not listen on every port yet."}));
    // A forced end that does nothing: the survivor is an error and an alert, not "stopped".
    SetForcedEndForTest([](uint32_t) { return true; });
    lines = LinesDuring(DoStopApache);
    EXPECT_EQ(Texts(lines, console::kApache, level::kError), std::vector<std::string>{"Apache is still running after the forced stop."});
    EXPECT_TRUE(Texts(lines, console::kApache, level::kSuccess).empty());
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{"! Apache did not stop | Apache is still running after the stop "
                                                     "request and the forced end.\nEnd httpd.exe in the Task Manager. | 0"}));
    EXPECT_FALSE(FindApacheProcesses().empty());

    SetForcedEndForTest(nullptr);
    EXPECT_EQ(Texts(LinesDuring(DoStopApache), console::kApache, level::kSuccess), std::vector<std::string>{"Apache stopped."});
    EXPECT_TRUE(FindApacheProcesses().empty() && PopAlerts().empty());
    EXPECT_TRUE(LinesDuring(DoStopApache).empty());  // nothing running: nothing logged
}

TEST_F(ControlTest, DoStopMySql_IgnoredEventAndAdmin_AdminThenTermination) {
    SetStopWaitForTest(300);
    MakeMariaDb(LeasedPort(), "# standin: ignore-stop\n");
    ASSERT_TRUE(DoStartMySql());
    const auto lines = LinesDuring(DoStopMySql);
    EXPECT_EQ(Texts(lines, console::kMySql, level::kWarning), std::vector<std::string>{"Clean shutdown failed: the process is terminated."});
    EXPECT_EQ(Texts(lines, console::kMySql, level::kSuccess), (std::vector<std::string>{"MySQL stopped."}));
    EXPECT_TRUE(testkit::ReadFile(dbDir + L"\\bin\\mariadb-admin.args").find("shutdown") != std::string::npos && FindMySqlProcesses().empty());
}

TEST_F(ControlTest, Monitor_TemplateChangeRestartsApache_LogLinesReachTheConsole_ShutdownLeavesItRunning) {
    const int32_t port = LeasedPort();
    MakeApache(port);
    ASSERT_TRUE(DoStartApache());
    Server::Instance().Start();  // finds Apache running: its signature becomes the baseline
    const std::vector<uint32_t> first = Server::Instance().GetStatus().apache.pids;
    ASSERT_FALSE(first.empty());
    // Its handle, not its id, tells that it ended: Wine hands a freed id out again at once.
    const UniqueHandle firstServer(::OpenProcess(SYNCHRONIZE, FALSE, first.front()));
    ASSERT_TRUE(firstServer);

    const auto lines = LinesDuring([&] {
        const std::wstring log = apacheDir + L"\\logs\\error.log";
        testkit::WriteFile(log, testkit::ReadFile(log) + "[php:warn] [pid 1] PHP Warning:  Undefined variable\r\n"
                                                         "[core:error] [pid 1] AH00037: broken\r\n");
        WriteApacheTemplate(port, "# edited\r\n");
        ASSERT_TRUE(testkit::WaitFor([&] {
            return ::WaitForSingleObject(firstServer.Get(), 0) == WAIT_OBJECT_0 &&
                   !Server::Instance().GetStatus().apache.pids.empty() && Idle();
        }, 60000));
    });
    EXPECT_TRUE(Has(lines, {console::kPhp, level::kWarning, "[php:warn] [pid 1] PHP Warning:  Undefined variable"}));
    EXPECT_TRUE(Has(lines, {console::kApache, level::kError, "[core:error] [pid 1] AH00037: broken"}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         LogLine{console::kZerva, level::kInfo, "Apache / PHP configuration changed: restarting Apache."}),
              1);

    Server::Instance().Shutdown(false);
    EXPECT_FALSE(FindApacheProcesses().empty());  // the servers outlive the panel
}

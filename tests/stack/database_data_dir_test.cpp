// Data folder initialization both ways, the admin tool's shutdown and password change against the
// stand-ins, and the texts behind them. Every tool must receive the stored password unchanged.
#include "stack/database/data_dir.h"

#include <windows.h>

#include <regex>
#include <thread>

#include "core/handle.h"
#include "core/probes.h"
#include "stack/apache/builds.h"
#include "tests/stack/stack_fixture.h"

using stacktest::kAwkwardPasswords;
using stacktest::kStandin;

namespace {
class DbDataFolder : public stacktest::DbRootTest {
protected:
    DbInstall MariaDb() {
        return MakeDb("mariadb-11.4.2", {{"bin/mariadbd.exe", kStandin}, {"bin/mariadb-install-db.exe", kStandin},
                                         {"bin/mariadb-admin.exe", kStandin}});
    }
    // With its template, as every caller makes it before the first start.
    DbInstall MySql() {
        const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", kStandin}});
        std::string error;
        EXPECT_TRUE(EnsureMyTemplate(build, error)) << error;
        return build;
    }
    // The arguments a stand-in received on its last run.
    static std::vector<std::string> Received(const DbInstall& build, const wchar_t* program) {
        return SplitLines(testkit::ReadFile(DbBinDir(build) + L"\\" + program + L".args"));
    }
};

// A database server started from the build's my.ini, ended by the test whatever happens.
struct RunningServer {
    explicit RunningServer(const DbInstall& build) {
        std::string error;
        EXPECT_TRUE(EnsureMyTemplate(build, error) && WriteMyIni(build, error) && EnsureDirectory(DbDataDir(build)));
        const uint32_t pid = proc::Spawn({build.serverExe, L"--defaults-file=\"" + MyIniPath(build) + L"\""}, &error);
        process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
        // The stand-in makes its stop events before it listens: a listening port means it can be
        // stopped. Asked of the listener table, never by a bind probe: a probe holds the port for a
        // moment, and a server binding in that moment fails and ends ("does not listen").
        const uint16_t port = uint16_t(MysqlPort());
        testkit::WaitFor([&] { return PortListenerPid(port) || ::WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT; },
                         20000);
        EXPECT_TRUE(PortListenerPid(port)) << "the server does not listen";
    }
    // Through the handle: once the test stopped the server, its id may be another process's.
    ~RunningServer() {
        if (process) ::TerminateProcess(process.Get(), 1);
    }
    UniqueHandle process;
};
}  // namespace

TEST(DbDataFolderText, InitScriptAndRunOutcome) {
    EXPECT_EQ(InitScriptText("it's a\\b"), "ALTER USER 'root'@'localhost' IDENTIFIED BY 'it\\'s a\\\\b';\n");
    // Started, timed out, exit code, whether the mysql database exists: only the folder counts, and
    // whatever a run killed at its time-out left is no database.
    const std::tuple<bool, bool, uint32_t, bool, std::optional<std::string>> cases[] = {
        {false, false, 0, false, "cannot start"}, {true, false, 3, true, std::nullopt},
        {true, false, 3, false, "data directory initialization failed (exit code 3)"},
        {true, false, 0, false, "data directory initialization failed (exit code 0)"},
        {true, true, 1, true, "data directory initialization timed out"}};
    for (const auto& [started, timedOut, code, made, failure] : cases)
        EXPECT_EQ(InitRunFailure(proc::RunResult{started, timedOut, code, "", "cannot start"}, made), failure) << code;
}

TEST_F(DbDataFolder, InitDataDir_BothWays_EachToolGetsTheStoredPassword) {
    for (const DbInstall& build : {MariaDb(), MySql()}) {
        for (const std::string& password : kAwkwardPasswords) {
            SCOPED_TRACE(build.name + " / " + password);
            ASSERT_TRUE(RemoveTree(DbDataDir(build)));
            Config::Instance().Set(setting::kMysqlRootPassword, password);
            std::string error;
            ASSERT_TRUE(InitDataDir(build, GetMysqlRootPassword(), error)) << error;
            EXPECT_TRUE(HasMysqlDatabase(build));
            if (build.isMariaDb) {
                EXPECT_EQ(Received(build, L"mariadb-install-db"),
                          (std::vector<std::string>{"--datadir=" + WideToUtf8(DbDataDir(build)),
                                                    "--password=" + password, "--port=3306"}));
                continue;
            }
            const std::string script = testkit::ReadFile(DbBinDir(build) + L"\\mysqld.init");
            const auto value = stacktest::ReadSingleQuoted(script, script.find("BY '") + 3);
            ASSERT_TRUE(value) << script;
            EXPECT_EQ(value->first, password);
            EXPECT_EQ(script.substr(0, script.find("BY '") + 3) + script.substr(value->second),
                      "ALTER USER 'root'@'localhost' IDENTIFIED BY ;\n");
            const std::wstring scriptPath = TempDir() + L"\\zerva_init.sql";
            EXPECT_FALSE(PathExists(scriptPath));   // the password does not linger
            EXPECT_EQ(Received(build, L"mysqld"),
                      (std::vector<std::string>{"--defaults-file=" + WideToUtf8(MyIniPath(build)),
                                                "--initialize-insecure", "--console",
                                                "--init-file=" + WideToUtf8(scriptPath)}));
        }
    }
}

// A new data folder never gets the published default: with no password in zerva.ini a random one
// is stored first and given to root; a folder made elsewhere still reads the default.
TEST_F(DbDataFolder, InitDataDir_NoStoredPassword_ARandomOneStoredFirstAndGivenToRoot) {
    const DbInstall build = MariaDb();
    ASSERT_FALSE(Config::Instance().Has(setting::kMysqlRootPassword));
    EXPECT_EQ(GetMysqlRootPassword(), "tulp");
    std::string error;
    FailRandomForTesting(true);
    const bool refused = !InitDataDir(build, GetMysqlRootPassword(), error);
    FailRandomForTesting(false);
    EXPECT_TRUE(refused && error == "cannot make a root password: the random source failed") << error;
    // A password that cannot be stored would be lost with the next start: refused too.
    ASSERT_TRUE(EnsureDirectory(root / L"zerva.ini"));
    EXPECT_FALSE(InitDataDir(build, GetMysqlRootPassword(), error));
    EXPECT_EQ(error, "cannot store the new root password: cannot write zerva.ini");
    EXPECT_FALSE(PathExists(DbBinDir(build) + L"\\mariadb-install-db.args") || Config::Instance().Has(setting::kMysqlRootPassword));
    ASSERT_TRUE(RemoveTree(root / L"zerva.ini"));

    ASSERT_TRUE(InitDataDir(build, GetMysqlRootPassword(), error)) << error;
    const std::string password = GetMysqlRootPassword();
    EXPECT_TRUE(std::regex_match(password, std::regex("[A-Za-z0-9]{16,}"))) << password;
    EXPECT_EQ(Received(build, L"mariadb-install-db").at(1), "--password=" + password);
    EXPECT_NE(testkit::ReadFile(root / L"zerva.ini").find("MYSQL_ROOT_PASSWORD = \"" + password + "\""), std::string::npos);
}

TEST_F(DbDataFolder, InitDataDir_ExistingEmptyForeignFolderOrUnwritableScript) {
    const DbInstall build = MySql();
    std::string error;
    testkit::WriteFile(DbDataDir(build) + L"\\mysql\\damaged.frm", "");  // initialized: nothing runs
    EXPECT_TRUE(InitDataDir(build, "tulp", error));
    EXPECT_FALSE(PathExists(DbBinDir(build) + L"\\mysqld.args"));
    // A stray file, or databases without the system one: someone's data, refused and kept.
    for (const wchar_t* foreign : {L"\\stray.err", L"\\shop\\orders.ibd"}) {
        ASSERT_TRUE(RemoveTree(DbDataDir(build)));
        testkit::WriteFile(DbDataDir(build) + foreign, "kept");
        EXPECT_FALSE(InitDataDir(build, "tulp", error));
        EXPECT_EQ(error, "the data folder is not empty but contains no 'mysql' database: " + WideToUtf8(DbDataDir(build)));
        EXPECT_EQ(testkit::ReadFile(DbDataDir(build) + foreign), "kept");
    }
    ASSERT_TRUE(RemoveTree(DbDataDir(build)) && EnsureDirectory(DbDataDir(build)) && RemoveTree(TempDir()));
    testkit::WriteFile(TempDir(), "a file where the temporary folder belongs");
    EXPECT_FALSE(InitDataDir(build, "tulp", error));
    EXPECT_TRUE(stacktest::CannotWriteWithReason(error, TempDir() + L"\\zerva_init.sql")) << error;
    EXPECT_FALSE(PathExists(DbBinDir(build) + L"\\mysqld.args"));  // no server ran to leave root open
    ASSERT_TRUE(RemoveTree(TempDir()));
    EXPECT_TRUE(InitDataDir(build, "tulp", error)) << error;  // the empty folder is made anew
    EXPECT_TRUE(HasMysqlDatabase(build));
}

TEST_F(DbDataFolder, ShutdownAndPasswordChange_AgainstTheServer) {
    const DbInstall build = MariaDb();
    Config::Instance().Set(setting::kMysqlPort, "3307");
    EXPECT_EQ(MysqlAdminCommand(build, "tulp", L"shutdown").args,
              L"--no-defaults -u root --password=\"tulp\" --host=127.0.0.1 --port=3307 shutdown");
    // Leased: the test looks at the port again after the server freed it.
    const testkit::PortLease lease;
    Config::Instance().Set(setting::kMysqlPort, std::to_string(lease.Port()));
    std::string error;
    RunningServer server(build);
    for (const std::string& password : kAwkwardPasswords) {
        ASSERT_TRUE(ChangeRootPassword(build, password, password + "2", error)) << password << ": " << error;
        const auto args = Received(build, L"mariadb-admin");
        EXPECT_EQ(std::vector<std::string>(args.begin() + 3, args.end()),
                  (std::vector<std::string>{"--password=" + password, "--host=127.0.0.1",
                                            "--port=" + std::to_string(MysqlPort()), "password", password + "2"}));
    }
    const std::wstring failure = DbBinDir(build) + L"\\mariadb-admin.fail";
    for (const auto& [output, message] : {std::pair{"x: [Warning] Using a PASSWORD ON THE COMMAND LINE is insecure.\r\n  \r\n"
                                                    "x: Deprecated program name.\r\nerror: 'Access denied'\r\nmore\r\n",
                                                    "error: 'Access denied'\nmore"}, {"", "mysqladmin failed"}}) {
        testkit::WriteFile(failure, output);
        EXPECT_FALSE(ChangeRootPassword(build, "wrong", "new", error) || MysqlAdminShutdown(build, "wrong"));
        EXPECT_EQ(error, message);
    }
    ASSERT_TRUE(RemoveTree(failure));
    EXPECT_TRUE(MysqlAdminShutdown(build, "tulp"));
    ASSERT_EQ(::WaitForSingleObject(server.process.Get(), 20000), DWORD(WAIT_OBJECT_0));
    EXPECT_NE(testkit::ReadFile(FindDbErrorLog(build)).find("Shutdown complete"), std::string::npos);
    EXPECT_FALSE(MysqlAdminShutdown(build, "tulp"));  // nothing listens any more
    DbInstall noAdmin = build;
    noAdmin.adminExe.clear();
    EXPECT_FALSE(MysqlAdminShutdown(noAdmin, "tulp") || ChangeRootPassword(noAdmin, "tulp", "new", error));
    EXPECT_EQ(error, "mysqladmin not found");
}

// A first initialization that hangs is ended at its time-out, and the folder it half made goes
// (its mysql folder would pass as initialized), even while a file in it is let go late, as Windows
// lets go of a killed tree's files after the kill returns: held here until the removal has begun.
TEST_F(DbDataFolder, InitDataDir_TimedOut_NoHalfMadeFolderLeft_EvenWhenAFileIsLetGoLate) {
    SetInitTimeoutForTest(5000);   // time for a loaded machine to start the tool and the server it runs
    for (const DbInstall& build : {MariaDb(), MySql()}) {
        SCOPED_TRACE(build.name);
        if (build.isMariaDb) testkit::WriteFile(DbBinDir(build) + L"\\mariadb-install-db.hang", "");
        else testkit::WriteFile(MyTemplatePath(build), MyTemplate() + "# standin: hang\n");
        const std::wstring data = DbDataDir(build), serverFile = data + L"\\ibdata1", late = data + L"\\mysql\\db.frm";
        std::thread holder([&] {
            ASSERT_TRUE(testkit::WaitFor([&] { return PathExists(serverFile); }, 20000));   // half made
            const UniqueHandle file(::CreateFileW(late.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
            EXPECT_TRUE(file);
            EXPECT_TRUE(testkit::WaitFor([&] { return !PathExists(serverFile); }, 20000));
        });
        std::string error;
        EXPECT_FALSE(InitDataDir(build, "tulp", error));
        holder.join();
        EXPECT_EQ(error, "data directory initialization timed out");
        EXPECT_FALSE(PathExists(data));
    }
    SetInitTimeoutForTest(0);
}

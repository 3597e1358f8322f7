// Data folder initialization both ways, the admin tool's shutdown and password change against the
// stand-ins, and the texts behind them. Every tool must receive the stored password unchanged.
#include "stack/database/data_dir.h"

#include <windows.h>

#include "core/handle.h"
#include "core/probes.h"
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
        const DbInstall build = MakeDb("mysql-8.0.36", {{"bin/mysqld.exe", kStandin}, {"bin/mysqladmin.exe", kStandin}});
        std::string error;
        EXPECT_TRUE(EnsureMyTemplate(build, error)) << error;
        return build;
    }
    // The arguments a stand-in received on its last run, one per entry.
    static std::vector<std::string> Received(const DbInstall& build, const wchar_t* program) {
        std::string text = testkit::ReadFile(DbBinDir(build) + L"\\" + program + L".args");
        ReplaceAllInPlace(text, "\r\n", "\n");
        return Split(text.substr(0, text.empty() ? 0 : text.size() - 1), '\n');
    }
};

// A database server started from the build's my.ini, ended by the test whatever happens.
struct RunningServer {
    explicit RunningServer(const DbInstall& build) {
        std::string error;
        EXPECT_TRUE(EnsureMyTemplate(build, error) && WriteMyIni(build, error)) << error;
        EXPECT_TRUE(EnsureDirectory(DbDataDir(build)));  // where it writes its error log
        proc::SpawnOptions options;
        options.exe = build.serverExe;
        options.args = L"--defaults-file=\"" + MyIniPath(build) + L"\"";
        pid = proc::Spawn(options, &error);
        process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        const uint16_t port = uint16_t(MysqlPortSetting());
        // The stand-in opens its stop events before the port, so a busy port means it can be stopped.
        for (int waited = 0; IsPortFree(port) && IsPidRunning(pid) && waited < 20000; waited += 10) ::Sleep(10);
        EXPECT_FALSE(IsPortFree(port)) << "the server does not listen";
    }
    ~RunningServer() {
        if (IsPidRunning(pid)) KillPid(pid);
    }
    bool Ended() const { return ::WaitForSingleObject(process.Get(), 20000) == WAIT_OBJECT_0; }
    static int MysqlPortSetting() { return Config::Instance().GetInt(setting::kMysqlPort); }
    uint32_t pid = 0;
    UniqueHandle process;
};

}  // namespace

// ---- Texts ----

TEST(DbDataFolderText, InitScriptAndFilterAndRunOutcome) {
    EXPECT_EQ(InitScriptText("it's a\\b"), "ALTER USER 'root'@'localhost' IDENTIFIED BY 'it\\'s a\\\\b';\n");
    EXPECT_EQ(InitScriptText(""), "ALTER USER 'root'@'localhost' IDENTIFIED BY '';\n");
    EXPECT_EQ(FilterMysqlAdminOutput("mysqladmin: [Warning] Using a PASSWORD ON THE COMMAND LINE is insecure.\r\n"
                                     "  \r\nmysqladmin: Deprecated program name. Use mariadb-admin\r\n"
                                     "error: 'Access denied'\r\nsecond line\r\n"),
              "error: 'Access denied'\nsecond line");
    proc::RunResult run;
    run.error = "cannot start";
    EXPECT_EQ(InitRunFailure(run, false), "cannot start");
    run.started = true;
    run.exitCode = 0;
    EXPECT_EQ(InitRunFailure(run, true), std::nullopt);  // only the folder counts, not the exit code
    run.exitCode = 3;
    EXPECT_EQ(InitRunFailure(run, true), std::nullopt);
    EXPECT_EQ(InitRunFailure(run, false), "data directory initialization failed (exit code 3)");
    run.timedOut = true;  // killed at its time-out: whatever it left is no database
    EXPECT_EQ(InitRunFailure(run, true), "data directory initialization timed out");
}

// ---- Initialization ----

TEST_F(DbDataFolder, InitDataDir_BothWays_EachToolGetsTheStoredPassword) {
    for (const DbInstall& build : {MariaDb(), MySql()}) {
        for (const std::string& password : kAwkwardPasswords) {
            SCOPED_TRACE(build.name + " / " + password);
            ASSERT_TRUE(RemoveTree(DbDataDir(build)));
            std::string error;
            ASSERT_TRUE(InitDataDir(build, password, error)) << error;
            EXPECT_TRUE(HasMysqlDatabase(build));
            if (build.isMariaDb) {
                EXPECT_EQ(Received(build, L"mariadb-install-db"),
                          (std::vector<std::string>{"--datadir=" + WideToUtf8(DbDataDir(build)), "--password=" + password,
                                                    "--port=3306"}));
                continue;
            }
            const std::string script = testkit::ReadFile(DbBinDir(build) + L"\\mysqld.init");
            EXPECT_EQ(script, InitScriptText(password));
            const auto value = stacktest::ReadSingleQuoted(script, script.find("BY '") + 3);
            ASSERT_TRUE(value);
            EXPECT_EQ(value->first, password);
            EXPECT_EQ(script.substr(value->second), ";\n");
            EXPECT_FALSE(PathExists(TempDir() + L"\\zerva_init.sql"));  // the password does not linger
            const auto args = Received(build, L"mysqld");
            ASSERT_EQ(args.size(), 4u);
            EXPECT_EQ(args[0], "--defaults-file=" + WideToUtf8(MyIniPath(build)));
            EXPECT_EQ(args[3], "--init-file=" + WideToUtf8(TempDir() + L"\\zerva_init.sql"));
        }
    }
}

TEST_F(DbDataFolder, InitDataDir_ExistingEmptyOrForeignFolder) {
    const DbInstall build = MySql();
    std::string error;
    testkit::WriteFile(DbDataDir(build) + L"\\mysql\\damaged.frm", "");  // initialized: nothing runs
    EXPECT_TRUE(InitDataDir(build, "tulp", error));
    EXPECT_FALSE(PathExists(DbBinDir(build) + L"\\mysqld.args"));

    ASSERT_TRUE(RemoveTree(DbDataDir(build)) && EnsureDirectory(DbDataDir(build)));
    EXPECT_TRUE(InitDataDir(build, "tulp", error)) << error;  // empty: made anew
    EXPECT_TRUE(HasMysqlDatabase(build));

    ASSERT_TRUE(RemoveTree(DbDataDir(build)));
    testkit::WriteFile(DbDataDir(build) + L"\\stray.err", "kept");
    EXPECT_FALSE(InitDataDir(build, "tulp", error));
    EXPECT_EQ(error, "the data folder is not empty but contains no 'mysql' database: " + WideToUtf8(DbDataDir(build)));
    EXPECT_EQ(testkit::ReadFile(DbDataDir(build) + L"\\stray.err"), "kept");
    EXPECT_FALSE(HasMysqlDatabase(build));
}

TEST_F(DbDataFolder, InitDataDir_ScriptCannotBeWritten_FailsBeforeTheServerRuns) {
    const DbInstall build = MySql();
    ASSERT_TRUE(RemoveTree(TempDir()));
    testkit::WriteFile(TempDir(), "a file where the temporary folder belongs");
    std::string error;
    EXPECT_FALSE(InitDataDir(build, "tulp", error));
    EXPECT_EQ(error, "cannot write " + WideToUtf8(TempDir() + L"\\zerva_init.sql"));
    EXPECT_FALSE(PathExists(DbBinDir(build) + L"\\mysqld.args"));
    EXPECT_FALSE(HasMysqlDatabase(build));
}

// ---- Admin tool ----

TEST_F(DbDataFolder, MysqlAdminCommand_OrdinaryPasswordsGiveTheExactLine) {
    Config::Instance().Set(setting::kMysqlPort, "3307");
    const DbInstall build = MariaDb();
    const proc::SpawnOptions options = MysqlAdminCommand(build, "tulp", L"shutdown");
    EXPECT_EQ(options.exe, build.adminExe);
    EXPECT_EQ(options.workDir, DbBinDir(build));
    EXPECT_EQ(options.args, L"--no-defaults -u root --password=\"tulp\" --host=127.0.0.1 --port=3307 shutdown");
    EXPECT_EQ(MysqlAdminCommand(build, "", L"x").args, L"--no-defaults -u root --password=\"\" --host=127.0.0.1 --port=3307 x");
}

TEST_F(DbDataFolder, ShutdownAndPasswordChange_AgainstTheServer) {
    Config::Instance().Set(setting::kMysqlPort, std::to_string(testkit::UnusedPort()));
    const DbInstall build = MariaDb();
    std::string error;
    {
        RunningServer server(build);
        for (const std::string& password : kAwkwardPasswords) {
            SCOPED_TRACE(password);
            ASSERT_TRUE(ChangeRootPassword(build, password, password + "2", error)) << error;
            const auto args = Received(build, L"mariadb-admin");
            ASSERT_EQ(args.size(), 8u);
            EXPECT_EQ(args[3], "--password=" + password);
            EXPECT_EQ(args[6], "password");
            EXPECT_EQ(args[7], password + "2");
        }
        testkit::WriteFile(DbBinDir(build) + L"\\mariadb-admin.fail",
                           "mariadb-admin: [Warning] Using a password on the command line interface can be insecure.\r\n"
                           "error: 'Access denied for user 'root'@'localhost'\r\n");
        EXPECT_FALSE(ChangeRootPassword(build, "wrong", "new", error));
        EXPECT_EQ(error, "error: 'Access denied for user 'root'@'localhost'");
        EXPECT_FALSE(MysqlAdminShutdown(build, "wrong"));
        testkit::WriteFile(DbBinDir(build) + L"\\mariadb-admin.fail", "");
        EXPECT_FALSE(ChangeRootPassword(build, "wrong", "new", error));
        EXPECT_EQ(error, "mysqladmin failed");
        ASSERT_TRUE(RemoveTree(DbBinDir(build) + L"\\mariadb-admin.fail"));

        EXPECT_TRUE(MysqlAdminShutdown(build, "tulp"));
        ASSERT_TRUE(server.Ended());
        DWORD code = 99;
        ::GetExitCodeProcess(server.process.Get(), &code);
        EXPECT_EQ(code, 0u);
        EXPECT_NE(testkit::ReadFile(FindDbErrorLog(build)).find("Shutdown complete"), std::string::npos);
    }
    EXPECT_FALSE(MysqlAdminShutdown(build, "tulp"));  // nothing listens any more
    EXPECT_FALSE(ChangeRootPassword(build, "tulp", "new", error));
    EXPECT_NE(error.find("127.0.0.1"), std::string::npos) << error;

    DbInstall noAdmin = build;
    noAdmin.adminExe.clear();
    EXPECT_FALSE(MysqlAdminShutdown(noAdmin, "tulp"));
    EXPECT_FALSE(ChangeRootPassword(noAdmin, "tulp", "new", error));
    EXPECT_EQ(error, "mysqladmin not found");
}

TEST_F(DbDataFolder, Server_StopsOnEitherNamedEvent) {
    Config::Instance().Set(setting::kMysqlPort, std::to_string(testkit::UnusedPort()));
    const DbInstall build = MySql();
    for (const wchar_t* prefix : {L"MySQLShutdown", L"Global\\MySQLShutdown"}) {
        RunningServer server(build);
        EXPECT_TRUE(SignalNamedEvent(prefix + std::to_wstring(server.pid))) << WideToUtf8(prefix);
        EXPECT_TRUE(server.Ended()) << WideToUtf8(prefix);
    }
}

// The MySQL / MariaDB page on scratch roots with the database stand-ins. States the page only reads
// (servers running, the worker busy) are set in UiState and the page drawn alone; the password
// change and the initialisation run on the real server worker.
#include "ui/pages/mysql.h"

#include <gtest/gtest.h>

#include "control/server.h"
#include "core/config.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/builds.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "ui/pages/pages.h"

using Strings = std::vector<std::string>;
using uitest::Contains;

namespace {

class MySqlPage : public uitest::PageAlone {
protected:
    MySqlPage() : PageAlone(ui::PageMySql) {}
    // The stand-in stack with the database client and a configured phpMyAdmin.
    DbInstall MakeDbStack() {
        MakeStack();
        MakeFolder(dbDir, {{"bin/mariadb.exe", stacktest::kStandin}});
        EXPECT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
        ui::RefreshInstalls(true);
        Draw();
        return *ui::State().currentDb;
    }
    static void SetRunning(bool mysql, bool apache = false) {
        ui::State().server.mysql.running = mysql;
        ui::State().server.apache.running = apache;
    }
    static int32_t Queued() { return Server::Instance().GetStatus().queued; }
    // What config.inc.php assigns to the server's key.
    static std::string PhpMyAdmin(const std::string& key) {
        const std::string text = testkit::ReadFile(PhpMyAdminConfigPath()), start = "['" + key + "'] = '";
        const size_t at = text.find(start) + start.size();
        return text.substr(at, text.find("';", at) - at);
    }
};

}  // namespace

TEST_F(MySqlPage, ButtonsFollowTheServersTheWorkerAndTheFields_ToolsReachTheShell) {
    Draw();
    EXPECT_TRUE(FindId(harness, "inst_db") && !FindId(harness, "chpwd"));
    ASSERT_TRUE(ClickOn("inst_db"));
    EXPECT_EQ(ui::State().page, page::kComponents);

    const DbInstall build = MakeDbStack();
    EXPECT_FALSE(On("dbedit") || On("dblog") || On("dbrestore"));  // not configured, no log, no initial copy
    // MySQL runs, Apache runs, worker busy, new, confirmation -> chpwd, dbcli, dbpma (dbinit: worker idle).
    const std::tuple<bool, bool, bool, std::string, std::string, bool, bool, bool> cases[] = {
        {false, false, false, "a", "a", false, false, false}, {true, false, false, "", "", false, true, false},
        {true, false, false, "a", "b", false, true, false},   {true, false, false, "a", "a", true, true, false},
        {true, true, true, "a", "a", false, true, true},      {false, true, false, "a", "a", false, false, false}};
    for (const auto& [mysql, apache, busy, next, confirm, chpwd, dbcli, dbpma] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::make_tuple(mysql, apache, busy, next, confirm)));
        SetRunning(mysql, apache);
        ui::State().server.busy = busy;
        ASSERT_TRUE(Type("new", next) && Type("new2", confirm));
        Draw();
        EXPECT_EQ(std::make_tuple(On("chpwd"), On("dbcli"), On("dbpma"), On("dbinit")),
                  std::make_tuple(chpwd, dbcli, dbpma, !busy));
    }
    ui::State().server.busy = false;
    SetRunning(true, true);
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error) && WriteMyIni(build, error)) << error;
    testkit::WriteFile(FindDbErrorLog(build), "[Note] ready\r\n");
    ui::RefreshInstalls(true);
    Draw();
    for (const char* id : {"dbcli", "dbpma", "dbedit", "dbdata", "dblog"}) ASSERT_TRUE(ClickOn(id)) << id;
    using Kind = ui::ShellCall::Kind;
    const std::pair<Kind, std::wstring> expected[] = {
        {Kind::Console, build.dir + L"\\bin\\mariadb.exe"},
        {Kind::Url, Utf8ToWide(HomeUrl(*ui::State().currentApache) + "mysql/")},
        {Kind::Editor, MyTemplatePath(build)},
        {Kind::Folder, DbDataDir(build)},
        {Kind::Editor, FindDbErrorLog(build)}};
    ASSERT_EQ(calls.size(), std::size(expected));
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_TRUE(calls[i].kind == expected[i].first && calls[i].target == expected[i].second) << i;
    EXPECT_EQ(calls[0].args, L"--no-defaults -u root -p --host=127.0.0.1 --port=" + std::to_wstring(MysqlPort()));
    EXPECT_TRUE(calls[0].workDir == DbBinDir(build) && calls[0].pathPrepend == DbBinDir(build));

    ASSERT_TRUE(RemoveTree(build.dir + L"\\bin\\mariadb.exe"));
    ui::RefreshInstalls(true);
    Draw();
    EXPECT_FALSE(On("dbcli"));
}

TEST_F(MySqlPage, Version_StoredAndRestartOnlyWhileRunning) {
    MakeDbStack();
    MakeFolder(DatabaseDir() + L"\\mysql-8.0.36", {{"bin/mysqld.exe", stacktest::kStandin}});
    ui::RefreshInstalls(true);
    Draw();
    // Running, item chosen -> current build, restarts queued.
    const std::tuple<bool, std::string, std::string, int> versions[] = {
        {false, "MySQL 8.0.36   [mysql-8.0.36]", "mysql-8.0.36", 0},
        {true, "MariaDB 11.4.2   [mariadb-11.4.2]", "mariadb-11.4.2", 1}};
    for (const auto& [running, item, current, restarts] : versions) {
        SetRunning(running);
        const int32_t before = Queued();
        ASSERT_TRUE(Choose("###root", "##dbv", item, current == "mysql-8.0.36" ? 1 : 0));
        EXPECT_TRUE(GetCurrentDbName() == current && ui::State().currentDb->name == current);
        EXPECT_EQ(Queued() - before, restarts);
    }
}

// A restart already queued takes the next one in: each test queues one at most.
TEST_F(MySqlPage, Port_ClampedAppliedToSettingsAndPhpMyAdmin_RestartOnlyWhileRunning) {
    MakeDbStack();
    EXPECT_FALSE(On("dbport_apply"));  // the field holds the stored port
    const std::string failed = "! phpMyAdmin was not updated: cannot read " + WideToUtf8(PhpMyAdminConfigPath());
    // Typed, stored, database running (a restart is queued only then), config.inc.php held open.
    const std::tuple<std::string, std::string, bool, bool> ports[] = {{"70000", "65535", false, false},
                                                                      {"0", "1", false, false},
                                                                      {"-12", "1", false, false},
                                                                      {"3310", "3310", true, false},
                                                                      {"3311", "3311", false, true}};
    for (const auto& [typed, stored, running, held] : ports) {
        SCOPED_TRACE(typed);
        SetRunning(running);
        const int32_t before = Queued();
        ui::Toasts().clear();
        ASSERT_TRUE(Type("dbport", typed));
        Draw();
        if (stored == Config::Instance().Get(setting::kMysqlPort)) {
            EXPECT_FALSE(On("dbport_apply"));
            continue;
        }
        std::optional<uitest::HeldFile> file;
        if (held) file.emplace(PhpMyAdminConfigPath());
        ASSERT_TRUE(ClickOn("dbport_apply"));
        file.reset();
        EXPECT_EQ(Config::Instance().Get(setting::kMysqlPort), stored);
        EXPECT_EQ(PhpMyAdmin("port"), held ? "3310" : stored);
        EXPECT_EQ(uitest::ToastTexts(), (held ? Strings{"MySQL port set to " + stored, failed}
                                              : Strings{"MySQL port set to " + stored}));
        EXPECT_EQ(Queued() - before, running ? 1 : 0);
        EXPECT_EQ(controltest::TakeWaitingKeys(), running ? Strings{"restartmysqlifrunning"} : Strings{}) << "the database's, not Apache's";
        EXPECT_FALSE(On("dbport_apply"));
    }
}

// A stored port with letters after its digits reads as those digits, which the field shows: Apply is
// offered all the same (the start refuses the stored text) and stores the port as a number.
TEST_F(MySqlPage, Port_StoredWithLetters_ApplyOfferedAndStoresTheNumber) {
    MakeDbStack();
    const std::string port = std::to_string(MysqlPort());
    Config::Instance().Set(setting::kMysqlPort, port + "x");
    Draw();
    ASSERT_TRUE(On("dbport_apply"));
    ASSERT_TRUE(ClickOn("dbport_apply"));
    EXPECT_EQ(Config::Instance().Get(setting::kMysqlPort), port);
    EXPECT_FALSE(On("dbport_apply"));
}

TEST_F(MySqlPage, PasswordChange_AdminGetsWhatWasTyped_CurrentFieldFollows_PhpMyAdminResultReported) {
    MakeDbStack();
    Server::Instance().Start();
    Server::Instance().StartMySql();
    ASSERT_TRUE(testkit::WaitFor([] { return Server::Instance().GetStatus().mysql.running && controltest::Idle(); },
                                 60000));
    const uitest::Harness::Draw frame = [] { ui::Frame(); };  // the whole interface: the alert pops up
    ui::SetPage(page::kMySql);
    ui::State().consoleOpen = false;
    harness.RawFrame(frame);
    harness.Frames(1, frame);
    const std::string cannotRead = "cannot read " + WideToUtf8(PhpMyAdminConfigPath());
    const std::string updated = "The MySQL root password was changed and phpMyAdmin was updated.";
    const std::string unsaved = "The database already has the new root password, but it could not be saved in "
                                "zerva.ini. Zerva uses it until it is closed and saves it then if zerva.ini can be "
                                "written; otherwise Zerva will use the old password after a restart.";
    // Typed as the current one (once; later the field follows), new, phpMyAdmin's config.inc.php,
    // the admin tool refuses, zerva.ini cannot be written -> alert's error flag and message.
    const std::tuple<std::string, std::string, std::string, bool, bool, bool, std::string> steps[] = {
        {"typed old", "it's", "present", false, false, false, updated},
        {"", "back\\slash", "present", false, false, false, updated},
        {"", "say \"hi\"", "present", false, false, false, updated},
        {"", "ends\\", "present", false, false, false, updated},
        {"", " two  words ", "present", false, false, false, updated},
        {"", "p1", "missing", false, false, false, "The MySQL root password was changed."},
        {"", "p2", "held", false, false, true,
         "The MySQL root password was changed, but phpMyAdmin was not updated: " + cannotRead},
        {"", "p3", "present", false, true, true, unsaved},
        {"", "p4", "held", false, true, true, unsaved + "\n\nphpMyAdmin was not updated: " + cannotRead},
        {"", "p5", "present", true, false, true, "error: 'Access denied for user'"}};
    std::string current = GetMysqlRootPassword();
    const std::wstring ini = root / L"zerva.ini";
    for (const auto& [old, next, pma, refused, unstored, error, message] : steps) {
        SCOPED_TRACE(next);
        std::optional<uitest::WriteBlocked> blocked;
        if (unstored) blocked.emplace(ini);
        std::optional<uitest::HeldFile> held;
        if (pma == "missing") {
            ASSERT_TRUE(RemoveTree(PhpMyAdminConfigPath()));
        } else if (!PathExists(PhpMyAdminConfigPath())) {
            ASSERT_TRUE(WritePhpMyAdminConfig());
        }
        if (pma == "held") held.emplace(PhpMyAdminConfigPath());
        if (refused) testkit::WriteFile(dbDir + L"\\bin\\mariadb-admin.fail", "error: 'Access denied for user'\r\n");
        if (!old.empty()) {
            current = old;
            ASSERT_TRUE(TypeInto(harness, "old", old, frame));
        }
        ASSERT_TRUE(TypeInto(harness, "new", next, frame) && TypeInto(harness, "new2", next, frame));
        ASSERT_TRUE(ClickId(harness, "chpwd", frame));
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle, 30000));
        harness.Frames(2, frame);
        const Strings args = SplitLines(testkit::ReadFile(dbDir + L"\\bin\\mariadb-admin.args"));
        ASSERT_GE(args.size(), 3u);
        EXPECT_EQ(Strings(args.begin() + 3, args.end()),
                  (Strings{"--password=" + current, "--host=127.0.0.1", "--port=" + std::to_string(MysqlPort()),
                           "password", next}));
        if (!refused) current = next;
        EXPECT_EQ(GetMysqlRootPassword(), current) << "kept in memory when not stored";
        if (!refused) {
            EXPECT_EQ(Contains(testkit::ReadFile(ini), "MYSQL_ROOT_PASSWORD = \"" + next + "\""), !unstored);
        }
        if (pma == "present" && !refused) {
            EXPECT_EQ(PhpMyAdmin("password"), EscapeSingleQuoted(next));
        }
        ASSERT_FALSE(ui::State().alerts.empty());
        const Alert& alert = ui::State().alerts.back();
        EXPECT_EQ(alert.title, refused ? "Password not changed" : "Password changed");
        EXPECT_TRUE(alert.error == error && alert.message == message) << alert.message;
        ASSERT_TRUE(ClickId(harness, "notice_ok", frame));  // a modal popup over the page
    }
}

TEST_F(MySqlPage, Password_MaskedInEveryCardUntilShown) {
    MakeDbStack();
    Config::Instance().Set(setting::kMysqlRootPassword, "s3cret");
    ASSERT_TRUE(Type("new", "n3w-one") && Type("new2", "n3w-one"));
    const std::string bullets = "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";
    for (const bool shown : {false, true, false}) {
        SCOPED_TRACE(shown ? "shown" : "hidden");
        const std::string text = harness.DrawnText(draw);
        // The stored one and the current field, the new one and its confirmation.
        EXPECT_EQ(std::make_tuple(Contains(text, "s3cret"), Contains(text, "n3w-one"), Contains(text, bullets)),
                  std::make_tuple(shown, shown, !shown)) << text;
        ASSERT_TRUE(ClickOn("showpwd"));
    }
}

TEST_F(MySqlPage, InitializeNow_OnTheWorkerWithTheStoredPassword) {
    const DbInstall build = MakeDbStack();
    Config::Instance().Set(setting::kMysqlRootPassword, "s3 'x\\");
    Server::Instance().Start();
    ASSERT_TRUE(ClickOn("dbinit"));
    ASSERT_TRUE(testkit::WaitFor(controltest::Idle, 60000));
    EXPECT_TRUE(HasMysqlDatabase(build) && PathExists(MyTemplatePath(build)) && PathExists(MyIniPath(build)));
    const Strings args = SplitLines(testkit::ReadFile(dbDir + L"\\bin\\mariadb-install-db.args"));
    EXPECT_NE(std::find(args.begin(), args.end(), "--password=s3 'x\\"), args.end());
    ui::RefreshInstalls(true);
    Draw();
    EXPECT_FALSE(FindId(harness, "dbinit"));
}

TEST_F(MySqlPage, Restore_ReplacesTheTemplate_RestartsARunningServer_FailureShownWithoutRestart) {
    const DbInstall build = MakeDbStack();
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error));
    const std::string initial = testkit::ReadFile(MyInitialIniPath(build));
    ui::RefreshInstalls(true);
    // Database running, initial copy still there at the confirmation -> template, toast, restart.
    const std::tuple<bool, bool, std::string, int> cases[] = {
        {false, true, "Initial configuration restored", 0},
        {true, true, "Initial configuration restored", 1},
        {true, false, "! my_zerva.ini could not be restored from my_initial.ini", 0}};
    for (const auto& [running, keep, toast, restarts] : cases) {
        SCOPED_TRACE(toast + (running ? " running" : " stopped"));
        testkit::WriteFile(MyTemplatePath(build), "edited\n");
        SetRunning(running);
        ui::Toasts().clear();
        const int32_t before = Queued();
        Draw();
        ASSERT_TRUE(ClickOn("dbrestore"));
        if (!keep) {
            ASSERT_TRUE(RemoveTree(MyInitialIniPath(build)));
        }
        ASSERT_TRUE(ClickOn("confirm_ok"));
        EXPECT_EQ(uitest::ToastTexts(), Strings{toast});
        EXPECT_EQ(testkit::ReadFile(MyTemplatePath(build)), keep ? initial : "edited\n");
        EXPECT_EQ(Queued() - before, restarts);
    }
}

TEST_F(MySqlPage, French_EveryStateOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    MakeDbStack();
    ASSERT_TRUE(Type("new", "a") && Type("new2", "b") && ClickOn("showpwd"));
    Config::Instance().Set(setting::kMysqlRootPassword, "");
    Draw();
    ASSERT_TRUE(Type("dbport", "3320") && ClickOn("dbport_apply"));
    {
        uitest::HeldFile held(PhpMyAdminConfigPath());
        ASSERT_TRUE(Type("dbport", "3321") && ClickOn("dbport_apply"));
    }
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(*ui::State().currentDb, error));
    ui::RefreshInstalls(true);
    SetRunning(true, true);
    Draw();
    ASSERT_TRUE(harness.Hover(FindId(harness, "dbcli")->label, draw));
    ASSERT_TRUE(ClickOn("dbrestore") && ClickOn("confirm_ok"));
    ASSERT_TRUE(RemoveTree(MyInitialIniPath(*ui::State().currentDb)));
    ASSERT_TRUE(ClickOn("dbrestore") && ClickOn("confirm_ok"));
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

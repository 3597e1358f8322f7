// The MySQL / MariaDB page on scratch roots with the database stand-ins: the port and its apply,
// the password change as typed reaching the admin tool, the tools, the first initialisation and
// the restoration of the template. States the page only reads (servers running, the worker busy)
// are set in UiState and the page drawn alone; the password change and the initialisation run on
// the real server worker.
#include "ui/pages/mysql.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "control/server.h"
#include "core/config.h"
#include "stack/apache/builds.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/confirm.h"
#include "ui/pages/pages.h"
#include "ui/shell.h"

using uitest::ClickId;
using uitest::Enabled;
using uitest::FindId;
using uitest::ToastTexts;
using uitest::TypeInto;

namespace {

const uitest::Harness::Draw kPage = [] {
    ui::PageMySql();
    ui::DrawConfirmDialog();
};

class MySqlPage : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::RecordShellCallsForTests(&calls);
        ui::SetPage(page::kMySql);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        UiTest::TearDown();
    }
    // The stand-in stack with the database client; drawn twice so every item is laid out.
    void MakeDbStack() {
        MakeStack();
        MakeFolder(dbDir, {{"bin/mariadb.exe", stacktest::kStandin}});
        ui::RefreshInstalls(true);
        Draw();
    }
    // The page alone, with the server states the test put into UiState.
    void Draw(int frames = 2) {
        for (int i = 0; i < frames; ++i) harness.Frame(kPage);
    }
    void SetRunning(bool mysql, bool apache = false) {
        ui::State().server.mysql.running = mysql;
        ui::State().server.apache.running = apache;
    }
    bool Type(std::string_view id, const std::string& text) { return TypeInto(harness, id, text, kPage); }
    bool ClickOn(std::string_view id) { return ClickId(harness, id, kPage); }
    static int32_t Queued() { return Server::Instance().GetStatus().queued; }
    static std::string PhpMyAdminPort() {
        const std::string text = testkit::ReadFile(PhpMyAdminConfigPath());
        const size_t at = text.find("['port'] = '") + 12;
        return text.substr(at, text.find('\'', at) - at);
    }
    // The arguments the admin stand-in got on its last run.
    std::vector<std::string> AdminArgs() const {
        return SplitLines(testkit::ReadFile(dbDir + L"\\bin\\mariadb-admin.args"));
    }

    std::vector<ui::ShellCall> calls;
};


}  // namespace

TEST_F(MySqlPage, NoBuild_OnlyTheInstallButton_WhichOpensComponents) {
    Draw();
    EXPECT_TRUE(FindId(harness, "inst_db") && !FindId(harness, "dbv") && !FindId(harness, "chpwd"));
    ASSERT_TRUE(ClickOn("inst_db"));
    EXPECT_EQ(ui::State().page, page::kComponents);
}

TEST_F(MySqlPage, VersionChoice_StoredAndRestartOnlyWhileRunning) {
    MakeDbStack();
    MakeFolder(DatabaseDir() + L"\\mysql-8.0.36", {{"bin/mysqld.exe", stacktest::kStandin}});
    ui::RefreshInstalls(true);
    Draw();
    // Running, item chosen -> current build, restarts queued.
    const std::tuple<bool, std::string, std::string, int> cases[] = {
        {false, "MySQL 8.0.36   [mysql-8.0.36]##1", "mysql-8.0.36", 0},
        {true, "MariaDB 11.4.2   [mariadb-11.4.2]##0", "mariadb-11.4.2", 1}};
    for (const auto& [running, item, current, restarts] : cases) {
        SetRunning(running);
        const int32_t queuedBefore = Queued();
        ASSERT_TRUE(harness.Click(uitest::IdInWindow(harness, "###root", "##dbv"), kPage));
        ASSERT_TRUE(harness.Click(item, kPage));
        EXPECT_EQ(GetCurrentDbName(), current);
        EXPECT_EQ(ui::State().currentDb->name, current);
        EXPECT_EQ(Queued() - queuedBefore, restarts);
    }
}

TEST_F(MySqlPage, Port_ClampedAppliedToSettingsAndPhpMyAdmin_RestartOnlyWhileRunning) {
    MakeDbStack();
    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
    EXPECT_FALSE(Enabled(harness, "dbport_apply"));  // the field holds the stored port
    // Typed, stored, database running (a restart is queued only then).
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"70000", "65535", false}, {"0", "1", false}, {"-12", "1", false}, {"3310", "3310", true}};
    for (const auto& [typed, stored, running] : cases) {
        SCOPED_TRACE(typed);
        SetRunning(running);
        const int32_t queuedBefore = Queued();
        ui::Toasts().clear();
        ASSERT_TRUE(Type("dbport", typed));
        Draw();
        if (stored == Config::Instance().Get(setting::kMysqlPort)) {
            EXPECT_FALSE(Enabled(harness, "dbport_apply"));
            continue;
        }
        ASSERT_TRUE(Enabled(harness, "dbport_apply"));
        ASSERT_TRUE(ClickOn("dbport_apply"));
        EXPECT_EQ(Config::Instance().Get(setting::kMysqlPort), stored);
        EXPECT_EQ(PhpMyAdminPort(), stored);
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{"MySQL port set to " + stored});
        EXPECT_EQ(Queued() - queuedBefore, running ? 1 : 0);
        EXPECT_FALSE(Enabled(harness, "dbport_apply"));
    }
    // A config.inc.php that cannot be read: the port is stored and the failure shown.
    uitest::HeldFile held(PhpMyAdminConfigPath());
    ui::Toasts().clear();
    ASSERT_TRUE(Type("dbport", "3311") && ClickOn("dbport_apply"));
    EXPECT_EQ(Config::Instance().Get(setting::kMysqlPort), "3311");
    EXPECT_EQ(ToastTexts(), (std::vector<std::string>{
                                "MySQL port set to 3311",
                                "! phpMyAdmin was not updated: cannot read " + WideToUtf8(PhpMyAdminConfigPath())}));
}

TEST_F(MySqlPage, ButtonsFollowTheServersTheWorkerAndTheFields) {
    MakeDbStack();
    // MySQL runs, Apache runs, worker busy, new, confirmation -> chpwd, dbcli, dbpma.
    const std::tuple<bool, bool, bool, std::string, std::string, bool, bool, bool> cases[] = {
        {false, false, false, "a", "a", false, false, false},
        {true, false, false, "", "", false, true, false},
        {true, false, false, "a", "b", false, true, false},
        {true, false, false, "a", "a", true, true, false},
        {true, true, true, "a", "a", false, true, true},
        {false, true, false, "a", "a", false, false, false},
    };
    for (const auto& [mysql, apache, busy, next, confirm, chpwd, dbcli, dbpma] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::make_tuple(mysql, apache, busy, next, confirm)));
        SetRunning(mysql, apache);
        ui::State().server.busy = busy;
        ASSERT_TRUE(Type("new", next) && Type("new2", confirm));
        Draw();
        EXPECT_EQ(Enabled(harness, "chpwd"), chpwd);
        EXPECT_EQ(Enabled(harness, "dbcli"), dbcli);
        EXPECT_EQ(Enabled(harness, "dbpma"), dbpma);
        EXPECT_TRUE(Enabled(harness, "dbdata"));
    }
    DbInstall noClient = *ui::State().currentDb;
    ASSERT_TRUE(RemoveTree(noClient.dir + L"\\bin\\mariadb.exe"));
    ui::RefreshInstalls(true);
    SetRunning(true);
    Draw();
    EXPECT_FALSE(Enabled(harness, "dbcli"));
}

TEST_F(MySqlPage, Tools_ClientConsolePhpMyAdminTemplateDataFolderAndErrorLog) {
    MakeDbStack();
    const DbInstall build = *ui::State().currentDb;
    EXPECT_FALSE(Enabled(harness, "dbedit") || Enabled(harness, "dblog"));  // not configured, no log yet
    std::string error;
    ASSERT_TRUE(EnsureMyTemplate(build, error) && WriteMyIni(build, error)) << error;
    testkit::WriteFile(FindDbErrorLog(build), "[Note] ready\r\n");
    ui::RefreshInstalls(true);
    SetRunning(true, true);
    Draw();
    for (const char* id : {"dbcli", "dbpma", "dbedit", "dbdata", "dblog"}) ASSERT_TRUE(ClickOn(id)) << id;
    using Kind = ui::ShellCall::Kind;
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_TRUE(calls[0].kind == Kind::Console && calls[0].target == build.dir + L"\\bin\\mariadb.exe");
    EXPECT_EQ(calls[0].args, L"--no-defaults -u root -p --host=127.0.0.1 --port=" + std::to_wstring(MysqlPort()));
    EXPECT_TRUE(calls[0].workDir == DbBinDir(build) && calls[0].pathPrepend == DbBinDir(build));
    EXPECT_TRUE(calls[1].kind == Kind::Url && calls[1].target == Utf8ToWide(HomeUrl(*ui::State().currentApache) + "mysql/"));
    EXPECT_TRUE(calls[2].kind == Kind::Editor && calls[2].target == MyTemplatePath(build));
    EXPECT_TRUE(calls[3].kind == Kind::Folder && calls[3].target == DbDataDir(build));
    EXPECT_TRUE(calls[4].kind == Kind::Editor && calls[4].target == FindDbErrorLog(build));
}

TEST_F(MySqlPage, PasswordChange_AdminGetsExactlyWhatWasTyped_CurrentFieldFollowsEachChange) {
    MakeDbStack();
    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
    Server::Instance().Start();
    Server::Instance().StartMySql();
    ASSERT_TRUE(testkit::WaitFor([] { return Server::Instance().GetStatus().mysql.running && controltest::Idle(); },
                                 60000));
    const uitest::Harness::Draw frame = [] { ui::Frame(); };
    ui::State().consoleOpen = false;  // room for the whole page
    harness.RawFrame(frame);  // the whole interface from now on, not the page alone
    harness.Frames(1, frame);
    const std::string port = "--port=" + std::to_string(MysqlPort());
    // Typed once in the current field; after each change the field holds the new password.
    std::string current = "typed old";
    ASSERT_TRUE(TypeInto(harness, "old", current, frame));
    for (const std::string& typed : {std::string("it's"), std::string("back\\slash"), std::string("say \"hi\""),
                                     std::string("ends\\"), std::string(" two  words ")}) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(TypeInto(harness, "new", typed, frame) && TypeInto(harness, "new2", typed, frame));
        ASSERT_TRUE(ClickId(harness, "chpwd", frame));
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle, 30000));
        harness.Frames(2, frame);
        const auto args = AdminArgs();
        ASSERT_GE(args.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(args.begin() + 3, args.end()),
                  (std::vector<std::string>{"--password=" + current, "--host=127.0.0.1", port, "password", typed}));
        EXPECT_EQ(GetMysqlRootPassword(), typed);
        ASSERT_FALSE(ui::State().alerts.empty());
        EXPECT_EQ(ui::State().alerts.back().message, "The MySQL root password was changed and phpMyAdmin was updated.");
        EXPECT_FALSE(ui::State().alerts.back().error);
        EXPECT_NE(testkit::ReadFile(PhpMyAdminConfigPath()).find("['password'] = '" + EscapeSingleQuoted(typed) + "';"),
                  std::string::npos);
        ASSERT_TRUE(ClickId(harness, "notice_ok", frame));  // the alert is a modal popup over the page
        current = typed;
    }

    // phpMyAdmin missing, then unreadable; then the tool refuses.
    const std::wstring fail = dbDir + L"\\bin\\mariadb-admin.fail";
    const std::string cannotRead = "cannot read " + WideToUtf8(PhpMyAdminConfigPath());
    for (const std::string_view step : {"missing", "held", "refused"}) {
        SCOPED_TRACE(step);
        std::optional<uitest::HeldFile> held;
        if (step == "missing") {
            ASSERT_TRUE(RemoveTree(PhpMyAdminConfigPath()));
        }
        if (step == "held") {
            ASSERT_TRUE(WritePhpMyAdminConfig());
            held.emplace(PhpMyAdminConfigPath());
        }
        if (step == "refused") testkit::WriteFile(fail, "error: 'Access denied for user'\r\n");
        const std::string next = current + "+";
        ASSERT_TRUE(TypeInto(harness, "new", next, frame) && TypeInto(harness, "new2", next, frame));
        ASSERT_TRUE(ClickId(harness, "chpwd", frame));
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle, 30000));
        harness.Frames(2, frame);
        const Alert& alert = ui::State().alerts.back();
        if (step == "refused") {
            EXPECT_TRUE(alert.error && alert.title == "Password not changed");
            EXPECT_EQ(alert.message, "error: 'Access denied for user'");
            EXPECT_EQ(GetMysqlRootPassword(), current);
            continue;
        }
        EXPECT_EQ(GetMysqlRootPassword(), next);
        EXPECT_EQ(alert.title, "Password changed");
        EXPECT_EQ(alert.error, step == "held");
        EXPECT_EQ(alert.message, step == "missing"
                                     ? "The MySQL root password was changed."
                                     : "The MySQL root password was changed, but phpMyAdmin was not updated: " + cannotRead);
        ASSERT_TRUE(ClickId(harness, "notice_ok", frame));
        current = next;
    }
}

TEST_F(MySqlPage, InitializeNow_RunsOnTheWorkerWithTheStoredPassword) {
    MakeDbStack();
    Config::Instance().Set(setting::kMysqlRootPassword, "s3 'x\\");
    const DbInstall build = *ui::State().currentDb;
    ASSERT_FALSE(HasMysqlDatabase(build));
    Draw();
    ASSERT_TRUE(Enabled(harness, "dbinit"));
    ui::State().server.busy = true;
    Draw();
    EXPECT_FALSE(Enabled(harness, "dbinit"));
    ui::State().server.busy = false;
    Draw();
    Server::Instance().Start();
    ASSERT_TRUE(ClickOn("dbinit"));
    ASSERT_TRUE(testkit::WaitFor(controltest::Idle, 60000));
    EXPECT_TRUE(HasMysqlDatabase(build) && PathExists(MyTemplatePath(build)) && PathExists(MyIniPath(build)));
    const auto args = SplitLines(testkit::ReadFile(dbDir + L"\\bin\\mariadb-install-db.args"));
    EXPECT_NE(std::find(args.begin(), args.end(), "--password=s3 'x\\"), args.end());
    ui::RefreshInstalls(true);
    Draw();
    EXPECT_FALSE(FindId(harness, "dbinit"));
}

TEST_F(MySqlPage, Restore_ReplacesTheTemplate_RestartsARunningServer_FailureShownWithoutRestart) {
    MakeDbStack();
    const DbInstall build = *ui::State().currentDb;
    EXPECT_FALSE(Enabled(harness, "dbrestore"));  // no initial copy yet
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
        const int32_t queuedBefore = Queued();
        Draw();
        ASSERT_TRUE(ClickOn("dbrestore"));
        ASSERT_TRUE(FindId(harness, "confirm_ok"));
        if (!keep) {
            ASSERT_TRUE(RemoveTree(MyInitialIniPath(build)));
        }
        ASSERT_TRUE(ClickOn("confirm_ok"));
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{toast});
        EXPECT_EQ(testkit::ReadFile(MyTemplatePath(build)), keep ? initial : "edited\n");
        EXPECT_EQ(Queued() - queuedBefore, restarts);
    }
}

TEST_F(MySqlPage, French_EveryStateOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    MakeDbStack();
    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
    SetRunning(false);
    ASSERT_TRUE(Type("new", "a") && Type("new2", "b"));
    ASSERT_TRUE(ClickOn("showpwd"));
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
    ASSERT_TRUE(harness.Hover(FindId(harness, "dbcli")->label, kPage));
    ASSERT_TRUE(ClickOn("dbrestore") && ClickOn("confirm_ok"));
    ASSERT_TRUE(RemoveTree(MyInitialIniPath(*ui::State().currentDb)));
    ASSERT_TRUE(ClickOn("dbrestore") && ClickOn("confirm_ok"));
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

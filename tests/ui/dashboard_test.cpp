#include "ui/pages/dashboard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "control/installer.h"
#include "control/publicip.h"
#include "core/online.h"
#include "imgui_internal.h"
#include "stack/apache/builds.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/shell.h"

using controltest::LogLine;

namespace {

// While alive, Dear ImGui's clipboard is this text instead of the system's, which other test
// programs of the same Wine prefix may write at any moment.
struct OwnClipboard {
    OwnClipboard() {
        ImGuiIO& io = ImGui::GetIO();
        io.ClipboardUserData = this;
        io.GetClipboardTextFn = [](void* self) { return static_cast<OwnClipboard*>(self)->text.c_str(); };
        io.SetClipboardTextFn = [](void* self, const char* text) { static_cast<OwnClipboard*>(self)->text = text; };
    }
    ~OwnClipboard() {
        ImGuiIO& io = ImGui::GetIO();
        io.ClipboardUserData = saved.ClipboardUserData;
        io.GetClipboardTextFn = saved.GetClipboardTextFn;
        io.SetClipboardTextFn = saved.SetClipboardTextFn;
    }
    OwnClipboard(const OwnClipboard&) = delete;
    OwnClipboard& operator=(const OwnClipboard&) = delete;

    std::string text;
    const ImGuiIO saved = ImGui::GetIO();
};

class DashboardTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::State().wizardAutoShown = true;  // its popup would stand over the page
        Config::Instance().SetBool(setting::kCheckUpdates, false);
        // Stand-ins of tests running beside this one would count as foreign servers: their callouts,
        // appearing between the frames of a click, move the cards under the mouse.
        Config::Instance().SetBool(setting::kDetectOthersPackage, false);
        ui::ForgetDashboardCache();
        ui::RecordShellCallsForTests(&calls);
        ui::SetPage(page::kDashboard);
        // Tall enough for the whole page: items scrolled out of view are drawn without their labels.
        ImGui::GetIO().DisplaySize = ImVec2(1600, 2400);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        UiTest::TearDown();
    }

    std::string Label(std::string_view id) const {
        const uitest::Item* item = uitest::FindId(harness, id);
        return item ? item->label : std::string();
    }
    // "-" when the item is not drawn, "1" enabled, "0" disabled.
    std::string StateOf(std::string_view id) const {
        const uitest::Item* item = uitest::FindId(harness, id);
        return !item ? "-" : item->disabled ? "0" : "1";
    }
    bool ClickId(std::string_view id) { return uitest::ClickId(harness, id, [] { ui::Frame(); }); }
    static void SetServers(bool apache, bool mysql, std::vector<std::string> others = {}) {
        EditStatus([&](ServerStatus& status) {
            status.apache.running = apache;
            status.mysql.running = mysql;
            status.others = others;
        });
    }
    static int32_t Queued() { return Server::Instance().GetStatus().queued; }
    // Picks the list item that starts with `item` in the list `listId`.
    // Combo boxes report no label to the harness: their id is worked out from the card's window.
    ImGuiID ListId(const char* card, const char* list) const { return uitest::IdInWindow(harness, card, list); }
    // Opens the list `list` of the card and picks the item that starts with `item`.
    bool Choose(const char* card, const char* list, const std::string& item) {
        const ImGuiID id = ListId(card, list);
        if (!id || !harness.Click(id, [] { ui::Frame(); })) return false;
        for (const std::string& label : harness.Labels())
            if (StartsWith(label, item + "##")) return Click(label);
        return false;
    }
    // The shell calls as "url <address>", "folder <path>", "editor <file> <editor>" or
    // "console <args> | <working folder> | <PATH prefix>", then forgotten.
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> texts;
        for (const ui::ShellCall& call : calls) {
            const std::string target = WideToUtf8(call.target);
            switch (call.kind) {
                case ui::ShellCall::Kind::Url: texts.push_back("url " + target); break;
                case ui::ShellCall::Kind::Folder: texts.push_back("folder " + target); break;
                case ui::ShellCall::Kind::Editor: texts.push_back("editor " + target + " " + WideToUtf8(call.args)); break;
                case ui::ShellCall::Kind::Console:
                    EXPECT_TRUE(EndsWith(ToLower(target), "\\cmd.exe")) << target;
                    texts.push_back("console " + WideToUtf8(call.args) + " | " + WideToUtf8(call.workDir) + " | " +
                                    WideToUtf8(call.pathPrepend));
                    break;
            }
        }
        calls.clear();
        return texts;
    }

    std::vector<ui::ShellCall> calls;
};

// ---- Pure pieces ----

TEST(DashboardText, ProcessUsageText_RunningServersOnly) {
    ServerState server;
    server.cpuPercent = 12.34;
    server.memoryBytes = 3 * 1024 * 1024 / 2;
    EXPECT_EQ(ui::ProcessUsageText(server), "-");
    server.running = true;
    EXPECT_EQ(ui::ProcessUsageText(server), "CPU 12.3 %  \xC2\xB7  RAM 1.5 MB");
    server.cpuPercent = 0;
    server.memoryBytes = 0;
    EXPECT_EQ(ui::ProcessUsageText(server), "CPU 0.0 %  \xC2\xB7  RAM 0 B");
}

TEST(DashboardText, ProjectAddress_FirstPlainHostWithANameServingTheFolder) {
    const auto host = [](const char* address, const std::string& body) {
        ApacheConfig config;
        config.Parse(std::string("<VirtualHost ") + address + ">\n" + body + "</VirtualHost>\n");
        return config.vhosts.at(0);
    };
    const std::string base = "http://localhost:8081/";
    const std::tuple<const char*, std::vector<VirtualHost>, const char*, std::string> cases[] = {
        {"no hosts", {}, "shop", base + "shop/"},
        {"port 8080", {host("*:8080", "ServerName shop.localhost\nDocumentRoot \"C:/z/www/shop\"\n")}, "shop",
         "http://shop.localhost:8080/"},
        {"port 80, backslashes, trailing slashes, any case",
         {host("*:80", "ServerName Shop.localhost\nDocumentRoot \"C:\\z\\WWW\\Shop\\\\\"\n")}, "shOP",
         "http://Shop.localhost/"},
        {"a host kept as written has no port", {host("*:*", "ServerName any.localhost\nDocumentRoot C:/www/any\n")},
         "any", "http://any.localhost/"},
        {"SSL host ignored",
         {host("*:443", "ServerName s.localhost\nDocumentRoot C:/www/shop\nSSLEngine on\n")}, "shop", base + "shop/"},
        {"host without a name ignored, the next one serves",
         {host("*:81", "DocumentRoot C:/www/shop\n"), host("*:82", "ServerName b.localhost\nDocumentRoot C:/www/shop\n"),
          host("*:83", "ServerName c.localhost\nDocumentRoot C:/www/shop\n")},
         "shop", "http://b.localhost:82/"},
        {"a longer folder name is another folder", {host("*:80", "ServerName m.localhost\nDocumentRoot C:/www/myshop\n")},
         "shop", base + "shop/"},
    };
    for (const auto& [name, hosts, folder, expected] : cases)
        EXPECT_EQ(ui::ProjectAddress(base, folder, hosts), expected) << name;
}

TEST(DashboardText, PhpBuildItem_NtsBeforeIncompatible) {
    ApacheInstall apache64;
    apache64.arch = 2;
    const auto php = [](int32_t arch, const char* dll) {
        PhpInstall build;
        build.name = "php-8.3.14";
        build.version = "8.3.14";
        build.arch = arch;
        build.apacheDll = dll;
        return build;
    };
    const std::tuple<PhpInstall, std::optional<ApacheInstall>, const char*> cases[] = {
        {php(2, "php8apache2_4.dll"), apache64, "8.3.14 (x64)"},
        {php(1, "php8apache2_4.dll"), apache64, "8.3.14 (x86)  - incompatible"},
        {php(1, ""), apache64, "8.3.14 (x86)  - NTS"},
        {php(2, ""), std::nullopt, "8.3.14 (x64)  - NTS"},
        {php(1, "php8apache2_4.dll"), std::nullopt, "8.3.14 (x86)"},
    };
    for (const auto& [build, apache, expected] : cases) EXPECT_EQ(ui::PhpBuildItem(build, apache), expected);
}

TEST(DashboardText, Callouts_WelcomeForeignServersAndInstaller) {
    UiState state;
    const auto kinds = [&](bool anyBuild) {
        std::string text;
        for (const auto& callout : ui::DashboardCallouts(state, anyBuild))
            text += std::to_string(int(callout.kind)) + ":" + callout.text + "\n";
        return text;
    };
    EXPECT_EQ(kinds(true), "");
    EXPECT_EQ(kinds(false), "0:Welcome! No server is installed yet. Zerva can download Apache, PHP, MariaDB and "
                            "phpMyAdmin for you (official sources, HTTPS).\n");
    state.server.others = {"C:\\other\\httpd.exe", "mysqld.exe (PID 42)"};
    state.installer.busy = true;
    state.installer.title = "Installing PHP 8.3.14";
    state.installer.step = "Downloading";
    const std::string prefix = "1:A server from another package is running and may use the same ports: ";
    EXPECT_EQ(kinds(true), prefix + "C:\\other\\httpd.exe\n" + prefix + "mysqld.exe (PID 42)\n" +
                               "2:Installing PHP 8.3.14  -  Downloading\n");
}

// ---- Cards ----

TEST_F(DashboardTest, NothingInstalled_WelcomeAndInstallLinks_StartDisabled) {
    Frame();
    const std::pair<const char*, const char*> expected[] = {
        {"dash_wizard", "1"}, {"dash_inst_apache", "1"}, {"dash_inst_php", "1"}, {"dash_inst_db", "1"},
        {"apache_start", "0"},     {"mysql_start", "0"},   {"apache_restart", "0"},
        {"php_ext", "0"},     {"q_phpcli", "0"},         {"q_www", "1"},         {"proj_new", "0"}};
    for (const auto& [id, state] : expected) EXPECT_EQ(StateOf(id), state) << id;
    for (const auto& [card, list] : {std::pair{"##card_apache", "##apachever"}, {"##card_php", "##phpver"},
                                     {"##card_mysql", "##dbver"}})
        EXPECT_TRUE(ListId(card, list) != 0 && harness.Find(ListId(card, list)) == nullptr) << list;
    ASSERT_TRUE(ClickId("dash_wizard"));
    EXPECT_TRUE(ui::State().wizardRequested);
    ui::State().wizardRequested = false;
    for (const char* link : {"dash_inst_apache", "dash_inst_php", "dash_inst_db"}) {
        ui::SetPage(page::kDashboard);
        Frame();
        ASSERT_TRUE(ClickId(link));
        EXPECT_EQ(ui::State().page, page::kComponents) << link;
    }
}

TEST_F(DashboardTest, ButtonsFollowTheStandinBuildsAndTheServerStates) {
    MakeStack();
    MakeFolder(PhpMyAdminDir(), {{"index.php", ""}});
    ui::RefreshInstalls(true);
    const char* ids[] = {"apache_start", "apache_stop", "apache_restart", "mysql_start", "mysql_stop",
                         "mysql_pma",    "php_info",    "q_local",        "q_pma",       "q_phpinfo", "q_phpcli"};
    const std::tuple<const char*, bool, bool, bool, const char*> cases[] = {   // name, apache, mysql, busy, states
        {"stopped", false, false, false, "1-0 1-0 000 01"},
        {"Apache running", true, false, false, "-11 1-0 111 11"},
        {"both running", true, true, false, "-11 -11 111 11"},
        {"both running, a job waits", true, true, true, "-00 -01 111 11"},
        {"database only, a job waits", false, true, true, "0-0 -00 000 01"},
    };
    for (const auto& [name, apache, mysql, busy, expected] : cases) {
        SetServers(apache, mysql);
        if (busy) Server::Instance().Enqueue("Waiting", [] {}, "dashboard-test");  // no worker runs it here
        Frame();
        std::string states;
        for (size_t i = 0; i < std::size(ids); ++i) states += std::string(i == 3 || i == 6 || i == 9 ? " " : "") + StateOf(ids[i]);
        EXPECT_EQ(states, expected) << name;
    }
}

TEST_F(DashboardTest, QuickActionsAndCardButtonsHandTheRightTargetToTheShell) {
    const int32_t port = LeasedPort();
    MakeApache(port);
    MakePhp();
    MakeMariaDb(LeasedPort());
    MakeFolder(PhpMyAdminDir(), {{"index.php", ""}});
    testkit::WriteFile(phpDir + L"\\php_zerva.ini", "[PHP]\r\n");
    ui::RefreshInstalls(true);
    SetServers(true, true);
    Frame();
    const std::string base = Format("http://localhost:%d/", port);
    const std::string www = WideToUtf8(WwwDir()), php = WideToUtf8(phpDir);
    const std::pair<const char*, std::string> cases[] = {
        {"q_local", "url " + base},
        {"q_pma", "url " + base + "mysql/"},
        {"q_www", "folder " + www},
        {"q_root", "folder " + WideToUtf8(RootDir())},
        {"q_phpcli", "console /k \"\"" + php + "\\php.exe\" -v\" | " + www + " | " + php},
        {"q_phpinfo", "url " + base + "zerva/phpinfo.php"},
        {"php_info", "url " + base + "zerva/phpinfo.php"},
        {"php_ini", "editor " + php + "\\php_zerva.ini notepad.exe"},
        {"mysql_pma", "url " + base + "mysql/"},
    };
    for (const auto& [id, call] : cases) {
        ASSERT_TRUE(ClickId(id)) << id;
        EXPECT_EQ(TakeCalls(), std::vector<std::string>{call}) << id;
    }
    const std::pair<const char*, Page> pages[] = {{"apache_cfg", page::kApache}, {"php_ext", page::kPhp},
                                                  {"mysql_cfg", page::kMySql}, {"proj_new", page::kApache}};
    for (const auto& [id, target] : pages) {
        ui::SetPage(page::kDashboard);
        Frame();
        ASSERT_TRUE(ClickId(id)) << id;
        EXPECT_EQ(ui::State().page, target) << id;
    }
    EXPECT_EQ(Queued(), 0) << "no button here queues a job";
}

TEST_F(DashboardTest, StartStopAndRestartQueueTheirServersJobs) {
    MakeStack();
    const std::tuple<const char*, bool, bool, void (Server::*)()> cases[] = {   // id, apache, mysql, job it queued
        {"apache_start", false, false, &Server::StartApache}, {"mysql_start", false, false, &Server::StartMySql},
        {"apache_stop", true, true, &Server::StopApache},     {"apache_restart", true, true, &Server::RestartApache},
        {"mysql_stop", true, true, &Server::StopMySql}};
    int32_t waiting = 0;  // no worker runs them here: every job stays queued
    for (const auto& [id, apache, mysql, job] : cases) {
        // The buttons read the snapshot: with no job shown as waiting they are enabled again.
        EditStatus([&](ServerStatus& status) { status.queued = 0; });
        SetServers(apache, mysql);
        Frame();
        ASSERT_EQ(StateOf(id), "1") << id;
        ASSERT_TRUE(ClickId(id)) << id;
        EXPECT_EQ(Queued(), ++waiting) << id;
        (Server::Instance().*job)();
        EXPECT_EQ(Queued(), waiting) << id << ": the job the click queued is that one";
    }
}

TEST_F(DashboardTest, NarrowestWindow_InstallLinksWholeInTheirCards_PhpButtonsKeepTheirTexts) {
    ImGui::GetIO().DisplaySize = ImVec2(860, 560);
    const auto contentRight = [&](const char* card) {
        ImGuiWindow* window = nullptr;
        for (const std::string& label : harness.Labels())
            if (label.find(std::string("/") + card + "_") != std::string::npos) window = ImGui::FindWindowByName(label.c_str());
        return window ? window->ContentRegionRect.Max.x : 0.0f;
    };
    Frame();
    for (const auto& [card, link] : {std::pair{"##card_apache", "dash_inst_apache"}, {"##card_php", "dash_inst_php"},
                                     {"##card_mysql", "dash_inst_db"}}) {
        const uitest::Item* item = uitest::FindId(harness, link);
        ASSERT_TRUE(item) << link;
        EXPECT_LE(item->max.x, contentRight(card)) << link;
    }
    MakeStack();
    ui::RefreshInstalls(true);
    Frame();
    for (const auto& [id, text] : {std::pair{"php_ext", "Extensions##"}, {"php_ini", "php.ini##"}, {"php_info", "phpinfo##"}})
        EXPECT_NE(Label(id).find(text), std::string::npos) << Label(id);
}

// ---- Version switches ----

struct VersionCase {
    const char* card;
    const char* list;
    std::wstring (*kindDir)();   // where builds of the kind live
    const char* firstName;       // the current build at first
    const char* otherName;       // a second build, made here
    stacktest::Files otherFiles;
    SettingKey setting;
    bool apacheRuns, mysqlRuns;  // what runs during the switch back
    void (Server::*restart)();   // the job that switch queues
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.list; }

class VersionSwitchTest : public DashboardTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionSwitchTest, SetsTheBuildAndRestartsOnlyARunningServer) {
    const VersionCase& c = GetParam();
    MakeStack();
    MakeFolder(c.kindDir() + L"\\" + Utf8ToWide(c.otherName), c.otherFiles);
    Config::Instance().Set(c.setting, c.firstName);
    ui::RefreshInstalls(true);
    const auto current = [&] {
        const UiState& state = ui::State();
        if (std::string(c.list) == "##apachever") return state.currentApache->name;
        if (std::string(c.list) == "##phpver") return state.currentPhp->name;
        return state.currentDb->name;
    };
    const auto itemOf = [&](const std::string& name) -> std::string {
        const UiState& state = ui::State();
        for (const auto& b : state.apaches) if (b.name == name) return ApacheInstallLabel(b);
        for (const auto& b : state.phps) if (b.name == name) return ui::PhpBuildItem(b, state.currentApache);
        for (const auto& b : state.dbs) if (b.name == name) return DbProductName(b);
        return "?";
    };
    ASSERT_EQ(current(), c.firstName);

    SetServers(false, false);
    Frame();
    const int32_t generation = ui::State().generation;
    ASSERT_TRUE(Choose(c.card, c.list, itemOf(c.otherName)));
    EXPECT_EQ(Config::Instance().Get(c.setting), c.otherName);
    EXPECT_TRUE(current() == c.otherName && ui::State().generation > generation) << "rescanned at once";
    EXPECT_EQ(Queued(), 0) << "nothing restarts a stopped server";

    SetServers(c.apacheRuns, c.mysqlRuns);
    Frame();
    ASSERT_TRUE(Choose(c.card, c.list, itemOf(c.firstName)));
    EXPECT_EQ(current(), c.firstName);
    EXPECT_EQ(Queued(), 1);
    (Server::Instance().*c.restart)();
    EXPECT_EQ(Queued(), 1) << "the restart that waits is that job";
}

INSTANTIATE_TEST_SUITE_P(
    Lists, VersionSwitchTest,
    testing::Values(VersionCase{"##card_apache", "##apachever", ApacheDir, "httpd-2.4.58", "httpd-2.4.62",
                                {{"bin/httpd.exe", stacktest::kStandin}}, setting::kApacheCurrentVersion, true, false,
                                &Server::RestartApache},
                    VersionCase{"##card_php", "##phpver", PhpDir, "php-8.3.14", "php-8.2.20",
                                {{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}},
                                setting::kPhpCurrentVersion, true, false, &Server::RestartApache},
                    VersionCase{"##card_mysql", "##dbver", DatabaseDir, "mariadb-11.4.2", "mariadb-10.11.8",
                                {{"bin/mariadbd.exe", stacktest::kStandin}}, setting::kMysqlCurrentVersion, false, true,
                                &Server::RestartMySql}),
    [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.list + 2); });

// ---- Network access ----

TEST_F(DashboardTest, OnlineToggle_WritesTheModeLogsAndQueuesOneRestartOfTheRunningServers) {
    Frame();
    EXPECT_EQ(StateOf("lan"), "-") << "no network address while offline";
    const auto toggle = [&] { return controltest::LinesDuring([&] { ASSERT_TRUE(ClickId("online")); }); };
    auto lines = toggle();
    EXPECT_EQ(Config::Instance().Get(setting::kApacheMode), "1");
    EXPECT_TRUE(controltest::Has(lines, LogLine{console::kZerva, level::kInfo,
                                                "Online mode: the server is reachable from the local network."}));
    EXPECT_EQ(Queued(), 1);
    Server::Instance().RestartRunning();
    EXPECT_EQ(Queued(), 1) << "the job that waits restarts the running servers";
    std::vector<std::string> links;
    for (const std::string& label : harness.Labels())
        if (EndsWith(label, "##lan")) links.push_back(label);
    std::vector<std::string> expected;
    for (const std::string& address : LocalIPv4Addresses()) expected.push_back("http://" + address + "/##lan");
    EXPECT_EQ(links, expected);

    lines = toggle();
    EXPECT_EQ(Config::Instance().Get(setting::kApacheMode), "0");
    EXPECT_TRUE(controltest::Has(lines, LogLine{console::kZerva, level::kInfo,
                                                "Offline mode: only this computer can reach the server."}));
}

TEST_F(DashboardTest, OnlineToggle_RestartsOnlyTheRunningStandinsWithTheirNewListenLines) {
    const int32_t webPort = LeasedPort();
    MakeApache(webPort);
    MakePhp();
    MakeMariaDb(LeasedPort());
    ui::RefreshInstalls(true);
    Server::Instance().Start();
    const std::wstring conf = apacheDir + L"\\conf\\httpd.conf", myIni = dbDir + L"\\my.ini";
    // The worker idle and the servers as wanted, httpd.exe last started listening on `address`.
    const auto settled = [&](bool apache, bool mysql, const char* address) {
        return testkit::WaitFor([&] {
            const ServerStatus status = Server::Instance().GetStatus();
            const std::vector<std::string> listens = stacktest::Recorded(conf, "listen");
            return controltest::Idle() && status.apache.running == apache && status.mysql.running == mysql &&
                   !listens.empty() && listens.back() == Format("%s:%d", address, webPort);
        }, 90000);
    };
    Server::Instance().StartAll();
    ASSERT_TRUE(settled(true, true, "127.0.0.1"));
    ASSERT_NE(testkit::ReadFile(conf).find(Format("Listen 127.0.0.1:%d\r\n", webPort)), std::string::npos);

    Frame();
    ASSERT_TRUE(ClickId("online"));
    EXPECT_TRUE(settled(true, true, "0.0.0.0")) << "both started again, httpd.exe on every interface";
    EXPECT_NE(testkit::ReadFile(conf).find(Format("\r\nListen %d\r\n", webPort)), std::string::npos);
    EXPECT_NE(testkit::ReadFile(myIni).find("0.0.0.0"), std::string::npos);

    Server::Instance().StopMySql();
    ASSERT_TRUE(testkit::WaitFor([] { return controltest::Idle() && !Server::Instance().GetStatus().mysql.running; }, 90000));
    Frame();
    ASSERT_TRUE(ClickId("online"));
    EXPECT_TRUE(settled(true, false, "127.0.0.1")) << "Apache alone started again, on this computer only";
    EXPECT_NE(testkit::ReadFile(myIni).find("0.0.0.0"), std::string::npos) << "my.ini is only written at a start";
    Server::Instance().StopAll();
    EXPECT_TRUE(testkit::WaitFor(controltest::Idle, 90000));
}

TEST_F(DashboardTest, PublicAddress_DisabledUnavailableThenFoundCopiedAndRefreshed) {
    Config::Instance().SetBool(setting::kDetectIpAndUpdate, false);
    Frames(3);
    EXPECT_TRUE(StateOf("copyip") == "-" && StateOf("refreship") == "-");
    EXPECT_TRUE(!publicip::IsRunning() && publicip::GetIp().empty() && publicip::GetError().empty()) << "never asked";

    Config::Instance().SetBool(setting::kDetectIpAndUpdate, true);
    Frame();  // asks the closed port of the fixture
    ASSERT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    Frame();
    EXPECT_FALSE(publicip::GetError().empty());
    EXPECT_TRUE(StateOf("copyip") == "-" && StateOf("refreship") == "1") << "unavailable";

    testkit::FixtureServer server;
    ASSERT_TRUE(server.Started()) << server.Error();
    server.Serve("/file/ip.php", "ip=198.51.100.23\n");
    ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url()).c_str());
    ASSERT_TRUE(ClickId("refreship"));
    ASSERT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    Frame();
    EXPECT_EQ(publicip::GetIp(), "198.51.100.23");
    OwnClipboard clipboard;
    ASSERT_TRUE(ClickId("copyip"));
    EXPECT_EQ(clipboard.text, "198.51.100.23");
    EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{"IP copied"});

    server.Serve("/file/ip.php", "ip=203.0.113.9\n");
    Frames(3);
    EXPECT_EQ(publicip::GetIp(), "198.51.100.23") << "a finished lookup is not repeated by drawing";
    ASSERT_TRUE(ClickId("refreship"));
    ASSERT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    EXPECT_EQ(publicip::GetIp(), "203.0.113.9");
}

// ---- Projects and the cache ----

TEST_F(DashboardTest, Projects_AddressesFromTheTemplateHosts_LinksFollowApache) {
    const int32_t port = LeasedPort();
    const auto vhost = [](const char* address, const char* name, const char* root, const char* extra = "") {
        return Format("<VirtualHost %s>\r\n    ServerName %s\r\n    DocumentRoot \"%s\"\r\n%s</VirtualHost>\r\n", address,
                      name, root, extra);
    };
    MakeApache(port, vhost("*:8080", "shop.localhost", "{DOCUMENTPATH}/shop") +
                         vhost("*:80", "blog.localhost", "{DOCUMENTPATH}/Blog/") +
                         vhost("*:443", "secure.localhost", "{DOCUMENTPATH}/secure", "    SSLEngine on\r\n") +
                         vhost("*:*", "any.localhost", "{DOCUMENTPATH}\\any"));
    for (const wchar_t* folder : {L"shop", L"blog", L"secure", L"any", L"plain"}) ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\" + folder));
    ui::RefreshInstalls(true);
    Frames(2);  // the card takes the height of its rows from the frame before
    const std::string base = Format("http://localhost:%d/", port);
    const std::pair<const char*, std::string> expected[] = {
        {"any", "http://any.localhost/"}, {"blog", "http://blog.localhost/"}, {"plain", base + "plain/"},
        {"secure", base + "secure/"},     {"shop", "http://shop.localhost:8080/"}};
    std::vector<std::string> links, wanted;
    for (const std::string& label : harness.Labels())
        if (EndsWith(label, "##url")) links.push_back(label.substr(0, label.size() - 5) + (harness.Find(label)->disabled ? " off" : ""));
    for (const auto& [folder, address] : expected) wanted.push_back(address + " off");
    EXPECT_EQ(links, wanted) << "in folder order, disabled while Apache is stopped";
    EXPECT_EQ(StateOf("open"), "0");

    SetServers(true, false);
    Frame();
    ASSERT_TRUE(ClickId("open"));  // the last row: shop
    ASSERT_TRUE(ClickId("folder"));
    ASSERT_TRUE(Click("http://blog.localhost/##url"));
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"url http://shop.localhost:8080/",
                                                     "folder " + WideToUtf8(WwwDir()) + "\\shop",
                                                     "url http://blog.localhost/"}));
}

TEST_F(DashboardTest, Cache_RebuiltOnlyWhenTheGenerationChanges) {
    const int32_t first = LeasedPort(), second = LeasedPort();
    MakeApache(first);
    ui::RefreshInstalls(true);
    SetServers(true, false);
    Frame();
    ASSERT_TRUE(ClickId("q_local"));
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{Format("url http://localhost:%d/", first)});

    WriteApacheTemplate(second, "");
    ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\later"));
    Frames(10);  // well under the install cache's pause: the generation stays
    ASSERT_TRUE(ClickId("q_local"));
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{Format("url http://localhost:%d/", first)}) << "not read per frame";
    EXPECT_TRUE(Label("url").empty());
    EXPECT_EQ(ui::RefreshDashboardCache().generation, ui::State().generation);

    ui::RefreshInstalls(true);
    Frame();
    ASSERT_TRUE(ClickId("q_local"));
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{Format("url http://localhost:%d/", second)});
    EXPECT_EQ(Label("url"), Format("http://localhost:%d/later/##url", second));
}

// ---- French ----

TEST_F(DashboardTest, EveryStateInFrench) {
    testkit::FixtureServer server;
    ASSERT_TRUE(server.Started()) << server.Error();
    server.Serve("/file/ip.php", "ip=198.51.100.23\n");
    uitest::UntranslatedRecorder french;
    Config::Instance().SetBool(setting::kDetectIpAndUpdate, false);
    Frames(2);  // nothing installed, detection off
    Config::Instance().SetBool(setting::kDetectIpAndUpdate, true);
    Frame();  // the lookup runs
    ASSERT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    Frame();  // unavailable

    MakeStack();
    MakeFolder(PhpDir() + L"\\php-8.2.20-nts", {{"php.exe", stacktest::kStandin}});
    MakeFolder(PhpDir() + L"\\php-7.4.33", {{"php.exe", testkit::PeImage(testkit::kX86)}, {"php7apache2_4.dll", ""}});
    testkit::WriteFile(phpDir + L"\\php_zerva.ini", "[PHP]\r\nextension=mbstring\r\n");
    ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\site"));
    ui::RefreshInstalls(true);
    ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url()).c_str());
    publicip::Start(true);
    ASSERT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
    for (const bool running : {false, true}) {
        SetServers(running, running, {"C:\\other\\httpd.exe", "mysqld.exe (PID 7)"});
        Frames(2);
        ASSERT_TRUE(ClickId("online"));
        ASSERT_TRUE(harness.Click(ListId("##card_php", "##phpver"), [] { ui::Frame(); }));  // the list with its marks
        harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); });
    }
    std::atomic<bool> release{false};
    // Polled: atomic waits of this C++ library can miss their wake-up where the OS has no futex.
    installer::Enqueue("Installing", [&] { (void)testkit::WaitFor([&] { return release.load(); }, 60000); });
    ASSERT_TRUE(testkit::WaitFor([] { return installer::GetStatus().busy; }));
    Frames(2);
    release = true;
    SetCurrentPhpName("php-7.4.33");  // another architecture than Apache's: the warning line
    ui::RefreshInstalls(true);
    Frames(2);
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
    ASSERT_TRUE(testkit::WaitFor([] { return !installer::GetStatus().busy; }));
}

}  // namespace

#include "ui/pages/dashboard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "control/installer.h"
#include "control/publicip.h"
#include "core/online.h"
#include "imgui_internal.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/shell.h"

using controltest::LogLine;
using uitest::Contains;
using Strings = std::vector<std::string>;

namespace {

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
    bool ClickOnPage(std::string_view id) {
        ui::SetPage(page::kDashboard);
        Frame();
        return ClickId(id);
    }
    static void SetServers(bool apache, bool mysql, Strings others = {}) {
        EditStatus([&](ServerStatus& status) {
            status.apache.running = apache;
            status.mysql.running = mysql;
            status.others = others;
        });
    }
    static int32_t Queued() { return Server::Instance().GetStatus().queued; }
    // Combo boxes report no label to the harness: their id is worked out from the card's window.
    ImGuiID ListId(const char* card, const char* list) const { return uitest::IdInWindow(harness, card, list); }
    // The labels ending in "##<id>", that ending cut, " off" added for a disabled item.
    Strings LabelsOf(const std::string& id) const {
        Strings texts;
        for (const std::string& label : harness.Labels())
            if (EndsWith(label, "##" + id))
                texts.push_back(label.substr(0, label.size() - id.size() - 2) + (harness.Find(label)->disabled ? " off" : ""));
        return texts;
    }
    // The shell calls as "url <address>", "folder <path>", "editor <file> <editor>" or
    // "console <program> <args> | <working folder> | <PATH prefix>", then forgotten.
    Strings TakeCalls() {
        Strings texts;
        for (const ui::ShellCall& call : calls) {
            static const char* const kinds[] = {"url ", "folder ", "editor ", "console "};
            std::string text = kinds[int(call.kind)] + WideToUtf8(call.target);
            if (call.kind == ui::ShellCall::Kind::Editor) text += " " + WideToUtf8(call.args);
            if (call.kind == ui::ShellCall::Kind::Console)
                text = "console " + ToLower(WideToUtf8(call.target.substr(call.target.rfind(L'\\') + 1))) + " " +
                       WideToUtf8(call.args) + " | " + WideToUtf8(call.workDir) + " | " + WideToUtf8(call.pathPrepend);
            texts.push_back(text);
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
        {"a ServerName with its port", {host("*:8080", "ServerName shop.localhost:8080\nDocumentRoot C:/www/shop\n")},
         "shop", "http://shop.localhost:8080/"},
        {"a ServerName with a scheme", {host("*:80", "ServerName http://blog.localhost:80\nDocumentRoot C:/www/blog\n")},
         "blog", "http://blog.localhost/"},
        {"a ServerName of a port alone names nothing", {host("*:8080", "ServerName :8080\nDocumentRoot C:/www/shop\n")},
         "shop", base + "shop/"},
        {"SSL host ignored",
         {host("*:443", "ServerName s.localhost\nDocumentRoot C:/www/shop\nSSLEngine on\n")}, "shop", base + "shop/"},
        {"host without a name ignored, the next one serves",
         {host("*:81", "DocumentRoot C:/www/shop\n"), host("*:82", "ServerName b.localhost\nDocumentRoot C:/www/shop\n"),
          host("*:83", "ServerName c.localhost\nDocumentRoot C:/www/shop\n")},
         "shop", "http://b.localhost:82/"},
        {"a longer folder name is another folder", {host("*:80", "ServerName m.localhost\nDocumentRoot C:/www/myshop\n")},
         "shop", base + "shop/"},
        {"the folder's name percent-encoded", {}, "my shop#2 100%", base + "my%20shop%232%20100%25/"},
    };
    ReadState ssl;
    ssl.modules.insert("ssl_module");
    for (const auto& [name, hosts, folder, expected] : cases)
        EXPECT_EQ(ui::ProjectAddress(base, folder, hosts, ssl), expected) << name;
}

TEST(DashboardText, PhpBuildItem_NtsBeforeIncompatible) {
    ApacheInstall apache64;
    apache64.arch = 2;
    const auto php = [](int32_t arch, const char* dll) {
        PhpInstall build;
        build.name = build.version = "8.3.14";
        build.arch = arch;
        build.apacheDll = dll;
        return build;
    };
    const std::tuple<PhpInstall, std::optional<ApacheInstall>, const char*> cases[] = {
        {php(2, "php8apache2_4.dll"), apache64, "8.3.14 (x64)"},
        {php(1, "php8apache2_4.dll"), apache64, "8.3.14 (x86)  - incompatible"},
        {php(1, ""), apache64, "8.3.14 (x86)  - NTS"},
        {php(1, "php8apache2_4.dll"), std::nullopt, "8.3.14 (x86)"},
        // A program that is none (architecture 0) has no architecture to compare.
        {php(0, ""), apache64, "8.3.14 (?)  - not a valid Windows program"},
        {php(1, "php8apache2_4.dll"), ApacheInstall{}, "8.3.14 (x86)"},
    };
    for (const auto& [build, apache, expected] : cases) EXPECT_EQ(ui::PhpBuildItem(build, apache), expected);
}

TEST(DashboardText, Callouts_WelcomeForeignServersAndInstaller) {
    UiState state;
    const auto texts = [&](bool anyBuild) {
        std::string text;
        for (const auto& callout : ui::DashboardCallouts(state, anyBuild))
            text += std::to_string(int(callout.kind)) + ":" + callout.text + "\n";
        return text;
    };
    EXPECT_EQ(texts(true), "");
    EXPECT_TRUE(StartsWith(texts(false), "0:Welcome! No server is installed yet."));
    state.server.others = {"C:\\other\\httpd.exe", "mysqld.exe (PID 42)"};
    state.installer = {true, "Installing PHP 8.3.14", "Downloading"};
    const std::string prefix = "1:A server from another package is running and may use the same ports: ";
    EXPECT_EQ(texts(true), prefix + "C:\\other\\httpd.exe\n" + prefix + "mysqld.exe (PID 42)\n" +
                               "2:Installing PHP 8.3.14  -  Downloading\n");
}

// ---- Cards ----

TEST_F(DashboardTest, NothingInstalled_WelcomeAndInstallLinks_StartDisabled) {
    Frame();
    const std::pair<const char*, const char*> expected[] = {
        {"dash_wizard", "1"}, {"dash_inst_apache", "1"}, {"dash_inst_php", "1"}, {"dash_inst_db", "1"},
        {"apache_start", "0"}, {"mysql_start", "0"}, {"php_ext", "0"}, {"q_phpcli", "0"}, {"q_www", "1"}, {"proj_new", "0"}};
    for (const auto& [id, state] : expected) EXPECT_EQ(StateOf(id), state) << id;
    for (const auto& [card, list] : {std::pair{"##card_apache", "##apachever"}, {"##card_php", "##phpver"},
                                     {"##card_mysql", "##dbver"}})
        EXPECT_TRUE(ListId(card, list) != 0 && harness.Find(ListId(card, list)) == nullptr) << list;
    ASSERT_TRUE(ClickId("dash_wizard"));
    EXPECT_TRUE(ui::State().wizardRequested);
    ui::State().wizardRequested = false;
    for (const char* link : {"dash_inst_apache", "dash_inst_php", "dash_inst_db"}) {
        ASSERT_TRUE(ClickOnPage(link));
        EXPECT_EQ(ui::State().page, page::kComponents) << link;
    }
}

TEST_F(DashboardTest, ButtonsFollowTheStandinBuildsAndTheServerStates) {
    MakeStack();
    ui::RefreshInstalls(true);
    const char* ids[] = {"apache_start", "apache_stop", "apache_restart", "mysql_start", "mysql_stop",
                         "mysql_pma",    "php_info",    "q_local",        "q_pma",       "q_phpinfo", "q_phpcli"};
    const std::tuple<const char*, bool, bool, bool, bool, const char*> cases[] = {
        // name, phpMyAdmin installed, Apache runs, the database runs, a job waits, states
        {"stopped", true, false, false, false, "1-0 1-0 000 01"},
        {"Apache running", true, true, false, false, "-11 1-0 111 11"},
        {"Apache running, no phpMyAdmin", false, true, false, false, "-11 1-0 110 11"},
        {"both running", true, true, true, false, "-11 -11 111 11"},
        {"both running, a job waits", true, true, true, true, "-00 -01 111 11"},
        {"database only, a job waits", true, false, true, true, "0-0 -00 000 01"},
    };
    for (const auto& [name, pma, apache, mysql, busy, expected] : cases) {
        if (pma) MakeFolder(PhpMyAdminDir(), {{"index.php", ""}});
        else ASSERT_TRUE(RemoveTree(PhpMyAdminDir()));
        ui::RefreshInstalls(true);
        SetServers(apache, mysql);
        if (busy) Server::Instance().Enqueue("Waiting", [] {}, "dashboard-test");  // no worker runs it here
        Frame();
        std::string states;
        for (size_t i = 0; i < std::size(ids); ++i) states += std::string(i == 3 || i == 6 || i == 9 ? " " : "") + StateOf(ids[i]);
        EXPECT_EQ(states, expected) << name;
    }
}

// A build whose program is none is said to be so on its own card, and the PHP card compares no
// architecture "?" with Apache's; a real difference keeps its line there.
TEST_F(DashboardTest, AProgramThatIsNone_SaidOnItsOwnCard_ARealDifferenceStillShown) {
    MakeApache(LeasedPort());
    const std::string notice = "Not a valid Windows program";
    std::string text;
    // Where the notice stands when it stands there once, else npos.
    const auto once = [&] {
        ui::RefreshInstalls(true);
        Frame();
        text = DrawnText();
        return text.find(notice) == text.rfind(notice) ? text.find(notice) : std::string::npos;
    };
    MakePhp({{"php.exe", "a text file"}, {"php8apache2_4.dll", "a text file"}});
    const size_t onPhpCard = once();
    EXPECT_TRUE(onPhpCard != std::string::npos && onPhpCard > text.find("extensions enabled")) << text;
    EXPECT_FALSE(Contains(text, "/ Apache")) << text;
    MakePhp();
    testkit::WriteFile(apacheDir + L"\\bin\\httpd.exe", "a text file");
    const size_t onApacheCard = once();
    EXPECT_LT(onApacheCard, text.find("Ports:")) << text;
    EXPECT_FALSE(Contains(text, "/ Apache")) << text;
    MakeApache(LeasedPort());
    testkit::WriteFile(phpDir + L"\\php.exe", testkit::PeImage(testkit::kX86));
    once();
    EXPECT_TRUE(Contains(text, "x86 / Apache x64") && !Contains(text, notice)) << text;
}

TEST_F(DashboardTest, ButtonsHandTheRightTargetToTheShellPageOrQueue) {
    const int32_t port = LeasedPort();
    MakeApache(port);
    MakePhp();
    MakeMariaDb(LeasedPort());
    MakeFolder(PhpMyAdminDir(), {{"index.php", ""}});
    testkit::WriteFile(phpDir + L"\\php_zerva.ini", "[PHP]\r\n");
    ui::RefreshInstalls(true);
    SetServers(true, true);
    Frame();
    const std::string base = Format("http://localhost:%d/", port), www = WideToUtf8(WwwDir()), php = WideToUtf8(phpDir);
    const std::pair<const char*, std::string> shell[] = {
        {"q_local", "url " + base},
        {"q_pma", "url " + base + "mysql/"},
        {"q_www", "folder " + www},
        {"q_root", "folder " + WideToUtf8(RootDir())},
        {"q_phpcli", "console cmd.exe /k \"\"" + php + "\\php.exe\" -v\" | " + www + " | " + php},
        {"q_phpinfo", "url " + base + "zerva/phpinfo.php"},
        {"php_info", "url " + base + "zerva/phpinfo.php"},
        {"php_ini", "editor " + php + "\\php_zerva.ini notepad.exe"},
        {"mysql_pma", "url " + base + "mysql/"},
    };
    for (const auto& [id, call] : shell) {
        ASSERT_TRUE(ClickId(id)) << id;
        EXPECT_EQ(TakeCalls(), Strings{call}) << id;
    }
    const std::pair<const char*, Page> pages[] = {{"apache_cfg", page::kApache}, {"php_ext", page::kPhp},
                                                  {"mysql_cfg", page::kMySql}, {"proj_new", page::kApache}};
    for (const auto& [id, target] : pages) {
        ASSERT_TRUE(ClickOnPage(id)) << id;
        EXPECT_EQ(ui::State().page, target) << id;
    }
    ASSERT_EQ(Queued(), 0);
    // No worker runs the jobs here: each click queues one, and queueing the expected job again
    // adds none, as the queue holds one job per key.
    const std::tuple<const char*, bool, void (Server::*)()> jobs[] = {
        {"apache_stop", true, &Server::StopApache}, {"apache_restart", true, &Server::RestartApache},
        {"mysql_stop", true, &Server::StopMySql},   {"apache_start", false, &Server::StartApache},
        {"mysql_start", false, &Server::StartMySql}};
    for (const auto& [id, running, job] : jobs) {
        EditStatus([&](ServerStatus& status) { status.queued = 0; });  // the buttons are enabled again
        SetServers(running, running);
        ASSERT_TRUE(ClickOnPage(id)) << id;
        const int32_t queued = Queued();
        (Server::Instance().*job)();
        EXPECT_TRUE(queued > 0 && Queued() == queued) << id;
    }
}

TEST_F(DashboardTest, NarrowestWindow_InstallLinksWholeInTheirCards_PhpButtonsKeepTheirTexts) {
    ImGui::GetIO().DisplaySize = ImVec2(860, 560);
    const auto contentRight = [&](const char* card) {
        const ImGuiWindow* window = uitest::ChildWindow(harness, card);
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
    std::wstring folder;          // a second build, made here
    stacktest::Files files;
    SettingKey setting;
    const char* first;            // the current build at first
    const char* items[2];         // how the list begins the first build's item and the second's
    bool apacheRuns, mysqlRuns;   // what runs during the switch back
    void (Server::*restart)();    // the job that switch queues
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.list; }

class VersionSwitchTest : public DashboardTest, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionSwitchTest, SetsTheBuildAndRestartsOnlyARunningServer) {
    const VersionCase& c = GetParam();
    MakeStack();
    MakeFolder(RootDir() + L"\\bin\\" + c.folder, c.files);
    Config::Instance().Set(c.setting, c.first);
    ui::RefreshInstalls(true);
    const auto choose = [&](const char* item) {
        Frame();
        const int32_t generation = ui::State().generation;
        const ImGuiID id = ListId(c.card, c.list);
        ASSERT_TRUE(id && harness.Click(id, [] { ui::Frame(); }));
        std::string picked;
        for (const std::string& label : harness.Labels())
            if (StartsWith(label, item) && label.find("##") != std::string::npos) picked = label;
        ASSERT_TRUE(Click(picked)) << item;
        EXPECT_GT(ui::State().generation, generation) << "rescanned at once";
    };
    const std::string second = WideToUtf8(c.folder.substr(c.folder.find(L'\\') + 1));
    SetServers(false, false);
    choose(c.items[1]);
    EXPECT_EQ(Config::Instance().Get(c.setting), second);
    EXPECT_EQ(Queued(), 0) << "nothing restarts a stopped server";

    // Running, or stopped while a job is under way (which may be a start that read the build it
    // had): the restart is queued, and decides when it runs.
    for (const bool busy : {false, true}) {
        SetServers(c.apacheRuns && !busy, c.mysqlRuns && !busy);
        EditStatus([busy](ServerStatus& status) { status.busy = busy; });
        choose(c.items[busy ? 1 : 0]);
        EXPECT_EQ(Config::Instance().Get(c.setting), busy ? second : c.first);
        EXPECT_EQ(Queued(), 1) << busy;
        (Server::Instance().*c.restart)();
        EXPECT_EQ(Queued(), 1) << "the restart that waits is that job";
        EXPECT_EQ(controltest::TakeWaitingKeys().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, VersionSwitchTest,
    testing::Values(VersionCase{"##card_apache", "##apachever", L"apache\\httpd-2.4.62", {{"bin/httpd.exe", stacktest::kStandin}},
                                setting::kApacheCurrentVersion, "httpd-2.4.58", {"2.4.58", "2.4.62"}, true, false,
                                &Server::RestartApacheIfRunning},
                    VersionCase{"##card_php", "##phpver", L"php\\php-8.2.20", {{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}},
                                setting::kPhpCurrentVersion, "php-8.3.14", {"8.3.14", "8.2.20"}, true, false,
                                &Server::RestartApacheIfRunning},
                    VersionCase{"##card_mysql", "##dbver", L"database\\mariadb-10.11.8", {{"bin/mariadbd.exe", stacktest::kStandin}},
                                setting::kMysqlCurrentVersion, "mariadb-11.4.2", {"MariaDB 11.4", "MariaDB 10.11"}, false, true,
                                &Server::RestartMySqlIfRunning}),
    [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.list + 2); });

// ---- PHP loaded ----

// "Loaded" only while Apache runs with an httpd.conf that loads the PHP module (not once the
// module is switched off on the Modules tab); the file is read once per install generation.
TEST_F(DashboardTest, PhpLoaded_WhileApacheRunsWithAnHttpdConfLoadingPhp_ReadOncePerGeneration) {
    MakeStack();
    const ApacheInstall apache = *ui::State().currentApache;
    const std::string line = "LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"";
    const std::string on = testkit::ReadFile(HttpdTemplatePath(apache));
    std::string off = on;
    ReplaceAllInPlace(off, line, "#" + line);
    ASSERT_NE(on, off);
    const auto generate = [&](const std::string& text) {
        testkit::WriteFile(HttpdTemplatePath(apache), text);
        std::string error;
        ASSERT_TRUE(WriteHttpdConf(apache, ui::State().currentPhp, error)) << error;
    };
    const auto shown = [] { return ui::PhpShownLoaded(ui::State(), ui::RefreshDashboardCache()); };
    generate(on);
    ui::RefreshInstalls(true);
    EXPECT_FALSE(shown()) << "Apache stopped";
    ui::State().server.apache.running = true;
    EXPECT_TRUE(shown());
    generate(off);
    EXPECT_TRUE(shown()) << "read again only with the next install generation";
    ui::RefreshInstalls(true);
    EXPECT_FALSE(shown()) << "the module switched off";
    generate(on);
    ASSERT_TRUE(DeleteFileW(HttpdConfPath(apache).c_str()));
    ui::RefreshInstalls(true);
    EXPECT_FALSE(shown()) << "no httpd.conf";
}

// ---- Network access ----

TEST_F(DashboardTest, OnlineToggle_WritesTheModeLogsAndRestartsOnlyTheRunningStandinsWithNewListenLines) {
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
            const Strings listens = stacktest::Recorded(conf, "listen");
            return controltest::Idle() && status.apache.running == apache && status.mysql.running == mysql &&
                   !listens.empty() && listens.back() == Format("%s:%d", address, webPort);
        }, 90000);
    };
    // The mode stored, the line logged and the addresses linked after a click on the switch.
    const auto toggle = [&](const char* mode, const char* line, size_t links) {
        Frame();
        const auto lines = controltest::LinesDuring([&] { ASSERT_TRUE(ClickId("online")); });
        EXPECT_EQ(Config::Instance().Get(setting::kApacheMode), mode);
        EXPECT_TRUE(controltest::Has(lines, LogLine{console::kZerva, level::kInfo, line})) << line;
        EXPECT_EQ(LabelsOf("lan").size(), links);
    };
    Server::Instance().StartAll();
    ASSERT_TRUE(settled(true, true, "127.0.0.1"));
    ASSERT_NE(testkit::ReadFile(conf).find(Format("Listen 127.0.0.1:%d\r\n", webPort)), std::string::npos);

    Frame();
    EXPECT_EQ(StateOf("lan"), "-") << "no network address while offline";
    toggle("1", "Online mode: the server is reachable from the local network.", LocalIPv4Addresses().size());
    Strings expected;
    for (const std::string& address : LocalIPv4Addresses()) expected.push_back("http://" + address + "/");
    EXPECT_EQ(LabelsOf("lan"), expected);
    EXPECT_TRUE(settled(true, true, "0.0.0.0")) << "both started again, httpd.exe on every interface";
    EXPECT_NE(testkit::ReadFile(conf).find(Format("\r\nListen %d\r\n", webPort)), std::string::npos);
    EXPECT_NE(testkit::ReadFile(myIni).find("0.0.0.0"), std::string::npos);

    Server::Instance().StopMySql();
    ASSERT_TRUE(testkit::WaitFor([] { return controltest::Idle() && !Server::Instance().GetStatus().mysql.running; }, 90000));
    toggle("0", "Offline mode: only this computer can reach the server.", 0);
    EXPECT_TRUE(settled(true, false, "127.0.0.1")) << "Apache alone started again, on this computer only";
    EXPECT_NE(testkit::ReadFile(myIni).find("0.0.0.0"), std::string::npos) << "my.ini is only written at a start";
    Server::Instance().StopAll();
    EXPECT_TRUE(testkit::WaitFor(controltest::Idle, 90000));
}

TEST_F(DashboardTest, PublicAddress_DisabledUnavailableThenFoundCopiedAndRefreshed) {
    const auto lookedUp = [&] {
        EXPECT_TRUE(testkit::WaitFor([] { return !publicip::IsRunning(); }));
        Frame();
    };
    Config::Instance().SetBool(setting::kDetectIpAndUpdate, false);
    Frames(3);
    EXPECT_TRUE(StateOf("copyip") == "-" && StateOf("refreship") == "-");
    EXPECT_TRUE(!publicip::IsRunning() && publicip::GetIp().empty() && publicip::GetError().empty()) << "never asked";

    Config::Instance().SetBool(setting::kDetectIpAndUpdate, true);
    Frame();  // asks the closed port of the fixture
    lookedUp();
    EXPECT_FALSE(publicip::GetError().empty());
    EXPECT_TRUE(StateOf("copyip") == "-" && StateOf("refreship") == "1") << "unavailable";

    testkit::FixtureServer server;
    ASSERT_TRUE(server.Started()) << server.Error();
    server.Serve("/file/ip.php", "ip=198.51.100.23\n");
    ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url()).c_str());
    ASSERT_TRUE(ClickId("refreship"));
    lookedUp();
    EXPECT_EQ(publicip::GetIp(), "198.51.100.23");
    // Dear ImGui's clipboard of its own: other test programs of the Wine prefix may write the system's.
    ImGuiIO& io = ImGui::GetIO();
    const ImGuiIO saved = io;
    static std::string clipboard;
    io.SetClipboardTextFn = [](void*, const char* text) { clipboard = text; };
    const bool copied = ClickId("copyip");
    io.SetClipboardTextFn = saved.SetClipboardTextFn;
    ASSERT_TRUE(copied);
    EXPECT_EQ(clipboard, "198.51.100.23");
    EXPECT_EQ(uitest::ToastTexts(), Strings{"IP copied"});

    server.Serve("/file/ip.php", "ip=203.0.113.9\n");
    Frames(3);
    EXPECT_EQ(publicip::GetIp(), "198.51.100.23") << "a finished lookup is not repeated by drawing";
    ASSERT_TRUE(ClickId("refreship"));
    lookedUp();
    EXPECT_EQ(publicip::GetIp(), "203.0.113.9");
}

// ---- Projects and the cache ----

TEST_F(DashboardTest, Projects_AddressesFromTheTemplateHosts_LinksFollowApache) {
    const int32_t port = LeasedPort();
    MakeApache(port, "<VirtualHost *:8080>\r\n    ServerName shop.localhost\r\n    DocumentRoot \"{DOCUMENTPATH}/Shop/\"\r\n"
                     "</VirtualHost>\r\n<VirtualHost *:*>\r\n    ServerName any.localhost\r\n"
                     "    DocumentRoot \"{DOCUMENTPATH}\\any\"\r\n</VirtualHost>\r\n");
    for (const wchar_t* folder : {L"shop", L"any", L"plain"}) ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\" + folder));
    ui::RefreshInstalls(true);
    Frames(2);  // the card takes the height of its rows from the frame before
    const std::string plain = Format("http://localhost:%d/plain/", port);
    EXPECT_EQ(LabelsOf("url"), (Strings{"http://any.localhost/ off", plain + " off", "http://shop.localhost:8080/ off"}))
        << "in folder order, disabled while Apache is stopped";
    EXPECT_EQ(StateOf("open"), "0");

    SetServers(true, false);
    Frame();
    ASSERT_TRUE(ClickId("open"));  // the last row: shop
    ASSERT_TRUE(ClickId("folder"));
    ASSERT_TRUE(Click(plain + "##url"));
    EXPECT_EQ(TakeCalls(), (Strings{"url http://shop.localhost:8080/", "folder " + WideToUtf8(WwwDir()) + "\\shop",
                                    "url " + plain}));
}

TEST_F(DashboardTest, Cache_RebuiltOnlyWhenTheGenerationChanges) {
    const int32_t first = LeasedPort(), second = LeasedPort();
    MakeApache(first);
    ui::RefreshInstalls(true);
    SetServers(true, false);
    const auto home = [&] {
        Frame();
        EXPECT_TRUE(ClickId("q_local"));
        const Strings taken = TakeCalls();
        return taken.size() == 1 ? taken[0] : "?";
    };
    EXPECT_EQ(home(), Format("url http://localhost:%d/", first));

    WriteApacheTemplate(second, "");
    ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\later"));
    Frames(10);  // well under the install cache's pause: the generation stays
    EXPECT_EQ(home(), Format("url http://localhost:%d/", first)) << "not read per frame";
    EXPECT_TRUE(Label("url").empty());

    ui::RefreshInstalls(true);
    EXPECT_EQ(home(), Format("url http://localhost:%d/", second));
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

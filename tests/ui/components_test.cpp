#include "ui/pages/components.h"

#include <gtest/gtest.h>

#include <tuple>

#include "control/server.h"
#include "core/files.h"
#include "core/online.h"
#include "core/settings.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/phpmyadmin/config.h"
#include "tests/control/catalog_fixtures.h"
#include "tests/support/zip_writer.h"
#include "tests/ui/page_fixture.h"
#include "ui/widgets.h"

namespace {

using namespace catalogtest;
using uitest::Contains;

// Short term first, so the long-term series is not simply the first one.
constexpr char kMajors[] = R"({"major_releases":[
 {"release_id":"11.7","release_status":"Stable","release_support_type":"Short Term Support","release_eol_date":"2025-05-14"},
 {"release_id":"11.4","release_status":"Stable","release_support_type":"Long Term Support","release_eol_date":"2029-05-29"}]})";

// One series of Windows zips at the given addresses (file name, address).
std::string Series(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string json = R"({"releases":{)";
    int n = 0;
    for (const auto& [name, url] : files) {
        const std::string version = "11.4." + std::to_string(20 - n);
        json += std::string(n ? "," : "") + "\"" + version + R"(":{"date_of_release":"2025-01-1)" + std::to_string(n) +
                R"(","files":[{"file_name":")" + name + R"(","file_download_url":")" + url + R"("}]})";
        ++n;
    }
    return json + "}}";
}

class ComponentsTest : public uitest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        ASSERT_TRUE(server.Started()) << server.Error();
        UseServer(server);
        ui::SetPage(page::kComponents);
    }
    static void UseServer(const testkit::FixtureServer& online) {
        ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(online.Url()).c_str());
    }
    bool ClickTab(const char* id) { return ClickPage({"##comptabs", id}); }
    // The frame's copy of a catalog, after frames until its load ended.
    const CatalogEntry& Loaded(const std::string& key) {
        EXPECT_TRUE(Until([&] { return !ui::CatalogPending(ui::FrameCatalog(key)); })) << key;
        Show();
        return ui::FrameCatalog(key);
    }
    // How many of the wizard's four lines have a checkbox in this state.
    int WizardChecks(bool enabled) const {
        int count = 0;
        for (int line = 0; line < 4; ++line) {
            const uitest::Item* check = ItemIn("###wizard", {line, "##c"});
            count += check && check->disabled != enabled;
        }
        return count;
    }
    // The wizard over the fixture catalogs, once each of them has loaded.
    void OpenWizardOnTheCatalogs() {
        server.Serve("/download/", kApachePage);
        server.Serve("/downloads/releases/", kPhpListing);
        server.Serve("/rest-api/mariadb/", kMajors);
        server.Serve("/rest-api/mariadb/11.4/", kMariaDbSeries);
        server.Serve("/home_page/version.json", kPhpMyAdminVersions);
        ui::RequestWizard();
        for (const char* key : {"apache", "php:releases", "mariadb", "mariadb:11.4", "phpmyadmin"})
            ASSERT_TRUE(Loaded(key).loaded) << key;
    }
    int Requests(const std::string& path) const {
        int count = 0;
        for (const auto& request : server.Requests()) count += request.path == path;
        return count;
    }

    testkit::FixtureServer server;
};

TEST(ComponentsRules, JobCardMariaDbDefaultAndWizardPhpProposal) {
    for (const auto& [busy, failed, shown] : {std::tuple{false, false, false}, {true, false, true}, {false, true, true},
                                              {true, true, true}}) {
        installer::InstallerStatus status;
        status.busy = busy, status.lastJobFailed = failed, status.message = "an older failure";
        EXPECT_EQ(ui::JobCardShown(status), shown) << busy << failed;
    }

    auto packages = [](std::vector<std::pair<std::string, std::string>> versions) {
        std::vector<Package> list;
        for (const auto& [version, detail] : versions) list.push_back(Package{Comp::Php, version, "", "", "", "", 2, "", detail});
        return list;
    };
    const std::tuple<std::vector<Package>, int> majors[] = {
        {packages({{"11.7", "Short Term Support"}, {"11.4", "LTS"}, {"10.6", "LTS"}}), 1},
        {packages({{"11.7", "Rolling"}}), 0},
        {std::vector<Package>{}, -1},
    };
    for (const auto& [list, index] : majors) EXPECT_EQ(ui::DefaultMariaDbMajor(list), index) << list.size();

    const std::tuple<std::vector<Package>, int, int> proposals[] = {
        {packages({{"8.4.1", ""}, {"8.4.0", ""}, {"8.3.14", ""}, {"8.3.13", ""}}), 0, 2},  // newest of 8.3
        {packages({{"8.4.1", ""}, {"8.4.0", ""}}), 1, 1},                                  // one branch: kept
        {std::vector<Package>{}, 3, 3},
    };
    for (const auto& [list, current, proposed] : proposals) EXPECT_EQ(ui::ProposedPhpCandidate(list, current), proposed);

    // A failed catalog is no longer pending: the wizard shows "unavailable" instead of a spinner.
    for (const auto& [loading, loaded, error, pending] : {std::tuple{false, false, "", true}, {true, false, "", true},
                                                          {false, true, "", false}, {false, false, "offline", false}})
        EXPECT_EQ(ui::CatalogPending(CatalogEntry{loading, loaded, error, {}}), pending) << loading << loaded << error;
}

TEST_F(ComponentsTest, Catalog_LoadingThenErrorWithRetryThenLoaded) {
    server.Redirect("/download/", "/drip?n=30&ms=100");  // three seconds, then a page without builds
    Show();
    ASSERT_TRUE(ClickTab("###tap"));
    ASSERT_TRUE(Until([] { return ui::State().catalogs["apache"].loading; }));
    Show();
    EXPECT_TRUE(Id("retryapache").empty() && Count("inst") == 0);

    const CatalogEntry& failed = Loaded("apache");
    EXPECT_TRUE(StartsWith(failed.error, "no Apache build found on ")) << failed.error;
    EXPECT_FALSE(Id("retryapache").empty());
    EXPECT_EQ(Count("inst"), 0);

    testkit::FixtureServer mirror;  // the retry goes to a host that has the page
    mirror.Serve("/download/", kApachePage);
    UseServer(mirror);
    ASSERT_TRUE(ClickId("retryapache"));
    EXPECT_TRUE(Loaded("apache").loaded);
    EXPECT_TRUE(Id("retryapache").empty());
    EXPECT_EQ(Count("inst"), 3);
}

TEST_F(ComponentsTest, PhpBuilds_SourceArchitectureAndTextFilters) {
    server.Serve("/downloads/releases/", kPhpListing);
    server.Serve("/downloads/releases/releases.json", kPhpReleasesJson);
    MakeApache(LeasedPort());  // x64
    ui::RefreshInstalls(true);
    Show();
    ASSERT_TRUE(Loaded("php:releases").loaded);
    const std::tuple<bool, std::string, int> filters[] = {{true, "", 4}, {false, "", 6}, {false, "8.3", 3}, {true, "8.3.1", 1}};
    for (const auto& [onlyX64, text, rows] : filters) {
        if (ui::ComponentsCache().onlyApacheArch != onlyX64) {
            ASSERT_TRUE(ClickId("phparch"));
        }
        ui::ComponentsCache().phpFilter = text;
        Show();
        EXPECT_EQ(Count("inst"), rows) << onlyX64 << " " << text;
    }
    EXPECT_NE(Id("phparch").find("Only x64 builds (like Apache)"), std::string::npos);

    ASSERT_TRUE(ClickPage({"##comptabs", "###tphp", "##phpsrc"}));
    ASSERT_TRUE(Click("Archives (old versions)##1"));
    Loaded("php:archives");
    EXPECT_EQ(Requests("/downloads/releases/archives/"), 1);
    EXPECT_FALSE(Id("retryphp:archives").empty()) << "not served: its error and Retry";
}

TEST_F(ComponentsTest, Install_LtsSeriesSecondRowQueuesItsPackage_QueuedCountAndCancel) {
    const std::string slow = "https://downloads.example/drip?n=100000&ms=20";
    server.Serve("/rest-api/mariadb/", kMajors);
    server.Serve("/rest-api/mariadb/11.4/", Series({{"mariadb-a-winx64.zip", slow}, {"mariadb-b-winx64.zip", slow}}));
    Show();
    ASSERT_TRUE(ClickTab("###tdb"));
    const std::vector<Package> packages = Loaded("mariadb:11.4").packages;
    ASSERT_EQ(packages.size(), 2u);
    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##mdbavail", 1, "###inst"}));
    ASSERT_TRUE(Until([&] { return ui::State().installer.progress > 0; }));
    EXPECT_EQ(ui::State().installer.title, "Installing " + packages[1].label);
    EXPECT_TRUE(StartsWith(ui::State().installer.step, "Downloading mariadb-b-winx64.zip  (")) << ui::State().installer.step;

    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##mdbavail", 0, "###inst"}));
    EXPECT_EQ(ui::State().installer.queued, 1);
    ASSERT_TRUE(ClickId("jobcancel"));
    ASSERT_TRUE(Until([] { return !ui::State().installer.busy; }));
    EXPECT_TRUE(ui::State().installer.lastJobFailed && ui::State().installer.queued == 0);
    EXPECT_TRUE(EndsWith(ui::State().installer.message, "): cancelled")) << ui::State().installer.message;
    EXPECT_TRUE(ui::JobCardShown(ui::State().installer) && Id("jobcancel").empty());

    // The long-term series was chosen first (not the first one listed), with its support date.
    EXPECT_EQ(ui::ComponentsCache().mariaDbMajor, 1);
    EXPECT_EQ(Requests("/rest-api/mariadb/11.7/"), 0);
    Show();
    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##major"}));
    EXPECT_TRUE(harness.Find("MariaDB 11.4 (LTS)  - support until 2029-05-29##1"));
}

TEST_F(ComponentsTest, Installed_UseRemoveAndTheirGuards) {
    MakeStack();
    MakeFolder(PhpDir() + L"\\php-8.2.9", {{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}});
    MakeFolder(ApacheDir(), {{"bin/httpd.exe", stacktest::kStandin}});  // a build in bin\apache itself
    MakeFolder(DatabaseDir() + L"\\mariadb-10.11.8", {{"bin/mariadbd.exe", stacktest::kStandin}});
    ui::RefreshInstalls(true);
    EditStatus([](ServerStatus& s) { s.apache.running = true, s.mysql.running = true; });
    Show();
    // tab, table, row, "Remove" enabled: not in use while its server runs, not the older layout
    const std::tuple<const char*, const char*, const char*, bool> removable[] = {
        {"###tphp", "##phpinst", "php-8.3.14", false}, {"###tap", "##apinst", "apache", false},
        {"###tap", "##apinst", "httpd-2.4.58", true}, {"###tdb", "##dbinst", "mariadb-11.4.2", false}};
    for (const auto& [tab, table, folder, enabled] : removable) {
        ASSERT_TRUE(ClickTab(tab));
        const uitest::Item* remove = ItemIn("/##page_", {"##comptabs", tab, table, folder, "###rm"});
        EXPECT_TRUE(remove && remove->disabled != enabled) << folder;
    }
    ASSERT_TRUE(ClickTab("###tphp"));
    EXPECT_FALSE(ItemIn("/##page_", {"##comptabs", "###tphp", "##phpinst", "php-8.3.14", "###use"})) << "in use";
    // "Use" queues the restart of the server that loads the build: Apache's for a PHP build too.
    const std::tuple<const char*, const char*, const char*, const char*> uses[] = {
        {"###tphp", "##phpinst", "php-8.2.9", "restartapacheifrunning"},
        {"###tap", "##apinst", "httpd-2.4.58", "restartapacheifrunning"},
        {"###tdb", "##dbinst", "mariadb-10.11.8", "restartmysqlifrunning"}};
    for (const auto& [tab, table, folder, key] : uses) {
        ASSERT_TRUE(ClickTab(tab));
        ASSERT_TRUE(ClickPage({"##comptabs", tab, table, folder, "###use"})) << folder;
        EXPECT_EQ(controltest::TakeWaitingKeys(), std::vector<std::string>{key}) << folder;
    }
    EXPECT_EQ(GetCurrentPhpName() + " " + GetCurrentApacheName() + " " + GetCurrentDbName(),
              "php-8.2.9 httpd-2.4.58 mariadb-10.11.8");
    EXPECT_EQ(ui::State().currentPhp->name, "php-8.2.9");

    EditStatus([](ServerStatus& s) { s.mysql.running = false; });
    Show();
    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##dbinst", "mariadb-11.4.2", "###rm"}));
    ASSERT_FALSE(ui::State().confirms.empty());
    EXPECT_EQ(ui::State().confirms.front().message,
              "Delete the folder mariadb-11.4.2?\n\nWARNING: the databases stored in its data folder will be deleted too.");
    ASSERT_TRUE(ClickId("confirm_ok"));
    ASSERT_TRUE(Until([] { return ui::State().installer.jobsDone == 1 && !ui::State().installer.busy; }));
    EXPECT_EQ(ui::State().installer.title, "Removing mariadb-11.4.2");
    EXPECT_TRUE(Until([] { return ui::State().dbs.size() == 1u; }));
    EXPECT_FALSE(PathExists(DatabaseDir() + L"\\mariadb-11.4.2"));
}

TEST_F(ComponentsTest, PhpMyAdmin_RegenerateWithItsFailureAndInstallOrReplace) {
    server.Serve("/home_page/version.json", kPhpMyAdminVersions);
    MakeFolder(PhpMyAdminDir(), {{"index.php", ""}, {"RELEASE-DATE-5.2.2", ""}});
    ui::RefreshInstalls(true);
    Show();
    ASSERT_TRUE(ClickTab("###tpma"));
    ASSERT_TRUE(ClickId("pmacfg"));
    EXPECT_EQ(LastToast(), "config.inc.php regenerated");
    EXPECT_NE(testkit::ReadFile(PhpMyAdminConfigPath()).find("blowfish_secret"), std::string::npos);

    ASSERT_TRUE(Loaded("phpmyadmin").loaded);
    EXPECT_EQ(Count("inst"), 1) << "5.2.2 is installed";
    EXPECT_NE(harness.Find(ui::ComposeLabel("\xEE\xA2\x96", "Install / replace", "inst")), nullptr);

    // Removed by hand while the page still shows it: the failure says why.
    ASSERT_TRUE(RemoveTree(PhpMyAdminDir()));
    ASSERT_TRUE(ClickId("pmacfg"));
    EXPECT_EQ(LastToast(), "! cannot write " + WideToUtf8(PhpMyAdminConfigPath()) + ": phpMyAdmin is not installed");
}

// Offline, the wizard asks for every catalog, phpMyAdmin's too, and has nothing to offer. The
// database account it names has the stored password, or the one the first start will make.
TEST_F(ComponentsTest, Wizard_OfflineEveryLineUnavailableAndPhpMyAdminAskedFor) {
    ui::RequestWizard();
    for (const char* key : {"apache", "php:releases", "mariadb", "phpmyadmin"}) Loaded(key);
    EXPECT_EQ(WizardChecks(false), 4);
    EXPECT_FALSE(Enabled("wz_ok"));
    EXPECT_EQ(Requests("/home_page/version.json"), 1);
    const std::string made = "MySQL user: root. Its password is made at the first start and shown on the MySQL page.";
    for (const auto& [stored, note] : {std::pair<const char*, std::string>{nullptr, made},
                                       {"s3 %s", "MySQL user: root / password: s3 %s (you can change it"},
                                       {"", "MySQL user: root / password: (empty) (you can change it"}}) {
        if (stored) Config::Instance().Set(setting::kMysqlRootPassword, stored);
        const std::string text = DrawnText();
        EXPECT_TRUE(Contains(text, note) && !Contains(text, "tulp")) << text;
    }
    ASSERT_TRUE(ClickId("wz_cancel"));
    EXPECT_TRUE(!ui::State().wizardRequested && Id("wz_ok").empty());
}

TEST_F(ComponentsTest, Wizard_ProposesTheSecondNewestPhpBranchAndWaitsForNoOtherDialog) {
    ASSERT_NO_FATAL_FAILURE(OpenWizardOnTheCatalogs());
    EXPECT_EQ(ui::ComponentsCache().wizardPhp, 1) << "8.3.10 after 8.4.1";
    EXPECT_EQ(WizardChecks(true), 4);
    EXPECT_TRUE(Enabled("wz_ok"));

    // A question and an alert that arrive meanwhile wait for the wizard.
    ui::RequestConfirm("Question", "Wait?", "OK", false, nullptr);
    Server::Instance().PushAlert("Alert", "raised meanwhile", true, alert_action::kNone);
    Show(3);
    EXPECT_TRUE(Enabled("wz_ok"));
    EXPECT_TRUE(Id("confirm_ok").empty());
    EXPECT_EQ(ui::State().alerts.size(), 1u);
    ui::State().alerts.clear();  // answered: the question's turn comes next
    harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); });
    Show(3);
    EXPECT_FALSE(ui::State().wizardRequested);
    EXPECT_FALSE(Id("confirm_ok").empty()) << "the question's turn";
}

// PHP builds of Apache's architecture only, in the wizard and on the page behind it: x86 beside an
// x86 Apache, x64 beside one whose program is none (as without Apache). Only ticked lines install.
TEST_F(ComponentsTest, Wizard_PhpOfTheApacheArchitectureOnly_UntickedLinesLeftOut) {
    std::string chosen;
    for (const auto& [httpd, arch] : {std::pair{testkit::PeImage(testkit::kX86), 1}, {std::string("a text file"), 2}}) {
        MakeFolder(ApacheDir() + L"\\httpd-2.4.62", {{"bin/httpd.exe", httpd}});
        ui::RefreshInstalls(true);
        ASSERT_NO_FATAL_FAILURE(OpenWizardOnTheCatalogs());
        EXPECT_EQ(WizardChecks(true), 3) << "all but Apache, installed";
        std::vector<std::string> expected, offered;
        for (const Package& package : ui::FrameCatalog("php:releases").packages)
            if (package.arch == arch) expected.push_back("PHP " + package.version), chosen = package.fileName;
        ASSERT_TRUE(ClickIn("###wizard", {1, "##phpc"}));
        for (const std::string& label : harness.Labels())
            if (label.starts_with("PHP ")) offered.push_back(label.substr(0, label.find("##")));
        EXPECT_TRUE(!offered.empty() && offered == expected) << testing::PrintToString(offered);
        EXPECT_TRUE(Contains(Id("phparch"), Format("Only %s builds (like Apache)", ArchName(arch)))) << Id("phparch");
        EXPECT_EQ(Count("inst"), int(expected.size()));
        ASSERT_TRUE(ClickEntry(expected.back() + "##"));
    }
    ASSERT_TRUE(ClickIn("###wizard", {2, "##c"}));  // MariaDB unticked
    const int32_t done = installer::GetStatus().jobsDone;
    ASSERT_TRUE(ClickId("wz_ok"));
    ASSERT_TRUE(Until([&] { return installer::GetStatus().jobsDone >= done + 2 && !installer::GetStatus().busy; }));
    EXPECT_EQ(installer::GetStatus().jobsDone, done + 2) << "PHP and phpMyAdmin";
    std::vector<std::string> archives;
    for (const auto& request : server.Requests())
        if (ToLower(request.path).ends_with(".zip")) archives.push_back(request.path);
    EXPECT_EQ(archives.size(), 2u);
    EXPECT_TRUE(archives.front().ends_with("/" + chosen) && archives.back().ends_with("-all-languages.zip"))
        << testing::PrintToString(archives);
}

// The wizard installs the fixture stack, then the frame starts the stand-in servers.
TEST_F(ComponentsTest, Wizard_InstallsTheStackAndTheServersStart) {
    const auto standin = [](const wchar_t* name) { return testkit::ReadFile(testkit::StandinPath(name)); };
    const int32_t httpPort = LeasedPort(), dbPort = LeasedPort();
    Config::Instance().Set(setting::kMysqlPort, std::to_string(dbPort));
    testkit::WriteFile(RootDir() + L"\\templates\\httpd_zerva.conf",
                       "ServerRoot \"{APACHEPATH}\"\r\n{LISTEN_VIRTUAL_HOST_PORT}\r\n<VirtualHost *:" +
                           std::to_string(httpPort) + ">\r\n    DocumentRoot \"{DOCUMENTPATH}\"\r\n</VirtualHost>\r\n");
    server.Serve("/download/", R"(<a href="/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip">x</a>)");
    server.Serve("/download/VS18/binaries/httpd-2.4.65-251009-Win64-VS18.zip",
                 testkit::MakeZip({{"Apache24/bin/httpd.exe", standin(L"httpd.exe")},
                                   {"Apache24/bin/openssl.exe", standin(L"openssl.exe")}}));
    server.Serve("/downloads/releases/", R"(<a href="php-8.3.10-Win32-vs16-x64.zip">x</a>)");
    server.Serve("/downloads/releases/php-8.3.10-Win32-vs16-x64.zip",
                 testkit::MakeZip({{"php.exe", standin(L"php.exe")}, {"php8apache2_4.dll", ""},
                                   {"php.ini-development", "[PHP]\n;extension=curl\n"}}));
    server.Serve("/rest-api/mariadb/", kMajors);
    server.Serve("/rest-api/mariadb/11.4/", Series({{"mariadb-11.4.20-winx64.zip", "https://x.example/m.zip"}}));
    server.Serve("/m.zip", testkit::MakeZip({{"m/bin/mariadbd.exe", standin(L"mariadbd.exe")},
                                             {"m/bin/mariadb-admin.exe", standin(L"mariadb-admin.exe")},
                                             {"m/bin/mariadb-install-db.exe", standin(L"mariadb-install-db.exe")}}));
    server.Serve("/home_page/version.json", R"({"releases": [{"date": "2025-01-21", "version": "5.2.2"}]})");
    server.Serve("/phpMyAdmin/5.2.2/phpMyAdmin-5.2.2-all-languages.zip",
                 testkit::MakeZip({{"p/index.php", ""}, {"p/RELEASE-DATE-5.2.2", ""}}));
    Server::Instance().Start();

    ui::RequestWizard();
    for (const char* key : {"apache", "php:releases", "mariadb", "mariadb:11.4", "phpmyadmin"}) ASSERT_TRUE(Loaded(key).loaded);
    ASSERT_TRUE(ClickId("wz_ok"));
    EXPECT_TRUE(ui::State().startAfterInstall && !ui::State().wizardRequested);
    EXPECT_EQ(ui::State().page, page::kComponents);
    ASSERT_TRUE(Until([] { return ui::State().server.apache.running && ui::State().server.mysql.running; }, 120000))
        << ui::State().installer.message;
    EXPECT_EQ(ui::State().installer.message, "") << "no job failed";
    EXPECT_EQ(ui::State().phpMyAdminVersion, "5.2.2");
    EXPECT_EQ(ui::State().currentPhp->name, "php-8.3.10-x64");
}

// The page's texts in French: each tab with installed rows and in each catalog state, the job
// card busy and failed, the removal question and the wizard.
TEST_F(ComponentsTest, French_EveryTabCatalogStateJobCardAndTheWizard) {
    uitest::UntranslatedRecorder french;
    MakeStack();
    MakeFolder(ApacheDir(), {{"bin/httpd.exe", stacktest::kStandin}});
    MakeFolder(PhpMyAdminDir(), {{"index.php", ""}, {"RELEASE-DATE-5.2.2", ""}});
    ui::RefreshInstalls(true);
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    const auto everyTab = [&] {
        for (const char* tab : {"###tphp", "###tap", "###tdb", "###tpma"}) {
            ASSERT_TRUE(ClickTab(tab)) << tab;
            Show();
        }
    };
    // A host of its own for the slow page: the connection it leaves open is never reused.
    testkit::FixtureServer slow;
    slow.Redirect("/download/", "/drip?n=20&ms=100");
    UseServer(slow);
    Show();
    everyTab();  // loading, then failed (nothing served)
    for (const char* key : {"apache", "php:releases", "mariadb", "phpmyadmin"}) Loaded(key);
    everyTab();
    UseServer(server);
    server.Serve("/downloads/releases/", kPhpListing);
    server.Serve("/rest-api/mariadb/", kMajors);
    server.Serve("/rest-api/mariadb/11.4/", Series({{"mariadb-b-winx64.zip", "https://x.example/drip?n=9000&ms=20"}}));
    server.Serve("/home_page/version.json", kPhpMyAdminVersions);
    for (const char* key : {"php:releases", "mariadb", "mariadb:11.4", "phpmyadmin"}) installer::RequestCatalog(key, true);
    for (const char* key : {"php:releases", "mariadb", "mariadb:11.4", "phpmyadmin"}) Loaded(key);
    everyTab();
    ASSERT_TRUE(ClickTab("###tdb"));
    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##mdbavail", 0, "###inst"}));
    ASSERT_TRUE(Until([] { return ui::State().installer.busy; }));
    ASSERT_TRUE(ClickPage({"##comptabs", "###tdb", "##dbinst", "mariadb-11.4.2", "###rm"}));
    Show(3);
    ASSERT_TRUE(ClickId("confirm_cancel"));
    ASSERT_TRUE(ClickId("jobcancel"));
    ASSERT_TRUE(Until([] { return !ui::State().installer.busy; }));
    ui::RequestWizard();
    Show(3);
    EXPECT_FALSE(Id("wz_ok").empty());
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

}  // namespace

// The Apache page on scratch roots with the httpd and openssl stand-ins: the text helpers, the
// hosts editor and its saves, outside edits, an unbalanced template, the new site, the Modules and
// Files tabs with their jobs, and the whole page in French.
#include "ui/pages/apache.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "core/files.h"
#include "stack/apache/ssl_cert.h"
#include "tests/ui/apache_page_fixture.h"
#include "ui/shell.h"

namespace {

using controltest::Has;
using controltest::LinesDuring;
using controltest::LogLine;
using uitest::ApachePageTest;
using uitest::Contains;
using uitest::kOddHosts;

}  // namespace

// ---- Text helpers ----

TEST(ApacheText, HasOptionAndSetOption) {
    const std::tuple<const char*, bool> has[] = {
        {"FollowSymLinks Indexes", true}, {"  indexes  ", true}, {"+Indexes", true}, {"-Indexes", false},
        {"None", false}, {"IndexesX", false}, {"", false},
    };
    for (const auto& [options, expected] : has) EXPECT_EQ(ui::HasOption(options, "Indexes"), expected) << options;

    const std::tuple<const char*, const char*, bool, const char*> set[] = {
        {"None", "Indexes", true, "Indexes"}, {"Indexes", "Indexes", false, "None"},
        {"+Indexes FollowSymLinks", "Indexes", false, "FollowSymLinks"}, {"-Indexes", "Indexes", true, "Indexes"},
        {"FollowSymLinks  Indexes", "indexes", false, "FollowSymLinks"},
        {"FollowSymLinks", "Indexes", true, "FollowSymLinks Indexes"},
        // Apache 2.4 refuses a value that mixes relative and plain words.
        {"+FollowSymLinks", "Indexes", true, "+FollowSymLinks +Indexes"},
        {"-ExecCGI None", "Indexes", true, "-ExecCGI +Indexes"},
    };
    for (const auto& [before, word, on, after] : set) {
        std::string options = before;
        ui::SetOption(options, word, on);
        EXPECT_EQ(options, after) << before << " " << word << " " << on;
    }
}

TEST(ApacheText, SiteNameIndexPagePortsAndDirectives) {
    const std::pair<const char*, const char*> names[] = {
        {"  My Site!  ", "mysite"}, {"Blog_2-x", "blog_2-x"}, {"caf\xC3\xA9", "caf"}, {"!!!", ""},
    };
    for (const auto& [typed, name] : names) EXPECT_EQ(ui::SiteNameFromText(typed), name) << typed;
    EXPECT_EQ(ui::SiteIndexPhp("blog"),
              "<?php\n// blog\n?><!doctype html>\n<html><head><meta charset=\"utf-8\"><title>blog</title></head>\n"
              "<body style=\"font-family:Segoe UI,sans-serif;margin:3em\">\n<h1>blog</h1>\n"
              "<p>PHP <?= PHP_VERSION ?> - <?= date('Y-m-d H:i:s') ?></p>\n</body></html>\n");
    const std::pair<int32_t, int32_t> ports[] = {{0, 1}, {-5, 1}, {8080, 8080}, {65535, 65535}, {70000, 65535}};
    for (const auto& [typed, kept] : ports) EXPECT_EQ(ui::ClampPort(typed), kept) << typed;

    std::vector<VirtualHost> hosts(2);
    hosts[1].otherLines = {"kept"};
    ui::ApplyOtherDirectives(hosts, {"  ErrorLog x \r\n\r\n\tHeader set A b\n", "", "extra text"});
    EXPECT_EQ(hosts[0].otherLines, (std::vector<std::string>{"ErrorLog x", "Header set A b"}));
    EXPECT_TRUE(hosts[1].otherLines.empty());
}

TEST_F(ApachePageTest, ToDocumentPath_OnlyTheWwwFolderItself) {
    const std::string www = WideToUtf8(WwwDir());
    const std::pair<std::string, std::string> rows[] = {
        {www, "{DOCUMENTPATH}"}, {www + "\\blog", "{DOCUMENTPATH}/blog"}, {ToLower(www) + "\\a\\b", "{DOCUMENTPATH}/a/b"},
        {www + "2\\x", ToForwardSlashes(www) + "2/x"}, {"D:\\sites\\x", "D:/sites/x"},
    };
    for (const auto& [folder, stored] : rows) EXPECT_EQ(ui::ToDocumentPath(folder), stored) << folder;
}

// ---- Page and hosts editor ----

TEST_F(ApachePageTest, NoBuild_OffersTheComponentsPage) {
    EXPECT_TRUE(Id("tab_vh").empty());
    ASSERT_TRUE(ClickId("inst_apache"));
    EXPECT_EQ(ui::State().page, page::kComponents);
}

TEST_F(ApachePageTest, HostEdits_SavedIntoTheTemplate_RestartOnlyWhenRunning) {
    MakeBuild();
    EXPECT_FALSE(Enabled("vhsave") || Enabled("vhundo") || Enabled("vhdel")) << "one host, nothing unsaved";
    Type("vname", "shop.localhost");
    Type("valias", "www.shop.localhost");
    EXPECT_TRUE(Cache().unsaved && Enabled("vhsave") && Enabled("vhundo"));
    EXPECT_TRUE(DisabledWhileWorkerBusy("vhsave"));
    ASSERT_TRUE(ClickId("addalias"));
    Type("aurl", "/img");
    ASSERT_TRUE(ClickId("adddir"));
    for (const char* option : {"Indexes", "ExecCGI"}) ASSERT_TRUE(Click(option));   // Indexes off, ExecCGI on
    ASSERT_TRUE(ClickId("allowall"));
    ASSERT_TRUE(OpenAccess(0));
    ASSERT_TRUE(Click("Everybody (Require all granted)##2"));
    Type("extra", "Header set X-Site shop\n\n  ErrorLog logs/shop.log  ");
    ASSERT_TRUE(ClickId("vhsave"));
    const std::string text = TemplateText();
    for (const char* part : {"\tServerName \"shop.localhost\"\r\n\tServerAlias www.shop.localhost\r\n",
                             "\tHeader set X-Site shop\r\n\tErrorLog logs/shop.log\r\n",
                             "\tAlias \"/img\" \"{DOCUMENTPATH}/dossier/\"\r\n", "\t<Directory \"{DOCUMENTPATH}\">\r\n"
                             "\t\tAllowOverride None\r\n\t\tOptions FollowSymLinks ExecCGI\r\n\t\tRequire all granted\r\n"})
        EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
    EXPECT_TRUE(!Cache().unsaved && Toasted("Apache configuration saved"));
    EXPECT_EQ(Queued(), 0) << "Apache stopped: no restart queued";

    Server::Instance().Start();
    Server::Instance().StartApache();
    ASSERT_TRUE(testkit::WaitFor([] { return controltest::Idle() && Server::Instance().GetStatus().apache.running; }));
    Show();
    Type("vname", "store.localhost");
    const std::vector<LogLine> lines = LinesDuring([&] {
        ASSERT_TRUE(ClickId("vhsave"));
        EXPECT_TRUE(testkit::WaitFor([] { return controltest::Idle() && Server::Instance().GetStatus().apache.running; }));
    });
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"store.localhost\""));
    EXPECT_TRUE(Has(lines, {console::kApache, level::kInfo, "Stopping Apache..."}));
}

TEST_F(ApachePageTest, AddRemove_HostsAliasesAndDirectories) {
    MakeBuild(kOddHosts);
    ASSERT_TRUE(ClickId("vhadd"));
    ASSERT_EQ(Cache().document.vhosts.size(), 5u);
    const VirtualHost& added = Cache().document.vhosts.back();
    EXPECT_TRUE(added.serverName == "site.localhost" && added.port == port && added.documentRoot == "{DOCUMENTPATH}" &&
                added.address == "*" && added.directories.empty());
    EXPECT_TRUE(Cache().selectedHost == 4 && Cache().unsaved);
    for (const char* id : {"addalias", "adddir", "adel", "ddel"}) ASSERT_TRUE(ClickId(id)) << id;
    EXPECT_TRUE(Cache().document.vhosts[4].aliases.empty() && Cache().document.vhosts[4].directories.empty());
    Cache().selectedHost = 0;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(ClickId("vhdel"));
    ASSERT_EQ(Cache().document.vhosts.size(), 1u);
    EXPECT_EQ(Cache().selectedHost, 0);
    EXPECT_FALSE(Enabled("vhdel")) << "the last host cannot go";
    ASSERT_TRUE(ClickId("vhsave"));
    const std::string text = TemplateText();
    EXPECT_TRUE(Contains(text, "ServerName \"site.localhost\"") && !Contains(text, "secure.localhost") &&
                !Contains(text, "any.localhost") && !Contains(text, "10.0.0"));
}

TEST_F(ApachePageTest, NoHosts_EditorAsksForASelection_AddMakesTheFirst) {
    MakeApache(LeasedPort());
    testkit::WriteFile(Template(), "ServerRoot \"{APACHEPATH}\"\r\n");
    ui::RefreshInstalls(true);
    Show();
    EXPECT_TRUE(Cache().selectedHost == -1 && Contains(DrawnText(), "Select a virtual host."));
    EXPECT_TRUE(!Enabled("vhdel") && Id("vhsave").empty());
    ASSERT_TRUE(ClickId("vhadd"));
    EXPECT_TRUE(Cache().selectedHost == 0 && !Id("vhsave").empty());
}

// Hosts kept as written, HTTPS hosts and Require lines outside the table survive the editor.
TEST_F(ApachePageTest, HostsAsWritten_PortAddressAccessAndChangeThePort) {
    MakeBuild(kOddHosts);
    Cache().selectedHost = 2;
    Show();
    EXPECT_TRUE(Id("vport").empty() && Contains(DrawnText(), "*:*")) << "its address, no port field";
    Cache().selectedHost = 3;
    Show();
    EXPECT_FALSE(Id("vport").empty());
    ASSERT_TRUE(OpenAccess(0));
    ASSERT_TRUE(Click("Require ip 10.0.0##4"));
    EXPECT_FALSE(Cache().unsaved) << "the fifth entry changes nothing";

    EXPECT_FALSE(Enabled("chport"));
    Type("mainport", "70000");
    EXPECT_EQ(Cache().portEdit, 65535);
    Type("mainport", "8090");
    ASSERT_TRUE(ClickId("chport"));
    const std::string text = TemplateText();
    const std::string mainHost = "<VirtualHost *:" + std::to_string(port) + ">";
    EXPECT_EQ(text.find(mainHost), text.rfind(mainHost)) << "the HTTPS host alone keeps the old port\n" << text;
    for (const std::string& part : {mainHost, std::string("<VirtualHost *:8090>"),
                                    std::string("<VirtualHost *:* '[::1]:8090'\t*:8081>"),
                                    std::string("<VirtualHost *:8081>"), std::string("\t\tRequire ip 10.0.0\r\n")})
        EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
    EXPECT_EQ(Cache().mainPort, 8090);
}

// The cache follows the file while nothing is unsaved, and the version choice; a save that fails,
// or that would overwrite an outside change unasked, keeps the edits.
TEST_F(ApachePageTest, Reloads_FailedSave_OutsideChange_Discard_VersionChoice) {
    MakeBuild();
    TouchTemplate(TemplateText() + "<VirtualHost *:8081>\r\n    ServerName outside.localhost\r\n</VirtualHost>\r\n");
    Show(1);
    ASSERT_EQ(Cache().document.vhosts.size(), 2u) << "reloaded on the next frame";

    Type("vname", "mine.localhost");
    const std::wstring blocker = Template() + L".zvtmp";   // the atomic write's temporary cannot be made
    ASSERT_TRUE(EnsureDirectory(blocker));
    const std::string before = TemplateText();
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Toasted("! Cannot save the Apache configuration") && Cache().unsaved);
    EXPECT_TRUE(TemplateText() == before && Queued() == 0);
    ASSERT_TRUE(RemoveDirectoryW(blocker.c_str()));

    TouchTemplate(before + "# edited in the editor\r\n");
    Show();
    EXPECT_EQ(Cache().document.vhosts[0].serverName, "mine.localhost") << "unsaved edits are not replaced";
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "# edited in the editor") && Cache().unsaved) << "nothing written before the answer";
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"mine.localhost\"") && !Cache().unsaved);
    Type("vname", "lost.localhost");
    ASSERT_TRUE(ClickId("vhundo"));
    EXPECT_TRUE(!Cache().unsaved && Cache().document.vhosts[0].serverName == "mine.localhost");
    EXPECT_FALSE(Enabled("vhsave") || Enabled("vhundo"));

    MakeFolder(ApacheDir() + L"\\httpd-2.4.99", {{"bin/httpd.exe", stacktest::kStandin},
                                                 {"conf/httpd_zerva.conf", "<VirtualHost *:9000>\r\n</VirtualHost>\r\n"}});
    ui::RefreshInstalls(true);
    Show();
    EXPECT_EQ(Cache().buildName, "httpd-2.4.99") << "the newest is current without a setting";
    ASSERT_TRUE(ClickPage({"##apv"}));
    ASSERT_TRUE(Click("2.4.58 (x64)   [httpd-2.4.58]##1"));
    Show();
    EXPECT_EQ(GetCurrentApacheName(), "httpd-2.4.58");
    EXPECT_TRUE(Cache().buildName == "httpd-2.4.58" && Cache().mainPort == port);
}

// A template whose blocks do not balance is read wrongly: the page says where, offers no save and
// refuses one, and takes the file back once it was mended in the editor.
TEST_F(ApachePageTest, UnbalancedTemplate_NoticeWithTheLine_NoSave_BackOnceMended) {
    const std::string open = "<VirtualHost *:8081>\r\n    ServerName b.localhost\r\n    <Directory \"{DOCUMENTPATH}/b\">\r\n";
    const std::string rest = "</VirtualHost>\r\n<VirtualHost *:8082>\r\n    ServerName c.localhost\r\n</VirtualHost>\r\n";
    MakeBuild(open + rest);
    const std::string message = "httpd_zerva.conf must be mended by hand: line 9 opens a block that is never closed: "
                                "<Directory \"{DOCUMENTPATH}/b\">";
    EXPECT_TRUE(Contains(DrawnText(), message));
    for (const char* id : {"vhsave", "vhadd", "createsite", "chport", "vname"}) EXPECT_TRUE(Id(id).empty()) << id;
    ASSERT_TRUE(ClickTab("###tab_mod"));
    EXPECT_TRUE(Contains(DrawnText(), message) && Id("modsave").empty() && !harness.Find("##on"));
    ASSERT_TRUE(ClickId("edit_mend"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Editor && calls[0].target == Template());

    const std::string before = TemplateText();
    EXPECT_FALSE(ui::SaveApacheConfig());   // every save of the page goes through it
    EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{"! " + message});
    EXPECT_EQ(TemplateText(), before);
    ui::Toasts().clear();   // its text is the notice's

    std::string mended = before;
    ReplaceAllInPlace(mended, rest, "    </Directory>\r\n" + rest);
    TouchTemplate(mended);
    Show();
    EXPECT_TRUE(!Cache().document.blockFault && Cache().document.vhosts.size() == 3u);
    EXPECT_FALSE(Id("modsave").empty());
    ASSERT_TRUE(ClickTab("###tab_vh"));
    EXPECT_FALSE(Id("vhsave").empty() || Contains(DrawnText(), message));
}

// ---- New site ----

TEST_F(ApachePageTest, NewSite_FolderIndexHostAndSave_AndItsRefusals) {
    MakeBuild();
    for (const char* refused : {"con", "!!!", "LPT1"}) {
        Type("sitename", refused);
        EXPECT_FALSE(Enabled("createsite")) << refused;
    }
    Type("sitename", "  My Site! ");
    EXPECT_EQ(Cache().siteText, "mysite") << "dropped as typed";
    ASSERT_TRUE(ClickId("createsite"));
    const std::wstring folder = WwwDir() + L"\\mysite";
    EXPECT_EQ(testkit::ReadFile(folder + L"\\index.php"), ui::SiteIndexPhp("mysite"));
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"mysite.localhost\""));
    const std::string created = "Site created: http://mysite.localhost:" + std::to_string(port) + "/";
    EXPECT_TRUE(Toasted(created) && Cache().siteText.empty() && !Cache().unsaved);

    // Again over a folder with a file and an existing host: nothing written, no second host.
    testkit::WriteFile(folder + L"\\index.php", "mine");
    ui::Toasts().clear();
    Type("sitename", "mysite");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_EQ(testkit::ReadFile(folder + L"\\index.php"), "mine");
    EXPECT_EQ(Cache().document.vhosts.size(), 2u);
    EXPECT_TRUE(Toasted(created));

    // The folder (a file holds its name) or index.php (a folder holds its temporary's name) cannot
    // be made: an error, no host, nothing saved.
    testkit::WriteFile(WwwDir() + L"\\blog", "a file");
    ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\shop\\index.php.zvtmp"));
    const std::string before = TemplateText();
    for (const auto& [name, error] : {std::pair{"blog", "cannot create "}, std::pair{"shop", "cannot write "}}) {
        ui::Toasts().clear();
        Type("sitename", name);
        ASSERT_TRUE(ClickId("createsite"));
        const auto toasts = uitest::ToastTexts();
        ASSERT_EQ(toasts.size(), 1u);
        EXPECT_TRUE(StartsWith(toasts[0], "! Cannot create the site " + std::string(name) + ": " + error)) << toasts[0];
        EXPECT_TRUE(TemplateText() == before && Cache().document.vhosts.size() == 2u && !Cache().unsaved);
    }
    // The save fails after the host was added: the host stays, marked unsaved.
    ASSERT_TRUE(EnsureDirectory(Template() + L".zvtmp"));
    Type("sitename", "news");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_TRUE(Cache().unsaved && Cache().document.vhosts.back().serverName == "news.localhost");
    EXPECT_TRUE(Toasted("! Cannot save the Apache configuration") &&
                !Toasted("Site created: http://news.localhost:" + std::to_string(port) + "/"));
}

// The new host goes on the main host's addresses, where Apache sends a request for its name before
// any "*" host; a host answering the name there (by an alias) would be chosen first: the site is
// refused with the same words as "site" prints, and nothing is made.
TEST_F(ApachePageTest, NewSite_OnTheMainHostsAddresses_NoneWhereAHostAnswersTheName) {
    MakeBuild();
    const std::string at = std::to_string(port);
    TouchTemplate("<VirtualHost 127.0.0.1:" + at + " [::1]:" + at + ">\r\n</VirtualHost>\r\n<VirtualHost *:" + at +
                  ">\r\n\tServerAlias shop.localhost\r\n</VirtualHost>\r\n<VirtualHost [::1]:" + at +
                  ">\r\n\tServerName w.localhost\r\n\tServerAlias Blog.localhost\r\n</VirtualHost>\r\n");
    Show();
    ASSERT_EQ(Cache().document.vhosts.size(), 3u);
    Type("sitename", "blog");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_TRUE(Toasted("! Site not created: the virtual host w.localhost (httpd_zerva.conf, line 6) already answers "
                        "blog.localhost."));
    EXPECT_FALSE(PathExists(WwwDir() + L"\\blog") || Cache().unsaved);
    ui::Toasts().clear();
    Type("sitename", "shop");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_TRUE(Toasted("Site created: http://shop.localhost:" + at + "/"));
    ApacheConfig saved;
    ASSERT_TRUE(saved.Load(Template()) && saved.vhosts.size() == 4u);
    std::string block;
    WriteVhostBlock(saved.vhosts[3], block);
    EXPECT_TRUE(StartsWith(block, "<VirtualHost 127.0.0.1:" + at + " [::1]:" + at + ">\r\n\tDocumentRoot \"{DOCUMENTPATH}/shop\"")) << block;
}

// ---- Modules tab ----

TEST_F(ApachePageTest, Modules_FilterSwitchCountHelpAndLink) {
    MakeBuild("LoadModule rewrite_module modules/mod_rewrite.so\r\n#LoadModule speling_module modules/mod_speling.so\r\n");
    ASSERT_TRUE(ClickTab("###tab_mod"));
    EXPECT_FALSE(Enabled("modsave") || Enabled("modundo"));
    Type("modfilter", "nothing matches");
    EXPECT_TRUE(!harness.Find("rewrite_module") && !harness.Find("##on"));
    EXPECT_TRUE(Contains(DrawnText(), "2 / 3 modules enabled")) << "all counted, whatever the filter";
    // Filtered down to one row, its checkbox is the only one: PHP off, speling on.
    Type("modfilter", "php (SEL");
    ASSERT_TRUE(harness.Find("PHP (selected version)") && !harness.Find("rewrite_module"));
    ASSERT_TRUE(Click("##on"));
    EXPECT_TRUE(Contains(DrawnText(), "1 / 3 modules enabled"));
    Type("modfilter", "speling");
    ASSERT_TRUE(Click("##on"));
    EXPECT_TRUE(Cache().unsaved && Enabled("modsave") && Enabled("modundo"));
    EXPECT_TRUE(DisabledWhileWorkerBusy("modsave"));
    Type("modfilter", "");

    ASSERT_TRUE(Click("PHP (selected version)"));
    EXPECT_TRUE(Id("modlink").empty()) << "the PHP module has no documentation page";
    ASSERT_TRUE(Click("speling_module"));
    ASSERT_TRUE(ClickId("modlink"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].target, L"https://httpd.apache.org/docs/2.4/mod/mod_speling.html");

    ASSERT_TRUE(ClickId("modsave"));
    const std::string text = TemplateText();
    EXPECT_TRUE(Contains(text, "#LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"\r\n"));
    EXPECT_TRUE(Contains(text, "\r\nLoadModule speling_module modules/mod_speling.so\r\n"));
}

// ---- Files tab ----

TEST_F(ApachePageTest, Files_ShellButtons_Restore_TestAndCertificateJobs) {
    MakeBuild();
    const ApacheInstall build = *FindApache("httpd-2.4.58");
    ASSERT_TRUE(ClickTab("###tab_files"));
    for (const char* id : {"edit_tpl", "open_conf", "open_logs"}) EXPECT_TRUE(ClickId(id)) << id;
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Editor && calls[0].target == Template());
    EXPECT_TRUE(calls[1].kind == ui::ShellCall::Kind::Folder && calls[1].target == apacheDir + L"\\conf");
    EXPECT_EQ(calls[2].target, apacheDir + L"\\logs");

    EXPECT_FALSE(Enabled("restore")) << "no httpd_initial.conf";
    const std::string initial = "<VirtualHost *:" + std::to_string(port) + ">\r\n    ServerName first.localhost\r\n</VirtualHost>\r\n";
    testkit::WriteFile(apacheDir + L"\\conf\\httpd_initial.conf", initial);
    Cache().unsaved = true;
    Show();
    ASSERT_TRUE(ClickId("restore"));
    EXPECT_NE(TemplateText(), initial) << "nothing before the answer";
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_EQ(TemplateText(), initial);
    EXPECT_TRUE(Toasted("Initial configuration restored") && !Cache().unsaved);
    EXPECT_EQ(Cache().document.vhosts.at(0).serverName, "first.localhost");
    // The pristine copy gone between the click and the answer: an error, nothing reloaded.
    ui::Toasts().clear();
    TouchTemplate(initial + "# mine\r\n");
    Show();
    ASSERT_TRUE(ClickId("restore"));
    ASSERT_TRUE(DeleteFileW((apacheDir + L"\\conf\\httpd_initial.conf").c_str()));
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_EQ(uitest::ToastTexts(), std::vector<std::string>{"! Cannot restore the initial configuration"});
    EXPECT_EQ(TemplateText(), initial + "# mine\r\n");
    EXPECT_EQ(Queued(), 0);

    // Two tests queued by two presses; the certificate is left alone until the worker runs.
    testkit::WriteFile(SslCertificatePath(build), "old crt");
    testkit::WriteFile(SslKeyPath(build), "old key");
    for (const char* id : {"test_conf", "test_conf", "regen_ssl"}) ASSERT_TRUE(ClickId(id)) << id;
    EXPECT_EQ(Queued(), 3);
    EXPECT_EQ(testkit::ReadFile(SslCertificatePath(build)), "old crt") << "nothing deleted on the interface thread";
    const std::vector<LogLine> lines = LinesDuring([] {
        Server::Instance().Start();
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
    });
    EXPECT_EQ(std::count(lines.begin(), lines.end(), LogLine(console::kApache, level::kSuccess, "Syntax OK")), 2);
    EXPECT_TRUE(Has(lines, {console::kApache, level::kSuccess, "SSL certificate generated for https://localhost (self-signed)."}));
    EXPECT_NE(testkit::ReadFile(SslCertificatePath(build)), "old crt");
}

TEST_F(ApachePageTest, TestJob_LogsTheOutput_WithAndWithoutPhp) {
    MakeBuild();
    MakePhp();
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(*FindPhp("php-8.3.14"), "php.ini-development", error)) << error;
    const std::wstring conf = apacheDir + L"\\conf\\httpd.conf";
    const std::vector<LogLine> passed = LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); });
    EXPECT_TRUE(Has(passed, {console::kApache, level::kSuccess, "Syntax OK"}));
    EXPECT_TRUE(PathExists(phpDir + L"\\php.ini") && Contains(testkit::ReadFile(conf), "php8apache2_4.dll"));
    // No usable PHP (no module): httpd.conf without PHP, no php.ini; a failing test logs errors.
    ASSERT_TRUE(DeleteFileW((phpDir + L"\\php.ini").c_str()) && DeleteFileW((phpDir + L"\\php8apache2_4.dll").c_str()));
    testkit::WriteFile(Template(), TemplateText() + "# standin: syntax-error AH00526: Syntax error on line 9\r\n");
    const std::vector<LogLine> failed = LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); });
    EXPECT_TRUE(Has(failed, {console::kApache, level::kError, "AH00526: Syntax error on line 9"}));
    EXPECT_TRUE(!PathExists(phpDir + L"\\php.ini") && !Contains(testkit::ReadFile(conf), "php8apache2_4.dll"));
    // A template that cannot be read: its error, and no test; a build gone: nothing.
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    EXPECT_EQ(LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); }),
              std::vector<LogLine>{LogLine(console::kApache, level::kError, "cannot read " + WideToUtf8(Template()))});
    EXPECT_TRUE(LinesDuring([] { ui::TestApacheConfigJob("gone"); }).empty());
}

// ---- Template made once ----

TEST_F(ApachePageTest, MissingTemplate_OneAttemptOnTheWorker) {
    MakeApache(LeasedPort());
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    ASSERT_TRUE(EnsureDirectory(Template() + L".zvtmp"));   // the write cannot happen
    ui::RefreshInstalls(true);
    Show(5);
    EXPECT_EQ(Queued(), 1);
    const std::vector<LogLine> lines = LinesDuring([&] {
        Server::Instance().Start();
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
        Show(5);
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
    });
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const LogLine& l) { return std::get<1>(l) == level::kError; }), 1);
    EXPECT_FALSE(PathExists(Template()));
}

TEST_F(ApachePageTest, MissingTemplate_MadeOnTheWorkerAndLoaded) {
    MakeApache(LeasedPort());
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    Server::Instance().Start();
    ui::RefreshInstalls(true);
    ASSERT_TRUE(Until([] { return Cache().document.loaded && !Cache().document.vhosts.empty(); }));
    Show();
    EXPECT_TRUE(ui::State().currentApache && ui::State().currentApache->configured);
}

// ---- French ----

TEST_F(ApachePageTest, French_EveryTabHostKindAndConfirm) {
    uitest::UntranslatedRecorder french;
    Show();   // no build yet
    MakeBuild(kOddHosts);
    testkit::WriteFile(apacheDir + L"\\conf\\httpd_initial.conf", TemplateText());
    for (int32_t host = 0; host < 4; ++host) {   // plain, HTTPS, kept as written, odd Require
        Cache().selectedHost = host;
        Show();
    }
    Type("vname", "x.localhost");   // the unsaved mark
    ASSERT_TRUE(OpenAccess(1));     // "(none)"
    harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); });
    ASSERT_TRUE(ClickTab("###tab_mod"));
    for (const int32_t module : {0, -1}) {
        Cache().selectedModule = module;
        Show();
    }
    ASSERT_TRUE(ClickTab("###tab_files"));
    ASSERT_TRUE(ClickId("restore"));
    ASSERT_TRUE(ClickId("confirm_cancel"));
    ASSERT_TRUE(ClickTab("###tab_vh"));
    TouchTemplate(TemplateText() + "# outside\r\n");
    ASSERT_TRUE(ClickId("vhsave"));
    ASSERT_TRUE(ClickId("confirm_ok"));
    testkit::WriteFile(WwwDir() + L"\\blog", "a file");
    for (const char* site : {"news", "blog"}) {
        Type("sitename", site);
        ASSERT_TRUE(ClickId("createsite"));
    }
    // A template whose blocks do not balance, on both tabs and refusing a save; every field refused.
    TouchTemplate(TemplateText() + "</Directory>\r\n");
    for (const char* tab : {"###tab_mod", "###tab_vh"}) ASSERT_TRUE(ClickTab(tab)) << tab;
    ASSERT_TRUE(Cache().document.blockFault);
    EXPECT_FALSE(ui::SaveApacheConfig());
    const VirtualHost host;
    for (const HostField field : {HostField::Address, HostField::ServerName, HostField::DocumentRoot, HostField::Alias,
                                  HostField::Directory})
        for (const FieldFault fault : {FieldFault::EmptyAddress, FieldFault::AddressWord, FieldFault::AddressPort,
                                       FieldFault::PortRange, FieldFault::NameWord, FieldFault::QuoteBreak})
            EXPECT_FALSE(UnwritableFieldMessage({0, field, fault}, host).empty());
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

// The Apache page on scratch roots with the httpd and openssl stand-ins: the text helpers, the
// hosts editor and its saves, outside edits, the new site, the Modules and Files tabs with their
// jobs, and the whole page in French.
#include "ui/pages/apache.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "core/files.h"
#include "imgui_internal.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/ssl_cert.h"
#include "tests/ui/ui_fixture.h"
#include "ui/shell.h"

namespace {

using controltest::Has;
using controltest::LinesDuring;
using controltest::LogLine;

class ApachePageTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::ApacheCache() = ApachePageCache{};
        ui::State().wizardAutoShown = true;
        ui::State().consoleOpen = false;
        ui::SetPage(page::kApache);
        // Tall enough that the whole hosts editor is on screen and every item can be clicked.
        ImGui::GetIO().DisplaySize = ImVec2(1200, 1700);
        Frame();   // later frames are drawn the same way: the interface alone, no window around it
    }
    // A build whose template holds `hosts` (and the PHP module line), current and drawn once.
    void MakeBuild(const std::string& hosts = "") {
        port = LeasedPort();
        MakeApache(port, hosts);
        ui::RefreshInstalls(true);
        Frames(2);
    }
    std::wstring Template() const { return apacheDir + L"\\conf\\httpd_zerva.conf"; }
    std::string TemplateText() const { return testkit::ReadFile(Template()); }
    ApachePageCache& Cache() { return ui::ApacheCache(); }

    // The label of the item drawn with this id after "###" (or "##" for icon buttons), or the id
    // itself when none has one.
    std::string Label(std::string_view id) const {
        for (const char* hashes : {"###", "##"}) {
            const std::string suffix = hashes + std::string(id);
            for (const std::string& label : harness.Labels())
                if (EndsWith(label, suffix) && (label.size() == suffix.size() || label[label.size() - suffix.size() - 1] != '#'))
                    return label;
        }
        return std::string(id);
    }
    // The window of the last frame whose name holds `part` ("/##vhedit_").
    static ImGuiWindow* Window(std::string_view part) {
        for (ImGuiWindow* window : GImGui->Windows)
            if (std::string_view(window->Name).find(part) != std::string_view::npos) return window;
        return nullptr;
    }
    // Items Dear ImGui records without their label (tabs, drop-downs): clicked by their id,
    // made as the page makes it.
    bool ClickTab(const char* id) {
        ImGuiWindow* page = Window("/##page_");
        if (!page) return false;
        const ImGuiID bar = ImHashStr("##apachetabs", 0, page->ID);
        return harness.Click(ImHashStr((std::string("###") + id).c_str(), 0, bar), [] { ui::Frame(); });
    }
    bool OpenVersionChoice() {
        ImGuiWindow* page = Window("/##page_");
        return page && harness.Click(ImHashStr("##apv", 0, page->ID), [] { ui::Frame(); });
    }
    bool OpenAccessChoice(int block) {
        ImGuiWindow* editor = Window("/##vhedit_");
        if (!editor) return false;
        const ImGuiID blockId = ImHashData(&block, sizeof(block), editor->ID);
        return harness.Click(ImHashStr("##req", 0, blockId), [] { ui::Frame(); });
    }
    const uitest::Item* Item(std::string_view id) const { return harness.Find(Label(id)); }
    bool Enabled(std::string_view id) const {
        const uitest::Item* item = Item(id);
        return item && !item->disabled;
    }
    bool ClickId(std::string_view id) { return Click(Label(id)); }
    // Replaces the text of a field: a click into it, everything selected, the text typed.
    void Type(std::string_view field, const std::string& text) {
        ASSERT_TRUE(Click(field)) << field;
        ImGuiIO& io = ImGui::GetIO();
        io.AddKeyEvent(ImGuiMod_Ctrl, true);
        harness.PressKey(ImGuiKey_A, [] { ui::Frame(); });
        io.AddKeyEvent(ImGuiMod_Ctrl, false);
        if (text.empty()) harness.PressKey(ImGuiKey_Delete, [] { ui::Frame(); });
        io.AddInputCharactersUTF8(text.c_str());
        Frames(2);
    }
    std::vector<std::string> ToastTexts() const {
        std::vector<std::string> texts;
        for (const ::Toast& toast : ui::Toasts()) texts.push_back((toast.error ? "! " : "") + toast.text);
        return texts;
    }
    bool Toasted(const std::string& text) const {
        const auto texts = ToastTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    // Moves the template's write time, as an editor saving it would.
    void TouchTemplate(const std::string& text) {
        testkit::WriteFile(Template(), text);
        HANDLE file = ::CreateFileW(Template().c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME time{};
        ::GetSystemTimeAsFileTime(&time);
        ULARGE_INTEGER later{{time.dwLowDateTime, time.dwHighDateTime}};
        later.QuadPart += 50'000'000;   // five seconds ahead of any write this test made
        time = {later.LowPart, later.HighPart};
        ::SetFileTime(file, nullptr, nullptr, &time);
        ::CloseHandle(file);
    }
    void StartWorkerAndApache() {
        Server::Instance().Start();
        Server::Instance().StartApache();
        ASSERT_TRUE(testkit::WaitFor([] { return controltest::Idle() && Server::Instance().GetStatus().apache.running; }));
    }

    int32_t port = 0;
};

const std::string kTwoHosts =
    "<VirtualHost *:443>\r\n    ServerName secure.localhost\r\n    SSLEngine on\r\n</VirtualHost>\r\n"
    "<VirtualHost *:*>\r\n    ServerName any.localhost\r\n</VirtualHost>\r\n";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// ---- Text helpers ----

TEST(ApacheText, HasOption_WordOrPlusWordIgnoringCase) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"FollowSymLinks Indexes", "Indexes", true}, {"  indexes  ", "Indexes", true},
        {"+Indexes", "Indexes", true}, {"-Indexes", "Indexes", false}, {"None", "Indexes", false},
        {"IndexesX", "Indexes", false}, {"", "Indexes", false},
    };
    for (const auto& [options, word, has] : rows) EXPECT_EQ(ui::HasOption(options, word), has) << options;
}

TEST(ApacheText, SetOption_RebuildsTheValueApacheAccepts) {
    const std::tuple<const char*, const char*, bool, const char*> rows[] = {
        {"None", "Indexes", true, "Indexes"},
        {"Indexes", "Indexes", false, "None"},
        {"+Indexes FollowSymLinks", "Indexes", false, "FollowSymLinks"},
        {"-Indexes", "Indexes", true, "Indexes"},
        {"FollowSymLinks  Indexes", "indexes", false, "FollowSymLinks"},
        {"FollowSymLinks", "Indexes", true, "FollowSymLinks Indexes"},
        // Apache 2.4 refuses a value that mixes relative and plain words.
        {"+FollowSymLinks", "Indexes", true, "+FollowSymLinks +Indexes"},
        {"-ExecCGI None", "Indexes", true, "-ExecCGI +Indexes"},
        {"", "Includes", false, "None"},
    };
    for (const auto& [before, word, on, after] : rows) {
        std::string options = before;
        ui::SetOption(options, word, on);
        EXPECT_EQ(options, after) << before << " " << word << " " << on;
    }
}

TEST(ApacheText, SiteNameAndIndexPageAndPorts) {
    const std::pair<const char*, const char*> names[] = {
        {"  My Site!  ", "mysite"}, {"Blog_2-x", "blog_2-x"}, {"caf\xC3\xA9", "caf"}, {"!!!", ""}, {"", ""},
    };
    for (const auto& [typed, name] : names) EXPECT_EQ(ui::SiteNameFromText(typed), name) << typed;
    EXPECT_EQ(ui::SiteIndexPhp("blog"),
              "<?php\n// blog\n?><!doctype html>\n<html><head><meta charset=\"utf-8\"><title>blog</title></head>\n"
              "<body style=\"font-family:Segoe UI,sans-serif;margin:3em\">\n<h1>blog</h1>\n"
              "<p>PHP <?= PHP_VERSION ?> - <?= date('Y-m-d H:i:s') ?></p>\n</body></html>\n");
    const std::pair<int32_t, int32_t> ports[] = {{0, 1}, {-5, 1}, {1, 1}, {8080, 8080}, {65535, 65535}, {70000, 65535}};
    for (const auto& [typed, kept] : ports) EXPECT_EQ(ui::ClampPort(typed), kept) << typed;

    std::vector<VirtualHost> hosts(2);
    hosts[1].otherLines = {"kept"};
    ui::ApplyOtherDirectives(hosts, {"  ErrorLog x \r\n\r\n\tHeader set A b\n", "", "extra text"});
    EXPECT_EQ(hosts[0].otherLines, (std::vector<std::string>{"ErrorLog x", "Header set A b"}));
    EXPECT_TRUE(hosts[1].otherLines.empty());
}

TEST_F(ApachePageTest, ToDocumentPath_OnlyTheWwwFolderItself) {
    const std::string www = WideToUtf8(WwwDir());
    const std::string slashed = ToForwardSlashes(www);
    const std::pair<std::string, std::string> rows[] = {
        {www, "{DOCUMENTPATH}"},
        {www + "\\blog", "{DOCUMENTPATH}/blog"},
        {ToLower(www) + "\\a\\b", "{DOCUMENTPATH}/a/b"},
        {www + "2\\x", slashed + "2/x"},   // another folder whose name starts the same
        {"D:\\sites\\x", "D:/sites/x"},
    };
    for (const auto& [folder, stored] : rows) EXPECT_EQ(ui::ToDocumentPath(folder), stored) << folder;
}

// ---- Page and hosts editor ----

TEST_F(ApachePageTest, NoBuild_OffersTheComponentsPage) {
    Frames(2);
    EXPECT_EQ(Item("tab_vh"), nullptr);
    ASSERT_TRUE(ClickId("inst_apache"));
    EXPECT_EQ(ui::State().page, page::kComponents);
}

TEST_F(ApachePageTest, HostEdits_SavedIntoTheTemplate_RestartOnlyWhenRunning) {
    MakeBuild();
    EXPECT_FALSE(Enabled("vhsave") || Enabled("vhundo") || Enabled("vhdel")) << "one host, nothing unsaved";
    Type("##vname", "shop.localhost");
    Type("##valias", "www.shop.localhost");
    EXPECT_TRUE(Cache().unsaved && Enabled("vhsave") && Enabled("vhundo"));
    ASSERT_TRUE(ClickId("addalias"));
    Type("##aurl", "/img");
    ASSERT_TRUE(ClickId("adddir"));
    ASSERT_TRUE(Click("Indexes"));        // the new block's Indexes switched off
    ASSERT_TRUE(Click("ExecCGI"));
    ASSERT_TRUE(ClickId("allowall"));
    ASSERT_TRUE(OpenAccessChoice(0));
    ASSERT_TRUE(Click("Everybody (Require all granted)##2"));
    Type("##extra", "Header set X-Site shop\n\n  ErrorLog logs/shop.log  ");
    const int queued = Server::Instance().GetStatus().queued;
    ASSERT_TRUE(ClickId("vhsave"));
    const std::string text = TemplateText();
    for (const char* part : {"<VirtualHost *:", "\tServerName \"shop.localhost\"\r\n", "\tServerAlias www.shop.localhost\r\n",
                             "\tHeader set X-Site shop\r\n\tErrorLog logs/shop.log\r\n",
                             "\tAlias \"/img\" \"{DOCUMENTPATH}/dossier/\"\r\n", "\t<Directory \"{DOCUMENTPATH}\">\r\n"
                             "\t\tAllowOverride None\r\n\t\tOptions FollowSymLinks ExecCGI\r\n\t\tRequire all granted\r\n"})
        EXPECT_TRUE(Contains(text, part)) << part << "\n" << text;
    EXPECT_FALSE(Cache().unsaved);
    EXPECT_TRUE(Toasted("Apache configuration saved"));
    EXPECT_EQ(Server::Instance().GetStatus().queued, queued) << "Apache stopped: no restart queued";

    // Running: the save restarts the stand-in (stopped, then running again).
    StartWorkerAndApache();
    Frames(2);
    Type("##vname", "store.localhost");
    const std::vector<LogLine> lines = LinesDuring([&] {
        ASSERT_TRUE(ClickId("vhsave"));
        EXPECT_TRUE(testkit::WaitFor([] {
            return controltest::Idle() && Server::Instance().GetStatus().apache.running;
        }));
    });
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"store.localhost\""));
    EXPECT_TRUE(Has(lines, {console::kApache, level::kInfo, "Stopping Apache..."}));
    EXPECT_TRUE(Has(lines, {console::kApache, level::kSuccess, "Apache stopped."}));
}

TEST_F(ApachePageTest, AddRemoveHosts_AndRemovalOfAliasesAndDirectories) {
    MakeBuild(kTwoHosts);
    ASSERT_EQ(Cache().document.vhosts.size(), 3u);
    EXPECT_TRUE(Enabled("vhdel"));
    ASSERT_TRUE(ClickId("vhadd"));
    ASSERT_EQ(Cache().document.vhosts.size(), 4u);
    const VirtualHost& added = Cache().document.vhosts.back();
    EXPECT_TRUE(added.serverName == "site.localhost" && added.port == port && added.documentRoot == "{DOCUMENTPATH}" &&
                added.address == "*" && added.directories.empty());
    EXPECT_TRUE(Cache().selectedHost == 3 && Cache().unsaved);
    ASSERT_TRUE(ClickId("addalias"));
    ASSERT_TRUE(ClickId("adddir"));
    ASSERT_EQ(Cache().document.vhosts[3].directories.size(), 1u);
    ASSERT_TRUE(ClickId("adel"));
    ASSERT_TRUE(ClickId("ddel"));
    EXPECT_TRUE(Cache().document.vhosts[3].aliases.empty() && Cache().document.vhosts[3].directories.empty());
    // Remove the first host, then down to one: the last one cannot go.
    Cache().selectedHost = 0;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickId("vhdel"));
    ASSERT_EQ(Cache().document.vhosts.size(), 1u);
    EXPECT_EQ(Cache().selectedHost, 0);
    EXPECT_FALSE(Enabled("vhdel"));
    ASSERT_TRUE(ClickId("vhsave"));
    const std::string text = TemplateText();
    EXPECT_TRUE(Contains(text, "ServerName \"site.localhost\"") && !Contains(text, "secure.localhost") &&
                !Contains(text, "any.localhost"));
}

TEST_F(ApachePageTest, NoHosts_EditorAsksForASelection_AddMakesTheFirst) {
    MakeApache(LeasedPort());
    testkit::WriteFile(Template(), "ServerRoot \"{APACHEPATH}\"\r\n");
    ui::RefreshInstalls(true);
    Frames(2);
    EXPECT_EQ(Cache().selectedHost, -1);
    EXPECT_NE(Window("/##vhedit_"), nullptr);
    EXPECT_FALSE(Enabled("vhdel"));
    EXPECT_EQ(Item("vhsave"), nullptr) << "no editor without a host";
    ASSERT_TRUE(ClickId("vhadd"));
    EXPECT_TRUE(Cache().selectedHost == 0 && Item("vhsave"));
}

TEST_F(ApachePageTest, AccessOutsideTheTable_ShownAsFifthEntryAndKept) {
    MakeBuild("<VirtualHost *:8081>\r\n  <Directory \"{DOCUMENTPATH}/x\">\r\n    Require ip 10.0.0\r\n  </Directory>\r\n"
              "</VirtualHost>\r\n");
    Cache().selectedHost = 1;
    Frames(2);
    ASSERT_TRUE(OpenAccessChoice(0));
    EXPECT_NE(harness.Find("Require ip 10.0.0##4"), nullptr);
    ASSERT_TRUE(Click("Require ip 10.0.0##4"));
    EXPECT_FALSE(Cache().unsaved) << "the fifth entry changes nothing";
    Type("##vname", "x.localhost");
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "\t\tRequire ip 10.0.0\r\n"));
}

TEST_F(ApachePageTest, ChangeThePort_OnlyPlainHostsOnTheMainPort) {
    MakeBuild(kTwoHosts + "<VirtualHost *:8081>\r\n</VirtualHost>\r\n");
    EXPECT_FALSE(Enabled("chport"));
    Type("##mainport", "70000");
    EXPECT_EQ(Cache().portEdit, 65535);
    Type("##mainport", "8090");
    ASSERT_TRUE(ClickId("chport"));
    const std::string text = TemplateText();
    for (const char* host : {"<VirtualHost *:8090>", "<VirtualHost *:443>", "<VirtualHost *:*>", "<VirtualHost *:8081>"})
        EXPECT_TRUE(Contains(text, host)) << host << "\n" << text;
    EXPECT_FALSE(Contains(text, "<VirtualHost *:" + std::to_string(port) + ">"));
    EXPECT_EQ(Cache().mainPort, 8090);
}

TEST_F(ApachePageTest, HostWithoutPort_ShowsItsAddressAndNoPortField) {
    MakeBuild(kTwoHosts);
    Cache().selectedHost = 2;
    Frames(2);
    EXPECT_EQ(harness.Find("##vport"), nullptr);
    EXPECT_EQ(Cache().document.vhosts[2].address, "*:*");
    Type("##vname", "every.localhost");
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "<VirtualHost *:*>\r\n\tServerName \"every.localhost\""));
    Cache().selectedHost = 0;
    Frames(2);
    EXPECT_NE(harness.Find("##vport"), nullptr);
}

TEST_F(ApachePageTest, FailedSave_KeepsTheEdits) {
    MakeBuild();
    Type("##vname", "kept.localhost");
    // A folder in the temporary file's place: the atomic write cannot happen.
    ASSERT_TRUE(EnsureDirectory(Template() + L".zvtmp"));
    const std::string before = TemplateText();
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Toasted("! Cannot save the Apache configuration"));
    EXPECT_TRUE(Cache().unsaved && Cache().document.vhosts[0].serverName == "kept.localhost");
    EXPECT_EQ(TemplateText(), before);
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0);
    // Discarding goes back to the file as it is.
    ASSERT_TRUE(ClickId("vhundo"));
    EXPECT_TRUE(!Cache().unsaved && Cache().document.vhosts[0].serverName.empty());
    EXPECT_FALSE(Enabled("vhsave") || Enabled("vhundo"));
}

TEST_F(ApachePageTest, OutsideEdits_ReloadOnlyWhileNothingIsUnsaved_AskBeforeOverwriting) {
    MakeBuild();
    TouchTemplate(TemplateText() + "<VirtualHost *:8081>\r\n    ServerName outside.localhost\r\n</VirtualHost>\r\n");
    Frames(1);
    ASSERT_EQ(Cache().document.vhosts.size(), 2u) << "reloaded on the next frame";
    EXPECT_EQ(Cache().document.vhosts[1].serverName, "outside.localhost");

    Type("##vname", "mine.localhost");
    TouchTemplate(TemplateText() + "# edited in the editor\r\n");
    Frames(2);
    EXPECT_EQ(Cache().document.vhosts[0].serverName, "mine.localhost") << "unsaved edits are not replaced";
    ASSERT_TRUE(ClickId("vhsave"));
    EXPECT_TRUE(Contains(TemplateText(), "# edited in the editor")) << "nothing written before the answer";
    EXPECT_TRUE(Cache().unsaved);
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"mine.localhost\""));
    EXPECT_FALSE(Cache().unsaved);
}

TEST_F(ApachePageTest, VersionChoice_SetsTheCurrentBuildAndReloads) {
    MakeBuild();
    MakeFolder(ApacheDir() + L"\\httpd-2.4.99", {{"bin/httpd.exe", stacktest::kStandin},
                                                 {"conf/httpd_zerva.conf", "<VirtualHost *:9000>\r\n</VirtualHost>\r\n"}});
    ui::RefreshInstalls(true);
    Frames(2);
    EXPECT_EQ(Cache().buildName, "httpd-2.4.99") << "the newest is current without a setting";
    ASSERT_TRUE(OpenVersionChoice());
    ASSERT_TRUE(Click("2.4.58 (x64)   [httpd-2.4.58]##1"));
    Frames(2);
    EXPECT_EQ(GetCurrentApacheName(), "httpd-2.4.58");
    EXPECT_TRUE(Cache().buildName == "httpd-2.4.58" && Cache().mainPort == port);
}

// ---- New site ----

TEST_F(ApachePageTest, NewSite_FolderIndexHostAndSave) {
    MakeBuild();
    Type("##sitename", "  My Site! ");
    EXPECT_EQ(Cache().siteText, "mysite") << "dropped as typed";
    ASSERT_TRUE(ClickId("createsite"));
    const std::wstring folder = WwwDir() + L"\\mysite";
    EXPECT_EQ(testkit::ReadFile(folder + L"\\index.php"), ui::SiteIndexPhp("mysite"));
    EXPECT_TRUE(Contains(TemplateText(), "ServerName \"mysite.localhost\""));
    EXPECT_TRUE(Toasted("Site created: http://mysite.localhost/"));
    EXPECT_TRUE(Cache().siteText.empty() && !Cache().unsaved);

    // Again: the folder has a file now and the host exists: nothing written, no second host.
    testkit::WriteFile(folder + L"\\index.php", "mine");
    ui::Toasts().clear();
    Type("##sitename", "mysite");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_EQ(testkit::ReadFile(folder + L"\\index.php"), "mine");
    EXPECT_EQ(Cache().document.vhosts.size(), 2u);
    EXPECT_TRUE(Toasted("Site created: http://mysite.localhost/"));
}

TEST_F(ApachePageTest, NewSite_Refusals) {
    MakeBuild();
    for (const char* refused : {"con", "!!!", "LPT1"}) {
        Type("##sitename", refused);
        EXPECT_FALSE(Enabled("createsite")) << refused;
    }
    // The folder cannot be made (a file holds its name): an error, no host, nothing saved.
    testkit::WriteFile(WwwDir() + L"\\blog", "a file");
    const std::string before = TemplateText();
    Type("##sitename", "blog");
    ASSERT_TRUE(Enabled("createsite"));
    ASSERT_TRUE(ClickId("createsite"));
    const auto toasts = ToastTexts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_TRUE(StartsWith(toasts[0], "! Cannot create the site blog: cannot create ")) << toasts[0];
    EXPECT_EQ(TemplateText(), before);
    EXPECT_TRUE(Cache().document.vhosts.size() == 1u && !Cache().unsaved);
    // index.php cannot be written: the same.
    ASSERT_TRUE(EnsureDirectory(WwwDir() + L"\\shop\\index.php.zvtmp"));
    ui::Toasts().clear();
    Type("##sitename", "shop");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_TRUE(ToastTexts().size() == 1u && StartsWith(ToastTexts()[0], "! Cannot create the site shop: cannot write "));
    EXPECT_EQ(TemplateText(), before);
    // The save fails after the host was added: the host stays, marked unsaved.
    ASSERT_TRUE(EnsureDirectory(Template() + L".zvtmp"));
    Type("##sitename", "news");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_TRUE(Cache().unsaved && Cache().document.vhosts.back().serverName == "news.localhost");
    EXPECT_TRUE(Toasted("! Cannot save the Apache configuration") && !Toasted("Site created: http://news.localhost/"));
}

// ---- Modules tab ----

TEST_F(ApachePageTest, Modules_FilterSwitchHelpAndLink) {
    MakeBuild("LoadModule rewrite_module modules/mod_rewrite.so\r\n#LoadModule speling_module modules/mod_speling.so\r\n");
    ASSERT_TRUE(ClickTab("tab_mod"));
    EXPECT_NE(harness.Find("PHP (selected version)"), nullptr);
    EXPECT_FALSE(Enabled("modsave") || Enabled("modundo"));
    Type("##modfilter", "nothing matches");
    EXPECT_TRUE(!harness.Find("rewrite_module") && !harness.Find("PHP (selected version)") && !harness.Find("##on"));
    // Filtered down to one row, its checkbox is the only one: PHP off, speling on.
    Type("##modfilter", "php (SEL");
    ASSERT_TRUE(harness.Find("PHP (selected version)") && !harness.Find("rewrite_module"));
    ASSERT_TRUE(Click("##on"));
    Type("##modfilter", "speling");
    ASSERT_TRUE(Click("##on"));
    EXPECT_TRUE(Cache().unsaved && Enabled("modsave") && Enabled("modundo"));
    Type("##modfilter", "");

    ASSERT_TRUE(Click("PHP (selected version)"));
    EXPECT_EQ(harness.Find(std::string("https://httpd.apache.org/docs/2.4/mod/mod_{PHPMODULENAME}.html##modlink")), nullptr)
        << "the PHP module has no documentation page";
    ASSERT_TRUE(Click("speling_module"));
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    const bool clicked = Click("https://httpd.apache.org/docs/2.4/mod/mod_speling.html##modlink");
    ui::RecordShellCallsForTests(nullptr);
    ASSERT_TRUE(clicked);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].target, L"https://httpd.apache.org/docs/2.4/mod/mod_speling.html");

    ASSERT_TRUE(ClickId("modsave"));
    const std::string text = TemplateText();
    EXPECT_TRUE(Contains(text, "#LoadModule {PHPMODULENAME} \"{PHPPATH}/{PHPAPACHE2FILE}\"\r\n"));
    EXPECT_TRUE(Contains(text, "\r\nLoadModule speling_module modules/mod_speling.so\r\n"));
    EXPECT_FALSE(Cache().unsaved);
}

// ---- Files tab ----

TEST_F(ApachePageTest, Files_RowsAndButtonsToTheShell) {
    MakeBuild();
    ASSERT_TRUE(ClickTab("tab_files"));
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    for (const char* id : {"edit_tpl", "open_conf", "open_logs"}) EXPECT_TRUE(ClickId(id)) << id;
    ui::RecordShellCallsForTests(nullptr);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Editor && calls[0].target == Template());
    EXPECT_TRUE(calls[1].kind == ui::ShellCall::Kind::Folder && calls[1].target == apacheDir + L"\\conf");
    EXPECT_EQ(calls[2].target, apacheDir + L"\\logs");
    EXPECT_FALSE(Enabled("restore")) << "no httpd_initial.conf";
    // Two presses, two tests queued (no worker runs in this test).
    ASSERT_TRUE(ClickId("test_conf"));
    ASSERT_TRUE(ClickId("test_conf"));
    EXPECT_EQ(Server::Instance().GetStatus().queued, 2);
}

TEST_F(ApachePageTest, TestJob_LogsTheOutput_WithAndWithoutPhp) {
    MakeBuild();
    // A PHP build with its Apache module: php.ini written first, the test passes.
    MakePhp();
    std::string error;
    ASSERT_TRUE(BuildPhpTemplate(*FindPhp("php-8.3.14"), "php.ini-development", error)) << error;
    const std::vector<LogLine> passed = LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); });
    EXPECT_TRUE(Has(passed, {console::kApache, level::kSuccess, "Syntax OK"}));
    EXPECT_TRUE(PathExists(phpDir + L"\\php.ini"));
    EXPECT_TRUE(Contains(testkit::ReadFile(apacheDir + L"\\conf\\httpd.conf"), "php8apache2_4.dll"));
    // No usable PHP (no module): httpd.conf without PHP, no php.ini; a failing test logs errors.
    ASSERT_TRUE(DeleteFileW((phpDir + L"\\php.ini").c_str()));
    ASSERT_TRUE(DeleteFileW((phpDir + L"\\php8apache2_4.dll").c_str()));
    testkit::WriteFile(Template(), TemplateText() + "# standin: syntax-error AH00526: Syntax error on line 9\r\n");
    const std::vector<LogLine> failed = LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); });
    EXPECT_TRUE(Has(failed, {console::kApache, level::kError, "AH00526: Syntax error on line 9"}));
    EXPECT_FALSE(PathExists(phpDir + L"\\php.ini"));
    EXPECT_FALSE(Contains(testkit::ReadFile(apacheDir + L"\\conf\\httpd.conf"), "php8apache2_4.dll"));
    // A template that cannot be read: its error, and no test.
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    const std::vector<LogLine> unreadable = LinesDuring([] { ui::TestApacheConfigJob("httpd-2.4.58"); });
    ASSERT_EQ(unreadable.size(), 1u);
    EXPECT_EQ(unreadable[0], LogLine(console::kApache, level::kError, "cannot read " + WideToUtf8(Template())));
    EXPECT_TRUE(LinesDuring([] { ui::TestApacheConfigJob("gone"); }).empty());
}

TEST_F(ApachePageTest, RegenerateCertificate_OnTheWorker_OldPairKeptOnFailure) {
    MakeBuild();
    const ApacheInstall build = *FindApache("httpd-2.4.58");
    testkit::WriteFile(SslCertificatePath(build), "old crt");
    testkit::WriteFile(SslKeyPath(build), "old key");
    ASSERT_TRUE(ClickTab("tab_files"));
    ASSERT_TRUE(ClickId("regen_ssl"));
    EXPECT_EQ(testkit::ReadFile(SslCertificatePath(build)), "old crt") << "nothing deleted on the interface thread";
    testkit::WriteFile(apacheDir + L"\\bin\\standin-openssl.txt", "fail");
    std::vector<LogLine> lines = LinesDuring([] {
        Server::Instance().Start();
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
    });
    EXPECT_TRUE(Has(lines, {console::kApache, level::kWarning, "The previous SSL certificate was kept."}));
    EXPECT_EQ(testkit::ReadFile(SslCertificatePath(build)), "old crt");
    ASSERT_TRUE(DeleteFileW((apacheDir + L"\\bin\\standin-openssl.txt").c_str()));
    lines = LinesDuring([&] {
        ASSERT_TRUE(ClickId("regen_ssl"));
        ASSERT_TRUE(testkit::WaitFor([] { return controltest::Idle(); }));
        ASSERT_TRUE(testkit::WaitFor([&] { return testkit::ReadFile(SslCertificatePath(build)) != "old crt"; }));
    });
    EXPECT_TRUE(Has(lines, {console::kApache, level::kSuccess, "SSL certificate generated for https://localhost (self-signed)."}));
}

TEST_F(ApachePageTest, Restore_AfterConfirm_SuccessAndFailure) {
    MakeBuild();
    const std::string initial = "<VirtualHost *:" + std::to_string(port) + ">\r\n    ServerName first.localhost\r\n</VirtualHost>\r\n";
    testkit::WriteFile(apacheDir + L"\\conf\\httpd_initial.conf", initial);
    Type("##vname", "unsaved.localhost");
    ASSERT_TRUE(ClickTab("tab_files"));
    ASSERT_TRUE(ClickId("restore"));
    EXPECT_NE(TemplateText(), initial) << "nothing before the answer";
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_EQ(TemplateText(), initial);
    EXPECT_TRUE(Toasted("Initial configuration restored"));
    EXPECT_TRUE(!Cache().unsaved && Cache().document.vhosts.at(0).serverName == "first.localhost");

    // The pristine copy gone between the click and the answer: an error, nothing reloaded.
    ui::Toasts().clear();
    testkit::WriteFile(Template(), initial + "# mine\r\n");
    Frames(2);
    ASSERT_TRUE(ClickId("restore"));
    ASSERT_TRUE(DeleteFileW((apacheDir + L"\\conf\\httpd_initial.conf").c_str()));
    ASSERT_TRUE(ClickId("confirm_ok"));
    EXPECT_EQ(ToastTexts(), std::vector<std::string>{"! Cannot restore the initial configuration"});
    EXPECT_EQ(TemplateText(), initial + "# mine\r\n");
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0);
}

// ---- Template made once ----

TEST_F(ApachePageTest, MissingTemplate_MadeOnceOnTheWorker) {
    MakeApache(LeasedPort());
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    // The write cannot happen: one attempt, one error line, however many frames are drawn.
    ASSERT_TRUE(EnsureDirectory(Template() + L".zvtmp"));
    ui::RefreshInstalls(true);
    Frames(5);
    EXPECT_EQ(Server::Instance().GetStatus().queued, 1);
    std::vector<LogLine> lines = LinesDuring([&] {
        Server::Instance().Start();
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
        Frames(5);
        ASSERT_TRUE(testkit::WaitFor(controltest::Idle));
    });
    long errors = std::count_if(lines.begin(), lines.end(), [](const LogLine& l) { return std::get<1>(l) == level::kError; });
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(PathExists(Template()));
}

TEST_F(ApachePageTest, MissingTemplate_MadeOnTheWorkerAndLoaded) {
    MakeApache(LeasedPort());
    ASSERT_TRUE(DeleteFileW(Template().c_str()));
    Server::Instance().Start();
    ui::RefreshInstalls(true);
    Frames(2);
    ASSERT_TRUE(testkit::WaitFor([&] { return PathExists(Template()) && controltest::Idle(); }));
    Frames(2);
    EXPECT_TRUE(Cache().document.loaded && !Cache().document.vhosts.empty());
    EXPECT_TRUE(ui::State().currentApache && ui::State().currentApache->configured);
}

// ---- French ----

TEST_F(ApachePageTest, French_EveryTabHostKindAndConfirm) {
    uitest::UntranslatedRecorder french;
    Frames(2);   // no build yet
    MakeBuild(kTwoHosts + "<VirtualHost *:8081>\r\n  <Directory \"{DOCUMENTPATH}/x\">\r\n    Require ip 10.0.0\r\n"
                          "  </Directory>\r\n  <Directory \"{DOCUMENTPATH}/y\">\r\n  </Directory>\r\n</VirtualHost>\r\n");
    testkit::WriteFile(apacheDir + L"\\conf\\httpd_initial.conf", TemplateText());
    for (int32_t host = 0; host < 4; ++host) {   // plain, HTTPS, kept as written, odd Require
        Cache().selectedHost = host;
        Frames(2);
    }
    Type("##vname", "x.localhost");   // the unsaved mark
    ASSERT_TRUE(OpenAccessChoice(0));
    harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); });
    ASSERT_TRUE(ClickTab("tab_mod"));
    for (const int32_t module : {0, -1}) {
        Cache().selectedModule = module;
        Frames(2);
    }
    ASSERT_TRUE(ClickTab("tab_files"));
    ASSERT_TRUE(ClickId("restore"));
    ASSERT_TRUE(ClickId("confirm_cancel"));
    ASSERT_TRUE(ClickTab("tab_vh"));
    TouchTemplate(TemplateText() + "# outside\r\n");
    ASSERT_TRUE(ClickId("vhsave"));
    ASSERT_TRUE(ClickId("confirm_ok"));
    Type("##sitename", "news");
    ASSERT_TRUE(ClickId("createsite"));
    testkit::WriteFile(WwwDir() + L"\\blog", "a file");
    Type("##sitename", "blog");
    ASSERT_TRUE(ClickId("createsite"));
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

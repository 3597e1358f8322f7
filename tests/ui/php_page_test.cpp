#include "ui/pages/php.h"

#include <gtest/gtest.h>

#include <tuple>

#include "control/server.h"
#include "core/files.h"
#include "core/settings.h"
#include "tests/ui/page_fixture.h"
#include "ui/shell.h"

namespace {

using uitest::Contains;

// A directive in each state; extensions with and without their DLL, on and off.
constexpr char kSample[] =
    "[PHP]\r\ndisplay_errors = Off\r\n;memory_limit = 128M\r\nopcache.validate_timestamps = Off\r\n"
    "error_reporting = E_ALL\r\n;extension=ldap\r\n;extension=curl\r\nextension=imap\r\n;extension=oci8\r\n"
    ";zend_extension=opcache\r\n";

class PhpPageTest : public uitest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        ui::SetPage(page::kPhp);
        ui::RecordShellCallsForTests(&shellCalls);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        PageTest::TearDown();
    }
    // Apache and php-8.3.14 (x64, with its module), its template built from kSample.
    void MakeConfigured(bool build = true) {
        MakeApache(LeasedPort());
        MakePhp({{"php.exe", stacktest::kStandin}, {"php8apache2_4.dll", ""}, {"php.ini-development", kSample},
                 {"php.ini-production", "[PHP]\r\n"}, {"ext/php_ldap.dll", ""}, {"ext/php_curl.dll", ""},
                 {"ext/php_opcache.dll", ""}});
        std::string error;
        if (build) {
            ASSERT_TRUE(BuildPhpTemplate(*FindPhp("php-8.3.14"), "php.ini-development", error)) << error;
        }
        ui::RefreshInstalls(true);
    }
    bool ClickTab(const char* id) { return ClickPage({"##phptabs", id}); }
    bool TabsShown() const { return ItemIn("/##page_", {"##phptabs", "###tab_ext"}) != nullptr; }
    bool ClickSetting(const char* key, const char* editor) { return ClickIn("/##settings_", {"##settab", key, editor}); }
    void Confirm(const char* id) { ASSERT_TRUE(ClickId(id) && ClickId("confirm_ok")) << id; }
    std::string Template() { return testkit::ReadFile(phpDir + L"\\php_zerva.ini"); }
    static void ApacheRuns() { EditStatus([](ServerStatus& s) { s.apache.running = true; }); }
    static ui::PhpPageCache& Cache() { return ui::PhpCache(); }

    std::vector<ui::ShellCall> shellCalls;
};

TEST(PhpPageRules, IniTruthyEnumEntriesVersionItemsAndWarnings) {
    for (const auto& [text, truthy] : {std::pair{" On ", true}, {"YES", true}, {"1", true}, {"true", true}, {"onn", false}})
        EXPECT_EQ(ui::IniTruthy(text), truthy) << text;

    const std::tuple<std::string, std::vector<std::string>, int> enums[] = {
        {"on", {"Off", "4096", "On"}, 2}, {"", {"(default)", "Off", "4096", "On"}, 0}, {"8192", {"Off", "4096", "On", "8192"}, 3}};
    for (const auto& [value, items, selected] : enums) {
        int got = -5;
        EXPECT_EQ(ui::PhpEnumItems("Off|4096|On", value, &got), items) << value;
        EXPECT_EQ(got, selected) << value;
    }

    const PhpInstall ts{"php-8.3.14", L"x", "8.3.14", 2, "php8apache2_4.dll"};
    PhpInstall nts = ts, x86 = ts;
    nts.apacheDll.clear();
    x86.arch = 1;
    PhpInstall ntsNone = nts;
    ntsNone.arch = 0;   // a program that is none: no architecture to compare
    const ApacheInstall apache{"httpd", L"y", "2.4.58", 2}, apacheNone{"httpd", L"y", "2.4.58", 0};
    const std::string notAProgram = " is not a valid Windows program: the build is damaged or incomplete.\nReinstall ";
    const std::tuple<PhpInstall, std::optional<ApacheInstall>, std::string, std::string> builds[] = {
        {ts, apache, "8.3.14 (x64)   [php-8.3.14]", ""},
        {nts, apache, "8.3.14 (x64)   [php-8.3.14]  - NTS", "This build has no Apache module"},
        {x86, apache, "8.3.14 (x86)   [php-8.3.14]  - incompatible with Apache",
         "This PHP build is x86 but Apache is x64: Apache cannot load it."},
        {x86, std::nullopt, "8.3.14 (x86)   [php-8.3.14]", ""},
        // A PHP program that is none goes before a missing module, which goes before an Apache one.
        {ntsNone, std::nullopt, "8.3.14 (?)   [php-8.3.14]  - not a valid Windows program",
         "x\\php.exe" + notAProgram + "PHP 8.3.14 from the Components page."},
        {nts, apacheNone, "8.3.14 (x64)   [php-8.3.14]  - NTS", "This build has no Apache module"}};
    for (const auto& [build, withApache, item, warning] : builds) {
        EXPECT_EQ(ui::PhpVersionItem(build, withApache), item);
        const std::string got = ui::PhpBuildWarning(build, withApache);
        EXPECT_TRUE(warning.empty() ? got.empty() : StartsWith(got, warning)) << got;
    }
}

// A build whose php.exe and module are text files is no program: the page's callout names the file
// and the build to reinstall, and compares no architecture "?"; the list marks it. So is an Apache
// program that is none, while PHP's is one.
TEST_F(PhpPageTest, AProgramThatIsNone_NamedWithTheBuildToReinstall_NoArchitectureCompared) {
    MakeApache(LeasedPort());
    MakePhp({{"php.exe", "a text file"}, {"php8apache2_4.dll", "a text file"}, {"php.ini-development", "[PHP]\r\n"}});
    std::string list;
    // The callout's text, seen drawn (the text log ends its lines with "\r\n").
    const auto callout = [&] {
        ui::RefreshInstalls(true);
        Show();
        list = DrawnText();
        const std::string warning = ui::PhpBuildWarning(*ui::State().currentPhp, ui::State().currentApache);
        std::string drawn = list;
        ReplaceAllInPlace(drawn, "\r\n", "\n");
        EXPECT_TRUE(Contains(drawn, warning)) << list;
        return warning;
    };
    const std::string notAProgram = " is not a valid Windows program: the build is damaged or incomplete.\nReinstall ";
    EXPECT_EQ(callout(), WideToUtf8(phpDir + L"\\php.exe") + notAProgram + "PHP 8.3.14 from the Components page.");
    EXPECT_TRUE(Contains(list, "{ 8.3.14 (?)   [php-8.3.14]  - not a valid Windows program }")) << list;
    ASSERT_TRUE(RemoveTree(phpDir + L"\\php.exe"));   // then the module is what Apache would load
    EXPECT_EQ(callout(), WideToUtf8(phpDir + L"\\php8apache2_4.dll") + notAProgram + "PHP 8.3.14 from the Components page.");

    MakePhp();
    testkit::WriteFile(apacheDir + L"\\bin\\httpd.exe", "");
    EXPECT_EQ(callout(), WideToUtf8(apacheDir + L"\\bin\\httpd.exe") + notAProgram + "Apache 2.4.58 from the Components page.");
    EXPECT_TRUE(Contains(list, "{ 8.3.14 (x64)   [php-8.3.14] }")) << "not incompatible: " << list;
}

// An emptied field of a directive the file lacks is no edit; a value equal to the file's is none either.
TEST(PhpPageRules, SettingEditsKeepOnlyDifferences) {
    ui::PhpPageCache cache;
    cache.values = {{"display_errors", "Off"}, {"memory_limit", std::nullopt}, {"error_log", ""}};
    const std::tuple<std::string, std::string, bool> steps[] = {
        {"display_errors", "On", true}, {"display_errors", "Off", false}, {"memory_limit", "2", true},
        {"memory_limit", "", false},    {"error_log", "x", true},         {"error_log", "", false},
        {"unknown_key", "", false}};
    for (const auto& [key, value, pending] : steps) {
        ui::NotePhpSettingEdit(cache, key, value);
        EXPECT_EQ(cache.settingEdits.count(key) == 1, pending) << key << "=" << value;
    }
}

TEST_F(PhpPageTest, NoBuildConfigureAndVersionSwitch) {
    Show();
    ASSERT_TRUE(ClickId("inst_php"));
    EXPECT_EQ(ui::State().page, page::kComponents);
    ui::SetPage(page::kPhp);
    MakeConfigured(false);
    MakeFolder(PhpDir() + L"\\php-8.2.9-nts", {{"php.exe", stacktest::kStandin}});
    ui::RefreshInstalls(true);
    testkit::WriteFile(phpDir + L"\\php_zerva.ini.zvtmp\\blocked", "");  // the atomic write cannot place its file
    Show();
    EXPECT_FALSE(TabsShown());
    ASSERT_TRUE(ClickId("configure"));
    EXPECT_TRUE(StartsWith(LastToast(), "! cannot write ")) << LastToast();
    EXPECT_FALSE(PathExists(phpDir + L"\\php_zerva.ini"));

    ASSERT_TRUE(RemoveTree(phpDir + L"\\php_zerva.ini.zvtmp"));
    ASSERT_TRUE(ClickPage({"##base0"}) && Click("php.ini-production##1"));
    ASSERT_TRUE(ClickId("configure"));
    EXPECT_EQ(LastToast(), "PHP configured");
    EXPECT_EQ(Template().find("display_errors"), std::string::npos) << "built from the production sample";
    Show();
    EXPECT_TRUE(TabsShown());

    ApacheRuns();
    ASSERT_TRUE(ClickPage({"##phpv"}));
    EXPECT_TRUE(harness.Find("8.3.14 (x64)   [php-8.3.14]##0"));
    ASSERT_TRUE(Click("8.2.9 (x64)   [php-8.2.9-nts]  - NTS##1"));
    EXPECT_EQ(GetCurrentPhpName(), "php-8.2.9-nts");
    EXPECT_EQ(ui::State().currentPhp->name, "php-8.2.9-nts");
    EXPECT_EQ(Queued(), 1);
    Show();  // not configured and no sample to build from: neither tabs nor "Configure"
    EXPECT_TRUE(!TabsShown() && Id("configure").empty());
}

TEST_F(PhpPageTest, Extensions_MissingDllRuleAndOneSaveThatRestartsApache) {
    MakeConfigured();
    ApacheRuns();
    Show();
    // name, checkbox enabled: a missing DLL (imap, oci8) can be switched off, never on
    for (const auto& [name, enabled] : {std::pair{"ldap", true}, {"curl", true}, {"imap", true}, {"oci8", false}, {"ldap", true}}) {
        Cache().extensionFilter = name;
        Show();
        EXPECT_EQ(Enabled("on"), enabled) << name;
        if (enabled) {
            ASSERT_TRUE(ClickId("on")) << name;
        }
    }
    EXPECT_EQ(Cache().extensionEdits, (std::map<std::string, bool>{{"curl", false}, {"imap", false}})) << "ldap back";
    EXPECT_TRUE(DisabledWhileWorkerBusy("extsave"));

    ASSERT_TRUE(ClickId("extsave"));
    EXPECT_EQ(LastToast(), "PHP extensions saved");
    EXPECT_NE(Template().find(";extension=ldap\r\n;extension=curl\r\n;extension=imap\r\n"), std::string::npos) << Template();
    EXPECT_EQ(Queued(), 1);
    EXPECT_FALSE(Enabled("extsave"));

    Cache().extensionFilter = "oci8";  // the description links the manual
    Show();
    ASSERT_TRUE(Click("oci8") && ClickId("extlink"));
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_TRUE(EndsWith(WideToUtf8(shellCalls[0].target), "/manual/en/book.oci8.php"));
}

TEST_F(PhpPageTest, Settings_EditorsByTypeOneSaveAndTheReloadRule) {
    MakeConfigured();
    ApacheRuns();
    Show();
    ASSERT_TRUE(ClickTab("###tab_set"));
    // "Off" in the file: on and off again is no edit.
    ASSERT_TRUE(ClickSetting("opcache.validate_timestamps", "##b"));
    EXPECT_EQ(Cache().settingEdits, (std::map<std::string, std::string>{{"opcache.validate_timestamps", "On"}}));
    ASSERT_TRUE(ClickSetting("opcache.validate_timestamps", "##b"));
    EXPECT_FALSE(Enabled("setsave"));

    // Absent from the file: typed, then emptied again, is no edit.
    ASSERT_TRUE(ClickSetting("session.gc_maxlifetime", "##t"));
    ImGui::GetIO().AddInputCharactersUTF8("3600");
    Show();
    EXPECT_EQ(Cache().settingEdits.at("session.gc_maxlifetime"), "3600");
    for (int i = 0; i < 4; ++i) harness.PressKey(ImGuiKey_Backspace, [] { ui::Frame(); });
    EXPECT_TRUE(Cache().settingEdits.empty());
    harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); });

    // The row's suggestion list, and an enum absent from the file.
    ASSERT_TRUE(ClickSetting("session.gc_maxlifetime", "##sugg") && ClickEntry("86400"));
    ASSERT_TRUE(ClickSetting("xdebug.start_with_request", "##e") && ClickEntry("trigger"));
    EXPECT_TRUE(DisabledWhileWorkerBusy("setsave"));
    const std::string before = Template();
    ASSERT_TRUE(ClickId("setsave"));
    EXPECT_EQ(LastToast(), "PHP settings saved");
    EXPECT_EQ(Template(), before + "session.gc_maxlifetime = 86400\r\nxdebug.start_with_request = trigger\r\n");
    EXPECT_EQ(Queued(), 1);
    EXPECT_EQ(Cache().values.at("xdebug.start_with_request"), "trigger") << "reloaded";
    EXPECT_EQ(Cache().values.at("memory_limit"), std::nullopt) << "a commented directive stays absent";

    // A change on disk waits while an edit is pending; "Discard" drops the edit and reloads.
    ui::NotePhpSettingEdit(Cache(), "display_errors", "On");
    testkit::WriteFile(phpDir + L"\\php_zerva.ini", "display_errors = On\r\n");
    Show();
    EXPECT_EQ(Cache().values.at("display_errors"), "Off");
    ASSERT_TRUE(ClickId("setundo"));
    Show(1);
    EXPECT_TRUE(Cache().settingEdits.empty());
    EXPECT_EQ(Cache().values.at("display_errors"), "On");
}

// A save that cannot touch the template (held open by another program) keeps both tabs' edits
// pending with the error shown; once the file is free the same edits save.
TEST_F(PhpPageTest, FailedSave_KeepsThePendingEditsOfBothTabs) {
    MakeConfigured();
    ApacheRuns();
    Show();
    Cache().extensionFilter = "ldap";
    Show();
    ASSERT_TRUE(ClickId("on") && ClickTab("###tab_set") && ClickSetting("display_errors", "##b"));
    const auto pending = [] {
        return Cache().extensionEdits == std::map<std::string, bool>{{"ldap", true}} &&
               Cache().settingEdits == std::map<std::string, std::string>{{"display_errors", "On"}};
    };
    const std::string before = Template();
    {
        const uitest::HeldFile held(phpDir + L"\\php_zerva.ini");
        for (const auto& [tab, save] : {std::pair{"###tab_set", "setsave"}, {"###tab_ext", "extsave"}}) {
            ASSERT_TRUE(ClickTab(tab) && ClickId(save)) << save;
            EXPECT_EQ(LastToast(), "! cannot read " + WideToUtf8(phpDir + L"\\php_zerva.ini")) << save;
            Show();
            EXPECT_TRUE(pending() && Enabled(save)) << save;
        }
    }
    EXPECT_TRUE(Template() == before && Queued() == 0);
    ASSERT_TRUE(ClickId("extsave"));
    EXPECT_EQ(LastToast(), "PHP extensions saved");
    EXPECT_TRUE(Contains(Template(), "\r\nextension=ldap\r\n")) << Template();
}

TEST_F(PhpPageTest, Files_ConsoleEditorFolderRebuildAndRestoreWithTheirFailures) {
    MakeConfigured();
    ApacheRuns();
    Show();
    ASSERT_TRUE(ClickTab("###tab_files"));
    for (const char* id : {"edit_ini", "open_php", "php_cli"}) ASSERT_TRUE(ClickId(id)) << id;
    ASSERT_EQ(shellCalls.size(), 3u);
    EXPECT_EQ(shellCalls[0].target, phpDir + L"\\php_zerva.ini");
    EXPECT_EQ(shellCalls[1].target, phpDir);
    EXPECT_EQ(shellCalls[2].args, PhpConsoleArguments(phpDir + L"\\php.exe"));
    EXPECT_TRUE(shellCalls[2].workDir == WwwDir() && shellCalls[2].pathPrepend == phpDir);

    // A restore that fails says so, and neither reloads nor restarts.
    ASSERT_TRUE(::DeleteFileW((phpDir + L"\\php_initial.ini").c_str()));
    const std::string before = Template();
    Confirm("restore");
    EXPECT_EQ(LastToast(), "! cannot read " + WideToUtf8(phpDir + L"\\php_initial.ini"));
    EXPECT_EQ(Template(), before);
    EXPECT_EQ(Queued(), 0);

    // Rebuild makes a new pristine copy; restore brings it back.
    Confirm("rebuild");
    EXPECT_EQ(LastToast(), "php_zerva.ini rebuilt");
    EXPECT_EQ(Queued(), 1);
    testkit::WriteFile(phpDir + L"\\php_zerva.ini", "edited\r\n");
    Show(1);
    Confirm("restore");
    EXPECT_EQ(LastToast(), "Initial configuration restored");
    EXPECT_EQ(Template(), testkit::ReadFile(phpDir + L"\\php_initial.ini"));

    ASSERT_TRUE(::DeleteFileW((phpDir + L"\\php.ini-development").c_str()));  // gone since the list was made
    Confirm("rebuild");
    EXPECT_EQ(LastToast(), "! cannot read " + WideToUtf8(phpDir + L"\\php.ini-development"));
}

// Every tab, every settings row (descriptions through a variable), the warnings and the configure flow.
TEST_F(PhpPageTest, French_EveryTabAndSettingsRow) {
    uitest::UntranslatedRecorder french;
    Show();
    MakeConfigured();
    MakeFolder(PhpDir() + L"\\php-8.2.9-nts", {{"php.exe", stacktest::kStandin}, {"php.ini-development", ""}});
    MakeFolder(PhpDir() + L"\\php-7.4.0", {{"php.exe", testkit::PeImage(0x14C)}, {"php7apache2_4.dll", ""}});
    ui::RefreshInstalls(true);
    Show();
    for (const char* tab : {"###tab_set", "###tab_files", "###tab_ext"}) {
        ASSERT_TRUE(ClickTab(tab)) << tab;
        Show();
    }
    Cache().extensionFilter = "oci8";
    Show();
    ASSERT_TRUE(Click("oci8"));
    for (const char* other : {"php-8.2.9-nts", "php-7.4.0"}) {
        SetCurrentPhpName(other);
        ui::RefreshInstalls(true);
        Show();
    }
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

}  // namespace

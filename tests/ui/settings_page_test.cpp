// The Settings page: every control rewrites zerva.ini at once and shows changes made elsewhere on
// the next frame; language and theme switch before the next frame; the Run key follows its
// checkbox (the test prefix's real key, put back afterwards); the stored root password and
// phpMyAdmin; the About card.
#include "ui/pages/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "control/publicip.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/pages/pages.h"
#include "ui/shell.h"
#include "ui/theme.h"

using uitest::ClickId;
using uitest::Enabled;
using uitest::FindId;
using uitest::ToastTexts;
using uitest::TypeInto;

namespace {

const uitest::Harness::Draw kPage = [] { ui::PageSettings(); };

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The "Zerva" value of the user's Run key, or nothing.
std::optional<std::wstring> RunValue() {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Zerva", RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

// Puts the Run key's value back as the test found it.
struct RunValueRestorer {
    ~RunValueRestorer() {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        if (saved)
            ::RegSetValueExW(key, L"Zerva", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved->c_str()),
                             DWORD((saved->size() + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key, L"Zerva");
        ::RegCloseKey(key);
    }
    std::optional<std::wstring> saved = RunValue();
};

class SettingsPage : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::RecordShellCallsForTests(&calls);
        Draw();
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        UiTest::TearDown();
    }
    void Draw(int frames = 2) {
        for (int i = 0; i < frames; ++i) harness.Frame(kPage);
    }
    bool ClickOn(std::string_view id) { return ClickId(harness, id, kPage); }
    bool Type(std::string_view id, const std::string& text) { return TypeInto(harness, id, text, kPage); }
    // Opens the dropdown of the Interface card and picks the item.
    bool Choose(const char* dropdown, const std::string& item, int index) {
        return harness.Click(uitest::IdInWindow(harness, "##prefs_ui", dropdown), kPage) &&
               harness.Click(item + "##" + std::to_string(index), kPage);
    }
    // The value zerva.ini holds for the key, as read back from the file.
    std::string Stored(const SettingKey& key) const {
        const auto values = Config::Parse(testkit::ReadFile(root / L"zerva.ini"));
        const auto found = values.find(key.name);
        return found == values.end() ? "<none>" : found->second;
    }

    std::vector<ui::ShellCall> calls;
};


}  // namespace

TEST(SettingsPageText, LanguageItemAndServiceHost) {
    const std::pair<const char*, int> languages[] = {{"fr", 1}, {"en", 2}, {"auto", 0}, {"", 0}, {"FR", 0}, {"de", 0},
                                                     {"garbage", 0}};
    for (const auto& [code, index] : languages) EXPECT_EQ(ui::LanguageIndex(code), index) << code;
    const std::pair<const char*, const char*> hosts[] = {
        {"https://zerva.dev/file/ip.php", "zerva.dev"}, {"http://127.0.0.1:8123/update.json", "127.0.0.1"},
        {"https://Example.org", "Example.org"}, {"https://host?x=1", "host"}, {"zerva.dev/file", ""}, {"", ""}};
    for (const auto& [url, host] : hosts) EXPECT_EQ(ui::HostOfUrl(url), host) << url;
}

TEST_F(SettingsPage, EveryCheckbox_StoresItsSettingAtOnce_AndShowsAChangeMadeElsewhere) {
    const SettingKey* keys[] = {&setting::kStartSystrayMode,   &setting::kMinimizeToTray,
                                &setting::kAskCloseServerWhenExit, &setting::kStartOnStart,
                                &setting::kAutoRestartConfigChanged, &setting::kDetectPortUsed,
                                &setting::kDetectOthersPackage, &setting::kDetectIpAndUpdate,
                                &setting::kCheckUpdates};
    for (const SettingKey* key : keys) {
        SCOPED_TRACE(key->name);
        const bool byDefault = std::string(key->def) == "1";
        ASSERT_TRUE(ClickOn(key->name));
        EXPECT_EQ(Stored(*key), byDefault ? "0" : "1");
        // Changed elsewhere (the tray menu): the next click starts from that value.
        Config::Instance().SetBool(*key, false);
        Draw(1);
        ASSERT_TRUE(ClickOn(key->name));
        EXPECT_EQ(Stored(*key), "1");
        Config::Instance().SetBool(*key, true);
        Draw(1);
        ASSERT_TRUE(ClickOn(key->name));
        EXPECT_EQ(Stored(*key), "0");
    }
    // The two service checkboxes name the hosts they ask (here the test's loopback base).
    EXPECT_NE(FindId(harness, "DETECT_IP_AND_UPDATE")->label.find("(127.0.0.1)"), std::string::npos);
    EXPECT_NE(FindId(harness, "CHECK_UPDATES")->label.find(Format("(%s)", ui::HostOfUrl(updater::UpdateUrl()).c_str())),
              std::string::npos);
    EXPECT_EQ(ui::HostOfUrl(publicip::Endpoints().front()), "127.0.0.1");
}

TEST_F(SettingsPage, LanguageAndTheme_StoredAndInEffectForTheNextFrame) {
    // Dropdown, item, its index -> LANGUAGE or THEME stored.
    const std::tuple<const char*, std::string, int, const SettingKey*, std::string> choices[] = {
        {"##lang", "Fran\xC3\xA7" "ais", 1, &setting::kLanguage, "fr"},
        {"##lang", "English", 2, &setting::kLanguage, "en"},
        {"##lang", "Automatic (Windows)", 0, &setting::kLanguage, "auto"},
        {"##theme", "Light", 1, &setting::kTheme, "light"},
        {"##theme", "Dark", 0, &setting::kTheme, "dark"}};
    for (const auto& [dropdown, item, index, key, stored] : choices) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(Choose(dropdown, item, index));
        EXPECT_EQ(Stored(*key), stored);
        ui::ApplyPendingTheme();  // as the frame loop does before each frame
        Draw(1);
        EXPECT_EQ(IsFrench(), stored == "fr");
        EXPECT_EQ(ui::IsDarkTheme(), stored != "light");
        EXPECT_EQ(harness.Find("D\xC3\xA9marrer Zerva avec Windows###startwin") != nullptr, stored == "fr");
    }
}

TEST_F(SettingsPage, StartWithWindows_RunKeyValueFollowsTheCheckbox) {
    RunValueRestorer restorer;
    ui::SetStartWithWindows(false);
    Draw(1);
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), L"\"" + ExePath() + L"\"");
    EXPECT_TRUE(ui::StartsWithWindows());
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), std::nullopt);
    EXPECT_FALSE(ui::StartsWithWindows());
    // Set elsewhere: the checkbox reads the key every frame, so the next click unchecks it.
    ui::SetStartWithWindows(true);
    Draw(1);
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), std::nullopt);
}

TEST_F(SettingsPage, Editor_EveryEditStored_EmptyMeansNotepad) {
    ASSERT_TRUE(Type("editor", "C:\\Tools\\ed it.exe"));
    EXPECT_EQ(Stored(setting::kTextEditor), "C:\\Tools\\ed it.exe");
    EXPECT_EQ(ui::TextEditor(), "C:\\Tools\\ed it.exe");
    ASSERT_TRUE(Type("editor", ""));
    EXPECT_EQ(Stored(setting::kTextEditor), "");
    EXPECT_EQ(ui::TextEditor(), "notepad.exe");
}

TEST_F(SettingsPage, Password_SaveOnlyWhenChanged_StoresAndUpdatesPhpMyAdmin_FollowsTheStoredValue) {
    EXPECT_FALSE(Enabled(harness, "savepwd"));
    // Changed by the MySQL page's job: the untouched field follows, Save stays off.
    Config::Instance().Set(setting::kMysqlRootPassword, "from the job");
    Draw(1);
    EXPECT_FALSE(Enabled(harness, "savepwd"));
    const std::string path = WideToUtf8(PhpMyAdminConfigPath());
    // phpMyAdmin state, typed password -> toast.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"missing", "it's \\", "Password saved"},
        {"present", "", "Password saved (phpMyAdmin updated)"},
        {"held", "x", "! Password saved, but phpMyAdmin was not updated: cannot read " + path}};
    for (const auto& [pma, typed, toast] : cases) {
        SCOPED_TRACE(pma);
        std::optional<uitest::HeldFile> held;
        if (pma != "missing") {
            ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
        }
        if (pma == "held") held.emplace(PhpMyAdminConfigPath());
        ui::Toasts().clear();
        ASSERT_TRUE(Type("pwd", typed));
        ASSERT_TRUE(Enabled(harness, "savepwd"));
        ASSERT_TRUE(ClickOn("savepwd"));
        EXPECT_EQ(Stored(setting::kMysqlRootPassword), typed);
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{toast});
        EXPECT_FALSE(Enabled(harness, "savepwd"));
        if (pma == "present") {
            EXPECT_NE(testkit::ReadFile(PhpMyAdminConfigPath()).find("['password'] = '';"), std::string::npos);
        }
    }
    // A field the user typed in keeps its text when the stored value changes.
    ASSERT_TRUE(Type("pwd", "mine"));
    Config::Instance().Set(setting::kMysqlRootPassword, "theirs");
    Draw(1);
    ASSERT_TRUE(ClickOn("savepwd"));
    EXPECT_EQ(GetMysqlRootPassword(), "mine");
}

TEST_F(SettingsPage, About_CheckEvenWithChecksOff_OpensTheDialog_RootFolderLink) {
    Config::Instance().SetBool(setting::kCheckUpdates, false);
    Draw(1);
    ASSERT_TRUE(Enabled(harness, "chkupd"));
    ASSERT_TRUE(ClickOn("chkupd"));
    EXPECT_TRUE(ui::State().updateDialogOpen);
    EXPECT_TRUE(testkit::WaitFor([] { return updater::GetCheckState().done; }, 30000));
    ASSERT_TRUE(ClickOn("openroot"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Folder && calls[0].target == RootDir());
    ui::State().updateCheck = updater::UpdateInfo{.checking = true};
    Draw(1);
    EXPECT_FALSE(Enabled(harness, "chkupd"));
}

TEST_F(SettingsPage, French_EveryControlOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    ASSERT_TRUE(harness.Click(uitest::IdInWindow(harness, "##prefs_ui", "##lang"), kPage));
    harness.PressKey(ImGuiKey_Escape, kPage);
    for (const bool available : {false, true}) {
        ui::State().updateCheck = updater::UpdateInfo{.done = true, .latest = "9.9.9", .available = available};
        Draw();
    }
    ASSERT_TRUE(Type("pwd", "new") && ClickOn("savepwd"));
    ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
    ASSERT_TRUE(Type("pwd", "newer") && ClickOn("savepwd"));
    {
        uitest::HeldFile held(PhpMyAdminConfigPath());
        ASSERT_TRUE(Type("pwd", "newest") && ClickOn("savepwd"));
    }
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

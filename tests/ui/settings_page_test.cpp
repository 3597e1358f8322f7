// The Settings page drawn alone: every control rewrites zerva.ini at once and shows changes made
// elsewhere on the next frame; the Run key (the test prefix's real key, put back afterwards); the
// stored root password and phpMyAdmin; the About card.
#include "ui/pages/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "control/updater.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "tests/ui/page_input.h"
#include "ui/pages/pages.h"
#include "ui/theme.h"

using Strings = std::vector<std::string>;

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The "Zerva" value of the user's Run key, or nothing.
std::optional<std::wstring> RunValue() {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"Zerva", RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

// Takes the Run key's value away again when the test found none there.
struct RunValueRestorer {
    ~RunValueRestorer() {
        if (!saved) ui::SetStartWithWindows(false);
    }
    std::optional<std::wstring> saved = RunValue();
};

class SettingsPage : public uitest::PageAlone {
protected:
    SettingsPage() : PageAlone(ui::PageSettings) {}
    void SetUp() override {
        PageAlone::SetUp();
        Draw();
    }
    // The value zerva.ini holds for the key, as read back from the file.
    std::string Stored(const SettingKey& key) const {
        const auto values = Config::Parse(testkit::ReadFile(root / L"zerva.ini"));
        const auto found = values.find(key.name);
        return found == values.end() ? "<none>" : found->second;
    }
};

}  // namespace

TEST(SettingsPageText, LanguageItemAndServiceHost) {
    const std::pair<const char*, int> languages[] = {{"fr", 1}, {"en", 2}, {"auto", 0}, {"", 0}, {"FR", 0}, {"garbage", 0}};
    for (const auto& [code, index] : languages) EXPECT_EQ(ui::LanguageIndex(code), index) << code;
    const std::pair<const char*, const char*> hosts[] = {
        {"https://zerva.dev/file/ip.php", "zerva.dev"}, {"http://127.0.0.1:8123/update.json", "127.0.0.1"},
        {"https://host?x=1", "host"}, {"zerva.dev/file", ""}, {"", ""}};
    for (const auto& [url, host] : hosts) EXPECT_EQ(ui::HostOfUrl(url), host) << url;
}

TEST_F(SettingsPage, EveryCheckbox_StoresItsSettingAtOnce_AndShowsAChangeMadeElsewhere) {
    const SettingKey* keys[] = {&setting::kStartSystrayMode,      &setting::kMinimizeToTray,
                                &setting::kAskCloseServerWhenExit, &setting::kStartOnStart,
                                &setting::kAutoRestartConfigChanged, &setting::kDetectPortUsed,
                                &setting::kDetectOthersPackage,    &setting::kDetectIpAndUpdate,
                                &setting::kCheckUpdates};
    for (const SettingKey* key : keys) {
        SCOPED_TRACE(key->name);
        ASSERT_TRUE(ClickOn(key->name));
        EXPECT_EQ(Stored(*key), std::string(key->def) == "1" ? "0" : "1");
        for (const bool elsewhere : {false, true}) {  // as the tray menu does: the next click starts from there
            Config::Instance().SetBool(*key, elsewhere);
            Draw(1);
            ASSERT_TRUE(ClickOn(key->name));
            EXPECT_EQ(Stored(*key), elsewhere ? "0" : "1");
        }
    }
    // The service checkboxes name the hosts they ask (here the test's loopback base).
    for (const char* id : {"DETECT_IP_AND_UPDATE", "CHECK_UPDATES"})
        EXPECT_NE(FindId(harness, id)->label.find("(127.0.0.1)"), std::string::npos) << id;

    RunValueRestorer restorer;
    ui::SetStartWithWindows(false);
    Draw(1);
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), L"\"" + ExePath() + L"\"");
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), std::nullopt);
    ui::SetStartWithWindows(true);  // elsewhere: the checkbox reads the key every frame
    Draw(1);
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_EQ(RunValue(), std::nullopt);
}

TEST_F(SettingsPage, LanguageThemeAndEditor_StoredAndInEffectForTheNextFrame) {
    // Dropdown, item, its index -> LANGUAGE or THEME stored.
    const std::tuple<const char*, std::string, int, const SettingKey*, std::string> choices[] = {
        {"##lang", "Fran\xC3\xA7" "ais", 1, &setting::kLanguage, "fr"},
        {"##lang", "English", 2, &setting::kLanguage, "en"},
        {"##lang", "Automatic (Windows)", 0, &setting::kLanguage, "auto"},
        {"##theme", "Light", 1, &setting::kTheme, "light"},
        {"##theme", "Dark", 0, &setting::kTheme, "dark"}};
    for (const auto& [dropdown, item, index, key, stored] : choices) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(Choose("##prefs_ui", dropdown, item, index));
        EXPECT_EQ(Stored(*key), stored);
        ui::ApplyPendingTheme();  // as the frame loop does before each frame
        Draw(1);
        EXPECT_EQ(IsFrench(), stored == "fr");
        EXPECT_EQ(ui::IsDarkTheme(), stored != "light");
        EXPECT_EQ(harness.Find("D\xC3\xA9marrer Zerva avec Windows###startwin") != nullptr, stored == "fr");
    }
    for (const std::string typed : {"C:\\Tools\\ed it.exe", ""}) {
        ASSERT_TRUE(Type("editor", typed));
        EXPECT_EQ(Stored(setting::kTextEditor), typed);
        EXPECT_EQ(ui::TextEditor(), typed.empty() ? "notepad.exe" : typed);
    }
}

TEST_F(SettingsPage, Password_SaveOnlyWhenChanged_StoresAndUpdatesPhpMyAdmin_FollowsTheStoredValue) {
    EXPECT_FALSE(On("savepwd"));
    Config::Instance().Set(setting::kMysqlRootPassword, "from the job");  // the untouched field follows
    Draw(1);
    EXPECT_FALSE(On("savepwd"));
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
        ASSERT_TRUE(Type("pwd", typed) && ClickOn("savepwd"));
        EXPECT_EQ(Stored(setting::kMysqlRootPassword), typed);
        EXPECT_EQ(uitest::ToastTexts(), Strings{toast});
        EXPECT_FALSE(On("savepwd"));
        if (pma == "present") {
            EXPECT_NE(testkit::ReadFile(PhpMyAdminConfigPath()).find("['password'] = '';"), std::string::npos);
        }
    }
    ASSERT_TRUE(Type("pwd", "mine"));  // typed in: kept when the stored value changes
    Config::Instance().Set(setting::kMysqlRootPassword, "theirs");
    Draw(1);
    ASSERT_TRUE(ClickOn("savepwd"));
    EXPECT_EQ(GetMysqlRootPassword(), "mine");
}

TEST_F(SettingsPage, About_CheckEvenWithChecksOff_OpensTheDialog_RootFolderLink) {
    Config::Instance().SetBool(setting::kCheckUpdates, false);
    Draw(1);
    ASSERT_TRUE(ClickOn("chkupd"));
    EXPECT_TRUE(ui::State().updateDialogOpen);
    EXPECT_TRUE(testkit::WaitFor([] { return updater::GetCheckState().done; }, 30000));
    ASSERT_TRUE(ClickOn("openroot"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Folder && calls[0].target == RootDir());
    ui::State().updateCheck = updater::UpdateInfo{.checking = true};
    Draw(1);
    EXPECT_FALSE(On("chkupd"));
}

TEST_F(SettingsPage, French_EveryControlOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    ASSERT_TRUE(harness.Click(uitest::IdInWindow(harness, "##prefs_ui", "##lang"), draw));
    harness.PressKey(ImGuiKey_Escape, draw);
    for (const bool available : {false, true}) {
        ui::State().updateCheck = updater::UpdateInfo{.done = true, .latest = "9.9.9", .available = available};
        Draw();
    }
    for (const char* pma : {"missing", "present", "held"}) {
        if (pma != std::string("missing")) {
            ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
        }
        std::optional<uitest::HeldFile> held;
        if (pma == std::string("held")) held.emplace(PhpMyAdminConfigPath());
        ASSERT_TRUE(Type("pwd", pma) && ClickOn("savepwd"));
    }
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

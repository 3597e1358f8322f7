// The Settings page drawn alone: every control rewrites zerva.ini at once and shows changes made
// elsewhere on the next frame; the Run key and Task Manager's flag for it (a value of the test's
// own, taken away afterwards); the stored root password and phpMyAdmin; the About card.
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
constexpr wchar_t kStartupApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
// The value the page writes in place of the user's "Zerva".
const std::wstring kRunValueName = L"Zerva test " + Utf8ToWide(testkit::UniqueName());

// The page's value of the user's Run key, or nothing.
std::optional<std::wstring> RunValue() {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

// Task Manager's flag for the page's value, as it writes it.
void SetStartupApprovedFlag(const std::string& flag) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kRunValueName.c_str(), REG_BINARY, flag.data(),
                                DWORD(flag.size())),
              ERROR_SUCCESS);
}
bool HasStartupApprovedFlag() {
    return ::RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kRunValueName.c_str(), RRF_RT_ANY, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

// Takes the test's Run value and its flag away again.
struct RunValueRestorer {
    ~RunValueRestorer() {
        ui::SetStartWithWindows(false);
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kStartupApprovedKey, kRunValueName.c_str());
    }
};

class SettingsPage : public uitest::PageAlone {
protected:
    SettingsPage() : PageAlone(ui::PageSettings) { ui::SetRunValueNameForTests(kRunValueName); }
    ~SettingsPage() override { ui::SetRunValueNameForTests({}); }
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
    // Unchecked in Task Manager's start-up list, the value is there but Windows does not start
    // Zerva: the box is off, and ticking it enables it again.
    ui::SetStartWithWindows(true);
    for (const auto& [flag, starts] : {std::pair{std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12), true},
                                       {std::string("\x03\0\0\0\x10\x32\x54\x76\x98\xBA\xDC\x01", 12), false}}) {
        SetStartupApprovedFlag(flag);
        EXPECT_EQ(ui::StartsWithWindows(), starts);
    }
    Draw(1);
    ASSERT_TRUE(ClickOn("startwin"));
    EXPECT_TRUE(RunValue() && ui::StartsWithWindows() && !HasStartupApprovedFlag());
}

TEST(SettingsPageText, StartupApprovedFlag_AnOddFirstByteDisables) {
    const std::pair<std::string, bool> flags[] = {
        {std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12), false},  // enabled, never disabled
        {std::string("\x06\0\0\0\0\0\0\0\0\0\0\0", 12), false},
        {std::string("\x03\0\0\0\x10\x32\x54\x76\x98\xBA\xDC\x01", 12), true},  // disabled at that time
        {std::string("\x07\0\0\0\x10\x32\x54\x76\x98\xBA\xDC\x01", 12), true},
        {std::string("\x01", 1), true},
        {"", false},
    };
    for (const auto& [flag, disables] : flags)
        EXPECT_EQ(ui::StartupApprovedDisables(flag), disables) << int(flag.empty() ? -1 : flag[0]);
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
    const std::string unsaved = "The password could not be saved in zerva.ini. Zerva uses it until it is closed and "
                                 "saves it then if zerva.ini can be written.";
    // phpMyAdmin state (and zerva.ini refusing the save), typed password -> toast.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"missing", "it's \\", "Password saved"},
        {"present", "", "Password saved (phpMyAdmin updated)"},
        {"held", "x", "! Password saved, but phpMyAdmin was not updated: cannot read " + path},
        {"unstored", "y", "! " + unsaved},
        {"unstored held", "z", "! " + unsaved + " phpMyAdmin was not updated: cannot read " + path}};
    for (const auto& [pma, typed, toast] : cases) {
        SCOPED_TRACE(pma);
        std::optional<uitest::WriteBlocked> unstored;
        if (pma.starts_with("unstored")) unstored.emplace(root / L"zerva.ini");
        std::optional<uitest::HeldFile> held;
        if (pma != "missing") {
            ASSERT_TRUE(EnsureDirectory(PhpMyAdminDir()) && WritePhpMyAdminConfig());
        }
        if (pma.find("held") != std::string::npos) held.emplace(PhpMyAdminConfigPath());
        ui::Toasts().clear();
        ASSERT_TRUE(Type("pwd", typed) && ClickOn("savepwd"));
        EXPECT_EQ(GetMysqlRootPassword(), typed) << "used from now on, stored or not";
        EXPECT_EQ(Stored(setting::kMysqlRootPassword) == typed, !unstored) << Stored(setting::kMysqlRootPassword);
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

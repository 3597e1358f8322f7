#include "ui/pages/settings.h"

#include <windows.h>

#include <algorithm>

#include "control/catalog.h"
#include "control/publicip.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "imgui.h"
#include "stack/apache/builds.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "ui/file_dialogs.h"
#include "ui/icons.h"
#include "ui/pages/following_field.h"
#include "ui/pages/pages.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/ui.h"
#include "ui/widgets.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// Where Task Manager's start-up list records the Run values the user disabled.
constexpr wchar_t kStartupApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
std::wstring g_runValueOverride;

const wchar_t* RunValue() { return g_runValueOverride.empty() ? L"Zerva" : g_runValueOverride.c_str(); }

// The flag of the Run value in Task Manager's start-up list; empty when there is none.
std::string StartupApprovedFlag() {
    char flag[64] = {};
    DWORD size = sizeof flag;
    if (::RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKey, RunValue(), RRF_RT_REG_BINARY, nullptr, flag, &size) !=
        ERROR_SUCCESS)
        return {};
    return std::string(flag, size);
}

// The current user's Run key, opened for `access` and closed with the object; null when it cannot be.
struct RunKey {
    explicit RunKey(REGSAM access) {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, access, &key) != ERROR_SUCCESS) key = nullptr;
    }
    ~RunKey() {
        if (key) ::RegCloseKey(key);
    }
    RunKey(const RunKey&) = delete;
    RunKey& operator=(const RunKey&) = delete;
    HKEY key = nullptr;
};

struct PageState {
    bool initialised = false;
    std::string editor;
    ui::FollowingField password;
    float cardsHeight = 0;  // side by side, both cards take the taller one's height of the last frame
};

PageState& P() {
    static PageState state;
    return state;
}

void SavePassword(const std::string& password) {
    const bool stored = Config::Instance().Set(setting::kMysqlRootPassword, password);
    std::string error;
    const PhpMyAdminUpdate pma = UpdatePhpMyAdminConfig(uint32_t(MysqlPort()), password, error);
    if (!stored) {
        // Kept in memory, so Zerva and phpMyAdmin use it now; the next save of zerva.ini tries again.
        std::string message = Tr("The password could not be saved in zerva.ini. Zerva uses it until it is closed "
                                 "and saves it then if zerva.ini can be written.");
        if (pma == PhpMyAdminUpdate::Failed) {
            message.append(" ").append(Format(Tr("phpMyAdmin was not updated: %s"), error.c_str()));
        }
        LogError(console::kMySql, message);
        return ui::Toast(message, true);
    }
    switch (pma) {
        case PhpMyAdminUpdate::Updated: return ui::Toast(Tr("Password saved (phpMyAdmin updated)"), false);
        case PhpMyAdminUpdate::NotConfigured: return ui::Toast(Tr("Password saved"), false);
        case PhpMyAdminUpdate::Failed: break;
    }
    const std::string message = Format(Tr("Password saved, but phpMyAdmin was not updated: %s"), error.c_str());
    LogError(console::kMySql, message);
    ui::Toast(message, true);
}

float InterfaceCard(float width, float height) {
    PageState& p = P();
    const float s = ui::Scale();
    ui::BeginCard("##prefs_ui", ImVec2(width, height), height <= 0);
    ui::SectionTitle(Tr("Interface"));
    ImGui::Spacing();
    const char* language = Tr("Language");
    const char* theme = Tr("Theme");
    const char* editor = Tr("Text editor");
    const float column = ui::LabelColumn({language, theme, editor});

    ui::RowLabel(language, column);
    static const char* const kCodes[] = {"auto", "fr", "en"};
    int languageIndex = ui::LanguageIndex(Config::Instance().Get(setting::kLanguage));
    if (ui::Dropdown("##lang", &languageIndex, {Tr("Automatic (Windows)"), "Fran\xC3\xA7" "ais", "English"}, 240 * s)) {
        Config::Instance().Set(setting::kLanguage, kCodes[languageIndex]);
        SetLanguage(kCodes[languageIndex]);
    }
    ui::RowLabel(theme, column);
    int themeIndex = Config::Instance().Get(setting::kTheme) == "light" ? 1 : 0;
    if (ui::Dropdown("##theme", &themeIndex, {Tr("Dark"), Tr("Light")}, 240 * s)) {
        Config::Instance().Set(setting::kTheme, themeIndex == 1 ? "light" : "dark");
        ui::RequestThemeApply();
    }

    bool startWithWindows = ui::StartsWithWindows();
    if (ImGui::Checkbox(ui::ComposeLabel(nullptr, Tr("Start Zerva with Windows"), "startwin").c_str(), &startWithWindows))
        ui::SetStartWithWindows(startWithWindows);
    ui::SettingCheckbox(setting::kStartSystrayMode, Tr("Start Zerva minimized in the notification area"));
    ui::SettingCheckbox(setting::kMinimizeToTray, Tr("Minimize to the notification area"));
    ui::SettingCheckbox(setting::kAskCloseServerWhenExit, Tr("Ask before stopping the servers when quitting"));

    ui::RowLabel(editor, column);
    if (ui::InputText("##editor", &p.editor, ImGui::GetContentRegionAvail().x - ImGui::GetFrameHeight() - 12 * s,
                      "notepad.exe"))
        Config::Instance().Set(setting::kTextEditor, p.editor);
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kFolder, "edbrowse", Tr("Browse..."))) {
        const std::string chosen = PickFile(Tr("Choose a text editor"), Tr("Programs"), "*.exe");
        if (!chosen.empty()) {
            p.editor = chosen;
            Config::Instance().Set(setting::kTextEditor, p.editor);
        }
    }
    const float natural = ui::NaturalHeight();
    ui::EndCard();
    return natural;
}

// The Servers card's checkboxes, in order, with their labels and help texts of this frame.
struct ServerOption {
    const SettingKey* key;
    std::string label;
    const char* help;
};

std::vector<ServerOption> ServerOptions() {
    return {
        {&setting::kStartOnStart, Tr("Start Apache and MySQL when Zerva starts"), nullptr},
        {&setting::kAutoRestartConfigChanged, Tr("Restart automatically when a configuration file changes"),
         Tr("Watches httpd_zerva.conf, php_zerva.ini and my_zerva.ini: edit them with your editor, Zerva restarts "
            "the server.")},
        {&setting::kDetectPortUsed, Tr("Check that the ports are free before starting"),
         Tr("Shows which program uses the port (Skype, IIS, another WAMP...).")},
        {&setting::kDetectOthersPackage, Tr("Detect Apache / MySQL servers from other packages"), nullptr},
        {&setting::kDetectIpAndUpdate,
         std::string(Tr("Get the public IP address")) + " (" + ui::HostOfUrl(publicip::Endpoints().front()) + ")",
         Tr("Shows your Internet address on the dashboard, like Zerva 3.x.")},
        {&setting::kCheckUpdates,
         std::string(Tr("Check for Zerva updates")) + " (" + ui::HostOfUrl(updater::UpdateUrl()) + ")",
         Tr("At startup and every 12 hours. Updating only replaces Zerva.exe: your environment is kept.")},
    };
}

// How wide a card must be to hold the longest checkbox row (box, label, help marker) whole.
float CheckboxCardWidth(const std::vector<ServerOption>& options) {
    float widest = ImGui::CalcTextSize(Tr("Start Zerva minimized in the notification area")).x;
    for (const ServerOption& option : options) widest = std::max(widest, ImGui::CalcTextSize(option.label.c_str()).x);
    const ImGuiStyle& style = ImGui::GetStyle();
    return ImGui::GetFrameHeight() + style.ItemInnerSpacing.x + widest + style.ItemSpacing.x +
           ImGui::CalcTextSize("\xEE\xA5\x86").x + 2 * 16 * ui::Scale() + 2 * style.ItemSpacing.x;
}

float ServersCard(const std::vector<ServerOption>& options, float height) {
    PageState& p = P();
    ui::BeginCard("##prefs_srv", ImVec2(0, height), height <= 0);
    ui::SectionTitle(Tr("Servers"));
    ImGui::Spacing();
    for (const ServerOption& option : options) ui::SettingCheckbox(*option.key, option.label.c_str(), option.help);

    ImGui::Spacing();
    ImGui::TextUnformatted(Tr("MySQL root password"));
    ImGui::SameLine();
    ui::HelpTooltip(Tr("Password stored by Zerva (phpMyAdmin configuration, clean shutdown). Update it here only if "
                       "you changed the password outside Zerva; otherwise use the MySQL page."));
    ui::InputText("##pwd", &p.password.text, 220 * ui::Scale());
    ImGui::SameLine();
    if (ui::Button(ui::icon::kSave, Tr("Save"), "savepwd", ImVec2(0, 0), p.password.text != GetMysqlRootPassword()))
        SavePassword(p.password.text);
    const float natural = ui::NaturalHeight();
    ui::EndCard();
    return natural;
}

// "www.apachelounge.com (Apache), ...": where each component is downloaded from.
std::string ComponentSources() {
    using installer::Endpoint;
    const std::pair<Endpoint, const char*> sources[] = {{Endpoint::ApachePage, "Apache"},
                                                        {Endpoint::PhpReleases, "PHP"},
                                                        {Endpoint::MariaDbApi, "MariaDB"},
                                                        {Endpoint::PhpMyAdminVersions, "phpMyAdmin"}};
    std::vector<std::string> parts;
    for (const auto& [endpoint, name] : sources)
        parts.push_back(ui::HostOfUrl(installer::EndpointAddress(endpoint)) + " (" + name + ")");
    return Join(parts, ", ");
}

void UpdateState(const updater::UpdateInfo& check) {
    ImGui::SameLine();
    if (check.checking) return ui::Spinner();
    if (check.available) {
        ui::ColoredText(ui::AccentColor(), "%s", ui::icon::kDownload);
        ImGui::SameLine(0, 4 * ui::Scale());
        ui::ColoredText(ui::AccentColor(), Tr("version %s available"), check.latest.c_str());
    } else if (check.done && !check.latest.empty()) {
        ui::ColoredText(ui::SuccessColor(), "%s", ui::icon::kCheck);
        ImGui::SameLine(0, 4 * ui::Scale());
        ui::ColoredText(ui::SuccessColor(), "%s", Tr("up to date"));
    }
}

void AboutCard() {
    const updater::UpdateInfo& check = ui::State().updateCheck;
    ui::BeginCard("##prefs_about", ImVec2(0, 0), true);
    ui::SectionTitle(Tr("About"));
    ImGui::Spacing();
    ImGui::AlignTextToFramePadding();
    ImGui::Text("Zerva %s", kZervaVersion);
    UpdateState(check);
    ImGui::SameLine();
    const char* label = check.available ? Tr("Update...") : Tr("Check for updates");
    ImGui::SetCursorPosX(std::max(ImGui::GetCursorPosX(), ui::ContentRightX() - ui::ButtonWidth(ui::icon::kRefresh, label)));
    if (ui::Button(ui::icon::kRefresh, label, "chkupd", ImVec2(0, 0), !check.checking)) {
        if (!check.available) updater::StartCheck(true);
        ui::OpenUpdateDialog();
    }
    ImGui::Spacing();
    ui::WrappedText(Tr("Apache, PHP and MySQL / MariaDB control panel for Windows. Portable: everything lives in the "
                       "Zerva folder, Zerva.exe needs no installation and no runtime."));
    ImGui::Spacing();
    ui::WrappedText(Format("%s %s", Tr("Folder:"), WideToUtf8(RootDir()).c_str()).c_str());
    ui::SameLineIfFits(ImGui::CalcTextSize(Tr("open")).x);
    if (ui::Link(Tr("open"), "openroot")) ui::OpenFolder(RootDir());
    const std::string credits = std::string(Tr("Built with Dear ImGui (MIT), zlib and minizip (zlib License).")) + " " +
                                Format(Tr("Components downloaded from %s."), ComponentSources().c_str());
    ui::WrappedText(credits.c_str());
    ui::EndCard();
}

}  // namespace

namespace ui {

void SettingCheckbox(const SettingKey& key, const char* label, const char* help) {
    bool value = Config::Instance().GetBool(key);
    if (ImGui::Checkbox(ComposeLabel(nullptr, label, key.name).c_str(), &value)) Config::Instance().SetBool(key, value);
    if (!help) return;
    ImGui::SameLine();
    HelpTooltip(help);
}

void SetStartWithWindows(bool on) {
    const RunKey run(KEY_SET_VALUE);
    if (!run.key) return;
    if (!on) return void(::RegDeleteValueW(run.key, RunValue()));
    const std::wstring command = L"\"" + ExePath() + L"\"";
    ::RegSetValueExW(run.key, RunValue(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     DWORD((command.size() + 1) * sizeof(wchar_t)));
    // Without its flag the value counts as enabled, as when Task Manager never saw it.
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kStartupApprovedKey, RunValue());
}

bool StartsWithWindows() {
    const RunKey run(KEY_QUERY_VALUE);
    return run.key && ::RegQueryValueExW(run.key, RunValue(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           !StartupApprovedDisables(StartupApprovedFlag());
}

bool StartupApprovedDisables(std::string_view flag) { return !flag.empty() && (uint8_t(flag[0]) & 1) != 0; }

void SetRunValueNameForTests(const std::wstring& name) { g_runValueOverride = name; }

int LanguageIndex(std::string_view code) {
    if (code == "fr") return 1;
    if (code == "en") return 2;
    return 0;
}

std::string HostOfUrl(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    const std::string_view rest = url.substr(scheme + 3);
    return std::string(rest.substr(0, rest.find_first_of(":/?#")));
}

void PageSettings() {
    PageState& p = P();
    if (!p.initialised) {
        p.editor = TextEditor();
        p.initialised = true;
    }
    p.password.Follow(GetMysqlRootPassword());
    // Side by side, unless the window is too narrow for the checkbox rows.
    const std::vector<ServerOption> options = ServerOptions();
    const float half = ImGui::GetContentRegionAvail().x / 2 - ImGui::GetStyle().ItemSpacing.x / 2;
    const bool sideBySide = half >= CheckboxCardWidth(options);
    const float height = sideBySide ? p.cardsHeight : 0;
    const float interfaceHeight = InterfaceCard(sideBySide ? half : 0, height);
    if (sideBySide) ImGui::SameLine();
    const float serversHeight = ServersCard(options, height);
    p.cardsHeight = std::max(interfaceHeight, serversHeight);
    AboutCard();
}

}  // namespace ui

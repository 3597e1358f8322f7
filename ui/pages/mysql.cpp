#include "ui/pages/mysql.h"

#include <algorithm>

#include "control/sequences.h"
#include "control/server.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/database/builds.h"
#include "stack/database/data_dir.h"
#include "stack/phpmyadmin/config.h"
#include "ui/confirm.h"
#include "ui/icons.h"
#include "ui/pages/following_field.h"
#include "ui/pages/pages.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {
constexpr char kHiddenPassword[] = "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2";

struct PageState {
    bool initialised = false;
    int port = 3306;
    ui::FollowingField current;
    std::string next, confirm;
    std::string changedTo;  // the new password of the change last queued from this page
    bool showPassword = false;
    bool stacked = false;  // the two cards one above the other: each as high as its content
    // Side by side, both cards take the taller content's height of the last frame, at least 260.
    float connectionHeight = 0, passwordHeight = 0;
    // What the build's files say, read again at every install refresh rather than every frame.
    int32_t factsGeneration = -1;
    std::string factsBuild;
    bool hasMysqlDatabase = false, hasInitialIni = false, hasErrorLog = false;
};

PageState& P() {
    static PageState state;
    return state;
}

bool WorkerBusy() {
    const ServerStatus& server = ui::State().server;
    return server.busy || server.queued > 0;
}

bool DbRunning() { return ui::State().server.mysql.running; }

void RefreshFacts(const DbInstall& build) {
    PageState& p = P();
    const UiState& state = ui::State();
    if (p.factsGeneration == state.generation && p.factsBuild == build.name) return;
    p.factsGeneration = state.generation;
    p.factsBuild = build.name;
    p.hasMysqlDatabase = HasMysqlDatabase(build);
    p.hasInitialIni = PathExists(MyInitialIniPath(build));
    p.hasErrorLog = !state.dbErrorLog.empty() && PathExists(state.dbErrorLog);
}

std::string BaseAddress() {
    const UiState& state = ui::State();
    return state.currentApache ? HomeUrl(*state.currentApache) : "http://localhost/";
}

// ---- Actions ----

void ApplyPort(int port) {
    Config::Instance().Set(setting::kMysqlPort, std::to_string(port));
    ui::Toast(Format(Tr("MySQL port set to %d"), port), false);
    std::string error;
    if (UpdatePhpMyAdminConfig(uint32_t(port), GetMysqlRootPassword(), error) == PhpMyAdminUpdate::Failed) {
        const std::string message = Format(Tr("phpMyAdmin was not updated: %s"), error.c_str());
        LogError(console::kMySql, message);
        ui::Toast(message, true);
    }
    ui::RestartToApply(Comp::Database);
}

// The outcome of a change the database accepted, told once: stored or not in zerva.ini, and what
// became of phpMyAdmin's configuration.
void ReportAcceptedPassword(bool stored, PhpMyAdminUpdate pma, const std::string& pmaError) {
    const std::string pmaFailure = Format(Tr("phpMyAdmin was not updated: %s"), pmaError.c_str());
    if (!stored) {
        // The database has the new password already: only Zerva's copy is behind.
        std::string message = Tr("The database already has the new root password, but it could not be saved in "
                                 "zerva.ini. Zerva uses it until it is closed and saves it then if zerva.ini can be "
                                 "written; otherwise Zerva will use the old password after a restart.");
        LogError(console::kMySql, message);
        if (pma == PhpMyAdminUpdate::Failed) {
            LogError(console::kMySql, pmaFailure);
            message += "\n\n" + pmaFailure;
        }
        QueueAlert(Alert{Tr("Password changed"), message, true, alert_action::kNone});
        return;
    }
    if (pma == PhpMyAdminUpdate::Updated) {
        LogSuccess(console::kMySql, Tr("Root password changed (phpMyAdmin updated)."));
        QueueAlert(Alert{Tr("Password changed"), Tr("The MySQL root password was changed and phpMyAdmin was updated."),
                         false, alert_action::kNone});
        return;
    }
    LogSuccess(console::kMySql, Tr("Root password changed."));
    if (pma == PhpMyAdminUpdate::NotConfigured) {
        QueueAlert(Alert{Tr("Password changed"), Tr("The MySQL root password was changed."), false, alert_action::kNone});
        return;
    }
    LogError(console::kMySql, pmaFailure);
    QueueAlert(Alert{Tr("Password changed"),
                     Format(Tr("The MySQL root password was changed, but phpMyAdmin was not updated: %s"),
                            pmaError.c_str()),
                     true, alert_action::kNone});
}

// Server worker: the build is looked up again, since it may have been removed meanwhile.
void ChangePasswordJob(const std::string& name, const std::string& current, const std::string& next) {
    const auto build = FindDb(name);
    if (!build) return;
    std::string error;
    if (!ChangeRootPassword(*build, current, next, error)) {
        LogError(console::kMySql, error);
        QueueAlert(Alert{Tr("Password not changed"), error, true, alert_action::kNone});
        return;
    }
    // A failed save keeps the new value in memory, so Zerva goes on with the password the
    // database now has; phpMyAdmin gets it too.
    const bool stored = Config::Instance().Set(setting::kMysqlRootPassword, next);
    std::string pmaError;
    const PhpMyAdminUpdate pma = UpdatePhpMyAdminConfig(uint32_t(MysqlPort()), next, pmaError);
    ReportAcceptedPassword(stored, pma, pmaError);
}

// Server worker; the first failing step ends the job.
void InitializeJob(const std::string& name) {
    const auto build = FindDb(name);
    if (!build) return;
    std::string error;
    bool ok = EnsureMyTemplate(*build, error) && WriteMyIni(*build, error);
    if (ok) {
        CopyVcRuntime(DbBinDir(*build), build->arch);
        ok = InitDataFolder(*build, error);
    }
    if (!ok && !error.empty()) LogError(console::kMySql, error);
}

void RestoreTemplate(const std::string& name) {
    const auto build = FindDb(name);
    if (!build) return;
    if (!ResetMyTemplate(*build)) {
        ui::Toast(Tr("my_zerva.ini could not be restored from my_initial.ini"), true);
        return;
    }
    ui::Toast(Tr("Initial configuration restored"), false);
    ui::RestartToApply(Comp::Database);
}

void OpenClientConsole(const DbInstall& build) {
    if (!ui::OpenConsole(build.clientExe, ui::MysqlClientArguments(MysqlPort()), DbBinDir(build), DbBinDir(build)))
        ui::Toast(Tr("The console could not be opened"), true);
}

// ---- Page parts ----

void NoBuild() {
    ui::Callout(ui::icon::kInfo, Tr("No MySQL / MariaDB version installed."), ui::AccentColor());
    ImGui::Spacing();
    if (ui::AccentButton(ui::icon::kDownload, Tr("Install MariaDB"), "inst_db")) ui::State().page = page::kComponents;
}

void VersionRow(const DbInstall& current) {
    UiState& state = ui::State();
    std::vector<std::string> items;
    int selected = -1;
    for (const DbInstall& build : state.dbs) {
        if (build.name == current.name) selected = int(items.size());
        items.push_back(DbProductName(build) + "   [" + build.name + "]");
    }
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(Tr("Version"));
    ImGui::SameLine();
    // Narrowed for the badge while the list keeps room for its labels; else the badge goes below.
    const char* badge = DbRunning() ? Tr("Running") : Tr("Stopped");
    const float width = ui::WidthBeside(420 * ui::Scale(), ui::DropdownWidth(items), ui::BadgeWidth(badge));
    if (ui::Dropdown("##dbv", &selected, items, width)) {
        ui::SwitchBuild(Comp::Database, state.dbs[size_t(selected)].name);
    }
    ui::SameLineIfFits(ui::BadgeWidth(badge));
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + ImGui::GetStyle().FramePadding.y - 3 * ui::Scale());
    ui::Badge(badge, DbRunning() ? ui::SuccessColor() : ui::TextColorOf());
}

}  // namespace

namespace ui {

std::wstring MysqlClientArguments(int port) {
    return CommandLine().Add(L"--no-defaults -u root -p --host=127.0.0.1").Add(L"--port=" + std::to_wstring(port)).Text();
}

// Side by side, the two cards' height: their fixed one, or more where a translation needs it.
float CardsHeight() {
    const PageState& p = P();
    return std::max({260 * Scale(), p.connectionHeight, p.passwordHeight});
}

void ConnectionCard(const DbInstall&, float width) {
    PageState& p = P();
    const float s = Scale();
    BeginCard("##dbconn", ImVec2(width, p.stacked ? 0 : CardsHeight()), p.stacked);
    SectionTitle(Tr("Connection"));
    ImGui::Spacing();
    const char* host = Tr("Host");
    const char* port = Tr("Port");
    const char* user = Tr("User");
    const char* password = Tr("Password");
    const float column = LabelColumn({host, port, user, password});

    RowLabel(host, column);
    ImGui::TextUnformatted("127.0.0.1 / localhost");
    RowLabel(port, column);
    ImGui::SetNextItemWidth(110 * s);
    ImGui::InputInt("##dbport", &p.port, 0, 0);
    p.port = std::clamp(p.port, 1, 65535);
    ImGui::SameLine();
    // Against the stored text: a MYSQL_PORT with letters reads as a number the field shows, and the
    // start refuses it until a port is applied in its place.
    const bool changed = Config::Instance().Get(setting::kMysqlPort) != std::to_string(p.port);
    if (Button(nullptr, Tr("Apply"), "dbport_apply", ImVec2(0, 0), changed)) ApplyPort(p.port);
    RowLabel(user, column);
    ImGui::TextUnformatted("root");
    RowLabel(password, column);
    const std::string stored = GetMysqlRootPassword();
    if (!p.showPassword) ImGui::TextUnformatted(kHiddenPassword);
    else if (stored.empty()) MutedText("%s", Tr("(empty)"));
    else ImGui::TextUnformatted(stored.c_str());
    ImGui::SameLine();
    if (IconButton(ui::icon::kKey, "showpwd", Tr("Show / hide"))) p.showPassword = !p.showPassword;
    ImGui::Spacing();
    WrappedText(Tr("Zerva stores this password to configure phpMyAdmin. Change it with the form on the right so "
                   "that MySQL, phpMyAdmin and Zerva stay in sync."));
    p.connectionHeight = NaturalHeight();
    EndCard();
}

void PasswordCard(const DbInstall& build) {
    PageState& p = P();
    BeginCard("##dbpwd", ImVec2(0, p.stacked ? 0 : CardsHeight()), p.stacked);
    SectionTitle(Tr("Change the root password"));
    ImGui::Spacing();
    const char* current = Tr("Current password");
    const char* next = Tr("New password");
    const char* confirm = Tr("Confirm");
    const float column = LabelColumn({current, next, confirm});
    // The current field starts with the stored password: the three fields stay masked, as the
    // stored one is in the connection card, until "Show / hide" there.
    const ImGuiInputTextFlags masked = p.showPassword ? 0 : ImGuiInputTextFlags_Password;
    RowLabel(current, column);
    InputText("##old", &p.current.text, -FLT_MIN, nullptr, masked);
    RowLabel(next, column);
    InputText("##new", &p.next, -FLT_MIN, nullptr, masked);
    RowLabel(confirm, column);
    InputText("##new2", &p.confirm, -FLT_MIN, nullptr, masked);
    if (!p.confirm.empty() && p.confirm != p.next) ColoredText(DangerColor(), "%s", Tr("The new passwords do not match."));
    ImGui::Spacing();
    const bool running = DbRunning();
    const bool enabled = running && !p.next.empty() && p.next == p.confirm && !WorkerBusy();
    if (AccentButton(ui::icon::kKey, Tr("Change the password"), "chpwd", ImVec2(0, 0), enabled)) {
        Server::Instance().Enqueue(Tr("Changing the MySQL root password..."),
                                   [name = build.name, currentPassword = p.current.text, newPassword = p.next] {
                                       ChangePasswordJob(name, currentPassword, newPassword);
                                   },
                                   "");
        p.changedTo = p.next;
        p.next.clear();
        p.confirm.clear();
    }
    if (!running) {
        const char* hint = Tr("Start MySQL first.");
        SameLineIfFits(ImGui::CalcTextSize(hint).x);
        ImGui::AlignTextToFramePadding();
        MutedText("%s", hint);
    }
    p.passwordHeight = NaturalHeight();
    EndCard();
}

void ToolsCard(const DbInstall& build) {
    const PageState& p = P();
    const UiState& state = State();
    BeginCard("##dbtools", ImVec2(0, 0), true);
    SectionTitle(Tr("Tools"));
    ImGui::Spacing();
    const bool running = DbRunning();
    if (Button(ui::icon::kConsole, Tr("MySQL console"), "dbcli", ImVec2(0, 0), running && !build.clientExe.empty()))
        OpenClientConsole(build);
    Tooltip(Tr("Opens the command line client (asks for the root password)"));
    SameLineIfFits(ButtonWidth(ui::icon::kWorld, "phpMyAdmin"));
    if (Button(ui::icon::kWorld, "phpMyAdmin", "dbpma", ImVec2(0, 0), running && state.server.apache.running))
        OpenUrl(BaseAddress() + "mysql/");
    SameLineIfFits(ButtonWidth(ui::icon::kEdit, Tr("Edit my_zerva.ini")));
    if (Button(ui::icon::kEdit, Tr("Edit my_zerva.ini"), "dbedit", ImVec2(0, 0), build.configured))
        EditTextFile(MyTemplatePath(build));
    SameLineIfFits(ButtonWidth(ui::icon::kFolder, Tr("data folder")));
    if (Button(ui::icon::kFolder, Tr("data folder"), "dbdata")) OpenFolder(DbDataDir(build));
    SameLineIfFits(ButtonWidth(ui::icon::kList, Tr("Error log")));
    if (Button(ui::icon::kList, Tr("Error log"), "dblog", ImVec2(0, 0), p.hasErrorLog)) EditTextFile(state.dbErrorLog);

    ImGui::Spacing();
    if (!p.hasMysqlDatabase) {
        Callout(ui::icon::kInfo,
                Tr("The data folder is not initialized yet: it is created automatically at the first start (root "
                   "password = the one stored by Zerva)."),
                AccentColor());
        ImGui::Spacing();
        if (AccentButton(nullptr, Tr("Initialize now"), "dbinit", ImVec2(0, 0), !WorkerBusy()))
            Server::Instance().Enqueue(Tr("Initializing the databases..."),
                                       [name = build.name] { InitializeJob(name); }, "");
        ImGui::Spacing();
    }
    if (DangerButton(ui::icon::kUndo, Tr("Restore the initial configuration"), "dbrestore", ImVec2(0, 0), p.hasInitialIni))
        RequestConfirm(Tr("Restore the initial configuration"),
                       Tr("my_zerva.ini will be replaced by its initial version. Your databases are not modified. "
                          "Continue?"),
                       Tr("Restore"), true, [name = build.name] { RestoreTemplate(name); });
    ImGui::Spacing();
    // Wrapped: a root folder deep in a profile makes long paths.
    WrappedText(Format("%s %s", Tr("Server:"), WideToUtf8(build.serverExe).c_str()).c_str());
    WrappedText(Format("%s %s", Tr("Data:"), WideToUtf8(DbDataDir(build)).c_str()).c_str());
    EndCard();
}

void PageMySql() {
    UiState& state = State();
    PageState& p = P();
    if (!p.initialised) {
        p.port = MysqlPort();
        p.initialised = true;
    }
    const std::string stored = GetMysqlRootPassword();
    // Once a change queued here has gone through, whatever the user typed as the current password
    // is the old one: the field takes the new one, or the next change would fail.
    if (!p.changedTo.empty() && stored == p.changedTo) {
        p.current.text = stored;
        p.changedTo.clear();
    }
    p.current.Follow(stored);
    if (state.dbs.empty() || !state.currentDb) return NoBuild();

    const DbInstall build = *state.currentDb;  // a copy: choosing a version below rescans the lists
    RefreshFacts(build);
    VersionRow(build);
    ImGui::Spacing();
    // Side by side, unless the window is too narrow for the connection card's rows.
    const float width = ImGui::GetContentRegionAvail().x * 0.45f - ImGui::GetStyle().ItemSpacing.x;
    p.stacked = width < 330 * Scale();
    ConnectionCard(build, p.stacked ? 0 : width);
    if (!p.stacked) ImGui::SameLine();
    PasswordCard(build);
    ToolsCard(build);
}

}  // namespace ui

// The Dashboard's three cards of the first row: Apache, PHP and the database server, each with
// its version list, its state and its buttons.
#include <algorithm>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "control/server.h"
#include "control/start.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "ui/icons.h"
#include "ui/pages/dashboard.h"
#include "ui/pages/dashboard_parts.h"
#include "ui/pages/php.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace ui {
namespace {

constexpr float kServerCardHeight = 248;
constexpr float kSparklineHeight = 34;
// The CPU graphs keep at least this top (percent), so a server idling at a fraction of a percent
// draws a flat line rather than one filling the graph.
constexpr float kCpuGraphTop = 10;

// The version list of one kind of build; the folder name of a new choice, if one was made.
template <class Install, class LabelOf>
std::optional<std::string> VersionDropdown(const char* id, const std::vector<Install>& builds,
                                           const std::optional<Install>& current, LabelOf labelOf) {
    std::vector<std::string> items;
    int selected = -1;
    for (const Install& build : builds) {
        if (current && build.name == current->name) selected = int(items.size());
        items.push_back(labelOf(build));
    }
    if (!Dropdown(id, &selected, items, ImGui::GetContentRegionAvail().x)) return std::nullopt;
    return builds[size_t(selected)].name;
}

constexpr std::string_view kDot = "  \xC2\xB7  ";

// Text wrapped at the card's edge; a text made of parts joined by a middle dot keeps each part
// whole, one part per line, when the whole does not fit.
void WrappedLine(const std::string& text, bool muted = false) {
    std::string shown;
    if (ImGui::CalcTextSize(text.c_str()).x <= ImGui::GetContentRegionAvail().x) {
        shown = text;
    } else {
        for (size_t start = 0;;) {
            const size_t dot = text.find(kDot, start);
            shown.append(text, start, dot == std::string::npos ? std::string::npos : dot - start);
            if (dot == std::string::npos) break;
            shown.push_back('\n');
            start = dot + kDot.size();
        }
    }
    if (muted) ImGui::PushStyleColor(ImGuiCol_Text, TextColorOf());
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(shown.c_str());
    ImGui::PopTextWrapPos();
    if (muted) ImGui::PopStyleColor();
}

// The top of the button row: the card's bottom line, whatever the lines above it hold.
float ButtonRowY() { return kServerCardHeight * Scale() - ImGui::GetFrameHeight() - kCardPaddingY * Scale(); }

// The graph takes what is left above the button row, up to its own height, so wrapped lines of
// a narrow card never push it onto the buttons; with too little room it is left out.
void CpuGraph(const char* id, const std::vector<float>& history, const ImVec4& color) {
    const float s = Scale();
    const float room = ButtonRowY() - ImGui::GetStyle().ItemSpacing.y - ImGui::GetCursorPosY();
    const float height = std::min(kSparklineHeight * s, room);
    if (height >= 12 * s) Sparkline(id, history, ImVec2(ImGui::GetContentRegionAvail().x, height), color, kCpuGraphTop);
}

void MoveToButtonRow() { ImGui::SetCursorPosY(ButtonRowY()); }

// Each of the two wide buttons of a row shares it with the square settings button.
float WideButtonWidth() {
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    return std::max((ImGui::GetContentRegionAvail().x - 2 * spacing - ImGui::GetFrameHeight()) / 2, 1.0f);
}

// "Stop" while the server runs, else "Start" (which needs a current build).
void StartStopButton(bool running, bool buildCurrent, const char* startId, const char* stopId, float width,
                     void (Server::*start)(), void (Server::*stop)()) {
    const bool busy = DashboardBusy();
    if (running) {
        if (CardButton(ButtonRole::Danger, ui::icon::kStop, Tr("Stop"), stopId, width, !busy)) (Server::Instance().*stop)();
    } else if (CardButton(ButtonRole::Accent, ui::icon::kPlay, Tr("Start"), startId, width, !busy && buildCurrent)) {
        (Server::Instance().*start)();
    }
}

// A build whose program is none: said in the warning colour, with the whole notice (which file,
// what to reinstall) in its tooltip.
void NotAProgramLine(const std::string& notice) {
    ColoredText(WarningColor(), "%s %s", ui::icon::kError, Tr("Not a valid Windows program"));
    Tooltip(notice.c_str());
}

void SettingsButton(const char* id, const char* tooltip, Page target) {
    const float side = ImGui::GetFrameHeight();
    if (Button(ui::icon::kSettings, nullptr, id, ImVec2(side, side))) State().page = target;
    Tooltip(tooltip);
}

}  // namespace

void ApacheCard(float width) {
    UiState& state = State();
    const ServerState& apache = state.server.apache;
    BeginCard("##card_apache", ImVec2(width, kServerCardHeight * Scale()));
    IconText(ui::icon::kWorld, "Apache");
    StatusBadge(apache.running);
    if (state.apaches.empty()) {
        NotInstalledLine(Tr("Install Apache"), "dash_inst_apache");
    } else if (const auto name = VersionDropdown("##apachever", state.apaches, state.currentApache, ApacheInstallLabel)) {
        SwitchBuild(Comp::Apache, *name);
    }
    if (state.currentApache && state.currentApache->arch == 0) NotAProgramLine(NotAProgramText(*state.currentApache));
    std::vector<std::string> ports;
    for (int32_t port : apache.ports) ports.push_back(std::to_string(port));
    WrappedLine(Format("%s %s", Tr("Ports:"), ports.empty() ? "-" : Join(ports, ", ").c_str()), true);
    WrappedLine(ProcessUsageText(apache));
    CpuGraph("cpuA", state.server.apacheCpu, AccentColor());

    MoveToButtonRow();
    const float wide = WideButtonWidth();
    StartStopButton(apache.running, state.currentApache.has_value(), "apache_start", "apache_stop", wide,
                    &Server::StartApache, &Server::StopApache);
    ImGui::SameLine();
    if (CardButton(ButtonRole::Plain, ui::icon::kRefresh, Tr("Restart"), "apache_restart", wide,
                   !DashboardBusy() && apache.running))
        Server::Instance().RestartApache();
    ImGui::SameLine();
    SettingsButton("apache_cfg", Tr("Apache settings"), page::kApache);
    EndCard();
}

void PhpCard(float width) {
    UiState& state = State();
    const bool apacheRunning = state.server.apache.running;
    BeginCard("##card_php", ImVec2(width, kServerCardHeight * Scale()));
    IconText(ui::icon::kCode, "PHP");
    if (state.currentPhp) {
        const bool loaded = PhpShownLoaded(state, RefreshDashboardCache());
        RightBadge(loaded ? Tr("Loaded") : Tr("Idle"), loaded ? AccentColor() : TextColorOf());
    }
    if (state.phps.empty()) {
        NotInstalledLine(Tr("Install PHP"), "dash_inst_php");
    } else if (const auto name = VersionDropdown("##phpver", state.phps, state.currentPhp, [&](const PhpInstall& build) {
                   return PhpBuildItem(build, state.currentApache);
               })) {
        SwitchBuild(Comp::Php, *name);
    }
    const std::optional<PhpInstall>& php = state.currentPhp;
    if (php) {
        WrappedLine(Format(Tr("%d extensions enabled"), EnabledExtensionCount()));
        if (php->configured) MutedText("%s", "php_zerva.ini");
        else WrappedText(Tr("Not configured yet (automatic at start)"));
        // An Apache program that is none is said on Apache's card.
        if (php->arch == 0) NotAProgramLine(NotAProgramText(*php));
        else if (state.currentApache && ArchitecturesDiffer(php->arch, state.currentApache->arch))
            ColoredText(WarningColor(), "%s %s / Apache %s", ui::icon::kError, ArchName(php->arch),
                        ArchName(state.currentApache->arch));
    }

    // Their icons alone would not tell these three apart: when a narrow card cannot show the
    // three texts side by side, "Extensions" takes a row of its own above the other two, if the
    // lines above leave room for it.
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const float rowWidth = ImGui::GetContentRegionAvail().x;
    const float third = std::max((rowWidth - 2 * spacing) / 3, 1.0f);
    const float upperRowY = ButtonRowY() - ImGui::GetFrameHeight() - ImGui::GetStyle().ItemSpacing.y;
    const bool twoRows = !(CardButtonShowsText(Tr("Extensions"), third) && CardButtonShowsText("php.ini", third) &&
                           CardButtonShowsText("phpinfo", third)) &&
                         ImGui::GetCursorPosY() <= upperRowY;
    const float shared = twoRows ? std::max((rowWidth - spacing) / 2, 1.0f) : third;
    ImGui::SetCursorPosY(twoRows ? upperRowY : ButtonRowY());
    if (CardButton(ButtonRole::Plain, ui::icon::kBolt, Tr("Extensions"), "php_ext", twoRows ? rowWidth : third, php.has_value()))
        State().page = page::kPhp;
    if (twoRows) MoveToButtonRow();
    else ImGui::SameLine();
    if (CardButton(ButtonRole::Plain, ui::icon::kEdit, "php.ini", "php_ini", shared, php && php->configured))
        EditTextFile(PhpTemplatePath(*php));
    Tooltip(Tr("Edit php_zerva.ini (php.ini is regenerated from it at each start)"));
    ImGui::SameLine();
    if (CardButton(ButtonRole::Plain, ui::icon::kInfo, "phpinfo", "php_info", shared, apacheRunning))
        OpenUrl(BaseAddress() + "zerva/phpinfo.php");
    EndCard();
}

void MySqlCard(float width) {
    UiState& state = State();
    const ServerState& db = state.server.mysql;
    BeginCard("##card_mysql", ImVec2(width, kServerCardHeight * Scale()));
    IconText(ui::icon::kDatabase, state.currentDb && state.currentDb->isMariaDb ? "MariaDB" : "MySQL");
    StatusBadge(db.running);
    if (state.dbs.empty()) {
        NotInstalledLine(Tr("Install MariaDB"), "dash_inst_db");
    } else if (const auto name = VersionDropdown("##dbver", state.dbs, state.currentDb, DbProductName)) {
        SwitchBuild(Comp::Database, *name);
    }
    WrappedLine(Format("%s %d  \xC2\xB7  %s root", Tr("Port"), MysqlPort(), Tr("user")), true);
    WrappedLine(ProcessUsageText(db));
    CpuGraph("cpuM", state.server.mysqlCpu, WarningColor());

    MoveToButtonRow();
    const float wide = WideButtonWidth();
    StartStopButton(db.running, state.currentDb.has_value(), "mysql_start", "mysql_stop", wide, &Server::StartMySql,
                    &Server::StopMySql);
    ImGui::SameLine();
    if (CardButton(ButtonRole::Plain, ui::icon::kDatabase, "phpMyAdmin", "mysql_pma", wide,
                   state.server.apache.running && db.running))
        OpenUrl(BaseAddress() + "mysql/");
    ImGui::SameLine();
    SettingsButton("mysql_cfg", Tr("MySQL settings"), page::kMySql);
    EndCard();
}

}  // namespace ui

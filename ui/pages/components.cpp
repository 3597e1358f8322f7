// ui/pages/components.cpp: the Components page. Index:
//   ---- Rows and rules ----  installed rows per component, catalog sites, the MariaDB default
//   ---- Shared parts ----    job card, catalog status, installed-versions table, install cell
//   ---- Tabs ----            Apache, PHP, MariaDB, phpMyAdmin
#include "ui/pages/components.h"

#include <algorithm>
#include <cfloat>

#include "control/installer.h"
#include "control/server.h"
#include "core/layout.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/database/data_dir.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/pages/pages.h"
#include "ui/pages/rows.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr const char* kPhpSources[] = {"php:releases", "php:archives", "php:qa"};

ui::ComponentsPageCache g_cache;

constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerH | ImGuiTableFlags_PadOuterX;

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return EqualsIgnoreCase(ToForwardSlashes(WideToUtf8(a)), ToForwardSlashes(WideToUtf8(b)));
}

// "Available on <site>" over a catalog, with its Refresh button.
bool AvailableTitle(installer::Endpoint endpoint, const char* refreshId) {
    ImGui::Spacing();
    ImGui::Separator();
    ImGui::Spacing();
    ImGui::AlignTextToFramePadding();
    ui::SectionTitle((std::string(Tr("Available on")) + " " + ui::CatalogSite(endpoint)).c_str());
    if (!refreshId) return false;
    ImGui::SameLine();
    return ui::IconButton(ui::icon::kRefresh, refreshId, Tr("Refresh"));
}

void InstalledSection(const char* id, const std::vector<ui::InstalledRow>& rows, Comp comp, bool serverRuns) {
    ui::SectionTitle(Tr("Installed"));
    ui::InstalledTable(id, rows, comp, serverRuns);
}

// "Installed" in the success colour, or the "Install" button of the package.
void InstallCell(const Package& package, const char* installText) {
    if (package.installed) return ui::ColoredText(ui::SuccessColor(), "%s %s", ui::icon::kCheck, Tr("Installed"));
    if (ui::Button(ui::icon::kDownload, installText, "inst")) installer::Install(package);
}

void ChecksumMark(const Package& package) {
    if (package.sha256.empty()) return;
    ImGui::SameLine();
    ui::MutedText("%s", ui::icon::kShield);
    ui::Tooltip(Tr("SHA-256 checksum verified after download"));
}

// One column of a table: fixed (a width at scale 1, widened to its content) or stretched by its
// weight, with the width of its widest cell.
struct Column {
    const char* name;
    float fixed = 0;
    float weight = 1;
    float content = 0;
};

float TextWidth(const std::string& text) { return ImGui::CalcTextSize(text.c_str()).x; }
// The install column: "Installed", or the button with the given text.
float InstallColumn(const char* installText) {
    return std::max(TextWidth(std::string(ui::icon::kCheck) + " " + Tr("Installed")), ui::ButtonWidth(ui::icon::kDownload, installText));
}

// A table whose stretched columns keep room for their widest text: shared by their weights while
// that leaves each column its text, else by the texts' widths; on a page too narrow even for those
// it scrolls sideways instead of cutting its texts or drawing them over each other. `rows` rows as
// high as a button; a `height` above 0 fixes the outer height and scrolls the rows under a frozen
// header.
bool BeginFittedTable(const char* id, std::initializer_list<Column> columns, size_t rows, float height = 0) {
    const float s = ui::Scale();
    const ImGuiStyle& style = ImGui::GetStyle();
    float fixed = 0, weights = 0, perWeight = 0, needed = 0;
    const auto fixedWidth = [&](const Column& column) { return std::max(column.fixed * s, column.content); };
    const auto neededWidth = [&](const Column& column) { return std::max(column.content, TextWidth(column.name)); };
    for (const Column& column : columns) {
        if (column.fixed > 0) {
            fixed += fixedWidth(column);
            continue;
        }
        weights += column.weight;
        needed += neededWidth(column);
        perWeight = std::max(perWeight, neededWidth(column) / column.weight);
    }
    const float padding = style.CellPadding.x * 2 * float(columns.size() + 1);
    const float available = ImGui::GetContentRegionAvail().x;
    const bool byWeight = available >= fixed + perWeight * weights + padding;
    const float minWidth = fixed + needed + padding;
    const bool sideways = available < minWidth;
    ImGuiTableFlags flags = kTableFlags | (height > 0 ? ImGuiTableFlags_ScrollY : 0);
    ImVec2 outer(0, height);
    if (sideways) {
        flags |= ImGuiTableFlags_ScrollX;
        if (height <= 0)
            outer.y = ImGui::GetTextLineHeight() + ImGui::GetFrameHeight() * float(rows) +
                      style.CellPadding.y * 2 * float(rows + 1) + style.ScrollbarSize + 2 * s;
    }
    if (!ImGui::BeginTable(id, int(columns.size()), flags, outer, sideways ? minWidth : 0)) return false;
    if (height > 0) ImGui::TableSetupScrollFreeze(0, 1);
    for (const Column& column : columns)
        ImGui::TableSetupColumn(column.name, column.fixed > 0 ? ImGuiTableColumnFlags_WidthFixed : ImGuiTableColumnFlags_WidthStretch,
                                column.fixed > 0 ? fixedWidth(column) : byWeight ? column.weight : std::max(neededWidth(column), 1.0f));
    ImGui::TableHeadersRow();
    return true;
}

// The widest of the texts `text` gives for the packages.
template <class Text>
float Widest(const std::vector<Package>& packages, Text text) {
    float widest = 0;
    for (const Package& package : packages) widest = std::max(widest, TextWidth(text(package)));
    return widest;
}

// Room for the checksum mark after a version.
float ChecksumRoom() { return TextWidth(ui::icon::kShield) + ImGui::GetStyle().ItemSpacing.x; }

// The rows of a catalog table and its end: each listed package under its own id, the cells
// `cells` draws from the first column on, then the install cell.
template <class Listed, class Cells>
void PackageRows(const std::vector<Package>& packages, const char* installText, Listed listed, Cells cells) {
    for (size_t i = 0; i < packages.size(); ++i) {
        const Package& package = packages[i];
        if (!listed(package)) continue;
        ImGui::PushID(int(i));
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::AlignTextToFramePadding();
        cells(package);
        ImGui::TableNextColumn();
        InstallCell(package, installText);
        ImGui::PopID();
    }
    ImGui::EndTable();
}

bool All(const Package&) { return true; }

void NextMuted(const std::string& text) {
    ImGui::TableNextColumn();
    ui::MutedText("%s", text.c_str());
}

void AskAndRemove(Comp comp, const std::string& folder) {
    std::string message = Format(Tr("Delete the folder %s?"), folder.c_str());
    if (comp == Comp::Database)
        message += std::string("\n\n") + Tr("WARNING: the databases stored in its data folder will be deleted too.");
    ui::RequestConfirm(Tr("Remove a version"), message, Tr("Remove"), true,
                       [comp, folder] { installer::Uninstall(comp, folder); });
}

void InstalledRowCells(const ui::InstalledRow& row, Comp comp, bool serverRuns) {
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(row.version.c_str());
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(row.arch.c_str());
    ImGui::TableNextColumn();
    ImGui::TextUnformatted(row.folder.c_str());
    if (!row.folderSuffix.empty()) {
        ImGui::SameLine(0, 0);
        ui::MutedText("%s", row.folderSuffix.c_str());
    }
    ImGui::TableNextColumn();
    if (row.inUse) {
        // Centred on the row's buttons.
        ImGui::SetCursorPosY(ImGui::GetCursorPosY() +
                             (ImGui::GetFrameHeight() - ImGui::GetTextLineHeight() - 6 * ui::Scale()) / 2);
        ui::Badge(Tr("In use"), ui::AccentColor());
    }
    ImGui::TableNextColumn();
    if (!row.inUse) {
        if (ui::Button(ui::icon::kCheck, Tr("Use"), "use")) ui::SwitchBuild(comp, row.folder);
        ImGui::SameLine();
    }
    const bool removable = !row.legacyLayout && !(row.inUse && serverRuns);
    if (ui::Button(ui::icon::kDelete, Tr("Remove"), "rm", ImVec2(0, 0), removable)) AskAndRemove(comp, row.folder);
    if (!removable)
        ui::Tooltip(row.legacyLayout ? Tr("Zerva 3.x layout: remove it manually")
                                     : Tr("Stop the server before removing the version in use"));
}

}  // namespace

namespace ui {

ComponentsPageCache& ComponentsCache() { return g_cache; }

// ---- Rows and rules ----

std::vector<InstalledRow> ApacheRows(const UiState& state) {
    std::vector<InstalledRow> rows;
    for (const ApacheInstall& build : state.apaches)
        rows.push_back({build.name, build.version, ArchName(build.arch), "",
                        state.currentApache && state.currentApache->name == build.name, SamePath(build.dir, ApacheDir())});
    return rows;
}

std::vector<InstalledRow> PhpRows(const UiState& state) {
    std::vector<InstalledRow> rows;
    for (const PhpInstall& build : state.phps)
        rows.push_back({build.name, build.version, ArchName(build.arch), build.apacheDll.empty() ? "  (NTS)" : "",
                        state.currentPhp && state.currentPhp->name == build.name, false});
    return rows;
}

std::vector<InstalledRow> DatabaseRows(const UiState& state) {
    std::vector<InstalledRow> rows;
    for (const DbInstall& build : state.dbs)
        rows.push_back({build.name, DbProductName(build), ArchName(build.arch),
                        HasMysqlDatabase(build) ? "" : std::string("  (") + Tr("not initialized") + ")",
                        state.currentDb && state.currentDb->name == build.name, false});
    return rows;
}

std::string CatalogSite(installer::Endpoint endpoint) {
    std::string address = installer::EndpointAddress(endpoint);
    const size_t scheme = address.find("://");
    if (scheme != std::string::npos) address.erase(0, scheme + 3);
    return address.substr(0, address.find('/'));
}

int32_t PhpTargetArchitecture(const UiState& state) {
    return state.currentApache && state.currentApache->arch != 0 ? state.currentApache->arch : 2;
}

int DefaultMariaDbMajor(const std::vector<Package>& majors) {
    for (size_t i = 0; i < majors.size(); ++i)
        if (majors[i].detail == "LTS") return int(i);
    return majors.empty() ? -1 : 0;
}

const CatalogEntry& FrameCatalog(const std::string& key) {
    const bool copiedByFrame =
        std::find_if(std::begin(kCatalogKeys), std::end(kCatalogKeys), [&](const char* k) { return key == k; }) !=
        std::end(kCatalogKeys);
    CatalogEntry& entry = State().catalogs[key];
    if (!copiedByFrame) entry = installer::GetCatalog(key);
    return entry;
}

bool JobCardShown(const installer::InstallerStatus& status) { return status.busy || status.lastJobFailed; }

bool CatalogPending(const CatalogEntry& entry) { return entry.loading || (!entry.loaded && entry.error.empty()); }

// ---- Shared parts ----

void JobRow() {
    const installer::InstallerStatus& status = State().installer;
    if (!JobCardShown(status)) return;
    const float s = Scale();
    BeginCard("##job", ImVec2(0, 0), true);
    if (!status.busy) {
        ImGui::PushTextWrapPos(0.0f);
        ColoredText(DangerColor(), "%s %s", ui::icon::kError, status.message.c_str());
        ImGui::PopTextWrapPos();
    } else {
        Spinner();
        ImGui::SameLine();
        ImGui::PushFont(Fonts()[kFontBold]);
        ImGui::TextUnformatted(status.title.c_str());
        ImGui::PopFont();
        if (status.queued > 0) {
            ImGui::SameLine();
            MutedText(Tr("(+%d queued)"), int(status.queued));
        }
        ImGui::SameLine(ContentRightX() - 110 * s);
        if (Button(ui::icon::kCancel, Tr("Cancel"), "jobcancel", ImVec2(110 * s, 0))) installer::Cancel();
        MutedText("%s", status.step.c_str());
        // An unknown length sweeps across the bar every 1 2/3 s.
        double fraction = status.progress;
        if (fraction < 0) fraction = ImGui::GetTime() * 0.6 - double(int64_t(ImGui::GetTime() * 0.6));
        ImGui::PushStyleColor(ImGuiCol_PlotHistogram, AccentColor());
        ImGui::ProgressBar(float(fraction), ImVec2(-FLT_MIN, 6 * s), "");
        ImGui::PopStyleColor();
    }
    EndCard();
    ImGui::Spacing();
}

void CatalogStatusRow(const CatalogEntry& entry, const std::string& key) {
    if (entry.loading) {
        Spinner();
        ImGui::SameLine();
        MutedText("%s", Tr("Loading the online catalog..."));
    } else if (!entry.error.empty()) {
        ImGui::AlignTextToFramePadding();
        ImGui::PushTextWrapPos(0.0f);
        ColoredText(DangerColor(), "%s %s", ui::icon::kError, entry.error.c_str());
        ImGui::PopTextWrapPos();
        SameLineIfFits(ButtonWidth(ui::icon::kRefresh, Tr("Retry")));
        if (Button(ui::icon::kRefresh, Tr("Retry"), ("retry" + key).c_str())) installer::RequestCatalog(key, true);
    }
}

void InstalledTable(const char* id, const std::vector<InstalledRow>& rows, Comp comp, bool serverRuns) {
    if (rows.empty()) return MutedText("%s", Tr("Nothing installed yet."));
    float version = 0, folder = 0;
    for (const InstalledRow& row : rows) {
        version = std::max(version, TextWidth(row.version));
        folder = std::max(folder, TextWidth(row.folder + row.folderSuffix));
    }
    const float badge = BadgeWidth(Tr("In use"));
    const float actions = ButtonWidth(ui::icon::kCheck, Tr("Use")) + ImGui::GetStyle().ItemSpacing.x + ButtonWidth(ui::icon::kDelete, Tr("Remove"));
    if (!BeginFittedTable(id, {{Tr("Version"), 0, 1.0f, version}, {Tr("Arch."), 60}, {Tr("Folder"), 0, 2.0f, folder},
                               {"", 110, 1, badge}, {"", 230, 1, actions}},
                          rows.size()))
        return;
    for (const InstalledRow& row : rows) {
        ImGui::PushID(row.folder.c_str());
        InstalledRowCells(row, comp, serverRuns);
        ImGui::PopID();
    }
    ImGui::EndTable();
}

void PageComponents() {
    JobRow();
    if (AccentButton(ui::icon::kStar, Tr("Recommended installation..."), "wizard")) RequestWizard();
    Tooltip(Tr("Latest Apache, PHP, MariaDB LTS and phpMyAdmin in one click"));
    ImGui::Spacing();
    if (!ImGui::BeginTabBar("##comptabs")) return;
    const struct {
        const char* icon;
        const char* name;
        const char* id;
        void (*draw)();
    } tabs[] = {{ui::icon::kCode, "PHP", "tphp", TabPhpBuilds},
                {ui::icon::kWorld, "Apache", "tap", TabApacheBuilds},
                {ui::icon::kDatabase, "MariaDB", "tdb", TabMariaDbBuilds},
                {ui::icon::kDatabase, "phpMyAdmin", "tpma", TabPhpMyAdmin}};
    for (const auto& tab : tabs) {
        if (!ImGui::BeginTabItem(ComposeLabel(tab.icon, tab.name, tab.id).c_str())) continue;
        ImGui::Spacing();
        tab.draw();
        ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
}

// ---- Tabs ----

void TabApacheBuilds() {
    const UiState& state = State();
    InstalledSection("##apinst", ApacheRows(state), Comp::Apache, state.server.apache.running);
    if (AvailableTitle(installer::Endpoint::ApachePage, "aprefresh")) installer::RequestCatalog("apache", true);
    installer::RequestCatalog("apache", false);
    const CatalogEntry& catalog = FrameCatalog("apache");
    if (!catalog.loaded) return CatalogStatusRow(catalog, "apache");
    WrappedText(Tr("Apache Lounge provides the official Windows builds of Apache httpd. Apache Lounge only keeps the "
                   "latest version online. Zerva creates the configuration template and a self-signed certificate "
                   "for https://localhost."));
    const std::vector<Package>& packages = catalog.packages;
    if (!BeginFittedTable("##apavail",
                          {{Tr("Version"), 0, 1.0f, Widest(packages, [](const Package& p) { return "Apache " + p.version; })},
                           {Tr("Arch."), 60},
                           {Tr("Build"), 0, 1.4f, Widest(packages, [](const Package& p) { return p.detail; })},
                           {"", 150, 1, InstallColumn(Tr("Install"))}},
                          packages.size()))
        return;
    PackageRows(packages, Tr("Install"), All, [](const Package& package) {
        ImGui::Text("Apache %s", package.version.c_str());
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(ArchName(package.arch));
        NextMuted(package.detail);
    });
}

void TabPhpBuilds() {
    const UiState& state = State();
    const float s = Scale();
    InstalledSection("##phpinst", PhpRows(state), Comp::Php, state.server.apache.running);
    AvailableTitle(installer::Endpoint::PhpReleases, nullptr);
    g_cache.phpSource = std::clamp(g_cache.phpSource, 0, 2);
    Dropdown("##phpsrc", &g_cache.phpSource,
             {Tr("Current releases"), Tr("Archives (old versions)"), Tr("Test versions (QA / RC)")}, 260 * s);
    const std::string key = kPhpSources[g_cache.phpSource];
    const int32_t target = PhpTargetArchitecture(state);
    const std::string only = Format(Tr("Only %s builds (like Apache)"), ArchName(target));
    SameLineIfFits(ImGui::GetFrameHeight() + ImGui::GetStyle().ItemInnerSpacing.x + TextWidth(only));
    ImGui::Checkbox(ComposeLabel(nullptr, only.c_str(), "phparch").c_str(), &g_cache.onlyApacheArch);
    SameLineIfFits(160 * s + ImGui::GetStyle().ItemSpacing.x + ImGui::GetFrameHeight());
    InputText("##phpfilter", &g_cache.phpFilter, 160 * s, Tr("Filter..."));
    ImGui::SameLine();
    if (IconButton(ui::icon::kRefresh, "phprefresh", Tr("Refresh"))) installer::RequestCatalog(key, true);
    installer::RequestCatalog(key, false);

    const CatalogEntry& catalog = FrameCatalog(key);
    if (!catalog.loaded) return CatalogStatusRow(catalog, key);
    WrappedText(Tr("Thread Safe builds only: Apache loads PHP as a module (php*apache2_4.dll)."));
    const float left = ImGui::GetContentRegionAvail().y;
    const std::vector<Package>& packages = catalog.packages;
    const float version = Widest(packages, [](const Package& p) { return "PHP " + p.version; }) + ChecksumRoom();
    if (!BeginFittedTable("##phpavail",
                          {{Tr("Version"), 0, 1.0f, version}, {Tr("Arch."), 60},
                           {Tr("Compiler"), 0, 1.0f, Widest(packages, [](const Package& p) { return p.detail; })},
                           {"", 150, 1, InstallColumn(Tr("Install"))}},
                          packages.size(), left > 220 * s ? left : 0))
        return;
    const auto listed = [&](const Package& package) {
        return (!g_cache.onlyApacheArch || package.arch == target) &&
               (g_cache.phpFilter.empty() || ContainsIgnoreCase(package.version, g_cache.phpFilter));
    };
    PackageRows(packages, Tr("Install"), listed, [&](const Package& package) {
        ImGui::Text("PHP %s", package.version.c_str());
        ChecksumMark(package);
        ImGui::TableNextColumn();
        if (package.arch != target) ColoredText(WarningColor(), "%s", ArchName(package.arch));
        else ImGui::TextUnformatted(ArchName(package.arch));
        NextMuted(package.detail);
    });
}

void TabMariaDbBuilds() {
    const UiState& state = State();
    InstalledSection("##dbinst", DatabaseRows(state), Comp::Database, state.server.mysql.running);
    AvailableTitle(installer::Endpoint::MariaDbApi, nullptr);
    installer::RequestCatalog("mariadb", false);
    const CatalogEntry& majors = FrameCatalog("mariadb");
    if (!majors.loaded) return CatalogStatusRow(majors, "mariadb");
    if (g_cache.mariaDbMajor < 0 || size_t(g_cache.mariaDbMajor) >= majors.packages.size())
        g_cache.mariaDbMajor = DefaultMariaDbMajor(majors.packages);
    if (g_cache.mariaDbMajor < 0) return;
    std::vector<std::string> items;
    for (const Package& major : majors.packages)
        items.push_back(major.label + (major.date.empty() ? "" : std::string("  - ") + Tr("support until") + " " + major.date));
    Dropdown("##major", &g_cache.mariaDbMajor, items, 420 * Scale());
    const std::string key = "mariadb:" + majors.packages[size_t(g_cache.mariaDbMajor)].version;
    ImGui::SameLine();
    if (IconButton(ui::icon::kRefresh, "mdbrefresh", Tr("Refresh"))) installer::RequestCatalog(key, true);
    installer::RequestCatalog(key, false);

    const CatalogEntry& series = FrameCatalog(key);
    if (!series.loaded) return CatalogStatusRow(series, key);
    WrappedText(Tr("MariaDB is a drop-in replacement of MySQL (same client, same protocol, same tools). The databases "
                   "are created at installation with the user root."));
    const std::vector<Package>& packages = series.packages;
    if (!BeginFittedTable("##mdbavail",
                          {{Tr("Version"), 0, 1.0f, Widest(packages, [](const Package& p) { return p.label; }) + ChecksumRoom()},
                           {Tr("Date"), 0, 1.0f, Widest(packages, [](const Package& p) { return p.date; })},
                           {"", 150, 1, InstallColumn(Tr("Install"))}},
                          packages.size()))
        return;
    PackageRows(packages, Tr("Install"), All, [](const Package& package) {
        ImGui::TextUnformatted(package.label.c_str());
        ChecksumMark(package);
        NextMuted(package.date);
    });
}

void TabPhpMyAdmin() {
    const UiState& state = State();
    SectionTitle(Tr("Installed"));
    if (state.phpMyAdminVersion.empty()) {
        MutedText("%s", Tr("phpMyAdmin is not installed."));
    } else {
        ImGui::TextUnformatted(Format(Tr("phpMyAdmin %s"), state.phpMyAdminVersion.c_str()).c_str());
        WrappedText(WideToUtf8(PhpMyAdminDir()).c_str());
        if (Button(ui::icon::kSettings, Tr("Regenerate config.inc.php"), "pmacfg")) {
            std::string error;
            if (WritePhpMyAdminConfig(&error)) Toast(Tr("config.inc.php regenerated"), false);
            else Toast(error, true);
        }
        Tooltip(Tr("Uses the MySQL port and root password stored by Zerva"));
    }
    AvailableTitle(installer::Endpoint::PhpMyAdminVersions, nullptr);
    installer::RequestCatalog("phpmyadmin", false);
    const CatalogEntry& catalog = FrameCatalog("phpmyadmin");
    if (!catalog.loaded) return CatalogStatusRow(catalog, "phpmyadmin");
    const std::vector<Package>& packages = catalog.packages;
    const char* installText = state.phpMyAdminVersion.empty() ? Tr("Install") : Tr("Install / replace");
    if (!BeginFittedTable("##pmaavail",
                          {{Tr("Version"), 0, 1.0f, Widest(packages, [](const Package& p) { return p.label; })},
                           {Tr("Date"), 0, 1.0f, Widest(packages, [](const Package& p) { return p.date; })},
                           {Tr("Compatibility"), 0, 1.2f, Widest(packages, [](const Package& p) { return p.detail; })},
                           {"", 150, 1, InstallColumn(installText)}},
                          packages.size()))
        return;
    PackageRows(packages, installText, All, [](const Package& package) {
        ImGui::TextUnformatted(package.label.c_str());
        NextMuted(package.date);
        NextMuted(package.detail);
    });
}

}  // namespace ui

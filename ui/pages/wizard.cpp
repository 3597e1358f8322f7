// ui/pages/wizard.cpp: the install wizard ("###wizard"): the recommended Apache, PHP, MariaDB and
// phpMyAdmin from the catalogs, installed in one step; the frame starts the servers once the
// installer is idle. Opens in its turn among the window's dialogs.
#include <algorithm>
#include <optional>

#include "control/installer.h"
#include "core/config.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/database/data_dir.h"
#include "ui/confirm.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/pages/components.h"
#include "ui/pages/pages.h"
#include "ui/pages/rows.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

enum Line { kApache, kPhp, kMariaDb, kPhpMyAdmin, kLineCount };

struct Candidates {
    std::optional<Package> found[kLineCount];  // PHP: the chosen one of `php`
    std::vector<Package> php;
    bool installed[kLineCount] = {};
    bool loading = false;                       // a catalog of the wizard has not finished yet
    std::string sites[kLineCount];
};

std::optional<Package> First(const CatalogEntry& entry, int32_t arch = 0) {
    for (const Package& package : entry.packages)
        if (arch == 0 || package.arch == arch) return package;
    return std::nullopt;
}

Candidates FindCandidates() {
    const UiState& state = ui::State();
    ui::ComponentsPageCache& cache = ui::ComponentsCache();
    Candidates c;
    const char* keys[] = {"apache", "php:releases", "mariadb", "phpmyadmin"};
    for (const char* key : keys) installer::RequestCatalog(key, false);
    const CatalogEntry& apache = ui::FrameCatalog("apache");
    const CatalogEntry& php = ui::FrameCatalog("php:releases");
    const CatalogEntry& majors = ui::FrameCatalog("mariadb");
    const CatalogEntry& phpMyAdmin = ui::FrameCatalog("phpmyadmin");
    c.loading = ui::CatalogPending(apache) || ui::CatalogPending(php) || ui::CatalogPending(majors) ||
                ui::CatalogPending(phpMyAdmin);

    c.found[kApache] = First(apache, 2);
    const int32_t arch = ui::PhpTargetArchitecture(state);
    for (const Package& package : php.packages)
        if (package.arch == arch) c.php.push_back(package);
    if (!c.php.empty() && !cache.wizardPhpChosen) {
        cache.wizardPhpChosen = true;
        cache.wizardPhp = ui::ProposedPhpCandidate(c.php, cache.wizardPhp);
    }
    if (!c.php.empty()) {
        cache.wizardPhp = std::clamp(cache.wizardPhp, 0, int(c.php.size()) - 1);
        c.found[kPhp] = c.php[size_t(cache.wizardPhp)];
    }
    const int major = ui::DefaultMariaDbMajor(majors.packages);
    if (major >= 0) {
        const std::string key = "mariadb:" + majors.packages[size_t(major)].version;
        installer::RequestCatalog(key, false);
        const CatalogEntry& series = ui::FrameCatalog(key);
        c.loading = c.loading || ui::CatalogPending(series);
        c.found[kMariaDb] = First(series);
    }
    c.found[kPhpMyAdmin] = First(phpMyAdmin);

    c.installed[kApache] = !state.apaches.empty();
    c.installed[kPhp] = !state.phps.empty();
    c.installed[kMariaDb] = !state.dbs.empty();
    c.installed[kPhpMyAdmin] = !state.phpMyAdminVersion.empty();
    c.sites[kApache] = ui::CatalogSite(installer::Endpoint::ApachePage);
    c.sites[kPhp] = ui::CatalogSite(installer::Endpoint::PhpReleases);
    c.sites[kMariaDb] = ui::CatalogSite(installer::Endpoint::MariaDbApi);
    c.sites[kPhpMyAdmin] = ui::CatalogSite(installer::Endpoint::PhpMyAdminVersions);
    return c;
}

bool Installable(const Candidates& c, int line) { return c.found[line] && !c.installed[line]; }

constexpr const char* kNames[] = {"Apache", "PHP", "MariaDB", "phpMyAdmin"};

// Where the status column starts: after the checkbox and the widest name in the bold font.
float StatusColumn() {
    ImGui::PushFont(ui::Fonts()[ui::kFontBold]);
    float widest = 0;
    for (const char* name : kNames) widest = std::max(widest, ImGui::CalcTextSize(name).x);
    ImGui::PopFont();
    const ImGuiStyle& style = ImGui::GetStyle();
    return ImGui::GetCursorPosX() + ImGui::GetFrameHeight() + style.ItemInnerSpacing.x + widest + 3 * style.ItemSpacing.x;
}

void WizardLine(Candidates& c, int line, float statusX) {
    const float s = ui::Scale();
    ui::ComponentsPageCache& cache = ui::ComponentsCache();
    ImGui::PushID(line);
    const bool usable = Installable(c, line);
    bool unchecked = false;
    ImGui::BeginDisabled(!usable);
    ImGui::Checkbox("##c", usable ? &cache.wizardChecks[line] : &unchecked);
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::PushFont(ui::Fonts()[ui::kFontBold]);
    ImGui::TextUnformatted(kNames[line]);
    ImGui::PopFont();
    ImGui::SameLine(statusX);
    if (c.installed[line]) {
        ui::ColoredText(ui::SuccessColor(), "%s %s", ui::icon::kCheck, Tr("already installed"));
    } else if (!c.found[line]) {
        if (c.loading) ui::Spinner();
        else ui::ColoredText(ui::DangerColor(), "%s", Tr("unavailable (no Internet connection?)"));
    } else if (line == kPhp) {
        std::vector<std::string> labels;
        for (const Package& package : c.php) labels.push_back("PHP " + package.version);
        ui::Dropdown("##phpc", &cache.wizardPhp, labels, 260 * s);
    } else {
        ImGui::TextUnformatted(c.found[line]->label.c_str());
    }
    // Right-aligned after the status, or under it when a long status (a translation) reaches it.
    const float site = ImGui::CalcTextSize(c.sites[line].c_str()).x;
    ui::SameLineIfFits(site);
    ImGui::SetCursorPosX(ui::ContentRightX() - site);
    ui::MutedText("%s", c.sites[line].c_str());
    ImGui::PopID();
}

// The first initialization of a data folder makes a random root password unless zerva.ini already
// stores one, so the published default is never the password to name.
std::string DatabaseAccountNote() {
    if (!Config::Instance().Has(setting::kMysqlRootPassword))
        return Tr("MySQL user: root. Its password is made at the first start and shown on the MySQL page. About 150 "
                  "MB will be downloaded.");
    const std::string password = GetMysqlRootPassword();
    return Format(Tr("MySQL user: root / password: %s (you can change it on the MySQL page). About 150 MB will be "
                     "downloaded."),
                  password.empty() ? Tr("(empty)") : password.c_str());
}

void Close() {
    ui::State().wizardRequested = false;
    ImGui::CloseCurrentPopup();
}

}  // namespace

namespace ui {

int ProposedPhpCandidate(const std::vector<Package>& candidates, int current) {
    if (candidates.empty()) return current;
    const std::string newest = VersionMajorMinor(candidates.front().version);
    for (size_t i = 1; i < candidates.size(); ++i)
        if (VersionMajorMinor(candidates[i].version) != newest) return int(i);
    return current;
}

void InstallWizard() {
    UiState& state = State();
    if (!state.wizardRequested) return;
    // The catalogs load while the wizard waits for another dialog to close.
    Candidates c = FindCandidates();
    if (!OpenDialogInTurn("###wizard")) return;
    const float s = Scale();
    ImGui::SetNextWindowSize(ImVec2(640 * s, 0));
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    const std::string title = std::string(Tr("Install the servers")) + "###wizard";
    if (!ImGui::BeginPopupModal(title.c_str(), nullptr, ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings))
        return;
    WrappedText(Tr("Zerva downloads the official Windows builds over HTTPS and configures them in its own folder: "
                   "nothing is installed in Windows, the Zerva folder stays portable."));
    ImGui::Spacing();
    const float statusX = StatusColumn();
    for (int line = 0; line < kLineCount; ++line) WizardLine(c, line, statusX);
    ImGui::Spacing();
    WrappedText(DatabaseAccountNote().c_str());
    ImGui::Spacing();
    ImGui::Separator();
    ImGui::Spacing();

    ComponentsPageCache& cache = ComponentsCache();
    bool any = false;
    for (int line = 0; line < kLineCount; ++line) any = any || (cache.wizardChecks[line] && Installable(c, line));
    const ImVec2 size(140 * s, 0);
    ImGui::SetCursorPosX(ContentRightX() - 2 * size.x - ImGui::GetStyle().ItemSpacing.x);
    if (AccentButton(ui::icon::kDownload, Tr("Install"), "wz_ok", size, any)) {
        for (int line = 0; line < kLineCount; ++line)
            if (cache.wizardChecks[line] && Installable(c, line)) installer::Install(*c.found[line]);
        state.startAfterInstall = true;
        state.page = page::kComponents;
        Close();
    }
    ImGui::SameLine();
    if (Button(nullptr, Tr("Later"), "wz_cancel", size) || TakeEscape()) Close();
    ImGui::EndPopup();
}

}  // namespace ui

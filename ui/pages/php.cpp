// ui/pages/php.cpp: the PHP page's frame (version choice, warnings, configure flow, tab bar),
// its cache and the rules behind the editors. The tabs are in php_tabs.cpp.
#include "ui/pages/php.h"

#include <algorithm>

#include "control/start.h"
#include "core/files.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "ui/icons.h"
#include "ui/pages/pages.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

ui::PhpPageCache g_cache;

void VersionChoice(const PhpInstall* current) {
    const UiState& state = ui::State();
    std::vector<std::string> items;
    int selected = -1;
    for (const PhpInstall& build : state.phps) {
        if (current && build.name == current->name) selected = int(items.size());
        items.push_back(ui::PhpVersionItem(build, state.currentApache));
    }
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(Tr("Version"));
    ImGui::SameLine();
    if (!ui::Dropdown("##phpv", &selected, items, 460 * ui::Scale())) return;
    ui::SwitchBuild(Comp::Php, state.phps[size_t(selected)].name);
}

void ConfigureFlow(const PhpInstall& build) {
    ui::Callout(ui::icon::kInfo,
                Tr("This version is not configured yet. Zerva creates php_zerva.ini from an official template "
                   "(extension_dir, sessions, uploads and the common extensions)."),
                ui::AccentColor());
    const std::vector<std::string>& templates = ui::PhpPageTemplates(build);
    if (templates.empty()) return;
    ImGui::Spacing();
    ui::PhpCache().templateChoice = std::clamp(ui::PhpCache().templateChoice, 0, int(templates.size()) - 1);
    ui::Dropdown("##base0", &ui::PhpCache().templateChoice, templates, 280 * ui::Scale());
    ImGui::SameLine();
    if (!ui::AccentButton(ui::icon::kCheck, Tr("Configure"), "configure")) return;
    std::string error;
    if (!BuildPhpTemplate(build, templates[size_t(ui::PhpCache().templateChoice)], error)) {
        ui::Toast(error, true);
        return;
    }
    ui::RefreshInstalls(true);
    ui::Toast(Tr("PHP configured"), false);
}

// The cache follows the current build, and its template's write time while nothing is pending.
void FollowTemplate(const PhpInstall& build) {
    if (g_cache.buildName != build.name) return ui::LoadPhpPageCache(build);
    if (!g_cache.extensionEdits.empty() || !g_cache.settingEdits.empty()) return;
    if (FileWriteTime(PhpTemplatePath(build)) != g_cache.templateTime) ui::LoadPhpPageCache(build);
}

}  // namespace

namespace ui {

PhpPageCache& PhpCache() { return g_cache; }

const std::vector<std::string>& PhpPageTemplates(const PhpInstall& build) {
    const int32_t generation = State().generation;
    if (g_cache.templatesBuild != build.name || g_cache.templatesGeneration != generation) {
        g_cache.templates = ListPhpIniTemplates(build);
        g_cache.templatesBuild = build.name;
        g_cache.templatesGeneration = generation;
    }
    return g_cache.templates;
}

void PagePhp() {
    const UiState& state = State();
    if (state.phps.empty()) {
        Callout(ui::icon::kDownload, Tr("No PHP version installed."), AccentColor());
        ImGui::Spacing();
        if (AccentButton(ui::icon::kDownload, Tr("Install PHP"), "inst_php")) State().page = page::kComponents;
        return;
    }
    const std::optional<PhpInstall> current = state.currentPhp;
    VersionChoice(current ? &*current : nullptr);
    if (!current) return;
    ImGui::Spacing();
    const std::string warning = PhpBuildWarning(*current, state.currentApache);
    if (!warning.empty()) {
        Callout(ui::icon::kError, warning.c_str(), WarningColor());
        ImGui::Spacing();
    }
    if (!current->configured) return ConfigureFlow(*current);

    FollowTemplate(*current);
    if (!ImGui::BeginTabBar("##phptabs")) return;
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kPuzzle, Tr("Extensions"), "tab_ext").c_str())) {
        TabExtensions(*current);
        ImGui::EndTabItem();
    }
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kSettings, Tr("Settings"), "tab_set").c_str())) {
        TabSettings(*current);
        ImGui::EndTabItem();
    }
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kList, Tr("Files"), "tab_files").c_str())) {
        TabPhpFiles(*current);
        ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
}

void LoadPhpPageCache(const PhpInstall& build) {
    g_cache.buildName = build.name;
    g_cache.templateTime = FileWriteTime(PhpTemplatePath(build));
    g_cache.extensions = ListPhpExtensions(build);
    g_cache.extensionEdits.clear();
    g_cache.settingEdits.clear();
    g_cache.values.clear();
    g_cache.initialExists = PathExists(PhpInitialIniPath(build));
    if (g_cache.selectedExtension >= int(g_cache.extensions.size())) g_cache.selectedExtension = -1;
    // One read of the template for all rows; an unreadable one leaves every directive absent.
    std::vector<std::string> lines;
    if (!ReadLines(PhpTemplatePath(build), lines)) lines.clear();
    for (const PhpSetting& row : PhpSettingsTable()) g_cache.values[row.key] = FindDirectiveValue(lines, row.key);
}

void ReloadPhpPage(const PhpInstall& build, const std::string& toast) {
    if (const std::optional<PhpInstall> found = FindPhp(build.name)) LoadPhpPageCache(*found);
    Toast(toast, false);
    RestartToApply(Comp::Apache);
}

bool IniTruthy(std::string_view value) {
    const std::string text = ToLower(Trim(value));
    return text == "on" || text == "1" || text == "true" || text == "yes";
}

// ---- Rules behind the drawing ----

bool ArchitecturesDiffer(int32_t a, int32_t b) { return a != 0 && b != 0 && a != b; }

PhpFit PhpFitWith(const PhpInstall& build, const std::optional<ApacheInstall>& apache) {
    if (build.arch == 0) return PhpFit::NotAProgram;
    if (build.apacheDll.empty()) return PhpFit::Nts;
    if (!apache) return PhpFit::Usable;
    if (apache->arch == 0) return PhpFit::ApacheNotAProgram;
    return ArchitecturesDiffer(build.arch, apache->arch) ? PhpFit::OtherArchitecture : PhpFit::Usable;
}

std::string PhpFitMark(const PhpInstall& build, const std::optional<ApacheInstall>& apache, const char* incompatible) {
    switch (PhpFitWith(build, apache)) {
        case PhpFit::NotAProgram: return std::string("  - ") + Tr("not a valid Windows program");
        case PhpFit::Nts: return "  - NTS";
        case PhpFit::OtherArchitecture: return std::string("  - ") + incompatible;
        default: return {};
    }
}

std::string PhpVersionItem(const PhpInstall& build, const std::optional<ApacheInstall>& apache) {
    return PhpInstallLabel(build) + "   [" + build.name + "]" + PhpFitMark(build, apache, Tr("incompatible with Apache"));
}

std::string PhpBuildWarning(const PhpInstall& build, const std::optional<ApacheInstall>& apache) {
    switch (PhpFitWith(build, apache)) {
        case PhpFit::NotAProgram: return NotAProgramText(build);
        case PhpFit::Nts:
            return Tr("This build has no Apache module (php*apache2_4.dll): it is a Non Thread Safe build. Install "
                      "the Thread Safe build from the Components page.");
        case PhpFit::ApacheNotAProgram: return NotAProgramText(*apache);
        case PhpFit::OtherArchitecture:
            return Format(Tr("This PHP build is %s but Apache is %s: Apache cannot load it. Choose another version "
                             "or install the right build."),
                          ArchName(build.arch), ArchName(apache->arch));
        default: return {};
    }
}

void NotePhpSettingEdit(PhpPageCache& cache, const std::string& key, const std::string& value) {
    const auto found = cache.values.find(key);
    const std::optional<std::string> inFile = found == cache.values.end() ? std::nullopt : found->second;
    if (inFile ? value == *inFile : value.empty()) cache.settingEdits.erase(key);
    else cache.settingEdits[key] = value;
}

void NotePhpExtensionEdit(PhpPageCache& cache, const PhpExtension& extension, bool enable) {
    if (enable == extension.enabled) cache.extensionEdits.erase(extension.name);
    else cache.extensionEdits[extension.name] = enable;
}

std::vector<std::string> PhpEnumItems(const char* choices, const std::string& value, int* selected) {
    std::vector<std::string> items = Split(choices, '|');
    *selected = -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (EqualsIgnoreCase(items[i], value)) *selected = int(i);
    if (value.empty()) {
        items.insert(items.begin(), Tr("(default)"));
        *selected = 0;
    } else if (*selected < 0) {
        items.push_back(value);
        *selected = int(items.size()) - 1;
    }
    return items;
}

}  // namespace ui

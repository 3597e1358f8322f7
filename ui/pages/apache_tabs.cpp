// ui/pages/apache_tabs.cpp: the Modules and Files tabs of the Apache page and the configuration
// test job (declared in apache.h).
#include <algorithm>

#include "control/monitor.h"
#include "control/server.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/ssl_cert.h"
#include "stack/help_tables.h"
#include "stack/php/builds.h"
#include "ui/confirm.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/imgui_compat.h"
#include "ui/pages/apache.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// The template's line of the PHP module, filled in per PHP build when httpd.conf is written.
constexpr const char* kPhpModuleName = "{PHPMODULENAME}";

std::string ShownModuleName(const ModuleLine& module) {
    return module.name == kPhpModuleName ? Tr("PHP (selected version)") : module.name;
}

void ModuleList(float width, float height) {
    ApachePageCache& cache = ui::ApacheCache();
    ImGui::BeginChild("##modlist", ImVec2(width, height), ui::compat::kChildBorders);
    auto& modules = cache.document.modules;
    for (size_t i = 0; i < modules.size(); ++i) {
        const std::string shown = ShownModuleName(modules[i]);
        if (!cache.moduleFilter.empty() && !ContainsIgnoreCase(shown, cache.moduleFilter)) continue;
        ImGui::PushID(int(i));
        if (ImGui::Checkbox("##on", &modules[i].enabled)) cache.unsaved = true;
        ImGui::SameLine();
        if (ImGui::Selectable(shown.c_str(), cache.selectedModule == int32_t(i))) cache.selectedModule = int32_t(i);
        ImGui::PopID();
    }
    ImGui::EndChild();
}

void ModuleDescription(float height) {
    ApachePageCache& cache = ui::ApacheCache();
    ui::BeginPane("##moddesc", 0, height);
    const auto& modules = cache.document.modules;
    // Wrapped, as the description: a narrow pane would cut these lines off.
    ImGui::PushTextWrapPos(0.0f);
    if (cache.selectedModule < 0 || size_t(cache.selectedModule) >= modules.size()) {
        ui::MutedText("%s", Tr("Select a module to read its description."));
        ImGui::PopTextWrapPos();
        ImGui::EndChild();
        return;
    }
    const ModuleLine& module = modules[size_t(cache.selectedModule)];
    ImGui::PushFont(ui::Fonts()[ui::kFontBold]);
    ImGui::TextUnformatted(module.name.c_str());
    ImGui::PopFont();
    ui::WrappedText(module.path.c_str());
    ImGui::Spacing();
    const char* help = ApacheModuleHelpTable(module.name);
    ImGui::TextUnformatted(help ? help : Tr("No description available."));
    ImGui::PopTextWrapPos();
    if (module.name != kPhpModuleName) {
        ImGui::Spacing();
        const std::string link = ApacheModuleHelp(module.name);
        if (ui::Link(link.c_str(), "modlink")) ui::OpenUrl(link);  // wrapped where the pane is narrower
    }
    ImGui::EndChild();
}

void RestoreInitialConfiguration(const std::string& buildName) {
    const auto build = FindApache(buildName);
    if (!build) return;
    if (!ResetApacheTemplate(*build)) {
        LogError(console::kApache, "cannot restore " + WideToUtf8(HttpdTemplatePath(*build)) + " from " +
                                       WideToUtf8(HttpdInitialConfPath(*build)));
        ui::Toast(Tr("Cannot restore the initial configuration"), true);
        return;
    }
    ui::LoadApachePageCache(*build);
    ui::Toast(Tr("Initial configuration restored"), false);
    ui::RestartToApply(Comp::Apache);
}

}  // namespace

namespace ui {

void TabModules() {
    if (TemplateFaultNotice()) return;
    ApachePageCache& cache = ApacheCache();
    const float s = Scale();
    if (AccentButton(ui::icon::kSave, Tr("Save and apply"), "modsave", ImVec2(0, 0), cache.unsaved && !State().server.busy))
        (void)SaveApacheConfig();
    SameLineIfFits(ButtonWidth(ui::icon::kUndo, Tr("Discard changes")));
    if (Button(ui::icon::kUndo, Tr("Discard changes"), "modundo", ImVec2(0, 0), cache.unsaved)) DiscardApacheEdits();
    (void)InputText("##modfilter", &cache.moduleFilter, 260 * s, Tr("Filter..."));
    const auto& modules = cache.document.modules;
    const long enabled = std::count_if(modules.begin(), modules.end(), [](const ModuleLine& m) { return m.enabled; });
    ImGui::SameLine(0, 16 * s);
    ImGui::AlignTextToFramePadding();
    MutedText("%s", Format(Tr("%d / %d modules enabled"), int(enabled), int(modules.size())).c_str());

    const float height = std::max(ImGui::GetContentRegionAvail().y, 320 * s);
    // Wide enough for the longest name when the window allows, never more than half of it.
    float widest = 0;
    for (const ModuleLine& module : modules) widest = std::max(widest, ImGui::CalcTextSize(ShownModuleName(module).c_str()).x);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float needed = widest + ImGui::GetFrameHeight() + 3 * style.ItemSpacing.x + 2 * style.WindowPadding.x +
                         style.ScrollbarSize;
    const float available = ImGui::GetContentRegionAvail().x;
    const float listWidth = std::min(std::max(needed, available * 0.4f), available * 0.55f);
    ModuleList(listWidth, height);
    ImGui::SameLine();
    ModuleDescription(height);
}

void TabFiles(const ApacheInstall& build) {
    const float s = Scale();
    FileRow(Tr("Template (edit this one)"), HttpdTemplatePath(build));
    FileRow(Tr("Generated configuration"), HttpdConfPath(build));
    FileRow(Tr("Error log"), ApacheErrorLogPath(build));
    FileRow(Tr("Access log"), ApacheAccessLogPath(build));
    ImGui::Dummy(ImVec2(0, 8 * s));

    const std::string name = build.name;
    if (Button(ui::icon::kEdit, Tr("Edit httpd_zerva.conf"), "edit_tpl")) EditTextFile(HttpdTemplatePath(build));
    SameLineIfFits(ButtonWidth(ui::icon::kFolder, Tr("conf folder")));
    if (Button(ui::icon::kFolder, Tr("conf folder"), "open_conf")) OpenFolder(build.dir + L"\\conf");
    SameLineIfFits(ButtonWidth(ui::icon::kFolder, Tr("logs folder")));
    if (Button(ui::icon::kFolder, Tr("logs folder"), "open_logs")) OpenFolder(build.dir + L"\\logs");
    SameLineIfFits(ButtonWidth(ui::icon::kCheck, Tr("Test the configuration")));
    if (Button(ui::icon::kCheck, Tr("Test the configuration"), "test_conf"))
        Server::Instance().Enqueue(Tr("Testing the Apache configuration..."), [name] { TestApacheConfigJob(name); }, "");

    ImGui::Dummy(ImVec2(0, 8 * s));
    if (Button(ui::icon::kShield, Tr("Regenerate the SSL certificate"), "regen_ssl")) {
        // The old pair is set aside on the worker, not deleted here: without a new one HTTPS
        // would be gone at the next start.
        Server::Instance().Enqueue(
            Tr("Generating the SSL certificate..."),
            [name] {
                if (const auto found = FindApache(name)) (void)RegenerateSslCertificate(*found);
            },
            "");
    }
    SameLineIfFits(ButtonWidth(ui::icon::kUndo, Tr("Restore the initial configuration")));
    if (DangerButton(ui::icon::kUndo, Tr("Restore the initial configuration"), "restore", ImVec2(0, 0),
                     PathExists(HttpdInitialConfPath(build)))) {
        RequestConfirm(Tr("Restore the initial configuration"),
                       Tr("Your virtual hosts and module changes will be lost. Continue?"), Tr("Restore"), true,
                       [name] { RestoreInitialConfiguration(name); });
    }
}

void TestApacheConfigJob(const std::string& buildName) {
    const auto build = FindApache(buildName);
    if (!build) return;
    std::optional<PhpInstall> php = CurrentPhp();
    if (php && (php->apacheDll.empty() || php->arch != build->arch)) php.reset();
    std::string error;
    if (php && !WritePhpIni(*php, HttpdConfMacros(*build, php), error)) LogError(console::kPhp, error);
    if (!WriteHttpdConf(*build, php, error)) {
        LogError(console::kApache, error);
        return;
    }
    std::string output;
    const bool passed = TestApacheConfig(*build, php, output);
    for (const std::string& line : SplitLines(output)) {
        if (Trim(line).empty()) continue;
        if (passed) LogSuccess(console::kApache, line);
        else LogError(console::kApache, line);
    }
}

}  // namespace ui

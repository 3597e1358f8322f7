#include "ui/pages/apache.h"

#include <algorithm>
#include <set>

#include "control/server.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/httpd_conf.h"
#include "ui/confirm.h"
#include "ui/icons.h"
#include "ui/imgui_compat.h"
#include "ui/pages/pages.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/ui.h"
#include "ui/widgets.h"

namespace {

// A build whose template is missing gets one attempt per run: a failing write would otherwise
// flood the console, and a successful one runs openssl.exe, which must not block the frame.
void QueueTemplateBuild(const ApacheInstall& build) {
    static std::set<std::wstring> tried;
    if (!tried.insert(build.dir).second) return;
    const std::string name = build.name;
    Server::Instance().Enqueue(
        Tr("Creating httpd_zerva.conf..."),
        [name] {
            const auto found = FindApache(name);
            if (!found || PathExists(HttpdTemplatePath(*found))) return;
            std::string error;
            if (!BuildApacheTemplate(*found, error)) LogError(console::kApache, error);
        },
        "");
}

// The cache follows the current build, and the template on disk while nothing is unsaved.
void ReloadWhenChanged(const ApacheInstall& build) {
    ApachePageCache& cache = ui::ApacheCache();
    const std::wstring path = HttpdTemplatePath(build);
    const bool sameBuild = cache.buildName == build.name && cache.templatePath == path;
    if (sameBuild && (cache.unsaved || FileWriteTime(path) == cache.templateTime)) return;
    ui::LoadApachePageCache(build);
    // The template made on the worker appeared: the build list learns it is configured.
    if (!build.configured && cache.templateTime != 0) ui::RefreshInstalls(true);
}

void VersionRow(const ApacheInstall& current) {
    UiState& state = ui::State();
    const float s = ui::Scale();
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(Tr("Version"));
    ImGui::SameLine();
    std::vector<std::string> labels;
    int selected = -1;
    for (const ApacheInstall& build : state.apaches) {
        if (EqualsIgnoreCase(build.name, current.name)) selected = int(labels.size());
        labels.push_back(ApacheInstallLabel(build) + "   [" + build.name + "]");
    }
    if (ui::Dropdown("##apv", &selected, labels, 380 * s)) {
        ui::SwitchBuild(Comp::Apache, state.apaches[size_t(selected)].name);
    }
    ImGui::SameLine(0, 16 * s);
    const bool running = state.server.apache.running;
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() + (ImGui::GetFrameHeight() - ImGui::GetTextLineHeight() - 6 * s) / 2);
    ui::Badge(running ? Tr("Running") : Tr("Stopped"), running ? ui::SuccessColor() : ImGui::GetStyle().Colors[ImGuiCol_Text]);
}

bool SaveNow(const std::function<void()>& afterSave) {
    ApachePageCache& cache = ui::ApacheCache();
    ui::ApplyOtherDirectives(cache.document.vhosts, cache.directiveTexts);
    if (!cache.document.Save()) {
        ui::Toast(Tr("Cannot save the Apache configuration"), true);
        return false;
    }
    cache.unsaved = false;
    if (const auto build = FindApache(cache.buildName)) ui::LoadApachePageCache(*build);
    ui::Toast(Tr("Apache configuration saved"), false);
    ui::RestartToApply(Comp::Apache);
    if (afterSave) afterSave();
    return true;
}

}  // namespace

namespace ui {

ApachePageCache& ApacheCache() {
    static ApachePageCache cache;
    return cache;
}

void LoadApachePageCache(const ApacheInstall& build) {
    ApachePageCache& cache = ApacheCache();
    cache.buildName = build.name;
    cache.templatePath = HttpdTemplatePath(build);
    (void)cache.document.Load(cache.templatePath);   // a missing template shows as an empty document
    cache.templateTime = FileWriteTime(cache.templatePath);
    cache.unsaved = false;
    const int32_t hosts = int32_t(cache.document.vhosts.size());
    cache.selectedHost = hosts == 0 ? -1 : std::clamp(cache.selectedHost, 0, hosts - 1);
    cache.mainPort = cache.portEdit = MainHttpPort(build);
    // As httpd.exe reads the file: an Include in a host may make it an HTTPS one.
    std::string text;
    (void)ReadWholeFile(cache.templatePath, text);
    cache.hostHttps = HttpsHosts(cache.document, ReadTemplateAsHttpd(build, State().currentPhp, text));
    cache.directiveTexts.clear();
    for (const VirtualHost& host : cache.document.vhosts) cache.directiveTexts.push_back(Join(host.otherLines, "\n"));
}

bool SaveApacheConfig(std::function<void()> afterSave) {
    ApachePageCache& cache = ApacheCache();
    // Written back, a misread template would have its hosts nested in one another.
    if (cache.document.blockFault) {
        Toast(BlockFaultMessage(*cache.document.blockFault), true);
        return false;
    }
    // Apache would refuse the file, and the restart that follows a save would take it down.
    if (const auto problem = FindUnwritableField(cache.document.vhosts)) {
        cache.selectedHost = int32_t(problem->host);
        Toast(UnwritableFieldMessage(*problem, cache.document.vhosts[problem->host]), true);
        return false;
    }
    // The page's own "Edit" button opens this file in an editor: a change saved there since the
    // load would be overwritten without a word by the whole in-memory document.
    if (cache.document.loaded && FileWriteTime(cache.document.path) != cache.templateTime) {
        RequestConfirm(Tr("httpd_zerva.conf was changed"),
                       Tr("httpd_zerva.conf was changed outside this page since it was loaded. Replace those "
                          "changes with the page's edits?"),
                       Tr("Replace"), true, [afterSave = std::move(afterSave)] { (void)SaveNow(afterSave); });
        return false;
    }
    return SaveNow(afterSave);
}

bool TemplateFaultNotice() {
    const ApachePageCache& cache = ApacheCache();
    if (!cache.document.blockFault) return false;
    const std::string message = BlockFaultMessage(*cache.document.blockFault);
    Callout(ui::icon::kError, message.c_str(), DangerColor());
    ImGui::Spacing();
    WrappedText(Tr("Nothing can be saved from this page until then. Edit the file, mend that block and save it: "
                   "the page reloads it."));
    ImGui::Spacing();
    if (Button(ui::icon::kEdit, Tr("Edit httpd_zerva.conf"), "edit_mend")) EditTextFile(cache.templatePath);
    return true;
}

void BeginPane(const char* id, float width, float height, bool autoHeight) {
    const float s = Scale();
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(12 * s, 10 * s));
    ImGuiChildFlags flags = compat::kChildBorders | ImGuiChildFlags_AlwaysUseWindowPadding;
    if (autoHeight) flags |= ImGuiChildFlags_AutoResizeY;
    ImGui::BeginChild(id, ImVec2(width, height), flags);
    ImGui::PopStyleVar();
}

void DiscardApacheEdits() {
    if (const auto build = FindApache(ApacheCache().buildName)) LoadApachePageCache(*build);
}

void PageApache() {
    UiState& state = State();
    const float s = Scale();
    if (!state.currentApache) {
        Callout(ui::icon::kInfo, Tr("No Apache version installed."), AccentColor());
        ImGui::Spacing();
        if (AccentButton(ui::icon::kDownload, Tr("Install Apache"), "inst_apache")) SetPage(page::kComponents);
        return;
    }
    // A copy: a forced refresh below replaces the state's build while this frame still uses it.
    const ApacheInstall build = *state.currentApache;
    if (!build.configured) QueueTemplateBuild(build);
    ReloadWhenChanged(build);

    VersionRow(build);
    ImGui::Dummy(ImVec2(0, 4 * s));
    if (!ImGui::BeginTabBar("##apachetabs")) return;
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kWorld, Tr("Virtual hosts"), "tab_vh").c_str())) {
        TabVirtualHosts();
        ImGui::EndTabItem();
    }
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kPuzzle, Tr("Modules"), "tab_mod").c_str())) {
        TabModules();
        ImGui::EndTabItem();
    }
    if (ImGui::BeginTabItem(ComposeLabel(ui::icon::kList, Tr("Files"), "tab_files").c_str())) {
        TabFiles(build);
        ImGui::EndTabItem();
    }
    ImGui::EndTabBar();
}

}  // namespace ui

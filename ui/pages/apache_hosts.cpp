// ui/pages/apache_hosts.cpp: the Virtual hosts tab of the Apache page (declared in apache.h).
// Sections: Actions (site, port); Widths (list, editor, dropdown); Host list and editor pane;
// Editor sections (aliases, folders, directories, access); Tab and editors.
#include <algorithm>
#include <cfloat>

#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/site.h"
#include "stack/apache/site_name.h"
#include "ui/file_dialogs.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/imgui_compat.h"
#include "ui/pages/apache.h"
#include "ui/pages/rows.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// A block whose path is this marker is erased once every block was drawn.
constexpr std::string_view kRemovedBlock = "\x02";

// The access choices: the Require value, then the dropdown label.
constexpr const char* kAccess[][2] = {
    {"{ONLINE_MODE}", "Follow the online / offline mode"},
    {"Require local", "This computer only (Require local)"},
    {"Require all granted", "Everybody (Require all granted)"},
    {"Require all denied", "Nobody (Require all denied)"},
};
constexpr const char* kOptionWords[] = {"FollowSymLinks", "Indexes", "Includes", "MultiViews", "ExecCGI"};
// The least a text field of the host editor is given, in unscaled pixels.
constexpr float kMinFieldWidth = 240;

// ---- Actions ----

void MarkUnsaved() { ui::ApacheCache().unsaved = true; }

bool PortField(const char* id, int32_t* port, float width) {
    ImGui::SetNextItemWidth(width);
    const bool changed = ImGui::InputInt(id, port, 0, 0);
    *port = ui::ClampPort(*port);
    return changed;
}

// Typed characters are lower-cased and anything a site name cannot hold is dropped at once, so
// the field shows the name that will be made.
int SiteNameCallback(ImGuiInputTextCallbackData* data) {
    if (data->EventFlag == ImGuiInputTextFlags_CallbackCharFilter) {
        ImWchar c = data->EventChar;
        if (c >= 'A' && c <= 'Z') data->EventChar = c = ImWchar(c - 'A' + 'a');
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        return allowed ? 0 : 1;
    }
    if (data->EventFlag == ImGuiInputTextFlags_CallbackResize) {
        auto* text = static_cast<std::string*>(data->UserData);
        text->resize(size_t(data->BufTextLen));
        data->Buf = text->data();
    }
    return 0;
}

void CreateSite(const std::string& name) {
    ApachePageCache& cache = ui::ApacheCache();
    if (!ui::State().currentApache) return;
    // Planned on the working copy, which the save writes with it, as httpd.exe will read it: a
    // host that answers the name where the site would be served (a catch-all alias, a host of an
    // included file) leaves the site unreached, and nothing is made.
    const std::string text = cache.document.Render();
    ApacheConfig working;
    working.Parse(text);
    const SitePlan plan = PlanSite(working, ReadTemplateAsHttpd(*ui::State().currentApache, ui::State().currentPhp, text), name);
    if (plan.outcome == SitePlan::Outcome::Taken) {
        LogError(console::kApache, plan.message);
        ui::Toast(plan.message, true);
        return;
    }
    const std::wstring folder = WwwDir() + L"\\" + Utf8ToWide(name);
    std::string error;
    if (!EnsureDirectory(folder) || !IsDirectory(folder)) {
        error = "cannot create " + WideToUtf8(folder);
    } else if (ListFiles(folder, "*").empty()) {
        (void)WriteFileAtomic(folder + L"\\index.php", ui::SiteIndexPhp(name), &error);
    }
    if (!error.empty()) {
        LogError(console::kZerva, error);
        ui::Toast(Format(Tr("Cannot create the site %s: %s"), name.c_str(), error.c_str()), true);
        return;
    }
    if (plan.outcome == SitePlan::Outcome::Add) {
        cache.document.vhosts.push_back(plan.host);
        cache.directiveTexts.emplace_back();
        MarkUnsaved();
    }
    (void)ui::SaveApacheConfig([url = plan.url] { ui::Toast(Format(Tr("Site created: %s"), url.c_str()), false); });
}

// Whether Apache serves the host over TLS: as the template was read when loaded, or, for a host
// added since, as its own lines say.
bool IsHttpsHost(const VirtualHost& host) {
    const ApachePageCache& cache = ui::ApacheCache();
    const size_t index = size_t(&host - cache.document.vhosts.data());
    if (index < cache.document.vhosts.size() && index < cache.hostHttps.size()) return cache.hostHttps[index];
    return HasSslEngine(host, cache.document.readState);
}

void ChangeMainPort() {
    ApachePageCache& cache = ui::ApacheCache();
    for (VirtualHost& host : cache.document.vhosts) {
        // HTTPS hosts keep their ports; an address on another port, or kept as written ("*:*"), its own.
        if (!IsHttpsHost(host) && MoveHostPort(host, cache.mainPort, cache.portEdit)) MarkUnsaved();
    }
    (void)ui::SaveApacheConfig();
}

// ---- Widths ----

// A host's row in the list: icon and name, then where it listens.
std::string HostRowLabel(const VirtualHost& host) {
    const std::string name = host.serverName.empty() ? Tr("(default)") : host.serverName;
    return std::string(IsHttpsHost(host) ? ui::icon::kShield : ui::icon::kWorld) + "  " + name;
}

// A host kept as written has no port of its own: its address stands there instead.
std::string HostRowWhere(const VirtualHost& host) {
    return host.port == kNoVhostPort ? host.address : Format(":%d", host.port);
}

// Wide enough for the longest row (at least 270), so no name is cut where the window allows.
float HostListWidth() {
    const ImGuiStyle& style = ImGui::GetStyle();
    float widest = 0;
    for (const VirtualHost& host : ui::ApacheCache().document.vhosts)
        widest = std::max(widest, ImGui::CalcTextSize(HostRowLabel(host).c_str()).x + style.ItemSpacing.x +
                                      ImGui::CalcTextSize(HostRowWhere(host).c_str()).x);
    return std::max(270 * ui::Scale(), widest + 2 * style.WindowPadding.x + style.ScrollbarSize);
}

// At least 330, and wide enough for its longest entry (a translation, a Require line of the file).
float WideDropdownWidth(const std::vector<std::string>& labels) {
    return std::max(330 * ui::Scale(), ui::DropdownWidth(labels));
}

std::vector<std::string> AccessLabels() {
    std::vector<std::string> labels;
    for (const auto& [value, label] : kAccess) labels.push_back(Tr(label));
    return labels;
}

// The narrowest editor whose rows all keep their fields readable: the label columns, then the
// widest row of fixed parts (address and port, a folder field with its buttons, the access choice).
float MinEditorWidth() {
    const float s = ui::Scale();
    const ImGuiStyle& style = ImGui::GetStyle();
    // The columns the editors lay out, measured from where a row starts.
    const float start = ImGui::GetCursorPosX();
    const float hostColumn = ui::LabelColumn({Tr("Address / port"), "ServerName", "ServerAlias", "DocumentRoot"}) - start;
    const float blockColumn = 8 * s + ui::LabelColumn({Tr("Folder"), "AllowOverride", "Options", Tr("Access")}) - start;
    const float browse = ui::ButtonWidth(ui::icon::kFolder, Tr("Browse..."));
    const float address = 150 * s + 8 * s + ImGui::CalcTextSize(":").x + 120 * s + 12 * s +
                          ImGui::CalcTextSize("HTTPS").x + 2 * style.FramePadding.x;
    const float folder = kMinFieldWidth * s + style.ItemSpacing.x + browse;
    const float blockFolder = folder + 2 * style.ItemSpacing.x + ImGui::GetFrameHeight() + 12 * s;
    const float access = WideDropdownWidth(AccessLabels());
    const float rows = std::max(hostColumn + std::max(address, folder), blockColumn + std::max(blockFolder, access));
    return rows + 2 * 12 * s + style.ScrollbarSize;
}

// ---- Host list and editor pane ----

void HostList(float width, float height) {
    ApachePageCache& cache = ui::ApacheCache();
    // A name longer than the whole page scrolls sideways rather than being cut.
    ImGui::BeginChild("##vhlist", ImVec2(width, height), ui::compat::kChildBorders, ImGuiWindowFlags_HorizontalScrollbar);
    for (size_t i = 0; i < cache.document.vhosts.size(); ++i) {
        const VirtualHost& host = cache.document.vhosts[i];
        ImGui::PushID(int(i));
        const std::string label = HostRowLabel(host);
        const float rowStart = ImGui::GetCursorPosX();
        const float rowEnd = ui::ContentRightX();
        if (ImGui::Selectable(label.c_str(), cache.selectedHost == int32_t(i))) cache.selectedHost = int32_t(i);
        const std::string where = HostRowWhere(host);
        // Right-aligned: a five-digit port at a fixed column would run past a narrow list.
        const float labelEnd = rowStart + ImGui::CalcTextSize(label.c_str()).x + ImGui::GetStyle().ItemSpacing.x;
        ImGui::SameLine(std::max(labelEnd, rowEnd - ImGui::CalcTextSize(where.c_str()).x));
        ui::MutedText("%s", where.c_str());
        ImGui::PopID();
    }
    ImGui::EndChild();
}

void HostListButtons() {
    ApachePageCache& cache = ui::ApacheCache();
    if (ui::Button(ui::icon::kAdd, Tr("Add"), "vhadd")) {
        VirtualHost host;
        host.serverName = "site.localhost";
        host.port = cache.mainPort;
        host.documentRoot = "{DOCUMENTPATH}";
        cache.document.vhosts.push_back(std::move(host));
        cache.directiveTexts.emplace_back();
        cache.selectedHost = int32_t(cache.document.vhosts.size()) - 1;
        MarkUnsaved();
    }
    ImGui::SameLine();
    const int32_t count = int32_t(cache.document.vhosts.size());
    const bool canRemove = cache.selectedHost >= 0 && cache.selectedHost < count && count >= 2;
    if (ui::Button(ui::icon::kDelete, Tr("Remove"), "vhdel", ImVec2(0, 0), canRemove)) {
        ui::ApplyOtherDirectives(cache.document.vhosts, cache.directiveTexts);
        const size_t index = size_t(cache.selectedHost);
        cache.document.vhosts.erase(cache.document.vhosts.begin() + long(index));
        if (index < cache.directiveTexts.size()) cache.directiveTexts.erase(cache.directiveTexts.begin() + long(index));
        if (index < cache.hostHttps.size()) cache.hostHttps.erase(cache.hostHttps.begin() + long(index));
        // The document writes its loaded hosts in their blocks' places: one fewer was loaded now.
        if (index < cache.document.loadedVhostCount) --cache.document.loadedVhostCount;
        cache.selectedHost = std::min(cache.selectedHost, count - 2);
        MarkUnsaved();
    }
}

void EditorArea(float height, bool autoHeight) {
    ApachePageCache& cache = ui::ApacheCache();
    ui::BeginPane("##vhedit", 0, height, autoHeight);
    const int32_t count = int32_t(cache.document.vhosts.size());
    if (cache.selectedHost < 0 || cache.selectedHost >= count) {
        ImGui::PushTextWrapPos(0.0f);
        ui::MutedText("%s", Tr("Select a virtual host."));
        ImGui::PopTextWrapPos();
        ImGui::EndChild();
        return;
    }
    if (ui::AccentButton(ui::icon::kSave, Tr("Save and apply"), "vhsave", ImVec2(0, 0), cache.unsaved && !ui::State().server.busy))
        (void)ui::SaveApacheConfig();
    ui::SameLineIfFits(ui::ButtonWidth(ui::icon::kUndo, Tr("Discard changes")));
    if (ui::Button(ui::icon::kUndo, Tr("Discard changes"), "vhundo", ImVec2(0, 0), cache.unsaved)) ui::DiscardApacheEdits();
    if (cache.unsaved) {
        ui::SameLineIfFits(ui::ButtonWidth(ui::icon::kEdit, Tr("Unsaved changes")));
        ImGui::AlignTextToFramePadding();
        ui::ColoredText(ui::WarningColor(), "%s %s", ui::icon::kEdit, Tr("Unsaved changes"));
    }
    ImGui::Separator();
    // Discard may have reloaded the document: the selection is checked again.
    const size_t index = size_t(cache.selectedHost);
    if (index < cache.document.vhosts.size()) {
        if (cache.directiveTexts.size() < cache.document.vhosts.size()) cache.directiveTexts.resize(cache.document.vhosts.size());
        ui::VirtualHostEditor(cache.document.vhosts[index], cache.directiveTexts[index]);
    }
    ImGui::EndChild();
}

// ---- Editor sections ----

void AliasTable(VirtualHost& host) {
    const float s = ui::Scale();
    ui::SectionTitle(Tr("Aliases"));
    int removed = -1;
    if (!host.aliases.empty() && ImGui::BeginTable("##aliases", 3, ImGuiTableFlags_SizingStretchProp)) {
        ImGui::TableSetupColumn("url", ImGuiTableColumnFlags_WidthStretch, 1.0f);
        ImGui::TableSetupColumn("path", ImGuiTableColumnFlags_WidthStretch, 2.2f);
        ImGui::TableSetupColumn("del", ImGuiTableColumnFlags_WidthFixed, 34 * s);
        for (size_t i = 0; i < host.aliases.size(); ++i) {
            ImGui::PushID(int(i));
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            if (ui::InputText("##aurl", &host.aliases[i].url, -FLT_MIN, "/url")) MarkUnsaved();
            ImGui::TableNextColumn();
            if (ui::InputText("##apath", &host.aliases[i].path, -FLT_MIN, "{DOCUMENTPATH}/dossier/")) MarkUnsaved();
            ImGui::TableNextColumn();
            if (ui::IconButton(ui::icon::kDelete, "adel", Tr("Remove"))) removed = int(i);
            ImGui::PopID();
        }
        ImGui::EndTable();
    }
    if (removed >= 0) {
        host.aliases.erase(host.aliases.begin() + removed);
        MarkUnsaved();
    }
    if (ui::Button(ui::icon::kAdd, Tr("Add an alias"), "addalias")) {
        host.aliases.push_back({"/alias", "{DOCUMENTPATH}/dossier/"});
        MarkUnsaved();
    }
}

// A folder field and its "Browse..." button (id browseId), which picks a folder in www and stores
// it as a {DOCUMENTPATH} path; `after` is the width kept free right of the button.
void FolderField(const char* field, std::string& path, const char* hint, const char* browseId, const char* title,
                 float after) {
    const float browseWidth = ui::ButtonWidth(ui::icon::kFolder, Tr("Browse..."));
    if (ui::InputText(field, &path, -(browseWidth + ImGui::GetStyle().ItemSpacing.x + after), hint)) MarkUnsaved();
    ImGui::SameLine();
    if (!ui::Button(ui::icon::kFolder, Tr("Browse..."), browseId)) return;
    const std::string chosen = PickFolder(title, WideToUtf8(WwwDir()));
    if (chosen.empty()) return;
    path = ui::ToDocumentPath(chosen);
    MarkUnsaved();
}

void DirectoriesSection(VirtualHost& host) {
    ui::SectionTitle(Tr("Directories"));
    for (size_t i = 0; i < host.directories.size(); ++i) ui::DirectoryBlockEditor(host.directories[i], int(i));
    const auto removed = std::remove_if(host.directories.begin(), host.directories.end(),
                                        [](const DirectoryBlock& block) { return block.path == kRemovedBlock; });
    if (removed != host.directories.end()) {
        host.directories.erase(removed, host.directories.end());
        MarkUnsaved();
    }
    if (ui::Button(ui::icon::kAdd, Tr("Add a directory"), "adddir")) {
        DirectoryBlock block;
        block.path = host.documentRoot.empty() ? "{DOCUMENTPATH}" : host.documentRoot;
        block.allowOverride = "All";
        block.options = "FollowSymLinks Indexes";
        block.require = "{ONLINE_MODE}";
        host.directories.push_back(std::move(block));
        MarkUnsaved();
    }
}

void AccessChoice(DirectoryBlock& block) {
    std::vector<std::string> labels = AccessLabels();
    int current = -1;
    const std::string require = Trim(block.require);
    for (size_t i = 0; i < std::size(kAccess); ++i)
        if (EqualsIgnoreCase(require, kAccess[i][0])) current = int(i);
    // A Require line outside the table stays untouched until another entry is chosen.
    if (current < 0) {
        current = int(labels.size());
        labels.push_back(block.require.empty() ? Tr("(none)") : block.require);
    }
    // A long Require line of the file is cut rather than pushing the row past the editor.
    const float width = std::min(WideDropdownWidth(labels), std::max(330 * ui::Scale(), ImGui::GetContentRegionAvail().x));
    if (ui::Dropdown("##req", &current, labels, width) && size_t(current) < std::size(kAccess)) {
        block.require = kAccess[current][0];
        MarkUnsaved();
    }
}

}  // namespace

namespace ui {

// ---- Tab and editors ----

void TabVirtualHosts() {
    if (TemplateFaultNotice()) return;
    ApachePageCache& cache = ApacheCache();
    const float s = Scale();
    QuickSiteBox();
    ImGui::Dummy(ImVec2(0, 4 * s));

    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(Tr("Main HTTP port"));
    ImGui::SameLine();
    (void)PortField("##mainport", &cache.portEdit, 110 * s);
    SameLineIfFits(ButtonWidth(ui::icon::kCheck, Tr("Change the port")));
    if (Button(ui::icon::kCheck, Tr("Change the port"), "chport", ImVec2(0, 0), cache.portEdit != cache.mainPort)) ChangeMainPort();
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    HelpTooltip(Tr("Changes every non-HTTPS virtual host using the current main port (useful when port 80 is taken "
                   "by another program)."));
    ImGui::Dummy(ImVec2(0, 2 * s));

    const float listWidth = HostListWidth();
    if (ImGui::GetContentRegionAvail().x >= listWidth + ImGui::GetStyle().ItemSpacing.x + MinEditorWidth()) {
        const float height = std::max(ImGui::GetContentRegionAvail().y, 380 * s);
        ImGui::BeginGroup();
        HostList(listWidth, height - ImGui::GetFrameHeightWithSpacing());
        HostListButtons();
        ImGui::EndGroup();
        ImGui::SameLine();
        EditorArea(height, false);
        return;
    }
    // Too narrow for both side by side: the list goes above an editor of the whole width, which
    // grows with its content so the page scrolls as one.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float rows = float(std::clamp<size_t>(cache.document.vhosts.size(), 3, 6));
    HostList(-FLT_MIN, rows * ImGui::GetTextLineHeightWithSpacing() + 2 * style.WindowPadding.y + style.ScrollbarSize);
    HostListButtons();
    EditorArea(0, true);
}

void VirtualHostEditor(VirtualHost& host, std::string& directiveText) {
    const float s = Scale();
    const float column = LabelColumn({Tr("Address / port"), "ServerName", "ServerAlias", "DocumentRoot"});

    RowLabel(Tr("Address / port"), column);
    if (InputText("##vaddr", &host.address, 150 * s, "*")) MarkUnsaved();
    // A host kept as written ("*:*") has no port of its own: a clamped one would write "*:*:1".
    if (host.port != kNoVhostPort) {
        ImGui::SameLine(0, 4 * s);
        ImGui::TextUnformatted(":");
        ImGui::SameLine(0, 4 * s);
        if (PortField("##vport", &host.port, 120 * s)) MarkUnsaved();
    }
    if (IsHttpsHost(host)) {
        if (!SameLineIfFits(ImGui::CalcTextSize("HTTPS").x + 12 * s)) ImGui::SetCursorPosX(column);
        Badge("HTTPS", SuccessColor());
    }

    RowLabel("ServerName", column);
    if (InputText("##vname", &host.serverName, -30 * s, "monsite.localhost")) MarkUnsaved();
    ImGui::SameLine();
    HelpTooltip(Tr("Host name of the site. Names ending with .localhost point to this computer without editing the "
                   "hosts file."));

    RowLabel("ServerAlias", column);
    if (InputText("##valias", &host.serverAlias, -30 * s, "www.monsite.localhost")) MarkUnsaved();
    ImGui::SameLine();
    HelpTooltip(Tr("Other host names, separated by spaces."));

    RowLabel("DocumentRoot", column);
    FolderField("##vroot", host.documentRoot, "{DOCUMENTPATH}/monsite", "vbrowse", Tr("Choose the DocumentRoot folder"), 0);

    ImGui::Dummy(ImVec2(0, 6 * s));
    AliasTable(host);
    ImGui::Dummy(ImVec2(0, 6 * s));
    DirectoriesSection(host);
    ImGui::Dummy(ImVec2(0, 6 * s));
    SectionTitle(Tr("Other directives"));
    ImGui::PushFont(Fonts()[kFontMono]);
    if (InputTextMultiline("##extra", &directiveText, ImVec2(-FLT_MIN, 7 * ImGui::GetTextLineHeightWithSpacing())))
        MarkUnsaved();
    ImGui::PopFont();
}

void DirectoryBlockEditor(DirectoryBlock& block, int index) {
    const float s = Scale();
    ImGui::PushID(index);
    ImGui::Indent(8 * s);
    const std::string header = "  " + block.path + "###dir";
    if (ImGui::CollapsingHeader(header.c_str(), ImGuiTreeNodeFlags_DefaultOpen)) {
        const float column = LabelColumn({Tr("Folder"), "AllowOverride", "Options", Tr("Access")});
        RowLabel(Tr("Folder"), column);
        // Room after Browse for the remove icon.
        const float removeWidth = ImGui::GetStyle().ItemSpacing.x + ImGui::GetFrameHeight() + 12 * s;
        FolderField("##dpath", block.path, nullptr, "dbrowse", Tr("Choose a folder"), removeWidth);
        ImGui::SameLine();
        if (IconButton(ui::icon::kDelete, "ddel", Tr("Remove this <Directory> block"))) {
            block.path.clear();
            block.path.push_back(kRemovedBlock[0]);
        }

        RowLabel("AllowOverride", column);
        bool all = EqualsIgnoreCase(block.allowOverride, "All");
        if (ImGui::Checkbox(ComposeLabel(nullptr, Tr("All (.htaccess files allowed)"), "allowall").c_str(), &all)) {
            block.allowOverride = all ? "All" : "None";
            MarkUnsaved();
        }

        RowLabel("Options", column);
        for (const char* word : kOptionWords) {
            // Words that do not fit go on below, under the first one.
            const float width = ImGui::GetFrameHeight() + ImGui::GetStyle().ItemInnerSpacing.x + ImGui::CalcTextSize(word).x;
            if (word != kOptionWords[0] && !SameLineIfFits(width)) ImGui::SetCursorPosX(column);
            bool on = HasOption(block.options, word);
            if (ImGui::Checkbox(word, &on)) {
                SetOption(block.options, word, on);
                MarkUnsaved();
            }
        }

        RowLabel(Tr("Access"), column);
        AccessChoice(block);
        ImGui::Dummy(ImVec2(0, 4 * s));
    }
    ImGui::Unindent(8 * s);
    ImGui::PopID();
}

void QuickSiteBox() {
    ApachePageCache& cache = ApacheCache();
    const float s = Scale();
    if (BeginCard("##quicksite", ImVec2(0, 0), true)) {
        IconText(ui::icon::kAdd, Tr("New site in one click"));
        WrappedText(Tr("Creates www/<name> and a virtual host http://<name>.localhost (modern browsers resolve "
                       "*.localhost to this computer: no hosts file to edit)."));
        ImGui::SetNextItemWidth(260 * s);
        ImGui::InputTextWithHint("##sitename", Tr("site name, e.g. myproject"), cache.siteText.data(),
                                 cache.siteText.capacity() + 1,
                                 ImGuiInputTextFlags_CallbackCharFilter | ImGuiInputTextFlags_CallbackResize,
                                 SiteNameCallback, &cache.siteText);
        const std::string name = SiteNameFromText(cache.siteText);
        ImGui::SameLine();
        if (AccentButton(ui::icon::kAdd, Tr("Create"), "createsite", ImVec2(0, 0), IsValidSiteName(name))) {
            CreateSite(name);
            cache.siteText.clear();
            RefreshInstalls(true);
        }
    }
    EndCard();
}

}  // namespace ui

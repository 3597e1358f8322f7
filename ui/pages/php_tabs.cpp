// ui/pages/php_tabs.cpp: the three tabs of the PHP page. Index:
//   ---- Extensions ----  the list with its checkboxes, the description panel, save and discard
//   ---- Settings ----    one editor per settings row, chosen by the row's type
//   ---- Files ----       the build's files, editor, folder, console, rebuild and restore
#include <algorithm>
#include <cfloat>

#include "control/server.h"
#include "core/files.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/help_tables.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/imgui_compat.h"
#include "ui/pages/php.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

bool WorkerBusy() { return ui::State().server.busy; }

// Save and Discard of one tab; Save runs `save` and reloads the page with `saved` on success.
template <class Save>
void SaveRow(const PhpInstall& build, bool pending, const char* saveId, const char* undoId, const char* saved,
             Save save) {
    if (ui::AccentButton(ui::icon::kSave, Tr("Save and apply"), saveId, ImVec2(0, 0), pending && !WorkerBusy())) {
        std::string error;
        if (save(error)) ui::ReloadPhpPage(build, saved);
        else ui::Toast(error, true);
    }
    ImGui::SameLine();
    if (ui::Button(ui::icon::kUndo, Tr("Discard changes"), undoId, ImVec2(0, 0), pending)) ui::LoadPhpPageCache(build);
}

// ---- Extensions ----

bool EffectiveState(const ui::PhpPageCache& cache, const PhpExtension& extension) {
    const auto edit = cache.extensionEdits.find(extension.name);
    return edit == cache.extensionEdits.end() ? extension.enabled : edit->second;
}

void ExtensionList(ui::PhpPageCache& cache, ImVec2 size) {
    ImGui::BeginChild("##extlist", size, ui::compat::kChildBorders);
    for (size_t i = 0; i < cache.extensions.size(); ++i) {
        const PhpExtension& extension = cache.extensions[i];
        if (!cache.extensionFilter.empty() && !ContainsIgnoreCase(extension.name, cache.extensionFilter)) continue;
        ImGui::PushID(int(i));
        bool on = EffectiveState(cache, extension);
        // A missing DLL can be switched off, never on.
        ImGui::BeginDisabled(!extension.dllPresent && !on);
        if (ImGui::Checkbox("##on", &on)) ui::NotePhpExtensionEdit(cache, extension, on);
        ImGui::EndDisabled();
        ImGui::SameLine();
        const std::string name = extension.name + (extension.zend ? "  (zend)" : "");
        if (ImGui::Selectable(name.c_str(), cache.selectedExtension == int(i), ImGuiSelectableFlags_AllowOverlap))
            cache.selectedExtension = int(i);
        if (!extension.dllPresent) {
            const char* missing = Tr("DLL missing");
            ImGui::SameLine(ui::ContentRightX() - ImGui::CalcTextSize(missing).x);
            ui::ColoredText(ui::WarningColor(), "%s", missing);
        }
        ImGui::PopID();
    }
    ImGui::EndChild();
}

void ExtensionDescription(const ui::PhpPageCache& cache, ImVec2 size) {
    ImGui::BeginChild("##extdesc", size, ui::compat::kChildBorders);
    const int selected = cache.selectedExtension;
    if (selected < 0 || size_t(selected) >= cache.extensions.size()) {
        ImGui::PushTextWrapPos(0.0f);
        ui::MutedText("%s", Tr("Select an extension to read its description."));
        ImGui::PopTextWrapPos();
        ImGui::EndChild();
        return;
    }
    const PhpExtension& extension = cache.extensions[size_t(selected)];
    ImGui::PushFont(ui::Fonts()[ui::kFontBold]);
    ImGui::TextUnformatted(extension.name.c_str());
    ImGui::PopFont();
    ui::MutedText("%s", extension.zend ? "zend_extension" : "extension");
    ImGui::Spacing();
    const char* help = PhpExtensionHelpTable(extension.name);
    const std::string description = help ? Trim(help) : std::string(Tr("No description available."));
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(description.c_str());
    if (!extension.dllPresent)
        ui::ColoredText(ui::WarningColor(), "%s", Tr("The DLL of this extension is not in the ext folder of this PHP build."));
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
    const std::string link = PhpExtensionHelp(extension.name);
    if (ui::Link(link.c_str(), "extlink")) ui::OpenUrl(link);
    ImGui::EndChild();
}

// ---- Settings ----

// Room kept at the right of every editor for the pending-edit marker, so rows do not shift.
float MarkerRoom() { return ImGui::CalcTextSize(ui::icon::kEdit).x + ImGui::GetStyle().ItemSpacing.x; }

void BoolEditor(ui::PhpPageCache& cache, const PhpSetting& row, const std::string& shown, bool absent) {
    bool on = ui::IniTruthy(shown);
    if (ui::Toggle("##b", &on)) ui::NotePhpSettingEdit(cache, row.key, on ? "On" : "Off");
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    const bool edited = cache.settingEdits.count(row.key) > 0;
    ui::MutedText("%s", absent && !edited ? Tr("default") : (on ? "On" : "Off"));
}

void EnumEditor(ui::PhpPageCache& cache, const PhpSetting& row, const std::string& shown) {
    int selected = -1;
    const std::vector<std::string> items = ui::PhpEnumItems(row.choices, shown, &selected);
    ImGui::SetNextItemWidth(-MarkerRoom());
    if (!ui::Dropdown("##e", &selected, items)) return;
    if (shown.empty() && selected == 0) return;   // "(default)" is no value
    ui::NotePhpSettingEdit(cache, row.key, items[size_t(selected)]);
}

void TextEditorRow(ui::PhpPageCache& cache, const PhpSetting& row, const std::string& shown, bool absent) {
    const bool suggestions = *row.choices && (std::string_view(row.type) == "int" || std::string_view(row.type) == "size");
    const float combo = suggestions ? ImGui::GetFrameHeight() + ImGui::GetStyle().ItemInnerSpacing.x : 0;
    std::string text = shown;
    if (ui::InputText("##t", &text, -(MarkerRoom() + combo), absent ? Tr("(default)") : nullptr))
        ui::NotePhpSettingEdit(cache, row.key, text);
    if (!suggestions) return;
    ImGui::SameLine(0, ImGui::GetStyle().ItemInnerSpacing.x);
    if (!ImGui::BeginCombo("##sugg", "", ImGuiComboFlags_NoPreview | ImGuiComboFlags_PopupAlignLeft)) return;
    for (const std::string& choice : Split(row.choices, '|'))
        if (ImGui::Selectable(choice.c_str(), choice == shown)) ui::NotePhpSettingEdit(cache, row.key, choice);
    ImGui::EndCombo();
}

void SettingRow(ui::PhpPageCache& cache, const PhpSetting& row) {
    ImGui::PushID(row.key);
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::PushFont(ui::Fonts()[ui::kFontBold]);
    ImGui::TextUnformatted(row.key);
    ImGui::PopFont();
    ui::WrappedText(Tr(row.description));

    ImGui::TableSetColumnIndex(1);
    const auto edit = cache.settingEdits.find(row.key);
    const std::optional<std::string>& value = cache.values[row.key];
    const std::string shown = edit != cache.settingEdits.end() ? edit->second : value.value_or("");
    const std::string_view type = row.type;
    if (type == "bool") BoolEditor(cache, row, shown, !value);
    else if (type == "enum") EnumEditor(cache, row, shown);
    else TextEditorRow(cache, row, shown, !value);
    if (cache.settingEdits.count(row.key)) {
        ImGui::SameLine(ImGui::GetContentRegionMax().x - ImGui::CalcTextSize(ui::icon::kEdit).x);
        ui::ColoredText(ui::WarningColor(), "%s", ui::icon::kEdit);
    }
    ImGui::PopID();
}

// ---- Files ----

void AskAndRebuild(const PhpInstall& build, const std::string& sample) {
    ui::RequestConfirm(Tr("Rebuild php_zerva.ini"), Tr("Your current PHP settings and extensions will be replaced. Continue?"),
                       Tr("Rebuild"), true, [name = build.name, sample] {
                           const std::optional<PhpInstall> found = FindPhp(name);
                           if (!found) return;
                           std::string error;
                           if (!BuildPhpTemplate(*found, sample, error)) return ui::Toast(error, true);
                           ui::RefreshInstalls(true);
                           ui::ReloadPhpPage(*found, Tr("php_zerva.ini rebuilt"));
                       });
}

void AskAndRestore(const PhpInstall& build) {
    ui::RequestConfirm(
        Tr("Restore the initial configuration"), Tr("Your current PHP settings and extensions will be replaced. Continue?"),
        Tr("Restore"), true, [name = build.name] {
            const std::optional<PhpInstall> found = FindPhp(name);
            if (!found) return;
            if (!ResetPhpTemplate(*found)) {
                // A failed restore changed nothing: no reload, no restart.
                const std::wstring initial = PhpInitialIniPath(*found);
                return ui::Toast(PathExists(initial) ? "cannot write " + WideToUtf8(PhpTemplatePath(*found))
                                                     : "cannot read " + WideToUtf8(initial),
                                 true);
            }
            ui::ReloadPhpPage(*found, Tr("Initial configuration restored"));
        });
}

}  // namespace

namespace ui {

void TabExtensions(const PhpInstall& build) {
    PhpPageCache& cache = PhpCache();
    ImGui::Spacing();
    SaveRow(build, !cache.extensionEdits.empty(), "extsave", "extundo", Tr("PHP extensions saved"),
            [&](std::string& error) { return SetPhpExtension(build, cache.extensionEdits, error); });
    ImGui::Spacing();
    InputText("##extfilter", &cache.extensionFilter, 240 * Scale(), Tr("Filter..."));
    ImGui::SameLine();
    const auto enabled = std::count_if(cache.extensions.begin(), cache.extensions.end(),
                                       [&](const PhpExtension& e) { return EffectiveState(cache, e); });
    ImGui::AlignTextToFramePadding();
    MutedText(Tr("%d / %d extensions enabled"), int(enabled), int(cache.extensions.size()));

    const float height = std::max(ImGui::GetContentRegionAvail().y, 200 * Scale());
    const float width = ImGui::GetContentRegionAvail().x;
    const float listWidth = std::clamp(width * 0.42f, std::min(260 * Scale(), width / 2), width / 2);
    ExtensionList(cache, ImVec2(listWidth, height));
    ImGui::SameLine();
    ExtensionDescription(cache, ImVec2(0, height));
}

void TabSettings(const PhpInstall& build) {
    PhpPageCache& cache = PhpCache();
    ImGui::Spacing();
    SaveRow(build, !cache.settingEdits.empty(), "setsave", "setundo", Tr("PHP settings saved"),
            [&](std::string& error) { return SetPhpDirective(build, cache.settingEdits, error); });
    MutedText("%s", Tr("Other directives: edit php_zerva.ini (Files tab)."));
    ImGui::Spacing();
    ImGui::BeginChild("##settings", ImVec2(0, std::max(ImGui::GetContentRegionAvail().y, 200 * Scale())));
    if (ImGui::BeginTable("##settab", 2, ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerH | ImGuiTableFlags_PadOuterX)) {
        ImGui::TableSetupColumn("k", ImGuiTableColumnFlags_WidthStretch, 1.6f);
        ImGui::TableSetupColumn("v", ImGuiTableColumnFlags_WidthStretch, 1.0f);
        for (const PhpSetting& row : PhpSettingsTable()) SettingRow(cache, row);
        ImGui::EndTable();
    }
    ImGui::EndChild();
}

void TabPhpFiles(const PhpInstall& build) {
    PhpPageCache& cache = PhpCache();
    ImGui::Spacing();
    FileRow(Tr("Template (edit this one)"), PhpTemplatePath(build));
    FileRow(Tr("Generated php.ini"), PhpIniPath(build));
    FileRow(Tr("Extensions folder"), PhpExtDir(build));
    FileRow(Tr("Apache module"), build.dir + L"\\" + Utf8ToWide(build.apacheDll.empty() ? "-" : build.apacheDll));
    ImGui::Spacing();
    if (Button(ui::icon::kEdit, Tr("Edit php_zerva.ini"), "edit_ini")) EditTextFile(PhpTemplatePath(build));
    ImGui::SameLine();
    if (Button(ui::icon::kFolder, Tr("PHP folder"), "open_php")) OpenFolder(build.dir);
    ImGui::SameLine();
    if (Button(ui::icon::kConsole, Tr("PHP console"), "php_cli") && !OpenPhpConsole(build))
        Toast(Tr("The PHP console could not be opened."), true);

    ImGui::Spacing();
    ImGui::Separator();
    ImGui::Spacing();
    SectionTitle(Tr("Rebuild php_zerva.ini from an official template"));
    const std::vector<std::string>& templates = PhpPageTemplates(build);
    if (!templates.empty()) {
        cache.templateChoice = std::clamp(cache.templateChoice, 0, int(templates.size()) - 1);
        Dropdown("##base", &cache.templateChoice, templates, 280 * Scale());
        ImGui::SameLine();
        if (Button(ui::icon::kRefresh, Tr("Rebuild"), "rebuild")) AskAndRebuild(build, templates[size_t(cache.templateChoice)]);
    }
    ImGui::Spacing();
    if (DangerButton(ui::icon::kUndo, Tr("Restore the initial configuration"), "restore", ImVec2(0, 0), cache.initialExists))
        AskAndRestore(build);
}

}  // namespace ui

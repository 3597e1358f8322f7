#include "ui/pages/logs.h"

#include <windows.h>

#include <algorithm>

#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "ui/confirm.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/imgui_compat.h"
#include "ui/pages/pages.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

constexpr int64_t kTailBytes = 512 * 1024;
constexpr double kFollowInterval = 1.0;  // seconds between looks at the file's time and size

struct PageState {
    int selected = 0;
    bool loaded = false;  // the log holds a load, possibly of an empty path
    ui::LoadedLog log;
    bool follow = true;
    bool scrollToEnd = false;
    double lastCheck = 0;
};

PageState& P() {
    static PageState state;
    return state;
}

std::string FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return WideToUtf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

// Every captured file that exists is emptied; the ones that cannot be are named in one error.
void EmptyAllLogs(const std::vector<LogSource>& sources) {
    std::vector<std::string> failed;
    // A folder in a log's place holds no log to empty, as a missing file does not.
    for (const LogSource& source : sources)
        if (!source.path.empty() && ui::TruncateLogFile(source.path) == ui::TruncateResult::InUse)
            failed.push_back(FileNameOf(source.path));
    (void)ui::DeletePhpSessions();
    if (!P().log.path.empty()) ui::LoadLogTail(P().log.path);
    if (failed.empty()) return ui::Toast(Tr("Logs emptied"), false);
    ui::Toast(Format(Tr("These log files are in use and were not emptied: %s"), Join(failed, ", ").c_str()), true);
}

void EmptyOneLog() {
    const std::wstring path = P().log.path;
    const ui::TruncateResult result = ui::TruncateLogFile(path);
    // The button is offered for a file; a folder may have taken its place since the last load.
    if (result == ui::TruncateResult::Folder) {
        ui::LoadLogTail(path);
        return ui::Toast(Tr("This is a folder, not a log file: there is nothing to empty"), true);
    }
    if (result == ui::TruncateResult::InUse) return ui::Toast(Tr("The file is in use: stop the server first"), true);
    ui::LoadLogTail(path);
    ui::Toast(Tr("Log file emptied"), false);
}

ImVec4 ToneColor(ui::LineTone tone) {
    switch (tone) {
        case ui::LineTone::Error: return ui::DangerColor();
        case ui::LineTone::Warning: return ui::WarningColor();
        case ui::LineTone::Notice: return ui::TextColorOf();
        default: return ImGui::GetStyle().Colors[ImGuiCol_Text];
    }
}

void Toolbar(const std::vector<LogSource>& sources) {
    PageState& p = P();
    const float s = ui::Scale();
    std::vector<std::string> labels;
    for (const LogSource& source : sources) labels.push_back(source.label);
    if (ui::Dropdown("##logsel", &p.selected, labels, 340 * s)) ui::LoadLogTail(sources[size_t(p.selected)].path);
    const bool exists = p.log.writeTime != 0 && !p.log.folder;
    ImGui::SameLine();
    ImGui::Checkbox(ui::ComposeLabel(nullptr, Tr("Follow"), "follow").c_str(), &p.follow);
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kRefresh, "logrefresh", Tr("Refresh"))) ui::LoadLogTail(p.log.path);
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kCopy, "logcopy", Tr("Copy"))) ImGui::SetClipboardText(Join(p.log.lines, "\r\n").c_str());
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kEdit, "logedit", Tr("Open in the text editor"), exists)) ui::EditTextFile(p.log.path);
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kFolder, "logfolder", Tr("Open the folder"), !p.log.path.empty()))
        ui::OpenFolder(ParentFolder(p.log.path));
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kDelete, "logclear", Tr("Empty this log file"), exists)) EmptyOneLog();
    std::string where = WideToUtf8(p.log.path);
    if (!p.log.folder) where += "  \xC2\xB7  " + FormatSize(p.log.size);
    ui::SameLineIfFits(ImGui::CalcTextSize(where.c_str()).x);
    ImGui::AlignTextToFramePadding();
    ui::WrappedText(where.c_str());  // a deep root makes a path longer than the line
}

void TextView() {
    PageState& p = P();
    const float bottom = ImGui::GetFrameHeight() + ImGui::GetStyle().ItemSpacing.y;
    ImGui::PushStyleColor(ImGuiCol_ChildBg, ui::CardColor());
    ImGui::BeginChild("##logtext", ImVec2(0, std::max(ImGui::GetContentRegionAvail().y - bottom, 1.0f)),
                      ui::compat::kChildBorders, ImGuiWindowFlags_HorizontalScrollbar);
    ImGui::PushFont(ui::Fonts()[ui::kFontMono]);
    if (p.log.lines.empty()) {
        ui::MutedText("%s", p.log.folder           ? Tr("(this is a folder, not a log file)")
                            : p.log.writeTime != 0 ? Tr("(empty file)")
                                                   : Tr("(the file does not exist yet)"));
    } else {
        ImGuiListClipper clipper;
        clipper.Begin(int(p.log.lines.size()));
        while (clipper.Step())
            for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) {
                const std::string& line = p.log.lines[size_t(i)];
                ImGui::PushStyleColor(ImGuiCol_Text, ToneColor(ui::ToneOfLine(line)));
                ImGui::TextUnformatted(line.c_str(), line.c_str() + line.size());
                ImGui::PopStyleColor();
            }
    }
    if (p.scrollToEnd) {
        ImGui::SetScrollHereY(1.0f);
        p.scrollToEnd = false;
    }
    ImGui::PopFont();
    ImGui::EndChild();
    ImGui::PopStyleColor();
}

}  // namespace

namespace ui {

std::vector<LogSource> LogSources() { return State().logSources; }

void LoadLogTail(const std::wstring& path) {
    LoadedLog& log = P().log;
    log.path = path;
    // Time and size before the read: a line the server appends meanwhile makes the next follow
    // check read again, instead of hiding behind a size that already counts it.
    log.writeTime = FileWriteTime(path);
    log.folder = !path.empty() && IsDirectory(path);
    log.size = FileSize(path);
    log.lines = SplitLines(ReadFileTail(path, kTailBytes));
    P().scrollToEnd = true;
    P().loaded = true;
}

const LoadedLog& CurrentLog() { return P().log; }

int DeletePhpSessions() {
    const std::wstring folder = SessionsDir();
    int deleted = 0;
    for (const std::string& name : ListFiles(folder, "sess_*"))
        if (::DeleteFileW(ExtendedPath(folder + L"\\" + Utf8ToWide(name)).c_str())) ++deleted;
    return deleted;
}

LineTone ToneOfLine(std::string_view line) {
    const std::string lower = ToLower(line);
    const auto has = [&](std::string_view word) { return lower.find(word) != std::string::npos; };
    if (has("error") || has("fatal") || has(":crit]")) return LineTone::Error;
    if (has("warn") || has("deprecated")) return LineTone::Warning;
    if (has(":notice]") || has("[note]")) return LineTone::Notice;
    return LineTone::Normal;
}

TruncateResult TruncateLogFile(const std::wstring& path) {
    // Shared for reading, writing and deletion: a server that opened its log that way keeps it,
    // and one that holds it exclusively makes this fail instead of waiting.
    const UniqueHandle file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return TruncateResult::Emptied;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return TruncateResult::Missing;
    return IsDirectory(path) ? TruncateResult::Folder : TruncateResult::InUse;
}

void PageLogs() {
    const std::vector<LogSource> sources = LogSources();
    if (sources.empty()) return MutedText("%s", Tr("No log file yet: install and start the servers first."));
    PageState& p = P();
    p.selected = std::clamp(p.selected, 0, int(sources.size()) - 1);
    const std::wstring& selectedPath = sources[size_t(p.selected)].path;
    if (!p.loaded || selectedPath != p.log.path) LoadLogTail(selectedPath);

    const double now = ImGui::GetTime();
    if (p.follow && now - p.lastCheck > kFollowInterval) {
        p.lastCheck = now;
        if (FileWriteTime(p.log.path) != p.log.writeTime || FileSize(p.log.path) != p.log.size) LoadLogTail(p.log.path);
    }

    Toolbar(sources);
    TextView();

    if (Button(nullptr, Tr("Delete the PHP sessions"), "delsess"))
        Toast(Format(Tr("%d session files deleted"), DeletePhpSessions()), false);
    ImGui::SameLine();
    const bool stopped = !State().server.apache.running && !State().server.mysql.running;
    if (DangerButton(ui::icon::kDelete, Tr("Empty all the logs"), "delall", ImVec2(0, 0), stopped))
        RequestConfirm(Tr("Empty all the logs"),
                       Tr("Apache and MySQL log files will be emptied and the PHP sessions deleted. Continue?"),
                       Tr("Empty"), true, [sources] { EmptyAllLogs(sources); });
}

}  // namespace ui

#include "ui/console.h"

#include <algorithm>
#include <ctime>

#include "core/config.h"
#include "core/settings.h"
#include "core/translate.h"
#include "imgui.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/frame.h"
#include "ui/imgui_compat.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace {

// Built before the program's entry point; lives for the process.
ui::ConsoleCopy g_console;

ImVec4 SourceColor(ConsoleSource source) {
    switch (source) {
        case console::kApache: return ImVec4(0.55f, 0.63f, 1.0f, 1.0f);
        case console::kMySql: return ImVec4(0.98f, 0.62f, 0.45f, 1.0f);
        case console::kPhp: return ImVec4(0.62f, 0.55f, 0.98f, 1.0f);
        case console::kInstall: return ImVec4(0.35f, 0.78f, 0.85f, 1.0f);
        default: return ui::AccentColor();
    }
}

ImVec4 LevelColor(LogLevel level) {
    switch (level) {
        case level::kSuccess: return ui::SuccessColor();
        case level::kWarning: return ui::WarningColor();
        case level::kError: return ui::DangerColor();
        default: return ImGui::GetStyle().Colors[ImGuiCol_Text];
    }
}

void DrawLine(const LogEntry& entry) {
    std::time_t time = static_cast<std::time_t>(entry.time);
    std::tm local{};
    localtime_s(&local, &time);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    ImGui::TextColored(ui::TextColorOf(), "%s", clock);
    ImGui::SameLine();
    ImGui::TextColored(SourceColor(entry.source), "%-7s", LogSourceName(entry.source));
    ImGui::SameLine();
    // A child program's line may hold anything, "%n" included: never a format.
    ImGui::PushStyleColor(ImGuiCol_Text, LevelColor(entry.level));
    ImGui::TextUnformatted(entry.text.c_str(), entry.text.c_str() + entry.text.size());
    ImGui::PopStyleColor();
}

// The header line: a toggle over the console's title, and the copy and clear buttons.
void DrawHeader(ui::ConsoleCopy& copy) {
    const float s = ui::Scale();
    UiState& state = ui::State();
    ImGui::SetCursorPos(ImVec2(10 * s, 6 * s));
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const float frame = ImGui::GetFrameHeight();
    const float width = std::max(ImGui::GetContentRegionAvail().x - 90 * s, 1.0f);
    if (ImGui::InvisibleButton("##consolehdr", ImVec2(width, frame))) {
        state.consoleOpen = !state.consoleOpen;
        Config::Instance().SetBool(setting::kConsoleOpen, state.consoleOpen);
    }
    if (ImGui::IsItemHovered()) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);

    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float textY = pos.y + (frame - ImGui::GetTextLineHeight()) / 2;
    draw->AddText(ImVec2(pos.x, textY), ui::ColorU32(ui::AccentColor()), ui::icon::kConsole);
    ImFont* bold = ui::Fonts()[ui::kFontBold] ? ui::Fonts()[ui::kFontBold] : ImGui::GetFont();
    const char* title = Tr("Console");
    const float titleX = pos.x + 26 * s;
    draw->AddText(bold, ImGui::GetFontSize(), ImVec2(titleX, textY), ImGui::GetColorU32(ImGuiCol_Text), title);
    const float titleWidth = bold->CalcTextSizeA(ImGui::GetFontSize(), FLT_MAX, 0, title).x;
    draw->AddText(ImVec2(titleX + titleWidth + 12 * s, textY), ImGui::GetColorU32(ImGuiCol_TextDisabled),
                  state.consoleOpen ? ui::icon::kChevronUp : ui::icon::kChevronDown);

    ImGui::SameLine(0, 0);
    const float buttons = 2 * (ImGui::CalcTextSize(ui::icon::kCopy).x + 12 * s) + ImGui::GetStyle().ItemSpacing.x;
    ImGui::SetCursorPosX(std::max(ui::ContentRightX() - buttons, ImGui::GetCursorPosX()));
    if (ui::IconButton(ui::icon::kCopy, "console_copy", Tr("Copy the console to the clipboard")))
        ImGui::SetClipboardText(LogBuffer::Instance().ToText().c_str());
    ImGui::SameLine();
    if (ui::IconButton(ui::icon::kDelete, "console_clear", Tr("Clear the console"))) {
        LogBuffer::Instance().Clear();
        copy.Clear();
    }
}

void DrawLines(ui::ConsoleCopy& copy) {
    const float s = ui::Scale();
    const ImVec2 size(ImGui::GetWindowWidth() - 10 * s - 6 * s, ImGui::GetWindowHeight() - ImGui::GetCursorPosY() - 6 * s);
    if (size.x < 1 || size.y < 1) return;
    ImGui::SetCursorPosX(10 * s);
    if (ui::Fonts()[ui::kFontMono]) ImGui::PushFont(ui::Fonts()[ui::kFontMono]);
    if (ImGui::BeginChild("##consolelines", size, 0, ImGuiWindowFlags_HorizontalScrollbar)) {
        const float scrollY = ImGui::GetScrollY();
        const float scrollMaxY = ImGui::GetScrollMaxY();
        ImGuiListClipper clipper;
        clipper.Begin(int(copy.lines.size()));
        while (clipper.Step())
            for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) DrawLine(copy.lines[size_t(i)]);
        clipper.End();
        if (copy.TakeFollow(scrollY, scrollMaxY)) ImGui::SetScrollHereY(1.0f);
    }
    ImGui::EndChild();
    if (ui::Fonts()[ui::kFontMono]) ImGui::PopFont();
}

}  // namespace

namespace ui {

void ConsoleCopy::Fetch(LogBuffer& log) {
    nextSeq = log.Snapshot(lines, nextSeq);
    if (lines.size() > kMaxLines) lines.erase(lines.begin(), lines.end() - ptrdiff_t(kMaxLines));
}

void ConsoleCopy::Clear() { lines.clear(); }

bool ConsoleCopy::TakeFollow(float scrollY, float scrollMaxY) {
    const uint64_t lastSeq = lines.empty() ? 0 : lines.back().seq;
    const bool changed = lastSeq != shownSeq || lines.size() != shownCount;
    const bool follow = changed && (firstDraw || scrollMaxY - scrollY <= kFollowSlack);
    shownSeq = lastSeq;
    shownCount = lines.size();
    firstDraw = false;
    return follow;
}

ConsoleCopy& Console() { return g_console; }

void ConsolePanel(float height) {
    ConsoleCopy& copy = Console();
    copy.Fetch(LogBuffer::Instance());
    ImGui::PushStyleColor(ImGuiCol_ChildBg, CardColor());
    const bool visible = ImGui::BeginChild("##consolebox", ImVec2(0, height), compat::kChildBorders,
                                           ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PopStyleColor();
    if (visible) {
        // The box was sized for the state at the start of the frame, whatever the header changes.
        const bool open = State().consoleOpen;
        DrawHeader(copy);
        if (open) DrawLines(copy);
    }
    ImGui::EndChild();
}

}  // namespace ui

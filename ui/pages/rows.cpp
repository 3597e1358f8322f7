#include "ui/pages/rows.h"

#include <algorithm>

#include "imgui.h"
#include "ui/theme.h"
#include "ui/widgets.h"

namespace ui {

float LabelColumn(std::initializer_list<const char*> labels) {
    float widest = 0;
    for (const char* label : labels) widest = std::max(widest, ImGui::CalcTextSize(label).x);
    // SameLine measures from the window's edge, so the padding before the line counts.
    return ImGui::GetCursorPosX() + widest + 16 * Scale();
}

void RowLabel(const char* label, float column) {
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(label);
    ImGui::SameLine(column);
}

bool SameLineIfFits(float width, float spacing) {
    if (spacing < 0) spacing = ImGui::GetStyle().ItemSpacing.x;
    const float end = ImGui::GetItemRectMax().x - ImGui::GetWindowPos().x + ImGui::GetScrollX() + spacing + width;
    if (end > ContentRightX()) return false;
    ImGui::SameLine(0, spacing);
    return true;
}

float ButtonWidth(const char* icon, const char* text) {
    return ImGui::CalcTextSize(ComposeLabel(icon, text, nullptr).c_str()).x + 2 * ImGui::GetStyle().FramePadding.x;
}

float DropdownWidth(const std::vector<std::string>& items) {
    float widest = 0;
    for (const std::string& item : items) widest = std::max(widest, ImGui::CalcTextSize(item.c_str()).x);
    return widest + 2 * ImGui::GetStyle().FramePadding.x + ImGui::GetFrameHeight();
}

float WidthBeside(float wanted, float least, float following, float spacing) {
    if (spacing < 0) spacing = ImGui::GetStyle().ItemSpacing.x;
    const float line = ContentRightX() - ImGui::GetCursorPosX();
    const float beside = line - spacing - following;
    return std::min(std::max(std::min(wanted, beside), least), line);
}

float NaturalHeight() {
    return ImGui::GetCursorPosY() - ImGui::GetStyle().ItemSpacing.y + ImGui::GetStyle().WindowPadding.y;
}

}  // namespace ui

#include "ui/widgets.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "core/text.h"
#include "core/translate.h"
#include "imgui_internal.h"
#include "ui/fonts.h"
#include "ui/imgui_compat.h"
#include "ui/theme.h"

namespace {

constexpr ImVec4 kWhite(1, 1, 1, 1);

ImVec4 TimesRgb(const ImVec4& c, float factor) { return ImVec4(c.x * factor, c.y * factor, c.z * factor, 1.0f); }

constexpr ImGuiHoveredFlags kTooltipHover = ImGuiHoveredFlags_DelayShort | ImGuiHoveredFlags_AllowWhenDisabled;

int ResizeCallback(ImGuiInputTextCallbackData* data) {
    if (data->EventFlag == ImGuiInputTextFlags_CallbackResize) {
        auto* text = static_cast<std::string*>(data->UserData);
        text->resize(size_t(data->BufTextLen));
        data->Buf = text->data();
    }
    return 0;
}

}  // namespace

namespace ui {

// ---- Labels and buttons ----

std::string ComposeLabel(const char* icon, const char* text, const char* id) {
    const bool hasIcon = icon && *icon;
    std::string label;
    if (hasIcon) label += icon;
    if (hasIcon && text && *text) label += "  ";
    if (text) label += text;
    if (id) label.append("###").append(id);
    return label;
}

bool Button(const char* icon, const char* text, const char* id, ImVec2 size, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    const bool clicked = ImGui::Button(ComposeLabel(icon, text, id).c_str(), size);
    ImGui::EndDisabled();
    return clicked;
}

bool ColoredButton(const ImVec4& base, const ImVec4& hover, const char* icon, const char* text, const char* id,
                   ImVec2 size, bool enabled) {
    // Disabled, a coloured button is a plain one: Dear ImGui only fades colours, and a faded
    // accent on the dark theme's surfaces still reads as a button waiting to be pressed.
    if (!enabled) return Button(icon, text, id, size, false);
    ImGui::PushStyleColor(ImGuiCol_Button, base);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, hover);
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, base);
    ImGui::PushStyleColor(ImGuiCol_Text, kWhite);
    const bool clicked = Button(icon, text, id, size, enabled);
    ImGui::PopStyleColor(4);
    return clicked;
}

bool AccentButton(const char* icon, const char* text, const char* id, ImVec2 size, bool enabled) {
    return ColoredButton(AccentColor(), AccentActiveColor(), icon, text, id, size, enabled);
}

bool DangerButton(const char* icon, const char* text, const char* id, ImVec2 size, bool enabled) {
    const ImVec4 danger = DangerColor();
    return ColoredButton(TimesRgb(danger, 0.85f), TimesRgb(danger, 1.1f), icon, text, id, size, enabled);
}

bool IconButton(const char* icon, const char* id, const char* tooltip, bool enabled) {
    const float s = Scale();
    ImGui::BeginDisabled(!enabled);
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0, 0, 0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(6 * s, 4 * s));
    const std::string label = std::string(icon ? icon : "") + "##" + (id ? id : "");
    const bool clicked = ImGui::Button(label.c_str());
    ImGui::PopStyleVar();
    ImGui::PopStyleColor();
    ImGui::EndDisabled();
    if (tooltip && ImGui::IsItemHovered(kTooltipHover)) ImGui::SetTooltip("%s", tooltip);
    return clicked;
}

bool Link(const char* text, const char* id, bool muted) {
    const std::string label = id ? std::string(text) + "##" + id : std::string(text);
    // A text wider than the rest of the line (a long address in a narrow window) goes on below
    // rather than past the edge.
    const float wrap = std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    const ImVec2 size = ImGui::CalcTextSize(text, nullptr, false, wrap);
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::InvisibleButton(label.c_str(), ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f)));
    const bool hovered = ImGui::IsItemHovered();
    const ImVec4 color = (muted && !hovered) ? TextColorOf() : AccentColor();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    ImFont* font = ImGui::GetFont();
    const float fontSize = ImGui::GetFontSize(), lineHeight = ImGui::GetTextLineHeight();
    const char* end = text + std::strlen(text);
    float y = pos.y;
    for (const char* line = text; line < end; y += lineHeight) {
        const char* lineEnd = font->CalcWordWrapPositionA(1.0f, line, end, wrap);
        if (lineEnd == line) ++lineEnd;  // never stuck on a glyph wider than the whole line
        draw->AddText(font, fontSize, ImVec2(pos.x, y), ColorU32(color), line, lineEnd);
        if (hovered) {
            const float width = font->CalcTextSizeA(fontSize, FLT_MAX, 0.0f, line, lineEnd).x;
            draw->AddLine(ImVec2(pos.x, y + lineHeight), ImVec2(pos.x + width, y + lineHeight), ColorU32(color), 1.0f);
        }
        line = lineEnd;
        while (line < end && (*line == ' ' || *line == '\n')) ++line;
    }
    if (hovered) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    return clicked;
}

// ---- Layout and text ----

bool BeginCard(const char* id, ImVec2 size, bool autoHeight) {
    const float s = Scale();
    ImGui::PushStyleColor(ImGuiCol_ChildBg, CardColor());
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(16 * s, 14 * s));
    ImGuiChildFlags childFlags = compat::kChildBorders | ImGuiChildFlags_AlwaysUseWindowPadding;
    if (autoHeight) childFlags |= ImGuiChildFlags_AutoResizeY;
    return ImGui::BeginChild(id, size, childFlags, ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
}

void EndCard() {
    ImGui::EndChild();
    ImGui::PopStyleVar();
    ImGui::PopStyleColor();
}

void SectionTitle(const char* text) {
    ImGui::PushFont(Fonts()[kFontBold]);
    ImGui::TextColored(TextColorOf(), "%s", text);
    ImGui::PopFont();
}

void IconText(const char* icon, const char* text) {
    ImGui::PushFont(Fonts()[kFontBold]);
    ImGui::TextColored(AccentColor(), "%s", icon);
    ImGui::SameLine();
    ImGui::TextUnformatted(text);
    ImGui::PopFont();
}

void MutedText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ImGui::TextColoredV(TextColorOf(), format, args);
    va_end(args);
}

void ColoredText(const ImVec4& color, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ImGui::TextColoredV(color, format, args);
    va_end(args);
}

void WrappedText(const char* text) {
    ImGui::PushStyleColor(ImGuiCol_Text, TextColorOf());
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

void Tooltip(const char* text) {
    if (!ImGui::IsItemHovered(kTooltipHover)) return;
    ImGui::BeginTooltip();
    ImGui::PushTextWrapPos(ImGui::GetTextLineHeight() * 30);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::EndTooltip();
}

void HelpTooltip(const char* text) {
    ImGui::TextDisabled("%s", "\xEE\xA5\x86");  // U+E946, the info icon
    Tooltip(text);
}

float ContentRightX() { return ImGui::GetCursorPosX() + ImGui::GetContentRegionAvail().x; }

void Callout(const char* icon, const char* text, const ImVec4& color) {
    const float s = Scale();
    const float pad = 10 * s;
    const float width = ImGui::GetContentRegionAvail().x;
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const ImVec2 iconSize = ImGui::CalcTextSize(icon);
    const float textX = pad + iconSize.x + (iconSize.x > 0 ? ImGui::GetStyle().ItemSpacing.x : 0);
    const float wrap = std::max(width - textX - pad, 1.0f);
    const ImVec2 textSize = ImGui::CalcTextSize(text, nullptr, false, wrap);
    const float height = std::max(iconSize.y, textSize.y) + 2 * pad;

    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 end(pos.x + width, pos.y + height);
    draw->AddRectFilled(pos, end, ColorU32(color, 0.13f), 8 * s);
    draw->AddRect(pos, end, ColorU32(color, 0.45f), 8 * s, 0, 1.0f);
    draw->AddText(ImVec2(pos.x + pad, pos.y + pad), ColorU32(color), icon);
    const ImVec2 textPos(pos.x + textX, pos.y + pad);
    draw->AddText(ImGui::GetFont(), ImGui::GetFontSize(), textPos, ImGui::GetColorU32(ImGuiCol_Text), text, nullptr, wrap);
    // Drawn past Dear ImGui's text items, the text is handed to its text log as they hand theirs.
    if (GImGui->LogEnabled) ImGui::LogRenderedText(&textPos, text, text + std::strlen(text));
    ImGui::Dummy(ImVec2(width, height));
}

void FileRow(const char* label, const std::wstring& path) {
    ImGui::TextUnformatted(label);
    // A label longer than the column (a translation) pushes its path along rather than under it.
    const float labelEnd = ImGui::GetItemRectMax().x - ImGui::GetWindowPos().x + ImGui::GetScrollX();
    ImGui::SameLine(std::max(220 * Scale(), labelEnd + ImGui::GetStyle().ItemSpacing.x));
    // Wrapped, so a long path in a narrow window goes on below instead of off the edge.
    ImGui::PushStyleColor(ImGuiCol_Text, TextColorOf());
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(WideToUtf8(path).c_str());
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

// ---- Status and charts ----

void StatusDot(const ImVec4& color, float radius) {
    const float s = Scale();
    if (radius <= 0) radius = 5 * s;
    const float line = ImGui::GetTextLineHeight();
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const ImVec2 center(pos.x + radius, pos.y + line / 2);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddCircleFilled(center, radius + 2 * s, ColorU32(color, 0.25f));
    draw->AddCircleFilled(center, radius, ColorU32(color));
    ImGui::Dummy(ImVec2(2 * radius, line));
}

void StatusLine(const char* name, bool running, float rightEdge) {
    const float s = Scale();
    StatusDot(running ? SuccessColor() : TextColorOf(), 4 * s);
    ImGui::SameLine();
    ImGui::TextUnformatted(name);
    const char* state = running ? Tr("running") : Tr("stopped");
    ImGui::SameLine(rightEdge - 24 * s - ImGui::CalcTextSize(state).x);
    ImGui::TextColored(TextColorOf(), "%s", state);
}

float BadgeWidth(const char* text) { return (10 + 2 * 4 + 6 + 10) * Scale() + ImGui::CalcTextSize(text).x; }

void Badge(const char* text, const ImVec4& color) {
    const float s = Scale();
    const ImVec2 textSize = ImGui::CalcTextSize(text);
    const float dot = 4 * s;
    const ImVec2 size(BadgeWidth(text), textSize.y + 6 * s);
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(pos, ImVec2(pos.x + size.x, pos.y + size.y), ColorU32(color, 0.16f), size.y / 2);
    draw->AddCircleFilled(ImVec2(pos.x + 10 * s + dot, pos.y + size.y / 2), dot, ColorU32(color));
    draw->AddText(ImVec2(pos.x + 10 * s + 2 * dot + 6 * s, pos.y + 3 * s), ColorU32(color), text);
    ImGui::Dummy(size);
}

void Spinner(float radius, float thickness) {
    const float line = ImGui::GetTextLineHeight();
    if (radius <= 0) radius = 0.42f * line;
    if (thickness <= 0) thickness = 2.2f * Scale();
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const ImVec2 center(pos.x + radius + 1, pos.y + line / 2);
    const float t = float(ImGui::GetTime());
    ImVec2 points[25];
    for (int i = 0; i < 25; ++i) {
        const float angle = float(i) / 24.0f * 4.2f + t * 6.0f;
        points[i] = ImVec2(center.x + std::cos(angle) * radius, center.y + std::sin(angle) * radius);
    }
    ImGui::GetWindowDrawList()->AddPolyline(points, 25, ColorU32(AccentColor()), ImDrawFlags_None, thickness);
    ImGui::Dummy(ImVec2(2 * radius + 2, line));
}

void Sparkline(const char* id, const std::vector<float>& values, ImVec2 size, const ImVec4& color, float maximum) {
    const float s = Scale();
    ImGui::PushID(id);
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    ImGui::Dummy(size);
    ImGui::PopID();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float bottom = pos.y + size.y;
    draw->AddRectFilled(pos, ImVec2(pos.x + size.x, bottom), ColorU32(color, 0.06f), 6 * s);
    if (values.size() < 2) return;
    float top = std::max(maximum, *std::max_element(values.begin(), values.end()));
    if (top <= 0) top = 1;
    // A flat history (a stopped server's zeros) is drawn from its two ends: the same picture
    // whatever the number of samples, so a history that grows by a sample does not make the idle
    // window draw a new frame.
    const bool flat = std::all_of(values.begin(), values.end(), [&](float v) { return v == values.front(); });
    const size_t n = flat ? 2 : values.size();
    std::vector<ImVec2> points(n);
    for (size_t i = 0; i < n; ++i)
        points[i] = ImVec2(pos.x + float(i) * size.x / float(n - 1),
                           bottom - 2 * s - (size.y - 4 * s) * values[flat ? 0 : i] / top);
    for (size_t i = 0; i + 1 < n; ++i)
        draw->AddQuadFilled(points[i], points[i + 1], ImVec2(points[i + 1].x, bottom), ImVec2(points[i].x, bottom),
                            ColorU32(color, 0.12f));
    draw->AddPolyline(points.data(), int(n), ColorU32(color), ImDrawFlags_None, 1.6f * s);
}

bool Toggle(const char* id, bool* value) {
    const float s = Scale();
    const float frame = ImGui::GetFrameHeight();
    const float h = frame * 0.78f;
    const float w = 1.85f * h;
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const bool clicked = ImGui::InvisibleButton(id, ImVec2(w, frame));
    if (clicked) *value = !*value;
    const bool hovered = ImGui::IsItemHovered();
    const ImVec4 track = *value ? AccentColor()
                                : ImGui::GetStyle().Colors[hovered ? ImGuiCol_FrameBgHovered : ImGuiCol_FrameBgActive];
    const float y = pos.y + (frame - h) / 2;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(ImVec2(pos.x, y), ImVec2(pos.x + w, y + h), ColorU32(track), h / 2);
    const float knobX = *value ? pos.x + w - h / 2 : pos.x + h / 2;
    draw->AddCircleFilled(ImVec2(knobX, y + h / 2), h / 2 - 2.5f * s, ColorU32(kWhite));
    return clicked;
}

// ---- Inputs ----

bool Dropdown(const char* label, int* current, const std::vector<std::string>& items, float width) {
    if (width > 0) ImGui::SetNextItemWidth(width);
    const bool inRange = *current >= 0 && size_t(*current) < items.size();
    bool changed = false;
    if (ImGui::BeginCombo(label, inRange ? items[size_t(*current)].c_str() : "")) {
        for (size_t i = 0; i < items.size(); ++i) {
            const bool selected = int(i) == *current;
            const std::string itemLabel = items[i] + "##" + std::to_string(i);
            if (ImGui::Selectable(itemLabel.c_str(), selected) && !selected) {
                *current = int(i);
                changed = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    return changed;
}

bool InputText(const char* label, std::string* text, float width, const char* hint, ImGuiInputTextFlags flags) {
    if (width != 0) ImGui::SetNextItemWidth(width);
    flags |= ImGuiInputTextFlags_CallbackResize;
    if (hint)
        return ImGui::InputTextWithHint(label, hint, text->data(), text->capacity() + 1, flags, ResizeCallback, text);
    return ImGui::InputText(label, text->data(), text->capacity() + 1, flags, ResizeCallback, text);
}

bool InputTextMultiline(const char* label, std::string* text, ImVec2 size, ImGuiInputTextFlags flags) {
    flags |= ImGuiInputTextFlags_CallbackResize;
    return ImGui::InputTextMultiline(label, text->data(), text->capacity() + 1, size, flags, ResizeCallback, text);
}

}  // namespace ui

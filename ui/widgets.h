// ui/widgets.h: the widget kit every page draws with, layered on Dear ImGui: buttons in three
// colour roles, links, cards, text styles, callouts, status marks, a spinner, sparklines, a
// toggle, drop-downs and text inputs bound to std::string. GUI thread, inside a frame; no state.
#pragma once
#include <string>
#include <vector>

#include "imgui.h"

namespace ui {

// The icon, two blanks when both icon and text are there, the text, then "###" and the id, so the
// visible text can change language while the item keeps its id. Each part may be null.
std::string ComposeLabel(const char* icon, const char* text, const char* id);

// Buttons return true on the frame they are clicked; disabled ones are drawn, never hidden.
bool Button(const char* icon, const char* text, const char* id, ImVec2 size = ImVec2(0, 0), bool enabled = true);
// White text on the base colour, the hover colour under the mouse; disabled, the colour role is
// dropped and the button looks like any disabled one, in both themes.
bool ColoredButton(const ImVec4& base, const ImVec4& hover, const char* icon, const char* text, const char* id,
                   ImVec2 size = ImVec2(0, 0), bool enabled = true);
bool AccentButton(const char* icon, const char* text, const char* id, ImVec2 size = ImVec2(0, 0), bool enabled = true);
bool DangerButton(const char* icon, const char* text, const char* id, ImVec2 size = ImVec2(0, 0), bool enabled = true);
// A bare icon; its tooltip (may be null) also shows while it is disabled.
bool IconButton(const char* icon, const char* id, const char* tooltip, bool enabled = true);
// Text in the accent colour (or muted until hovered) that acts as a button, wrapped at the
// content's right edge; id may be null.
bool Link(const char* text, const char* id, bool muted = false);

// A child window in the card colour. EndCard must follow whatever BeginCard returned.
bool BeginCard(const char* id, ImVec2 size, bool autoHeight = false);
void EndCard();
void SectionTitle(const char* text);
void IconText(const char* icon, const char* text);
void MutedText(const char* format, ...) IM_FMTARGS(1);
void ColoredText(const ImVec4& color, const char* format, ...) IM_FMTARGS(2);
void WrappedText(const char* text);
// A wrapped tooltip on the last item after a short hover, also when the item is disabled.
void Tooltip(const char* text);
void HelpTooltip(const char* text);
// The right edge of the current window's content region, in window coordinates.
float ContentRightX();
// The icon and the text wrapped in a box of the colour; the text also goes to Dear ImGui's text
// log while it runs, as a text item's does.
void Callout(const char* icon, const char* text, const ImVec4& color);
// The label, then at 220 pixels (scaled) from the left (or after a longer label) the path in the
// muted colour.
void FileRow(const char* label, const std::wstring& path);

// radius 0 or less: 5 pixels at scale 1.
void StatusDot(const ImVec4& color, float radius = 0);
// A dot, the name, and "running" or "stopped" ending 24 pixels (scaled) before rightEdge.
void StatusLine(const char* name, bool running, float rightEdge);
void Badge(const char* text, const ImVec4& color);
// The width Badge takes for the text: its padding, dot and gap, and the text.
float BadgeWidth(const char* text);
// radius and thickness 0 or less take their defaults (0.42 line heights; 2.2 pixels scaled).
void Spinner(float radius = 0, float thickness = 0);
// The values scaled to the larger of maximum and the largest value.
void Sparkline(const char* id, const std::vector<float>& values, ImVec2 size, const ImVec4& color, float maximum);
// Flips the value when clicked and returns true then.
bool Toggle(const char* id, bool* value);

// The current item (none when *current is out of range) and a list to pick from; true when the
// index changed.
bool Dropdown(const char* label, int* current, const std::vector<std::string>& items, float width = 0);
// Text inputs that grow the string as the user types. A null hint draws no hint.
bool InputText(const char* label, std::string* text, float width = 0, const char* hint = nullptr,
               ImGuiInputTextFlags flags = 0);
bool InputTextMultiline(const char* label, std::string* text, ImVec2 size = ImVec2(0, 0), ImGuiInputTextFlags flags = 0);

}  // namespace ui

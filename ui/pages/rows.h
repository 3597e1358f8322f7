// ui/pages/rows.h: layout helpers the pages share: a column of labels whose values line up, and
// rows of items that continue on the next line when the window is too narrow. GUI thread, inside
// a window.
#pragma once
#include <initializer_list>
#include <string>
#include <vector>

namespace ui {

// Where the values start, as an offset for ImGui::SameLine: after the widest label and a gap,
// measured from the current line's start.
float LabelColumn(std::initializer_list<const char*> labels);
// The label aligned with the framed widget that follows it at `column` on the same line.
void RowLabel(const char* label, float column);
// Keeps the next item, `width` wide, on the line of the last one, `spacing` after it (the style's
// item spacing when negative), when it fits before the content's right edge; otherwise it starts a
// new line. True when it stayed on the line.
bool SameLineIfFits(float width, float spacing = -1);
// The width of a button labelled with the icon and text.
float ButtonWidth(const char* icon, const char* text);
// The width a drop-down needs to show the widest of its items whole.
float DropdownWidth(const std::vector<std::string>& items);
// The width for an item that would be `wanted` wide, narrowed to leave room on its line for an
// item `following` wide `spacing` after it (as SameLineIfFits), but never below `least` nor past
// the content's right edge.
float WidthBeside(float wanted, float least, float following, float spacing = -1);
// The height the current card's content needs, measured at its end.
float NaturalHeight();

}  // namespace ui

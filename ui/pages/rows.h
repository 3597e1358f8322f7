// ui/pages/rows.h: layout helpers the pages share: a column of labels whose values line up, and
// rows of items that continue on the next line when the window is too narrow. GUI thread, inside
// a window.
#pragma once
#include <initializer_list>

namespace ui {

// Where the values start, as an offset for ImGui::SameLine: after the widest label and a gap,
// measured from the current line's start.
float LabelColumn(std::initializer_list<const char*> labels);
// The label aligned with the framed widget that follows it at `column` on the same line.
void RowLabel(const char* label, float column);
// Keeps the next item, `width` wide, on the line of the last one when it fits before the
// content's right edge (and returns true); otherwise it starts a new line.
bool SameLineIfFits(float width);
// The width of a button labelled with the icon and text.
float ButtonWidth(const char* icon, const char* text);

}  // namespace ui

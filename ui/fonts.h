// ui/fonts.h: the five interface fonts built from Windows system fonts, each with the icon font
// merged in, and their fall-backs. GUI thread only, between frames; owns the font table.
#pragma once
#include <initializer_list>
#include <string>

#include "imgui.h"

namespace ui {

// The fonts in the order body, bold, title, mono, big; null until BuildFonts.
enum FontIndex { kFontBody, kFontBold, kFontTitle, kFontMono, kFontBig, kFontCount };
ImFont* const* Fonts();

// The first of the names found in the fonts folder, as a UTF-8 path; empty when none is there.
std::string FindSystemFont(std::initializer_list<const char*> names);
// The font at the path (Dear ImGui's built-in font at that size when the path is empty or cannot
// be loaded), with the icon font merged in when its path is not empty. Returns the base font.
ImFont* AddFontWithIcons(const std::string& path, float size, const std::string& iconPath, float iconSize);
// Clears the IO's font atlas and adds the five fonts at the scale; the body font becomes the
// default font.
void BuildFonts(float scale);

// Test seam: look for fonts in this folder instead of the Windows folder's "Fonts" (empty
// restores the Windows folder).
void SetFontsFolderForTests(const std::wstring& folder);

}  // namespace ui

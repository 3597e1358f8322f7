// ui/fonts.h: the five interface fonts built from Windows system fonts, each with the icon font
// merged in, and their fall-backs, in an atlas the device's textures can hold. GUI thread only,
// between frames; owns the font table and the atlas's size limit.
#pragma once
#include <initializer_list>
#include <string>

#include "imgui.h"

struct ID3D11Device;

namespace ui {

// The fonts in the order body, bold, title, mono, big; null until BuildFonts.
enum FontIndex { kFontBody, kFontBold, kFontTitle, kFontMono, kFontBig, kFontCount };
ImFont* const* Fonts();

// The first of the names found in the fonts folder, as a UTF-8 path; empty when none is there.
std::string FindSystemFont(std::initializer_list<const char*> names);
// How glyphs are made: oversampled `oversample` times each way, at `density` times their size
// (drawn at their full size whatever the density).
struct FontRaster {
    int oversample = 2;
    float density = 1.0f;
};
// The font at the path (Dear ImGui's built-in font at that size when the path is empty or cannot
// be loaded), with the icon font merged in when its path is not empty. Returns the base font.
ImFont* AddFontWithIcons(const std::string& path, float size, const std::string& iconPath, float iconSize,
                         const FontRaster& raster = {});
// Clears the IO's font atlas, adds the five fonts at the scale and builds the atlas; the body
// font becomes the default font. When the atlas would be longer than the texture limit (very high
// DPI), the glyphs are made without oversampling, then at a lower density, until it fits.
void BuildFonts(float scale);

// The longest side of a texture on `device` (its feature level's limit); 8192, the least of the
// levels Zerva asks for, without a device.
int MaxTextureSide(ID3D11Device* device);
// The longest side the next BuildFonts may give the atlas (8192 until set).
void SetFontTextureLimit(int side);
int FontTextureLimit();
// Whether the renderer can make the font texture on `device`: the atlas fits the device's limit
// and a texture of its size can be made. The renderer does not check, and goes on with none.
bool FontTextureCanBeMade(ID3D11Device* device);

// Test seam: look for fonts in this folder instead of the Windows folder's "Fonts" (empty
// restores the Windows folder).
void SetFontsFolderForTests(const std::wstring& folder);

}  // namespace ui

#include "ui/fonts.h"

#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/files.h"
#include "core/text.h"
#include "ui/logo.h"

namespace {

ImFont* g_fonts[ui::kFontCount] = {};
std::wstring g_folderOverride;
int g_textureLimit = D3D10_REQ_TEXTURE2D_U_OR_V_DIMENSION;

// Latin, general punctuation, arrows, box drawing, miscellaneous symbols and the euro sign.
const ImWchar kTextRanges[] = {
    0x0020, 0x00FF, 0x0100, 0x017F, 0x2000, 0x206F, 0x2190, 0x21FF,
    0x2500, 0x25FF, 0x2600, 0x26FF, 0x20AC, 0x20AC, 0,
};

// The icons the pages draw, from the Windows icon fonts.
const ImWchar kIconRanges[] = {
    0xE70D, 0xE70F, 0xE710, 0xE711, 0xE713, 0xE713, 0xE71A, 0xE71A, 0xE721, 0xE721,
    0xE72C, 0xE72C, 0xE734, 0xE734, 0xE73E, 0xE73E, 0xE74D, 0xE74E, 0xE756, 0xE756,
    0xE768, 0xE768, 0xE774, 0xE774, 0xE785, 0xE785, 0xE7A7, 0xE7A7, 0xE7BA, 0xE7BA,
    0xE7E8, 0xE7E8, 0xE80F, 0xE80F, 0xE839, 0xE839, 0xE896, 0xE896, 0xE8A5, 0xE8A7,
    0xE8B7, 0xE8B7, 0xE8C8, 0xE8C8, 0xE8D7, 0xE8D7, 0xE8F1, 0xE8F1, 0xE909, 0xE909,
    0xE943, 0xE946, 0xEA18, 0xEA18, 0xEA37, 0xEA37, 0,
};

std::wstring FontsFolder() {
    if (!g_folderOverride.empty()) return g_folderOverride;
    wchar_t windows[260] = {};
    const UINT n = ::GetWindowsDirectoryW(windows, 260);
    return std::wstring(windows, n < 260 ? n : 0) + L"\\Fonts";
}

// The file's bytes in memory the atlas owns, when they look like a TrueType or OpenType font.
// Reading the file here, instead of letting Dear ImGui open it, keeps an unreadable or foreign
// file from reaching its assertions and lets the caller fall back.
std::optional<std::pair<void*, int>> LoadFontFile(const std::string& path) {
    std::optional<std::string> bytes = ReadWholeFile(Utf8ToWide(path));
    if (!bytes || bytes->size() < 12 || bytes->size() > 64u * 1024 * 1024) return std::nullopt;
    static const char* const kTags[] = {"\x00\x01\x00\x00", "true", "OTTO", "ttcf"};
    bool known = false;
    for (const char* tag : kTags) known = known || std::memcmp(bytes->data(), tag, 4) == 0;
    if (!known) return std::nullopt;
    void* data = IM_ALLOC(bytes->size());
    std::memcpy(data, bytes->data(), bytes->size());
    return std::make_pair(data, int(bytes->size()));
}

}  // namespace

namespace ui {

ImFont* const* Fonts() { return g_fonts; }

void SetFontsFolderForTests(const std::wstring& folder) { g_folderOverride = folder; }

std::string FindSystemFont(std::initializer_list<const char*> names) {
    const std::wstring folder = FontsFolder();
    for (const char* name : names) {
        const std::wstring path = folder + L"\\" + Utf8ToWide(name);
        if (::GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return WideToUtf8(path);
    }
    return {};
}

ImFont* AddFontWithIcons(const std::string& path, float size, const std::string& iconPath, float iconSize,
                         const FontRaster& raster) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ImFont* font = nullptr;
    if (!path.empty()) {
        if (auto file = LoadFontFile(path)) {
            ImFontConfig config;
            config.OversampleH = raster.oversample;
            config.OversampleV = raster.oversample;
            config.PixelSnapH = false;
            config.RasterizerDensity = raster.density;
            font = atlas->AddFontFromMemoryTTF(file->first, file->second, size, &config, kTextRanges);
        }
    }
    if (!font) {
        ImFontConfig config;
        config.SizePixels = size;
        config.RasterizerDensity = raster.density;
        font = atlas->AddFontDefault(&config);
    }
    if (!iconPath.empty()) {
        if (auto file = LoadFontFile(iconPath)) {
            ImFontConfig config;
            config.OversampleH = std::min(int(config.OversampleH), raster.oversample);
            config.RasterizerDensity = raster.density;
            config.MergeMode = true;
            config.PixelSnapH = true;
            config.GlyphMinAdvanceX = iconSize;
            config.GlyphOffset = ImVec2(0, iconSize * 0.18f);
            atlas->AddFontFromMemoryTTF(file->first, file->second, iconSize, &config, kIconRanges);
        }
    }
    return font;
}

namespace {

struct FontFiles {
    std::string text, bold, mono, icons;
};

FontFiles FindFontFiles() {
    FontFiles files;
    files.text = FindSystemFont({"segoeui.ttf", "tahoma.ttf", "arial.ttf"});
    files.bold = FindSystemFont({"seguisb.ttf", "segoeuib.ttf", "tahomabd.ttf", "arialbd.ttf"});
    if (files.bold.empty()) files.bold = files.text;
    files.mono = FindSystemFont({"CascadiaMono.ttf", "consola.ttf", "cour.ttf"});
    files.icons = FindSystemFont({"SegoeIcons.ttf", "segmdl2.ttf"});
    return files;
}

void AddFonts(const FontFiles& files, float scale, const FontRaster& raster) {
    const float s = scale * 16;
    g_fonts[kFontBody] = AddFontWithIcons(files.text, s, files.icons, s * 0.95f, raster);
    g_fonts[kFontBold] = AddFontWithIcons(files.bold, s, files.icons, s * 0.95f, raster);
    g_fonts[kFontTitle] = AddFontWithIcons(files.bold, scale * 23, files.icons, scale * 22, raster);
    g_fonts[kFontMono] = AddFontWithIcons(files.mono, scale * 14, {}, 0, raster);
    g_fonts[kFontBig] = AddFontWithIcons(files.text, scale * 30, files.icons, scale * 30, raster);
}

bool AtlasFits(const ImFontAtlas& atlas, int side) { return atlas.TexWidth <= side && atlas.TexHeight <= side; }

// Without an icon font Dear ImGui would draw its fallback glyph ("?" or a boxed question mark)
// wherever an icon goes; the icons are left blank instead. The mapping lives in the built atlas.
void LeaveIconsUndrawn() {
    for (ImFont* font : g_fonts) {
        if (!font || font == g_fonts[kFontMono]) continue;
        for (const ImWchar* range = kIconRanges; range[0]; range += 2)
            for (unsigned c = range[0]; c <= range[1]; ++c) font->AddRemapChar(ImWchar(c), ImWchar(' '), true);
    }
}

}  // namespace

void BuildFonts(float scale) {
    ImGuiIO& io = ImGui::GetIO();
    const FontFiles files = FindFontFiles();
    // The sharpest glyphs first. At a very high DPI that atlas outgrows the textures the device
    // can make: the glyphs are then made without oversampling (which adds little at that size),
    // then at half the density and less, but never smaller than at 100%.
    FontRaster raster;
    for (;;) {
        io.Fonts->Clear();
        AddFonts(files, scale, raster);
        if (io.Fonts->Build() && AtlasFits(*io.Fonts, g_textureLimit)) break;
        if (raster.oversample > 1)
            raster.oversample = 1;
        else if (raster.density > 1.0f / scale)
            raster.density = std::max(raster.density / 2, 1.0f / scale);
        else
            break;  // the smallest atlas of these fonts; FontTextureCanBeMade judges it
    }
    io.FontDefault = g_fonts[kFontBody];
    if (files.icons.empty()) LeaveIconsUndrawn();
}

int MaxTextureSide(ID3D11Device* device) {
    if (!device) return D3D10_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    const D3D_FEATURE_LEVEL level = device->GetFeatureLevel();
    if (level >= D3D_FEATURE_LEVEL_11_0) return D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    if (level >= D3D_FEATURE_LEVEL_10_0) return D3D10_REQ_TEXTURE2D_U_OR_V_DIMENSION;
    return level >= D3D_FEATURE_LEVEL_9_3 ? 4096 : 2048;
}

void SetFontTextureLimit(int side) { g_textureLimit = side; }
int FontTextureLimit() { return g_textureLimit; }

bool FontTextureCanBeMade(ID3D11Device* device) {
    if (!device) return false;
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    const int side = MaxTextureSide(device);
    if (!pixels || width <= 0 || height <= 0 || width > side || height > side) return false;
    // The texture the renderer makes, without its pixels: what fails for want of memory fails here.
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    return CreateRgbaTexture(device, uint32_t(width), uint32_t(height), nullptr, &texture);
}

}  // namespace ui

#include "ui/fonts.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "core/files.h"
#include "core/text.h"

namespace {

ImFont* g_fonts[ui::kFontCount] = {};
std::wstring g_folderOverride;

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

ImFont* AddFontWithIcons(const std::string& path, float size, const std::string& iconPath, float iconSize) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ImFont* font = nullptr;
    if (!path.empty()) {
        if (auto file = LoadFontFile(path)) {
            ImFontConfig config;
            config.OversampleH = 2;
            config.OversampleV = 2;
            config.PixelSnapH = false;
            font = atlas->AddFontFromMemoryTTF(file->first, file->second, size, &config, kTextRanges);
        }
    }
    if (!font) {
        ImFontConfig config;
        config.SizePixels = size;
        font = atlas->AddFontDefault(&config);
    }
    if (!iconPath.empty()) {
        if (auto file = LoadFontFile(iconPath)) {
            ImFontConfig config;
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

// Without an icon font Dear ImGui would draw its fallback glyph ("?" or a boxed question mark)
// wherever an icon goes; the icons are left blank instead. The mapping lives in the built atlas,
// so the atlas is built here rather than by the renderer's first frame.
void LeaveIconsUndrawn() {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    if (!atlas->Build()) return;
    for (ImFont* font : g_fonts) {
        if (!font || font == g_fonts[kFontMono]) continue;
        for (const ImWchar* range = kIconRanges; range[0]; range += 2)
            for (unsigned c = range[0]; c <= range[1]; ++c) font->AddRemapChar(ImWchar(c), ImWchar(' '), true);
    }
}

}  // namespace

void BuildFonts(float scale) {
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    const std::string text = FindSystemFont({"segoeui.ttf", "tahoma.ttf", "arial.ttf"});
    std::string bold = FindSystemFont({"seguisb.ttf", "segoeuib.ttf", "tahomabd.ttf", "arialbd.ttf"});
    if (bold.empty()) bold = text;
    const std::string mono = FindSystemFont({"CascadiaMono.ttf", "consola.ttf", "cour.ttf"});
    const std::string icons = FindSystemFont({"SegoeIcons.ttf", "segmdl2.ttf"});

    const float s = scale * 16;
    g_fonts[kFontBody] = AddFontWithIcons(text, s, icons, s * 0.95f);
    g_fonts[kFontBold] = AddFontWithIcons(bold, s, icons, s * 0.95f);
    g_fonts[kFontTitle] = AddFontWithIcons(bold, scale * 23, icons, scale * 22);
    g_fonts[kFontMono] = AddFontWithIcons(mono, scale * 14, {}, 0);
    g_fonts[kFontBig] = AddFontWithIcons(text, scale * 30, icons, scale * 30);
    io.FontDefault = g_fonts[kFontBody];
    if (icons.empty()) LeaveIconsUndrawn();
}

}  // namespace ui

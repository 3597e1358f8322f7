#include "ui/theme.h"

#include <windows.h>
#include <dwmapi.h>

#include <cstdint>

#include "core/config.h"
#include "ui/fonts.h"
#include "ui/imgui_compat.h"

namespace {

float g_scale = 1.0f;
bool g_dark = true;

// An 8-bit RGB colour as written in the palette tables.
constexpr ImVec4 Hex(uint32_t rgb, float alpha = 1.0f) {
    return ImVec4(float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f,
                  float(rgb & 0xFF) / 255.0f, alpha);
}

constexpr ImVec4 kTransparent(0, 0, 0, 0);

struct StyleColor {
    ImGuiCol slot;
    ImVec4 dark;
    ImVec4 light;
};

// Every colour both themes set; the others keep Dear ImGui's dark defaults.
const StyleColor kStyleColors[] = {
    {ImGuiCol_Text, Hex(0xE7E9EF), Hex(0x1B1E27)},
    {ImGuiCol_TextDisabled, Hex(0x8B91A1), Hex(0x6B7183)},
    {ImGuiCol_WindowBg, Hex(0x15171C), Hex(0xF3F4F8)},
    {ImGuiCol_ChildBg, kTransparent, kTransparent},
    {ImGuiCol_PopupBg, Hex(0x1E2129), Hex(0xFFFFFF)},
    {ImGuiCol_Border, Hex(0x2B2F3A), Hex(0xDDE0E8)},
    {ImGuiCol_BorderShadow, kTransparent, kTransparent},
    {ImGuiCol_FrameBg, Hex(0x252933), Hex(0xEBEDF2)},
    {ImGuiCol_FrameBgHovered, Hex(0x2E3340), Hex(0xE2E5EC)},
    {ImGuiCol_FrameBgActive, Hex(0x353B4A), Hex(0xD8DCE5)},
    {ImGuiCol_TitleBg, Hex(0x1A1D24), Hex(0xE9EBF0)},
    {ImGuiCol_TitleBgActive, Hex(0x1E2129), Hex(0xE2E5EC)},
    {ImGuiCol_MenuBarBg, Hex(0x1A1D24), Hex(0xE9EBF0)},
    {ImGuiCol_ScrollbarBg, kTransparent, kTransparent},
    {ImGuiCol_ScrollbarGrab, Hex(0x343947), Hex(0xC9CDD7)},
    {ImGuiCol_ScrollbarGrabHovered, Hex(0x3F4556), Hex(0xB7BCC8)},
    {ImGuiCol_ScrollbarGrabActive, Hex(0x4A5165), Hex(0xA5ABB9)},
    {ImGuiCol_CheckMark, Hex(0x8A97FF), Hex(0x4F5BD5)},
    {ImGuiCol_SliderGrab, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_SliderGrabActive, Hex(0x8A97FF), Hex(0x3F4BC5)},
    {ImGuiCol_Button, Hex(0x2A2E39), Hex(0xE6E8EE)},
    {ImGuiCol_ButtonHovered, Hex(0x343947), Hex(0xDADDE5)},
    {ImGuiCol_ButtonActive, Hex(0x3E4455), Hex(0xCDD1DB)},
    {ImGuiCol_Header, Hex(0x6C7CFF, 0.18f), Hex(0x4F5BD5, 0.14f)},
    {ImGuiCol_HeaderHovered, Hex(0x6C7CFF, 0.26f), Hex(0x4F5BD5, 0.20f)},
    {ImGuiCol_HeaderActive, Hex(0x6C7CFF, 0.34f), Hex(0x4F5BD5, 0.28f)},
    {ImGuiCol_Separator, Hex(0x2B2F3A), Hex(0xDDE0E8)},
    {ImGuiCol_SeparatorHovered, Hex(0x6C7CFF, 0.6f), Hex(0x4F5BD5, 0.6f)},
    {ImGuiCol_SeparatorActive, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_ResizeGrip, kTransparent, kTransparent},
    {ImGuiCol_ResizeGripHovered, Hex(0x6C7CFF, 0.5f), Hex(0x4F5BD5, 0.5f)},
    {ImGuiCol_ResizeGripActive, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_TabHovered, Hex(0x343947), Hex(0xDADDE5)},
    {ImGuiCol_Tab, Hex(0x1E2129), Hex(0xE9EBF0)},
    {ui::compat::kColTabSelected, Hex(0x2E3340), Hex(0xFFFFFF)},
    {ui::compat::kColTabDimmed, Hex(0x1E2129), Hex(0xE9EBF0)},
    {ui::compat::kColTabDimmedSelected, Hex(0x2A2E39), Hex(0xF5F6F9)},
    {ImGuiCol_PlotLines, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_PlotLinesHovered, Hex(0x8A97FF), Hex(0x3F4BC5)},
    {ImGuiCol_PlotHistogram, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_PlotHistogramHovered, Hex(0x8A97FF), Hex(0x3F4BC5)},
    {ImGuiCol_TableHeaderBg, Hex(0x1E2129), Hex(0xEEF0F4)},
    {ImGuiCol_TableBorderStrong, Hex(0x2B2F3A), Hex(0xDDE0E8)},
    {ImGuiCol_TableBorderLight, Hex(0x23262F), Hex(0xE7E9EF)},
    {ImGuiCol_TableRowBg, kTransparent, kTransparent},
    {ImGuiCol_TableRowBgAlt, Hex(0xFFFFFF, 0.025f), Hex(0x000000, 0.025f)},
    {ImGuiCol_TextSelectedBg, Hex(0x6C7CFF, 0.35f), Hex(0x4F5BD5, 0.25f)},
    {ImGuiCol_DragDropTarget, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ui::compat::kColNavCursor, Hex(0x6C7CFF), Hex(0x4F5BD5)},
    {ImGuiCol_ModalWindowDimBg, Hex(0x000000, 0.55f), Hex(0x1B1E27, 0.35f)},
};

ImVec4 Pick(uint32_t light, uint32_t dark) { return Hex(g_dark ? dark : light); }

}  // namespace

namespace ui {

void ApplyTheme(float scale, bool dark) {
    g_scale = scale;
    g_dark = dark;
    BuildFonts(scale);
    ApplyStyle(scale);
}

void ApplyStyle(float scale) {
    ImGuiStyle& style = ImGui::GetStyle();
    style = ImGuiStyle();
    style.WindowPadding = ImVec2(16, 14);
    style.WindowRounding = 8;
    style.WindowBorderSize = 0;
    style.WindowTitleAlign = ImVec2(0.5f, 0.5f);
    style.ChildRounding = 10;
    style.ChildBorderSize = 1;
    style.PopupRounding = 8;
    style.PopupBorderSize = 1;
    style.FramePadding = ImVec2(10, 6);
    style.FrameRounding = 6;
    style.FrameBorderSize = 0;
    style.ItemSpacing = ImVec2(10, 8);
    style.ItemInnerSpacing = ImVec2(8, 6);
    style.CellPadding = ImVec2(8, 5);
    style.IndentSpacing = 18;
    style.ScrollbarSize = 12;
    style.ScrollbarRounding = 8;
    style.GrabMinSize = 10;
    style.GrabRounding = 6;
    style.TabRounding = 6;
    style.TabBorderSize = 0;
    style.SeparatorTextBorderSize = 1;
    style.ScaleAllSizes(scale);

    for (const StyleColor& c : kStyleColors) style.Colors[c.slot] = g_dark ? c.dark : c.light;
    if constexpr (compat::kHasTabSelectedOverline)
        style.Colors[compat::kColTabSelectedOverline] = g_dark ? Hex(0x6C7CFF) : Hex(0x4F5BD5);
}

float DpiScale() { return g_scale; }
float Scale() { return g_scale; }
bool IsDarkTheme() { return g_dark; }

ImVec4 AccentColor() { return Pick(0x4F5BD5, 0x6C7CFF); }
ImVec4 AccentActiveColor() { return Pick(0x3F4BC5, 0x8190FF); }
ImVec4 CardColor() { return Pick(0xFFFFFF, 0x1B1E25); }
ImVec4 DangerColor() { return Pick(0xDC2626, 0xF26D6D); }
ImVec4 WindowBgColor() { return Pick(0xE9EBF1, 0x101217); }
ImVec4 SuccessColor() { return Pick(0x16A34A, 0x34D07A); }
ImVec4 WarningColor() { return Pick(0xD97706, 0xF5B342); }
ImVec4 TextColorOf() { return ImGui::GetStyle().Colors[ImGuiCol_TextDisabled]; }

ImU32 ColorU32(const ImVec4& color, float alphaFactor) {
    return ImGui::ColorConvertFloat4ToU32(ImVec4(color.x, color.y, color.z, color.w * alphaFactor));
}

}  // namespace ui

void ApplyTitleBarTheme(HWND window, bool dark) {
    // DWMWA_USE_IMMERSIVE_DARK_MODE and DWMWA_CAPTION_COLOR by number: older SDK headers lack them.
    const BOOL useDark = dark ? TRUE : FALSE;
    ::DwmSetWindowAttribute(window, 20, &useDark, sizeof useDark);
    const COLORREF caption = dark ? 0x00171210 : 0x00F4F0EE;
    ::DwmSetWindowAttribute(window, 35, &caption, sizeof caption);
}

std::string GetThemeSetting() { return Config::Instance().Get(setting::kTheme); }

#include "ui/theme.h"

#include <gtest/gtest.h>

#include "tests/ui/imgui_harness.h"
#include "ui/fonts.h"
#include "ui/imgui_compat.h"

namespace {

using uitest::Hex;

struct PaletteCase {
    ImVec4 (*getter)();
    const char* name;
    const char* light;
    const char* dark;
};

const PaletteCase kPalette[] = {
    {ui::AccentColor, "accent", "#4F5BD5", "#6C7CFF"},
    {ui::AccentActiveColor, "accent active", "#3F4BC5", "#8190FF"},
    {ui::CardColor, "card", "#FFFFFF", "#1B1E25"},
    {ui::DangerColor, "danger", "#DC2626", "#F26D6D"},
    {ui::WindowBgColor, "window", "#E9EBF1", "#101217"},
    {ui::SuccessColor, "success", "#16A34A", "#34D07A"},
    {ui::WarningColor, "warning", "#D97706", "#F5B342"},
};

struct StyleCase {
    ImGuiCol slot;
    const char* dark;
    float darkAlpha;
    const char* light;
    float lightAlpha;
};

// One colour of each kind: plain, transparent, with alpha, and the renamed tab and cursor colours.
const StyleCase kStyle[] = {
    {ImGuiCol_Text, "#E7E9EF", 1, "#1B1E27", 1},
    {ImGuiCol_WindowBg, "#15171C", 1, "#F3F4F8", 1},
    {ImGuiCol_ChildBg, "#000000", 0, "#000000", 0},
    {ImGuiCol_Header, "#6C7CFF", 0.18f, "#4F5BD5", 0.14f},
    {ImGuiCol_TableRowBgAlt, "#FFFFFF", 0.025f, "#000000", 0.025f},
    {ImGuiCol_ModalWindowDimBg, "#000000", 0.55f, "#1B1E27", 0.35f},
    {ui::compat::kColTabSelected, "#2E3340", 1, "#FFFFFF", 1},
    {ui::compat::kColTabDimmed, "#1E2129", 1, "#E9EBF0", 1},
    {ui::compat::kColTabDimmedSelected, "#2A2E39", 1, "#F5F6F9", 1},
    {ui::compat::kColNavCursor, "#6C7CFF", 1, "#4F5BD5", 1},
};

TEST(Theme, PalettesAndStyleOfBothThemesAtTwoScales) {
    uitest::Harness harness;
    const ImGuiStyle defaults;
    for (const bool dark : {true, false}) {
        for (const float scale : {1.0f, 1.5f}) {
            SCOPED_TRACE(std::string(dark ? "dark" : "light") + " at " + std::to_string(scale));
            ui::ApplyTheme(scale, dark);
            harness.Frame({});
            EXPECT_EQ(ui::Scale(), scale);
            EXPECT_EQ(ui::DpiScale(), scale);
            for (const PaletteCase& c : kPalette) {
                const ImVec4 color = c.getter();
                EXPECT_EQ(Hex(color), dark ? c.dark : c.light) << c.name;
                EXPECT_EQ(color.w, 1.0f) << c.name;
            }
            const ImGuiStyle& style = ImGui::GetStyle();
            for (const StyleCase& c : kStyle) {
                EXPECT_EQ(Hex(style.Colors[c.slot]), dark ? c.dark : c.light) << ImGui::GetStyleColorName(c.slot);
                EXPECT_FLOAT_EQ(style.Colors[c.slot].w, dark ? c.darkAlpha : c.lightAlpha)
                    << ImGui::GetStyleColorName(c.slot);
            }
            // Left alone: Dear ImGui's own (dark) values in both themes.
            for (ImGuiCol kept : {ImGuiCol_TitleBgCollapsed, ImGuiCol_NavWindowingHighlight, ImGuiCol_NavWindowingDimBg})
                EXPECT_EQ(Hex(style.Colors[kept]), Hex(defaults.Colors[kept])) << ImGui::GetStyleColorName(kept);
            EXPECT_EQ(Hex(ui::TextColorOf()), dark ? "#8B91A1" : "#6B7183");

            EXPECT_FLOAT_EQ(style.WindowPadding.x, 16 * scale);
            EXPECT_FLOAT_EQ(style.WindowPadding.y, 14 * scale);
            EXPECT_FLOAT_EQ(style.FramePadding.y, 6 * scale);
            EXPECT_FLOAT_EQ(style.FrameRounding, 6 * scale);
            EXPECT_FLOAT_EQ(style.ItemSpacing.x, 10 * scale);
            EXPECT_FLOAT_EQ(style.ScrollbarSize, 12 * scale);
            EXPECT_FLOAT_EQ(style.WindowBorderSize, 0);
            EXPECT_FLOAT_EQ(style.ChildBorderSize, 1);  // borders are not scaled
            EXPECT_FLOAT_EQ(style.WindowTitleAlign.x, 0.5f);

            ASSERT_NE(ui::Fonts()[ui::kFontBody], nullptr);
            EXPECT_FLOAT_EQ(ui::Fonts()[ui::kFontBody]->FontSize, 16 * scale);
            EXPECT_FLOAT_EQ(ui::Fonts()[ui::kFontBig]->FontSize, 30 * scale);
            EXPECT_EQ(ImGui::GetIO().FontDefault, ui::Fonts()[ui::kFontBody]);
        }
    }
}

TEST(Theme, ColorU32MultipliesAlphaOnly) {
    uitest::Harness harness;
    const ImVec4 color(1.0f, 0.5f, 0.0f, 0.8f);
    EXPECT_EQ(ui::ColorU32(color, 0.5f), ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.5f, 0.0f, 0.4f)));
    EXPECT_EQ(ui::ColorU32(color), ImGui::ColorConvertFloat4ToU32(color));
}

}  // namespace

#include "ui/theme.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/ui/imgui_harness.h"
#include "ui/fonts.h"
#include "ui/imgui_compat.h"

namespace {

using uitest::Hex;

// The colour as "#RRGGBB" with its alpha when not opaque: "#6C7CFF/0.18".
std::string Described(const ImVec4& c) {
    char alpha[16] = "";
    if (c.w != 1.0f) std::snprintf(alpha, sizeof alpha, "/%.3f", c.w);
    return Hex(c) + alpha;
}

struct ColorCase {
    const char* name;
    ImVec4 (*get)();
    const char* dark;
    const char* light;
};

// Each palette getter, and one style colour of each kind (plain, transparent, with alpha, renamed
// in newer Dear ImGui releases).
template <ImGuiCol slot>
ImVec4 StyleColor() { return ImGui::GetStyle().Colors[slot]; }

const ColorCase kColors[] = {
    {"accent", ui::AccentColor, "#6C7CFF", "#4F5BD5"},
    {"accent active", ui::AccentActiveColor, "#8190FF", "#3F4BC5"},
    {"card", ui::CardColor, "#1B1E25", "#FFFFFF"},
    {"danger", ui::DangerColor, "#F26D6D", "#DC2626"},
    {"window", ui::WindowBgColor, "#101217", "#E9EBF1"},
    {"success", ui::SuccessColor, "#34D07A", "#16A34A"},
    {"warning", ui::WarningColor, "#F5B342", "#D97706"},
    {"muted", ui::TextColorOf, "#8B91A1", "#6B7183"},
    {"Text", StyleColor<ImGuiCol_Text>, "#E7E9EF", "#1B1E27"},
    {"WindowBg", StyleColor<ImGuiCol_WindowBg>, "#15171C", "#F3F4F8"},
    {"ChildBg", StyleColor<ImGuiCol_ChildBg>, "#000000/0.000", "#000000/0.000"},
    {"Header", StyleColor<ImGuiCol_Header>, "#6C7CFF/0.180", "#4F5BD5/0.140"},
    {"TableRowBgAlt", StyleColor<ImGuiCol_TableRowBgAlt>, "#FFFFFF/0.025", "#000000/0.025"},
    {"ModalWindowDimBg", StyleColor<ImGuiCol_ModalWindowDimBg>, "#000000/0.550", "#1B1E27/0.350"},
    {"TabSelected", StyleColor<ui::compat::kColTabSelected>, "#2E3340", "#FFFFFF"},
    {"TabDimmed", StyleColor<ui::compat::kColTabDimmed>, "#1E2129", "#E9EBF0"},
    {"TabDimmedSelected", StyleColor<ui::compat::kColTabDimmedSelected>, "#2A2E39", "#F5F6F9"},
    {"NavCursor", StyleColor<ui::compat::kColNavCursor>, "#6C7CFF", "#4F5BD5"},
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
            for (const ColorCase& c : kColors) EXPECT_EQ(Described(c.get()), dark ? c.dark : c.light) << c.name;
            const ImGuiStyle& style = ImGui::GetStyle();
            // Left alone: Dear ImGui's own (dark) values in both themes.
            for (ImGuiCol kept : {ImGuiCol_TitleBgCollapsed, ImGuiCol_NavWindowingHighlight, ImGuiCol_NavWindowingDimBg})
                EXPECT_EQ(Described(style.Colors[kept]), Described(defaults.Colors[kept])) << kept;

            EXPECT_FLOAT_EQ(style.WindowPadding.x, 16 * scale);
            EXPECT_FLOAT_EQ(style.WindowPadding.y, 14 * scale);
            EXPECT_FLOAT_EQ(style.FrameRounding, 6 * scale);
            EXPECT_FLOAT_EQ(style.ItemSpacing.x, 10 * scale);
            EXPECT_FLOAT_EQ(style.ScrollbarSize, 12 * scale);
            EXPECT_FLOAT_EQ(style.WindowBorderSize, 0);
            EXPECT_FLOAT_EQ(style.ChildBorderSize, 1);  // borders are not scaled
            EXPECT_FLOAT_EQ(style.WindowTitleAlign.x, 0.5f);
            EXPECT_FLOAT_EQ(ui::Fonts()[ui::kFontBody]->FontSize, 16 * scale);
            EXPECT_EQ(ImGui::GetIO().FontDefault, ui::Fonts()[ui::kFontBody]);
        }
    }
    const ImVec4 color(1.0f, 0.5f, 0.0f, 0.8f);
    EXPECT_EQ(ui::ColorU32(color, 0.5f), ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.5f, 0.0f, 0.4f)));
}

}  // namespace

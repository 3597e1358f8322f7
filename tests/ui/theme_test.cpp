#include "ui/theme.h"

#include <gtest/gtest.h>

#include "tests/ui/imgui_harness.h"
#include "ui/fonts.h"
#include "ui/imgui_compat.h"

namespace {

float Luma(const ImVec4& c) { return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z; }

TEST(Theme, EachThemeKeepsItsOwnPaletteAndTheStyleScales) {
    uitest::Harness harness;
    const ImGuiStyle defaults;
    ImVec4 (*const inks[])() = {ui::AccentColor,  ui::AccentActiveColor, ui::DangerColor,
                                ui::SuccessColor, ui::WarningColor,      ui::TextColorOf};
    std::vector<float> darkLuma;
    for (const bool dark : {true, false}) {
        for (const float scale : {1.0f, 1.5f}) {
            SCOPED_TRACE(std::string(dark ? "dark" : "light") + " at " + std::to_string(scale));
            ui::ApplyTheme(scale, dark);
            harness.Frame({});
            EXPECT_EQ(ui::DpiScale(), scale);
            const ImGuiStyle& style = ImGui::GetStyle();
            // Text stands out from every surface: light on dark, dark on light.
            for (const ImVec4 surface : {style.Colors[ImGuiCol_WindowBg], style.Colors[ImGuiCol_PopupBg],
                                         style.Colors[ImGuiCol_FrameBg], style.Colors[ImGuiCol_Button],
                                         style.Colors[ImGuiCol_TitleBgActive], style.Colors[ui::compat::kColTabSelected],
                                         ui::CardColor(), ui::WindowBgColor()})
                EXPECT_GT(dark ? Luma(style.Colors[ImGuiCol_Text]) - Luma(surface)
                               : Luma(surface) - Luma(style.Colors[ImGuiCol_Text]), 0.4f) << uitest::Hex(surface);
            // The colours drawn on those surfaces are lighter shades in the dark theme.
            for (size_t i = 0; i < std::size(inks); ++i) {
                if (dark && scale == 1.0f) darkLuma.push_back(Luma(inks[i]()));
                if (!dark) {
                    EXPECT_GT(darkLuma[i], Luma(inks[i]()) + 0.1f) << i;
                }
            }
            EXPECT_EQ(uitest::Hex(style.Colors[ImGuiCol_WindowBg]), dark ? "#15171C" : "#F3F4F8");
            EXPECT_FLOAT_EQ(style.Colors[ImGuiCol_Header].w, dark ? 0.18f : 0.14f);
            // Left alone: Dear ImGui's own (dark) values in both themes.
            for (ImGuiCol kept : {ImGuiCol_TitleBgCollapsed, ImGuiCol_NavWindowingHighlight, ImGuiCol_NavWindowingDimBg})
                EXPECT_EQ(uitest::Hex(style.Colors[kept]), uitest::Hex(defaults.Colors[kept])) << kept;

            EXPECT_FLOAT_EQ(style.WindowPadding.x, 16 * scale);
            EXPECT_FLOAT_EQ(style.FrameRounding, 6 * scale);
            EXPECT_FLOAT_EQ(style.ItemSpacing.x, 10 * scale);
            EXPECT_FLOAT_EQ(style.ScrollbarSize, 12 * scale);
            EXPECT_FLOAT_EQ(style.ChildBorderSize, 1);  // borders are not scaled
            EXPECT_FLOAT_EQ(ui::Fonts()[ui::kFontBody]->FontSize, 16 * scale);
            EXPECT_EQ(ImGui::GetIO().FontDefault, ui::Fonts()[ui::kFontBody]);
        }
    }
    EXPECT_EQ(ui::ColorU32(ImVec4(1.0f, 0.5f, 0.0f, 0.8f), 0.5f),
              ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.5f, 0.0f, 0.4f)));
}

}  // namespace

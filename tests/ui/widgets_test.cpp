#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>

#include "core/translate.h"
#include "imgui_internal.h"
#include "tests/ui/imgui_harness.h"
#include "ui/theme.h"

namespace {

constexpr const char* kIcon = "\xEE\x9C\x8D";

TEST(ComposeLabel, IconTextAndIdInEachCombination) {
    for (const auto& [icon, text, id, label] : std::initializer_list<std::array<const char*, 4>>{
             {kIcon, "Start all", "start", "\xEE\x9C\x8D  Start all###start"}, {"", "Start all", "start", "Start all###start"},
             {nullptr, "", "start", "###start"}, {kIcon, "", nullptr, kIcon}, {nullptr, nullptr, nullptr, ""}})
        EXPECT_EQ(ui::ComposeLabel(icon, text, id), label) << label;
}

TEST(Widgets, ButtonsKeepTheirIdAcrossLanguagesAndClickOnlyWhenEnabled) {
    uitest::Harness harness;
    int clicks[4] = {};
    auto draw = [&] {
        clicks[0] += ui::Button(nullptr, Tr("Settings"), "plain");
        clicks[1] += ui::AccentButton(nullptr, "Go", "accent");
        clicks[2] += ui::DangerButton(nullptr, "Delete", "danger", ImVec2(0, 0), false);
        clicks[3] += ui::IconButton(kIcon, "refresh", "Refresh");
    };
    harness.Frame(draw);
    const ImGuiID english = harness.Find("Settings###plain")->id;
    SetLanguage("fr");
    harness.Frame(draw);
    SetLanguage("en");
    ASSERT_NE(harness.Find("Paramètres###plain"), nullptr);
    EXPECT_EQ(harness.Find("Paramètres###plain")->id, english);
    EXPECT_FALSE(harness.Find("Go###accent")->disabled);
    EXPECT_TRUE(harness.Find("Delete###danger")->disabled);
    for (const char* label : {"Paramètres###plain", "Go###accent", "Delete###danger", "\xEE\x9C\x8D##refresh"})
        ASSERT_TRUE(harness.Click(label, draw)) << label;
    EXPECT_EQ(std::vector<int>(clicks, clicks + 4), (std::vector<int>{1, 1, 0, 1}));
}

// Disabled, an accent or danger button looks like any disabled button in both themes: a faded
// accent still reads as pressable on the dark theme's surfaces.
TEST(Widgets, DisabledColouredButtonsLookLikeDisabledPlainOnes) {
    uitest::Harness harness;
    using Draw = bool (*)(const char*, const char*, const char*, ImVec2, bool);
    // The colours of every vertex the button adds to the window's draw list.
    const auto colours = [&](Draw button, bool enabled) {
        std::set<ImU32> used;
        harness.Frame([&] {
            const ImDrawList* list = ImGui::GetWindowDrawList();
            const int before = list->VtxBuffer.Size;
            button(kIcon, "Install", "b", ImVec2(140, 0), enabled);
            for (int i = before; i < list->VtxBuffer.Size; ++i) used.insert(list->VtxBuffer[i].col);
        });
        return used;
    };
    for (const bool dark : {true, false}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ui::ApplyTheme(1.0f, dark);
        const std::set<ImU32> plain = colours(ui::Button, false);
        for (const Draw coloured : {Draw(ui::AccentButton), Draw(ui::DangerButton)}) {
            EXPECT_EQ(colours(coloured, false), plain);
            EXPECT_NE(colours(coloured, true), colours(ui::Button, true)) << "enabled, the role's colour";
        }
    }
}

TEST(Widgets, DisabledIconButtonStillShowsItsTooltip) {
    uitest::Harness harness;
    auto draw = [] { ui::IconButton(kIcon, "refresh", "Refresh the list", false); };
    harness.Frame(draw);
    ASSERT_TRUE(harness.Find("\xEE\x9C\x8D##refresh")->disabled);
    EXPECT_EQ(ImGui::FindWindowByName("##Tooltip_00"), nullptr);
    ASSERT_TRUE(harness.Hover("\xEE\x9C\x8D##refresh", draw));
    ImGuiWindow* tooltip = ImGui::FindWindowByName("##Tooltip_00");
    EXPECT_TRUE(tooltip && tooltip->Active);
}

TEST(Widgets, LinkToggleDropdownAndGrowingInput) {
    uitest::Harness harness;
    bool on = false;
    int toggled = 0, linked = 0, changed = 0, index = -1;
    ImGuiID combo = 0;
    std::string text = "ab";
    const std::vector<std::string> items = {"8.3", "8.2", "8.3"};  // equal texts still differ by index
    auto draw = [&] {
        linked += ui::Link("phpinfo", "info");
        toggled += ui::Toggle("##console", &on);
        combo = ImGui::GetID("##version");
        changed += ui::Dropdown("##version", &index, items, 120);
        ui::InputText("##name", &text, 200, "site name");
    };
    harness.Frame(draw);
    ASSERT_TRUE(harness.Click("phpinfo##info", draw));
    ASSERT_TRUE(harness.Click("##console", draw));
    EXPECT_TRUE(on && linked == 1);
    ASSERT_TRUE(harness.Click("##console", draw));
    EXPECT_TRUE(!on && toggled == 2);

    for (int twice = 0; twice < 2; ++twice) {  // out of range until picked; the current item again: no change
        ASSERT_TRUE(harness.Click(combo, draw));
        ASSERT_TRUE(harness.Click("8.3##2", draw));
    }
    EXPECT_TRUE(index == 2 && changed == 1);

    ASSERT_TRUE(harness.Click("##name", draw));
    const std::string typed(300, 'x');  // past any buffer the string had
    ImGui::GetIO().AddInputCharactersUTF8(typed.c_str());
    harness.Frame(draw);
    EXPECT_EQ(text, "ab" + typed);
}

TEST(Widgets, SparklineDrawsOnlyItsBackgroundBelowTwoValuesZerosOnTheBottomFlatOnesAlike) {
    uitest::Harness harness;
    // One 120 x 40 sparkline: the vertices it adds, and the highest of those after the first `skip`.
    auto sparkline = [&](const std::vector<float>& values, int skip) {
        std::pair<int, float> result(0, 1e9f);
        harness.Frame([&] {
            ImDrawList* draw = ImGui::GetWindowDrawList();
            const int before = draw->VtxBuffer.Size;
            const float y = ImGui::GetCursorScreenPos().y;
            ui::Sparkline("cpu", values, ImVec2(120, 40), ui::AccentColor(), 0);
            result.first = draw->VtxBuffer.Size - before;
            for (int i = before + skip; i < draw->VtxBuffer.Size; ++i)
                result.second = std::min(result.second, draw->VtxBuffer[i].pos.y - y);
        });
        return result;
    };
    const int background = sparkline({}, 0).first;
    EXPECT_EQ(sparkline({5.0f}, 0).first, background);
    // Zeros lie on the bottom margin (2 pixels up), give or take half the line and its fringe.
    const auto [count, top] = sparkline({0.0f, 0.0f, 0.0f}, background);
    EXPECT_TRUE(count > background && top >= 40 - 2 - 0.8f - 1.0f) << count << " " << top;
    EXPECT_LE(sparkline({0.0f, 10.0f}, background).second, 2 + 0.8f + 1.0f);
    // A flat history is the same geometry however many samples it holds; a changing one is not.
    EXPECT_EQ(count, sparkline(std::vector<float>(120, 0.0f), background).first);
    EXPECT_NE(sparkline({0.0f, 1.0f, 0.0f}, 0).first, sparkline({0.0f, 1.0f, 0.0f, 1.0f}, 0).first);
}

}  // namespace

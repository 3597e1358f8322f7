#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/translate.h"
#include "imgui_internal.h"
#include "tests/ui/imgui_harness.h"
#include "ui/theme.h"

namespace {

TEST(ComposeLabel, IconTextAndIdInEachCombination) {
    struct Case {
        const char* icon;
        const char* text;
        const char* id;
        const char* label;
    } const cases[] = {
        {"\xEE\x9C\x8D", "Start all", "start", "\xEE\x9C\x8D  Start all###start"},
        {nullptr, "Start all", "start", "Start all###start"},
        {"", "Start all", "start", "Start all###start"},
        {nullptr, "", "start", "###start"},
        {"\xEE\x9C\x8D", nullptr, nullptr, "\xEE\x9C\x8D"},
        {"\xEE\x9C\x8D", "", nullptr, "\xEE\x9C\x8D"},
        {nullptr, "Start all", nullptr, "Start all"},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ui::ComposeLabel(c.icon, c.text, c.id), c.label) << c.label;
}

TEST(Widgets, ButtonsKeepTheirIdAcrossLanguagesAndClickOnlyWhenEnabled) {
    uitest::Harness harness;
    int clicks[4] = {};
    auto draw = [&] {
        if (ui::Button(nullptr, Tr("Settings"), "plain")) ++clicks[0];
        if (ui::AccentButton(nullptr, "Go", "accent")) ++clicks[1];
        if (ui::DangerButton(nullptr, "Delete", "danger", ImVec2(0, 0), false)) ++clicks[2];
        if (ui::IconButton("\xEE\x9C\x8D", "refresh", "Refresh")) ++clicks[3];
    };
    SetLanguage("en");
    harness.Frame(draw);
    ASSERT_NE(harness.Find("Settings###plain"), nullptr);
    const ImGuiID english = harness.Find("Settings###plain")->id;
    SetLanguage("fr");
    harness.Frame(draw);
    ASSERT_NE(harness.Find("Paramètres###plain"), nullptr);
    EXPECT_EQ(harness.Find("Paramètres###plain")->id, english);
    SetLanguage("en");

    harness.Frame(draw);
    EXPECT_FALSE(harness.Find("Go###accent")->disabled);
    EXPECT_TRUE(harness.Find("Delete###danger")->disabled);
    for (const char* label : {"Settings###plain", "Go###accent", "Delete###danger", "\xEE\x9C\x8D##refresh"})
        ASSERT_TRUE(harness.Click(label, draw)) << label;
    EXPECT_EQ(clicks[0], 1);
    EXPECT_EQ(clicks[1], 1);
    EXPECT_EQ(clicks[2], 0);
    EXPECT_EQ(clicks[3], 1);
}

TEST(Widgets, DisabledIconButtonStillShowsItsTooltip) {
    uitest::Harness harness;
    auto draw = [] { ui::IconButton("\xEE\x9C\x8D", "refresh", "Refresh the list", false); };
    harness.Frame(draw);
    ASSERT_TRUE(harness.Find("\xEE\x9C\x8D##refresh")->disabled);
    ImGuiWindow* tooltip = ImGui::FindWindowByName("##Tooltip_00");
    EXPECT_TRUE(tooltip == nullptr || !tooltip->Active);
    ASSERT_TRUE(harness.Hover("\xEE\x9C\x8D##refresh", draw));
    tooltip = ImGui::FindWindowByName("##Tooltip_00");
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(tooltip->Active);
}

TEST(Widgets, LinkToggleAndDropdown) {
    uitest::Harness harness;
    bool on = false;
    int toggled = 0, linked = 0, changed = 0;
    int index = -1;
    ImGuiID combo = 0;
    const std::vector<std::string> items = {"8.3", "8.2", "8.3"};  // equal texts still differ by index
    auto draw = [&] {
        if (ui::Link("phpinfo", "info")) ++linked;
        if (ui::Toggle("##console", &on)) ++toggled;
        combo = ImGui::GetID("##version");
        if (ui::Dropdown("##version", &index, items, 120)) ++changed;
    };
    harness.Frame(draw);
    ASSERT_TRUE(harness.Click("phpinfo##info", draw));
    ASSERT_TRUE(harness.Click("##console", draw));
    EXPECT_EQ(linked, 1);
    EXPECT_EQ(toggled, 1);
    EXPECT_TRUE(on);
    ASSERT_TRUE(harness.Click("##console", draw));
    EXPECT_FALSE(on);

    // Out of range: nothing is selected until an item is picked.
    ASSERT_TRUE(harness.Click(combo, draw));
    EXPECT_NE(harness.Find("8.3##0"), nullptr);
    EXPECT_NE(harness.Find("8.3##2"), nullptr);
    ASSERT_TRUE(harness.Click("8.3##2", draw));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(changed, 1);
    ASSERT_TRUE(harness.Click(combo, draw));
    ASSERT_TRUE(harness.Click("8.3##2", draw));  // the current item again: no change
    EXPECT_EQ(changed, 1);
}

TEST(Widgets, InputTextGrowsTheString) {
    uitest::Harness harness;
    std::string text = "ab";
    auto draw = [&] { ui::InputText("##name", &text, 200, "site name"); };
    harness.Frame(draw);
    ASSERT_TRUE(harness.Click("##name", draw));
    const std::string typed(300, 'x');  // past any buffer the string had
    ImGui::GetIO().AddInputCharactersUTF8(typed.c_str());
    harness.Frame(draw);
    EXPECT_EQ(text, "ab" + typed);
}

// Draws one sparkline; returns the vertices it added and the highest of those after the first
// `skip`, relative to the sparkline's top edge.
std::pair<int, float> DrawSparkline(uitest::Harness& harness, const std::vector<float>& values, int skip) {
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
}

TEST(Widgets, SparklineDrawsOnlyItsBackgroundBelowTwoValuesAndZerosOnTheBottom) {
    uitest::Harness harness;
    ui::ApplyTheme(1.0f, true);
    const int background = DrawSparkline(harness, {}, 0).first;
    EXPECT_EQ(DrawSparkline(harness, {5.0f}, 0).first, background);
    // All zeros: fill and line within the line's half width and its anti-aliased fringe of the
    // bottom margin (2 pixels above the 40-pixel bottom).
    const auto [count, top] = DrawSparkline(harness, {0.0f, 0.0f, 0.0f}, background);
    EXPECT_GT(count, background);
    EXPECT_GE(top, 40 - 2 - 0.8f - 1.0f);
    // The largest value reaches the top margin.
    EXPECT_LE(DrawSparkline(harness, {0.0f, 10.0f}, background).second, 2 + 0.8f + 1.0f);
}

}  // namespace

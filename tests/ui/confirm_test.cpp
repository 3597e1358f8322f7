#include "ui/confirm.h"

#include <gtest/gtest.h>

#include "core/translate.h"
#include "tests/ui/imgui_harness.h"
#include "ui/state.h"

namespace {

using Labels = std::vector<std::string>;

class ConfirmTest : public ::testing::Test {
protected:
    void TearDown() override { ui::State().confirms.clear(); }

    // The confirm buttons on screen in the last frame, one per question shown.
    Labels Shown() const {
        Labels shown;
        for (const std::string& label : harness.Labels())
            if (label.ends_with("###confirm_ok")) shown.push_back(label);
        return shown;
    }
    bool ClickThen(const char* label, const uitest::Harness::Draw& draw) {
        const bool found = harness.Click(label, draw);
        harness.Frames(2, draw);
        return found;
    }

    uitest::Harness harness;
};

TEST_F(ConfirmTest, QuestionsOneAtATimeInOrderEscapeCancelsOnlyTheFirst) {
    Labels ran;
    ui::RequestConfirm("Delete A", "A goes.", "Delete", true, [&] { ran.push_back("A"); });
    ui::RequestConfirm("Reset B", "", "Reset", false, [&] {
        ran.push_back("B");
        ui::RequestConfirm("Then C", "", "Go", false, [&] { ran.push_back("C"); });
    });
    ui::RequestConfirm("Empty D", "", "Fine", false, nullptr);
    auto draw = [] { ui::DrawConfirmDialog(); };
    harness.Frames(2, draw);
    EXPECT_EQ(Shown(), Labels{"Delete###confirm_ok"});
    EXPECT_NE(harness.Find("Delete A###confirm"), nullptr);

    harness.PressKey(ImGuiKey_Escape, draw);
    harness.Frames(2, draw);
    EXPECT_EQ(Shown(), Labels{"Reset###confirm_ok"});
    ASSERT_EQ(ui::State().confirms.size(), 2u);
    ASSERT_TRUE(ClickThen("Reset###confirm_ok", draw));  // the callback runs after its question left
    EXPECT_EQ(ran, Labels{"B"});
    EXPECT_EQ(Shown(), Labels{"Fine###confirm_ok"});

    SetLanguage("fr");
    harness.Frame(draw);
    ASSERT_TRUE(harness.Click("Annuler###confirm_cancel", draw));
    SetLanguage("en");
    harness.Frames(2, draw);
    ASSERT_TRUE(ClickThen("Go###confirm_ok", draw));
    EXPECT_EQ(ran, (Labels{"B", "C"}));
    EXPECT_TRUE(Shown().empty());
    EXPECT_TRUE(ui::State().confirms.empty());
}

TEST_F(ConfirmTest, TwoDueDialogsTakeTurnsInsteadOfClosingEachOther) {
    for (const bool noticeFirst : {false, true}) {
        SCOPED_TRACE(noticeFirst ? "notice first" : "question first");
        bool noticeWanted = true, confirmed = false;
        auto notice = [&] {  // another window-level dialog, due every frame until answered
            if (!noticeWanted || !ui::OpenDialogInTurn("###notice")) return;
            if (!ImGui::BeginPopupModal("Notice###notice", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
            if (ImGui::Button("OK###notice_ok")) noticeWanted = false, ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        };
        auto draw = [&] {
            if (noticeFirst) notice();
            ui::DrawConfirmDialog();
            if (!noticeFirst) notice();
        };
        if (noticeFirst) harness.Frames(2, draw);
        ui::RequestConfirm("Stop", "", "Stop", false, [&] { confirmed = true; });
        harness.Frames(3, draw);
        if (noticeFirst) {
            EXPECT_TRUE(Shown().empty());
            ASSERT_TRUE(ClickThen("OK###notice_ok", draw));
        }
        EXPECT_EQ(harness.Find("Notice###notice"), nullptr);
        EXPECT_EQ(Shown(), Labels{"Stop###confirm_ok"});
        ASSERT_TRUE(ClickThen("Stop###confirm_ok", draw));
        EXPECT_TRUE(confirmed);
        EXPECT_TRUE(noticeFirst || ClickThen("OK###notice_ok", draw)) << "the waiting dialog opens in its turn";
        EXPECT_FALSE(ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel));
    }
}

}  // namespace

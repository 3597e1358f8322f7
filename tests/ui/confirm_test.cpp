#include "ui/confirm.h"

#include <gtest/gtest.h>

#include "core/translate.h"
#include "tests/ui/imgui_harness.h"
#include "ui/state.h"

namespace {

class ConfirmTest : public ::testing::Test {
protected:
    void TearDown() override { ui::State().confirms.clear(); }

    // The confirm buttons on screen in the last frame, one per question shown. (Dear ImGui keeps
    // the first title as the window's name while the id stays "###confirm".)
    std::vector<std::string> Shown() const {
        std::vector<std::string> shown;
        for (const std::string& label : harness.Labels())
            if (label.ends_with("###confirm_ok")) shown.push_back(label);
        return shown;
    }

    uitest::Harness harness;
};

TEST_F(ConfirmTest, QuestionsOneAtATimeInOrderEscapeCancelsOnlyTheFirst) {
    std::vector<std::string> ran;
    ui::RequestConfirm("Delete A", "A goes.", "Delete", true, [&] { ran.push_back("A"); });
    ui::RequestConfirm("Reset B", "B goes back.", "Reset", false, [&] {
        ran.push_back("B");
        ui::RequestConfirm("Then C", "", "Go", false, [&] { ran.push_back("C"); });
    });
    ui::RequestConfirm("Empty D", "No callback.", "Fine", false, nullptr);
    auto draw = [] { ui::DrawConfirmDialog(); };
    harness.Frames(2, draw);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Delete###confirm_ok"});
    EXPECT_NE(harness.Find("Delete A###confirm"), nullptr);
    EXPECT_NE(harness.Find("Cancel###confirm_cancel"), nullptr);

    harness.PressKey(ImGuiKey_Escape, draw);
    harness.Frames(2, draw);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Reset###confirm_ok"});
    ASSERT_EQ(ui::State().confirms.size(), 2u);

    // Confirming runs the callback once, after its question left the queue.
    ASSERT_TRUE(harness.Click("Reset###confirm_ok", draw));
    harness.Frames(2, draw);
    EXPECT_EQ(ran, std::vector<std::string>{"B"});
    EXPECT_EQ(Shown(), std::vector<std::string>{"Fine###confirm_ok"});

    SetLanguage("fr");
    harness.Frame(draw);
    ASSERT_TRUE(harness.Click("Annuler###confirm_cancel", draw));
    SetLanguage("en");
    harness.Frames(2, draw);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Go###confirm_ok"});
    ASSERT_TRUE(harness.Click("Go###confirm_ok", draw));
    harness.Frames(2, draw);
    EXPECT_EQ(ran, (std::vector<std::string>{"B", "C"}));
    EXPECT_TRUE(Shown().empty());
    EXPECT_TRUE(ui::State().confirms.empty());
}

// Another window-level dialog that is due every frame, as the later dialogs are.
struct Notice {
    bool wanted = true;
    void Draw() {
        if (!wanted || !ui::OpenDialogInTurn("###notice")) return;
        if (ImGui::BeginPopupModal("Notice###notice", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
            if (ImGui::Button("OK###notice_ok")) {
                wanted = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    }
};

TEST_F(ConfirmTest, TwoDueDialogsTakeTurnsInsteadOfClosingEachOther) {
    for (const bool noticeFirst : {false, true}) {
        SCOPED_TRACE(noticeFirst ? "notice first" : "question first");
        Notice notice;
        bool confirmed = false;
        auto draw = [&] {
            if (noticeFirst) notice.Draw();
            ui::DrawConfirmDialog();
            if (!noticeFirst) notice.Draw();
        };
        if (noticeFirst) harness.Frames(2, draw);
        ui::RequestConfirm("Stop", "", "Stop", false, [&] { confirmed = true; });
        harness.Frames(3, draw);
        if (noticeFirst) {
            EXPECT_NE(harness.Find("Notice###notice"), nullptr);
            EXPECT_TRUE(Shown().empty());
            ASSERT_TRUE(harness.Click("OK###notice_ok", draw));
            harness.Frames(2, draw);
        }
        EXPECT_EQ(harness.Find("Notice###notice"), nullptr);
        EXPECT_EQ(Shown(), std::vector<std::string>{"Stop###confirm_ok"});
        ASSERT_TRUE(harness.Click("Stop###confirm_ok", draw));
        EXPECT_TRUE(confirmed);
        if (!noticeFirst) {
            harness.Frames(2, draw);
            EXPECT_NE(harness.Find("Notice###notice"), nullptr) << "the waiting dialog opens in its turn";
            ASSERT_TRUE(harness.Click("OK###notice_ok", draw));
        }
        harness.Frames(2, draw);
        EXPECT_FALSE(ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel));
    }
}

}  // namespace

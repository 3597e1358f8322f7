// Which frames the loop presents: frames laid out by a headless Dear ImGui context, a frame left
// out while it would show the last presented picture again, presented as soon as anything that
// reaches the screen changed or the window asks for it.
#include "app/presented_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imgui.h"
#include "tests/ui/imgui_harness.h"

namespace {

// A window with what moves in Zerva's: a button to hover, an image, text under a clip rectangle
// of its own, and console lines.
struct Scene {
    std::vector<std::string> lines = {"[10:00:01] [Apache] started", "[10:00:02] [MySQL] started"};
    ImVec2 clipMin{0, 0}, clipMax{400, 400};
    ImTextureID image = reinterpret_cast<ImTextureID>(intptr_t(1));
    float clear[4] = {0.1f, 0.1f, 0.1f, 1.0f};
};

void Draw(const Scene& scene) {
    ImGui::Button("Start all");
    ImGui::Image(scene.image, ImVec2(32, 32));
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->PushClipRect(scene.clipMin, scene.clipMax);
    draw->AddText(ImVec2(200, 20), IM_COL32_WHITE, "Apache 2.4.58");
    draw->PopClipRect();
    ImGui::BeginChild("console", ImVec2(0, 200));
    for (const std::string& line : scene.lines) ImGui::TextUnformatted(line.c_str());
    ImGui::EndChild();
}

struct Change {
    const char* what;
    std::function<void(Scene&, uitest::Harness&, const uitest::Harness::Draw&)> apply;
    bool forced;
    bool presented;
};

TEST(PresentedFrame, LeftOutOnlyWhileThePictureAndTheBackBufferStayTheSame) {
    const Change changes[] = {
        {"nothing", [](Scene&, uitest::Harness&, const uitest::Harness::Draw&) {}, false, false},
        {"nothing, frames of time passing",
         [](Scene&, uitest::Harness& h, const uitest::Harness::Draw& draw) { h.Frames(30, draw); }, false, false},
        {"the mouse resting on the button (hover colour)",
         [](Scene&, uitest::Harness& h, const uitest::Harness::Draw& draw) { ASSERT_TRUE(h.Hover("Start all", draw)); },
         false, true},
        {"a new console line",
         [](Scene& s, uitest::Harness&, const uitest::Harness::Draw&) { s.lines.push_back("[10:00:03] [PHP] ready"); },
         false, true},
        {"a console line with other text of the same length",
         [](Scene& s, uitest::Harness&, const uitest::Harness::Draw&) { s.lines[1] = "[10:00:02] [MySQL] stopped"; },
         false, true},
        {"a moved clip rectangle around the same text",
         [](Scene& s, uitest::Harness&, const uitest::Harness::Draw&) { s.clipMin = ImVec2(10, 0); }, false, true},
        {"another texture in the same place",
         [](Scene& s, uitest::Harness&, const uitest::Harness::Draw&) {
             s.image = reinterpret_cast<ImTextureID>(intptr_t(2));
         },
         false, true},
        {"another clear colour",
         [](Scene& s, uitest::Harness&, const uitest::Harness::Draw&) { s.clear[2] = 0.2f; }, false, true},
        {"another framebuffer scale",
         [](Scene&, uitest::Harness&, const uitest::Harness::Draw&) {
             ImGui::GetIO().DisplayFramebufferScale = ImVec2(2, 2);
         },
         false, true},
        {"another display size",
         [](Scene&, uitest::Harness&, const uitest::Harness::Draw&) { ImGui::GetIO().DisplaySize = ImVec2(1000, 700); },
         false, true},
        {"nothing, but the window was resized or uncovered",
         [](Scene&, uitest::Harness&, const uitest::Harness::Draw&) {}, true, true},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        uitest::Harness harness;
        Scene scene;
        const uitest::Harness::Draw draw = [&scene] { Draw(scene); };
        PresentedFrame presented;
        harness.Frames(3, draw);  // windows take a frame or two to settle
        ASSERT_TRUE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false)) << "the first frame";
        change.apply(scene, harness, draw);
        harness.Frame(draw);
        EXPECT_EQ(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, change.forced), change.presented);
        harness.Frame(draw);
        EXPECT_FALSE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false))
            << "the picture just presented is not presented again";
    }
}

TEST(PresentedFrame, AfterForgetTheSamePictureIsPresentedOnce) {
    uitest::Harness harness;
    Scene scene;
    const uitest::Harness::Draw draw = [&scene] { Draw(scene); };
    PresentedFrame presented;
    harness.Frames(3, draw);
    ASSERT_TRUE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false));
    presented.Forget();  // the last Present failed or the window was occluded
    harness.Frame(draw);
    EXPECT_TRUE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false));
    harness.Frame(draw);
    EXPECT_FALSE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false));
}

}  // namespace

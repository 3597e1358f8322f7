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

using uitest::Harness;

// What moves in Zerva's window: a button to hover, an image, text under a clip rectangle of its
// own, console lines, the clear colour.
struct Scene {
    std::vector<std::string> lines = {"[10:00:01] [Apache] started", "[10:00:02] [MySQL] started"};
    ImVec2 clipMin{0, 0};
    intptr_t image = 1;
    float clear[4] = {0.1f, 0.1f, 0.1f, 1.0f};
};

void Draw(const Scene& scene) {
    ImGui::Button("Start all");
    ImGui::Image(reinterpret_cast<ImTextureID>(scene.image), ImVec2(32, 32));
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->PushClipRect(scene.clipMin, ImVec2(400, 400));
    draw->AddText(ImVec2(200, 20), IM_COL32_WHITE, "Apache 2.4.58");
    draw->PopClipRect();
    ImGui::BeginChild("console", ImVec2(0, 200));
    for (const std::string& line : scene.lines) ImGui::TextUnformatted(line.c_str());
    ImGui::EndChild();
}

TEST(PresentedFrame, LeftOutOnlyWhileThePictureAndTheBackBufferStayTheSame) {
    const struct {
        const char* what;
        std::function<void(Scene&, Harness&, const Harness::Draw&)> apply;
        bool forced, forgotten;  // the back buffer was resized or uncovered; the last Present failed
        bool presented;
    } changes[] = {
        {"nothing", [](auto&&...) {}, false, false, false},
        {"frames of time passing", [](Scene&, Harness& h, const Harness::Draw& d) { h.Frames(30, d); }, false, false,
         false},
        {"the mouse resting on the button",
         [](Scene&, Harness& h, const Harness::Draw& d) { ASSERT_TRUE(h.Hover("Start all", d)); }, false, false, true},
        {"a new console line", [](Scene& s, auto&&...) { s.lines.push_back("[10:00:03] [PHP] ready"); }, false, false,
         true},
        {"a line of the same length", [](Scene& s, auto&&...) { s.lines[1] = "[10:00:02] [MySQL] stopped"; }, false,
         false, true},
        {"a moved clip rectangle", [](Scene& s, auto&&...) { s.clipMin = ImVec2(10, 0); }, false, false, true},
        {"another texture", [](Scene& s, auto&&...) { s.image = 2; }, false, false, true},
        {"another clear colour", [](Scene& s, auto&&...) { s.clear[2] = 0.2f; }, false, false, true},
        {"another framebuffer scale", [](auto&&...) { ImGui::GetIO().DisplayFramebufferScale = ImVec2(2, 2); }, false,
         false, true},
        {"another display size", [](auto&&...) { ImGui::GetIO().DisplaySize = ImVec2(1000, 700); }, false, false,
         true},
        {"nothing, the window resized or uncovered", [](auto&&...) {}, true, false, true},
        {"nothing, the last frame not shown", [](auto&&...) {}, false, true, true},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        Harness harness;
        Scene scene;
        const Harness::Draw draw = [&scene] { Draw(scene); };
        PresentedFrame presented;
        harness.Frames(3, draw);  // windows take a frame or two to settle
        ASSERT_TRUE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false)) << "the first frame";
        change.apply(scene, harness, draw);
        if (change.forgotten) presented.Forget();
        harness.Frame(draw);
        EXPECT_EQ(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, change.forced), change.presented);
        harness.Frame(draw);
        EXPECT_FALSE(presented.ShouldPresent(*ImGui::GetDrawData(), scene.clear, false)) << "presented once";
    }
}

}  // namespace

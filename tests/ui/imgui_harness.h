// tests/ui/imgui_harness.h: drives a Dear ImGui context headless, frame by frame: the font atlas
// is built in memory, every item drawn is recorded through the item hooks, input events click and
// press keys, and any Dear ImGui assertion fails the running test.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "imgui.h"

namespace uitest {

struct Item {
    ImGuiID id = 0;
    std::string label;  // as given to Dear ImGui, "###id" included; empty for items without one
    ImVec2 min, max;
    bool disabled = false;
};

class Harness {
public:
    using Draw = std::function<void()>;

    explicit Harness(ImVec2 displaySize = ImVec2(1200, 780));
    ~Harness();

    // One frame drawn inside a window covering the display, or (RawFrame) with nothing around it.
    void Frame(const Draw& draw) { Run(draw, true); }
    void RawFrame(const Draw& draw) { Run(draw, false); }
    // More frames the way the last one was run (the input helpers below do the same).
    void Frames(int count, const Draw& draw);

    // The last item of the last frame with exactly this label, or this id; null when none.
    const Item* Find(std::string_view label) const;
    const Item* Find(ImGuiID id) const;
    std::vector<std::string> Labels() const;

    // Moves the mouse onto the item, presses and releases the left button, each in a frame of its
    // own, then lays out what the click opened. False when the item was not there.
    bool Click(std::string_view label, const Draw& draw) { return Click(Find(label), draw); }
    bool Click(ImGuiID id, const Draw& draw) { return Click(Find(id), draw); }
    // Rests the mouse on the item long enough for delayed tooltips.
    bool Hover(std::string_view label, const Draw& draw);
    void PressKey(ImGuiKey key, const Draw& draw);
    // One more frame the way the last one was run, returning what it wrote on screen (Dear ImGui's
    // text log) in every window: texts, labels and the contents of text fields, except password
    // fields.
    std::string DrawnText(const Draw& draw);

private:
    void Run(const Draw& draw, bool wrap);
    bool Click(const Item* item, const Draw& draw);
    bool MoveTo(const Item* item);

    ImGuiContext* m_context = nullptr;
    std::vector<Item> m_items;
    bool m_wrap = true;
};

// "#RRGGBB", rounded like the 8-bit colours of the palette tables.
std::string Hex(const ImVec4& color);

}  // namespace uitest

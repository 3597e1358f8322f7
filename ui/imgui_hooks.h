// ui/imgui_hooks.h: where Dear ImGui's item hooks and failed assertions are sent. GUI thread.
// Nothing is installed in the program; the interface tests install sinks to see every item
// drawn (id, label, place, enabled) and every assertion Dear ImGui raises.
#pragma once
#include "imgui.h"

namespace imgui_hooks {

struct ItemSink {
    // An item was added: its id, its rectangle in screen coordinates, and whether it is disabled.
    void (*added)(ImGuiID id, const ImVec2& min, const ImVec2& max, bool disabled) = nullptr;
    // The label of an item added just before (absent for items without one).
    void (*labelled)(ImGuiID id, const char* label) = nullptr;
};

// Installs the sinks (null members ignore that event). The context's item hooks must also be
// switched on (ImGuiContext::TestEngineHookItems) for Dear ImGui to call them.
void SetItemSink(const ItemSink& sink);
void SetAssertHandler(void (*handler)(const char* expression, const char* file, int line));

}  // namespace imgui_hooks

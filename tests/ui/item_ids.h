// tests/ui/item_ids.h: the ids Dear ImGui gives items the harness records without a label (combos,
// tab items), worked out from the window they sit in and the ids pushed on the way, the way
// Dear ImGui hashes them.
#pragma once
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "imgui.h"
#include "imgui_internal.h"
#include "tests/ui/imgui_harness.h"

namespace uitest {

// The shortest window name the harness recorded that holds `piece` ("/##page_", "/##settings_"):
// the window itself, not one of its children.
inline std::string WindowName(const Harness& harness, std::string_view piece) {
    std::string name;
    for (const std::string& label : harness.Labels())
        if (label.find(piece) != std::string::npos && (name.empty() || label.size() < name.size())) name = label;
    return name;
}

// A string is hashed like PushID(const char*) or a label; an int like PushID(int).
using IdPart = std::variant<std::string_view, int>;

// The id of the item reached from the window through `path` (its last part is the item's label).
inline ImGuiID ItemId(const std::string& windowName, const std::vector<IdPart>& path) {
    ImGuiID id = ImHashStr(windowName.c_str());
    for (const IdPart& part : path) {
        if (const int* number = std::get_if<int>(&part)) id = ImHashData(number, sizeof(int), id);
        else id = ImHashStr(std::get<std::string_view>(part).data(), std::get<std::string_view>(part).size(), id);
    }
    return id;
}

}  // namespace uitest

// tests/ui/page_fixture.h: a fixture for page tests on top of the interface fixture and the
// helpers of page_input.h: the whole interface drawn bare, items the harness records without a
// label (combos, tab items, table rows) reached by the ids Dear ImGui hashes on their way from the
// page, frames drawn while waiting, and the last toast.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "imgui.h"
#include "imgui_internal.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"

namespace uitest {

// A string is hashed like PushID(const char*) or a label; an int like PushID(int).
using IdPart = std::variant<std::string_view, int>;

// The id of the item reached from the window named `windowName` through `path` (its last part is
// the item's own label).
inline ImGuiID ItemId(const std::string& windowName, const std::vector<IdPart>& path) {
    ImGuiID id = ImHashStr(windowName.c_str());
    for (const IdPart& part : path) {
        if (const int* number = std::get_if<int>(&part)) id = ImHashData(number, sizeof(int), id);
        else id = ImHashStr(std::get<std::string_view>(part).data(), std::get<std::string_view>(part).size(), id);
    }
    return id;
}

class PageTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        Config::Instance().SetBool(setting::kCheckUpdates, false);
        ui::State().wizardAutoShown = true;
        ImGui::GetIO().DisplaySize = ImVec2(1200, 4000);  // long lists stay on screen
    }
    // Frames of the whole interface, drawn bare (the harness would otherwise wrap them in a window
    // of its own that covers the interface).
    void Show(int count = 2) {
        Frame();
        Frames(count - 1);
    }
    // Draws frames until `done` holds.
    bool Until(const std::function<bool()>& done, unsigned timeoutMs = 30000) {
        return testkit::WaitFor([&] {
            Show(1);
            return done();
        }, timeoutMs);
    }
    // The last label drawn with this id (after "##" or "###"); "" when none.
    std::string Id(std::string_view id) const {
        const Item* item = FindId(harness, id);
        return item ? item->label : std::string();
    }
    int Count(std::string_view id) const {
        int count = 0;
        for (const std::string& label : harness.Labels()) count += EndsWith(label, "##" + std::string(id));
        return count;
    }
    bool ClickId(std::string_view id) { return uitest::ClickId(harness, id, [] { ui::Frame(); }); }
    bool Enabled(std::string_view id) const { return uitest::Enabled(harness, id); }
    // Clicks the entry of an open list whose label starts with `prefix`.
    bool ClickEntry(std::string_view prefix) {
        for (const std::string& label : harness.Labels())
            if (StartsWith(label, prefix)) return Click(label);
        return false;
    }
    // The shortest window name recorded that holds `piece` ("/##page_"): the window, not a child.
    std::string WindowName(std::string_view piece) const {
        std::string name;
        for (const std::string& label : harness.Labels())
            if (label.find(piece) != std::string::npos && (name.empty() || label.size() < name.size())) name = label;
        return name;
    }
    const Item* ItemIn(std::string_view window, const std::vector<IdPart>& path) const {
        return harness.Find(ItemId(WindowName(window), path));
    }
    bool ClickIn(std::string_view window, const std::vector<IdPart>& path) {
        return harness.Click(ItemId(WindowName(window), path), [] { ui::Frame(); });
    }
    bool ClickPage(const std::vector<IdPart>& path) { return ClickIn("/##page_", path); }
    static std::string LastToast() {
        const std::vector<std::string> toasts = ToastTexts();
        return toasts.empty() ? "<none>" : toasts.back();
    }
    // Restarts queued for the server worker, which this program does not run.
    static int Queued() { return Server::Instance().GetStatus().queued; }
};

}  // namespace uitest

// tests/ui/page_fixture.h: page tests on top of the frame fixture: long pages kept on screen,
// items the harness records without a label (combos, tab items, table rows) reached by the ids
// Dear ImGui hashes on their way from the page, frames drawn while waiting, and the last toast.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tests/ui/frame_fixture.h"

namespace uitest {

// A string is hashed like PushID(const char*) or a label; an int like PushID(int).
using IdPart = std::variant<std::string_view, int>;

class PageTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ImGui::GetIO().DisplaySize = ImVec2(1200, 4000);
    }
    void Show(int count = 2) { Frames(count); }
    bool Until(const std::function<bool()>& done, unsigned timeoutMs = 30000) {
        return testkit::WaitFor([&] { return Show(1), done(); }, timeoutMs);
    }
    // The last label drawn with this id (after "##" or "###"); "" when none.
    std::string Id(std::string_view id) const { return ById(id) ? ById(id)->label : std::string(); }
    int Count(std::string_view id) const {
        int count = 0;
        for (const std::string& label : harness.Labels()) count += EndsWith(label, "##" + std::string(id));
        return count;
    }
    // Clicks the entry of an open list whose label starts with `prefix`.
    bool ClickEntry(std::string_view prefix) {
        for (const std::string& label : harness.Labels())
            if (StartsWith(label, prefix)) return Click(label);
        return false;
    }
    // The item reached through `path` (its last part the item's own label) from the window whose
    // name is the shortest holding `window` ("/##page_"): the window, not a child of it.
    ImGuiID PathId(std::string_view window, const std::vector<IdPart>& path) const {
        std::string name;
        for (const std::string& label : harness.Labels())
            if (label.find(window) != std::string::npos && (name.empty() || label.size() < name.size())) name = label;
        ImGuiID id = ImHashStr(name.c_str());
        for (const IdPart& part : path) {
            if (const int* number = std::get_if<int>(&part)) id = ImHashData(number, sizeof(int), id);
            else id = ImHashStr(std::get<std::string_view>(part).data(), std::get<std::string_view>(part).size(), id);
        }
        return id;
    }
    const Item* ItemIn(std::string_view window, const std::vector<IdPart>& path) const {
        return harness.Find(PathId(window, path));
    }
    bool ClickIn(std::string_view window, const std::vector<IdPart>& path) {
        return harness.Click(PathId(window, path), [] { ui::Frame(); });
    }
    bool ClickPage(const std::vector<IdPart>& path) { return ClickIn("/##page_", path); }
    static std::string LastToast() {
        const std::vector<std::string> toasts = ToastTexts();
        return toasts.empty() ? "<none>" : toasts.back();
    }
    // Restarts queued for the server worker, which this program does not run.
    static int Queued() { return Server::Instance().GetStatus().queued; }
    // Whether the item turns disabled while the server worker runs a job, and enabled again once it
    // is idle (with the worker thread not started: the status holds what is set here).
    bool DisabledWhileWorkerBusy(std::string_view id) {
        bool disabledWhileBusy = false;
        for (const bool busy : {true, false}) {
            EditStatus([busy](ServerStatus& s) { s.busy = busy; });
            Show();
            if (busy) disabledWhileBusy = ById(id) && !Enabled(id);
        }
        return disabledWhileBusy && Enabled(id);
    }
};

}  // namespace uitest

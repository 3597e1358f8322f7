// tests/ui/frame_fixture.h: what the frame and dialog tests share: the interface fixture with an
// empty console copy, no automatic wizard nor update check in the way, frames of the bare
// interface, and items found by their fixed id ("###hdr_start", "##credit") through page_input.h.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "core/settings.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/console.h"

namespace uitest {

using Ids = std::vector<std::string>;

class FrameTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::Console() = ui::ConsoleCopy{};
        ui::State().wizardAutoShown = true;  // its popup would take the turn of the dialogs here
        Config::Instance().SetBool(setting::kCheckUpdates, false);
    }

    // Frames of the bare interface: UiTest::Frames repeats the harness's last way of drawing,
    // which before any RawFrame is inside the harness's own window, over the interface's.
    void Frames(int count) {
        for (int i = 0; i < count; ++i) Frame();
    }
    const Item* ById(std::string_view id) const { return FindId(harness, id); }
    bool Shown(std::string_view id) const { return FindId(harness, id) != nullptr; }
    bool Enabled(std::string_view id) const { return uitest::Enabled(harness, id); }
    // Which of these ids are on screen, or on screen and enabled.
    Ids ShownOf(const Ids& ids, bool enabled = false) const {
        Ids shown;
        for (const std::string& id : ids)
            if (enabled ? Enabled(id) : Shown(id)) shown.push_back(id);
        return shown;
    }
    // Clicks the item with this id through whole frames; false when it is not on screen.
    bool ClickId(std::string_view id) { return uitest::ClickId(harness, id, [] { ui::Frame(); }); }
};

}  // namespace uitest

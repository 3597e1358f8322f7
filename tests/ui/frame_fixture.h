// tests/ui/frame_fixture.h: what the frame and dialog tests share: the interface fixture with an
// empty console copy, no automatic wizard nor update check in the way, and items found by their
// fixed id ("###hdr_start", "##credit") whatever their translated text.
#pragma once
#include <string>
#include <string_view>

#include "core/config.h"
#include "core/settings.h"
#include "tests/ui/ui_fixture.h"
#include "ui/console.h"

namespace uitest {

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
    // The last item of the last frame whose label ends in "###id" or "##id"; null when none.
    const Item* ById(std::string_view id) const {
        std::string found;
        for (const std::string& label : harness.Labels())
            if (EndsWithId(label, id)) found = label;
        return found.empty() ? nullptr : harness.Find(found);
    }
    bool Shown(std::string_view id) const { return ById(id) != nullptr; }
    bool Enabled(std::string_view id) const {
        const Item* item = ById(id);
        return item && !item->disabled;
    }
    // Clicks the item with this id through whole frames; false when it is not on screen.
    bool ClickId(std::string_view id) {
        const Item* item = ById(id);
        return item && Click(std::string(item->label));
    }

private:
    static bool EndsWithId(std::string_view label, std::string_view id) {
        if (label.size() < id.size() + 2 || !label.ends_with(id)) return false;
        return label.substr(label.size() - id.size() - 2, 2) == "##";
    }
};

}  // namespace uitest

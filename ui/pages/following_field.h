// ui/pages/following_field.h: a text field prefilled from a stored setting that keeps following the
// setting while the user has not typed in it, so a value changed elsewhere (a job, another page)
// never leaves an old one behind to be stored or sent again. GUI thread.
#pragma once
#include <string>

namespace ui {

struct FollowingField {
    std::string text;   // what the field shows and the user edits
    std::string seen;   // the stored value the field was last filled from
    bool filled = false;

    // Call every frame with the stored value: the first call fills the field; later changes of the
    // stored value reach it only while it still holds the value it was filled from.
    void Follow(const std::string& stored) {
        if (!filled || (stored != seen && text == seen)) text = stored;
        seen = stored;
        filled = true;
    }
};

}  // namespace ui

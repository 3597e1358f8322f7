#include "ui/pages/pages.h"

namespace ui {

void PageApache() {}

}  // namespace ui

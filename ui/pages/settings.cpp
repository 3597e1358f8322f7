#include "ui/pages/pages.h"

namespace ui {

void PageSettings() {}

}  // namespace ui

#include "ui/pages/pages.h"

namespace ui {

void PagePhp() {}

}  // namespace ui

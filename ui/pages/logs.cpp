#include "ui/pages/pages.h"

namespace ui {

void PageLogs() {}

}  // namespace ui

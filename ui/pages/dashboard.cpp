#include "ui/pages/pages.h"

namespace ui {

void PageDashboard() {}

}  // namespace ui

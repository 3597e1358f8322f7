#include "ui/pages/pages.h"

namespace ui {

void PageMySql() {}

}  // namespace ui

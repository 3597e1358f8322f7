#include "ui/pages/pages.h"

namespace ui {

void PageComponents() {}

void InstallWizard() {}

}  // namespace ui

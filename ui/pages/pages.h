// ui/pages/pages.h: the pages the frame draws inside its "##page" child, one function each, and
// the install wizard the frame draws with the dialogs. GUI thread, inside a frame.
#pragma once

namespace ui {

void PageDashboard();
void PageApache();
void PagePhp();
void PageMySql();
void PageComponents();
void PageLogs();
void PageSettings();
// The first-run wizard popup; draws nothing while UiState.wizardRequested is clear.
void InstallWizard();

}  // namespace ui

// ui/dialogs.h: the window-level dialogs drawn after the page: the alert popup, the quit logic
// and dialog, the update dialog, and the toasts. GUI thread, inside a frame; called by ui::Frame
// once per frame in this order (the wizard and the confirm dialog are drawn between them).
#pragma once

namespace ui {

void AlertPopup();
void QuitDialog();
void UpdateDialog();
void DrawToasts();

}  // namespace ui

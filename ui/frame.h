// ui/frame.h: the fixed frame around the pages: the root window over the work area, the sidebar
// (logo, update row, navigation, server status lines), the page header with the global server
// buttons, the current page, and the console. GUI thread, inside a frame; called by ui::Frame.
#pragma once
#include "ui/state.h"

namespace ui {

// The root window with sidebar, header, page and console.
void DrawFrameLayout();
void Sidebar(float width, float height);
// One navigation row; true when clicked.
bool NavItem(Page page);
void HeaderBar();
void ConsolePanel(float height);

}  // namespace ui

// ui/imgui_config.h: Zerva's build options for Dear ImGui, included by imgui.h itself (every file
// of the library and of the interface sees the same options). Item hooks stay off until a test
// turns them on; assertions go to a handler a test can install and are ignored otherwise.
#pragma once

#define IMGUI_ENABLE_TEST_ENGINE

// Release builds drop assert(); routing IM_ASSERT to a handler keeps broken calls observable in
// the tests while the program still carries on past them as before.
void ZervaImGuiAssert(const char* expression, const char* file, int line);
#define IM_ASSERT(_EXPR) ((_EXPR) ? (void)0 : ZervaImGuiAssert(#_EXPR, __FILE__, __LINE__))

// ui/imgui_config.h: Zerva's build options for Dear ImGui, included by imgui.h itself (every file
// of the library and of the interface sees the same options). Item hooks stay off until a test
// turns them on; assertions go to a handler a test can install and are ignored otherwise.
#pragma once

#define IMGUI_ENABLE_TEST_ENGINE

// No gamepad input: the Win32 backend would otherwise load XInput and free it again at shutdown.
// Wine's XInput runs a thread of its own that can still be inside the library when it is unmapped,
// and its fault then ends a window that was closing normally with an access violation.
#define IMGUI_IMPL_WIN32_DISABLE_GAMEPAD

// Release builds drop assert(); routing IM_ASSERT to a handler keeps broken calls observable in
// the tests while the program still carries on past them as before.
void ZervaImGuiAssert(const char* expression, const char* file, int line);
#define IM_ASSERT(_EXPR) ((_EXPR) ? (void)0 : ZervaImGuiAssert(#_EXPR, __FILE__, __LINE__))

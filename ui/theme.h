// ui/theme.h: the two themes (dark, the default, and light) scaled by the window's DPI: the named
// palette colours of the pages, the Dear ImGui style, and the window's title-bar colours.
// GUI thread only; owns the theme state (scale, dark flag).
#pragma once
#include <string>

#include "imgui.h"

struct HWND__;
typedef HWND__* HWND;

namespace ui {

// Stores scale and dark, rebuilds the font atlas (ui/fonts.h) and the style. Call between frames.
void ApplyTheme(float scale, bool dark);
// Resets the style to Dear ImGui's defaults, then sets the metrics (multiplied by the scale) and
// every colour of the current theme.
void ApplyStyle(float scale);

float DpiScale();
float Scale();
bool IsDarkTheme();

ImVec4 AccentColor();
ImVec4 AccentActiveColor();  // the hovered and pressed accent
ImVec4 CardColor();
ImVec4 DangerColor();
ImVec4 WindowBgColor();
ImVec4 SuccessColor();
ImVec4 WarningColor();
// The muted text colour: the style's TextDisabled.
ImVec4 TextColorOf();
// The colour packed for draw lists, its alpha multiplied by the factor.
ImU32 ColorU32(const ImVec4& color, float alphaFactor = 1.0f);

}  // namespace ui

// Asks the Desktop Window Manager for a dark or light caption; failures are ignored (older
// Windows versions lack one attribute or the other).
void ApplyTitleBarTheme(HWND window, bool dark);
// The THEME setting; only exactly "light" selects the light theme.
std::string GetThemeSetting();

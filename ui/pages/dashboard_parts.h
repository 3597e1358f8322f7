// ui/pages/dashboard_parts.h: what the Dashboard's two source files share: glyphs, card metrics
// and small drawing helpers. GUI thread, inside a frame; not for other pages.
#pragma once
#include <cstdint>
#include <string>

#include "imgui.h"

namespace ui {

// The padding ui::BeginCard gives a card (before scaling).
inline constexpr float kCardPaddingX = 16;
inline constexpr float kCardPaddingY = 14;

// The server worker runs a job or has some waiting.
bool DashboardBusy();
// The local site's base address, from the cache.
const std::string& BaseAddress();
int32_t EnabledExtensionCount();

enum class ButtonRole { Plain, Accent, Danger };
// A button of the given width with icon and text, or with the icon alone (the text as its
// tooltip) when both do not fit.
bool CardButton(ButtonRole role, const char* icon, const char* text, const char* id, float width, bool enabled);
// Whether CardButton of that width shows the text (without its icon, if need be).
bool CardButtonShowsText(const char* text, float width);
// A badge on the current line, 40 (scaled) plus its text width from the content's right edge.
void RightBadge(const char* text, const ImVec4& color);
// "Not installed" and a link to the Components page.
void NotInstalledLine(const char* linkText, const char* linkId);

}  // namespace ui

// ui/pages/dashboard_parts.h: what the Dashboard's two source files share: glyphs, card metrics
// and small drawing helpers. GUI thread, inside a frame; not for other pages.
#pragma once
#include <cstdint>
#include <string>

#include "imgui.h"

namespace ui {

// Glyphs of the icon font merged into the interface fonts.
inline constexpr const char* kIconPlay = "\xEE\x9D\xA8";      // U+E768
inline constexpr const char* kIconStop = "\xEE\x9C\x9A";      // U+E71A
inline constexpr const char* kIconRefresh = "\xEE\x9C\xAC";   // U+E72C
inline constexpr const char* kIconSettings = "\xEE\x9C\x93";  // U+E713
inline constexpr const char* kIconGlobe = "\xEE\x9D\xB4";     // U+E774, Apache's page
inline constexpr const char* kIconCode = "\xEE\xA5\x83";      // U+E943, PHP's page
inline constexpr const char* kIconDatabase = "\xEE\xA3\xB1";  // U+E8F1, the database's page
inline constexpr const char* kIconFolder = "\xEE\xA2\xB7";    // U+E8B7
inline constexpr const char* kIconOpen = "\xEE\xA2\xA7";      // U+E8A7
inline constexpr const char* kIconCopy = "\xEE\xA3\x88";      // U+E8C8
inline constexpr const char* kIconDownload = "\xEE\xA2\x96";  // U+E896
inline constexpr const char* kIconError = "\xEE\x9E\xBA";     // U+E7BA
inline constexpr const char* kIconShield = "\xEE\xA8\x98";    // U+EA18
inline constexpr const char* kIconNetwork = "\xEE\xA4\x89";   // U+E909
inline constexpr const char* kIconConsole = "\xEE\x9D\x96";   // U+E756
inline constexpr const char* kIconInfo = "\xEE\xA5\x86";      // U+E946
inline constexpr const char* kIconAdd = "\xEE\x9C\x90";       // U+E710
inline constexpr const char* kIconBolt = "\xEE\xA5\x85";      // U+E945
inline constexpr const char* kIconEdit = "\xEE\x9C\x8F";      // U+E70F

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

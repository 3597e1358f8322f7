// ui/icons.h: the glyphs of the icon font merged into the interface fonts, by name, as UTF-8.
// Only code points inside the ranges the fonts load (ui/fonts.cpp) are drawn.
#pragma once

namespace ui::icon {

inline constexpr char kChevronUp[] = "\xEE\x9C\x8D";    // U+E70D
inline constexpr char kChevronDown[] = "\xEE\x9C\x8E";  // U+E70E
inline constexpr char kSettings[] = "\xEE\x9C\x93";     // U+E713
inline constexpr char kStop[] = "\xEE\x9C\x9A";         // U+E71A
inline constexpr char kRefresh[] = "\xEE\x9C\xAC";      // U+E72C
inline constexpr char kCheck[] = "\xEE\x9C\xBE";        // U+E73E
inline constexpr char kDelete[] = "\xEE\x9D\x8D";       // U+E74D
inline constexpr char kConsole[] = "\xEE\x9D\x96";      // U+E756
inline constexpr char kPlay[] = "\xEE\x9D\xA8";         // U+E768
inline constexpr char kWorld[] = "\xEE\x9D\xB4";        // U+E774
inline constexpr char kError[] = "\xEE\x9E\xBA";        // U+E7BA
inline constexpr char kHome[] = "\xEE\xA0\x8F";         // U+E80F
inline constexpr char kDownload[] = "\xEE\xA2\x96";     // U+E896
inline constexpr char kList[] = "\xEE\xA2\xA5";         // U+E8A5
inline constexpr char kOpenPage[] = "\xEE\xA2\xA7";     // U+E8A7
inline constexpr char kCopy[] = "\xEE\xA3\x88";         // U+E8C8
inline constexpr char kDatabase[] = "\xEE\xA3\xB1";     // U+E8F1
inline constexpr char kCode[] = "\xEE\xA5\x83";         // U+E943
inline constexpr char kInfo[] = "\xEE\xA5\x86";         // U+E946

}  // namespace ui::icon

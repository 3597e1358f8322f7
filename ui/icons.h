// ui/icons.h: the glyphs of the icon font merged into the interface fonts, by name, as UTF-8.
// Only code points inside the ranges the fonts load (ui/fonts.cpp) are drawn.
#pragma once

namespace ui::icon {

inline constexpr char kChevronUp[] = "\xEE\x9C\x8D";    // U+E70D
inline constexpr char kChevronDown[] = "\xEE\x9C\x8E";  // U+E70E
inline constexpr char kEdit[] = "\xEE\x9C\x8F";         // U+E70F
inline constexpr char kAdd[] = "\xEE\x9C\x90";          // U+E710
inline constexpr char kCancel[] = "\xEE\x9C\x91";       // U+E711
inline constexpr char kSettings[] = "\xEE\x9C\x93";     // U+E713
inline constexpr char kStop[] = "\xEE\x9C\x9A";         // U+E71A
inline constexpr char kRefresh[] = "\xEE\x9C\xAC";      // U+E72C
inline constexpr char kStar[] = "\xEE\x9C\xB4";         // U+E734
inline constexpr char kCheck[] = "\xEE\x9C\xBE";        // U+E73E
inline constexpr char kDelete[] = "\xEE\x9D\x8D";       // U+E74D
inline constexpr char kSave[] = "\xEE\x9D\x8E";         // U+E74E
inline constexpr char kConsole[] = "\xEE\x9D\x96";      // U+E756
inline constexpr char kPlay[] = "\xEE\x9D\xA8";         // U+E768
inline constexpr char kWorld[] = "\xEE\x9D\xB4";        // U+E774
inline constexpr char kUndo[] = "\xEE\x9E\xA7";         // U+E7A7
inline constexpr char kError[] = "\xEE\x9E\xBA";        // U+E7BA
inline constexpr char kHome[] = "\xEE\xA0\x8F";         // U+E80F
inline constexpr char kPuzzle[] = "\xEE\xA0\xB9";       // U+E839
inline constexpr char kDownload[] = "\xEE\xA2\x96";     // U+E896
inline constexpr char kList[] = "\xEE\xA2\xA5";         // U+E8A5
inline constexpr char kOpenPage[] = "\xEE\xA2\xA7";     // U+E8A7
inline constexpr char kFolder[] = "\xEE\xA2\xB7";       // U+E8B7
inline constexpr char kCopy[] = "\xEE\xA3\x88";         // U+E8C8
inline constexpr char kKey[] = "\xEE\xA3\x97";          // U+E8D7
inline constexpr char kDatabase[] = "\xEE\xA3\xB1";     // U+E8F1
inline constexpr char kGlobe[] = "\xEE\xA4\x89";        // U+E909
inline constexpr char kCode[] = "\xEE\xA5\x83";         // U+E943
inline constexpr char kBolt[] = "\xEE\xA5\x85";         // U+E945
inline constexpr char kInfo[] = "\xEE\xA5\x86";         // U+E946
inline constexpr char kShield[] = "\xEE\xA8\x98";       // U+EA18

}  // namespace ui::icon

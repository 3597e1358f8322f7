// stack/php/ini_scan.h: the line scanners behind every edit of a PHP template: extension lines
// and "key = value" directive lines, active or commented out. Pure text in, text out; any thread.
// Hand-written instead of std::regex: libstdc++'s matcher recurses once per character, so one
// long line in a user's php_zerva.ini would overflow the stack. Each scanner names its pattern.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parts of a line matched whole, ASCII case-insensitively, by the extension line pattern
//   ^(\s*)(;)?(zend_extension|extension)(\s*=\s*)("?)([^";\r\n]+?)("?)(\s*;.*)?$
// one field per group in that order; a group that took no part is empty.
struct ExtensionLine {
    std::string indent;
    bool commented = false;  // the ";" stands right before the keyword
    std::string keyword;     // as written
    std::string equals;      // "=" with the blanks around it
    std::string openQuote;
    std::string value;
    std::string closeQuote;
    std::string trailing;    // a trailing comment with the blanks before it

    bool IsZend() const;
    // The same line, commented out or switched on; every other character stays.
    std::string Rebuild(bool commentOut) const;
};
std::optional<ExtensionLine> MatchExtensionLine(std::string_view line);

// The extension's name in a line's value: php_mbstring.dll, mbstring and a quoted full path
// ending in php_mbstring.dll all give "mbstring".
std::string ExtensionNameFromValue(std::string_view value);

// Searches the start of a line, ASCII case-insensitively, for
//   None:     ^\s*KEY\s*=
//   Optional: ^\s*;?KEY\s*=      (^\s*;?\s*KEY\s*= with blanksAfterMark)
//   Required: ^\s*;KEY\s*=       (^\s*;\s*KEY\s*= with blanksAfterMark)
// with the key taken literally. Keys never begin with a blank or ";" (callers see to it).
// Gives the index just after the "=".
enum class CommentMark { None, Optional, Required };
struct KeyPattern {
    std::string_view key;
    CommentMark mark = CommentMark::None;
    bool blanksAfterMark = false;
};
std::optional<size_t> MatchKeyAssignment(std::string_view line, const KeyPattern& pattern);

// Group 1 of ^\s*KEY\s*=\s*(.*)$ for an active line, or nothing.
std::optional<std::string> MatchDirectiveValue(std::string_view line, std::string_view key);

// Every line followed by CR LF, as the PHP templates are written.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// stack/php/ini_scan.h: the line scanners behind every edit of a PHP template: extension lines,
// "key = value" directive lines, active or commented out, and the sections PHP reads for one host
// or folder only. Pure text in, text out; any thread.
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

// For each line, whether PHP reads it for every request. PHP sets apart the lines under a section
// whose name begins with HOST or PATH (any case, blanks after the bracket skipped:
// [HOST=dev.localhost], [PATH=C:/www/site]): only its CGI programs apply them, to that host or
// folder, never its Apache module, and it loads no extension from them. Any other section header
// ([PHP], [Date]) ends such a section. The header of such a section is no global line; lines
// before any header are.
std::vector<bool> GlobalLines(const std::vector<std::string>& lines);
// Where a new global line goes: the end, or, when the text ends inside HOST or PATH sections,
// right after the last global line that is neither blank nor a comment (the top without one), so
// the new line stays out of those sections and apart from the comments that introduce them.
size_t GlobalInsertIndex(const std::vector<std::string>& lines);

// Every line followed by CR LF, as the PHP templates are written.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

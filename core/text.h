// core/text.h: small pure string helpers shared by every subsystem: case, shaping, UTF-8/UTF-16
// conversion, printf-style formatting, versions, template macros and sizes.
// Safe on any thread; only FormatSize reads shared state (the interface language).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// ---- Characters (ASCII only: bytes of 128 and above are none of these) ----
char FoldAscii(char c);       // 'A'-'Z' to 'a'-'z', anything else unchanged
bool IsBlank(char c);         // space, tab, CR, LF: what Trim strips
bool IsSpace(char c);         // the C locale's white space (a pattern's \s): IsBlank, VT and FF
bool IsLineBreak(char c);     // CR or LF
bool HasLineBreak(std::string_view text);
// The first position at or after `pos` that is not IsSpace, or text.size().
size_t SkipSpaces(std::string_view text, size_t pos);

// ---- Case and comparison (ASCII only: bytes of 128 and above are left alone) ----
std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);
bool ContainsIgnoreCase(std::string_view text, std::string_view needle);

// ---- Shaping ----
// Strips space, tab, CR and LF at both ends; nothing else counts as blank.
std::string Trim(std::string_view text);
// Pieces between separators, empty ones kept: "" gives one empty piece.
std::vector<std::string> Split(std::string_view text, char separator);
// Lines at LF, a CR before an LF dropped; a last line counts only when it is not empty.
std::vector<std::string> SplitLines(std::string_view text);
// Lines of a file people edit by hand: each ends at CR LF, LF or a lone CR (editors and PHP take
// all three); a last line counts only when it is not empty.
std::vector<std::string> SplitLinesAnyEnd(std::string_view text);
std::string Join(const std::vector<std::string>& items, std::string_view separator);
// Replaces left to right, resuming after each insertion; an empty `from` changes nothing.
void ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to);
std::string ToForwardSlashes(std::string_view text);
// printf into a string; the decimal point is always "." whatever the regional settings.
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// ---- Conversion (invalid input becomes U+FFFD, never an error) ----
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// A text file's bytes as UTF-8: a UTF-8 byte-order mark is dropped, UTF-16 with its mark (little
// or big endian, as Notepad saves "Unicode") is converted; anything else is taken as it stands.
std::string TextFileToUtf8(std::string_view bytes);
// "%XX" for every UTF-8 byte but the unreserved A-Z a-z 0-9 - . _ ~, so a name stands as one
// piece of an address ("a b#%" gives "a%20b%23%25").
std::string PercentEncode(std::string_view text);

// ---- Versions ----
// The first dotted number in the text ("httpd-2.4.62-win64" gives "2.4.62"), or "".
std::string ExtractVersion(std::string_view text);
std::vector<uint64_t> ParseVersionParts(std::string_view text);
// -1, 0 or 1 over the first dotted numbers of both texts, missing parts counting as 0.
int CompareVersions(std::string_view a, std::string_view b);
// "8.4.10" gives "8.4"; a text with fewer than two pieces comes back unchanged.
std::string VersionMajorMinor(std::string_view version);

// ---- Macros and sizes ----
// Macro name (without braces) to value, ordered byte-wise by name.
using MacroMap = std::map<std::string, std::string>;
// Replaces every "{NAME}" of the map, in the map's order; unknown macros stay as they are.
std::string ExpandMacros(std::string text, const MacroMap& macros);
// "512 B", "1.5 MB" (French unit names when French is selected).
std::string FormatSize(uint64_t bytes);
// "x86" for 1, "x64" for 2, "arm64" for 3, else "?" (codes of PeArchitecture).
const char* ArchName(int arch);

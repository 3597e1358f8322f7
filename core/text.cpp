#include "core/text.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "core/translate.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// ---- Characters ----

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsSpace(char c) { return IsBlank(c) || c == '\v' || c == '\f'; }

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

size_t SkipSpaces(std::string_view text, size_t pos) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    return pos;
}

// ---- Case and comparison ----

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = FoldAscii(c);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > text.size()) return false;
    return ToLower(text).find(ToLower(needle)) != std::string::npos;
}

// ---- Shaping ----

std::string Trim(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t at = text.find('\n', start);
        size_t end = (at == std::string_view::npos) ? text.size() : at;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (at == std::string_view::npos) {
            // The text after the last LF is a line only when it holds something.
            if (end > start) lines.emplace_back(line);
            break;
        }
        lines.emplace_back(line);
        start = at + 1;
    }
    return lines;
}

std::vector<std::string> SplitLinesAnyEnd(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        out += items[i];
    }
    return out;
}

void ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

std::string ToForwardSlashes(std::string_view text) {
    std::string out(text);
    for (auto& c : out)
        if (c == '\\') c = '/';
    return out;
}

std::string Format(const char* format, ...) {
    // The C runtime stays in the "C" locale (nothing here calls setlocale), so the decimal point
    // is "." whatever the user's regional settings.
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (size > 0) {
        out.resize(size_t(size) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(size_t(size));
    }
    va_end(args);
    return out;
}

// ---- Conversion ----

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) return {};
    int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
    return out;
}

std::string TextFileToUtf8(std::string_view bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    const bool little = StartsWith(bytes, "\xFF\xFE");
    if (!little && !StartsWith(bytes, "\xFE\xFF")) return std::string(bytes);
    std::wstring wide;
    wide.reserve(bytes.size() / 2);
    // An odd last byte is half a character: dropped.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        wide.push_back(wchar_t(little ? first | second << 8 : second | first << 8));
    }
    return WideToUtf8(wide);
}

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || IsDigit(c) ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

// ---- Versions ----

std::string ExtractVersion(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        if (!IsDigit(text[i])) {
            ++i;
            continue;
        }
        size_t start = i, dots = 0;
        while (i < text.size()) {
            if (IsDigit(text[i])) {
                ++i;
            } else if (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])) {
                ++dots;
                ++i;
            } else {
                break;
            }
        }
        if (dots > 0) return std::string(text.substr(start, i - start));
        ++i;  // resume after the character that ended the run
    }
    return {};
}

std::vector<uint64_t> ParseVersionParts(std::string_view text) {
    std::vector<uint64_t> parts;
    uint64_t current = 0;
    bool hasDigits = false;
    for (char c : text) {
        if (IsDigit(c)) {
            // Saturate rather than wrap, so an absurdly long number still sorts as the highest.
            const uint64_t digit = uint64_t(c - '0');
            current = current > (UINT64_MAX - digit) / 10 ? UINT64_MAX : current * 10 + digit;
            hasDigits = true;
            continue;
        }
        if (hasDigits) parts.push_back(current);
        current = 0;
        hasDigits = false;
        if (c != '.' && c != ',' && c != '-' && c != '_') return parts;
    }
    if (hasDigits) parts.push_back(current);
    return parts;
}

int CompareVersions(std::string_view a, std::string_view b) {
    const auto pa = ParseVersionParts(ExtractVersion(a));
    const auto pb = ParseVersionParts(ExtractVersion(b));
    const size_t n = std::max(pa.size(), pb.size());
    for (size_t i = 0; i < n; ++i) {
        uint64_t x = i < pa.size() ? pa[i] : 0;
        uint64_t y = i < pb.size() ? pb[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::string VersionMajorMinor(std::string_view version) {
    auto pieces = Split(version, '.');
    if (pieces.size() < 2) return std::string(version);
    return pieces[0] + "." + pieces[1];
}

// ---- Macros and sizes ----

std::string ExpandMacros(std::string text, const MacroMap& macros) {
    for (const auto& [name, value] : macros) ReplaceAllInPlace(text, "{" + name + "}", value);
    return text;
}

std::string FormatSize(uint64_t bytes) {
    static const char* const kEnglish[] = {"B", "KB", "MB", "GB", "TB"};
    static const char* const kFrench[] = {"o", "Ko", "Mo", "Go", "To"};
    const char* const* units = IsFrench() ? kFrench : kEnglish;
    if (bytes < 1024) return Format("%llu %s", static_cast<unsigned long long>(bytes), units[0]);
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    return Format("%.1f %s", value, units[unit]);
}

const char* ArchName(int arch) {
    switch (arch) {
        case 1: return "x86";
        case 2: return "x64";
        case 3: return "arm64";
        default: return "?";
    }
}

#include "stack/php/ini_scan.h"

#include "core/text.h"

namespace {

// The class [^";\r\n] of the extension line pattern's value.
bool IsValueChar(char c) { return c != '"' && c != ';' && !IsLineBreak(c); }

bool LiteralAt(std::string_view text, size_t pos, std::string_view literal) {
    return pos <= text.size() && text.size() - pos >= literal.size() &&
           EqualsIgnoreCase(text.substr(pos, literal.size()), literal);
}

// What the extension line pattern needs after its value: the index of the value's first
// character and the matched groups from there on.
class ExtensionTail {
public:
    explicit ExtensionTail(std::string_view line) : m_line(line), m_lastBreak(line.find_last_of("\r\n")) {}

    // ("?)([^";\r\n]+?)("?)(\s*;.*)?$ with the value starting at `start`: the value is taken
    // lazily, so it stops before the blanks of a trailing comment.
    bool Match(size_t start, ExtensionLine& out) const {
        const size_t n = m_line.size();
        size_t end = start;
        while (end < n && IsValueChar(m_line[end])) ++end;
        if (end == start) return false;
        // Every shorter value leaves a value character before the ";" unless it stops at the
        // first of the blanks that end the run; that one is the only shorter candidate.
        size_t blanks = end;
        while (blanks > start + 1 && IsSpace(m_line[blanks - 1])) --blanks;
        if (blanks < end) {
            const size_t mark = SkipSpaces(m_line, end);
            if (mark < n && m_line[mark] == ';' && NoBreakFrom(mark + 1)) {
                Fill(out, start, blanks, blanks, false);
                return true;
            }
        }
        size_t rest = end;
        const bool quoted = end < n && m_line[end] == '"';
        if (quoted) ++rest;
        if (!TailOk(rest)) return false;
        Fill(out, start, end, rest, quoted);
        return true;
    }

private:
    bool NoBreakFrom(size_t pos) const { return m_lastBreak == std::string_view::npos || m_lastBreak < pos; }

    // (\s*;.*)?$ from `pos`: nothing left, or a comment whose "." never meets CR or LF.
    bool TailOk(size_t pos) const {
        if (pos == m_line.size()) return true;
        const size_t mark = SkipSpaces(m_line, pos);
        return mark < m_line.size() && m_line[mark] == ';' && NoBreakFrom(mark + 1);
    }

    void Fill(ExtensionLine& out, size_t start, size_t valueEnd, size_t trailing,
              bool closeQuote) const {
        out.value = std::string(m_line.substr(start, valueEnd - start));
        out.closeQuote.assign(closeQuote ? 1 : 0, '"');
        out.trailing = std::string(m_line.substr(trailing));
    }

    std::string_view m_line;
    size_t m_lastBreak;
};

}  // namespace

bool ExtensionLine::IsZend() const { return EqualsIgnoreCase(keyword, "zend_extension"); }

std::string ExtensionLine::Rebuild(bool commentOut) const {
    std::string line;
    line.reserve(indent.size() + 1 + keyword.size() + equals.size() + openQuote.size() + value.size() +
                 closeQuote.size() + trailing.size());
    for (const std::string* part : {&indent, &keyword, &equals, &openQuote, &value, &closeQuote, &trailing}) {
        if (part == &keyword && commentOut) line += ';';
        line += *part;
    }
    return line;
}

std::optional<ExtensionLine> MatchExtensionLine(std::string_view line) {
    ExtensionLine out;
    size_t i = SkipSpaces(line, 0);
    out.indent = std::string(line.substr(0, i));
    if (i < line.size() && line[i] == ';') {
        out.commented = true;
        ++i;
    }
    size_t keywordLength = 0;
    if (LiteralAt(line, i, "zend_extension")) keywordLength = 14;
    else if (LiteralAt(line, i, "extension")) keywordLength = 9;
    else return std::nullopt;
    out.keyword = std::string(line.substr(i, keywordLength));
    const size_t equalsStart = i + keywordLength;
    const size_t equalsSign = SkipSpaces(line, equalsStart);
    if (equalsSign >= line.size() || line[equalsSign] != '=') return std::nullopt;
    const size_t afterBlanks = SkipSpaces(line, equalsSign + 1);

    const ExtensionTail tail(line);
    // The blanks after "=" are taken greedily; the value may win some back when nothing else
    // matches.
    size_t start = afterBlanks;
    if (start < line.size() && line[start] == '"') {
        out.openQuote.assign(1, '"');
        ++start;
    }
    if (tail.Match(start, out)) {
        out.equals = std::string(line.substr(equalsStart, afterBlanks - equalsStart));
        return out;
    }
    out.openQuote.clear();
    // A value never holds CR or LF, so those split the given-back blanks into runs. Every start
    // inside one run meets the same end, so only the latest start of each run is tried.
    for (size_t k = afterBlanks; k > equalsSign + 1;) {
        --k;
        if (IsLineBreak(line[k])) continue;
        if (tail.Match(k, out)) {
            out.equals = std::string(line.substr(equalsStart, k - equalsStart));
            return out;
        }
        // A run that stops at a line break leaves a value of blanks followed by the same tail
        // as every earlier run: once one fails, all do. Trying them all would be quadratic.
        if (k + 1 < afterBlanks) break;
        while (k > equalsSign + 1 && !IsLineBreak(line[k - 1])) --k;
    }
    return std::nullopt;
}

std::string ExtensionNameFromValue(std::string_view value) {
    std::string name = Trim(value);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    for (auto& c : name)
        if (c == '\\') c = '/';
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    name = ToLower(name);
    if (EndsWith(name, ".dll")) name.resize(name.size() - 4);
    if (StartsWith(name, "php_")) name.erase(0, 4);
    return name;
}

std::optional<size_t> MatchKeyAssignment(std::string_view line, const KeyPattern& pattern) {
    size_t i = SkipSpaces(line, 0);
    const bool hasMark = i < line.size() && line[i] == ';';
    if (pattern.mark == CommentMark::Required && !hasMark) return std::nullopt;
    if (pattern.mark != CommentMark::None) {
        if (hasMark) ++i;
        if (pattern.blanksAfterMark) i = SkipSpaces(line, i);
    }
    if (!LiteralAt(line, i, pattern.key)) return std::nullopt;
    i = SkipSpaces(line, i + pattern.key.size());
    if (i >= line.size() || line[i] != '=') return std::nullopt;
    return i + 1;
}

std::optional<std::string> MatchDirectiveValue(std::string_view line, std::string_view key) {
    const auto equals = MatchKeyAssignment(line, {key, CommentMark::None, false});
    if (!equals) return std::nullopt;
    const size_t start = SkipSpaces(line, *equals);
    // "." stops at CR and LF and "$" only matches at the very end.
    if (line.find_first_of("\r\n", start) != std::string_view::npos) return std::nullopt;
    return std::string(line.substr(start));
}

std::vector<bool> GlobalLines(const std::vector<std::string>& lines) {
    std::vector<bool> global(lines.size(), true);
    bool inHostOrPath = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t start = SkipSpaces(lines[i], 0);
        if (start < lines[i].size() && lines[i][start] == '[') {
            // PHP skips the blanks after the bracket: "[ HOST=dev.localhost]" is such a section too.
            const std::string_view name = std::string_view(lines[i]).substr(SkipSpaces(lines[i], start + 1));
            inHostOrPath = StartsWithIgnoreCase(name, "HOST") || StartsWithIgnoreCase(name, "PATH");
        }
        global[i] = !inHostOrPath;
    }
    return global;
}

size_t GlobalInsertIndex(const std::vector<std::string>& lines) {
    const std::vector<bool> global = GlobalLines(lines);
    size_t at = lines.size();
    if (at == 0 || global.back()) return at;
    while (at > 0 && !global[at - 1]) --at;
    // Global lines just above the sections are blank or comments: what introduces them.
    while (at > 0) {
        const std::string_view line = lines[at - 1];
        const size_t start = SkipSpaces(line, 0);
        if (start < line.size() && line[start] != ';') break;
        --at;
    }
    return at;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

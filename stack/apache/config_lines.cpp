#include "stack/apache/config_lines.h"

#include <algorithm>
#include <utility>

#include "core/text.h"

namespace {

// The patterns' \s is IsSpace; what their '.' refuses in the ECMAScript grammar is IsLineBreak.
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

size_t SkipNonSpaces(std::string_view text, size_t pos) {
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    return pos;
}

// Consumes `word` at `pos`, ignoring ASCII case.
bool TakeWord(std::string_view text, size_t& pos, std::string_view word) {
    if (text.size() - pos < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (FoldAscii(text[pos + k]) != FoldAscii(word[k])) return false;
    pos += word.size();
    return true;
}

// The end of the text once trailing blanks are dropped, never before `from`.
size_t TrimmedEnd(std::string_view text, size_t from) {
    size_t end = text.size();
    while (end > from && IsSpace(text[end - 1])) --end;
    return end;
}

// ^\s*(#\s*)?LoadModule\s+ : where the module name starts, or npos.
size_t ModuleNameStart(std::string_view line, bool* commented) {
    size_t pos = SkipSpaces(line, 0);
    *commented = pos < line.size() && line[pos] == '#';
    if (*commented) pos = SkipSpaces(line, pos + 1);
    if (!TakeWord(line, pos, "LoadModule")) return std::string_view::npos;
    if (pos >= line.size() || !IsSpace(line[pos])) return std::string_view::npos;
    return SkipSpaces(line, pos);
}

}  // namespace

std::vector<std::string> SplitConfigLines(std::string_view text) {
    std::vector<std::string> lines = SplitLines(text);
    if (!lines.empty() && !text.empty() && text.back() != '\n' && EndsWith(lines.back(), "\\")) lines.back() += ' ';
    return lines;
}

std::string KeptAlone(std::string line) {
    if (!line.empty() && line.back() == '\\') line += ' ';
    return line;
}

JoinedLines JoinContinuedLines(const std::vector<std::string>& lines) {
    JoinedLines joined;
    joined.fileLines = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        joined.first.push_back(i);
        std::string text = lines[i];
        while (!text.empty() && text.back() == '\\' && i + 1 < lines.size()) {
            text.pop_back();
            text += lines[++i];
        }
        // Apache asked for the next line and met the end of the file, which ends this one.
        if (i + 1 == lines.size() && !text.empty() && text.back() == '\\') text.pop_back();
        joined.text.push_back(std::move(text));
    }
    return joined;
}

std::string NextApacheWord(std::string_view text, size_t& pos, bool* closed) {
    std::string word;
    pos = SkipSpaces(text, pos);
    if (closed) *closed = true;
    if (pos >= text.size()) return word;
    const char quote = text[pos];
    if (quote == '"' || quote == '\'') {
        for (++pos; pos < text.size() && text[pos] != quote; ++pos) {
            if (text[pos] == '\\' && pos + 1 < text.size() && (text[pos + 1] == quote || text[pos + 1] == '\\')) ++pos;
            word += text[pos];
        }
        if (closed) *closed = pos < text.size();
        if (pos < text.size()) ++pos;   // the closing quote
    } else {
        for (; pos < text.size() && !IsSpace(text[pos]); ++pos) {
            if (text[pos] == '\\' && pos + 1 < text.size() && text[pos + 1] == '\\') ++pos;
            word += text[pos];
        }
    }
    pos = SkipSpaces(text, pos);
    return word;
}

std::vector<std::string> ApacheWords(std::string_view text) {
    std::vector<std::string> words;
    for (size_t pos = SkipSpaces(text, 0); pos < text.size();) words.push_back(NextApacheWord(text, pos));
    return words;
}

// ---- Block tags ----

bool BlockTag::Is(std::string_view tagName) const { return EqualsIgnoreCase(name, tagName); }

std::optional<BlockTag> ReadBlockTag(std::string_view line) {
    size_t pos = SkipSpaces(line, 0);
    if (pos >= line.size() || line[pos] != '<') return std::nullopt;
    BlockTag tag;
    tag.closes = ++pos < line.size() && line[pos] == '/';
    if (tag.closes) ++pos;
    const size_t nameStart = pos;
    while (pos < line.size() && IsAsciiLetter(line[pos])) ++pos;
    if (pos == nameStart) return std::nullopt;
    tag.name = std::string(line.substr(nameStart, pos - nameStart));
    if (tag.closes) {
        // Apache takes the first word for the tag, its last character for the '>'.
        if (pos >= line.size() || line[pos] != '>' || (pos + 1 < line.size() && !IsSpace(line[pos + 1])))
            return std::nullopt;
        tag.rest = Trim(line.substr(pos + 1));
        return tag;
    }
    if (pos >= line.size() || (!IsSpace(line[pos]) && line[pos] != '>')) return std::nullopt;
    const size_t close = line.rfind('>');
    if (close == std::string_view::npos || close < pos) {
        tag.argument = Trim(line.substr(pos));
    } else {
        tag.argument = Trim(line.substr(pos, close - pos));
        tag.rest = Trim(line.substr(close + 1));
    }
    return tag;
}

bool IsStartTag(const std::optional<BlockTag>& tag, std::string_view name) { return tag && !tag->closes && tag->Is(name); }
bool IsEndTag(const std::optional<BlockTag>& tag, std::string_view name) { return tag && tag->closes && tag->Is(name); }

bool MatchVhostStart(std::string_view line, std::string* argument) {
    const std::optional<BlockTag> tag = ReadBlockTag(line);
    // Without its '>' Apache refuses the line: no host starts there.
    if (!IsStartTag(tag, "VirtualHost") || line.find('>') == std::string_view::npos) return false;
    if (argument) *argument = tag->argument;
    return true;
}

bool MatchVhostEnd(std::string_view line) { return IsEndTag(ReadBlockTag(line), "VirtualHost"); }

bool MatchDirectoryStart(std::string_view line, std::string* path) {
    const std::optional<BlockTag> tag = ReadBlockTag(line);
    if (!IsStartTag(tag, "Directory") || line.find('>') == std::string_view::npos) return false;
    const std::vector<std::string> words = ApacheWords(tag->argument);
    if (words.size() != 1 || words[0] == "~") return false;
    if (path) *path = words[0];
    return true;
}

bool MatchDirectoryEnd(std::string_view line) { return IsEndTag(ReadBlockTag(line), "Directory"); }

bool MatchOpenTag(std::string_view line, std::string* name) {
    const std::optional<BlockTag> tag = ReadBlockTag(line);
    if (!tag || tag->closes) return false;
    if (name) *name = tag->name;
    return true;
}

BlockNesting::Step BlockNesting::Take(std::string_view text, size_t line) {
    Step step;
    step.tag = ReadBlockTag(text);
    if (!step.tag) return step;
    if (!step.tag->closes) {
        m_open.push_back({step.tag->name, line});
        return step;
    }
    size_t k = m_open.size();
    while (k > 0 && !EqualsIgnoreCase(m_open[k - 1].name, step.tag->name)) --k;
    if (k == 0) {
        step.unmatched = true;
        return step;
    }
    step.leftOpen.assign(m_open.begin() + long(k), m_open.end());
    m_open.resize(k - 1);
    return step;
}

// ---- Lines of other kinds ----

bool MatchModuleLine(std::string_view line, ModuleLineMatch* out) {
    bool commented = false;
    const size_t nameStart = ModuleNameStart(line, &commented);
    if (nameStart == std::string_view::npos) return false;
    const size_t nameEnd = SkipNonSpaces(line, nameStart);
    if (nameEnd == nameStart || nameEnd >= line.size()) return false;
    const size_t pathStart = SkipSpaces(line, nameEnd);
    size_t pathEnd = TrimmedEnd(line, pathStart);
    size_t from = pathStart;
    if (pathStart == line.size()) {
        // Only blanks follow the name: the pattern then gives the path one blank of the run,
        // the last one '.' accepts, leaving at least one blank before it.
        size_t k = line.size();
        while (k > nameEnd + 1 && IsLineBreak(line[k - 1])) --k;
        if (k <= nameEnd + 1) return false;
        from = k - 1;
        pathEnd = k;
    } else if (HasLineBreak(line.substr(pathStart, pathEnd - pathStart))) {
        return false;
    }
    if (out) {
        out->commented = commented;
        out->name = std::string(line.substr(nameStart, nameEnd - nameStart));
        out->path = std::string(line.substr(from, pathEnd - from));
    }
    return true;
}

bool MatchDirective(std::string_view line, std::string* name, std::string* value) {
    const size_t nameStart = SkipSpaces(line, 0);
    size_t nameEnd = nameStart;
    while (nameEnd < line.size() && IsAsciiLetter(line[nameEnd])) ++nameEnd;
    if (nameEnd == nameStart || nameEnd >= line.size() || !IsSpace(line[nameEnd])) return false;
    const size_t valueStart = SkipSpaces(line, nameEnd);
    const size_t valueEnd = TrimmedEnd(line, valueStart);
    const std::string_view found = line.substr(valueStart, valueEnd - valueStart);
    if (HasLineBreak(found)) return false;
    if (name) *name = std::string(line.substr(nameStart, nameEnd - nameStart));
    if (value) *value = std::string(found);
    return true;
}

namespace {

// One argument of an Alias line: a word between quotes of either kind, closed and followed by a
// blank or the end, or a bare word without any quote in it.
bool AliasArgument(std::string_view value, size_t& pos, std::string* word, bool* quoted) {
    if (pos >= value.size()) return false;
    const size_t start = pos;
    *quoted = value[start] == '"' || value[start] == '\'';
    bool closed = true;
    *word = NextApacheWord(value, pos, &closed);
    if (*quoted) {
        const size_t after = TrimmedEnd(value.substr(0, pos), start);
        return closed && (after == value.size() || IsSpace(value[after]));
    }
    return value.substr(start, pos - start).find_first_of("\"'") == std::string_view::npos;
}

}  // namespace

bool MatchAliasArguments(std::string_view value, std::string* url, std::string* path) {
    size_t pos = SkipSpaces(value, 0);
    std::string first, second;
    bool firstQuoted = false, secondQuoted = false;
    if (!AliasArgument(value, pos, &first, &firstQuoted) || !AliasArgument(value, pos, &second, &secondQuoted) ||
        pos != value.size() || firstQuoted != secondQuoted)
        return false;
    if (url) *url = std::move(first);
    if (path) *path = std::move(second);
    return true;
}

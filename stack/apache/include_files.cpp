// stack/apache/include_files.cpp: the files an Include names (declared in include_files.h).
#include "stack/apache/include_files.h"

#include <algorithm>

#include "core/files.h"
#include "core/text.h"

namespace {

// Nested folders end here, as a link that leads back up would otherwise never end.
constexpr int kMaxFolderDepth = 16;

bool HasWildcard(std::string_view part) { return part.find_first_of("*?[") != std::string_view::npos; }

// "[...]" at pattern[p] (just after the '['): whether `c` is in the set; `p` moves past the ']'.
// False with `p` unmoved when the set never closes: the '[' then stands for itself.
bool MatchSet(std::string_view pattern, size_t& p, char c, bool& inSet) {
    size_t k = p;
    const bool negated = k < pattern.size() && (pattern[k] == '!' || pattern[k] == '^');
    if (negated) ++k;
    bool found = false;
    for (bool first = true; k < pattern.size() && (first || pattern[k] != ']'); first = false) {
        char low = pattern[k++];
        char high = low;
        if (k + 1 < pattern.size() && pattern[k] == '-' && pattern[k + 1] != ']') {
            high = pattern[k + 1];
            k += 2;
        }
        const char folded = FoldAscii(c);
        found = found || (FoldAscii(low) <= folded && folded <= FoldAscii(high));
    }
    if (k >= pattern.size()) return false;
    p = k + 1;
    inSet = found != negated;
    return true;
}

// Whether the one character of the pattern at `p` ('?', a set, or itself) matches `c`; `next`
// gets where the pattern goes on.
bool MatchOne(std::string_view pattern, size_t p, char c, size_t& next) {
    next = p + 1;
    if (pattern[p] == '?') return true;
    bool inSet = false;
    if (pattern[p] == '[' && MatchSet(pattern, next, c, inSet)) return inSet;
    next = p + 1;   // an unclosed set: a plain '['
    return FoldAscii(pattern[p]) == FoldAscii(c);
}

// Each '*' takes one more character only when what follows it fails: the work stays in
// proportion to the pattern's and the name's lengths multiplied, however many stars there are.
bool MatchFrom(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, starName = 0;   // the last '*' seen, to retry from
    while (n < name.size()) {
        size_t next = 0;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && MatchOne(pattern, p, name[n], next)) {
            p = next;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> Entries(const std::wstring& folder) {
    std::vector<std::string> names = ListFiles(folder, "*");
    const std::vector<std::string> folders = ListSubdirectories(folder);
    names.insert(names.end(), folders.begin(), folders.end());
    // Apache sorts the names byte by byte.
    std::sort(names.begin(), names.end());
    return names;
}

// A file, or every file of a folder and its subfolders, in the order Apache reads them.
void AddFiles(const std::wstring& path, int depth, std::vector<std::wstring>& out) {
    if (!IsDirectory(path)) {
        if (PathExists(path)) out.push_back(path);
        return;
    }
    if (depth >= kMaxFolderDepth) return;
    for (const std::string& name : Entries(path)) AddFiles(path + L"\\" + Utf8ToWide(name), depth + 1, out);
}

// The parts of `parts` from `k` on, below `base`: wildcard parts matched against the entries there.
void Expand(const std::wstring& base, const std::vector<std::string>& parts, size_t k, std::vector<std::wstring>& out) {
    if (k == parts.size()) {
        AddFiles(base, 0, out);
        return;
    }
    if (!HasWildcard(parts[k])) {
        Expand(base + L"\\" + Utf8ToWide(parts[k]), parts, k + 1, out);
        return;
    }
    if (!IsDirectory(base)) return;
    for (const std::string& name : Entries(base)) {
        if (name == "." || name == ".." || !WildcardMatch(parts[k], name)) continue;
        const std::wstring found = base + L"\\" + Utf8ToWide(name);
        // Before the last part only folders lead on.
        if (k + 1 < parts.size() && !IsDirectory(found)) continue;
        Expand(found, parts, k + 1, out);
    }
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // A leading dot is matched only by a dot: "*" passes over hidden files.
    if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.')) return false;
    return MatchFrom(pattern, name);
}

std::vector<std::wstring> IncludedPaths(const std::string& path, const std::string& serverRoot) {
    std::string full = path;
    std::replace(full.begin(), full.end(), '/', '\\');
    const bool absolute = (full.size() >= 2 && full[1] == ':') || StartsWith(full, "\\");
    if (!absolute) {
        std::string root = serverRoot;
        std::replace(root.begin(), root.end(), '/', '\\');
        while (!root.empty() && root.back() == '\\') root.pop_back();
        full = root + "\\" + full;
    }
    // The drive or the leading "\\server\share" is no part to match: it starts the path as it stands.
    std::vector<std::string> parts = Split(full, '\\');
    size_t fixed = 1;
    if (StartsWith(full, "\\\\")) fixed = std::min<size_t>(4, parts.size());
    std::string base;
    for (size_t k = 0; k < fixed; ++k) base += (k ? "\\" : "") + parts[k];
    std::vector<std::string> rest(parts.begin() + long(fixed), parts.end());
    rest.erase(std::remove(rest.begin(), rest.end(), std::string()), rest.end());
    std::vector<std::wstring> out;
    Expand(Utf8ToWide(base), rest, 0, out);
    return out;
}

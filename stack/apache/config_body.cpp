// stack/apache/config_body.cpp: the bodies of a host and of its <Directory> blocks, read into
// their records and written back in the fixed layout (declared in config.h). Pure; any thread.
#include <algorithm>

#include "core/text.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"

namespace {

constexpr const char* kLineEnd = "\r\n";

// A line of a host or directory body that is no known directive: a nested block is kept whole.
void AppendOtherLine(const std::vector<std::string>& lines, size_t& i, std::vector<std::string>& out) {
    if (MatchOpenTag(lines[i])) {
        CaptureNestedBlock(lines, i, out);
        return;
    }
    out.push_back(Trim(lines[i]));
}

// A block tag and what followed it on its line, which Apache ignores (a comment, most often).
std::string WithRest(std::string tag, const std::string& rest) {
    if (!rest.empty()) tag += " " + rest;
    return tag;
}

// Alias lines the pattern accepts become entries; false leaves the line to the caller.
bool TakeAlias(const std::string& value, VirtualHost& host) {
    AliasEntry entry;
    if (!MatchAliasArguments(value, &entry.url, &entry.path)) return false;
    host.aliases.push_back(std::move(entry));
    return true;
}

// Apache adds the names of every ServerAlias line of a host together: so does the one field, each
// name as it is written back (bare, or between quotes when Apache would read it otherwise).
void AddAliasNames(std::string& names, const std::string& value) {
    for (const std::string& name : ApacheWords(value)) {
        if (!names.empty()) names += ' ';
        names += ApacheWords(name) == std::vector<std::string>{name} ? name : Quote(name);
    }
}

// The host fields WriteVhostBlock writes before the other lines.
bool IsWrittenFirst(const std::string& name) {
    const std::string key = ToLower(name);
    return key == "servername" || key == "documentroot" || key == "serveralias";
}

// Directives a host keeps in its own fields; false for every other directive.
bool TakeHostDirective(const std::string& name, const std::string& value, VirtualHost& host) {
    const std::string key = ToLower(name);
    if (key == "servername" || key == "documentroot") {
        // Apache refuses either with more than one argument: such a line stays as it is written.
        std::vector<std::string> words = ApacheWords(value);
        if (words.size() != 1) return false;
        (key == "servername" ? host.serverName : host.documentRoot) = std::move(words.front());
    } else if (key == "serveralias") {
        AddAliasNames(host.serverAlias, value);
    } else if (key == "alias") {
        return TakeAlias(value, host);
    } else {
        return false;
    }
    return true;
}

// Only the first AllowOverride, Options and Require fill the fields: Apache merges an Options with
// "+" or "-" words into the one before it, so a later line stays as written, after the first.
bool TakeDirectoryDirective(const std::string& name, const std::string& value,
                            const std::string& trimmed, DirectoryBlock& block) {
    const std::string key = ToLower(name);
    std::string* field = key == "allowoverride" ? &block.allowOverride
                         : key == "options"     ? &block.options
                         : key == "require"     ? &block.require
                                                : nullptr;
    if (!field || !field->empty()) return false;
    *field = key == "require" ? trimmed : value;
    return true;
}

// The directive a line of a body gives, in lower case; the macro line counts as the Require it
// stands for. Empty for a comment, a tag or a line of no directive.
std::string DirectiveKey(const std::string& line) {
    if (Trim(line) == "{ONLINE_MODE}") return "require";
    std::string name;
    return MatchDirective(line, &name, nullptr) ? ToLower(name) : std::string();
}

bool IsInclude(const std::string& key) { return key == "include" || key == "includeoptional"; }

// Directives that Apache's alias module tries in the order written, whichever matches first, and
// the Include lines whose files may hold them.
bool MayMatchAliasUrl(const std::string& line) {
    const std::string key = DirectiveKey(line);
    return key == "alias" || key == "aliasmatch" || key == "scriptalias" || key == "scriptaliasmatch" || IsInclude(key);
}

// What the lines a body has kept so far may do to a later line: set the same directive (a line of
// it kept, nested or not: written after the fields, it would become the one Apache keeps), set
// anything (an Include), or change what ${NAME} reads (a Define or UnDefine, read by Apache as it
// comes).
class EarlierLines {
public:
    // Notes the lines from `from` on, just appended to the body's other lines.
    void Note(const std::vector<std::string>& lines, size_t from) {
        for (size_t k = from; k < lines.size(); ++k) {
            const std::string key = DirectiveKey(lines[k]);
            if (IsInclude(key)) m_include = true;
            else if (key == "define" || key == "undefine") m_define = true;
            else if (!key.empty()) m_kept.push_back(key);
        }
    }
    // Whether a field line of that directive (lower case) and value must stay where it stands.
    bool Hold(const std::string& key, const std::string& value) const {
        return m_include || (m_define && value.find("${") != std::string::npos) ||
               std::find(m_kept.begin(), m_kept.end(), key) != m_kept.end();
    }

private:
    std::vector<std::string> m_kept;
    bool m_include = false;
    bool m_define = false;
};

// An Alias line taken as an entry, or a <Directory> block taken as a record: where it stood among
// the host's other lines, and its lines as written (trimmed).
struct Taken {
    size_t position = 0;
    std::vector<std::string> lines;
    bool directory = false;     // in host.directories, else in host.aliases
    size_t index = 0;           // its index there
    bool keepInPlace = false;   // goes back among the other lines where it stood
};

// A folder as Apache on Windows compares those of two sections: any case, '\' and '/' alike, a
// trailing '/' ignored.
std::string FolderKey(std::string_view path) {
    std::string key = ToLower(path);
    std::replace(key.begin(), key.end(), '\\', '/');
    while (!key.empty() && key.back() == '/') key.pop_back();
    return key;
}

// Whether a <Directory> of that folder starts among the lines from `from` on (in a nested block, or
// kept as written), or may (an Include whose file may hold one): Apache merges the sections of one
// folder in file order.
bool SameFolderFollows(const std::vector<std::string>& lines, size_t from, const std::string& path) {
    for (size_t k = from; k < lines.size(); ++k) {
        if (IsInclude(DirectiveKey(lines[k]))) return true;
        const std::optional<BlockTag> tag = ReadBlockTag(lines[k]);
        if (!IsStartTag(tag, "Directory")) continue;
        const std::vector<std::string> words = ApacheWords(tag->argument);
        if (!words.empty() && FolderKey(words[0]) == FolderKey(path)) return true;
    }
    return false;
}

// What must keep its place goes back among the other lines where it stood, and leaves its record:
// written after the other lines, an entry would come behind an alias line that followed it in the
// file, a <Directory> block behind a later one of its folder.
void KeepInFileOrder(VirtualHost& host, const std::vector<Taken>& taken) {
    // Last first, so that the positions and indices still to come stay true.
    for (size_t k = taken.size(); k-- > 0;) {
        const Taken& item = taken[k];
        if (!item.keepInPlace) continue;
        host.otherLines.insert(host.otherLines.begin() + long(item.position), item.lines.begin(), item.lines.end());
        if (item.directory) host.directories.erase(host.directories.begin() + long(item.index));
        else host.aliases.erase(host.aliases.begin() + long(item.index));
    }
}

}  // namespace

// ---- Reading ----

void ParseVhostBody(const std::vector<std::string>& lines, size_t& i, VirtualHost& host) {
    std::vector<Taken> taken;
    bool aliasAfterEntry = false;
    EarlierLines earlier;
    for (++i; i < lines.size(); ++i) {
        if (MatchVhostEnd(lines[i])) {
            host.endRest = ReadBlockTag(lines[i])->rest;
            break;
        }
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty() || StartsWithIgnoreCase(trimmed, "#ZERVA")) continue;
        std::string name, value;
        if (std::string path; MatchDirectoryStart(trimmed, &path)) {
            DirectoryBlock block;
            block.path = std::move(path);
            block.startRest = ReadBlockTag(trimmed)->rest;
            Taken item{host.otherLines.size(), {}, true, host.directories.size()};
            const size_t start = i;
            ParseDirectoryBody(lines, i, block);
            for (size_t k = start; k <= i; ++k) item.lines.push_back(Trim(lines[k]));
            taken.push_back(std::move(item));
            host.directories.push_back(std::move(block));
            continue;
        }
        const size_t entries = host.aliases.size();
        // Alias entries are written after the other lines: only the fields written first are held.
        if (MatchDirective(trimmed, &name, &value) && !(IsWrittenFirst(name) && earlier.Hold(ToLower(name), value)) &&
            TakeHostDirective(name, value, host)) {
            if (host.aliases.size() > entries) taken.push_back({host.otherLines.size(), {trimmed}, false, entries});
            continue;
        }
        const size_t from = host.otherLines.size();
        AppendOtherLine(lines, i, host.otherLines);
        earlier.Note(host.otherLines, from);
        aliasAfterEntry = aliasAfterEntry || (!host.aliases.empty() && std::any_of(host.otherLines.begin() + long(from),
                                                                                   host.otherLines.end(), MayMatchAliasUrl));
    }
    // A record is written after the other lines: one that a later other line must follow keeps its place.
    for (Taken& item : taken)
        item.keepInPlace = item.directory ? SameFolderFollows(host.otherLines, item.position, host.directories[item.index].path)
                                          : aliasAfterEntry;
    KeepInFileOrder(host, taken);
    // No end line: the block ran to the end of the text.
    if (i >= lines.size()) i = lines.empty() ? 0 : lines.size() - 1;
}

void ParseDirectoryBody(const std::vector<std::string>& lines, size_t& i, DirectoryBlock& block) {
    block.allowOverride.clear();
    block.options.clear();
    block.require.clear();
    EarlierLines earlier;
    for (++i; i < lines.size(); ++i) {
        if (MatchDirectoryEnd(lines[i])) {
            block.endRest = ReadBlockTag(lines[i])->rest;
            return;
        }
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty()) continue;
        std::string name, value;
        const bool held = earlier.Hold(DirectiveKey(trimmed), trimmed);
        if (!held && MatchDirective(trimmed, &name, &value) && TakeDirectoryDirective(name, value, trimmed, block))
            continue;
        if (!held && trimmed == "{ONLINE_MODE}" && block.require.empty()) {
            block.require = trimmed;
            continue;
        }
        const size_t from = block.otherLines.size();
        AppendOtherLine(lines, i, block.otherLines);
        earlier.Note(block.otherLines, from);
    }
    i = lines.empty() ? 0 : lines.size() - 1;
}

void CaptureNestedBlock(const std::vector<std::string>& lines, size_t& i, std::vector<std::string>& out) {
    BlockNesting nesting;
    for (; i < lines.size(); ++i) {
        nesting.Take(lines[i]);
        out.push_back(Trim(lines[i]));
        if (nesting.Depth() == 0 || i + 1 == lines.size()) return;
    }
}

// ---- Writing ----

void WriteVhostBlock(const VirtualHost& host, std::string& out) {
    auto line = [&out](std::string_view indent, const std::string& text) {
        out += indent;
        out += KeptAlone(text);
        out += kLineEnd;
    };
    std::string port;   // appended: GCC 12 takes ":" + a temporary for an overlapping copy
    if (host.port != kNoVhostPort) port.append(":").append(std::to_string(host.port));
    const std::string more = host.moreAddresses.empty() ? "" : " " + host.moreAddresses;
    line("", WithRest("<VirtualHost " + host.address + port + more + ">", host.startRest));
    if (!host.documentRoot.empty()) line("\t", "DocumentRoot " + Quote(host.documentRoot));
    if (!host.serverName.empty()) line("\t", "ServerName " + Quote(host.serverName));
    if (!host.serverAlias.empty()) line("\t", "ServerAlias " + host.serverAlias);
    // One tab more for each block open around a line; a block's own tags stand at its depth.
    BlockNesting nesting;
    for (const std::string& other : host.otherLines) {
        const size_t before = nesting.Depth();
        nesting.Take(other);
        line(std::string(1 + std::min(before, nesting.Depth()), '\t'), other);
    }
    for (const AliasEntry& alias : host.aliases)
        line("\t", "Alias " + Quote(alias.url) + " " + Quote(alias.path));
    for (const DirectoryBlock& block : host.directories) {
        line("\t", WithRest("<Directory " + Quote(block.path) + ">", block.startRest));
        if (!block.allowOverride.empty()) line("\t\t", "AllowOverride " + block.allowOverride);
        if (!block.options.empty()) line("\t\t", "Options " + block.options);
        if (!block.require.empty()) line("\t\t", block.require);
        for (const std::string& other : block.otherLines) line("\t\t", other);
        line("\t", WithRest("</Directory>", block.endRest));
    }
    line("", WithRest("</VirtualHost>", host.endRest));
}

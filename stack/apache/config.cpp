// stack/apache/config.cpp: the Apache template document (declared in config.h).
// Sections: Document (load, parse, render, save); Block parsing (address, host and <Directory>
// bodies, nested blocks); Writing (a host's block); Helpers (new host, SSL, ports, names, quotes).
#include "stack/apache/config.h"

#include <algorithm>
#include <cstdint>

#include "core/files.h"
#include "core/text.h"
#include "stack/apache/config_lines.h"

namespace {

constexpr char kPlaceholderMark = '\x01';
constexpr const char* kLineEnd = "\r\n";

std::string Placeholder(size_t index) {
    std::string line(1, kPlaceholderMark);
    line += std::to_string(index);
    return line;
}

// The host index of a placeholder line: the mark followed by decimal digits only. A huge
// index saturates (and so names no host) instead of overflowing.
bool ParsePlaceholder(const std::string& line, size_t* index) {
    if (line.size() < 2 || line[0] != kPlaceholderMark) return false;
    size_t value = 0;
    for (size_t k = 1; k < line.size(); ++k) {
        const char c = line[k];
        if (c < '0' || c > '9') return false;
        const size_t digit = size_t(c - '0');
        value = (value > (SIZE_MAX - digit) / 10) ? SIZE_MAX : value * 10 + digit;
    }
    *index = value;
    return true;
}

// A line of a host or directory body that is no known directive: a nested block is kept whole.
void AppendOtherLine(const std::vector<std::string>& lines, size_t& i, std::vector<std::string>& out) {
    if (MatchOpenTag(lines[i])) {
        CaptureNestedBlock(lines, i, out);
        return;
    }
    out.push_back(Trim(lines[i]));
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

// The folder of a <Directory> start line (trimmed) as Apache reads it: the first word of its argument.
std::string DirectoryPath(std::string_view trimmed) {
    // Trim leaves a form feed or vertical tab before the tag, which the start matcher skips.
    const size_t start = SkipSpaces(trimmed, 0) + std::string_view("<Directory").size();
    size_t pos = 0;
    return NextApacheWord(trimmed.substr(start, trimmed.rfind('>') - start), pos);
}

// Apache joins the next line to one that ends in a backslash; after a blank it reads the line as
// it stands (trailing blanks are dropped), so the blank keeps the line alone.
std::string KeptAlone(std::string line) {
    if (!line.empty() && line.back() == '\\') line += ' ';
    return line;
}

std::string ModuleText(const ModuleLine& module) {
    return KeptAlone(std::string(module.enabled ? "" : "#") + "LoadModule " + module.name + " " + module.path);
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

// What the lines a body has kept so far may do to a later line: set the same directive (inside a
// nested block, where Apache may read it first), set anything (an Include), or change what
// ${NAME} reads (a Define or UnDefine, read by Apache as it comes).
class EarlierLines {
public:
    // Notes the lines from `from` on, just appended to the body's other lines.
    void Note(const std::vector<std::string>& lines, size_t from) {
        const bool nested = from < lines.size() && MatchOpenTag(lines[from]);
        for (size_t k = from; k < lines.size(); ++k) {
            const std::string key = DirectiveKey(lines[k]);
            if (IsInclude(key)) m_include = true;
            else if (key == "define" || key == "undefine") m_define = true;
            else if (nested && !key.empty()) m_nested.push_back(key);
        }
    }
    // Whether a field line of that directive (lower case) and value must stay where it stands.
    bool Hold(const std::string& key, const std::string& value) const {
        return m_include || (m_define && value.find("${") != std::string::npos) ||
               std::find(m_nested.begin(), m_nested.end(), key) != m_nested.end();
    }

private:
    std::vector<std::string> m_nested;
    bool m_include = false;
    bool m_define = false;
};

// An Alias line taken as an entry: where it stood among the host's other lines, and its text.
struct TakenAlias {
    size_t position = 0;
    std::string line;
};

// The entries go back among the other lines where they stood, and the host holds none: written
// after the other lines, they would come behind an alias line that followed them in the file.
void KeepAliasesInFileOrder(VirtualHost& host, const std::vector<TakenAlias>& taken) {
    for (size_t k = taken.size(); k-- > 0;)
        host.otherLines.insert(host.otherLines.begin() + long(taken[k].position), taken[k].line);
    host.aliases.clear();
}

// A ServerAlias name against a request's host name, ignoring case, as Apache compares them: '*'
// matches any run of characters (dots too), '?' any one; every other character stands for itself.
bool MatchesAlias(std::string_view name, std::string_view alias) {
    size_t n = 0, a = 0;
    size_t starAlias = std::string_view::npos, starName = 0;   // the last '*' seen, to retry from
    while (n < name.size()) {
        if (a < alias.size() && alias[a] == '*') {
            starAlias = a++;
            starName = n;
        } else if (a < alias.size() && (alias[a] == '?' || FoldAscii(alias[a]) == FoldAscii(name[n]))) {
            ++a;
            ++n;
        } else if (starAlias != std::string_view::npos) {
            a = starAlias + 1;   // the '*' takes one more character
            n = ++starName;
        } else {
            return false;
        }
    }
    while (a < alias.size() && alias[a] == '*') ++a;
    return a == alias.size();
}

// The index in `lines` after which hosts added since loading go: the last placeholder, or, when
// blocks enclose it (<IfModule ssl_module>), the line that closes the outermost of them, so that
// the new hosts stand at the top level. npos for the end of the file.
size_t AddedHostsAnchor(const std::vector<std::string>& lines) {
    const JoinedLines joined = JoinContinuedLines(lines);
    size_t anchor = std::string::npos;
    size_t depth = 0;
    bool enclosed = false;
    for (size_t k = 0; k < joined.text.size(); ++k) {
        size_t unused = 0;
        if (ParsePlaceholder(joined.text[k], &unused)) {
            anchor = joined.first[k];
            enclosed = depth > 0;
        } else if (MatchCloseTag(joined.text[k])) {
            if (depth > 0) --depth;
            if (enclosed && depth == 0) {
                anchor = joined.End(k) - 1;
                enclosed = false;
            }
        } else if (MatchOpenTag(joined.text[k])) {
            ++depth;
        }
    }
    // A block that never closes: a faulty file, never saved; the new hosts end it.
    return enclosed ? std::string::npos : anchor;
}

}  // namespace

// ---- Document ----

bool ApacheConfig::Load(const std::wstring& file) {
    path = file;
    loaded = false;
    vhosts.clear();
    modules.clear();
    lines.clear();
    loadedVhostCount = 0;
    blockFault.reset();
    std::string text;
    if (!ReadWholeFile(file, text)) return false;
    Parse(text);
    return true;
}

void ApacheConfig::Parse(std::string_view bytes) {
    vhosts.clear();
    modules.clear();
    lines.clear();
    // Structure is read on the lines Apache reads: a continued line can neither hide a tag nor
    // make one. Lines outside the hosts are kept as they stand in the file.
    const std::vector<std::string> physical = SplitConfigLines(TextFileToUtf8(bytes));
    const JoinedLines source = JoinContinuedLines(physical);
    const std::vector<std::string>& joined = source.text;
    for (size_t i = 0; i < joined.size(); ++i) {
        std::string argument;
        ModuleLineMatch module;
        if (MatchVhostStart(joined[i], &argument)) {
            VirtualHost host;
            ParseVhostAddress(argument, host);
            ParseVhostBody(joined, i, host);
            lines.push_back(Placeholder(vhosts.size()));
            vhosts.push_back(std::move(host));
            continue;
        }
        if (MatchModuleLine(joined[i], &module)) {
            // Rewritten whole by Render: one line, as Apache reads it.
            modules.push_back({module.name, module.path, !module.commented, lines.size()});
            lines.push_back(joined[i]);
            continue;
        }
        lines.insert(lines.end(), physical.begin() + long(source.first[i]), physical.begin() + long(source.End(i)));
    }
    loadedVhostCount = vhosts.size();
    blockFault = FindBlockFault(joined);
    if (blockFault) blockFault->line = source.first[blockFault->line - 1] + 1;   // the line an editor shows
    loaded = true;
}

std::string ApacheConfig::Render() const {
    std::vector<std::string> copy = lines;
    size_t unused = 0;
    for (const ModuleLine& module : modules) {
        // A module entry can never replace a host's placeholder: that would drop the host.
        if (module.lineIndex < copy.size() && !ParsePlaceholder(copy[module.lineIndex], &unused))
            copy[module.lineIndex] = ModuleText(module);
    }

    const size_t anchor = AddedHostsAnchor(copy);

    std::string out;
    std::vector<bool> written(vhosts.size(), false);
    // Hosts added since loading follow the last loaded block, or the block enclosing it (or end
    // the file); the empty line before each also ends any line continued into it.
    auto writeAdded = [&] {
        for (size_t n = loadedVhostCount; n < vhosts.size(); ++n) {
            if (written[n]) continue;
            out += kLineEnd;
            WriteVhostBlock(vhosts[n], out);
            written[n] = true;
        }
    };
    for (size_t k = 0; k < copy.size(); ++k) {
        size_t n = 0;
        if (!ParsePlaceholder(copy[k], &n)) {
            out += copy[k];
            out += kLineEnd;
        } else if (n < loadedVhostCount && n < vhosts.size() && !written[n]) {
            WriteVhostBlock(vhosts[n], out);
            written[n] = true;
        }
        if (k == anchor) writeAdded();
    }
    writeAdded();
    return out;
}

bool ApacheConfig::Save() {
    if (!loaded) return false;
    if (!WriteFileAtomic(path, Render())) return false;
    // Reload so indices and placeholders describe the file as it now is.
    return Load(path);
}

// ---- Block parsing ----

VhostAddress ParseAddressWord(const std::string& word) {
    const size_t colon = word.rfind(':');
    const size_t bracket = word.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string digits = word.substr(colon + 1);
        // At most five digits: the number always fits, whatever the file says.
        const bool numeric = !digits.empty() && digits.size() <= 5 &&
                             std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (numeric) return {word.substr(0, colon), int32_t(std::stoi(digits))};
        // "*:*" and the like: appending ":80" would give an address Apache cannot resolve, and
        // it would drop the host.
        return {word, kNoVhostPort};
    }
    // "127.0.0.1" or "*" alone: Apache serves the host there on every port it listens on
    // ("127.0.0.1:*"), so it has no port of its own to move or to listen on.
    return word.empty() ? VhostAddress{"*", 80} : VhostAddress{word, kNoVhostPort};
}

void ParseVhostAddress(const std::string& text, VirtualHost& host) {
    const std::string trimmed = Trim(text);
    size_t rest = 0;
    const VhostAddress first = ParseAddressWord(NextApacheWord(trimmed, rest));
    host.address = first.address;
    host.port = first.port;
    // Apache serves the host on each address: the others are written back as they stand.
    host.moreAddresses = trimmed.substr(rest);
}

std::vector<VhostAddress> HostAddresses(const VirtualHost& host) {
    std::vector<VhostAddress> addresses = {{host.address, host.port}};
    for (const std::string& word : ApacheWords(host.moreAddresses)) addresses.push_back(ParseAddressWord(word));
    return addresses;
}

bool MoveHostPort(VirtualHost& host, int32_t from, int32_t to) {
    bool moved = host.port == from;
    if (moved) host.port = to;
    const std::string& text = host.moreAddresses;
    std::string rewritten;
    size_t kept = 0;   // the text up to here is copied as it stands
    for (size_t pos = SkipSpaces(text, 0); pos < text.size();) {
        const size_t start = pos;
        const std::string word = NextApacheWord(text, pos);
        const VhostAddress address = ParseAddressWord(word);
        if (address.port != from) continue;
        // The blanks after the word, then its closing quote, are kept: its port ends just before.
        // Quotes and backslashes make no digits, so the port's digits stand there as written.
        size_t end = pos;
        while (end > start && IsSpace(text[end - 1])) --end;
        const bool quoted = text[start] == '"' || text[start] == '\'';
        if (quoted && end - start >= 2 && text[end - 1] == text[start]) --end;
        size_t digits = end;
        while (digits > start && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
        rewritten += text.substr(kept, digits - kept) + std::to_string(to);
        kept = end;
        moved = true;
    }
    host.moreAddresses = rewritten + text.substr(kept);
    return moved;
}

void ParseVhostBody(const std::vector<std::string>& lines, size_t& i, VirtualHost& host) {
    std::vector<TakenAlias> taken;
    bool aliasAfterEntry = false;
    EarlierLines earlier;
    for (++i; i < lines.size(); ++i) {
        if (MatchVhostEnd(lines[i])) break;
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty() || StartsWithIgnoreCase(trimmed, "#ZERVA")) continue;
        std::string name, value;
        if (MatchDirectoryStart(trimmed, nullptr)) {
            DirectoryBlock block;
            block.path = DirectoryPath(trimmed);
            ParseDirectoryBody(lines, i, block);
            host.directories.push_back(std::move(block));
            continue;
        }
        const size_t entries = host.aliases.size();
        // Alias entries are written after the other lines: only the fields written first are held.
        if (MatchDirective(trimmed, &name, &value) && !(IsWrittenFirst(name) && earlier.Hold(ToLower(name), value)) &&
            TakeHostDirective(name, value, host)) {
            if (host.aliases.size() > entries) taken.push_back({host.otherLines.size(), trimmed});
            continue;
        }
        const size_t from = host.otherLines.size();
        AppendOtherLine(lines, i, host.otherLines);
        earlier.Note(host.otherLines, from);
        aliasAfterEntry = aliasAfterEntry || (!taken.empty() && std::any_of(host.otherLines.begin() + long(from),
                                                                            host.otherLines.end(), MayMatchAliasUrl));
    }
    if (aliasAfterEntry) KeepAliasesInFileOrder(host, taken);
    // No end line: the block ran to the end of the text.
    if (i >= lines.size()) i = lines.empty() ? 0 : lines.size() - 1;
}

void ParseDirectoryBody(const std::vector<std::string>& lines, size_t& i, DirectoryBlock& block) {
    block.allowOverride.clear();
    block.options.clear();
    block.require.clear();
    EarlierLines earlier;
    for (++i; i < lines.size(); ++i) {
        if (MatchDirectoryEnd(lines[i])) return;
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
    int depth = 0;
    for (; i < lines.size(); ++i) {
        if (MatchCloseTag(lines[i])) --depth;
        else if (MatchOpenTag(lines[i])) ++depth;
        out.push_back(Trim(lines[i]));
        if (depth < 1 || i + 1 == lines.size()) return;
    }
}

// ---- Writing ----

void WriteVhostBlock(const VirtualHost& host, std::string& out) {
    auto line = [&out](std::string_view indent, const std::string& text) {
        out += indent;
        out += KeptAlone(text);
        out += kLineEnd;
    };
    const std::string port = host.port == kNoVhostPort ? "" : ":" + std::to_string(host.port);
    const std::string more = host.moreAddresses.empty() ? "" : " " + host.moreAddresses;
    line("", "<VirtualHost " + host.address + port + more + ">");
    if (!host.documentRoot.empty()) line("\t", "DocumentRoot " + Quote(host.documentRoot));
    if (!host.serverName.empty()) line("\t", "ServerName " + Quote(host.serverName));
    if (!host.serverAlias.empty()) line("\t", "ServerAlias " + host.serverAlias);
    size_t depth = 1;
    for (const std::string& other : host.otherLines) {
        const bool closes = MatchCloseTag(other);
        if (closes && depth > 1) --depth;
        line(std::string(depth, '\t'), other);
        if (!closes && MatchOpenTag(other)) ++depth;
    }
    for (const AliasEntry& alias : host.aliases)
        line("\t", "Alias " + Quote(alias.url) + " " + Quote(alias.path));
    for (const DirectoryBlock& block : host.directories) {
        line("\t", "<Directory " + Quote(block.path) + ">");
        if (!block.allowOverride.empty()) line("\t\t", "AllowOverride " + block.allowOverride);
        if (!block.options.empty()) line("\t\t", "Options " + block.options);
        if (!block.require.empty()) line("\t\t", block.require);
        for (const std::string& other : block.otherLines) line("\t\t", other);
        line("\t", "</Directory>");
    }
    line("", "</VirtualHost>");
}

// ---- Helpers ----

VirtualHost MakeVirtualHost(const std::string& name, int port) {
    VirtualHost host;
    host.address = "*";
    host.port = port;
    host.serverName = name + ".localhost";
    host.documentRoot = "{DOCUMENTPATH}/" + name;
    DirectoryBlock block;
    block.path = host.documentRoot;
    host.directories.push_back(std::move(block));
    return host;
}

bool HasSslEngine(const VirtualHost& host) {
    // As httpd.conf generation reads it: "SSLEngine optional" holds "on" but serves plain HTTP too.
    return std::any_of(host.otherLines.begin(), host.otherLines.end(),
                       [](const std::string& line) { return FindSslEngineOn(line); });
}

std::vector<int> UniqueVhostPorts(const ApacheConfig& config) {
    std::vector<int> ports;
    for (const VirtualHost& host : config.vhosts)
        for (const VhostAddress& address : HostAddresses(host))
            if (address.port != kNoVhostPort && std::find(ports.begin(), ports.end(), address.port) == ports.end())
                ports.push_back(address.port);
    return ports;
}

std::string ServerNameHost(std::string_view serverName) {
    const size_t scheme = serverName.find("://");
    if (scheme != std::string_view::npos) serverName.remove_prefix(scheme + 3);
    return std::string(serverName.substr(0, serverName.find(':')));
}

bool HostAnswersName(const VirtualHost& host, std::string_view name) {
    const auto aliasesAnswer = [name](const std::string& aliases) {
        const std::vector<std::string> words = ApacheWords(aliases);
        return std::any_of(words.begin(), words.end(), [&](const std::string& alias) { return MatchesAlias(name, alias); });
    };
    if (EqualsIgnoreCase(ServerNameHost(host.serverName), name) || aliasesAnswer(host.serverAlias)) return true;
    // Names kept among the other lines, inside a block that may be active ("<IfModule>") or where
    // they stood: Apache may read them all.
    return std::any_of(host.otherLines.begin(), host.otherLines.end(), [&](const std::string& line) {
        std::string directive, value;
        if (!MatchDirective(line, &directive, &value)) return false;
        if (EqualsIgnoreCase(directive, "ServerAlias")) return aliasesAnswer(value);
        const std::vector<std::string> words = ApacheWords(value);
        return EqualsIgnoreCase(directive, "ServerName") && words.size() == 1 &&
               EqualsIgnoreCase(ServerNameHost(words.front()), name);
    });
}

std::string Quote(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (size_t k = 0; k < text.size(); ++k) {
        // Between quotes Apache reads a backslash before a quote or another backslash as an escape.
        const bool escaped = text[k] == '"' || (text[k] == '\\' && (k + 1 == text.size() || text[k + 1] == '\\' ||
                                                                    text[k + 1] == '"'));
        if (escaped) quoted += '\\';
        quoted += text[k];
    }
    quoted += '"';
    return quoted;
}

std::string Unquote(std::string_view text) {
    std::string trimmed = Trim(text);
    if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"')
        return trimmed.substr(1, trimmed.size() - 2);
    return trimmed;
}

// stack/apache/config.cpp: the Apache template document (declared in config.h): load, parse,
// render and save; the helpers that describe it (a new host, SSL, ports, quotes); the hosts of a
// reading.
#include "stack/apache/config.h"

#include <algorithm>
#include <cstdint>

#include "core/files.h"
#include "core/text.h"
#include "core/translate.h"
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

std::string ModuleText(const ModuleLine& module) {
    return KeptAlone(std::string(module.enabled ? "" : "#") + "LoadModule " + module.name + " " + module.path);
}

bool IsIncludeLine(const std::string& line) {
    std::string directive;
    return MatchDirective(line, &directive, nullptr) &&
           (EqualsIgnoreCase(directive, "Include") || EqualsIgnoreCase(directive, "IncludeOptional"));
}

// The index in `lines` after which hosts added since loading go: the last placeholder or Include
// line (an included file may hold hosts: the first host of an address is the one Apache gives
// the requests no name of it answers, and a new one must not come before it), or, when blocks
// enclose it (<IfModule ssl_module>), the line that closes the outermost of them, so that the new
// hosts stand at the top level. npos for the end of the file.
size_t AddedHostsAnchor(const std::vector<std::string>& lines) {
    const JoinedLines joined = JoinContinuedLines(lines);
    size_t anchor = std::string::npos;
    BlockNesting nesting;
    bool enclosed = false;
    for (size_t k = 0; k < joined.text.size(); ++k) {
        size_t unused = 0;
        if (ParsePlaceholder(joined.text[k], &unused) || (anchor != std::string::npos && IsIncludeLine(joined.text[k]))) {
            anchor = joined.End(k) - 1;
            enclosed = nesting.Depth() > 0;
            continue;
        }
        const BlockNesting::Step step = nesting.Take(joined.text[k]);
        if (enclosed && step.tag && step.tag->closes && nesting.Depth() == 0) {
            anchor = joined.End(k) - 1;
            enclosed = false;
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
    hostLines.clear();
    readState = ReadState();
    std::string text;
    if (!ReadWholeFile(file, text)) return false;
    Parse(text);
    return true;
}

void ApacheConfig::Parse(std::string_view bytes) {
    vhosts.clear();
    modules.clear();
    lines.clear();
    hostLines.clear();
    // Structure is read on the lines Apache reads: a continued line can neither hide a tag nor
    // make one. Lines outside the hosts are kept as they stand in the file.
    const std::vector<std::string> physical = SplitConfigLines(TextFileToUtf8(bytes));
    const JoinedLines source = JoinContinuedLines(physical);
    const std::vector<std::string>& joined = source.text;
    for (size_t i = 0; i < joined.size(); ++i) {
        std::string argument;
        ModuleLineMatch module;
        if (MatchVhostStart(joined[i], &argument)) {
            hostLines.push_back(i);
            VirtualHost host;
            ParseVhostAddress(argument, host);
            host.startRest = ReadBlockTag(joined[i])->rest;
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
    // The file read alone, its macros as written: what it loads and defines for its hosts.
    readState = ReadAsApache(bytes, "", ReadingInput{}).state;
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

bool HasSslEngine(const VirtualHost& host, const ReadState& state) { return SslEngineOn(host.otherLines, state); }

std::vector<int> UniqueVhostPorts(const ApacheConfig& config) {
    std::vector<int> ports;
    for (const VirtualHost& host : config.vhosts)
        for (const VhostAddress& address : HostAddresses(host))
            if (address.port != kNoVhostPort && std::find(ports.begin(), ports.end(), address.port) == ports.end())
                ports.push_back(address.port);
    return ports;
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

// ---- Hosts of a reading ----

std::vector<ReadHost> ReadHosts(const ApacheReading& reading) {
    std::vector<std::string> texts;
    texts.reserve(reading.lines.size());
    for (const ReadLine& line : reading.lines) texts.push_back(line.text);
    std::vector<ReadHost> hosts;
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string argument;
        if (!MatchVhostStart(texts[i], &argument)) continue;
        ReadHost read;
        read.first = i;
        ParseVhostAddress(argument, read.host);
        ParseVhostBody(texts, i, read.host);
        read.last = i;
        const size_t bodyEnd = MatchVhostEnd(texts[i]) ? i : i + 1;
        read.body.assign(texts.begin() + long(read.first) + 1, texts.begin() + long(bodyEnd));
        read.https = SslEngineOn(read.body, reading.state);
        hosts.push_back(std::move(read));
    }
    return hosts;
}

std::vector<bool> HttpsHosts(const ApacheConfig& document, const ApacheReading& reading) {
    std::vector<bool> https;
    for (const VirtualHost& host : document.vhosts) https.push_back(HasSslEngine(host, document.readState));
    for (const ReadHost& read : ReadHosts(reading)) {
        const ReadLine& start = reading.lines[read.first];
        const auto found = std::find(document.hostLines.begin(), document.hostLines.end(), start.line);
        if (start.file == 0 && found != document.hostLines.end()) https[size_t(found - document.hostLines.begin())] = read.https;
    }
    return https;
}

std::string HostPlace(const ApacheReading& reading, const ReadHost& host) {
    const ReadLine& start = reading.lines[host.first];
    return Format(Tr("%s, line %d"), reading.files[start.file].c_str(), int(start.number));
}

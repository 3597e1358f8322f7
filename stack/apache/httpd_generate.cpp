// stack/apache/httpd_generate.cpp: httpd.conf made from the template's text (declared in
// httpd_conf.h): hosts judged on the lines Apache reads (ReadAsApache), the Listen lines of their
// addresses, HTTPS hosts without their module or certificate commented out, PHP's files refused
// without PHP. Pure; any thread.
#include <algorithm>

#include "core/text.h"
#include "stack/apache/config.h"
#include "stack/apache/config_read.h"
#include "stack/apache/httpd_conf.h"

namespace {

constexpr const char* kNoPhpPrefix = "# [Zerva] no PHP selected: ";
constexpr const char* kDisabledPrefix = "# [Zerva disabled] ";

bool IsCommentLine(std::string_view line) { return StartsWith(Trim(line), "#"); }

// A path that still names a variable once expanded: nothing tells which file Apache will get.
bool NamesVariable(const std::string& path) {
    const size_t start = path.find("${");
    return start != std::string::npos && path.find('}', start + 2) != std::string::npos;
}

// A loopback address other than 127.0.0.1, which every port listens on offline: "[::1]",
// "127.0.0.2". Names are not resolved.
bool IsOtherLoopback(const std::string& address) {
    if (EqualsIgnoreCase(address, "[::1]")) return true;
    if (!StartsWith(address, "127.") || address == "127.0.0.1") return false;
    const std::vector<std::string> parts = Split(address, '.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](const std::string& part) {
               return !part.empty() && part.size() <= 3 && part.find_first_not_of("0123456789") == std::string::npos &&
                      std::stoi(part) <= 255;
           });
}

// Without the PHP module, Apache would serve .php files (config.inc.php with the database
// password among them) as plain text: each <Files>/<FilesMatch> block that hands files to PHP
// refuses them instead.
void RefusePhpFiles(std::vector<std::string>& lines) {
    bool inFiles = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const std::optional<BlockTag> tag = ReadBlockTag(trimmed);
        if (tag && (tag->Is("Files") || tag->Is("FilesMatch"))) inFiles = !tag->closes;
        std::string name, value;
        if (!inFiles || !MatchDirective(trimmed, &name, &value) || !EqualsIgnoreCase(name, "SetHandler") ||
            !EqualsIgnoreCase(Unquote(value), "application/x-httpd-php"))
            continue;
        const std::string indent = lines[i].substr(0, lines[i].find_first_not_of(" \t"));
        lines.insert(lines.begin() + long(i) + 1, indent + "Require all denied");
        ++i;
    }
}

// Whether Apache loads PHP, as it reads the file: a module named php* ("{PHPMODULENAME}" expanded,
// or one written by hand) loaded outside any section it skips.
bool PhpLoaded(const ReadState& state) {
    return std::any_of(state.modules.begin(), state.modules.end(),
                       [](const std::string& module) { return StartsWithIgnoreCase(module, "php"); });
}

// The server's own certificate: the last SSLCertificateFile Apache reads outside the hosts, in
// the template or a file it includes. Apache hands it to every host without one of its own once
// the whole configuration is read, so one written after a host counts for it too.
std::optional<std::string> ServerCertificate(const ApacheReading& reading, const std::vector<ReadHost>& hosts) {
    std::vector<bool> inHost(reading.lines.size(), false);
    for (const ReadHost& host : hosts) std::fill(inHost.begin() + long(host.first), inHost.begin() + long(host.last) + 1, true);
    std::optional<std::string> certificate;
    for (size_t k = 0; k < reading.lines.size(); ++k)
        if (std::optional<std::string> path = CertificateOf(reading.lines[k].text); path && !inHost[k]) certificate = std::move(path);
    return certificate;
}

// What generation makes of one host of the template that Apache reads.
struct JudgedHost {
    bool https = false;   // "SSLEngine on" read in it, module or not
    bool kept = false;    // served: plain, or HTTPS with the SSL module and a certificate
    std::vector<VhostAddress> addresses;
};

JudgedHost Judge(const ReadHost& host, const ReadState& state, const std::optional<std::string>& serverCertificate,
                 const std::function<bool(const std::string& path)>& certificateExists) {
    JudgedHost judged;
    judged.https = SslEngineOn(host.body, state);
    std::optional<std::string> own;
    for (const std::string& line : host.body)
        if (std::optional<std::string> path = CertificateOf(line)) own = std::move(path);
    // A certificate that still names a variable is left to Apache.
    const std::string certificate = own.value_or(serverCertificate.value_or(""));
    judged.kept = !judged.https || (state.Loaded("ssl_module") && !certificate.empty() &&
                                    (NamesVariable(certificate) || certificateExists(certificate)));
    judged.addresses = HostAddresses(host.host);
    return judged;
}

// The index of the line that ends the host block starting at lines[start], as the document reads
// it: its end line, or the last line when that is missing.
size_t HostBlockEnd(const std::vector<std::string>& lines, size_t start) {
    size_t end = start;
    while (end + 1 < lines.size() && !MatchVhostEnd(lines[++end])) {}
    return end;
}

void AddPort(std::vector<int>& ports, int port) {
    if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
}

// The ports of the kept hosts the main port is looked for among, in order.
std::vector<int> MainHostsPorts(const std::vector<JudgedHost>& judged, const std::vector<bool>& own, bool anyOwn) {
    std::vector<int> ports;
    for (size_t k = 0; k < judged.size(); ++k)
        if (judged[k].kept && own[k] == anyOwn)
            for (const VhostAddress& address : judged[k].addresses)
                if (address.port != kNoVhostPort) AddPort(ports, address.port);
    return ports;
}

// The ports of the Listen lines Apache reads ("Listen 8443", "Listen 127.0.0.1:8443 https").
std::vector<int> ListenedPorts(const ApacheReading& reading) {
    std::vector<int> ports;
    for (const ReadLine& line : reading.lines) {
        std::string directive, value;
        if (!MatchDirective(line.text, &directive, &value) || !EqualsIgnoreCase(directive, "Listen")) continue;
        const std::vector<std::string> words = ApacheWords(value);
        if (words.empty()) continue;
        // A port alone, or after the address.
        const int32_t port = ParseAddressWord(words[0]).port != kNoVhostPort ? ParseAddressWord(words[0]).port
                                                                            : ParseAddressWord("*:" + words[0]).port;
        if (port != kNoVhostPort) AddPort(ports, port);
    }
    return ports;
}

}  // namespace

bool LoadsPhpModule(std::string_view confText) { return PhpLoaded(ReadAsApache(confText, "httpd.conf", {}).state); }

std::string BuildListenLines(const std::vector<int>& ports, bool online, const std::vector<VhostAddress>& loopbacks) {
    std::string text;
    for (int port : ports.empty() ? std::vector<int>{80} : ports) {
        text += std::string("Listen ") + (online ? "" : "127.0.0.1:") + std::to_string(port) + "\r\n";
        if (online) continue;   // every address, these among them
        for (const VhostAddress& loopback : loopbacks)
            if (loopback.port == port) text += "Listen " + loopback.address + ":" + std::to_string(port) + "\r\n";
    }
    return text;
}

HttpdConfText GenerateHttpdConf(std::string_view templateText, const ReadingInput& input, bool withPhp, bool online,
                                const std::function<bool(const std::string& path)>& certificateExists) {
    // A template saved "with BOM" would hide a host on its first line, and Apache its port. Hosts
    // and modules are found on the lines Apache reads (a continued line joined with the next, as
    // the document reads them); the file's own lines are what is written.
    const std::vector<std::string> physical = SplitConfigLines(TextFileToUtf8(templateText));
    const JoinedLines joined = JoinContinuedLines(physical);
    const std::vector<std::string>& lines = joined.text;
    const auto fileLines = [&](size_t first, size_t last, const char* prefix, std::vector<std::string>& out) {
        for (size_t k = joined.first[first]; k < joined.End(last); ++k) out.push_back(prefix + physical[k]);
    };
    const ApacheReading reading = ReadAsApache(templateText, "httpd_zerva.conf", input);
    const std::vector<ReadHost> hosts = ReadHosts(reading);
    const std::optional<std::string> serverCertificate = ServerCertificate(reading, hosts);
    // Every host Apache reads, in the order it reads them: those of the files the template includes
    // are served as well, and their ports listened on. Only the template's own can be written off.
    std::vector<JudgedHost> judged;
    std::vector<bool> own;
    std::vector<std::optional<bool>> keptAt(lines.size());   // a template host's start line: whether it is kept
    for (const ReadHost& host : hosts) {
        const ReadLine& start = reading.lines[host.first];
        judged.push_back(Judge(host, reading.state, serverCertificate, certificateExists));
        own.push_back(start.file == 0);
        if (start.file == 0) keptAt[start.line] = judged.back().kept;
    }
    const bool anyOwn = std::find(own.begin(), own.end(), true) != own.end();

    HttpdConfText result;
    std::optional<int> mainPort;
    std::optional<bool> firstPortHttps;    // whether the first port of the main hosts is an HTTPS host's
    std::vector<VhostAddress> loopbacks;   // with kNoVhostPort: on every port
    for (size_t k = 0; k < judged.size(); ++k) {
        if (!judged[k].kept) {
            if (own[k]) result.disabledPorts.push_back(judged[k].addresses.front().port == kNoVhostPort
                                                           ? 80 : judged[k].addresses.front().port);
            continue;
        }
        // Apache serves the host on every address: each port gets its Listen line.
        for (const VhostAddress& address : judged[k].addresses) {
            if (address.port != kNoVhostPort) AddPort(result.ports, address.port);
            if (IsOtherLoopback(AddressHost(address.address))) loopbacks.push_back({AddressHost(address.address), address.port});
        }
        // The main port is the first address's of the template's first plain host, as the Apache
        // page and the home address take it; a template without hosts takes them from its includes.
        if (own[k] != anyOwn) continue;
        const int32_t first = judged[k].addresses.front().port;
        if (!judged[k].https && !mainPort && first != kNoVhostPort) mainPort = first;
        for (const VhostAddress& address : judged[k].addresses)
            if (address.port != kNoVhostPort && !firstPortHttps) firstPortHttps = judged[k].https;
    }

    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!withPhp && lines[i].find("{PHPMODULENAME}") != std::string::npos && MatchModuleLine(lines[i], nullptr)) {
            fileLines(i, i, kNoPhpPrefix, out);
            continue;
        }
        if (!MatchVhostStart(lines[i], nullptr)) {
            fileLines(i, i, "", out);
            continue;
        }
        const size_t end = HostBlockEnd(lines, i);
        fileLines(i, end, keptAt[i].value_or(true) ? "" : kDisabledPrefix, out);
        i = end;
    }
    // Whatever the reason no PHP module loads (no build, or its line switched off in the
    // template), the handler block would otherwise hand out PHP sources as text.
    if (!withPhp || !PhpLoaded(reading.state)) RefusePhpFiles(out);

    result.apacheHttps = !mainPort && firstPortHttps.value_or(false);
    const std::vector<int> ownPorts = MainHostsPorts(judged, own, anyOwn);
    if (result.ports.empty()) result.ports.push_back(80);
    result.apachePort = mainPort.value_or(ownPorts.empty() ? result.ports.front() : ownPorts.front());
    // A loopback address a host names without a port of its own takes every port's requests.
    for (const VhostAddress& loopback : std::vector<VhostAddress>(loopbacks)) {
        if (loopback.port != kNoVhostPort) continue;
        for (int port : result.ports) loopbacks.push_back({loopback.address, port});
    }
    for (const VhostAddress& loopback : loopbacks) {
        const bool known = std::any_of(result.loopbacks.begin(), result.loopbacks.end(), [&](const VhostAddress& seen) {
            return seen.port == loopback.port && EqualsIgnoreCase(seen.address, loopback.address);
        });
        if (loopback.port != kNoVhostPort && !known) result.loopbacks.push_back(loopback);
    }
    // A port the configuration listens on itself (a Listen line of an included file) gets no Listen
    // line more: Apache refuses to listen twice on one address and port.
    const std::vector<int> listened = ListenedPorts(reading);
    std::vector<int> ports;
    for (int port : result.ports)
        if (std::find(listened.begin(), listened.end(), port) == listened.end()) ports.push_back(port);
    MacroMap macros = input.macros;
    macros["LISTEN_VIRTUAL_HOST_PORT"] = ports.empty() ? std::string() : BuildListenLines(ports, online, result.loopbacks);
    macros["APACHE_PORT"] = std::to_string(result.apachePort);
    for (const std::string& line : out) {
        result.text += IsCommentLine(line) ? line : ExpandMacros(line, macros);
        result.text += "\r\n";
    }
    result.macros = std::move(macros);
    return result;
}

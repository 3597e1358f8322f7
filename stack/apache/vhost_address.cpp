// stack/apache/vhost_address.cpp: the addresses of a <VirtualHost> start line as Apache reads
// them, and a port moved among them (declared in config.h). Pure; any thread.
#include <algorithm>
#include <cstdint>

#include "core/text.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"

namespace {

// Where the port of an address word starts: after its last ':' outside the brackets of an IPv6
// address; npos without one.
size_t PortSeparator(std::string_view word) {
    const size_t colon = word.rfind(':');
    const size_t bracket = word.rfind(']');
    return colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket) ? colon
                                                                                                     : std::string_view::npos;
}

}  // namespace

VhostAddress ParseAddressWord(const std::string& word) {
    const size_t separator = PortSeparator(word);
    if (separator != std::string::npos) {
        const std::string_view digits = std::string_view(word).substr(separator + 1);
        int64_t port = digits.empty() ? -1 : 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') port = -1;
            if (port < 0) break;
            port = std::min<int64_t>(port * 10 + (c - '0'), 1 << 20);   // leading zeros count, as Apache reads them
        }
        if (port >= 1 && port <= 65535) return {word.substr(0, separator), int32_t(port)};
        // "*:*" serves every port. "*:80abc", "*:0" or "*:70000" is no address Apache listens
        // for: appending ":80" would make one of it, so the word is kept as written.
        return {word, kNoVhostPort};
    }
    // "127.0.0.1" or "*" alone: Apache serves the host there on every port it listens on
    // ("127.0.0.1:*"), so it has no port of its own to move or to listen on.
    return word.empty() ? VhostAddress{"*", 80} : VhostAddress{word, kNoVhostPort};
}

std::string AddressHost(std::string_view word) {
    return std::string(word.substr(0, std::min(PortSeparator(word), word.size())));
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

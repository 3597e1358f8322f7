// stack/apache/site.cpp: a new site's host and its address, and the names a host answers
// (declared in site.h). Pure; any thread.
#include "stack/apache/site.h"

#include <algorithm>

#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"

namespace {

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

// "_default_" and "*" name the same hosts: Apache keeps them in one list per port.
bool IsAnyAddress(std::string_view address) { return address == "*" || EqualsIgnoreCase(address, "_default_"); }

// The address of a word without a port of its own, its port ("*", or none) left off:
// "127.0.0.1:*" and "127.0.0.1" both take requests arriving at 127.0.0.1 on any port.
std::string AddressOfAnyPort(const VhostAddress& address) {
    const std::string& word = address.address;
    const size_t colon = word.rfind(':');
    const size_t bracket = word.rfind(']');
    if (colon == std::string::npos || (bracket != std::string::npos && bracket > colon)) return word;
    return word.substr(0, colon);
}

// A named address that takes requests for the port: on that port, or without a port of its own,
// where Apache tries it for every port before the "*" hosts of the port.
bool NamedAddressOnPort(const VhostAddress& address, int32_t port) {
    if (address.port == kNoVhostPort) return !IsAnyAddress(AddressOfAnyPort(address));
    return address.port == port && !IsAnyAddress(address.address);
}

// Whether a host on `address` can take a request arriving at `at` (an address and the site's
// port): Apache tries the hosts named on the address the request came to (on its port, else on
// any port) before the "*" ones of its port, and a host on "*:*" only when no host has the port.
// Named addresses are compared as written, none is resolved.
bool TakesRequestsAt(const VhostAddress& address, const VhostAddress& at) {
    if (address.port == kNoVhostPort) {
        const std::string named = AddressOfAnyPort(address);
        return !IsAnyAddress(named) && (IsAnyAddress(at.address) || EqualsIgnoreCase(named, at.address));
    }
    if (address.port != at.port) return false;
    if (IsAnyAddress(at.address)) return true;
    return !IsAnyAddress(address.address) && EqualsIgnoreCase(address.address, at.address);
}

bool SameAddress(const VhostAddress& a, const VhostAddress& b) {
    return a.port == b.port && EqualsIgnoreCase(a.address, b.address);
}

}  // namespace

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

VirtualHost MakeSiteHost(const std::vector<VirtualHost>& hosts, const std::string& name) {
    const VirtualHost* main = MainHttpHost(hosts);
    VirtualHost site = MakeVirtualHost(name, main ? main->port : 80);
    if (!main) return site;
    site.address = main->address;
    site.moreAddresses = main->moreAddresses;
    // A request arriving at an address that other hosts name goes to those hosts only: the site
    // must be among them to be reached there (offline, Apache listens on 127.0.0.1 alone).
    std::vector<VhostAddress> taken = HostAddresses(*main);
    for (const VirtualHost& host : hosts) {
        for (const VhostAddress& address : HostAddresses(host)) {
            if (!NamedAddressOnPort(address, main->port)) continue;
            if (std::any_of(taken.begin(), taken.end(), [&](const VhostAddress& t) { return SameAddress(t, address); }))
                continue;
            taken.push_back(address);
            const std::string word =
                address.port == kNoVhostPort ? address.address : address.address + ":" + std::to_string(address.port);
            site.moreAddresses += (site.moreAddresses.empty() ? "" : " ") + word;
        }
    }
    return site;
}

bool SiteNameTaken(const std::vector<VirtualHost>& hosts, const VirtualHost& site) {
    const std::string name = ServerNameHost(site.serverName);
    // Where a request for the site arrives on its port: each address on that port, and each named
    // one without a port of its own; further addresses on other ports do not count.
    std::vector<VhostAddress> at;
    for (const VhostAddress& address : HostAddresses(site)) {
        if (address.port == site.port) at.push_back(address);
        else if (NamedAddressOnPort(address, site.port)) at.push_back({AddressOfAnyPort(address), site.port});
    }
    for (const VirtualHost& host : hosts) {
        if (!HostAnswersName(host, name)) continue;
        for (const VhostAddress& address : HostAddresses(host))
            for (const VhostAddress& arrival : at)
                if (TakesRequestsAt(address, arrival)) return true;
    }
    return false;
}

std::string SiteUrl(const VirtualHost& host) {
    std::string url = "http://";
    url += ServerNameHost(host.serverName);
    if (host.port != 80 && host.port != kNoVhostPort) url.append(":").append(std::to_string(host.port));
    return url + "/";
}

// stack/apache/site.cpp: a new site's host and its address, and the names a host answers
// (declared in site.h). Pure; any thread.
#include "stack/apache/site.h"

#include <algorithm>

#include "core/text.h"
#include "core/translate.h"
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

// A named address that takes requests for the port: on that port, or without a port of its own,
// where Apache tries it for every port before the "*" hosts of the port.
bool NamedAddressOnPort(const VhostAddress& address, int32_t port) {
    if (address.port == kNoVhostPort) return !IsAnyAddress(AddressHost(address.address));
    return address.port == port && !IsAnyAddress(address.address);
}

// Whether a host on `address` can take a request for the site that arrives where the site is
// served on `at` (a port of its own, or none: then it arrives at `servicePort`): Apache tries the
// hosts named on the address the request came to (on its port, else on any port) before the "*"
// ones of its port, and the hosts on "*:*" only when no host has the port, together with a site
// there. Named addresses are compared as written, none is resolved.
bool TakesRequestsAt(const VhostAddress& address, const VhostAddress& at, int32_t servicePort) {
    const std::string site = AddressHost(at.address);
    const std::string named = AddressHost(address.address);
    const bool siteAny = IsAnyAddress(site);
    if (address.port == kNoVhostPort) {
        if (IsAnyAddress(named)) return siteAny && at.port == kNoVhostPort;
        return siteAny || EqualsIgnoreCase(named, site);
    }
    if (address.port != (at.port == kNoVhostPort ? servicePort : at.port)) return false;
    if (siteAny) return true;
    return !IsAnyAddress(named) && EqualsIgnoreCase(named, site);
}

bool SameAddress(const VhostAddress& a, const VhostAddress& b) {
    return a.port == b.port && EqualsIgnoreCase(a.address, b.address);
}

std::string AddressWord(const VhostAddress& address) {
    return address.port == kNoVhostPort ? address.address : address.address + ":" + std::to_string(address.port);
}

// A host's SSL lines, as the site's host on an HTTPS main host needs them: its SSL directives and
// the blocks that hold one, as written.
std::vector<std::string> SslLines(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    BlockNesting nesting;
    size_t blockStart = 0;
    bool blockHasSsl = false;
    for (size_t k = 0; k < lines.size(); ++k) {
        const size_t before = nesting.Depth();
        nesting.Take(lines[k]);
        std::string directive;
        const bool ssl = MatchDirective(lines[k], &directive, nullptr) && StartsWithIgnoreCase(directive, "SSL");
        if (before == 0 && nesting.Depth() == 0) {
            if (ssl) kept.push_back(lines[k]);
            continue;
        }
        if (before == 0) {
            blockStart = k;
            blockHasSsl = false;
        }
        blockHasSsl = blockHasSsl || ssl;
        if (nesting.Depth() == 0 && blockHasSsl) kept.insert(kept.end(), lines.begin() + long(blockStart), lines.begin() + long(k) + 1);
    }
    return kept;
}

// The host that answers what the site is named, in reading order, where it would be served; npos for none.
size_t FirstAnswering(const std::vector<ReadHost>& hosts, const VirtualHost& site, int32_t servicePort) {
    const std::string name = ServerNameHost(site.serverName);
    // Where a request for the site arrives: each of its addresses on its port (or without one),
    // and each named one without a port of its own; further addresses on other ports do not count.
    std::vector<VhostAddress> at;
    for (const VhostAddress& address : HostAddresses(site))
        if (address.port == site.port || address.port == kNoVhostPort) at.push_back(address);
    for (size_t k = 0; k < hosts.size(); ++k) {
        if (!HostAnswersName(hosts[k].host, name)) continue;
        for (const VhostAddress& address : HostAddresses(hosts[k].host))
            for (const VhostAddress& arrival : at)
                if (TakesRequestsAt(address, arrival, servicePort)) return k;
    }
    return std::string::npos;
}

// The host the main port is taken from, given which hosts Apache serves over TLS (`https`, one
// per host): the first plain host with a port of its own, else the first host with one; when no
// host has a port of its own ("*:*"), the first plain host, else the first. Npos without hosts.
size_t MainHostIndex(const std::vector<VirtualHost>& hosts, const std::vector<bool>& https) {
    const auto first = [&](bool ownPort, bool plain) {
        for (size_t k = 0; k < hosts.size(); ++k)
            if ((!ownPort || hosts[k].port != kNoVhostPort) && (!plain || !https[k])) return k;
        return std::string::npos;
    };
    // A host without a port of its own ("*:*") is served on the ports the others name: it names
    // the main port only when no host has one.
    for (const auto& [ownPort, plain] : {std::pair{true, true}, {true, false}, {false, true}, {false, false}})
        if (const size_t k = first(ownPort, plain); k != std::string::npos) return k;
    return std::string::npos;
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

SitePlan PlanSite(const ApacheConfig& document, const ApacheReading& reading, const std::string& name) {
    const std::vector<ReadHost> hosts = ReadHosts(reading);
    // The template's own hosts, as Apache reads them, each with its index in the document.
    std::vector<VirtualHost> own;
    std::vector<bool> https;
    std::vector<size_t> documentIndex;
    for (const ReadHost& read : hosts) {
        const ReadLine& start = reading.lines[read.first];
        const auto found = std::find(document.hostLines.begin(), document.hostLines.end(), start.line);
        if (start.file != 0 || found == document.hostLines.end()) continue;
        own.push_back(read.host);
        https.push_back(read.https);
        documentIndex.push_back(size_t(found - document.hostLines.begin()));
    }
    // A template without hosts of its own takes them from the files it includes (the usual
    // conf\extra\httpd-vhosts.conf): the first of those is the main one.
    if (own.empty()) {
        for (const ReadHost& read : hosts) {
            own.push_back(read.host);
            https.push_back(read.https);
            documentIndex.push_back(std::string::npos);
        }
    }
    const size_t main = MainHostIndex(own, https);
    SitePlan plan;
    plan.host = MakeVirtualHost(name, main == std::string::npos ? 80 : own[main].port);
    const bool siteHttps = main != std::string::npos && https[main];
    // With no host of its own port the server listens on 80 alone, where a site without one is served.
    const int32_t servicePort = plan.host.port == kNoVhostPort ? 80 : plan.host.port;
    if (main != std::string::npos) {
        plan.host.address = own[main].address;
        plan.host.moreAddresses = own[main].moreAddresses;
        // Copied as written in the template (the key and certificate paths name its macros), or as
        // Apache reads an included host.
        const size_t index = documentIndex[main];
        if (siteHttps) plan.host.otherLines = SslLines(index != std::string::npos ? document.vhosts[index].otherLines
                                                                                   : own[main].otherLines);
    }
    // A request arriving at an address that other hosts name goes to those hosts only: the site
    // must be among them to be reached there (offline, Apache listens on loopback addresses alone).
    std::vector<VhostAddress> taken = HostAddresses(plan.host);
    for (const ReadHost& read : hosts) {
        for (const VhostAddress& address : HostAddresses(read.host)) {
            if (!NamedAddressOnPort(address, servicePort)) continue;
            if (std::any_of(taken.begin(), taken.end(), [&](const VhostAddress& t) { return SameAddress(t, address); }))
                continue;
            taken.push_back(address);
            if (!plan.host.moreAddresses.empty()) plan.host.moreAddresses += ' ';
            plan.host.moreAddresses += AddressWord(address);
        }
    }
    plan.url = SiteUrl(plan.host, siteHttps);
    const size_t answering = FirstAnswering(hosts, plan.host, servicePort);
    if (answering == std::string::npos) return plan;
    const ReadHost& host = hosts[answering];
    const ReadLine& start = reading.lines[host.first];
    const auto index = std::find(document.hostLines.begin(), document.hostLines.end(), start.line);
    if (start.file == 0 && index != document.hostLines.end() &&
        EqualsIgnoreCase(ServerNameHost(document.vhosts[size_t(index - document.hostLines.begin())].serverName),
                         ServerNameHost(plan.host.serverName))) {
        plan.outcome = SitePlan::Outcome::Exists;
        return plan;
    }
    plan.outcome = SitePlan::Outcome::Taken;
    const std::string label = host.host.serverName.empty() ? AddressWord(HostAddresses(host.host).front()) : host.host.serverName;
    plan.message = Format(Tr("Site not created: the virtual host %s (%s) already answers %s."), label.c_str(),
                          HostPlace(reading, host).c_str(), ServerNameHost(plan.host.serverName).c_str());
    return plan;
}

std::string SiteUrl(const VirtualHost& host, bool https) {
    std::string url = https ? "https://" : "http://";
    url += ServerNameHost(host.serverName);
    // A host without a port of its own is served where the server listens when no host names a port: 80.
    const int32_t port = host.port == kNoVhostPort ? 80 : host.port;
    if (port != (https ? 443 : 80)) url.append(":").append(std::to_string(port));
    return url + "/";
}

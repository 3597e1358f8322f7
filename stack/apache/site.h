// stack/apache/site.h: where a new site's host goes among the template's hosts, the address it
// is served at, and the names a host answers as Apache compares them. Pure; any thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct VirtualHost;

// The name Apache matches a request's host against: ServerName without a scheme ("http://") and
// without a port (Apache cuts it at the first ':').
std::string ServerNameHost(std::string_view serverName);
// Whether the host's names answer a request for `name` as Apache compares them, in any case: the
// ServerName's name, or one of its ServerAlias names, where '*' stands for any run of characters
// and '?' for one. An alias written with a port never matches: Apache compares it whole. The
// ServerName and ServerAlias lines among its other lines count too, nested blocks included.
bool HostAnswersName(const VirtualHost& host, std::string_view name);

// The new site's host: MakeVirtualHost on the main port, on every address of the host that port
// is taken from, then on every named address of the other hosts that takes requests for that
// port ("127.0.0.1:8080", or "127.0.0.1" without a port of its own), as written. Apache gives a
// request that arrives at an address named by some hosts to those hosts only, never to a "*"
// one; "*:80" without hosts.
VirtualHost MakeSiteHost(const std::vector<VirtualHost>& hosts, const std::string& name);
// Whether a request for the site's name, arriving where the site's host is served on its port,
// goes to one of `hosts` (Apache takes the first host whose names answer, and the site would be
// added after them): a host on the same address, on that port or without a port of its own, or
// on any named address taking that port's requests when the site's is "*", whose names answer
// (HostAnswersName).
bool SiteNameTaken(const std::vector<VirtualHost>& hosts, const VirtualHost& site);
// "http://<name>/" with ":<port>" unless the port is 80 or the host has none of its own; the
// name is the ServerName as Apache matches it.
std::string SiteUrl(const VirtualHost& host);

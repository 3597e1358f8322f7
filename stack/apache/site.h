// stack/apache/site.h: where a new site's host goes among the template's hosts, the address it
// is served at, and the names a host answers as Apache compares them. Pure; any thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "stack/apache/config.h"

// The name Apache matches a request's host against: ServerName without a scheme ("http://") and
// without a port (Apache cuts it at the first ':').
std::string ServerNameHost(std::string_view serverName);
// Whether the host's names answer a request for `name` as Apache compares them, in any case: the
// ServerName's name, or one of its ServerAlias names, where '*' stands for any run of characters
// and '?' for one. An alias written with a port never matches: Apache compares it whole. The
// ServerName and ServerAlias lines among its other lines count too, nested blocks included.
bool HostAnswersName(const VirtualHost& host, std::string_view name);

// ---- New site ----
// Where a new site's host goes and what a request for its name meets there, from the template
// as loaded (`document`) and the same text read as Apache reads it (`reading`: macros, variables
// and the files it includes). Apache gives a request that arrives at an address named by some
// hosts to those hosts only, never to a "*" one, and among them to the first whose names answer.
struct SitePlan {
    enum class Outcome {
        Add,     // `host` is to be added to the document; the site will be served at `url`
        Exists,  // a host of the template already has the site's name as its ServerName: nothing to add
        Taken,   // another host answers the name where the site would be served: `message` names it
    };
    Outcome outcome = Outcome::Add;
    VirtualHost host;     // MakeVirtualHost on the main host's addresses and those named for its port
    std::string url;      // SiteUrl of `host`
    std::string message;  // Taken: the host that answers, its file and line (translated)
};
// The site's host goes on every address of the template's main host as Apache reads them (one
// without a port of its own stays so; without hosts in the template, the main one of the files
// it includes), then on every named address of any host that takes requests for that port ("127.0.0.1:8080", or "127.0.0.1" without a port of its own); an HTTPS
// main host gives it its SSL lines. "*:80" without hosts. The first host of the reading that
// answers the name where the site would be served decides: none, Add; the template's own host
// of that ServerName, Exists; any other, Taken.
SitePlan PlanSite(const ApacheConfig& document, const ApacheReading& reading, const std::string& name);
// "http://<name>/", "https://<name>/" for an HTTPS host, with ":<port>" unless it is the scheme's
// own (80, 443); a host without a port of its own counts as on 80. The name is the ServerName as
// Apache matches it.
std::string SiteUrl(const VirtualHost& host, bool https);

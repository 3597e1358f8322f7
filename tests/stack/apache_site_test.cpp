// A new site's host and what a request for its name meets: each row checked against apache2 -S
// and requests to a running apache2 serving the template with the new host added.
#include "stack/apache/site.h"

#include "stack/apache/config.h"
#include "stack/apache/config_read.h"
#include "tests/stack/stack_fixture.h"

namespace {

const std::string kSsl = "LoadModule ssl_module modules/mod_ssl.so\n";

// The plan for "blog" on a template, read with these included files (name to text).
SitePlan Plan(const std::string& text, const std::map<std::string, std::string>& included = {}) {
    ApacheConfig document;
    document.Parse(text);
    ReadingInput input;
    input.environment = [](const std::string& name) {
        return name == "SITE" ? std::optional<std::string>("blog.localhost") : std::nullopt;
    };
    input.include = [&included](const std::string& path, const std::string&) {
        std::vector<IncludedFile> files;
        if (const auto found = included.find(path); found != included.end()) files.push_back({path, found->second});
        return files;
    };
    return PlanSite(document, ReadAsApache(text, "httpd_zerva.conf", input), "blog");
}

std::string StartLine(const VirtualHost& host) {
    std::string block;
    WriteVhostBlock(host, block);
    return block.substr(0, block.find('\r'));
}

}  // namespace

// The new site's host goes on the main host's addresses; a host answering its name where Apache
// would send the request (the same address, or a named one when the site's is "*", on its port)
// takes it.
TEST(ApacheSite, HostOnTheMainAddresses_NameTakenWhereTheRequestArrives_Address) {
    const std::string main =
        kSsl + "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n<VirtualHost 127.0.0.1:41080 [::1]:41080>\n</VirtualHost>\n";
    const auto answering = [](const char* address) {
        return std::string("<VirtualHost ") + address + ">\nServerName w.localhost\nServerAlias Blog.localhost\n</VirtualHost>\n";
    };
    const std::tuple<const char*, std::string, const char*, bool> cases[] = {   // name, hosts, start line, taken
        {"no hosts", "", "<VirtualHost *:80>", false},
        {"main host's addresses", main, "<VirtualHost 127.0.0.1:41080 [::1]:41080>", false},
        {"named address", main + answering("[::1]:41080"), "<VirtualHost 127.0.0.1:41080 [::1]:41080>", true},
        {"\"*\" passed over for named ones", main + answering("*:41080"), "<VirtualHost 127.0.0.1:41080 [::1]:41080>", false},
        {"another port", main + answering("127.0.0.1:8080"), "<VirtualHost 127.0.0.1:41080 [::1]:41080>", false},
        {"any port", "<VirtualHost *:41080>\n</VirtualHost>\n" + answering("*:*"), "<VirtualHost *:41080>", false},
        {"a named one before \"*\"", "<VirtualHost _default_:41080>\n</VirtualHost>\n" + answering("127.0.0.1:41080"),
         "<VirtualHost _default_:41080 127.0.0.1:41080>", true},
        // A request arriving at an address other hosts name goes to them only: the site joins them,
        // with or without a port of its own ("127.0.0.1" takes every port's), as written.
        {"the named addresses of the port",
         "<VirtualHost 127.0.0.1>\n</VirtualHost>\n<VirtualHost *:41080>\n</VirtualHost>\n<VirtualHost *>\n</VirtualHost>\n"
         "<VirtualHost [::1]:41080 *:8080 127.0.0.1:41080>\nServerName x.localhost\n</VirtualHost>\n",
         "<VirtualHost *:41080 127.0.0.1 [::1]:41080 127.0.0.1:41080>", false},
        {"a named address without a port", "<VirtualHost *:41080>\n</VirtualHost>\n" + answering("127.0.0.1"),
         "<VirtualHost *:41080 127.0.0.1>", true},
        {"the site's own named address without a port", "<VirtualHost 127.0.0.1:41080>\n</VirtualHost>\n" + answering("[::1]"),
         "<VirtualHost 127.0.0.1:41080 [::1]>", true},
        {"\"*\" without a port", "<VirtualHost *:41080>\n</VirtualHost>\n" + answering("*"), "<VirtualHost *:41080>", false},
        {"\"_default_\" is \"*\"", "<VirtualHost *:41080>\n</VirtualHost>\n" + answering("_default_:41080"),
         "<VirtualHost *:41080>", true},
        {"in capitals too", "<VirtualHost *:41080>\n</VirtualHost>\n" + answering("_DEFAULT_:41080"),
         "<VirtualHost *:41080>", true},
        {"the first port only", "<VirtualHost *:41080 *:8080>\n</VirtualHost>\n" + answering("*:8080"),
         "<VirtualHost *:41080 *:8080>", false},
        // "<VirtualHost *>" is "*:*" to Apache: the site stays on every port with the old hosts, so
        // that they keep their requests (a "*:80" site would take every request of port 80).
        {"hosts without a port of their own", "<VirtualHost *>\nServerName localhost\n</VirtualHost>\n", "<VirtualHost *>", false},
        {"on a named address without a port", "<VirtualHost 127.0.0.1>\n</VirtualHost>\n", "<VirtualHost 127.0.0.1>", false},
        {"a catch-all among them", "<VirtualHost *>\n</VirtualHost>\n" + answering("*"), "<VirtualHost *>", true},
    };
    for (const auto& [name, hosts, start, taken] : cases) {
        const SitePlan plan = Plan(hosts);
        std::string made;
        WriteVhostBlock(MakeVirtualHost("blog", plan.host.port), made);
        std::string block;
        WriteVhostBlock(plan.host, block);
        EXPECT_EQ(StartLine(plan.host), start) << name;
        EXPECT_EQ(block.substr(block.find('\r')), made.substr(made.find('\r'))) << name;
        EXPECT_EQ(plan.outcome == SitePlan::Outcome::Taken, taken) << name;
        const bool port80 = plan.host.port == 80 || plan.host.port == kNoVhostPort;
        EXPECT_EQ(plan.url, port80 ? "http://blog.localhost/" : "http://blog.localhost:41080/") << name;
    }
}

// Any host that answers the name where the site would be served, by any of its names, in the
// template or a file it includes, leaves the site unreached: the plan names it. Only the
// template's own host of that ServerName is the site made before.
TEST(ApacheSite, Plan_TheHostThatAnswersIsNamedWithItsFileAndLine) {
    const std::string main = "<VirtualHost *:41080>\nServerName localhost\n</VirtualHost>\n";
    const std::map<std::string, std::string> included = {
        {"conf/extra/vhosts.conf", "# hosts\n<VirtualHost *:41080>\nServerName b.localhost\nServerAlias blog.localhost\n"
                                   "</VirtualHost>\n"},
        {"conf/extra/named.conf", "<VirtualHost 127.0.0.1:41080>\nServerName named.localhost\n</VirtualHost>\n"}};
    const std::tuple<const char*, std::string, SitePlan::Outcome, const char*> cases[] = {   // name, text, outcome, message
        {"a catch-all alias",
         "<VirtualHost *:41080>\n\tServerName localhost\n\tServerAlias *.localhost\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "the virtual host localhost (httpd_zerva.conf, line 1) already answers blog.localhost."},
        {"an alias ending in '*' answers the name before it",
         main + "<VirtualHost *:41080>\nServerName x.localhost\nServerAlias blog.localhost*\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "the virtual host x.localhost (httpd_zerva.conf, line 4)"},
        {"a ServerName through a variable", main + "Define N blog.localhost\n<VirtualHost *:41080>\nServerName ${N}\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "the virtual host blog.localhost (httpd_zerva.conf, line 5)"},
        {"through the environment", main + "<VirtualHost *:41080>\nServerName ${SITE}\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "(httpd_zerva.conf, line 4)"},
        {"a host of an included file", main + "Include conf/extra/vhosts.conf\n", SitePlan::Outcome::Taken,
         "the virtual host b.localhost (conf/extra/vhosts.conf, line 2)"},
        {"a host without a name", "<VirtualHost *:41080>\nServerAlias blog.localhost\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "the virtual host *:41080 (httpd_zerva.conf, line 1)"},
        {"the site made before", main + "<VirtualHost *:41080>\nServerName Blog.localhost\n</VirtualHost>\n",
         SitePlan::Outcome::Exists, ""},
        // The first host that answers decides, as Apache takes it.
        {"made before, behind a catch-all",
         main + "<VirtualHost *:41080>\nServerAlias *\n</VirtualHost>\n<VirtualHost *:41080>\nServerName blog.localhost\n</VirtualHost>\n",
         SitePlan::Outcome::Taken, "(httpd_zerva.conf, line 4)"},
        {"a Define in a section Apache skips",
         main + "Define N x\n<IfDefine ALT>\nDefine N blog.localhost\n</IfDefine>\n<VirtualHost *:41080>\nServerName ${N}\n"
                "</VirtualHost>\n",
         SitePlan::Outcome::Add, ""},
        {"an included host on a named address takes the site along", main + "Include conf/extra/named.conf\n",
         SitePlan::Outcome::Add, ""},
        {"hosts in an included file alone", "Include conf/extra/named.conf\n", SitePlan::Outcome::Add, ""},
    };
    for (const auto& [name, text, outcome, message] : cases) {
        const SitePlan plan = Plan(text, included);
        EXPECT_EQ(plan.outcome, outcome) << name;
        EXPECT_NE(plan.message.find(message), std::string::npos) << name << ": " << plan.message;
        EXPECT_EQ(plan.message.empty(), outcome != SitePlan::Outcome::Taken) << name;
    }
    EXPECT_EQ(StartLine(Plan(main + "Include conf/extra/named.conf\n", included).host),
              "<VirtualHost *:41080 127.0.0.1:41080>");
    // The usual layout: the template's hosts all in conf\extra\httpd-vhosts.conf; the first there is the main one.
    EXPECT_EQ(StartLine(Plan("Include conf/extra/named.conf\n", included).host), "<VirtualHost 127.0.0.1:41080>");
}

// A template whose only hosts are HTTPS ones: the site is one too, with the main host's SSL lines
// as written, and its address says https.
TEST(ApacheSite, Plan_OnAnHttpsMainHost_ServedOverTls) {
    const std::string text = kSsl +
        "<VirtualHost *:41443>\n\tServerName localhost\n\tSSLEngine on\n\tSSLCertificateFile \"{APACHEPATH}/conf/ssl/localhost.crt\"\n"
        "\tSSLCertificateKeyFile \"${SRVROOT}/conf/ssl/localhost.key\"\n\t<IfModule headers_module>\n\t\tHeader set X 1\n"
        "\t</IfModule>\n\t<IfModule ssl_module>\n\t\tSSLProtocol all\n\t</IfModule>\n\tHeader set Y 2\n</VirtualHost>\n";
    const SitePlan plan = Plan(text);
    EXPECT_EQ(plan.outcome, SitePlan::Outcome::Add);
    EXPECT_EQ(plan.url, "https://blog.localhost:41443/");
    EXPECT_EQ(plan.host.otherLines,
              (std::vector<std::string>{"SSLEngine on", "SSLCertificateFile \"{APACHEPATH}/conf/ssl/localhost.crt\"",
                                        "SSLCertificateKeyFile \"${SRVROOT}/conf/ssl/localhost.key\"", "<IfModule ssl_module>",
                                        "SSLProtocol all", "</IfModule>"}));
    EXPECT_EQ(Plan(kSsl + "<VirtualHost *:443>\nSSLEngine on\n</VirtualHost>\n").url, "https://blog.localhost/");
    // A plain host before it is the main one.
    EXPECT_EQ(Plan("<VirtualHost *:8080>\n</VirtualHost>\n" + text).url, "http://blog.localhost:8080/");
}

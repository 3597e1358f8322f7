// stack/apache/httpd_conf.h: a build's template httpd_zerva.conf made once from the built-in text
// and the build's modules; httpd.conf and the conf\extra working files regenerated from their
// templates; and the configuration test "httpd.exe -t". Any thread (the server or installer
// worker); no state of its own. Text steps are exposed for their tests.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/proc.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"
#include "stack/apache/config_read.h"
#include "stack/php/builds.h"

// ---- Template ----
// The 31 modules a new template switches on when their file exists.
const std::vector<std::string>& DefaultApacheModules();
// Makes conf\httpd_zerva.conf with its pristine copy httpd_initial.conf, unless it exists; keeps
// the distribution's httpd.conf once as httpd_original.conf; then makes sure the localhost
// certificate exists. False with "cannot write <path>: <reason>" when the template cannot be
// written.
[[nodiscard]] bool BuildApacheTemplate(const ApacheInstall& build, std::string& error);
// httpd_zerva.conf back from httpd_initial.conf; false, changing nothing, without the copy.
[[nodiscard]] bool ResetApacheTemplate(const ApacheInstall& build);

// ---- httpd.conf ----
// The template macros of a build and an optional PHP build (paths with '/').
MacroMap HttpdConfMacros(const ApacheInstall& build, const std::optional<PhpInstall>& php);
// Regenerates conf\httpd.conf and the conf\extra\*.conf files from their templates. A PHP build
// without an Apache module counts as none. False with "cannot read <path>" or "cannot write
// <path>: <reason>".
[[nodiscard]] bool WriteHttpdConf(const ApacheInstall& build, const std::optional<PhpInstall>& php,
                                  std::string& error);
// Whether Apache loads PHP with this httpd.conf text, as it reads it: a module named php*
// loaded outside the sections it skips. A line the generation commented out (no usable PHP build)
// or one switched off on the Modules tab does not count.
bool LoadsPhpModule(std::string_view confText);
// The same of the build's generated httpd.conf, the one Apache last started with (or is about to);
// false when it cannot be read.
bool GeneratedConfLoadsPhp(const ApacheInstall& build);
// The template as httpd.exe will read it: the build's macros (a PHP build without an Apache
// module counts as none), the environment it is started with, the files its Include lines name
// from its server root.
ReadingInput HttpdReadingInput(const ApacheInstall& build, const std::optional<PhpInstall>& php);
// What Apache serves of the build's template as it stands, as httpd.conf generation judges it
// (the PHP build plays no part in it): the ports listened on, [80] without hosts or without a
// readable template; the main port (APACHE_PORT); whether TLS serves it.
struct TemplateService {
    std::vector<int> ports{80};
    int mainPort = 80;
    bool mainHttps = false;
};
TemplateService ServiceOfTemplate(const ApacheInstall& build);
int MainHttpPort(const ApacheInstall& build);                  // ServiceOfTemplate's mainPort
std::vector<int> TemplateVhostPorts(const ApacheInstall& build);   // ServiceOfTemplate's ports
// Where the main port answers: "http://localhost/" with ":<port>" unless it is 80, "https://" and
// ":<port>" unless it is 443 when TLS serves it.
std::string HomeUrl(const ApacheInstall& build);
std::string HomeUrlOf(const TemplateService& service);
// A template's text read as httpd.exe will read it (HttpdReadingInput), named as its file.
ApacheReading ReadTemplateAsHttpd(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string_view text);
// "Listen 127.0.0.1:<port>" and CR LF per port, each followed offline by the other loopback
// addresses the hosts name on it ("Listen [::1]:<port>"); "Listen <port>" online, every address
// then. [] counts as [80].
std::string BuildListenLines(const std::vector<int>& ports, bool online, const std::vector<VhostAddress>& loopbacks = {});

// ---- Configuration test ----
// "PHP;PHP\ext;" (with PHP) then the build's bin folder: put in front of PATH for httpd.exe.
std::wstring HttpdPathPrefix(const ApacheInstall& build, const std::optional<PhpInstall>& php);
// How httpd.exe is started, by the start and the configuration test alike: the program, the
// build's folder as working folder, PHPRC with a PHP build, the PATH prefix. No arguments.
proc::SpawnOptions HttpdSpawnOptions(const ApacheInstall& build, const std::optional<PhpInstall>& php);
// Runs "httpd.exe -t" on the generated httpd.conf (30 s at most); true only on exit code 0.
// `output` gets the trimmed output, or why the program could not start.
[[nodiscard]] bool TestApacheConfig(const ApacheInstall& build, const std::optional<PhpInstall>& php,
                                    std::string& output);

// ---- Text steps behind the functions above ----
struct TemplateModule {
    std::string name;     // "ssl_module"
    std::string path;     // "modules/" + the module's file name
    bool enabled = false;
};
// The LoadModule lines of a distribution httpd.conf, php modules left out, in file order.
std::vector<TemplateModule> ModulesFromConf(std::string_view confText);
// One disabled module per "mod_*.so" file name.
std::vector<TemplateModule> ModulesFromFiles(const std::vector<std::string>& fileNames);
// One LoadModule line and CR LF per module; active when it is enabled or a default module and
// fileExists(path) confirms its file, commented with "#" otherwise.
std::string BuildModuleBlock(const std::vector<TemplateModule>& modules,
                             const std::function<bool(const std::string& path)>& fileExists);
// The template text (a file's bytes: a byte-order mark dropped, UTF-16 converted) with CR LF line
// ends and the @@LOADMODULES@@ line replaced by the block.
std::string InsertModuleBlock(std::string_view templateFile, std::string_view moduleBlock);

struct HttpdConfText {
    std::string text;                 // httpd.conf, every line ending in CR LF
    std::vector<int> ports;           // listened on, in order of first appearance
    std::vector<VhostAddress> loopbacks;  // other loopback addresses listened on offline, with their ports
    int apachePort = 80;              // APACHE_PORT
    bool apacheHttps = false;         // whether Apache serves APACHE_PORT over TLS (no plain host names a port)
    std::vector<int> disabledPorts;   // HTTPS hosts commented out, in file order
    MacroMap macros;                  // the map used, listen lines and APACHE_PORT included
};
// httpd.conf from the template file's bytes (a byte-order mark dropped, UTF-16 converted). Hosts
// are judged (their ports, HTTPS, certificate) on the lines as Apache will read them (ReadAsApache
// with `input`: its macros, the environment, the included files); the text keeps ${NAME} as
// written, for Apache to expand, and gets the macros of `input` with LISTEN_VIRTUAL_HOST_PORT and
// APACHE_PORT. A host of a section Apache skips is neither listened on nor commented out. An HTTPS
// host's certificate is its own SSLCertificateFile, else the last one read outside the hosts.
// certificateExists gets a certificate path so expanded; one that still names a variable is not
// asked about, and its host is kept: Apache judges it.
HttpdConfText GenerateHttpdConf(std::string_view templateText, const ReadingInput& input, bool withPhp, bool online,
                                const std::function<bool(const std::string& path)>& certificateExists);

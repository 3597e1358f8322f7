// stack/apache/httpd_conf.cpp: the template, httpd.conf and the configuration test (declared in
// httpd_conf.h). Index:
//   (file-local helpers)          ServerPath, LinesAsApacheReads, host judgement (SslModuleBlocks,
//                                 ServerCertificate, HostServed), RefusePhpFiles, HttpdEnvironment
//   ---- Template ----            DefaultApacheModules, ModulesFromConf, BuildModuleBlock, BuildApacheTemplate
//   ---- httpd.conf ----          HttpdConfMacros, VhostListenPort, GenerateHttpdConf, WriteHttpdConf
//   ---- Configuration test ----  HttpdPathPrefix, TestApacheConfig
#include "stack/apache/httpd_conf.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cwchar>

#include "core/cmdline.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/proc.h"
#include "core/translate.h"
#include "stack/apache/config.h"
#include "stack/apache/config_lines.h"
#include "stack/apache/ssl_cert.h"

namespace {

constexpr uint32_t kTestTimeoutMs = 30000;
constexpr const char* kNoPhpPrefix = "# [Zerva] no PHP selected: ";
constexpr const char* kDisabledPrefix = "# [Zerva disabled] ";

std::wstring ConfDir(const ApacheInstall& build) { return build.dir + L"\\conf"; }

// A path of the configuration, absolute or relative to the server root, as a Windows path.
std::wstring ServerPath(const ApacheInstall& build, const std::string& path) {
    std::wstring wide = Utf8ToWide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    const bool absolute = (wide.size() >= 2 && wide[1] == L':') || (!wide.empty() && wide[0] == L'\\');
    return absolute ? wide : build.dir + L"\\" + wide;
}

bool IsCommentLine(std::string_view line) { return StartsWith(Trim(line), "#"); }

// Hosts are judged as Apache will read them: our macros first (a Define may hold one, as the
// built-in SRVROOT does), then Apache's own variables.
std::vector<std::string> LinesAsApacheReads(const std::vector<std::string>& lines, const MacroMap& macros,
                                            const ApacheEnvironment& environment) {
    std::vector<std::string> expanded;
    expanded.reserve(lines.size());
    for (const std::string& line : lines) expanded.push_back(ExpandMacros(line, macros));
    return ExpandApacheVariables(expanded, environment);
}

// A path that still names a variable once expanded: nothing tells which file Apache will get.
bool NamesVariable(const std::string& path) {
    const size_t start = path.find("${");
    return start != std::string::npos && path.find('}', start + 2) != std::string::npos;
}

// The index of the line that ends the host block starting at lines[start]: its end line, or the
// last line when that is missing.
size_t HostBlockEnd(const std::vector<std::string>& lines, size_t start) {
    size_t end = start;
    while (end + 1 < lines.size() && !MatchVhostEnd(lines[++end])) {}
    return end;
}

// Follows the <IfModule> blocks of the SSL module, "ssl_module" or "mod_ssl.c" (with "!" for its
// absence), written as Apache compares them: case and all. Apache skips the lines of such a block
// whose condition fails; every other condition is taken as met.
class SslModuleBlocks {
public:
    explicit SslModuleBlocks(bool sslLoaded) : m_sslLoaded(sslLoaded) {}

    // Takes the next line; whether Apache reads it (a block's own tags count as the lines around it).
    bool Reads(const std::string& line) {
        std::string tag;
        if (MatchCloseTag(line, &tag) && EqualsIgnoreCase(tag, "IfModule")) {
            if (!m_skips.empty()) {
                m_skipping -= m_skips.back() ? 1 : 0;
                m_skips.pop_back();
            }
            return m_skipping == 0;
        }
        const bool read = m_skipping == 0;
        if (MatchOpenTag(line, &tag) && EqualsIgnoreCase(tag, "IfModule")) {
            m_skips.push_back(Skips(line));
            m_skipping += m_skips.back() ? 1 : 0;
        }
        return read;
    }

private:
    // Apache takes the text up to the last '>' as the condition: "!" first, then the module.
    bool Skips(std::string_view line) const {
        const size_t start = line.find('<') + 1 + std::string_view("IfModule").size();
        const size_t close = line.rfind('>');
        if (close == std::string_view::npos || close < start) return false;
        std::string_view condition = line.substr(start, close - start);
        condition.remove_prefix(SkipSpaces(condition, 0));
        const bool negated = !condition.empty() && condition.front() == '!';
        if (negated) condition.remove_prefix(1);
        const std::vector<std::string> module = ApacheWords(condition);
        if (module.size() != 1 || (module[0] != "ssl_module" && module[0] != "mod_ssl.c")) return false;
        return negated == m_sslLoaded;
    }

    bool m_sslLoaded;
    std::vector<bool> m_skips;   // one per open <IfModule>: whether it skips its lines
    int m_skipping = 0;          // how many of them do
};

// The path an SSLCertificateFile line names, its argument read as Apache reads it (either quote,
// its backslash rules); none for any other line.
std::optional<std::string> CertificateOf(const std::string& line) {
    std::string name, value;
    if (!MatchDirective(line, &name, &value) || !EqualsIgnoreCase(name, "SSLCertificateFile")) return std::nullopt;
    size_t pos = 0;
    std::string path = NextApacheWord(value, pos);
    if (path.empty()) return std::nullopt;
    return path;
}

// The server's own certificate: the last SSLCertificateFile Apache reads outside the hosts. Apache
// hands it to every host without one of its own once the whole file is read, so one written after
// a host counts for it too.
std::optional<std::string> ServerCertificate(const std::vector<std::string>& lines,
                                             const std::vector<std::string>& read, bool sslLoaded) {
    std::optional<std::string> certificate;
    SslModuleBlocks blocks(sslLoaded);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (MatchVhostStart(lines[i], nullptr)) {
            i = HostBlockEnd(lines, i);
            continue;
        }
        std::optional<std::string> path = CertificateOf(read[i]);
        if (blocks.Reads(read[i]) && path) certificate = std::move(path);
    }
    return certificate;
}

// Whether the host block read[first..last] can be served: an HTTPS one (`https` set) needs the SSL
// module and a certificate, its own or else the server's. A certificate that still names a variable
// is left to Apache. Lines in an SSL module block that Apache skips do not count: SSLEngine there
// leaves the host plain HTTP.
bool HostServed(const std::vector<std::string>& read, size_t first, size_t last, bool sslLoaded,
                const std::optional<std::string>& serverCertificate,
                const std::function<bool(const std::string& path)>& certificateExists, bool& https) {
    std::optional<std::string> own;
    // Only the blocks opened inside the host: one that lies whole in a skipped block is judged on
    // its own lines, so that an HTTPS host there is still never listened on.
    SslModuleBlocks blocks(sslLoaded);
    for (size_t k = first; k <= last; ++k) {
        if (!blocks.Reads(read[k])) continue;
        https = https || FindSslEngineOn(read[k]);
        if (std::optional<std::string> path = CertificateOf(read[k])) own = std::move(path);
    }
    const std::string certificate = own.value_or(serverCertificate.value_or(""));
    return !https ||
           (sslLoaded && !certificate.empty() && (NamesVariable(certificate) || certificateExists(certificate)));
}

// <Files ...> or <FilesMatch ...> opening (opens true) or closing (opens false) at the line's start.
bool IsFilesTag(const std::string& trimmed, bool opens) {
    for (const char* tag : {"Files", "FilesMatch"}) {
        const std::string start = std::string(opens ? "<" : "</") + tag;
        if (!StartsWithIgnoreCase(trimmed, start) || trimmed.size() == start.size()) continue;
        const char next = trimmed[start.size()];
        if (next == '>' || next == ' ' || next == '\t') return true;
    }
    return false;
}

// Without the PHP module, Apache would serve .php files (config.inc.php with the database
// password among them) as plain text: each <Files>/<FilesMatch> block that hands files to PHP
// refuses them instead.
void RefusePhpFiles(std::vector<std::string>& lines) {
    bool inFiles = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string trimmed = Trim(lines[i]);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        if (IsFilesTag(trimmed, true)) inFiles = true;
        else if (IsFilesTag(trimmed, false)) inFiles = false;
        std::string name, value;
        if (!inFiles || !MatchDirective(trimmed, &name, &value) || !EqualsIgnoreCase(name, "SetHandler") ||
            !EqualsIgnoreCase(Unquote(value), "application/x-httpd-php"))
            continue;
        const std::string indent = lines[i].substr(0, lines[i].find_first_not_of(" \t"));
        lines.insert(lines.begin() + long(i) + 1, indent + "Require all denied");
        ++i;
    }
}

// The PHP module's own line ("{PHPMODULENAME}", or a php*_module written by hand) left active.
bool PhpModuleLoaded(const std::vector<std::string>& lines) {
    LoadModuleWords module;
    return std::any_of(lines.begin(), lines.end(), [&module](const std::string& line) {
        return FindLoadModule(line, &module) && !module.commented &&
               (module.name == "{PHPMODULENAME}" || StartsWithIgnoreCase(module.name, "php"));
    });
}

bool SslModuleLoaded(const std::vector<std::string>& lines) {
    LoadModuleWords module;
    return std::any_of(lines.begin(), lines.end(), [&module](const std::string& line) {
        return FindLoadModule(line, &module) && !module.commented && EqualsIgnoreCase(module.name, "ssl_module");
    });
}

// The environment httpd.exe is started with, by the start and the configuration test alike:
// Zerva's own, PHPRC with a PHP build, and the PATH prefix; names in any case, as Windows has them.
ApacheEnvironment HttpdEnvironment(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    proc::EnvList overrides;
    if (php) overrides.emplace_back(L"PHPRC", php->dir);
    const std::wstring block = proc::CurrentEnvironmentBlock(overrides, HttpdPathPrefix(build, php));
    return [variables = proc::ParseEnvironmentBlock(block.c_str())](const std::string& name) -> std::optional<std::string> {
        const std::wstring wide = Utf8ToWide(name);
        for (const auto& [variable, value] : variables)
            if (_wcsicmp(variable.c_str(), wide.c_str()) == 0) return WideToUtf8(value);
        return std::nullopt;
    };
}

void WriteExtraConfs(const ApacheInstall& build, const MacroMap& macros) {
    const std::wstring extra = ConfDir(build) + L"\\extra";
    const std::string suffix = "_zerva.conf";
    for (const std::string& name : ListFiles(extra, "*" + suffix)) {
        std::string text;
        if (!ReadWholeFile(extra + L"\\" + Utf8ToWide(name), text)) continue;
        const std::string target = name.substr(0, name.size() - suffix.size()) + ".conf";
        (void)WriteFileAtomic(extra + L"\\" + Utf8ToWide(target), ExpandMacros(std::move(text), macros));
    }
}

}  // namespace

// ---- Template ----

const std::vector<std::string>& DefaultApacheModules() {
    static const std::vector<std::string> modules = {
        "access_compat_module", "actions_module", "alias_module", "allowmethods_module", "asis_module",
        "auth_basic_module", "authn_core_module", "authn_file_module", "authz_core_module",
        "authz_groupfile_module", "authz_host_module", "authz_user_module", "autoindex_module", "cgi_module",
        "deflate_module", "dir_module", "env_module", "expires_module", "filter_module", "headers_module",
        "include_module", "isapi_module", "log_config_module", "mime_module", "negotiation_module",
        "rewrite_module", "setenvif_module", "socache_shmcb_module", "ssl_module", "status_module",
        "version_module",
    };
    return modules;
}

std::vector<TemplateModule> ModulesFromConf(std::string_view confText) {
    std::vector<TemplateModule> modules;
    LoadModuleWords words;
    for (const std::string& line : SplitLines(confText)) {
        if (!FindLoadModule(line, &words) || StartsWithIgnoreCase(words.name, "php")) continue;
        std::string file = words.file;
        file.erase(std::remove(file.begin(), file.end(), '"'), file.end());
        std::replace(file.begin(), file.end(), '\\', '/');
        file = file.substr(file.rfind('/') + 1);   // npos + 1 is 0: no folder
        modules.push_back({words.name, "modules/" + file, !words.commented});
    }
    return modules;
}

std::vector<TemplateModule> ModulesFromFiles(const std::vector<std::string>& fileNames) {
    std::vector<TemplateModule> modules;
    for (const std::string& file : fileNames) {
        if (file.size() < 7) continue;   // "mod_" + ".so"
        modules.push_back({file.substr(4, file.size() - 7) + "_module", "modules/" + file, false});
    }
    return modules;
}

std::string BuildModuleBlock(const std::vector<TemplateModule>& modules,
                             const std::function<bool(const std::string& path)>& fileExists) {
    const std::vector<std::string>& defaults = DefaultApacheModules();
    std::string block;
    for (const TemplateModule& module : modules) {
        const bool wanted =
            module.enabled || std::find(defaults.begin(), defaults.end(), module.name) != defaults.end();
        // A LoadModule line whose file is missing would stop Apache: such lines stay commented.
        if (!wanted || !fileExists(module.path)) block += "#";
        block += "LoadModule " + module.name + " " + module.path + "\r\n";
    }
    return block;
}

std::string InsertModuleBlock(std::string_view templateFile, std::string_view moduleBlock) {
    // The root's own template may come from any editor: UTF-16 would not even split into lines.
    std::string templateText = TextFileToUtf8(templateFile);
    ReplaceAllInPlace(templateText, "\r\n", "\n");
    ReplaceAllInPlace(templateText, "\n", "\r\n");
    ReplaceAllInPlace(templateText, "@@LOADMODULES@@\r\n", moduleBlock);
    ReplaceAllInPlace(templateText, "@@LOADMODULES@@", moduleBlock);
    return templateText;
}

bool BuildApacheTemplate(const ApacheInstall& build, std::string& error) {
    // Apache fails on its own, with its own message, when it cannot write its logs; the template
    // itself reports a folder it cannot be written to.
    (void)EnsureDirectory(build.dir + L"\\logs");
    (void)EnsureDirectory(ConfDir(build) + L"\\ssl");
    const std::wstring templatePath = HttpdTemplatePath(build);
    if (PathExists(templatePath)) {
        (void)EnsureSslCertificate(build);
        return true;
    }

    std::vector<TemplateModule> modules;
    std::string distribution;
    if (ReadWholeFile(ConfDir(build) + L"\\httpd.conf", distribution)) {
        const std::wstring original = ConfDir(build) + L"\\httpd_original.conf";
        if (!PathExists(original)) (void)CopyFileTo(ConfDir(build) + L"\\httpd.conf", original, false);
        modules = ModulesFromConf(distribution);
    }
    if (modules.empty()) modules = ModulesFromFiles(ListFiles(build.dir + L"\\modules", "mod_*.so"));
    const std::string block = BuildModuleBlock(modules, [&build](const std::string& path) {
        return PathExists(ServerPath(build, path));
    });

    if (!WriteFileAtomic(templatePath, InsertModuleBlock(ApacheTemplate(), block), &error)) return false;
    (void)CopyFileTo(templatePath, HttpdInitialConfPath(build), true);
    (void)EnsureSslCertificate(build);
    return true;
}

bool ResetApacheTemplate(const ApacheInstall& build) {
    const std::wstring initial = HttpdInitialConfPath(build);
    return PathExists(initial) && CopyFileTo(initial, HttpdTemplatePath(build), true);
}

// ---- httpd.conf ----

MacroMap HttpdConfMacros(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    MacroMap macros;
    macros["ZERVAPATH"] = PathToUtf8(RootDir());
    macros["APACHEPATH"] = PathToUtf8(build.dir);
    macros["DOCUMENTPATH"] = PathToUtf8(WwwDir());
    macros["PHPAPPS"] = PathToUtf8(PhpAppsDir());
    macros["TEMPPATH"] = PathToUtf8(TempDir());
    macros["CACERTPATH"] = PathToUtf8(CaBundlePath());
    macros["ONLINE_MODE"] = IsOnlineMode() ? "Require all granted" : "Require local";
    macros["PHPPATH"] = php ? PathToUtf8(php->dir) : "";
    macros["PHPEXTPATH"] = php ? PathToUtf8(PhpExtDir(*php)) : "";
    macros["PHPZENDPATH"] = php ? PathToUtf8(PhpZendDir(*php)) : "";
    macros["PHPAPACHE2FILE"] = php ? php->apacheDll : "";
    macros["PHPMODULENAME"] = php ? php->moduleName : "php_disabled_module";
    macros["MYSQL_PORT"] = std::to_string(MysqlPort());
    return macros;
}

std::optional<int> VhostListenPort(std::string_view argument) {
    size_t rest = 0;
    const std::string first = NextApacheWord(argument, rest);
    const size_t colon = first.rfind(':');
    // The colons of an IPv6 address between brackets are not a port separator. An address without
    // a port ("127.0.0.1", "*") is served on every port Apache listens on: it asks for none.
    const size_t bracket = first.rfind(']');
    if (colon == std::string::npos || (bracket != std::string::npos && bracket > colon)) return std::nullopt;
    // Leading digits count, as std::stoi reads them, but nothing out of range may throw.
    const std::string digits = first.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const long long port = std::strtoll(digits.c_str(), &end, 10);
    if (end == digits.c_str() || errno == ERANGE || port < 1 || port > 65535) return std::nullopt;
    return int(port);
}

bool LoadsPhpModule(std::string_view confText) { return PhpModuleLoaded(SplitLines(confText)); }

bool GeneratedConfLoadsPhp(const ApacheInstall& build) {
    const std::optional<std::string> text = ReadWholeFile(HttpdConfPath(build));
    return text && LoadsPhpModule(*text);
}

int VhostArgPort(std::string_view argument) { return VhostListenPort(argument).value_or(80); }

std::vector<int> VhostListenPorts(std::string_view argument) {
    std::vector<int> ports;
    for (const std::string& address : ApacheWords(argument))
        if (const std::optional<int> port = VhostListenPort(address)) ports.push_back(*port);
    return ports;
}

std::string BuildListenLines(const std::vector<int>& ports, bool online) {
    std::string text;
    for (int port : ports.empty() ? std::vector<int>{80} : ports)
        text += std::string("Listen ") + (online ? "" : "127.0.0.1:") + std::to_string(port) + "\r\n";
    return text;
}

HttpdConfText GenerateHttpdConf(std::string_view templateText, MacroMap macros, bool withPhp, bool online,
                                const ApacheEnvironment& environment,
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
    const std::vector<std::string> read = LinesAsApacheReads(lines, macros, environment);
    const bool sslLoaded = SslModuleLoaded(lines);
    const std::optional<std::string> serverCertificate = ServerCertificate(lines, read, sslLoaded);
    HttpdConfText result;
    std::optional<int> mainPort;
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string argument;
        if (!withPhp && lines[i].find("{PHPMODULENAME}") != std::string::npos && FindLoadModule(lines[i], nullptr)) {
            fileLines(i, i, kNoPhpPrefix, out);
            continue;
        }
        if (!MatchVhostStart(lines[i], nullptr)) {
            fileLines(i, i, "", out);
            continue;
        }
        (void)MatchVhostStart(read[i], &argument);
        const size_t end = HostBlockEnd(lines, i);
        bool https = false;
        const bool kept = HostServed(read, i, end, sslLoaded, serverCertificate, certificateExists, https);
        if (kept) {
            // Apache serves the host on every address: each port gets its Listen line.
            for (int port : VhostListenPorts(argument))
                if (std::find(result.ports.begin(), result.ports.end(), port) == result.ports.end())
                    result.ports.push_back(port);
            // The main port is the first address's, as the Apache page and the home address take it.
            if (!https && !mainPort) mainPort = VhostListenPort(argument);
        }
        if (!kept) result.disabledPorts.push_back(VhostArgPort(argument));
        fileLines(i, end, kept ? "" : kDisabledPrefix, out);
        i = end;
    }
    // Whatever the reason no PHP module loads (no build, or its line switched off in the
    // template), the handler block would otherwise hand out PHP sources as text.
    if (!withPhp || !PhpModuleLoaded(lines)) RefusePhpFiles(out);

    if (result.ports.empty()) result.ports.push_back(80);
    result.apachePort = mainPort.value_or(result.ports.front());
    macros["LISTEN_VIRTUAL_HOST_PORT"] = BuildListenLines(result.ports, online);
    macros["APACHE_PORT"] = std::to_string(result.apachePort);
    for (const std::string& line : out) {
        result.text += IsCommentLine(line) ? line : ExpandMacros(line, macros);
        result.text += "\r\n";
    }
    result.macros = std::move(macros);
    return result;
}

bool WriteHttpdConf(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string& error) {
    const std::wstring templatePath = HttpdTemplatePath(build);
    std::string text;
    if (!ReadWholeFile(templatePath, text)) {
        error = "cannot read " + WideToUtf8(templatePath);
        return false;
    }
    const std::optional<PhpInstall> usable = php && !php->apacheDll.empty() ? php : std::nullopt;
    const HttpdConfText conf =
        GenerateHttpdConf(text, HttpdConfMacros(build, usable), usable.has_value(), IsOnlineMode(),
                          HttpdEnvironment(build, php), [&build](const std::string& path) {
                              const std::wstring file = ServerPath(build, path);
                              return PathExists(file) && !IsDirectory(file);
                          });
    for (int port : conf.disabledPorts)
        LogWarning(console::kApache,
                   Format(Tr("VirtualHost on port %d disabled (SSL module or certificate missing)."), port));
    const std::wstring confPath = HttpdConfPath(build);
    if (!WriteFileAtomic(confPath, conf.text, &error)) return false;
    WriteExtraConfs(build, conf.macros);
    return true;
}

// ---- Configuration test ----

std::wstring HttpdPathPrefix(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    std::wstring prefix;
    if (php) prefix = php->dir + L";" + PhpExtDir(*php) + L";";
    return prefix + build.dir + L"\\bin";
}

bool TestApacheConfig(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string& output) {
    proc::SpawnOptions options;
    options.exe = HttpdExePath(build);
    options.args = CommandLine().Add(L"-t -f").AddQuoted(HttpdConfPath(build)).Add(L"-d").AddQuoted(build.dir).Text();
    options.workDir = build.dir;
    options.pathPrepend = HttpdPathPrefix(build, php);
    if (php) options.env.emplace_back(L"PHPRC", php->dir);
    const proc::RunResult run = proc::Run(std::move(options), kTestTimeoutMs);
    output = run.started ? Trim(run.output) : run.error;
    return run.started && !run.timedOut && run.exitCode == 0;
}

// stack/apache/httpd_conf.cpp: the template, the files of httpd.conf and the configuration test
// (declared in httpd_conf.h; the text of httpd.conf is made in httpd_generate.cpp). Index:
//   (file-local helpers)          ServerPath, HttpdEnvironment, WriteExtraConfs
//   ---- Template ----            DefaultApacheModules, ModulesFromConf, BuildModuleBlock, BuildApacheTemplate
//   ---- httpd.conf ----          HttpdConfMacros, GeneratedConfLoadsPhp, HttpdReadingInput, ServiceOfTemplate
//                                 (MainHttpPort, TemplateVhostPorts, HomeUrl), WriteHttpdConf
//   ---- Configuration test ----  HttpdPathPrefix, HttpdSpawnOptions, TestApacheConfig
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
#include "stack/apache/include_files.h"
#include "stack/apache/ssl_cert.h"

namespace {

constexpr uint32_t kTestTimeoutMs = 30000;

std::wstring ConfDir(const ApacheInstall& build) { return build.dir + L"\\conf"; }

// A path of the configuration, absolute or relative to the server root, as a Windows path.
std::wstring ServerPath(const ApacheInstall& build, const std::string& path) {
    std::wstring wide = Utf8ToWide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    const bool absolute = (wide.size() >= 2 && wide[1] == L':') || (!wide.empty() && wide[0] == L'\\');
    return absolute ? wide : build.dir + L"\\" + wide;
}

// The environment httpd.exe is started with (HttpdSpawnOptions): Zerva's own with its overrides
// and the PATH prefix; names in any case, as Windows has them.
ApacheEnvironment HttpdEnvironment(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    const proc::SpawnOptions options = HttpdSpawnOptions(build, php);
    const std::wstring block = proc::CurrentEnvironmentBlock(options.env, options.pathPrepend);
    return [variables = proc::ParseEnvironmentBlock(block.c_str())](const std::string& name) -> std::optional<std::string> {
        const std::wstring wide = Utf8ToWide(name);
        for (const auto& [variable, value] : variables)
            if (_wcsicmp(variable.c_str(), wide.c_str()) == 0) return WideToUtf8(value);
        return std::nullopt;
    };
}

constexpr const char* kExtraSuffix = "_zerva.conf";

// The text an included file will hold when httpd.exe reads it: a working file of conf\extra is
// written again from its template "<name>_zerva.conf" at every start, so the template is read in
// its place, with the macros.
std::optional<std::string> IncludedText(const std::wstring& file, const std::wstring& extra, const MacroMap& macros) {
    const size_t slash = file.rfind(L'\\');
    const std::wstring name = file.substr(slash + 1);
    const bool working = slash != std::wstring::npos && _wcsicmp(file.substr(0, slash).c_str(), extra.c_str()) == 0 &&
                         name.size() > 5 && _wcsicmp(name.substr(name.size() - 5).c_str(), L".conf") == 0 &&
                         !EndsWith(ToLower(WideToUtf8(name)), kExtraSuffix);
    const std::wstring templatePath = file.substr(0, file.size() - 5) + Utf8ToWide(kExtraSuffix);
    if (working && PathExists(templatePath)) {
        if (std::optional<std::string> text = ReadWholeFile(templatePath)) return ExpandMacros(std::move(*text), macros);
    }
    return ReadWholeFile(file);
}

void WriteExtraConfs(const ApacheInstall& build, const MacroMap& macros) {
    const std::wstring extra = ConfDir(build) + L"\\extra";
    const std::string suffix = kExtraSuffix;
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
    ModuleLineMatch line;
    for (const std::string& text : SplitLines(confText)) {
        if (!MatchModuleLine(text, &line) || StartsWithIgnoreCase(line.name, "php")) continue;
        // The file as Apache reads the word: quotes taken off, a blank kept inside them.
        const std::vector<std::string> words = ApacheWords(line.path);
        std::string file = words.empty() ? std::string() : words.front();
        std::replace(file.begin(), file.end(), '\\', '/');
        file = file.substr(file.rfind('/') + 1);   // npos + 1 is 0: no folder
        modules.push_back({line.name, "modules/" + file, !line.commented});
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

bool GeneratedConfLoadsPhp(const ApacheInstall& build) {
    const std::optional<std::string> text = ReadWholeFile(HttpdConfPath(build));
    return text && LoadsPhpModule(*text);
}

ReadingInput HttpdReadingInput(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    ReadingInput input;
    const std::optional<PhpInstall> usable = php && !php->apacheDll.empty() ? php : std::nullopt;
    input.macros = HttpdConfMacros(build, usable);
    input.environment = HttpdEnvironment(build, php);
    input.serverRoot = WideToUtf8(build.dir);
    input.include = [extra = ConfDir(build) + L"\\extra", macros = input.macros](const std::string& path,
                                                                             const std::string& serverRoot) {
        std::vector<IncludedFile> files;
        for (const std::wstring& file : IncludedPaths(path, serverRoot))
            if (std::optional<std::string> text = IncludedText(file, extra, macros)) files.push_back({WideToUtf8(file), std::move(*text)});
        return files;
    };
    return input;
}

ApacheReading ReadTemplateAsHttpd(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string_view text) {
    return ReadAsApache(text, "httpd_zerva.conf", HttpdReadingInput(build, php));
}

namespace {

// A certificate path of the configuration names an existing file.
std::function<bool(const std::string& path)> CertificateExists(const ApacheInstall& build) {
    return [build](const std::string& path) {
        const std::wstring file = ServerPath(build, path);
        return PathExists(file) && !IsDirectory(file);
    };
}

}  // namespace

TemplateService ServiceOfTemplate(const ApacheInstall& build) {
    TemplateService service;
    std::string text;
    if (!ReadWholeFile(HttpdTemplatePath(build), text)) return service;
    const HttpdConfText conf =
        GenerateHttpdConf(text, HttpdReadingInput(build, std::nullopt), false, IsOnlineMode(), CertificateExists(build));
    service.ports = conf.ports;
    service.mainPort = conf.apachePort;
    service.mainHttps = conf.apacheHttps;
    return service;
}

int MainHttpPort(const ApacheInstall& build) { return ServiceOfTemplate(build).mainPort; }
std::vector<int> TemplateVhostPorts(const ApacheInstall& build) { return ServiceOfTemplate(build).ports; }
std::string HomeUrl(const ApacheInstall& build) { return HomeUrlOf(ServiceOfTemplate(build)); }

std::string HomeUrlOf(const TemplateService& service) {
    const char* scheme = service.mainHttps ? "https://localhost" : "http://localhost";
    return service.mainPort == (service.mainHttps ? 443 : 80) ? std::string(scheme) + "/"
                                                               : Format("%s:%d/", scheme, service.mainPort);
}

bool WriteHttpdConf(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string& error) {
    const std::wstring templatePath = HttpdTemplatePath(build);
    std::string text;
    if (!ReadWholeFile(templatePath, text)) {
        error = "cannot read " + WideToUtf8(templatePath);
        return false;
    }
    const bool withPhp = php && !php->apacheDll.empty();
    const HttpdConfText conf =
        GenerateHttpdConf(text, HttpdReadingInput(build, php), withPhp, IsOnlineMode(), CertificateExists(build));
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

proc::SpawnOptions HttpdSpawnOptions(const ApacheInstall& build, const std::optional<PhpInstall>& php) {
    proc::SpawnOptions options;
    options.exe = HttpdExePath(build);
    options.workDir = build.dir;
    options.pathPrepend = HttpdPathPrefix(build, php);
    if (php) options.env.emplace_back(L"PHPRC", php->dir);
    return options;
}

bool TestApacheConfig(const ApacheInstall& build, const std::optional<PhpInstall>& php, std::string& output) {
    proc::SpawnOptions options = HttpdSpawnOptions(build, php);
    options.args = CommandLine().Add(L"-t -f").AddQuoted(HttpdConfPath(build)).Add(L"-d").AddQuoted(build.dir).Text();
    const proc::RunResult run = proc::Run(std::move(options), kTestTimeoutMs);
    output = run.started ? Trim(run.output) : run.error;
    return run.started && !run.timedOut && run.exitCode == 0;
}

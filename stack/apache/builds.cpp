#include "stack/apache/builds.h"

#include <algorithm>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"
#include "stack/apache/config.h"

std::string VersionResourceText(const std::wstring& file) {
    const uint64_t packed = FileVersion(file);
    if (packed == 0) return "";
    return Format("%u.%u.%u", unsigned((packed >> 48) & 0xFFFF), unsigned((packed >> 32) & 0xFFFF),
                  unsigned((packed >> 16) & 0xFFFF));
}

namespace {

bool HasHttpd(const std::wstring& dir) { return PathExists(dir + L"\\bin\\httpd.exe"); }

std::optional<ApacheInstall> FirstNamed(const std::vector<ApacheInstall>& builds, const std::string& name) {
    for (const ApacheInstall& build : builds)
        if (EqualsIgnoreCase(build.name, name)) return build;
    return std::nullopt;
}

}  // namespace

// ---- Builds ----

std::vector<ApacheInstall> ScanApacheInstalls() {
    std::vector<ApacheInstall> builds;
    const std::wstring base = ApacheDir();
    if (HasHttpd(base)) builds.push_back(MakeApacheInstall("apache", base));
    for (const std::string& name : ListSubdirectories(base)) {
        const std::wstring dir = base + L"\\" + Utf8ToWide(name);
        if (HasHttpd(dir)) builds.push_back(MakeApacheInstall(name, dir));
    }
    std::stable_sort(builds.begin(), builds.end(), InstallNewerFirst<ApacheInstall>);
    return builds;
}

ApacheInstall MakeApacheInstall(const std::string& name, const std::wstring& dir) {
    ApacheInstall build;
    build.name = name;
    build.dir = dir;
    build.version = ExtractVersion(name);
    // Folders renamed by hand carry no version; the binaries still do.
    if (build.version.empty()) build.version = VersionResourceText(HttpdExePath(build));
    if (build.version.empty()) build.version = VersionResourceText(dir + L"\\bin\\libhttpd.dll");
    build.arch = PeArchitecture(HttpdExePath(build));
    build.configured = PathExists(HttpdTemplatePath(build));
    return build;
}

bool VersionNameNewerFirst(std::string_view versionA, std::string_view nameA,
                           std::string_view versionB, std::string_view nameB) {
    const int order = CompareVersions(versionA, versionB);
    if (order != 0) return order > 0;
    return nameA < nameB;
}

std::optional<ApacheInstall> CurrentApache() {
    const std::vector<ApacheInstall> builds = ScanApacheInstalls();
    if (auto chosen = FirstNamed(builds, GetCurrentApacheName())) return chosen;
    if (builds.empty()) return std::nullopt;
    return builds.front();
}

std::optional<ApacheInstall> FindApache(const std::string& name) {
    return FirstNamed(ScanApacheInstalls(), name);
}

std::string GetCurrentApacheName() { return Config::Instance().Get(setting::kApacheCurrentVersion); }

void SetCurrentApacheName(const std::string& name) { Config::Instance().Set(setting::kApacheCurrentVersion, name); }

std::string ApacheInstallLabel(const ApacheInstall& build) {
    const std::string& shown = build.version.empty() ? build.name : build.version;
    return shown + " (" + ArchName(build.arch) + ")";
}

// ---- Paths ----

std::wstring HttpdExePath(const ApacheInstall& build) { return build.dir + L"\\bin\\httpd.exe"; }
std::wstring HttpdConfPath(const ApacheInstall& build) { return build.dir + L"\\conf\\httpd.conf"; }
std::wstring HttpdTemplatePath(const ApacheInstall& build) { return build.dir + L"\\conf\\httpd_zerva.conf"; }
std::wstring HttpdInitialConfPath(const ApacheInstall& build) {
    return build.dir + L"\\conf\\httpd_initial.conf";
}
std::wstring CaBundlePath() { return BinDir() + L"\\cacert.pem"; }

std::string PathToUtf8(const std::wstring& path) { return ToForwardSlashes(WideToUtf8(path)); }

// ---- Settings ----

int MysqlPort() { return Config::Instance().GetInt(setting::kMysqlPort); }

bool IsOnlineMode() { return Config::Instance().GetInt(setting::kApacheMode) == 1; }

// ---- Ports and home address ----

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

const VirtualHost* MainHttpHost(const std::vector<VirtualHost>& hosts, const ReadState& state) {
    std::vector<bool> https;
    for (const VirtualHost& host : hosts) https.push_back(HasSslEngine(host, state));
    const size_t main = MainHostIndex(hosts, https);
    return main == std::string::npos ? nullptr : &hosts[main];
}

int MainHttpPortOfHosts(const std::vector<VirtualHost>& hosts, const ReadState& state) {
    const VirtualHost* main = MainHttpHost(hosts, state);
    return main && main->port != kNoVhostPort ? main->port : 80;
}

int MainHttpPort(const ApacheInstall& build) {
    ApacheConfig config;
    if (!config.Load(HttpdTemplatePath(build))) return 80;
    return MainHttpPortOfHosts(config.vhosts, config.readState);
}

std::vector<int> TemplateVhostPorts(const ApacheInstall& build) {
    ApacheConfig config;
    if (!config.Load(HttpdTemplatePath(build))) return {80};
    std::vector<int> ports = UniqueVhostPorts(config);
    if (ports.empty()) ports.push_back(80);
    return ports;
}

std::string HomeUrlOfHosts(const std::vector<VirtualHost>& hosts, const ReadState& state) {
    const VirtualHost* main = MainHttpHost(hosts, state);
    const bool https = main && HasSslEngine(*main, state);
    const int port = MainHttpPortOfHosts(hosts, state);
    const char* scheme = https ? "https://localhost" : "http://localhost";
    return port == (https ? 443 : 80) ? std::string(scheme) + "/" : Format("%s:%d/", scheme, port);
}

std::string HomeUrl(const ApacheInstall& build) {
    ApacheConfig config;
    (void)config.Load(HttpdTemplatePath(build));  // an unreadable template has no hosts: port 80
    return HomeUrlOfHosts(config.vhosts, config.readState);
}

#include "stack/apache/builds.h"

#include <algorithm>

#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/text.h"

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

// stack/apache/builds.h: the Apache httpd builds installed under <root>\bin\apache, the current
// one (setting APACHE_CURRENT_VERSION), the paths of a build's files, what its template says
// and its settings. Nothing is cached:
// every call rescans or rereads.
// Any thread; no state of its own.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


struct ApacheInstall {
    std::string name;      // folder name under bin\apache; "apache" for bin\apache itself
    std::wstring dir;      // the folder that holds bin\httpd.exe
    std::string version;   // major.minor.patch from the name or the version resource; may be ""
    int32_t arch = 0;      // PeArchitecture of bin\httpd.exe: 0 unknown, 1 x86, 2 x64, 3 arm64
    bool configured = false;  // conf\httpd_zerva.conf exists
};

// Every build, newest first.
std::vector<ApacheInstall> ScanApacheInstalls();
ApacheInstall MakeApacheInstall(const std::string& name, const std::wstring& dir);

// Newest first: the higher version (numeric comparison, "" counting as 0), then on equal
// versions the smaller name in byte order. Shared with the other build lists.
bool VersionNameNewerFirst(std::string_view versionA, std::string_view nameA,
                           std::string_view versionB, std::string_view nameB);
// major.minor.build of the file's version resource; "" when it has none. Shared likewise.
std::string VersionResourceText(const std::wstring& file);
// Any record with `version` and `name` (ApacheInstall, PhpInstall, ...): a orders before b.
template <class Install>
bool InstallNewerFirst(const Install& a, const Install& b) {
    return VersionNameNewerFirst(a.version, a.name, b.version, b.name);
}

// The build named by APACHE_CURRENT_VERSION (any case), else the newest; none without builds.
std::optional<ApacheInstall> CurrentApache();
// The build with this folder name (any case), or none.
std::optional<ApacheInstall> FindApache(const std::string& name);
std::string GetCurrentApacheName();
void SetCurrentApacheName(const std::string& name);

// "2.4.62 (x64)": the version (the name when it has none) and the architecture.
std::string ApacheInstallLabel(const ApacheInstall& build);

std::wstring HttpdExePath(const ApacheInstall& build);          // dir\bin\httpd.exe
std::wstring HttpdConfPath(const ApacheInstall& build);         // dir\conf\httpd.conf
std::wstring HttpdTemplatePath(const ApacheInstall& build);     // dir\conf\httpd_zerva.conf
std::wstring HttpdInitialConfPath(const ApacheInstall& build);  // dir\conf\httpd_initial.conf
std::wstring CaBundlePath();                                    // <root>\bin\cacert.pem
// UTF-8 with every backslash turned into '/', as Apache and PHP configurations want paths.
std::string PathToUtf8(const std::wstring& path);

int MysqlPort();      // setting MYSQL_PORT, default 3306
bool IsOnlineMode();  // setting APACHE_MODE read as an integer is exactly 1


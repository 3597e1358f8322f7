#include "app/cli.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

#include "app/selftest.h"
#include "control/catalog.h"
#include "control/installer.h"
#include "control/server.h"
#include "control/updater.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/text.h"
#include "stack/apache/builds.h"
#include "stack/apache/config.h"
#include "stack/apache/httpd_conf.h"
#include "stack/apache/site.h"
#include "stack/apache/site_name.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"

// Sections: console output; status; server commands; installer commands; site; updates; CliMain.

namespace {

HANDLE g_console = nullptr;   // standard output, or g_ownedConsole; null: print nothing
UniqueHandle g_ownedConsole;  // the parent's console opened as "CONOUT$"
uint64_t g_lastPrinted = 0;   // sequence of the newest log entry printed

constexpr int kX64 = 2;

bool HasConsole() { return g_console != nullptr && g_console != INVALID_HANDLE_VALUE; }

const char* LevelWord(LogLevel level) {
    switch (level) {
    case level::kError: return "ERROR ";
    case level::kWarning: return "WARN  ";
    case level::kSuccess: return "OK    ";
    default: return "      ";
    }
}

std::optional<Package> FirstPackage(const CatalogEntry& entry, bool x64Only, const std::string& version = "",
                                    bool majorMinor = false) {
    for (const Package& package : entry.packages) {
        if (x64Only && package.arch != kX64) continue;
        const std::string shown = majorMinor ? VersionMajorMinor(package.version) : package.version;
        if (version.empty() || shown == version) return package;
    }
    return std::nullopt;
}

// The typed name fit for one output line: control characters shown as "?".
std::string Printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

}  // namespace

// ---- Console output ----

// Standard output when there is one (a pipe, a file, a console), else the console of the
// parent process. A console is never created: started from Explorer, nothing is printed.
void CliOpenConsole() {
    if (HasConsole()) return;
    g_console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (HasConsole()) return;
    g_console = nullptr;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    g_ownedConsole.Reset(::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
    g_console = g_ownedConsole.Get();
}

void ConsoleWriteLine(const std::string& line) {
    if (!HasConsole()) return;
    // Alert messages and tool output can hold line breaks of their own: every line of the
    // output ends in CR LF, whatever ended it inside the text.
    std::string bytes;
    bytes.reserve(line.size() + 2);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
        if (line[i] == '\n') bytes += '\r';
        bytes += line[i];
    }
    bytes += "\r\n";
    DWORD written = 0;
    ::WriteFile(g_console, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

void CliPrintNotices() {
    std::vector<LogEntry> entries;
    g_lastPrinted = LogBuffer::Instance().Snapshot(entries, g_lastPrinted);
    for (const LogEntry& entry : entries)
        ConsoleWriteLine(std::string(LevelWord(entry.level)) + "[" + LogSourceName(entry.source) + "] " + entry.text);
}

// ---- Status ----

void CliStatus() {
    const ServerStatus status = Server::Instance().GetStatus();
    const auto apache = CurrentApache();
    const auto php = CurrentPhp();
    const auto db = CurrentDb();
    const auto state = [](const ServerState& server) { return server.running ? "  RUNNING" : "  stopped"; };
    ConsoleWriteLine("root     : " + WideToUtf8(RootDir()));
    ConsoleWriteLine("apache   : " + (apache ? ApacheInstallLabel(*apache) + " [" + apache->name + "]" : "-") +
                     state(status.apache));
    ConsoleWriteLine("php      : " + (php ? PhpInstallLabel(*php) + " [" + php->name + "]" : "-"));
    ConsoleWriteLine("database : " + (db ? DbProductName(*db) + " [" + db->name + "]" : "-") + state(status.mysql));
    ConsoleWriteLine("pma      : " + PhpMyAdminVersion());
    if (apache) ConsoleWriteLine("url      : " + HomeUrl(*apache));
}

// ---- Server commands ----

bool CliWaitServers() {
    ::Sleep(300);
    for (;;) {
        CliPrintNotices();
        const ServerStatus status = Server::Instance().GetStatus();
        if (!status.busy && status.queued == 0) break;
        ::Sleep(200);
    }
    ::Sleep(300);
    CliPrintNotices();
    bool ok = true;
    for (Alert alert; Server::Instance().PopAlert(alert);) {
        ConsoleWriteLine("NOTICE " + alert.title + ": " + alert.message);
        if (alert.error) ok = false;
    }
    return ok;
}

namespace {

// After a start or restart, every server whose build is current runs. A start can fail without an
// alert (a file it cannot write, no php.ini template, a program the system refuses to start): the
// log says why, and this makes the command fail too.
bool CurrentServersRun() {
    const ServerStatus status = Server::Instance().GetStatus();
    return (status.apache.running || !CurrentApache()) && (status.mysql.running || !CurrentDb());
}

}  // namespace

// ---- Installer commands ----

CatalogEntry CliWaitCatalog(const std::string& key) {
    installer::RequestCatalog(key, false);
    CatalogEntry entry;
    for (int round = 0; round < 600; ++round) {
        entry = installer::GetCatalog(key);
        if (!entry.loading && (entry.loaded || !entry.error.empty())) return entry;
        ::Sleep(100);
    }
    return entry;
}

bool CliWaitInstall() {
    CliPrintNotices();
    installer::InstallerStatus status = installer::GetStatus();
    std::string lastStep;
    int lastTens = INT_MIN;  // nothing printed yet
    while (status.busy) {
        const std::optional<int> percent =
            status.progress < 0 ? std::nullopt : std::optional<int>(int(status.progress * 100));
        const std::string step = status.step.substr(0, status.step.find("  ("));
        const int tens = percent ? *percent / 10 : -1;
        if (step != lastStep || tens != lastTens) {
            ConsoleWriteLine("       " + step + (percent ? Format("  %d%%", *percent) : ""));
            lastStep = step;
            lastTens = tens;
        }
        ::Sleep(200);
        CliPrintNotices();
        status = installer::GetStatus();
    }
    return status.message.empty();
}

int CliInstallDefaults(const std::string& phpMajorMinor) {
    bool failed = false;
    const auto installOrReport = [&](const std::optional<Package>& package, const char* what,
                                     const std::string& error) {
        if (package) {
            installer::Install(*package);
            return;
        }
        ConsoleWriteLine(std::string("ERROR ") + what + " catalog: " + error);
        failed = true;
    };
    if (ScanApacheInstalls().empty()) {
        const CatalogEntry entry = CliWaitCatalog("apache");
        installOrReport(FirstPackage(entry, true), "Apache", entry.error);
    }
    if (ScanPhpInstalls().empty()) {
        const CatalogEntry entry = CliWaitCatalog("php:releases");
        installOrReport(FirstPackage(entry, true, phpMajorMinor, true), "PHP", entry.error);
    }
    if (ScanDbInstalls().empty()) {
        const CatalogEntry series = CliWaitCatalog("mariadb");
        const auto lts = std::find_if(series.packages.begin(), series.packages.end(),
                                      [](const Package& p) { return p.detail == "LTS"; });
        if (lts == series.packages.end()) {
            installOrReport(std::nullopt, "MariaDB", series.error);
        } else {
            const CatalogEntry files = CliWaitCatalog("mariadb:" + lts->version);
            installOrReport(FirstPackage(files, true), "MariaDB", files.error);
        }
    }
    if (PhpMyAdminVersion().empty()) {
        const CatalogEntry entry = CliWaitCatalog("phpmyadmin");
        installOrReport(FirstPackage(entry, false), "phpMyAdmin", entry.error);
    }
    const bool installed = CliWaitInstall();
    return installed && !failed ? 0 : 1;
}

int CliInstall(const std::string& component, const std::string& version) {
    std::string key;
    if (component == "php") {
        key = "php:releases";
    } else if (component == "apache" || component == "phpmyadmin") {
        key = component;
    } else if (component == "mariadb") {
        const std::vector<std::string> parts = Split(version, '.');
        key = "mariadb:" + (parts.size() >= 2 ? parts[0] + "." + parts[1] : version);
    } else {
        ConsoleWriteLine("unknown component: " + component);
        return 2;
    }
    CatalogEntry entry = CliWaitCatalog(key);
    const bool exact = !version.empty() && std::any_of(entry.packages.begin(), entry.packages.end(),
                                                       [&](const Package& p) { return p.version == version; });
    if (component == "php" && !exact) entry = CliWaitCatalog("php:archives");  // older releases
    const std::optional<Package> package = FirstPackage(entry, true, version);
    if (!package) {
        ConsoleWriteLine("version not found: " + component + " " + version + " " + entry.error);
        return 1;
    }
    installer::Install(*package);
    return CliWaitInstall() ? 0 : 1;
}

// ---- Site ----

int CliSite(const std::string& typed) {
    const auto apache = CurrentApache();
    if (!apache || typed.empty()) return 1;
    // The name becomes a folder, a host name in the Apache template and a word of index.php:
    // anything outside the safe alphabet could leave www or inject configuration or code.
    const std::optional<std::string> name = NormalizeSiteName(typed);
    if (!name) {
        ConsoleWriteLine("ERROR invalid site name: " + Printable(typed) +
                         " (use a-z, 0-9, _ and -; not a Windows device name)");
        return 1;
    }
    // Refused before anything is made, the file left as it is: a template whose blocks do not
    // balance was misread (written back, the new host would land inside another), and every host
    // is written back from its fields, so one that Apache reads as it stands in the file (an
    // unquoted DocumentRoot ending in a backslash) would come back broken.
    ApacheConfig config;
    const std::wstring templatePath = HttpdTemplatePath(*apache);
    std::string text;
    const bool read = ReadWholeFile(templatePath, text);
    config.path = templatePath;
    if (read) config.Parse(text);
    if (read && config.blockFault) {
        ConsoleWriteLine("ERROR " + BlockFaultMessage(*config.blockFault));
        return 1;
    }
    if (const auto problem = read ? FindUnwritableField(config.vhosts) : std::nullopt) {
        ConsoleWriteLine("ERROR " + UnwritableFieldMessage(*problem, config.vhosts[problem->host]));
        return 1;
    }
    // Where Apache would send a request for the name, as httpd.exe will read the template: a host
    // that answers it there (a catch-all alias, a host of an included file) would never let the
    // new one be reached.
    const std::optional<SitePlan> plan =
        read ? std::optional(PlanSite(config, ReadTemplateAsHttpd(*apache, CurrentPhp(), text), *name)) : std::nullopt;
    if (plan && plan->outcome == SitePlan::Outcome::Taken) {
        ConsoleWriteLine("ERROR " + plan->message);
        return 1;
    }
    const std::wstring folder = WwwDir() + L"\\" + Utf8ToWide(*name);
    if (!EnsureDirectory(folder)) {
        ConsoleWriteLine("ERROR cannot create " + WideToUtf8(folder));
        return 1;
    }
    if (ListFiles(folder, "*").empty() && ListSubdirectories(folder).empty()) {
        std::string error;
        const std::string page = "<?php echo 'site " + *name + " OK - PHP ' . PHP_VERSION;\n";
        if (!WriteFileAtomic(folder + L"\\index.php", page, &error)) {
            ConsoleWriteLine("ERROR " + error);
            return 1;
        }
    }
    if (!plan) {
        ConsoleWriteLine("ERROR cannot read " + WideToUtf8(templatePath));
        return 1;
    }
    // Running it again: the template's own host of that name is there already.
    if (plan->outcome == SitePlan::Outcome::Exists) return 0;
    config.vhosts.push_back(plan->host);
    if (!config.Save()) {
        ConsoleWriteLine("ERROR cannot write " + WideToUtf8(templatePath));
        return 1;
    }
    ConsoleWriteLine("site created: " + plan->url);
    return 0;
}

// ---- Updates ----

void CliCheckUpdate(updater::UpdateInfo& info) {
    updater::StartCheck(true);
    ::Sleep(100);
    for (int round = 0; round < 300 && updater::GetCheckState().checking; ++round) ::Sleep(100);
    info = updater::GetCheckState();
    ConsoleWriteLine("installed : " + info.installed);
    ConsoleWriteLine("latest    : " + (info.latest.empty() ? "? " + info.error : info.latest) + "   (" +
                     updater::UpdateUrl() + ")");
    const char* verdict = !info.available                              ? "up to date"
                          : info.url.empty() || info.sha256.empty() ? "update available (manual download)"
                                                                      : "update available";
    ConsoleWriteLine(std::string("status    : ") + verdict);
}

int CliUpdate() {
    updater::UpdateInfo info;
    CliCheckUpdate(info);
    // A check that failed or never finished knows nothing about a newer version: saying
    // "up to date" with success would hide the failure.
    if (info.checking || info.latest.empty()) {
        ConsoleWriteLine("ERROR " + (info.checking      ? std::string("the update check did not finish")
                                     : info.error.empty() ? std::string("the update check failed")
                                                          : info.error));
        return 1;
    }
    if (!info.available) return 0;
    if (info.url.empty() || info.sha256.empty()) return 1;
    updater::Download();
    ::Sleep(200);
    CliPrintNotices();
    updater::DownloadState download = updater::GetDownloadState();
    while (download.downloading) {
        ::Sleep(200);
        CliPrintNotices();
        download = updater::GetDownloadState();
    }
    if (!download.ready) {
        ConsoleWriteLine("ERROR " + download.error);
        return 1;
    }
    std::string error;
    if (!updater::ApplyUpdate(L"--cli status", error)) {
        ConsoleWriteLine("ERROR " + error);
        return 1;
    }
    ConsoleWriteLine("Zerva.exe replaced by version " + info.latest + ", new instance started.");
    return 0;
}

// ---- CliMain ----

int CliMain(const std::vector<std::wstring>& args) {
    CliOpenConsole();
    std::vector<std::string> words;
    const auto cli = std::find(args.begin(), args.end(), L"--cli");
    if (cli != args.end())
        for (auto it = cli + 1; it != args.end(); ++it) words.push_back(WideToUtf8(*it));
    const std::string command = words.empty() ? "status" : words[0];
    const auto word = [&](size_t i) { return i < words.size() ? words[i] : std::string(); };

    Server::Instance().Start();
    int result = 0;
    if (command == "install-defaults") {
        std::string php;
        for (size_t i = 0; i + 1 < words.size(); ++i)
            if (words[i] == "--php") {
                php = words[i + 1];
                break;
            }
        result = CliInstallDefaults(php);
    } else if (command == "install") {
        result = CliInstall(word(1), word(2));
    } else if (command == "selftest") {
        result = CliSelfTest();
    } else if (command == "check-update") {
        updater::UpdateInfo info;
        CliCheckUpdate(info);
    } else if (command == "update") {
        result = CliUpdate();
    } else if (command == "site") {
        result = CliSite(word(1));
    } else if (command == "start" || command == "stop" || command == "restart") {
        if (command == "start") Server::Instance().StartAll();
        else if (command == "stop") Server::Instance().StopAll();
        else Server::Instance().RestartAll();
        const bool noErrorAlert = CliWaitServers();
        result = noErrorAlert && (command == "stop" || CurrentServersRun()) ? 0 : 1;
    } else if (command != "status") {
        ConsoleWriteLine("unknown command: " + command);
        result = 2;
    }

    // The closing block, after every command: let the last log lines arrive, then the status.
    ::Sleep(1200);
    CliPrintNotices();
    CliStatus();
    Server::Instance().Shutdown(false);
    return result;
}

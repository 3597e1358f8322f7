#include "ui/state.h"

#include "core/text.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/httpd_conf.h"
#include "stack/php/extensions.h"
#include "stack/phpmyadmin/config.h"

namespace {

// Built before the program's entry point and destroyed at exit.
UiState g_state;
std::vector<Toast> g_toasts;

}  // namespace

namespace ui {

UiState& State() { return g_state; }
std::vector<::Toast>& Toasts() { return g_toasts; }

void Toast(const std::string& text, bool error) {
    g_toasts.push_back(::Toast{text, error, ImGui::GetTime() + 3.5});
}

void RequestWizard() { g_state.wizardRequested = true; }

void RefreshInstalls(bool force) { RefreshInstallsAt(ImGui::GetTime(), installer::GetStatus().jobsDone, force); }

void RefreshInstallsAt(double now, int32_t installerJobs, bool force) {
    UiState& state = g_state;
    if (!force && now - state.lastRefresh < 2.5 && installerJobs == state.installerJobSeen) return;
    state.lastRefresh = now;
    state.installerJobSeen = installerJobs;
    state.apaches = ScanApacheInstalls();
    state.phps = ScanPhpInstalls();
    state.dbs = ScanDbInstalls();
    state.currentApache = CurrentApache();
    state.currentPhp = CurrentPhp();
    state.currentDb = CurrentDb();
    state.phpMyAdminVersion = PhpMyAdminVersion();
    state.dbErrorLog = state.currentDb ? FindDbErrorLog(*state.currentDb) : std::wstring();
    state.logSources = BuildLogSources(state.currentApache, state.currentDb, state.dbErrorLog, state.currentPhp);
    ++state.generation;
}

void SwitchBuild(Comp comp, const std::string& folder) {
    if (comp == Comp::Php) SetCurrentPhpName(folder);
    else if (comp == Comp::Apache) SetCurrentApacheName(folder);
    else if (comp == Comp::Database) SetCurrentDbName(folder);
    else return;
    RefreshInstalls(true);
    RestartToApply(comp);
}

void RestartToApply(Comp comp) {
    const ServerStatus& server = g_state.server;
    if (comp == Comp::Database) {
        if (server.mysql.running || server.busy) Server::Instance().RestartMySqlIfRunning();
    } else if (server.apache.running || server.busy) {
        Server::Instance().RestartApacheIfRunning();
    }
}

std::vector<LogSource> BuildLogSources(const std::optional<ApacheInstall>& apache, const std::optional<DbInstall>& db,
                                       const std::wstring& dbErrorLog, const std::optional<PhpInstall>& php) {
    std::vector<LogSource> sources;
    if (apache) {
        sources.push_back({Tr("Apache - errors (error.log)"), apache->dir + L"\\logs\\error.log"});
        sources.push_back({Tr("Apache - requests (access.log)"), apache->dir + L"\\logs\\access.log"});
    }
    if (db) sources.push_back({std::string(db->isMariaDb ? "MariaDB" : "MySQL") + " - " + Tr("errors"), dbErrorLog});
    if (php) {
        const std::optional<std::string> errorLog = ReadPhpDirective(*php, "error_log");
        if (errorLog && !errorLog->empty()) {
            const std::string path = ExpandMacros(*errorLog, HttpdConfMacros(apache.value_or(ApacheInstall{}), php));
            sources.push_back({Tr("PHP - error_log"), Utf8ToWide(path)});
        }
    }
    return sources;
}

std::string PageTitle(Page number) {
    switch (number) {
        case page::kDashboard: return Tr("Dashboard");
        case page::kApache: return "Apache";
        case page::kPhp: return "PHP";
        case page::kMySql: return "MySQL / MariaDB";
        case page::kComponents: return Tr("Components");
        case page::kLogs: return Tr("Logs");
        case page::kSettings: return Tr("Settings");
        default: return {};
    }
}

}  // namespace ui

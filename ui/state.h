// ui/state.h: everything the pages share, in one record (UiState) copied from the other layers
// once per frame, the toasts, and the page numbers. GUI thread only, so nothing here is locked.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "control/catalog_parse.h"
#include "control/installer.h"
#include "control/server.h"
#include "control/updater.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "ui/confirm.h"

struct HWND__;
typedef HWND__* HWND;
struct ID3D11Device;
struct ID3D11ShaderResourceView;

// 0 Dashboard, 1 Apache, 2 PHP, 3 MySQL / MariaDB, 4 Components, 5 Logs, 6 Settings.
using Page = int32_t;
namespace page {
inline constexpr Page kDashboard = 0;
inline constexpr Page kApache = 1;
inline constexpr Page kPhp = 2;
inline constexpr Page kMySql = 3;
inline constexpr Page kComponents = 4;
inline constexpr Page kLogs = 5;
inline constexpr Page kSettings = 6;
}  // namespace page

// What the shell hands to ui::Init.
struct UiInit {
    HWND hwnd = nullptr;
    ID3D11Device* device = nullptr;
    float dpiScale = 1.0f;
};

// A log file the Logs page offers.
struct LogSource {
    std::string label;  // translated when the list was built
    std::wstring path;
};

// A short message at the bottom of the window.
struct Toast {
    std::string text;
    bool error = false;
    double expiresAt = 0;  // interface time (ImGui::GetTime) in seconds
};

struct UiState {
    HWND hwnd = nullptr;                          // ui::Init
    ID3D11Device* device = nullptr;               // ui::Init; makes the logo texture
    float dpiScale = 1.0f;                        // ui::Init, ui::SetDpiScale
    Page page = page::kDashboard;                 // the sidebar, ui::SetPage
    ServerStatus server;                          // copied at the start of each frame
    std::vector<ApacheInstall> apaches;           // ui::RefreshInstalls
    std::vector<PhpInstall> phps;                 // ui::RefreshInstalls
    std::vector<DbInstall> dbs;                   // ui::RefreshInstalls
    std::optional<ApacheInstall> currentApache;   // ui::RefreshInstalls
    std::optional<PhpInstall> currentPhp;         // ui::RefreshInstalls
    std::optional<DbInstall> currentDb;           // ui::RefreshInstalls
    double lastRefresh = -100.0;                  // interface time of the last install refresh
    int32_t installerJobSeen = -1;                // installer job count at that refresh
    int32_t generation = 0;                       // bumped by every install refresh
    std::string phpMyAdminVersion;                // empty when none is installed
    std::wstring dbErrorLog;                      // empty without a current database build
    std::vector<LogSource> logSources;            // ui::RefreshInstalls
    bool consoleOpen = true;                      // ui::Init from CONSOLE_OPEN, the console toggle
    std::deque<Alert> alerts;                     // moved from the server each frame; oldest first
    std::deque<ConfirmRequest> confirms;          // ui::RequestConfirm; oldest first
    bool quitRequested = false;                   // ui::RequestQuit; handled by the next frame
    bool quitDialogOpen = false;                  // the quit question is shown
    bool stopping = false;                        // servers being stopped before quitting
    bool quitNow = false;                         // the main loop must end; never cleared
    bool updateDialogOpen = false;                // ui::OpenUpdateDialog, the sidebar's update row
    bool installRequested = false;                // "Update and restart" was chosen
    std::string updateError;                      // last failure of applying an update
    bool wizardRequested = false;                 // the install wizard is to be shown
    bool wizardAutoShown = false;                 // the first frame already asked for it
    bool startAfterInstall = false;               // start the servers once the installer is idle
    ID3D11ShaderResourceView* logo = nullptr;     // released by ui::Shutdown
    // Copied at the start of each frame with the server status, so every page of one frame sees
    // one state of the installer, the catalogs (ui::kCatalogKeys) and the updater.
    installer::InstallerStatus installer;
    std::map<std::string, CatalogEntry> catalogs;
    updater::UpdateInfo updateCheck;
    updater::DownloadState download;
    // The wait before quitting (ui::QuitDialog): whether it stops the servers, the monitor pass
    // counter when the worker was first seen idle after their stop (UINT64_MAX until then), and
    // how many alerts were already waiting when the stop was queued.
    bool quitStopsServers = false;
    uint64_t stopTick = 0;
    size_t alertsBeforeStop = 0;
};

namespace ui {

// The catalogs the frame copies into UiState (a database series is copied by its page).
inline constexpr const char* kCatalogKeys[] = {"apache", "php:releases", "php:archives", "php:qa", "mariadb",
                                               "phpmyadmin"};

UiState& State();
// The toasts on screen, oldest first.
std::vector<::Toast>& Toasts();
// Adds a toast that expires 3.5 s from now.
void Toast(const std::string& text, bool error);
void RequestWizard();
// Rescans the installed builds, phpMyAdmin's version, the database error log and the log list,
// unless (without force) the last rescan is under 2.5 s old and no installer job ended since.
void RefreshInstalls(bool force);
// The same at a given interface time and installer job count (the test seam of the above).
void RefreshInstallsAt(double now, int32_t installerJobs, bool force);
// Makes the build named `folder` current for its component (PHP, Apache or the database), rescans
// at once, and applies the switch with RestartToApply.
void SwitchBuild(Comp comp, const std::string& folder);
// Queues the restart that applies a change to the server that loads `comp` (the database server for
// the database, Apache for PHP and Apache), which runs only if that server runs when the job
// begins: a change made while a stop is under way does not bring the server back. Queued while the
// server runs or a job is under way (a start under way reads what it had before); a stopped server
// with the worker idle needs no restart.
void RestartToApply(Comp comp);
// The log files the Logs page offers for these builds, labels translated now.
std::vector<LogSource> BuildLogSources(const std::optional<ApacheInstall>& apache, const std::optional<DbInstall>& db,
                                       const std::wstring& dbErrorLog, const std::optional<PhpInstall>& php);
// "Dashboard", "Apache", ... ("" for any other number); translated where the name is a word.
std::string PageTitle(Page page);

}  // namespace ui

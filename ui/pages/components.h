// ui/pages/components.h: the Components page (installer job card, installed versions with "Use"
// and "Remove", the online catalogs with "Install") and the first-run install wizard. Reads the
// installer and catalog snapshots UiState holds; only queues work on the installer. GUI thread,
// inside a frame; owns the page's choices, which live for the whole process.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "control/catalog.h"
#include "control/catalog_parse.h"
#include "control/installer.h"
#include "ui/state.h"

namespace ui {

// One row of an installed-versions table.
struct InstalledRow {
    std::string folder;        // the build's folder name: the row's id, what Use and Remove act on
    std::string version;
    std::string arch;          // "x86", "x64", "arm64" or "?"
    std::string folderSuffix;  // muted after the folder; may be empty
    bool inUse = false;        // the current build of its component
    bool legacyLayout = false; // an older layout Zerva does not remove
};

// What the page and the wizard remember between frames.
struct ComponentsPageCache {
    int32_t phpSource = 0;          // index into the three PHP catalogs
    bool onlyApacheArch = true;
    std::string phpFilter;
    int32_t mariaDbMajor = -1;      // index into the "mariadb" catalog
    bool wizardChecks[4] = {true, true, true, true};  // Apache, PHP, MariaDB, phpMyAdmin
    int32_t wizardPhp = 0;          // index into the wizard's PHP candidates
    bool wizardPhpChosen = false;   // the PHP choice was set from the first candidate list
};

ComponentsPageCache& ComponentsCache();

void PageComponents();
void JobRow();
void CatalogStatusRow(const CatalogEntry& entry, const std::string& key);
void InstalledTable(const char* id, const std::vector<InstalledRow>& rows, Comp comp, bool serverRuns);
void TabApacheBuilds();
void TabPhpBuilds();
void TabMariaDbBuilds();
void TabPhpMyAdmin();

// ---- Rules behind the drawing ----
// While a job runs or waits, and after a job that failed: the failure of an older job stays in
// the installer's message but no longer shows.
bool JobCardShown(const installer::InstallerStatus& status);
std::vector<InstalledRow> ApacheRows(const UiState& state);
std::vector<InstalledRow> PhpRows(const UiState& state);
std::vector<InstalledRow> DatabaseRows(const UiState& state);
// The host an endpoint's address names ("windows.php.net"), shown as the catalog's site.
std::string CatalogSite(installer::Endpoint endpoint);
// The architecture PHP builds are offered in: the current Apache build's, or x64 without one or
// when its program is none (it has no architecture to follow).
int32_t PhpTargetArchitecture(const UiState& state);
// The first series whose detail is "LTS", else 0; -1 without any series.
int DefaultMariaDbMajor(const std::vector<Package>& majors);
// The index of the PHP candidate the wizard proposes first: the newest build of the second-newest
// branch, or `current` when every candidate shares one branch.
int ProposedPhpCandidate(const std::vector<Package>& candidates, int current);
// The catalog's copy for this frame: UiState's for the frame's keys, else fetched (and kept) now.
const CatalogEntry& FrameCatalog(const std::string& key);
// Neither loaded nor failed yet: requested or about to be.
bool CatalogPending(const CatalogEntry& entry);

}  // namespace ui

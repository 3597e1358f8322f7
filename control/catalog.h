// control/catalog.h: the process-wide cache of component catalogs, one entry per catalog key,
// loaded on short detached threads and copied by the pages and the command line; the online
// endpoints; and the installed mark of each package. Any thread; owns the catalog mutex, which
// is held only to read or replace entries and never together with another lock.
#pragma once
#include <chrono>
#include <functional>
#include <string>

#include "control/catalog_parse.h"

namespace installer {

// The built-in online addresses, in the order of the endpoint table.
enum class Endpoint {
    PhpReleases,         // HTML listing of the current Windows builds
    PhpArchives,         // older builds
    PhpQa,               // pre-releases
    ApachePage,          // the Apache download page
    MariaDbApi,          // REST API base (JSON)
    PhpMyAdminVersions,  // version document (JSON)
    CaBundle,            // CA certificate bundle for PHP
};
// The endpoint's address after the online-base override.
std::string EndpointAddress(Endpoint endpoint);
// "https://<archive host>" (after the override): phpMyAdmin archives are under "/phpMyAdmin/".
std::string PhpMyAdminArchiveRoot();

// A failed catalog is loaded again by a plain request only this long after its failure, so a
// page asking every frame does not start a thread and log a warning every frame while offline.
inline constexpr std::chrono::seconds kCatalogRetryDelay{30};

// Asks for a load of the key's catalog and returns at once. Nothing happens while it loads, or
// when it is loaded (or failed less than kCatalogRetryDelay ago) and `force` is false.
void RequestCatalog(const std::string& key, bool force);
// A copy of the key's entry; a default entry for a key never requested.
CatalogEntry GetCatalog(const std::string& key);
// A loader thread's body: fetch, parse, mark installed packages, publish.
void LoadCatalog(const std::string& key);

// Fetch and parse one source; only `error` and `packages` are filled.
CatalogEntry ParseApacheCatalog();
CatalogEntry ParsePhpCatalog(const std::string& listingUrl, bool withChecksums);
CatalogEntry ParseMariaDbMajors();
CatalogEntry ParseMariaDbFiles(const std::string& series);
CatalogEntry ParsePhpMyAdminCatalog();

// Whether the package's build is already under the root folder.
bool IsInstalled(const Package& package);
// Recomputes `installed` in every cached catalog that is not loading. Run by the installer
// worker at the end of each job, before the job counts as done; never replaces an entry that
// was reloaded meanwhile. `betweenLocks` runs after the copy is taken (tests reload a catalog there).
void RefreshAfterJob(const std::function<void()>& betweenLocks = {});

// ---- Test seam ----
// Moves every recorded catalog failure this far into the past.
void AgeCatalogFailures(std::chrono::seconds age);

}  // namespace installer

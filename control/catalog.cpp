// control/catalog.cpp: the catalog cache and its loaders. Index:
//   ---- Endpoints and fetching ----  EndpointAddress, the five fetching parsers
//   ---- Installed marks ----         IsInstalled over one scan of the installed builds
//   ---- Cache ----                   RequestCatalog, GetCatalog, LoadCatalog, RefreshAfterJob
#include "control/catalog.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "core/detached.h"
#include "core/http.h"
#include "core/log.h"
#include "core/online.h"
#include "core/text.h"
#include "core/translate.h"
#include "stack/apache/builds.h"
#include "stack/database/builds.h"
#include "stack/php/builds.h"
#include "stack/phpmyadmin/config.h"

namespace installer {

// ---- Endpoints and fetching ----

namespace {

constexpr const char* kEndpoints[] = {
    "https://windows.php.net/downloads/releases/",
    "https://windows.php.net/downloads/releases/archives/",
    "https://windows.php.net/downloads/qa/",
    "https://www.apachelounge.com/download/",
    "https://downloads.mariadb.org/rest-api/mariadb/",
    "https://www.phpmyadmin.net/home_page/version.json",
    "https://curl.se/ca/cacert.pem",
};
constexpr char kPhpMyAdminArchiveHost[] = "https://files.phpmyadmin.net";
constexpr uint32_t kCatalogTimeoutMs = 30000;

// One GET of a catalog document. False with `error` set to the transfer's error text.
bool Fetch(const std::string& url, bool browserAgent, std::string& body, std::string& error,
           std::string* servedUrl = nullptr) {
    HttpOptions options;
    options.browserAgent = browserAgent;
    options.timeoutMs = kCatalogTimeoutMs;
    HttpResult result;
    if (!HttpGetString(result, url, body, options)) {
        error = result.error;
        return false;
    }
    if (servedUrl) *servedUrl = result.finalUrl.empty() ? url : result.finalUrl;
    return true;
}

CatalogEntry FetchFailed(std::string error) {
    CatalogEntry entry;
    entry.error = std::move(error);
    return entry;
}

// Archive links that point at another host go through the override as well.
CatalogEntry WithOnlineAddresses(CatalogEntry entry) {
    for (Package& package : entry.packages)
        if (!package.url.empty()) package.url = OnlineAddress(package.url);
    return entry;
}

}  // namespace

std::string EndpointAddress(Endpoint endpoint) { return OnlineAddress(kEndpoints[int(endpoint)]); }

std::string PhpMyAdminArchiveRoot() { return OnlineAddress(kPhpMyAdminArchiveHost); }

CatalogEntry ParseApacheCatalog() {
    const std::string page = EndpointAddress(Endpoint::ApachePage);
    std::string body, error;
    if (!Fetch(page, true, body, error)) return FetchFailed(error);
    return WithOnlineAddresses(ParseApachePage(body, page));
}

CatalogEntry ParsePhpCatalog(const std::string& listingUrl, bool withChecksums) {
    std::string body, error, servedUrl;
    if (!Fetch(listingUrl, false, body, error, &servedUrl)) return FetchFailed(error);
    std::map<std::string, std::string> checksums;
    std::string json;
    // Without the checksum document the builds are still listed; the installer then skips the test.
    if (withChecksums && Fetch(listingUrl + "releases.json", false, json, error)) checksums = ParsePhpChecksums(json);
    return WithOnlineAddresses(ParsePhpListing(body, servedUrl, listingUrl, checksums));
}

CatalogEntry ParseMariaDbMajors() {
    std::string body, error;
    if (!Fetch(EndpointAddress(Endpoint::MariaDbApi), false, body, error)) return FetchFailed(error);
    return ParseMariaDbMajorsJson(body);
}

CatalogEntry ParseMariaDbFiles(const std::string& series) {
    std::string body, error;
    if (!Fetch(EndpointAddress(Endpoint::MariaDbApi) + series + "/", false, body, error)) return FetchFailed(error);
    return WithOnlineAddresses(ParseMariaDbFilesJson(body, series));
}

CatalogEntry ParsePhpMyAdminCatalog() {
    std::string body, error;
    if (!Fetch(EndpointAddress(Endpoint::PhpMyAdminVersions), false, body, error)) return FetchFailed(error);
    return ParsePhpMyAdminJson(body, PhpMyAdminArchiveRoot());
}

// ---- Installed marks ----

namespace {

// The installed builds, scanned once for a whole list of packages.
struct InstalledBuilds {
    std::vector<PhpInstall> php;
    std::vector<ApacheInstall> apache;
    std::vector<DbInstall> db;
    std::string phpMyAdmin;   // its version; "" when absent
};

InstalledBuilds ScanInstalledBuilds() {
    return {ScanPhpInstalls(), ScanApacheInstalls(), ScanDbInstalls(), PhpMyAdminVersion()};
}

template <class Install>
bool AnyBuildMatches(const std::vector<Install>& builds, const Package& package) {
    for (const Install& build : builds)
        if (EqualsIgnoreCase(build.name, package.folder) ||
            (build.version == package.version && build.arch == package.arch))
            return true;
    return false;
}

bool IsInstalledIn(const InstalledBuilds& builds, const Package& package) {
    switch (package.comp) {
        case Comp::Php: return AnyBuildMatches(builds.php, package);
        case Comp::Apache: return AnyBuildMatches(builds.apache, package);
        case Comp::Database:
            // The architecture is not compared: database catalogs list x64 builds only.
            for (const DbInstall& build : builds.db)
                if (EqualsIgnoreCase(build.name, package.folder) || (build.isMariaDb && build.version == package.version))
                    return true;
            return false;
        case Comp::PhpMyAdmin: return builds.phpMyAdmin == package.version;
    }
    return false;
}

void MarkInstalled(std::vector<Package>& packages) {
    const InstalledBuilds builds = ScanInstalledBuilds();
    for (Package& package : packages) package.installed = !package.url.empty() && IsInstalledIn(builds, package);
}

}  // namespace

bool IsInstalled(const Package& package) { return IsInstalledIn(ScanInstalledBuilds(), package); }

// ---- Cache ----

namespace {

using Clock = std::chrono::steady_clock;

struct Slot {
    CatalogEntry entry;
    uint64_t generation = 0;                 // +1 each time a load publishes
    std::optional<Clock::time_point> failedAt;  // the last load's failure, while it stands
};

std::mutex g_catalogMutex;
std::map<std::string, Slot> g_catalogs;

CatalogEntry LoadByKey(const std::string& key) {
    if (key == "php:releases") return ParsePhpCatalog(EndpointAddress(Endpoint::PhpReleases), true);
    if (key == "php:archives") return ParsePhpCatalog(EndpointAddress(Endpoint::PhpArchives), false);
    if (key == "php:qa") return ParsePhpCatalog(EndpointAddress(Endpoint::PhpQa), false);
    if (key == "apache") return ParseApacheCatalog();
    if (key == "mariadb") return ParseMariaDbMajors();
    if (StartsWith(key, "mariadb:")) return ParseMariaDbFiles(key.substr(8));
    if (key == "phpmyadmin") return ParsePhpMyAdminCatalog();
    return {};
}

void Publish(const std::string& key, CatalogEntry result) {
    if (!result.error.empty())
        LogWarning(console::kInstall, std::string(Tr("Cannot load the catalog")) + " " + key + ": " + result.error);
    std::lock_guard<std::mutex> lock(g_catalogMutex);
    Slot& slot = g_catalogs[key];
    slot.entry.loading = false;
    slot.entry.loaded = result.error.empty();
    slot.entry.error = std::move(result.error);
    slot.entry.packages = std::move(result.packages);
    slot.failedAt = slot.entry.loaded ? std::nullopt : std::optional<Clock::time_point>(Clock::now());
    ++slot.generation;
}

}  // namespace

void AgeCatalogFailures(std::chrono::seconds age) {
    std::lock_guard<std::mutex> lock(g_catalogMutex);
    for (auto& [key, slot] : g_catalogs)
        if (slot.failedAt) *slot.failedAt -= age;
}

void RequestCatalog(const std::string& key, bool force) {
    {
        std::lock_guard<std::mutex> lock(g_catalogMutex);
        Slot& slot = g_catalogs[key];
        if (slot.entry.loading) return;
        if (!force && slot.entry.loaded) return;
        if (!force && slot.failedAt && Clock::now() - *slot.failedAt < kCatalogRetryDelay) return;
        slot.entry.loading = true;
        slot.entry.error.clear();   // the old packages stay visible until the new load replaces them
    }
    if (!StartDetached([key] { LoadCatalog(key); }))
        Publish(key, FetchFailed("cannot start a thread to load the catalog"));
}

CatalogEntry GetCatalog(const std::string& key) {
    std::lock_guard<std::mutex> lock(g_catalogMutex);
    const auto it = g_catalogs.find(key);
    return it == g_catalogs.end() ? CatalogEntry{} : it->second.entry;
}

void LoadCatalog(const std::string& key) {
    CatalogEntry result = LoadByKey(key);
    MarkInstalled(result.packages);
    Publish(key, std::move(result));
}

void RefreshAfterJob(const std::function<void()>& betweenLocks) {
    std::map<std::string, Slot> copy;
    {
        std::lock_guard<std::mutex> lock(g_catalogMutex);
        copy = g_catalogs;
    }
    if (betweenLocks) betweenLocks();
    const InstalledBuilds builds = ScanInstalledBuilds();
    for (auto& [key, slot] : copy)
        for (Package& package : slot.entry.packages)
            package.installed = !package.url.empty() && IsInstalledIn(builds, package);
    std::lock_guard<std::mutex> lock(g_catalogMutex);
    for (auto& [key, slot] : copy) {
        const auto live = g_catalogs.find(key);
        // A load that published since the copy holds newer packages with their own marks.
        if (live == g_catalogs.end() || live->second.entry.loading || live->second.generation != slot.generation)
            continue;
        live->second.entry.packages = std::move(slot.entry.packages);
    }
}

}  // namespace installer

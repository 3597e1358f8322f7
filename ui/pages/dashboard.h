// ui/pages/dashboard.h: the Dashboard page: the three server cards, quick access, network access
// and the projects of www, drawn from UiState and from a cache of what the page reads from files,
// rebuilt only when the install cache's generation changes. GUI thread, inside a frame; the pure
// functions at the end run anywhere. Owns the cache (dashboard.cpp).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stack/apache/config.h"

struct ApacheInstall;
struct PhpInstall;
struct ServerState;
struct UiState;

namespace ui {

// What the page shows from files, rebuilt for one UiState.generation.
struct DashboardCache {
    std::optional<int32_t> generation;      // the generation it was built for; none yet
    int32_t enabledExtensions = 0;          // of the current PHP build; 0 without one
    std::vector<std::string> projects;      // the sub-folders of www, sorted
    std::vector<std::string> localAddresses;  // dotted IPv4 addresses of this computer
    std::vector<VirtualHost> vhosts;        // of the current Apache build's template; none without one
    ReadState readState;                    // what that template loads and defines
    std::string homeUrl = "http://localhost/";  // the local site's base address, from those hosts
    bool phpLoaded = false;                 // the current Apache build's httpd.conf loads PHP
};

// Rebuilds the cache when UiState.generation differs from the one it was built for.
const DashboardCache& RefreshDashboardCache();
// Test seam: the next refresh rebuilds whatever the generation (a fresh UiState may repeat one).
void ForgetDashboardCache();

// The cards, each a child window of the given width (and height where the row fixes it; a
// height of 0 fits the content).
void ApacheCard(float width);
void PhpCard(float width);
void MySqlCard(float width);
void QuickAccessCard(float width, float height);
void NetworkCard(float width, float height);
void ProjectsCard();
// "Running" or "Stopped", right-aligned on the current line of a card's title.
void StatusBadge(bool running);

// ---- Pure pieces of the page ----
// "CPU 1.5 %  ·  RAM 12.0 MB" while the server runs, else "-".
std::string ProcessUsageText(const ServerState& state);
// The address of a folder of www: that of the first host with a server name, not served over TLS
// (HasSslEngine with `state`), whose document root ends with "/<folder>" (any case), on the host's port (the
// one its ServerName may repeat is not added twice); else base, the folder's name
// percent-encoded, and "/".
std::string ProjectAddress(const std::string& base, const std::string& folder, const std::vector<VirtualHost>& hosts,
                           const ReadState& state);
// A PHP build as the version list shows it: its label, then PhpFitMark with "incompatible".
std::string PhpBuildItem(const PhpInstall& build, const std::optional<ApacheInstall>& apache);

// Whether the PHP card says "Loaded" (else "Idle"): Apache runs, and the httpd.conf it was started
// with loads the PHP module.
bool PhpShownLoaded(const UiState& state, const DashboardCache& cache);

// The callouts above the cards, in drawing order.
struct DashboardCallout {
    enum class Kind { Welcome, ForeignServer, Installer } kind = Kind::Welcome;
    std::string text;  // translated
};
std::vector<DashboardCallout> DashboardCallouts(const UiState& state, bool anyBuildInstalled);

}  // namespace ui

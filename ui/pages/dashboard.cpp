// The Dashboard page: its cache, the callouts, the layout of the cards, quick access, network
// access and the projects. The three server cards are in dashboard_servers.cpp.
// Sections: Cache; Pure pieces; Shared drawing helpers; Quick access; Network access; Projects;
// Page.
#include "ui/pages/dashboard.h"

#include <algorithm>
#include <iterator>

#include "control/publicip.h"
#include "control/server.h"
#include "core/config.h"
#include "core/files.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/probes.h"
#include "core/settings.h"
#include "core/text.h"
#include "stack/apache/site.h"
#include "core/translate.h"
#include "imgui.h"
#include "stack/apache/builds.h"
#include "stack/apache/httpd_conf.h"
#include "stack/php/builds.h"
#include "stack/php/extensions.h"
#include "ui/icons.h"
#include "ui/pages/dashboard_parts.h"
#include "ui/pages/pages.h"
#include "ui/pages/php.h"
#include "ui/pages/rows.h"
#include "ui/shell.h"
#include "ui/state.h"
#include "ui/theme.h"
#include "ui/ui.h"
#include "ui/widgets.h"

namespace {

ui::DashboardCache g_cache;

constexpr float kSecondRowHeight = 196;
// What the second row's cards needed in the last frame: side by side, both take the larger of
// that and their fixed height, so a long translation is never cut at their bottom.
float g_quickNeeds = 0, g_networkNeeds = 0;
constexpr float kNewSiteWidth = 150;
constexpr float kProjectActionsWidth = 80;

}  // namespace

namespace ui {

// ---- Cache ----

const DashboardCache& RefreshDashboardCache() {
    const UiState& state = State();
    if (g_cache.generation == state.generation) return g_cache;
    DashboardCache cache;
    cache.generation = state.generation;
    if (state.currentPhp)
        for (const PhpExtension& extension : ListPhpExtensions(*state.currentPhp))
            cache.enabledExtensions += extension.enabled ? 1 : 0;
    cache.projects = ListSubdirectories(WwwDir());
    cache.localAddresses = LocalIPv4Addresses();
    if (state.currentApache) {
        ApacheConfig config;
        if (config.Load(HttpdTemplatePath(*state.currentApache))) {
            cache.vhosts = std::move(config.vhosts);
            cache.readState = std::move(config.readState);
        }
    }
    // Every project row and button needs the base address: worked out here once, not per frame.
    cache.homeUrl = state.currentApache ? HomeUrl(*state.currentApache) : "http://localhost/";
    cache.phpLoaded = state.currentApache && GeneratedConfLoadsPhp(*state.currentApache);
    g_cache = std::move(cache);
    return g_cache;
}

void ForgetDashboardCache() { g_cache.generation.reset(); }

// ---- Pure pieces ----

std::string ProcessUsageText(const ServerState& state) {
    if (!state.running) return "-";
    // "CPU" and "RAM" read the same in French; the size follows the language through FormatSize.
    return Format("CPU %.1f %%  \xC2\xB7  RAM %s", state.cpuPercent, FormatSize(state.memoryBytes).c_str());
}

std::string ProjectAddress(const std::string& base, const std::string& folder, const std::vector<VirtualHost>& hosts,
                           const ReadState& state) {
    std::string suffix = ToLower(folder);
    suffix.insert(suffix.begin(), '/');
    for (const VirtualHost& host : hosts) {
        if (ServerNameHost(host.serverName).empty() || HasSslEngine(host, state)) continue;
        std::string root = ToLower(host.documentRoot);
        std::replace(root.begin(), root.end(), '\\', '/');
        while (!root.empty() && root.back() == '/') root.pop_back();
        if (EndsWith(root, suffix)) return SiteUrl(host, false);
    }
    // A "#", "%" or blank in a folder's name would end or garble the address.
    return base + PercentEncode(folder) + "/";
}

std::string PhpBuildItem(const PhpInstall& build, const std::optional<ApacheInstall>& apache) {
    return PhpInstallLabel(build) + PhpFitMark(build, apache, Tr("incompatible"));
}

bool PhpShownLoaded(const UiState& state, const DashboardCache& cache) {
    return state.server.apache.running && cache.phpLoaded;
}

std::vector<DashboardCallout> DashboardCallouts(const UiState& state, bool anyBuildInstalled) {
    std::vector<DashboardCallout> callouts;
    if (!anyBuildInstalled)
        callouts.push_back({DashboardCallout::Kind::Welcome,
                            Tr("Welcome! No server is installed yet. Zerva can download Apache, PHP, MariaDB and "
                               "phpMyAdmin for you (official sources, HTTPS).")});
    for (const std::string& other : state.server.others)
        callouts.push_back({DashboardCallout::Kind::ForeignServer,
                            Tr("A server from another package is running and may use the same ports: ") + other});
    if (state.installer.busy)
        callouts.push_back({DashboardCallout::Kind::Installer, state.installer.title + "  -  " + state.installer.step});
    return callouts;
}

// ---- Shared drawing helpers ----

bool DashboardBusy() { return State().server.busy || State().server.queued > 0; }

const std::string& BaseAddress() { return g_cache.homeUrl; }

int32_t EnabledExtensionCount() { return g_cache.enabledExtensions; }

namespace {

constexpr float kNarrowButtonPadding = 4;

bool LabelFits(const char* icon, const char* text, float padding, float width) {
    return ImGui::CalcTextSize(ComposeLabel(icon, text, nullptr).c_str()).x + 2 * padding <= width;
}

}  // namespace

bool CardButtonShowsText(const char* text, float width) {
    return LabelFits(nullptr, text, kNarrowButtonPadding * Scale(), width);
}

bool CardButton(ButtonRole role, const char* icon, const char* text, const char* id, float width, bool enabled) {
    // A narrow card drops the icon first, then narrows the padding, then keeps the icon alone with
    // the text as its tooltip: a text is never cut.
    const float padding = ImGui::GetStyle().FramePadding.x;
    const auto fits = [&](const char* shownIcon, float pad) { return LabelFits(shownIcon, text, pad, width); };
    const char* shownIcon = icon;
    const char* shownText = text;
    float shownPadding = padding;
    if (!fits(icon, padding)) {
        shownIcon = nullptr;
        if (!fits(nullptr, padding)) shownPadding = kNarrowButtonPadding * Scale();
        if (!fits(nullptr, shownPadding)) {
            shownIcon = icon;
            shownText = nullptr;
            shownPadding = padding;
        }
    }
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(shownPadding, ImGui::GetStyle().FramePadding.y));
    const ImVec2 size(width, 0);
    bool clicked = false;
    switch (role) {
        case ButtonRole::Plain: clicked = Button(shownIcon, shownText, id, size, enabled); break;
        case ButtonRole::Accent: clicked = AccentButton(shownIcon, shownText, id, size, enabled); break;
        case ButtonRole::Danger: clicked = DangerButton(shownIcon, shownText, id, size, enabled); break;
    }
    ImGui::PopStyleVar();
    if (!shownText) Tooltip(text);
    return clicked;
}

void RightBadge(const char* text, const ImVec4& color) {
    const float s = Scale();
    const float right = ContentRightX();
    const float textWidth = ImGui::CalcTextSize(text).x;
    ImGui::SameLine();
    const float afterTitle = ImGui::GetCursorPosX();
    // The badge's text is 3 (scaled) below its top: raised by as much, it sits on the title's line.
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() - 3 * s);
    const float wanted = right - 40 * s - textWidth;
    if (wanted >= afterTitle) {
        ImGui::SetCursorPosX(wanted);
        Badge(text, color);
    } else if (afterTitle + BadgeWidth(text) <= right) {
        Badge(text, color);
    } else {
        // Too narrow beside the title: the dot alone, its state as a tooltip.
        ImGui::SetCursorPosX(right - 12 * s);
        ImGui::SetCursorPosY(ImGui::GetCursorPosY() + 3 * s);
        StatusDot(color, 4 * s);
        Tooltip(text);
    }
}

void StatusBadge(bool running) {
    if (running) RightBadge(Tr("Running"), SuccessColor());
    else RightBadge(Tr("Stopped"), TextColorOf());
}

void NotInstalledLine(const char* linkText, const char* linkId) {
    ImGui::AlignTextToFramePadding();
    MutedText("%s", Tr("Not installed"));
    ImGui::SameLine();
    // Beside the text while it fits there, else on a line of its own: a link is never cut.
    if (ImGui::GetContentRegionAvail().x < ImGui::CalcTextSize(linkText).x)
        ImGui::NewLine();
    else  // a link is drawn from the top of its item: lowered like the text, as high as a version list
        ImGui::SetCursorPosY(ImGui::GetCursorPosY() + ImGui::GetStyle().FramePadding.y);
    if (Link(linkText, linkId)) State().page = page::kComponents;
}

// ---- Quick access ----

namespace {

struct QuickAction {
    const char* icon;
    const char* label;    // English; translated where drawn
    const char* id;
    const char* tooltip;  // English, or null
};

constexpr QuickAction kQuickActions[] = {
    {ui::icon::kWorld, "Open localhost", "q_local", nullptr},
    {ui::icon::kDatabase, "phpMyAdmin", "q_pma", nullptr},
    {ui::icon::kFolder, "www folder", "q_www", nullptr},
    {ui::icon::kFolder, "Zerva folder", "q_root", nullptr},
    {ui::icon::kConsole, "PHP console", "q_phpcli", "Opens a command prompt in www with the selected PHP in the PATH"},
    {ui::icon::kInfo, "phpinfo()", "q_phpinfo", nullptr},
};

// The widest quick-access button with its text: the two cards of the second row stack when half
// the page cannot hold two such buttons side by side.
float WidestQuickButton() {
    float widest = 0;
    for (const QuickAction& action : kQuickActions)
        widest = std::max(widest, ImGui::CalcTextSize(ComposeLabel(action.icon, Tr(action.label), nullptr).c_str()).x);
    return widest + 2 * ImGui::GetStyle().FramePadding.x;
}

bool QuickEnabled(const QuickAction& action, const UiState& state) {
    const std::string id = action.id;
    const bool apache = state.server.apache.running;
    if (id == "q_local" || id == "q_phpinfo") return apache;
    if (id == "q_pma") return apache && !state.phpMyAdminVersion.empty();
    if (id == "q_phpcli") return state.currentPhp.has_value();
    return true;
}

void RunQuickAction(const QuickAction& action, const UiState& state) {
    const std::string id = action.id;
    if (id == "q_local") OpenUrl(BaseAddress());
    else if (id == "q_pma") OpenUrl(BaseAddress() + "mysql/");
    else if (id == "q_www") OpenFolder(WwwDir());
    else if (id == "q_root") OpenFolder(RootDir());
    else if (id == "q_phpinfo") OpenUrl(BaseAddress() + "zerva/phpinfo.php");
    else if (id == "q_phpcli" && state.currentPhp && !OpenPhpConsole(*state.currentPhp))
        Toast(Tr("The PHP console could not be opened."), true);
}

}  // namespace

void QuickAccessCard(float width, float height) {
    const UiState& state = State();
    BeginCard("##card_quick", ImVec2(width, height), height <= 0);
    IconText(ui::icon::kBolt, Tr("Quick access"));
    ImGui::Spacing();
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const float buttonWidth = std::max((ImGui::GetContentRegionAvail().x - spacing) / 2, 1.0f);
    for (size_t i = 0; i < std::size(kQuickActions); ++i) {
        const QuickAction& action = kQuickActions[i];
        if (i % 2 == 1) ImGui::SameLine();
        if (CardButton(ButtonRole::Plain, action.icon, Tr(action.label), action.id, buttonWidth,
                       QuickEnabled(action, state)))
            RunQuickAction(action, state);
        if (action.tooltip) Tooltip(Tr(action.tooltip));
    }
    g_quickNeeds = NaturalHeight();
    EndCard();
}

// ---- Network access ----

namespace {

void OnlineToggle() {
    bool online = Config::Instance().GetInt(setting::kApacheMode) == 1;
    const float toggleWidth = 1.85f * ImGui::GetFrameHeight() * 0.78f;
    ImGui::SameLine(ContentRightX() - toggleWidth);
    // Centred on the title's text line, as the other cards' titles have no frame to align to.
    ImGui::SetCursorPosY(ImGui::GetCursorPosY() - ImGui::GetStyle().FramePadding.y);
    if (!Toggle("##online", &online)) return;
    Config::Instance().Set(setting::kApacheMode, online ? "1" : "0");
    LogInfo(console::kZerva, online ? Tr("Online mode: the server is reachable from the local network.")
                                    : Tr("Offline mode: only this computer can reach the server."));
    Server::Instance().RestartRunning();
}

// Links laid out like words: on the same line while they fit.
void AddressLinks(const std::vector<std::string>& addresses) {
    for (size_t i = 0; i < addresses.size(); ++i) {
        const std::string url = "http://" + addresses[i] + "/";
        if (i > 0) {
            ImGui::SameLine();
            if (ImGui::GetContentRegionAvail().x < ImGui::CalcTextSize(url.c_str()).x) ImGui::NewLine();
        }
        ImGui::PushID(int(i));
        if (Link(url.c_str(), "lan")) OpenUrl(url);
        ImGui::PopID();
    }
}

// What follows "Public IP:": its state, then the refresh button.
void PublicAddress(bool detect) {
    const bool running = detect && publicip::IsRunning();
    if (!detect) {
        MutedText("%s", Tr("disabled"));
    } else if (running) {
        Spinner();
    } else if (const std::string ip = publicip::GetIp(); ip.empty()) {
        ColoredText(WarningColor(), "%s", Tr("unavailable"));
        Tooltip(publicip::GetError().c_str());
    } else {
        ImGui::TextUnformatted(ip.c_str());
        Tooltip(Tr("Reachable from the Internet only if your router forwards the port to this computer."));
        ImGui::SameLine();
        if (IconButton(ui::icon::kCopy, "copyip", Tr("Copy"))) {
            ImGui::SetClipboardText(ip.c_str());
            Toast(Tr("IP copied"), false);
        }
    }
    if (detect && !running) {
        ImGui::SameLine();
        if (IconButton(ui::icon::kRefresh, "refreship", Tr("Refresh"))) publicip::Start(true);
    }
}

// The local and public addresses, on the card's last line, or on its last two when one is too narrow.
// Returns the height the card needs with the line right after what is above it.
float AddressLine(const std::vector<std::string>& local, bool detect, float cardHeight) {
    const float s = Scale();
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const std::string first = local.empty() ? "-" : local.front();
    const float localWidth = ImGui::CalcTextSize(Tr("Local IP:")).x + spacing + ImGui::CalcTextSize(first.c_str()).x;
    const float publicWidth = ImGui::CalcTextSize(Tr("Public IP:")).x + ImGui::CalcTextSize("000.000.000.000").x +
                              2 * ImGui::GetFrameHeight() + 3 * spacing;
    const bool oneLine = localWidth + 24 * s + publicWidth <= ImGui::GetContentRegionAvail().x;
    const float lines = oneLine ? 1 : 2;
    const float height = lines * ImGui::GetFrameHeight() + (lines - 1) * spacing + kCardPaddingY * s;
    const float needs = ImGui::GetCursorPosY() + height;
    if (cardHeight > 0 && needs < cardHeight) ImGui::SetCursorPosY(cardHeight - height);

    ImGui::AlignTextToFramePadding();
    MutedText("%s", Tr("Local IP:"));
    ImGui::SameLine();
    ImGui::TextUnformatted(first.c_str());
    if (oneLine) ImGui::SameLine(0, 24 * s);
    else ImGui::AlignTextToFramePadding();
    MutedText("%s", Tr("Public IP:"));
    ImGui::SameLine();
    PublicAddress(detect);
    return needs;
}

}  // namespace

void NetworkCard(float width, float height) {
    const DashboardCache& cache = g_cache;
    const bool detect = Config::Instance().GetBool(setting::kDetectIpAndUpdate);
    // Does nothing while a lookup runs or once one has finished.
    if (detect) publicip::Start(false);

    BeginCard("##card_net", ImVec2(width, height), height <= 0);
    IconText(ui::icon::kGlobe, Tr("Network access"));
    OnlineToggle();
    if (Config::Instance().GetInt(setting::kApacheMode) == 1) {
        ColoredText(WarningColor(), "%s  %s", ui::icon::kShield, Tr("Online: reachable from the network"));
        WrappedText(Tr("Other devices of your network can open your sites. Windows may ask to allow httpd.exe in "
                       "the firewall."));
        AddressLinks(cache.localAddresses);
    } else {
        ColoredText(SuccessColor(), "%s  %s", ui::icon::kShield, Tr("Offline: only this computer"));
        WrappedText(Tr("Apache and MySQL only listen on 127.0.0.1: your sites are reachable from this computer only "
                       "(no firewall prompt). Enable the switch to share them on the local network."));
    }
    g_networkNeeds = AddressLine(cache.localAddresses, detect, height);
    EndCard();
}

// ---- Projects ----

void ProjectsCard() {
    const float s = Scale();
    const UiState& state = State();
    const DashboardCache& cache = g_cache;
    BeginCard("##card_projects", ImVec2(0, 0), true);
    ImGui::AlignTextToFramePadding();
    IconText(ui::icon::kFolder, Tr("My projects (www)"));
    ImGui::SameLine(ContentRightX() - kNewSiteWidth * s);
    if (Button(ui::icon::kAdd, Tr("New site"), "proj_new", ImVec2(kNewSiteWidth * s, 0), state.currentApache.has_value()))
        State().page = page::kApache;
    Tooltip(Tr("Creates a folder in www and a virtual host name.localhost (Apache page)"));
    ImGui::Spacing();

    if (cache.projects.empty()) {
        WrappedText(Tr("No project yet: create a folder in www, it will appear here."));
    } else if (ImGui::BeginTable("##projects", 3, ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerH)) {
        const bool apache = state.server.apache.running;
        // Texts centred on the height of the row's icon buttons (their vertical padding is 4).
        const float rowTextOffset = 4 * s;
        ImGui::TableSetupColumn("name", ImGuiTableColumnFlags_WidthStretch, 2);
        ImGui::TableSetupColumn("url", ImGuiTableColumnFlags_WidthStretch, 3);
        ImGui::TableSetupColumn("act", ImGuiTableColumnFlags_WidthFixed, kProjectActionsWidth * s);
        for (const std::string& project : cache.projects) {
            const std::string address = ProjectAddress(cache.homeUrl, project, cache.vhosts, cache.readState);
            ImGui::PushID(project.c_str());
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::SetCursorPosY(ImGui::GetCursorPosY() + rowTextOffset);
            // A long folder name or address goes on below in its column rather than under the next.
            ImGui::PushTextWrapPos(0.0f);
            ImGui::TextUnformatted(project.c_str());
            ImGui::PopTextWrapPos();
            ImGui::TableNextColumn();
            ImGui::SetCursorPosY(ImGui::GetCursorPosY() + rowTextOffset);
            ImGui::BeginDisabled(!apache);
            if (Link(address.c_str(), "url", !apache)) OpenUrl(address);
            ImGui::EndDisabled();
            ImGui::TableNextColumn();
            if (IconButton(ui::icon::kOpenPage, "open", Tr("Open in the browser"), apache)) OpenUrl(address);
            ImGui::SameLine(0, 2 * s);
            if (IconButton(ui::icon::kFolder, "folder", Tr("Open the folder"))) OpenFolder(WwwDir() + L"\\" + Utf8ToWide(project));
            ImGui::PopID();
        }
        ImGui::EndTable();
    }
    EndCard();
}

// ---- Page ----

namespace {

void DrawCallout(const DashboardCallout& callout) {
    switch (callout.kind) {
        case DashboardCallout::Kind::Welcome:
            Callout(ui::icon::kDownload, callout.text.c_str(), AccentColor());
            if (AccentButton(ui::icon::kDownload, Tr("Install the components"), "dash_wizard")) RequestWizard();
            break;
        case DashboardCallout::Kind::ForeignServer: Callout(ui::icon::kError, callout.text.c_str(), WarningColor()); break;
        case DashboardCallout::Kind::Installer: Callout(ui::icon::kDownload, callout.text.c_str(), AccentColor()); break;
    }
    ImGui::Spacing();
}

}  // namespace

void PageDashboard() {
    const float s = Scale();
    RefreshDashboardCache();
    for (const DashboardCallout& callout : DashboardCallouts(State(), AnyBuildInstalled())) DrawCallout(callout);

    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const float width = ImGui::GetContentRegionAvail().x;
    const float third = std::max((width - 2 * spacing) / 3, 1.0f);
    ApacheCard(third);
    ImGui::SameLine();
    PhpCard(third);
    ImGui::SameLine();
    MySqlCard(third);

    const float half = std::max((width - spacing) / 2, 1.0f);
    const float halfButton = (half - 2 * kCardPaddingX * s - spacing) / 2;
    if (halfButton >= WidestQuickButton()) {
        const float height = std::max({kSecondRowHeight * s, g_quickNeeds, g_networkNeeds});
        QuickAccessCard(half, height);
        ImGui::SameLine();
        NetworkCard(half, height);
    } else {
        // One above the other, each as high as its content.
        QuickAccessCard(width, 0);
        NetworkCard(width, 0);
    }
    ProjectsCard();
}

}  // namespace ui

#include "ui/frame.h"

#include <algorithm>
#include <iterator>

#include "control/server.h"
#include "control/updater.h"
#include "core/text.h"
#include "core/translate.h"
#include "core/version.h"
#include "imgui.h"
#include "imgui_internal.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/pages/pages.h"
#include "ui/shell.h"
#include "ui/theme.h"
#include "ui/ui.h"
#include "ui/widgets.h"

namespace {

// By page number: Dashboard, Apache, PHP, MySQL / MariaDB, Components, Logs, Settings.
constexpr const char* kNavIcons[] = {ui::icon::kHome,     ui::icon::kWorld, ui::icon::kCode,    ui::icon::kDatabase,
                                     ui::icon::kDownload, ui::icon::kList,  ui::icon::kSettings};

// The project page of the interface library the window is drawn with.
constexpr char kCreditUrl[] = "https://github.com/ocornut/imgui";

void DrawPage(Page page) {
    switch (page) {
        case page::kDashboard: return ui::PageDashboard();
        case page::kApache: return ui::PageApache();
        case page::kPhp: return ui::PagePhp();
        case page::kMySql: return ui::PageMySql();
        case page::kComponents: return ui::PageComponents();
        case page::kLogs: return ui::PageLogs();
        case page::kSettings: return ui::PageSettings();
        default: return;
    }
}

ImFont* FontOr(ui::FontIndex index) { return ui::Fonts()[index] ? ui::Fonts()[index] : ImGui::GetFont(); }

// The logo, the product name and version, and the state of the update check beside the version.
void DrawBrand(const UiState& state, const ImVec2& origin) {
    const float s = ui::Scale();
    const float logo = 42 * s;
    if (state.logo)
        ImGui::GetWindowDrawList()->AddImageRounded(reinterpret_cast<ImTextureID>(state.logo), origin,
                                                    ImVec2(origin.x + logo, origin.y + logo), ImVec2(0, 0),
                                                    ImVec2(1, 1), IM_COL32_WHITE, 9 * s);
    ImGui::SetCursorScreenPos(ImVec2(origin.x + logo + 10 * s, origin.y + 1 * s));
    ImGui::PushFont(FontOr(ui::kFontTitle));
    ImGui::TextUnformatted("Zerva");
    ImGui::PopFont();
    ImGui::SetCursorScreenPos(ImVec2(origin.x + logo + 11 * s, origin.y + 27 * s));
    ui::MutedText("v%s", kZervaVersion);
    const updater::UpdateInfo& check = state.updateCheck;
    if (check.checking) {
        ImGui::SameLine(0, 6 * s);
        ui::Spinner(5 * s);
    } else if (check.done && !check.available && !check.latest.empty()) {
        ImGui::SameLine(0, 6 * s);
        ImGui::TextColored(ui::SuccessColor(), "%s", ui::icon::kCheck);
        ui::Tooltip(Tr("Zerva is up to date"));
    }
}

// The row offering the new version; returns its bottom edge.
float DrawUpdateRow(UiState& state, float top) {
    const float s = ui::Scale();
    ImGui::SetCursorScreenPos(ImVec2(ImGui::GetCursorScreenPos().x, top));
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const float width = ImGui::GetContentRegionAvail().x;
    // A title longer than the row (a translation) goes on over more lines and the row grows.
    ImFont* bold = FontOr(ui::kFontBold);
    const float fontSize = ImGui::GetFontSize();
    const float wrap = std::max(width - 34 * s - 6 * s, 1.0f);
    const char* title = Tr("Update available");
    const float moreLines = bold->CalcTextSizeA(fontSize, FLT_MAX, wrap, title).y - ImGui::GetTextLineHeight();
    const ImVec2 size(width, 44 * s + std::max(moreLines, 0.0f));
    if (ImGui::InvisibleButton("##updaterow", size)) {
        state.updateDialogOpen = true;
        if (!state.updateCheck.done && !state.updateCheck.checking) updater::StartCheck(false);
    }
    const bool hovered = ImGui::IsItemHovered();
    if (hovered) ImGui::SetMouseCursor(ImGuiMouseCursor_Hand);
    const ImVec4 accent = ui::AccentColor();
    const ImVec2 end(pos.x + size.x, pos.y + size.y);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(pos, end, ui::ColorU32(accent, hovered ? 0.30f : 0.18f), 8 * s);
    draw->AddRect(pos, end, ui::ColorU32(accent, 0.55f), 8 * s, 0, 1.0f);
    draw->AddText(ImVec2(pos.x + 10 * s, pos.y + 6 * s), ui::ColorU32(accent), ui::icon::kDownload);
    draw->AddText(bold, fontSize, ImVec2(pos.x + 34 * s, pos.y + 4 * s), ImGui::GetColorU32(ImGuiCol_Text), title,
                  nullptr, wrap);
    // A long version ends in an ellipsis inside the row rather than past its border.
    const float textRight = end.x - 6 * s;
    const std::string latest = "Zerva " + state.updateCheck.latest;
    const ImVec2 version(pos.x + 34 * s, end.y - 21 * s);
    ImGui::PushStyleColor(ImGuiCol_Text, ImGui::GetStyle().Colors[ImGuiCol_TextDisabled]);
    ImGui::RenderTextEllipsis(draw, version, ImVec2(textRight, version.y + ImGui::GetTextLineHeight()), textRight,
                              textRight, latest.c_str(), nullptr, nullptr);
    ImGui::PopStyleColor();
    return end.y;
}

// The server status lines and the credit link, kept at the bottom unless the navigation reaches it.
void DrawSidebarBottom(const UiState& state) {
    const float s = ui::Scale();
    const float bottom = ImGui::GetWindowHeight() - 118 * s;
    if (ImGui::GetCursorPosY() < bottom) ImGui::SetCursorPosY(bottom);
    ImGui::Separator();
    ui::StatusLine("Apache", state.server.apache.running, ImGui::GetWindowWidth());
    ui::StatusLine("MySQL", state.server.mysql.running, ImGui::GetWindowWidth());
    ImGui::Separator();
    const char* credit = Tr("Built with Dear ImGui");
    ImGui::SetCursorPosX(std::max((ImGui::GetWindowWidth() - ImGui::CalcTextSize(credit).x) / 2, 0.0f));
    if (ui::Link(credit, "credit", true)) ui::OpenUrl(kCreditUrl);
    ui::Tooltip(Tr("Zerva is made with Dear ImGui (the window), zlib and minizip (archives)."));
}

// The job that runs, or "Working...", with a spinner, ending at `right` and cut short with an
// ellipsis rather than running into the title that ends at `left`.
void DrawWorkingStatus(const ServerStatus& server, float left, float right, float y) {
    const float s = ui::Scale();
    std::string text = server.currentLabel.empty() ? std::string(Tr("Working...")) : server.currentLabel;
    if (server.busy && server.queued > 0) text.append(" ").append(Format(Tr("(+%d queued)"), int(server.queued)));
    const float spinner = 30 * s;
    const float textWidth = ImGui::CalcTextSize(text.c_str()).x;
    const float x = std::max(right - spinner - textWidth, left);
    if (right - x < spinner) return;
    ImGui::SetCursorPos(ImVec2(x, y));
    ui::Spinner();
    const ImVec2 textPos(ImGui::GetWindowPos().x + x + spinner - ImGui::GetScrollX(), ImGui::GetItemRectMin().y);
    const float textRight = textPos.x + (right - x - spinner);
    ImGui::PushStyleColor(ImGuiCol_Text, ui::TextColorOf());
    ImGui::RenderTextEllipsis(ImGui::GetWindowDrawList(), textPos,
                              ImVec2(textRight, textPos.y + ImGui::GetTextLineHeight()), textRight, textRight,
                              text.c_str(), nullptr, nullptr);
    ImGui::PopStyleColor();
    if (x > left) return;
    // Cut short: the whole text on hover.
    ImGui::SetCursorScreenPos(textPos);
    ImGui::Dummy(ImVec2(std::max(textRight - textPos.x, 1.0f), ImGui::GetTextLineHeight()));
    ui::Tooltip(text.c_str());
}

}  // namespace

namespace ui {

void DrawFrameLayout() {
    const float s = Scale();
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->WorkPos);
    ImGui::SetNextWindowSize(viewport->WorkSize);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    constexpr ImGuiWindowFlags kRootFlags =
        ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
        ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoCollapse |
        ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus;
    ImGui::Begin("##root", nullptr, kRootFlags);
    ImGui::PopStyleVar();

    Sidebar(214 * s, viewport->WorkSize.y);
    ImGui::SameLine(0, 0);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(22 * s, 16 * s));
    ImGui::BeginChild("##main", ImVec2(0, viewport->WorkSize.y), ImGuiChildFlags_AlwaysUseWindowPadding,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse);
    ImGui::PopStyleVar();
    HeaderBar();

    const float remaining = ImGui::GetContentRegionAvail().y;
    const float console = State().consoleOpen ? std::max(remaining * 0.26f, 150 * s)
                                              : ImGui::GetFrameHeight() + 14 * s;
    // One child per page: Dear ImGui keeps the scroll position by window, so a shared child would
    // open a page scrolled by whatever the previous page was scrolled.
    ImGui::PushID(State().page);
    ImGui::BeginChild("##page", ImVec2(0, std::max(remaining - console - 10 * s, 1.0f)));
    DrawPage(State().page);
    ImGui::EndChild();
    ImGui::PopID();
    ImGui::Dummy(ImVec2(0, 2 * s));
    ConsolePanel(console);
    ImGui::EndChild();
    ImGui::End();
}

void Sidebar(float width, float height) {
    const float s = Scale();
    UiState& state = State();
    ImGui::PushStyleColor(ImGuiCol_ChildBg, WindowBgColor());
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(12 * s, 14 * s));
    const bool visible = ImGui::BeginChild("##sidebar", ImVec2(width, height), ImGuiChildFlags_AlwaysUseWindowPadding,
                                           ImGuiWindowFlags_NoScrollbar);
    ImGui::PopStyleVar();
    ImGui::PopStyleColor();
    if (visible) {
        const ImVec2 origin = ImGui::GetCursorScreenPos();
        DrawBrand(state, origin);
        float navTop = origin.y + 42 * s + 22 * s;
        if (state.updateCheck.available) {
            ImGui::SetCursorScreenPos(origin);
            navTop = DrawUpdateRow(state, origin.y + 42 * s + 14 * s) + 14 * s;
        }
        ImGui::SetCursorScreenPos(ImVec2(origin.x, navTop));
        ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, 2 * s));
        for (Page p = page::kDashboard; p <= page::kSettings; ++p) NavItem(p);
        ImGui::PopStyleVar();
        DrawSidebarBottom(state);
    }
    ImGui::EndChild();
}

bool NavItem(Page p) {
    const float s = Scale();
    UiState& state = State();
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const ImVec2 size(std::max(ImGui::GetContentRegionAvail().x, 1.0f), 38 * s);
    ImGui::PushID(p);
    const bool clicked = ImGui::InvisibleButton("nav", size);
    ImGui::PopID();
    const bool hovered = ImGui::IsItemHovered();
    const bool current = state.page == p;
    const ImVec4 accent = AccentColor();
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 end(pos.x + size.x, pos.y + size.y);
    if (current || hovered) draw->AddRectFilled(pos, end, ColorU32(accent, current ? 0.16f : 0.08f), 7 * s);
    if (current)
        draw->AddRectFilled(ImVec2(pos.x, pos.y + 8 * s), ImVec2(pos.x + 3 * s, end.y - 8 * s), ColorU32(accent), 2 * s);
    const ImVec4 text = ImGui::GetStyle().Colors[ImGuiCol_Text];
    const float y = pos.y + (size.y - ImGui::GetTextLineHeight()) / 2;
    if (p >= 0 && p < Page(std::size(kNavIcons)))
        draw->AddText(ImVec2(pos.x + 14 * s, y), ColorU32(current ? accent : text), kNavIcons[p]);
    const std::string title = PageTitle(p);
    draw->AddText(ImVec2(pos.x + 44 * s, y), ColorU32(text, current ? 1.0f : 0.85f), title.c_str());
    if (p == page::kComponents && state.installer.busy) {
        const ImVec2 after = ImGui::GetCursorScreenPos();
        ImGui::SetCursorScreenPos(ImVec2(end.x - 26 * s - 6 * s, y));
        Spinner(6 * s);
        ImGui::SetCursorScreenPos(after);
    }
    if (clicked) state.page = p;
    return clicked;
}

void HeaderBar() {
    const float s = Scale();
    const UiState& state = State();
    const ServerStatus& server = state.server;
    const bool anyRunning = server.apache.running || server.mysql.running;
    const bool working = server.busy || server.queued > 0;

    const float lineY = ImGui::GetCursorPosY();
    ImGui::PushFont(FontOr(kFontTitle));
    ImGui::TextUnformatted(PageTitle(state.page).c_str());
    ImGui::PopFont();
    const float titleRight = ImGui::GetItemRectMax().x - ImGui::GetWindowPos().x + ImGui::GetScrollX();

    // 132 pixels each, unless a label needs more (a longer translation): it is never cut.
    const auto width = [s](const char* glyph, const char* text) {
        const float label = ImGui::CalcTextSize(ComposeLabel(glyph, text, nullptr).c_str()).x;
        return std::max(132 * s, label + 2 * ImGui::GetStyle().FramePadding.x);
    };
    const float gap = 10 * s;
    const char* restart = Tr("Restart");
    const char* stopAll = Tr("Stop all");
    const char* startAll = Tr("Start all");
    const float blockWidth = anyRunning ? width(icon::kRefresh, restart) + gap + width(icon::kStop, stopAll)
                                        : width(icon::kPlay, startAll);
    const float buttonsX = ContentRightX() - blockWidth;
    if (working) DrawWorkingStatus(server, titleRight + 16 * s, buttonsX - 12 * s, lineY + 5 * s);

    ImGui::SetCursorPos(ImVec2(buttonsX, lineY));
    if (anyRunning) {
        if (Button(icon::kRefresh, restart, "hdr_restart", ImVec2(width(icon::kRefresh, restart), 0), !working))
            Server::Instance().RestartAll();
        ImGui::SameLine(0, gap);
        if (DangerButton(icon::kStop, stopAll, "hdr_stop", ImVec2(width(icon::kStop, stopAll), 0), !working))
            Server::Instance().StopAll();
    } else if (AccentButton(icon::kPlay, startAll, "hdr_start", ImVec2(width(icon::kPlay, startAll), 0),
                            !working && AnyBuildInstalled())) {
        Server::Instance().StartAll();
    }
    ImGui::Spacing();
}

}  // namespace ui

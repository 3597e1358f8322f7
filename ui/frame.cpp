#include "ui/frame.h"

#include <algorithm>

#include "imgui.h"
#include "ui/pages/pages.h"
#include "ui/theme.h"

namespace {

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
    ImGui::BeginChild("##page", ImVec2(0, std::max(remaining - console - 10 * s, 1.0f)));
    DrawPage(State().page);
    ImGui::EndChild();
    ImGui::Dummy(ImVec2(0, 2 * s));
    ConsolePanel(console);
    ImGui::EndChild();
    ImGui::End();
}

void Sidebar(float width, float height) {
    ImGui::BeginChild("##sidebar", ImVec2(width, height));
    for (Page p = page::kDashboard; p <= page::kSettings; ++p) NavItem(p);
    ImGui::EndChild();
}

bool NavItem(Page p) {
    ImGui::PushID(p);
    const bool clicked = ImGui::Selectable(PageTitle(p).c_str(), State().page == p);
    ImGui::PopID();
    if (clicked) State().page = p;
    return clicked;
}

void HeaderBar() { ImGui::TextUnformatted(PageTitle(State().page).c_str()); }

void ConsolePanel(float height) {
    ImGui::BeginChild("##consolebox", ImVec2(0, height));
    ImGui::EndChild();
}

}  // namespace ui

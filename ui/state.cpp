#include "ui/state.h"

#include "core/translate.h"
#include "imgui.h"

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

#include "ui/ui.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "control/catalog.h"
#include "control/installer.h"
#include "control/server.h"
#include "control/updater.h"
#include "core/config.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/online.h"
#include "core/translate.h"
#include "tests/stack/stack_fixture.h"
#include "tests/support/testkit.h"
#include "tests/ui/ui_fixture.h"
#include "ui/theme.h"

namespace {

class UiEntryTest : public uitest::UiTest {
protected:
    static void MakeApache() { MakeFolder(ApacheDir() + L"\\httpd-2.4.62", {{"bin/httpd.exe", ""}}); }
};

bool CheckStarted() { return updater::GetCheckState().checking || updater::GetCheckState().done; }
bool CheckFinished() { return updater::GetCheckState().done && !updater::GetCheckState().checking; }

TEST_F(UiEntryTest, FrameCopiesServerStatusAlertsAndInstallerOncePerFrame) {
    Server::Instance().Enqueue("Testing", [] {}, "ui-test");  // no worker in this program: it stays queued
    Server::Instance().PushAlert("First", "one", true, alert_action::kApache);
    Server::Instance().PushAlert("Second", "two", false, alert_action::kNone);
    EXPECT_EQ(ui::State().server.queued, 0);
    Frame();
    EXPECT_TRUE(ui::State().server.queued == 1 && ui::IsBusy());
    ASSERT_EQ(ui::State().alerts.size(), 2u);
    EXPECT_EQ(ui::State().alerts[0].title + ui::State().alerts[1].title, "FirstSecond");
    Alert left;
    EXPECT_FALSE(Server::Instance().PopAlert(left)) << "every alert moved into the state";

    std::atomic<bool> release{false};  // an installer job that runs until released
    installer::Enqueue("Installing a test build", [&] { release.wait(false); });
    ASSERT_TRUE(testkit::WaitFor([] { return installer::GetStatus().title == "Installing a test build"; }));
    Frame();
    EXPECT_TRUE(ui::State().installer.busy);
    const int32_t generation = ui::State().generation;
    MakeApache();
    release = true;
    release.notify_all();
    ASSERT_TRUE(testkit::WaitFor([] { return !installer::GetStatus().busy; }));
    Frame();  // the finished job refreshes the install cache at once, not 2.5 s later
    EXPECT_TRUE(ui::State().generation == generation + 1 && ui::State().apaches.size() == 1u);
}

TEST_F(UiEntryTest, FrameCopiesCatalogsAndUpdaterAndChecksOnlyWhenAllowed) {
    Config::Instance().SetBool(setting::kCheckUpdates, false);
    ui::State().wizardAutoShown = true;  // the first-run wizard would ask for its catalogs itself
    installer::RequestCatalog("apache", false);
    ASSERT_TRUE(testkit::WaitFor([] { return !installer::GetCatalog("apache").loading; }));
    harness.Frames(2, [] { ui::Frame(); });
    EXPECT_FALSE(ui::State().catalogs.at("apache").error.empty());
    EXPECT_FALSE(ui::State().catalogs.at("phpmyadmin").loading || ui::State().catalogs.at("phpmyadmin").loaded);
    EXPECT_FALSE(CheckStarted()) << "no automatic check";

    ui::OpenUpdateDialog();  // the dialog starts the first check itself
    EXPECT_TRUE(ui::State().updateDialogOpen && CheckStarted());
    ASSERT_TRUE(testkit::WaitFor(CheckFinished));
    Frame();
    EXPECT_TRUE(ui::State().updateCheck.done && !ui::State().updateCheck.error.empty());
    ui::OpenUpdateDialog();  // a finished check is not repeated
    Config::Instance().SetBool(setting::kCheckUpdates, true);
    Frame();  // the last check is seconds old, not twelve hours
    EXPECT_FALSE(updater::GetCheckState().checking);
}

TEST_F(UiEntryTest, FirstFrameAsksForTheWizardOnceAndStartsAfterInstall) {
    Frame();
    EXPECT_TRUE(ui::State().wizardRequested);
    EXPECT_TRUE(CheckStarted()) << "the first automatic check";
    ui::State().wizardRequested = false;
    for (const int queued : {0, 1}) {  // nothing to start without an Apache build
        if (queued) MakeApache();
        ui::State().startAfterInstall = true;
        Frame();
        EXPECT_FALSE(ui::State().wizardRequested || ui::State().startAfterInstall);
        EXPECT_EQ(Server::Instance().GetStatus().queued, queued);
    }
    ASSERT_TRUE(testkit::WaitFor(CheckFinished));
}

TEST_F(UiEntryTest, QuitRequest_QuitsAtOnceWhenIdle_AsksOrStopsFirstOtherwise) {
    struct Case {
        bool apache, busy, ask;
        bool quitNow, dialog, stopping;
    };
    for (const Case& c : {Case{false, false, true, true, false, false}, Case{false, true, false, false, false, true},
                          Case{true, false, true, false, true, false}, Case{true, false, false, false, false, true}}) {
        SCOPED_TRACE(testing::Message() << c.apache << c.busy << c.ask);
        static const UiState kFresh;
        ui::State() = kFresh;
        EditStatus([&](ServerStatus& s) { s.apache.running = c.apache, s.busy = c.busy; });
        Config::Instance().SetBool(setting::kAskCloseServerWhenExit, c.ask);
        ui::RequestQuit();
        Frame();
        EXPECT_FALSE(ui::State().quitRequested);
        EXPECT_EQ(ui::ShouldQuit(), c.quitNow);
        EXPECT_EQ(ui::State().quitDialogOpen, c.dialog);
        EXPECT_EQ(ui::State().stopping, c.stopping);
    }
    // Stopping ends the program once both servers are down and no job waits (the stop job
    // queued above stays queued: this program has no worker).
    EditStatus([](ServerStatus& s) { s.apache.running = false, s.busy = false; });
    Frame();
    EXPECT_FALSE(ui::ShouldQuit());
    EXPECT_GT(ui::State().server.queued, 0);
}

TEST_F(UiEntryTest, InitThemeDpiAndPendingReapplyWithoutAssertions) {
    Config::Instance().SetBool(setting::kConsoleOpen, false);
    Config::Instance().Set(setting::kTheme, "light");
    ui::Init(UiInit{nullptr, nullptr, 1.25f});
    EXPECT_TRUE(!ui::State().consoleOpen && !ui::IsDarkTheme() && ui::State().generation == 1);
    EXPECT_FLOAT_EQ(ui::Scale(), 1.25f);
    harness.Frames(2, {});

    for (const auto& [theme, scale, windowBg] : {std::tuple{"Light", 1.0f, "#15171C"}, {"light", 1.5f, "#F3F4F8"},
                                                 {"", 1.5f, "#15171C"}}) {
        SCOPED_TRACE(theme);
        Config::Instance().Set(setting::kTheme, theme);
        ui::SetDpiScale(scale);
        for (int twice = 0; twice < 2; ++twice) {
            ui::ApplyPendingTheme();
            harness.Frames(2, {});
        }
        EXPECT_FLOAT_EQ(ImGui::GetStyle().WindowPadding.y, 14 * scale);
        EXPECT_EQ(uitest::Hex(ImGui::GetStyle().Colors[ImGuiCol_WindowBg]), windowBg);
    }
    Config::Instance().Set(setting::kTheme, "light");
    ui::ApplyPendingTheme();  // without a request nothing is rebuilt
    EXPECT_TRUE(ui::IsDarkTheme());
    ui::RequestThemeApply();
    ui::ApplyPendingTheme();
    EXPECT_FALSE(ui::IsDarkTheme());
    ui::Shutdown();
}

TEST_F(UiEntryTest, ShellEntryPoints) {
    harness.Frames(1, {});
    std::vector<LogEntry> logged;
    const uint64_t seq = LogBuffer::Instance().Snapshot(logged, 0);
    SetLanguage("fr");
    ui::AnnounceUpdated("3.9.1");
    LogBuffer::Instance().Snapshot(logged, seq);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back().text, "Zerva mis à jour de 3.9.1 vers 4.0.0.");
    EXPECT_TRUE(logged.back().level == level::kSuccess && logged.back().source == console::kZerva);
    ASSERT_EQ(ui::Toasts().size(), 1u);
    EXPECT_EQ(ui::Toasts()[0].text, "Zerva mis à jour vers la version 4.0.0");
    EXPECT_DOUBLE_EQ(ui::Toasts()[0].expiresAt, ImGui::GetTime() + 3.5);
    EXPECT_TRUE(ui::IsBusy()) << "a toast on screen keeps the loop drawing";

    EXPECT_EQ(ui::RunningServerCount(), 0);
    EXPECT_EQ(ui::TrayTooltip(), "Zerva - Apache: arrêté, MySQL: arrêté");
    EditStatus([](ServerStatus& s) { s.mysql.running = true; });
    EXPECT_EQ(ui::RunningServerCount(), 1);
    SetLanguage("en");
    EXPECT_EQ(ui::TrayTooltip(), "Zerva - Apache: stopped, MySQL: running");
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    EXPECT_EQ(ui::RunningServerCount(), 2);
}

}  // namespace

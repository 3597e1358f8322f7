#include "ui/dialogs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "control/installer.h"
#include "control/server.h"
#include "control/updater.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/log.h"
#include "core/text.h"
#include "tests/support/fixture_server.h"
#include "tests/ui/frame_fixture.h"
#include "ui/shell.h"

namespace {

using Ids = std::vector<std::string>;

class DialogsTest : public uitest::FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_TRUE(server.Started()) << server.Error();
        updater::SetExecutablePathForTesting(scratch / L"Zerva.exe");
    }
    void TearDown() override {
        ReleaseInstaller();
        updater::CancelDownload();
        updater::SetExecutablePathForTesting(L"");
        FrameTest::TearDown();
    }

    void Escape() { harness.PressKey(ImGuiKey_Escape, [] { ui::Frame(); }); }
    // Which of these ids are on screen.
    Ids ShownOf(const Ids& ids) const {
        Ids shown;
        for (const std::string& id : ids)
            if (Shown(id)) shown.push_back(id);
        return shown;
    }

    // An installer job that runs until ReleaseInstaller.
    void HoldInstaller() {
        installer::Enqueue("Installing PHP 8.3.14", [release = m_release] { release->wait(false); });
        ASSERT_TRUE(testkit::WaitFor([] { return installer::GetStatus().busy; }));
    }
    void ReleaseInstaller() {
        *m_release = true;
        m_release->notify_all();
        EXPECT_TRUE(testkit::WaitFor([] { return !installer::GetStatus().busy; }));
    }

    // A finished forced check of this manifest (served at its own path).
    void CheckManifest(const std::string& body) {
        const std::string path = "/m" + std::to_string(++m_manifests) + "/update.json";
        if (!body.empty()) server.Serve(path, body);
        CheckAt(server.Url(path));
    }
    void CheckAt(const std::string& url) {
        Config::Instance().Set(setting::kUpdateUrl, url);
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetCheckState().checking; }));
        updater::StartCheck(true);
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetCheckState().checking; }));
        Frames(2);
    }
    // A manifest announcing 4.1.0 at `file` with a SHA-256 no download will match.
    std::string BrokenDownloadManifest(const std::string& file) const {
        return Format(R"({"version": "4.1.0", "url": "%s", "sha256": "%s"})", server.Url(file).c_str(),
                      std::string(64, '0').c_str());
    }
    size_t RequestsFor(const std::string& path) const {
        size_t count = 0;
        for (const auto& request : server.Requests()) count += request.path == path;
        return count;
    }

    testkit::FixtureServer server;
    testkit::ScratchDir scratch;

private:
    std::shared_ptr<std::atomic<bool>> m_release = std::make_shared<std::atomic<bool>>(false);
    int m_manifests = 0;
};

// ---- Quitting ----

TEST(QuitLogic, CloseRequestQuitsAsksOrStopsFirst) {
    using ui::QuitStart;
    const struct {
        bool running, workerBusy, installerBusy, ask;
        QuitStart start;
    } cases[] = {
        {false, false, false, true, QuitStart::kNow},  {false, false, false, false, QuitStart::kNow},
        {true, false, false, true, QuitStart::kAsk},   {false, true, false, true, QuitStart::kAsk},
        {true, false, false, false, QuitStart::kStopFirst}, {false, true, false, false, QuitStart::kStopFirst},
        {false, false, true, true, QuitStart::kAsk},   {false, false, true, false, QuitStart::kAsk},
        {true, false, true, false, QuitStart::kAsk},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ui::DecideQuit(c.running, c.workerBusy, c.installerBusy, c.ask), c.start)
            << c.running << c.workerBusy << c.installerBusy << c.ask;
}

TEST(QuitLogic, WaitEndsOnceStoppedOrFailedAndAfterTheInstaller) {
    using ui::QuitWait;
    const struct {
        const char* name;
        bool running, busy;
        int32_t queued;
        uint64_t tick;  // the stop was queued at pass 10
        bool installer, stopServers, alert;
        QuitWait wait;
    } cases[] = {
        {"stopped", false, false, 0, 11, false, true, false, QuitWait::kQuit},
        {"stop running", true, true, 0, 11, false, true, false, QuitWait::kWaiting},
        {"stop waiting", true, false, 1, 10, false, true, false, QuitWait::kWaiting},
        {"idle, still running, no refresh yet", true, false, 0, 10, false, true, false, QuitWait::kWaiting},
        {"idle, still running after a refresh", true, false, 0, 11, false, true, false, QuitWait::kFailed},
        {"an error alert came", true, true, 0, 10, false, true, true, QuitWait::kFailed},
        {"stopped, installer busy", false, false, 0, 11, true, true, false, QuitWait::kWaiting},
        {"keeping servers, installer busy", true, false, 0, 11, true, false, false, QuitWait::kWaiting},
        {"keeping servers, installer done", true, false, 0, 11, false, false, true, QuitWait::kQuit},
    };
    for (const auto& c : cases) {
        ServerStatus status;
        status.mysql.running = c.running, status.busy = c.busy, status.queued = c.queued, status.tick = c.tick;
        EXPECT_EQ(ui::CheckQuitWait(status, c.installer, c.stopServers, 10, c.alert), c.wait) << c.name;
    }
}

TEST_F(DialogsTest, QuitQuestion_CancelAskAgainKeepOrStop) {
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    const Ids buttons = {"exit_stop", "exit_keep", "exit_wait", "exit_cancel"};
    ui::RequestQuit();
    Frames(3);
    EXPECT_EQ(ShownOf(buttons), (Ids{"exit_stop", "exit_keep", "exit_cancel"}));
    ASSERT_TRUE(ClickId("exit_cancel"));
    EXPECT_TRUE(ShownOf(buttons).empty() && !ui::State().quitDialogOpen && !ui::ShouldQuit());

    ui::RequestQuit();  // a later close asks again; Escape is Cancel
    Frames(3);
    EXPECT_TRUE(Shown("exit"));
    Escape();
    Frames(1);
    EXPECT_TRUE(!Shown("exit") && !ui::ShouldQuit());

    ui::RequestQuit();
    Frames(3);
    ASSERT_TRUE(ClickId("exit_keep"));
    EXPECT_TRUE(ui::ShouldQuit());
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0) << "the servers keep running";
}

TEST_F(DialogsTest, StopAndQuit_WaitsForTheStopThenQuits) {
    EditStatus([](ServerStatus& s) { s.mysql.running = true; });
    ui::RequestQuit();
    Frames(3);
    ASSERT_TRUE(ClickId("exit_stop"));
    Frames(2);
    EXPECT_EQ(Server::Instance().GetStatus().queued, 1);
    Server::Instance().StopAll();  // the same job: dropped
    EXPECT_EQ(Server::Instance().GetStatus().queued, 1);
    EXPECT_TRUE(ui::State().stopping && Shown("stopping") && !ui::ShouldQuit());
    EditStatus([](ServerStatus& s) { s.mysql.running = false, s.queued = 0, ++s.tick; });
    Frame();
    EXPECT_TRUE(ui::ShouldQuit());
}

TEST_F(DialogsTest, StopBeforeQuitting_QuitsOnceStopped_GivesUpOnceFailedAndTheNextCloseAsksAgain) {
    enum Outcome { kWaits, kQuits, kGivesUp };
    struct Step {
        std::function<void(ServerStatus&)> edit;  // as the worker and the monitor would publish
        bool errorAlert;
        Outcome outcome;
    };
    const auto taken = [](ServerStatus& s) { s.queued = 0, s.busy = true; };
    const auto done = [](ServerStatus& s) { s.queued = 0, s.busy = false; };  // the running flags not yet refreshed
    const auto pass = [](ServerStatus& s) { ++s.tick; };
    const auto stoppedPass = [](ServerStatus& s) { ++s.tick, s.apache.running = false; };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"stopped", {{taken, false, kWaits}, {done, false, kWaits}, {stoppedPass, false, kQuits}}},
        {"a monitor pass ending after the stop was queued",
         {{pass, false, kWaits}, {taken, false, kWaits}, {done, false, kWaits}, {stoppedPass, false, kQuits}}},
        {"still running after the pass that followed the stop",
         {{taken, false, kWaits}, {done, false, kWaits}, {pass, false, kGivesUp}}},
        {"an error alert", {{taken, true, kGivesUp}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        static const UiState kFresh;
        ui::State() = kFresh;
        ui::State().wizardAutoShown = true;
        Config::Instance().SetBool(setting::kAskCloseServerWhenExit, false);
        EditStatus([](ServerStatus& s) { s.apache.running = true, s.busy = false; });
        ui::RequestQuit();
        Frames(2);
        ASSERT_TRUE(ui::State().stopping && Shown("stopping"));
        Outcome outcome = kWaits;
        for (const Step& step : c.steps) {
            EditStatus(step.edit);
            if (step.errorAlert) Server::Instance().PushAlert("Apache did not stop", "still there", true, alert_action::kNone);
            Frames(3);
            outcome = ui::ShouldQuit() ? kQuits : ui::State().stopping ? kWaits : kGivesUp;
            ASSERT_EQ(outcome, step.outcome);
        }
        if (outcome != kGivesUp) continue;
        EXPECT_EQ(Shown("notice_ok"), c.steps.back().errorAlert) << "the alert shows once the wait is gone";
        if (c.steps.back().errorAlert) Escape();
        Config::Instance().SetBool(setting::kAskCloseServerWhenExit, true);
        ui::RequestQuit();
        Frames(3);
        EXPECT_TRUE(Shown("exit_stop"));
    }
}

TEST_F(DialogsTest, InstallerBusy_CloseAlwaysAsksAndQuitsOnlyOnceItHasFinished) {
    Config::Instance().SetBool(setting::kAskCloseServerWhenExit, false);
    HoldInstaller();
    ui::RequestQuit();
    Frames(3);
    EXPECT_EQ(ShownOf({"exit_stop", "exit_keep", "exit_wait", "exit_cancel"}), (Ids{"exit_wait", "exit_cancel"}));
    ASSERT_TRUE(ClickId("exit_wait"));
    Frames(3);
    EXPECT_TRUE(Shown("stopping") && !ui::ShouldQuit());
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0) << "no server to stop";
    ReleaseInstaller();
    Frames(2);
    EXPECT_TRUE(ui::ShouldQuit());
}

TEST_F(DialogsTest, InstallerBusyWithServers_KeepRunningStillWaitsForTheInstaller) {
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    HoldInstaller();
    ui::RequestQuit();
    Frames(3);
    ASSERT_TRUE(ClickId("exit_keep"));
    Frames(3);
    EXPECT_TRUE(ui::State().stopping && !ui::ShouldQuit());
    ReleaseInstaller();
    Frames(2);
    EXPECT_TRUE(ui::ShouldQuit());
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0);
}

TEST_F(DialogsTest, AlertDuringTheQuitQuestion_WaitsItsTurn) {
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    ui::RequestQuit();
    Frames(3);
    Server::Instance().PushAlert("Port 80 unavailable", "Port 80 is used.", true, alert_action::kApache);
    Frames(3);
    EXPECT_TRUE(Shown("exit_cancel") && !Shown("notice_ok"));
    ASSERT_TRUE(ClickId("exit_cancel"));
    Frames(2);
    EXPECT_TRUE(Shown("notice_ok") && Shown("notice_action"));
}

// ---- Alerts ----

TEST_F(DialogsTest, AlertActionsOpenTheirPagesOneAlertAtATime) {
    const struct {
        AlertAction action;
        Page page;  // -1: no action button
    } cases[] = {
        {alert_action::kNone, -1},          {alert_action::kComponents, page::kComponents},
        {alert_action::kApache, page::kApache}, {alert_action::kPhp, page::kPhp},
        {alert_action::kMySql, page::kMySql},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        ui::SetPage(page::kLogs);
        Server::Instance().PushAlert("Title", "%s%n message", c.action % 2 == 0, c.action);
        Frames(3);
        ASSERT_TRUE(Shown("notice_ok"));
        EXPECT_EQ(Shown("notice_action"), c.page >= 0);
        ASSERT_TRUE(ClickId(c.page >= 0 ? "notice_action" : "notice_ok"));
        EXPECT_EQ(ui::State().page, c.page >= 0 ? c.page : page::kLogs);
        EXPECT_TRUE(ui::State().alerts.empty());
    }
    Server::Instance().PushAlert("First", "one", false, alert_action::kNone);
    Server::Instance().PushAlert("Second", "two", true, alert_action::kPhp);
    Frames(3);
    ASSERT_EQ(ui::State().alerts.size(), 2u);
    EXPECT_TRUE(Shown("notice_ok") && !Shown("notice_action")) << "the first alert alone";
    Escape();
    Frames(2);
    ASSERT_EQ(ui::State().alerts.size(), 1u);
    EXPECT_EQ(ui::State().alerts.front().title, "Second");
    EXPECT_TRUE(Shown("notice_action"));
    ASSERT_TRUE(ClickId("notice_ok"));
    EXPECT_TRUE(ui::State().alerts.empty() && !Shown("notice"));
}

TEST_F(DialogsTest, OneEscapeClosesOneDialog) {
    bool confirmed = false;
    Server::Instance().PushAlert("Port 80 unavailable", "Port 80 is used.", true, alert_action::kNone);
    ui::RequestConfirm("Remove PHP 8.3.14?", "The folder is deleted.", "Remove", true, [&] { confirmed = true; });
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    ui::RequestQuit();
    ui::OpenUpdateDialog();
    Frames(3);
    // In the order they are drawn: the alert, the question, the quit dialog, the update dialog.
    for (const char* id : {"notice_ok", "confirm_cancel", "exit_cancel", "upd_close"}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(Shown(id));
        Escape();
        Frames(2);
        EXPECT_FALSE(Shown(id));
    }
    EXPECT_TRUE(ui::State().alerts.empty() && ui::State().confirms.empty() && !confirmed);
    EXPECT_FALSE(ui::State().quitDialogOpen || ui::State().updateDialogOpen || ui::ShouldQuit());
}

// ---- Update dialog ----

TEST_F(DialogsTest, UpdateDialog_EachCheckResultAndItsButtons) {
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    ui::OpenUpdateDialog();
    const Ids buttons = {"upd_check", "upd_page", "upd_go", "upd_close"};
    const struct {
        const char* name;
        std::string manifest;  // empty: not served
        ui::UpdateView view;
        Ids shown;
    } cases[] = {
        {"up to date", R"({"version": "4.0.0"})", ui::UpdateView::kUpToDate, {"upd_check", "upd_close"}},
        {"available", BrokenDownloadManifest("/dl/Zerva.exe"), ui::UpdateView::kAvailable, {"upd_go", "upd_close"}},
        {"no checksum", R"({"version": "4.1.0", "url": "http://127.0.0.1:1/Zerva.exe", "page": "https://example.org/r"})",
         ui::UpdateView::kManualOnly, {"upd_page", "upd_close"}},
        {"check error", "", ui::UpdateView::kCheckError, {"upd_check", "upd_close"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CheckManifest(c.manifest);
        EXPECT_EQ(ui::ClassifyUpdate(ui::State().updateCheck), c.view);
        EXPECT_EQ(ShownOf(buttons), c.shown);
        EXPECT_EQ(Shown("updaterow"), c.view == ui::UpdateView::kAvailable || c.view == ui::UpdateView::kManualOnly);
    }
    ASSERT_TRUE(ClickId("upd_check"));  // the error case: a forced check again
    ASSERT_TRUE(testkit::WaitFor([] { return updater::GetCheckState().done && !updater::GetCheckState().checking; }));
    EXPECT_EQ(RequestsFor("/m4/update.json"), 2u);

    CheckManifest(R"({"version": "4.1.0", "page": "https://example.org/r"})");
    ASSERT_TRUE(ClickId("upd_page"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].target, L"https://example.org/r");
    ui::RecordShellCallsForTests(nullptr);
    ASSERT_TRUE(ClickId("upd_close"));
    EXPECT_FALSE(ui::State().updateDialogOpen || Shown("update"));

    ASSERT_TRUE(ClickId("updaterow"));  // the sidebar's row opens it again
    EXPECT_TRUE(ui::State().updateDialogOpen && Shown("upd_page"));
}

TEST_F(DialogsTest, UpdateDialog_FailedDownloadCanBeTriedAgain) {
    ui::OpenUpdateDialog();
    server.Serve("/dl/Zerva.exe", "MZ not the announced file");
    CheckManifest(BrokenDownloadManifest("/dl/Zerva.exe"));
    for (size_t attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_TRUE(Enabled("upd_go"));
        ASSERT_TRUE(ClickId("upd_go"));
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
        Frames(2);
        EXPECT_EQ(updater::GetDownloadState().error, "checksum mismatch: the downloaded file was deleted");
        EXPECT_FALSE(ui::State().installRequested);
        EXPECT_EQ(RequestsFor("/dl/Zerva.exe"), attempt);
    }
    EXPECT_TRUE(Enabled("upd_go") && ui::State().updateDialogOpen);
}

TEST_F(DialogsTest, UpdateDialog_EscapeCancelsTheRunningDownload) {
    ui::OpenUpdateDialog();
    CheckManifest(BrokenDownloadManifest("/drip?n=1000000&ms=20"));
    ASSERT_TRUE(ClickId("upd_go"));
    Frames(2);  // the dialog grows by the progress rows
    EXPECT_TRUE(ui::State().installRequested && updater::GetDownloadState().downloading);
    const uitest::Item* close = ById("upd_close");
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->label.starts_with("Cancel###")) << close->label;
    EXPECT_FALSE(Enabled("upd_go"));
    Escape();
    EXPECT_FALSE(ui::State().updateDialogOpen || ui::State().installRequested);
    ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
    EXPECT_TRUE(updater::GetDownloadState().error.starts_with("cancelled"));
}

TEST_F(DialogsTest, UpdateDialog_ApplyWaitsForTheInstaller) {
    // The installed Zerva.exe (a stand-in) and a verified 4.1.0 to replace it.
    testkit::WriteFile(scratch / L"Zerva.exe", testkit::ReadFile(testkit::StandinPath(L"standin.exe")));
    const std::string next = testkit::ReadFile(testkit::StandinPath(L"zerva_next.exe"));
    testkit::WriteFile(scratch / L"hash.bin", next);
    server.Serve("/dl/Zerva.exe", next);
    CheckManifest(Format(R"({"version": "4.1.0", "url": "%s", "sha256": "%s"})", server.Url("/dl/Zerva.exe").c_str(),
                         Sha256File(scratch / L"hash.bin").value_or("").c_str()));
    HoldInstaller();
    ui::OpenUpdateDialog();
    Frames(2);
    ASSERT_TRUE(ClickId("upd_go"));
    ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
    ASSERT_TRUE(updater::GetDownloadState().ready) << updater::GetDownloadState().error;
    Frames(3);
    EXPECT_TRUE(ui::State().installRequested && Shown("update") && !ui::ShouldQuit()) << "the swap waits";
    EXPECT_EQ(testkit::ReadFile(scratch / L"Zerva.exe"), testkit::ReadFile(testkit::StandinPath(L"standin.exe")));

    ReleaseInstaller();
    Frame();
    EXPECT_TRUE(ui::ShouldQuit()) << ui::State().updateError;
    EXPECT_EQ(testkit::ReadFile(scratch / L"Zerva.exe"), next);
    // The new executable was started: let it end before its folder goes.
    const std::wstring report = scratch / L"zerva-restart.txt";
    ASSERT_TRUE(testkit::WaitFor([&] { return PathExists(report); }));
    const std::vector<std::string> lines = SplitLines(testkit::ReadFile(report));
    ASSERT_EQ(lines.size(), 3u);
    if (UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, DWORD(std::stoul(lines[2])))); process)
        ::WaitForSingleObject(process.Get(), 30000);
}

// ---- Toasts ----

TEST_F(DialogsTest, ToastsStackDownwardsAndLeaveTogether) {
    auto draw = [] { ui::DrawToasts(); };
    harness.RawFrame(draw);
    ui::Toast("Saved", false);
    ui::Toast("%s%n: not a format", true);
    ui::Toast("Third", false);
    harness.Frames(3, draw);
    const uitest::Item* toasts[3] = {harness.Find("##toast0"), harness.Find("##toast1"), harness.Find("##toast2")};
    ASSERT_TRUE(toasts[0] && toasts[1] && toasts[2]);
    for (int i = 1; i < 3; ++i) {
        EXPECT_GT(toasts[i]->min.y, toasts[i - 1]->max.y);
        EXPECT_FLOAT_EQ(toasts[i]->max.x, toasts[0]->max.x) << "right-aligned";
    }
    EXPECT_LT(toasts[0]->max.x, ImGui::GetIO().DisplaySize.x);
    EXPECT_TRUE(ui::IsBusy());

    while (ImGui::GetTime() + ImGui::GetIO().DeltaTime < ui::Toasts()[0].expiresAt) harness.Frames(1, draw);
    EXPECT_EQ(ui::Toasts().size(), 3u);
    harness.Frames(2, draw);
    EXPECT_TRUE(ui::Toasts().empty());
    EXPECT_EQ(harness.Find("##toast0"), nullptr);
    EXPECT_FALSE(ui::IsBusy()) << "the frame loop may rest again";
}

// ---- French ----

TEST_F(DialogsTest, FrameAndEveryDialogStateInFrench) {
    uitest::UntranslatedRecorder french;
    const struct {
        bool apache, busy;
        int32_t queued;
        const char* label;
    } headers[] = {{false, false, 0, ""}, {true, false, 0, ""}, {false, true, 0, ""}, {true, true, 2, "Arrêt %s%n"}};
    for (const auto& h : headers) {
        EditStatus([&](ServerStatus& s) {
            s.apache.running = h.apache, s.busy = h.busy, s.queued = h.queued, s.currentLabel = h.label;
        });
        Frames(2);
    }
    EditStatus([](ServerStatus& s) { s.apache.running = true, s.busy = false, s.queued = 0; });
    for (const bool open : {false, true}) {
        ui::State().consoleOpen = open;
        Frames(2);
    }
    for (AlertAction action = alert_action::kNone; action <= alert_action::kMySql; ++action) {
        Server::Instance().PushAlert("Titre", "Message", action % 2 == 1, action);
        Frames(3);
        EXPECT_TRUE(Shown("notice_ok")) << action;
        Escape();
    }

    // The quit question about the servers, then about servers and installer, the wait for both,
    // and the question about the installer alone.
    ui::RequestQuit();
    Frames(3);
    Escape();
    HoldInstaller();
    ui::RequestQuit();
    Frames(3);
    ASSERT_TRUE(ClickId("exit_stop"));
    Frames(3);
    EXPECT_TRUE(Shown("stopping"));
    Escape();
    EditStatus([](ServerStatus& s) { s.apache.running = false, s.queued = 0; });
    ui::RequestQuit();
    Frames(3);
    EXPECT_TRUE(Shown("exit_wait"));
    Escape();

    ui::Toast("Enregistré", false);
    ui::Toast("Échec", true);
    Frames(2);

    // The update dialog in each state, the installer's note included.
    ui::OpenUpdateDialog();
    for (const std::string& manifest : {std::string(), std::string(R"({"version": "4.0.0"})"),
                                        std::string(R"({"version": "4.1.0"})"), BrokenDownloadManifest("/dl/x.exe")}) {
        CheckManifest(manifest);
        EXPECT_TRUE(Shown("upd_close"));
    }
    ui::State().updateError = "impossible: %s%n";  // text from outside: never a format
    ASSERT_TRUE(ClickId("upd_go"));  // the download fails at once: 404
    ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
    Frames(2);
    CheckManifest(BrokenDownloadManifest("/drip?n=1000000&ms=20"));
    ASSERT_TRUE(ClickId("upd_go"));
    Frames(2);
    EXPECT_TRUE(updater::GetDownloadState().downloading);
    Config::Instance().Set(setting::kUpdateUrl, server.Url("/stall?n=100&first=0"));
    updater::StartCheck(true);
    Frames(2);
    EXPECT_EQ(ui::ClassifyUpdate(ui::State().updateCheck), ui::UpdateView::kChecking);
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

}  // namespace

#include "ui/dialogs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <tuple>
#include <utility>
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

using uitest::Ids;

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

    // An installer job that runs until ReleaseInstaller.
    void HoldInstaller() {
        installer::Enqueue("Installing PHP 8.3.14", [release = m_release] { release->wait(false); });
        // Taken by the worker, not only queued: the dialogs show the running job's title, and a
        // title arriving between frames would move the buttons under a click.
        ASSERT_TRUE(testkit::WaitFor([] { return installer::GetStatus().title == "Installing PHP 8.3.14"; }));
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
        Config::Instance().Set(setting::kUpdateUrl, server.Url(path));
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetCheckState().checking; }));
        updater::StartCheck(true);
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetCheckState().checking; }));
        Frames(2);
    }
    // The installed Zerva.exe (a stand-in) and a verified 4.1.0 to replace it, announced by a
    // finished check; returns the new executable's bytes.
    std::string PublishVerifiedUpdate() {
        testkit::WriteFile(scratch / L"Zerva.exe", testkit::ReadFile(testkit::StandinPath(L"standin.exe")));
        const std::string next = testkit::ReadFile(testkit::StandinPath(L"zerva_next.exe"));
        testkit::WriteFile(scratch / L"hash.bin", next);
        server.Serve("/dl/Zerva.exe", next);
        CheckManifest(Format(R"({"version": "4.1.0", "url": "%s", "sha256": "%s"})", server.Url("/dl/Zerva.exe").c_str(),
                             Sha256File(scratch / L"hash.bin").value_or("").c_str()));
        return next;
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

TEST(QuitLogic, CloseRequestQuitsAsksOrStopsFirst_TheWaitLastsWhileTheInstallerWorks) {
    using ui::QuitStart;
    const struct {
        bool running, workerBusy, installerBusy, ask;
        QuitStart start;
    } starts[] = {
        {false, false, false, true, QuitStart::kNow},  {false, false, false, false, QuitStart::kNow},
        {true, false, false, true, QuitStart::kAsk},   {false, true, false, true, QuitStart::kAsk},
        {true, false, false, false, QuitStart::kStopFirst}, {false, true, false, false, QuitStart::kStopFirst},
        {false, false, true, false, QuitStart::kAsk},  {true, false, true, false, QuitStart::kAsk},
    };
    for (const auto& c : starts)
        EXPECT_EQ(ui::DecideQuit(c.running, c.workerBusy, c.installerBusy, c.ask), c.start)
            << c.running << c.workerBusy << c.installerBusy << c.ask;
    // servers running, installer busy, servers stopped first -> the wait (the stop rules: below)
    using ui::QuitWait;
    const std::tuple<bool, bool, bool, QuitWait> waits[] = {
        {false, true, true, QuitWait::kWaiting},
        {true, true, false, QuitWait::kWaiting},
        {true, false, false, QuitWait::kQuit},
    };
    for (const auto& [running, installer, stopServers, wait] : waits) {
        ServerStatus status;
        status.mysql.running = running;
        EXPECT_EQ(ui::CheckQuitWait(status, installer, stopServers, 0, false), wait) << running << installer;
    }
}

TEST_F(DialogsTest, QuitQuestion_CancelAsksAgain_KeepQuits_StopQuitsOnceStopped) {
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    const Ids buttons = {"exit_stop", "exit_keep", "exit_wait", "exit_cancel"};
    for (const char* answer : {"exit_cancel", "exit_cancel", "exit_keep", "exit_stop"}) {
        SCOPED_TRACE(answer);
        ui::State().quitNow = false;
        ui::RequestQuit();
        Frames(3);
        EXPECT_EQ(ShownOf(buttons), (Ids{"exit_stop", "exit_keep", "exit_cancel"}));
        ASSERT_TRUE(ClickId(answer));
        EXPECT_TRUE(ShownOf(buttons).empty() && !ui::State().quitDialogOpen);
        EXPECT_EQ(ui::ShouldQuit(), answer == std::string("exit_keep"));
        EXPECT_EQ(Server::Instance().GetStatus().queued, answer == std::string("exit_stop")) << "the stop job";
    }
    EXPECT_TRUE(ui::State().stopping && Shown("stopping"));
    EditStatus([](ServerStatus& s) { s.apache.running = false, s.queued = 0, ++s.tick; });
    Frame();
    EXPECT_TRUE(ui::ShouldQuit());
}

TEST_F(DialogsTest, StopBeforeQuitting_QuitsOnceStopped_GivesUpOnceFailedAndTheNextCloseAsksAgain) {
    // What the worker and the monitor publish, step by step (kDone: the job ended, the running
    // flags not refreshed yet), and what the wait does then.
    enum Step { kPass, kTaken, kDone, kStoppedPass, kErrorAlert };
    enum Outcome { kWaits, kQuits, kGivesUp };
    const struct {
        const char* name;
        std::vector<std::pair<Step, Outcome>> steps;
    } cases[] = {
        {"stopped", {{kTaken, kWaits}, {kDone, kWaits}, {kStoppedPass, kQuits}}},
        {"a monitor pass ending after the stop was queued",
         {{kPass, kWaits}, {kTaken, kWaits}, {kDone, kWaits}, {kStoppedPass, kQuits}}},
        {"still running after the pass that followed the stop", {{kTaken, kWaits}, {kDone, kWaits}, {kPass, kGivesUp}}},
        {"an error alert", {{kTaken, kWaits}, {kErrorAlert, kGivesUp}}},
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
        for (const auto& [step, outcome] : c.steps) {
            if (step == kErrorAlert) Server::Instance().PushAlert("Apache did not stop", "", true, alert_action::kNone);
            EditStatus([step](ServerStatus& s) {
                if (step == kTaken || step == kDone) s.queued = 0, s.busy = step == kTaken;
                if (step == kPass || step == kStoppedPass) ++s.tick;
                if (step == kStoppedPass) s.apache.running = false;
            });
            Frames(3);
            ASSERT_EQ(ui::ShouldQuit() ? kQuits : ui::State().stopping ? kWaits : kGivesUp, outcome) << step;
        }
        if (ui::ShouldQuit()) continue;
        EXPECT_EQ(Shown("notice_ok"), c.steps.back().first == kErrorAlert) << "the alert shows once the wait is gone";
        if (Shown("notice_ok")) Escape();
        Config::Instance().SetBool(setting::kAskCloseServerWhenExit, true);
        ui::RequestQuit();
        Frames(3);
        EXPECT_TRUE(Shown("exit_stop"));
    }
}

TEST_F(DialogsTest, InstallerBusy_CloseAlwaysAsksAndQuitsOnlyOnceItHasFinished) {
    Config::Instance().SetBool(setting::kAskCloseServerWhenExit, false);
    HoldInstaller();
    const struct {
        bool apache;
        Ids shown;
        const char* answer;
    } cases[] = {
        {false, {"exit_wait", "exit_cancel"}, "exit_wait"},
        {true, {"exit_stop", "exit_keep", "exit_cancel"}, "exit_keep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        EditStatus([&](ServerStatus& s) { s.apache.running = c.apache; });
        ui::RequestQuit();
        Frames(3);
        EXPECT_EQ(ShownOf({"exit_stop", "exit_keep", "exit_wait", "exit_cancel"}), c.shown);
        ASSERT_TRUE(ClickId(c.answer));
        Frames(3);
        EXPECT_TRUE(ui::State().stopping && Shown("stopping") && !ui::ShouldQuit());
        if (c.apache) break;
        Escape();  // gives up quitting
    }
    ReleaseInstaller();
    Frames(2);
    EXPECT_TRUE(ui::ShouldQuit());
    EXPECT_EQ(Server::Instance().GetStatus().queued, 0) << "no server stopped";
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
        Server::Instance().PushAlert("Next", "next", false, alert_action::kNone);
        Frames(3);
        EXPECT_EQ(Shown("notice_action"), c.page >= 0);
        ASSERT_TRUE(ClickId(c.page >= 0 ? "notice_action" : "notice_ok"));
        EXPECT_EQ(ui::State().page, c.page >= 0 ? c.page : page::kLogs);
        Frames(2);
        ASSERT_EQ(ui::State().alerts.size(), 1u) << "the next alert, in the next frame";
        EXPECT_TRUE(ui::State().alerts.front().title == "Next" && Shown("notice_ok"));
        ASSERT_TRUE(ClickId("notice_ok"));
    }
}

TEST_F(DialogsTest, DialogsWaitTheirTurn_OneEscapeClosesOneDialog) {
    int confirmed = 0;
    const auto confirm = [&] { ui::RequestConfirm("Remove?", "Deleted.", "Remove", true, [&] { ++confirmed; }); };
    confirm();
    EditStatus([](ServerStatus& s) { s.apache.running = true; });
    ui::RequestQuit();
    ui::OpenUpdateDialog();
    Frames(3);
    Server::Instance().PushAlert("Port 80 unavailable", "Port 80 is used.", true, alert_action::kNone);
    confirm();
    // A dialog drawn later in the frame opens in the frame the one on screen closed.
    const Ids all = {"confirm_cancel", "exit_cancel", "upd_close", "notice_ok"};
    for (const char* id : {"confirm_cancel", "exit_cancel", "upd_close", "notice_ok", "confirm_cancel"}) {
        SCOPED_TRACE(id);
        Frames(2);
        EXPECT_EQ(ShownOf(all), Ids{id});
        Escape();
    }
    Frames(2);
    EXPECT_TRUE(ShownOf(all).empty() && ui::State().alerts.empty() && ui::State().confirms.empty() && !confirmed);
    EXPECT_FALSE(ui::State().quitDialogOpen || ui::State().updateDialogOpen || ui::ShouldQuit());

    // Escape held for a second, long past the key repeat's delay, still answers one alert only.
    for (const char* title : {"First", "Second", "Third"})
        Server::Instance().PushAlert(title, "", false, alert_action::kNone);
    Frames(2);
    ImGui::GetIO().AddKeyEvent(ImGuiKey_Escape, true);
    Frames(60);
    ImGui::GetIO().AddKeyEvent(ImGuiKey_Escape, false);
    Frames(2);
    ASSERT_EQ(ui::State().alerts.size(), 2u);
    EXPECT_TRUE(ui::State().alerts.front().title == "Second" && Shown("notice_ok"));
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

TEST_F(DialogsTest, UpdateDialog_AFailedDownloadIsTriedAgain_EscapeCancelsARunningOne) {
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

    CheckManifest(BrokenDownloadManifest("/drip?n=1000000&ms=20"));
    ASSERT_TRUE(ClickId("upd_go"));
    Frames(2);
    EXPECT_TRUE(ui::State().installRequested && updater::GetDownloadState().downloading && !Enabled("upd_go"));
    ASSERT_NE(ById("upd_close"), nullptr);
    EXPECT_TRUE(ById("upd_close")->label.starts_with("Cancel###"));
    Escape();
    EXPECT_FALSE(ui::State().updateDialogOpen || ui::State().installRequested);
    ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
    EXPECT_TRUE(updater::GetDownloadState().error.starts_with("cancelled"));
}

TEST_F(DialogsTest, UpdateDialog_ApplyWaitsForTheInstaller) {
    const std::string next = PublishVerifiedUpdate();
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

TEST_F(DialogsTest, UpdateDialog_AFailedApplyShowsItsErrorAndIsTriedAgainFromTheDownload) {
    PublishVerifiedUpdate();
    const std::string installed = testkit::ReadFile(scratch / L"Zerva.exe");
    // First the verified file goes missing before the swap (the installer holds the swap back
    // meanwhile); then the swap itself is refused.
    HoldInstaller();
    ui::OpenUpdateDialog();
    Frames(2);
    for (const std::string failure : {"Zerva.exe.new not found", "cannot rename Zerva.exe: "}) {
        SCOPED_TRACE(failure);
        const bool missing = failure == "Zerva.exe.new not found";
        if (!missing)
            updater::SetSwapMoveForTesting([](const std::wstring&, const std::wstring&, uint32_t) {
                ::SetLastError(ERROR_ACCESS_DENIED);
                return false;
            });
        ASSERT_TRUE(Enabled("upd_go") && ClickId("upd_go"));
        ASSERT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
        if (missing) {
            ASSERT_TRUE(updater::GetDownloadState().ready) << updater::GetDownloadState().error;
            ASSERT_TRUE(::DeleteFileW((scratch / L"Zerva.exe.new").c_str()));
            ReleaseInstaller();
        }
        Frames(2);
        updater::SetSwapMoveForTesting(nullptr);
        EXPECT_TRUE(ui::State().updateError.starts_with(failure)) << ui::State().updateError;
        EXPECT_TRUE(uitest::Contains(DrawnText(), failure) && Enabled("upd_go") && !ui::ShouldQuit());
        EXPECT_EQ(testkit::ReadFile(scratch / L"Zerva.exe"), installed);
    }
    EXPECT_EQ(RequestsFor("/dl/Zerva.exe"), 2u) << "each attempt downloads the file again";
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
    EXPECT_TRUE(toasts[1]->min.y > toasts[0]->max.y && toasts[2]->min.y > toasts[1]->max.y);
    EXPECT_TRUE(ui::IsBusy());
    while (ImGui::GetTime() + ImGui::GetIO().DeltaTime < ui::Toasts()[0].expiresAt) harness.Frames(1, draw);
    EXPECT_EQ(ui::Toasts().size(), 3u);
    harness.Frames(2, draw);
    EXPECT_TRUE(ui::Toasts().empty() && !harness.Find("##toast0"));
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

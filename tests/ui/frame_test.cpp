#include "ui/frame.h"

#include <gtest/gtest.h>

#include <functional>

#include "control/server.h"
#include "core/layout.h"
#include "core/log.h"
#include "imgui_internal.h"
#include "tests/ui/frame_fixture.h"
#include "ui/console.h"
#include "ui/shell.h"

namespace {

using uitest::Ids;

class FrameTest : public uitest::FrameTest {
protected:
    void MakeApacheFolder() {
        MakeFolder(ApacheDir() + L"\\httpd-2.4.62", {{"bin/httpd.exe", ""}});
        ui::RefreshInstalls(true);
    }
    // The navigation row of a page: "nav" under the page number, in the sidebar child.
    ImGuiID NavId(Page p) const {
        for (const std::string& label : harness.Labels())
            if (label.find("/##sidebar_") != std::string::npos) {
                const ImGuiID sidebar = harness.Find(label)->id;
                return ImHashStr("nav", 0, ImHashData(&p, sizeof p, sidebar));
            }
        return 0;
    }
    bool AnyLabelHas(std::string_view part) const {
        for (const std::string& label : harness.Labels())
            if (label.find(part) != std::string::npos) return true;
        return false;
    }
    static ImGuiWindow* ConsoleLines() {
        for (ImGuiWindow* window : GImGui->Windows)
            if (std::string_view(window->Name).find("##consolelines") != std::string_view::npos) return window;
        return nullptr;
    }
};

TEST_F(FrameTest, HeaderButtonsFollowTheServersAndQueueTheirJobs) {
    struct Case {
        const char* name;
        bool installed, apache, mysql, busy;
        int32_t queued;
        Ids shown, enabled;
        const char* click;           // null: nothing to click
        void (Server::*again)();     // queues the same job again: dropped when it is the one waiting
    };
    const Case cases[] = {
        {"nothing installed", false, false, false, false, 0, {"hdr_start"}, {}, nullptr, nullptr},
        {"installed, stopped", true, false, false, false, 0, {"hdr_start"}, {"hdr_start"}, "hdr_start",
         &Server::StartAll},
        {"Apache runs", true, true, false, false, 0, {"hdr_restart", "hdr_stop"}, {"hdr_restart", "hdr_stop"},
         "hdr_restart", &Server::RestartAll},
        {"only the database runs", true, false, true, false, 0, {"hdr_restart", "hdr_stop"},
         {"hdr_restart", "hdr_stop"}, "hdr_stop", &Server::StopAll},
        {"a job runs", true, true, true, true, 0, {"hdr_restart", "hdr_stop"}, {}, nullptr, nullptr},
        {"a job waits", true, false, false, false, 2, {"hdr_start"}, {}, nullptr, nullptr},
    };
    const Ids buttons = {"hdr_start", "hdr_restart", "hdr_stop"};
    int32_t jobs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.installed && ui::State().apaches.empty()) MakeApacheFolder();
        EditStatus([&](ServerStatus& s) {
            s.apache.running = c.apache, s.mysql.running = c.mysql, s.busy = c.busy, s.queued = c.queued;
        });
        Frames(2);
        EXPECT_EQ(ShownOf(buttons), c.shown);
        EXPECT_EQ(ShownOf(buttons, true), c.enabled);
        if (!c.click) continue;
        ASSERT_TRUE(ClickId(c.click));
        EXPECT_EQ(Server::Instance().GetStatus().queued, ++jobs);
        (Server::Instance().*c.again)();
        EXPECT_EQ(Server::Instance().GetStatus().queued, jobs) << "another job than the one expected";
        EXPECT_FALSE(Enabled(c.click)) << "disabled while its job waits";
    }
}

TEST_F(FrameTest, SidebarNavigatesAndOpensTheCreditPage) {
    std::vector<ui::ShellCall> calls;
    ui::RecordShellCallsForTests(&calls);
    Frames(2);
    for (Page p : {page::kSettings, page::kApache, page::kLogs, page::kDashboard, page::kComponents}) {
        ASSERT_TRUE(harness.Click(NavId(p), [] { ui::Frame(); })) << p;
        EXPECT_EQ(ui::State().page, p);
    }
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(ClickId("credit"));
    ui::RecordShellCallsForTests(nullptr);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Url && calls[0].target == L"https://github.com/ocornut/imgui");
}

// A page opened from another one starts where it was left (at the top the first time), never
// scrolled by the other page's amount.
TEST_F(FrameTest, EachPageKeepsItsOwnScrollPosition) {
    const auto pageWindow = [] {
        for (ImGuiWindow* window : GImGui->Windows)
            if (window->Active && std::string_view(window->Name).find("/##page_") != std::string_view::npos) return window;
        return static_cast<ImGuiWindow*>(nullptr);
    };
    ImGui::GetIO().DisplaySize = ImVec2(1200, 480);  // the Dashboard taller than the room left for it
    Frames(2);
    ImGuiWindow* dashboard = pageWindow();
    ASSERT_TRUE(dashboard && dashboard->ScrollMax.y > 40);
    ImGui::SetScrollY(dashboard, 40);
    Frames(2);
    // As the navigation and the pages' own buttons switch: the next frame draws the other page.
    for (const auto& [p, scroll] : {std::pair{page::kSettings, 0.0f}, {page::kDashboard, 40.0f}}) {
        ui::SetPage(p);
        Frame();
        ASSERT_NE(pageWindow(), nullptr);
        EXPECT_EQ(pageWindow()->Scroll.y, scroll) << p;
        Frames(2);
    }
}

TEST_F(FrameTest, ConsoleKeepsTheNewest4000Lines_FollowsTheEndUntilTheUserScrollsUp) {
    for (int i = 0; i < 4000; ++i) LogInfo(console::kApache, "GET /%n%s%d " + std::to_string(i));  // never a format
    Frames(3);
    const std::vector<LogEntry>& copy = ui::Console().lines;
    ImGuiWindow* lines = ConsoleLines();
    ASSERT_TRUE(lines && copy.size() == 4000u && lines->ScrollMax.y > 0);
    EXPECT_EQ(lines->Scroll.y, lines->ScrollMax.y) << "the first draw shows the end";
    // pixels above the bottom -> the view follows a new line, though the number of lines stays
    for (const auto& [above, follows] : {std::pair{5.0f, false}, {4.0f, true}}) {
        ImGui::SetScrollY(lines, lines->ScrollMax.y - above);
        Frames(2);
        const float scrolledTo = lines->Scroll.y;
        LogError(console::kMySql, "one more");
        Frames(3);
        EXPECT_EQ(lines->Scroll.y, follows ? lines->ScrollMax.y : scrolledTo) << above;
        EXPECT_EQ(lines->Scroll.y > scrolledTo, follows) << above;
        ASSERT_EQ(copy.size(), ui::ConsoleCopy::kMaxLines) << "the oldest line dropped";
        EXPECT_EQ(copy.back().seq - copy.front().seq, 3999u) << "each line once";
        EXPECT_EQ(copy.back().text, "one more");
    }
}

std::string g_clipboard;

TEST_F(FrameTest, ConsoleHeaderTogglesCopiesAndClears) {
    ImGui::GetIO().SetClipboardTextFn = [](void*, const char* text) { g_clipboard = text; };
    LogInfo(console::kPhp, "a line to copy");
    Frames(2);
    EXPECT_TRUE(AnyLabelHas("##consolelines"));
    for (const bool open : {false, true}) {
        ASSERT_TRUE(Click("##consolehdr"));
        EXPECT_EQ(ui::State().consoleOpen, open);
        EXPECT_EQ(Config::Instance().Get(setting::kConsoleOpen), open ? "1" : "0");
        EXPECT_EQ(AnyLabelHas("##consolelines"), open);
    }

    ASSERT_TRUE(ClickId("console_copy"));
    EXPECT_EQ(g_clipboard, LogBuffer::Instance().ToText());
    EXPECT_NE(g_clipboard.find("[PHP] a line to copy\r\n"), std::string::npos);

    std::vector<LogEntry> entries;
    const uint64_t last = LogBuffer::Instance().Snapshot(entries, 0);
    ASSERT_TRUE(ClickId("console_clear"));
    entries.clear();
    LogBuffer::Instance().Snapshot(entries, 0);
    EXPECT_TRUE(entries.empty() && ui::Console().lines.empty());
    LogInfo(console::kZerva, "alone");
    Frame();
    ASSERT_EQ(ui::Console().lines.size(), 1u);
    EXPECT_EQ(ui::Console().lines[0].seq, last + 1);
}

}  // namespace

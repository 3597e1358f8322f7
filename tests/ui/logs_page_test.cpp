// The Logs page on real files of a scratch root: the 512 KiB tail, following within about a
// second (and looking at the file no more than once a second), the selection when the list
// changes, emptying one log or all of them while the stand-in holds one open without sharing,
// the PHP session files, and the colour of each line.
#include "ui/pages/logs.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/layout.h"
#include "tests/ui/page_input.h"
#include "tests/ui/ui_fixture.h"
#include "ui/confirm.h"
#include "ui/pages/pages.h"
#include "ui/shell.h"

using uitest::ClickId;
using uitest::Enabled;
using uitest::FindId;
using uitest::ToastTexts;

namespace {

const uitest::Harness::Draw kPage = [] {
    ui::PageLogs();
    ui::DrawConfirmDialog();
};

class LogsPage : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui::RecordShellCallsForTests(&calls);
    }
    void TearDown() override {
        ui::RecordShellCallsForTests(nullptr);
        UiTest::TearDown();
    }
    // Log files a.log, b.log, ... under the root's logs folder, each with one line, offered in order.
    std::vector<std::wstring> MakeLogs(int count) {
        std::vector<std::wstring> paths;
        ui::State().logSources.clear();
        for (int i = 0; i < count; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ".log";
            paths.push_back(root / (L"logs\\" + Utf8ToWide(name)));
            testkit::WriteFile(paths.back(), "first line of " + name + "\n");
            ui::State().logSources.push_back({"Log " + name, paths.back()});
        }
        return paths;
    }
    void Draw(int frames = 2) {
        for (int i = 0; i < frames; ++i) harness.Frame(kPage);
    }
    bool ClickOn(std::string_view id) { return ClickId(harness, id, kPage); }
    // Opens the log list and picks the entry.
    bool Choose(const std::string& label, int index) {
        return harness.Click(uitest::IdInWindow(harness, "###root", "##logsel"), kPage) &&
               harness.Click(label + "##" + std::to_string(index), kPage);
    }
    // Frames drawn until the loaded log ends with the line (at most `limit`).
    int FramesUntilLastLine(const std::string& line, int limit = 200) {
        for (int n = 1; n <= limit; ++n) {
            Draw(1);
            if (!ui::CurrentLog().lines.empty() && ui::CurrentLog().lines.back() == line) return n;
        }
        return limit + 1;
    }
    static void Append(const std::wstring& path, const std::string& text) {
        testkit::WriteFile(path, testkit::ReadFile(path) + text);
    }

    std::vector<ui::ShellCall> calls;
};

// Holds the file through the stand-in program, open without sharing, as a running server may.
struct HeldByStandin {
    explicit HeldByStandin(const std::wstring& path) : standin(L"hold \"" + path + L"\"") {
        EXPECT_TRUE(standin.WaitReady());
    }
    testkit::WaitingStandin standin;
};

}  // namespace

TEST(LogsPageText, LineTone_FirstMatchingRuleOfTheLowerCaseText) {
    const std::pair<const char*, ui::LineTone> cases[] = {
        {"[Mon] [core:error] [pid 1] AH00112", ui::LineTone::Error},
        {"PHP Fatal error: oops", ui::LineTone::Error},
        {"[ssl:CRIT] gone", ui::LineTone::Error},
        {"PHP Warning: careful (an ERROR word wins)", ui::LineTone::Error},
        {"2024 [Warning] InnoDB", ui::LineTone::Warning},
        {"PHP Deprecated: old", ui::LineTone::Warning},
        {"[mpm_winnt:notice] AH00455", ui::LineTone::Notice},
        {"2024 [Note] ready for connections", ui::LineTone::Notice},
        {"127.0.0.1 - - \"GET / HTTP/1.1\" 200", ui::LineTone::Normal},
        {"", ui::LineTone::Normal},
    };
    for (const auto& [line, tone] : cases) EXPECT_EQ(ui::ToneOfLine(line), tone) << line;
}

TEST_F(LogsPage, NoSource_OnlyAHint) {
    Draw();
    EXPECT_FALSE(harness.Find(uitest::IdInWindow(harness, "###root", "##logsel")));
    EXPECT_FALSE(FindId(harness, "delsess") || FindId(harness, "delall"));
}

TEST_F(LogsPage, Tail_ALogOver512KiB_ShowsItsLast512KiBFromAWholeLine) {
    const auto paths = MakeLogs(1);
    std::string text;
    for (int i = 0; i < 60000; ++i) text += Format("line %06d of the log\n", i);  // 23 bytes each, 1.3 MiB
    testkit::WriteFile(paths[0], text);
    Draw();
    const ui::LoadedLog& log = ui::CurrentLog();
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.path, paths[0]);
    EXPECT_EQ(log.size, text.size());
    EXPECT_EQ(log.lines.back(), "line 059999 of the log");
    const size_t shownBytes = log.lines.size() * 23;
    EXPECT_LE(shownBytes, 524288u);
    EXPECT_GT(shownBytes, 524288u - 23);
    EXPECT_EQ(log.lines.front(), Format("line %06zu of the log", 60000 - log.lines.size()));
}

TEST_F(LogsPage, Follow_AppendedLineShownWithinASecond_TheFileLookedAtOncePerSecond) {
    const auto paths = MakeLogs(1);
    Draw();
    Append(paths[0], "second\n");
    EXPECT_LE(FramesUntilLastLine("second"), 62);  // a frame is 1/60 s of interface time
    // Just after a look: the next one is a second away.
    Append(paths[0], "third\n");
    const int frames = FramesUntilLastLine("third");
    EXPECT_GE(frames, 55);
    EXPECT_LE(frames, 62);
    // Follow off: nothing moves until Refresh.
    ASSERT_TRUE(ClickOn("follow"));
    Append(paths[0], "fourth\n");
    EXPECT_GT(FramesUntilLastLine("fourth", 150), 150);
    ASSERT_TRUE(ClickOn("logrefresh"));
    EXPECT_EQ(ui::CurrentLog().lines.back(), "fourth");
}

TEST_F(LogsPage, Selection_LoadsTheChoice_ClampedWhenTheListShrinks_ReloadedWhenItsPathChanges) {
    const auto paths = MakeLogs(3);
    Draw();
    EXPECT_EQ(ui::CurrentLog().path, paths[0]);
    ASSERT_TRUE(Choose("Log c.log", 2));
    EXPECT_EQ(ui::CurrentLog().path, paths[2]);
    EXPECT_EQ(ui::CurrentLog().lines, std::vector<std::string>{"first line of c.log"});
    ui::State().logSources.pop_back();  // the database build was removed
    Draw(1);
    EXPECT_EQ(ui::CurrentLog().path, paths[1]);
    const std::wstring moved = root / L"logs\\moved.log";
    testkit::WriteFile(moved, "moved\n");
    ui::State().logSources[1].path = moved;  // the list rebuilt with another file there
    Draw(1);
    EXPECT_EQ(ui::CurrentLog().path, moved);
    EXPECT_EQ(ui::CurrentLog().lines, std::vector<std::string>{"moved"});
}

TEST_F(LogsPage, Toolbar_EditorAndFolder_DisabledForAMissingFile) {
    const auto paths = MakeLogs(2);
    Draw();
    ASSERT_TRUE(Choose("Log a.log", 0));
    ASSERT_TRUE(ClickOn("logedit") && ClickOn("logfolder"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Editor && calls[0].target == paths[0]);
    EXPECT_TRUE(calls[1].kind == ui::ShellCall::Kind::Folder && calls[1].target == root / L"logs");
    ui::State().logSources[1].path = root / L"logs\\none.log";
    ASSERT_TRUE(Choose("Log b.log", 1));
    EXPECT_TRUE(ui::CurrentLog().lines.empty());
    EXPECT_FALSE(Enabled(harness, "logedit") || Enabled(harness, "logclear"));
    EXPECT_TRUE(Enabled(harness, "logfolder"));
    ui::State().logSources[1].path.clear();  // a database build whose error log was not found
    Draw(1);
    EXPECT_FALSE(Enabled(harness, "logfolder") || Enabled(harness, "logedit") || Enabled(harness, "logclear"));
}

TEST_F(LogsPage, EmptyOne_TheFileEmptied_OneHeldWithoutSharingIsInUse) {
    const auto paths = MakeLogs(1);
    Append(paths[0], "second\n");
    Draw();
    ASSERT_TRUE(ClickOn("logclear"));
    EXPECT_EQ(FileSize(paths[0]), 0u);
    EXPECT_TRUE(ui::CurrentLog().lines.empty());
    EXPECT_EQ(ToastTexts(), std::vector<std::string>{"Log file emptied"});

    Append(paths[0], "kept\n");
    ASSERT_TRUE(ClickOn("logrefresh"));
    ui::Toasts().clear();
    {
        HeldByStandin held(paths[0]);
        ASSERT_TRUE(ClickOn("logclear"));
        EXPECT_EQ(FileSize(paths[0]), 5u);
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{"! The file is in use: stop the server first"});
    }
    EXPECT_EQ(testkit::ReadFile(paths[0]), "kept\n");
}

TEST_F(LogsPage, EmptyAll_OnlyWhileBothServersAreStopped_EveryFileTried_TheHeldOneNamed) {
    const auto paths = MakeLogs(3);
    ui::State().logSources.push_back({"Log missing", root / L"logs\\missing.log"});
    for (const char* name : {"sess_1", "sess_2", "keep.txt"}) testkit::WriteFile(SessionsDir() + L"\\" + Utf8ToWide(name), "x");
    // Apache running, database running -> "Empty all the logs" enabled.
    const std::tuple<bool, bool, bool> cases[] = {{true, false, false}, {false, true, false}, {false, false, true}};
    for (const auto& [apache, mysql, enabled] : cases) {
        ui::State().server.apache.running = apache;
        ui::State().server.mysql.running = mysql;
        Draw();
        EXPECT_EQ(Enabled(harness, "delall"), enabled) << apache << mysql;
    }
    {
        HeldByStandin held(paths[1]);
        ASSERT_TRUE(ClickOn("delall"));
        ASSERT_TRUE(ClickOn("confirm_ok"));
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{"! These log files are in use and were not emptied: b.log"});
        EXPECT_TRUE(FileSize(paths[0]) == 0 && FileSize(paths[2]) == 0);
        EXPECT_GT(FileSize(paths[1]), 0u);
        EXPECT_EQ(ListFiles(SessionsDir(), "*"), std::vector<std::string>{"keep.txt"});
        EXPECT_FALSE(PathExists(root / L"logs\\missing.log"));
    }
    ui::Toasts().clear();
    ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
    EXPECT_EQ(ToastTexts(), std::vector<std::string>{"Logs emptied"});
    EXPECT_EQ(FileSize(paths[1]), 0u);
}

TEST_F(LogsPage, DeleteSessions_OnlySessionFilesCounted) {
    MakeLogs(1);
    for (const char* name : {"sess_abc", "sess_def", "other.txt"}) testkit::WriteFile(SessionsDir() + L"\\" + Utf8ToWide(name), "x");
    Draw();
    for (const char* toast : {"2 session files deleted", "0 session files deleted"}) {
        ui::Toasts().clear();
        ASSERT_TRUE(ClickOn("delsess"));
        EXPECT_EQ(ToastTexts(), std::vector<std::string>{toast});
    }
    EXPECT_EQ(ListFiles(SessionsDir(), "*"), std::vector<std::string>{"other.txt"});
}

TEST_F(LogsPage, French_EveryStateOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    const auto paths = MakeLogs(2);
    ui::State().logSources[1].path = root / L"logs\\none.log";
    Draw();
    for (const char* id : {"logrefresh", "logcopy", "logedit", "logfolder", "logclear"})
        ASSERT_TRUE(harness.Hover(FindId(harness, id)->label, kPage)) << id;
    ASSERT_TRUE(ClickOn("logclear") && ClickOn("delsess"));
    testkit::WriteFile(paths[0], "");
    ASSERT_TRUE(ClickOn("logrefresh"));
    ASSERT_TRUE(Choose("Log b.log", 1));
    {
        HeldByStandin held(paths[0]);
        ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
        ASSERT_TRUE(Choose("Log a.log", 0));
        ASSERT_TRUE(ClickOn("logclear"));
    }
    ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

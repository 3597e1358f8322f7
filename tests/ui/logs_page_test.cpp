// The Logs page on real files of a scratch root, drawn alone; a file a server holds open without
// sharing is held by the stand-in program.
#include "ui/pages/logs.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/layout.h"
#include "tests/ui/page_input.h"
#include "ui/pages/pages.h"

using Strings = std::vector<std::string>;

namespace {

class LogsPage : public uitest::PageAlone {
protected:
    LogsPage() : PageAlone(ui::PageLogs) {}
    // Log files a.log, b.log, ... under the root's logs folder, each with one line, offered in order.
    std::vector<std::wstring> MakeLogs(int count) {
        std::vector<std::wstring> paths;
        for (int i = 0; i < count; ++i) {
            const std::string name = std::string(1, char('a' + i)) + ".log";
            paths.push_back(root / (L"logs\\" + Utf8ToWide(name)));
            testkit::WriteFile(paths.back(), "first line of " + name + "\n");
            ui::State().logSources.push_back({"Log " + name, paths.back()});
        }
        return paths;
    }
    bool Choose(const std::string& label, int index) { return PageAlone::Choose("###root", "##logsel", label, index); }
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
    static Strings Toasts() {
        Strings texts = uitest::ToastTexts();
        ui::Toasts().clear();
        return texts;
    }
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
    using enum ui::LineTone;
    const std::pair<const char*, ui::LineTone> cases[] = {
        {"[Mon] [core:error] [pid 1] AH00112", Error}, {"PHP Fatal error: oops", Error}, {"[ssl:CRIT] gone", Error},
        {"PHP Warning: careful (an ERROR word wins)", Error}, {"2024 [Warning] InnoDB", Warning},
        {"PHP Deprecated: old", Warning}, {"[mpm_winnt:notice] AH00455", Notice}, {"2024 [Note] ready", Notice},
        {"127.0.0.1 - - \"GET / HTTP/1.1\" 200", Normal}, {"", Normal}};
    for (const auto& [line, tone] : cases) EXPECT_EQ(ui::ToneOfLine(line), tone) << line;
}

TEST_F(LogsPage, TailOfALogOver512KiB_FollowedWithinASecond_TheFileLookedAtOncePerSecond) {
    const auto paths = MakeLogs(1);
    std::string text;
    for (int i = 0; i < 60000; ++i) text += Format("line %06d of the log\n", i);  // 23 bytes each, 1.3 MiB
    testkit::WriteFile(paths[0], text);
    Draw();
    const ui::LoadedLog& log = ui::CurrentLog();
    EXPECT_TRUE(log.path == paths[0] && log.size == text.size());
    const size_t shownBytes = log.lines.size() * 23;
    EXPECT_LE(shownBytes, 524288u);
    EXPECT_GT(shownBytes, 524288u - 23);
    EXPECT_EQ(log.lines.front(), Format("line %06zu of the log", 60000 - log.lines.size()));
    EXPECT_EQ(log.lines.back(), "line 059999 of the log");

    Append(paths[0], "second\n");
    EXPECT_LE(FramesUntilLastLine("second"), 62);  // a frame is 1/60 s of interface time
    Append(paths[0], "third\n");  // just after a look: the next one is a second away
    const int frames = FramesUntilLastLine("third");
    EXPECT_TRUE(frames >= 55 && frames <= 62) << frames;
    ASSERT_TRUE(ClickOn("follow"));
    Append(paths[0], "fourth\n");
    EXPECT_GT(FramesUntilLastLine("fourth", 150), 150);
    ASSERT_TRUE(ClickOn("logrefresh"));
    EXPECT_EQ(ui::CurrentLog().lines.back(), "fourth");
}

TEST_F(LogsPage, Selection_LoadsTheChoice_ClampedWhenTheListShrinks_ReloadedWhenItsPathChanges) {
    Draw();  // no source: a hint alone
    EXPECT_FALSE(harness.Find(uitest::IdInWindow(harness, "###root", "##logsel")) || FindId(harness, "delsess"));
    const auto paths = MakeLogs(3);
    Draw();
    EXPECT_EQ(ui::CurrentLog().path, paths[0]);
    ASSERT_TRUE(ClickOn("logedit") && ClickOn("logfolder"));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].kind == ui::ShellCall::Kind::Editor && calls[0].target == paths[0]);
    EXPECT_TRUE(calls[1].kind == ui::ShellCall::Kind::Folder && calls[1].target == root / L"logs");
    ASSERT_TRUE(Choose("Log c.log", 2));
    EXPECT_EQ(ui::CurrentLog().lines, Strings{"first line of c.log"});
    ui::State().logSources.pop_back();  // the database build was removed
    Draw(1);
    EXPECT_EQ(ui::CurrentLog().path, paths[1]);
    ui::State().logSources[1].path = root / L"logs\\none.log";  // the list rebuilt with another file there
    Draw(1);
    EXPECT_EQ(ui::CurrentLog().path, root / L"logs\\none.log");
    EXPECT_FALSE(On("logedit") || On("logclear") || !On("logfolder"));
    ui::State().logSources[1].path.clear();  // a database build whose error log was not found
    Draw(1);
    EXPECT_FALSE(On("logfolder") || On("logedit") || On("logclear"));
}

TEST_F(LogsPage, Emptying_OneLogOrAllWhileBothServersAreStopped_HeldFilesNamed_SessionFilesCounted) {
    const auto paths = MakeLogs(3);
    ui::State().logSources.push_back({"Log missing", root / L"logs\\missing.log"});
    for (const char* name : {"sess_1", "sess_2", "keep.txt"}) testkit::WriteFile(SessionsDir() + L"\\" + Utf8ToWide(name), "x");
    Draw();
    for (const char* toast : {"2 session files deleted", "0 session files deleted"}) {
        ASSERT_TRUE(ClickOn("delsess"));
        EXPECT_EQ(Toasts(), Strings{toast});
    }
    {
        HeldByStandin held(paths[0]);
        ASSERT_TRUE(ClickOn("logclear"));
        EXPECT_EQ(Toasts(), Strings{"! The file is in use: stop the server first"});
    }
    EXPECT_EQ(testkit::ReadFile(paths[0]), "first line of a.log\n");
    ASSERT_TRUE(ClickOn("logclear"));
    EXPECT_TRUE(FileSize(paths[0]) == 0 && ui::CurrentLog().lines.empty());
    EXPECT_EQ(Toasts(), Strings{"Log file emptied"});

    // Apache running, database running -> "Empty all the logs" enabled.
    const std::tuple<bool, bool, bool> states[] = {{true, false, false}, {false, true, false}, {false, false, true}};
    for (const auto& [apache, mysql, enabled] : states) {
        ui::State().server.apache.running = apache;
        ui::State().server.mysql.running = mysql;
        Draw();
        EXPECT_EQ(On("delall"), enabled) << apache << mysql;
    }
    testkit::WriteFile(SessionsDir() + L"\\sess_3", "x");
    {
        HeldByStandin held(paths[1]);
        ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
        EXPECT_EQ(Toasts(), Strings{"! These log files are in use and were not emptied: b.log"});
    }
    EXPECT_TRUE(FileSize(paths[2]) == 0 && FileSize(paths[1]) > 0 && !PathExists(root / L"logs\\missing.log"));
    EXPECT_EQ(ListFiles(SessionsDir(), "*"), Strings{"keep.txt"});
    ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
    EXPECT_EQ(Toasts(), Strings{"Logs emptied"});
    EXPECT_EQ(FileSize(paths[1]), 0u);
}

// A folder where a log goes shows as one, with no size and no lines, and is not offered to empty.
// One that takes a log's place after its load is refused by name, not as a file in use; emptying
// all the logs passes it by, as it does a missing file.
TEST_F(LogsPage, AFolderInALogsPlace_ShownAsAFolder_NeitherEmptiedNorCalledInUse) {
    const auto paths = MakeLogs(1);
    const std::wstring folder = root / L"logs\\folder.log";
    ASSERT_TRUE(EnsureDirectory(folder + L"\\inside"));
    ui::State().logSources.push_back({"Log folder", folder});
    Draw();
    ASSERT_TRUE(ClickOn("follow") && Choose("Log folder", 1));   // no reload of its own in between
    const std::string text = harness.DrawnText(draw);
    EXPECT_TRUE(ui::CurrentLog().folder && uitest::Contains(text, "(this is a folder, not a log file)")) << text;
    EXPECT_TRUE(uitest::Contains(text, WideToUtf8(folder)) && !uitest::Contains(text, WideToUtf8(folder) + "  \xC2\xB7"))
        << "no size: " << text;
    EXPECT_TRUE(!On("logclear") && !On("logedit") && On("logfolder"));
    EXPECT_EQ(ui::TruncateLogFile(folder), ui::TruncateResult::Folder);

    ASSERT_TRUE(Choose("Log a.log", 0) && RemoveTree(paths[0]) && EnsureDirectory(paths[0]));
    ASSERT_TRUE(ClickOn("logclear"));
    EXPECT_EQ(Toasts(), Strings{"! This is a folder, not a log file: there is nothing to empty"});
    EXPECT_TRUE(ui::CurrentLog().folder && !On("logclear"));
    ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
    EXPECT_EQ(Toasts(), Strings{"Logs emptied"});
    EXPECT_TRUE(IsDirectory(folder + L"\\inside") && IsDirectory(paths[0]));
}

TEST_F(LogsPage, French_EveryStateOfThePage) {
    uitest::UntranslatedRecorder french;
    Draw();
    const auto paths = MakeLogs(2);
    ui::State().logSources[1].path = root / L"logs\\none.log";
    Draw();
    for (const char* id : {"logrefresh", "logcopy", "logedit", "logfolder", "logclear"})
        ASSERT_TRUE(harness.Hover(FindId(harness, id)->label, draw)) << id;
    ASSERT_TRUE(ClickOn("logclear") && ClickOn("delsess"));
    ASSERT_TRUE(ClickOn("logrefresh") && Choose("Log b.log", 1));
    {
        HeldByStandin held(paths[0]);
        ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
        ASSERT_TRUE(Choose("Log a.log", 0) && ClickOn("logclear"));
    }
    ASSERT_TRUE(ClickOn("delall") && ClickOn("confirm_ok"));
    EXPECT_EQ(uitest::UntranslatedRecorder::Missing(), std::set<std::string>{});
}

// The entry of zerva.exe: the mode switch, the root folder from --root, ZERVA_ROOT or the
// executable's folder, the settings and language, and the exit code 3.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/version.h"
#include "tests/app/app_fixture.h"

using namespace apptest;

namespace {

// A fresh root: an empty folder, no settings, no layout yet.
struct FreshRoot {
    testkit::ScratchDir dir;
    std::string Utf8() const { return dir.Utf8(); }
    std::vector<std::string> Block() const { return StatusBlock(Utf8(), "-  stopped", "-", "-  stopped"); }
};

const std::string kNoWindow =
    std::string("Zerva ") + kZervaVersion +
    ": the window is not available yet; run \"zerva.exe --cli status\" or another --cli command.";

}  // namespace

TEST(Entry, FreshRoot_LayoutAndTheExactStatusBlock_WithOrWithoutTheWordStatus) {
    for (const wchar_t* args : {L"--cli", L"--cli status"}) {
        FreshRoot root;
        const ZervaRun run = RunExe(ZervaExe(), L"--root \"" + root.dir.Path() + L"\" " + args);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.crlf) << run.output;
        EXPECT_EQ(run.lines, root.Block()) << run.output;
        for (const wchar_t* folder : {L"bin", L"www", L"phpapps", L"temp/sessions", L"temp/downloads"})
            EXPECT_TRUE(IsDirectory(root.dir / folder)) << WideToUtf8(folder);
    }
}

TEST(Entry, ModeAndRootChoice) {
    FreshRoot first, second, env, exeDir;
    // "--CLI" is not the switch; "--cli" anywhere is, and every later word is a command word.
    ZervaRun run = RunExe(ZervaExe(), L"--CLI --root \"" + first.dir.Path() + L"\"");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.lines, std::vector<std::string>{kNoWindow});
    run = RunExe(ZervaExe(), L"--root \"" + first.dir.Path() + L"\" --cli --root \"" + second.dir.Path() + L"\"");
    EXPECT_EQ(run.exitCode, 2u);
    std::vector<std::string> expected = {"unknown command: --root"};
    for (const auto& line : second.Block()) expected.push_back(line);   // the last --root wins
    EXPECT_EQ(run.lines, expected);

    // --root as the last argument has no value: ZERVA_ROOT is used, read whole however long
    // (every "\." is folded away when the path is made absolute).
    std::wstring longRoot = env.dir.Path();
    while (longRoot.size() < 1200) longRoot += L"\\.";
    run = RunExe(ZervaExe(), L"--cli --root", {{L"ZERVA_ROOT", longRoot}});
    EXPECT_EQ(run.exitCode, 2u);   // "--root" is the command word
    EXPECT_EQ(Tail(run), env.Block());

    // Without either, the executable's own folder.
    ASSERT_TRUE(CopyFileTo(ZervaExe(), exeDir.dir / L"zerva.exe", true));
    run = RunExe(exeDir.dir / L"zerva.exe", L"--cli");
    EXPECT_EQ(run.lines, exeDir.Block());
}

TEST(Entry, RootNotWritable_Exit3AndNothingPrinted) {
    testkit::ScratchDir dir;
    testkit::WriteFile(dir / L"file", "x");
    // Under Wine a read-only folder still passes the write test when run as root: a missing
    // folder and a regular file stand in for an unwritable one.
    for (const std::wstring& root : {dir / L"missing", dir / L"file"}) {
        const ZervaRun run = RunExe(ZervaExe(), L"--cli status --root \"" + root + L"\"");
        EXPECT_EQ(run.exitCode, 3u);
        EXPECT_EQ(run.output, "");
    }
}

TEST(Entry, UpdatedFrom_LoggedInTheLanguageOfTheSettingsOrOption) {
    FreshRoot root;
    testkit::WriteFile(root.dir / L"zerva.ini", "LANGUAGE = \"fr\"\r\n");
    const std::wstring args = L"--updated-from 3.9.1 --root \"" + root.dir.Path() + L"\" --cli";
    ZervaRun run = RunExe(ZervaExe(), args);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0], std::string("OK    [Zerva] Zerva mis à jour de la version 3.9.1 vers la ") + kZervaVersion + ".");
    run = RunExe(ZervaExe(), L"--lang en " + args);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines[0], std::string("OK    [Zerva] Zerva updated from 3.9.1 to ") + kZervaVersion + ".");
}

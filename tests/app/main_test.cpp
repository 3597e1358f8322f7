// The entry of zerva.exe: the mode switch, the root folder from --root, ZERVA_ROOT or the
// executable's folder, the settings and language, and the exit code 3.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/version.h"
#include "tests/app/app_fixture.h"

using namespace apptest;

namespace {
std::wstring Root(const testkit::ScratchDir& dir) { return L"--root \"" + dir.Path() + L"\" "; }
}  // namespace

TEST(Entry, FreshRoot_LayoutAndStatusBlock_ModeSwitch) {
    for (const wchar_t* args : {L"--cli", L"--cli status"}) {
        testkit::ScratchDir root;
        const ZervaRun run = RunExe(ZervaExe(), Root(root) + args);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.lines, EmptyBlock(root.Utf8())) << run.output;
        for (const wchar_t* folder : {L"bin", L"www", L"phpapps", L"temp/sessions", L"temp/downloads"})
            EXPECT_TRUE(IsDirectory(root / folder)) << WideToUtf8(folder);
    }
    // "--CLI" is not the switch.
    testkit::ScratchDir root;
    const ZervaRun run = RunExe(ZervaExe(), Root(root) + L"--CLI");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.lines, std::vector<std::string>{std::string("Zerva ") + kZervaVersion +
                                                  ": the window is not available yet; run \"zerva.exe --cli status\" "
                                                  "or another --cli command."});
}

TEST(Entry, RootFromTheLastRootOption_ThenALongZervaRoot_ThenTheExecutablesFolder) {
    testkit::ScratchDir first, second, env, exeDir;
    // Words after "--cli" are command words, and the last --root wins; --cache makes its folder.
    ZervaRun run = RunExe(ZervaExe(), Root(first) + L"--cache \"" + (first / L"dl") + L"\" --cli " + Root(second));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(IsDirectory(first / L"dl") && !IsDirectory(first / L"bin"));
    EXPECT_EQ(Head(run), std::vector<std::string>{"unknown command: --root"});
    EXPECT_EQ(Tail(run), EmptyBlock(second.Utf8()));
    // --root as the last argument has no value. ZERVA_ROOT is read whole however long, its "\."
    // folded when it is made absolute.
    std::wstring longRoot = env.Path();
    while (longRoot.size() < 1200) longRoot += L"\\.";
    run = RunExe(ZervaExe(), L"--cli status --root", {{L"ZERVA_ROOT", longRoot}});
    EXPECT_EQ(run.lines, EmptyBlock(env.Utf8()));
    ASSERT_TRUE(CopyFileTo(ZervaExe(), exeDir / L"zerva.exe", true));
    run = RunExe(exeDir / L"zerva.exe", L"--cli");
    EXPECT_EQ(run.lines, EmptyBlock(exeDir.Utf8()));
}

TEST(Entry, RootNotWritable_Exit3AndNothingPrinted) {
    testkit::ScratchDir dir;
    testkit::WriteFile(dir / L"file", "x");
    // Run as root under Wine a read-only folder passes the write test: missing paths and files stand in.
    for (const std::wstring& root : {dir / L"missing", dir / L"file"}) {
        const ZervaRun run = RunExe(ZervaExe(), L"--cli status --root \"" + root + L"\"");
        EXPECT_EQ(run.exitCode, 3u);
        EXPECT_EQ(run.output, "");
    }
}

TEST(Entry, UpdatedFrom_LoggedInTheLanguageOfTheSettingsOrOption) {
    testkit::ScratchDir root;
    testkit::WriteFile(root / L"zerva.ini", "LANGUAGE = \"fr\"\r\n");
    const std::wstring args = L"--updated-from 3.9.1 " + Root(root) + L"--cli";
    EXPECT_EQ(RunExe(ZervaExe(), args).lines.at(0),
              std::string("OK    [Zerva] Zerva mis à jour de la version 3.9.1 vers la ") + kZervaVersion + ".");
    EXPECT_EQ(RunExe(ZervaExe(), L"--lang en " + args).lines.at(0),
              std::string("OK    [Zerva] Zerva updated from 3.9.1 to ") + kZervaVersion + ".");
}

TEST(Entry, Resources_IconsLogoManifestAndVersion) {
    EXPECT_EQ(FileVersion(ZervaExe()), (uint64_t(ZERVA_VERSION_MAJOR) << 48) | (uint64_t(ZERVA_VERSION_MINOR) << 32) |
                                           (uint64_t(ZERVA_VERSION_PATCH) << 16));
    const HMODULE exe = ::LoadLibraryExW(ZervaExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr);
    for (int icon : {101, 102, 103, 104}) EXPECT_NE(::FindResourceW(exe, MAKEINTRESOURCEW(icon), RT_GROUP_ICON), nullptr) << icon;
    HRSRC logo = ::FindResourceW(exe, MAKEINTRESOURCEW(201), RT_RCDATA);
    HRSRC manifest = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(logo && manifest);
    const std::string_view png(static_cast<const char*>(::LockResource(::LoadResource(exe, logo))), 8);
    EXPECT_EQ(png, "\x89PNG\r\n\x1a\n");
    const std::string_view text(static_cast<const char*>(::LockResource(::LoadResource(exe, manifest))),
                                ::SizeofResource(exe, manifest));
    EXPECT_TRUE(text.find("PerMonitorV2") != text.npos && text.find("Microsoft.Windows.Common-Controls") != text.npos);
    ::FreeLibrary(exe);
}

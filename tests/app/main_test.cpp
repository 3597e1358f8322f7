// The entry of zerva.exe: the mode switch, the root folder from --root, ZERVA_ROOT or the
// executable's folder, the settings and language, and the exit code 3.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/online.h"
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
    // "--CLI" is not the switch: the window road takes it (here its screenshot mode, which ends
    // by itself), and prints nothing.
    testkit::ScratchDir root;
    const ZervaRun run = RunExe(ZervaExe(), Root(root) + L"--CLI --screenshot \"" + (root / L"shot.png") + L"\"",
                                {{kOnlineBaseVariable, ClosedOnlineBase()}});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(PathExists(root / L"shot.png"));
}

TEST(Entry, RootFromTheLastRootOption_ThenALongZervaRoot_ThenTheExecutablesFolder_Exit3WhenNotWritable) {
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
    // Not writable, exit 3 before anything is printed. Run as root under Wine a read-only folder
    // passes the write test: a missing path and a regular file stand in.
    testkit::WriteFile(first / L"file", "x");
    for (const std::wstring& root : {first / L"missing", first / L"file"}) {
        run = RunExe(ZervaExe(), L"--cli status --root \"" + root + L"\"");
        EXPECT_TRUE(run.exitCode == 3u && run.output.empty()) << run.exitCode << run.output;
    }
}

TEST(Entry, UpdatedFrom_LoggedInTheLanguageOfTheSettingsOrOption) {
    testkit::ScratchDir root;
    testkit::WriteFile(root / L"zerva.ini", "LANGUAGE = \"fr\"\r\n");
    const std::wstring args = L"--updated-from 3.9.1 " + Root(root) + L"--cli";
    EXPECT_EQ(RunExe(ZervaExe(), args).lines.at(0),
              std::string("OK    [Zerva] Zerva mis à jour de 3.9.1 vers ") + kZervaVersion + ".");
    EXPECT_EQ(RunExe(ZervaExe(), L"--lang en " + args).lines.at(0),
              std::string("OK    [Zerva] Zerva updated from 3.9.1 to ") + kZervaVersion + ".");
}

TEST(Entry, Resources_IconsLogoManifestAndVersion) {
    EXPECT_EQ(FileVersion(ZervaExe()), uint64_t(ZERVA_VERSION_MAJOR) << 48 | uint64_t(ZERVA_VERSION_MINOR) << 32 |
                                           uint64_t(ZERVA_VERSION_PATCH) << 16);
    const HMODULE exe = ::LoadLibraryExW(ZervaExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const auto resource = [&](int id, const wchar_t* type) {
        const HRSRC found = ::FindResourceW(exe, MAKEINTRESOURCEW(id), type);
        return found ? std::string(static_cast<const char*>(::LockResource(::LoadResource(exe, found))),
                                   ::SizeofResource(exe, found)) : std::string();
    };
    for (int icon : {101, 102, 103, 104}) EXPECT_NE(resource(icon, RT_GROUP_ICON), "") << icon;
    EXPECT_TRUE(StartsWith(resource(201, RT_RCDATA), "\x89PNG\r\n\x1a\n"));
    const std::string manifest = resource(1, RT_MANIFEST);
    EXPECT_TRUE(manifest.find("PerMonitorV2") != manifest.npos && manifest.find("Common-Controls") != manifest.npos);
    // Long paths for the calls that take no extended path, where the system has them switched on.
    const size_t longPaths =
        manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>");
    EXPECT_TRUE(manifest.find("<windowsSettings>") < longPaths && longPaths < manifest.find("</windowsSettings>")) << manifest;
    if (exe) ::FreeLibrary(exe);
}

#include "control/updater.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/config.h"
#include "core/detached.h"
#include "core/files.h"
#include "core/handle.h"
#include "core/layout.h"
#include "core/log.h"
#include "core/online.h"
#include "core/text.h"
#include "tests/stack/stack_fixture.h"
#include "tests/support/fixture_server.h"
#include "tests/support/zip_writer.h"

namespace {

bool Logged(const std::string& text) {
    std::vector<LogEntry> entries;
    LogBuffer::Instance().Snapshot(entries, 0);
    for (const LogEntry& e : entries) if (e.text == text) return true;
    return false;
}

// A root, an installed Zerva.exe (a stand-in copy of version 1.0.0) and the built-in online
// addresses sent to a loopback server, under a path prefix of the test's choice.
struct UpdaterTest : ::testing::Test {
    testkit::FixtureServer server;
    testkit::ScratchDir dir;
    std::wstring exe = dir / L"app/Zerva.exe";
    std::string oldBytes = testkit::ReadFile(testkit::StandinPath(L"standin.exe"));
    std::string newBytes = testkit::ReadFile(testkit::StandinPath(L"zerva_next.exe"));   // 4.1.0

    void SetUp() override {
        ASSERT_TRUE(server.Started()) << server.Error();
        SetRootDir(dir / L"root");
        testkit::WriteFile(exe, oldBytes);
        updater::SetExecutablePathForTesting(exe);
        UseBase("");
    }
    void TearDown() override {
        Config::Instance().Set(setting::kUpdateUrl, "");
        ::SetEnvironmentVariableW(kOnlineBaseVariable, nullptr);
        updater::SetExecutablePathForTesting(L"");
    }
    void UseBase(const std::string& prefix) { ::SetEnvironmentVariableW(kOnlineBaseVariable, Utf8ToWide(server.Url(prefix)).c_str()); }
    // Serves the file and a manifest announcing it with the upper-case SHA-256 of `hashed`.
    void Publish(const std::string& version, const std::string& url, const std::string& bytes, const std::string& hashed) {
        server.Serve(url.substr(0, url.find('?')), bytes);
        testkit::WriteFile(dir / L"hash.bin", hashed);
        std::string sha = Sha256File(dir / L"hash.bin").value_or("");
        for (char& c : sha) c = char(std::toupper(c));
        server.Serve("/file/zerva4/update.json", Format("{\"version\": \"%s\", \"url\": \"%s\", \"sha256\": \"%s\"}",
                                                        version.c_str(), server.Url(url).c_str(), sha.c_str()));
    }
    updater::UpdateInfo Check() {
        updater::StartCheck(true);
        EXPECT_TRUE(testkit::WaitFor([] { return !updater::GetCheckState().checking; }));
        return updater::GetCheckState();
    }
};

// The restarted stand-in's report (command line, working folder, process id), once it has ended.
std::vector<std::string> AwaitRestart(const std::wstring& folder) {
    const std::wstring report = folder + L"\\zerva-restart.txt";
    EXPECT_TRUE(testkit::WaitFor([&] { return PathExists(report); }));
    const std::vector<std::string> lines = SplitLines(testkit::ReadFile(report));
    ::DeleteFileW(report.c_str());
    if (UniqueHandle process(lines.size() == 3 ? ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(std::stoul(lines[2]))) : nullptr); process)
        ::WaitForSingleObject(process.Get(), 30000);
    return lines;
}

}  // namespace

// The legacy file is scanned by hand, held against its pattern on random lines; a value of
// megabytes (a backtracking matcher recursed once per character) is read whole.
TEST(UpdaterText, LegacyFileZipAddressEntryChoiceAndPackedVersion) {
    EXPECT_EQ(updater::ParseLegacyVersion("x\nVERSION =  \"4.1.2\"; VERSION=\"9\""), "4.1.2");
    EXPECT_EQ(updater::ParseLegacyVersion("version = \"4.1.2\" VERSION = 4.1.2"), "");
    EXPECT_EQ(updater::ParseLegacyVersion("VERSION = \"\" VERSION = \"4.1\""), "4.1");
    const std::vector<std::string> pieces = {" ", "\t", "\n", "\r", "\v", "=", "=", "\"", "\"", "4.1", "x", "VERSION", "VERSIO"};
    EXPECT_GT(stacktest::ExpectAgrees(stacktest::RandomLines(11, 20000, {"VERSION", "VERSION = \""}, pieces, 3, 6),
                                      std::regex("VERSION\\s*=\\s*\"([^\"]+)\""), false, {1},
                                      [](const std::string& line) -> stacktest::Scanned {
                                          std::string version = updater::ParseLegacyVersion(line);
                                          if (version.empty()) return std::nullopt;
                                          return std::vector<std::string>{version};
                                      }),
              1000);
    const std::string value(2 << 20, '7');
    EXPECT_EQ(updater::ParseLegacyVersion("VERSION = \"" + value + "\";"), value);
    EXPECT_TRUE(updater::IsZipUrl("http://h/a/Zerva.ZIP?x=.exe"));
    EXPECT_FALSE(updater::IsZipUrl("http://h/a.exe?x=.zip"));
    EXPECT_EQ(updater::ChooseExecutableEntry({"a/b/zerva.exe", "z/Zerva.exe", "y/ZERVA.EXE", "xzerva.exe"}), 1);
    EXPECT_EQ(updater::ChooseExecutableEntry({"Zerva.exe.txt", "zerva/"}), -1);
    EXPECT_EQ(updater::PackVersion("v4.1.2.70000 beta"), 0x0004000100020000ull | (70000 & 0xFFFF));
}

TEST_F(UpdaterTest, Check_ManifestLegacyOrNeither_LatestAvailabilityAndError) {
    const struct {
        std::string manifest, legacy, latest, error, url;   // manifest, legacy: "" = not served
        bool available;
    } cases[] = {
        {"{\"version\": \"4.0.0\"}", "", "4.0.0", "", "", false},
        {"{\"version\": 3.9, \"url\": \"u\", \"sha256\": \"ab\"}", "", "3.9", "", "u", false},
        {"{\"version\": \"4.1.0\", \"url\": \"u\", \"sha256\": \"ab\"}", "", "4.1.0", "", "u", true},
        {"{\"url\": \"u\"}", "<?php VERSION = \"4.2.0\"; ?>", "4.2.0", "", "", true},   // no url from the legacy form
        {"not json", "no version here", "", "invalid update file", "", false},
        {"", "", "", "HTTP 404", "", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string prefix = "/case" + std::to_string(n++);
        if (!c.manifest.empty()) server.Serve(prefix + "/file/zerva4/update.json", c.manifest);
        if (!c.legacy.empty()) server.Serve(prefix + "/file/version.php", c.legacy);
        UseBase(prefix);
        const updater::UpdateInfo info = Check();
        EXPECT_EQ(info.latest + "|" + info.error + "|" + info.url, c.latest + "|" + c.error + "|" + c.url) << prefix;
        EXPECT_EQ(info.available, c.available) << prefix;
        EXPECT_TRUE(info.done && !info.checking && info.installed == "4.0.0") << prefix;
        EXPECT_EQ(Logged("Zerva " + c.latest + " is available (installed: 4.0.0)."), c.available) << prefix;
    }
    EXPECT_LT(updater::SecondsSinceLastCheck(), 60.0);

    // UPDATE_URL is the user's own address: used as written, not moved by the base.
    server.Serve("/custom.json", "{\"version\": \"5.0.0\", \"page\": \"https://example.org/r\"}");
    Config::Instance().Set(setting::kUpdateUrl, server.Url("/custom.json"));
    EXPECT_EQ(updater::UpdateUrl(), server.Url("/custom.json"));
    EXPECT_EQ(Check().page, "https://example.org/r");
}

TEST_F(UpdaterTest, Download_ExecutableOrZip_VerifiedOrRefusedWithReason) {
    const std::string pair = testkit::MakeZip({{"sub/Zerva.exe", "MZ other"}, {"Zerva.exe", newBytes, true}});
    const std::string none = testkit::MakeZip({{"a/zerva.txt", "x"}});
    const std::string arm = testkit::PeImage(testkit::kArm64);
    const struct {
        std::string version, url, bytes, hashed;
        std::wstring exePath;   // empty: the installed one
        std::string error;
    } cases[] = {
        {"4.1.0.9", "/d/Zerva.exe", newBytes, newBytes, L"", ""},   // the fourth part is not compared
        {"4.1.0", "/d/pkg.ZIP?build=2", pair, pair, L"", ""},       // the top one of two
        {"4.1.0", "/d/Zerva.exe", newBytes, "other", L"", "checksum mismatch: the downloaded file was deleted"},
        {"4.1.0", "/d/none.zip", none, none, L"", "Zerva.exe not found in the archive"},
        {"4.1.0", "/d/arm.exe", arm, arm, L"", "the downloaded file is not a Zerva executable for this computer"},
        {"4.2.0", "/d/Zerva.exe", newBytes, newBytes, L"", "the downloaded file is not version 4.2.0"},
        {"4.1.0", "/d/Zerva.exe", newBytes, newBytes, dir / L"missing/Zerva.exe", "the Zerva folder is read-only"},
    };
    for (const auto& c : cases) {
        const std::wstring target = c.exePath.empty() ? exe : c.exePath;
        updater::SetExecutablePathForTesting(target);
        ::DeleteFileW((target + L".new").c_str());
        Publish(c.version, c.url, c.bytes, c.hashed);
        ASSERT_TRUE(Check().available) << c.url;
        updater::Download();
        EXPECT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
        const updater::DownloadState state = updater::GetDownloadState();
        EXPECT_TRUE(state.error == c.error && state.ready == c.error.empty()) << c.url << ": " << state.error;
        EXPECT_TRUE(testkit::ReadFile(target + L".new") == (c.error.empty() ? newBytes : "<missing>")) << c.url;
        EXPECT_FALSE(PathExists(TempDir() + L"\\update\\unpacked")) << c.url;
        EXPECT_TRUE(Logged(c.error.empty() ? "Zerva " + c.version + " downloaded and verified (SHA-256)."
                                           : "Update failed: " + c.error)) << c.url;
    }

    // A cancelled transfer fails like any other, with the transfer's own text.
    updater::SetExecutablePathForTesting(exe);
    Publish("4.1.0", "/drip?n=1000000&ms=20", "", "");
    ASSERT_TRUE(Check().available);
    updater::Download();
    updater::CancelDownload();
    EXPECT_TRUE(testkit::WaitFor([] { return !updater::GetDownloadState().downloading; }));
    EXPECT_EQ(updater::GetDownloadState().error, "cancelled (" + server.Url("/drip?n=1000000&ms=20") + ")");
}

TEST_F(UpdaterTest, Apply_SwapsAndRestartsWithExactCommandLine_OldCleanedUpNextStart) {
    const std::wstring folder = dir / L"app";
    const struct {
        std::wstring root, quotedRoot, extra;
    } cases[] = {
        {dir / L"my root", L"\"" + (dir / L"my root") + L"\"", L"--cli status"},
        {L"C:\\", L"\"C:\\\\\"", L""},   // a drive root: its backslash doubled before the quote
    };
    for (const auto& c : cases) {
        testkit::WriteFile(exe, oldBytes);
        testkit::WriteFile(exe + L".new", newBytes);
        SetRootDir(c.root);
        std::string error;
        ASSERT_TRUE(updater::ApplyUpdate(c.extra, error)) << error;
        const std::vector<std::string> report = AwaitRestart(folder);
        ASSERT_EQ(report.size(), 3u);
        EXPECT_EQ(report[0], WideToUtf8(L"\"" + exe + L"\" --wait-pid " + std::to_wstring(::GetCurrentProcessId()) +
                                        L" --updated-from 4.0.0 --root " + c.quotedRoot +
                                        (c.extra.empty() ? L"" : L" " + c.extra)));
        EXPECT_TRUE(EqualsIgnoreCase(report[1], WideToUtf8(folder))) << report[1];
        EXPECT_TRUE(testkit::ReadFile(exe) == newBytes && testkit::ReadFile(exe + L".old") == oldBytes && !PathExists(exe + L".new"));
        EXPECT_TRUE(Logged("Restarting Zerva with the new version..."));
    }

    // The next start: a stray ".new" goes at once, ".old" on the deletion thread.
    testkit::WriteFile(exe + L".new", "stray");
    updater::CleanUpUpdateFiles();
    EXPECT_FALSE(PathExists(exe + L".new"));
    EXPECT_TRUE(testkit::WaitFor([&] { return !PathExists(exe + L".old"); }));
}

// A failed swap keeps the running executable and drops ".new". When the previous executable cannot
// be put back either, no copy is deleted and the error says where the previous version is.
TEST_F(UpdaterTest, Apply_FailedSwap_KeepsAnExecutableAndNamesThePreviousWhenNotPutBack) {
    std::string error;
    EXPECT_FALSE(updater::ApplyUpdate(L"", error));
    EXPECT_EQ(error, "Zerva.exe.new not found");
    static int failing = 0;   // 1: the restoring move fails; 2: the installing one too
    updater::SetSwapMoveForTesting([](const std::wstring& from, const std::wstring& to, uint32_t flags) {
        const std::string source = WideToUtf8(from);
        if ((failing >= 1 && EndsWith(source, ".old")) || (failing >= 2 && EndsWith(source, ".new"))) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        return ::MoveFileExW(from.c_str(), to.c_str(), flags) != FALSE;
    });
    const std::string bad = "not an executable", none = "<missing>", start = "cannot start the new Zerva.exe: ",
                      install = "cannot install the new Zerva.exe: ",
                      named = " - Zerva.exe could not be put back: the previous version is " + WideToUtf8(exe + L".old");
    const struct {
        std::string newFile;
        const wchar_t* locked;   // held open without delete sharing, so it cannot be renamed
        int failing;
        std::string reason, suffix, exeAfter, oldAfter, newAfter;
    } cases[] = {
        {bad, nullptr, 0, start, "", oldBytes, none, none},
        {newBytes, L"", 0, "cannot rename Zerva.exe: ", "", oldBytes, none, none},
        {newBytes, L".new", 0, install, "", oldBytes, none, newBytes},   // a held ".new" cannot be deleted
        {bad, nullptr, 1, start, named, bad, oldBytes, none},
        {newBytes, nullptr, 2, install, named, none, oldBytes, newBytes},
    };
    for (const auto& c : cases) {
        testkit::WriteFile(exe, oldBytes);
        testkit::WriteFile(exe + L".new", c.newFile);
        failing = c.failing;
        UniqueHandle lock(c.locked ? ::CreateFileW((exe + c.locked).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, 0, nullptr)
                                   : nullptr);
        EXPECT_FALSE(updater::ApplyUpdate(L"", error));
        lock.Reset();
        EXPECT_TRUE(StartsWith(error, c.reason) && EndsWith(error, c.suffix) && error.size() > c.reason.size() + c.suffix.size())
            << error;
        // The system's text for a program that is none names it where the text has its insert.
        EXPECT_TRUE(c.reason != start || error == start + LastErrorText(ERROR_BAD_EXE_FORMAT, exe) + c.suffix) << error;
        EXPECT_TRUE(testkit::ReadFile(exe) == c.exeAfter && testkit::ReadFile(exe + L".old") == c.oldAfter &&
                    testkit::ReadFile(exe + L".new") == c.newAfter) << c.reason << c.failing;
        ::DeleteFileW((exe + L".new").c_str());
    }
    updater::SetSwapMoveForTesting(nullptr);
}

TEST_F(UpdaterTest, RefusedThread_ResetsCheckAndDownloadWithAnError) {
    Publish("4.1.0", "/d/Zerva.exe", newBytes, newBytes);
    ASSERT_TRUE(Check().available);
    FailThreadStartsForTesting(true);
    updater::Download();
    updater::StartCheck(true);
    FailThreadStartsForTesting(false);
    EXPECT_TRUE(!updater::GetDownloadState().downloading && !updater::GetCheckState().checking);
    EXPECT_EQ(updater::GetDownloadState().error + "|" + updater::GetCheckState().error, "cannot start a thread|cannot start a thread");
    EXPECT_TRUE(Logged("Update failed: cannot start a thread"));
}

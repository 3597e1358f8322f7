#include "core/files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "core/handle.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using testkit::ScratchDir;

namespace {

// A minimal PE image: DOS header pointing at a PE signature and machine field.
std::string PeImage(uint16_t machine, uint32_t peOffset = 0x80) {
    std::string bytes(peOffset + 24, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = char((peOffset >> (8 * i)) & 0xFF);
    bytes.replace(peOffset, 4, std::string("PE\0\0", 4));
    bytes[peOffset + 4] = char(machine & 0xFF);
    bytes[peOffset + 5] = char(machine >> 8);
    return bytes;
}

std::wstring Backslashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// Runs a POSIX tool of the host, reached through drive Z:, in `folder` and waits until `done`
// holds (at most 10 s). Under Wine such a child gets no process handle, so the folder's change
// notifications are the wake-up; the cap on each wait only guards against a missed one.
void RunHostTool(const std::wstring& folder, const std::wstring& tool, std::wstring arguments,
                 const std::function<bool()>& done) {
    std::unique_ptr<void, decltype(&::FindCloseChangeNotification)> change(
        ::FindFirstChangeNotificationW(folder.c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME),
        &::FindCloseChangeNotification);
    if (change.get() == INVALID_HANDLE_VALUE) {
        change.release();
        return;
    }
    std::wstring command = tool + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW((L"Z:\\bin\\" + tool).c_str(), command.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process))
        return;
    UniqueHandle ownedProcess(process.hProcess), ownedThread(process.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!done() && ::GetTickCount64() < deadline) {
        ::WaitForSingleObject(change.get(), 200);
        ::FindNextChangeNotification(change.get());
    }
}

// Makes the directory link `folder/link` lead to `target` (relative to the link's own folder;
// both with forward slashes). Windows makes it with CreateSymbolicLinkW (developer mode or
// elevation). Wine's reports success without making anything, but the host's ln makes a Unix
// link, which Wine shows as a reparse point. The caller checks that the link leads on.
void MakeDirectoryLink(const std::wstring& folder, const std::wstring& link, const std::wstring& target) {
    const std::wstring path = folder + L"\\" + Backslashed(link);
    ::CreateSymbolicLinkW(path.c_str(), Backslashed(target).c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (!PathExists(path)) RunHostTool(folder, L"ln", L"-s " + target + L" " + link, [&] { return PathExists(path); });
}

}  // namespace

TEST(Files, WriteFileAtomic_CreatesParentsAndLeavesNoTemp) {
    ScratchDir dir;
    const std::wstring target = dir / L"a/b/c/file.txt";
    ASSERT_TRUE(WriteFileAtomic(target, "first\r\n"));
    EXPECT_EQ(testkit::ReadFile(target), "first\r\n");
    ASSERT_TRUE(WriteFileAtomic(target, std::string("bin\0ary", 7)));
    EXPECT_EQ(testkit::ReadFile(target), std::string("bin\0ary", 7));
    EXPECT_FALSE(PathExists(target + L".zvtmp"));
    EXPECT_EQ(ListFiles(dir / L"a/b/c", "*"), std::vector<std::string>{"file.txt"});
}

TEST(Files, WriteFileAtomic_FailedMoveKeepsOldFileAndNoTemp) {
    ScratchDir dir;
    const std::wstring target = dir / L"locked.conf";
    testkit::WriteFile(target, "old content");
    {
        // While another program holds the target open without delete sharing, the move fails.
        HANDLE holder = ::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(WriteFileAtomic(target, "new content"));
        ::CloseHandle(holder);
    }
    EXPECT_EQ(testkit::ReadFile(target), "old content");
    EXPECT_FALSE(PathExists(target + L".zvtmp"));
}

TEST(Files, WriteFileAtomic_UnwritableFolderFailsWithoutTemp) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"plain", "a file, not a folder");
    EXPECT_FALSE(WriteFileAtomic(dir / L"plain/child.txt", "x"));
    EXPECT_EQ(testkit::ReadFile(dir / L"plain"), "a file, not a folder");
}

TEST(Files, ReadWholeFile_BinaryAndMissing) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"crlf.txt", "a\r\nb\r\n");
    EXPECT_EQ(ReadWholeFile(dir / L"crlf.txt").value_or(""), "a\r\nb\r\n");
    EXPECT_FALSE(ReadWholeFile(dir / L"missing.txt").has_value());
    std::string out = "stale";
    EXPECT_FALSE(ReadWholeFile(dir / L"missing.txt", out));
    EXPECT_TRUE(out.empty());
}

TEST(Files, ReadFileTail_StartsAtWholeLine) {
    ScratchDir dir;
    const std::wstring log = dir / L"error.log";
    testkit::WriteFile(log, "first line\nsecond line\nthird\n");
    EXPECT_EQ(ReadFileTail(log, 1000), "first line\nsecond line\nthird\n");
    EXPECT_EQ(ReadFileTail(log, 15), "third\n");  // "ond line\n" was a partial line
    EXPECT_EQ(ReadFileTail(log, 4), "");          // "ird\n" is all partial line
    testkit::WriteFile(log, "no line break at all");
    EXPECT_EQ(ReadFileTail(log, 5), "t all");
    EXPECT_EQ(ReadFileTail(dir / L"missing.log", 100), "");
}

TEST(Files, CopyFileTo_CreatesParentsAndHonoursOverwrite) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"src.txt", "one");
    ASSERT_TRUE(CopyFileTo(dir / L"src.txt", dir / L"x/y/dst.txt", false));
    EXPECT_EQ(testkit::ReadFile(dir / L"x/y/dst.txt"), "one");
    testkit::WriteFile(dir / L"src.txt", "two");
    EXPECT_FALSE(CopyFileTo(dir / L"src.txt", dir / L"x/y/dst.txt", false));
    EXPECT_EQ(testkit::ReadFile(dir / L"x/y/dst.txt"), "one");
    EXPECT_TRUE(CopyFileTo(dir / L"src.txt", dir / L"x/y/dst.txt", true));
    EXPECT_EQ(testkit::ReadFile(dir / L"x/y/dst.txt"), "two");
}

TEST(Files, FileFacts) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"f.bin", "12345");
    EXPECT_TRUE(PathExists(dir / L"f.bin"));
    EXPECT_FALSE(IsDirectory(dir / L"f.bin"));
    EXPECT_TRUE(IsDirectory(dir.Path()));
    EXPECT_EQ(FileSize(dir / L"f.bin"), 5u);
    EXPECT_EQ(FileSize(dir / L"none"), 0u);
    EXPECT_NE(FileWriteTime(dir / L"f.bin"), 0u);
    EXPECT_EQ(FileWriteTime(dir / L"none"), 0u);
}

TEST(Files, FileVersion_ReadsVersionResource) {
    // The stand-in program is built with version 1.0.0.0.
    EXPECT_EQ(FileVersion(testkit::StandinPath(L"standin.exe")), 0x0001000000000000ull);
    ScratchDir dir;
    testkit::WriteFile(dir / L"plain.exe", "not a program");
    EXPECT_EQ(FileVersion(dir / L"plain.exe"), 0u);
}

TEST(Files, PeArchitecture_CraftedHeaders) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"x86.dll", PeImage(0x14C));
    testkit::WriteFile(dir / L"x64.dll", PeImage(0x8664, 0x40));
    testkit::WriteFile(dir / L"arm64.dll", PeImage(0xAA64, 0x200));
    testkit::WriteFile(dir / L"ia64.dll", PeImage(0x200));
    testkit::WriteFile(dir / L"text.txt", "MZ but nothing else follows this line at all, really nothing more");
    std::string farOffset = PeImage(0x8664);
    farOffset[0x3F] = char(0x7F);  // offset far beyond the end of the file
    testkit::WriteFile(dir / L"far.dll", farOffset);
    testkit::WriteFile(dir / L"short.dll", "MZ");
    EXPECT_EQ(PeArchitecture(dir / L"x86.dll"), 1);
    EXPECT_EQ(PeArchitecture(dir / L"x64.dll"), 2);
    EXPECT_EQ(PeArchitecture(dir / L"arm64.dll"), 3);
    EXPECT_EQ(PeArchitecture(dir / L"ia64.dll"), 0);
    EXPECT_EQ(PeArchitecture(dir / L"text.txt"), 0);
    EXPECT_EQ(PeArchitecture(dir / L"far.dll"), 0);
    EXPECT_EQ(PeArchitecture(dir / L"short.dll"), 0);
    EXPECT_EQ(PeArchitecture(dir / L"missing.dll"), 0);
    EXPECT_EQ(PeArchitecture(testkit::StandinPath(L"standin.exe")), 2);
}

TEST(Files, Listings_SortOrders) {
    ScratchDir dir;
    for (const wchar_t* folder : {L"apache2.5", L"Apache2.4", L"B", L"a"}) ASSERT_TRUE(EnsureDirectory(dir / folder));
    // Windows names are case-insensitive: B.log and b.log would be one file.
    for (const wchar_t* file : {L"c.log", L"B.log", L"a.log", L"notes.txt"}) testkit::WriteFile(dir / file, "");
    EXPECT_EQ(ListSubdirectories(dir.Path()), (std::vector<std::string>{"a", "Apache2.4", "apache2.5", "B"}));
    EXPECT_EQ(ListFiles(dir.Path(), "*.log"), (std::vector<std::string>{"B.log", "a.log", "c.log"}));
    EXPECT_EQ(ListFiles(dir.Path(), "*.LOG").size(), 3u);
    EXPECT_EQ(ListFiles(dir.Path(), "notes.tx?"), std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(ListSubdirectories(dir / L"missing").empty());
    EXPECT_TRUE(ListFiles(dir / L"missing", "*").empty());
}

TEST(Files, RemoveTree_ClearsReadOnlyAndNestedFolders) {
    ScratchDir dir;
    const std::wstring tree = dir / L"tree";
    testkit::WriteFile(dir / L"tree/a/b/c.txt", "x");
    testkit::WriteFile(dir / L"tree/ro.txt", "x");
    ::SetFileAttributesW((dir / L"tree/ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveTree(tree));
    EXPECT_FALSE(PathExists(tree));
    EXPECT_TRUE(RemoveTree(tree));  // nothing there is success too
    testkit::WriteFile(dir / L"single.txt", "x");
    EXPECT_TRUE(RemoveTree(dir / L"single.txt"));
    EXPECT_FALSE(PathExists(dir / L"single.txt"));
}

TEST(Files, RemoveTree_LeavesLinkTargetsAlone) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"outside/keep.txt", "precious");
    testkit::WriteFile(dir / L"tree/inner.txt", "x");
    MakeDirectoryLink(dir.Path(), L"tree/link", L"../outside");
    MakeDirectoryLink(dir.Path(), L"top", L"outside");
    // Only links that lead to the target prove anything.
    if (testkit::ReadFile(dir / L"tree/link/keep.txt") != "precious" ||
        testkit::ReadFile(dir / L"top/keep.txt") != "precious")
        GTEST_SKIP() << "this system makes no directory links";
    // Windows removes the links themselves; Wine cannot remove a Unix link and leaves it. Either
    // way nothing is followed, and the result says whether something is left.
    EXPECT_EQ(RemoveTree(dir / L"top"), !PathExists(dir / L"top"));
    EXPECT_EQ(testkit::ReadFile(dir / L"outside/keep.txt"), "precious");
    EXPECT_EQ(RemoveTree(dir / L"tree"), !PathExists(dir / L"tree"));
    EXPECT_FALSE(PathExists(dir / L"tree/inner.txt"));
    EXPECT_EQ(testkit::ReadFile(dir / L"outside/keep.txt"), "precious");
    // Links left behind would outlive the scratch folder's clean-up.
    if (PathExists(dir / L"top") || PathExists(dir / L"tree/link"))
        RunHostTool(dir.Path(), L"rm", L"-f top tree/link",
                    [&] { return !PathExists(dir / L"top") && !PathExists(dir / L"tree/link"); });
}

TEST(Files, EnsureDirectoryAndWriteTest) {
    ScratchDir dir;
    EXPECT_TRUE(EnsureDirectory(dir / L"x/y/z"));
    EXPECT_TRUE(IsDirectory(dir / L"x/y/z"));
    EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
    EXPECT_FALSE(PathExists(dir / L".zerva_write_test"));
    EXPECT_FALSE(IsDirectoryWritable(dir / L"missing"));
    testkit::WriteFile(dir / L"file", "");
    EXPECT_FALSE(EnsureDirectory(dir / L"file"));
    EXPECT_FALSE(IsDirectoryWritable(dir / L"file"));
}

TEST(Files, Sha256File_KnownDigests) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"empty", "");
    testkit::WriteFile(dir / L"abc", "abc");
    // Larger than one 1 MiB read, so the digest spans several reads.
    testkit::WriteFile(dir / L"big", std::string(3 * 1048576 + 7, 'a'));
    EXPECT_EQ(Sha256File(dir / L"empty").value_or(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256File(dir / L"abc").value_or(""),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256File(dir / L"big").value_or(""),
              "7d8aedf62548b6943c912ca5192d7a2c13322cd689d7a47d4b3944b4bb2e30c6");
    EXPECT_FALSE(Sha256File(dir / L"missing").has_value());
}

TEST(Files, RandomAlnum_LengthAndAlphabet) {
    const std::string a = RandomAlnum(32);
    ASSERT_EQ(a.size(), 32u);
    for (char c : a) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    EXPECT_NE(a, RandomAlnum(32));
    EXPECT_EQ(RandomAlnum(0), "");
}

TEST(Files, LastErrorText_SystemTextOrCode) {
    const std::string missing = LastErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.empty());
    EXPECT_NE(missing.back(), '\n');
    EXPECT_NE(missing.back(), '\r');
    EXPECT_NE(missing, "error 2");
    EXPECT_EQ(LastErrorText(0x2ABCDEF1u), "error 717020913");
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(LastErrorText(), missing);
}

TEST(Files, SystemFacts) {
    EXPECT_TRUE(IsDirectory(Utf8ToWide(ExeDirectory())));
    EXPECT_TRUE(PathExists(Utf8ToWide(ExeDirectory()) + L"\\core_tests.exe"));
    EXPECT_FALSE(ComputerName().empty());
}

namespace {
// Opens the target without any sharing, as an editor or a scanner might.
UniqueHandle HoldExclusively(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
}  // namespace

TEST(Files, ReplacingMove_TargetHeldForAMoment_RetriedUntilReleased) {
    ScratchDir dir;
    const std::wstring target = dir / L"held.conf", source = dir / L"new.conf";
    testkit::WriteFile(target, "old content");
    testkit::WriteFile(source, "new content");
    UniqueHandle holder = HoldExclusively(target);
    ASSERT_TRUE(holder);
    // The holder lets go only once a move was refused: success then proves the retry.
    std::mutex mutex;
    std::condition_variable changed;
    bool refused = false;
    std::thread releaser([&] {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return refused; });
        holder.Reset();
    });
    std::string error;
    const bool moved = MoveFileReplacing(source, target, &error, [&] {
        std::lock_guard lock(mutex);
        refused = true;
        changed.notify_one();
    });
    releaser.join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(moved) << error;
    EXPECT_EQ(testkit::ReadFile(target), "new content");
    EXPECT_FALSE(PathExists(source));
}

TEST(Files, WriteFileAtomic_TargetHeldForGood_FailsWithReasonOldFileKept) {
    ScratchDir dir;
    const std::wstring target = dir / L"held.conf";
    testkit::WriteFile(target, "old content");
    UniqueHandle holder = HoldExclusively(target);
    ASSERT_TRUE(holder);
    std::string error;
    EXPECT_FALSE(WriteFileAtomic(target, "new content", &error));
    const std::string prefix = "cannot write " + WideToUtf8(target) + ": ";
    EXPECT_TRUE(StartsWith(error, prefix) && error.size() > prefix.size()) << error;
    holder.Reset();
    EXPECT_EQ(testkit::ReadFile(target), "old content");
    EXPECT_FALSE(PathExists(target + L".zvtmp"));
}

TEST(Files, CopyFileAtomic_WholeCopyOrOldFileWithReason) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"source.ini", "fresh");
    testkit::WriteFile(dir / L"copy.ini", "old");
    std::string error;
    EXPECT_FALSE(CopyFileAtomic(dir / L"missing.ini", dir / L"copy.ini", &error));
    EXPECT_EQ(error, "cannot read " + WideToUtf8(dir / L"missing.ini"));
    EXPECT_EQ(testkit::ReadFile(dir / L"copy.ini"), "old");
    ASSERT_TRUE(CopyFileAtomic(dir / L"source.ini", dir / L"copy.ini", &error)) << error;
    EXPECT_EQ(testkit::ReadFile(dir / L"copy.ini"), "fresh");
    EXPECT_EQ(ListFiles(dir.Path(), "*"), (std::vector<std::string>{"copy.ini", "source.ini"}));
}

#include "core/files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>

#include "core/handle.h"
#include "core/text.h"
#include "tests/support/path_limit.h"
#include "tests/support/testkit.h"

using testkit::PeImage;
using testkit::ReadFile;
using testkit::ScratchDir;
using Names = std::vector<std::string>;

TEST(Files, WriteFileAtomic_ReplacesWholeOrKeepsTheOldFile_NeverLeavesItsTemporary) {
    ScratchDir dir;
    const std::wstring target = dir / L"a/b/c/file.txt";   // parents are made
    ASSERT_TRUE(WriteFileAtomic(target, "first\r\n"));
    ASSERT_TRUE(WriteFileAtomic(target, std::string("bin\0ary", 7)));
    EXPECT_EQ(ReadFile(target), std::string("bin\0ary", 7));
    EXPECT_EQ(ListFiles(dir / L"a/b/c", "*"), Names{"file.txt"});
    EXPECT_FALSE(WriteFileAtomic(target + L"/child.txt", "x"));   // its folder is a file
    EXPECT_EQ(ReadFile(target), std::string("bin\0ary", 7));
    // A folder, empty or not, where the file goes: named as such, not by the "access denied" the
    // move gets.
    for (const std::wstring& folder : {dir / L"empty.conf", dir / L"full.conf"}) {
        ASSERT_TRUE(EnsureDirectory(folder) && EnsureDirectory(dir / L"full.conf\\inside"));
        std::string error;
        EXPECT_FALSE(WriteFileAtomic(folder, "x", &error));
        EXPECT_EQ(error, "cannot write " + WideToUtf8(folder) + ": it is a folder");
        EXPECT_TRUE(IsDirectory(folder) && !PathExists(folder + L".zvtmp"));
    }
}

// A write that fails names the system's reason; one reported done that wrote nothing (a full
// disk) names the lack of space, never the text of "no error".
TEST(Files, WriteAll_FailedOrShortWrite_ReasonNamed) {
    testkit::ScratchDir dir;
    testkit::FailingWrites failing(dir / L"target.bin");
    const std::pair<UniqueHandle, DWORD> cases[] = {{failing.ReadOnly(), ERROR_ACCESS_DENIED}, {failing.Full(), ERROR_DISK_FULL}};
    for (const auto& [handle, code] : cases) {
        ASSERT_TRUE(handle);
        std::string reason;
        EXPECT_FALSE(WriteAll(handle.Get(), "data", reason));
        EXPECT_EQ(reason, LastErrorText(code));
    }
}

TEST(Files, Reading_WholeFileTailAndCopy) {
    ScratchDir dir;
    const std::wstring log = dir / L"error.log";
    testkit::WriteFile(log, "first line\nsecond line\nthird\n");
    EXPECT_EQ(ReadWholeFile(log).value_or(""), "first line\nsecond line\nthird\n");
    std::string out = "stale";
    EXPECT_TRUE(!ReadWholeFile(dir / L"missing.txt", out) && out.empty());
    EXPECT_EQ(ReadFileTail(log, 1000), "first line\nsecond line\nthird\n");
    EXPECT_EQ(ReadFileTail(log, 15), "third\n");   // "ond line\n" was a partial line
    EXPECT_EQ(ReadFileTail(log, 4), "");           // "ird\n" is all partial line
    EXPECT_EQ(ReadFileTail(dir / L"missing.log", 100), "");
    testkit::WriteFile(log, "no line break at all");
    EXPECT_EQ(ReadFileTail(log, 5), "t all");

    ASSERT_TRUE(CopyFileTo(log, dir / L"x/y/copy.txt", false));
    testkit::WriteFile(log, "two");
    EXPECT_FALSE(CopyFileTo(log, dir / L"x/y/copy.txt", false));
    EXPECT_EQ(ReadFile(dir / L"x/y/copy.txt"), "no line break at all");
    EXPECT_TRUE(CopyFileTo(log, dir / L"x/y/copy.txt", true));
    EXPECT_EQ(ReadFile(dir / L"x/y/copy.txt"), "two");
}

TEST(Files, FileFacts_SizeTimeVersionAndArchitecture) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"f.bin", "12345");
    EXPECT_TRUE(PathExists(dir / L"f.bin") && !IsDirectory(dir / L"f.bin") && IsDirectory(dir.Path()));
    EXPECT_TRUE(FileSize(dir / L"f.bin") == 5u && FileWriteTime(dir / L"f.bin") != 0u);
    EXPECT_EQ(FileSize(dir / L"none") + FileWriteTime(dir / L"none") + FileVersion(dir / L"f.bin"), 0u);
    EXPECT_EQ(FileVersion(testkit::StandinPath(L"standin.exe")), 0x0001000000000000ull);   // built as 1.0.0.0
    std::string farOffset = PeImage(0x8664);
    farOffset[0x3F] = char(0x7F);   // beyond the end of the file
    const std::pair<std::string, int> images[] = {
        {PeImage(0x14C, 0x80), 1}, {PeImage(0x8664), 2}, {PeImage(0xAA64, 0x200), 3}, {PeImage(0x200), 0},
        {"MZ but nothing else follows this line at all, really nothing more", 0}, {farOffset, 0}, {"MZ", 0}};
    for (const auto& [bytes, arch] : images) {
        testkit::WriteFile(dir / L"image.dll", bytes);
        EXPECT_EQ(PeArchitecture(dir / L"image.dll"), arch) << bytes.size();
    }
    EXPECT_EQ(PeArchitecture(dir / L"missing.dll"), 0);
    EXPECT_EQ(PeArchitecture(testkit::StandinPath(L"standin.exe")), 2);
}

TEST(Files, Folders_ListSortedMakeAndProbe) {
    ScratchDir dir;
    for (const wchar_t* folder : {L"apache2.5", L"Apache2.4", L"B", L"a"}) ASSERT_TRUE(EnsureDirectory(dir / folder));
    for (const wchar_t* file : {L"c.log", L"B.log", L"a.log", L"notes.txt"}) testkit::WriteFile(dir / file, "");
    EXPECT_EQ(ListSubdirectories(dir.Path()), (Names{"a", "Apache2.4", "apache2.5", "B"}));
    EXPECT_EQ(ListFiles(dir.Path(), "*.LOG"), (Names{"B.log", "a.log", "c.log"}));
    EXPECT_EQ(ListFiles(dir.Path(), "*"), (Names{"B.log", "a.log", "c.log", "notes.txt"}));
    EXPECT_TRUE(ListSubdirectories(dir / L"missing").empty() && ListFiles(dir / L"missing", "*").empty());
    EXPECT_TRUE(EnsureDirectory(dir / L"x/y/z") && IsDirectory(dir / L"x/y/z"));
    EXPECT_FALSE(EnsureDirectory(dir / L"c.log"));
    EXPECT_TRUE(IsDirectoryWritable(dir.Path()) && !PathExists(dir / L".zerva_write_test"));
    EXPECT_FALSE(IsDirectoryWritable(dir / L"missing") || IsDirectoryWritable(dir / L"c.log"));
    {   // another Zerva testing the same folder at this moment holds the probe without sharing
        UniqueHandle other(::CreateFileW((dir / L".zerva_write_test").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(other);
        EXPECT_TRUE(IsDirectoryWritable(dir.Path()));
    }
    EXPECT_EQ(ListFiles(dir.Path(), ".zerva*"), Names{});
}

TEST(Files, RemoveTree_ReadOnlyAndNestedGone_LinkTargetsLeftAlone) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"tree/a/b/c.txt", "x");
    testkit::WriteFile(dir / L"tree/ro.txt", "x");
    ::SetFileAttributesW((dir / L"tree/ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveTree(dir / L"tree") && !PathExists(dir / L"tree"));
    EXPECT_TRUE(RemoveTree(dir / L"tree"));   // nothing there is success too

    testkit::WriteFile(dir / L"outside/keep.txt", "precious");
    testkit::WriteFile(dir / L"tree/inner.txt", "x");
    const testkit::DirectoryLink inner(dir / L"tree\\link", dir / L"outside"), top(dir / L"top", dir / L"outside");
    if (!inner.Made() || !top.Made()) GTEST_SKIP() << "this system makes no directory links";
    // Windows removes the links themselves; Wine cannot remove a Unix link and leaves it. Either
    // way nothing is followed, and the result says whether something is left.
    EXPECT_EQ(RemoveTree(dir / L"top"), !PathExists(dir / L"top"));
    EXPECT_EQ(RemoveTree(dir / L"tree"), !PathExists(dir / L"tree"));
    EXPECT_FALSE(PathExists(dir / L"tree/inner.txt"));
    EXPECT_EQ(ReadFile(dir / L"outside/keep.txt"), "precious");
}

TEST(Files, System_DigestsRandomTextAndErrorTexts) {
    ScratchDir dir;
    const std::pair<std::string, const char*> digests[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // Larger than one 1 MiB read, so the digest spans several reads.
        {std::string(3 * 1048576 + 7, 'a'), "7d8aedf62548b6943c912ca5192d7a2c13322cd689d7a47d4b3944b4bb2e30c6"}};
    for (const auto& [bytes, digest] : digests) {
        testkit::WriteFile(dir / L"data", bytes);
        EXPECT_EQ(Sha256File(dir / L"data").value_or(""), digest);
    }
    EXPECT_FALSE(Sha256File(dir / L"missing").has_value());
    const std::string random = RandomAlnum(32);
    EXPECT_TRUE(random.size() == 32 && std::all_of(random.begin(), random.end(), [](char c) { return std::isalnum((unsigned char)c); }));
    EXPECT_NE(random, RandomAlnum(32));
    const std::string missing = LastErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(!missing.empty() && missing == Trim(missing) && missing != "error 2") << missing;
    EXPECT_EQ(LastErrorText(0x2ABCDEF1u), "error 717020913");
    // A message about a file names it where the system's text holds its insert.
    const std::string badFormat = LastErrorText(ERROR_BAD_EXE_FORMAT, L"C:\\web\\bin\\mysqld.exe");
    EXPECT_TRUE(badFormat.find("C:\\web\\bin\\mysqld.exe") != std::string::npos && badFormat.find('%') == std::string::npos)
        << badFormat;
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(LastErrorText(), missing);
    EXPECT_TRUE(PathExists(Utf8ToWide(ExeDirectory()) + L"\\core_tests.exe"));
}

// Opens the target without any sharing, as an editor or a scanner might.
static UniqueHandle HoldExclusively(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

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
    EXPECT_TRUE(refused && moved) << error;
    EXPECT_TRUE(testkit::ReadFile(target) == "new content" && !PathExists(source));
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
    EXPECT_TRUE(testkit::ReadFile(target) == "old content" && !PathExists(target + L".zvtmp"));
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

// ---- Paths beyond 260 characters ----

// The extended form takes a path as it stands, so the folding Windows does on plain paths is done
// first; folding the result again changes nothing. Paths that are not absolute stay as they are.
TEST(Files, ExtendedPath_AbsolutePathsFoldedAndExtended_OthersUntouched) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Stack\\www", L"\\\\?\\C:\\Stack\\www"},
        {L"c:/Stack//www/./a/../b", L"\\\\?\\c:\\Stack\\www\\b"},
        {L"C:\\", L"\\\\?\\C:\\"}, {L"C:/..", L"\\\\?\\C:\\"}, {L"C:\\a\\..\\..\\b\\", L"\\\\?\\C:\\b\\"},
        // One period ending a segment goes; periods and blanks ending the path go, unless a
        // separator follows; three periods are a name; a last segment trimmed away leaves its separator.
        {L"C:\\a.\\b..\\...\\c. . ", L"\\\\?\\C:\\a\\b..\\...\\c"}, {L"C:\\a \\c \\", L"\\\\?\\C:\\a \\c \\"},
        {L"C:\\a\\b \\...", L"\\\\?\\C:\\a\\b \\"},
        {L"\\\\server\\share\\a\\..\\..\\x", L"\\\\?\\UNC\\server\\share\\x"}, {L"//server/share", L"\\\\?\\UNC\\server\\share"},
        {L"\\\\?\\C:\\a\\..", L"\\\\?\\C:\\a\\.."}, {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"}, {L"NUL", L"NUL"},
        {L"CONOUT$", L"CONOUT$"}, {L"relative\\x", L"relative\\x"}, {L"C:x", L"C:x"}, {L"\\rooted", L"\\rooted"},
        {L"\\\\server", L"\\\\server"}, {L"\\\\server\\\\x", L"\\\\server\\\\x"}, {L"", L""}};
    for (const auto& [path, extended] : cases) {
        EXPECT_EQ(ExtendedPath(path), extended) << WideToUtf8(path);
        EXPECT_EQ(ExtendedPath(extended), extended) << WideToUtf8(path);
        EXPECT_EQ(ExtendedPath(NormalizePath(path)), extended) << WideToUtf8(path);
    }
    EXPECT_EQ(NormalizePath(L"//server/share/a/./b"), L"\\\\server\\share\\a\\b");
}

// Windows refuses a plain path of 260 characters or more to a program that is not long-path aware;
// Wine does not, so the limit is put in front of this program's file calls for the round trip.
TEST(Files, DeepFolder_WriteReadCopyMoveListAndRemove_PastTheLimit) {
    ScratchDir dir;
    const std::wstring deep = dir / (L"tree/" + std::wstring(120, L'd') + L"/" + std::wstring(120, L'e'));
    const std::wstring file = deep + L"\\" + std::wstring(80, L'f') + L".txt";
    testkit::ShortPathLimit limit;
    ASSERT_FALSE(::CreateDirectoryW(deep.c_str(), nullptr));
    ASSERT_EQ(::GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));   // the limit holds for plain calls

    ASSERT_TRUE(WriteFileAtomic(file, "first line\nsecond\n"));
    ASSERT_TRUE(WriteFileAtomic(file, "line one\nline two\n"));   // replaces the existing file
    const std::wstring slashed = Utf8ToWide(ToForwardSlashes(WideToUtf8(deep))) + L"/x/../" + file.substr(deep.size() + 1);
    EXPECT_EQ(ReadWholeFile(slashed).value_or("<missing>"), "line one\nline two\n");
    EXPECT_EQ(ReadFileTail(file, 12), "line two\n");
    EXPECT_TRUE(PathExists(file) && IsDirectory(deep) && FileSize(file) == 18u && FileWriteTime(file) != 0u);
    EXPECT_TRUE(Sha256File(file).has_value() && IsDirectoryWritable(deep));
    ASSERT_TRUE(CopyFileTo(testkit::StandinPath(L"standin.exe"), deep + L"\\bin\\standin.exe", false));
    EXPECT_TRUE(FileVersion(deep + L"\\bin\\standin.exe") != 0u && PeArchitecture(deep + L"\\bin\\standin.exe") == 2);
    ASSERT_TRUE(CopyFileAtomic(file, deep + L"\\copy.txt"));
    ASSERT_TRUE(MoveFileReplacing(deep + L"\\copy.txt", deep + L"\\moved.txt", nullptr));
    EXPECT_EQ(ListFiles(deep, "*.txt"), (Names{WideToUtf8(file.substr(deep.size() + 1)), "moved.txt"}));
    EXPECT_EQ(ListSubdirectories(deep), Names{"bin"});
    ::SetFileAttributesW(ExtendedPath(deep + L"\\moved.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveTree(dir / L"tree") && !PathExists(dir / L"tree"));
}

// Each direct Windows file call of the product takes its paths through ExtendedPath (device names
// written as literals and the output pipe's name aside), so no call is left to the 260 limit.
TEST(Files, EveryWindowsFileCallOfTheSources_TakesTheExtendedPath) {
    static const std::regex call(R"re(::(CreateFileW|DeleteFileW|MoveFileExW|CopyFileW|CreateDirectoryW|RemoveDirectoryW|)re"
                                 R"re(GetFileAttributesW|GetFileAttributesExW|SetFileAttributesW|FindFirstFileW|)re"
                                 R"re(GetFileVersionInfoSizeW|GetFileVersionInfoW)\(([^;]*))re"),   // to the statement's end
        extended(R"(ExtendedPath\()");
    int calls = 0;
    for (const wchar_t* layer : {L"core", L"stack", L"control", L"ui", L"app"}) {
        for (const std::wstring& path : testkit::SourceFiles(layer)) {
            const std::string source = ReadFile(path), file = WideToUtf8(path);
            for (std::sregex_iterator it(source.begin(), source.end(), call), end; it != end; ++it, ++calls) {
                const std::string name = (*it)[1], arguments = (*it)[2];
                const auto paths = std::distance(std::sregex_iterator(arguments.begin(), arguments.end(), extended), end);
                const bool pipe = EndsWith(file, "\\core\\proc.cpp") && StartsWith(arguments, "name.c_str()");
                EXPECT_TRUE(StartsWith(arguments, "L\"") || pipe || paths >= (name == "MoveFileExW" || name == "CopyFileW" ? 2 : 1))
                    << file << ": " << name << "(" << arguments;
            }
        }
    }
    EXPECT_GT(calls, 40);
}

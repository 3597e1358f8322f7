#include "core/zip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/path_limit.h"
#include "tests/support/testkit.h"
#include "tests/support/zip_writer.h"

using testkit::MakeZip;
using testkit::ScratchDir;
using Entry = testkit::ZipEntrySpec;
using Files = std::vector<std::string>;

namespace {

// Every file under `folder`, relative, with forward slashes, sorted.
Files FilesUnder(const std::wstring& folder) {
    namespace fs = std::filesystem;
    Files files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) files.push_back(WideToUtf8(it->path().lexically_relative(folder).generic_wstring()));
    std::sort(files.begin(), files.end());
    return files;
}

// A scratch folder with the archive (a non-ASCII name) at its top and the destination two levels
// down, so that anything escaping the destination still lands where the test can see it.
struct Fixture {
    ScratchDir dir;
    std::wstring archive = dir / L"archiv\u00e9-\u65e5\u672c.zip";
    std::wstring destination = dir / L"out/dest";
    std::string error;

    explicit Fixture(const std::vector<Entry>& entries) { testkit::WriteFile(archive, MakeZip(entries)); }
    bool Extract(TransferProgress* progress = nullptr, const std::string& strip = "", const ZipSkipFilter& skip = {},
                 const CancelFlag* cancel = nullptr) {
        return ExtractZip(archive, destination, strip, progress, cancel, &error, skip);
    }
    std::string At(const std::wstring& relative) const { return testkit::ReadFile(destination + L"\\" + relative); }
    Files Extracted() const { return FilesUnder(destination); }
    // Files outside the destination, the archive itself aside.
    Files Escaped() const {
        Files outside;
        for (const std::string& f : FilesUnder(dir.Path()))
            if (f != WideToUtf8(archive.substr(dir.Path().size() + 1)) && !StartsWith(f, "out/dest/")) outside.push_back(f);
        return outside;
    }
};

}  // namespace

TEST(IsSafeArchivePath, Names_LeavingTheFolderRefused_DotsAndDoubledSlashesAccepted) {
    for (const char* name : {"", "/etc/passwd", "\\windows\\evil.dll", "C:/evil.txt", "C:evil.txt",
                             "file.txt:stream", "..", "../evil.txt", "a/../../evil.txt", "a\\..\\evil.txt",
                             "a/..", "//server/share/x"})
        EXPECT_FALSE(IsSafeArchivePath(name)) << name;
    for (const char* name : {"a.txt", "./a.txt", "a/./b", "a//b", "a/b/", "..a", "a..", "a/.../b", "dir\\file"})
        EXPECT_TRUE(IsSafeArchivePath(name)) << name;
}

TEST(OpenZip, MissingForeignCutOrShortDirectory_FailsForListAndExtractToo) {
    ScratchDir dir;
    const std::string whole = MakeZip({{"a.txt", "abc"}});
    const std::tuple<std::wstring, std::optional<std::string>, std::string> cases[] = {
        {L"missing.zip", std::nullopt, "cannot open " + WideToUtf8(dir / L"missing.zip")},
        {L"text.zip", "this is not an archive", "invalid zip archive: bad zip file"},
        {L"cut.zip", whole.substr(0, whole.size() / 2), "invalid zip archive: bad zip file"},
        // The end record announces an entry the directory lacks: the archive is not to be trusted.
        {L"short.zip", MakeZip({{"a.txt", "abc"}, {"b.txt", "def"}}, 1), "invalid zip archive: bad zip file"},
    };
    for (const auto& [name, bytes, wanted] : cases) {
        if (bytes) testkit::WriteFile(dir / name, *bytes);
        ZipArchive archive;
        Files names;
        std::vector<std::string> errors(3);
        EXPECT_FALSE(OpenZip(archive, dir / name, errors[0]) || ListZipEntries(dir / name, names, errors[1]) ||
                     ExtractZip(dir / name, dir / L"dest", "", nullptr, nullptr, &errors[2]) ||
                     ExtractZip(dir / name, dir / L"dest", "", nullptr, nullptr, nullptr));   // no text wanted
        EXPECT_EQ(errors, std::vector<std::string>(3, wanted));
        EXPECT_TRUE(archive.Entries().empty() && names.empty() && !PathExists(dir / L"dest"));
    }
}

TEST(ExtractZip, UnsafeNames_RefusedWithNothingOutside) {
    const std::string absolute = "C:/zerva-zip-test-" + RandomAlnum(8) + ".txt";
    std::vector<std::pair<std::string, bool>> cases{{absolute, true}};   // the name, and whether the refusal names it
    for (const char* name : {"../evil.txt", "/evil.txt", "\\evil.txt", "sub/../../evil.txt", "sub\\..\\..\\evil.txt",
                             "..\\..\\evil.txt", "C:evil.txt", "good.txt:evil", ".", "sub/...", "sub/. ."})
        cases.emplace_back(name, true);
    // Let through by the name rule, but a path normaliser may trim these components into ".."
    // (Wine does): whichever step refuses them, nothing may land outside.
    for (const char* name : {".../evil.txt", "sub/.../.../evil.txt", ".. /evil.txt", "... /evil.txt"})
        cases.emplace_back(name, false);
    for (const auto& [name, named] : cases) {
        Fixture f({{"first.txt", "kept"}, {name, "evil", true}, {"last.txt", "never"}});
        EXPECT_FALSE(f.Extract()) << name;
        EXPECT_TRUE(!named || f.error == "unsafe path in archive: " + ToForwardSlashes(name)) << f.error;
        EXPECT_TRUE(f.Escaped().empty()) << name;
        EXPECT_EQ(f.Extracted(), Files{"first.txt"}) << name;
    }
    EXPECT_FALSE(PathExists(Utf8ToWide(absolute)));
}

TEST(ExtractZip, Names_DotsSlashesBackslashesAndFolders_LandInsideWhole) {
    std::string big;   // several write pieces and read windows
    for (int i = 0; big.size() < 3 * 1024 * 1024 + 17; ++i) big += Format("line %d of a large file\n", i);
    const std::string random = RandomAlnum(300000);
    Fixture f({{"./", "", false, 0x10}, {"./a.txt", "A"}, {"b//c.txt", "C"}, {"d/./e.txt", "E"},
               {"dir\\sub\\file.txt", "deep", true}, {"slash/", ""}, {"attribute", "", false, 0x10},
               {"named\u00e9/caf\u00e9.txt", "utf-8 name"}, {"big.txt", big, true}, {"random.bin", random, true},
               {"stored.bin", random}});
    Files names;
    ASSERT_TRUE(ListZipEntries(f.archive, names, f.error)) << f.error;
    ASSERT_TRUE(names.size() == 11u && names[4] == "dir/sub/file.txt");
    ASSERT_TRUE(f.Extract()) << f.error;
    EXPECT_EQ(f.Extracted(), (Files{"a.txt", "b/c.txt", "big.txt", "d/e.txt", "dir/sub/file.txt",
                                    "named\u00e9/caf\u00e9.txt", "random.bin", "stored.bin"}));
    EXPECT_EQ(f.At(L"dir\\sub\\file.txt") + "|" + f.At(L"named\u00e9\\caf\u00e9.txt"), "deep|utf-8 name");
    EXPECT_TRUE(f.At(L"big.txt") == big && f.At(L"random.bin") == random && f.At(L"stored.bin") == random);
    EXPECT_TRUE(IsDirectory(f.destination + L"\\slash") && IsDirectory(f.destination + L"\\attribute"));
}

TEST(ExtractZip, ExistingFiles_ReplacedAndOthersKept_FolderInTheWayCannotWrite) {
    Fixture empty(std::vector<Entry>{});   // creates only the destination
    TransferProgress progress;
    progress.done = progress.total = 7;
    ASSERT_TRUE(empty.Extract(&progress)) << empty.error;
    EXPECT_TRUE(IsDirectory(empty.destination) && empty.Extracted().empty() && progress.done == 0 && progress.total == 0);

    Fixture f({{"conf/a.txt", "new", true}});
    testkit::WriteFile(f.destination + L"\\conf\\a.txt", "old and longer");
    testkit::WriteFile(f.destination + L"\\mine.txt", "user file");
    ASSERT_TRUE(f.Extract()) << f.error;
    EXPECT_TRUE(f.At(L"conf\\a.txt") == "new" && f.Extracted() == (Files{"conf/a.txt", "mine.txt"}));

    Fixture blocked({Entry{"conf", "file data"}});
    testkit::WriteFile(blocked.destination + L"\\conf\\kept.txt", "inside");
    EXPECT_FALSE(blocked.Extract());
    EXPECT_EQ(blocked.error, "cannot write " + WideToUtf8(blocked.destination + L"\\conf"));
    EXPECT_EQ(blocked.Extracted(), Files{"conf/kept.txt"});
}

TEST(ExtractZip, StripPrefixAndSkipFilter_OthersLeftOut_DoneReachesTotal) {
    Fixture f({{"README.txt", "top"}, {"php/", "", false, 0x10}, {"php/php.exe", "exe-bytes"},
               {"php/php.pdb", std::string(5000, 'p'), true}, {"php/ext/x.pdb", "pdb"}, {"php/ext/x.dll", "dll", true},
               {"php/../up.pdb", "up"}, {"PHP/case.txt", "case"}});   // the prefix is case-sensitive
    Files seen;
    TransferProgress progress;
    ASSERT_TRUE(f.Extract(&progress, "php/", [&](const std::string& name) {
        seen.push_back(name);
        return EndsWith(name, ".pdb");
    })) << f.error;   // a skipped entry is never checked, so its unsafe name is no error
    EXPECT_EQ(seen, (Files{"php.exe", "php.pdb", "ext/x.pdb", "ext/x.dll", "../up.pdb"}));
    EXPECT_EQ(f.Extracted(), (Files{"ext/x.dll", "php.exe"}));
    EXPECT_TRUE(f.At(L"ext\\x.dll") == "dll" && f.Escaped().empty());
    EXPECT_EQ(progress.total.load(), 3u + 9u + 5000u + 3u + 3u + 2u + 4u);
    EXPECT_EQ(progress.done.load(), progress.total.load());
}

TEST(ExtractZip, CancelBetweenEntries_StopsBeforeTheNext) {
    Fixture f({{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
    CancelFlag cancel{false};
    // The filter runs once per entry, right before it is written: a flag set there is seen
    // at the start of the next entry.
    EXPECT_FALSE(f.Extract(nullptr, "", [&](const std::string&) { cancel = true; return false; }, &cancel));
    EXPECT_TRUE(f.error == "cancelled" && f.Extracted() == Files{"one.txt"}) << f.error;
}

TEST(ExtractZip, DamagedEntry_FailsWithoutPartialFileAndKeepsTheOldOne) {
    std::string rows;
    for (int i = 0; i < 2000; ++i) rows += Format("row %d\n", i);
    // minizip compares checksums only once the recorded size was reached, so data that ends
    // before it is a failure of its own. With an old file the entry goes through a sibling.
    const std::tuple<Entry, bool, std::string> cases[] = {
        {{"bad.txt", "payload", false, 0, 0x12345678u}, true, "CRC error"},
        {{"bad.txt", rows, true, 0, std::nullopt, std::nullopt, true}, false, ""},   // whatever zlib finds
        {{"bad.txt", "only this", false, 0, std::nullopt, 4096u}, false, "data shorter than recorded"},
        {{"bad.txt", "only this", true, 0, std::nullopt, 4096u}, true, "data shorter than recorded"},
    };
    for (const auto& [entry, hasOld, reason] : cases) {
        Fixture f({{"good.txt", "fine"}, entry, {"after.txt", "x"}});
        if (hasOld) testkit::WriteFile(f.destination + L"\\bad.txt", "previous version");
        EXPECT_FALSE(f.Extract());
        EXPECT_TRUE(StartsWith(f.error, "extraction failed: bad.txt (" + reason)) << f.error;
        EXPECT_TRUE(reason.empty() || EndsWith(f.error, " (" + reason + ")")) << f.error;
        EXPECT_EQ(f.Extracted(), (hasOld ? Files{"bad.txt", "good.txt"} : Files{"good.txt"})) << f.error;
        EXPECT_EQ(f.At(L"bad.txt"), hasOld ? "previous version" : "<missing>");
    }
}

// Entries that end past 300 characters (phpMyAdmin's deepest files under a deep root), from an
// archive past 260, land whole, also over the files of a first extraction; Windows' 260 limit is
// put in front of the file calls, since Wine has none.
TEST(ExtractZip, DeepArchiveAndEntries_PastTheLimit_LandWhole) {
    const std::string deep = std::string(130, 'p') + "/" + std::string(130, 'q') + "/";
    Fixture f({{"top/" + deep + "file.php", "deep", true}, {"top/" + deep + "sub/", ""}, {"top/a.txt", "a"}});
    const std::wstring archive = f.dir / (std::wstring(150, L'z') + L"/" + std::wstring(120, L'z') + L".zip");
    const std::wstring deepFolder = f.destination + L"\\" + Utf8ToWide(deep);
    testkit::ShortPathLimit limit;
    testkit::WriteFile(archive, testkit::ReadFile(f.archive));
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(ExtractZip(archive, f.destination, "top/", nullptr, nullptr, &f.error)) << f.error;
        EXPECT_TRUE(testkit::ReadFile(deepFolder + L"file.php") == "deep" && f.At(L"a.txt") == "a");
        EXPECT_TRUE(IsDirectory(deepFolder + L"sub") && ListFiles(deepFolder, "*") == Files{"file.php"});
    }
}

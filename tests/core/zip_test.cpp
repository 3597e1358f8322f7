#include "core/zip.h"

#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <zlib.h>

#include "core/files.h"
#include "core/text.h"
#include "tests/support/testkit.h"

using testkit::ReadFile;
using testkit::ScratchDir;

namespace {

// ---- A small zip writer: stored or deflated entries, with ways to damage them ----

struct Entry {
    std::string name;
    std::string data;
    bool deflate = false;
    uint32_t attributes = 0;              // external attributes (0x10: DOS folder)
    std::optional<uint32_t> crc;          // a wrong checksum in both headers
    std::optional<uint32_t> recordedSize; // a wrong uncompressed size in both headers
    bool damageData = false;              // flips bytes in the middle of the stored data
};

void Put16(std::string& out, uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
void Put32(std::string& out, uint32_t v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }

std::string RawDeflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// `extraCount` adds entries to the end record that the central directory does not hold.
std::string MakeZip(const std::vector<Entry>& entries, uint32_t extraCount = 0) {
    std::string body, directory;
    for (const Entry& e : entries) {
        std::string stored = e.deflate ? RawDeflate(e.data) : e.data;
        if (e.damageData && stored.size() > 4) {
            for (size_t i = stored.size() / 2; i < stored.size() / 2 + 4; ++i) stored[i] = char(~stored[i]);
        }
        const uint32_t crc = e.crc.value_or(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), uInt(e.data.size())));
        const uint32_t size = e.recordedSize.value_or(uint32_t(e.data.size()));
        auto common = [&](std::string& out) {
            Put16(out, 20), Put16(out, 0x0800), Put16(out, e.deflate ? 8 : 0), Put16(out, 0), Put16(out, 0x21);
            Put32(out, crc), Put32(out, uint32_t(stored.size())), Put32(out, size);
            Put16(out, uint32_t(e.name.size())), Put16(out, 0);
        };
        const uint32_t offset = uint32_t(body.size());
        Put32(body, 0x04034b50);
        common(body);
        body += e.name + stored;
        Put32(directory, 0x02014b50);
        Put16(directory, 20);
        common(directory);
        Put16(directory, 0), Put16(directory, 0), Put16(directory, 0), Put32(directory, e.attributes);
        Put32(directory, offset);
        directory += e.name;
    }
    std::string zip = body + directory;
    const uint32_t count = uint32_t(entries.size()) + extraCount;
    Put32(zip, 0x06054b50), Put16(zip, 0), Put16(zip, 0), Put16(zip, count), Put16(zip, count);
    Put32(zip, uint32_t(directory.size())), Put32(zip, uint32_t(body.size())), Put16(zip, 0);
    return zip;
}

// Every file under `folder`, relative, with forward slashes, sorted.
void CollectFiles(const std::wstring& folder, const std::string& prefix, std::vector<std::string>& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string relative = prefix + WideToUtf8(name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectFiles(folder + L"\\" + name, relative + "/", out);
        else
            out.push_back(relative);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(out.begin(), out.end());
}

std::vector<std::string> FilesUnder(const std::wstring& folder) {
    std::vector<std::string> files;
    CollectFiles(folder, "", files);
    return files;
}

// A scratch folder with the archive at its top and the destination two levels down, so that
// anything escaping the destination still lands where the test can see it.
struct Fixture {
    ScratchDir dir;
    std::wstring archive = dir / L"archive.zip";
    std::wstring destination = dir / L"out/dest";

    explicit Fixture(const std::vector<Entry>& entries) { testkit::WriteFile(archive, MakeZip(entries)); }
    bool Extract(std::string& error, TransferProgress* progress = nullptr, const std::string& strip = "",
                 const ZipSkipFilter& skip = {}, const CancelFlag* cancel = nullptr) {
        return ExtractZip(archive, destination, strip, progress, cancel, &error, skip);
    }
    std::string At(const std::wstring& relative) const { return ReadFile(destination + L"\\" + relative); }
    // Files outside the destination, the archive itself aside.
    std::vector<std::string> Escaped() const {
        std::vector<std::string> outside;
        for (const std::string& f : FilesUnder(dir.Path()))
            if (f != "archive.zip" && !StartsWith(f, "out/dest/")) outside.push_back(f);
        return outside;
    }
};

}  // namespace

// ---- Names ----

TEST(IsSafeArchivePath, NamesThatLeaveTheFolder_Refused) {
    for (const char* name : {"", "/etc/passwd", "\\windows\\evil.dll", "C:/evil.txt", "C:evil.txt",
                             "file.txt:stream", "..", "../evil.txt", "a/../../evil.txt", "a\\..\\evil.txt",
                             "a/..", "//server/share/x"})
        EXPECT_FALSE(IsSafeArchivePath(name)) << name;
}

TEST(IsSafeArchivePath, DotsAndDoubledSlashes_Accepted) {
    for (const char* name : {"a.txt", "./a.txt", "a/./b", "a//b", "a/b/", "..a", "a..", "a/.../b", "dir\\file"})
        EXPECT_TRUE(IsSafeArchivePath(name)) << name;
}

// ---- Opening and listing ----

TEST(ListZipEntries, BackslashNames_ListedInOrderWithSlashes) {
    Fixture f({{"z.txt", "1"}, {"dir\\sub\\file.txt", "2"}, {"dir/", "", false, 0x10}});
    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ListZipEntries(f.archive, names, error)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"z.txt", "dir/sub/file.txt", "dir/"}));
}

TEST(ListZipEntries, MissingOrForeignFile_ReportsWhy) {
    ScratchDir dir;
    std::vector<std::string> names;
    std::string error;
    EXPECT_FALSE(ListZipEntries(dir / L"missing.zip", names, error));
    EXPECT_EQ(error, "cannot open " + WideToUtf8(dir / L"missing.zip"));

    testkit::WriteFile(dir / L"text.zip", "this is not an archive");
    EXPECT_FALSE(ListZipEntries(dir / L"text.zip", names, error));
    EXPECT_EQ(error, "invalid zip archive: bad zip file");

    const std::string whole = MakeZip({{"a.txt", "abc"}});
    testkit::WriteFile(dir / L"cut.zip", whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(ListZipEntries(dir / L"cut.zip", names, error));
    EXPECT_TRUE(StartsWith(error, "invalid zip archive: ")) << error;
}

TEST(OpenZip, DirectoryShorterThanAnnounced_Invalid) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"short.zip", MakeZip({{"a.txt", "abc"}, {"b.txt", "def"}}, 1));
    ZipArchive archive;
    std::string error;
    EXPECT_FALSE(OpenZip(archive, dir / L"short.zip", error));
    EXPECT_TRUE(StartsWith(error, "invalid zip archive: ")) << error;
    EXPECT_TRUE(archive.Entries().empty());
}

TEST(OpenZip, NonAsciiArchivePath_Opens) {
    ScratchDir dir;
    const std::wstring path = dir / L"archiv\u00e9-\u65e5\u672c.zip";
    testkit::WriteFile(path, MakeZip({{"a.txt", "abc"}}));
    ZipArchive archive;
    std::string error;
    ASSERT_TRUE(OpenZip(archive, path, error)) << error;
    ASSERT_EQ(archive.Entries().size(), 1u);
    EXPECT_EQ(archive.Entries()[0].uncompressedSize, 3u);
}

// ---- Unsafe names ----

TEST(ExtractZip, UnsafeNames_RefusedWithNothingOutside) {
    const std::string absolute = "C:/zerva-zip-test-" + RandomAlnum(8) + ".txt";
    for (const std::string& name : {std::string("../evil.txt"), std::string("/evil.txt"), std::string("\\evil.txt"),
                                   std::string("sub/../../evil.txt"), std::string("sub\\..\\..\\evil.txt"),
                                   std::string("..\\..\\evil.txt"), std::string("C:evil.txt"), absolute,
                                   std::string("good.txt:evil")}) {
        Fixture f({{"first.txt", "kept"}, {name, "evil", true}, {"last.txt", "never"}});
        std::string error;
        EXPECT_FALSE(f.Extract(error)) << name;
        EXPECT_EQ(error, "unsafe path in archive: " + ToForwardSlashes(name));
        EXPECT_TRUE(f.Escaped().empty()) << name;
        EXPECT_EQ(FilesUnder(f.destination), std::vector<std::string>{"first.txt"}) << name;
    }
    EXPECT_FALSE(PathExists(Utf8ToWide(absolute)));
}

TEST(ExtractZip, DotRunComponents_NothingWrittenOutside) {
    // Names the rule lets through, but whose components a path normaliser may trim into "..".
    for (const std::string& name : {std::string(".../evil.txt"), std::string("sub/.../.../evil.txt"),
                                   std::string(".. /evil.txt"), std::string("... /evil.txt")}) {
        Fixture f({{"first.txt", "kept"}, {name, "evil"}});
        std::string error;
        EXPECT_FALSE(f.Extract(error)) << name;
        EXPECT_TRUE(f.Escaped().empty()) << name;
        EXPECT_EQ(FilesUnder(f.destination), std::vector<std::string>{"first.txt"}) << name;
    }
}

TEST(ExtractZip, DotNamedFile_RefusedNotWrittenBesideDestination) {
    Fixture f({{"./", "", false, 0x10}, {".", "evil"}});
    std::string error;
    EXPECT_FALSE(f.Extract(error));
    EXPECT_EQ(error, "unsafe path in archive: .");
    EXPECT_TRUE(f.Escaped().empty());
}

TEST(ExtractZip, DotComponentsAndDoubledSlashes_LandInside) {
    Fixture f({{"./a.txt", "A"}, {"b//c.txt", "C"}, {"d/./e.txt", "E"}});
    std::string error;
    ASSERT_TRUE(f.Extract(error)) << error;
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"a.txt", "b/c.txt", "d/e.txt"}));
    EXPECT_EQ(f.At(L"b\\c.txt"), "C");
}

// ---- Layout ----

TEST(ExtractZip, StripPrefix_TopFolderRemovedAndOutsideEntriesSkipped) {
    Fixture f({{"README.txt", "top level"},
               {"httpd-2.4/", "", false, 0x10},
               {"httpd-2.4/bin/httpd.exe", "MZ-server", true},
               {"httpd-2.4/conf/httpd.conf", "Listen 80\r\n"},
               {"other/file.txt", "elsewhere"}});
    TransferProgress progress;
    std::string error;
    ASSERT_TRUE(f.Extract(error, &progress, "httpd-2.4/")) << error;
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"bin/httpd.exe", "conf/httpd.conf"}));
    EXPECT_EQ(f.At(L"bin\\httpd.exe"), "MZ-server");
    // Entries outside the prefix count as handled: the bar ends full.
    EXPECT_EQ(progress.total.load(), 9u + 9u + 11u + 9u);
    EXPECT_EQ(progress.done.load(), progress.total.load());
}

TEST(ExtractZip, PrefixIsCaseSensitive_NothingExtracted) {
    Fixture f({Entry{"PHP/php.exe", "x"}});
    std::string error;
    ASSERT_TRUE(f.Extract(error, nullptr, "php/")) << error;
    EXPECT_TRUE(FilesUnder(f.destination).empty());
}

TEST(ExtractZip, BackslashNames_ExtractIntoFolders) {
    Fixture f({{"dir\\sub\\file.txt", "deep", true}, {"dir\\top.txt", "top"}});
    std::string error;
    ASSERT_TRUE(f.Extract(error)) << error;
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"dir/sub/file.txt", "dir/top.txt"}));
    EXPECT_EQ(f.At(L"dir\\sub\\file.txt"), "deep");
}

TEST(ExtractZip, FolderEntries_CreatedBySlashOrAttribute) {
    Fixture f({{"slash/", ""}, {"attribute", "", false, 0x10}, {"named\u00e9/caf\u00e9.txt", "utf-8 name"}});
    std::string error;
    ASSERT_TRUE(f.Extract(error)) << error;
    EXPECT_TRUE(IsDirectory(f.destination + L"\\slash"));
    EXPECT_TRUE(IsDirectory(f.destination + L"\\attribute"));
    EXPECT_EQ(f.At(L"named\u00e9\\caf\u00e9.txt"), "utf-8 name");
}

TEST(ExtractZip, EmptyArchive_CreatesOnlyTheDestination) {
    Fixture f(std::vector<Entry>{});
    TransferProgress progress;
    progress.done = 7;
    std::string error;
    ASSERT_TRUE(f.Extract(error, &progress)) << error;
    EXPECT_TRUE(IsDirectory(f.destination));
    EXPECT_TRUE(FilesUnder(f.destination).empty());
    EXPECT_EQ(progress.done.load(), 0u);
    EXPECT_EQ(progress.total.load(), 0u);
}

TEST(ExtractZip, ExistingFiles_ReplacedAndOthersKept) {
    Fixture f({{"conf/a.txt", "new", true}});
    testkit::WriteFile(f.destination + L"\\conf\\a.txt", "old and longer");
    testkit::WriteFile(f.destination + L"\\mine.txt", "user file");
    std::string error;
    ASSERT_TRUE(f.Extract(error)) << error;
    EXPECT_EQ(f.At(L"conf\\a.txt"), "new");
    EXPECT_EQ(f.At(L"mine.txt"), "user file");
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"conf/a.txt", "mine.txt"}));
}

TEST(ExtractZip, FolderInTheWayOfAFile_CannotWrite) {
    Fixture f({Entry{"conf", "file data"}});
    testkit::WriteFile(f.destination + L"\\conf\\kept.txt", "inside");
    std::string error;
    EXPECT_FALSE(f.Extract(error));
    EXPECT_EQ(error, "cannot write " + WideToUtf8(f.destination + L"\\conf"));
    EXPECT_EQ(FilesUnder(f.destination), std::vector<std::string>{"conf/kept.txt"});
}

TEST(ExtractZip, LargeDeflatedEntry_ContentIntactAcrossChunks) {
    std::string big;
    for (int i = 0; big.size() < 3 * 1024 * 1024 + 17; ++i) big += Format("line %d of a large file\n", i);
    std::string random = RandomAlnum(300000);
    Fixture f({{"big.txt", big, true}, {"random.bin", random, true}, {"stored.bin", random}});
    TransferProgress progress;
    std::string error;
    ASSERT_TRUE(f.Extract(error, &progress)) << error;
    EXPECT_TRUE(f.At(L"big.txt") == big);
    EXPECT_TRUE(f.At(L"random.bin") == random);
    EXPECT_TRUE(f.At(L"stored.bin") == random);
    EXPECT_EQ(progress.total.load(), uint64_t(big.size() + 2 * random.size()));
    EXPECT_EQ(progress.done.load(), progress.total.load());
}

// ---- Skip filter and cancel ----

TEST(ExtractZip, SkipFilter_GetsStrippedNamesAndDoneReachesTotal) {
    Fixture f({{"php/php.exe", "exe-bytes"}, {"php/php.pdb", std::string(5000, 'p'), true},
               {"php/ext/x.pdb", "pdb"}, {"php/ext/x.dll", "dll"}});
    std::vector<std::string> seen;
    TransferProgress progress;
    std::string error;
    ASSERT_TRUE(f.Extract(error, &progress, "php/", [&](const std::string& name) {
        seen.push_back(name);
        return EndsWith(name, ".pdb");
    })) << error;
    EXPECT_EQ(seen, (std::vector<std::string>{"php.exe", "php.pdb", "ext/x.pdb", "ext/x.dll"}));
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"ext/x.dll", "php.exe"}));
    EXPECT_EQ(progress.total.load(), 9u + 5000u + 3u + 3u);
    EXPECT_EQ(progress.done.load(), progress.total.load());
}

TEST(ExtractZip, SkippedUnsafeName_NotAnError) {
    Fixture f({{"../evil.pdb", "x"}, {"ok.txt", "y"}});
    std::string error;
    ASSERT_TRUE(f.Extract(error, nullptr, "", [](const std::string& n) { return EndsWith(n, ".pdb"); })) << error;
    EXPECT_EQ(FilesUnder(f.destination), std::vector<std::string>{"ok.txt"});
    EXPECT_TRUE(f.Escaped().empty());
}

TEST(ExtractZip, CancelBetweenEntries_StopsBeforeTheNext) {
    Fixture f({{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
    CancelFlag cancel{false};
    std::string error;
    // The filter runs once per entry, right before it is written: a flag set there is seen
    // at the start of the next entry.
    EXPECT_FALSE(f.Extract(error, nullptr, "", [&](const std::string&) {
        cancel = true;
        return false;
    }, &cancel));
    EXPECT_EQ(error, "cancelled");
    EXPECT_EQ(FilesUnder(f.destination), std::vector<std::string>{"one.txt"});
}

// ---- Damaged data ----

TEST(ExtractZip, ChecksumMismatch_FailsAndKeepsTheOldFile) {
    Fixture f({{"good.txt", "fine"}, {"bad.txt", "payload", false, 0, 0x12345678u}, {"after.txt", "x"}});
    testkit::WriteFile(f.destination + L"\\bad.txt", "previous version");
    std::string error;
    EXPECT_FALSE(f.Extract(error));
    EXPECT_EQ(error, "extraction failed: bad.txt (CRC error)");
    EXPECT_EQ(f.At(L"good.txt"), "fine");
    EXPECT_EQ(f.At(L"bad.txt"), "previous version");
    EXPECT_EQ(FilesUnder(f.destination), (std::vector<std::string>{"bad.txt", "good.txt"}));
}

TEST(ExtractZip, DamagedDeflateStream_FailsWithoutPartialFile) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += Format("row %d\n", i);
    Fixture f({{"dir/broken.txt", text, true, 0, std::nullopt, std::nullopt, true}});
    std::string error;
    EXPECT_FALSE(f.Extract(error));
    EXPECT_TRUE(StartsWith(error, "extraction failed: dir/broken.txt (")) << error;
    EXPECT_TRUE(FilesUnder(f.destination).empty());
}

TEST(ExtractZip, DataShorterThanRecorded_Fails) {
    // The checksum matches the data, but the data ends before the recorded size: minizip itself
    // compares checksums only once the recorded size was reached.
    for (bool deflate : {false, true}) {
        Fixture f({{"short.txt", "only this", deflate, 0, std::nullopt, 4096u}});
        std::string error;
        EXPECT_FALSE(f.Extract(error)) << deflate;
        EXPECT_TRUE(StartsWith(error, "extraction failed: short.txt (")) << error;
        EXPECT_TRUE(FilesUnder(f.destination).empty());
    }
}

TEST(ExtractZip, InvalidArchive_ReportsOpenErrorWithoutDestination) {
    ScratchDir dir;
    testkit::WriteFile(dir / L"bad.zip", "PK but not really");
    std::string error;
    EXPECT_FALSE(ExtractZip(dir / L"bad.zip", dir / L"dest", "", nullptr, nullptr, &error));
    EXPECT_EQ(error, "invalid zip archive: bad zip file");
    EXPECT_FALSE(PathExists(dir / L"dest"));
    EXPECT_FALSE(ExtractZip(dir / L"none.zip", dir / L"dest", "", nullptr, nullptr, nullptr));
}

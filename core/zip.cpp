// core/zip.cpp: zip extraction on minizip over iowin32's wide-path file functions.
//
// Reads:   ZipStream (a read window over the iowin32 file), OpenZip, ListZipEntries
// Policy:  IsSafeArchivePath, ExtractZip and the per-entry steps behind it
#include "core/zip.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>

// unzip.h brings the zlib and ioapi declarations iowin32.h relies on.
#include <unzip.h>
#include <iowin32.h>

#include "core/files.h"
#include "core/handle.h"
#include "core/text.h"

namespace {

// ---- Reads ----

// minizip reads every header field a byte or two at a time and its data in 16 KiB pieces, each a
// system call of its own. A window over the file serves them from memory.
constexpr size_t kReadWindow = 256 * 1024;
// Inflated data is written in pieces of this size.
constexpr size_t kWriteChunk = 1024 * 1024;

struct ZipStream {
    zlib_filefunc64_def win32{};
    voidpf file = nullptr;          // iowin32's stream
    bool* adopted = nullptr;        // set once minizip takes it over and closes it through CloseStream
    uint64_t position = 0;          // where minizip believes it reads
    uint64_t filePosition = 0;      // where the file pointer is
    uint64_t windowStart = 0;
    size_t windowLength = 0;
    std::unique_ptr<char[]> window{new char[kReadWindow]};

    ~ZipStream() {
        if (file) win32.zclose_file(win32.opaque, file);
    }
    bool SeekFile(uint64_t to) {
        if (to == filePosition) return true;
        if (win32.zseek64_file(win32.opaque, file, to, ZLIB_FILEFUNC_SEEK_SET) != 0) return false;
        filePosition = to;
        return true;
    }
    size_t ReadFile(void* into, size_t size) {
        const uLong got = win32.zread_file(win32.opaque, file, into, uLong(size));
        filePosition += got;
        return got;
    }
};

// The "file name" minizip hands over is the stream OpenZip has already opened, so a file that
// cannot be opened is told apart from one that is not an archive.
voidpf ZCALLBACK AdoptStream(voidpf, const void* stream, int) {
    auto* s = static_cast<ZipStream*>(const_cast<void*>(stream));
    *s->adopted = true;
    return s;
}

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong size) {
    auto* s = static_cast<ZipStream*>(stream);
    char* out = static_cast<char*>(buffer);
    uLong done = 0;
    while (done < size) {
        if (s->position >= s->windowStart && s->position < s->windowStart + s->windowLength) {
            const size_t offset = size_t(s->position - s->windowStart);
            const size_t n = std::min<size_t>(size - done, s->windowLength - offset);
            std::memcpy(out + done, s->window.get() + offset, n);
            s->position += n;
            done += uLong(n);
            continue;
        }
        if (!s->SeekFile(s->position)) break;
        const size_t wanted = size - done;
        if (wanted >= kReadWindow) {   // a large read gains nothing from the window
            const size_t got = s->ReadFile(out + done, wanted);
            s->position += got;
            done += uLong(got);
            break;
        }
        s->windowStart = s->position;
        s->windowLength = s->ReadFile(s->window.get(), kReadWindow);
        if (s->windowLength == 0) break;
    }
    return done;
}

uLong ZCALLBACK WriteStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellStream(voidpf, voidpf stream) { return static_cast<ZipStream*>(stream)->position; }

long ZCALLBACK SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* s = static_cast<ZipStream*>(stream);
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: s->position = offset; return 0;
    case ZLIB_FILEFUNC_SEEK_CUR: s->position += offset; return 0;
    case ZLIB_FILEFUNC_SEEK_END:
        if (s->win32.zseek64_file(s->win32.opaque, s->file, offset, ZLIB_FILEFUNC_SEEK_END) != 0) return -1;
        s->filePosition = s->position = s->win32.ztell64_file(s->win32.opaque, s->file);
        return 0;
    default: return -1;
    }
}

int ZCALLBACK CloseStream(voidpf, voidpf stream) {
    auto* s = static_cast<ZipStream*>(stream);
    const int result = s->win32.zclose_file(s->win32.opaque, std::exchange(s->file, nullptr));
    delete s;
    return result;
}

int ZCALLBACK StreamError(voidpf, voidpf stream) {
    auto* s = static_cast<ZipStream*>(stream);
    return s->win32.zerror_file(s->win32.opaque, s->file);
}

// minizip looks for the end record everywhere but at the very start of the file, which is where
// an archive without entries has it. Such a file is recognised here.
bool IsEmptyArchive(ZipStream& s) {
    constexpr size_t kEndRecord = 22;
    if (SeekStream(nullptr, &s, 0, ZLIB_FILEFUNC_SEEK_END) != 0) return false;
    const uint64_t size = s.position;
    if (size < kEndRecord || size > kEndRecord + 0xFFFF) return false;   // the comment is at most 64 KiB
    unsigned char head[kEndRecord];
    s.position = 0;
    if (ReadStream(nullptr, &s, head, kEndRecord) != kEndRecord) return false;
    const auto u16 = [&](size_t at) { return uint32_t(head[at]) | (uint32_t(head[at + 1]) << 8); };
    return std::memcmp(head, "PK\5\6", 4) == 0 && u16(10) == 0 && kEndRecord + u16(20) == size;
}

// minizip reports bare codes; these are the reasons shown after "invalid zip archive: " and in
// "extraction failed: name (reason)".
std::string ZipErrorText(int code) {
    switch (code) {
    case UNZ_ERRNO: return "read error";
    case UNZ_END_OF_LIST_OF_FILE: return "end of the list of entries";
    case UNZ_PARAMERROR: return "invalid parameter";
    case UNZ_BADZIPFILE: return "bad zip file";
    case UNZ_INTERNALERROR: return "internal error";
    case UNZ_CRCERROR: return "CRC error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "invalid compressed data";
    case Z_MEM_ERROR: return "out of memory";
    case Z_BUF_ERROR: return "truncated compressed data";
    default: return Format("error %d", code);
    }
}

// Reads the entry minizip stands on; false when its header cannot be read.
bool ReadCurrentEntry(unzFile reader, ZipEntry& entry, int& code) {
    unz_file_info64 info{};
    code = unzGetCurrentFileInfo64(reader, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (code != UNZ_OK) return false;
    std::string name(info.size_filename, '\0');
    if (!name.empty()) {
        code = unzGetCurrentFileInfo64(reader, nullptr, name.data(), uLong(name.size()), nullptr, 0,
                                       nullptr, 0);
        if (code != UNZ_OK) return false;
    }
    unz64_file_pos where{};
    code = unzGetFilePos64(reader, &where);
    if (code != UNZ_OK) return false;
    entry.name = ToForwardSlashes(name);
    entry.uncompressedSize = info.uncompressed_size;
    // The low byte of the external attributes holds the DOS attributes; 0x10 marks a folder.
    entry.isDirectory = EndsWith(entry.name, "/") || (info.external_fa & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.directoryOffset = where.pos_in_zip_directory;
    entry.index = where.num_of_file;
    return true;
}

// Walks the whole central directory. minizip finds each entry from the one before it, so a
// header that cannot be read hides the rest of the archive: that makes the archive invalid.
bool ReadDirectory(unzFile reader, std::vector<ZipEntry>& entries, std::string& error) {
    unz_global_info64 global{};
    int code = unzGetGlobalInfo64(reader, &global);
    for (uint64_t i = 0; code == UNZ_OK && i < global.number_entry; ++i) {
        code = (i == 0) ? unzGoToFirstFile(reader) : unzGoToNextFile(reader);
        ZipEntry entry;
        if (code == UNZ_OK && ReadCurrentEntry(reader, entry, code)) entries.push_back(std::move(entry));
    }
    if (code == UNZ_OK) return true;
    error = "invalid zip archive: " + ZipErrorText(code);
    return false;
}

}  // namespace

// ---- Open archives ----

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : m_reader(std::exchange(other.m_reader, nullptr)), m_entries(std::move(other.m_entries)) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
    if (this != &other) {
        Close();
        m_reader = std::exchange(other.m_reader, nullptr);
        m_entries = std::move(other.m_entries);
    }
    return *this;
}

void ZipArchive::Close() {
    if (m_reader) unzClose(m_reader);   // closes the file through CloseStream
    m_reader = nullptr;
    m_entries.clear();
}

bool OpenZip(ZipArchive& archive, const std::wstring& path, std::string& error) {
    archive.Close();
    auto stream = std::make_unique<ZipStream>();
    fill_win32_filefunc64W(&stream->win32);
    stream->file = stream->win32.zopen64_file(stream->win32.opaque, ExtendedPath(path).c_str(), ZLIB_FILEFUNC_MODE_READ);
    if (!stream->file) {
        error = "cannot open " + WideToUtf8(path);
        return false;
    }
    if (IsEmptyArchive(*stream)) return true;   // open, without a reader or entries
    zlib_filefunc64_def functions{};
    functions.zopen64_file = AdoptStream;
    functions.zread_file = ReadStream;
    functions.zwrite_file = WriteStream;
    functions.ztell64_file = TellStream;
    functions.zseek64_file = SeekStream;
    functions.zclose_file = CloseStream;
    functions.zerror_file = StreamError;
    // Once minizip adopted the stream it closes it on every path, its own failures included, so
    // the stream may be gone when the call returns: the flag lives here.
    bool adopted = false;
    stream->adopted = &adopted;
    unzFile reader = unzOpen2_64(stream.get(), &functions);
    if (adopted) stream.release();
    if (!reader) {
        error = "invalid zip archive: " + ZipErrorText(UNZ_BADZIPFILE);
        return false;
    }
    archive.m_reader = reader;
    if (!ReadDirectory(reader, archive.m_entries, error)) {
        archive.Close();
        return false;
    }
    return true;
}

bool ListZipEntries(const std::wstring& path, std::vector<std::string>& names, std::string& error) {
    ZipArchive archive;
    if (!OpenZip(archive, path, error)) return false;
    names.clear();
    for (const ZipEntry& entry : archive.Entries()) names.push_back(entry.name);
    return true;
}

// ---- Extraction policy ----

bool IsSafeArchivePath(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    if (name.find(':') != std::string::npos) return false;
    for (const std::string& part : Split(ToForwardSlashes(name), '/'))
        if (part == "..") return false;
    return true;
}

namespace {

std::wstring FullPath(const std::wstring& path) {
    DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size);
    return full;
}

// A segment of periods and blanks alone, other than ".": a path normaliser may read it as ".."
// (Wine reads "..." so), and Windows trims it away at the end of a path.
bool IsDotsAndBlanks(std::string_view segment) {
    return segment != "." && !segment.empty() && segment.find_first_not_of(". ") == std::string_view::npos;
}

// Where an entry lands: the destination (folded by NormalizePath) joined with the name and folded
// the same way, the destination itself for "."; the file calls open the extended form of exactly
// this path. Empty when it is outside the destination, or when a segment is made of periods and
// blanks only: what other programs make of such a name on their way in is not this path.
std::wstring TargetPath(const std::wstring& destination, const std::string& name) {
    for (const std::string& segment : Split(ToForwardSlashes(name), '/'))
        if (IsDotsAndBlanks(segment)) return {};
    std::wstring relative = Utf8ToWide(name);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    const bool hasSeparator = !destination.empty() && destination.back() == L'\\';
    const std::wstring base = hasSeparator ? destination : destination + L"\\";
    std::wstring target = NormalizePath(base + relative);
    while (target.size() > base.size() && target.back() == L'\\') target.pop_back();
    if (target == destination || target == base) return destination;
    const bool inside = target.size() > base.size() && target.compare(0, base.size(), base) == 0;
    return inside ? target : std::wstring();
}

struct ExtractState {
    unzFile reader = nullptr;
    TransferProgress* progress = nullptr;
    std::string error;
    std::unordered_set<std::wstring> folders;   // made already: most entries share a parent
    std::unique_ptr<char[]> buffer{new char[kWriteChunk]};

    void Advance(uint64_t bytes) {
        if (progress) progress->done += bytes;
    }
    bool EnsureFolder(const std::wstring& folder) {
        if (folders.count(folder)) return true;
        if (!EnsureDirectory(folder)) return false;
        folders.insert(folder);
        return true;
    }
    bool Fail(std::string text) {
        error = std::move(text);
        return false;
    }
};

// Inflates the current entry into `file`; false with the reason when the data is bad.
bool InflateInto(ExtractState& state, const std::string& name, uint64_t size, HANDLE file) {
    const std::string failed = "extraction failed: " + name + " (";
    int code = unzOpenCurrentFile(state.reader);
    if (code != UNZ_OK) return state.Fail(failed + ZipErrorText(code) + ")");
    uint64_t written = 0;
    for (;;) {
        const int got = unzReadCurrentFile(state.reader, state.buffer.get(), unsigned(kWriteChunk));
        if (got < 0) {
            unzCloseCurrentFile(state.reader);
            return state.Fail(failed + ZipErrorText(got) + ")");
        }
        if (got == 0) break;
        std::string reason;
        if (!WriteAll(file, std::string_view(state.buffer.get(), size_t(got)), reason)) {
            unzCloseCurrentFile(state.reader);
            return state.Fail(failed + "write error: " + reason + ")");
        }
        written += uint64_t(got);
        state.Advance(uint64_t(got));
    }
    // The checksum is compared only here, and only when the recorded size was reached: data that
    // ends early would otherwise pass unchecked.
    code = unzCloseCurrentFile(state.reader);
    if (code != UNZ_OK) return state.Fail(failed + ZipErrorText(code) + ")");
    if (written != size) return state.Fail(failed + "data shorter than recorded)");
    return true;
}

// A new file is created in place; an existing one is replaced through a sibling only once the
// entry checked out. Either way a damaged entry leaves neither a partial file nor a lost old
// one. (A move per file would double the cost of extracting many small files.)
bool ExtractFile(ExtractState& state, const std::string& name, uint64_t size, const std::wstring& target) {
    if (!state.EnsureFolder(ParentFolder(target)))
        return state.Fail("cannot write " + WideToUtf8(target));
    auto create = [](const std::wstring& path, DWORD disposition) {
        return UniqueHandle(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    };
    std::wstring written = target;
    UniqueHandle file = create(target, CREATE_NEW);
    if (!file && (::GetLastError() == ERROR_FILE_EXISTS || ::GetLastError() == ERROR_ALREADY_EXISTS)) {
        written = target + L".zvtmp";
        file = create(written, CREATE_ALWAYS);
    }
    if (!file) return state.Fail("cannot write " + WideToUtf8(target));
    const bool inflated = InflateInto(state, name, size, file.Get());
    file.Reset();   // closed before the move: Windows refuses to move a file open for writing
    if (inflated && (written == target ||
                     ::MoveFileExW(ExtendedPath(written).c_str(), ExtendedPath(target).c_str(), MOVEFILE_REPLACE_EXISTING)))
        return true;
    ::DeleteFileW(ExtendedPath(written).c_str());
    return inflated ? state.Fail("cannot write " + WideToUtf8(target)) : false;
}

// The name an entry is extracted under, or empty when the entry is left out.
std::string ExtractedName(const std::string& name, const std::string& stripPrefix) {
    if (stripPrefix.empty()) return name;
    if (!StartsWith(name, stripPrefix)) return {};
    return name.substr(stripPrefix.size());
}

bool ExtractEntries(const ZipArchive& archive, const std::wstring& destination, const std::string& stripPrefix,
                    const CancelFlag* cancel, const ZipSkipFilter& skip, ExtractState& state) {
    std::wstring root = NormalizePath(FullPath(destination));
    if (root.size() > 3 && root.back() == L'\\') root.pop_back();
    if (!state.EnsureFolder(root)) return state.Fail("cannot write " + WideToUtf8(root));

    for (const ZipEntry& entry : archive.Entries()) {
        if (cancel && cancel->load()) return state.Fail("cancelled");
        const std::string name = ExtractedName(entry.name, stripPrefix);
        // Entries left out count as handled, so `done` reaches `total` on success.
        if (name.empty() || (skip && skip(name))) {
            state.Advance(entry.uncompressedSize);
            continue;
        }
        const bool isFolder = entry.isDirectory || EndsWith(name, "/");
        const std::wstring target = IsSafeArchivePath(name) ? TargetPath(root, name) : std::wstring();
        // A file must land strictly inside: one named "." would be written beside the destination.
        if (target.empty() || (!isFolder && target == root)) return state.Fail("unsafe path in archive: " + name);
        if (isFolder) {
            if (!state.EnsureFolder(target)) return state.Fail("cannot write " + WideToUtf8(target));
            state.Advance(entry.uncompressedSize);
            continue;
        }
        unz64_file_pos where{entry.directoryOffset, entry.index};
        const int code = unzGoToFilePos64(state.reader, &where);
        if (code != UNZ_OK) return state.Fail("extraction failed: " + name + " (" + ZipErrorText(code) + ")");
        if (!ExtractFile(state, name, entry.uncompressedSize, target)) return false;
    }
    return true;
}

}  // namespace

bool ExtractZip(const std::wstring& archivePath, const std::wstring& destination,
                const std::string& stripPrefix, TransferProgress* progress, const CancelFlag* cancel,
                std::string* error, const ZipSkipFilter& skip) {
    ExtractState state;
    ZipArchive archive;
    bool ok = OpenZip(archive, archivePath, state.error);
    if (ok) {
        state.reader = archive.Reader();
        state.progress = progress;
        if (progress) {
            uint64_t total = 0;
            for (const ZipEntry& entry : archive.Entries()) total += entry.uncompressedSize;
            progress->total = total;
            progress->done = 0;
        }
        ok = ExtractEntries(archive, destination, stripPrefix, cancel, skip, state);
    }
    if (!ok && error) *error = state.error;
    return ok;
}

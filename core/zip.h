// core/zip.h: unpacking of the zip archives the installer and the updater download, on minizip:
// a path-safety rule, removal of a leading folder, a skip filter, progress counters and a cancel
// flag. Blocking: call it from worker threads. An open archive owns its file until it goes away.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/transfer.h"

// One entry of the archive's central directory, as read when the archive is opened.
struct ZipEntry {
    std::string name;               // as stored (UTF-8 expected), backslashes turned into slashes
    uint64_t uncompressedSize = 0;
    bool isDirectory = false;       // a name ending in "/" or the DOS directory attribute
    uint64_t directoryOffset = 0;   // where minizip finds the entry again
    uint64_t index = 0;
};

// An open archive: minizip's reader and the file under it, released together.
class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive() { Close(); }
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    void Close();
    void* Reader() const { return m_reader; }   // minizip's unzFile; null for an archive without entries
    const std::vector<ZipEntry>& Entries() const { return m_entries; }

private:
    friend bool OpenZip(ZipArchive& archive, const std::wstring& path, std::string& error);
    void* m_reader = nullptr;
    std::vector<ZipEntry> m_entries;
};

// Opens the archive and reads its whole central directory. Errors: "cannot open " + path,
// "invalid zip archive: " + minizip's reason (also when the directory cannot be read through).
[[nodiscard]] bool OpenZip(ZipArchive& archive, const std::wstring& path, std::string& error);

// Entry names in archive order, with forward slashes. False only when the archive cannot be opened.
[[nodiscard]] bool ListZipEntries(const std::wstring& path, std::vector<std::string>& names,
                                  std::string& error);

// False for names that could leave the destination folder: empty, starting with "/" or "\",
// holding ":" anywhere, or with a ".." component. "." and empty components are fine.
bool IsSafeArchivePath(const std::string& name);

// Returns true to leave an entry out; gets the name after the prefix was removed.
using ZipSkipFilter = std::function<bool(const std::string& name)>;

// Extracts every entry into `destination` (created when missing). With a non-empty `stripPrefix`
// only entries under it are extracted, without it. Existing files are replaced; an entry that
// fails leaves no file behind, entries already extracted stay. `progress->total` is the sum of
// the entries' sizes and `done` reaches it on success; `cancel` is checked between entries.
// Errors: those of OpenZip, "cancelled", "unsafe path in archive: " + name (that entry is not
// written), "cannot write " + path, "extraction failed: " + name + " (" + reason + ")".
[[nodiscard]] bool ExtractZip(const std::wstring& archivePath, const std::wstring& destination,
                              const std::string& stripPrefix, TransferProgress* progress,
                              const CancelFlag* cancel, std::string* error,
                              const ZipSkipFilter& skip = {});

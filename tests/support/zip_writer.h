// tests/support/zip_writer.h: a small zip writer for tests: stored or deflated entries, with ways
// to damage them, so the extractor and its callers meet the archives they must accept or refuse.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

struct ZipEntrySpec {
    std::string name;
    std::string data;
    bool deflate = false;
    uint32_t attributes = 0;              // external attributes (0x10: DOS folder)
    std::optional<uint32_t> crc;          // a wrong checksum in both headers
    std::optional<uint32_t> recordedSize; // a wrong uncompressed size in both headers
    bool damageData = false;              // flips bytes in the middle of the stored data
};

// The archive's bytes. `extraCount` adds entries to the end record that the central directory
// does not hold.
std::string MakeZip(const std::vector<ZipEntrySpec>& entries, uint32_t extraCount = 0);

}  // namespace testkit

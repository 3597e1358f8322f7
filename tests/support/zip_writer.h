// tests/support/zip_writer.h: a small zip writer for the tests: stored or deflated entries, with
// ways to damage them. Builds the archive's bytes in memory; any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

struct Entry {
    std::string name;
    std::string data;
    bool deflate = false;
    uint32_t attributes = 0;              // external attributes (0x10: DOS folder)
    std::optional<uint32_t> crc;          // a wrong checksum in both headers
    std::optional<uint32_t> recordedSize; // a wrong uncompressed size in both headers
    bool damageData = false;              // flips bytes in the middle of the stored data
};

// `extraCount` adds entries to the end record that the central directory does not hold.
std::string MakeZip(const std::vector<Entry>& entries, uint32_t extraCount = 0);

}  // namespace testkit

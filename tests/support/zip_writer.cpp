#include "tests/support/zip_writer.h"

#include <zlib.h>

namespace testkit {

namespace {

void Put16(std::string& out, uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
void Put32(std::string& out, uint32_t v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }

// A zlib stream is a 2-byte header, the raw deflate data a zip entry holds, and a 4-byte checksum.
std::string RawDeflate(const std::string& data) {
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              uLong(data.size()), 6);
    return out.substr(2, size - 6);
}

}  // namespace

std::string MakeZip(const std::vector<ZipEntrySpec>& entries, uint32_t extraCount) {
    std::string body, directory;
    for (const ZipEntrySpec& e : entries) {
        std::string stored = e.deflate ? RawDeflate(e.data) : e.data;
        if (e.damageData && stored.size() > 4)
            for (size_t i = stored.size() / 2; i < stored.size() / 2 + 4; ++i) stored[i] = char(~stored[i]);
        const uint32_t crc = e.crc.value_or(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), uInt(e.data.size())));
        const uint32_t size = e.recordedSize.value_or(uint32_t(e.data.size()));
        auto common = [&](std::string& out) {
            Put16(out, 20), Put16(out, 0x0800), Put16(out, e.deflate ? 8 : 0), Put16(out, 0), Put16(out, 0x21);
            Put32(out, crc), Put32(out, uint32_t(stored.size())), Put32(out, size);
            Put16(out, uint32_t(e.name.size())), Put16(out, 0);
        };
        const uint32_t offset = uint32_t(body.size());
        Put32(body, 0x04034b50), common(body), body += e.name + stored;
        Put32(directory, 0x02014b50), Put16(directory, 20), common(directory);
        Put16(directory, 0), Put16(directory, 0), Put16(directory, 0), Put32(directory, e.attributes);
        Put32(directory, offset), directory += e.name;
    }
    std::string zip = body + directory;
    const uint32_t count = uint32_t(entries.size()) + extraCount;
    Put32(zip, 0x06054b50), Put16(zip, 0), Put16(zip, 0), Put16(zip, count), Put16(zip, count);
    Put32(zip, uint32_t(directory.size())), Put32(zip, uint32_t(body.size())), Put16(zip, 0);
    return zip;
}

}  // namespace testkit

#include "ui/logo.h"

#include <windows.h>
#include <objbase.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Big32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

void AppendChunk(std::string& png, const char* type, const std::string& data) {
    const std::string body = std::string(type, 4) + data;
    png += Big32(uint32_t(data.size())) + body +
           Big32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// A 2 x 1 RGBA PNG: one opaque red pixel, one half-transparent blue one.
std::string TwoPixelPng() {
    // 2 x 1, 8 bits, RGBA, deflate, no filter, no interlace
    const std::string header = Big32(2) + Big32(1) + std::string("\x08\x06\x00\x00\x00", 5);
    const std::string raw("\x00\xFF\x00\x00\xFF\x00\x00\xFF\x80", 9);  // filter byte, then the pixels
    uLongf size = compressBound(uLong(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
    packed.resize(size);
    std::string png("\x89PNG\r\n\x1A\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", "");
    return png;
}

TEST(Logo, DecodesPngIntoRgbaRowsAndRefusesOtherBytes) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::vector<uint8_t> rgba;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(DecodeImageRgba(TwoPixelPng(), rgba, width, height));
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 1u);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80}));
    EXPECT_FALSE(DecodeImageRgba("not an image", rgba, width, height));
    EXPECT_FALSE(DecodeImageRgba("", rgba, width, height));
    // Without a device, or without the resource in this program, there is no logo.
    EXPECT_EQ(CreateLogoTexture(nullptr), nullptr);
    ::CoUninitialize();
}

}  // namespace

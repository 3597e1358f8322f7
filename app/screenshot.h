// app/screenshot.h: the back buffer just drawn, written as an opaque 32-bit PNG through the
// Windows Imaging Component. GUI thread (the device's context); owns nothing between calls.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Rows of R, G, B, A at `pitch` bytes apart, packed tightly as B, G, R, 255.
std::vector<uint8_t> PackOpaqueBgra(const uint8_t* rows, uint32_t pitch, uint32_t width, uint32_t height);
// Back buffer 0 of the swap chain to `path`; false when any step fails (the file may then be
// missing or partial).
[[nodiscard]] bool SaveScreenshotPng(const std::wstring& path);

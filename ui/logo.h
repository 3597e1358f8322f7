// ui/logo.h: the sidebar logo, a PNG stored in the executable's resources, decoded with the
// Windows Imaging Component and uploaded as a Direct3D 11 texture, and the one shape of the
// interface's RGBA textures. GUI thread; COM initialised.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

struct ID3D11Device;
struct ID3D11ShaderResourceView;
struct ID3D11Texture2D;

// Decodes PNG (or any WIC-readable) bytes into 32-bit RGBA rows, top row first.
[[nodiscard]] bool DecodeImageRgba(std::string_view bytes, std::vector<uint8_t>& rgba, uint32_t& width,
                                   uint32_t& height);
// The texture of raw-data resource 201; null without a device or resource, or on any failure.
// The caller owns the returned reference.
ID3D11ShaderResourceView* CreateLogoTexture(ID3D11Device* device);
// A shader-readable RGBA texture of that size, filled from `pixels` (rows of width x 4 bytes) or
// left uninitialised when null. False on failure; otherwise the caller owns `*texture`.
[[nodiscard]] bool CreateRgbaTexture(ID3D11Device* device, uint32_t width, uint32_t height, const void* pixels,
                                     ID3D11Texture2D** texture);

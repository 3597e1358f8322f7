#include "app/screenshot.h"

#include <d3d11.h>
#include <wincodec.h>
#include <wrl/client.h>

#include "app/d3d.h"
#include "core/files.h"

using Microsoft::WRL::ComPtr;

namespace {

bool ReadBackBuffer(std::vector<uint8_t>& pixels, UINT& width, UINT& height) {
    IDXGISwapChain* swapChain = D3dSwapChain();
    ID3D11Device* device = D3dDevice();
    ID3D11DeviceContext* context = D3dContext();
    ComPtr<ID3D11Texture2D> backBuffer, staging;
    if (!swapChain || FAILED(swapChain->GetBuffer(0, IID_PPV_ARGS(&backBuffer)))) return false;
    D3D11_TEXTURE2D_DESC desc{};
    backBuffer->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.BindFlags = 0;
    desc.MiscFlags = 0;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) return false;
    context->CopyResource(staging.Get(), backBuffer.Get());
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return false;
    pixels = PackOpaqueBgra(static_cast<const uint8_t*>(mapped.pData), mapped.RowPitch, desc.Width, desc.Height);
    context->Unmap(staging.Get(), 0);
    width = desc.Width;
    height = desc.Height;
    return true;
}

}  // namespace

std::vector<uint8_t> PackOpaqueBgra(const uint8_t* rows, uint32_t pitch, uint32_t width, uint32_t height) {
    std::vector<uint8_t> out(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = rows + size_t(y) * pitch;
        uint8_t* dst = out.data() + size_t(y) * width * 4;
        for (uint32_t x = 0; x < width; ++x, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = 255;
        }
    }
    return out;
}

bool SaveScreenshotPng(const std::wstring& path) {
    std::vector<uint8_t> pixels;
    UINT width = 0, height = 0;
    if (!ReadBackBuffer(pixels, width, height)) return false;
    // Encoded in memory, then written atomically: a failed capture leaves no partial file.
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> memory;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
        FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &memory)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(memory.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(width, height)))
        return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) ||
        FAILED(frame->WritePixels(height, width * 4, UINT(pixels.size()), pixels.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    HGLOBAL global = nullptr;
    STATSTG stat{};
    if (FAILED(::GetHGlobalFromStream(memory.Get(), &global)) || FAILED(memory->Stat(&stat, STATFLAG_NONAME)))
        return false;
    const void* bytes = ::GlobalLock(global);
    if (!bytes) return false;
    const bool written = WriteFileAtomic(path, std::string_view(static_cast<const char*>(bytes),
                                                                size_t(stat.cbSize.QuadPart)), nullptr);
    ::GlobalUnlock(global);
    return written;
}

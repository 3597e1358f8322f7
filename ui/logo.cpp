#include "ui/logo.h"

#include <windows.h>
#include <d3d11.h>
#include <shlwapi.h>
#include <wincodec.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kLogoResource = 201;

}  // namespace

bool DecodeImageRgba(std::string_view bytes, std::vector<uint8_t>& rgba, uint32_t& width, uint32_t& height) {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return false;
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size())));
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (!stream ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 16384 || h > 16384) return false;
    rgba.assign(size_t(w) * h * 4, 0);
    if (FAILED(converter->CopyPixels(nullptr, w * 4, UINT(rgba.size()), rgba.data()))) return false;
    width = w;
    height = h;
    return true;
}

ID3D11ShaderResourceView* CreateLogoTexture(ID3D11Device* device) {
    if (!device) return nullptr;
    HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kLogoResource), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return nullptr;
    std::vector<uint8_t> rgba;
    uint32_t width = 0, height = 0;
    if (!DecodeImageRgba(std::string_view(static_cast<const char*>(data), ::SizeofResource(nullptr, resource)), rgba,
                         width, height))
        return nullptr;

    ComPtr<ID3D11Texture2D> texture;
    if (!CreateRgbaTexture(device, width, height, rgba.data(), &texture)) return nullptr;
    D3D11_SHADER_RESOURCE_VIEW_DESC view = {};
    view.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    view.Texture2D.MipLevels = 1;
    ID3D11ShaderResourceView* srv = nullptr;
    if (FAILED(device->CreateShaderResourceView(texture.Get(), &view, &srv))) return nullptr;
    return srv;
}

bool CreateRgbaTexture(ID3D11Device* device, uint32_t width, uint32_t height, const void* pixels,
                       ID3D11Texture2D** texture) {
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    const D3D11_SUBRESOURCE_DATA initial = {pixels, width * 4, 0};
    return SUCCEEDED(device->CreateTexture2D(&desc, pixels ? &initial : nullptr, texture));
}

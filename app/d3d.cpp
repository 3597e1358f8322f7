#include "app/d3d.h"

#include <wrl/client.h>

#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "ui/ui.h"

namespace {

ID3D11Device* g_device = nullptr;
ID3D11DeviceContext* g_context = nullptr;
IDXGISwapChain* g_swapChain = nullptr;
ID3D11RenderTargetView* g_renderTarget = nullptr;
DeviceFactory g_factory = nullptr;

HRESULT CreateWithDriver(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                         ID3D11Device** device, ID3D11DeviceContext** context) {
    if (g_factory) return g_factory(driver, desc, swapChain, device, context);
    static const D3D_FEATURE_LEVEL kLevels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                                D3D_FEATURE_LEVEL_10_0};
    D3D_FEATURE_LEVEL level{};
    return ::D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, kLevels, 3, D3D11_SDK_VERSION, &desc,
                                           swapChain, device, &level, context);
}

template <typename T>
void ReleaseInto(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// Alt+Enter would take the swap chain to exclusive full screen, and releasing a swap chain there
// is an error DXGI forbids: the window stays a window. The association belongs to the factory
// that made the swap chain. A failure leaves Alt+Enter as DXGI handles it, as before.
void RefuseAltEnter(HWND window) {
    Microsoft::WRL::ComPtr<IDXGIFactory> factory;
    if (SUCCEEDED(g_swapChain->GetParent(IID_PPV_ARGS(&factory))))
        factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
}

}  // namespace

bool CreateDeviceD3D(HWND window) {
    DXGI_SWAP_CHAIN_DESC desc{};
    desc.BufferCount = 2;
    desc.BufferDesc.RefreshRate = {60, 1};
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.Flags = 0;  // no display-mode switches: the window is never full screen
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.OutputWindow = window;
    desc.SampleDesc.Count = 1;
    desc.Windowed = TRUE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    if (FAILED(CreateWithDriver(D3D_DRIVER_TYPE_HARDWARE, desc, &g_swapChain, &g_device, &g_context))) {
        // The software rasteriser cannot flip: one buffer, plain discard.
        desc.BufferCount = 1;
        desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
        if (FAILED(CreateWithDriver(D3D_DRIVER_TYPE_WARP, desc, &g_swapChain, &g_device, &g_context))) {
            CleanupDeviceD3D();
            return false;
        }
    }
    RefuseAltEnter(window);
    CreateRenderTarget();
    return true;
}

void CleanupDeviceD3D() {
    ReleaseInto(g_renderTarget);
    ReleaseInto(g_swapChain);
    ReleaseInto(g_context);
    ReleaseInto(g_device);
}

void CreateRenderTarget() {
    ID3D11Texture2D* backBuffer = nullptr;
    if (!g_swapChain || FAILED(g_swapChain->GetBuffer(0, IID_PPV_ARGS(&backBuffer)))) return;
    g_device->CreateRenderTargetView(backBuffer, nullptr, &g_renderTarget);
    backBuffer->Release();
}

void ResizeRenderTarget(UINT width, UINT height) {
    ReleaseInto(g_renderTarget);
    if (g_swapChain) g_swapChain->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0);
    CreateRenderTarget();
}

ID3D11Device* D3dDevice() { return g_device; }
ID3D11DeviceContext* D3dContext() { return g_context; }
IDXGISwapChain* D3dSwapChain() { return g_swapChain; }
ID3D11RenderTargetView* D3dRenderTarget() { return g_renderTarget; }

bool RecoverAfterPresent(HRESULT presentResult, HWND window) {
    if (presentResult != DXGI_ERROR_DEVICE_REMOVED && presentResult != DXGI_ERROR_DEVICE_RESET) return true;
    ImGui_ImplDX11_Shutdown();
    ui::Shutdown();  // the logo texture holds the old device
    CleanupDeviceD3D();
    // A renderer initialised on a null device would crash at the next frame: the caller ends.
    const bool rebuilt = CreateDeviceD3D(window) && ImGui_ImplDX11_Init(g_device, g_context);
    // Without a new device the interface keeps neither the released one nor a logo made on it.
    ui::DeviceRebuilt(rebuilt ? g_device : nullptr);
    return rebuilt;
}

void SetDeviceFactory(DeviceFactory factory) { g_factory = factory; }

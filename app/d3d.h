// app/d3d.h: the Direct3D 11 device, context, swap chain and render-target view of the window:
// creation on hardware with the WARP fallback, the render target, resize, release, and the
// rebuild after a lost device. GUI thread only; owns the four objects (null while absent).
#pragma once
#include <d3d11.h>
#include <dxgi.h>

// D3D11CreateDeviceAndSwapChain's shape, so a test can stand in for the driver.
using DeviceFactory = HRESULT (*)(D3D_DRIVER_TYPE driver, const DXGI_SWAP_CHAIN_DESC& desc, IDXGISwapChain** swapChain,
                                  ID3D11Device** device, ID3D11DeviceContext** context);

// Hardware first (2 buffers, flip-discard), then WARP (1 buffer, discard); false when neither
// gives a device. The render target is made too. Alt+Enter leaves the window as it is.
[[nodiscard]] bool CreateDeviceD3D(HWND window);
// Releases the view, the swap chain, the context and the device, in this order.
void CleanupDeviceD3D();
void CreateRenderTarget();
// Resizes the swap chain's buffers (count and format kept) and remakes the render target.
void ResizeRenderTarget(UINT width, UINT height);

ID3D11Device* D3dDevice();
ID3D11DeviceContext* D3dContext();
IDXGISwapChain* D3dSwapChain();
ID3D11RenderTargetView* D3dRenderTarget();

// After a Present result: a removed or reset device is rebuilt with the Dear ImGui renderer.
// False when the rebuild failed: no device then, and the renderer stays shut down.
[[nodiscard]] bool RecoverAfterPresent(HRESULT presentResult, HWND window);

// Null restores the real driver.
void SetDeviceFactory(DeviceFactory factory);

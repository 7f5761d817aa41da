// Device creation and release. The device is full screen, 1024 x 768 with a
// 16-bit depth buffer, four samples when the adapter has them, one retrace
// per Present; the picture fills the 640 rows in the middle.
#include "render/renderer.hpp"

#include "app/main_loop.hpp"
#include "app/window.hpp"
#include "common/allocation.hpp"
#include "math/matrix.hpp"
#include "render/frame_matrices.hpp"
#include "render/shader_setup.hpp"

IDirect3D9* direct3d;
IDirect3DDevice9* device;
Mat4* projectionMatrix;
Mat4* viewMatrix;

namespace {

using Direct3DCreate9Function = decltype(&Direct3DCreate9);

D3DPRESENT_PARAMETERS makePresentParameters(bool multisampleAvailable)
{
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = 1024;
    parameters.BackBufferHeight = 768;
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    parameters.BackBufferCount = 0;
    parameters.MultiSampleType = multisampleAvailable ? RequestedMultisampleType : D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = multisampleAvailable ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = mainWindow;
    parameters.Windowed = FALSE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.Flags = 0;
    parameters.FullScreen_RefreshRateInHz = 0;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    return parameters;
}

void setViewportAndStates()
{
    D3DVIEWPORT9 viewport = {};
    viewport.X = 0;
    viewport.Y = 64;
    viewport.Width = 1024;
    viewport.Height = 640;
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    device->SetViewport(&viewport);
    device->SetRenderState(D3DRS_CULLMODE, cullMode);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    device->SetRenderState(D3DRS_FILLMODE, fillMode);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
}

// Undoes a failed initRenderer: the program ends right after, and what was
// made must not outlive it unreleased.
void abandonRenderer()
{
    if (direct3d != NULL) {
        direct3d->Release();
        direct3d = NULL;
    }
    releaseBlock(viewMatrix);
    releaseBlock(projectionMatrix);
}

} // namespace

bool initRenderer()
{
    const Direct3DCreate9Function create = bindProc<Direct3DCreate9Function>(d3d9Module, "Direct3DCreate9");
    projectionMatrix = allocateZeroed<Mat4>(1);
    viewMatrix = allocateZeroed<Mat4>(1);
    setProjection(*projectionMatrix);
    // A runtime without the entry point has no Direct3D object to give.
    direct3d = create != NULL ? create(D3D_SDK_VERSION) : NULL;
    if (direct3d == NULL) {
        abandonRenderer();
        return false;
    }
    const bool multisampleAvailable =
        direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, RequestedMultisampleType,
                                             NULL) == D3D_OK;
    D3DPRESENT_PARAMETERS parameters = makePresentParameters(multisampleAvailable);
    device = NULL;
    if (direct3d->CreateDevice(0, D3DDEVTYPE_HAL, mainWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                               &device) != D3D_OK) {
        device = NULL; // a refusing runtime may have written anything there
        abandonRenderer();
        return false;
    }
    setViewportAndStates();
    createShaderPrograms();
    return true;
}

void releaseRenderer()
{
    releaseShaderPrograms();
    if (device != NULL) {
        device->ShowCursor(TRUE);
        device->Release();
        device = NULL;
    }
    if (direct3d != NULL) {
        direct3d->Release();
        direct3d = NULL;
    }
    releaseBlock(viewMatrix);
    releaseBlock(projectionMatrix);
}

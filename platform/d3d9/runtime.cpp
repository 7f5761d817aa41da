// The front end's IDirect3D9: the adapter's multisample check and device
// creation, with the checks Direct3D makes before a device exists.
#include "d3d9/runtime.hpp"

#include <mutex>

#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "windows.h"
#include "win32/window_system.hpp"

namespace d3d9 {
namespace {

// The largest side a back end is asked for, render scale included.
constexpr UINT MaxScaledSide = 8192;

struct Installed {
    const BackendDescription* backend = nullptr;
    BackendOptions options;
};

Installed installed;

bool backBufferFormat(D3DFORMAT format)
{
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
}

class Direct3D final : public Object<IDirect3D9> {
public:
    Direct3D(std::unique_ptr<Adapter> adapter, BackendOptions options)
        : Object("d3d"), adapter_(std::move(adapter)), options_(std::move(options))
    {
    }

    UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }

    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                                         BOOL windowed, D3DMULTISAMPLE_TYPE samples,
                                                         DWORD* quality) override
    {
        HRESULT result = D3D_OK;
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            result = D3DERR_INVALIDCALL;
        } else if (!(backBufferFormat(format) || format == D3DFMT_D16) || !sampleCountOffered(samples)) {
            result = D3DERR_NOTAVAILABLE;
        }
        if (quality != nullptr) {
            *quality = result == D3D_OK ? 1 : 0;
        }
        trace::callWithResult(trace::resultName(result), "CheckDeviceMultiSampleType", adapter, type, format,
                              windowed, samples);
        return result;
    }

    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                           D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** device) override
    {
        if (device == nullptr || p == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        trace::call("CreateDevice", adapter, type, win32::describeWindow(focus), trace::Hex{behaviour},
                    trace::presentParameters(*p));
        *device = nullptr;
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            return D3DERR_INVALIDCALL;
        }
        if (!backBufferFormat(p->BackBufferFormat) || p->BackBufferWidth > 8192 || p->BackBufferHeight > 8192 ||
            !sampleCountOffered(p->MultiSampleType)) {
            return D3DERR_NOTAVAILABLE;
        }
        D3DPRESENT_PARAMETERS sized = *p;
        sized.BackBufferWidth = p->BackBufferWidth != 0 ? p->BackBufferWidth : 1024;
        sized.BackBufferHeight = p->BackBufferHeight != 0 ? p->BackBufferHeight : 768;
        // The back end's back buffer, at the render scale the host asked for.
        D3DPRESENT_PARAMETERS scaled = sized;
        const auto scale = static_cast<UINT>(renderScaleOf(options_));
        scaled.BackBufferWidth *= scale;
        scaled.BackBufferHeight *= scale;
        if (scaled.BackBufferWidth > MaxScaledSide || scaled.BackBufferHeight > MaxScaledSide) {
            return D3DERR_NOTAVAILABLE;
        }
        std::unique_ptr<Backend> backend = adapter_->createBackend(scaled, options_);
        if (backend == nullptr) {
            return D3DERR_NOTAVAILABLE;
        }
        if (!p->Windowed) {
            // A full-screen device shows its window and covers the screen with it.
            const HWND window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focus;
            SetWindowPos(window, nullptr, 0, 0, static_cast<int>(sized.BackBufferWidth),
                         static_cast<int>(sized.BackBufferHeight), SWP_SHOWWINDOW);
        }
        *device = new Device(std::move(backend), sized, options_);
        return D3D_OK;
    }

private:
    ~Direct3D() override = default;

    bool sampleCountOffered(D3DMULTISAMPLE_TYPE samples) const
    {
        if (samples == D3DMULTISAMPLE_NONE) {
            return true;
        }
        return (samples == D3DMULTISAMPLE_2_SAMPLES || samples == D3DMULTISAMPLE_4_SAMPLES) &&
               options_.multisample && adapter_->offersMultisample();
    }

    std::unique_ptr<Adapter> adapter_;
    BackendOptions options_;
};

} // namespace

void useBackend(const BackendDescription& backend, BackendOptions options)
{
    installed.backend = &backend;
    installed.options = std::move(options);
    trace::traceCalls(installed.options.traceCalls);
}

void useNoBackend()
{
    installed = {};
    trace::traceCalls(false);
}

std::string_view backendInUse()
{
    return installed.backend != nullptr ? installed.backend->name : std::string_view();
}

IDirect3D9* WINAPI createDirect3D9(UINT sdkVersion)
{
    trace::call("Direct3DCreate9", sdkVersion);
    if (sdkVersion != D3D_SDK_VERSION || installed.backend == nullptr || !installed.backend->openAdapter) {
        return nullptr;
    }
    std::unique_ptr<Adapter> adapter = installed.backend->openAdapter(installed.options);
    if (adapter == nullptr) {
        return nullptr;
    }
    return new Direct3D(std::move(adapter), installed.options);
}

} // namespace d3d9

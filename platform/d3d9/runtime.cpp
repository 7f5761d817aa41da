// The front end's IDirect3D9: the adapter's multisample check and device
// creation, with the checks Direct3D makes before a device exists.
#include "d3d9/runtime.hpp"

#include <algorithm>
#include <mutex>

#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"
#include "d3d9/failures.hpp"
#include "windows.h"
#include "win32/window_system.hpp"

namespace d3d9 {
namespace {

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
        trace::Call call("CheckDeviceMultiSampleType", adapter, type, format, windowed, samples);
        if (quality != nullptr) {
            *quality = 0;
        }
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            return call.refuse(D3DERR_INVALIDCALL, "no such adapter or device type");
        }
        if (!(backBufferFormat(format) || format == D3DFMT_D16) || !sampleCountOffered(samples)) {
            return call.result(D3DERR_NOTAVAILABLE); // an answer, not a refusal
        }
        if (quality != nullptr) {
            *quality = 1;
        }
        return call.result(D3D_OK);
    }

    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                           D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** device) override
    {
        trace::Call call("CreateDevice", adapter, type, trace::lazy([focus] { return win32::describeWindow(focus); }),
                         trace::Hex{behaviour},
                         trace::lazy([p] { return p != nullptr ? trace::presentParameters(*p) : std::string("NULL"); }));
        if (device == nullptr || p == nullptr) {
            return call.refuse(D3DERR_INVALIDCALL, "no parameters, or nowhere to write");
        }
        *device = nullptr;
        if (adapter != 0 || type != D3DDEVTYPE_HAL) {
            return call.refuse(D3DERR_INVALIDCALL, "no such adapter or device type");
        }
        if (!backBufferFormat(p->BackBufferFormat) || p->BackBufferWidth > 8192 || p->BackBufferHeight > 8192 ||
            !sampleCountOffered(p->MultiSampleType)) {
            return call.refuse(D3DERR_NOTAVAILABLE, "a back buffer this adapter does not offer");
        }
        D3DPRESENT_PARAMETERS sized = *p;
        sized.BackBufferWidth = p->BackBufferWidth != 0 ? p->BackBufferWidth : 1024;
        sized.BackBufferHeight = p->BackBufferHeight != 0 ? p->BackBufferHeight : 768;
        // The back end's back buffer, at the size the host asked for.
        const RenderSize size = renderSizeOf(options_, static_cast<std::int32_t>(sized.BackBufferWidth),
                                             static_cast<std::int32_t>(sized.BackBufferHeight));
        if (size.width > MaxRenderSide || size.height > MaxRenderSide) {
            return call.refuse(D3DERR_NOTAVAILABLE, "a render size past the largest");
        }
        BackendMaker makeBackend = [adapter = adapter_, sized, options = options_](RenderSize at) {
            D3DPRESENT_PARAMETERS scaled = sized;
            scaled.BackBufferWidth = static_cast<UINT>(at.width);
            scaled.BackBufferHeight = static_cast<UINT>(at.height);
            return adapter->createBackend(scaled, options);
        };
        std::unique_ptr<Backend> backend = makeBackend(size);
        if (backend == nullptr) {
            return call.refuse(D3DERR_NOTAVAILABLE, "the back end could not be made");
        }
        if (!p->Windowed) {
            // A full-screen device shows its window and covers the screen with it.
            const HWND window = p->hDeviceWindow != nullptr ? p->hDeviceWindow : focus;
            SetWindowPos(window, nullptr, 0, 0, static_cast<int>(sized.BackBufferWidth),
                         static_cast<int>(sized.BackBufferHeight), SWP_SHOWWINDOW);
        }
        *device = new Device(std::move(backend), std::move(makeBackend), size, sized, options_);
        return call.result(D3D_OK);
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

    std::shared_ptr<Adapter> adapter_; // shared with the devices, which may outlive it
    BackendOptions options_;
};

} // namespace

RenderSize renderSizeOf(const BackendOptions& options, std::int32_t programWidth, std::int32_t programHeight)
{
    if (options.renderSize) {
        const RenderSize asked = options.renderSize(programWidth, programHeight);
        if (asked.width > 0 && asked.height > 0 && asked.width <= MaxRenderSide && asked.height <= MaxRenderSide) {
            return asked;
        }
    }
    const std::int32_t scale = std::clamp(options.renderScale, 1, 4);
    return {programWidth * scale, programHeight * scale};
}

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
    trace::Call call("Direct3DCreate9", sdkVersion);
    if (sdkVersion != D3D_SDK_VERSION || installed.backend == nullptr || !installed.backend->openAdapter) {
        call.returns("NULL");
        return nullptr;
    }
    std::unique_ptr<Adapter> adapter = installed.backend->openAdapter(installed.options);
    if (adapter == nullptr) {
        call.returns("NULL");
        return nullptr;
    }
    auto* made = new Direct3D(std::move(adapter), installed.options);
    call.made(made->name());
    return made;
}

} // namespace d3d9

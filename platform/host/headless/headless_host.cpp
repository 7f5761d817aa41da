#include "host/headless/headless_host.hpp"

#include <memory>

#include "gl/egl_context.hpp"
#include "host/backend_list.hpp"
#include "host/program_modules.hpp"
#include "win32/clock.hpp"
#include "win32/window_system.hpp"

namespace headless {

HeadlessResult runHeadless(const HeadlessOptions& options)
{
    HeadlessResult result;
    const d3d9::BackendDescription* backend = host::findBackend(options.device);
    if (backend == nullptr) {
        result.deviceError = "no device named '" + options.device + "' (" + host::backendNames() + ")";
        result.exitCode = -1;
        return result;
    }
    std::unique_ptr<gl::EglContext> context;
    if (backend->needsGlContext) {
        context = gl::EglContext::create(result.deviceError);
        if (context == nullptr) {
            result.exitCode = -1;
            return result;
        }
    }
    host::VirtualDisplay display(options, result);
    d3d9::BackendOptions device;
    device.multisample = options.multisample;
    device.threads = options.threads;
    device.referenceShading = options.referenceShading;
    device.renderScale = options.renderScale;
    if (options.renderWidth > 0 && options.renderHeight > 0) {
        const d3d9::RenderSize size = {options.renderWidth, options.renderHeight};
        device.renderSize = [size](std::int32_t, std::int32_t) { return size; };
    }
    device.sink.onPresent = [&display](const d3d9::Frame& frame) { display.present(frame); };
    device.sink.wantsPixels = [&display] { return display.wantsPixels(); };
    win32::setClock(&display);
    result.exitCode = host::runProgram(*backend, std::move(device), true);
    result.framesPresented = display.presents();
    win32::setClock(nullptr);
    return result;
}

} // namespace headless

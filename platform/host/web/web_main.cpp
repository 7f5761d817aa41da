// `demo` in a web page: the program's own WinMain on the browser host.
// "user32.dll" is the page (the canvas is the window; keys and the page's
// closing arrive as window messages), "d3d9.dll" the OpenGL back end on
// WebGL2, "d3dx9_24.dll" the assembler. Built with Asyncify: Present and
// Sleep hand control back to the browser while the program's loop waits, so
// the loop stays the blocking loop it is on Windows.
//
// In real time the clock is the page's and each Present waits for the
// browser's next animation frame (its display's retrace). While the
// browser has taken the WebGL context away, Present waits for it to come
// back; the GL back end then makes everything again. With ?at=MS the
// program runs on a virtual display, as `demokit record --at` does: the
// frames before it at 60 Hz of virtual time without pixel work, the frame
// at MS drawn and shown, then Escape; the picture stays on the canvas.
//
// The device draws at the size the picture takes on the screen in device
// pixels (the canvas's box at the page's devicePixelRatio), following the
// window and the ratio as they change; the canvas's drawing buffer is that
// size, so that the browser shows it unscaled.
#include <emscripten/html5.h>
#include <GLES3/gl3.h>

#include <cstdint>
#include <string>

#include "d3d9/backend.hpp"
#include "gl/gl_backend.hpp"
#include "host/picture_fit.hpp"
#include "host/program_modules.hpp"
#include "host/virtual_display.hpp"
#include "host/web/page_bridge.hpp"
#include "win32/clock.hpp"
#include "win32/window_system.hpp"

namespace {

constexpr const char* Canvas = "#screen";

// The page's clock: performance.now(), in whole milliseconds.
class PageClock final : public win32::Clock {
public:
    std::uint32_t milliseconds() override
    {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(web::nowMs()));
    }
    void sleep(std::uint32_t ms) override { web::sleepFor(ms); }
};

// A WebGL2 context on the canvas, current from now on. The default
// framebuffer is only ever a blit's target: no depth, no samples (a
// multisampled one could not take the blit), no alpha.
bool makeContext(bool keepPicture, std::string& why)
{
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = keepPicture ? EM_TRUE : EM_FALSE; // readable after it is shown
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(Canvas, &attributes);
    if (context <= 0) {
        why = "this browser offers no WebGL2";
        return false;
    }
    emscripten_webgl_make_context_current(context);
    return true;
}

// The presented frame onto the canvas, at its own size: one blit, straight
// from the frame's samples (the two are of one size and format, so the
// blit resolves them).
void showOnCanvas(const d3d9::Frame& frame)
{
    int width = 0, height = 0;
    emscripten_get_canvas_element_size(Canvas, &width, &height);
    if (width != frame.width || height != frame.height) {
        emscripten_set_canvas_element_size(Canvas, frame.width, frame.height);
    }
    // The device sets its own state again at every draw.
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame.glSampledFramebuffer());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
}

// The page's queued input as the program's window messages.
void deliverPageInput()
{
    for (web::PageInput input = web::takeInput(); input.message != 0; input = web::takeInput()) {
        const HWND window = FindWindowA(host::ProgramWindowClass, nullptr);
        if (window == nullptr) {
            continue;
        }
        if (input.message == WM_SYSCOMMAND) {
            win32::postInputMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            win32::postInputMessage(window, input.message, input.keyCode,
                                    win32::keyMessageParameter(input.keyCode, input.message == WM_KEYUP));
        }
    }
}

void attachToPage()
{
    win32::HostHooks hooks;
    hooks.pumpInput = deliverPageInput;
    hooks.onVisibility = [](HWND, bool visible, const RECT&) { web::showWindow(visible); };
    hooks.onCursor = [](bool hidden) { web::hidePointer(hidden); };
    win32::setHostHooks(std::move(hooks));
}

// A lost context: Present waits until the browser gives it back (the page
// says what happened meanwhile); then the GL back end makes everything
// again, the program never knowing. Whether the context was lost: the
// frame drawn meanwhile is nothing to show.
bool waitWhileContextLost()
{
    if (!web::contextLost()) {
        return false;
    }
    web::waitForContext(); // the page says it is lost itself, from the browser's event
    return true;
}

int runProgram(d3d9::BackendOptions options)
{
    options.contextGeneration = [] { return web::contextRestorations(); };
    options.renderSize = [](std::int32_t width, std::int32_t height) {
        const d3d9::RenderSize box = web::canvasBoxSize();
        return host::shownSize(box.width, box.height, {width, height});
    };
    return host::runProgram(gl::glBackend(), std::move(options), true);
}

void reportDraws(const d3d9::DrawCounts& draws)
{
    web::report("issued", static_cast<std::int32_t>(draws.issued));
    web::report("stopped", static_cast<std::int32_t>(draws.stopped));
    web::report("sent", static_cast<std::int32_t>(draws.sent));
}

int playInRealTime()
{
    PageClock clock;
    win32::setClock(&clock);
    std::int32_t shown = 0;
    double resumed = web::nowMs(); // when the browser last gave the program control
    d3d9::BackendOptions options;
    options.sink.onPresent = [&shown, &resumed](const d3d9::Frame& frame) {
        const bool drawnWhileLost = waitWhileContextLost();
        if (frame.rendered && frame.glSampledFramebuffer() != 0 && !drawnWhileLost) {
            showOnCanvas(frame);
            // The program's own time for the frame, WebGL calls included
            // (the browser's drawing runs elsewhere): microseconds.
            web::report("work", static_cast<std::int32_t>((web::nowMs() - resumed) * 1000.0));
            reportDraws(frame.draws);
            web::report("frame", ++shown);
        }
        web::waitForAnimationFrame();
        resumed = web::nowMs();
    };
    const int code = runProgram(std::move(options));
    win32::setClock(nullptr);
    return code;
}

// The frame at atMs on a virtual display. The browser gets control back
// every tenth of a second, so that the page shows the progress.
int showFrameAt(std::int32_t atMs)
{
    host::DisplaySchedule schedule;
    schedule.keep = {atMs};
    schedule.onFrame = [](const d3d9::Frame& frame, std::int32_t) {
        showOnCanvas(frame);
        reportDraws(frame.draws);
        web::report("frame", 1);
    };
    double lastYield = web::nowMs();
    schedule.onProgress = [&lastYield](std::int32_t elapsedMs) {
        if (web::nowMs() - lastYield >= 100.0) {
            web::report("progress", elapsedMs);
            web::waitForAnimationFrame();
            lastYield = web::nowMs();
        }
    };
    host::DisplayLog log;
    host::VirtualDisplay display(schedule, log);
    win32::setClock(&display);
    d3d9::BackendOptions options;
    options.sink.onPresent = [&display](const d3d9::Frame& frame) {
        waitWhileContextLost();
        display.present(frame);
    };
    options.sink.wantsPixels = [&display] { return display.wantsPixels(); };
    const int code = runProgram(std::move(options));
    win32::setClock(nullptr);
    return code;
}

} // namespace

int main()
{
    const std::int32_t atMs = web::requestedFrameTime();
    std::string why;
    if (!makeContext(atMs >= 0, why)) {
        web::report("failed", 0, why.c_str());
        return 1;
    }
    attachToPage();
    web::report("running", 0);
    const int code = atMs >= 0 ? showFrameAt(atMs) : playInRealTime();
    win32::setHostHooks({});
    web::report("finished", code);
    return code;
}

// `demo` in a web page: the program's own WinMain on the browser host.
// "user32.dll" is the page (the canvas is the window; keys and the page's
// closing arrive as window messages), "d3d9.dll" the OpenGL back end on
// WebGL2, "d3dx9_24.dll" the assembler. Built with Asyncify: Present and
// Sleep hand control back to the browser while the program's loop waits, so
// the loop stays the blocking loop it is on Windows.
//
// In real time the clock is the page's and each Present waits for the
// browser's next animation frame (its display's retrace); the viewer may
// begin at a time, pause and seek (SteeredRun). While the
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
#include <memory>
#include <optional>
#include <string>

#include "d3d9/backend.hpp"
#include "gl/gl_backend.hpp"
#include "host/catch_up.hpp"
#include "host/picture_fit.hpp"
#include "host/program_modules.hpp"
#include "host/viewer_clock.hpp"
#include "host/virtual_display.hpp"
#include "host/web/page_bridge.hpp"
#include "win32/clock.hpp"
#include "win32/window_system.hpp"

namespace {

constexpr const char* Canvas = "#screen";

// A WebGL2 context on the canvas, current from now on. The default
// framebuffer is only ever a blit's target: no depth, no samples (a
// multisampled one could not take the blit), no alpha.
bool makeContext(std::string& why)
{
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE; // readable after it is shown (a screenshot, a paused picture)
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

// A run in real time as the viewer steers it: begun at a time (the frames
// before it run at once on a virtual display, without pixel work, on the
// frame times `demokit record` uses, so the frame at the time is the one
// `record --at` makes), paused and played on (the clock stands; a paused
// page asks for no frames), or ended for a seek, after which the page runs
// the program again from a fresh instance.
class SteeredRun {
public:
    explicit SteeredRun(web::StartRequest start) : start_(start)
    {
        if (start.ms > 0 || start.paused) {
            catchUp_ = std::make_unique<host::CatchUp>(start.ms);
            clock_.follow(&catchUp_->clock());
        }
    }

    host::ViewerClock& clock() { return clock_; }
    bool wantsPixels() { return !seek_ && (catchUp_ == nullptr || catchUp_->wantsPixels()); }
    // The run ended for this seek, if it did.
    const std::optional<web::PageRequest>& seek() const { return seek_; }

    // Whether the frame is shown: not those on the way to the start, nor
    // those of a run that ends for a seek.
    bool framePresented(const d3d9::Frame& frame)
    {
        ++presents_;
        if (seek_) {
            return false;
        }
        lastMs_ = clock_.milliseconds();
        if (presents_ == 2) {
            startMs_ = lastMs_; // the program's first frame (the first Present is its blank one)
        }
        if (catchUp_ != nullptr) {
            if (!catchUp_->present(frame)) {
                yieldNowAndThen();
                return false;
            }
            catchUp_.reset();
            clock_.continueFrom(lastMs_); // on in real time from the frame at the start time
            if (start_.paused) {
                clock_.pause();
            }
        }
        return true;
    }

    std::int32_t elapsedMs() const
    {
        return presents_ >= 2 ? static_cast<std::int32_t>(lastMs_ - startMs_) : 0;
    }

    // After a frame is shown: what the viewer asked meanwhile. Paused, the
    // loop waits here for the next request.
    void followRequests()
    {
        for (;;) {
            const web::PageRequest request = web::takeRequest();
            using Kind = web::PageRequest::Kind;
            if (request.kind == Kind::Seek) {
                endForSeek(request);
                return;
            }
            if (request.kind == Kind::Pause && !clock_.paused()) {
                clock_.pause();
                web::report("paused", elapsedMs());
            } else if (request.kind == Kind::Play && clock_.paused()) {
                clock_.resume();
                web::report("playing", elapsedMs());
            } else if (request.kind == Kind::None && !clock_.paused()) {
                return;
            }
            if (clock_.paused()) {
                web::waitForRequest();
            }
        }
    }

private:
    // The browser gets control back every tenth of a second on the way to
    // the start time, so that the page shows the progress.
    void yieldNowAndThen()
    {
        if (web::nowMs() - lastYield_ >= 100.0) {
            web::report("progress", elapsedMs());
            web::waitForAnimationFrame();
            lastYield_ = web::nowMs();
        }
    }

    // The program ends by its own path (Escape through its message queue),
    // its last frames neither drawn nor waited for.
    void endForSeek(const web::PageRequest& request)
    {
        seek_ = request;
        clock_.resume();
        clock_.skipSleeps(true);
        const HWND window = FindWindowA(host::ProgramWindowClass, nullptr);
        if (window != nullptr) {
            win32::postInputMessage(window, WM_KEYDOWN, VK_ESCAPE, win32::keyMessageParameter(VK_ESCAPE, false));
        }
    }

    web::StartRequest start_;
    // The page's clock (performance.now()) and its sleep, which hands
    // control to the browser.
    host::ViewerClock clock_{[] { return static_cast<std::uint64_t>(web::nowMs()); },
                             [](std::uint32_t ms) { web::sleepFor(ms); }};
    std::unique_ptr<host::CatchUp> catchUp_; // on the way to the start time
    std::optional<web::PageRequest> seek_;
    std::int32_t presents_ = 0;
    std::uint32_t startMs_ = 0;
    std::uint32_t lastMs_ = 0;
    double lastYield_ = web::nowMs();
};

int playInRealTime(web::StartRequest start)
{
    SteeredRun run(start);
    win32::setClock(&run.clock());
    std::int32_t shown = 0;
    double resumed = web::nowMs(); // when the browser last gave the program control
    d3d9::BackendOptions options;
    options.sink.wantsPixels = [&run] { return run.wantsPixels(); };
    options.sink.onPresent = [&](const d3d9::Frame& frame) {
        const bool drawnWhileLost = waitWhileContextLost();
        if (!run.framePresented(frame)) {
            resumed = web::nowMs();
            return;
        }
        if (frame.rendered && frame.glSampledFramebuffer() != 0 && !drawnWhileLost) {
            showOnCanvas(frame);
            // The program's own time for the frame, WebGL calls included
            // (the browser's drawing runs elsewhere): microseconds.
            web::report("work", static_cast<std::int32_t>((web::nowMs() - resumed) * 1000.0));
            reportDraws(frame.draws);
            web::report("elapsed", run.elapsedMs());
            web::report("frame", ++shown);
        }
        run.followRequests();
        if (!run.seek()) {
            web::waitForAnimationFrame();
        }
        resumed = web::nowMs();
    };
    const int code = runProgram(std::move(options));
    win32::setClock(nullptr);
    if (run.seek()) {
        web::report("restart", run.seek()->target << 1 | (run.seek()->paused ? 1 : 0));
        return -2; // not an ending: the page starts the program again
    }
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
    if (!makeContext(why)) {
        web::report("failed", 0, why.c_str());
        return 1;
    }
    attachToPage();
    web::report("running", 0);
    const int code = atMs >= 0 ? showFrameAt(atMs) : playInRealTime(web::requestedStart());
    win32::setHostHooks({});
    if (code != -2) {
        web::report("finished", code);
    }
    return code;
}

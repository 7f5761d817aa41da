#include "host/web/page_bridge.hpp"

#include <emscripten.h>

namespace web {
namespace {

// Each call reaches the page through Module.demoPage, which index.html hands
// to each instance it makes (createDemo({demoPage, ...})).
EM_JS(int, pageRequestedFrameTime, (), { return Module.demoPage.at; });
EM_JS(int, pageTakeInput, (), {
    const queue = Module.demoPage.input;
    return queue.length > 0 ? queue.shift() : 0;
});
EM_JS(void, pageReport, (const char* state, int value, const char* message), {
    Module.demoPage.report(UTF8ToString(state), value, UTF8ToString(message));
});
EM_JS(void, pageShowWindow, (int visible), { Module.demoPage.showWindow(visible != 0); });
EM_JS(void, pageHidePointer, (int hidden), { Module.demoPage.hidePointer(hidden != 0); });
EM_ASYNC_JS(void, pageNextAnimationFrame, (), { await new Promise((resolve) => requestAnimationFrame(resolve)); });
EM_JS(int, pageContextLost, (), { return Module.demoPage.contextLost() ? 1 : 0; });
EM_JS(int, pageContextRestorations, (), { return Module.demoPage.restorations; });
EM_ASYNC_JS(void, pageContextBack, (), { await Module.demoPage.contextBack(); });
EM_JS(int, pageBoxSize, (), { return Module.demoPage.boxSize(); });
EM_JS(int, pageStartMs, (), { return Module.demoPage.startMs; });
EM_JS(int, pageStartPaused, (), { return Module.demoPage.startPaused ? 1 : 0; });
EM_JS(int, pageTakeRequest, (), { return Module.demoPage.takeRequest(); });
EM_ASYNC_JS(void, pageRequestMade, (), { await Module.demoPage.requestMade(); });

} // namespace

std::int32_t requestedFrameTime()
{
    return pageRequestedFrameTime();
}

PageInput takeInput()
{
    // Packed by the page as message << 16 | key code.
    const auto packed = static_cast<std::uint32_t>(pageTakeInput());
    return {packed >> 16, packed & 0xFFFFu};
}

StartRequest requestedStart()
{
    return {pageStartMs(), pageStartPaused() != 0};
}

PageRequest takeRequest()
{
    // Packed by the page: -1 none, -2 pause, -3 play, or a seek's
    // target << 1 | paused.
    const std::int32_t packed = pageTakeRequest();
    PageRequest request;
    if (packed == -2) {
        request.kind = PageRequest::Kind::Pause;
    } else if (packed == -3) {
        request.kind = PageRequest::Kind::Play;
    } else if (packed >= 0) {
        request.kind = PageRequest::Kind::Seek;
        request.target = packed >> 1;
        request.paused = (packed & 1) != 0;
    }
    return request;
}

void waitForRequest()
{
    pageRequestMade();
}

void report(const char* state, std::int32_t value, const char* message)
{
    pageReport(state, value, message);
}

void showWindow(bool visible)
{
    pageShowWindow(visible ? 1 : 0);
}

void hidePointer(bool hidden)
{
    pageHidePointer(hidden ? 1 : 0);
}

bool contextLost()
{
    return pageContextLost() != 0;
}

std::uint64_t contextRestorations()
{
    return static_cast<std::uint64_t>(pageContextRestorations());
}

void waitForContext()
{
    pageContextBack();
}

d3d9::RenderSize canvasBoxSize()
{
    // Packed by the page as width << 16 | height.
    const auto packed = static_cast<std::uint32_t>(pageBoxSize());
    return {static_cast<std::int32_t>(packed >> 16), static_cast<std::int32_t>(packed & 0xFFFFu)};
}

void waitForAnimationFrame()
{
    pageNextAnimationFrame();
}

void sleepFor(std::uint32_t ms)
{
    emscripten_sleep(ms);
}

double nowMs()
{
    return emscripten_get_now();
}

} // namespace web

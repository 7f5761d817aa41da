// What the browser host says to its page and hears from it: the calls into
// the page's script (index.html defines the other side, on Module).
//
// Input arrives as a queue the page fills from its key and close events and
// the host empties at every PeekMessageA; nothing calls into the program
// while it waits for the browser.
#pragma once

#include <cstdint>

#include "d3d9/backend.hpp"

namespace web {

// One queued input event: a window message and its key code.
struct PageInput {
    std::uint32_t message = 0; // WM_KEYDOWN, WM_KEYUP or WM_SYSCOMMAND (the page is closing); 0: none left
    std::uint32_t keyCode = 0; // the DOM keyCode, a Windows virtual-key code for the keys the program reads
};

// ?at=MS: the elapsed time of the one frame to show on a virtual clock; -1
// when the page plays in real time.
std::int32_t requestedFrameTime();
PageInput takeInput();

// Where a run in real time begins (?t=, or a seek's time), and whether
// paused there.
struct StartRequest {
    std::int32_t ms = 0;
    bool paused = false;
};
StartRequest requestedStart();

// What the viewer asked of the run since the last frame shown: a pause, to
// play on, or a seek (which ends the run; the page runs the program again
// from a fresh instance, since its tables are process-wide).
struct PageRequest {
    enum class Kind { None, Pause, Play, Seek } kind = Kind::None;
    std::int32_t target = 0; // a seek's time
    bool paused = false;     // paused when the seek arrives
};
PageRequest takeRequest();
// Returns when the page has a request, the program's loop waiting
// meanwhile without frames or the processor.
void waitForRequest();

// The run's progress, for the page and for whoever watches it (tests):
// "running", "frame" (value: frames shown), "elapsed" (value: the
// program's time of the frame about to be shown, ms), "paused" and
// "playing" (value: the time paused or played on at), "restart" (the run
// ended for a seek; value: its time << 1 | paused), "work" (value: microseconds
// the program took for the frame about to be shown), "issued", "stopped"
// and "sent" (value: that frame's draws the program issued, the GL device
// stopped as unseen, and it drew), "progress" (value: elapsed ms
// of a virtual run), "finished" (value: WinMain's exit code), "failed"
// (value 0, with a message).
void report(const char* state, std::int32_t value, const char* message = "");
// The program showed or hid its window; hid or showed the pointer.
void showWindow(bool visible);
void hidePointer(bool hidden);

// Whether the browser has taken the WebGL context away (a GPU reset, memory
// pressure, a test), and how many times it gave it back so far.
bool contextLost();
std::uint64_t contextRestorations();
// Returns once the browser gives the context back (at once when it is not
// lost), the program's loop waiting meanwhile without using the processor;
// never, when it does not come back (the page says so).
void waitForContext();

// The canvas's box in device pixels (its CSS size at the page's
// devicePixelRatio), as it stands now: the window and the ratio change.
// 0 x 0 before the page is laid out.
d3d9::RenderSize canvasBoxSize();

// Returns after the browser's next animation frame: the frame drawn so far
// is composited, input events are delivered, the page stays responsive.
void waitForAnimationFrame();
// Returns after ms milliseconds, the browser running meanwhile.
void sleepFor(std::uint32_t ms);
// Milliseconds of the page's clock (performance.now()).
double nowMs();

} // namespace web

// The contract under the Direct3D 9 front end: what a back end (a device
// that draws) implements, what it is handed, and what hosts see of it.
//
// The front end owns every object, every argument check, the state arrays,
// the constant registers and the contents of resources. A back end sees
// only:
// - resources, to keep a copy of its own where it needs one (a GL buffer,
//   a decoded program), told when their contents change;
// - clears and draws of frames somebody wants, each with a view of the
//   state it needs, valid for the call;
// - the end of a scene, and Present, where it hands back the frame.
// Hosts see back ends through BackendDescription and BackendOptions only:
// a host that runs one back end runs them all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "d3d9.h"
#include "d3d9/draw_state.hpp"
#include "pipeline/view_culling.hpp"

namespace d3d9 {

// A presented frame: the resolved back buffer. Pixels are A8R8G8B8, row 0
// at the top, width a row; read on demand (a GL back end reads back only
// when asked). Valid during the present callback.
class FrameSource {
public:
    virtual const std::uint32_t* readPixels() = 0;
    // A GL framebuffer holding the frame, its samples resolved (bottom-up,
    // the back end's context current), or 0 when the frame is only in
    // memory. Asking is what resolves them.
    virtual unsigned glFramebuffer() { return 0; }
    // The framebuffer the frame was drawn into, with its samples (the one
    // above where there are none): a host whose blit to a target of the
    // same size and format resolves them needs no resolve before it.
    virtual unsigned glSampledFramebuffer() { return glFramebuffer(); }
    // Hands the pixels to `take` once they are resolved: at once, on this
    // thread, by default; where a back end resolves the frame while the
    // program goes on, on one of its threads, after Present has returned.
    // The pixels are valid during the call, and the back end's next frame
    // waits for it to return.
    virtual void whenResolved(std::function<void(const std::uint32_t*)> take) { take(readPixels()); }

protected:
    ~FrameSource() = default;
};

// What became of a frame's draws: those the program issued (that passed
// the checks), those the device stopped before any pixel work because no
// vertex could be seen, and those it drew. Frames whose pixels nobody
// wants stop and send none.
struct DrawCounts {
    std::uint32_t issued = 0;
    std::uint32_t stopped = 0;
    std::uint32_t sent = 0;
};

struct Frame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool rendered = false; // false: its pixel work was skipped; the pixels are the last rendered frame's
    FrameSource* source = nullptr;
    // Filled by the front end from what draw() answered; a back end that
    // decides late (after draw() returned) puts the draws it stopped so in
    // draws.stopped, and the front end moves them from sent to stopped.
    DrawCounts draws;

    const std::uint32_t* pixels() const { return source->readPixels(); }
    // The pixels, handed over when they are ready (see FrameSource::whenResolved).
    void whenResolved(std::function<void(const std::uint32_t*)> take) const { source->whenResolved(std::move(take)); }
    unsigned glFramebuffer() const { return source->glFramebuffer(); }
    unsigned glSampledFramebuffer() const { return source->glSampledFramebuffer(); }
};

// Where frames go, and whether a frame's pixels are wanted at all (asked at
// its first clear or draw; false skips its clears and draws, which are still
// checked).
struct PresentSink {
    std::function<void(const Frame&)> onPresent;
    std::function<bool()> wantsPixels;
};

// A back buffer's size in the back end's pixels.
struct RenderSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const RenderSize& other) const { return width == other.width && height == other.height; }
    bool operator!=(const RenderSize& other) const { return !(*this == other); }
};

struct BackendOptions {
    bool multisample = true;        // offer 2 and 4 samples, where the back end can
    std::int32_t threads = 0;       // worker threads of a CPU back end; 0: one a core
    std::int32_t textureRowPadding = 0; // bytes past each locked texture row (tests: code that ignores the pitch shows)
    bool traceCalls = false;        // every call as a line on the Win32 trace sink (tests)
    bool referenceShading = false;  // a CPU back end runs programs on its reference machine, not compiled (tests)
    bool stopUnseenDraws = true;    // the back end stops draws no vertex of which can be seen (off: tests)
    // The back end draws at this multiple of the program's back buffer (1 to
    // 4): the back buffer, its depth buffer, the viewport and the clear
    // rectangles it is given are scaled; the program sees its own sizes.
    std::int32_t renderScale = 1;
    // Or at the size this says, for the program's back-buffer size (a
    // window's picture in device pixels), asked when the device is made and
    // after every Present: when it changes, the back end is made again at
    // the new size between two frames, the program never knowing. Either
    // side 0 (or past the largest): the render scale instead.
    std::function<RenderSize(std::int32_t programWidth, std::int32_t programHeight)> renderSize;
    PresentSink sink;
    // Messages a back end has for people (a GLSL compile log), one line
    // each; stderr when empty.
    std::function<void(const std::string&)> onMessage;
    // A number that changes whenever the back end's context lost every
    // object made in it and can take new ones (a browser gave a lost WebGL
    // context back; a host made a new context after a GPU reset); none:
    // never. The GL back end makes everything again when it changes.
    std::function<std::uint64_t()> contextGeneration;
};

// The largest side a back end is asked for.
constexpr std::int32_t MaxRenderSide = 8192;

// The size the back end draws a back buffer of the program's size at:
// renderSize's where it gives one, else renderScale (held to 1 to 4) times
// the program's.
RenderSize renderSizeOf(const BackendOptions& options, std::int32_t programWidth, std::int32_t programHeight);

struct ClearCall {
    const D3DRECT* rects; // inside the viewport, non-empty
    DWORD rectCount;
    DWORD flags;          // D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER
    D3DCOLOR color;
    float z;
};

struct DrawCall {
    D3DPRIMITIVETYPE type;    // a triangle list, strip or fan
    INT baseVertex;
    UINT minIndex;
    UINT vertexCount;
    UINT startIndex;
    UINT primitiveCount;      // > 0; the indices lie inside the index buffer
    std::size_t indexCount;   // indices the primitives read
};

// What a back end made of a draw.
enum class DrawOutcome {
    Drawn,   // taken: its state is derived, its pixels are on their way
    Stopped, // no vertex can be seen: nothing to do (the state stays changed)
    Refused, // its programs could not be prepared (reported when that happened)
};

// One device's drawing, behind the front end's IDirect3DDevice9.
class Backend {
public:
    virtual ~Backend() = default;

    // Copies of resources, made when the resource is and updated when its
    // contents change. By default none: the back end reads the front end's.
    virtual std::unique_ptr<DeviceCopy> copyBuffer(const BufferContents&) { return nullptr; }
    virtual void updateBuffer(const BufferContents&, std::size_t /*offset*/, std::size_t /*size*/) {}
    virtual std::unique_ptr<DeviceCopy> copyTexture(const TextureContents&) { return nullptr; }
    virtual void updateTexture(const TextureContents&) {}
    // Called before the front end writes or frees the memory of a resource
    // of this type (a buffer, a texture or its surface), for a back end
    // whose queued work may still read it.
    virtual void beforeResourceChange(D3DRESOURCETYPE) {}
    // A program's copy. The front end has decoded and checked it, and
    // checked every instruction against what is executed.
    virtual std::unique_ptr<DeviceCopy> copyProgram(const ProgramContents&) { return nullptr; }

    virtual void clear(const ClearCall& call, const DrawState& state) = 0;
    // Each back end decides which draws can reach no pixel, by its own
    // positions' rules (pipeline/view_culling.hpp), unless the options say
    // not to. The front end clears the state's dirty bits after a draw that
    // was drawn.
    virtual DrawOutcome draw(const DrawCall& call, const DrawState& state) = 0;
    virtual void endScene() {}
    // The frame as it stands; `rendered` says whether it had pixel work.
    virtual Frame present(bool rendered) = 0;
    // After Present: whether the back end lost its copies of every object
    // and made its own state again (then the front end has every object's
    // copy made again, from what it holds).
    virtual bool rebuiltAfterLoss() { return false; }
};

// A draw as the culling reads it (pipeline/view_culling.hpp), with the
// margin the back end keeps.
pipeline::CullingDraw cullingDrawOf(const DrawCall& call, const DrawState& state, const pipeline::CullingMargin& margin);

// Makes a device's back end again at another size (NULL when it cannot).
using BackendMaker = std::function<std::unique_ptr<Backend>(RenderSize size)>;

// One adapter of a back end, as IDirect3D9 sees it.
class Adapter {
public:
    virtual ~Adapter() = default;
    virtual bool offersMultisample() const = 0;
    // The device's back end for these parameters (checked by the front end;
    // the size is given, never 0); NULL when none can be made.
    virtual std::unique_ptr<Backend> createBackend(const D3DPRESENT_PARAMETERS& parameters,
                                                   const BackendOptions& options) = 0;
};

// A back end as hosts choose it.
struct BackendDescription {
    std::string_view name;      // "software", "gl"
    std::string_view summary;   // one line for --help
    bool needsGlContext = false; // the host makes a GL 3.3 core context current first
    std::function<std::unique_ptr<Adapter>(const BackendOptions&)> openAdapter;
};

} // namespace d3d9

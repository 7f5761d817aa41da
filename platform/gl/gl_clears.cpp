#include "gl/gl_clears.hpp"

#include <algorithm>

#include "gl/gl_state.hpp"

namespace gl {
namespace {

bool sameRects(const std::vector<D3DRECT>& a, const D3DRECT* b, DWORD count)
{
    if (a.size() != count) {
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (a[i].x1 != b[i].x1 || a[i].y1 != b[i].y1 || a[i].x2 != b[i].x2 || a[i].y2 != b[i].y2) {
            return false;
        }
    }
    return true;
}

PixelBox boxOf(const D3DRECT& r)
{
    return {r.x1, r.y1, r.x2, r.y2};
}

void clearWhole(GLuint framebuffer, GLbitfield mask, D3DCOLOR color, float z)
{
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f, static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(color & 0xFF) / 255.0f, static_cast<float>(color >> 24) / 255.0f);
    setClearDepth(z);
    glClear(mask);
}

} // namespace

void PixelBox::add(const PixelBox& other)
{
    if (other.empty()) {
        return;
    }
    if (empty()) {
        *this = other;
        return;
    }
    x1 = std::min(x1, other.x1);
    y1 = std::min(y1, other.y1);
    x2 = std::max(x2, other.x2);
    y2 = std::max(y2, other.y2);
}

ClearQueue::ClearQueue(std::int32_t height, D3DCOLOR color, float z) : height_(height)
{
    colour_.color = color;
    depth_.z = z;
}

void ClearQueue::clear(GLuint framebuffer, const d3d9::ClearCall& call)
{
    if (waiting_ && sameRects(rects_, call.rects, call.rectCount)) {
        // Done one after the other, the later value of each aspect stands.
        flags_ |= call.flags;
        color_ = (call.flags & D3DCLEAR_TARGET) != 0 ? call.color : color_;
        z_ = (call.flags & D3DCLEAR_ZBUFFER) != 0 ? call.z : z_;
        return;
    }
    flush(framebuffer);
    waiting_ = true;
    rects_.assign(call.rects, call.rects + call.rectCount);
    flags_ = call.flags;
    color_ = call.color;
    z_ = call.z;
}

// Whether a clear of the waiting rectangle may clear the whole aspect:
// everything outside it already holds the value.
bool ClearQueue::widens(const KnownContents& known, D3DCOLOR color, float z) const
{
    const bool sameValue = known.colour ? known.color == color : known.z == z;
    return rects_.size() == 1 && sameValue && known.dirty.inside(boxOf(rects_[0]));
}

void ClearQueue::track(KnownContents& known, bool whole) const
{
    if (whole) {
        known.dirty = {};
        return;
    }
    for (const D3DRECT& r : rects_) {
        known.dirty.add(boxOf(r)); // the value outside stays what it was
    }
}

bool ClearQueue::flush(GLuint framebuffer)
{
    if (!waiting_) {
        return false;
    }
    waiting_ = false;
    const bool colour = (flags_ & D3DCLEAR_TARGET) != 0, depth = (flags_ & D3DCLEAR_ZBUFFER) != 0;
    const bool colourWhole = colour && widens(colour_, color_, z_);
    const bool depthWhole = depth && widens(depth_, color_, z_);
    const GLbitfield whole = (colourWhole ? GL_COLOR_BUFFER_BIT : 0u) | (depthWhole ? GL_DEPTH_BUFFER_BIT : 0u);
    if (whole != 0) {
        clearWhole(framebuffer, whole, color_, z_);
    }
    const DWORD rest = (colour && !colourWhole ? D3DCLEAR_TARGET : 0u) | (depth && !depthWhole ? D3DCLEAR_ZBUFFER : 0u);
    if (rest != 0) {
        applyClear({rects_.data(), static_cast<DWORD>(rects_.size()), rest, color_, z_}, height_, framebuffer);
    }
    if (colour) {
        track(colour_, colourWhole);
        for (const D3DRECT& r : rects_) {
            changed_.add(boxOf(r));
        }
    }
    if (depth) {
        track(depth_, depthWhole);
    }
    return true;
}

bool ClearQueue::beforeDraw(GLuint framebuffer, const PixelBox& box, bool writesDepth)
{
    const bool flushed = flush(framebuffer);
    colour_.dirty.add(box);
    changed_.add(box);
    if (writesDepth) {
        depth_.dirty.add(box);
    }
    return flushed;
}

PixelBox ClearQueue::beforeResolve(GLuint framebuffer)
{
    flush(framebuffer);
    const PixelBox changed = changed_;
    changed_ = {};
    return changed;
}

} // namespace gl

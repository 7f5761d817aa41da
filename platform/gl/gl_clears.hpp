// Clears on OpenGL, and what of the framebuffer changed since the last
// resolve. The program clears colour and then depth, each over its
// viewport; a clear of a rectangle is a scissored draw for most drivers
// (llvmpipe draws it sample by sample), a clear of the whole framebuffer
// their fast clear. So clears wait until something else needs the
// framebuffer: a colour clear and a depth clear of the same rectangles
// become one, and a clear is widened to the whole framebuffer when what
// lies outside its rectangle already holds the value it clears to (the
// letterbox bars, never drawn, hold the black they were made with). The
// resolve then copies only the rows and columns that can have changed.
// Rectangles are in the back end's pixels, rows from the top.
#pragma once

#include <vector>

#include "d3d9/backend.hpp"
#include "gl/gl_api.hpp"

namespace gl {

// A box of pixels, [x1, x2) x [y1, y2); empty when x1 >= x2 or y1 >= y2.
struct PixelBox {
    LONG x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    bool empty() const { return x1 >= x2 || y1 >= y2; }
    bool inside(const PixelBox& outer) const
    {
        return empty() || (x1 >= outer.x1 && y1 >= outer.y1 && x2 <= outer.x2 && y2 <= outer.y2);
    }
    void add(const PixelBox& other);
};

// What is known of one aspect (colour or depth) of the framebuffer: every
// pixel outside `dirty` holds `value`.
struct KnownContents {
    bool colour;         // the colour aspect, else depth
    D3DCOLOR color = 0;  // the value, for colour
    float z = 1.0f;      // the value, for depth
    PixelBox dirty;
};

class ClearQueue {
public:
    // A new framebuffer `height` rows high, cleared whole to `color` and
    // depth z.
    ClearQueue(std::int32_t height, D3DCOLOR color, float z);

    // A clear as the front end hands it on; it waits (the one waiting
    // before it is done first, unless the two merge).
    void clear(GLuint framebuffer, const d3d9::ClearCall& call);
    // Before a draw into `box` (its viewport): the waiting clear is done.
    // Returns whether GL state was changed.
    bool beforeDraw(GLuint framebuffer, const PixelBox& box, bool writesDepth);
    // At Present: the waiting clear is done; returns the box of colour
    // that changed since the last call (empty: none).
    PixelBox beforeResolve(GLuint framebuffer);

private:
    bool flush(GLuint framebuffer);
    bool widens(const KnownContents& known, D3DCOLOR color, float z) const;
    void track(KnownContents& known, bool whole) const;

    std::int32_t height_;
    bool waiting_ = false;
    std::vector<D3DRECT> rects_; // of the waiting clear
    DWORD flags_ = 0;
    D3DCOLOR color_ = 0;
    float z_ = 1.0f;
    KnownContents colour_{true, 0, 1.0f, {}};
    KnownContents depth_{false, 0, 1.0f, {}};
    PixelBox changed_; // colour changed since the last resolve
};

} // namespace gl

// Draws with a base vertex where the API has none (OpenGL ES 3.0, WebGL2).
// Moving the attribute pointers by the base vertex at every draw costs
// calls that a browser checks one by one; instead each draw's indices are
// copied once, with the base vertex added, into a 32-bit index buffer of
// the back end's own, and every later draw of the same indices is drawn
// from there. A program draws the same objects every frame, so after the
// first frame a draw costs its draw call alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "d3d9/backend.hpp"
#include "gl/gl_api.hpp"

namespace gl {

class RebasedIndices {
public:
    RebasedIndices();
    ~RebasedIndices();
    RebasedIndices(const RebasedIndices&) = delete;
    RebasedIndices& operator=(const RebasedIndices&) = delete;

    // The byte offset in buffer() of the draw's indices with its base vertex
    // added, placed there on first use (through GL_ELEMENT_ARRAY_BUFFER of
    // the vertex array bound now, which must be the back end's own). False
    // when an index would fall outside 0 .. 2^32 - 1 with the base vertex.
    // indices are the index buffer's bytes, 32-bit indices when wide, else
    // 16-bit; contentVersion names those contents: a new version never meets
    // an old placement.
    bool place(const std::uint8_t* indices, bool wide, std::uint64_t contentVersion, const d3d9::DrawCall& call,
               std::size_t& offset);
    GLuint buffer() const { return buffer_; }
    // Indices placed so far (tests).
    std::size_t size() const { return rebased_.size(); }

private:
    ContextLife life_;
    void grow(std::size_t needed);

    // Contents, first index, count, base vertex.
    using Key = std::tuple<std::uint64_t, UINT, std::size_t, INT>;
    std::map<Key, std::size_t> placed_; // key -> first index in rebased_
    std::vector<std::uint32_t> rebased_; // what buffer_ holds, in order
    std::size_t capacity_ = 0;           // indices buffer_ has room for
    GLuint buffer_ = 0;
};

} // namespace gl

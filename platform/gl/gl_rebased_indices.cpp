#include "gl/gl_rebased_indices.hpp"

#include <algorithm>
#include <cstring>

namespace gl {
namespace {

// Past this many indices (stale versions included) the store starts again.
constexpr std::size_t MaxIndices = std::size_t{1} << 24;

std::uint32_t readIndex(const std::uint8_t* indices, bool wide, std::size_t at)
{
    if (wide) {
        std::uint32_t value = 0;
        std::memcpy(&value, indices + at * 4, 4);
        return value;
    }
    std::uint16_t value = 0;
    std::memcpy(&value, indices + at * 2, 2);
    return value;
}

} // namespace

RebasedIndices::RebasedIndices()
{
    glGenBuffers(1, &buffer_);
}

RebasedIndices::~RebasedIndices()
{
    if (life_.current()) {
        glDeleteBuffers(1, &buffer_);
    }
}

bool RebasedIndices::place(const std::uint8_t* indices, bool wide, std::uint64_t contentVersion,
                           const d3d9::DrawCall& call, std::size_t& offset)
{
    const Key key{contentVersion, call.startIndex, call.indexCount, call.baseVertex};
    const auto found = placed_.find(key);
    if (found != placed_.end()) {
        offset = found->second * 4;
        return true;
    }
    std::vector<std::uint32_t> draw(call.indexCount);
    for (std::size_t i = 0; i < call.indexCount; ++i) {
        const std::int64_t value = static_cast<std::int64_t>(readIndex(indices, wide, call.startIndex + i)) + call.baseVertex;
        if (value < 0 || value > static_cast<std::int64_t>(UINT32_MAX)) {
            return false;
        }
        draw[i] = static_cast<std::uint32_t>(value);
    }
    if (rebased_.size() + draw.size() > MaxIndices) {
        placed_.clear();
        rebased_.clear();
    }
    const std::size_t first = rebased_.size();
    rebased_.insert(rebased_.end(), draw.begin(), draw.end());
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer_);
    if (rebased_.size() > capacity_) {
        grow(rebased_.size()); // uploads everything, the new indices included
    } else {
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLintptr>(first * 4),
                        static_cast<GLsizeiptr>(draw.size() * 4), draw.data());
    }
    placed_.emplace(key, first);
    offset = first * 4;
    return true;
}

// A buffer at least twice as large, filled with what is placed so far.
void RebasedIndices::grow(std::size_t needed)
{
    capacity_ = std::max({needed, 2 * capacity_, std::size_t{1} << 16});
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity_ * 4), nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(rebased_.size() * 4), rebased_.data());
}

} // namespace gl

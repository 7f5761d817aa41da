// The index store that stands in for draws with a base vertex on OpenGL ES
// (WebGL2), exercised on the desktop context, whose buffers can be read
// back: what it uploads, when it reuses a placement and when it must not.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gl/egl_context.hpp"
#include "gl/gl_api.hpp"
#include "gl/gl_rebased_indices.hpp"

namespace {

std::vector<std::uint32_t> readBack(GLuint buffer, std::size_t offset, std::size_t count)
{
    std::vector<std::uint32_t> values(count);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    glGetBufferSubData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLintptr>(offset),
                       static_cast<GLsizeiptr>(count * 4), values.data());
    return values;
}

d3d9::DrawCall drawOf(UINT startIndex, std::size_t indexCount, INT baseVertex)
{
    return {D3DPT_TRIANGLELIST, baseVertex, 0, 0, startIndex, static_cast<UINT>(indexCount / 3), indexCount};
}

} // namespace

TEST(RebasedIndices, placesEachDrawOnceAndKeepsEveryPlacementAsItGrows)
{
    std::string reason;
    auto context = gl::EglContext::create(reason);
    ASSERT_NE(context, nullptr) << reason;
    GLuint vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    {
        gl::RebasedIndices store;
        const std::uint16_t narrow[] = {0, 1, 2, 2, 1, 3, 65535, 0, 1};
        std::uint8_t bytes[sizeof narrow];
        std::memcpy(bytes, narrow, sizeof narrow);

        std::size_t first = 99, again = 99, other = 99;
        ASSERT_TRUE(store.place(bytes, false, 1, drawOf(3, 3, 10), first));
        EXPECT_EQ(readBack(store.buffer(), first, 3), (std::vector<std::uint32_t>{12, 11, 13}));
        // The same draw again: no new indices.
        ASSERT_TRUE(store.place(bytes, false, 1, drawOf(3, 3, 10), again));
        EXPECT_EQ(again, first);
        EXPECT_EQ(store.size(), 3u);
        // Another base vertex, and new contents, are new placements; a
        // 16-bit index past 65535 with its base vertex needs the 32 bits.
        ASSERT_TRUE(store.place(bytes, false, 1, drawOf(6, 3, 70000), other));
        EXPECT_EQ(readBack(store.buffer(), other, 3), (std::vector<std::uint32_t>{135535, 70000, 70001}));
        ASSERT_TRUE(store.place(bytes, false, 2, drawOf(3, 3, 10), again));
        EXPECT_NE(again, first);
        EXPECT_EQ(store.size(), 9u);
        // 32-bit indices.
        const std::uint32_t wide[] = {5, 4000000000u, 7};
        std::memcpy(bytes, wide, sizeof wide);
        std::size_t at = 0;
        ASSERT_TRUE(store.place(bytes, true, 3, drawOf(0, 3, -5), at));
        EXPECT_EQ(readBack(store.buffer(), at, 3), (std::vector<std::uint32_t>{0, 3999999995u, 2}));
        // Below zero, or past 2^32 - 1, there is no index to draw.
        EXPECT_FALSE(store.place(bytes, true, 3, drawOf(0, 3, -6), at));
        EXPECT_FALSE(store.place(bytes, true, 3, drawOf(1, 1, 300000000), at));

        // Enough draws to grow the buffer several times: every placement
        // still reads back as made.
        std::vector<std::size_t> offsets;
        for (INT base = 0; base < 60000; ++base) {
            std::memcpy(bytes, narrow, sizeof narrow);
            ASSERT_TRUE(store.place(bytes, false, 4, drawOf(0, 6, base), at));
            offsets.push_back(at);
        }
        for (INT base : {0, 1, 31000, 59999}) {
            EXPECT_EQ(readBack(store.buffer(), offsets[static_cast<std::size_t>(base)], 6),
                      (std::vector<std::uint32_t>{0u + base, 1u + base, 2u + base, 2u + base, 1u + base, 3u + base}))
                << base;
        }
        EXPECT_EQ(readBack(store.buffer(), first, 3), (std::vector<std::uint32_t>{12, 11, 13}));
    }
    glDeleteVertexArrays(1, &vertexArray);
}

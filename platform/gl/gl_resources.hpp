// The GL back end's copies of buffers and textures: a GL buffer or texture
// object mirroring the front end's memory, refilled when it changes. A
// buffer's changed bytes are uploaded when a draw reads them, and only those
// it reads: the program rewrites its whole vertex buffer every frame, and
// draws a few objects of it.
// Textures: GL_RGBA8 filled from the A8R8G8B8 words (B, G, R, A bytes),
// row 0 first (Direct3D's v = 0 is GL's t = 0: no flip), point filtering,
// wrap addressing, one level, as Direct3D 9's default sampler states draw
// it. System-memory textures have no GL object. Every call needs the back
// end's context current.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "d3d9/backend.hpp"
#include "d3d9/backend.hpp"
#include "gl/gl_api.hpp"

namespace gl {

struct BufferCopy final : d3d9::DeviceCopy {
    explicit BufferCopy(const d3d9::BufferContents& buffer);
    ~BufferCopy() override;
    // The front end's bytes [offset, offset + size) changed.
    void update(std::size_t offset, std::size_t size) const;
    // Uploads what changed of the bytes [begin, end) since they were last
    // uploaded (through GL_COPY_WRITE_BUFFER: no other binding moves).
    void upload(const d3d9::BufferContents& buffer, std::size_t begin, std::size_t end) const;
    ContextLife life;
    GLuint name = 0;
    mutable std::uint64_t version = 0; // new at every change: names the contents
    // The changed byte ranges not uploaded yet, [first, second), ascending
    // and apart.
    mutable std::vector<std::pair<std::size_t, std::size_t>> changed;
};

struct TextureCopy final : d3d9::DeviceCopy {
    explicit TextureCopy(const d3d9::TextureContents& texture);
    ~TextureCopy() override;
    void upload(const d3d9::TextureContents& texture) const;
    ContextLife life;
    GLuint name = 0;
};

std::unique_ptr<d3d9::DeviceCopy> copyTexture(const d3d9::TextureContents& texture); // NULL for system memory
// The GL name of a resource's copy (0 for none).
GLuint bufferName(const d3d9::BufferContents* buffer);
// Uploads what changed of a buffer's bytes [begin, end) (clamped to it).
void uploadRange(const d3d9::BufferContents& buffer, std::int64_t begin, std::int64_t end);
std::uint64_t bufferVersion(const d3d9::BufferContents& buffer);
GLuint textureName(const d3d9::TextureContents* texture);

} // namespace gl

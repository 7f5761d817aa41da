// The GL back end's copies of buffers and textures: a GL buffer or texture
// object mirroring the front end's memory, refilled when it changes.
// Textures: GL_RGBA8 filled from the A8R8G8B8 words (B, G, R, A bytes),
// row 0 first (Direct3D's v = 0 is GL's t = 0: no flip), point filtering,
// wrap addressing, one level, as Direct3D 9's default sampler states draw
// it. System-memory textures have no GL object. Every call needs the back
// end's context current.
#pragma once

#include <cstdint>
#include <memory>

#include "d3d9/backend.hpp"
#include "d3d9/resources.hpp"
#include "gl/gl_api.hpp"

namespace gl {

struct BufferCopy final : d3d9::DeviceCopy {
    explicit BufferCopy(const d3d9::Buffer& buffer);
    ~BufferCopy() override;
    void update(const d3d9::Buffer& buffer, std::size_t offset, std::size_t size) const;
    GLuint name = 0;
    mutable std::uint64_t version = 0; // new at every filling: names the contents
};

struct TextureCopy final : d3d9::DeviceCopy {
    explicit TextureCopy(const d3d9::Texture& texture);
    ~TextureCopy() override;
    void upload(const d3d9::Texture& texture) const;
    GLuint name = 0;
};

std::unique_ptr<d3d9::DeviceCopy> copyTexture(const d3d9::Texture& texture); // NULL for system memory
// The GL name of a resource's copy (0 for none).
GLuint bufferName(const d3d9::Buffer* buffer);
std::uint64_t bufferVersion(const d3d9::Buffer& buffer);
GLuint textureName(const d3d9::Texture* texture);

} // namespace gl

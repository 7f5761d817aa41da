#include "gl/gl_resources.hpp"

#include <cstdint>
#include <vector>

namespace gl {

namespace {

std::uint64_t nextVersion()
{
    static std::uint64_t versions = 0; // GL work is on one thread
    return ++versions;
}

} // namespace

BufferCopy::BufferCopy(const d3d9::Buffer& buffer) : version(nextVersion())
{
    glGenBuffers(1, &name);
    glBindBuffer(GL_COPY_WRITE_BUFFER, name);
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(buffer.size()), buffer.bytes(), GL_STATIC_DRAW);
}

BufferCopy::~BufferCopy()
{
    glDeleteBuffers(1, &name);
}

void BufferCopy::update(const d3d9::Buffer& buffer, std::size_t offset, std::size_t size) const
{
    version = nextVersion();
    glBindBuffer(GL_COPY_WRITE_BUFFER, name);
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size),
                    buffer.bytes() + offset);
}

TextureCopy::TextureCopy(const d3d9::Texture& texture)
{
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    upload(texture);
}

TextureCopy::~TextureCopy()
{
    glDeleteTextures(1, &name);
}

void TextureCopy::upload(const d3d9::Texture& texture) const
{
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
#ifdef DEMO_GL_ES
    // OpenGL ES takes R, G, B, A bytes only: the texels swapped into a copy.
    const std::size_t width = texture.width(), height = texture.height();
    std::vector<std::uint32_t> rgba(width * height);
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            rgba[y * width + x] = swapRedBlue(texture.texels()[y * texture.pitch() + x]);
        }
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba.data());
#else
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(texture.pitch()));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(texture.width()),
                 static_cast<GLsizei>(texture.height()), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texture.texels());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
#endif
}

std::unique_ptr<d3d9::DeviceCopy> copyTexture(const d3d9::Texture& texture)
{
    if (texture.pool() == D3DPOOL_SYSTEMMEM || texture.pool() == D3DPOOL_SCRATCH) {
        return nullptr;
    }
    return std::make_unique<TextureCopy>(texture);
}

GLuint bufferName(const d3d9::Buffer* buffer)
{
    const auto* copy = buffer != nullptr ? static_cast<const BufferCopy*>(buffer->copy()) : nullptr;
    return copy != nullptr ? copy->name : 0;
}

std::uint64_t bufferVersion(const d3d9::Buffer& buffer)
{
    const auto* copy = static_cast<const BufferCopy*>(buffer.copy());
    return copy != nullptr ? copy->version : 0;
}

GLuint textureName(const d3d9::Texture* texture)
{
    const auto* copy = texture != nullptr ? static_cast<const TextureCopy*>(texture->copy()) : nullptr;
    return copy != nullptr ? copy->name : 0;
}

} // namespace gl

#include "gl/gl_resources.hpp"

#include <algorithm>
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

BufferCopy::BufferCopy(const d3d9::BufferContents& buffer) : version(nextVersion())
{
    glGenBuffers(1, &name);
    glBindBuffer(GL_COPY_WRITE_BUFFER, name);
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(buffer.size()), buffer.bytes(), GL_STATIC_DRAW);
}

BufferCopy::~BufferCopy()
{
    if (life.current()) {
        glDeleteBuffers(1, &name);
    }
}

void BufferCopy::update(std::size_t offset, std::size_t size) const
{
    version = nextVersion();
    if (size == 0) {
        return;
    }
    // Merged with every range it touches or meets.
    std::size_t first = offset, end = offset + size;
    std::vector<std::pair<std::size_t, std::size_t>> merged;
    for (const auto& range : changed) {
        if (range.second < first || range.first > end) {
            merged.push_back(range);
        } else {
            first = std::min(first, range.first);
            end = std::max(end, range.second);
        }
    }
    merged.push_back({first, end});
    std::sort(merged.begin(), merged.end());
    changed = std::move(merged);
}

void BufferCopy::upload(const d3d9::BufferContents& buffer, std::size_t begin, std::size_t end) const
{
    std::vector<std::pair<std::size_t, std::size_t>> left;
    for (const auto& range : changed) {
        const std::size_t from = std::max(range.first, begin), to = std::min(range.second, end);
        if (from >= to) {
            left.push_back(range);
            continue;
        }
        glBindBuffer(GL_COPY_WRITE_BUFFER, name);
        glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(from), static_cast<GLsizeiptr>(to - from),
                        buffer.bytes() + from);
        if (range.first < from) {
            left.push_back({range.first, from});
        }
        if (to < range.second) {
            left.push_back({to, range.second});
        }
    }
    changed = std::move(left);
}

TextureCopy::TextureCopy(const d3d9::TextureContents& texture)
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
    if (life.current()) {
        glDeleteTextures(1, &name);
    }
}

void TextureCopy::upload(const d3d9::TextureContents& texture) const
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

std::unique_ptr<d3d9::DeviceCopy> copyTexture(const d3d9::TextureContents& texture)
{
    if (texture.pool() == D3DPOOL_SYSTEMMEM || texture.pool() == D3DPOOL_SCRATCH) {
        return nullptr;
    }
    return std::make_unique<TextureCopy>(texture);
}

GLuint bufferName(const d3d9::BufferContents* buffer)
{
    const auto* copy = buffer != nullptr ? static_cast<const BufferCopy*>(buffer->copy()) : nullptr;
    return copy != nullptr ? copy->name : 0;
}

void uploadRange(const d3d9::BufferContents& buffer, std::int64_t begin, std::int64_t end)
{
    const auto* copy = static_cast<const BufferCopy*>(buffer.copy());
    const auto size = static_cast<std::int64_t>(buffer.size());
    begin = std::clamp<std::int64_t>(begin, 0, size);
    end = std::clamp<std::int64_t>(end, begin, size);
    if (copy != nullptr && !copy->changed.empty()) {
        copy->upload(buffer, static_cast<std::size_t>(begin), static_cast<std::size_t>(end));
    }
}

std::uint64_t bufferVersion(const d3d9::BufferContents& buffer)
{
    const auto* copy = static_cast<const BufferCopy*>(buffer.copy());
    return copy != nullptr ? copy->version : 0;
}

GLuint textureName(const d3d9::TextureContents* texture)
{
    const auto* copy = texture != nullptr ? static_cast<const TextureCopy*>(texture->copy()) : nullptr;
    return copy != nullptr ? copy->name : 0;
}

} // namespace gl

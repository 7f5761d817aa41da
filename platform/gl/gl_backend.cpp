#include "gl/gl_backend.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "d3d9/draw_state.hpp"
#include "com/assertion.hpp"
#include "gl/gl_clears.hpp"
#include "gl/gl_framebuffer.hpp"
#include "gl/gl_layout.hpp"
#include "gl/gl_programs.hpp"
#include "gl/gl_rebased_indices.hpp"
#include "gl/gl_resources.hpp"
#include "gl/gl_state.hpp"

namespace gl {
namespace {

bool hasClipControl()
{
#ifdef DEMO_GL_ES
    return false; // WebGL2 offers no clip control: the programs remap depth
#else
    GLint major = 0, minor = 0, count = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major > 4 || (major == 4 && minor >= 5)) {
        return true;
    }
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name != nullptr && std::strcmp(name, "GL_ARB_clip_control") == 0) {
            return true;
        }
    }
    return false;
#endif
}

GLint maxSamples()
{
    GLint samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &samples);
    return samples;
}


GLenum primitiveMode(D3DPRIMITIVETYPE type)
{
    switch (type) {
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: PLATFORM_ASSERT(!"a primitive type the front end does not draw");
    }
}

// What the back end makes in its context for itself: made again, with
// every copy of the front end's objects, when the context lost them all.
struct ContextObjects {
    ContextObjects(std::int32_t width, std::int32_t height, GLint samples, bool clipControl, const MessageSink& report)
        : framebuffer(width, height, samples), clears(height, 0xFF000000u, 1.0f), programs(!clipControl, report)
    {
#ifndef DEMO_GL_ES
        if (clipControl) {
            glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
        }
#endif
    }

    Framebuffer framebuffer; // a new back buffer shows opaque black, its depth the far plane
    ClearQueue clears;
    ProgramCache programs;
    VertexLayout layout;
    StateCache cache;
    const LinkedProgram* uniformsOf = nullptr; // the pair whose uniforms the last draw set
#ifdef DEMO_GL_ES
    RebasedIndices rebased; // OpenGL ES draws with no base vertex
#endif
};

class GlBackend final : public d3d9::Backend {
public:
    GlBackend(const D3DPRESENT_PARAMETERS& p, GLint samples, bool clipControl, MessageSink report,
              std::function<std::uint64_t()> contextGeneration, bool stopUnseenDraws)
        : width_(static_cast<std::int32_t>(p.BackBufferWidth)), height_(static_cast<std::int32_t>(p.BackBufferHeight)),
          samples_(samples), clipControl_(clipControl), stopUnseenDraws_(stopUnseenDraws), report_(std::move(report)),
          contextGeneration_(std::move(contextGeneration)),
          generation_(contextGeneration_ ? contextGeneration_() : 0),
          objects_(std::make_unique<ContextObjects>(width_, height_, samples_, clipControl_, report_))
    {
    }

    // Uploads bind what they fill: the cache forgets. (Changed bytes go up
    // when a draw reads them, through a binding the cache does not keep.)
    std::unique_ptr<d3d9::DeviceCopy> copyBuffer(const d3d9::BufferContents& buffer) override
    {
        objects_->cache.forget();
        return std::make_unique<BufferCopy>(buffer);
    }
    void updateBuffer(const d3d9::BufferContents& buffer, std::size_t offset, std::size_t size) override
    {
        static_cast<const BufferCopy*>(buffer.copy())->update(offset, size);
    }
    std::unique_ptr<d3d9::DeviceCopy> copyTexture(const d3d9::TextureContents& texture) override
    {
        objects_->cache.forget();
        return gl::copyTexture(texture);
    }
    void updateTexture(const d3d9::TextureContents& texture) override
    {
        objects_->cache.forget();
        if (const auto* copy = static_cast<const TextureCopy*>(texture.copy())) {
            copy->upload(texture);
        }
    }
    std::unique_ptr<d3d9::DeviceCopy> copyProgram(const d3d9::ProgramContents& shader) override
    {
        return objects_->programs.compile(shader);
    }

    void clear(const d3d9::ClearCall& call, const d3d9::DrawState&) override
    {
        objects_->cache.forget();
        objects_->clears.clear(objects_->framebuffer.drawName(), call);
    }
    d3d9::DrawOutcome draw(const d3d9::DrawCall& call, const d3d9::DrawState& state) override;
    bool rebuiltAfterLoss() override;
    d3d9::Frame present(bool rendered) override
    {
        objects_->cache.forget(); // the host may draw with the context now
        if (rendered) {
            const PixelBox changed = objects_->clears.beforeResolve(objects_->framebuffer.drawName());
            objects_->framebuffer.changed(changed.x1, changed.y1, changed.x2, changed.y2);
        }
        return d3d9::Frame{width_, height_, rendered, &objects_->framebuffer, {}};
    }

private:
    bool update(const d3d9::DrawState& state, d3d9::DirtyBits dirty);
    void uploadUniforms(const LinkedProgram& linked, const d3d9::DrawState& state, d3d9::DirtyBits changed);
    void bindTextures(const GlProgram& pixel, const d3d9::DrawState& state);
    void bindIndices(GLuint name);
    void uploadWhatTheDrawReads(const d3d9::DrawCall& call, const d3d9::DrawState& state);

    std::int32_t width_;
    std::int32_t height_;
    GLint samples_;
    bool clipControl_;
    bool stopUnseenDraws_;
    MessageSink report_;
    std::function<std::uint64_t()> contextGeneration_;
    std::uint64_t generation_;
    pipeline::ViewCulling culling_;
    std::unique_ptr<ContextObjects> objects_;
};

// A context that lost every object (and can take new ones) starts a new
// life: what the back end made in it is made again, its old names
// forgotten; the front end then has every copy made again.
bool GlBackend::rebuiltAfterLoss()
{
    if (!contextGeneration_ || contextGeneration_() == generation_) {
        return false;
    }
    generation_ = contextGeneration_();
    ++currentContextLife();
    objects_ = std::make_unique<ContextObjects>(width_, height_, samples_, clipControl_, report_);
    return true;
}

// What each changed kind of state renews, on top of what the draw itself
// reads (the stream's and indices' changed bytes, the index buffer bound):
// - VertexShader, PixelShader: the linked pair (from the cache of pairs);
// - RenderStates, Viewport: the fixed-function state (culling, depth,
//   viewport, scissor, fill, multisampling);
// - Declaration, Streams, VertexShader: the vertex array's attributes, and
//   the colour inputs' swizzle of OpenGL ES;
// - VertexConstants, PixelConstants: the programs' constant uniforms;
// - Viewport: the half-pixel shift uniform;
// - Textures, PixelShader: the texture units the pixel program samples.
// SamplerStates and Indices renew nothing: samplers point-sample and wrap
// whatever is set, and indices are bound at each draw. A pair taken up
// again (another pair drew between) has all its uniforms set again.
// False when the pair could not be linked (then nothing was renewed).
bool GlBackend::update(const d3d9::DrawState& state, d3d9::DirtyBits dirty)
{
    ContextObjects& o = *objects_;
    const GlProgram& pixel = programOf(*state.pixelShader);
    LinkedProgram& linked = o.programs.link(programOf(*state.vertexShader), pixel);
    if (linked.name == 0) {
        return false; // the translated programs did not compile or link: reported
    }
    const D3DVIEWPORT9& v = state.viewport;
    const DWORD* rs = state.renderStates;
    const bool writesDepth = rs[D3DRS_ZENABLE] != D3DZB_FALSE && rs[D3DRS_ZWRITEENABLE] != 0;
    if (o.clears.beforeDraw(o.framebuffer.drawName(),
                            {static_cast<LONG>(v.X), static_cast<LONG>(v.Y), static_cast<LONG>(v.X + v.Width),
                             static_cast<LONG>(v.Y + v.Height)},
                            writesDepth)) {
        o.cache.forget();
    }
    o.layout.bind(state, dirty, o.cache.vertexArrayBound);
    applyDrawStates(state, dirty, o.framebuffer.drawName(), o.cache);
    if (o.cache.program != linked.name) {
        glUseProgram(linked.name);
        o.cache.program = linked.name;
    }
    if (o.uniformsOf != &linked) {
        o.uniformsOf = &linked;
        dirty = d3d9::dirty::All;
    }
    uploadUniforms(linked, state, dirty);
    bindTextures(pixel, state);
    return true;
}

void GlBackend::uploadUniforms(const LinkedProgram& linked, const d3d9::DrawState& state, d3d9::DirtyBits changed)
{
    namespace dirty = d3d9::dirty;
    if (linked.vertexConstants >= 0 && (changed & dirty::VertexConstants) != 0) {
        glUniform4fv(linked.vertexConstants, static_cast<GLsizei>(programOf(*state.vertexShader).glsl.constantCount),
                     state.vertexConstants);
    }
    if (linked.pixelConstants >= 0 && (changed & dirty::PixelConstants) != 0) {
        glUniform4fv(linked.pixelConstants, static_cast<GLsizei>(programOf(*state.pixelShader).glsl.constantCount),
                     state.pixelConstants);
    }
    if (linked.colourInputs >= 0 && (changed & (dirty::Declaration | dirty::Streams | dirty::VertexShader)) != 0) {
        glUniform1i(linked.colourInputs, static_cast<GLint>(objects_->layout.colourInputs()));
    }
    if (linked.pixelShift >= 0 && (changed & dirty::Viewport) != 0) {
        glUniform2f(linked.pixelShift, 1.0f / static_cast<float>(state.viewport.Width),
                    -1.0f / static_cast<float>(state.viewport.Height));
    }
}

// The vertex array's index buffer.
void GlBackend::bindIndices(GLuint name)
{
    if (objects_->cache.indices != name) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
        objects_->cache.indices = name;
    }
}

// The changed bytes of the vertices the draw's indices name and of the
// indices themselves (not the announced vertex range, which a program may
// get wrong: GL draws whatever the indices name).
void GlBackend::uploadWhatTheDrawReads(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    const d3d9::BufferContents& indices = *state.indices;
    const std::size_t indexBytes = pipeline::indexBytes(indices.format());
    const std::uint8_t* first = indices.bytes() + std::size_t{call.startIndex} * indexBytes;
    std::uint32_t lowest = ~0u, highest = 0;
    for (std::size_t i = 0; i < call.indexCount; ++i) {
        std::uint32_t index = 0;
        std::memcpy(&index, first + i * indexBytes, indexBytes); // little-endian: the low bytes
        lowest = std::min(lowest, index);
        highest = std::max(highest, index);
    }
    const std::int64_t stride = state.streamStride;
    const std::int64_t start = static_cast<std::int64_t>(state.streamOffset) + (call.baseVertex + std::int64_t{lowest}) * stride;
    uploadRange(*state.stream, start,
                start + (std::int64_t{highest} - lowest) * stride + static_cast<std::int64_t>(objects_->layout.bytesAVertexReads()));
    uploadRange(indices, static_cast<std::int64_t>(call.startIndex * indexBytes),
                static_cast<std::int64_t>((call.startIndex + call.indexCount) * indexBytes));
}

void GlBackend::bindTextures(const GlProgram& pixel, const d3d9::DrawState& state)
{
    for (std::uint32_t s = 0; s < d3d9::SamplerCount; ++s) {
        const GLuint name = textureName(state.textures[s]);
        if ((pixel.glsl.samplers & (1u << s)) != 0 && objects_->cache.textures[s] != name) {
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, name);
            objects_->cache.textures[s] = name;
        }
    }
}

d3d9::DrawOutcome GlBackend::draw(const d3d9::DrawCall& call, const d3d9::DrawState& state)
{
    const pipeline::CullingMargin margin = {false, HardwareRoundings, static_cast<double>(state.viewport.Width),
                                            static_cast<double>(state.viewport.Height)};
    if (stopUnseenDraws_ && culling_.reachesNoPixel(d3d9::cullingDrawOf(call, state, margin))) {
        return d3d9::DrawOutcome::Stopped;
    }
    if (!update(state, state.dirty)) {
        return d3d9::DrawOutcome::Refused;
    }
    uploadWhatTheDrawReads(call, state);
#ifdef DEMO_GL_ES
    std::size_t offset = 0;
    const d3d9::BufferContents& indices = *state.indices;
    if (!objects_->rebased.place(indices.bytes(), indices.format() == D3DFMT_INDEX32, bufferVersion(indices), call, offset)) {
        return d3d9::DrawOutcome::Refused; // an index with the base vertex added leaves 0 .. 2^32 - 1
    }
    bindIndices(objects_->rebased.buffer());
    glDrawElements(primitiveMode(call.type), static_cast<GLsizei>(call.indexCount), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)));
#else
    bindIndices(bufferName(state.indices));
    const std::size_t indexBytes = pipeline::indexBytes(state.indices->format());
    glDrawElementsBaseVertex(primitiveMode(call.type), static_cast<GLsizei>(call.indexCount),
                             indexBytes == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<std::uintptr_t>(call.startIndex * indexBytes)),
                             call.baseVertex);
#endif
    return d3d9::DrawOutcome::Drawn;
}

class GlAdapter final : public d3d9::Adapter {
public:
    GlAdapter() : clipControl_(hasClipControl()), maxSamples_(maxSamples()) {}
    bool offersMultisample() const override { return maxSamples_ >= 4; }
    std::unique_ptr<d3d9::Backend> createBackend(const D3DPRESENT_PARAMETERS& parameters,
                                                 const d3d9::BackendOptions& options) override
    {
        // Four samples for 2x as well, as the software back end resolves them.
        const GLint samples = parameters.MultiSampleType >= D3DMULTISAMPLE_2_SAMPLES ? 4 : 0;
        MessageSink report = options.onMessage;
        if (!report) {
            report = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
        }
        return std::make_unique<GlBackend>(parameters, samples, clipControl_, std::move(report),
                                           options.contextGeneration, options.stopUnseenDraws);
    }

private:
    bool clipControl_;
    GLint maxSamples_;
};

} // namespace

const d3d9::BackendDescription& glBackend()
{
    static const d3d9::BackendDescription description{
#ifdef DEMO_GL_ES
        "gl", "WebGL2 (OpenGL ES 3.0) in the browser", true,
#else
        "gl", "OpenGL 3.3 core: a GPU, or Mesa's software driver", true,
#endif
        [](const d3d9::BackendOptions&) -> std::unique_ptr<d3d9::Adapter> { return std::make_unique<GlAdapter>(); }};
    return description;
}

} // namespace gl

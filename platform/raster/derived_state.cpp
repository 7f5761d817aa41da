#include "raster/derived_state.hpp"

#include "com/assertion.hpp"
#include "pipeline/constant_snapshot.hpp"
#include "raster/pixel_stage.hpp"

namespace raster {
namespace {

const SoftwareProgram& copyOf(const d3d9::ProgramContents& shader)
{
    const auto* copy = static_cast<const SoftwareProgram*>(shader.copy());
    PLATFORM_ASSERT(copy != nullptr);
    return *copy;
}

CullMode cullModeOf(DWORD value)
{
    switch (value) {
    case D3DCULL_NONE: return CullMode::None;
    case D3DCULL_CCW: return CullMode::CounterClockwise;
    default: return CullMode::Clockwise;
    }
}

// The pixel program's inputs as the shading reads them: its analysis, its
// routine, the constants with defs applied, and the bound textures.
PixelStageInput pixelStageInput(const d3d9::DrawState& state)
{
    PixelStageInput input;
    input.program = copyOf(*state.pixelShader).program;
    input.routine = copyOf(*state.pixelShader).pixelRoutine;
    input.constants.assign(state.pixelConstants, state.pixelConstants + 4 * d3d9::PixelConstantRegisters);
    for (std::uint32_t s = 0; s < d3d9::SamplerCount; ++s) {
        const d3d9::TextureContents* texture = state.textures[s];
        input.samplers[s] = texture == nullptr
                                ? shader::SamplerTexture{}
                                : shader::SamplerTexture{texture->texels(), static_cast<std::int32_t>(texture->width()),
                                                         static_cast<std::int32_t>(texture->height()),
                                                         static_cast<std::int32_t>(texture->pitch())};
    }
    return input;
}

std::shared_ptr<const RasterState> deriveRasterState(const d3d9::DrawState& state)
{
    auto made = std::make_shared<RasterState>();
    RasterState& raster = *made;
    const D3DVIEWPORT9& v = state.viewport;
    raster.viewport = {static_cast<std::int32_t>(v.X), static_cast<std::int32_t>(v.Y),
                       static_cast<std::int32_t>(v.Width), static_cast<std::int32_t>(v.Height), v.MinZ, v.MaxZ};
    const DWORD* rs = state.renderStates;
    raster.cull = cullModeOf(rs[D3DRS_CULLMODE]);
    raster.depthTest = rs[D3DRS_ZENABLE] != D3DZB_FALSE && rs[D3DRS_ZFUNC] != D3DCMP_ALWAYS;
    raster.depthWrite = rs[D3DRS_ZENABLE] != D3DZB_FALSE && rs[D3DRS_ZWRITEENABLE] != 0;
    raster.multisample = rs[D3DRS_MULTISAMPLEANTIALIAS] != FALSE;
    setPixelStage(pixelStageInput(state), raster);
    return made;
}

} // namespace

std::unique_ptr<SoftwareProgram> makeSoftwareProgram(const d3d9::ProgramContents& shader, bool reference)
{
    auto copy = std::make_unique<SoftwareProgram>();
    copy->program = shader.sharedAnalysis();
    const shader::ProgramAnalysis& program = *copy->program;
    if (program.type == shader::ShaderType::Vertex) {
        copy->shading = makeVertexShading(program, reference);
    } else if (!reference) {
        auto routine = std::make_shared<shader::CompiledProgram>(program.whole, program.type);
        if (routine->compiled()) {
            copy->pixelRoutine = std::move(routine);
        }
    }
    return copy;
}

// Which derived state each changed kind of state renews (the linkage is
// the front end's, made again when it changes):
// - Viewport, RenderStates, Textures, PixelShader, PixelConstants: the
//   raster state, with the pixel program's closure;
// - VertexShader, VertexConstants: a new snapshot of the registers the
//   vertex program reads, in the queue's pool.
// Streams and Indices renew nothing: every draw reads them as they stand.
// SamplerStates renew nothing either: this device always samples with point
// filtering and wrapping.
void DerivedState::update(const d3d9::DrawState& state, d3d9::DirtyBits changed, FrameCommands& recording,
                          DrawCommand& draw)
{
    namespace dirty = d3d9::dirty;
    constexpr d3d9::DirtyBits rasterSources = dirty::Viewport | dirty::RenderStates | dirty::Textures |
                                              dirty::PixelShader | dirty::PixelConstants;
    if (raster_ == nullptr || (changed & rasterSources) != 0) {
        raster_ = deriveRasterState(state);
    }
    const SoftwareProgram& vertex = copyOf(*state.vertexShader);
    if (!snapshotStands_ || (changed & (dirty::VertexShader | dirty::VertexConstants)) != 0) {
        std::vector<float>& pool = recording.constantPool();
        snapshot_ = pool.size();
        pipeline::appendConstantSnapshot(vertex.program->whole, state.vertexConstants, d3d9::VertexConstantRegisters,
                                         pool);
        snapshotStands_ = true;
    }
    draw.program = recording.hold(vertex.program, FrameCommands::Program);
    draw.shading = recording.hold(vertex.shading, FrameCommands::Shading);
    draw.linkage = recording.hold(state.linkage, FrameCommands::Linkage);
    draw.state = recording.hold(raster_, FrameCommands::State);
    draw.constants = snapshot_;
}

} // namespace raster

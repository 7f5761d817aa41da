#include "raster/vertex_routine.hpp"

#include <algorithm>

namespace raster {

using shader::RegisterType;
using shader::BatchLanes;

VertexRoutine::VertexRoutine(const shader::ProgramAnalysis& program, shader::RoutineWidth width)
    : program_(program.whole, program.type, width)
{
    for (int n = 0; n < shader::VertexInputRegisters; ++n) {
        inputOffsets_[n] = program_.slot(RegisterType::Input, static_cast<std::uint32_t>(n));
    }
    positionOffset_ = program_.slot(RegisterType::RastOut, 0);
    for (int n = 0; n < shader::ColourOutputs; ++n) {
        colourOffsets_[n] = program_.slot(RegisterType::AttrOut, static_cast<std::uint32_t>(n));
    }
    for (int n = 0; n < shader::TexCoordOutputs; ++n) {
        texCoordOffsets_[n] = program_.slot(RegisterType::TexCoordOut, static_cast<std::uint32_t>(n));
    }
}

void VertexRoutine::gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count,
                                ShadedVertex* out) const
{
    const float* position = file + positionOffset_;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        ShadedVertex& v = out[lane];
        for (int i = 0; i < 4; ++i) {
            v.position[i] = position[i * BatchLanes + lane];
        }
        for (std::size_t k = 0; k < input.varyings.size(); ++k) {
            const shader::Varying& source = input.varyings[k];
            const float* r = file + (source.colour ? colourOffsets_[source.number] : texCoordOffsets_[source.number]);
            for (int i = 0; i < 4; ++i) {
                const float value = r[i * BatchLanes + lane];
                v.varyings[k][i] = source.colour ? clampColour(value) : value;
            }
        }
    }
}

void VertexRoutine::shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
                          VertexScratch& scratch) const
{
    std::vector<float>& file = scratch.registers;
    const std::int32_t vertexCount = std::max(input.vertexCount, 0);
    out.resize(static_cast<std::size_t>(vertexCount));
    if (file.size() < program_.fileSize()) {
        file.resize(program_.fileSize());
    }
    float* f = file.data();
    program_.prepareFile(f, snapshot);
    for (std::int32_t first = 0; first < vertexCount; first += BatchLanes) {
        const std::int32_t count = std::min(BatchLanes, vertexCount - first);
        program_.clearTemporaries(f);
        pipeline::fetchVerticesIntoFile(input.bindings, inputOffsets_, input.stream, input.firstVertex + first, count, f);
        program_.run(f, count, nullptr);
        gatherChunk(input, f, count, out.data() + first);
    }
}

} // namespace raster

#include "raster/vertex_stage.hpp"

#include <algorithm>
#include <cstring>

namespace raster {
namespace {

// Outputs a program does not write read as 0, and w as 1.
void clearOutputs(ShaderMachine& m)
{
    Register* outputs[] = {&m.position, &m.colorOutputs[0], &m.colorOutputs[1]};
    for (Register* r : outputs) {
        std::fill(&r->c[0][0], &r->c[3][0], 0.0f);
        std::fill(&r->c[3][0], &r->c[3][0] + LaneCount, 1.0f);
    }
    for (Register& r : m.texCoordOutputs) {
        std::fill(&r.c[0][0], &r.c[3][0], 0.0f);
        std::fill(&r.c[3][0], &r.c[3][0] + LaneCount, 1.0f);
    }
}

void gatherBatch(const ShaderMachine& m, std::span<const VaryingSource> varyings, std::int32_t count,
                 ShadedVertex* out)
{
    for (std::int32_t lane = 0; lane < count; ++lane) {
        ShadedVertex& v = out[lane];
        for (int i = 0; i < 4; ++i) {
            v.position[i] = m.position.c[i][lane];
        }
        for (std::size_t k = 0; k < varyings.size(); ++k) {
            const VaryingSource& source = varyings[k];
            const Register& r = source.colour ? m.colorOutputs[source.number] : m.texCoordOutputs[source.number];
            for (int i = 0; i < 4; ++i) {
                v.varyings[k][i] = source.colour ? clampColour(r.c[i][lane]) : r.c[i][lane];
            }
        }
    }
}

} // namespace

bool rangeIsOutsideView(const VertexStageInput& input)
{
    thread_local ShaderMachine machine;
    machine.constants = input.constants;
    std::memset(machine.inputs, 0, sizeof machine.inputs); // a v register no element feeds reads 0
    std::vector<InputBinding> bindings;
    for (const InputBinding& b : input.bindings) {
        for (std::uint32_t n : input.program->positionInputs()) {
            if (b.inputRegister == n) {
                bindings.push_back(b);
            }
        }
    }
    std::uint32_t common = 63;
    for (std::int32_t first = 0; first < input.vertexCount && common != 0; first += LaneCount) {
        const std::int32_t count = std::min(LaneCount, input.vertexCount - first);
        fetchVertices(bindings, input.stream, input.streamSize, input.streamOffset, input.stride,
                      input.firstVertex + first, count, machine);
        clearOutputs(machine);
        input.program->runPositionSlice(machine);
        for (std::int32_t lane = 0; lane < count; ++lane) {
            const Register& p = machine.position;
            common &= clipOutcode(p.c[0][lane], p.c[1][lane], p.c[2][lane], p.c[3][lane]);
        }
    }
    return common != 0 && input.vertexCount > 0;
}

void shadeVertices(const VertexStageInput& input, std::vector<ShadedVertex>& out)
{
    out.resize(static_cast<std::size_t>(std::max(input.vertexCount, 0)));
    thread_local ShaderMachine machine;
    machine.constants = input.constants;
    machine.samplers = nullptr; // vertex programs of shader model 2.0 do not sample
    std::memset(machine.inputs, 0, sizeof machine.inputs);
    for (std::int32_t first = 0; first < input.vertexCount; first += LaneCount) {
        const std::int32_t count = std::min(LaneCount, input.vertexCount - first);
        fetchVertices(input.bindings, input.stream, input.streamSize, input.streamOffset, input.stride,
                      input.firstVertex + first, count, machine);
        clearOutputs(machine);
        input.program->run(machine);
        gatherBatch(machine, input.varyings, count, out.data() + first);
    }
}

std::vector<VaryingSource> varyingsOf(const ShaderProgram& pixelProgram)
{
    std::vector<VaryingSource> varyings;
    for (const DeclaredInput& in : pixelProgram.inputs()) {
        if (varyings.size() == static_cast<std::size_t>(MaxVaryings)) {
            break;
        }
        if (in.type == shader::RegisterType::Input && in.number < 2) {
            varyings.push_back({true, in.number});
        } else if (in.type == shader::RegisterType::Texture && in.number < 8) {
            varyings.push_back({false, in.number});
        }
    }
    return varyings;
}

} // namespace raster

#include "raster/vertex_stage.hpp"

#include <algorithm>
#include <cstring>

#include "d3d9/draw_state.hpp"
#include "pipeline/constant_snapshot.hpp"
#include "raster/vertex_routine.hpp"
#include "shader/shader_machine.hpp"

namespace raster {
namespace {

using shader::BatchLanes;
using shader::Register;

// Outputs a program does not write read as unwrittenOutputW says.
void clearOutputs(shader::ShaderMachine& m)
{
    constexpr shader::ShaderType Vertex = shader::ShaderType::Vertex;
    shader::fillUnwritten(std::span(&m.position, 1), Vertex);
    shader::fillUnwritten(m.colorOutputs, Vertex);
    shader::fillUnwritten(m.texCoordOutputs, Vertex);
}

void gatherBatch(const shader::ShaderMachine& m, std::span<const shader::Varying> varyings, std::int32_t count,
                 ShadedVertex* out)
{
    for (std::int32_t lane = 0; lane < count; ++lane) {
        ShadedVertex& v = out[lane];
        for (int i = 0; i < 4; ++i) {
            v.position[i] = m.position.c[i][lane];
        }
        for (std::size_t k = 0; k < varyings.size(); ++k) {
            const shader::Varying& source = varyings[k];
            const Register& r = source.colour ? m.colorOutputs[source.number] : m.texCoordOutputs[source.number];
            for (int i = 0; i < 4; ++i) {
                v.varyings[k][i] = source.colour ? clampColour(r.c[i][lane]) : r.c[i][lane];
            }
        }
    }
}

} // namespace

void shadeVertices(const VertexStageInput& input, std::vector<ShadedVertex>& out)
{
    out.resize(static_cast<std::size_t>(std::max(input.vertexCount, 0)));
    thread_local shader::ShaderMachine machine;
    machine.constants = input.constants;
    machine.samplers = nullptr; // vertex programs of shader model 2.0 do not sample
    for (std::int32_t first = 0; first < input.vertexCount; first += BatchLanes) {
        const std::int32_t count = std::min(BatchLanes, input.vertexCount - first);
        pipeline::fetchVertices(input.bindings, input.stream, input.firstVertex + first, count, machine);
        clearOutputs(machine);
        shader::runProgram(*input.program, machine);
        gatherBatch(machine, input.varyings, count, out.data() + first);
    }
}

void MachineVertexShading::shade(const VertexStageInput& input, const float* snapshot, std::vector<ShadedVertex>& out,
                                 VertexScratch& scratch) const
{
    scratch.registers.resize(4 * d3d9::VertexConstantRegisters); // the registers never read hold anything
    pipeline::spreadConstantSnapshot(input.program->whole, snapshot, scratch.registers.data());
    VertexStageInput whole = input;
    whole.constants = scratch.registers.data();
    shadeVertices(whole, out);
}

std::shared_ptr<const VertexShading> makeVertexShading(const shader::ProgramAnalysis& program, bool reference)
{
    if (!reference) {
        auto routine = std::make_shared<VertexRoutine>(program);
        if (routine->compiled()) {
            return routine;
        }
    }
    return std::make_shared<MachineVertexShading>();
}

} // namespace raster

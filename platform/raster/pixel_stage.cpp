#include "raster/pixel_stage.hpp"

#include <cmath>
#include <cstring>

namespace raster {
namespace {

std::uint32_t toByte(float v)
{
    const float clamped = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return static_cast<std::uint32_t>(clamped * 255.0f + 0.5f);
}

struct PixelProgramRun {
    std::shared_ptr<const PixelStageInput> input;
    std::vector<std::pair<shader::RegisterType, std::uint32_t>> targets; // register per varying

    void operator()(const PixelBatch& batch, std::uint32_t* colors) const
    {
        thread_local ShaderMachine machine;
        machine.constants = input->constants.data();
        machine.samplers = input->samplers.data();
        for (std::size_t k = 0; k < targets.size(); ++k) {
            Register& r = targets[k].first == shader::RegisterType::Input ? machine.inputs[targets[k].second]
                                                                          : machine.textureInputs[targets[k].second];
            std::memcpy(r.c, batch.varyings[k], sizeof r.c);
        }
        std::memset(machine.pixelColors, 0, sizeof machine.pixelColors);
        input->program->run(machine);
        const Register& c = machine.pixelColors[0];
        for (std::int32_t lane = 0; lane < batch.count; ++lane) {
            colors[lane] = toByte(c.c[3][lane]) << 24 | toByte(c.c[0][lane]) << 16 | toByte(c.c[1][lane]) << 8 |
                           toByte(c.c[2][lane]);
        }
    }
};

} // namespace

PixelShader makePixelShader(PixelStageInput input)
{
    static_assert(BatchSize == LaneCount, "one pixel batch is one run of the machine");
    PixelProgramRun run;
    for (const DeclaredInput& in : input.program->inputs()) {
        if (run.targets.size() == static_cast<std::size_t>(MaxVaryings)) {
            break;
        }
        if ((in.type == shader::RegisterType::Input && in.number < 2) ||
            (in.type == shader::RegisterType::Texture && in.number < 8)) {
            run.targets.emplace_back(in.type, in.number);
        }
    }
    run.input = std::make_shared<const PixelStageInput>(std::move(input));
    return run;
}

} // namespace raster

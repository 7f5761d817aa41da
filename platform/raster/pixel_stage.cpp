#include "raster/pixel_stage.hpp"
#include "raster/wide_clones.hpp"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "pipeline/constant_snapshot.hpp"
#include "raster/pixel_batch.hpp"

namespace raster {
namespace {

std::uint32_t toByte(float v)
{
    const float clamped = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped * 255.0f + 0.5f)); // at most 255.5
}

// A8R8G8B8 of lanes [0, count) of a colour register stored as components
// `componentStep` floats apart; a loop the compiler vectorises.
RASTER_WIDE_CLONES void packColours(const float* c, std::int32_t componentStep, std::int32_t count, std::uint32_t* colors)
{
    const float* red = c;
    const float* green = c + componentStep;
    const float* blue = c + 2 * componentStep;
    const float* alpha = c + 3 * componentStep;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        colors[lane] = toByte(alpha[lane]) << 24 | toByte(red[lane]) << 16 | toByte(green[lane]) << 8 |
                       toByte(blue[lane]);
    }
}

using shader::BatchLanes;

// The nearest float at or below a double (infinity past the floats' range,
// where the conversion itself would be undefined), and at or above.
float floatBelow(double v)
{
    constexpr float Infinity = std::numeric_limits<float>::infinity();
    if (!(std::fabs(v) <= std::numeric_limits<float>::max())) {
        return v > 0.0 ? std::numeric_limits<float>::max() : -Infinity;
    }
    const float f = static_cast<float>(v);
    return static_cast<double>(f) > v ? std::nextafter(f, -Infinity) : f;
}

float floatAbove(double v)
{
    return -floatBelow(-v);
}

// The one byte every value of a colour component in `range` packs to, or
// -1 when they pack to more than one. toByte never decreases as its float
// grows, and gives 0 for NaN.
std::int32_t packedByte(const shader::ValueRange& range)
{
    const std::uint32_t low = toByte(floatBelow(range.low)), high = toByte(floatAbove(range.high));
    return low == high && (!range.nan || low == 0) ? static_cast<std::int32_t>(low) : -1;
}

// The input register of a varying.
shader::RegisterType registerOf(const shader::Varying& varying)
{
    return varying.colour ? shader::RegisterType::Input : shader::RegisterType::Texture;
}

struct PixelProgramRun {
    std::shared_ptr<const PixelStageInput> input;
    // The compiled routine's side: a snapshot of the constants it reads,
    // its samplers, where the varyings go and the colour comes from.
    std::shared_ptr<const std::vector<float>> snapshot;
    std::array<shader::kernel::Sampler, 16> samplers{};
    std::vector<std::uint32_t> targetOffsets;
    std::vector<std::uint8_t> targetComponents; // the components of each that the routine reads
    std::uint32_t colourOffset = 0;
    std::uint64_t serial = 0; // tells a thread whether its register file holds this run's constants

    void operator()(const PixelBatch& batch, std::uint32_t* colors) const
    {
        if (input->routine != nullptr) {
            runRoutine(batch, colors);
            return;
        }
        thread_local shader::ShaderMachine machine;
        machine.constants = input->constants.data();
        machine.samplers = input->samplers.data();
        const std::vector<shader::Varying>& varyings = input->program->varyings;
        for (std::size_t k = 0; k < varyings.size(); ++k) {
            shader::Register& r = varyings[k].colour ? machine.inputs[varyings[k].number]
                                                     : machine.textureInputs[varyings[k].number];
            std::memcpy(r.c, batch.varyings[k], sizeof r.c);
        }
        shader::fillUnwritten(machine.pixelColors, shader::ShaderType::Pixel);
        shader::runProgram(*input->program, machine);
        packColours(&machine.pixelColors[0].c[0][0], shader::BatchLanes, batch.count, colors);
    }

    void runRoutine(const PixelBatch& batch, std::uint32_t* colors) const
    {
        struct ThreadFile {
            std::vector<float> file;
            std::uint64_t preparedFor = 0;
        };
        thread_local ThreadFile registers;
        const shader::CompiledProgram& routine = *input->routine;
        if (registers.file.size() < routine.fileSize()) {
            registers.file.resize(routine.fileSize());
            registers.preparedFor = 0;
        }
        float* file = registers.file.data();
        if (registers.preparedFor != serial) {
            routine.prepareFile(file, snapshot->data());
            registers.preparedFor = serial;
        }
        routine.clearTemporaries(file);
        for (std::size_t k = 0; k < targetOffsets.size(); ++k) {
            if (targetOffsets[k] == ~0u) {
                continue; // declared, never read
            }
            for (int c = 0; c < 4; ++c) {
                if ((targetComponents[k] & (1u << c)) != 0) {
                    std::memcpy(file + targetOffsets[k] + c * BatchLanes, batch.varyings[k][c],
                                sizeof batch.varyings[k][c]);
                }
            }
        }
        routine.run(file, batch.count, samplers.data());
        packColours(file + colourOffset, BatchLanes, batch.count, colors);
    }

    // The routine run once over the ranges of the triangle's varyings.
    bool flatColour(const ScreenTriangle& tri, std::uint32_t& colour) const
    {
        const shader::CompiledProgram& routine = *input->routine;
        thread_local std::vector<shader::ValueRange> ranges;
        ranges.resize(routine.rangeCount());
        routine.prepareRanges(ranges.data());
        for (std::size_t k = 0; k < targetOffsets.size(); ++k) {
            if (targetOffsets[k] == ~0u) {
                continue; // declared, never read
            }
            for (int c = 0; c < 4; ++c) {
                if ((targetComponents[k] & (1u << c)) != 0) {
                    ranges[targetOffsets[k] / BatchLanes + static_cast<std::uint32_t>(c)] =
                        interpolatedRange(tri, static_cast<std::int32_t>(k), c);
                }
            }
        }
        routine.runOnRanges(ranges.data(), snapshot->data());
        constexpr std::uint32_t Shifts[4] = {16, 8, 0, 24}; // red, green, blue, alpha in A8R8G8B8
        colour = 0;
        for (std::uint32_t c = 0; c < 4; ++c) {
            const std::int32_t byte = packedByte(ranges[colourOffset / BatchLanes + c]);
            if (byte < 0) {
                return false;
            }
            colour |= static_cast<std::uint32_t>(byte) << Shifts[c];
        }
        return true;
    }
};

PixelProgramRun makeProgramRun(PixelStageInput input)
{
    PixelProgramRun run;
    if (input.routine != nullptr) {
        const shader::CompiledProgram& routine = *input.routine;
        auto snapshot = std::make_shared<std::vector<float>>();
        pipeline::appendConstantSnapshot(input.program->whole, input.constants.data(),
                                         static_cast<std::uint32_t>(input.constants.size() / 4), *snapshot);
        run.snapshot = std::move(snapshot);
        for (std::size_t s = 0; s < run.samplers.size(); ++s) {
            const shader::SamplerTexture& t = input.samplers[s];
            run.samplers[s] = {t.texels, t.width, t.height, t.pitch};
        }
        for (const shader::Varying& varying : input.program->varyings) {
            run.targetOffsets.push_back(routine.slot(registerOf(varying), varying.number));
            run.targetComponents.push_back(
                shader::inputComponentsRead(input.program->whole, registerOf(varying), varying.number));
        }
        run.colourOffset = routine.slot(shader::RegisterType::ColorOut, 0);
        static std::atomic<std::uint64_t> serials{0};
        run.serial = ++serials;
    }
    run.input = std::make_shared<const PixelStageInput>(std::move(input));
    return run;
}

} // namespace

void readVaryingComponents(const PixelStageInput& input, std::uint8_t* components)
{
    const std::vector<shader::Varying>& varyings = input.program->varyings;
    for (std::size_t k = 0; k < varyings.size(); ++k) {
        components[k] = input.routine != nullptr ? shader::inputComponentsRead(input.program->whole,
                                                                               registerOf(varyings[k]), varyings[k].number)
                                                 : 0xF;
    }
}

BatchShader makeBatchShader(PixelStageInput input)
{
    return makeProgramRun(std::move(input));
}

void setPixelStage(PixelStageInput input, RasterState& raster)
{
    raster.varyingCount = static_cast<std::int32_t>(input.program->varyings.size());
    readVaryingComponents(input, raster.varyingComponents);
    const PixelProgramRun run = makeProgramRun(std::move(input));
    raster.flatColour = nullptr;
    if (run.input->routine != nullptr) {
        raster.flatColour = [run](const ScreenTriangle& tri, std::uint32_t& colour) {
            return run.flatColour(tri, colour);
        };
    }
    raster.shade = run;
}

} // namespace raster

// The pixel stage of a draw: the pixel program as the rasterizer's shading
// function, with the draw's constants and textures captured when the draw
// was issued, and its colour converted to A8R8G8B8 (each channel saturated
// and rounded to the nearest of 256 levels).
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "raster/rasterizer.hpp"
#include "shader/compiled_program.hpp"
#include "shader/shader_machine.hpp"

namespace raster {

struct PixelStageInput {
    std::shared_ptr<const shader::ProgramAnalysis> program; // shared with the shader object
    std::shared_ptr<const shader::CompiledProgram> routine; // the program compiled; NULL: the machine runs it
    std::vector<float> constants;               // 4 x 32 floats, defs applied
    std::array<shader::SamplerTexture, 16> samplers;
};

// The shading function for RasterState::shade. Safe to call from several
// threads at once: each uses its own registers.
BatchShader makeBatchShader(PixelStageInput input);

// The raster state's pixel part: the varyings the program reads (and which
// of their components), the shading function and, where the program is
// compiled, RasterState::flatColour, which runs it over the ranges of a
// triangle's varyings (shader/value_ranges.hpp). Both functions share one
// run of the program and are safe to call from several threads at once.
void setPixelStage(PixelStageInput input, RasterState& raster);

// RasterState::varyingComponents for that shading: what the compiled routine
// reads of each varying (the machine: every component).
void readVaryingComponents(const PixelStageInput& input, std::uint8_t* components);

} // namespace raster

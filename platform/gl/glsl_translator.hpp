// Shader model 2.0 bytecode (decoded by shader/bytecode) to GLSL 330 core
// (or GLSL ES 3.00), the way the OpenGL device runs the program's vertex and pixel programs.
//
// The generated text follows the analysis's conventions, as the software
// device does: temporaries start at zero, inputs read but never declared
// read 0, def constants are inlined as literals (they take the place of the
// device constants of the same number), unwritten vertex outputs read
// (0, 0, 0, 1), oD0/oD1 are clamped to [0, 1], _sat sends NaN to 0, and
// rcp/rsq/exp/log/pow read their source's .w after swizzling.
// Interface names: vertex input vN at attribute location N (vec4 "vN");
// constants "uniform vec4 vc[n]" (vertex) or "pc[n]" (pixel: one program
// holds both stages, whose arrays differ in size), n the highest register
// read that no def sets, plus one;
// samplers "uniform sampler2D sN"; varyings "d3d_color0/1", "d3d_texcoord0-7";
// the vertex program's "uniform vec2 d3d_pixelShift" moves the position by
// half a pixel (clip units times w) so OpenGL's pixel centres sample where
// Direct3D 9's do; the pixel program writes "d3d_fragColor" at location 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shader/program_analysis.hpp"

namespace gl {

struct GlslProgram {
    shader::ShaderType type = shader::ShaderType::Vertex;
    std::string source;                  // GLSL 330 core, one statement a line
    std::uint32_t constantCount = 0;     // size of the c array (0: none declared)
    std::uint32_t samplers = 0;          // bit n: sN is sampled
};

enum class GlslDialect {
    Core330, // GLSL 330 core (desktop OpenGL 3.3)
    Es300,   // GLSL ES 3.00 (WebGL2): everything highp; vertex input vN is
             // read from "d3d_inputN", swizzled from R, G, B, A bytes when
             // bit N of "uniform int d3d_colourInputs" is set
};

struct GlslOptions {
    GlslDialect dialect = GlslDialect::Core330;
    // For a context without clip control: z in [0, w] mapped to OpenGL's
    // [-w, w] at the end of the vertex program.
    bool remapDepth = false;
};

// The program's GLSL, from its analysis (which the front end made: every
// instruction in it has a translation).
GlslProgram translateProgram(const shader::ProgramAnalysis& program, const GlslOptions& options);

} // namespace gl

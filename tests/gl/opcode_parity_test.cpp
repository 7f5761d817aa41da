// Every executed opcode, run by the shader machine and by its GLSL
// translation on a real context (Mesa's llvmpipe in CI), over a table of
// edge values (±0, denormals, ±infinity, NaN, very large and very small
// values) with the swizzles, modifiers, write masks and _sat the program
// uses. The GL results are captured with transform feedback from oT0.
// They must agree within what each target promises: exactly for moves,
// compares, selects and saturation; within a few ulps for arithmetic (GLSL
// may fuse a multiply-add and flush denormals); within GLSL's stated
// precision for the transcendental instructions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "gl/egl_context.hpp"
#include "gl/gl_api.hpp"
#include "gl/glsl_translator.hpp"
#include "shader/shader_machine.hpp"

namespace {

using Vec4 = std::array<float, 4>;

const float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::numeric_limits<float>::quiet_NaN();

// Edge values; each case takes three of them, rotated, as v0, v1 and v2.
const std::vector<float> Edges = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 3.75f, -2.25f, 1e-40f, -1e-40f, 1e-30f,
                                  1e30f, -1e30f, Inf, -Inf, NaN, 0.3f, 100.0f, -0.001f, 7e-3f, 65504.0f};

struct Case {
    std::string instruction; // the line between the declarations and the move to oT0
    float relativeError;     // allowed |gl - vm| / |vm| (0: equal to the bit, but for denormals and -0)
    bool saturate = false;   // _sat on the instruction (set in the decoded program: vs_2_0 text has none)
};

const std::vector<Case> Cases = {
    {"mov r0, v0", 0}, {"mov r0, -v1.yzwx", 0}, {"mov r0, v0", 0, true}, {"mov r0.xz, v2", 0},
    {"add r0, v0, v1", 1e-6f}, {"sub r0, v0, -v1", 1e-6f}, {"mul r0, v0, v1", 1e-6f},
    {"mad r0, v0, v1, v2", 1e-6f}, {"mad r0.xyw, v0.wzyx, v1, -v2", 1e-6f, true},
    {"min r0, v0, v1", 0}, {"max r0, v0, v1", 0}, {"slt r0, v0, v1", 0}, {"sge r0, v0, v1", 0},
    {"lrp r0, v0, v1, v2", 1e-5f}, {"frc r0, v0", 1e-6f}, {"abs r0, -v0", 0},
    {"rcp r0, v0.x", 3e-7f}, {"rsq r0, v0.y", 3e-7f}, {"exp r0, v0.z", 5e-6f}, {"log r0, v0.w", 5e-6f},
    {"pow r0, v0.x, v1.y", 1e-4f},
    {"dp3 r0, v0, v1", 1e-6f}, {"dp4 r0, v0, v1", 1e-6f}, {"crs r0.xyz, v0, v1", 1e-6f},
    {"nrm r0, v0", 1e-6f},
    {"m4x4 r0, v0, c0", 1e-6f}, {"m4x3 r0.xyz, v0, c0", 1e-6f}, {"m3x4 r0, v0, c0", 1e-6f},
    {"m3x3 r0.xyz, v0, c0", 1e-6f}, {"m3x2 r0.xy, v0, c0", 1e-6f},
};

// Matrix rows for the macros: ordinary values with an edge or two.
const float MatrixRows[16] = {1, 2, 3, 4, -0.5f, 0.25f, 1e-30f, 8, 0, -1, 1e30f, 2, 3, 0.125f, -7, 1};

std::string programText(const Case& c)
{
    return "vs_2_0\ndcl_position v0\ndcl_texcoord0 v1\ndcl_texcoord1 v2\nmov r0, c4\n" + c.instruction +
           "\nmov oT0, r0\nmov oPos, v0\n";
}

// Inputs of case k: three 4-vectors of edge values.
Vec4 input(std::size_t k, int which)
{
    Vec4 v;
    for (int i = 0; i < 4; ++i) {
        v[static_cast<std::size_t>(i)] = Edges[(k + static_cast<std::size_t>(which * 7 + i * 3)) % Edges.size()];
    }
    return v;
}

std::vector<float> constants()
{
    std::vector<float> c(4 * 256, 0.0f);
    std::memcpy(c.data(), MatrixRows, sizeof MatrixRows);
    for (int i = 0; i < 4; ++i) {
        c[16 + i] = 42.0f; // c4: what r0 holds before a masked write
    }
    return c;
}

std::vector<Vec4> runMachine(const shader::ProgramAnalysis& program, std::size_t count, bool flushInputs)
{
    auto machine = std::make_unique<shader::ShaderMachine>();
    const std::vector<float> c = constants();
    machine->constants = c.data();
    std::vector<Vec4> out(count);
    for (std::size_t first = 0; first < count; first += shader::BatchLanes) {
        for (int lane = 0; lane < shader::BatchLanes; ++lane) {
            for (int which = 0; which < 3; ++which) {
                const Vec4 v = input(first + static_cast<std::size_t>(lane), which);
                for (int i = 0; i < 4; ++i) {
                    float x = v[static_cast<std::size_t>(i)];
                    if (flushInputs && std::fpclassify(x) == FP_SUBNORMAL) {
                        x = std::copysign(0.0f, x);
                    }
                    machine->inputs[which].c[i][lane] = x;
                }
            }
        }
        shader::runProgram(program, *machine);
        for (int lane = 0; lane < shader::BatchLanes && first + static_cast<std::size_t>(lane) < count; ++lane) {
            for (int i = 0; i < 4; ++i) {
                out[first + static_cast<std::size_t>(lane)][static_cast<std::size_t>(i)] =
                    machine->texCoordOutputs[0].c[i][lane];
            }
        }
    }
    return out;
}

// The vertex program's oT0 for every case, through transform feedback.
std::vector<Vec4> runOnGl(const std::string& source, std::size_t count)
{
    const GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    const GLuint program = glCreateProgram();
    glAttachShader(program, shader);
    const char* varying = "d3d_texcoord0";
    glTransformFeedbackVaryings(program, 1, &varying, GL_INTERLEAVED_ATTRIBS);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE) << source;
    glUseProgram(program);
    const std::vector<float> c = constants();
    const GLint vc = glGetUniformLocation(program, "vc");
    if (vc >= 0) {
        glUniform4fv(vc, 5, c.data());
    }
    GLuint vertexArray = 0, buffers[4] = {};
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(4, buffers);
    for (GLuint which = 0; which < 3; ++which) {
        std::vector<Vec4> data(count);
        for (std::size_t k = 0; k < count; ++k) {
            data[k] = input(k, static_cast<int>(which));
        }
        glBindBuffer(GL_ARRAY_BUFFER, buffers[which]);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * sizeof(Vec4)), data.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(which, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(which);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, buffers[3]);
    glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, static_cast<GLsizeiptr>(count * sizeof(Vec4)), nullptr, GL_STATIC_READ);
    glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffers[3]);
    // A headless context has no default framebuffer; a draw needs one.
    GLuint framebuffer = 0, colour = 0;
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1, 1);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glEnable(GL_RASTERIZER_DISCARD);
    glBeginTransformFeedback(GL_POINTS);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(count));
    glEndTransformFeedback();
    glDisable(GL_RASTERIZER_DISCARD);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    std::vector<Vec4> out(count);
    glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(Vec4)), out.data());
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteRenderbuffers(1, &colour);
    glDeleteBuffers(4, buffers);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteProgram(program);
    glDeleteShader(shader);
    return out;
}

float flushed(float x)
{
    return std::fpclassify(x) == FP_SUBNORMAL ? 0.0f : x;
}

bool agrees(float gl, float vm, float relativeError)
{
    if (std::isnan(vm) || std::isnan(gl)) {
        return std::isnan(vm) && std::isnan(gl);
    }
    gl = flushed(gl);
    vm = flushed(vm);
    if (std::isinf(vm) || relativeError == 0.0f) {
        return gl == vm; // -0 equals +0
    }
    return std::fabs(gl - vm) <= relativeError * std::fabs(vm) + std::numeric_limits<float>::min();
}

} // namespace

TEST(OpcodeParity, shaderMachineAndGlslAgreeOnEveryExecutedOpcodeOverEdgeValues)
{
    std::string reason;
    auto context = gl::EglContext::create(reason);
    ASSERT_NE(context, nullptr) << reason;
    const std::size_t count = Edges.size() * 4; // every rotation of the table, several times over
    int checked = 0;
    for (const Case& c : Cases) {
        const d3dx::AssemblyResult code = d3dx::assembleShader(programText(c));
        ASSERT_TRUE(code.succeeded) << c.instruction << ": " << code.errors;
        shader::DecodedProgram decoded;
        std::string error;
        ASSERT_TRUE(shader::decodeProgram(code.tokens.data(), code.tokens.size(), decoded, error)) << error;
        if (c.saturate) {
            decoded.instructions[decoded.instructions.size() - 3].destination.resultModifier = shader::ResultSaturate;
        }
        shader::ProgramAnalysis program;
        ASSERT_EQ(shader::analyzeProgram(decoded, program, error), shader::ProgramFault::None) << error;
        const gl::GlslProgram glsl = gl::translateProgram(program, {});
        const std::vector<Vec4> exact = runMachine(program, count, false);
        const std::vector<Vec4> withFlush = runMachine(program, count, true);
        const std::vector<Vec4> gpu = runOnGl(glsl.source, count);
        int mismatches = 0;
        for (std::size_t k = 0; k < count; ++k) {
            for (std::size_t i = 0; i < 4; ++i) {
                if (agrees(gpu[k][i], exact[k][i], c.relativeError) ||
                    agrees(gpu[k][i], withFlush[k][i], c.relativeError)) {
                    continue;
                }
                if (++mismatches <= 3) {
                    ADD_FAILURE() << c.instruction << " case " << k << " component " << i << ": machine "
                                  << exact[k][i] << ", GLSL " << gpu[k][i];
                }
            }
        }
        checked += static_cast<int>(count) * 4;
    }
    EXPECT_EQ(checked, static_cast<int>(Cases.size() * count * 4));
}

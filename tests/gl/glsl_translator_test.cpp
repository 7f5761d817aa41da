// The GLSL made from the demo's own assembled programs: it compiles and
// links on a real OpenGL 3.3 core context, and the reference GLSL
// validator accepts it; the text keeps the software device's conventions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "d3dx/assembler.hpp"
#include "data/shader_programs.hpp"
#include "gl/egl_context.hpp"
#include "gl/gl_api.hpp"
#include "gl/glsl_translator.hpp"

namespace {

gl::GlslProgram translated(const char* text, std::size_t length, const gl::GlslOptions& options = {})
{
    const d3dx::AssemblyResult code = d3dx::assembleShader(std::string(text, length));
    EXPECT_TRUE(code.succeeded) << code.errors;
    shader::ProgramAnalysis program;
    std::string error;
    EXPECT_TRUE(shader::analyzeTokens(code.tokens.data(), code.tokens.size(), program, error)) << error;
    return gl::translateProgram(program, options);
}

GLuint compile(GLenum stage, const std::string& source)
{
    const GLuint name = glCreateShader(stage);
    const char* text = source.c_str();
    glShaderSource(name, 1, &text, nullptr);
    glCompileShader(name);
    GLint ok = GL_FALSE;
    glGetShaderiv(name, GL_COMPILE_STATUS, &ok);
    char log[4096] = {};
    glGetShaderInfoLog(name, sizeof log, nullptr, log);
    EXPECT_EQ(ok, GL_TRUE) << log << "\n" << source;
    return name;
}

} // namespace

TEST(GlslTranslator, demoProgramsCompileLinkAndValidate)
{
    const gl::GlslProgram vs = translated(vertexShaderText, sizeof vertexShaderText - 1);
    const gl::GlslProgram ps = translated(pixelShaderText, sizeof pixelShaderText - 1);
    // The vertex program's inputs at their v numbers' locations.
    EXPECT_NE(vs.source.find("layout(location = 4) in vec4 v4;"), std::string::npos);
    // c14 is read, c15 and c33 are defs inlined as literals.
    EXPECT_EQ(vs.constantCount, 15u);
    EXPECT_NE(vs.source.find("vec4 d33 = "), std::string::npos);
    EXPECT_EQ(ps.samplers, 1u);
    EXPECT_EQ(ps.constantCount, 0u); // c4 and c5 are both defs

    std::string reason;
    auto context = gl::EglContext::create(reason);
    ASSERT_NE(context, nullptr) << reason;
    const GLuint v = compile(GL_VERTEX_SHADER, vs.source);
    const GLuint f = compile(GL_FRAGMENT_SHADER, ps.source);
    const GLuint program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE);
    glDeleteProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);

    const std::string base = std::string(GL_TEST_DIR) + "/demo";
    std::ofstream(base + ".vert") << vs.source;
    std::ofstream(base + ".frag") << ps.source;
    const std::string command = std::string(GLSLANG_VALIDATOR) + " " + base + ".vert " + base + ".frag";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// The browser's dialect: the reference validator holds it to GLSL ES 3.00's
// stricter rules (precision, constant global initialisers) and links the
// pair; the colour input is swizzled from the bytes WebGL2 reads.
TEST(GlslTranslator, demoProgramsValidateAsGlslEs)
{
    gl::GlslOptions options;
    options.dialect = gl::GlslDialect::Es300;
    options.remapDepth = true; // WebGL2 has no clip control
    const gl::GlslProgram vs = translated(vertexShaderText, sizeof vertexShaderText - 1, options);
    const gl::GlslProgram ps = translated(pixelShaderText, sizeof pixelShaderText - 1, options);
    EXPECT_EQ(vs.source.rfind("#version 300 es\n", 0), 0u);
    EXPECT_NE(vs.source.find("vec4 v3 = (d3d_colourInputs & 8) != 0 ? d3d_input3.zyxw : d3d_input3;"),
              std::string::npos)
        << vs.source;
    EXPECT_NE(vs.source.find("oPos.z = 2.0 * oPos.z - oPos.w;"), std::string::npos);
    EXPECT_NE(ps.source.find("precision highp float;"), std::string::npos);

    const std::string base = std::string(GL_TEST_DIR) + "/demo-es";
    std::ofstream(base + ".vert") << vs.source;
    std::ofstream(base + ".frag") << ps.source;
    const std::string command = std::string(GLSLANG_VALIDATOR) + " -l " + base + ".vert " + base + ".frag";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}


#include "gl/gl_programs.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "d3d9/draw_state.hpp"
#include "com/assertion.hpp"

namespace gl {
namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// The info log, one report line per log line, each with the GLSL line it
// names where the log gives one ("0:LINE(COL)").
void reportLog(const std::string& what, const std::string& log, const std::string& source, const MessageSink& report)
{
    const std::vector<std::string> lines = splitLines(source);
    for (const std::string& entry : splitLines(log)) {
        if (entry.empty() || entry[0] == '\0') {
            continue;
        }
        std::string line = "gl device: " + what + ": " + entry;
        unsigned file = 0, number = 0;
        if (std::sscanf(entry.c_str(), "%u:%u", &file, &number) == 2 && number >= 1 && number <= lines.size()) {
            line += " [GLSL line " + std::to_string(number) + ": " + lines[number - 1] + "]";
        }
        report(line);
    }
}

template <typename GetLength, typename GetLog>
std::string infoLog(GLuint name, GetLength getLength, GetLog getLog)
{
    GLint length = 0;
    getLength(name, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(std::max(length, 1)), '\0');
    getLog(name, length, nullptr, log.data());
    return log.c_str();
}

} // namespace

GlProgram::~GlProgram()
{
    if (name != 0 && life.current()) {
        glDeleteShader(name);
    }
}

ProgramCache::~ProgramCache()
{
    for (auto& entry : linked_) {
        if (entry.second.name != 0 && life_.current()) {
            glDeleteProgram(entry.second.name);
        }
    }
}

std::unique_ptr<GlProgram> ProgramCache::compile(const d3d9::ProgramContents& shader)
{
    auto copy = std::make_unique<GlProgram>();
    copy->serial = ++serials_;
    GlslOptions options;
    options.remapDepth = remapDepth_;
#ifdef DEMO_GL_ES
    options.dialect = GlslDialect::Es300;
#endif
    copy->glsl = translateProgram(shader.analysis(), options);
    const bool vertex = shader.type() == shader::ShaderType::Vertex;
    GLuint name = glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* text = copy->glsl.source.c_str();
    glShaderSource(name, 1, &text, nullptr);
    glCompileShader(name);
    GLint compiled = GL_FALSE;
    glGetShaderiv(name, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        reportLog(vertex ? "vertex program" : "pixel program", infoLog(name, glGetShaderiv, glGetShaderInfoLog),
                  copy->glsl.source, report_);
        glDeleteShader(name);
        name = 0; // the object is made; its draws fail
    }
    copy->name = name;
    return copy;
}

LinkedProgram& ProgramCache::link(const GlProgram& vertex, const GlProgram& pixel)
{
    const auto key = std::make_pair(vertex.serial, pixel.serial);
    const auto found = linked_.find(key);
    if (found != linked_.end()) {
        return found->second;
    }
    LinkedProgram& linked = linked_[key];
    if (vertex.name == 0 || pixel.name == 0) {
        return linked; // compile errors were reported when the programs were made
    }
    const GLuint name = glCreateProgram();
    glAttachShader(name, vertex.name);
    glAttachShader(name, pixel.name);
    glLinkProgram(name);
    GLint ok = GL_FALSE;
    glGetProgramiv(name, GL_LINK_STATUS, &ok);
    glDetachShader(name, vertex.name);
    glDetachShader(name, pixel.name);
    if (ok != GL_TRUE) {
        reportLog("linking", infoLog(name, glGetProgramiv, glGetProgramInfoLog), "", report_);
        glDeleteProgram(name);
        return linked;
    }
    linked.name = name;
    glUseProgram(name);
    linked.vertexConstants = glGetUniformLocation(name, "vc");
    linked.pixelConstants = glGetUniformLocation(name, "pc");
    linked.pixelShift = glGetUniformLocation(name, "d3d_pixelShift");
    linked.colourInputs = glGetUniformLocation(name, "d3d_colourInputs");
    for (std::uint32_t s = 0; s < d3d9::SamplerCount; ++s) {
        const GLint at = glGetUniformLocation(name, ("s" + std::to_string(s)).c_str());
        if (at >= 0) {
            glUniform1i(at, static_cast<GLint>(s));
        }
    }
    return linked;
}

const GlProgram& programOf(const d3d9::ProgramContents& shader)
{
    const auto* copy = static_cast<const GlProgram*>(shader.copy());
    PLATFORM_ASSERT(copy != nullptr);
    return *copy;
}

} // namespace gl

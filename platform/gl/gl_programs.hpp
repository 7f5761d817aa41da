// The GL back end's programs: each vertex or pixel program translated to
// GLSL and compiled once, when it is made; each pair linked once, when it
// is first drawn with, and kept in a cache with its uniform locations.
// A program whose GLSL does not compile or link is reported (one line per
// log line, naming the GLSL line) and its draws fail. Needs the back end's
// context current.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "d3d9/backend.hpp"
#include "gl/gl_api.hpp"
#include "gl/glsl_translator.hpp"

namespace gl {

using MessageSink = std::function<void(const std::string&)>;

// A translated, compiled program (name 0 when compiling failed).
struct GlProgram final : d3d9::DeviceCopy {
    ~GlProgram() override;
    GlslProgram glsl;
    ContextLife life;
    GLuint name = 0;
    std::uint64_t serial = 0; // names the program in the link cache
};

struct LinkedProgram {
    GLuint name = 0; // 0: linking failed (reported once)
    GLint vertexConstants = -1;
    GLint pixelConstants = -1;
    GLint pixelShift = -1;
    GLint colourInputs = -1; // OpenGL ES: which inputs the program swizzles from R, G, B, A
};

class ProgramCache {
public:
    ProgramCache(bool remapDepth, MessageSink report) : remapDepth_(remapDepth), report_(std::move(report)) {}
    ~ProgramCache();
    ProgramCache(const ProgramCache&) = delete;
    ProgramCache& operator=(const ProgramCache&) = delete;

    std::unique_ptr<GlProgram> compile(const d3d9::ProgramContents& shader);
    // The linked pair; its name is 0 when it could not be made.
    LinkedProgram& link(const GlProgram& vertex, const GlProgram& pixel);

private:
    ContextLife life_;
    bool remapDepth_;
    MessageSink report_;
    std::uint64_t serials_ = 0;
    std::map<std::pair<std::uint64_t, std::uint64_t>, LinkedProgram> linked_;
};

const GlProgram& programOf(const d3d9::ProgramContents& shader);

} // namespace gl

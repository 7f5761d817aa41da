// The translation: one GLSL statement per instruction, each source a vec4
// expression (register, swizzle, modifier), each result stored through the
// write mask, saturated first when asked. Helpers at the top of every
// program give rcp, rsq, log, pow, min, max and _sat the software device's
// exact answers for 0, infinities and NaN, which GLSL leaves undefined.
#include "gl/glsl_translator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "com/assertion.hpp"

namespace gl {
namespace {

using shader::DecodedInstruction;
using shader::Opcode;
using shader::RegisterType;
using shader::SourceParameter;

// GLSL ES wants constant global initialisers, which a bit cast is not
// there: infinity is spelt as a macro.
const char* const InfinityCore = "float d3d_inf = uintBitsToFloat(0x7F800000u);\n";
const char* const InfinityEs = "#define d3d_inf uintBitsToFloat(0x7F800000u)\n";
const char* const Helpers =
    "vec4 d3d_sat(vec4 v) { return mix(vec4(0.0), min(v, vec4(1.0)), greaterThan(v, vec4(0.0))); }\n"
    // Selects through the bits: a compiler may turn a float select of the
    // compared values into its own min or max, which treats NaN otherwise.
    "vec4 d3d_pick(bvec4 first, vec4 a, vec4 b) {\n"
    "    uvec4 m = uvec4(first) * 0xFFFFFFFFu;\n"
    "    return uintBitsToFloat((floatBitsToUint(a) & m) | (floatBitsToUint(b) & ~m));\n"
    "}\n"
    "vec4 d3d_min(vec4 a, vec4 b) { return d3d_pick(lessThan(a, b), a, b); }\n"
    "vec4 d3d_max(vec4 a, vec4 b) { return d3d_pick(greaterThanEqual(a, b), a, b); }\n"
    "float d3d_rcp(float x) { return x == 0.0 ? d3d_inf : 1.0 / x; }\n"
    "float d3d_rsq(float x) { float a = abs(x); return a == 0.0 ? d3d_inf : 1.0 / sqrt(a); }\n"
    "float d3d_log(float x) { return x == 0.0 ? -d3d_inf : log2(abs(x)); }\n"
    "float d3d_pow(float x, float y) {\n"
    "    float a = abs(x);\n"
    "    if (y == 0.0 || a == 1.0) return 1.0;\n"
    "    if (isnan(a) || isnan(y)) return a + y;\n"
    "    if (a == 0.0) return y > 0.0 ? 0.0 : d3d_inf;\n"
    "    return pow(a, y);\n"
    "}\n";

std::string floatLiteral(float v)
{
    if (!std::isfinite(v)) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        char text[48];
        std::snprintf(text, sizeof text, "uintBitsToFloat(0x%08Xu)", bits);
        return text;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v)); // nine digits give back the same float
    std::string s = text;
    if (s.find_first_of(".eEn") == std::string::npos) {
        s += ".0";
    }
    return s;
}

class Translator {
public:
    Translator(const shader::ProgramAnalysis& program, const GlslOptions& options)
        : program_(program), options_(options), pixel_(program.type == shader::ShaderType::Pixel)
    {
        for (const std::uint32_t n : program.constantsRead) {
            if (shader::definitionOf(program, n) == nullptr) {
                constantCount_ = std::max(constantCount_, n + 1);
            }
        }
    }

    GlslProgram run()
    {
        GlslProgram out;
        out.type = program_.type;
        std::ostringstream body;
        for (const shader::ExecutedInstruction& step : program_.instructions) {
            emit(step, body);
        }
        out.constantCount = constantCount_;
        out.samplers = program_.samplersRead;
        out.source = header() + body.str() + footer();
        return out;
    }

private:
    bool undeclared(RegisterType type, std::uint32_t n) const
    {
        return std::any_of(program_.undeclaredInputsRead.begin(), program_.undeclaredInputsRead.end(),
                           [&](const shader::RegisterComponents& r) { return r.type == type && r.number == n; });
    }

    std::string registerName(RegisterType type, std::uint32_t n) const
    {
        if (shader::isInputRegister(type) && undeclared(type, n)) {
            return "vec4(0.0)"; // read, never declared
        }
        switch (type) {
        case RegisterType::Temp: return "r" + std::to_string(n);
        case RegisterType::Input: return pixel_ ? "d3d_color" + std::to_string(n) : "v" + std::to_string(n);
        case RegisterType::Texture: return "d3d_texcoord" + std::to_string(n);
        case RegisterType::Const:
            return shader::definitionOf(program_, n) != nullptr ? "d" + std::to_string(n)
                                                                 : std::string(pixel_ ? "pc[" : "vc[") + std::to_string(n) + "]";
        case RegisterType::RastOut: return "oPos";
        case RegisterType::AttrOut: return "oD" + std::to_string(n);
        case RegisterType::TexCoordOut: return "oT" + std::to_string(n);
        default: return "oC0";
        }
    }

    // The source as a vec4 expression; row reads a later register (matrix rows).
    std::string source(const SourceParameter& s, std::uint32_t row = 0) const
    {
        std::string text = registerName(s.type, s.number + row);
        if (s.swizzle != shader::IdentitySwizzle) {
            text += '.';
            for (int i = 0; i < 4; ++i) {
                text += "xyzw"[shader::swizzleComponent(s.swizzle, i)];
            }
        }
        switch (s.modifier) {
        case shader::SourceModifier::Negate: return "(-" + text + ")";
        case shader::SourceModifier::Abs: return "abs(" + text + ")";
        case shader::SourceModifier::AbsNegate: return "(-abs(" + text + "))";
        default: return text;
        }
    }

    // The operation of a componentwise or replicated-scalar instruction.
    std::string operation(const DecodedInstruction& in) const
    {
        auto src = [&](int i) { return source(in.sources[i]); };
        switch (in.info->opcode) {
        case Opcode::Mov: return src(0);
        case Opcode::Add: return src(0) + " + " + src(1);
        case Opcode::Sub: return src(0) + " - " + src(1);
        case Opcode::Mul: return src(0) + " * " + src(1);
        case Opcode::Mad: return src(0) + " * " + src(1) + " + " + src(2);
        case Opcode::Min: return "d3d_min(" + src(0) + ", " + src(1) + ")";
        case Opcode::Max: return "d3d_max(" + src(0) + ", " + src(1) + ")";
        case Opcode::Slt: return "vec4(lessThan(" + src(0) + ", " + src(1) + "))";
        case Opcode::Sge: return "vec4(greaterThanEqual(" + src(0) + ", " + src(1) + "))";
        case Opcode::Lrp: return src(0) + " * (" + src(1) + " - " + src(2) + ") + " + src(2);
        case Opcode::Frc: return "(" + src(0) + " - floor(" + src(0) + "))";
        case Opcode::Abs: return "abs(" + src(0) + ")";
        case Opcode::Rcp: return "vec4(d3d_rcp(" + src(0) + ".w))";
        case Opcode::Rsq: return "vec4(d3d_rsq(" + src(0) + ".w))";
        case Opcode::Exp: return "vec4(exp2(" + src(0) + ".w))";
        case Opcode::Log: return "vec4(d3d_log(" + src(0) + ".w))";
        case Opcode::Pow: return "vec4(d3d_pow(" + src(0) + ".w, " + src(1) + ".w))";
        default: PLATFORM_ASSERT(!"an opcode the execution table does not shape"); return {};
        }
    }

    // Component r of a matrix macro: the vector dotted with row register r.
    std::string matrixProduct(const DecodedInstruction& in, const shader::ExecutionRule& rule) const
    {
        const std::string suffix = rule.columns == 4 ? "" : ".xyz";
        std::string value = "vec4(";
        for (int r = 0; r < 4; ++r) {
            value += r > 0 ? ", " : "";
            value += r < rule.rows ? "dot(" + source(in.sources[0]) + suffix + ", " +
                                         source(in.sources[1], static_cast<std::uint32_t>(r)) + suffix + ")"
                                   : "0.0";
        }
        return value + ")";
    }

    void emit(const shader::ExecutedInstruction& step, std::ostringstream& body)
    {
        using shader::ResultShape;
        const DecodedInstruction& in = step.instruction;
        const shader::ExecutionRule& rule = *step.rule;
        const std::uint8_t mask = step.liveMask; // the instruction's whole write mask
        auto src = [&](int i) { return source(in.sources[i]); };
        std::string value;
        switch (rule.shape) {
        case ResultShape::Componentwise:
        case ResultShape::ReplicatedScalar: value = operation(in); break;
        case ResultShape::Dot:
            value = rule.columns == 4 ? "vec4(dot(" + src(0) + ", " + src(1) + "))"
                                      : "vec4(dot(" + src(0) + ".xyz, " + src(1) + ".xyz))";
            break;
        case ResultShape::MatrixRows: value = matrixProduct(in, rule); break;
        case ResultShape::Cross: value = "vec4(cross(" + src(0) + ".xyz, " + src(1) + ".xyz), 0.0)"; break;
        case ResultShape::Normalize:
            value = src(0) + " * d3d_rsq(dot(" + src(0) + ".xyz, " + src(0) + ".xyz))";
            break;
        case ResultShape::TextureSample:
            value = "texture(s" + std::to_string(in.sources[1].number) + ", " + src(0) + ".xy)";
            break;
        }
        if ((in.destination.resultModifier & shader::ResultSaturate) != 0) {
            value = "d3d_sat(" + value + ")";
        }
        const std::string to = registerName(in.destination.type, in.destination.number);
        if (mask == shader::WriteAll) {
            body << "    " << to << " = " << value << ";\n";
        } else if (mask != 0) {
            std::string components;
            for (int i = 0; i < 4; ++i) {
                if ((mask & (1 << i)) != 0) {
                    components += "xyzw"[i];
                }
            }
            body << "    " << to << "." << components << " = (" << value << ")." << components << ";\n";
        }
    }

    std::string header() const
    {
        std::ostringstream h;
        declareGlobals(h);
        if (pixel_) {
            declarePixelInterface(h);
        } else {
            declareVertexInterface(h);
        }
        h << "void main()\n{\n";
        declareLocals(h);
        return h.str();
    }

    // The version, the helpers, the constants' uniforms and the samplers.
    void declareGlobals(std::ostringstream& h) const
    {
        if (es()) {
            h << "#version 300 es\n";
            h << "precision highp float;\nprecision highp int;\nprecision highp sampler2D;\n";
        } else {
            h << "#version 330 core\n";
        }
        h << (es() ? InfinityEs : InfinityCore) << Helpers;
        if (!es()) {
            definitions(h, "");
        }
        if (constantCount_ > 0) {
            h << "uniform vec4 " << (pixel_ ? "pc[" : "vc[") << constantCount_ << "];\n";
        }
        for (int s = 0; s < shader::SamplerRegisters; ++s) {
            if ((program_.samplersRead & (1u << s)) != 0) {
                h << "uniform sampler2D s" << s << ";\n";
            }
        }
    }

    // Every varying is declared, so that any vertex program links.
    static void declarePixelInterface(std::ostringstream& h)
    {
        for (int n = 0; n < shader::ColourOutputs; ++n) {
            h << "in vec4 d3d_color" << n << ";\n";
        }
        for (int n = 0; n < shader::TexCoordOutputs; ++n) {
            h << "in vec4 d3d_texcoord" << n << ";\n";
        }
        h << "layout(location = 0) out vec4 d3d_fragColor;\n";
    }

    void declareVertexInterface(std::ostringstream& h) const
    {
        for (const shader::DeclaredInput& input : program_.inputs) {
            h << "layout(location = " << input.number << ") in vec4 " << (es() ? "d3d_input" : "v") << input.number
              << ";\n";
        }
        if (es() && !program_.inputs.empty()) {
            h << "uniform int d3d_colourInputs;\n";
        }
        h << "uniform vec2 d3d_pixelShift;\n";
        for (int n = 0; n < shader::ColourOutputs; ++n) {
            h << "out vec4 d3d_color" << n << ";\n";
        }
        for (int n = 0; n < shader::TexCoordOutputs; ++n) {
            h << "out vec4 d3d_texcoord" << n << ";\n";
        }
    }

    // main's registers: defs (locals in GLSL ES, whose globals need constant
    // initialisers), temporaries, outputs and, in GLSL ES, the inputs with
    // their colour swizzle.
    void declareLocals(std::ostringstream& h) const
    {
        if (es()) {
            definitions(h, "    ");
        }
        for (std::uint32_t n = 0; n < program_.temporaryCount; ++n) {
            h << "    vec4 r" << n << " = vec4(0.0);\n";
        }
        if (pixel_) {
            h << "    vec4 oC0 = vec4(0.0);\n";
            return;
        }
        if (es()) {
            for (const shader::DeclaredInput& input : program_.inputs) {
                const std::uint32_t n = input.number;
                h << "    vec4 v" << n << " = (d3d_colourInputs & " << (1u << n) << ") != 0 ? d3d_input" << n
                  << ".zyxw : d3d_input" << n << ";\n";
            }
        }
        h << "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n";
        for (int n = 0; n < shader::ColourOutputs; ++n) {
            h << "    vec4 oD" << n << " = vec4(0.0, 0.0, 0.0, 1.0);\n";
        }
        for (int n = 0; n < shader::TexCoordOutputs; ++n) {
            h << "    vec4 oT" << n << " = vec4(0.0, 0.0, 0.0, 1.0);\n";
        }
    }

    std::string footer() const
    {
        std::ostringstream f;
        if (pixel_) {
            f << "    d3d_fragColor = oC0;\n";
        } else {
            for (int n = 0; n < shader::ColourOutputs; ++n) {
                f << "    d3d_color" << n << " = clamp(oD" << n << ", 0.0, 1.0);\n";
            }
            for (int n = 0; n < shader::TexCoordOutputs; ++n) {
                f << "    d3d_texcoord" << n << " = oT" << n << ";\n";
            }
            f << "    oPos.xy += d3d_pixelShift * oPos.w;\n";
            if (options_.remapDepth) {
                f << "    oPos.z = 2.0 * oPos.z - oPos.w;\n";
            }
            f << "    gl_Position = oPos;\n";
        }
        f << "}\n";
        return f.str();
    }

    bool es() const { return options_.dialect == GlslDialect::Es300; }

    // def values: not const, as a non-finite literal is a function call.
    void definitions(std::ostringstream& h, const char* indent) const
    {
        for (const shader::Definition& d : sortedDefinitions()) {
            const std::array<float, 4>& v = d.values;
            h << indent << "vec4 d" << d.number << " = vec4(" << floatLiteral(v[0]) << ", " << floatLiteral(v[1])
              << ", " << floatLiteral(v[2]) << ", " << floatLiteral(v[3]) << ");\n";
        }
    }

    // One def a register, the last one written standing, in register order.
    std::vector<shader::Definition> sortedDefinitions() const
    {
        std::vector<shader::Definition> sorted;
        for (const shader::Definition& d : program_.definitions) {
            const shader::Definition* standing = shader::definitionOf(program_, d.number);
            if (standing == &d) {
                sorted.push_back(d);
            }
        }
        std::sort(sorted.begin(), sorted.end(),
                  [](const shader::Definition& a, const shader::Definition& b) { return a.number < b.number; });
        return sorted;
    }

    const shader::ProgramAnalysis& program_;
    GlslOptions options_;
    bool pixel_;
    std::uint32_t constantCount_ = 0;
};

} // namespace

GlslProgram translateProgram(const shader::ProgramAnalysis& program, const GlslOptions& options)
{
    return Translator(program, options).run();
}

} // namespace gl

#include "shader/shader_machine.hpp"

#include <cmath>
#include <cstring>
#include <iterator>

#include "com/assertion.hpp"
#include "shader/opcode_table.hpp"

namespace shader {
namespace {

float applyModifier(float v, SourceModifier modifier)
{
    switch (modifier) {
    case SourceModifier::Negate: return -v;
    case SourceModifier::Abs: return std::fabs(v);
    case SourceModifier::AbsNegate: return -std::fabs(v);
    default: return v;
    }
}

// Register n of a file: the analysis checked every number a program
// reaches, so one outside is the platform's own fault.
template <typename File>
auto* registerIn(File& file, std::uint32_t n)
{
    PLATFORM_ASSERT(n < std::size(file));
    return &file[n];
}

const Register* readableRegister(const ShaderMachine& m, RegisterType type, std::uint32_t n, bool pixel)
{
    switch (type) {
    case RegisterType::Temp: return registerIn(m.temps, n);
    case RegisterType::Input: return registerIn(m.inputs, n);
    case RegisterType::Texture: return pixel ? registerIn(m.textureInputs, n) : nullptr; // a0 is not supported
    default: return nullptr;
    }
}

Register* writableRegister(ShaderMachine& m, const DestinationParameter& d, bool pixel)
{
    switch (d.type) {
    case RegisterType::Temp: return registerIn(m.temps, d.number);
    case RegisterType::RastOut: return d.number == 0 ? &m.position : nullptr;
    case RegisterType::AttrOut: return registerIn(m.colorOutputs, d.number);
    case RegisterType::TexCoordOut: return pixel ? nullptr : registerIn(m.texCoordOutputs, d.number);
    case RegisterType::ColorOut: return registerIn(m.pixelColors, d.number);
    default: return nullptr;
    }
}

template <typename Modify>
void copyComponents(const Register& r, std::uint8_t swizzle, Register& out, Modify modify)
{
    for (int i = 0; i < 4; ++i) {
        const float* from = r.c[swizzleComponent(swizzle, i)];
        for (int l = 0; l < BatchLanes; ++l) {
            out.c[i][l] = modify(from[l]);
        }
    }
}

// The source's value, swizzled and modified; `row` reads a later register
// of the same kind (the rows of a matrix macro).
void fetch(const ShaderMachine& m, const SourceParameter& s, std::uint32_t row, bool pixel, Register& out)
{
    const std::uint32_t n = s.number + row;
    if (s.type == RegisterType::Const) {
        PLATFORM_ASSERT(n < 256); // and below 32 in a pixel program: the analysis checked every row
        const float* c = m.constants + 4 * n;
        for (int i = 0; i < 4; ++i) {
            const float v = applyModifier(c[swizzleComponent(s.swizzle, i)], s.modifier);
            std::fill(out.c[i], out.c[i] + BatchLanes, v);
        }
        return;
    }
    const Register& r = *readableRegister(m, s.type, n, pixel);
    switch (s.modifier) {
    case SourceModifier::None: copyComponents(r, s.swizzle, out, [](float v) { return v; }); break;
    case SourceModifier::Negate: copyComponents(r, s.swizzle, out, [](float v) { return -v; }); break;
    case SourceModifier::Abs: copyComponents(r, s.swizzle, out, [](float v) { return std::fabs(v); }); break;
    default: copyComponents(r, s.swizzle, out, [](float v) { return -std::fabs(v); }); break;
    }
}

// The source as a register: the register itself when it is read as it
// stands, else its swizzled or modified value in scratch.
const Register& source(const ShaderMachine& m, const SourceParameter& s, bool pixel, Register& scratch)
{
    if (s.type != RegisterType::Const && s.swizzle == IdentitySwizzle &&
        s.modifier == SourceModifier::None) {
        return *readableRegister(m, s.type, s.number, pixel);
    }
    fetch(m, s, 0, pixel, scratch);
    return scratch;
}

float saturate(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; // NaN fails both tests: 0
}

void store(Register& to, const Register& value, std::uint8_t mask, bool saturated)
{
    for (int i = 0; i < 4; ++i) {
        if ((mask & (1 << i)) == 0) {
            continue;
        }
        for (int l = 0; l < BatchLanes; ++l) {
            to.c[i][l] = saturated ? saturate(value.c[i][l]) : value.c[i][l];
        }
    }
}

template <typename Op>
void perComponent(Register& r, const Register& a, const Register& b, Op op)
{
    for (int i = 0; i < 4; ++i) {
        for (int l = 0; l < BatchLanes; ++l) {
            r.c[i][l] = op(a.c[i][l], b.c[i][l]);
        }
    }
}

// A scalar of the w component, replicated.
template <typename Op>
void replicateScalar(Register& r, const Register& a, Op op)
{
    for (int l = 0; l < BatchLanes; ++l) {
        const float v = op(a.c[3][l]);
        for (int i = 0; i < 4; ++i) {
            r.c[i][l] = v;
        }
    }
}

void dot(Register& r, const Register& a, const Register& b, int components, int intoComponent)
{
    for (int l = 0; l < BatchLanes; ++l) {
        float sum = a.c[0][l] * b.c[0][l];
        for (int i = 1; i < components; ++i) {
            sum += a.c[i][l] * b.c[i][l];
        }
        if (intoComponent < 0) {
            for (int i = 0; i < 4; ++i) {
                r.c[i][l] = sum;
            }
        } else {
            r.c[intoComponent][l] = sum;
        }
    }
}

float reciprocalSquareRoot(float v)
{
    const float a = std::fabs(v);
    return a == 0.0f ? INFINITY : 1.0f / std::sqrt(a);
}

// Point sampling with wrap addressing: texel floor(u * width), wrapped.
std::int32_t wrapTexel(float coordinate, std::int32_t size)
{
    const float scaled = std::floor(coordinate * static_cast<float>(size));
    if (!(std::fabs(scaled) < 1.0e9f)) {
        return 0; // NaN and huge coordinates: any texel is as good
    }
    const std::int64_t i = static_cast<std::int64_t>(scaled) % size;
    return static_cast<std::int32_t>(i < 0 ? i + size : i);
}

void sampleTexture(Register& r, const Register& coordinates, const SamplerTexture& texture)
{
    for (int l = 0; l < BatchLanes; ++l) {
        if (texture.texels == nullptr || texture.width <= 0 || texture.height <= 0) {
            r.c[0][l] = r.c[1][l] = r.c[2][l] = 0.0f;
            r.c[3][l] = 1.0f;
            continue;
        }
        const std::int32_t x = wrapTexel(coordinates.c[0][l], texture.width);
        const std::int32_t y = wrapTexel(coordinates.c[1][l], texture.height);
        const std::uint32_t texel = texture.texels[static_cast<std::size_t>(y) * texture.pitch + x];
        r.c[0][l] = static_cast<float>((texel >> 16) & 0xFF) / 255.0f;
        r.c[1][l] = static_cast<float>((texel >> 8) & 0xFF) / 255.0f;
        r.c[2][l] = static_cast<float>(texel & 0xFF) / 255.0f;
        r.c[3][l] = static_cast<float>(texel >> 24) / 255.0f;
    }
}

// Matrix macros: rows dot products of the vector with consecutive registers.
void matrixProduct(const ShaderMachine& m, const DecodedInstruction& in, const ExecutionRule& rule,
                   bool pixel, Register& result, Register& a, Register& row)
{
    fetch(m, in.sources[0], 0, pixel, a);
    for (int r = 0; r < rule.rows; ++r) {
        fetch(m, in.sources[1], static_cast<std::uint32_t>(r), pixel, row);
        dot(result, a, row, rule.columns, r);
    }
}

// Componentwise and replicated-scalar instructions: the operation itself.
void computeByOpcode(Opcode op, const Register& a, const Register& b, const Register& c, Register& result)
{
    switch (op) {
    case Opcode::Mov: result = a; break;
    case Opcode::Add: perComponent(result, a, b, [](float x, float y) { return x + y; }); break;
    case Opcode::Sub: perComponent(result, a, b, [](float x, float y) { return x - y; }); break;
    case Opcode::Mul: perComponent(result, a, b, [](float x, float y) { return x * y; }); break;
    case Opcode::Mad:
        perComponent(result, a, b, [](float x, float y) { return x * y; });
        perComponent(result, result, c, [](float x, float y) { return x + y; });
        break;
    case Opcode::Min: perComponent(result, a, b, [](float x, float y) { return x < y ? x : y; }); break;
    case Opcode::Max: perComponent(result, a, b, [](float x, float y) { return x >= y ? x : y; }); break;
    case Opcode::Slt: perComponent(result, a, b, [](float x, float y) { return x < y ? 1.0f : 0.0f; }); break;
    case Opcode::Sge: perComponent(result, a, b, [](float x, float y) { return x >= y ? 1.0f : 0.0f; }); break;
    case Opcode::Lrp:
        for (int i = 0; i < 4; ++i) {
            for (int l = 0; l < BatchLanes; ++l) {
                result.c[i][l] = a.c[i][l] * (b.c[i][l] - c.c[i][l]) + c.c[i][l];
            }
        }
        break;
    case Opcode::Frc: perComponent(result, a, a, [](float x, float) { return x - std::floor(x); }); break;
    case Opcode::Abs: perComponent(result, a, a, [](float x, float) { return std::fabs(x); }); break;
    case Opcode::Rcp: replicateScalar(result, a, [](float x) { return x == 0.0f ? INFINITY : 1.0f / x; }); break;
    case Opcode::Rsq: replicateScalar(result, a, reciprocalSquareRoot); break;
    case Opcode::Exp: replicateScalar(result, a, [](float x) { return std::exp2(x); }); break;
    case Opcode::Log:
        replicateScalar(result, a, [](float x) { return x == 0.0f ? -INFINITY : std::log2(std::fabs(x)); });
        break;
    case Opcode::Pow:
        for (int l = 0; l < BatchLanes; ++l) {
            const float v = std::pow(std::fabs(a.c[3][l]), b.c[3][l]);
            result.c[0][l] = result.c[1][l] = result.c[2][l] = result.c[3][l] = v;
        }
        break;
    default: PLATFORM_ASSERT(!"an opcode the execution table does not shape");
    }
}

void execute(ShaderMachine& m, const DecodedInstruction& in, const ExecutionRule& rule, bool pixel)
{
    Register scratchA, scratchB, scratchC, result;
    const Opcode op = in.info->opcode;
    const int sources = in.sourceCount;
    const bool plain = rule.shape != ResultShape::MatrixRows;
    const Register& a = plain && sources > 0 ? source(m, in.sources[0], pixel, scratchA) : scratchA;
    const Register& b = plain && sources > 1 && op != Opcode::Texld ? source(m, in.sources[1], pixel, scratchB)
                                                                     : scratchB;
    const Register& c = plain && sources > 2 ? source(m, in.sources[2], pixel, scratchC) : scratchC;
    switch (rule.shape) {
    case ResultShape::Componentwise:
    case ResultShape::ReplicatedScalar: computeByOpcode(op, a, b, c, result); break;
    case ResultShape::Dot: dot(result, a, b, rule.columns, -1); break;
    case ResultShape::MatrixRows: matrixProduct(m, in, rule, pixel, result, scratchA, scratchB); break;
    case ResultShape::Cross:
        for (int l = 0; l < BatchLanes; ++l) {
            result.c[0][l] = a.c[1][l] * b.c[2][l] - a.c[2][l] * b.c[1][l];
            result.c[1][l] = a.c[2][l] * b.c[0][l] - a.c[0][l] * b.c[2][l];
            result.c[2][l] = a.c[0][l] * b.c[1][l] - a.c[1][l] * b.c[0][l];
        }
        break;
    case ResultShape::Normalize:
        dot(scratchB, a, a, 3, -1);
        for (int i = 0; i < 4; ++i) {
            for (int l = 0; l < BatchLanes; ++l) {
                result.c[i][l] = a.c[i][l] * reciprocalSquareRoot(scratchB.c[0][l]);
            }
        }
        break;
    case ResultShape::TextureSample: sampleTexture(result, a, m.samplers[in.sources[1].number]); break;
    }
    const std::uint8_t mask = in.destination.writeMask & rule.writableMask;
    Register* to = writableRegister(m, in.destination, pixel);
    store(*to, result, mask, (in.destination.resultModifier & ResultSaturate) != 0);
}

// Temporaries the program names, and inputs it reads without declaring
// them, start at zero.
void clearUnwritten(const ProgramAnalysis& program, ShaderMachine& machine)
{
    std::memset(machine.temps, 0, sizeof(Register) * program.temporaryCount);
    for (const RegisterComponents& r : program.undeclaredInputsRead) {
        Register& input = r.type == RegisterType::Input ? machine.inputs[r.number] : machine.textureInputs[r.number];
        std::memset(&input, 0, sizeof input);
    }
}

} // namespace

void runProgram(const ProgramAnalysis& program, ShaderMachine& machine)
{
    clearUnwritten(program, machine);
    const bool pixel = program.type == ShaderType::Pixel;
    for (const ExecutedInstruction& step : program.instructions) {
        execute(machine, step.instruction, *step.rule, pixel);
    }
}

void runPositionSlice(const ProgramAnalysis& program, ShaderMachine& machine)
{
    clearUnwritten(program, machine);
    for (const ExecutedInstruction& step : program.positionSlice.code) {
        execute(machine, step.instruction, *step.rule, false);
    }
}

} // namespace shader

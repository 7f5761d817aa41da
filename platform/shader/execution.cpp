#include "shader/execution.hpp"

#include <array>

namespace shader {
namespace {

using S = ResultShape;

constexpr std::uint8_t XYZ = WriteX | WriteY | WriteZ;

constexpr std::array<ExecutionRule, 27> Rules = {{
    {Opcode::Mov, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Add, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Sub, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Mad, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Mul, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Min, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Max, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Slt, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Sge, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Lrp, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Frc, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Abs, S::Componentwise, 0, 0, WriteAll},
    {Opcode::Rcp, S::ReplicatedScalar, 0, 0, WriteAll},
    {Opcode::Rsq, S::ReplicatedScalar, 0, 0, WriteAll},
    {Opcode::Exp, S::ReplicatedScalar, 0, 0, WriteAll},
    {Opcode::Log, S::ReplicatedScalar, 0, 0, WriteAll},
    {Opcode::Pow, S::ReplicatedScalar, 0, 0, WriteAll},
    {Opcode::Dp3, S::Dot, 0, 3, WriteAll},
    {Opcode::Dp4, S::Dot, 0, 4, WriteAll},
    {Opcode::M4x4, S::MatrixRows, 4, 4, WriteAll},
    {Opcode::M4x3, S::MatrixRows, 3, 4, XYZ},
    {Opcode::M3x4, S::MatrixRows, 4, 3, WriteAll},
    {Opcode::M3x3, S::MatrixRows, 3, 3, XYZ},
    {Opcode::M3x2, S::MatrixRows, 2, 3, WriteX | WriteY},
    {Opcode::Crs, S::Cross, 0, 3, XYZ},
    {Opcode::Nrm, S::Normalize, 0, 3, WriteAll},
    {Opcode::Texld, S::TextureSample, 0, 2, WriteAll},
}};

bool readable(const SourceParameter& s, ShaderType type)
{
    switch (s.type) {
    case RegisterType::Temp:
    case RegisterType::Input:
    case RegisterType::Const:
    case RegisterType::Sampler: return true;
    case RegisterType::Texture: return type == ShaderType::Pixel; // a0 in a vertex program: no relative addressing
    default: return false;
    }
}

bool writable(const DestinationParameter& d, ShaderType type)
{
    const bool vertex = type == ShaderType::Vertex;
    switch (d.type) {
    case RegisterType::Temp: return true;
    case RegisterType::RastOut: return vertex && d.number == 0; // oPos; no fog or point size
    case RegisterType::AttrOut: return vertex && d.number < 2;
    case RegisterType::TexCoordOut: return vertex && d.number < 8;
    case RegisterType::ColorOut: return !vertex && d.number == 0; // one render target
    default: return false;
    }
}

} // namespace

const ExecutionRule* executionRule(Opcode opcode)
{
    for (const ExecutionRule& rule : Rules) {
        if (rule.opcode == opcode) {
            return &rule;
        }
    }
    return nullptr;
}

SourceRead sourceRead(const ExecutionRule& rule, int source, std::uint8_t resultMask)
{
    const auto dotted = static_cast<std::uint8_t>((1u << rule.columns) - 1);
    switch (rule.shape) {
    case ResultShape::Componentwise: return {1, resultMask};
    case ResultShape::ReplicatedScalar: return {1, WriteW};
    case ResultShape::Dot: return {1, dotted};
    case ResultShape::MatrixRows: return {static_cast<std::uint8_t>(source == 1 ? rule.rows : 1), dotted};
    case ResultShape::Cross: return {1, XYZ};
    case ResultShape::Normalize: return {1, static_cast<std::uint8_t>(XYZ | resultMask)};
    case ResultShape::TextureSample:
        return source == 0 ? SourceRead{1, WriteX | WriteY} : SourceRead{0, 0}; // the sampler is no register
    }
    return {1, WriteAll};
}

std::uint8_t swizzledComponents(std::uint8_t swizzle, std::uint8_t components)
{
    std::uint8_t named = 0;
    for (int i = 0; i < 4; ++i) {
        if ((components & (1u << i)) != 0) {
            named = static_cast<std::uint8_t>(named | (1u << swizzleComponent(swizzle, i)));
        }
    }
    return named;
}

// How a register is written in program text: "c33", "oPos".
std::string registerText(ShaderType shader, RegisterType type, std::uint32_t number)
{
    for (const RegisterKind& kind : registerKinds()) {
        if (kind.type == type && registerCount(kind, shader) > 0) {
            return kind.fixedNumber >= 0 ? std::string(kind.name) : std::string(kind.name) + std::to_string(number);
        }
    }
    return "register " + std::to_string(number);
}

bool readsInsideRegisterFiles(ShaderType type, const DecodedInstruction& in, std::string& error)
{
    const ExecutionRule* rule = executionRule(in.info->opcode);
    if (rule == nullptr) {
        return true; // reads only the registers it names
    }
    for (int s = 0; s < in.sourceCount; ++s) {
        const SourceParameter& source = in.sources[s];
        const SourceRead read = sourceRead(*rule, s, WriteAll);
        for (std::uint32_t r = 1; r < read.registers; ++r) {
            if (findRegisterKind(type, source.type, source.number + r) == nullptr) {
                error = "'" + std::string(in.info->name) + "' reads " + registerText(type, source.type, source.number + r) +
                        ", past the last register of its kind";
                return false;
            }
        }
    }
    return true;
}

bool checkExecutable(const DecodedProgram& program, std::string& error)
{
    for (const DecodedInstruction& in : program.instructions) {
        const Opcode op = in.info->opcode;
        if (op == Opcode::Dcl || op == Opcode::Def) {
            continue;
        }
        if (executionRule(op) == nullptr || in.info->controls != 0) {
            error = "instruction '" + std::string(in.info->name) + "' is not executed";
            return false;
        }
        for (int s = 0; s < in.sourceCount; ++s) {
            if (!readable(in.sources[s], program.type)) {
                error = "'" + std::string(in.info->name) + "' reads a register kind that is not executed";
                return false;
            }
        }
        if (!writable(in.destination, program.type)) {
            error = "'" + std::string(in.info->name) + "' writes a register kind that is not executed";
            return false;
        }
    }
    return true;
}

} // namespace shader

// The analysis in three walks: a gathering of declarations, definitions and
// executed instructions (with the check of every register they read); a
// walk backwards from a part's outputs, component by component, that finds
// which instructions and components are live; and a walk forwards over the
// live code that lists what it reads and, for the position slice, counts
// roundings.
#include "shader/program_analysis.hpp"

#include <algorithm>
#include <map>

#include "shader/opcode_table.hpp"

namespace shader {
namespace {

RegisterType typeOf(std::uint32_t key)
{
    return static_cast<RegisterType>(key >> 16);
}

// The outputs a part hands on: the colour of a pixel program; the position,
// colours and texture coordinates of a vertex program, or its position
// alone for the slice.
std::vector<std::uint32_t> outputKeys(ShaderType type, bool positionOnly)
{
    if (type == ShaderType::Pixel) {
        return {registerKey(RegisterType::ColorOut, 0)};
    }
    std::vector<std::uint32_t> keys = {registerKey(RegisterType::RastOut, 0)};
    for (std::uint32_t n = 0; n < 2 && !positionOnly; ++n) {
        keys.push_back(registerKey(RegisterType::AttrOut, n));
    }
    for (std::uint32_t n = 0; n < 8 && !positionOnly; ++n) {
        keys.push_back(registerKey(RegisterType::TexCoordOut, n));
    }
    return keys;
}

// Backwards from the outputs: the components of each instruction's result
// that a later instruction reads or that reach an output, and what of its
// sources those depend on. An instruction none of whose components is
// live is left out.
std::vector<ExecutedInstruction> liveCode(const std::vector<ExecutedInstruction>& all,
                                          const std::vector<std::uint32_t>& outputs)
{
    std::map<std::uint32_t, std::uint8_t> live; // register: components still to be read
    for (const std::uint32_t key : outputs) {
        live[key] = WriteAll;
    }
    std::vector<ExecutedInstruction> kept;
    for (std::size_t i = all.size(); i-- > 0;) {
        ExecutedInstruction step = all[i];
        const DecodedInstruction& in = step.instruction;
        std::uint8_t& destination = live[registerKey(in.destination.type, in.destination.number)];
        step.liveMask = static_cast<std::uint8_t>(step.liveMask & destination);
        if (step.liveMask == 0) {
            continue;
        }
        destination = static_cast<std::uint8_t>(destination & ~step.liveMask);
        for (int s = 0; s < in.sourceCount; ++s) {
            const SourceParameter& source = in.sources[s];
            const SourceRead read = sourceRead(*step.rule, s, step.liveMask);
            step.operandComponents[s] = read.components;
            const std::uint8_t components = swizzledComponents(source.swizzle, read.components);
            for (std::uint32_t r = 0; r < read.registers; ++r) {
                std::uint8_t& reading = live[registerKey(source.type, source.number + r)];
                reading = static_cast<std::uint8_t>(reading | components);
            }
        }
        kept.push_back(step);
    }
    std::reverse(kept.begin(), kept.end());
    return kept;
}

void addComponents(std::vector<RegisterComponents>& list, RegisterType type, std::uint32_t number,
                   std::uint8_t components)
{
    for (RegisterComponents& r : list) {
        if (r.type == type && r.number == number) {
            r.components = static_cast<std::uint8_t>(r.components | components);
            return;
        }
    }
    list.push_back({type, number, components});
}

// Forwards over code: what it reads, and what it reads before writing it.
void listReads(const std::vector<ExecutedInstruction>& code, const std::vector<DeclaredInput>& declared,
               ProgramPart& part)
{
    std::map<std::uint32_t, std::uint8_t> written;
    for (const ExecutedInstruction& step : code) {
        const DecodedInstruction& in = step.instruction;
        for (int s = 0; s < in.sourceCount; ++s) {
            const SourceParameter& source = in.sources[s];
            const SourceRead read = sourceRead(*step.rule, s, step.liveMask);
            const std::uint8_t components = swizzledComponents(source.swizzle, step.operandComponents[s]);
            for (std::uint32_t r = 0; r < read.registers; ++r) {
                const std::uint32_t n = source.number + r;
                if (source.type == RegisterType::Const) {
                    part.constantsRead.push_back(n);
                } else if (isInputRegister(source.type)) {
                    const bool isDeclared = std::any_of(declared.begin(), declared.end(), [&](const DeclaredInput& d) {
                        return d.type == source.type && d.number == n;
                    });
                    addComponents(isDeclared ? part.inputsRead : part.undeclaredInputsRead, source.type, n, components);
                } else if (source.type == RegisterType::Temp) {
                    const auto first = static_cast<std::uint8_t>(components & ~written[registerKey(source.type, n)]);
                    if (first != 0) {
                        addComponents(part.temporariesReadFirst, source.type, n, first);
                    }
                }
            }
        }
        std::uint8_t& done = written[registerKey(in.destination.type, in.destination.number)];
        done = static_cast<std::uint8_t>(done | step.liveMask);
    }
    std::sort(part.constantsRead.begin(), part.constantsRead.end());
    part.constantsRead.erase(std::unique(part.constantsRead.begin(), part.constantsRead.end()),
                             part.constantsRead.end());
}

ProgramPart makePart(const ProgramAnalysis& program, bool positionOnly)
{
    ProgramPart part;
    const std::vector<std::uint32_t> outputs = outputKeys(program.type, positionOnly);
    part.code = liveCode(program.instructions, outputs);
    listReads(part.code, program.inputs, part);
    for (const std::uint32_t key : outputs) {
        std::uint8_t written = 0;
        for (const ExecutedInstruction& step : part.code) {
            if (registerKey(step.instruction.destination.type, step.instruction.destination.number) == key) {
                written = static_cast<std::uint8_t>(written | step.liveMask);
            }
        }
        part.outputs.push_back({typeOf(key), key & 0xFFFF, written});
    }
    return part;
}

// The roundings on the worst path to each component of each register
// written so far (inputs and constants: none).
using RoundingDepths = std::map<std::uint32_t, std::array<std::uint32_t, 4>>;

std::uint32_t depthOf(const RoundingDepths& depths, const SourceParameter& s, std::uint32_t row, int component)
{
    const auto found = depths.find(registerKey(s.type, s.number + row));
    return found == depths.end() ? 0u
                                 : found->second[static_cast<std::size_t>(swizzleComponent(s.swizzle, component))];
}

// A dot product of `columns` terms with matrix row `row`: the worst
// product's path (both factors' and its own rounding), then the sums.
std::uint32_t dotDepth(const RoundingDepths& depths, const DecodedInstruction& in, int columns, std::uint32_t row)
{
    std::uint32_t worst = 0;
    for (int i = 0; i < columns; ++i) {
        worst = std::max(worst, depthOf(depths, in.sources[0], 0, i) + depthOf(depths, in.sources[1], row, i) + 1);
    }
    return worst + static_cast<std::uint32_t>(columns - 1);
}

// Component c of a componentwise operation; false for one whose error
// the magnitudes do not bound (comparisons, fractions, interpolation).
bool componentwiseDepth(const RoundingDepths& depths, const DecodedInstruction& in, int c, std::uint32_t& out)
{
    const auto source = [&](int s) { return depthOf(depths, in.sources[s], 0, c); };
    switch (in.info->opcode) {
    case Opcode::Mov:
    case Opcode::Abs: out = source(0); return true;
    case Opcode::Min:
    case Opcode::Max: out = std::max(source(0), source(1)); return true;
    case Opcode::Add:
    case Opcode::Sub: out = std::max(source(0), source(1)) + 1; return true;
    case Opcode::Mul: out = source(0) + source(1) + 1; return true;
    case Opcode::Mad: out = std::max(source(0) + source(1) + 1, source(2)) + 1; return true;
    default: return false;
    }
}

// The roundings on the worst path to any component of oPos, over the
// position slice; false when the slice holds an operation whose error its
// magnitudes do not bound (reciprocals, powers, cross products, normalising
// besides the componentwise ones above).
bool countRoundings(const std::vector<ExecutedInstruction>& code, std::uint32_t& roundings)
{
    RoundingDepths depths;
    for (const ExecutedInstruction& step : code) {
        const DecodedInstruction& in = step.instruction;
        std::array<std::uint32_t, 4> result = {};
        for (int c = 0; c < 4; ++c) {
            std::uint32_t& depth = result[static_cast<std::size_t>(c)];
            switch (step.rule->shape) {
            case ResultShape::Dot: depth = dotDepth(depths, in, step.rule->columns, 0); break;
            case ResultShape::MatrixRows:
                depth = c < step.rule->rows ? dotDepth(depths, in, step.rule->columns, static_cast<std::uint32_t>(c)) : 0;
                break;
            case ResultShape::Componentwise:
                if (!componentwiseDepth(depths, in, c, depth)) {
                    return false;
                }
                break;
            default: return false;
            }
        }
        std::array<std::uint32_t, 4>& to = depths[registerKey(in.destination.type, in.destination.number)];
        for (int c = 0; c < 4; ++c) {
            if ((step.liveMask & (1u << c)) != 0) {
                to[static_cast<std::size_t>(c)] = result[static_cast<std::size_t>(c)];
            }
        }
    }
    const auto found = depths.find(registerKey(RegisterType::RastOut, 0));
    roundings = found == depths.end() ? 0 : *std::max_element(found->second.begin(), found->second.end());
    return true;
}

// Whether the slice is oPos = dp4(vN, c[rows]) component by component (see
// AffinePosition).
AffinePosition findAffinePosition(const ProgramPart& slice)
{
    AffinePosition affine;
    std::uint8_t covered = 0;
    bool inputSeen = false;
    for (const ExecutedInstruction& step : slice.code) {
        const DecodedInstruction& in = step.instruction;
        const Opcode op = in.info->opcode;
        const SourceParameter& vector = in.sources[0];
        const SourceParameter& matrix = in.sources[1];
        const bool plain = in.destination.type == RegisterType::RastOut && in.destination.number == 0 &&
                           (in.destination.resultModifier & ResultSaturate) == 0 && (op == Opcode::M4x4 || op == Opcode::Dp4) &&
                           vector.type == RegisterType::Input && matrix.type == RegisterType::Const &&
                           vector.swizzle == IdentitySwizzle && matrix.swizzle == IdentitySwizzle &&
                           vector.modifier == SourceModifier::None && matrix.modifier == SourceModifier::None &&
                           (!inputSeen || vector.number == affine.input) && (covered & step.liveMask) == 0;
        if (!plain) {
            return {};
        }
        inputSeen = true;
        affine.input = vector.number;
        for (std::uint32_t c = 0; c < 4; ++c) {
            if ((step.liveMask & (1u << c)) != 0) {
                affine.rows[c] = matrix.number + (op == Opcode::M4x4 ? c : 0);
            }
        }
        covered = static_cast<std::uint8_t>(covered | step.liveMask);
    }
    affine.found = covered == 0xF;
    return affine.found ? affine : AffinePosition{};
}

// The slice over magnitudes: every operand absolute, differences as sums,
// min as max, no saturation (the error of a saturated value is bounded by
// that of the value before).
ProgramPart magnitudeOf(const ProgramPart& slice)
{
    ProgramPart magnitude = slice;
    for (ExecutedInstruction& step : magnitude.code) {
        DecodedInstruction& in = step.instruction;
        const Opcode replaced =
            in.info->opcode == Opcode::Sub ? Opcode::Add : in.info->opcode == Opcode::Min ? Opcode::Max : in.info->opcode;
        if (replaced != in.info->opcode) {
            in.info = findOpcode(static_cast<std::uint16_t>(replaced), 0);
            step.rule = executionRule(replaced);
        }
        for (int s = 0; s < in.sourceCount; ++s) {
            in.sources[s].modifier = SourceModifier::Abs;
        }
        in.destination.resultModifier = static_cast<std::uint8_t>(in.destination.resultModifier & ~ResultSaturate);
    }
    return magnitude;
}

// Declarations, definitions and executed instructions, in program order.
ProgramFault gather(const DecodedProgram& program, ProgramAnalysis& out, std::string& error)
{
    for (const DecodedInstruction& in : program.instructions) {
        const Opcode op = in.info->opcode;
        if (op == Opcode::Def) {
            out.definitions.push_back({in.destination.number, in.values});
            if (in.destination.number < 256) { // the register checks refuse any other
                out.definedConstants[in.destination.number / 64] |= std::uint64_t{1} << (in.destination.number % 64);
            }
            continue;
        }
        if (op == Opcode::Dcl) {
            const DestinationParameter& d = in.destination;
            if (isInputRegister(d.type) && !declaresInput(out, d.type, d.number)) {
                out.inputs.push_back({d.type, d.number, in.usage, in.usageIndex});
                if (program.type == ShaderType::Pixel) {
                    out.varyings.push_back({d.type == RegisterType::Input, d.number});
                }
            }
            continue;
        }
        const ExecutionRule* rule = executionRule(op);
        if (!readsInsideRegisterFiles(program.type, in, error)) {
            return ProgramFault::ReadsPastRegisters;
        }
        const auto mask = static_cast<std::uint8_t>(in.destination.writeMask & rule->writableMask);
        ExecutedInstruction step{in, rule, mask, {}};
        for (int s = 0; s < in.sourceCount; ++s) {
            const SourceParameter& source = in.sources[s];
            const SourceRead read = sourceRead(*rule, s, mask);
            step.operandComponents[s] = read.components;
            if (source.type == RegisterType::Sampler) {
                out.samplersRead |= 1u << source.number;
            } else if (source.type == RegisterType::Temp) {
                out.temporaryCount = std::max(out.temporaryCount, source.number + read.registers);
            }
        }
        if (in.destination.type == RegisterType::Temp) {
            out.temporaryCount = std::max(out.temporaryCount, in.destination.number + 1);
        }
        out.instructions.push_back(step);
    }
    return ProgramFault::None;
}

} // namespace

ProgramFault analyzeProgram(const DecodedProgram& program, ProgramAnalysis& out, std::string& error)
{
    out = {};
    out.type = program.type;
    if (!checkExecutable(program, error)) {
        return ProgramFault::NotExecuted;
    }
    const ProgramFault fault = gather(program, out, error);
    if (fault != ProgramFault::None) {
        return fault;
    }
    ProgramPart every;
    listReads(out.instructions, out.inputs, every);
    out.constantsRead = every.constantsRead;
    out.undeclaredInputsRead = every.undeclaredInputsRead;
    out.whole = makePart(out, false);
    if (program.type == ShaderType::Vertex) {
        out.positionSlice = makePart(out, true);
        out.positionErrorBounded = countRoundings(out.positionSlice.code, out.positionRoundings);
        if (out.positionErrorBounded) {
            out.positionMagnitude = magnitudeOf(out.positionSlice);
            out.affinePosition = findAffinePosition(out.positionSlice);
        }
    }
    return ProgramFault::None;
}

bool analyzeTokens(const std::uint32_t* tokens, std::size_t count, ProgramAnalysis& out, std::string& error)
{
    DecodedProgram program;
    return decodeProgram(tokens, count, program, error) && analyzeProgram(program, out, error) == ProgramFault::None;
}

void applyDefinitions(const ProgramAnalysis& program, float* constants, std::uint32_t registers)
{
    for (const Definition& d : program.definitions) {
        if (d.number < registers) {
            std::copy(d.values.begin(), d.values.end(), constants + 4 * d.number);
        }
    }
}

const Definition* definitionOf(const ProgramAnalysis& program, std::uint32_t n)
{
    for (auto d = program.definitions.rbegin(); d != program.definitions.rend(); ++d) {
        if (d->number == n) {
            return &*d; // the last def of a register is the one that stands
        }
    }
    return nullptr;
}

std::uint8_t inputComponentsRead(const ProgramPart& part, RegisterType type, std::uint32_t number)
{
    for (const RegisterComponents& r : part.inputsRead) {
        if (r.type == type && r.number == number) {
            return r.components;
        }
    }
    return 0;
}

bool declaresInput(const ProgramAnalysis& program, RegisterType type, std::uint32_t number)
{
    return std::any_of(program.inputs.begin(), program.inputs.end(),
                       [&](const DeclaredInput& d) { return d.type == type && d.number == number; });
}

} // namespace shader

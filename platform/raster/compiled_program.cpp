#include "raster/compiled_program.hpp"

#include <algorithm>
#include <cstring>
#include <map>

namespace raster {
namespace {

using kernel::ChunkLanes;
using kernel::Operation;
using shader::Opcode;
using shader::RegisterType;
using shader::ResultShape;

constexpr std::uint32_t LastConstant = 255; // the machine reads past the last register as the last

bool operationOf(const ShaderProgram::Step& step, Operation& operation)
{
    switch (step.rule->shape) {
    case ResultShape::Dot: operation = Operation::Dot; return true;
    case ResultShape::MatrixRows: operation = Operation::Matrix; return true;
    case ResultShape::Cross: operation = Operation::Cross; return true;
    case ResultShape::Normalize: operation = Operation::Normalize; return true;
    case ResultShape::TextureSample: operation = Operation::Sample; return true;
    default: break;
    }
    switch (step.rule->opcode) {
    case Opcode::Mov: operation = Operation::Mov; return true;
    case Opcode::Add: operation = Operation::Add; return true;
    case Opcode::Sub: operation = Operation::Sub; return true;
    case Opcode::Mul: operation = Operation::Mul; return true;
    case Opcode::Mad: operation = Operation::Mad; return true;
    case Opcode::Min: operation = Operation::Min; return true;
    case Opcode::Max: operation = Operation::Max; return true;
    case Opcode::Slt: operation = Operation::Slt; return true;
    case Opcode::Sge: operation = Operation::Sge; return true;
    case Opcode::Lrp: operation = Operation::Lrp; return true;
    case Opcode::Frc: operation = Operation::Frc; return true;
    case Opcode::Abs: operation = Operation::Abs; return true;
    case Opcode::Rcp: operation = Operation::Rcp; return true;
    case Opcode::Rsq: operation = Operation::Rsq; return true;
    case Opcode::Exp: operation = Operation::Exp; return true;
    case Opcode::Log: operation = Operation::Log; return true;
    case Opcode::Pow: operation = Operation::Pow; return true;
    default: return false;
    }
}

bool modifierOf(shader::SourceModifier modifier, kernel::Modifier& out)
{
    switch (modifier) {
    case shader::SourceModifier::None: out = kernel::Modifier::None; return true;
    case shader::SourceModifier::Negate: out = kernel::Modifier::Negate; return true;
    case shader::SourceModifier::Abs: out = kernel::Modifier::Abs; return true;
    case shader::SourceModifier::AbsNegate: out = kernel::Modifier::AbsNegate; return true;
    default: return false;
    }
}

int swizzled(std::uint8_t swizzle, int component)
{
    return (swizzle >> (2 * component)) & 3;
}

std::uint32_t keyOf(RegisterType type, std::uint32_t number)
{
    return static_cast<std::uint32_t>(type) << 16 | number;
}

bool isOutput(RegisterType type)
{
    return type == RegisterType::RastOut || type == RegisterType::AttrOut || type == RegisterType::TexCoordOut ||
           type == RegisterType::ColorOut;
}

bool isInput(RegisterType type)
{
    return type == RegisterType::Input || type == RegisterType::Texture;
}

// The components (before the swizzle) of a source that the result depends
// on: for a componentwise instruction those it writes; the w alone for a
// scalar one; the dotted ones; x and y of texture coordinates. (The
// routine loads all four; the others do not change what it stores.)
std::uint8_t componentsRead(Operation operation, std::uint8_t writeMask, int columns)
{
    switch (operation) {
    case Operation::Rcp:
    case Operation::Rsq:
    case Operation::Exp:
    case Operation::Log:
    case Operation::Pow: return 0x8;
    case Operation::Dot:
    case Operation::Matrix: return static_cast<std::uint8_t>((1u << columns) - 1);
    case Operation::Cross: return 0x7;
    case Operation::Normalize: return static_cast<std::uint8_t>(0x7 | writeMask);
    case Operation::Sample: return 0x3;
    default: return writeMask;
    }
}

// The outputs a routine hands on: the colour of a pixel program; the
// position, colours and texture coordinates of a vertex program, or its
// position alone for the slice that decides whether a draw is seen.
std::vector<std::uint32_t> outputKeys(bool pixel, bool positionSliceOnly)
{
    if (pixel) {
        return {keyOf(RegisterType::ColorOut, 0)};
    }
    std::vector<std::uint32_t> keys = {keyOf(RegisterType::RastOut, 0)};
    for (std::uint32_t n = 0; n < 2 && !positionSliceOnly; ++n) {
        keys.push_back(keyOf(RegisterType::AttrOut, n));
    }
    for (std::uint32_t n = 0; n < 8 && !positionSliceOnly; ++n) {
        keys.push_back(keyOf(RegisterType::TexCoordOut, n));
    }
    return keys;
}

// The components of each instruction's result that a later instruction
// reads or that reach an output: the write mask the routine needs, 0 for
// an instruction nothing depends on (a texture sample whose colour is never
// used, a dot product replicated into components never read). Found by a
// walk backwards from the outputs, component by component. An instruction
// of an operation the routine does not run keeps its mask (the compile
// fails on it anyway).
std::vector<std::uint8_t> neededWriteMasks(const std::vector<ShaderProgram::Step>& steps, bool pixel,
                                           bool positionSliceOnly)
{
    std::map<std::uint32_t, std::uint8_t> live; // register key: components still to be read
    const auto liveOf = [&live](std::uint32_t key) -> std::uint8_t& { return live[key]; };
    for (const std::uint32_t key : outputKeys(pixel, positionSliceOnly)) {
        liveOf(key) = 0xF;
    }
    std::vector<std::uint8_t> masks(steps.size());
    for (std::size_t i = steps.size(); i-- > 0;) {
        const ShaderProgram::Step& step = steps[i];
        const shader::DecodedInstruction& in = step.instruction;
        const auto written = static_cast<std::uint8_t>(in.destination.writeMask & step.rule->writableMask);
        Operation operation = Operation::Mov;
        if (!operationOf(step, operation)) {
            masks[i] = written;
            continue;
        }
        std::uint8_t& destination = liveOf(keyOf(in.destination.type, in.destination.number));
        const auto needed = static_cast<std::uint8_t>(written & destination);
        masks[i] = needed;
        if (needed == 0) {
            continue;
        }
        destination = static_cast<std::uint8_t>(destination & ~needed);
        const std::uint8_t read = componentsRead(operation, needed, step.rule->columns);
        const int sources = operation == Operation::Sample ? 1 : std::min(in.sourceCount, 3);
        for (int s = 0; s < sources; ++s) {
            const int rows = operation == Operation::Matrix && s == 1 ? step.rule->rows : 1;
            for (int r = 0; r < rows; ++r) {
                const shader::SourceParameter& source = in.sources[s];
                std::uint8_t& components = liveOf(keyOf(source.type, source.number + static_cast<std::uint32_t>(r)));
                for (int c = 0; c < 4; ++c) {
                    if ((read & (1u << c)) != 0) {
                        components = static_cast<std::uint8_t>(components | (1u << swizzled(source.swizzle, c)));
                    }
                }
            }
        }
    }
    return masks;
}

} // namespace

bool hasEightLaneRoutine()
{
#if (defined(__x86_64__) || defined(_M_X64)) && !defined(_WIN32) && defined(__GNUC__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

CompiledProgram::CompiledProgram(const ShaderProgram& program, RoutineWidth width, bool positionSliceOnly)
{
    const bool eight = width == RoutineWidth::Eight || (width == RoutineWidth::Best && hasEightLaneRoutine());
    width_ = eight && hasEightLaneRoutine() ? 8 : 4;
    compiled_ = compile(program, positionSliceOnly);
}

CompiledProgram::Slot& CompiledProgram::slotFor(RegisterType type, std::uint32_t number)
{
    const std::uint32_t key = keyOf(type, number);
    for (Slot& s : slots_) {
        if (s.key == key) {
            return s;
        }
    }
    slots_.push_back({key, static_cast<std::uint32_t>(slots_.size()) * 4 * ChunkLanes});
    return slots_.back();
}

std::uint32_t CompiledProgram::slot(RegisterType type, std::uint32_t number) const
{
    const std::uint32_t key = keyOf(type, number);
    for (const Slot& s : slots_) {
        if (s.key == key) {
            return s.offset;
        }
    }
    return ~0u;
}

std::uint8_t CompiledProgram::inputComponentsRead(RegisterType type, std::uint32_t number) const
{
    const std::uint32_t key = keyOf(type, number);
    for (const Slot& s : slots_) {
        if (s.key == key) {
            return s.cleared; // inputs are never written: every read comes first
        }
    }
    return 0;
}

bool CompiledProgram::compileOperand(const shader::SourceParameter& s, std::uint32_t row, std::uint8_t read,
                                     kernel::Source& out, std::int32_t& constantIndex)
{
    constantIndex = -1;
    if (!modifierOf(s.modifier, out.modifier)) {
        return false;
    }
    if (s.type == RegisterType::Const) {
        const std::uint32_t n = std::min(s.number + row, LastConstant);
        const auto at = std::lower_bound(constants_.begin(), constants_.end(), n);
        if (at == constants_.end() || *at != n) {
            return false;
        }
        out.batchStep = 0;
        for (int i = 0; i < 4; ++i) {
            out.component[i] = static_cast<std::uint32_t>(swizzled(s.swizzle, i)); // placed later
        }
        constantIndex = static_cast<std::int32_t>(at - constants_.begin());
        return true;
    }
    if (s.type != RegisterType::Temp && !isInput(s.type)) {
        return false;
    }
    Slot& slot = slotFor(s.type, s.number + row);
    out.batchStep = 1;
    for (int i = 0; i < 4; ++i) {
        const int c = swizzled(s.swizzle, i);
        out.component[i] = slot.offset + static_cast<std::uint32_t>(c) * ChunkLanes;
        if ((read & (1u << i)) != 0 && (slot.written & (1u << c)) == 0) {
            slot.cleared |= static_cast<std::uint8_t>(1u << c);
        }
    }
    return true;
}

bool CompiledProgram::compile(const ShaderProgram& program, bool positionSliceOnly)
{
    const bool pixel = program.type() == shader::ShaderType::Pixel;
    if (positionSliceOnly && pixel) {
        return false;
    }
    const std::vector<ShaderProgram::Step>& steps = positionSliceOnly ? program.positionSlice() : program.code();
    // The outputs first, so that those never written are there to read.
    for (const std::uint32_t key : outputKeys(pixel, positionSliceOnly)) {
        slotFor(static_cast<RegisterType>(key >> 16), key & 0xFFFF);
    }
    std::vector<std::uint32_t> declaredInputs; // keys of declared v and t registers
    for (const DeclaredInput& in : program.inputs()) {
        declaredInputs.push_back(keyOf(in.type, in.number));
    }
    // The constants this code reads, and where the program's snapshot has them.
    const std::vector<std::uint32_t>& snapshotOrder = program.constantsRead();
    const std::vector<std::uint8_t> needed = neededWriteMasks(steps, pixel, positionSliceOnly);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const ShaderProgram::Step& step = steps[i];
        const shader::DecodedInstruction& in = step.instruction;
        if (needed[i] == 0) {
            continue;
        }
        for (int s = 0; s < in.sourceCount && s < 3; ++s) {
            if (in.sources[s].type != RegisterType::Const) {
                continue;
            }
            const int rows = s == 1 && step.rule->shape == ResultShape::MatrixRows ? step.rule->rows : 1;
            for (int r = 0; r < rows; ++r) {
                constants_.push_back(std::min(in.sources[s].number + static_cast<std::uint32_t>(r), LastConstant));
            }
        }
    }
    std::sort(constants_.begin(), constants_.end());
    constants_.erase(std::unique(constants_.begin(), constants_.end()), constants_.end());
    for (const std::uint32_t n : constants_) {
        const auto at = std::lower_bound(snapshotOrder.begin(), snapshotOrder.end(), n);
        if (at == snapshotOrder.end() || *at != n) {
            return false;
        }
        snapshotIndex_.push_back(static_cast<std::uint32_t>(at - snapshotOrder.begin()));
    }
    // Operands of constants, placed once the lane slots are all known.
    struct ConstantOperand {
        std::size_t instruction;
        int operand;
        bool isRow; // a matrix row, else a source
        std::int32_t index; // in the snapshot
    };
    std::vector<ConstantOperand> constantOperands;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const ShaderProgram::Step& step = steps[i];
        const shader::DecodedInstruction& in = step.instruction;
        kernel::Instruction k = {};
        if (!operationOf(step, k.operation)) {
            return false;
        }
        const shader::DestinationParameter& d = in.destination;
        const bool writable =
            d.type == RegisterType::Temp ||
            (pixel ? d.type == RegisterType::ColorOut && d.number == 0
                   : (d.type == RegisterType::RastOut && d.number == 0) ||
                         (d.type == RegisterType::AttrOut && d.number < 2) ||
                         (d.type == RegisterType::TexCoordOut && d.number < 8));
        if (!writable) {
            return false;
        }
        if (needed[i] == 0) {
            continue; // nothing reads what it writes
        }
        k.rows = step.rule->rows;
        k.columns = step.rule->columns;
        const std::uint8_t read = componentsRead(k.operation, needed[i], k.columns);
        const int sources = k.operation == Operation::Sample ? 1 : std::min(in.sourceCount, 3);
        for (int s = 0; s < sources; ++s) {
            const int rows = k.operation == Operation::Matrix && s == 1 ? k.rows : 0;
            for (int r = 0; r < std::max(rows, 1); ++r) {
                kernel::Source& operand = rows > 0 ? k.row[r] : k.source[s];
                std::int32_t index = -1;
                if (!compileOperand(in.sources[s], static_cast<std::uint32_t>(r), read, operand, index)) {
                    return false;
                }
                if (index >= 0) {
                    constantOperands.push_back({code_.size(), rows > 0 ? r : s, rows > 0, index});
                }
            }
        }
        if (k.operation == Operation::Sample) {
            if (in.sources[1].type != RegisterType::Sampler || in.sources[1].number >= 16) {
                return false;
            }
            k.sampler = static_cast<std::uint8_t>(in.sources[1].number);
        }
        Slot& destination = slotFor(d.type, d.number);
        k.destination = destination.offset;
        k.mask = needed[i];
        k.saturate = (d.resultModifier & shader::ResultSaturate) != 0;
        destination.written |= k.mask;
        code_.push_back(k);
    }
    constantBase_ = static_cast<std::uint32_t>(slots_.size()) * 4 * ChunkLanes;
    for (const ConstantOperand& c : constantOperands) {
        kernel::Instruction& k = code_[c.instruction];
        kernel::Source& source = c.isRow ? k.row[c.operand] : k.source[c.operand];
        for (std::uint32_t& component : source.component) {
            component += constantBase_ + static_cast<std::uint32_t>(c.index) * 4;
        }
    }
    fileSize_ = constantBase_ + static_cast<std::uint32_t>(constants_.size()) * 4;
    for (const Slot& s : slots_) {
        const auto type = static_cast<RegisterType>(s.key >> 16);
        const bool undeclared =
            isInput(type) && std::find(declaredInputs.begin(), declaredInputs.end(), s.key) == declaredInputs.end();
        for (std::uint32_t c = 0; c < 4; ++c) {
            const std::uint32_t offset = s.offset + c * ChunkLanes;
            if (type == RegisterType::Temp && (s.cleared & (1u << c)) != 0) {
                temporaryClears_.push_back(offset);
            } else if (isOutput(type) && (s.written & (1u << c)) == 0) {
                if (c == 3) {
                    outputWs_.push_back(offset);
                } else {
                    fills_.push_back({offset, 0.0f});
                }
            } else if (undeclared) {
                fills_.push_back({offset, 0.0f}); // read but never declared: 0
            }
        }
    }
    return true;
}

void CompiledProgram::prepareFile(float* file, const float* snapshot, float outputW) const
{
    float* constants = file + constantBase_;
    for (const std::uint32_t index : snapshotIndex_) {
        std::memcpy(constants, snapshot + 4 * index, 4 * sizeof(float));
        constants += 4;
    }
    for (const Fill& f : fills_) {
        std::fill_n(file + f.offset, ChunkLanes, f.value);
    }
    for (const std::uint32_t offset : outputWs_) {
        std::fill_n(file + offset, ChunkLanes, outputW);
    }
}

void CompiledProgram::clearTemporaries(float* file) const
{
    for (const std::uint32_t offset : temporaryClears_) {
        std::fill_n(file + offset, ChunkLanes, 0.0f);
    }
}

void CompiledProgram::run(float* file, std::int32_t lanes, const kernel::Sampler* samplers) const
{
    const std::int32_t batches = (lanes + width_ - 1) / width_;
    if (width_ == 8) {
        kernel::runAvx2Width8(code_.data(), code_.size(), file, batches, samplers);
    } else {
        kernel::runWidth4(code_.data(), code_.size(), file, batches, samplers);
    }
}

} // namespace raster

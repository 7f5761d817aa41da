// The compile: each live instruction to a kernel instruction whose
// operands are slot offsets; lane registers get slots in the order they are
// first met (the part's outputs first, so that those never written are
// there to read), constants go after them in the part's snapshot order.
#include "shader/compiled_program.hpp"

#include <algorithm>
#include <cstring>

#include "com/assertion.hpp"
#include "shader/opcode_table.hpp"

namespace shader {
namespace {

using kernel::Operation;

// The kernel operation an executed instruction becomes: by its result's
// shape for the macros, else by its opcode (the kernel's list says which).
bool operationOf(const ExecutedInstruction& step, Operation& operation)
{
#define BY_Shape(name, what)                                                                                           \
    if (step.rule->shape == ResultShape::what) {                                                                       \
        operation = Operation::name;                                                                                   \
        return true;                                                                                                   \
    }
#define BY_Opcode(name, what)
#define OPERATION_OF(name, sources, by, what) BY_##by(name, what)
    SHADER_KERNEL_OPERATIONS(OPERATION_OF)
#undef BY_Shape
#undef BY_Opcode
#define BY_Shape(name, what)
#define BY_Opcode(name, what)                                                                                          \
    if (step.rule->opcode == Opcode::what) {                                                                           \
        operation = Operation::name;                                                                                   \
        return true;                                                                                                   \
    }
    SHADER_KERNEL_OPERATIONS(OPERATION_OF)
#undef BY_Shape
#undef BY_Opcode
#undef OPERATION_OF
    return false;
}

bool modifierOf(SourceModifier modifier, kernel::Modifier& out)
{
    switch (modifier) {
    case SourceModifier::None: out = kernel::Modifier::None; return true;
    case SourceModifier::Negate: out = kernel::Modifier::Negate; return true;
    case SourceModifier::Abs: out = kernel::Modifier::Abs; return true;
    case SourceModifier::AbsNegate: out = kernel::Modifier::AbsNegate; return true;
    default: return false;
    }
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

CompiledProgram::CompiledProgram(const ProgramPart& part, ShaderType type, RoutineWidth width)
{
    const bool eight = width == RoutineWidth::Eight || (width == RoutineWidth::Best && hasEightLaneRoutine());
    width_ = eight && hasEightLaneRoutine() ? 8 : 4;
    type_ = type;
    compiled_ = compile(part);
}

std::uint32_t CompiledProgram::slotFor(RegisterType type, std::uint32_t number)
{
    const std::uint32_t key = registerKey(type, number);
    for (const Slot& s : slots_) {
        if (s.key == key) {
            return s.offset;
        }
    }
    slots_.push_back({key, static_cast<std::uint32_t>(slots_.size()) * 4 * BatchLanes});
    return slots_.back().offset;
}

std::uint32_t CompiledProgram::slot(RegisterType type, std::uint32_t number) const
{
    const std::uint32_t key = registerKey(type, number);
    for (const Slot& s : slots_) {
        if (s.key == key) {
            return s.offset;
        }
    }
    return ~0u;
}

bool CompiledProgram::sameFileAs(const CompiledProgram& other) const
{
    if (fileSize_ != other.fileSize_ || constantBase_ != other.constantBase_ || slots_.size() != other.slots_.size()) {
        return false;
    }
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].key != other.slots_[i].key || slots_[i].offset != other.slots_[i].offset) {
            return false;
        }
    }
    return true;
}

bool CompiledProgram::compileOperand(const SourceParameter& s, std::uint32_t row,
                                     const std::vector<std::uint32_t>& constants, kernel::Source& out,
                                     std::int32_t& constantIndex)
{
    PLATFORM_ASSERT(findRegisterKind(type_, s.type, s.number + row) != nullptr); // the analysis checked it
    constantIndex = -1;
    if (!modifierOf(s.modifier, out.modifier)) {
        return false;
    }
    if (s.type == RegisterType::Const) {
        const auto at = std::lower_bound(constants.begin(), constants.end(), s.number + row);
        if (at == constants.end() || *at != s.number + row) {
            return false;
        }
        out.batchStep = 0;
        for (int i = 0; i < 4; ++i) {
            out.component[i] = static_cast<std::uint32_t>(swizzleComponent(s.swizzle, i)); // placed later
        }
        constantIndex = static_cast<std::int32_t>(at - constants.begin());
        return true;
    }
    if (s.type != RegisterType::Temp && !isInputRegister(s.type)) {
        return false;
    }
    const std::uint32_t offset = slotFor(s.type, s.number + row);
    out.batchStep = 1;
    for (int i = 0; i < 4; ++i) {
        out.component[i] = offset + static_cast<std::uint32_t>(swizzleComponent(s.swizzle, i)) * BatchLanes;
    }
    return true;
}

bool CompiledProgram::compileInstruction(const ExecutedInstruction& step, const std::vector<std::uint32_t>& constants)
{
    const DecodedInstruction& in = step.instruction;
    kernel::Instruction k = {};
    if (!operationOf(step, k.operation)) {
        return false;
    }
    const DestinationParameter& d = in.destination; // one the devices write: the analysis checked it
    k.rows = step.rule->rows;
    k.columns = step.rule->columns;
    for (int s = 0; s < in.sourceCount; ++s) {
        const SourceRead read = sourceRead(*step.rule, s, step.liveMask);
        const bool rows = k.operation == Operation::Matrix && s == 1;
        for (std::uint32_t r = 0; r < read.registers; ++r) {
            kernel::Source& operand = rows ? k.row[r] : k.source[s];
            std::int32_t index = -1;
            if (!compileOperand(in.sources[s], r, constants, operand, index)) {
                return false;
            }
            if (index >= 0) {
                constantOperands_.push_back({code_.size(), rows ? static_cast<int>(r) : s, rows, index});
            }
        }
    }
    if (k.operation == Operation::Sample) {
        if (in.sources[1].type != RegisterType::Sampler || in.sources[1].number >= 16) {
            return false;
        }
        k.sampler = static_cast<std::uint8_t>(in.sources[1].number);
    }
    k.destination = slotFor(d.type, d.number);
    k.mask = step.liveMask;
    k.saturate = (d.resultModifier & ResultSaturate) != 0;
    code_.push_back(k);
    return true;
}

// The passes: the outputs' slots first (so that those never written are
// there to read), each live instruction in order, the constants placed
// after every lane slot, then what the file holds before the code runs.
bool CompiledProgram::compile(const ProgramPart& part)
{
    reserveOutputSlots(part);
    if (!compileInstructions(part)) {
        return false;
    }
    placeConstants(part);
    listFills(part);
    return true;
}

void CompiledProgram::reserveOutputSlots(const ProgramPart& part)
{
    for (const RegisterComponents& output : part.outputs) {
        slotFor(output.type, output.number);
    }
}

bool CompiledProgram::compileInstructions(const ProgramPart& part)
{
    for (const ExecutedInstruction& step : part.code) {
        if (!compileInstruction(step, part.constantsRead)) {
            return false;
        }
    }
    return true;
}

// Constants go after the lane registers, in the part's snapshot order: the
// operands that read them learn their places now.
void CompiledProgram::placeConstants(const ProgramPart& part)
{
    constantCount_ = static_cast<std::uint32_t>(part.constantsRead.size());
    constantBase_ = static_cast<std::uint32_t>(slots_.size()) * 4 * BatchLanes;
    for (const ConstantOperand& c : constantOperands_) {
        kernel::Instruction& k = code_[c.instruction];
        kernel::Source& source = c.isRow ? k.row[c.operand] : k.source[c.operand];
        for (std::uint32_t& component : source.component) {
            component += constantBase_ + static_cast<std::uint32_t>(c.index) * 4;
        }
    }
    fileSize_ = constantBase_ + constantCount_ * 4;
}

// What the file holds before the code runs, as the analysis says: outputs
// never written (0, 0, 0, w), inputs read but never declared 0, and
// temporaries read before they are written 0.
void CompiledProgram::listFills(const ProgramPart& part)
{
    for (const RegisterComponents& output : part.outputs) {
        const std::uint32_t offset = slot(output.type, output.number);
        for (std::uint32_t c = 0; c < 4; ++c) {
            if ((output.components & (1u << c)) == 0) {
                if (c == 3) {
                    outputWs_.push_back(offset + c * BatchLanes);
                } else {
                    fills_.push_back({offset + c * BatchLanes, 0.0f});
                }
            }
        }
    }
    for (const RegisterComponents& input : part.undeclaredInputsRead) {
        for (std::uint32_t c = 0; c < 4; ++c) {
            fills_.push_back({slot(input.type, input.number) + c * BatchLanes, 0.0f});
        }
    }
    for (const RegisterComponents& temporary : part.temporariesReadFirst) {
        for (std::uint32_t c = 0; c < 4; ++c) {
            if ((temporary.components & (1u << c)) != 0) {
                temporaryClears_.push_back(slot(temporary.type, temporary.number) + c * BatchLanes);
            }
        }
    }
}

template <typename Set>
void CompiledProgram::forEachPreset(Set set) const
{
    for (const Fill& f : fills_) {
        set(f.offset, f.value);
    }
    for (const std::uint32_t offset : outputWs_) {
        set(offset, unwrittenOutputW(type_));
    }
}

void CompiledProgram::prepareFile(float* file, const float* snapshot) const
{
    if (constantCount_ > 0) { // a part that reads no constant may be given no snapshot
        std::memcpy(file + constantBase_, snapshot, sizeof(float) * 4 * constantCount_);
    }
    forEachPreset([file](std::uint32_t offset, float value) { std::fill_n(file + offset, BatchLanes, value); });
}

void CompiledProgram::prepareRanges(ValueRange* ranges) const
{
    constexpr auto Lanes = static_cast<std::uint32_t>(BatchLanes);
    std::fill(ranges, ranges + rangeCount(), ValueRange::anything());
    forEachPreset([ranges](std::uint32_t offset, float value) { ranges[offset / Lanes] = ValueRange::exactly(value); });
    for (const std::uint32_t offset : temporaryClears_) {
        ranges[offset / Lanes] = ValueRange::exactly(0.0f);
    }
}

void CompiledProgram::clearTemporaries(float* file) const
{
    for (const std::uint32_t offset : temporaryClears_) {
        std::fill_n(file + offset, BatchLanes, 0.0f);
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

} // namespace shader

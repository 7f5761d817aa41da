#include "raster/vertex_routine.hpp"

#include <algorithm>
#include <cstring>

#include "raster/input_fetch.hpp"

namespace raster {
namespace {

using kernel::ChunkLanes;
using kernel::MaxWidth;
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
    case ResultShape::TextureSample: return false;
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

int swizzled(std::uint8_t swizzle, int component)
{
    return (swizzle >> (2 * component)) & 3;
}

std::uint32_t key(RegisterType type, std::uint32_t number)
{
    return static_cast<std::uint32_t>(type) << 16 | number;
}

float clampColour(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

std::uint32_t outcode(float x, float y, float z, float w)
{
    return (x < -w ? 1u : 0u) | (x > w ? 2u : 0u) | (y < -w ? 4u : 0u) | (y > w ? 8u : 0u) | (z < 0 ? 16u : 0u) |
           (z > w ? 32u : 0u);
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

VertexRoutine::VertexRoutine(const ShaderProgram& program, RoutineWidth width)
{
    const bool eight = width == RoutineWidth::Eight || (width == RoutineWidth::Best && hasEightLaneRoutine());
    width_ = eight && hasEightLaneRoutine() ? 8 : 4;
    compiled_ = program.type() == shader::ShaderType::Vertex && compile(program);
}

std::uint32_t VertexRoutine::slotOf(RegisterType type, std::uint32_t number)
{
    const std::uint32_t k = key(type, number);
    for (const auto& [slotKey, slot] : slots_) {
        if (slotKey == k) {
            return slot.offset;
        }
    }
    const std::uint32_t offset = static_cast<std::uint32_t>(slots_.size()) * 4 * ChunkLanes;
    slots_.push_back({k, Slot{offset, 0, 0}});
    return offset;
}

bool VertexRoutine::compile(const ShaderProgram& program)
{
    // The outputs first, so that gathering finds them whether written or not.
    positionOffset_ = slotOf(RegisterType::RastOut, 0);
    for (std::uint32_t n = 0; n < 2; ++n) {
        colourOffsets_[n] = slotOf(RegisterType::AttrOut, n);
    }
    for (std::uint32_t n = 0; n < 8; ++n) {
        texCoordOffsets_[n] = slotOf(RegisterType::TexCoordOut, n);
    }
    const std::vector<std::uint32_t>& constants = program.constantsRead();
    constantCount_ = static_cast<std::uint32_t>(constants.size());

    struct Use {
        std::uint32_t offset;
        std::uint8_t written = 0; // components written so far, in program order
        std::uint8_t cleared = 0; // components read before any write
    };
    std::vector<Use> uses;
    auto useOf = [&](std::uint32_t offset) -> Use& {
        for (Use& u : uses) {
            if (u.offset == offset) {
                return u;
            }
        }
        uses.push_back({offset});
        return uses.back();
    };
    // Constants are placed once the lane slots are known; their operands
    // are patched then.
    std::vector<std::pair<kernel::Source*, std::uint32_t>> constantOperands;
    auto operand = [&](const shader::SourceParameter& s, std::uint32_t row, bool scalar, int columns,
                       kernel::Source& out) {
        switch (s.modifier) {
        case shader::SourceModifier::None: out.modifier = kernel::Modifier::None; break;
        case shader::SourceModifier::Negate: out.modifier = kernel::Modifier::Negate; break;
        case shader::SourceModifier::Abs: out.modifier = kernel::Modifier::Abs; break;
        case shader::SourceModifier::AbsNegate: out.modifier = kernel::Modifier::AbsNegate; break;
        default: return false;
        }
        if (s.type == RegisterType::Const) {
            const std::uint32_t n = std::min(s.number + row, LastConstant);
            const auto at = std::lower_bound(constants.begin(), constants.end(), n);
            if (at == constants.end() || *at != n) {
                return false;
            }
            out.batchStep = 0;
            constantOperands.emplace_back(&out, static_cast<std::uint32_t>(at - constants.begin()));
            for (int i = 0; i < 4; ++i) {
                out.component[i] = static_cast<std::uint32_t>(swizzled(s.swizzle, i)) * MaxWidth; // patched below
            }
            return true;
        }
        if (s.type != RegisterType::Temp && s.type != RegisterType::Input) {
            return false;
        }
        const std::uint32_t offset = slotOf(s.type, s.number + row);
        Use& use = useOf(offset);
        out.batchStep = 1;
        for (int i = 0; i < 4; ++i) {
            const int c = swizzled(s.swizzle, i);
            out.component[i] = offset + static_cast<std::uint32_t>(c) * ChunkLanes;
            const bool read = scalar ? i == 3 : (columns == 0 || i < columns);
            if (read && (use.written & (1u << c)) == 0) {
                use.cleared |= static_cast<std::uint8_t>(1u << c);
            }
        }
        return true;
    };

    code_.reserve(program.code().size()); // the constant patches point into it
    for (const ShaderProgram::Step& step : program.code()) {
        const shader::DecodedInstruction& in = step.instruction;
        kernel::Instruction k = {};
        if (!operationOf(step, k.operation)) {
            return false;
        }
        const bool scalar = k.operation >= Operation::Rcp && k.operation <= Operation::Pow;
        k.rows = step.rule->rows;
        k.columns = step.rule->columns;
        k.sources = static_cast<std::uint8_t>(in.sourceCount);
        code_.push_back(k);
        kernel::Instruction& added = code_.back();
        const int columns = k.operation == Operation::Dot || k.operation == Operation::Matrix ? k.columns
                            : k.operation == Operation::Cross || k.operation == Operation::Normalize ? 3
                                                                                                      : 0;
        for (int s = 0; s < in.sourceCount && s < 3; ++s) {
            if (k.operation == Operation::Matrix && s == 1) {
                for (int r = 0; r < k.rows; ++r) {
                    if (!operand(in.sources[1], static_cast<std::uint32_t>(r), false, k.columns, added.row[r])) {
                        return false;
                    }
                }
                continue;
            }
            // Normalize reads all four components of its source (w is scaled too).
            const int read = k.operation == Operation::Normalize ? 0 : columns;
            if (!operand(in.sources[s], 0, scalar, read, added.source[s])) {
                return false;
            }
        }
        const shader::DestinationParameter& d = in.destination;
        const bool writable = d.type == RegisterType::Temp || (d.type == RegisterType::RastOut && d.number == 0) ||
                              (d.type == RegisterType::AttrOut && d.number < 2) ||
                              (d.type == RegisterType::TexCoordOut && d.number < 8);
        if (!writable) {
            return false;
        }
        added.destination = slotOf(d.type, d.number);
        added.mask = d.writeMask & step.rule->writableMask;
        added.saturate = (d.resultModifier & shader::ResultSaturate) != 0;
        useOf(added.destination).written |= added.mask;
    }
    constantBase_ = static_cast<std::uint32_t>(slots_.size()) * 4 * ChunkLanes;
    for (auto& [source, index] : constantOperands) {
        for (std::uint32_t& component : source->component) {
            component += constantBase_ + index * 4 * MaxWidth;
        }
    }
    fileSize_ = constantBase_ + constantCount_ * 4 * MaxWidth;
    for (auto& [slotKey, slot] : slots_) {
        const auto type = static_cast<RegisterType>(slotKey >> 16);
        const Use& use = useOf(slot.offset);
        if (type == RegisterType::Temp) {
            slot.clearMask = use.cleared;
        } else if (type == RegisterType::Input) {
            inputSlots_.push_back({slotKey & 0xFFFFu, slot.offset});
        } else {
            slot.defaultMask = static_cast<std::uint8_t>(~use.written & 0xF);
        }
    }
    return true;
}

namespace {

// Lanes [0, count) of one element from `bytes` (vertex 0 of the chunk),
// `stride` apart, every lane inside the stream: the common types without a
// per-lane switch.
void fetchInside(BYTE type, const std::uint8_t* bytes, std::uint32_t stride, std::int32_t count, float* to)
{
    const int floats = type <= D3DDECLTYPE_FLOAT4 ? static_cast<int>(type) + 1 : 0;
    if (floats > 0) {
        for (std::int32_t lane = 0; lane < count; ++lane) {
            float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            std::memcpy(value, bytes + static_cast<std::size_t>(lane) * stride, sizeof(float) * floats);
            for (int i = 0; i < 4; ++i) {
                to[i * ChunkLanes + lane] = value[i];
            }
        }
        return;
    }
    for (std::int32_t lane = 0; lane < count; ++lane) {
        float value[4];
        decodeElement(type, bytes + static_cast<std::size_t>(lane) * stride, value);
        for (int i = 0; i < 4; ++i) {
            to[i * ChunkLanes + lane] = value[i];
        }
    }
}

} // namespace

void VertexRoutine::fetchChunk(const VertexStageInput& input, std::int64_t first, std::int32_t count,
                               float* file) const
{
    for (const InputBinding& b : input.bindings) {
        std::uint32_t offset = ~0u;
        for (const InputSlot& s : inputSlots_) {
            if (s.inputRegister == b.inputRegister) {
                offset = s.offset;
            }
        }
        if (offset == ~0u) {
            continue; // the program never reads it
        }
        float* to = file + offset;
        const std::size_t size = d3d9::elementSize(b.type);
        auto byteOf = [&](std::int64_t vertex) {
            return static_cast<std::int64_t>(input.streamOffset) + vertex * input.stride + b.offset;
        };
        std::int32_t lane = 0;
        // Vertices ascend through the stream: when the first and the last
        // lie inside it, all do.
        if (size != 0 && count > 0 && first >= 0 && byteOf(first) >= 0 &&
            static_cast<std::size_t>(byteOf(first + count - 1)) + size <= input.streamSize) {
            fetchInside(b.type, input.stream + byteOf(first), input.stride, count, to);
            lane = count;
        }
        const std::int32_t lanesRun = (count + MaxWidth - 1) / MaxWidth * MaxWidth; // what the routine reads
        for (; lane < lanesRun; ++lane) {
            const std::int64_t vertex = first + lane;
            const std::int64_t at = byteOf(vertex);
            float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            if (lane < count && size != 0 && vertex >= 0 && at >= 0 &&
                static_cast<std::size_t>(at) + size <= input.streamSize) {
                decodeElement(b.type, input.stream + at, value);
            }
            for (int i = 0; i < 4; ++i) {
                to[i * ChunkLanes + lane] = value[i];
            }
        }
    }
}

std::uint32_t VertexRoutine::gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count,
                                         ShadedVertex* out) const
{
    std::uint32_t common = 63;
    const float* position = file + positionOffset_;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        ShadedVertex& v = out[lane];
        for (int i = 0; i < 4; ++i) {
            v.position[i] = position[i * ChunkLanes + lane];
        }
        common &= outcode(v.position[0], v.position[1], v.position[2], v.position[3]);
        for (std::size_t k = 0; k < input.varyings.size(); ++k) {
            const VaryingSource& source = input.varyings[k];
            const float* r = file + (source.colour ? colourOffsets_[source.number] : texCoordOffsets_[source.number]);
            for (int i = 0; i < 4; ++i) {
                const float value = r[i * ChunkLanes + lane];
                v.varyings[k][i] = source.colour ? clampColour(value) : value;
            }
        }
    }
    return common;
}

std::uint32_t VertexRoutine::shade(const VertexStageInput& input, const float* snapshot,
                                   std::vector<ShadedVertex>& out, std::vector<float>& file) const
{
    const std::int32_t vertexCount = std::max(input.vertexCount, 0);
    out.resize(static_cast<std::size_t>(vertexCount));
    if (file.size() < fileSize_) {
        file.resize(fileSize_);
    }
    float* f = file.data();
    for (std::uint32_t k = 0; k < constantCount_; ++k) {
        for (int c = 0; c < 4; ++c) {
            std::fill_n(f + constantBase_ + (k * 4 + static_cast<std::uint32_t>(c)) * MaxWidth, MaxWidth,
                        snapshot[4 * k + static_cast<std::uint32_t>(c)]);
        }
    }
    for (const auto& [slotKey, slot] : slots_) {
        for (int c = 0; c < 4; ++c) {
            if ((slot.defaultMask & (1 << c)) != 0) {
                std::fill_n(f + slot.offset + c * ChunkLanes, ChunkLanes, c == 3 ? 1.0f : 0.0f);
            }
        }
    }
    for (const InputSlot& s : inputSlots_) {
        const bool bound = std::any_of(input.bindings.begin(), input.bindings.end(),
                                       [&](const InputBinding& b) { return b.inputRegister == s.inputRegister; });
        if (!bound) {
            std::fill_n(f + s.offset, 4 * ChunkLanes, 0.0f); // read but never declared: 0
        }
    }
    std::uint32_t common = 63;
    for (std::int32_t first = 0; first < vertexCount; first += ChunkLanes) {
        const std::int32_t count = std::min(ChunkLanes, vertexCount - first);
        for (const auto& [slotKey, slot] : slots_) {
            for (int c = 0; c < 4; ++c) {
                if ((slot.clearMask & (1 << c)) != 0) {
                    std::fill_n(f + slot.offset + c * ChunkLanes, ChunkLanes, 0.0f);
                }
            }
        }
        fetchChunk(input, input.firstVertex + first, count, f);
        const std::int32_t batches = (count + width_ - 1) / width_;
        if (width_ == 8) {
            kernel::runAvx2Width8(code_.data(), code_.size(), f, batches);
        } else {
            kernel::runWidth4(code_.data(), code_.size(), f, batches);
        }
        common &= gatherChunk(input, f, count, out.data() + first);
    }
    return vertexCount > 0 ? common : 0;
}

} // namespace raster

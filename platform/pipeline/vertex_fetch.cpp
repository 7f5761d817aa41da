#include "pipeline/vertex_fetch.hpp"

#include <cstring>

#include "shader/program_kernel.hpp"

namespace pipeline {

void decodeElement(BYTE type, const std::uint8_t* bytes, float out[4])
{
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, bytes, elementSize(type));
        break;
    case D3DDECLTYPE_D3DCOLOR:
        out[0] = static_cast<float>(bytes[2]) / 255.0f; // bytes are b, g, r, a in memory
        out[1] = static_cast<float>(bytes[1]) / 255.0f;
        out[2] = static_cast<float>(bytes[0]) / 255.0f;
        out[3] = static_cast<float>(bytes[3]) / 255.0f;
        break;
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i) {
            out[i] = type == D3DDECLTYPE_UBYTE4 ? static_cast<float>(bytes[i]) : static_cast<float>(bytes[i]) / 255.0f;
        }
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++i) {
            std::int16_t value;
            std::memcpy(&value, bytes + 2 * i, 2);
            out[i] = static_cast<float>(value);
        }
        break;
    default:
        break;
    }
}

namespace {

using shader::BatchLanes;

void setDefault(shader::ShaderMachine& machine, std::uint32_t reg, std::int32_t lane)
{
    for (int i = 0; i < 4; ++i) {
        machine.inputs[reg].c[i][lane] = i == 3 ? 1.0f : 0.0f;
    }
}

// Lanes [0, count) of one element from `bytes` (vertex 0 of the run),
// `stride` apart, every lane inside the stream: the common types without a
// per-lane switch.
template <int Floats>
void fetchFloats(const std::uint8_t* bytes, std::uint32_t stride, std::int32_t count, float* to)
{
    for (std::int32_t lane = 0; lane < count; ++lane) {
        const std::uint8_t* from = bytes + static_cast<std::size_t>(lane) * stride;
        for (int i = 0; i < 4; ++i) {
            float value = i == 3 ? 1.0f : 0.0f;
            if (i < Floats) {
                std::memcpy(&value, from + 4 * i, sizeof value);
            }
            to[i * BatchLanes + lane] = value;
        }
    }
}

void fetchInside(BYTE type, const std::uint8_t* bytes, std::uint32_t stride, std::int32_t count, float* to)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: fetchFloats<1>(bytes, stride, count, to); return;
    case D3DDECLTYPE_FLOAT2: fetchFloats<2>(bytes, stride, count, to); return;
    case D3DDECLTYPE_FLOAT3: fetchFloats<3>(bytes, stride, count, to); return;
    case D3DDECLTYPE_FLOAT4: fetchFloats<4>(bytes, stride, count, to); return;
    default: break;
    }
    for (std::int32_t lane = 0; lane < count; ++lane) {
        float value[4];
        decodeElement(type, bytes + static_cast<std::size_t>(lane) * stride, value);
        for (int i = 0; i < 4; ++i) {
            to[i * BatchLanes + lane] = value[i];
        }
    }
}

// Where an element of a vertex starts in the buffer (may lie outside it).
std::int64_t byteOf(const VertexStream& stream, const InputBinding& b, std::int64_t vertex)
{
    return static_cast<std::int64_t>(stream.offset) + vertex * stream.stride + b.offset;
}

bool insideStream(const VertexStream& stream, std::int64_t at, std::size_t size)
{
    return size != 0 && at >= 0 && static_cast<std::size_t>(at) + size <= stream.size;
}

} // namespace

void fetchVertices(std::span<const InputBinding> bindings, const VertexStream& stream, std::int64_t first,
                   std::int32_t count, shader::ShaderMachine& machine)
{
    for (std::int32_t lane = 0; lane < shader::BatchLanes; ++lane) {
        const std::int64_t vertex = first + lane;
        for (const InputBinding& b : bindings) {
            const std::size_t size = elementSize(b.type);
            const std::int64_t at = byteOf(stream, b, vertex);
            if (lane >= count || vertex < 0 || !insideStream(stream, at, size)) {
                setDefault(machine, b.inputRegister, lane);
                continue;
            }
            float value[4];
            decodeElement(b.type, stream.bytes + at, value);
            for (int i = 0; i < 4; ++i) {
                machine.inputs[b.inputRegister].c[i][lane] = value[i];
            }
        }
    }
}

void fetchVerticesIntoFile(std::span<const InputBinding> bindings, const std::uint32_t* offsets,
                           const VertexStream& stream, std::int64_t first, std::int32_t count, float* file)
{
    for (const InputBinding& b : bindings) {
        const std::uint32_t offset =
            b.inputRegister < static_cast<std::uint32_t>(shader::VertexInputRegisters) ? offsets[b.inputRegister] : ~0u;
        if (offset == ~0u) {
            continue; // the program never reads it
        }
        float* to = file + offset;
        const std::size_t size = elementSize(b.type);
        std::int32_t lane = 0;
        // Vertices ascend through the stream: when the first and the last
        // lie inside it, all do.
        if (count > 0 && first >= 0 && byteOf(stream, b, first) >= 0 &&
            insideStream(stream, byteOf(stream, b, first + count - 1), size)) {
            fetchInside(b.type, stream.bytes + byteOf(stream, b, first), stream.stride, count, to);
            lane = count;
        }
        const std::int32_t lanesRun = (count + shader::kernel::MaxWidth - 1) / shader::kernel::MaxWidth *
                                      shader::kernel::MaxWidth; // what the routine reads
        for (; lane < lanesRun; ++lane) {
            const std::int64_t vertex = first + lane;
            float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            if (lane < count && vertex >= 0 && insideStream(stream, byteOf(stream, b, vertex), size)) {
                decodeElement(b.type, stream.bytes + byteOf(stream, b, vertex), value);
            }
            for (int i = 0; i < 4; ++i) {
                to[i * BatchLanes + lane] = value[i];
            }
        }
    }
}

} // namespace pipeline

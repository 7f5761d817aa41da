#include "raster/vertex_routine.hpp"

#include <algorithm>
#include <cstring>

#include "raster/input_fetch.hpp"

namespace raster {
namespace {

using kernel::ChunkLanes;
using kernel::MaxWidth;
using shader::RegisterType;

} // namespace

VertexRoutine::VertexRoutine(const ShaderProgram& program, RoutineWidth width)
    : program_(program, width), slice_(program, width, true)
{
    for (std::uint32_t n = 0; n < 16; ++n) {
        inputOffsets_[n] = program_.slot(RegisterType::Input, n);
        sliceInputOffsets_[n] = slice_.slot(RegisterType::Input, n);
    }
    slicePositionOffset_ = slice_.slot(RegisterType::RastOut, 0);
    positionOffset_ = program_.slot(RegisterType::RastOut, 0);
    for (std::uint32_t n = 0; n < 2; ++n) {
        colourOffsets_[n] = program_.slot(RegisterType::AttrOut, n);
    }
    for (std::uint32_t n = 0; n < 8; ++n) {
        texCoordOffsets_[n] = program_.slot(RegisterType::TexCoordOut, n);
    }
}

namespace {

// Lanes [0, count) of one element from `bytes` (vertex 0 of the chunk),
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
            to[i * ChunkLanes + lane] = value;
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
            to[i * ChunkLanes + lane] = value[i];
        }
    }
}

// Vertices first .. first + count - 1 into the v registers that have slots
// (offsets by register number; ~0u for those the program never reads).
void fetchChunk(const VertexStageInput& input, const std::uint32_t* offsets, std::int64_t first, std::int32_t count,
                float* file)
{
    for (const InputBinding& b : input.bindings) {
        const std::uint32_t offset = b.inputRegister < 16 ? offsets[b.inputRegister] : ~0u;
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

} // namespace

void VertexRoutine::gatherChunk(const VertexStageInput& input, const float* file, std::int32_t count,
                                ShadedVertex* out) const
{
    const float* position = file + positionOffset_;
    for (std::int32_t lane = 0; lane < count; ++lane) {
        ShadedVertex& v = out[lane];
        for (int i = 0; i < 4; ++i) {
            v.position[i] = position[i * ChunkLanes + lane];
        }
        for (std::size_t k = 0; k < input.varyings.size(); ++k) {
            const VaryingSource& source = input.varyings[k];
            const float* r = file + (source.colour ? colourOffsets_[source.number] : texCoordOffsets_[source.number]);
            for (int i = 0; i < 4; ++i) {
                const float value = r[i * ChunkLanes + lane];
                v.varyings[k][i] = source.colour ? clampColour(value) : value;
            }
        }
    }
}

std::uint32_t VertexRoutine::shade(const VertexStageInput& input, const float* snapshot,
                                   std::vector<ShadedVertex>& out, std::vector<float>& file) const
{
    const std::int32_t vertexCount = std::max(input.vertexCount, 0);
    out.resize(static_cast<std::size_t>(vertexCount));
    if (file.size() < std::max(program_.fileSize(), slice_.fileSize())) {
        file.resize(std::max(program_.fileSize(), slice_.fileSize()));
    }
    float* f = file.data();
    if (vertexCount == 0) {
        return 0;
    }
    const std::uint32_t outside = commonOutcode(input, snapshot, f);
    if (outside != 0) {
        return outside;
    }
    program_.prepareFile(f, snapshot, 1.0f);
    for (std::int32_t first = 0; first < vertexCount; first += ChunkLanes) {
        const std::int32_t count = std::min(ChunkLanes, vertexCount - first);
        program_.clearTemporaries(f);
        fetchChunk(input, inputOffsets_, input.firstVertex + first, count, f);
        program_.run(f, count, nullptr);
        gatherChunk(input, f, count, out.data() + first);
    }
    return 0;
}

std::uint32_t VertexRoutine::commonOutcode(const VertexStageInput& input, const float* snapshot, float* file) const
{
    slice_.prepareFile(file, snapshot, 1.0f);
    std::uint32_t common = 63;
    for (std::int32_t first = 0; first < input.vertexCount && common != 0; first += ChunkLanes) {
        const std::int32_t count = std::min(ChunkLanes, input.vertexCount - first);
        slice_.clearTemporaries(file);
        fetchChunk(input, sliceInputOffsets_, input.firstVertex + first, count, file);
        slice_.run(file, count, nullptr);
        const float* p = file + slicePositionOffset_;
        for (std::int32_t lane = 0; lane < count; ++lane) {
            common &= clipOutcode(p[lane], p[ChunkLanes + lane], p[2 * ChunkLanes + lane], p[3 * ChunkLanes + lane]);
        }
    }
    return common;
}

} // namespace raster

#include "raster/input_fetch.hpp"

#include <cstring>

namespace raster {

using d3d9::elementSize;

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

void setDefault(ShaderMachine& machine, std::uint32_t reg, std::int32_t lane)
{
    for (int i = 0; i < 4; ++i) {
        machine.inputs[reg].c[i][lane] = i == 3 ? 1.0f : 0.0f;
    }
}

} // namespace

void fetchVertices(std::span<const InputBinding> bindings, const std::uint8_t* stream, std::size_t streamSize,
                   std::size_t streamOffset, std::uint32_t stride, std::int64_t first, std::int32_t count,
                   ShaderMachine& machine)
{
    for (std::int32_t lane = 0; lane < LaneCount; ++lane) {
        const std::int64_t vertex = first + lane;
        for (const InputBinding& b : bindings) {
            const std::size_t size = elementSize(b.type);
            const std::int64_t at = static_cast<std::int64_t>(streamOffset) + vertex * stride + b.offset;
            if (lane >= count || size == 0 || vertex < 0 || at < 0 ||
                static_cast<std::size_t>(at) + size > streamSize) {
                setDefault(machine, b.inputRegister, lane);
                continue;
            }
            float value[4];
            decodeElement(b.type, stream + at, value);
            for (int i = 0; i < 4; ++i) {
                machine.inputs[b.inputRegister].c[i][lane] = value[i];
            }
        }
    }
}

} // namespace raster

#include "raster/input_fetch.hpp"

#include <cstring>

namespace raster {
namespace {

std::size_t elementSize(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1: return 4;
    case D3DDECLTYPE_FLOAT2: return 8;
    case D3DDECLTYPE_FLOAT3: return 12;
    case D3DDECLTYPE_FLOAT4: return 16;
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2: return 4;
    case D3DDECLTYPE_SHORT4: return 8;
    default: return 0;
    }
}

// One element's four components from its bytes.
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

void setDefault(ShaderMachine& machine, std::uint32_t reg, std::int32_t lane)
{
    for (int i = 0; i < 4; ++i) {
        machine.inputs[reg].c[i][lane] = i == 3 ? 1.0f : 0.0f;
    }
}

} // namespace

bool supportedElementType(BYTE type)
{
    return elementSize(type) != 0;
}

std::vector<InputBinding> bindInputs(const std::vector<D3DVERTEXELEMENT9>& elements, const ShaderProgram& program)
{
    std::vector<InputBinding> bindings;
    for (const DeclaredInput& input : program.inputs()) {
        if (input.type != shader::RegisterType::Input || input.number >= 16) {
            continue;
        }
        InputBinding binding{input.number, D3DDECLTYPE_UNUSED, 0};
        for (const D3DVERTEXELEMENT9& e : elements) {
            if (e.Stream == 0xFF) {
                break;
            }
            if (e.Stream == 0 && e.Usage == static_cast<BYTE>(input.usage) && e.UsageIndex == input.usageIndex) {
                binding.type = e.Type;
                binding.offset = e.Offset;
                break;
            }
        }
        bindings.push_back(binding);
    }
    return bindings;
}

std::vector<D3DVERTEXELEMENT9> elementsFromFvf(DWORD fvf)
{
    std::vector<D3DVERTEXELEMENT9> elements;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        elements.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = static_cast<WORD>(offset + elementSize(type));
    };
    if ((fvf & 0x00E) == D3DFVF_XYZ) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    }
    if ((fvf & D3DFVF_NORMAL) != 0) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    }
    if ((fvf & D3DFVF_DIFFUSE) != 0) {
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    }
    if ((fvf & 0x080) != 0) { // D3DFVF_SPECULAR
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    }
    const DWORD pairs = (fvf >> 8) & 0xF;
    for (DWORD k = 0; k < pairs && k < 8; ++k) {
        add(D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(k));
    }
    elements.push_back(D3DDECL_END());
    return elements;
}

void fetchVertices(const std::vector<InputBinding>& bindings, const std::uint8_t* stream, std::size_t streamSize,
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

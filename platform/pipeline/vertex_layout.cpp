#include "pipeline/vertex_layout.hpp"

#include "pipeline/draw_linkage.hpp"

#include "shader/opcode_table.hpp"

namespace pipeline {

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

std::vector<InputBinding> bindInputs(const std::vector<D3DVERTEXELEMENT9>& elements,
                                     const std::vector<shader::DeclaredInput>& inputs)
{
    std::vector<InputBinding> bindings;
    for (const shader::DeclaredInput& input : inputs) {
        if (input.type != shader::RegisterType::Input) {
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

std::shared_ptr<const DrawLinkage> linkDraw(const std::vector<D3DVERTEXELEMENT9>& elements,
                                            const shader::ProgramAnalysis& vertexProgram,
                                            const shader::ProgramAnalysis& pixelProgram)
{
    auto linkage = std::make_shared<DrawLinkage>();
    linkage->bindings = bindInputs(elements, vertexProgram.inputs);
    linkage->varyings = pixelProgram.varyings;
    const shader::AffinePosition& affine = vertexProgram.affinePosition;
    for (std::size_t i = 0; affine.found && i < linkage->bindings.size(); ++i) {
        if (linkage->bindings[i].inputRegister == affine.input) {
            linkage->position = static_cast<std::ptrdiff_t>(i);
        }
    }
    return linkage;
}

} // namespace pipeline

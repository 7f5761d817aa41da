// Vertex input fetch: the declaration's elements bound to the vertex
// program's declared inputs by usage and usage index, and the reading of a
// batch of vertices into the v registers.
//
// Components a type does not carry read as Direct3D 9's defaults: FLOAT1
// gives (x, 0, 0, 1), FLOAT2 (x, y, 0, 1), FLOAT3 (x, y, z, 1). D3DCOLOR is
// red, green, blue, alpha from bits 16, 8, 0 and 24, each divided by 255.
// A declared input that no element feeds reads (0, 0, 0, 1). Bytes are read
// with memcpy; a vertex that runs past the end of its buffer reads (0, 0, 0, 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d3d9.h"
#include "raster/shader_vm.hpp"

namespace raster {

struct InputBinding {
    std::uint32_t inputRegister; // v number
    BYTE type;                   // D3DDECLTYPE, or D3DDECLTYPE_UNUSED for an unfed input
    WORD offset;                 // bytes from the start of the vertex
};

// Whether the element type is one the device reads.
bool supportedElementType(BYTE type);
// The bindings of a vertex program's inputs to a declaration's elements
// (stream 0; the end marker ends the list).
std::vector<InputBinding> bindInputs(const std::vector<D3DVERTEXELEMENT9>& elements, const ShaderProgram& program);
// The declaration an FVF code stands for (position, normal, diffuse, one to
// eight texture coordinate pairs), end marker included.
std::vector<D3DVERTEXELEMENT9> elementsFromFvf(DWORD fvf);

// Reads vertices first .. first + count - 1 (count <= LaneCount) of a
// stream into machine.inputs, lane by lane.
void fetchVertices(const std::vector<InputBinding>& bindings, const std::uint8_t* stream, std::size_t streamSize,
                   std::size_t streamOffset, std::uint32_t stride, std::int64_t first, std::int32_t count,
                   ShaderMachine& machine);

} // namespace raster

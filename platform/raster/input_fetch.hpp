// Vertex input fetch: the reading of a batch of vertices into the v
// registers, through the bindings the shared vertex layout code made.
//
// Components a type does not carry read as Direct3D 9's defaults: FLOAT1
// gives (x, 0, 0, 1), FLOAT2 (x, y, 0, 1), FLOAT3 (x, y, z, 1). D3DCOLOR is
// red, green, blue, alpha from bits 16, 8, 0 and 24, each divided by 255.
// A declared input that no element feeds reads (0, 0, 0, 1). Bytes are read
// with memcpy; a vertex that runs past the end of its buffer reads (0, 0, 0, 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "d3d9.h"
#include "d3d9/vertex_layout.hpp"
#include "raster/shader_vm.hpp"

namespace raster {

using d3d9::InputBinding;

// One element's four components from its bytes (elementSize(type) of them).
void decodeElement(BYTE type, const std::uint8_t* bytes, float out[4]);

// Reads vertices first .. first + count - 1 (count <= LaneCount) of a
// stream into machine.inputs, lane by lane.
void fetchVertices(std::span<const InputBinding> bindings, const std::uint8_t* stream, std::size_t streamSize,
                   std::size_t streamOffset, std::uint32_t stride, std::int64_t first, std::int32_t count,
                   ShaderMachine& machine);

} // namespace raster

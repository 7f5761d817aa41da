// Vertex input fetch: the reading of a run of vertices into the v registers
// of a program run on the CPU (the shader machine's, or a compiled
// routine's file), through the bindings the shared vertex layout code made.
// The front end (for its test of draws that reach no pixel) and the
// software back end read vertices through it.
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
#include "pipeline/vertex_layout.hpp"
#include "shader/shader_machine.hpp"

namespace pipeline {

// One element's four components from its bytes (elementSize(type) of them).
void decodeElement(BYTE type, const std::uint8_t* bytes, float out[4]);

// A vertex stream as a draw reads it.
struct VertexStream {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;   // bytes
    std::size_t offset = 0; // of vertex 0
    std::uint32_t stride = 0;
};

// Reads vertices first .. first + count - 1 (count <= BatchLanes) of a
// stream into machine.inputs, lane by lane.
void fetchVertices(std::span<const InputBinding> bindings, const VertexStream& stream, std::int64_t first,
                   std::int32_t count, shader::ShaderMachine& machine);

// Reads vertices first .. first + count - 1 (count <= shader::BatchLanes)
// into the v registers of a compiled routine's file that have slots
// (offsets by register number; ~0u for those it never reads), lanes up to
// the next multiple of the widest routine included (as (0, 0, 0, 1)).
void fetchVerticesIntoFile(std::span<const InputBinding> bindings, const std::uint32_t* offsets,
                           const VertexStream& stream, std::int64_t first, std::int32_t count, float* file);

} // namespace pipeline

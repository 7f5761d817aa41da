// Vertex layouts, shared by every back end: the size of each element type
// the runtime reads, the declaration an FVF code stands for, and the binding
// of a vertex program's declared inputs to a layout's elements by usage and
// usage index (stream 0; the end marker ends the list).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "d3d9.h"
#include "shader/program_analysis.hpp"

namespace pipeline {

// Where an input's data lies; type D3DDECLTYPE_UNUSED for an input no
// element feeds, which reads (0, 0, 0, 1).
struct InputBinding {
    std::uint32_t inputRegister;
    BYTE type;
    WORD offset; // bytes from the start of the vertex
};

constexpr std::size_t MaxDeclarationElements = 65; // MAXD3DDECLLENGTH (64) and the end marker

// Bytes an element of this type takes; 0 for a type the runtime does not read.
std::size_t elementSize(BYTE type);
// The declaration an FVF code stands for (position, normal, diffuse,
// specular, one to eight texture coordinate pairs), end marker included.
std::vector<D3DVERTEXELEMENT9> elementsFromFvf(DWORD fvf);
// The bindings of a vertex program's declared inputs (its analysis's), in
// declaration order.
std::vector<InputBinding> bindInputs(const std::vector<D3DVERTEXELEMENT9>& elements,
                                     const std::vector<shader::DeclaredInput>& inputs);

} // namespace pipeline

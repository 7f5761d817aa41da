// The facts of a draw that follow from its vertex layout and its programs
// alone, worked out once (by the front end, when the declaration or either
// program changes) and read by every back end: the layout's elements bound
// to the vertex program's inputs, the varyings in the order the pixel
// program's inputs are numbered, and the binding of the input an affine
// position is made from. And the width of an index, from its format.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "d3d9.h"
#include "pipeline/vertex_layout.hpp"
#include "shader/program_analysis.hpp"

namespace pipeline {

struct DrawLinkage {
    std::vector<InputBinding> bindings;    // the vertex program's inputs, in declaration order
    std::vector<shader::Varying> varyings; // the pixel program's inputs, in order
    // The element an affine position (shader::AffinePosition) is made
    // from: an index into bindings, or -1 where the position is not affine
    // or no element feeds it.
    std::ptrdiff_t position = -1;

    const InputBinding* positionBinding() const
    {
        return position < 0 ? nullptr : &bindings[static_cast<std::size_t>(position)];
    }
};

std::shared_ptr<const DrawLinkage> linkDraw(const std::vector<D3DVERTEXELEMENT9>& elements,
                                            const shader::ProgramAnalysis& vertexProgram,
                                            const shader::ProgramAnalysis& pixelProgram);

// Bytes an index of this format takes: 4 for INDEX32, else 2.
constexpr std::size_t indexBytes(D3DFORMAT format)
{
    return format == D3DFMT_INDEX32 ? 4 : 2;
}

} // namespace pipeline

// The test of draws that can reach no pixel, for a back end that does not
// shade every vertex on the CPU anyway (the null back end, OpenGL): a draw
// whose every vertex lies outside one and the same plane of the clip
// volume (-w <= x <= w, -w <= y <= w, 0 <= z <= w) goes no further. Most of
// this program's draws on most frames are such.
//
// The bounds decide first (position_bounds.hpp); where they do not, the
// vertex program's position slice, compiled, runs over the draw's vertex
// range.
//
// With the exact margin (positions that are the shader machine's bits) a
// vertex is outside a plane as the clip planes' outcode says. For a back
// end whose hardware computes positions with its own roundings (OpenGL,
// WebGL), a vertex counts as outside a plane only when it lies beyond it by
// more than
//   8 n u (M_a + M_w) + s,
// u = 2^-24, where n is the most roundings on any path to the position
// (the slice's own, from its analysis, plus those the back end states for
// what its hardware does after it), M_a and M_w are the magnitudes of the
// terms of the plane's coordinate and of w (the slice run over absolute
// values), and s is, for the side planes, one pixel of the viewport
// (|w| * 2 / size: the half-pixel shift and the samples' half-pixel reach),
// and 2^-100 besides (denormals flushed to 0).
// Why that is enough: each single-precision evaluation of the slice, ours
// and the hardware's, rounding every operation or fusing some, lies within
// gamma(n) M = n u M / (1 - n u) of the exact value, so the two differ by at
// most 2 gamma(n) M <= 4 n u M; the factor two beyond that covers the
// magnitudes' own rounding. A slice whose error the magnitudes do not bound
// (reciprocals, powers, comparisons) never stops a draw on such a back end.
// A NaN coordinate lies beyond every plane it reaches (clip_planes.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pipeline/position_bounds.hpp"
#include "pipeline/vertex_fetch.hpp"
#include "shader/compiled_program.hpp"
#include "shader/program_kernel.hpp"

namespace pipeline {

// A vertex program as the culling reads it.
struct CullingProgram {
    const shader::ProgramAnalysis* analysis = nullptr;
    const shader::CompiledProgram* slice = nullptr;     // the position slice; NULL or not compiled: never stops
    const shader::CompiledProgram* magnitude = nullptr; // its magnitudes; NULL: the error is not bounded
};

// One draw as the culling reads it.
struct CullingDraw {
    CullingProgram program;
    std::span<const InputBinding> bindings; // the program's inputs in the draw's layout
    const InputBinding* position = nullptr; // of those, what an affine position is made from (the linkage's)
    VertexRun run;
    const float* constants = nullptr;       // the vertex constants, 4 floats a register
    CullingMargin margin;
};

// The planes a position lies outside of by more than a hardware margin,
// given the magnitudes of its components' terms, the roundings on their
// paths (the program's and the hardware's) and the viewport's size in
// pixels. 0 when the roundings bound nothing.
std::uint32_t outcodeWithMargin(const float position[4], const float magnitude[4], std::uint32_t roundings,
                                double viewportWidth, double viewportHeight);

class ViewCulling {
public:
    // Whether no vertex of the draw's range can be seen: all outside one
    // plane (by the margin unless it is exact).
    bool reachesNoPixel(const CullingDraw& draw);
    // The bounds' test alone: true when they decide that no vertex can be
    // seen (false: they do not decide).
    bool boundsStop(const CullingDraw& draw);

private:
    // The planes every vertex of one chunk lies outside of.
    std::uint32_t chunkOutcode(const CullingDraw& draw, std::int64_t first, std::int32_t count);
    void bindSlice(const CullingDraw& draw);
    void putLargestInputsInLaneZero(std::int32_t count);
    void runMagnitudes(const shader::CompiledProgram& magnitude, std::int32_t count);
    std::uint32_t planesBeyondMargin(std::uint32_t common, const CullingMargin& margin, std::uint32_t roundings,
                                     std::int32_t count, bool laneZero);

    InputBounds bounds_;
    std::uint32_t sliceInputs_[shader::VertexInputRegisters] = {}; // v registers' slots in the slice's file; ~0u: never read
    std::vector<float> snapshot_;        // the constants the slice reads
    std::vector<float> file_;            // the slice's registers, and then the magnitudes'
    float positions_[4 * shader::BatchLanes] = {}; // the chunk's positions while the magnitudes run
    std::uint32_t positionOffset_ = 0;             // oPos's slot
};

} // namespace pipeline

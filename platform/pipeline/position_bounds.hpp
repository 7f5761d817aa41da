// Culling from bounds: the box the position input of a draw's vertex range
// takes, kept per buffer content, and the test of that box's image under
// an affine position slice (shader::AffinePosition) against the planes of
// the clip volume. Most draws far outside the view are decided here, for
// the price of a min and max over their positions and a few products,
// before any vertex is shaded; the others go to the per-vertex test.
//
// Why a draw stopped here is stopped by the per-vertex test too. The
// position is affine, p(v) = C v, so each plane's distance d(v) (-z, z - w,
// -x - w, x - w, -y - w, y - w: positive beyond it) is linear in v and its
// least value over the box is found at a corner, term by term. Any single
// precision evaluation of the slice with k = positionRoundings roundings
// on a path lies within gamma(k) M(v) of the exact value, M(v) the sum of
// the magnitudes of the terms (for x: sum |c_xj| |v_j|); over the box M is
// at most sum |c_j| max(|low_j|, |high_j|).
// - The exact test (a back end whose positions are these bits) stops a
//   vertex beyond a plane when its computed distance is positive. The
//   computed distance is at least d(v) - gamma(k) (M_a + M_w), so
//   min d > gamma(k) max (M_a + M_w) is enough.
// - The hardware margin (view_culling.hpp) asks the computed distance to
//   exceed 8 n u (M'_a + M'_w) + |w'| pixel + 2^-100, n = k + the back end's
//   roundings, where M' and w' are the computed magnitudes and w, each at
//   most (1 + gamma(k)) times the exact; so min d > (gamma(k) + 8 n u (1 +
//   gamma(k))) max (M_a + M_w) + (1 + gamma(k)) pixel max M_w + 2^-100 is
//   enough.
// Both add 2^-40 max (M_a + M_w) for the roundings of this test itself, in
// double precision (products of floats are exact there; a dozen sums round
// by 2^-53 each). A box or constant that is not finite decides nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "pipeline/vertex_fetch.hpp"
#include "pipeline/vertex_layout.hpp"
#include "shader/program_analysis.hpp"
#include "shader/rounding.hpp"

namespace pipeline {

// The least and greatest value of each component of one input over a run
// of vertices, as the vertex fetch reads them (vertices past the end of
// the stream read (0, 0, 0, 1)).
struct InputBox {
    float low[4];
    float high[4];
};

// The run of vertices a draw reaches, in a stream whose contents are named
// by `content`: a number that changes whenever they change (0: unnamed,
// never kept).
struct VertexRun {
    VertexStream stream;
    std::uint64_t content = 0;
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// The box of one input over a run, worked out once per content: a table of
// the runs seen, each entry standing until the stream's content changes.
class InputBounds {
public:
    // False when a value the run reads is not finite.
    bool boxOf(const VertexRun& run, const InputBinding& binding, InputBox& box);

private:
    struct Entry {
        std::int64_t first = 0;
        std::int64_t count = 0;
        std::size_t offset = 0;
        std::uint32_t stride = 0;
        WORD elementOffset = 0;
        BYTE type = 0;
        bool finite = false;
        InputBox box;
    };
    std::size_t slotOf(const VertexRun& run) const;

    static constexpr std::size_t Slots = 8192;
    std::vector<std::uint64_t> stamps_ = std::vector<std::uint64_t>(Slots); // each entry's content; 0: empty
    std::vector<Entry> entries_ = std::vector<Entry>(Slots);
};

// Works out the box without keeping it (tests compare the kept one with it).
bool measureInputBox(const VertexRun& run, const InputBinding& binding, InputBox& box);

constexpr double FlushedDenormals = 0x1p-100; // what some hardware flushes to 0: far below any position seen

// The factor of the magnitudes in the hardware margin for n roundings,
// 8 n u (view_culling.hpp); false where n u >= 1/4, which bounds nothing.
inline bool hardwareRoundingFactor(double n, double& factor)
{
    factor = 8.0 * n * shader::rounding::Unit;
    return n * shader::rounding::Unit < 0.25;
}

// What a test keeps between a position and a plane: exact (the back end's
// positions are the shader machine's bits) or a hardware margin.
struct CullingMargin {
    bool exact = true;
    std::uint32_t hardwareRoundings = 0; // roundings the back end adds after the program
    double viewportWidth = 1.0;          // pixels, for the side planes' slack
    double viewportHeight = 1.0;
};

// A plane (its bit) that every position of the box's image lies beyond (by
// more than the margin), given the program's affine slice, its roundings
// and the vertex constants (4 floats a register); the first in the planes'
// order. 0 when nothing is decided.
std::uint32_t planeBeyondBox(const shader::AffinePosition& affine, std::uint32_t roundings, const float* constants,
                              const InputBox& box, const CullingMargin& margin);

} // namespace pipeline

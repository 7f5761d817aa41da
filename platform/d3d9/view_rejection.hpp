// The front end's test of draws that can reach no pixel, for every back
// end: the bound vertex program's position slice, compiled, over the draw's
// vertex range; a draw whose every vertex lies outside one and the same
// plane of the clip volume (-w <= x <= w, -w <= y <= w, 0 <= z <= w) goes
// no further. Most of this program's draws on most frames are such.
//
// A back end whose positions are the shader machine's bits (the software
// back end) is given the exact test. For one whose hardware computes
// positions with its own roundings (OpenGL, WebGL), a vertex counts as
// outside a plane only when it lies beyond it by more than
//   8 n u (M_a + M_w) + s,
// u = 2^-24, where n is the most roundings on any path to the position
// (the slice's own, from its analysis, plus four for what the GL back end's
// program does after it: the half-pixel shift and the depth remap), M_a
// and M_w are the magnitudes of the terms of the plane's coordinate and of
// w (the slice run over absolute values), and s is, for the side planes,
// one pixel of the viewport (|w| * 2 / size: the half-pixel shift and the
// samples' half-pixel reach), and 2^-100 besides (denormals flushed to 0).
// Why that is enough: each single-precision evaluation of the slice, ours
// and the hardware's, rounding every operation or fusing some, lies within
// gamma(n) M = n u M / (1 - n u) of the exact value, so the two differ by at
// most 2 gamma(n) M <= 4 n u M; the factor two beyond that covers the
// magnitudes' own rounding. A slice whose error the magnitudes do not bound
// (reciprocals, powers, comparisons) never stops a draw on such a back end.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d9/backend.hpp"
#include "d3d9/clip_planes.hpp"
#include "d3d9/draw_state.hpp"
#include "d3d9/resources.hpp"
#include "d3d9/vertex_fetch.hpp"
#include "shader/program_kernel.hpp"

namespace d3d9 {

// The planes a clip-space position lies outside of.
inline std::uint32_t clipOutcode(float x, float y, float z, float w)
{
    return (x < -w ? ClipLeft : 0u) | (x > w ? ClipRight : 0u) | (y < -w ? ClipBottom : 0u) |
           (y > w ? ClipTop : 0u) | (z < 0 ? ClipNear : 0u) | (z > w ? ClipFar : 0u);
}

// Extra roundings a hardware back end may add after the vertex program.
constexpr std::uint32_t HardwareRoundings = 4;

// The planes a position lies outside of by more than a hardware back end's
// margin, given the magnitudes of its components' terms, the roundings on
// their paths and the viewport's size in pixels.
std::uint32_t clipOutcodeWithMargin(const float position[4], const float magnitude[4], std::uint32_t roundings,
                                    double viewportWidth, double viewportHeight);

// The factors of a hardware margin for one draw.
struct MarginScale {
    double rounding; // e: times the magnitudes
    double pixel[2]; // a pixel of the viewport in x and y, times |w|
};

class ViewRejection {
public:
    // Whether no vertex of the draw's range can be seen: all outside one
    // plane (with the margin unless `exact`). `changed`: the state changed
    // since the last call.
    bool reachesNoPixel(const DrawCall& call, const DrawState& state, bool exact, DirtyBits changed);

private:
    // The planes every vertex of one chunk lies outside of.
    std::uint32_t chunkOutcode(const DrawState& state, std::int64_t first, std::int32_t count, bool exact);
    void bindLayout(const DrawState& state);
    void putLargestInputsInLaneZero(std::int32_t count);
    void runMagnitudes(const Shader& program, std::int32_t count);
    std::uint32_t planesBeyondMargin(std::uint32_t common, const MarginScale& scale, std::int32_t count,
                                     bool laneZero);

    std::vector<InputBinding> bindings_; // the vertex program's inputs in the draw's layout
    DirtyBits pending_ = dirty::All;     // changed since the layout was last bound
    std::uint32_t sliceInputs_[16] = {}; // v registers' slots in the slice's file; ~0u: never read
    VertexStream stream_;
    std::vector<float> snapshot_;        // the constants the slice reads
    std::vector<float> file_;            // the slice's registers, and then the magnitudes'
    float positions_[4 * shader::BatchLanes] = {}; // the chunk's positions while the magnitudes run
    std::uint32_t magnitudeOffset_ = 0;                    // oPos's slot
};

} // namespace d3d9

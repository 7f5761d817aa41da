// The planes of the clip volume, one bit each, in one order for every
// outcode: the front end's test of draws no pixel can see and the software
// back end's reject and clipper, which clips against them in this order
// (near and far first; the sides are a guard band there).
#pragma once

#include <cstdint>

namespace d3d9 {

enum ClipPlane : std::uint32_t {
    ClipNear = 1,   // z < 0
    ClipFar = 2,    // z > w
    ClipLeft = 4,   // x < -w
    ClipRight = 8,  // x > w
    ClipBottom = 16, // y < -w
    ClipTop = 32,   // y > w
    ClipAll = 63,
};

constexpr std::int32_t ClipPlaneCount = 6; // bit i is plane i

} // namespace d3d9

// The planes of the clip volume, one bit each, in one order for every
// outcode: the culling of draws no pixel can see and the software back
// end's reject and clipper, which clips against them in this order (near
// and far first; the sides are a guard band there).
//
// Inside a plane: near z >= 0, far z <= w, the sides -s w <= x <= s w and
// -s w <= y <= s w, where s is 1 for the view volume and wider for a guard
// band or a reject volume. One rule for NaN everywhere: a position lies
// outside every plane whose distance its NaN makes NaN (a NaN in w: all but
// near); no triangle is drawn from such a corner where it lies.
#pragma once

#include <cstdint>

namespace pipeline {

enum ClipPlane : std::uint32_t {
    ClipNear = 1,    // z < 0
    ClipFar = 2,     // z > w
    ClipLeft = 4,    // x < -w
    ClipRight = 8,   // x > w
    ClipBottom = 16, // y < -w
    ClipTop = 32,    // y > w
    ClipAll = 63,
};

constexpr std::int32_t ClipPlaneCount = 6; // bit i is plane i

// Plane i as the coordinate it bounds and the sign that turns the
// coordinate into a distance inside it.
struct PlaneAxis {
    std::int32_t axis; // 0 x, 1 y, 2 z
    float sign;
    bool side;         // a side plane, widened by the side factor
};

constexpr PlaneAxis Planes[ClipPlaneCount] = {{2, 1.0f, false}, {2, -1.0f, false}, {0, 1.0f, true},
                                              {0, -1.0f, true}, {1, 1.0f, true},   {1, -1.0f, true}};

// How far inside plane `plane` the position lies (>= 0: inside), with the
// side planes widened by `side`: z for near, w - z for far, s w +- x and
// s w +- y for the sides.
inline float insideDistance(const float* p, std::int32_t plane, float side)
{
    const PlaneAxis& e = Planes[plane];
    const float coordinate = e.sign * p[e.axis];
    if (plane == 0) {
        return coordinate;
    }
    return (e.side ? side : 1.0f) * p[3] + coordinate;
}

// The planes a position lies outside of (and those a NaN reaches), the
// side planes widened by sideX and sideY.
inline std::uint32_t outcode(const float* p, float sideX, float sideY)
{
    std::uint32_t code = 0;
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane) {
        const float side = Planes[plane].axis == 0 ? sideX : sideY;
        code |= !(insideDistance(p, plane, side) >= 0.0f) ? 1u << plane : 0u;
    }
    return code;
}

// The planes of the view volume itself a position lies outside of.
inline std::uint32_t viewOutcode(const float* p)
{
    return outcode(p, 1.0f, 1.0f);
}

} // namespace pipeline

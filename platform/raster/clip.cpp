// Clip-space outcodes and Sutherland-Hodgman clipping of a triangle's
// polygon against the near, far and guard-band planes (see clip.hpp).
// Plane distances are signed, >= 0 inside; a new corner is always
// interpolated from the inside end of its edge toward the outside end.
#include "raster/clip.hpp"

#include <cstring>

namespace raster {

namespace {

// Signed distance of a clip-space position to clip plane `plane` (bit
// index): the guard band's sides.
float planeDistance(const float* p, std::int32_t plane)
{
    return pipeline::insideDistance(p, plane, GuardBand);
}

void interpolateVertex(const ShadedVertex& inside, const ShadedVertex& outside, float t,
                       std::int32_t varyingCount, ShadedVertex& out)
{
    for (std::int32_t c = 0; c < 4; ++c)
        out.position[c] = inside.position[c] + t * (outside.position[c] - inside.position[c]);
    for (std::int32_t v = 0; v < varyingCount; ++v)
        for (std::int32_t c = 0; c < 4; ++c)
            out.varyings[v][c] = inside.varyings[v][c] + t * (outside.varyings[v][c] - inside.varyings[v][c]);
}

// One Sutherland-Hodgman pass: in[0 .. count) against one plane into out.
std::int32_t clipAgainstPlane(const ShadedVertex* in, std::int32_t count, std::int32_t plane,
                              std::int32_t varyingCount, ShadedVertex* out)
{
    std::int32_t written = 0;
    for (std::int32_t k = 0; k < count && written < MaxClippedVertices; ++k) {
        const ShadedVertex& a = in[k];
        const ShadedVertex& b = in[(k + 1) % count];
        const float da = planeDistance(a.position, plane);
        const float db = planeDistance(b.position, plane);
        const bool aInside = da >= 0.0f;
        const bool bInside = db >= 0.0f;
        if (aInside)
            std::memcpy(&out[written++], &a, sizeof a);
        // Rounding can make a nearly flat polygon cross a plane more than
        // twice; the corners beyond the buffer are dropped.
        if (aInside == bInside || written == MaxClippedVertices)
            continue;
        if (aInside)
            interpolateVertex(a, b, da / (da - db), varyingCount, out[written++]);
        else
            interpolateVertex(b, a, db / (db - da), varyingCount, out[written++]);
    }
    return written;
}

} // namespace

std::uint32_t rejectOutcode(const float* p, float sideX, float sideY)
{
    return pipeline::outcode(p, sideX, sideY);
}

std::uint32_t clipOutcode(const float* p)
{
    return pipeline::outcode(p, GuardBand, GuardBand);
}

std::int32_t clipPolygon(ShadedVertex* polygon, std::int32_t count, std::uint32_t planes,
                         std::int32_t varyingCount)
{
    ShadedVertex scratch[MaxClippedVertices];
    for (std::int32_t plane = 0; plane < ClipPlaneCount && count > 0; ++plane) {
        if ((planes & (1u << plane)) == 0)
            continue;
        count = clipAgainstPlane(polygon, count, plane, varyingCount, scratch);
        std::memcpy(polygon, scratch, sizeof(ShadedVertex) * static_cast<std::size_t>(count));
    }
    return count < 3 ? 0 : count;
}

} // namespace raster

// Clip-space outcodes and Sutherland-Hodgman clipping of a triangle's
// polygon against the near, far and guard-band planes (see clip.hpp).
// Plane distances are signed, >= 0 inside; a new corner is always
// interpolated from the inside end of its edge toward the outside end.
#include "raster/clip.hpp"

#include <cstring>

namespace raster {

namespace {

// Signed distance of a clip-space position to clip plane `plane` (bit index).
float planeDistance(const float* p, std::int32_t plane)
{
    switch (plane) {
    case 0: return p[2];                     // near: z >= 0
    case 1: return p[3] - p[2];              // far: z <= w
    case 2: return GuardBand * p[3] + p[0];  // x >= -band * w
    case 3: return GuardBand * p[3] - p[0];  // x <= band * w
    case 4: return GuardBand * p[3] + p[1];  // y >= -band * w
    default: return GuardBand * p[3] - p[1]; // y <= band * w
    }
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
    const float x = p[0], y = p[1], z = p[2], w = p[3];
    std::uint32_t code = 0;
    code |= !(z >= 0.0f) ? d3d9::ClipNear : 0u;
    code |= !(z <= w) ? d3d9::ClipFar : 0u;
    code |= !(x >= -sideX * w) ? d3d9::ClipLeft : 0u;
    code |= !(x <= sideX * w) ? d3d9::ClipRight : 0u;
    code |= !(y >= -sideY * w) ? d3d9::ClipBottom : 0u;
    code |= !(y <= sideY * w) ? d3d9::ClipTop : 0u;
    return code;
}

std::uint32_t clipOutcode(const float* p)
{
    std::uint32_t code = 0;
    for (std::int32_t plane = 0; plane < ClipPlaneCount; ++plane)
        code |= !(planeDistance(p, plane) >= 0.0f) ? (1u << plane) : 0u;
    return code;
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

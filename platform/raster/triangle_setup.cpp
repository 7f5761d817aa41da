// Triangle set-up: from indexed clip-space vertices to ScreenTriangles.
// Entry point: setupTriangles. Per triangle: trivial reject by outcodes,
// clipping where a corner lies outside the near, far or guard-band planes,
// the viewport transform (screen y down, pixel (i, j) sampled at (i, j)),
// snapping to 28.4, culling by the winding of the snapped corners, a
// bounding box in whole pixels clipped to the viewport, the planes of
// depth, 1/w and varying/w over screen pixels, and whether the pixel
// program gives it one colour (RasterState::flatColour). The corners are stored in
// clockwise order on screen, so that every edge function is >= 0 inside.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/clip.hpp"
#include "raster/raster_formats.hpp"
#include "raster/rasterizer.hpp"

namespace raster {

namespace {

constexpr double MinimumW = 1e-20;        // corners nearer the eye than this are not projected
constexpr double MaximumFixed = 67108864; // 2^26: |28.4 coordinate| kept below, so edge products fit int64

struct ViewportMap {
    double originX, originY, halfWidth, halfHeight, minZ, depthRange;
    float rejectX, rejectY; // side planes of the reject volume, in units of w
};

struct ProjectedCorner {
    std::int32_t x, y;       // 28.4, for coverage
    double screenX, screenY; // unsnapped, for the planes
    double depth;
    double inverseW;
    const ShadedVertex* vertex;
};

ViewportMap mapViewport(const Viewport& viewport)
{
    ViewportMap map;
    map.originX = viewport.x;
    map.originY = viewport.y;
    map.halfWidth = viewport.width * 0.5;
    map.halfHeight = viewport.height * 0.5;
    map.minZ = viewport.minZ;
    map.depthRange = static_cast<double>(viewport.maxZ) - viewport.minZ;
    // One pixel beyond the viewport: samples of its border pixels lie up to
    // MaxSampleOffset / 16 of a pixel outside it.
    map.rejectX = 1.0f + 2.0f / static_cast<float>(viewport.width);
    map.rejectY = 1.0f + 2.0f / static_cast<float>(viewport.height);
    return map;
}

bool projectCorner(const ViewportMap& map, const ShadedVertex& vertex, ProjectedCorner& out)
{
    const double w = vertex.position[3];
    if (!(w > MinimumW))
        return false;
    const double inverseW = 1.0 / w;
    const double screenX = map.originX + (1.0 + vertex.position[0] * inverseW) * map.halfWidth;
    const double screenY = map.originY + (1.0 - vertex.position[1] * inverseW) * map.halfHeight;
    const double fixedX = std::floor(screenX * SubpixelScale + 0.5);
    const double fixedY = std::floor(screenY * SubpixelScale + 0.5);
    if (!(std::fabs(fixedX) < MaximumFixed && std::fabs(fixedY) < MaximumFixed))
        return false; // also catches NaN and infinities
    out.screenX = screenX;
    out.screenY = screenY;
    out.x = static_cast<std::int32_t>(fixedX);
    out.y = static_cast<std::int32_t>(fixedY);
    out.depth = map.minZ + vertex.position[2] * inverseW * map.depthRange;
    out.inverseW = inverseW;
    out.vertex = &vertex;
    return true;
}

// Twice the signed area in 28.4 units squared; > 0 when the corners run
// clockwise on screen (y down).
std::int64_t doubleArea(const ProjectedCorner& a, const ProjectedCorner& b, const ProjectedCorner& c)
{
    return static_cast<std::int64_t>(b.x - a.x) * (c.y - a.y) - static_cast<std::int64_t>(b.y - a.y) * (c.x - a.x);
}

bool isCulled(CullMode cull, std::int64_t area)
{
    if (area == 0)
        return true;
    if (cull == CullMode::Clockwise)
        return area > 0;
    if (cull == CullMode::CounterClockwise)
        return area < 0;
    return false;
}

// Pixels whose samples the triangle may cover, inside the viewport.
bool boundTriangle(const Viewport& viewport, ScreenTriangle& tri)
{
    const std::int32_t lowX = std::min({tri.x[0], tri.x[1], tri.x[2]});
    const std::int32_t highX = std::max({tri.x[0], tri.x[1], tri.x[2]});
    const std::int32_t lowY = std::min({tri.y[0], tri.y[1], tri.y[2]});
    const std::int32_t highY = std::max({tri.y[0], tri.y[1], tri.y[2]});
    const std::int64_t reachLow = SubpixelScale - 1 - MaxSampleOffset; // ceil of (low - offset) / 16
    tri.minX = static_cast<std::int32_t>(std::max<std::int64_t>(floorDivide(lowX + reachLow, SubpixelScale), viewport.x));
    tri.minY = static_cast<std::int32_t>(std::max<std::int64_t>(floorDivide(lowY + reachLow, SubpixelScale), viewport.y));
    tri.maxX = static_cast<std::int32_t>(std::min<std::int64_t>(floorDivide(highX + MaxSampleOffset, SubpixelScale),
                                                                 std::int64_t{viewport.x} + viewport.width - 1));
    tri.maxY = static_cast<std::int32_t>(std::min<std::int64_t>(floorDivide(highY + MaxSampleOffset, SubpixelScale),
                                                                 std::int64_t{viewport.y} + viewport.height - 1));
    return tri.minX <= tri.maxX && tri.minY <= tri.maxY;
}

// Solves value = a * x + b * y + c through the three corners as projected,
// before snapping: a triangle cut by the clip then keeps the planes of the
// whole, and agrees on depth with its unclipped neighbours. Where snapping
// changed the area much (slivers) the snapped corners are used instead, so
// that the planes stay finite wherever the triangle covers samples.
class PlaneSolver {
public:
    explicit PlaneSolver(const ProjectedCorner* const corner[3])
    {
        setCorners(corner[0]->screenX, corner[0]->screenY, corner[1]->screenX, corner[1]->screenY,
                   corner[2]->screenX, corner[2]->screenY);
        const double det = e1x * e2y - e2x * e1y;
        const double snappedDet = static_cast<double>(doubleArea(*corner[0], *corner[1], *corner[2])) /
                                  (SubpixelScale * SubpixelScale);
        if (!(det * snappedDet > 0.25 * snappedDet * snappedDet)) {
            const double unit = 1.0 / SubpixelScale;
            setCorners(corner[0]->x * unit, corner[0]->y * unit, corner[1]->x * unit, corner[1]->y * unit,
                       corner[2]->x * unit, corner[2]->y * unit);
        }
        inverseDet = 1.0 / (e1x * e2y - e2x * e1y);
    }

    void solve(double f0, double f1, double f2, float* plane) const
    {
        const double d1 = f1 - f0, d2 = f2 - f0;
        const double a = (d1 * e2y - d2 * e1y) * inverseDet;
        const double b = (e1x * d2 - e2x * d1) * inverseDet;
        plane[0] = static_cast<float>(a);
        plane[1] = static_cast<float>(b);
        plane[2] = static_cast<float>(f0 - a * x0 - b * y0);
    }

private:
    void setCorners(double ax, double ay, double bx, double by, double cx, double cy)
    {
        x0 = ax;
        y0 = ay;
        e1x = bx - ax;
        e1y = by - ay;
        e2x = cx - ax;
        e2y = cy - ay;
    }

    double x0, y0, e1x, e1y, e2x, e2y, inverseDet;
};

void solvePlanes(const ProjectedCorner* const corner[3], std::int32_t varyingCount, ScreenTriangle& tri)
{
    const PlaneSolver solver(corner);
    solver.solve(corner[0]->depth, corner[1]->depth, corner[2]->depth, tri.depthPlane);
    solver.solve(corner[0]->inverseW, corner[1]->inverseW, corner[2]->inverseW, tri.inverseWPlane);
    for (std::int32_t v = 0; v < varyingCount; ++v)
        for (std::int32_t c = 0; c < 4; ++c)
            solver.solve(corner[0]->vertex->varyings[v][c] * corner[0]->inverseW,
                         corner[1]->vertex->varyings[v][c] * corner[1]->inverseW,
                         corner[2]->vertex->varyings[v][c] * corner[2]->inverseW, tri.varyingPlanes[v][c]);
}

// Projects, culls, bounds and solves one triangle that needs no clipping.
void emitTriangle(const RasterState& state, const ViewportMap& map, const ShadedVertex& a, const ShadedVertex& b,
                  const ShadedVertex& c, std::vector<ScreenTriangle>& out)
{
    ProjectedCorner projected[3];
    if (!projectCorner(map, a, projected[0]) || !projectCorner(map, b, projected[1]) ||
        !projectCorner(map, c, projected[2]))
        return;
    const std::int64_t area = doubleArea(projected[0], projected[1], projected[2]);
    if (isCulled(state.cull, area))
        return;
    const ProjectedCorner* corner[3] = {&projected[0], &projected[1], &projected[2]};
    if (area < 0)
        std::swap(corner[1], corner[2]);
    ScreenTriangle tri;
    for (std::int32_t k = 0; k < 3; ++k) {
        tri.x[k] = corner[k]->x;
        tri.y[k] = corner[k]->y;
    }
    if (!boundTriangle(state.viewport, tri))
        return;
    solvePlanes(corner, std::clamp(state.varyingCount, 0, MaxVaryings), tri);
    if (state.flatColour)
        tri.flat = state.flatColour(tri, tri.flatColour);
    out.push_back(tri);
}

// Clips against the planes in `planes` and emits the polygon as a fan.
void emitClipped(const RasterState& state, const ViewportMap& map, const ShadedVertex* const corner[3],
                 std::uint32_t planes, std::vector<ScreenTriangle>& out)
{
    const std::int32_t varyingCount = std::clamp(state.varyingCount, 0, MaxVaryings);
    ShadedVertex polygon[MaxClippedVertices];
    for (std::int32_t k = 0; k < 3; ++k)
        std::memcpy(&polygon[k], corner[k], sizeof(ShadedVertex));
    const std::int32_t count = clipPolygon(polygon, 3, planes, varyingCount);
    for (std::int32_t k = 2; k < count; ++k)
        emitTriangle(state, map, polygon[0], polygon[k - 1], polygon[k], out);
}

} // namespace

void setupTriangles(const RasterState& state, const ShadedVertex* vertices, const std::uint32_t* indices,
                    std::size_t triangleCount, std::vector<ScreenTriangle>& out)
{
    if (state.viewport.width <= 0 || state.viewport.height <= 0)
        return;
    const ViewportMap map = mapViewport(state.viewport);
    for (std::size_t t = 0; t < triangleCount; ++t) {
        const ShadedVertex* corner[3] = {&vertices[indices[3 * t]], &vertices[indices[3 * t + 1]],
                                         &vertices[indices[3 * t + 2]]};
        std::uint32_t outsideAll = ~0u;
        std::uint32_t outsideAny = 0u;
        for (const ShadedVertex* vertex : corner) {
            outsideAll &= rejectOutcode(vertex->position, map.rejectX, map.rejectY);
            outsideAny |= clipOutcode(vertex->position);
        }
        if (outsideAll != 0)
            continue;
        if (outsideAny == 0)
            emitTriangle(state, map, *corner[0], *corner[1], *corner[2], out);
        else
            emitClipped(state, map, corner, outsideAny, out);
    }
}

} // namespace raster

// The geometry stage of a recorded draw, on any worker: its vertices
// shaded (fetch and program, through the draw's VertexShading), its
// triangles assembled from the index buffer (lists, strips and fans), then
// set up for scanning (clipped, projected, culled: triangle_setup.cpp).
// A draw's triangles depend on nothing but the draw, so draws may run on
// any workers in any order.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/frame_commands.hpp"

namespace raster {

// What a worker reuses from draw to draw.
struct GeometryScratch {
    VertexScratch shading;
    std::vector<ShadedVertex> shaded;
    std::vector<std::uint32_t> corners;
};

// The corners of the draw's triangles, three a triangle, as vertex numbers
// relative to MinVertexIndex. A triangle with a corner outside the announced
// vertex range is left out rather than read from nowhere.
void assembleTriangles(const DrawCommand& draw, std::vector<std::uint32_t>& corners);

// Fills draw.triangles; `constants` is the draw's snapshot.
void runGeometry(DrawCommand& draw, const float* constants, GeometryScratch& scratch);

} // namespace raster

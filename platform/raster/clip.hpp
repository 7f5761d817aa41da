// Clipping in homogeneous clip space, before the divide by w. Owns the
// outcodes (trivial reject against the view volume, and which clip planes a
// triangle crosses) and the polygon clipper. Clip planes: near z >= 0, far
// z <= w, and the guard band |x| <= GuardBand * w, |y| <= GuardBand * w;
// the viewport's own edges are left to the scan's bounding boxes.
// Entry points: rejectOutcode, clipOutcode, clipPolygon.
#pragma once

#include <cstdint>

#include "pipeline/clip_planes.hpp"
#include "raster/rasterizer.hpp"

namespace raster {

constexpr float GuardBand = 32.0f;
using pipeline::ClipPlaneCount;
constexpr std::int32_t MaxClippedVertices = 3 + ClipPlaneCount; // each plane adds at most one corner

// Bits of the planes a position lies outside of (pipeline::ClipPlane; and
// those its NaN reaches). The
// reject volume is the view volume with its side planes widened by factors
// sideX, sideY, so that a triangle is only rejected when it cannot reach a
// sample of a pixel inside the viewport.
std::uint32_t rejectOutcode(const float* position, float sideX, float sideY);
std::uint32_t clipOutcode(const float* position);

// Clips the convex polygon polygon[0 .. count), count <= MaxClippedVertices
// and polygon room for MaxClippedVertices, against the planes whose
// bits are set in planes (bits as clipOutcode), interpolating position and
// the first varyingCount varyings. Returns the new count (0 when nothing is
// left); the result is in polygon. Corners made on an edge do not depend on
// the direction the edge is walked, so neighbours stay watertight.
std::int32_t clipPolygon(ShadedVertex* polygon, std::int32_t count, std::uint32_t planes,
                         std::int32_t varyingCount);

} // namespace raster

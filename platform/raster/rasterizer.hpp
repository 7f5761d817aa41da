// The rasterizer of the software device: render target with per-sample
// colour and depth, clipping, triangle set-up, scan conversion with the
// Direct3D 9 fill rules, depth test, multisample coverage and resolve.
//
// Conventions. Screen space is Direct3D 9's: x to the right, y down, pixel
// (i, j) is sampled at the integer point (i, j) (not i + 0.5). Positions
// after the viewport transform are 28.4 fixed point (1/16 pixel), the unit
// the four sample offsets are given in. Depth is Z/W mapped to
// [MinZ, MaxZ] and stored as D16 = round(depth * 65535).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "shader/batch_lanes.hpp"
#include "shader/opcode_table.hpp"

namespace raster {

using shader::MaxVaryings; // interpolated 4-vectors handed to the pixel program: v0, v1, t0 - t7
using shader::BatchLanes;               // pixels shaded per call

// Colour and depth per sample. Index of sample s of pixel (x, y):
// (y * width + x) * samples + s.
struct RenderTarget {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t samples = 1;          // 1, or 4 with multisampling
    std::vector<std::uint32_t> color;  // A8R8G8B8
    std::vector<std::uint16_t> depth;  // D16

    void resize(std::int32_t newWidth, std::int32_t newHeight, std::int32_t newSamples);
};

struct Viewport {
    std::int32_t x = 0; // pixels
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

// Which winding on screen (y down, corners in index order) is removed.
enum class CullMode { None, Clockwise, CounterClockwise };

// A vertex as the vertex program left it: clip-space position (x, y, z, w)
// and the varyings in the order the pixel program's inputs are numbered.
struct ShadedVertex {
    float position[4];
    float varyings[MaxVaryings][4];
};

// Pixels for one run of the pixel program, perspective-correct varyings at
// each pixel's centre, structure of arrays so that a loop over lanes
// vectorises.
struct PixelBatch {
    std::int32_t count;                        // lanes in use, 1 to BatchLanes
    std::int32_t x[BatchLanes];
    std::int32_t y[BatchLanes];
    float varyings[MaxVaryings][4][BatchLanes]; // [varying][component][lane]
};

// Computes colors[lane] (A8R8G8B8) for lanes 0 .. batch.count - 1: the
// pixel program of a draw, run on a batch.
using BatchShader = std::function<void(const PixelBatch& batch, std::uint32_t* colors)>;

struct ScreenTriangle;
// Whether the pixel program gives one colour (A8R8G8B8) at every pixel of
// the triangle's bounding box, whatever its varyings there, and which.
using FlatColour = std::function<bool(const ScreenTriangle& tri, std::uint32_t& colour)>;

// What set-up and scanning need of a draw: derived from the front end's
// state by the back end (derived_state.cpp), shared by the draws that
// follow while none of its sources changes.
struct RasterState {
    Viewport viewport;
    CullMode cull = CullMode::Clockwise;
    bool depthTest = true;   // less-or-equal against the stored D16
    bool depthWrite = true;
    bool multisample = true; // off: every sample of a pixel takes its centre's coverage and depth
    std::int32_t varyingCount = 0; // varyings interpolated (0 to MaxVaryings)
    // The components of each varying that the shading reads (bits x = 1 to
    // w = 8); the others are not interpolated, and hold anything.
    std::uint8_t varyingComponents[MaxVaryings] = {0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF, 0xF};
    BatchShader shade;
    FlatColour flatColour; // empty: never known
};

// A clipped, projected, culled triangle ready for scanning: fixed-point
// corners, its bounding box, and the planes its depth and varyings are
// interpolated with. Filled by setupTriangles; read by rasterizeTriangles.
struct ScreenTriangle {
    std::int32_t x[3];      // 28.4 corners, in the winding that scanning expects
    std::int32_t y[3];
    std::int32_t minX, minY, maxX, maxY; // whole pixels, inclusive, inside the viewport
    float depthPlane[3];    // depth = a * x + b * y + c at a screen point (pixels)
    float inverseWPlane[3]; // 1/w likewise
    float varyingPlanes[MaxVaryings][4][3]; // (varying / w) likewise
    // Set where RasterState::flatColour knows the colour: then scanning
    // writes it without running the pixel program.
    bool flat = false;
    std::uint32_t flatColour = 0;
};

// Clips each triangle (three indices into vertices) against 0 <= z <= w and
// the side planes (a guard band, so the picture is that of an unbounded
// clip), projects, applies the viewport, removes culled and empty triangles
// and appends what remains, in order, to out, each marked flat where
// state.flatColour gives its colour.
void setupTriangles(const RasterState& state, const ShadedVertex* vertices, const std::uint32_t* indices,
                    std::size_t triangleCount, std::vector<ScreenTriangle>& out);

// Scans the triangles in order into rows [firstRow, endRow) of target:
// coverage per sample by the top-left rule, depth test and write per
// sample, the pixel program once per pixel with any sample passing, its
// colour into the passing samples. Calls for disjoint row ranges may run on
// different threads at once.
void rasterizeTriangles(RenderTarget& target, const RasterState& state, const ScreenTriangle* triangles,
                        std::size_t count, std::int32_t firstRow, std::int32_t endRow);

// Clears the samples of the pixels in [x0, x1) x [y0, y1).
void clearColor(RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                std::uint32_t color);
void clearDepth(RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, float z);

// Averages each pixel's samples (channel by channel, rounding to nearest)
// into out, width * height pixels.
void resolve(const RenderTarget& target, std::uint32_t* out);
// The same for rows [firstRow, endRow) alone (out is still the whole
// picture); calls for disjoint rows may run on different threads at once.
void resolveRows(const RenderTarget& target, std::int32_t firstRow, std::int32_t endRow, std::uint32_t* out);
// The same for the pixels in [x0, x1) x [y0, y1) alone.
void resolveRect(const RenderTarget& target, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 std::uint32_t* out);

} // namespace raster

#include "raster/geometry_stage.hpp"

#include <cstring>

#include "pipeline/clip_planes.hpp"

namespace raster {
namespace {

// Primitive assembly for one index width.
template <typename Index>
void gatherCorners(const DrawCommand& draw, std::vector<std::uint32_t>& corners)
{
    const d3d9::DrawCall& call = draw.call;
    const std::uint8_t* first = draw.indices + std::size_t{call.startIndex} * sizeof(Index);
    auto indexAt = [&](std::size_t i) {
        Index value;
        std::memcpy(&value, first + i * sizeof(Index), sizeof(Index));
        return static_cast<std::uint32_t>(value);
    };
    corners.resize(3 * std::size_t{call.primitiveCount});
    std::size_t kept = 0;
    for (UINT p = 0; p < call.primitiveCount; ++p) {
        std::uint32_t c[3];
        if (call.type == D3DPT_TRIANGLELIST) {
            c[0] = indexAt(3u * p), c[1] = indexAt(3u * p + 1), c[2] = indexAt(3u * p + 2);
        } else if (call.type == D3DPT_TRIANGLESTRIP) {
            const bool odd = (p & 1) != 0; // every other triangle swaps two corners to keep the winding
            c[0] = indexAt(p), c[1] = indexAt(odd ? p + 2 : p + 1), c[2] = indexAt(odd ? p + 1 : p + 2);
        } else {
            c[0] = indexAt(0), c[1] = indexAt(p + 1), c[2] = indexAt(p + 2);
        }
        bool inside = true;
        for (std::uint32_t& corner : c) {
            inside = inside && corner >= call.minIndex && corner - call.minIndex < call.vertexCount;
            corner -= call.minIndex;
        }
        corners[kept] = c[0], corners[kept + 1] = c[1], corners[kept + 2] = c[2];
        kept += inside ? 3 : 0;
    }
    corners.resize(kept);
}

// Whether every vertex lies outside one and the same plane of the view
// volume.
bool outsideOnePlane(const std::vector<ShadedVertex>& shaded)
{
    std::uint32_t common = shaded.empty() ? 0u : std::uint32_t{pipeline::ClipAll};
    for (const ShadedVertex& vertex : shaded) {
        common &= pipeline::viewOutcode(vertex.position);
    }
    return common != 0;
}

} // namespace

void assembleTriangles(const DrawCommand& draw, std::vector<std::uint32_t>& corners)
{
    if (draw.indexBytes == 4) {
        gatherCorners<std::uint32_t>(draw, corners);
    } else {
        gatherCorners<std::uint16_t>(draw, corners);
    }
}

void runGeometry(DrawCommand& draw, const float* constants, GeometryScratch& scratch)
{
    draw.triangles.clear();
    VertexStageInput input;
    input.program = draw.program;
    input.constants = nullptr; // the shading reads the snapshot
    input.bindings = draw.linkage->bindings;
    input.stream = draw.stream;
    input.firstVertex = static_cast<std::int64_t>(draw.call.baseVertex) + draw.call.minIndex;
    input.vertexCount = static_cast<std::int32_t>(draw.call.vertexCount);
    input.varyings = draw.linkage->varyings;
    draw.shading->shade(input, constants, scratch.shaded, scratch.shading);
    if (draw.cullUnseen && outsideOnePlane(scratch.shaded)) {
        draw.stopped = true; // no triangle of it could reach a pixel
        return;
    }
    assembleTriangles(draw, scratch.corners);
    setupTriangles(*draw.state, scratch.shaded.data(), scratch.corners.data(), scratch.corners.size() / 3,
                   draw.triangles);
}

} // namespace raster

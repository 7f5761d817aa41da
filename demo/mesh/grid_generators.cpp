// Plane and cube generators: flat, axis-aligned grids of n = 2^detail
// segments a side, written into the object record in place.
//
// A grid's coordinates are single-precision running sums (start at one edge,
// add the step once per vertex), not products of the step; the last row and
// column may therefore miss the far edge in the last bits, and that is part
// of the generated data. Vertex 0 is the corner (-size[a], +size[b]); the
// column axis a grows along a row and the row axis b falls from row to row.
// The cube is six independent grids, faces +y, +z, -y, -z, +x, -x.
#include "mesh/grid_generators.hpp"

#include <cstdint>

#include "anim/bernstein.hpp"
#include "common/allocation.hpp"
#include "mesh/mesh_vertex.hpp"
#include "scene/scene_object.hpp"

namespace {

constexpr std::uint32_t OpaqueWhite = 0xFFFFFFFFu;
constexpr int CubeFaceCount = 6;

// The axes of one grid, by number (0 = x, 1 = y, 2 = z).
struct GridAxes {
    int normal; // g: the axis the grid lies across
    int column; // a: varies along a row of vertices
    int row;    // b: varies from row to row
};

// Exact comparisons with 0 in this order; -0 counts as 0, and the zero
// vector (like any vector that passes no test) takes the last row.
GridAxes chooseGridAxes(Vec3 f)
{
    if (f.x > 0.0f) return {0, 2, 1};
    if (f.x < 0.0f) return {0, 1, 2};
    if (f.y > 0.0f) return {1, 0, 2};
    if (f.y < 0.0f) return {1, 2, 0};
    if (f.z > 0.0f) return {2, 1, 0};
    return {2, 0, 1};
}

// Held to [0, highest] so that no grid passes the 16-bit index range and the
// powers below always convert to int exactly.
std::uint32_t clampDetail(std::int32_t detail, std::int32_t highest)
{
    if (detail < 0) return 0;
    return static_cast<std::uint32_t>(detail < highest ? detail : highest);
}

void fillGridVertices(SceneObject& object, Vec3 f, bool offsetAlongNormal, GridAxes axes,
                      std::int32_t count)
{
    const float sizeA = vec3Component(object.size, axes.column);
    const float sizeB = vec3Component(object.size, axes.row);
    const float segments = static_cast<float>(count - 1);
    const float stepA = 2.0f * sizeA / segments;
    const float stepB = 2.0f * sizeB / segments;
    const float level = offsetAlongNormal ? vec3Component(f, axes.normal) : 0.0f;

    float rowValue = sizeB;
    for (std::int32_t i = 0; i < count; ++i) {
        float colValue = -sizeA;
        for (std::int32_t j = 0; j < count; ++j) {
            MeshVertex& vertex = object.vertices[i * count + j];
            vec3Component(vertex.position, axes.column) = colValue;
            vec3Component(vertex.position, axes.row) = rowValue;
            vec3Component(vertex.position, axes.normal) = level;
            vertex.normal = f;
            vertex.color = OpaqueWhite;
            colValue = colValue + stepA;
        }
        rowValue = rowValue - stepB;
    }
}

// Two triangles a quad, quads row-major; with the axis table above both face
// along f for every axis direction.
void fillGridIndices(SceneObject& object, std::int32_t count)
{
    std::uint16_t* out = object.indices;
    for (std::int32_t i = 0; i + 1 < count; ++i) {
        for (std::int32_t j = 0; j + 1 < count; ++j) {
            const std::int32_t m = i * count + j;
            const std::int32_t corners[6] = {m + count, m + 1, m, m + count, m + count + 1, m + 1};
            for (std::int32_t corner : corners) {
                *out++ = static_cast<std::uint16_t>(corner);
            }
        }
    }
}

// Appends face's triangles and vertices after the first vertexBase vertices
// and indexBase indices of the cube; face indices are shifted by vertexBase
// in 16-bit arithmetic, as the index format holds them.
void appendCubeFace(SceneObject& cube, const SceneObject& face, std::int32_t vertexBase,
                    std::int32_t indexBase)
{
    const std::uint16_t offset = static_cast<std::uint16_t>(vertexBase);
    for (std::int32_t k = 0; k < 3 * face.triangleCount; ++k) {
        cube.indices[indexBase + k] = static_cast<std::uint16_t>(face.indices[k] + offset);
    }
    for (std::int32_t k = 0; k < face.vertexCount; ++k) {
        cube.vertices[vertexBase + k] = face.vertices[k];
    }
}

} // namespace

void generatePlane(SceneObject& object, Vec3 faceVector, bool offsetAlongNormal)
{
    const std::uint32_t detail = clampDetail(object.detail, MaxGridDetail);
    const std::int32_t count = static_cast<std::int32_t>(intPower(2.0f, detail)) + 1;
    object.triangleCount = 2 * static_cast<std::int32_t>(intPower(4.0f, detail));
    object.vertexCount = count * count;
    object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(object.vertexCount));
    object.indices = allocateZeroed<std::uint16_t>(3 * static_cast<std::size_t>(object.triangleCount));

    const GridAxes axes = chooseGridAxes(faceVector);
    fillGridVertices(object, faceVector, offsetAlongNormal, axes, count);
    fillGridIndices(object, count);
    object.baseVertex = 0;
}

void generateCube(SceneObject& object)
{
    const Vec3 s = object.size;
    const Vec3 faceVectors[CubeFaceCount] = {
        {0.0f, s.y, 0.0f}, {0.0f, 0.0f, s.z}, {0.0f, -s.y, 0.0f},
        {0.0f, 0.0f, -s.z}, {s.x, 0.0f, 0.0f}, {-s.x, 0.0f, 0.0f},
    };

    SceneObject* faces = allocateZeroed<SceneObject>(CubeFaceCount);
    for (int k = 0; k < CubeFaceCount; ++k) {
        faces[k].size = s;
        // The cube's own limit is lower than a single grid's: six faces share
        // the 16-bit index range.
        faces[k].detail = static_cast<std::int32_t>(clampDetail(object.detail, MaxCubeDetail));
        generatePlane(faces[k], faceVectors[k], true);
    }

    object.vertexCount = CubeFaceCount * faces[0].vertexCount;
    object.triangleCount = CubeFaceCount * faces[0].triangleCount;
    object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(object.vertexCount));
    object.indices = allocateZeroed<std::uint16_t>(3 * static_cast<std::size_t>(object.triangleCount));

    std::int32_t vertexBase = 0;
    std::int32_t indexBase = 0;
    for (int k = 0; k < CubeFaceCount; ++k) {
        appendCubeFace(object, faces[k], vertexBase, indexBase);
        vertexBase += faces[k].vertexCount;
        indexBase += 3 * faces[k].triangleCount;
        releaseBlock(faces[k].indices);
        releaseBlock(faces[k].vertices);
    }
    releaseBlock(faces);
    object.baseVertex = 0;
}

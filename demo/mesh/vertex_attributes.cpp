// Attribute passes over a finished triangle mesh, in place: smooth normals
// for vertices that have none, texture coordinates from normals by arcsine,
// and tangents along the direction of increasing v.
//
// A triangle (P0, P1, P2) faces along cross(P2 - P0, P1 - P0). Normals are
// used as stored: cube normals keep the length of the cube's size. The
// roundings below (double arcsine of the float component, the single
// precision running tangent sums) are part of the generated data.
#include "mesh/vertex_attributes.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "common/allocation.hpp"
#include "mesh/mesh_vertex.hpp"
#include "scene/scene_object.hpp"

namespace {

// pi as the single-precision constant, widened.
constexpr double Pi = static_cast<double>(3.14159274f);

bool isZeroVector(Vec3 v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// asin(c) / pi + 0.5 with the arcsine rounded to float first.
float texCoordFromComponent(float c)
{
    // Cube normals longer than 1 have no arcsine: held to [-1, 1] (NaN passes).
    if (c > 1.0f) c = 1.0f;
    if (c < -1.0f) c = -1.0f;
    const float angle = static_cast<float>(std::asin(static_cast<double>(c)));
    return static_cast<float>(static_cast<double>(angle) / Pi + 0.5);
}

// Direction of increasing v over one triangle; zero when its texture
// coordinates give no gradient (det exactly 0).
Vec3 triangleVDirection(const MeshVertex& v0, const MeshVertex& v1, const MeshVertex& v2)
{
    const Vec3 e1 = vec3Subtract(v1.position, v0.position);
    const Vec3 e2 = vec3Subtract(v2.position, v0.position);
    const float du1 = v1.u - v0.u;
    const float dv1 = v1.v - v0.v;
    const float du2 = v2.u - v0.u;
    const float dv2 = v2.v - v0.v;
    const float det = static_cast<float>(static_cast<double>(du1) * dv2 - static_cast<double>(du2) * dv1);
    if (det == 0.0f) {
        return {0.0f, 0.0f, 0.0f};
    }
    const float r = 1.0f / det;
    return vec3Scale(vec3Subtract(vec3Scale(e2, du1), vec3Scale(e1, du2)), r);
}

} // namespace

// Each index position adds its triangle's unit facing direction to its
// vertex in increasing position order, the order in which a scan of the whole
// list per vertex adds them; positions are only read, so one pass suffices.
void computeMissingNormals(SceneObject& object)
{
    const std::int32_t vertexCount = object.vertexCount;
    MeshVertex* vertices = object.vertices;
    std::uint8_t* missing = allocateZeroed<std::uint8_t>(static_cast<std::size_t>(vertexCount));
    for (std::int32_t w = 0; w < vertexCount; ++w) {
        missing[w] = isZeroVector(vertices[w].normal) ? 1 : 0;
    }
    for (std::int32_t p = 0; p < 3 * object.triangleCount; ++p) {
        const std::uint16_t w = object.indices[p];
        if (!missing[w]) continue;
        const std::int32_t first = p - p % 3;
        const std::uint16_t prev = object.indices[first + (p % 3 + 2) % 3];
        const std::uint16_t next = object.indices[first + (p % 3 + 1) % 3];
        const Vec3 at = vertices[w].position;
        const Vec3 facing = vec3CrossNormalized(vec3Subtract(at, vertices[prev].position),
                                                vec3Subtract(at, vertices[next].position));
        vertices[w].normal = vec3Add(vertices[w].normal, facing);
    }
    for (std::int32_t w = 0; w < vertexCount; ++w) {
        if (missing[w]) vec3Normalize(vertices[w].normal);
    }
    releaseBlock(missing);
}

void computeTexCoordsFromNormals(SceneObject& object)
{
    for (std::int32_t w = 0; w < object.vertexCount; ++w) {
        MeshVertex& vertex = object.vertices[w];
        vertex.u = texCoordFromComponent(vertex.normal.x);
        vertex.v = texCoordFromComponent(vertex.normal.y);
    }
}

// The direction of increasing u would only serve a handedness sign, and the
// vertex format has no slot for one, so only the v directions are summed.
void computeTangents(SceneObject& object)
{
    Vec3* vDirSum = allocateZeroed<Vec3>(static_cast<std::size_t>(object.vertexCount));
    for (std::int32_t t = 0; t < object.triangleCount; ++t) {
        const std::uint16_t* corner = object.indices + 3 * t;
        const Vec3 vDir = triangleVDirection(object.vertices[corner[0]], object.vertices[corner[1]],
                                             object.vertices[corner[2]]);
        for (int k = 0; k < 3; ++k) {
            vDirSum[corner[k]] = vec3Add(vDirSum[corner[k]], vDir);
        }
        // Renormalised after every triangle, so later triangles weigh more.
        for (int k = 0; k < 3; ++k) {
            vec3Normalize(vDirSum[corner[k]]);
        }
    }
    for (std::int32_t w = 0; w < object.vertexCount; ++w) {
        MeshVertex& vertex = object.vertices[w];
        const Vec3 a = vDirSum[w];
        Vec3 tangent = vec3Subtract(a, vec3Scale(vertex.normal, vec3Dot(a, vertex.normal)));
        vec3Normalize(tangent);
        vertex.tangent = tangent;
    }
    releaseBlock(vDirSum);
}

// Tensor-product Bezier patch: evaluates the surface and its two partial
// derivatives on a (2^detail + 1)^2 parameter grid and triangulates it.
//
// The row parameter s belongs to the first control index a, the column
// parameter t to the second index b; point (a, b) is controlPoints[a * n + b].
// Every sum is accumulated in single precision, a outer and b inner, each
// weight a float product of two Bernstein values; that order is part of the
// generated geometry. Stored normals point along cross(Dt, Ds), opposite to
// the triangles' facing direction; colour, texture coordinates and tangents
// are left to the attribute passes.
#include "mesh/bezier_patch.hpp"

#include <cstddef>

#include "anim/bernstein.hpp"
#include "common/allocation.hpp"
#include "mesh/mesh_vertex.hpp"
#include "scene/scene_object.hpp"

namespace {

// Held to [0, MaxGridDetail] so that no patch passes the 16-bit index range
// and the powers below always convert to int exactly.
std::uint32_t clampPatchDetail(std::int32_t detail)
{
    if (detail < 0) return 0;
    return static_cast<std::uint32_t>(detail < MaxGridDetail ? detail : MaxGridDetail);
}

// Position and normal of the surface at (s, t); degree m = n - 1, so an
// empty net (n = 0) runs no term and gives zeros.
MeshVertex evaluatePatchVertex(const Vec3* points, int n, float s, float t)
{
    const int m = n - 1;
    Vec3 p = {0.0f, 0.0f, 0.0f};
    Vec3 ds = {0.0f, 0.0f, 0.0f};
    Vec3 dt = {0.0f, 0.0f, 0.0f};
    for (int a = 0; a <= m; ++a) {
        const float ba = bernsteinBasis(static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(a), s);
        for (int b = 0; b <= m; ++b) {
            const float bb = bernsteinBasis(static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(b), t);
            const Vec3 here = points[a * n + b];
            p = vec3Add(p, vec3Scale(here, ba * bb));
            if (a < m) {
                const float w = bernsteinBasis(static_cast<std::uint8_t>(m - 1), static_cast<std::uint8_t>(a), s) * bb;
                ds = vec3Add(ds, vec3Scale(vec3Subtract(points[(a + 1) * n + b], here), w));
            }
            if (b < m) {
                const float w = bernsteinBasis(static_cast<std::uint8_t>(m - 1), static_cast<std::uint8_t>(b), t) * ba;
                dt = vec3Add(dt, vec3Scale(vec3Subtract(points[a * n + b + 1], here), w));
            }
        }
    }
    ds = vec3Scale(ds, static_cast<float>(m));
    dt = vec3Scale(dt, static_cast<float>(m));

    MeshVertex vertex = {};
    vertex.position = p;
    vertex.normal = vec3CrossNormalized(ds, dt);
    vec3Negate(vertex.normal);
    return vertex;
}

void fillPatchIndices(SceneObject& object, std::int32_t count)
{
    std::uint16_t* out = object.indices;
    for (std::int32_t i = 0; i + 1 < count; ++i) {
        for (std::int32_t j = 0; j + 1 < count; ++j) {
            const std::int32_t m0 = i * count + j;
            const std::int32_t corners[6] = {m0, m0 + 1, m0 + count, m0 + 1, m0 + count + 1, m0 + count};
            for (std::int32_t corner : corners) {
                *out++ = static_cast<std::uint16_t>(corner);
            }
        }
    }
}

} // namespace

void generateBezierPatch(SceneObject& object, const Vec3* controlPoints, std::uint8_t n)
{
    const std::uint32_t detail = clampPatchDetail(object.detail);
    const std::int32_t k = static_cast<std::int32_t>(intPower(2.0f, detail));
    const std::int32_t count = k + 1;
    object.triangleCount = 2 * static_cast<std::int32_t>(intPower(4.0f, detail));
    object.vertexCount = count * count;
    object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(object.vertexCount));
    object.indices = allocateZeroed<std::uint16_t>(3 * static_cast<std::size_t>(object.triangleCount));

    const float segments = static_cast<float>(k);
    for (std::int32_t i = 0; i < count; ++i) {
        const float s = static_cast<float>(i) / segments;
        for (std::int32_t j = 0; j < count; ++j) {
            const float t = static_cast<float>(j) / segments;
            object.vertices[i * count + j] = evaluatePatchVertex(controlPoints, n, s, t);
        }
    }
    fillPatchIndices(object, count);
    object.baseVertex = 0;
}

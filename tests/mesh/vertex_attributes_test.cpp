// Attribute passes: smooth normals (against a plain per-vertex scan), the
// arcsine texture mapping and tangents along increasing v.
#include "mesh/vertex_attributes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/allocation.hpp"
#include "mesh/bezier_patch.hpp"
#include "mesh/grid_generators.hpp"
#include "mesh/stored_mesh.hpp"
#include "scene/scene_object.hpp"

namespace {

void releaseMesh(SceneObject& object)
{
    releaseBlock(object.indices);
    releaseBlock(object.vertices);
}

// Vertices with the given positions and (u, v, 0) as texture coordinates
// from uvs where given; faces of cornersPerFace indices each.
SceneObject meshOf(const std::vector<Vec3>& positions, const std::vector<std::uint16_t>& indices,
                   int cornersPerFace = 3, const std::vector<Vec3>& uvs = {})
{
    SceneObject object{};
    object.vertexCount = static_cast<std::int32_t>(positions.size());
    object.vertices = allocateZeroed<MeshVertex>(positions.size());
    for (std::size_t k = 0; k < positions.size(); ++k) {
        object.vertices[k].position = positions[k];
        if (k < uvs.size()) {
            object.vertices[k].u = uvs[k].x;
            object.vertices[k].v = uvs[k].y;
        }
    }
    object.triangleCount = static_cast<std::int32_t>(indices.size()) / cornersPerFace;
    object.indices = allocateZeroed<std::uint16_t>(indices.size());
    for (std::size_t k = 0; k < indices.size(); ++k) {
        object.indices[k] = indices[k];
    }
    return object;
}

// The pass as first written: one scan of the whole index list per vertex.
void referenceMissingNormals(SceneObject& object)
{
    for (std::int32_t w = 0; w < object.vertexCount; ++w) {
        Vec3& normal = object.vertices[w].normal;
        if (normal.x != 0.0f || normal.y != 0.0f || normal.z != 0.0f) continue;
        for (std::int32_t p = 0; p < 3 * object.triangleCount; ++p) {
            if (object.indices[p] != w) continue;
            const std::int32_t t = p / 3, c = p % 3;
            const Vec3 prev = object.vertices[object.indices[3 * t + (c + 2) % 3]].position;
            const Vec3 next = object.vertices[object.indices[3 * t + (c + 1) % 3]].position;
            const Vec3 at = object.vertices[w].position;
            normal = vec3Add(normal, vec3CrossNormalized(vec3Subtract(at, prev), vec3Subtract(at, next)));
        }
        vec3Normalize(normal);
    }
}

void setAllNormals(SceneObject& object, Vec3 normal)
{
    for (std::int32_t k = 0; k < object.vertexCount; ++k) {
        object.vertices[k].normal = normal;
    }
}

} // namespace

TEST(VertexAttributes, missingNormalsAverageUnitFacingDirections)
{
    // A small +y triangle and a large +x one meet at vertex 0: equal weight
    // whatever the area. Vertex 2 has a normal already; vertex 5 is unused.
    SceneObject mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 9, 0}, {0, 0, 9}, {5, 5, 5}},
                              {0, 1, 2, 0, 4, 3});
    mesh.vertices[2].normal = {0.0f, 0.0f, 5.0f};
    computeMissingNormals(mesh);
    EXPECT_FLOAT_EQ(mesh.vertices[0].normal.x, std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(mesh.vertices[0].normal.y, std::sqrt(0.5f));
    EXPECT_EQ(mesh.vertices[1].normal.y, 1.0f);
    EXPECT_FLOAT_EQ(mesh.vertices[3].normal.x, 1.0f);
    EXPECT_EQ(mesh.vertices[2].normal.z, 5.0f);
    const Vec3 unused = mesh.vertices[5].normal;
    EXPECT_TRUE(unused.x == 0.0f && unused.y == 0.0f && unused.z == 0.0f);
    computeTexCoordsFromNormals(mesh);
    EXPECT_TRUE(mesh.vertices[5].u == 0.5f && mesh.vertices[5].v == 0.5f);
    releaseMesh(mesh);
}

TEST(VertexAttributes, missingNormalsMatchAScanPerVertex)
{
    // An uneven box subdivided twice and triangulated: many triangles share
    // each vertex, and their terms must add in index order.
    std::vector<Vec3> box;
    for (int k = 0; k < 8; ++k) {
        box.push_back({(k & 1) ? 1.0f : -0.7f, (k & 2) ? 1.3f : -1.0f, (k & 4) ? 0.9f : -1.1f});
    }
    SceneObject fast = meshOf(box, {0, 4, 6, 2, 1, 3, 7, 5, 0, 1, 5, 4, 2, 6, 7, 3, 0, 2, 3, 1, 4, 5, 7, 6}, 4);
    subdivideQuads(fast, 2);
    triangulateQuads(fast);
    fast.vertices[5].normal = {0.0f, 2.0f, 0.0f};
    SceneObject slow = fast;
    const std::size_t bytes = sizeof(MeshVertex) * static_cast<std::size_t>(fast.vertexCount);
    slow.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(fast.vertexCount));
    std::memcpy(slow.vertices, fast.vertices, bytes);

    computeMissingNormals(fast);
    referenceMissingNormals(slow);
    EXPECT_EQ(std::memcmp(fast.vertices, slow.vertices, bytes), 0);
    EXPECT_EQ(fast.vertices[5].normal.y, 2.0f);
    releaseBlock(slow.vertices);
    releaseMesh(fast);
}

TEST(VertexAttributes, texCoordsMapNormalsByArcsine)
{
    SceneObject mesh = meshOf(std::vector<Vec3>(6), {});
    const Vec3 normals[6] = {{0, 1, 0}, {1, 0, 0}, {0, -0.5f, 0}, {2.0f, -3.0f, 0}, {0, 0, -1}, {NAN, 0, 0}};
    for (int k = 0; k < 6; ++k) {
        mesh.vertices[k].normal = normals[k];
    }
    computeTexCoordsFromNormals(mesh);
    const MeshVertex* v = mesh.vertices;
    EXPECT_TRUE(v[0].u == 0.5f && v[0].v == 1.0f);
    EXPECT_TRUE(v[1].u == 1.0f && v[1].v == 0.5f);
    EXPECT_EQ(v[2].u, 0.5f);
    EXPECT_NEAR(v[2].v, 1.0f / 3.0f, 1e-6f);
    EXPECT_TRUE(v[3].u == 1.0f && v[3].v == 0.0f); // held to [-1, 1]
    EXPECT_TRUE(v[4].u == 0.5f && v[4].v == 0.5f); // z plays no part
    EXPECT_TRUE(std::isnan(v[5].u) && v[5].v == 0.5f);
    releaseMesh(mesh);
}

TEST(VertexAttributes, flatGridsGetZeroTangents)
{
    SceneObject plane{};
    plane.size = {1.0f, 1.0f, 1.0f};
    plane.detail = 2;
    generatePlane(plane, {0.0f, 1.0f, 0.0f}, false);
    SceneObject cube{};
    cube.size = {0.5f, 2.0f, 0.5f};
    cube.detail = 1;
    generateCube(cube);
    for (SceneObject* mesh : {&plane, &cube}) {
        computeTexCoordsFromNormals(*mesh);
        computeTangents(*mesh);
        for (std::int32_t k = 0; k < mesh->vertexCount; ++k) {
            const Vec3 t = mesh->vertices[k].tangent;
            EXPECT_TRUE(t.x == 0.0f && t.y == 0.0f && t.z == 0.0f) << "vertex " << k;
        }
        releaseMesh(*mesh);
    }
}

TEST(VertexAttributes, tangentFollowsIncreasingVPerpendicularToTheNormal)
{
    // v grows along +x: the tangent is +x for normal +y, is turned off the
    // normal (1, 1, 0) / sqrt 2, and vanishes for a normal along +x.
    const float h = std::sqrt(0.5f);
    const Vec3 normals[3] = {{0, 1, 0}, {h, h, 0}, {1, 0, 0}};
    const Vec3 tangents[3] = {{1, 0, 0}, {h, -h, 0}, {0, 0, 0}};
    for (int n = 0; n < 3; ++n) {
        SceneObject mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 2}, 3, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}});
        setAllNormals(mesh, normals[n]);
        computeTangents(mesh);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(mesh.vertices[k].tangent.x, tangents[n].x, 1e-6f) << n;
            EXPECT_NEAR(mesh.vertices[k].tangent.y, tangents[n].y, 1e-6f) << n;
            EXPECT_EQ(mesh.vertices[k].tangent.z, 0.0f);
        }
        releaseMesh(mesh);
    }

    // Vertex 0 takes a long v direction (0, 10, 0), then a short one
    // (0.1, 0, 0); renormalising in between gives the second a tenth of the
    // weight rather than a hundredth.
    SceneObject fan = meshOf({{0, 0, 0}, {0, 10, 0}, {10, 0, 0}, {0.1f, 0, 0}, {0, -0.1f, 0}}, {0, 1, 2, 0, 3, 4},
                             3, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}});
    setAllNormals(fan, {0.0f, 0.0f, 1.0f});
    computeTangents(fan);
    EXPECT_NEAR(fan.vertices[0].tangent.x, 0.1f / std::sqrt(1.01f), 1e-6f);
    EXPECT_NEAR(fan.vertices[0].tangent.y, 1.0f / std::sqrt(1.01f), 1e-6f);
    releaseMesh(fan);
}

TEST(VertexAttributes, curvedPatchGetsUnitTangentsPerpendicularToItsNormals)
{
    const Vec3 dome[9] = {{0, 0, 0}, {0, 0.5f, 1}, {0, 0, 2}, {1, 0.5f, 0}, {1, 2, 1},
                          {1, 0.5f, 2}, {2, 0, 0}, {2, 0.5f, 1}, {2, 0, 2}};
    SceneObject patch{};
    patch.detail = 3;
    generateBezierPatch(patch, dome, 3);
    computeTexCoordsFromNormals(patch);
    computeTangents(patch);
    int nonZero = 0;
    for (std::int32_t k = 0; k < patch.vertexCount; ++k) {
        const Vec3 t = patch.vertices[k].tangent;
        if (vec3Dot(t, t) == 0.0f) continue;
        ++nonZero;
        EXPECT_NEAR(vec3Dot(t, t), 1.0f, 1e-5f) << "vertex " << k;
        EXPECT_NEAR(vec3Dot(t, patch.vertices[k].normal), 0.0f, 1e-5f) << "vertex " << k;
    }
    EXPECT_GT(nonZero, patch.vertexCount / 2);
    releaseMesh(patch);
}

// Plane and cube generators: exact grids, face order, winding and limits.
#include "mesh/grid_generators.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "common/allocation.hpp"
#include "scene/scene_object.hpp"

namespace {

SceneObject gridObject(Vec3 size, std::int32_t detail)
{
    SceneObject object{};
    object.size = size;
    object.detail = detail;
    return object;
}

void releaseMesh(SceneObject& object)
{
    releaseBlock(object.indices);
    releaseBlock(object.vertices);
}

bool sameVec3(Vec3 a, Vec3 b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Every index is in range and every triangle's facing direction
// cross(P2 - P0, P1 - P0) points the way of its stored normal.
void expectTrianglesFaceTheirNormals(const SceneObject& object)
{
    for (std::int32_t t = 0; t < object.triangleCount; ++t) {
        const std::uint16_t* c = object.indices + 3 * t;
        ASSERT_TRUE(c[0] < object.vertexCount && c[1] < object.vertexCount && c[2] < object.vertexCount);
        const Vec3 p0 = object.vertices[c[0]].position;
        const Vec3 facing = vec3Cross(vec3Subtract(object.vertices[c[2]].position, p0),
                                      vec3Subtract(object.vertices[c[1]].position, p0));
        EXPECT_GT(vec3Dot(facing, object.vertices[c[0]].normal), 0.0f) << "triangle " << t;
    }
}

} // namespace

TEST(GridGenerators, planeOfDetailOneMatchesTheWorkedExample)
{
    SceneObject plane = gridObject({2.0f, 5.0f, 3.0f}, 1);
    plane.baseVertex = 7;
    generatePlane(plane, {0.0f, 1.0f, 0.0f}, false);
    ASSERT_EQ(plane.vertexCount, 9);
    ASSERT_EQ(plane.triangleCount, 8);
    EXPECT_EQ(plane.baseVertex, 0);
    const Vec3 positions[9] = {{-2, 0, 3}, {0, 0, 3}, {2, 0, 3}, {-2, 0, 0}, {0, 0, 0},
                               {2, 0, 0}, {-2, 0, -3}, {0, 0, -3}, {2, 0, -3}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_TRUE(sameVec3(plane.vertices[k].position, positions[k])) << "vertex " << k;
        EXPECT_TRUE(sameVec3(plane.vertices[k].normal, {0.0f, 1.0f, 0.0f}));
        EXPECT_EQ(plane.vertices[k].color, 0xFFFFFFFFu);
    }
    const std::uint16_t indices[24] = {3, 1, 0, 3, 4, 1, 4, 2, 1, 4, 5, 2,
                                       6, 4, 3, 6, 7, 4, 7, 5, 4, 7, 8, 5};
    for (int k = 0; k < 24; ++k) {
        EXPECT_EQ(plane.indices[k], indices[k]) << "index " << k;
    }
    releaseMesh(plane);
}

TEST(GridGenerators, planeCoordinatesAreSinglePrecisionRunningSums)
{
    // Step 0.175f: eight additions from -0.7f land past +0.7f and four land
    // on 2^-25 rather than 0; a product j * step would give neither.
    SceneObject plane = gridObject({0.7f, 1.0f, 0.7f}, 3);
    generatePlane(plane, {0.0f, 1.0f, 0.0f}, false);
    ASSERT_EQ(plane.vertexCount, 81);
    EXPECT_EQ(plane.vertices[0].position.x, -0.7f);
    EXPECT_EQ(plane.vertices[4].position.x, 0x1p-25f);
    EXPECT_EQ(plane.vertices[8].position.x, 0x1.666668p-1f);
    EXPECT_EQ(plane.vertices[80].position.z, -0x1.666668p-1f);
    releaseMesh(plane);
}

TEST(GridGenerators, planeFacesItsNormalOnEveryAxisAndOffsetsOnlyWhenAsked)
{
    const Vec3 faces[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 5}, {0, 0, -1}};
    for (const Vec3& face : faces) {
        SceneObject plane = gridObject({1.0f, 2.0f, 3.0f}, 2);
        generatePlane(plane, face, true);
        EXPECT_EQ(plane.triangleCount, 32);
        expectTrianglesFaceTheirNormals(plane);
        releaseMesh(plane);
    }
    SceneObject lifted = gridObject({1.0f, 1.0f, 1.0f}, 0);
    generatePlane(lifted, {0.0f, 5.0f, 0.0f}, true);
    SceneObject centred = gridObject({1.0f, 1.0f, 1.0f}, 0);
    generatePlane(centred, {0.0f, 5.0f, 0.0f}, false);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(lifted.vertices[k].position.y, 5.0f);
        EXPECT_EQ(centred.vertices[k].position.y, 0.0f);
        EXPECT_EQ(centred.vertices[k].normal.y, 5.0f); // stored unnormalised
    }
    releaseMesh(lifted);
    releaseMesh(centred);
}

TEST(GridGenerators, cubeFacesComeInFixedOrder)
{
    SceneObject cube = gridObject({0.5f, 0.5f, 0.5f}, 0);
    generateCube(cube);
    ASSERT_EQ(cube.vertexCount, 24);
    ASSERT_EQ(cube.triangleCount, 12);
    const Vec3 normals[6] = {{0, 0.5f, 0}, {0, 0, 0.5f}, {0, -0.5f, 0},
                             {0, 0, -0.5f}, {0.5f, 0, 0}, {-0.5f, 0, 0}};
    for (int k = 0; k < 6; ++k) {
        for (int v = 4 * k; v < 4 * k + 4; ++v) {
            EXPECT_TRUE(sameVec3(cube.vertices[v].normal, normals[k])) << "vertex " << v;
            EXPECT_EQ(vec3Dot(cube.vertices[v].position, normals[k]), 0.25f); // on its own side
        }
        EXPECT_EQ(cube.indices[6 * k + 0], 4 * k + 2);
        EXPECT_EQ(cube.indices[6 * k + 1], 4 * k + 1);
        EXPECT_EQ(cube.indices[6 * k + 2], 4 * k);
    }
    expectTrianglesFaceTheirNormals(cube);
    releaseMesh(cube);

    SceneObject fine = gridObject({1.0f, 2.0f, 3.0f}, 1);
    generateCube(fine);
    EXPECT_EQ(fine.vertexCount, 54);
    EXPECT_EQ(fine.triangleCount, 48);
    EXPECT_EQ(fine.indices[24], 3 + 9); // face 1 is offset by face 0's nine vertices
    expectTrianglesFaceTheirNormals(fine);
    releaseMesh(fine);
}

TEST(GridGenerators, zeroAndNegativeSizesFollowTheAxisTable)
{
    // size.y = 0 makes faces 0 and 2 zero vectors: across z at 0, columns x.
    SceneObject cube = gridObject({1.0f, 0.0f, 2.0f}, 0);
    generateCube(cube);
    for (int face : {0, 2}) {
        const MeshVertex* v = cube.vertices + 4 * face;
        EXPECT_TRUE(sameVec3(v[0].position, {-1.0f, 0.0f, 0.0f}));
        EXPECT_TRUE(sameVec3(v[3].position, {1.0f, 0.0f, 0.0f}));
        EXPECT_TRUE(sameVec3(v[3].normal, {0.0f, 0.0f, 0.0f}));
    }
    releaseMesh(cube);

    SceneObject plane = gridObject({-2.0f, 1.0f, 3.0f}, 1);
    generatePlane(plane, {0.0f, 1.0f, 0.0f}, false);
    EXPECT_EQ(plane.vertices[0].position.x, 2.0f); // columns run from +2 to -2
    EXPECT_EQ(plane.vertices[2].position.x, -2.0f);
    releaseMesh(plane);
}

TEST(GridGenerators, detailIsHeldToTheIndexRange)
{
    SceneObject plane = gridObject({1.0f, 1.0f, 1.0f}, 200);
    generatePlane(plane, {0.0f, 1.0f, 0.0f}, false);
    EXPECT_EQ(plane.vertexCount, 16641);
    EXPECT_EQ(plane.triangleCount, 32768);
    EXPECT_EQ(plane.indices[3 * 32768 - 1], 16640 - 129);
    releaseMesh(plane);

    SceneObject cube = gridObject({1.0f, 1.0f, 1.0f}, 7);
    generateCube(cube);
    EXPECT_EQ(cube.vertexCount, 25350);
    EXPECT_EQ(cube.detail, 7); // the record keeps what it asked for
    releaseMesh(cube);

    SceneObject negative = gridObject({1.0f, 1.0f, 1.0f}, -3);
    generatePlane(negative, {0.0f, 1.0f, 0.0f}, false);
    EXPECT_EQ(negative.vertexCount, 4);
    releaseMesh(negative);
}

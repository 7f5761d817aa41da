// Bezier patch generator: degenerate nets, the bilinear patch, index order,
// the reversed normal and the role of the net's last row.
#include "mesh/bezier_patch.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "common/allocation.hpp"
#include "scene/scene_object.hpp"

namespace {

SceneObject patchOf(const Vec3* net, std::uint8_t n, std::int32_t detail)
{
    SceneObject object{};
    object.size = {9.0f, 9.0f, 9.0f}; // not used by the patch
    object.detail = detail;
    generateBezierPatch(object, net, n);
    return object;
}

void releaseMesh(SceneObject& object)
{
    releaseBlock(object.indices);
    releaseBlock(object.vertices);
}

bool isZero(Vec3 v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

const Vec3 bilinearNet[4] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {1, 0, 1}};
// A 3 x 3 dome over the square [0, 2] x [0, 2], highest in the middle.
const Vec3 domeNet[9] = {{0, 0, 0}, {0, 0.5f, 1}, {0, 0, 2}, {1, 0.5f, 0}, {1, 2, 1},
                         {1, 0.5f, 2}, {2, 0, 0}, {2, 0.5f, 1}, {2, 0, 2}};

} // namespace

TEST(BezierPatch, emptyAndSinglePointNetsGiveZeroNormals)
{
    SceneObject empty = patchOf(nullptr, 0, 1);
    ASSERT_EQ(empty.vertexCount, 9);
    ASSERT_EQ(empty.triangleCount, 8);
    for (int k = 0; k < 9; ++k) {
        EXPECT_TRUE(isZero(empty.vertices[k].position) && isZero(empty.vertices[k].normal));
    }
    releaseMesh(empty);

    const Vec3 point = {1.5f, -2.0f, 3.0f};
    SceneObject single = patchOf(&point, 1, 2);
    for (int k = 0; k < single.vertexCount; ++k) {
        const Vec3 p = single.vertices[k].position;
        EXPECT_TRUE(p.x == 1.5f && p.y == -2.0f && p.z == 3.0f) << "vertex " << k;
        EXPECT_TRUE(isZero(single.vertices[k].normal));
    }
    releaseMesh(single);
}

TEST(BezierPatch, bilinearPatchIsAnEvenFlatGrid)
{
    SceneObject patch = patchOf(bilinearNet, 2, 2);
    ASSERT_EQ(patch.vertexCount, 25);
    for (int i = 0; i <= 4; ++i) {
        for (int j = 0; j <= 4; ++j) {
            const MeshVertex& v = patch.vertices[i * 5 + j];
            // The row parameter drives the first control index.
            EXPECT_TRUE(v.position.x == i / 4.0f && v.position.y == 0.0f && v.position.z == j / 4.0f)
                << i << "," << j;
            EXPECT_TRUE(v.normal.x == 0.0f && v.normal.y == 1.0f && v.normal.z == 0.0f);
            EXPECT_EQ(v.color, 0u);
        }
    }
    releaseMesh(patch);

    SceneObject clamped = patchOf(bilinearNet, 2, 12); // held to detail 7
    EXPECT_EQ(clamped.vertexCount, 16641);
    EXPECT_EQ(clamped.triangleCount, 32768);
    EXPECT_EQ(clamped.vertices[16640].position.x, 1.0f);
    releaseMesh(clamped);
}

TEST(BezierPatch, detailZeroGivesTheNetCornersAndTwoTriangles)
{
    SceneObject patch = patchOf(domeNet, 3, 0);
    ASSERT_EQ(patch.vertexCount, 4);
    ASSERT_EQ(patch.triangleCount, 2);
    const int corners[4] = {0, 2, 6, 8};
    for (int k = 0; k < 4; ++k) {
        const Vec3 p = patch.vertices[k].position;
        const Vec3 c = domeNet[corners[k]];
        EXPECT_TRUE(p.x == c.x && p.y == c.y && p.z == c.z) << "corner " << k;
    }
    const std::uint16_t indices[6] = {0, 1, 2, 1, 3, 2};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(patch.indices[k], indices[k]);
    }
    releaseMesh(patch);
}

TEST(BezierPatch, storedNormalsAreUnitAndPointAwayFromTheFacingDirection)
{
    SceneObject patch = patchOf(domeNet, 3, 3);
    for (std::int32_t t = 0; t < patch.triangleCount; ++t) {
        const std::uint16_t* c = patch.indices + 3 * t;
        ASSERT_TRUE(c[0] < patch.vertexCount && c[1] < patch.vertexCount && c[2] < patch.vertexCount);
        const Vec3 p0 = patch.vertices[c[0]].position;
        const Vec3 facing = vec3Cross(vec3Subtract(patch.vertices[c[2]].position, p0),
                                      vec3Subtract(patch.vertices[c[1]].position, p0));
        for (int k = 0; k < 3; ++k) {
            EXPECT_LT(vec3Dot(facing, patch.vertices[c[k]].normal), 0.0f) << "triangle " << t;
        }
    }
    for (std::int32_t k = 0; k < patch.vertexCount; ++k) {
        EXPECT_NEAR(vec3Dot(patch.vertices[k].normal, patch.vertices[k].normal), 1.0f, 1e-6f);
    }
    releaseMesh(patch);
}

TEST(BezierPatch, lastRowOfTheNetShapesTheNormalsOnItsEdge)
{
    // A flat 4 x 4 net; pulling its last row onto the one before must zero
    // Ds along s = 1 (vertices 6 to 8 at detail 1) and nowhere else.
    Vec3 net[16];
    for (int a = 0; a < 4; ++a) {
        for (int b = 0; b < 4; ++b) {
            net[a * 4 + b] = {static_cast<float>(a), 0.0f, static_cast<float>(b)};
        }
    }
    SceneObject flat = patchOf(net, 4, 1);
    for (int k = 6; k < 9; ++k) {
        EXPECT_FLOAT_EQ(flat.vertices[k].normal.y, 1.0f);
        EXPECT_EQ(flat.vertices[k].position.x, 3.0f);
    }
    releaseMesh(flat);

    for (int b = 0; b < 4; ++b) {
        net[12 + b] = net[8 + b];
    }
    SceneObject pinched = patchOf(net, 4, 1);
    for (int j = 0; j < 3; ++j) {
        EXPECT_TRUE(isZero(pinched.vertices[6 + j].normal)) << "column " << j;
        EXPECT_EQ(pinched.vertices[6 + j].position.x, 2.0f);
        EXPECT_FLOAT_EQ(pinched.vertices[j].normal.y, 1.0f);
    }
    releaseMesh(pinched);
}

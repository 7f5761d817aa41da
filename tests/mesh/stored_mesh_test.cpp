// Stored meshes: Catmull-Clark passes on closed and open quad meshes, edge
// merging, the vertex limit, triangulation and the payload reader.
#include "mesh/stored_mesh.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/allocation.hpp"
#include "scene/scene_description.hpp"
#include "scene/scene_object.hpp"

namespace {

void releaseMesh(SceneObject& object)
{
    releaseBlock(object.indices);
    releaseBlock(object.vertices);
}

// A quad mesh as the builder holds it: four corners a quad, the quad count
// in triangleCount. Vertices past the given positions stay at the origin.
SceneObject quadMesh(const std::vector<Vec3>& positions, const std::vector<std::uint16_t>& corners,
                     std::int32_t vertexCount = -1)
{
    SceneObject object{};
    object.vertexCount = vertexCount < 0 ? static_cast<std::int32_t>(positions.size()) : vertexCount;
    object.vertices = allocateZeroed<MeshVertex>(static_cast<std::size_t>(object.vertexCount));
    for (std::size_t k = 0; k < positions.size(); ++k) {
        object.vertices[k].position = positions[k];
    }
    object.triangleCount = static_cast<std::int32_t>(corners.size() / 4);
    object.indices = allocateZeroed<std::uint16_t>(corners.size());
    for (std::size_t k = 0; k < corners.size(); ++k) {
        object.indices[k] = corners[k];
    }
    return object;
}

// Corners (+-1, +-1, +-1), vertex k taking x, y, z from bits 0, 1, 2; six
// quads, every edge listed once each way (facing inwards).
std::vector<Vec3> cubeCorners()
{
    std::vector<Vec3> corners;
    for (int k = 0; k < 8; ++k) {
        corners.push_back({(k & 1) ? 1.0f : -1.0f, (k & 2) ? 1.0f : -1.0f, (k & 4) ? 1.0f : -1.0f});
    }
    return corners;
}
const std::vector<std::uint16_t> cubeQuads = {0, 4, 6, 2, 1, 3, 7, 5, 0, 1, 5, 4,
                                              2, 6, 7, 3, 0, 2, 3, 1, 4, 5, 7, 6};
const std::vector<Vec3> squareCorners = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}};

bool at(const MeshVertex& vertex, Vec3 p)
{
    return vertex.position.x == p.x && vertex.position.y == p.y && vertex.position.z == p.z;
}

void expectCorners(const SceneObject& object, float magnitude)
{
    for (int k = 0; k < 8; ++k) {
        const Vec3 p = object.vertices[k].position;
        EXPECT_FLOAT_EQ(p.x, (k & 1) ? magnitude : -magnitude) << "corner " << k;
        EXPECT_FLOAT_EQ(p.y, (k & 2) ? magnitude : -magnitude) << "corner " << k;
        EXPECT_FLOAT_EQ(p.z, (k & 4) ? magnitude : -magnitude) << "corner " << k;
    }
}

void expectIndices(const SceneObject& object, const std::vector<std::uint16_t>& expected)
{
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(object.indices[k], expected[k]) << "index " << k;
    }
}

// The scene readers pointed at a payload for one test, then put back.
class StoredMeshPayload : public ::testing::Test {
protected:
    void TearDown() override
    {
        sceneDescription = savedData_;
        sceneDescriptionSize = savedSize_;
        sceneReadPos = savedPos_;
    }
    void install(const std::vector<Vec3>& positions, std::uint16_t quadCount, std::uint16_t storedCount,
                 const std::vector<std::uint16_t>& corners)
    {
        bytes_.clear();
        addU16(static_cast<std::uint16_t>(positions.size()));
        addU16(quadCount);
        for (const Vec3& p : positions) {
            for (float f : {p.x, p.y, p.z}) {
                std::uint32_t bits;
                std::memcpy(&bits, &f, sizeof bits);
                addU16(static_cast<std::uint16_t>(bits & 0xFFFF));
                addU16(static_cast<std::uint16_t>(bits >> 16));
            }
        }
        addU16(storedCount);
        for (std::uint16_t corner : corners) {
            addU16(corner);
        }
        bytes_.push_back(0xEE); // the next record's first byte, never to be read
        sceneDescription = bytes_.data();
        sceneDescriptionSize = static_cast<std::int32_t>(bytes_.size());
        sceneReadPos = 0;
    }
    // The unit square at y = 0; quad (0, 1, 2, 3) faces +y.
    void installSquare(std::uint16_t quadCount, std::uint16_t storedCount, const std::vector<std::uint16_t>& corners)
    {
        install({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, quadCount, storedCount, corners);
    }

private:
    void addU16(std::uint16_t value)
    {
        bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    std::vector<std::uint8_t> bytes_;
    const std::uint8_t* savedData_ = sceneDescription;
    std::int32_t savedSize_ = sceneDescriptionSize;
    std::int32_t savedPos_ = sceneReadPos;
};

} // namespace

TEST(StoredMesh, closedCubeSubdividesIntoCatmullClarkPoints)
{
    SceneObject cube = quadMesh(cubeCorners(), cubeQuads);
    subdivideQuads(cube, 1);
    ASSERT_EQ(cube.vertexCount, 26);
    ASSERT_EQ(cube.triangleCount, 24);
    const Vec3 faceCentres[6] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    for (int q = 0; q < 6; ++q) {
        EXPECT_TRUE(at(cube.vertices[8 + q], faceCentres[q])) << "face " << q;
    }
    for (int k = 14; k < 26; ++k) { // a permutation of (+-0.75, +-0.75, 0)
        const Vec3 p = cube.vertices[k].position;
        const float m = p.x * p.x + p.y * p.y + p.z * p.z;
        EXPECT_TRUE(m == 1.125f && (p.x == 0.0f || p.y == 0.0f || p.z == 0.0f)) << "edge vertex " << k;
    }
    // Vertex V + F comes from quad 0's first edge, corners 0 and 4.
    EXPECT_TRUE(at(cube.vertices[14], {-0.75f, -0.75f, 0.0f}));
    expectCorners(cube, 4.0f / 9.0f);
    // Quad 0 (0, 4, 6, 2) becomes (a, Eab, F0, Eda), (Eab, b, Ebc, F0), ...
    expectIndices(cube, {0, 14, 8, 17, 14, 4, 15, 8, 8, 15, 6, 16, 17, 8, 16, 2});

    subdivideQuads(cube, 1);
    EXPECT_EQ(cube.vertexCount, 98);
    EXPECT_EQ(cube.triangleCount, 96);
    expectCorners(cube, 49.0f / 108.0f); // the exact Catmull-Clark value
    releaseMesh(cube);
}

TEST(StoredMesh, openQuadCornersLandOnTheOppositeCorners)
{
    SceneObject quad = quadMesh(squareCorners, {0, 1, 2, 3});
    subdivideQuads(quad, 1);
    ASSERT_EQ(quad.vertexCount, 9);
    ASSERT_EQ(quad.triangleCount, 4);
    const Vec3 expected[9] = {{2, 0, 2}, {0, 0, 2}, {0, 0, 0}, {2, 0, 0}, {1, 0, 1},
                              {0.5f, 0, 0.5f}, {1.5f, 0, 0.5f}, {1.5f, 0, 1.5f}, {0.5f, 0, 1.5f}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_TRUE(at(quad.vertices[k], expected[k])) << "vertex " << k;
    }
    expectIndices(quad, {0, 5, 4, 8, 5, 1, 6, 4, 4, 6, 2, 7, 8, 4, 7, 3});
    releaseMesh(quad);
}

TEST(StoredMesh, edgesWithEqualMidpointsShareOneVertex)
{
    // Edge 1-4 listed both ways: one interior edge point (x + y + F1 + F2) / 4.
    SceneObject strip = quadMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 1}, {1, 0, 1}, {2, 0, 1}},
                                 {0, 1, 4, 3, 1, 2, 5, 4});
    subdivideQuads(strip, 1);
    EXPECT_EQ(strip.vertexCount, 6 + 2 + 7);
    EXPECT_TRUE(at(strip.vertices[9], {1.0f, 0.0f, 0.5f}));
    EXPECT_EQ(strip.indices[16 + 3], 9); // quad 1's edge (d, a) is quad 0's edge (b, c)
    releaseMesh(strip);

    // Two different edges, 0-1 and 4-5, both with midpoint (1, 0, 0).
    SceneObject crossing = quadMesh({{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2},
                                     {1, 0, -1}, {1, 0, 1}, {5, 0, 1}, {5, 0, -1}},
                                    {0, 1, 2, 3, 4, 5, 6, 7});
    subdivideQuads(crossing, 1);
    EXPECT_EQ(crossing.vertexCount, 8 + 2 + 7);
    EXPECT_EQ(crossing.indices[16 + 1], 10);
    releaseMesh(crossing);
}

TEST(StoredMesh, unusedVerticesStayAndPassesStopAtTheVertexLimit)
{
    std::vector<Vec3> positions = squareCorners;
    positions.push_back({7.0f, 8.0f, 9.0f});
    SceneObject spare = quadMesh(positions, {0, 1, 2, 3});
    subdivideQuads(spare, 1);
    ASSERT_EQ(spare.vertexCount, 5 + 1 + 4);
    EXPECT_TRUE(at(spare.vertices[4], {7.0f, 8.0f, 9.0f}));
    EXPECT_TRUE(at(spare.vertices[0], {2.0f, 0.0f, 2.0f}));
    releaseMesh(spare);

    // 65,532 + 1 face + 4 edges would pass 65,536: nothing changes.
    SceneObject over = quadMesh(squareCorners, {0, 1, 2, 3}, 65532);
    const MeshVertex* before = over.vertices;
    subdivideQuads(over, 3);
    EXPECT_EQ(over.vertexCount, 65532);
    EXPECT_EQ(over.triangleCount, 1);
    EXPECT_EQ(over.vertices, before);
    EXPECT_TRUE(at(over.vertices[1], {2.0f, 0.0f, 0.0f}));
    releaseMesh(over);

    // A cube padded to 65,446 vertices reaches exactly 65,536 after two
    // passes (+18, +72); the third would not fit and ends the run.
    SceneObject growing = quadMesh(cubeCorners(), cubeQuads, 65446);
    subdivideQuads(growing, 5);
    EXPECT_EQ(growing.vertexCount, 65536);
    EXPECT_EQ(growing.triangleCount, 96);
    EXPECT_FLOAT_EQ(growing.vertices[7].position.x, 49.0f / 108.0f);
    releaseMesh(growing);
}

TEST(StoredMesh, triangulateQuadsSplitsFromTheFirstCorner)
{
    SceneObject mesh = quadMesh({}, {4, 6, 2, 7, 0, 1, 2, 3}, 8);
    triangulateQuads(mesh);
    EXPECT_EQ(mesh.triangleCount, 4);
    expectIndices(mesh, {4, 6, 2, 4, 2, 7, 0, 1, 2, 0, 2, 3});
    releaseMesh(mesh);
}

TEST_F(StoredMeshPayload, builderReadsScaledPayloadAndGivesNormals)
{
    installSquare(1, 1, {0, 1, 2, 3});
    SceneObject square{};
    square.size = {2.0f, 3.0f, 4.0f};
    buildStoredMesh(square);
    EXPECT_EQ(sceneReadPos, 62);
    ASSERT_EQ(square.vertexCount, 4);
    ASSERT_EQ(square.triangleCount, 2);
    EXPECT_TRUE(at(square.vertices[2], {2.0f, 0.0f, 4.0f}));
    expectIndices(square, {0, 1, 2, 0, 2, 3});
    for (int k = 0; k < 4; ++k) {
        const Vec3 n = square.vertices[k].normal;
        EXPECT_TRUE(n.x == 0.0f && n.y == 1.0f && n.z == 0.0f) << "vertex " << k;
    }
    releaseMesh(square);

    // The cube wound outwards and refined once: outward unit normals.
    std::vector<std::uint16_t> outward;
    for (std::size_t q = 0; q < 24; q += 4) {
        outward.insert(outward.end(), {cubeQuads[q], cubeQuads[q + 3], cubeQuads[q + 2], cubeQuads[q + 1]});
    }
    install(cubeCorners(), 6, 6, outward);
    SceneObject cube{};
    cube.size = {0.5f, 0.5f, 0.5f};
    cube.detail = 1;
    buildStoredMesh(cube);
    EXPECT_EQ(sceneReadPos, 2 + 2 + 96 + 2 + 48);
    ASSERT_EQ(cube.vertexCount, 26);
    ASSERT_EQ(cube.triangleCount, 48);
    for (int k = 0; k < 26; ++k) {
        const Vec3 n = cube.vertices[k].normal;
        EXPECT_NEAR(vec3Dot(n, n), 1.0f, 1e-6f) << "vertex " << k;
        EXPECT_GT(vec3Dot(n, cube.vertices[k].position), 0.0f) << "vertex " << k;
    }
    EXPECT_FLOAT_EQ(cube.vertices[7].position.x, 2.0f / 9.0f); // scaled before refining
    releaseMesh(cube);
}

TEST_F(StoredMeshPayload, builderKeepsOnlyQuadsThatFitThePayload)
{
    // Second count larger: all its indices are read, the first count kept.
    installSquare(1, 2, {0, 1, 2, 3, 3, 2, 1, 0});
    SceneObject longer{};
    longer.size = {1.0f, 1.0f, 1.0f};
    buildStoredMesh(longer);
    EXPECT_EQ(sceneReadPos, 70);
    EXPECT_EQ(longer.triangleCount, 2);
    expectIndices(longer, {0, 1, 2, 0, 2, 3});
    releaseMesh(longer);

    installSquare(2, 1, {0, 1, 2, 3});
    SceneObject shorter{};
    shorter.size = {1.0f, 1.0f, 1.0f};
    buildStoredMesh(shorter);
    EXPECT_EQ(sceneReadPos, 62);
    EXPECT_EQ(shorter.triangleCount, 2);
    releaseMesh(shorter);

    // A corner past the four vertices drops its quad.
    installSquare(2, 2, {0, 1, 2, 4, 1, 2, 3, 0});
    SceneObject bad{};
    bad.size = {1.0f, 1.0f, 1.0f};
    bad.detail = 1;
    buildStoredMesh(bad);
    EXPECT_EQ(sceneReadPos, 70);
    EXPECT_EQ(bad.vertexCount, 9);
    ASSERT_EQ(bad.triangleCount, 8);
    for (std::int32_t k = 0; k < 24; ++k) {
        EXPECT_LT(bad.indices[k], 9);
    }
    releaseMesh(bad);
}

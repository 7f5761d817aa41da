#include <gtest/gtest.h>

#include <cmath>

#include "support/scene_fixture.hpp"

namespace {

class SceneLoader : public SceneFixture {
protected:
    // Common 26 bytes of a record.
    static ByteStream& header(ByteStream& s, ObjectKind kind, Vec3 position, Vec3 rotation)
    {
        return s.byte(static_cast<std::uint8_t>(kind)).byte(255).vec3(position).vec3(rotation);
    }
    // Common 40 bytes of a mesh record.
    static ByteStream& meshHeader(ByteStream& s, ObjectKind kind, Vec3 size, std::uint8_t detail,
                                  std::uint8_t texture)
    {
        header(s, kind, {1.0f, 2.0f, 3.0f}, {0.0f, 0.5f, 0.0f});
        return s.vec3(size).byte(detail).byte(texture);
    }
};

void expectVec3(Vec3 actual, Vec3 expected)
{
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.z, expected.z);
}

TEST_F(SceneLoader, storedSceneDecodesToCameraLightCubeAndTheTextWall)
{
    loadScene();
    EXPECT_EQ(objectCount, 3619);
    EXPECT_EQ(totalVertexCount, 86838);
    EXPECT_EQ(totalIndexCount, 130320);
    EXPECT_EQ(sceneReadPos, 92);

    const SceneObject& camera = objectTable[0];
    EXPECT_EQ(camera.kind, ObjectKind::Camera);
    EXPECT_EQ(camera.parent, NoParent);
    expectVec3(camera.position, {369.608734f, 2.24288607f, -15.5746002f});
    expectVec3(camera.rotation, {-1.35753655f, -0.0262487251f, -0.00450521987f});
    EXPECT_EQ(camera.drawable, 0);
    EXPECT_EQ(camera.vertexCount, 0);
    expectVec3(cameraEye, camera.position);
    EXPECT_NEAR(cameraDirection.x, -0.026604f, 1e-6f);
    EXPECT_NEAR(cameraDirection.y, -0.211529f, 1e-6f);
    EXPECT_NEAR(cameraDirection.z, 0.977010f, 1e-6f);
    EXPECT_NEAR(cameraUp.x, -0.001152f, 1e-6f);
    EXPECT_NEAR(cameraUp.y, 0.977361f, 1e-6f);
    EXPECT_NEAR(cameraUp.z, 0.211574f, 1e-6f);

    const SceneObject& light = objectTable[1];
    EXPECT_EQ(light.kind, ObjectKind::Light);
    expectVec3(light.position, {4.07624531f, 1.25450563f, 1.00545394f});
    expectVec3(light.rotation, {-0.650327981f, -1.86639082f, -0.0552171133f});
    EXPECT_EQ(light.drawable, 0);
    EXPECT_EQ(light.triangleCount, 0);

    const SceneObject& cube = objectTable[2];
    EXPECT_EQ(cube.kind, ObjectKind::Cube);
    expectVec3(cube.position, {-0.919519544f, -4.03454065f, -3.23937035f});
    expectVec3(cube.rotation, {-0.0f, 0.364000827f, 0.0f});
    EXPECT_TRUE(std::signbit(cube.rotation.x));
    expectVec3(cube.size, {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(cube.detail, 1);
    EXPECT_EQ(cube.texture, 4);
    EXPECT_EQ(cube.drawable, 1);
    EXPECT_EQ(cube.vertexCount, 54);
    EXPECT_EQ(cube.triangleCount, 48);

    for (std::int32_t i = 3; i < objectCount; ++i) {
        ASSERT_EQ(objectTable[i].kind, ObjectKind::Cube);
        ASSERT_EQ(objectTable[i].texture, 2);
        ASSERT_EQ(objectTable[i].vertexCount, 24);
    }
}

TEST_F(SceneLoader, storedWorldMatricesAfterOrdering)
{
    loadScene();
    buildUpdateOrder();
    for (std::int32_t k = 0; k < objectCount; ++k) {
        ASSERT_EQ(updateOrder[k], k);
    }
    const float expected[16] = {0.934479952f, 0, -0.356015772f, 0, 0, 1, 0, 0,
                                0.356015772f, 0, 0.934479952f, 0,
                                -0.919519544f, -4.03454065f, -3.23937035f, 1};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(objectTable[2].world.e[k], expected[k]) << "element " << k;
    }
    const SceneObject& textCube = objectTable[3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(textCube.world.e[4 * r + c], r == c ? 1.0f : 0.0f);
        }
    }
    EXPECT_EQ(textCube.world.e[12], textCube.position.x);
    EXPECT_EQ(textCube.world.e[13], textCube.position.y);
    EXPECT_EQ(textCube.world.e[14], 0.0f);
}

TEST_F(SceneLoader, cubeAltBuildsExactlyTheCubeMesh)
{
    ByteStream description;
    meshHeader(description, ObjectKind::Cube, {0.5f, 1.0f, 0.75f}, 2, 3);
    meshHeader(description, ObjectKind::CubeAlt, {0.5f, 1.0f, 0.75f}, 2, 3);
    scrollMessage = "";
    useSceneDescription(description, 2);
    loadScene();
    ASSERT_EQ(objectCount, 2);
    const SceneObject& cube = objectTable[0];
    const SceneObject& alt = objectTable[1];
    EXPECT_EQ(alt.kind, ObjectKind::CubeAlt);
    ASSERT_EQ(cube.vertexCount, alt.vertexCount);
    ASSERT_EQ(cube.triangleCount, alt.triangleCount);
    EXPECT_EQ(std::memcmp(cube.vertices, alt.vertices, sizeof(MeshVertex) * cube.vertexCount), 0);
    EXPECT_EQ(std::memcmp(cube.indices, alt.indices, 6u * cube.triangleCount), 0);
    EXPECT_EQ(totalVertexCount, 2 * cube.vertexCount);
    EXPECT_EQ(totalIndexCount, 6 * cube.triangleCount);
    expectVec3(alt.position, {1.0f, 2.0f, 3.0f});
    EXPECT_EQ(sceneReadPos, 80);
}

TEST_F(SceneLoader, laterCameraSetsTheCameraVectorsAndZeroRotationLooksDownY)
{
    ByteStream description;
    header(description, ObjectKind::Camera, {1.0f, 1.0f, 1.0f}, {0.3f, 0.2f, 0.1f});
    header(description, ObjectKind::Camera, {5.0f, 6.0f, 7.0f}, {0.0f, 0.0f, 0.0f});
    scrollMessage = "";
    useSceneDescription(description, 2);
    loadScene();
    expectVec3(cameraEye, {5.0f, 6.0f, 7.0f});
    expectVec3(cameraDirection, {0.0f, -1.0f, 0.0f});
    expectVec3(cameraUp, {0.0f, 0.0f, 1.0f});
    EXPECT_EQ(totalVertexCount, 0);
    EXPECT_EQ(sceneReadPos, 52);
}

TEST_F(SceneLoader, textCubesFollowTheDescribedObjects)
{
    ByteStream description;
    header(description, ObjectKind::Light, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    scrollMessage = "i";
    useSceneDescription(description, 1);
    loadScene();
    ASSERT_EQ(objectCount, 6);
    EXPECT_EQ(objectTable[0].kind, ObjectKind::Light);
    for (std::int32_t i = 1; i < 6; ++i) {
        EXPECT_EQ(objectTable[i].kind, ObjectKind::Cube);
        EXPECT_EQ(objectTable[i].position.x, 1.20000005f);
    }
    EXPECT_EQ(totalVertexCount, 5 * 24);
    EXPECT_EQ(totalIndexCount, 5 * 36);
    freeScene();

    // With no described objects the description is not read at all.
    objectCount = 0;
    sceneReadPos = 0;
    totalVertexCount = totalIndexCount = 0;
    loadScene();
    EXPECT_EQ(objectCount, 5);
    EXPECT_EQ(sceneReadPos, 0);
}

TEST_F(SceneLoader, unknownKindsArePlainDrawableRecordsWithoutAMesh)
{
    ByteStream description;
    meshHeader(description, static_cast<ObjectKind>(9), {1.0f, 1.0f, 1.0f}, 0, 1);
    header(description, ObjectKind::Light, {7.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    scrollMessage = "";
    useSceneDescription(description, 2);
    loadScene();
    EXPECT_EQ(objectTable[0].drawable, 1);
    EXPECT_EQ(objectTable[0].vertexCount, 0);
    EXPECT_EQ(objectTable[1].position.x, 7.0f);
    EXPECT_EQ(sceneReadPos, 66);
}

TEST_F(SceneLoader, planePatchAndStoredMeshRecordsConsumeTheirPayloads)
{
    ByteStream description;
    meshHeader(description, ObjectKind::Plane, {1.0f, 1.0f, 1.0f}, 1, 0);
    meshHeader(description, ObjectKind::BezierPatch, {1.0f, 1.0f, 1.0f}, 1, 0);
    description.byte(2); // a bilinear net
    description.vec3({0, 0, 0}).vec3({0, 0, 1}).vec3({1, 0, 0}).vec3({1, 0, 1});
    meshHeader(description, ObjectKind::StoredMesh, {2.0f, 2.0f, 2.0f}, 0, 0);
    description.u16(4).u16(1);
    description.vec3({0, 0, 0}).vec3({1, 0, 0}).vec3({1, 0, 1}).vec3({0, 0, 1});
    description.u16(1).u16(0).u16(1).u16(2).u16(3);
    const std::int32_t length = description.size();
    header(description, ObjectKind::Light, {3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    scrollMessage = "";
    useSceneDescription(description, 4);
    loadScene();
    EXPECT_EQ(objectTable[0].vertexCount, 9);
    EXPECT_EQ(objectTable[1].vertexCount, 9);
    EXPECT_EQ(objectTable[2].vertexCount, 4);
    EXPECT_EQ(objectTable[2].triangleCount, 2);
    EXPECT_EQ(objectTable[2].vertices[2].position.x, 2.0f); // scaled by size
    EXPECT_EQ(objectTable[3].position.x, 3.0f);
    EXPECT_EQ(sceneReadPos, length + 26);
    EXPECT_EQ(totalVertexCount, 9 + 9 + 4);
}

// A net of 14 x 14 is past degree 12: read past, so the next record is
// found, but given no mesh (a 255 x 255 net would take minutes to build).
TEST_F(SceneLoader, patchNetsPastDegreeTwelveAreReadPastAndBuildNoMesh)
{
    ByteStream description;
    for (const std::uint8_t n : {13, 14}) {
        meshHeader(description, ObjectKind::BezierPatch, {1.0f, 1.0f, 1.0f}, 1, 0);
        description.byte(n);
        for (int k = 0; k < n * n; ++k) {
            description.vec3({static_cast<float>(k % n), 0.0f, static_cast<float>(k / n)});
        }
    }
    header(description, ObjectKind::Light, {3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    scrollMessage = "";
    useSceneDescription(description, 3);
    loadScene();
    EXPECT_EQ(objectTable[0].vertexCount, 9);
    EXPECT_EQ(objectTable[1].vertexCount, 0);
    EXPECT_EQ(objectTable[1].triangleCount, 0);
    EXPECT_EQ(objectTable[2].position.x, 3.0f);
    EXPECT_EQ(sceneReadPos, description.size());
}

TEST_F(SceneLoader, truncatedDescriptionReadsZerosInsteadOfPastTheEnd)
{
    ByteStream description;
    description.byte(static_cast<std::uint8_t>(ObjectKind::Cube)).byte(255).f32(4.0f);
    scrollMessage = "";
    useSceneDescription(description, 1);
    loadScene();
    const SceneObject& cube = objectTable[0];
    EXPECT_EQ(cube.position.x, 4.0f);
    EXPECT_EQ(cube.position.y, 0.0f);
    EXPECT_EQ(cube.vertexCount, 24); // size 0, detail 0
}

} // namespace

// Scene loader. Records are back to back: kind and parent bytes, position
// and rotation (26 bytes; cameras and lights end there), then for meshes
// size, detail and texture (40 bytes), then the payload of stored meshes and
// patches. The mesh of each record is generated as soon as it is read.
#include "scene/scene_loader.hpp"

#include <cstring>

#include "common/allocation.hpp"
#include "mesh/bezier_patch.hpp"
#include "mesh/grid_generators.hpp"
#include "mesh/stored_mesh.hpp"
#include "mesh/vertex_attributes.hpp"
#include "scene/scene_description.hpp"
#include "scene/scene_object.hpp"
#include "scroller/cube_text.hpp"

namespace {

void readCameraRecord(SceneObject& object)
{
    object.position = takeSceneVec3();
    cameraEye = object.position;
    object.rotation = takeSceneVec3();
    updateCameraVectors(object);
}

void readLightRecord(SceneObject& object)
{
    object.drawable = 0;
    object.position = takeSceneVec3();
    object.rotation = takeSceneVec3();
}

// The patch's control net is read here and released as soon as the patch
// exists. A net larger than valid descriptions use is read past, so that
// the next record is found, and builds no mesh.
void readBezierPatch(SceneObject& object)
{
    const std::uint8_t n = takeSceneByte();
    Vec3* controlPoints = allocateZeroed<Vec3>(static_cast<std::size_t>(n) * n);
    for (std::int32_t k = 0; k < n * n; ++k) {
        controlPoints[k] = takeSceneVec3();
    }
    if (n <= MaxPatchOrder) {
        generateBezierPatch(object, controlPoints, n);
    }
    releaseBlock(controlPoints);
}

void generateMeshOfKind(SceneObject& object)
{
    switch (object.kind) {
    case ObjectKind::StoredMesh:
        buildStoredMesh(object);
        break;
    case ObjectKind::Cube:
    case ObjectKind::CubeAlt:
        generateCube(object);
        break;
    case ObjectKind::Plane:
        generatePlane(object, {0.0f, 1.0f, 0.0f}, false);
        break;
    case ObjectKind::BezierPatch:
        readBezierPatch(object);
        break;
    default:
        break; // a kind without a generator keeps an empty mesh
    }
}

// Any kind but camera and light: the transform is held until the mesh exists.
void readMeshRecord(SceneObject& object)
{
    const Vec3 position = takeSceneVec3();
    const Vec3 rotation = takeSceneVec3();
    object.size = takeSceneVec3();
    object.detail = takeSceneByte();
    object.texture = takeSceneByte();
    object.drawable = 1;
    generateMeshOfKind(object);
    object.position = position;
    object.rotation = rotation;
    totalVertexCount += object.vertexCount;
    totalIndexCount += 3 * object.triangleCount;
    computeTexCoordsFromNormals(object);
    computeTangents(object);
}

void readSceneRecord(SceneObject& object)
{
    object.kind = static_cast<ObjectKind>(takeSceneByte());
    object.parent = takeSceneByte();
    object.drawable = 0;
    object.animated = 0;
    object.changed = 0;
    std::memset(object.channelActive, 0, sizeof object.channelActive);
    if (object.kind == ObjectKind::Camera) {
        readCameraRecord(object);
    } else if (object.kind == ObjectKind::Light) {
        readLightRecord(object);
    } else {
        readMeshRecord(object);
    }
}

} // namespace

void loadScene()
{
    totalVertexCount = 0;
    totalIndexCount = 0;
    rasterizeMessage();
    const std::int32_t cubeCount = makeTextCubes();
    const std::int32_t described = objectCount > 0 ? objectCount : 0;
    objectTable = allocateZeroed<SceneObject>(static_cast<std::size_t>(described) + cubeCount);
    for (std::int32_t i = 0; i < described; ++i) {
        readSceneRecord(objectTable[i]);
    }
    // The cube records move into the table byte for byte; their mesh arrays
    // now belong to the table's copies.
    if (cubeCount > 0) {
        std::memcpy(&objectTable[described], textCubes, sizeof(SceneObject) * cubeCount);
    }
    releaseBlock(textCubes);
    objectCount = described + cubeCount;
}

void updateCameraVectors(const SceneObject& object)
{
    cameraEye = object.position;
    Mat4 x, y, z;
    mat4RotationX(x, object.rotation.x);
    mat4RotationY(y, object.rotation.y);
    mat4RotationZ(z, object.rotation.z);
    const Mat4 orientation = mat4Multiply(mat4Multiply(x, y), z);
    cameraDirection = vec3TransformDirection({0.0f, -1.0f, 0.0f}, orientation);
    cameraUp = vec3TransformDirection({0.0f, 0.0f, 1.0f}, orientation);
}

void freeObjectMesh(SceneObject& object)
{
    releaseBlock(object.indices);
    releaseBlock(object.vertices);
}

void freeScene()
{
    for (std::int32_t i = 0; i < objectCount; ++i) {
        freeObjectMesh(objectTable[i]);
    }
    releaseBlock(objectTable);
}

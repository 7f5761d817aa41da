// The scene state beside the object table.
#include "data/embedded_data.hpp"
#include "scene/scene_object.hpp"

SceneObject* objectTable = nullptr;
std::int32_t objectCount = EmbeddedSceneObjectCount;
std::int32_t totalVertexCount = 0;
std::int32_t totalIndexCount = 0;
Vec3 cameraEye = {0.0f, 0.0f, 0.0f};
Vec3 cameraDirection = {0.0f, 0.0f, 0.0f};
Vec3 cameraUp = {0.0f, 0.0f, 0.0f};
std::int32_t sceneReadPos = 0;
std::int32_t* updateOrder = nullptr;
std::int32_t updateOrderCount = 0;

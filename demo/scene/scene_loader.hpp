// The scene loader: the scene description and the text wall become
// objectTable, with every mesh generated and the camera vectors set.
#pragma once

struct SceneObject;

// Builds objectTable: the text cubes are made first, then the description's
// objectCount records are read and generated, then the cubes are appended.
void loadScene();
// Sets cameraEye, cameraDirection and cameraUp from a camera object's own
// position and rotation (turned about x, then y, then z).
void updateCameraVectors(const SceneObject& object);
// Releases an object's index array, then its vertex array.
void freeObjectMesh(SceneObject& object);
// Releases every record's mesh arrays, then the table.
void freeScene();

// Plane and cube generators: axis-aligned grids of n = 2^detail segments a
// side, written into the object record in place.
#pragma once

#include "math/vector.hpp"

struct SceneObject;

// One square grid across the axis that faceVector selects. faceVector is
// stored as every vertex's normal; with offsetAlongNormal the grid lies at
// faceVector's component on that axis, otherwise at 0.
void generatePlane(SceneObject& object, Vec3 faceVector, bool offsetAlongNormal);
// Six independent plane grids, faces in the order +y, +z, -y, -z, +x, -x.
void generateCube(SceneObject& object);

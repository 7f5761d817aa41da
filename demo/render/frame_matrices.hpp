// The matrices of a frame, with no device involved: the fixed projection,
// the view from the camera, and the four blocks of vertex-program constants
// one drawable object gets. The renderer hands these to the device; the
// digest tool prints them, so that every build can be compared bit for bit.
#pragma once

#include "math/matrix.hpp"
#include "scene/scene_object.hpp"

// Left-handed perspective into m (a zeroed matrix).
void setProjection(Mat4& m);
// A left-handed look-at from cameraEye along cameraDirection with cameraUp,
// in single precision, into m.
void lookAtCamera(Mat4& m);
// c0-c3: world x view x projection, transposed; c4-c7: the inverse of the
// world matrix (not transposed, so m4x4 through it applies the inverse
// transpose to normals); c8-c11: the world matrix, transposed.
void computeObjectConstants(const SceneObject& object, const Mat4& viewProjection, Mat4& worldViewProjection,
                            Mat4& worldInverse, Mat4& worldTransposed);

#include "render/frame_matrices.hpp"

#include <cmath>

#include "math/vector.hpp"

// Fields of view of about 52.39 by 39.29 degrees, depth 0.5 maps to 0 and
// depth 100 to 1.
void setProjection(Mat4& m)
{
    m.e[0] = static_cast<float>(1.0 / std::tan(0.45717653092240035));
    m.e[5] = static_cast<float>(1.0 / std::tan(0.3428823981918003));
    m.e[10] = 1.0050251f;   // far / (far - near)
    m.e[11] = 1.0f;         // view-space z becomes w
    m.e[14] = -0.50251257f; // -near * far / (far - near)
}

void lookAtCamera(Mat4& view)
{
    const Vec3 target = vec3Add(cameraDirection, cameraEye);
    Vec3 zAxis = vec3Subtract(target, cameraEye);
    vec3Normalize(zAxis);
    const Vec3 xAxis = vec3CrossNormalized(cameraUp, zAxis);
    const Vec3 yAxis = vec3Cross(zAxis, xAxis); // two perpendicular unit vectors: not normalised again
    float* m = view.e;
    m[0] = xAxis.x;
    m[1] = yAxis.x;
    m[2] = zAxis.x;
    m[3] = 0.0f;
    m[4] = xAxis.y;
    m[5] = yAxis.y;
    m[6] = zAxis.y;
    m[7] = 0.0f;
    m[8] = xAxis.z;
    m[9] = yAxis.z;
    m[10] = zAxis.z;
    m[11] = 0.0f;
    m[12] = -vec3Dot(xAxis, cameraEye);
    m[13] = -vec3Dot(yAxis, cameraEye);
    m[14] = -vec3Dot(zAxis, cameraEye);
    m[15] = 1.0f;
}

void computeObjectConstants(const SceneObject& object, const Mat4& viewProjection, Mat4& worldViewProjection,
                            Mat4& worldInverse, Mat4& worldTransposed)
{
    // Written straight into the three blocks, none of which is the world
    // or the view-projection: the values of multiplying, then transposing,
    // without whole matrices copied in between.
    mat4MultiplyTransposed(worldViewProjection, object.world, viewProjection);
    mat4TransposeOf(worldTransposed, object.world);
    mat4InverseAffineInto(worldInverse, object.world);
}

// Vector operations. Products of two floats are exact in double precision,
// so each expression below is evaluated in double and rounded to float once.
#include "math/vector.hpp"

#include <cmath>

#include "math/matrix.hpp"

namespace {

float roundToFloat(double value)
{
    return static_cast<float>(value);
}

} // namespace

Vec3 vec3TransformPoint(Vec3 v, const Mat4& m)
{
    const double x = v.x, y = v.y, z = v.z;
    const float* e = m.e;
    return {roundToFloat(x * e[0] + y * e[4] + z * e[8] + e[12]),
            roundToFloat(x * e[1] + y * e[5] + z * e[9] + e[13]),
            roundToFloat(x * e[2] + y * e[6] + z * e[10] + e[14])};
}

Vec3 vec3TransformDirection(Vec3 v, const Mat4& m)
{
    const double x = v.x, y = v.y, z = v.z;
    const float* e = m.e;
    return {roundToFloat(x * e[0] + y * e[4] + z * e[8]),
            roundToFloat(x * e[1] + y * e[5] + z * e[9]),
            roundToFloat(x * e[2] + y * e[6] + z * e[10])};
}

void vec3Negate(Vec3& v)
{
    v = {-v.x, -v.y, -v.z};
}

float vec3Normalize(Vec3& v)
{
    const double x = v.x, y = v.y, z = v.z;
    const float squared = roundToFloat(x * x + y * y + z * z);
    if (!(squared > 0.0f)) {
        return 0.0f;
    }
    const float length = roundToFloat(std::sqrt(static_cast<double>(squared)));
    const float inverse = 1.0f / length;
    v = {v.x * inverse, v.y * inverse, v.z * inverse};
    return length;
}

Vec3 vec3Cross(Vec3 a, Vec3 b)
{
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    return {roundToFloat(ay * bz - az * by),
            roundToFloat(az * bx - ax * bz),
            roundToFloat(ax * by - ay * bx)};
}

Vec3 vec3CrossNormalized(Vec3 a, Vec3 b)
{
    Vec3 product = vec3Cross(a, b);
    vec3Normalize(product);
    return product;
}

float vec3Dot(Vec3 a, Vec3 b)
{
    return roundToFloat(static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                        static_cast<double>(a.z) * b.z);
}

Vec3 vec3Divide(Vec3 v, float s)
{
    return {v.x / s, v.y / s, v.z / s};
}

Vec3 vec3Scale(Vec3 v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

Vec3 vec3Subtract(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 vec3Add(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

bool vec3Equal(Vec3 a, Vec3 b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

Vec3 vec3Accumulate(Vec3& acc, Vec3 v)
{
    acc = vec3Add(acc, v);
    return acc;
}

float& vec3Component(Vec3& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

float vec3Component(const Vec3& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

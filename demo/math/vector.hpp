// Three-component vectors: points, directions and normals alike.
//
// Every stored component is a 32-bit float. Where a component is a sum of
// products (dot, cross, transforms) it is formed in double precision and
// rounded to float once, at the end; that order of roundings is part of the
// generated data and must not change.
#pragma once

struct Mat4;

struct Vec3 {
    float x; // first component
    float y; // second component
    float z; // third component
};

// The row vector (x, y, z, 1) times m; no w is formed and nothing is divided.
Vec3 vec3TransformPoint(Vec3 v, const Mat4& m);
// (x, y, z) times the upper-left 3 x 3 block of m.
Vec3 vec3TransformDirection(Vec3 v, const Mat4& m);
void vec3Negate(Vec3& v);
// Scales v to unit length and returns the length it had; a vector whose
// squared length is not above 0 (or is NaN) is left as it is and gives 0.
float vec3Normalize(Vec3& v);
Vec3 vec3Cross(Vec3 a, Vec3 b);
// The cross product, normalised; parallel inputs give (0, 0, 0).
Vec3 vec3CrossNormalized(Vec3 a, Vec3 b);
float vec3Dot(Vec3 a, Vec3 b);
// A true division of each component by s, not a multiplication by 1/s.
Vec3 vec3Divide(Vec3 v, float s);
Vec3 vec3Scale(Vec3 v, float s);
Vec3 vec3Subtract(Vec3 a, Vec3 b);
Vec3 vec3Add(Vec3 a, Vec3 b);
// Exact comparison: -0 equals 0, and NaN equals nothing, not even itself.
bool vec3Equal(Vec3 a, Vec3 b);
// acc becomes acc + v; the new acc is also returned.
Vec3 vec3Accumulate(Vec3& acc, Vec3 v);

// Component by number (0 = x, 1 = y, 2 = z), for code that picks axes.
float& vec3Component(Vec3& v, int axis);
float vec3Component(const Vec3& v, int axis);

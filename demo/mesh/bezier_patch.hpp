// Tensor-product Bezier patch generator.
#pragma once

#include <cstdint>

#include "math/vector.hpp"

struct SceneObject;

// The largest net side a patch is built for: degree 12, where the 32-bit
// factorials of the Bernstein weights end. The work grows with the square
// of the side for every vertex, so a larger net (255 a side would take
// minutes) is read past and left without a mesh.
constexpr std::uint8_t MaxPatchOrder = 13;

// Tessellates the n x n net (point (a, b) at controlPoints[a * n + b]) on a
// (2^detail + 1)^2 grid. controlPoints stays the caller's.
void generateBezierPatch(SceneObject& object, const Vec3* controlPoints, std::uint8_t n);

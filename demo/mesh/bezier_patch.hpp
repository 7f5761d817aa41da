// Tensor-product Bezier patch generator.
#pragma once

#include <cstdint>

#include "math/vector.hpp"

struct SceneObject;

// Tessellates the n x n net (point (a, b) at controlPoints[a * n + b]) on a
// (2^detail + 1)^2 grid. controlPoints stays the caller's.
void generateBezierPatch(SceneObject& object, const Vec3* controlPoints, std::uint8_t n);

// 4 x 4 matrices in row-major order, for row vectors multiplied from the left
// (p' = p * M). Element (row r, column c) is e[4r + c]; the translation of an
// affine matrix lies in e[12], e[13] and e[14]. In A * B, A is applied first.
//
// Each element that is a sum of products is formed in double precision and
// rounded to float once; cosines and sines are taken in double precision and
// rounded to float before they are placed.
#pragma once

#include "math/vector.hpp"

struct Mat4 {
    float e[16]; // row-major elements, e[4 * row + column]
};

void mat4Zero(Mat4& m);
void mat4RotationX(Mat4& m, float angle);
void mat4RotationY(Mat4& m, float angle);
void mat4RotationZ(Mat4& m, float angle);
Mat4 mat4Multiply(const Mat4& a, const Mat4& b);
// out = (a * b) transposed, written element by element straight into out
// (which must be neither a nor b): the values of mat4Multiply, then
// mat4Transpose, without the copies in between.
void mat4MultiplyTransposed(Mat4& out, const Mat4& a, const Mat4& b);
// out = m transposed (out must not be m).
void mat4TransposeOf(Mat4& out, const Mat4& m);
// m becomes a * m; m's old value is read from a copy.
void mat4PreMultiply(Mat4& m, const Mat4& a);
void mat4Transpose(Mat4& m);
// Determinant of the upper-left 3 x 3 block.
float mat3Determinant(const Mat4& m);
// Inverse of an affine matrix; elements 3, 7, 11 and 15 of m are not read and
// a singular block is not tested for (its result is infinite or NaN).
Mat4 mat4InverseAffine(const Mat4& m);
// The same, written straight into out (which must not be m).
void mat4InverseAffineInto(Mat4& out, const Mat4& m);

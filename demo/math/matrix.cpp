// Matrix operations in the row-vector convention (see matrix.hpp).
#include "math/matrix.hpp"

#include <cmath>

namespace {

float roundToFloat(double value)
{
    return static_cast<float>(value);
}

struct CosSin {
    float c;
    float s;
};

CosSin cosSinOf(float angle)
{
    return {roundToFloat(std::cos(static_cast<double>(angle))),
            roundToFloat(std::sin(static_cast<double>(angle)))};
}

} // namespace

void mat4Zero(Mat4& m)
{
    for (float& element : m.e) {
        element = 0.0f;
    }
}

void mat4RotationX(Mat4& m, float angle)
{
    const CosSin cs = cosSinOf(angle);
    mat4Zero(m);
    m.e[0] = 1.0f;
    m.e[5] = cs.c;
    m.e[6] = cs.s;
    m.e[9] = -cs.s;
    m.e[10] = cs.c;
    m.e[15] = 1.0f;
}

void mat4RotationY(Mat4& m, float angle)
{
    const CosSin cs = cosSinOf(angle);
    mat4Zero(m);
    m.e[0] = cs.c;
    m.e[2] = -cs.s;
    m.e[5] = 1.0f;
    m.e[8] = cs.s;
    m.e[10] = cs.c;
    m.e[15] = 1.0f;
}

void mat4RotationZ(Mat4& m, float angle)
{
    const CosSin cs = cosSinOf(angle);
    mat4Zero(m);
    m.e[0] = cs.c;
    m.e[1] = cs.s;
    m.e[4] = -cs.s;
    m.e[5] = cs.c;
    m.e[10] = 1.0f;
    m.e[15] = 1.0f;
}

namespace {

// Element (i, j) of a * b is the double sum 0 + a(i,0) b(0,j) + ... +
// a(i,3) b(3,j), added in that order and rounded once; it is stored at
// e[rowStep * i + columnStep * j] of out (4, 1 as it stands; 1, 4
// transposed). A row's four sums are formed side by side, and each element
// is widened once rather than once a product (widening is exact, so the
// result is the same). It runs for every object of every frame.
void multiplyInto(Mat4& out, const Mat4& a, const Mat4& b, int rowStep, int columnStep)
{
    double right[16];
    for (int k = 0; k < 16; ++k) {
        right[k] = b.e[k];
    }
    for (int i = 0; i < 4; ++i) {
        double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, sum3 = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double left = a.e[4 * i + k];
            sum0 += left * right[4 * k + 0];
            sum1 += left * right[4 * k + 1];
            sum2 += left * right[4 * k + 2];
            sum3 += left * right[4 * k + 3];
        }
        out.e[rowStep * i + 0 * columnStep] = roundToFloat(sum0);
        out.e[rowStep * i + 1 * columnStep] = roundToFloat(sum1);
        out.e[rowStep * i + 2 * columnStep] = roundToFloat(sum2);
        out.e[rowStep * i + 3 * columnStep] = roundToFloat(sum3);
    }
}

} // namespace

Mat4 mat4Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    multiplyInto(out, a, b, 4, 1);
    return out;
}

void mat4MultiplyTransposed(Mat4& out, const Mat4& a, const Mat4& b)
{
    multiplyInto(out, a, b, 1, 4);
}

void mat4TransposeOf(Mat4& out, const Mat4& m)
{
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            out.e[4 * row + column] = m.e[4 * column + row];
        }
    }
}

void mat4PreMultiply(Mat4& m, const Mat4& a)
{
    const Mat4 old = m;
    m = mat4Multiply(a, old);
}

void mat4Transpose(Mat4& m)
{
    static const int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (const auto& pair : pairs) {
        const int upper = 4 * pair[0] + pair[1];
        const int lower = 4 * pair[1] + pair[0];
        const float swap = m.e[upper];
        m.e[upper] = m.e[lower];
        m.e[lower] = swap;
    }
}

namespace {

// a<row><column> as doubles; each bracket is rounded to float before it is
// multiplied, then the three products are summed in the order written.
// Inline in the inverse, which runs for every object of every frame.
inline float upperDeterminant(const Mat4& m)
{
    const float* e = m.e;
    auto at = [e](int row, int column) { return static_cast<double>(e[4 * row + column]); };
    const float b0 = roundToFloat(at(2, 0) * at(1, 2) - at(2, 2) * at(1, 0));
    const float b1 = roundToFloat(at(1, 1) * at(2, 2) - at(2, 1) * at(1, 2));
    const float b2 = roundToFloat(at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
    return roundToFloat(at(0, 1) * b0 + at(0, 0) * b1 + at(0, 2) * b2);
}

} // namespace

float mat3Determinant(const Mat4& m)
{
    return upperDeterminant(m);
}

Mat4 mat4InverseAffine(const Mat4& m)
{
    Mat4 o;
    mat4InverseAffineInto(o, m);
    return o;
}

void mat4InverseAffineInto(Mat4& o, const Mat4& m)
{
    const float r = 1.0f / upperDeterminant(m);
    const float* e = m.e;
    auto a = [e](int row, int column) { return static_cast<double>(e[4 * row + column]); };
    auto cofactor = [r](double first, double second) { return roundToFloat((first - second) * r); };

    mat4Zero(o);
    o.e[0] = cofactor(a(2, 2) * a(1, 1), a(2, 1) * a(1, 2));
    o.e[1] = cofactor(a(2, 1) * a(0, 2), a(0, 1) * a(2, 2));
    o.e[2] = cofactor(a(1, 2) * a(0, 1), a(1, 1) * a(0, 2));
    o.e[4] = cofactor(a(1, 2) * a(2, 0), a(1, 0) * a(2, 2));
    o.e[5] = cofactor(a(0, 0) * a(2, 2), a(2, 0) * a(0, 2));
    o.e[6] = cofactor(a(1, 0) * a(0, 2), a(1, 2) * a(0, 0));
    o.e[8] = cofactor(a(2, 1) * a(1, 0), a(2, 0) * a(1, 1));
    o.e[9] = cofactor(a(0, 1) * a(2, 0), a(2, 1) * a(0, 0));
    o.e[10] = cofactor(a(0, 0) * a(1, 1), a(1, 0) * a(0, 1));
    o.e[15] = 1.0f;
    for (int j = 0; j < 3; ++j) {
        const double sum = a(3, 0) * o.e[j] + a(3, 1) * o.e[4 + j] + a(3, 2) * o.e[8 + j];
        o.e[12 + j] = roundToFloat(-sum);
    }
}

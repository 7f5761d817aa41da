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

Mat4 mat4Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.e[4 * i + k]) * b.e[4 * k + j];
            }
            out.e[4 * i + j] = roundToFloat(sum);
        }
    }
    return out;
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

float mat3Determinant(const Mat4& m)
{
    // a<row><column> as doubles; each bracket is rounded to float before it
    // is multiplied, then the three products are summed in the order written.
    const float* e = m.e;
    auto at = [e](int row, int column) { return static_cast<double>(e[4 * row + column]); };
    const float b0 = roundToFloat(at(2, 0) * at(1, 2) - at(2, 2) * at(1, 0));
    const float b1 = roundToFloat(at(1, 1) * at(2, 2) - at(2, 1) * at(1, 2));
    const float b2 = roundToFloat(at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
    return roundToFloat(at(0, 1) * b0 + at(0, 0) * b1 + at(0, 2) * b2);
}

Mat4 mat4InverseAffine(const Mat4& m)
{
    const float r = 1.0f / mat3Determinant(m);
    const float* e = m.e;
    auto a = [e](int row, int column) { return static_cast<double>(e[4 * row + column]); };
    auto cofactor = [r](double first, double second) { return roundToFloat((first - second) * r); };

    Mat4 o;
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
    return o;
}

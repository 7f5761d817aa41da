#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/matrix.hpp"
#include "math/vector.hpp"

namespace {

constexpr float HalfPi = 1.57079637f;

Mat4 translation(float x, float y, float z)
{
    Mat4 m;
    mat4RotationX(m, 0.0f);
    m.e[12] = x;
    m.e[13] = y;
    m.e[14] = z;
    return m;
}

void expectVec3Near(Vec3 actual, Vec3 expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(Matrix, rotationsTurnRowVectorsTheLeftHandedWay)
{
    Mat4 z, x, y;
    mat4RotationZ(z, HalfPi);
    mat4RotationX(x, HalfPi);
    mat4RotationY(y, HalfPi);
    expectVec3Near(vec3TransformDirection({1.0f, 0.0f, 0.0f}, z), {0.0f, 1.0f, 0.0f}, 1e-7f);
    expectVec3Near(vec3TransformDirection({0.0f, 1.0f, 0.0f}, x), {0.0f, 0.0f, 1.0f}, 1e-7f);
    expectVec3Near(vec3TransformDirection({0.0f, 0.0f, 1.0f}, y), {1.0f, 0.0f, 0.0f}, 1e-7f);
}

TEST(Matrix, rotationWritesEveryElementFromFloatCosineAndSine)
{
    Mat4 m;
    for (float& element : m.e) {
        element = 99.0f;
    }
    mat4RotationY(m, 0.364000827f);
    const float c = static_cast<float>(std::cos(static_cast<double>(0.364000827f)));
    const float s = static_cast<float>(std::sin(static_cast<double>(0.364000827f)));
    const float expected[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(m.e[k], expected[k]) << "element " << k;
    }
    // The stored cube's world matrix rows (0.934479952, 0, -0.356015772, 0).
    EXPECT_EQ(m.e[0], 0.934479952f);
    EXPECT_EQ(m.e[2], -0.356015772f);
}

TEST(Matrix, productAppliesTheLeftOperandFirst)
{
    Mat4 rotate;
    mat4RotationZ(rotate, HalfPi);
    const Mat4 move = translation(5.0f, 0.0f, 0.0f);
    const Vec3 p = {1.0f, 0.0f, 0.0f};
    const Mat4 rotateThenMove = mat4Multiply(rotate, move);
    expectVec3Near(vec3TransformPoint(p, rotateThenMove),
                   vec3TransformPoint(vec3TransformPoint(p, rotate), move), 1e-6f);
    expectVec3Near(vec3TransformPoint(p, rotateThenMove), {5.0f, 1.0f, 0.0f}, 1e-6f);

    Mat4 m = move;
    mat4PreMultiply(m, rotate);
    const Mat4 expected = mat4Multiply(rotate, move);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(m.e[k], expected.e[k]);
    }
}

TEST(Matrix, transposeSwapsTheSixPairs)
{
    Mat4 m;
    for (int k = 0; k < 16; ++k) {
        m.e[k] = static_cast<float>(k);
    }
    mat4Transpose(m);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(m.e[4 * r + c], static_cast<float>(4 * c + r));
        }
    }
}

TEST(Matrix, determinantOfTheUpperBlock)
{
    Mat4 m;
    mat4Zero(m);
    m.e[0] = 2.0f;
    m.e[5] = 3.0f;
    m.e[10] = 4.0f;
    m.e[15] = 100.0f; // outside the block
    EXPECT_EQ(mat3Determinant(m), 24.0f);
    m.e[1] = 1.0f; // a01 * (a20*a12 - a22*a10) = 1 * (0 - 4 * 0)
    m.e[4] = 1.0f; // now a10 = 1: 2*(3*4) + 1*(0 - 4*1) = 20
    EXPECT_EQ(mat3Determinant(m), 20.0f);
}

TEST(Matrix, affineInverseUndoesTranslationAndRotation)
{
    const Mat4 inverse = mat4InverseAffine(translation(1.0f, 2.0f, 3.0f));
    const Mat4 expected = translation(-1.0f, -2.0f, -3.0f);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(inverse.e[k], expected.e[k]) << "element " << k;
    }

    Mat4 rotation, opposite;
    mat4RotationY(rotation, 0.7f);
    mat4RotationY(opposite, -0.7f);
    const Mat4 rotationInverse = mat4InverseAffine(rotation);
    for (int k = 0; k < 16; ++k) {
        EXPECT_NEAR(rotationInverse.e[k], opposite.e[k], 1e-7f) << "element " << k;
    }

    Mat4 world;
    mat4RotationZ(world, 0.3f);
    world.e[12] = 4.0f;
    world.e[13] = -2.0f;
    world.e[14] = 7.5f;
    const Vec3 p = {0.25f, 1.5f, -3.0f};
    expectVec3Near(vec3TransformPoint(vec3TransformPoint(p, world), mat4InverseAffine(world)), p,
                   2e-6f);
}

TEST(Matrix, affineInverseOfASingularBlockIsNotFinite)
{
    Mat4 singular;
    mat4Zero(singular);
    singular.e[15] = 1.0f;
    const Mat4 inverse = mat4InverseAffine(singular);
    EXPECT_FALSE(std::isfinite(inverse.e[0]));
    EXPECT_EQ(inverse.e[15], 1.0f);
    EXPECT_EQ(inverse.e[3], 0.0f);
}



// The inverse the vertex program gets in c4-c7 for a rotation about all
// three axes with a translation, as numbers: a wrong cofactor that only
// shows when two axes combine cannot hide behind one-axis rotations, and
// nothing here is computed by the function under test.
TEST(Matrix, inverseOfARotationAboutAllThreeAxesIsPinned)
{
    Mat4 x{}, y{}, z{};
    mat4RotationX(x, 0.3f);
    mat4RotationY(y, -1.2f);
    mat4RotationZ(z, 2.5f);
    Mat4 world = mat4Multiply(mat4Multiply(x, y), z);
    world.e[12] = 4.0f;
    world.e[13] = -2.5f;
    world.e[14] = 10.0f;
    const float expected[16] = {-0.290300608f, -0.351078182f, 0.890207767f,  0.0f,
                                0.216861024f,  -0.930202782f, -0.296132028f, 0.0f,
                                0.932039142f,  0.107084036f,  0.346173555f,  0.0f,
                                -7.61703634f,  -1.99203455f,  -7.76289654f,  1.0f};
    const Mat4 inverse = mat4InverseAffine(world);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(inverse.e[i], expected[i]) << "element " << i;
    }
}

// The product as written out plainly: element (i, j) summed in double from
// 0 in the order k = 0 to 3, rounded once.
Mat4 plainProduct(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.e[4 * i + k]) * b.e[4 * k + j];
            }
            out.e[4 * i + j] = static_cast<float>(sum);
        }
    }
    return out;
}

// Bit for bit, but any NaN is as good as another: which operand's NaN an
// addition passes on is the compiler's to choose (it may swap them).
bool sameBits(const Mat4& a, const Mat4& b)
{
    for (int k = 0; k < 16; ++k) {
        const bool bothNaN = std::isnan(a.e[k]) && std::isnan(b.e[k]);
        if (!bothNaN && std::memcmp(&a.e[k], &b.e[k], sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

TEST(Matrix, productsAndTransposesWrittenInPlaceMatchThePlainOnesBitForBit)
{
    // Values of every size and sign, signed zeros, and the odd non-finite
    // one: the per-frame forms must round and order exactly as the plain.
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-30f, 3.4e38f, -2.5e-7f, INFINITY, NAN};
    const auto value = [&]() -> float {
        const std::uint32_t pick = next();
        if (pick % 7 == 0) {
            return specials[(pick >> 8) % 9];
        }
        const float magnitude = std::ldexp(static_cast<float>((pick >> 8) & 0xFFFF) / 65536.0f, static_cast<int>(pick % 41) - 20);
        return (pick & 0x80) != 0 ? -magnitude : magnitude;
    };
    for (int round = 0; round < 2000; ++round) {
        Mat4 a, b;
        for (int k = 0; k < 16; ++k) {
            a.e[k] = value();
            b.e[k] = value();
        }
        const Mat4 plain = plainProduct(a, b);
        ASSERT_TRUE(sameBits(mat4Multiply(a, b), plain)) << round;
        Mat4 transposed = plain;
        mat4Transpose(transposed);
        Mat4 direct;
        mat4MultiplyTransposed(direct, a, b);
        ASSERT_TRUE(sameBits(direct, transposed)) << round;
        Mat4 copy = a;
        mat4Transpose(copy);
        mat4TransposeOf(direct, a);
        ASSERT_TRUE(sameBits(direct, copy)) << round;
    }
}

} // namespace

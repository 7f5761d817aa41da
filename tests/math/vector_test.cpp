#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "math/matrix.hpp"
#include "math/vector.hpp"

namespace {

void expectVec3Near(Vec3 actual, Vec3 expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(Vector, normalizeScalesToUnitLengthAndLeavesZeroAlone)
{
    Vec3 v = {3.0f, 0.0f, 4.0f};
    EXPECT_EQ(vec3Normalize(v), 5.0f);
    EXPECT_EQ(v.x, 0.6f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 0.8f);

    Vec3 zero = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(vec3Normalize(zero), 0.0f);
    EXPECT_TRUE(vec3Equal(zero, {0.0f, 0.0f, 0.0f}));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    Vec3 invalid = {nan, 1.0f, 0.0f};
    EXPECT_EQ(vec3Normalize(invalid), 0.0f);
    EXPECT_TRUE(std::isnan(invalid.x));
    EXPECT_EQ(invalid.y, 1.0f);
}

TEST(Vector, normalizeMultipliesByTheRoundedReciprocalOfTheRoundedLength)
{
    // 1/3 is not exact: the components are scaled by float(1 / float(len)),
    // which differs from a true division in the last bit for some inputs.
    Vec3 v = {1.0f, 1.0f, 1.0f};
    const float length = vec3Normalize(v);
    const float expectedLength = static_cast<float>(std::sqrt(3.0));
    EXPECT_EQ(length, expectedLength);
    EXPECT_EQ(v.x, 1.0f * (1.0f / expectedLength));
}

TEST(Vector, crossProductsFollowTheRightHandRuleAndParallelGivesZero)
{
    const Vec3 x = {1.0f, 0.0f, 0.0f};
    const Vec3 y = {0.0f, 1.0f, 0.0f};
    EXPECT_TRUE(vec3Equal(vec3Cross(x, y), {0.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(vec3Equal(vec3Cross(y, x), {0.0f, 0.0f, -1.0f}));
    EXPECT_TRUE(vec3Equal(vec3CrossNormalized({2.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 3.0f}),
                          {0.0f, -1.0f, 0.0f}));
    EXPECT_TRUE(vec3Equal(vec3CrossNormalized({1.0f, 2.0f, 3.0f}, {2.0f, 4.0f, 6.0f}),
                          {0.0f, 0.0f, 0.0f}));
}

TEST(Vector, componentsAreRoundedOnceFromDoublePrecisionSums)
{
    // In float arithmetic the 1 would be lost: 1e8 + 1 rounds back to 1e8.
    EXPECT_EQ(vec3Dot({1e8f, 1.0f, -1e8f}, {1.0f, 1.0f, 1.0f}), 1.0f);
    // 1e8 * (1 + 2^-23) - 1e8 is 11.92... exactly; rounding the product to
    // float first would give 8.
    const float justAboveOne = 1.0f + 1.1920929e-7f;
    const Vec3 c = vec3Cross({1e8f, 1.0f, 0.0f}, {1e8f, justAboveOne, 0.0f});
    EXPECT_EQ(c.z, static_cast<float>(1e8 * static_cast<double>(justAboveOne) - 1e8));
    EXPECT_GT(c.z, 11.0f);
}

TEST(Vector, equalityIsExactWithSignedZerosEqualAndNanUnequal)
{
    EXPECT_TRUE(vec3Equal({0.0f, 0.0f, 0.0f}, {-0.0f, 0.0f, 0.0f}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Vec3 withNan = {nan, 0.0f, 0.0f};
    EXPECT_FALSE(vec3Equal(withNan, withNan));
    EXPECT_FALSE(vec3Equal({1.0f, 2.0f, 3.0f}, {1.0f, 2.0f, 3.0000002f}));
}

TEST(Vector, elementwiseOperationsAndAccumulate)
{
    EXPECT_TRUE(vec3Equal(vec3Divide({1.0f, 2.0f, 3.0f}, 3.0f), {1.0f / 3.0f, 2.0f / 3.0f, 1.0f}));
    EXPECT_TRUE(vec3Equal(vec3Scale({1.0f, -2.0f, 0.5f}, 2.0f), {2.0f, -4.0f, 1.0f}));
    EXPECT_TRUE(vec3Equal(vec3Subtract({1.0f, 1.0f, 1.0f}, {0.5f, 2.0f, 1.0f}), {0.5f, -1.0f, 0.0f}));
    Vec3 acc = {1.0f, 1.0f, 1.0f};
    const Vec3 returned = vec3Accumulate(acc, {1.0f, 2.0f, 3.0f});
    EXPECT_TRUE(vec3Equal(acc, {2.0f, 3.0f, 4.0f}));
    EXPECT_TRUE(vec3Equal(returned, acc));
    Vec3 negated = {1.0f, -2.0f, 0.0f};
    vec3Negate(negated);
    EXPECT_TRUE(vec3Equal(negated, {-1.0f, 2.0f, 0.0f}));
    EXPECT_TRUE(std::signbit(negated.z));
}

TEST(Vector, transformPointIgnoresTheFourthColumnAndDirectionIgnoresTranslation)
{
    Mat4 m;
    mat4RotationZ(m, 0.0f);
    m.e[12] = 10.0f;
    m.e[13] = 20.0f;
    m.e[14] = 30.0f;
    m.e[3] = 7.0f; // never read: there is no w
    m.e[7] = 7.0f;
    m.e[11] = 7.0f;
    m.e[15] = 7.0f;
    expectVec3Near(vec3TransformPoint({1.0f, 2.0f, 3.0f}, m), {11.0f, 22.0f, 33.0f}, 0.0f);
    expectVec3Near(vec3TransformDirection({1.0f, 2.0f, 3.0f}, m), {1.0f, 2.0f, 3.0f}, 0.0f);
}

} // namespace

#include <gtest/gtest.h>

#include "anim/bernstein.hpp"

namespace {

TEST(Bernstein, integerPowersBySquaring)
{
    EXPECT_EQ(intPower(2.0f, 0), 1.0f);
    EXPECT_EQ(intPower(0.0f, 0), 1.0f);
    EXPECT_EQ(intPower(2.0f, 3), 8.0f);
    EXPECT_EQ(intPower(4.0f, 2), 16.0f);
    EXPECT_EQ(intPower(2.0f, 7), 128.0f);
    EXPECT_EQ(intPower(0.5f, 10), 1.0f / 1024.0f);
    EXPECT_EQ(intPower(0.0f, 3), 0.0f);
}

TEST(Bernstein, factorialsWrapAsUnsigned32BitArithmeticPastTwelve)
{
    EXPECT_EQ(factorial(0), 1);
    EXPECT_EQ(factorial(1), 1);
    EXPECT_EQ(factorial(5), 120);
    EXPECT_EQ(factorial(12), 479001600);
    EXPECT_EQ(factorial(13), static_cast<std::int32_t>(6227020800ull % 4294967296ull));
    // 34! and beyond are multiples of 2^32.
    EXPECT_EQ(factorial(40), 0);
}

TEST(Bernstein, cubicWeightsAtOneHalfAndTheEndpoints)
{
    EXPECT_EQ(bernsteinBasis(3, 0, 0.5f), 0.125f);
    EXPECT_EQ(bernsteinBasis(3, 1, 0.5f), 0.375f);
    EXPECT_EQ(bernsteinBasis(3, 2, 0.5f), 0.375f);
    EXPECT_EQ(bernsteinBasis(3, 3, 0.5f), 0.125f);
    for (std::uint8_t n = 0; n <= 12; ++n) {
        EXPECT_EQ(bernsteinBasis(n, 0, 0.0f), 1.0f) << "n " << int(n);
        EXPECT_EQ(bernsteinBasis(n, n, 1.0f), 1.0f) << "n " << int(n);
        for (std::uint8_t i = 1; i <= n; ++i) {
            EXPECT_EQ(bernsteinBasis(n, i, 0.0f), 0.0f);
            EXPECT_EQ(bernsteinBasis(n, static_cast<std::uint8_t>(n - i), 1.0f), 0.0f);
        }
    }
}

TEST(Bernstein, weightsSumToAboutOneUpToDegreeTwelve)
{
    for (std::uint8_t n = 1; n <= 12; ++n) {
        double sum = 0.0;
        for (std::uint8_t i = 0; i <= n; ++i) {
            sum += bernsteinBasis(n, i, 0.3f);
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << "n " << int(n);
    }
}

TEST(Bernstein, degreesAboveTwelveStayDefinedThoughWrong)
{
    // The wrapped factorials give wrong weights but no fault.
    const float weight = bernsteinBasis(20, 10, 0.5f);
    EXPECT_EQ(weight, weight) << "a number, not NaN";
}

} // namespace

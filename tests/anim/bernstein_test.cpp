#include <gtest/gtest.h>

#include "anim/bernstein.hpp"

#include <cstdint>
#include <cstring>

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

// Pinned to the bit: the weights the curves and patches are made of, at
// times that are not round. Rounding t^i * n! to float before the product
// with (1-t)^(n-i), instead of keeping it in double, moves B(3,1,0.004) by
// one ulp and about one weight in eight of the grid.
TEST(Bernstein, weightsAtArbitraryTimesArePinnedToTheBit)
{
    auto bits = [](float v) {
        std::uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    EXPECT_EQ(bits(bernsteinBasis(3, 0, 0.004f)), 0x3f7cf0b5u);
    EXPECT_EQ(bits(bernsteinBasis(3, 1, 0.004f)), 0x3c4309cdu); // 0.0119041922
    EXPECT_EQ(bits(bernsteinBasis(3, 2, 0.004f)), 0x38488574u);
    EXPECT_EQ(bits(bernsteinBasis(3, 3, 0.004f)), 0x33897061u);
    EXPECT_EQ(bits(bernsteinBasis(5, 2, 0.7312f)), 0x3dd4a983u);
    // Every degree to 8 and index at 1,000 times: FNV-1a of the bits.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (int n = 1; n <= 8; ++n) {
        for (int i = 0; i <= n; ++i) {
            for (int k = 0; k < 1000; ++k) {
                const float t = static_cast<float>(k) / 1000.0f + 0.0003f;
                const std::uint32_t b = bits(bernsteinBasis(static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(i), t));
                for (int shift = 0; shift < 32; shift += 8) {
                    hash = (hash ^ ((b >> shift) & 0xFF)) * 0x100000001b3ull;
                }
            }
        }
    }
    EXPECT_EQ(hash, 0x595f927b92e98bc4ull);
}

// The C-runtime-free exp2, log2 and round of host/crmath.h: correctly rounded
// results on generated vectors, exact powers of two, special values, and
// round's halves. Every build (native, 32-bit, Windows) runs the same
// vectors, so a build whose arithmetic differs fails here.
#include "bits.hpp"
#include "crmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace {

struct Vector {
    double in, out;
};

#include "crmath_vectors.inc"

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <size_t N> void expect_vectors(const Vector (&v)[N], double (*f)(double), const char *name)
{
    int wrong = 0;
    for (const Vector &t : v) {
        const double got = f(t.in);
        if (bits(got) != bits(t.out) && ++wrong <= 10)
            ADD_FAILURE() << name << "(" << hex(t.in) << ") = " << hex(got) << ", expected "
                          << hex(t.out);
    }
    EXPECT_EQ(wrong, 0) << "of " << N;
}

TEST(CrMath, Exp2IsCorrectlyRoundedOnVectors)
{
    expect_vectors(kExp2Vectors, crmath::exp2, "exp2");
}

TEST(CrMath, Log2IsCorrectlyRoundedOnVectors)
{
    expect_vectors(kLog2Vectors, crmath::log2, "log2");
}

TEST(CrMath, IntegerPowersOfTwoAreExact)
{
    for (int e = -1074; e <= 1023; ++e) {
        // 2^e built from its encoding: normal, or a subnormal with one bit.
        const double p = e >= -1022
                             ? std::bit_cast<double>(static_cast<std::uint64_t>(e + 1023) << 52)
                             : std::bit_cast<double>(std::uint64_t{1} << (e + 1074));
        ASSERT_EQ(bits(crmath::exp2(e)), bits(p)) << e;
        ASSERT_EQ(bits(crmath::log2(p)), bits(static_cast<double>(e))) << e;
    }
}

TEST(CrMath, SpecialValuesAndRangeEnds)
{
    EXPECT_TRUE(crmath::exp2(kNaN) != crmath::exp2(kNaN));
    EXPECT_EQ(crmath::exp2(kInf), kInf);
    EXPECT_EQ(bits(crmath::exp2(-kInf)), bits(0.0));
    EXPECT_EQ(crmath::exp2(1024.0), kInf);
    EXPECT_EQ(crmath::exp2(1e300), kInf);
    EXPECT_EQ(bits(crmath::exp2(-1075.0)), bits(0.0)); // 2^-1075: a tie, to even 0
    EXPECT_EQ(crmath::exp2(std::nextafter(-1075.0, 0.0)), 0x1p-1074);
    EXPECT_LT(crmath::exp2(std::nextafter(1024.0, 0.0)), kInf);

    EXPECT_TRUE(crmath::log2(kNaN) != crmath::log2(kNaN));
    EXPECT_TRUE(crmath::log2(-1.0) != crmath::log2(-1.0));
    EXPECT_TRUE(crmath::log2(-kInf) != crmath::log2(-kInf));
    EXPECT_EQ(crmath::log2(0.0), -kInf);
    EXPECT_EQ(crmath::log2(-0.0), -kInf);
    EXPECT_EQ(crmath::log2(kInf), kInf);
}

// Around each step of the table in exp2 (x = k/128) and across the two ends
// of the reduced range of log2, consecutive inputs never give a smaller result.
TEST(CrMath, MonotonicAcrossReductionSteps)
{
    for (int k = -1280; k <= 1280; ++k) {
        double x = std::nextafter(k / 128.0, -kInf);
        x = std::nextafter(x, -kInf);
        double prev = crmath::exp2(x);
        for (int i = 0; i < 4; ++i) {
            x = std::nextafter(x, kInf);
            const double y = crmath::exp2(x);
            ASSERT_LE(prev, y) << hex(x);
            prev = y;
        }
    }
    for (double edge : {0x1.6a09e667f3bcdp+0, 0x1.6a09e667f3bcdp-1, 1.0, 2.0}) {
        double x = std::nextafter(std::nextafter(edge, 0.0), 0.0);
        double prev = crmath::log2(x);
        for (int i = 0; i < 4; ++i) {
            x = std::nextafter(x, kInf);
            const double y = crmath::log2(x);
            ASSERT_LE(prev, y) << hex(x);
            prev = y;
        }
    }
}

TEST(CrMath, RoundTakesHalvesAwayFromZero)
{
    const Vector cases[] = {
        {0.5, 1.0},
        {-0.5, -1.0},
        {1.5, 2.0},
        {2.5, 3.0},
        {-2.5, -3.0},
        {0.49999999999999994, 0.0}, // just below a half: x + 0.5 would round up
        {-0.49999999999999994, -0.0},
        {0.3, 0.0},
        {-0.3, -0.0},
        {-0.0, -0.0},
        {2.4999999999999996, 2.0},
        {0x1p52 - 0.5, 0x1p52},
        {0x1p52 + 1.0, 0x1p52 + 1.0},
        {-0x1p53, -0x1p53},
        {1e300, 1e300},
        {kInf, kInf},
        {-kInf, -kInf},
        {4503599627370495.5, 4503599627370496.0},
        {0x1p-1074, 0.0},
    };
    for (const Vector &c : cases)
        EXPECT_EQ(bits(crmath::round(c.in)), bits(c.out)) << hex(c.in);
    EXPECT_TRUE(crmath::round(kNaN) != crmath::round(kNaN));
}

} // namespace

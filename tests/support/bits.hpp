// Bit-exact comparison of floating-point values for the test suites:
// compares encodings (so +0 and -0 differ) and prints hex floats on failure.
#ifndef QZ_TESTS_BITS_HPP
#define QZ_TESTS_BITS_HPP

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

inline std::uint64_t bits(double v)
{
    return std::bit_cast<std::uint64_t>(v);
}

inline std::string hex(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a (%.17g)", v, v);
    return buf;
}

inline ::testing::AssertionResult same_bits(float actual, float expected)
{
    if (std::bit_cast<std::uint32_t>(actual) == std::bit_cast<std::uint32_t>(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "single " << hex(actual) << " is not " << hex(expected);
}

inline ::testing::AssertionResult same_bits(double actual, double expected)
{
    if (std::bit_cast<std::uint64_t>(actual) == std::bit_cast<std::uint64_t>(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "double " << hex(actual) << " is not " << hex(expected);
}

// expected and actual, each taken as a double, have the same encoding.
#define EXPECT_BITS(expected, actual)                                                              \
    EXPECT_TRUE(same_bits(static_cast<double>(actual), static_cast<double>(expected)))

#endif // QZ_TESTS_BITS_HPP

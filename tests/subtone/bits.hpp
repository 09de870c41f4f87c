// Bit-exact comparison of floating-point values for the subtone tests:
// compares encodings (so +0 and -0 differ) and prints hex floats on failure.
#ifndef QZ_TESTS_SUBTONE_BITS_HPP
#define QZ_TESTS_SUBTONE_BITS_HPP

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

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

#endif // QZ_TESTS_SUBTONE_BITS_HPP

// Atom texts and number formatting.
#include "host_fixture.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

class Parse : public ::testing::Test {
  protected:
    qzhost::Host host;
};

// Integers as wide as the host's t_atom_long: 32 bits in the 32-bit host.
TEST_F(Parse, Integers)
{
    using limits = std::numeric_limits<t_atom_long>;
    for (auto [text, v] : std::vector<std::pair<const char *, t_atom_long>> {
             {"0", 0}, {"-12", -12}, {"+5", 5}, {"007", 7},
#if QZ_HOST_32BIT
                 {"2147483647", limits::max()}, {"-2147483648", limits::min()},
#else
             {"9223372036854775807", limits::max()},
             {"-9223372036854775808", limits::min()},
#endif
         }) {
        t_atom a = host.parse_atom(text);
        EXPECT_EQ(a.a_type, A_LONG) << text;
        EXPECT_EQ(a.a_w.w_long, v) << text;
    }
#if QZ_HOST_32BIT
    // One past the 32-bit integers: a float (2^31 is exact as a single).
    t_atom a = host.parse_atom("2147483648");
    ASSERT_EQ(a.a_type, A_FLOAT);
    EXPECT_EQ(a.a_w.w_float, 2147483648.0f);
#endif
}

TEST_F(Parse, Floats)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [text, v] : std::vector<std::pair<const char *, double>>{
             {"1.", 1.0},
             {".5", 0.5},
             {"-.5", -0.5},
             {"1e3", 1000.0},
             {"2.5E-3", 2.5e-3},
             {"0.1", 0.1},
             {"9223372036854775808", 9223372036854775808.0}, // beyond the integers
             {"1e999", inf},
             {"-1e999", -inf},
             {"1e-999", 0.0},
             {"4.9e-324", 4.9e-324},
             {"inf", inf},
             {"+INF", inf},
             {"-Infinity", -inf}}) {
        // An atom holds a t_atom_float: in the 32-bit host the single
        // nearest to the double (4.9e-324 is 0 there).
        const double expected = static_cast<t_atom_float>(v);
        t_atom a = host.parse_atom(text);
        ASSERT_EQ(a.a_type, A_FLOAT) << text;
        EXPECT_EQ(qzt::bits(a.a_w.w_float), qzt::bits(expected))
            << text << " " << qzt::hex(a.a_w.w_float);
    }
    t_atom n = host.parse_atom("NaN");
    ASSERT_EQ(n.a_type, A_FLOAT);
    EXPECT_TRUE(std::isnan(n.a_w.w_float));
    t_atom z = host.parse_atom("-0.0");
    EXPECT_EQ(qzt::bits(z.a_w.w_float), qzt::bits(-0.0));
}

TEST_F(Parse, Symbols)
{
    for (const char *text : {"abc", "0x10", "1e", "e5", "-", "+", ".", "1.2.3", "5a", "--1", "-nan",
                             "infinit", "1e+", "@mode", "0x1p3"}) {
        t_atom a = host.parse_atom(text);
        ASSERT_EQ(a.a_type, A_SYM) << text;
        EXPECT_STREQ(a.a_w.w_sym->s_name, text);
        EXPECT_EQ(a.a_w.w_sym, host.sym(text)); // interned
    }
}

TEST_F(Parse, WordsAreSplitOnBlanks)
{
    auto v = host.parse_atoms("  a\t1  2.5\n");
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].a_type, A_SYM);
    EXPECT_EQ(v[1].a_type, A_LONG);
    EXPECT_EQ(v[2].a_type, A_FLOAT);
    EXPECT_TRUE(host.parse_atoms(" \t ").empty());
}

TEST(Format, ShortestRoundTrip)
{
    EXPECT_EQ(qzhost::format_number(0.1), "0.1");
    EXPECT_EQ(qzhost::format_number(440.0), "440");
    EXPECT_EQ(qzhost::format_number(-0.0), "-0");
    EXPECT_EQ(qzhost::format_number(1e300), "1e+300");
    EXPECT_EQ(qzhost::format_number(static_cast<double>(0.1f)), "0.10000000149011612");
    EXPECT_EQ(qzhost::format_number(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(qzhost::format_number(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(qzhost::format_number(-std::numeric_limits<double>::quiet_NaN()), "nan");
    // Every text reads back (as a double) to the same bits.
    for (double v : {0.1, 1.0 / 3, 5e-324, 1.7976931348623157e308, 65.65306122448979, -2.5e-8}) {
        const std::string text = qzhost::format_number(v);
        EXPECT_EQ(qzt::bits(std::strtod(text.c_str(), nullptr)), qzt::bits(v)) << qzt::hex(v);
    }
    t_atom l;
    atom_setlong(&l, -42);
    EXPECT_EQ(qzhost::format_atom(l), "-42");
}

} // namespace

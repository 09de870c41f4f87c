// The embedded host held to what the host documents, through qzt.hostrules,
// a plug-in written by the host's own rules: "long" attributes stored as a
// C long, clip filters on both sides, typed routines that need their
// argument, symbols coerced to numbers, typed outlets. The same table runs
// natively, in the 64-bit Windows build under Wine and in the 32-bit build
// under qemu, whose answers differ where the widths do.
//
// Where the expected values come from: the host's documentation (quoted in
// each case) and the widths of the three platforms: a C long is 32 bits on
// Windows in both widths and on 32-bit Linux, 64 bits on 64-bit Linux; the
// atoms' integers are pointer-sized.
#include "host_fixture.hpp"

#include <climits>
#include <cmath>

using qzt::F;
using qzt::L;
using qzt::S;
using Strings = std::vector<std::string>;

namespace {

// The three platforms the suite runs on.
constexpr bool kAtoms32 = sizeof(t_atom_long) == 4; // linux32, win32
constexpr bool kLong32 = sizeof(long) == 4;         // win64 too
constexpr bool kLp64 = !kAtoms32 && !kLong32;       // 64-bit Linux

class HostRules : public qzt::HostTest {
  protected:
    void SetUp() override
    {
        qzt::HostTest::SetUp();
        ASSERT_TRUE(host.load("qzt.hostrules"));
        box = make("qzt.hostrules");
        host.clear_logs();
    }

    // The value of an integer attribute, read through its getter.
    long long get(const char *name)
    {
        std::vector<t_atom> out;
        EXPECT_TRUE(host.attr_get(box, name, out)) << name;
        if (out.size() != 1 || out[0].a_type != A_LONG)
            return LLONG_MIN;
        return static_cast<long long>(out[0].a_w.w_long);
    }
    double getf(const char *name)
    {
        std::vector<t_atom> out;
        EXPECT_TRUE(host.attr_get(box, name, out)) << name;
        return out.size() == 1 && out[0].a_type == A_FLOAT ? out[0].a_w.w_float : std::nan("");
    }

    qzhost::BoxId box = -1;
};

// "Attributes defined as _sym_long should remain a platform long": the
// host's accessors write sizeof(long) bytes, so a wider integer keeps its
// low bits (4294967297 = 2^32 + 1 stores 1 in 32 bits) and the field after
// it stays as it was. A number beyond 2^31 - 1 is a float in the 32-bit
// host's atoms (typed text), and a float saturates to the largest long.
TEST_F(HostRules, LongAttributesArePlatformLongs)
{
    struct Case {
        const char *value; // as typed in a message box
        long long lp64, long32, atoms32;
    };
    const Case cases[] = {
        {"4294967297", 4294967297LL, 1, 2147483647},
        {"4294967296", 4294967296LL, 0, 2147483647}, // "@mode 4294967296" is Freq on Windows
        {"2147483648", 2147483648LL, -2147483648LL, 2147483647},
        {"-1", -1, -1, -1},
        {"-4294967297", -4294967297LL, -1, -2147483647LL - 1},
        {"3.9", 3, 3, 3},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(host.send_text(box, 0, "guard 7"));
        ASSERT_TRUE(host.send_text(box, 0, std::string("val ") + c.value));
        const long long want = kLp64 ? c.lp64 : kLong32 && !kAtoms32 ? c.long32 : c.atoms32;
        EXPECT_EQ(get("val"), want) << c.value;
        EXPECT_EQ(get("guard"), 7) << c.value << ": the write ran past the long field";
    }
    // "atom_long" is a t_atom_long: every bit of the atoms' integer.
    ASSERT_TRUE(host.send_text(box, 0, "wideguard 7"));
    ASSERT_TRUE(host.send_text(box, 0, "wide 4294967297"));
    EXPECT_EQ(get("wide"), kAtoms32 ? 2147483647LL : 4294967297LL);
    EXPECT_EQ(get("wideguard"), 7);
    EXPECT_TRUE(errors().empty());
}

// "The filter will clip any values sent to or retrieved from the attribute
// using the attribute's get and set functions": a raw write past the
// filter reads clipped (the measured host answers 10 after a raw 50).
TEST_F(HostRules, ClipFiltersApplyOnGetAsWellAsOnSet)
{
    struct Case {
        const char *message;
        double read;
    };
    const Case cases[] = {
        {"clipped 50", 10}, {"clipped -2", 0}, {"clipped 4.5", 4.5},
        {"raw 50", 10},     {"raw -3", 0},     {"raw 7.25", 7.25},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(host.send_text(box, 0, c.message));
        EXPECT_EQ(getf("clipped"), c.read) << c.message;
    }
}

// "If there are no arguments supplied, invoking a typed method that has
// A_LONG, 0 as an argument type specifier will fail": the routine is not
// called (so it never sees a 0), and the console names the message.
TEST_F(HostRules, TypedRoutinesWithoutTheirArgumentAreNotCalled)
{
    EXPECT_FALSE(host.send(box, 0, "int", {}));
    EXPECT_FALSE(host.send(box, 0, "float", {}));
    EXPECT_FALSE(host.send(box, 0, "raw", {}));
    EXPECT_TRUE(host.send(box, 0, "int", {L(0)}));
    EXPECT_EQ(texts(box), (Strings{"missing argument for \"int\"", "missing argument for \"float\"",
                                   "missing argument for \"raw\"", "int 0"}));
    EXPECT_EQ(errors().size(), 3u);
}

// "An attempt is also made to coerce t_symbol data": a symbol whose whole
// text reads as a number gives that number (truncated by atom_getlong, as
// a float atom of 3.7 gives 3), any other symbol 0.
TEST_F(HostRules, SymbolsAreCoercedToNumbers)
{
    std::vector<t_atom> atoms = {S(host, "12"),  S(host, "-5"),    S(host, "3.7"),
                                 S(host, "abc"), S(host, "12abc"), S(host, ""),
                                 S(host, "1e3"), F(3.7),           L(-8)};
    ASSERT_TRUE(host.send(box, 0, "coerce", atoms));
    char f37[64];
    std::snprintf(f37, sizeof f37, "%.17g", static_cast<double>(static_cast<t_atom_float>(3.7)));
    EXPECT_EQ(texts(box), (Strings{"12 12", "-5 -5", std::string("3 ") + f37, "0 0", "0 0", "0 0",
                                   "1000 1000", std::string("3 ") + f37, "-8 -8"}));
}

// "Use intout() to create an outlet that will always send the int message";
// what outlet_float does on such an outlet is not documented, so the host
// here reports it and sends nothing, and likewise outlet_int on a floatout.
TEST_F(HostRules, TypedOutletsSendTheirOwnTypeOnly)
{
    const auto probe = make("qzt.probe");
    ASSERT_TRUE(host.connect(box, 1, probe, 0)); // the intout outlet
    ASSERT_TRUE(host.connect(box, 0, probe, 0)); // the floatout outlet
    host.clear_logs();
    ASSERT_TRUE(host.send_text(box, 0, "sendint 1 3"));
    ASSERT_TRUE(host.send_text(box, 0, "sendfloat 0 2.5"));
    ASSERT_TRUE(host.send_text(box, 0, "sendfloat 1 2.5"));
    ASSERT_TRUE(host.send_text(box, 0, "sendint 0 4"));
    EXPECT_EQ(texts(), (Strings{"int 3", "float 2.5",
                                "outlet_float on an outlet made with intout: nothing sent",
                                "outlet_int on an outlet made with floatout: nothing sent"}));
    ASSERT_EQ(host.outlet_log().size(), 2u);
    EXPECT_EQ(host.outlet_log()[0].outlet, 1);
    EXPECT_EQ(host.outlet_log()[1].outlet, 0);
}

// The lower-case macros of the host's headers, as host-built sources see
// them: the same names rewritten the same way here, so that a plug-in's own
// routine of such a name (a pool policy's clock_free, say) breaks this
// build instead of turning into something else in a user's.
#define QZT_TEXT2(...) #__VA_ARGS__
#define QZT_TEXT(...) QZT_TEXT2(__VA_ARGS__)
TEST(HostHeaderMacros, RewriteTheHostsLowerCaseNames)
{
    const std::pair<const char *, const char *> table[] = {
        {QZT_TEXT(clock_free), "freeobject"},
        {QZT_TEXT(binbuf_free), "freeobject"},
        {QZT_TEXT(wind_free), "freeobject"},
        {QZT_TEXT(gensym_tr), "gensym"},
        {QZT_TEXT(getbytes(8)), "sysmem_newptr(8)"},
        {QZT_TEXT(freebytes(p, 8)), "sysmem_freeptr(p)"},
    };
    for (const auto &[got, want] : table)
        EXPECT_STREQ(got, want);
    struct Pair {
        long a;
        double b;
    };
    EXPECT_EQ(structmembersize(Pair, b), sizeof(double));
    // The atom's value: at 8 in the 64-bit host, at 2 in the 32-bit one.
    EXPECT_EQ(calcoffset(t_atom, a_w), sizeof(void *) == 8 ? 8u : 2u);
}

} // namespace

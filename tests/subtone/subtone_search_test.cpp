// The host-free search: conversions, the search and the compute step, bit
// for bit. Cases marked CHECKED are the documented examples. Expected values
// are literals: documented, worked by hand, or (hex floats) computed by
// tests/subtone/literal_search.py, never by the routines under test.
#include "bits.hpp"
#include "subtone_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// 440 alone at approximation 0.5: the documented 440.1835, as the single
// tests/subtone/literal_search.py gives.
constexpr double k440 = 0x1.b82efcp+8;

// The value sent for partials given in Hz.
double compute_hz(std::vector<float> p, float approx, std::int64_t mode = 0)
{
    return subtone_compute(p.data(), static_cast<std::int32_t>(p.size()), mode, approx,
                           tolerance_from_midi(approx));
}

// The value sent for MIDI pitches, converted to Hz first as the object does.
double compute_midi(const std::vector<float> &pitches, float approx)
{
    std::vector<float> p;
    for (float m : pitches)
        p.push_back(midi_to_hz(m));
    return compute_hz(p, approx, 1);
}

// The same through the explicit-stack search, with the frames it leaves.
double compute_stacked(const std::vector<float> &p, float approx, std::int64_t mode,
                       std::vector<subtone_frame> &frames)
{
    frames.assign(p.size() + 1, subtone_frame{});
    return subtone_compute(p.data(), static_cast<std::int32_t>(p.size()), mode, approx,
                           tolerance_from_midi(approx), frames.data());
}

std::string text6(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
    return buf;
}

} // namespace

// ---- Conversions ----------------------------------------------------------

TEST(SubtoneConversions, ReferencePitchesAreExact)
{
    EXPECT_TRUE(same_bits(midi_to_hz(69.0f), 440.0f));
    EXPECT_TRUE(same_bits(midi_to_hz(57.0f), 220.0f));
    EXPECT_TRUE(same_bits(midi_to_hz(81.0f), 880.0f));
    EXPECT_TRUE(same_bits(hz_to_midi(440.0f), 69.0f));
    EXPECT_TRUE(same_bits(hz_to_midi(220.0f), 57.0f));
    EXPECT_TRUE(same_bits(hz_to_midi(0.0f), -kInf));
    EXPECT_TRUE(std::isnan(hz_to_midi(-1.0f)));
}

// Computed in double and rounded once: the nearest single to the exact
// value. A single-precision pow path misses this on most pitches.
TEST(SubtoneConversions, MidiToHzRoundsOnceFromDouble)
{
    for (int i = 0; i <= 1270; ++i) {
        const float m = static_cast<float>(i) / 10.0f;
        const long double exact =
            440.0L * std::pow(2.0L, (static_cast<long double>(m) - 69.0L) / 12.0L);
        EXPECT_TRUE(same_bits(midi_to_hz(m), static_cast<float>(exact))) << "m = " << m;
    }
}

TEST(SubtoneConversions, ToleranceFromApproximation) // CHECKED
{
    EXPECT_EQ(text6(tolerance_from_midi(0.5f)), "0.0293022");
    EXPECT_EQ(text6(tolerance_from_midi(1.0f)), "0.0594631");
    EXPECT_TRUE(same_bits(tolerance_from_midi(0.0f), 0.0f));
    EXPECT_TRUE(same_bits(tolerance_from_midi(12.0f), 1.0f));
    EXPECT_TRUE(same_bits(tolerance_from_midi(0.5f), 0x1.e0167ep-6f));
    EXPECT_LT(tolerance_from_midi(-0.5f), 0.0f);
}

// ---- Acceptance of a result -------------------------------------------------

TEST(SubtoneAccept, OnlyValuesStrictlyInsideMinusOneToOneAreRejected)
{
    for (float r :
         {0.0f, -0.0f, 0.5f, -0.5f, std::nextafter(1.0f, 0.0f), std::nextafter(-1.0f, 0.0f)})
        EXPECT_FALSE(subtone_accepted(r)) << hex(r);
    // Out of the 32-bit integer range, infinite or not a number: the host's
    // conversion gives INT32_MIN, which counts as found.
    for (float r : {1.0f, -1.0f, 440.0f, 3e9f, -3e9f, 3e38f, kInf, -kInf, kNaN})
        EXPECT_TRUE(subtone_accepted(r)) << hex(r);
}

// ---- Search and compute in Freq mode ---------------------------------------

TEST(SubtoneFreq, DocumentedChords) // CHECKED
{
    const double chord = compute_hz({440.0f, 550.0f, 660.0f}, 0.5f);
    EXPECT_NEAR(chord, 110.0459, 5e-5);
    EXPECT_TRUE(same_bits(chord, static_cast<double>(0x1.b82efcp+6f)));
    const double single = compute_hz({440.0f}, 0.5f);
    EXPECT_NEAR(single, 440.1835, 5e-5);
    EXPECT_TRUE(same_bits(single, static_cast<double>(0x1.b82efcp+8f)));

    std::vector<subtone_frame> frames;
    compute_stacked({440.0f, 550.0f, 660.0f}, 0.5f, 0, frames);
    EXPECT_EQ(frames[0].n, 4.0f);
    EXPECT_EQ(frames[1].n, 5.0f);
    EXPECT_EQ(frames[2].n, 6.0f);
}

TEST(SubtoneFreq, ZeroApproximationNeedsExactMultiples) // CHECKED
{
    EXPECT_TRUE(same_bits(compute_hz({440.0f}, 0.0f), 440.0));
    EXPECT_TRUE(same_bits(compute_hz({440.0f, 660.0f}, 0.0f), 220.0));
    EXPECT_TRUE(same_bits(compute_hz({440.0f, 0.0f, 660.0f}, 0.0f), 220.0)); // 0 is skipped
    // 0.5 Hz fits but lies below 1 Hz, and nothing else fits.
    EXPECT_TRUE(same_bits(compute_hz({1.0f, 1.5f}, 0.0f), 0.0));
}

TEST(SubtoneFreq, UnusableFirstPartialGivesZero) // CHECKED
{
    for (float p0 : {0.0f, -0.0f, -440.0f, kNaN, -kInf, kInf})
        EXPECT_TRUE(same_bits(compute_hz({p0, 440.0f}, 0.5f), 0.0)) << hex(p0);
    EXPECT_TRUE(same_bits(compute_hz({0.0f}, 0.5f), 0.0));
}

TEST(SubtoneFreq, BadLaterPartials)
{
    // An infinite partial after the first is tried once, at harmonic number
    // infinity: its candidates are not numbers, so like 0 it is skipped and
    // 440 alone decides (the documented 440.1835).
    EXPECT_TRUE(same_bits(compute_hz({440.0f, kInf}, 0.5f), k440));
    // A negative or not-a-number partial after the first fits nothing.
    EXPECT_TRUE(same_bits(compute_hz({440.0f, -220.0f}, 0.5f), 0.0));
    EXPECT_TRUE(same_bits(compute_hz({440.0f, kNaN}, 0.5f), 0.0));
    // A negative tolerance inverts every window: nothing is ever accepted.
    EXPECT_TRUE(same_bits(compute_hz({440.0f}, -0.5f), 0.0));
    EXPECT_TRUE(same_bits(compute_hz({440.0f, 880.0f}, -0.5f), 0.0));
}

// The midpoint is a single sum: for a huge partial it overflows to infinity,
// which the search accepts.
TEST(SubtoneFreq, HugeFirstPartialOverflowsToInfinity)
{
    EXPECT_TRUE(same_bits(compute_hz({3e38f}, 0.5f), static_cast<double>(kInf)));
}

// The top-level upper bound is (1 + t) * p0 in double rounded once, while
// the partial's own window uses the single product. For a single partial the
// result is the midpoint of [p0 / u, min(both)], so where the double bound
// is the lower one it decides the result. The first five singles from 100 Hz
// up where the two bounds give different midpoints, with the results, from
// tests/subtone/literal_search.py (exact arithmetic, rounded as each step
// says).
TEST(SubtoneFreq, TopBoundIsRoundedOnceFromDouble)
{
    struct Case {
        float partial;
        float result;
    };
    const Case cases[] = {
        {0x1.9001ecp+6f, 0x1.902ca0p+6f}, {0x1.900230p+6f, 0x1.902ce4p+6f},
        {0x1.900274p+6f, 0x1.902d28p+6f}, {0x1.9002b8p+6f, 0x1.902d6ep+6f},
        {0x1.9002fcp+6f, 0x1.902db2p+6f},
    };
    for (const Case &c : cases)
        EXPECT_TRUE(same_bits(compute_hz({c.partial}, 0.5f), static_cast<double>(c.result)))
            << hex(c.partial);
}

// ---- MIDI mode -------------------------------------------------------------

TEST(SubtoneMidi, DocumentedChords) // CHECKED
{
    EXPECT_TRUE(same_bits(compute_midi({60.0f, 64.0f, 67.0f}, 0.5f), 36.0));
    EXPECT_TRUE(same_bits(compute_midi({57.0f, 64.0f}, 0.5f), 45.0));
    EXPECT_TRUE(same_bits(compute_midi({69.0f}, 0.5f), 69.0));
    // A wider tolerance accepts about 82.69 Hz before reaching about 65.6 Hz.
    EXPECT_TRUE(same_bits(compute_midi({60.0f, 64.0f, 67.0f}, 1.0f), 40.0));
    // Only fundamentals below 1 Hz fit.
    EXPECT_TRUE(same_bits(compute_midi({0.0f, 0.5f}, 0.01f), -static_cast<double>(kInf)));
}

TEST(SubtoneMidi, NothingFoundIsMinusInfinity)
{
    EXPECT_TRUE(same_bits(compute_midi({60.0f, 64.0f}, -0.5f), -static_cast<double>(kInf)));
    EXPECT_TRUE(same_bits(compute_hz({0.0f}, 0.5f, 1), -static_cast<double>(kInf)));
    EXPECT_TRUE(same_bits(compute_hz({0.0f}, 0.0f, 1), -static_cast<double>(kInf)));
}

// Approximation 0: no grid to round to, the pitch of the fundamental as is:
// 60.3 comes back as 0x1.e26666p+5, the single nearest to it, and 440 660
// as 57 (220 Hz). Values from tests/subtone/literal_search.py.
TEST(SubtoneMidi, ZeroApproximationSendsThePitchUnrounded)
{
    EXPECT_TRUE(same_bits(compute_hz({440.0f, 660.0f}, 0.0f, 1), 57.0));
    EXPECT_TRUE(same_bits(compute_midi({60.3f}, 0.0f), 0x1.e26666p+5));
    EXPECT_TRUE(same_bits(compute_midi({60.3f}, -0.0f), 0x1.e26666p+5));
}

// Any non-zero mode is MIDI mode.
TEST(SubtoneMidi, AnyNonZeroModeIsMidi)
{
    for (std::int64_t mode :
         {std::int64_t{1}, std::int64_t{-1}, std::int64_t{2}, std::int64_t{1} << 40})
        EXPECT_TRUE(same_bits(compute_hz({440.0f}, 0.5f, mode), 69.0)) << mode;
}

// The quotient pitch / approx is a single division. Where it lands exactly
// on a half while the double quotient lies just below, rounding the single
// one goes up (halves away from zero) and the double one would go down.
// Frequencies whose pitch m gives m / 0.3 = 200.5, 201.5 and 204.5 in single
// (exact quotients just below), and frequencies whose pitch is exactly 60.5
// and -36.5; found and worked out with tests/subtone/literal_search.py. The
// sent value is 0.3f times the integer, a double product.
TEST(SubtoneMidi, GridQuotientIsSingleAndHalvesGoAwayFromZero)
{
    struct Case {
        float hz;
        float approx;
        double sent;
    };
    const Case cases[] = {
        {0x1.07e6fap+8f, 0.3f, 0x1.e26667a8p+5}, // pitch 0x1.e13334p+5: 200.5 -> 201
        {0x1.0c83e2p+8f, 0.3f, 0x1.e4ccce1p+5},  // pitch 0x1.e3999ap+5: 201.5 -> 202
        {0x1.1ad7ecp+8f, 0.3f, 0x1.ec000148p+5}, // pitch 0x1.eacccep+5: 204.5 -> 205
        {0x1.0d4ab2p+8f, 1.0f, 61.0},            // pitch 60.5
        {0x1.fc5aeep-1f, 1.0f, -37.0},           // pitch -36.5
    };
    for (const Case &c : cases)
        EXPECT_TRUE(same_bits(subtone_output(c.hz, 1, c.approx), c.sent)) << hex(c.hz);
}

// ---- Termination and depth ---------------------------------------------------

// Above 2^24 the single counter stops advancing. With a first partial of
// 10 MHz and a second one that only fits below 1 Hz, the first level tries
// every harmonic number up to 2^24 and then ends.
TEST(SubtoneTermination, HarmonicCountStopsAtTwoToThe24)
{
    const std::vector<float> p = {1e7f, 0.5f};
    std::vector<subtone_frame> frames;
    EXPECT_TRUE(same_bits(compute_stacked(p, 0.5f, 0, frames), 0.0));
    EXPECT_EQ(frames[0].n, 16777216.0f); // the last harmonic number tried
    EXPECT_GT(frames[0].n_last, 16777216.0f);
    EXPECT_TRUE(same_bits(compute_hz(p, 0.5f), 0.0));
}

// A level whose harmonic numbers start above 2^24 ends (that it tries one
// harmonic number there is checked with the counted search in
// subtone_fast_test); 0.5 Hz then fits only below 1 Hz: 0, by hand.
TEST(SubtoneTermination, LevelStartingAboveTwoToThe24Ends)
{
    const std::vector<float> p = {1.0f, 1e9f, 0.5f};
    std::vector<subtone_frame> frames;
    EXPECT_TRUE(same_bits(compute_stacked(p, 0.5f, 0, frames), 0.0));
    EXPECT_TRUE(same_bits(compute_hz(p, 0.5f), 0.0));
}

// Many repeated partials nest one level each without touching the machine
// stack; every level picks harmonic 1 and the interval stays that of one.
TEST(SubtoneDepth, LongListsOnTheExplicitStack)
{
    const double one = k440; // 440 alone, documented 440.1835
    for (std::size_t k : {std::size_t{32767}, std::size_t{100000}}) {
        std::vector<float> p(k, 440.0f);
        p[k / 2] = 0.0f; // skipped on the way
        std::vector<subtone_frame> frames;
        EXPECT_TRUE(same_bits(compute_stacked(p, 0.5f, 0, frames), one)) << k;
        EXPECT_EQ(frames[k - 1].n, 1.0f);
        EXPECT_EQ(frames[k / 2].n, 0.0f);
    }
}

// ---- The explicit stack against the recursive reference --------------------

// Differential: the explicit stack against the recursive reference, both
// the code under test; it shows they agree, the literals above that they
// are right.
TEST(SubtoneStacked, MatchesReferenceOnRandomChords)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> count(1, 5);
    std::uniform_real_distribution<float> pitch(24.0f, 108.0f);
    std::uniform_int_distribution<int> kind(0, 19);
    const float approxes[] = {0.0f, 0.01f, 0.25f, 0.5f, 1.0f, 2.0f, -0.5f};
    std::vector<float> p;
    std::vector<subtone_frame> frames;
    int accepted = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        p.clear();
        const int k = count(rng);
        // A partial that fits nothing (negative, not a number) makes the
        // search walk its whole tree; keep those lists short.
        const bool allow_bad = k <= 2;
        for (int i = 0; i < k; ++i) {
            switch (kind(rng)) {
            case 0:
                p.push_back(0.0f);
                break;
            case 1:
                p.push_back(allow_bad ? -midi_to_hz(pitch(rng)) : 0.0f);
                break;
            case 2:
                p.push_back(allow_bad ? kNaN : 0.0f);
                break;
            case 3:
                p.push_back(std::round(midi_to_hz(pitch(rng))));
                break;
            default:
                p.push_back(midi_to_hz(std::round(pitch(rng) * 4.0f) / 4.0f));
                break;
            }
        }
        const float approx = approxes[trial % 7];
        const std::int64_t mode = trial % 2;
        const double want = compute_hz(p, approx, mode);
        const double got = compute_stacked(p, approx, mode, frames);
        ASSERT_TRUE(same_bits(got, want)) << "trial " << trial;
        if (mode == 0 && want != 0.0)
            ++accepted;
    }
    EXPECT_GT(accepted, 500); // the comparison covers found results, not only failures
}

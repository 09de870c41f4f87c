// Hostile input through the embedded host: values no instrument sends (not
// a number, infinities, pitches in the millions, partials near the largest
// single, tens of thousands of partials, windows of days) must each get a
// defined answer, and none may stop the object or leave it in a state where
// later input misbehaves. docs/hostile-inputs.md lists what each one gets.
#include "bits.hpp"
#include "console.hpp"
#include "externals.hpp"
#include "pitchtally.h"
#include "qzhost.hpp"
#include "subtone.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

using qzhost::BoxId;
using qzhost::Host;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Hostile : public ::testing::Test {
  protected:
    void SetUp() override { host.add_search_path(test_externals()); }

    BoxId make(const std::string &text)
    {
        const BoxId b = host.create(text);
        EXPECT_GE(b, 0) << text;
        return b;
    }
    std::vector<qzhost::OutletEvent> sends(BoxId b) const
    {
        std::vector<qzhost::OutletEvent> out;
        for (const auto &e : host.outlet_log())
            if (e.box == b)
                out.push_back(e);
        return out;
    }
    std::vector<std::string> errors(BoxId b) const { return qzt::console_errors(host, b); }
    static std::vector<t_atom> floats(const std::vector<double> &v)
    {
        std::vector<t_atom> out(v.size());
        for (size_t i = 0; i < v.size(); ++i)
            atom_setfloat(&out[i], v[i]);
        return out;
    }

    Host host;
};

// ---- qz.subtone: bounded work ----------------------------------------------

// What qz.subtone posts when a list runs into its work budget.
const std::string kBudgetError = "search abandoned after 20000000 steps (work budget): partials "
                                 "too far out of range to settle; nothing sent";

// The contract for every list, however absurd: either exactly one value is
// sent and nothing is posted, or (when the search stops at its work budget)
// nothing is sent and the budget error is posted on the box. Each case
// states which, and the value. Either way the box then answers an ordinary
// chord exactly.
class HostileSubtone : public Hostile {
  protected:
    struct Outcome {
        bool budget;  // stopped by the work budget: nothing sent
        double value; // else the one value sent
    };
    static Outcome value(double v) { return {false, v}; }
    static Outcome stopped() { return {true, 0.0}; }

    void expect_outcome(const std::string &box_text, const std::vector<t_atom> &list, Outcome want,
                        const char *what)
    {
        host.clear_logs();
        const BoxId b = make(box_text);
        host.clear_logs();
        host.send(b, 0, "list", list);
        const auto out = sends(b);
        if (want.budget) {
            EXPECT_TRUE(out.empty()) << what << ": " << out.size() << " values sent";
            EXPECT_EQ(errors(b), std::vector<std::string>{kBudgetError}) << what;
        } else {
            EXPECT_TRUE(errors(b).empty()) << what << ": " << errors(b).front();
            ASSERT_EQ(out.size(), 1u) << what;
            EXPECT_BITS(want.value, out[0].value) << what;
        }
        host.clear_logs();
        t_atom freq;
        atom_setlong(&freq, 0);
        host.attr_set(b, "mode", {freq});
        host.attr_set(b, "approx", floats({0.5}));
        host.send(b, 0, "list", floats({440.0, 550.0, 660.0}));
        ASSERT_EQ(sends(b).size(), 1u) << what;
        EXPECT_BITS(110.04588317871094, sends(b)[0].value) << what; // documented: 110.0459
        host.free_box(b);
    }
};

// Lists where the plain depth-first search takes up to ~10^8 steps: a
// later partial fits nothing, so every branch under the first partial's
// thousands of harmonic numbers is tried (and one audible chord of six
// partials where most branches fail deep down). The results were computed
// by the plain search, which takes 1 to 45 s on each; the object must
// answer them at once.
TEST_F(HostileSubtone, ListsThatFitNothingAnswerExactly)
{
    struct Case {
        std::vector<double> partials;
        float approx;
        double expected;
    };
    const std::vector<Case> cases = {
        {{20000.0, 19999.0, 0.05}, 0.5f, 0.0}, // a third partial below 1 Hz
        {{20000.0, 19999.0, -1.0}, 0.5f, 0.0}, // a negative third partial
        {{20000.0, 19999.0, kNaN}, 0.5f, 0.0}, // not a number
        {{0.3, 19000.0, 17000.0}, 2.0f, 0.0},  // a first partial below 1 Hz
        {{0.5, 16389.0, 3576.0}, 0.5f, 0.0},
        {{1903.305, 4980.545, 2.7e-16}, 0.5f, 0.0},
        {{16310.0, 5033.0, 7337.0, 4986.535845588235, 16310.0, 20.0}, 0.5f, 20.582427978515625},
    };
    for (const Case &c : cases) {
        const BoxId b = make("qz.subtone");
        host.attr_set(b, "approx", floats({c.approx}));
        host.send(b, 0, "list", floats(c.partials));
        ASSERT_EQ(sends(b).size(), 1u);
        EXPECT_BITS(c.expected, sends(b)[0].value) << c.partials[0] << " " << c.partials[2];
        host.free_box(b);
    }
}

// Values far beyond any instrument: each gets a defined answer. Expected
// values by hand (the reasoning beside each), or from
// tests/subtone/literal_search.py, the exact transcription of the search.
TEST_F(HostileSubtone, AbsurdValuesStayWithinTheBudget)
{
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    // MIDI pitches in the millions are infinite in Hz. An infinite first
    // partial leaves no harmonic number to try (inf / inf is not a number):
    // nothing is found, which MIDI mode sends as -inf.
    expect_outcome("qz.subtone @mode 1", floats({1e6, 2e6, 3e6}), value(-kInfinity),
                   "MIDI pitches in the millions");
    // (1 + t) x 3.4e38 overflows to the single infinity, so the first level
    // starts at harmonic number 0 (ceil(flo / inf)), whose window is
    // [inf, inf]; each later partial tries only harmonic 0 too, which keeps
    // it, and the midpoint inf counts as found.
    expect_outcome("qz.subtone", floats({3.4e38, 3.3e38, 3e38}), value(kInfinity),
                   "partials near FLT_MAX");
    expect_outcome("qz.subtone", floats({FLT_MAX, 2.0, 3.0}), value(kInfinity),
                   "FLT_MAX then small partials");
    // 1e300 is infinite as a single: as above, nothing is found.
    expect_outcome("qz.subtone", floats({1e300, 1e7, 3.0}), value(0.0),
                   "a double beyond single range");
    // Partials above 1.68 MHz, where single precision stops counting
    // harmonic numbers, with a later partial that fits little: the 3 Hz
    // partial takes the fundamental near 3 Hz (literal_search.py --prune: the
    // plain search takes billions of steps here).
    expect_outcome("qz.subtone", floats({1e6, 1000001.0, 3.0}), value(0x1.8b407ep+1),
                   "a million Hz");
    // A partial of 0.05 or 0.5 Hz fits only fundamentals below 1 Hz, which
    // are never accepted: 0.
    expect_outcome("qz.subtone", floats({1e7, 1.1e7, 0.05}), value(0.0), "ten million Hz");
    expect_outcome("qz.subtone 0.01", floats({3e38, 1e7, 0.5}), value(0.0),
                   "fine tolerance, huge partials");
    // Tolerance 2^83: 440 takes harmonic 1, the 0 is skipped, 1e30 takes
    // harmonic 1 with an infinite upper end: the midpoint of
    // [1e30 / u, (1 + t) x 440] (literal_search.py).
    expect_outcome("qz.subtone 1000", floats({440.0, 0.0, 1e30}), value(0x1.152ec2p+91),
                   "a tolerance of 2^83");
    // An infinite tolerance (approx 2000 overflows 2^(a/12) to inf) and a 0 Hz
    // partial from the third on: every level counts every harmonic number up
    // to 2^24 (2^48 steps for three partials), far past the budget.
    expect_outcome("qz.subtone 2000", floats({791.0, 361.6470588235294, 0.0}), stopped(),
                   "infinite tolerance, a later 0 Hz partial");
    // A negative tolerance inverts every window: nothing is ever found.
    expect_outcome("qz.subtone -3", floats({20000.0, 19999.0, 19998.0}), value(0.0),
                   "a negative tolerance");

    // 32,767 harmonics of 55 Hz (55 Hz to 19,965 Hz) in a scrambled order:
    // 56.61 Hz at approximation 0.5 (literal_search.py, which walks the same
    // 32,768 steps), and exactly 55 at approximation 0 (every quotient
    // 55m / m is exact).
    std::vector<double> harmonics(32767);
    for (size_t i = 0; i < harmonics.size(); ++i)
        harmonics[i] = 55.0 * static_cast<double>(1 + (i * 7919) % 363);
    expect_outcome("qz.subtone", floats(harmonics), value(0x1.c4e468p+5),
                   "32767 harmonics of 55 Hz");
    expect_outcome("qz.subtone 0", floats(harmonics), value(55.0),
                   "32767 harmonics of 55 Hz, approximation 0");
    // 32,767 distinct audible partials mixed with values that fit nothing
    // (0.05 Hz, -1 Hz): only fundamentals below 1 Hz could fit, so 0.
    std::vector<double> many(32767);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = 20.0 + std::fmod(static_cast<double>(i) * 7919.123, 19980.0);
    for (size_t i = 2; i < many.size(); i += 97)
        many[i] = i % 2 ? 0.05 : -1.0;
    expect_outcome("qz.subtone", floats(many), value(0.0), "32767 partials, some below 1 Hz");
    expect_outcome("qz.subtone 0", floats(many), value(0.0), "32767 partials, approximation 0");
}

// Inputs the plain search already handles at once: a first partial that is
// infinite, not a number, or not above 0 Hz ends the search at its first
// level, whatever follows.
TEST_F(HostileSubtone, NonFiniteFirstPartialsEndAtOnce)
{
    const BoxId b = make("qz.subtone");
    const BoxId m = make("qz.subtone @mode 1");
    for (double first : {kInf, -kInf, kNaN, -1.0, 0.0}) {
        host.clear_logs();
        host.send(b, 0, "list", floats({first, 19999.0, 0.05}));
        ASSERT_EQ(sends(b).size(), 1u) << first;
        EXPECT_BITS(0.0, sends(b)[0].value) << first;
    }
    // In MIDI mode +inf is an infinite first partial and -inf is 0 Hz:
    // nothing is found, which MIDI mode sends as -inf.
    for (double first : {kInf, -kInf, kNaN}) {
        host.clear_logs();
        host.send(m, 0, "list", floats({first, 60.0, -1e6}));
        ASSERT_EQ(sends(m).size(), 1u) << first;
        EXPECT_BITS(-kInf, sends(m)[0].value) << first;
    }
}

// ---- qz.pitchtally ----------------------------------------------------------

// Not-a-number pitches equal nothing, themselves included: an agent started
// by one counts every event and never a hit past its own, and reports the
// pitch as it came.
TEST_F(Hostile, PitchtallyNotANumberPitchNeverMatches)
{
    const BoxId b = make("qz.pitchtally 4 @window 100");
    host.send_float(b, 1, 0.5);
    host.send_float(b, 0, kNaN);
    host.send_float(b, 0, kNaN);
    host.send_float(b, 0, 60.0);
    host.advance_by(200.0);
    const auto out = sends(b);
    ASSERT_EQ(out.size(), 9u);
    // Slot 0: 1 hit of 3 events; slot 1: 1 of 2; slot 2 (60): 1 of 1.
    EXPECT_BITS(1.0 / 3.0, out[0].value);
    EXPECT_BITS(0.5, out[1].value);
    EXPECT_TRUE(std::isnan(out[2].value));
    EXPECT_BITS(0.5, out[3].value);
    EXPECT_TRUE(std::isnan(out[5].value));
    EXPECT_BITS(1.0, out[6].value);
    EXPECT_BITS(60.0, out[8].value);
}

// Infinite and not-a-number amplitudes travel into the averages as IEEE
// arithmetic gives them; the probabilities are untouched.
TEST_F(Hostile, PitchtallyNonFiniteAmplitudes)
{
    const BoxId b = make("qz.pitchtally 4 @window 100");
    host.send_float(b, 1, kInf);
    host.send_float(b, 0, 60.0);
    host.send_float(b, 1, -kInf);
    host.send_float(b, 0, 60.0); // slot 0: inf + -inf
    host.send_float(b, 1, kNaN);
    host.send_float(b, 0, 61.0);
    host.advance_by(200.0);
    const auto out = sends(b);
    ASSERT_EQ(out.size(), 9u);
    // Slot 0: 2 hits of 3, inf + -inf; slot 1: 1 of 2; slot 2: 1 of 1.
    EXPECT_BITS(2.0 / 3.0, out[0].value);
    EXPECT_TRUE(std::isnan(out[1].value));
    EXPECT_BITS(0.5, out[3].value);
    EXPECT_BITS(-kInf, out[4].value);
    EXPECT_BITS(1.0, out[6].value);
    EXPECT_TRUE(std::isnan(out[7].value));
}

// Window settings of any value end up between 1 ms and 2^31 - 1 ms, and the
// agent's report comes exactly that long after its pitch.
TEST_F(Hostile, PitchtallyWindowExtremes)
{
    struct Case {
        t_atom value;
        t_atom_long window;
    };
    t_atom big, inf, ninf, nan, frac, sym;
    atom_setfloat(&big, 1e12);
    atom_setfloat(&inf, kInf);
    atom_setfloat(&ninf, -kInf);
    atom_setfloat(&nan, kNaN);
    atom_setfloat(&frac, 2.75);
    atom_setsym(&sym, host.sym("long"));
    const std::vector<Case> cases = {
        {big, INT32_MAX}, {inf, INT32_MAX}, {ninf, 1},
        {nan, 1},         {frac, 2},        {sym, 40}, // not a number: the window stays as it was
    };
    for (const Case &c : cases) {
        host.clear_logs();
        const BoxId b = make("qz.pitchtally 2 @window 40");
        host.attr_set(b, "window", {c.value});
        const auto *x = reinterpret_cast<const t_pitchtally *>(host.object(b));
        EXPECT_EQ(x->window, c.window) << qzhost::format_atom(c.value);
        const double start = host.now();
        host.send_float(b, 0, 60.0);
        host.advance_to(start + static_cast<double>(c.window) - 1.0);
        EXPECT_TRUE(sends(b).empty()) << qzhost::format_atom(c.value);
        host.advance_to(start + static_cast<double>(c.window));
        ASSERT_EQ(sends(b).size(), 3u) << qzhost::format_atom(c.value);
        EXPECT_EQ(sends(b)[0].time, start + static_cast<double>(c.window));
        host.free_box(b);
    }
}

// An agent count that no allocation can hold falls back to the default pool
// with a message, and the box works.
// Agent counts past PITCHTALLY_MAX_AGENTS are capped at creation: before the
// cap, `qz.pitchtally 10000000` froze the patch for seconds and took 1.6 GB,
// and 2^31 - 1 asked for a 137 GB block. The error texts and the counts are
// the documented behaviour (docs/hostile-inputs.md), written out by hand.
TEST_F(Hostile, PitchtallyAgentCountIsCapped)
{
    static_assert(PITCHTALLY_MAX_AGENTS == 100000, "the texts below name the cap");
    const struct {
        const char *box;
        int32_t agents;
        std::vector<std::string> errors;
    } cases[] = {
        {"qz.pitchtally 100000", 100000, {}},
        {"qz.pitchtally 100001",
         100000,
         {"100001 stat agents requested: at most 100000 are allowed, using 100000"}},
        {"qz.pitchtally 2147483647",
         100000,
         {"2147483647 stat agents requested: at most 100000 are allowed, using 100000"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.box);
        const BoxId b = make(c.box);
        const auto *x = reinterpret_cast<const t_pitchtally *>(host.object(b));
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->agentcount, c.agents);
        EXPECT_EQ(errors(b), c.errors);
        // The box works: its first agent reports.
        host.send_float(b, 0, 60.0);
        host.advance_by(1000.0);
        EXPECT_EQ(sends(b).size(), 3u);
        host.free_box(b);
    }
}

} // namespace

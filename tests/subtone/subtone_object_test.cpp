// qz.subtone in the embedded host: creation arguments, attributes, messages,
// the partial buffer, errors and assistance. CHECKED marks documented cases.
#include "bits.hpp"
#include "externals.hpp"
#include "qzhost.hpp"
#include "subtone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class SubtoneObject : public ::testing::Test {
  protected:
    void SetUp() override { host.add_search_path(test_externals()); }

    qzhost::BoxId make(const std::string &text)
    {
        const qzhost::BoxId box = host.create(text);
        EXPECT_GE(box, 0) << text;
        return box;
    }

    t_subtone *rec(qzhost::BoxId box) { return reinterpret_cast<t_subtone *>(host.object(box)); }

    // Values the box sent while running `fn`.
    template <class Fn> std::vector<double> sent(qzhost::BoxId box, Fn fn)
    {
        const size_t before = host.outlet_log().size();
        fn();
        std::vector<double> out;
        for (size_t i = before; i < host.outlet_log().size(); ++i) {
            EXPECT_EQ(host.outlet_log()[i].box, box);
            EXPECT_EQ(host.outlet_log()[i].outlet, 0);
            out.push_back(host.outlet_log()[i].value);
        }
        return out;
    }

    // The one value sent for a list given as text.
    double list(qzhost::BoxId box, const std::string &text)
    {
        const std::vector<t_atom> atoms = host.parse_atoms(text);
        const std::vector<double> v = sent(box, [&] { host.send(box, 0, "list", atoms); });
        EXPECT_EQ(v.size(), 1u) << text;
        return v.empty() ? std::nan("") : v[0];
    }

    std::vector<std::string> errors()
    {
        std::vector<std::string> out;
        for (const auto &line : host.console_log())
            if (line.error)
                out.push_back(line.cls + ": " + line.text);
        return out;
    }

    std::vector<t_atom> num(double v)
    {
        t_atom a;
        atom_setfloat(&a, v);
        return {a};
    }

    qzhost::Host host;
};

// Expected values are literals, none computed by the code under test. The
// hex floats come from tests/subtone/literal_search.py (an exact
// transcription of the search's arithmetic with fractions and 60-digit
// decimals), which also reproduces the documented examples: 440 550 660 at
// approximation 0.5 is 110.0459 (0x1.b82efcp+6), 440 alone 440.1835
// (0x1.b82efcp+8), 60 64 67 in MIDI mode 36 (40 at approximation 1).
constexpr double k440 = 0x1.b82efcp+8;         // 440 at 0.5: 440.18353271484375
constexpr double k440_660 = 0x1.b82efcp+7;     // 440 660 at 0.5: 220.09176635742188
constexpr double k440_550_660 = 0x1.b82efcp+6; // 440 550 660 at 0.5: 110.04588317871094
// Tolerances of the approximations, by the same script; 0.5 and 1 are the
// documented 0.0293022 and 0.0594631.
constexpr float kTol0_5 = 0x1.e0167ep-6f;
constexpr float kTol1 = 0x1.e71f26p-5f;
constexpr float kTol0_25 = 0x1.dc9f1cp-7f;
constexpr float kTolMinus1 = -0x1.cbc818p-5f;
constexpr float kTol0_1 = 0x1.7ba56cp-8f;

} // namespace

// ---- Loading, registration ----------------------------------------------------

TEST_F(SubtoneObject, RegistersMethodsAndAttributesWithBannerOncePerLoad)
{
    make("qz.subtone");
    make("qz.subtone 1");
    EXPECT_EQ(host.mains_called(), 1);
    int banner = 0;
    for (const auto &line : host.console_log())
        if (line.box < 0 && !line.error)
            ++banner;
    EXPECT_EQ(banner, 2); // a banner and a credit line, not one per box
    EXPECT_TRUE(errors().empty());

    EXPECT_EQ(host.method_names("qz.subtone"),
              (std::vector<std::string>{"assist", "int", "float", "list"}));
    EXPECT_EQ(host.attr_names("qz.subtone"), (std::vector<std::string>{"mode", "approx"}));

    std::vector<t_atom> v;
    ASSERT_TRUE(host.attr_attr("qz.subtone", "mode", "style", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(qzhost::format_atom(v[0]), "enumindex");
    ASSERT_TRUE(host.attr_attr("qz.subtone", "mode", "enumvals", v));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(qzhost::format_atom(v[0]) + " " + qzhost::format_atom(v[1]), "Freq MIDI");
    ASSERT_TRUE(host.attr_attr("qz.subtone", "approx", "label", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(qzhost::format_atom(v[0]), "Approximation (MIDI)");
    for (const char *attr : {"mode", "approx"}) {
        ASSERT_TRUE(host.attr_attr("qz.subtone", attr, "save", v)) << attr;
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(qzhost::format_atom(v[0]), "1");
    }
}

TEST_F(SubtoneObject, AssistanceTexts) // CHECKED
{
    const qzhost::BoxId box = make("qz.subtone");
    bool written = false;
    EXPECT_EQ(host.assist(box, 1, 0, &written), "Ordered list of frequencies (Hz)");
    EXPECT_TRUE(written);
    EXPECT_EQ(host.assist(box, 2, 0, &written), "Virtual Fundamental");
    EXPECT_TRUE(written);
    host.assist(box, 2, 1, &written);
    EXPECT_FALSE(written);
    host.assist(box, 3, 0, &written);
    EXPECT_FALSE(written);
}

// ---- Creation arguments and attributes ----------------------------------------

TEST_F(SubtoneObject, CreationArgumentSetsApproximation) // CHECKED
{
    struct Case {
        const char *text;
        float approx;
        float tolerance;
    };
    for (const Case &c :
         {Case{"qz.subtone", 0.5f, kTol0_5}, Case{"qz.subtone 1", 1.0f, kTol1},
          Case{"qz.subtone 0.25", 0.25f, kTol0_25}, Case{"qz.subtone foo", 0.5f, kTol0_5},
          Case{"qz.subtone @mode 1", 0.5f, kTol0_5}, Case{"qz.subtone -1", -1.0f, kTolMinus1},
          Case{"qz.subtone 0.1", 0.1f, kTol0_1}}) {
        const qzhost::BoxId box = make(c.text);
        const t_subtone *x = rec(box);
        ASSERT_NE(x, nullptr);
        EXPECT_TRUE(same_bits(x->approx, c.approx)) << c.text;
        EXPECT_TRUE(same_bits(x->tolerance, c.tolerance)) << c.text;
        EXPECT_EQ(x->partials, nullptr);
        EXPECT_EQ(x->capacity, 0);
    }
    EXPECT_TRUE(errors().empty());
}

TEST_F(SubtoneObject, ModeStartsAtFreqAndAttributeArgumentsApply)
{
    EXPECT_EQ(rec(make("qz.subtone"))->mode, 0);
    const qzhost::BoxId box = make("qz.subtone 1 @mode 1");
    EXPECT_EQ(rec(box)->mode, 1);
    EXPECT_TRUE(same_bits(rec(box)->approx, 1.0f));
    // Through the attribute the clip filter applies: below 0 becomes 0.
    const qzhost::BoxId clipped = make("qz.subtone 2 @approx -3");
    EXPECT_TRUE(same_bits(rec(clipped)->approx, 0.0f));
    EXPECT_TRUE(same_bits(rec(clipped)->tolerance, 0.0f));
}

TEST_F(SubtoneObject, ApproxSetterKeepsToleranceInStep) // CHECKED
{
    const qzhost::BoxId box = make("qz.subtone 2");
    t_subtone *x = rec(box);
    ASSERT_TRUE(host.attr_set(box, "approx", num(1.0)));
    EXPECT_TRUE(same_bits(x->approx, 1.0f));
    EXPECT_TRUE(same_bits(x->tolerance, kTol1));
    ASSERT_TRUE(host.attr_set(box, "approx", {}));
    EXPECT_TRUE(same_bits(x->approx, 0.5f));
    EXPECT_TRUE(same_bits(x->tolerance, kTol0_5));
    ASSERT_TRUE(host.attr_set(box, "approx", num(-2.0)));
    EXPECT_TRUE(same_bits(x->approx, 0.0f));
    EXPECT_TRUE(same_bits(x->tolerance, 0.0f));
    // A double value is rounded to single once.
    ASSERT_TRUE(host.attr_set(box, "approx", num(0.1)));
    EXPECT_TRUE(same_bits(x->approx, 0.1f));
    EXPECT_TRUE(same_bits(x->tolerance, kTol0_1));
    std::vector<t_atom> got;
    ASSERT_TRUE(host.attr_get(box, "approx", got));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(same_bits(static_cast<float>(atom_getfloat(&got[0])), 0.1f));
}

TEST_F(SubtoneObject, ModeAttributeWritesOnlyMode)
{
    const qzhost::BoxId box = make("qz.subtone 1");
    t_subtone *x = rec(box);
    t_atom a;
    atom_setlong(&a, 1);
    ASSERT_TRUE(host.attr_set(box, "mode", {a}));
    EXPECT_EQ(x->mode, 1);
    EXPECT_TRUE(same_bits(x->approx, 1.0f));
    EXPECT_TRUE(same_bits(x->tolerance, kTol1));
    EXPECT_TRUE(same_bits(list(box, "60 64 67"), 40.0));
    atom_setlong(&a, 0);
    ASSERT_TRUE(host.attr_set(box, "mode", {a}));
    EXPECT_EQ(x->mode, 0);
}

// ---- Numbers and lists ------------------------------------------------------------

TEST_F(SubtoneObject, NumbersAreListsOfOne) // CHECKED
{
    const qzhost::BoxId box = make("qz.subtone");
    const double one = list(box, "440");
    EXPECT_TRUE(same_bits(one, k440));
    auto v = sent(box, [&] { host.send_float(box, 0, 440.0); });
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(same_bits(v[0], one));
    v = sent(box, [&] { host.send_int(box, 0, 440); });
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(same_bits(v[0], one));
    // The integer is taken as 32 bits (in the 32-bit host it is 440 already).
    v = sent(box,
             [&] { host.send_int(box, 0, static_cast<t_atom_long>((int64_t{1} << 32) + 440)); });
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(same_bits(v[0], one));

    const qzhost::BoxId midi = make("qz.subtone @mode 1");
    v = sent(midi, [&] { host.send_int(midi, 0, 69); });
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(same_bits(v[0], 69.0));
}

TEST_F(SubtoneObject, ChordsInBothModes) // CHECKED
{
    const qzhost::BoxId freq = make("qz.subtone");
    EXPECT_TRUE(same_bits(list(freq, "440 550 660"), k440_550_660));
    const qzhost::BoxId midi = make("qz.subtone 0.5 @mode 1");
    EXPECT_TRUE(same_bits(list(midi, "60 64 67"), 36.0));
    EXPECT_TRUE(same_bits(list(midi, "57 64"), 45.0));
    // A float pitch: 60.1 still gives 36 (literal_search.py).
    EXPECT_TRUE(same_bits(list(midi, "60.1 64 67"), 36.0));
    // Approximation 0 in MIDI mode: the pitch of the fundamental, unrounded:
    // 60.3 comes back as the single nearest to it, 0x1.e26666p+5
    // (60.29999923706055; at approximation 0.5 it would be 60.5).
    const qzhost::BoxId exact = make("qz.subtone 0 @mode 1");
    EXPECT_TRUE(same_bits(list(exact, "69"), 69.0));
    EXPECT_TRUE(same_bits(list(exact, "60.3"), 0x1.e26666p+5));
    // 69 76 at tolerance 0: no exact common fundamental at or above 1 Hz in
    // single precision (literal_search.py), so negative infinity.
    EXPECT_TRUE(same_bits(list(exact, "69 76"), -kInf));
}

TEST_F(SubtoneObject, BadNumbersNeverStopTheObject)
{
    const qzhost::BoxId box = make("qz.subtone");
    EXPECT_TRUE(same_bits(list(box, "0"), 0.0));
    EXPECT_TRUE(same_bits(list(box, "-440 220"), 0.0));
    EXPECT_TRUE(same_bits(list(box, "440 -220"), 0.0));
    EXPECT_TRUE(same_bits(list(box, "inf"), 0.0));
    EXPECT_TRUE(same_bits(list(box, "nan 440"), 0.0));
    EXPECT_TRUE(same_bits(list(box, "3e38"), kInf));
    EXPECT_TRUE(same_bits(list(box, "1e300"), 0.0)); // a double beyond single range is inf
    // A negative approximation from the creation argument inverts every window.
    const qzhost::BoxId neg = make("qz.subtone -1");
    EXPECT_TRUE(same_bits(list(neg, "440 660"), 0.0));
    const qzhost::BoxId negmidi = make("qz.subtone -1 @mode 1");
    EXPECT_TRUE(same_bits(list(negmidi, "60 67"), -kInf));
    // Still working afterwards.
    EXPECT_TRUE(same_bits(list(box, "440 660"), k440_660));
    EXPECT_TRUE(errors().empty());
}

// ---- Wrong types, empty lists -------------------------------------------------------

TEST_F(SubtoneObject, WrongTypeIsReportedAndItsSlotSkipped) // CHECKED
{
    const qzhost::BoxId box = make("qz.subtone 0");
    // Fill the buffer first, so a slot left unwritten would show.
    EXPECT_TRUE(same_bits(list(box, "440 550 660"), 110.0));
    EXPECT_TRUE(same_bits(list(box, "440 foo 660"), 220.0));
    EXPECT_EQ(errors(), (std::vector<std::string>{"qz.subtone: wrong argument type"}));
    host.clear_logs();
    EXPECT_TRUE(same_bits(list(box, "foo 660 bar"), 0.0)); // a wrong first atom: slot 0 Hz
    EXPECT_EQ(errors().size(), 2u);

    // In MIDI mode the slot holds 0 Hz, not the frequency of pitch 0.
    const qzhost::BoxId midi = make("qz.subtone 0.5 @mode 1");
    // 60, 0 Hz, 67: the 0 is skipped, and 60 67 fit 48 (literal_search.py).
    EXPECT_TRUE(same_bits(list(midi, "60 x 67"), 48.0));
    EXPECT_TRUE(same_bits(list(midi, "x 60"), -kInf));
}

TEST_F(SubtoneObject, EmptyListSendsAndPostsNothing)
{
    const qzhost::BoxId box = make("qz.subtone");
    host.clear_logs();
    const auto v = sent(box, [&] { host.send(box, 0, "list", {}); });
    EXPECT_TRUE(v.empty());
    EXPECT_TRUE(host.console_log().empty());
    EXPECT_EQ(rec(box)->partials, nullptr);
}

// ---- The partial buffer ---------------------------------------------------------------

TEST_F(SubtoneObject, BufferGrowsToTheListAndIsReused) // CHECKED
{
    const qzhost::BoxId box = make("qz.subtone");
    t_subtone *x = rec(box);
    list(box, "440 550 660");
    EXPECT_EQ(x->capacity, 3);
    list(box, "100 200 300 400 500");
    EXPECT_EQ(x->capacity, 5);
    const float *partials = x->partials;
    const subtone_fast_frame *frames = x->search.frames;
    ASSERT_NE(partials, nullptr);
    ASSERT_NE(frames, nullptr);
    list(box, "440 660");
    list(box, "440");
    EXPECT_EQ(x->capacity, 5);
    EXPECT_EQ(x->partials, partials);
    EXPECT_EQ(x->search.frames, frames);
    // The slots hold the last list in Hz.
    host.attr_set(box, "mode", host.parse_atoms("1"));
    list(box, "69 81");
    EXPECT_TRUE(same_bits(x->partials[0], 440.0f));
    EXPECT_TRUE(same_bits(x->partials[1], 880.0f));
}

// The count of the buffer is kept in 16 bits: a list above 32,767 leaves a
// value lower than the allocation, never higher.
TEST_F(SubtoneObject, LongListsAndTheSixteenBitCapacity)
{
    const qzhost::BoxId box = make("qz.subtone");
    t_subtone *x = rec(box);
    const double one = list(box, "440");
    for (int k : {32767, 40000, 70000}) {
        std::vector<t_atom> atoms(static_cast<size_t>(k));
        for (auto &a : atoms)
            atom_setfloat(&a, 440.0);
        const auto v = sent(box, [&] { host.send(box, 0, "list", atoms); });
        ASSERT_EQ(v.size(), 1u) << k;
        EXPECT_TRUE(same_bits(v[0], one)) << k;
        EXPECT_EQ(x->capacity, static_cast<int16_t>(k)) << k;
    }
    EXPECT_EQ(x->capacity, 70000 - 65536);
    // 4464 < 5000: allocates again although the buffer would hold it.
    std::vector<t_atom> atoms(5000);
    for (auto &a : atoms)
        atom_setlong(&a, 440);
    const auto v = sent(box, [&] { host.send(box, 0, "list", atoms); });
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(same_bits(v[0], one));
    EXPECT_EQ(x->capacity, 5000);
    EXPECT_TRUE(errors().empty());
}

// With a first partial of 10 MHz the harmonic number reaches 2^24 in
// single precision; the search must still end.
TEST_F(SubtoneObject, SearchEndsWhereSingleCountingStops)
{
    const qzhost::BoxId box = make("qz.subtone");
    EXPECT_TRUE(same_bits(list(box, "10000000 0.5"), 0.0));
    const qzhost::BoxId midi = make("qz.subtone @mode 1");
    EXPECT_TRUE(same_bits(list(midi, "215 -60"), -kInf));
}

// Partials of 10^24 Hz and more saturate the harmonic counter; the search
// stops at its work budget, says so, sends nothing, and the next list is
// answered as usual.
TEST_F(SubtoneObject, WorkBudgetStopsAbsurdListsWithAnError)
{
    const qzhost::BoxId box = make("qz.subtone 3");
    host.clear_logs();
    std::vector<t_atom> atoms =
        host.parse_atoms("7807.57 1.2734e+08 3.81515e+24 43.324 1.39612e+27 11867.4 5.40174");
    const auto v = sent(box, [&] { host.send(box, 0, "list", atoms); });
    EXPECT_TRUE(v.empty());
    // The text names the budget: 20,000,000 steps, as docs/objects.md says.
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "qz.subtone: search abandoned after 20000000 steps (work budget): "
                            "partials too far out of range to settle; nothing sent"}));
    // 440 550 660 at approximation 3: 0x1.ecdf4p+7 (literal_search.py).
    EXPECT_TRUE(same_bits(list(box, "440 550 660"), 0x1.ecdf4p+7));
}

// The budget's headroom: the most demanding chords docs/objects.md promises an
// answer (partials up to 2 MHz at approximation 0, about 1.7 million steps,
// where the single-precision harmonic counter nears 2^24) are answered.
// Values from literal_search.py, which walks the same 1.7 million harmonic
// numbers; the step counts are `qz subtone --approx 0 --stats`.
TEST_F(SubtoneObject, WorkBudgetLetsTheDemandingChordsThrough)
{
    const qzhost::BoxId box = make("qz.subtone 0");
    host.clear_logs();
    EXPECT_TRUE(same_bits(list(box, "2000000 1999999"), 0x1.2ca84cp+0)); // 1,686,552 steps
    EXPECT_TRUE(same_bits(list(box, "1999999 1999998"), 0x1.2ca87cp+0)); // 1,686,547 steps
    EXPECT_TRUE(errors().empty());
}

// Any mode other than 0 is MIDI mode, from the creation arguments and from
// the attribute alike, for any integer the host stores: the documented
// chord 60 64 67 at approximation 0.5 gives 36 in MIDI mode. "mode" is a
// "long" attribute, which the host stores as a C long: on Windows (32 bits
// in both widths) an integer keeps its low 32 bits only, so 2^32 is Freq
// there and MIDI on 64-bit Linux.
TEST_F(SubtoneObject, EveryNonZeroModeIsMidi)
{
    struct Mode {
        t_atom_long given;
        long stored;
    };
    std::vector<Mode> modes = {
        {1, 1}, {2, 2}, {7, 7}, {-1, -1}, {-2, -2}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}};
    if constexpr (sizeof(t_atom_long) == 8) {
        constexpr bool long32 = sizeof(long) == 4;
        const t_atom_long lo = std::numeric_limits<t_atom_long>::min();
        const t_atom_long hi = std::numeric_limits<t_atom_long>::max();
        modes.push_back(
            {t_atom_long{1} << 32, long32 ? 0L : static_cast<long>(t_atom_long{1} << 32)});
        modes.push_back({(t_atom_long{1} << 32) + 5,
                         long32 ? 5L : static_cast<long>((t_atom_long{1} << 32) + 5)});
        modes.push_back({lo, long32 ? 0L : static_cast<long>(lo)});  // low 32 bits: 0
        modes.push_back({hi, long32 ? -1L : static_cast<long>(hi)}); // low 32 bits: all ones
    }
    const double in_hz = list(make("qz.subtone"), "60 64 67"); // Freq mode's answer
    for (const Mode &m : modes) {
        const double want = m.stored != 0 ? 36.0 : in_hz;
        t_atom args[2];
        atom_setsym(&args[0], host.sym("@mode"));
        atom_setlong(&args[1], m.given);
        const qzhost::BoxId created = host.create("qz.subtone", {args[0], args[1]});
        ASSERT_GE(created, 0) << m.given;
        EXPECT_EQ(rec(created)->mode, m.stored);
        EXPECT_TRUE(same_bits(list(created, "60 64 67"), want)) << "@mode " << m.given;

        const qzhost::BoxId set = make("qz.subtone");
        ASSERT_TRUE(host.attr_set(set, "mode", {args[1]}));
        EXPECT_EQ(rec(set)->mode, m.stored);
        EXPECT_TRUE(same_bits(list(set, "60 64 67"), want)) << "set mode " << m.given;
        if (m.stored == 0)
            continue;
        // A number alone too: 69 is sent back as 69.
        const auto v = sent(set, [&] { host.send_int(set, 0, 69); });
        ASSERT_EQ(v.size(), 1u);
        EXPECT_TRUE(same_bits(v[0], 69.0)) << m.given;
    }
    // And 0 is Freq mode: 440 550 660 in Hz.
    const qzhost::BoxId freq = make("qz.subtone @mode 0");
    EXPECT_TRUE(same_bits(list(freq, "440 550 660"), k440_550_660));
    EXPECT_TRUE(errors().empty());
}

TEST_F(SubtoneObject, ConstructorFailureMakesNoBox)
{
    make("qz.subtone"); // loaded
    host.inject_fault(qzhost::Host::Fault::ObjectAlloc);
    EXPECT_LT(host.create("qz.subtone"), 0);
    EXPECT_GE(make("qz.subtone"), 0);
}

// qz.subtone in the embedded host: creation arguments, attributes, messages,
// the partial buffer, errors and assistance. CHECKED marks documented cases.
#include "bits.hpp"
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
    void SetUp() override { host.add_search_path(QZ_EXTERNALS_DIR); }

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

// What the core computes for partials in Hz with the box's settings.
double core(std::vector<float> p, std::int64_t mode, float approx)
{
    return subtone_compute(p.data(), static_cast<std::int32_t>(p.size()), mode, approx,
                           tolerance_from_midi(approx));
}

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
    };
    for (const Case &c :
         {Case{"qz.subtone", 0.5f}, Case{"qz.subtone 1", 1.0f}, Case{"qz.subtone 0.25", 0.25f},
          Case{"qz.subtone foo", 0.5f}, Case{"qz.subtone @mode 1", 0.5f},
          Case{"qz.subtone -1", -1.0f}, Case{"qz.subtone 0.1", 0.1f}}) {
        const qzhost::BoxId box = make(c.text);
        const t_subtone *x = rec(box);
        ASSERT_NE(x, nullptr);
        EXPECT_TRUE(same_bits(x->approx, c.approx)) << c.text;
        EXPECT_TRUE(same_bits(x->tolerance, tolerance_from_midi(c.approx))) << c.text;
        EXPECT_EQ(x->partials, nullptr);
        EXPECT_EQ(x->capacity, 0);
    }
    EXPECT_TRUE(same_bits(rec(make("qz.subtone"))->tolerance, 0x1.e0167ep-6f)); // 0.0293022
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
    EXPECT_TRUE(same_bits(x->tolerance, tolerance_from_midi(1.0f)));
    ASSERT_TRUE(host.attr_set(box, "approx", {}));
    EXPECT_TRUE(same_bits(x->approx, 0.5f));
    EXPECT_TRUE(same_bits(x->tolerance, tolerance_from_midi(0.5f)));
    ASSERT_TRUE(host.attr_set(box, "approx", num(-2.0)));
    EXPECT_TRUE(same_bits(x->approx, 0.0f));
    EXPECT_TRUE(same_bits(x->tolerance, 0.0f));
    // A double value is rounded to single once.
    ASSERT_TRUE(host.attr_set(box, "approx", num(0.1)));
    EXPECT_TRUE(same_bits(x->approx, 0.1f));
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
    EXPECT_TRUE(same_bits(x->tolerance, tolerance_from_midi(1.0f)));
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
    EXPECT_NEAR(one, 440.1835, 5e-5);
    EXPECT_TRUE(same_bits(one, core({440.0f}, 0, 0.5f)));
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
    const double chord = list(freq, "440 550 660");
    EXPECT_NEAR(chord, 110.0459, 5e-5);
    EXPECT_TRUE(same_bits(chord, core({440.0f, 550.0f, 660.0f}, 0, 0.5f)));
    const qzhost::BoxId midi = make("qz.subtone 0.5 @mode 1");
    EXPECT_TRUE(same_bits(list(midi, "60 64 67"), 36.0));
    EXPECT_TRUE(same_bits(list(midi, "57 64"), 45.0));
    // Float pitches are rounded to single before conversion.
    EXPECT_TRUE(
        same_bits(list(midi, "60.1 64 67"),
                  core({midi_to_hz(60.1f), midi_to_hz(64.0f), midi_to_hz(67.0f)}, 1, 0.5f)));
    // Approximation 0 in MIDI mode: the pitch of the fundamental, unrounded.
    const qzhost::BoxId exact = make("qz.subtone 0 @mode 1");
    EXPECT_TRUE(same_bits(list(exact, "69"), 69.0));
    EXPECT_TRUE(same_bits(list(exact, "69 76"), static_cast<double>(hz_to_midi(
                                                    core({440.0f, midi_to_hz(76.0f)}, 0, 0.0f)))));
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
    EXPECT_TRUE(same_bits(list(box, "440 660"), core({440.0f, 660.0f}, 0, 0.5f)));
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
    EXPECT_TRUE(same_bits(list(midi, "60 x 67"),
                          core({midi_to_hz(60.0f), 0.0f, midi_to_hz(67.0f)}, 1, 0.5f)));
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
    ASSERT_EQ(host.console_log().size(), 1u);
    EXPECT_TRUE(host.console_log()[0].error);
    EXPECT_NE(host.console_log()[0].text.find("work budget"), std::string::npos)
        << host.console_log()[0].text;
    EXPECT_TRUE(same_bits(list(box, "440 550 660"), core({440.0f, 550.0f, 660.0f}, 0, 3.0f)));
}

TEST_F(SubtoneObject, ConstructorFailureMakesNoBox)
{
    make("qz.subtone"); // loaded
    host.inject_fault(qzhost::Host::Fault::ObjectAlloc);
    EXPECT_LT(host.create("qz.subtone"), 0);
    EXPECT_GE(make("qz.subtone"), 0);
}

// The accelerated search against the reference, bit for bit: a seeded
// differential corpus, the documented examples (CHECKED), special values,
// hard chords and the workspace's growth. The million-chord run is the
// separate subtone_fast_diff tool. The comparisons with the reference
// (as_reference, the corpus) are differential: both sides are the product's
// code, so they show agreement; the values are pinned by the literal cases
// here and in tests/subtone (tests/subtone/literal_search.py).
#include "bits.hpp"
#include "corpus.hpp"
#include "subtone_counted.h"
#include "subtone_fast.h"
#include "subtone_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMax = std::numeric_limits<float>::max();

std::string describe(const std::vector<float> &p, std::int64_t mode, float approx)
{
    std::ostringstream s;
    s << "mode " << mode << " approx " << hex(approx) << " partials";
    for (float f : p)
        s << ' ' << hex(f);
    return s.str();
}

class SubtoneFast : public ::testing::Test {
  protected:
    subtone_workspace ws{};
    std::uint64_t steps = 0;

    void TearDown() override { subtone_workspace_free(&ws); }

    double fast(const std::vector<float> &p, std::int64_t mode, float approx, float tolerance)
    {
        double r = 0.0;
        EXPECT_EQ(subtone_fast_compute(&ws, p.data(), static_cast<std::int32_t>(p.size()), mode,
                                       approx, tolerance, kSubtoneNoBudget, &r, &steps),
                  SUBTONE_FAST_OK);
        return r;
    }
    double fast(const std::vector<float> &p, std::int64_t mode, float approx)
    {
        return fast(p, mode, approx, tolerance_from_midi(approx));
    }

    // Compares with the counted reference; false when that one does not
    // finish within its budget (absurd values such as FLT_MAX make it count
    // every harmonic number up to 2^24).
    bool as_reference(const std::vector<float> &p, std::int64_t mode, float approx, float t)
    {
        const auto k = static_cast<std::int32_t>(p.size());
        subtone_count count{};
        const double ref = subtone_counted_compute(p.data(), k, mode, approx, t, 200000, &count);
        if (!count.finished)
            return false;
        EXPECT_TRUE(same_bits(fast(p, mode, approx, t), ref)) << describe(p, mode, approx);
        EXPECT_LE(steps, count.steps) << describe(p, mode, approx);
        return true;
    }
    void expect_as_reference(const std::vector<float> &p, std::int64_t mode, float approx)
    {
        EXPECT_TRUE(as_reference(p, mode, approx, tolerance_from_midi(approx)))
            << "reference over budget: " << describe(p, mode, approx);
    }
};

std::vector<float> midi(std::initializer_list<float> pitches)
{
    std::vector<float> p;
    for (float m : pitches)
        p.push_back(midi_to_hz(m));
    return p;
}

} // namespace

// ---- Differential corpus ----------------------------------------------------

// Differential: the accelerated search against the counted reference; both
// are the code under test, so this shows agreement, not correctness (the
// literal values are in the subtone and reliability tests).
TEST_F(SubtoneFast, MatchesCountedReferenceOnSeededCorpus)
{
    constexpr int kChords = 1500;
    constexpr std::uint64_t kBudget = 20000;
    chord_source source(2024);
    int compared = 0;
    for (int i = 0; i < kChords; ++i) {
        const chord c = source.next();
        const auto k = static_cast<std::int32_t>(c.hz.size());
        subtone_count count{};
        const double ref =
            subtone_counted_compute(c.hz.data(), k, c.mode, c.approx, c.tolerance, kBudget, &count);
        if (!count.finished)
            continue;
        ++compared;
        const double got = fast(c.hz, c.mode, c.approx, c.tolerance);
        ASSERT_TRUE(same_bits(got, ref))
            << "chord " << i << ": " << describe(c.hz, c.mode, c.approx);
        // The accelerated search visits a subset of the reference's steps.
        ASSERT_LE(steps, count.steps) << "chord " << i << ": " << describe(c.hz, c.mode, c.approx);
    }
    // The corpus must mostly be comparable, or the test proves little.
    EXPECT_GT(compared, kChords * 3 / 4);
}

// Differential: the counted copy against the recursive reference.
TEST(SubtoneCounted, AgreesWithReferenceSearchWhereItFinishes)
{
    chord_source source(99);
    int compared = 0;
    for (int i = 0; i < 600; ++i) {
        const chord c = source.next();
        const auto k = static_cast<std::int32_t>(c.hz.size());
        subtone_count count{};
        const double counted =
            subtone_counted_compute(c.hz.data(), k, c.mode, c.approx, c.tolerance, 5000, &count);
        if (!count.finished)
            continue;
        ++compared;
        const double ref = subtone_compute(c.hz.data(), k, c.mode, c.approx, c.tolerance);
        ASSERT_TRUE(same_bits(counted, ref)) << describe(c.hz, c.mode, c.approx);
    }
    EXPECT_GT(compared, 400);
}

// A level whose harmonic numbers start above 2^24 gets exactly one try: for
// 1, 1e9, 0.5 at approximation 0.5, 1 Hz takes harmonics 1 to 10, and each
// hands 1e9 Hz an interval whose first harmonic number lies near 10^10,
// where adding 1 changes nothing. 26 calls in all, as
// tests/subtone/literal_search.py counts them (a second try per entry would
// add at least 10).
TEST(SubtoneCounted, LevelStartingAboveTwoToThe24GetsOneTry)
{
    const std::vector<float> p = {1.0f, 1e9f, 0.5f};
    subtone_count count{};
    const double r =
        subtone_counted_compute(p.data(), 3, 0, 0.5f, tolerance_from_midi(0.5f), 1000000, &count);
    EXPECT_TRUE(count.finished);
    EXPECT_EQ(count.steps, 26u);
    EXPECT_TRUE(same_bits(r, 0.0)); // 0.5 Hz fits only below 1 Hz: by hand
}

TEST(SubtoneCounted, StopsAtTheBudget)
{
    // MIDI 0 and 0.5 at 0.01 fit only below 1 Hz: the search runs through
    // every harmonic number of the first partial.
    const std::vector<float> p = midi({0.0f, 0.5f});
    subtone_count count{};
    subtone_counted_compute(p.data(), 2, 1, 0.01f, tolerance_from_midi(0.01f), 50, &count);
    EXPECT_FALSE(count.finished);
    EXPECT_EQ(count.steps, 51u);
    subtone_counted_compute(p.data(), 2, 1, 0.01f, tolerance_from_midi(0.01f), 1000000, &count);
    EXPECT_TRUE(count.finished);
    EXPECT_GT(count.steps, 50u);
}

// ---- Documented examples and special values ---------------------------------

TEST_F(SubtoneFast, DocumentedExamplesCHECKED)
{
    expect_as_reference({440.0f, 550.0f, 660.0f}, 0, 0.5f);
    expect_as_reference({440.0f}, 0, 0.5f);
    expect_as_reference({440.0f}, 0, 0.0f);
    expect_as_reference({440.0f, 660.0f}, 0, 0.0f);
    expect_as_reference({440.0f, 0.0f, 660.0f}, 0, 0.0f);
    expect_as_reference({1.0f, 1.5f}, 0, 0.0f);
    expect_as_reference({0.0f, 440.0f}, 0, 0.5f);
    expect_as_reference(midi({60.0f, 64.0f, 67.0f}), 1, 0.5f);
    expect_as_reference(midi({57.0f, 64.0f}), 1, 0.5f);
    expect_as_reference(midi({69.0f}), 1, 0.5f);
    expect_as_reference(midi({60.0f, 64.0f, 67.0f}), 1, 1.0f);
    expect_as_reference(midi({0.0f, 0.5f}), 1, 0.01f);
    // The values themselves, as documented.
    EXPECT_TRUE(same_bits(fast({440.0f, 660.0f}, 0, 0.0f), 220.0));
    EXPECT_TRUE(same_bits(fast(midi({60.0f, 64.0f, 67.0f}), 1, 0.5f), 36.0));
    EXPECT_TRUE(same_bits(fast(midi({0.0f, 0.5f}), 1, 0.01f), -static_cast<double>(kInf)));
}

TEST_F(SubtoneFast, SpecialPartialsAnywhereInTheList)
{
    const float specials[] = {0.0f,   -0.0f, kInf, -kInf,       kNaN, -440.0f, -1e-30f, 1e-40f,
                              1e-30f, 0.5f,  1.0f, 16777216.0f, 3e7f, 1e20f,   kMax};
    int compared = 0, cases = 0;
    for (float s : specials) {
        for (float approx : {0.0f, 0.05f, 0.5f, 3.0f}) {
            const float t = tolerance_from_midi(approx);
            for (const std::vector<float> &p :
                 {std::vector<float>{s, 440.0f, 660.0f}, std::vector<float>{440.0f, s, 660.0f},
                  std::vector<float>{440.0f, 660.0f, s}, std::vector<float>{s, s}}) {
                ++cases;
                compared += as_reference(p, 0, approx, t) ? 1 : 0;
            }
        }
    }
    // Only lists that start at or above 2^24 Hz may exceed the budget.
    EXPECT_GE(compared, cases - 4 * 4 * 2);
}

TEST_F(SubtoneFast, OddTolerancesAndApproximations)
{
    const std::vector<float> p = {440.0f, 554.365f, 659.255f, 0.0f, 440.0f};
    // A negative approximation, a tolerance of exactly 0 in MIDI mode, and
    // tolerances of -1, below -1, huge, minus infinity and not a number. (An
    // infinite tolerance makes the reference count to 2^24 at every level.)
    expect_as_reference(p, 0, -0.5f);
    expect_as_reference(p, 1, 0.0f);
    for (float t : {-1.0f, -2.0f, -0.999f, 1e30f, -kInf, kNaN})
        EXPECT_TRUE(as_reference(p, 0, 0.5f, t)) << hex(t);
}

// ---- Hard chords --------------------------------------------------------------

TEST_F(SubtoneFast, DeepFailuresStayCheap)
{
    // Chords whose only fits lie below or near 1 Hz make the plain search
    // try every combination of harmonic numbers.
    fast(midi({0.0f, 0.5f}), 1, 0.01f);
    EXPECT_LE(steps, 3u);
    const std::vector<float> chord12 =
        midi({36.3f, 49.1f, 55.7f, 61.2f, 67.9f, 70.4f, 74.6f, 79.3f, 83.8f, 88.1f, 91.7f, 95.2f});
    for (float approx : {0.01f, 0.05f, 0.25f, 1.0f, 3.0f}) {
        fast(chord12, 1, approx);
        EXPECT_LE(steps, 2000u) << "approx " << approx;
    }
}

// ---- Workspace ------------------------------------------------------------------

TEST_F(SubtoneFast, WarmWorkspaceDoesNotGrow)
{
    const std::vector<float> p = midi({21.0f, 33.5f, 47.0f, 60.0f, 64.0f, 67.0f, 71.0f, 74.5f,
                                       79.0f, 84.0f, 88.0f, 91.0f, 95.0f, 100.0f, 108.0f});
    fast(p, 1, 0.01f);
    const subtone_workspace warm = ws;
    for (float approx : {0.01f, 0.5f, 3.0f}) {
        fast(p, 1, approx);
        fast({p.begin(), p.begin() + 5}, 1, approx);
    }
    EXPECT_EQ(ws.frames, warm.frames);
    EXPECT_EQ(ws.pieces, warm.pieces);
    EXPECT_EQ(ws.windows, warm.windows);
    EXPECT_EQ(ws.piece_room, warm.piece_room);
}

TEST_F(SubtoneFast, LongestListsStayBoundedAndExact)
{
    // 32,767 partials: a harmonic series on 55 Hz (one straight path down),
    // and one repeated partial. The stacked reference handles the depth.
    std::vector<float> harmonics, same;
    for (int h = 1; h <= 32767; ++h) {
        harmonics.push_back(55.0f * static_cast<float>(h));
        same.push_back(440.0f);
    }
    std::vector<subtone_frame> frames(32768);
    for (const auto *p : {&harmonics, &same}) {
        const double ref =
            subtone_compute(p->data(), 32767, 0, 0.5f, tolerance_from_midi(0.5f), frames.data());
        EXPECT_TRUE(same_bits(fast(*p, 0, 0.5f), ref));
        EXPECT_EQ(steps, 32768u);
        EXPECT_LE(ws.piece_room, kSubtoneMaxPieces);
    }
}

// A zero-filled workspace is empty (freeing it releases nothing: under the
// sanitizers a stray free would show); freeing a grown one leaves it empty
// and usable again.
TEST_F(SubtoneFast, FreedWorkspaceIsEmptyAndReusable)
{
    subtone_workspace empty{};
    subtone_workspace_free(&empty);
    EXPECT_FALSE(subtone_workspace_reserve(&ws, -1));
    ASSERT_TRUE(subtone_workspace_reserve(&ws, 8));
    EXPECT_EQ(ws.levels, 9);
    fast({440.0f, 550.0f, 660.0f}, 0, 0.5f);
    ASSERT_NE(ws.pieces, nullptr);
    subtone_workspace_free(&ws);
    EXPECT_EQ(ws.frames, nullptr);
    EXPECT_EQ(ws.pieces, nullptr);
    EXPECT_EQ(ws.windows, nullptr);
    EXPECT_EQ(ws.levels, 0);
    EXPECT_EQ(ws.piece_room, 0);
    EXPECT_EQ(ws.window_room, 0);
    // The documented 110.0459 (hex float by tests/subtone/literal_search.py).
    EXPECT_TRUE(same_bits(fast({440.0f, 550.0f, 660.0f}, 0, 0.5f), 0x1.b82efcp+6));
}

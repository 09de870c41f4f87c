// The segment builder on frames made here: chords of known partials, in
// frames a hop apart with a window of their own, and onsets reported late,
// as the onset detector reports them. Every expected segment, chord and
// median comes from how the frames were made.
#include "segments.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using qzcli::Peak;
using qzcli::Segment;
using qzcli::SegmentBuilder;
using qzcli::SegmentOptions;

constexpr double kWindowMs = 80.0;
constexpr double kHopMs = 10.0;
constexpr double kLagMs = 60.0; // the onsets below reach the builder 50 ms late

// A stretch of frames ending from `from` (exclusive of the first window
// start) to `to` ms, each with the peaks `peaks(end_ms)` gives.
struct Stretch {
    double from, to;
    std::vector<Peak> (*peaks)(double end_ms, int frame);
};

struct Result {
    std::vector<Segment> segments;
};

Result build(const SegmentOptions &opt, const std::vector<double> &onsets,
             const std::vector<Stretch> &stretches, double end_ms)
{
    Result r;
    SegmentBuilder b(opt, kWindowMs, kHopMs, kLagMs,
                     [&r](const Segment &s) { r.segments.push_back(s); });
    std::size_t next_onset = 0;
    int frame = 0;
    for (double t = kHopMs; t <= end_ms + 1e-9; t += kHopMs, ++frame) {
        // The detector reports an onset 50 ms after it.
        while (next_onset < onsets.size() && onsets[next_onset] + 50.0 <= t)
            b.onset(onsets[next_onset++]);
        std::vector<Peak> peaks;
        for (const Stretch &s : stretches)
            if (t > s.from && t <= s.to)
                peaks = s.peaks(t, frame);
        b.frame(t, peaks);
    }
    b.finish(end_ms);
    return r;
}

std::vector<Peak> chord_a(double, int)
{
    return {{200.0, 0.5}, {300.0, 0.25}, {400.0, 0.125}};
}
std::vector<Peak> chord_b(double, int)
{
    return {{250.0, 0.4}, {375.0, 0.2}};
}

TEST(SegmentBuilder, OnsetsSplitTheSoundAndEachSegmentHasItsChord)
{
    SegmentOptions opt;
    opt.change = 0.0; // onsets only
    const Result r = build(opt, {0.0, 1000.0}, {{0, 1000, chord_a}, {1000, 2000, chord_b}}, 2000.0);
    ASSERT_EQ(r.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(r.segments[0].start_ms, 0.0);
    EXPECT_DOUBLE_EQ(r.segments[0].end_ms, 1000.0);
    EXPECT_DOUBLE_EQ(r.segments[1].start_ms, 1000.0);
    EXPECT_DOUBLE_EQ(r.segments[1].end_ms, 2000.0);
    // Loudest first, at their own levels.
    const std::vector<Peak> a = r.segments[0].chord, b = r.segments[1].chord;
    ASSERT_EQ(a.size(), 3u);
    EXPECT_DOUBLE_EQ(a[0].freq, 200.0);
    EXPECT_DOUBLE_EQ(a[1].freq, 300.0);
    EXPECT_DOUBLE_EQ(a[2].freq, 400.0);
    EXPECT_DOUBLE_EQ(a[2].amp, 0.125);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_DOUBLE_EQ(b[0].freq, 250.0);
    // The steady frames: those whose 80 ms window starts 30 ms or more after
    // the onset and ends by the next: ends 110..1000 ms, 90 frames. The
    // frames across the boundary belong to the second segment's attack.
    EXPECT_EQ(r.segments[0].frames, 90u);
    EXPECT_EQ(r.segments[1].frames, 90u);
}

// A partial in 6 of every 10 frames is stable, one in 4 of 10 is not; a
// jittering partial is heard at its median; a peak 45 dB below the loudest
// is dropped (range 40 dB); of 8 stable partials the 6 loudest are kept.
std::vector<Peak> mixed(double, int frame)
{
    std::vector<Peak> p;
    const double jitter[] = {-2.0, 1.0, 0.0, 3.0, -1.0}; // median 0
    p.push_back({440.0 + jitter[frame % 5], 0.5});
    if (frame % 10 < 6)
        p.push_back({550.0, 0.3});
    if (frame % 10 < 4)
        p.push_back({660.0, 0.3});
    p.push_back({770.0, 0.5 * std::pow(10.0, -45.0 / 20.0)});
    return p;
}

std::vector<Peak> eight(double, int)
{
    std::vector<Peak> p;
    for (int i = 1; i <= 8; ++i)
        p.push_back({100.0 * i, 1.0 / i});
    return p;
}

TEST(SegmentBuilder, StablePeaksAreThoseInMostFramesAtTheirMedians)
{
    SegmentOptions opt;
    opt.change = 0.0;
    const Result r = build(opt, {0.0}, {{0, 2000, mixed}}, 2000.0);
    ASSERT_EQ(r.segments.size(), 1u);
    const std::vector<Peak> &c = r.segments[0].chord;
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR(c[0].freq, 440.0, 0.5); // median of a five-frame cycle: 440
    EXPECT_DOUBLE_EQ(c[1].freq, 550.0);

    const Result e = build(opt, {0.0}, {{0, 1000, eight}}, 1000.0);
    ASSERT_EQ(e.segments.size(), 1u);
    ASSERT_EQ(e.segments[0].chord.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(e.segments[0].chord[i].freq, 100.0 * static_cast<double>(i + 1));
}

TEST(SegmentBuilder, SilenceEndsASegmentAndNothingSoundingMakesNone)
{
    SegmentOptions opt;
    opt.change = 0.0;
    // Sound until 600 ms, then silence until the next onset at 1500 ms.
    const Result r = build(opt, {0.0, 1500.0}, {{0, 600, chord_a}, {1500, 2000, chord_b}}, 2000.0);
    ASSERT_EQ(r.segments.size(), 2u);
    EXPECT_DOUBLE_EQ(r.segments[0].end_ms, 600.0);
    EXPECT_DOUBLE_EQ(r.segments[1].start_ms, 1500.0);
    const Result silent = build(opt, {0.0, 700.0}, {}, 2000.0);
    EXPECT_TRUE(silent.segments.empty());
}

TEST(SegmentBuilder, AChordChangeWithoutAnOnsetIsABoundary)
{
    // Legato: one onset at the start only. The change is found within half
    // a window of where it is.
    SegmentOptions opt;
    const Result r = build(opt, {0.0}, {{0, 1000, chord_a}, {1000, 2000, chord_b}}, 2000.0);
    ASSERT_EQ(r.segments.size(), 2u);
    EXPECT_NEAR(r.segments[0].end_ms, 1000.0, kWindowMs / 2);
    EXPECT_DOUBLE_EQ(r.segments[0].chord.at(0).freq, 200.0);
    EXPECT_DOUBLE_EQ(r.segments[1].chord.at(0).freq, 250.0);
    // Without the change detector the two chords are one segment.
    opt.change = 0.0;
    EXPECT_EQ(
        build(opt, {0.0}, {{0, 1000, chord_a}, {1000, 2000, chord_b}}, 2000.0).segments.size(), 1u);
}

TEST(SegmentBuilder, ALongSoundWithoutOnsetsIsSplitIntoBoundedSegments)
{
    SegmentOptions opt;
    const double end = 3.5 * static_cast<double>(qzcli::kSegmentMaxFrames) * kHopMs;
    const Result r = build(opt, {0.0}, {{0, end, chord_a}}, end);
    ASSERT_EQ(r.segments.size(), 4u);
    for (std::size_t i = 0; i < r.segments.size(); ++i) {
        EXPECT_LE(r.segments[i].frames, qzcli::kSegmentMaxFrames);
        ASSERT_EQ(r.segments[i].chord.size(), 3u);
        if (i > 0) {
            EXPECT_DOUBLE_EQ(r.segments[i].start_ms, r.segments[i - 1].end_ms);
        }
    }
    EXPECT_DOUBLE_EQ(r.segments.back().end_ms, end);
}

} // namespace

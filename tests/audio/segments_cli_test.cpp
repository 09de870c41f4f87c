// qz subtone --audio --segments end to end, on chords that sox makes: the
// segments' times and fundamentals come from how the sound was made, the
// scores -o writes are read back by qz's own score reader and checked by
// xmllint.
#include "sound_fixture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qztest::qz;
using qztest::QzRun;

struct Line {
    double start, end, midi, hz;
};

// "START - END s: PEAKS -> NOTE (MIDI, HZ Hz)" (sscanf: GCC 12 warns
// falsely on std::regex under the sanitizers)
std::vector<Line> segments(const std::string &out)
{
    std::vector<Line> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        Line l{};
        const std::size_t arrow = text.find(" -> "), open = text.find(" (", arrow);
        if (std::sscanf(text.c_str(), "%lf - %lf s:", &l.start, &l.end) == 2 &&
            arrow != std::string::npos && open != std::string::npos &&
            std::sscanf(text.c_str() + open, " (%lf, %lf Hz)", &l.midi, &l.hz) == 2)
            lines.push_back(l);
    }
    return lines;
}

// Three chords of 800 ms in just intonation, each struck (a fade-in of
// 5 ms): 200, 250, 300 Hz (the harmonics 4 to 6 of 50 Hz); 300, 375, 450 Hz
// (of 75 Hz); then 200, 250, 300 Hz again, joined without a gap to the
// second (legato: a crossfade of 20 ms and no attack). sox runs in its
// repeatable mode (-R): its dither is the same on every run.
const std::string &progression()
{
    static const std::string path = [] {
        const std::string a = qztest::sox(
            "seg_a.wav", "-R -n -r 44100 -c 1 -b 16 OUT synth 0.8 sine 200 sine 250 sine 300 "
                         "remix - fade t 0.005 0.8 0.01 vol 0.8");
        const std::string b = qztest::sox(
            "seg_b.wav", "-R -n -r 44100 -c 1 -b 16 OUT synth 0.8 sine 300 sine 375 sine 450 "
                         "remix - fade t 0.005 0.8 0.01 vol 0.8");
        const std::string c = qztest::sox(
            "seg_c.wav", "-R -n -r 44100 -c 1 -b 16 OUT synth 0.8 sine 200 sine 250 sine 300 "
                         "remix - vol 0.8");
        const std::string ab = qztest::sox("seg_ab.wav", "-R '" + a + "' '" + b + "' OUT");
        return qztest::sox("progression.wav", "-R '" + ab + "' '" + c + "' OUT splice -q 1.6,0.01");
    }();
    return path;
}

TEST(SubtoneSegments, EachChordIsOneSegmentWithItsFundamental)
{
    const QzRun r = qz("subtone --audio '" + progression() + "' --segments");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Line> s = segments(r.out);
    ASSERT_EQ(s.size(), 3u) << r.out;
    const double bounds[] = {0.0, 0.8, 1.6, 2.39};
    const double f0[] = {50.0, 75.0, 50.0};
    for (std::size_t i = 0; i < 3; ++i) {
        // Onsets within 30 ms; the legato change within half a window
        // (46 ms) of the crossfade.
        EXPECT_NEAR(s[i].start, bounds[i], i == 2 ? 0.05 : 0.03) << r.out;
        EXPECT_NEAR(s[i].end, bounds[i + 1], i == 1 ? 0.05 : 0.03) << r.out;
        // Within 1 %, inside the box's tolerance of half a semitone.
        EXPECT_NEAR(s[i].hz, f0[i], f0[i] / 100) << r.out;
        EXPECT_NEAR(s[i].midi, 69.0 + 12.0 * std::log2(s[i].hz / 440.0), 0.006);
    }
    // The peaks as note names: 200, 250 and 300 Hz are nearest G3, B3, D4.
    EXPECT_NE(r.out.find(" s: G3 B3 D4 -> G1"), std::string::npos) << r.out;

    // --order and --mode change the list, not the segments' fundamentals.
    for (const char *args : {"--order strong", "--mode midi"}) {
        const QzRun o = qz("subtone --audio '" + progression() + "' --segments " + args);
        ASSERT_EQ(o.status, 0) << args << o.err;
        const std::vector<Line> t = segments(o.out);
        ASSERT_EQ(t.size(), 3u) << args << o.out;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(t[i].hz, f0[i], f0[i] / 100) << args;
    }
    // --change 0: the legato change goes unseen, and one segment reaches
    // across it. (Whether the onset detector finds the struck change at
    // 0.8 s without it depends on the dither's noise: measured on twelve
    // renderings, five times.)
    const QzRun onsets = qz("subtone --audio '" + progression() + "' --segments --change 0");
    ASSERT_EQ(onsets.status, 0) << onsets.err;
    bool across = false;
    for (const Line &l : segments(onsets.out))
        across = across || (l.start < 1.5 && l.end > 1.7);
    EXPECT_TRUE(across) << onsets.out;
}

TEST(SubtoneSegments, WrittenScoresHoldTheFundamentals)
{
    const std::string &dir = qztest::scratch();
    const std::string mid = dir + "segments.mid", xml = dir + "segments.musicxml";
    const std::string mxl = dir + "segments.mxl";
    for (const std::string &out : {mid, xml, mxl}) {
        const QzRun r = qz("subtone --audio '" + progression() + "' --segments -o '" + out + "'");
        ASSERT_EQ(r.status, 0) << out << r.err;
    }
    // The MIDI file read back: three notes at the segments' starts, each the
    // fundamental with its pitch bend (50 Hz is MIDI 31.35, 75 Hz 38.37).
    const QzRun back = qz("subtone --score '" + mid + "'");
    ASSERT_EQ(back.status, 0) << back.err;
    std::vector<std::pair<double, std::string>> notes;
    std::istringstream in(back.out);
    for (std::string text; std::getline(in, text);) {
        double at = 0.0;
        char name[32] = {};
        if (std::sscanf(text.c_str(), "%lf s: %31s -> ", &at, name) == 2)
            notes.emplace_back(at, name);
    }
    ASSERT_EQ(notes.size(), 3u) << back.out;
    EXPECT_NEAR(notes[1].first, 0.8, 0.03);
    EXPECT_EQ(notes[0].second.substr(0, 3), "G1+");
    EXPECT_EQ(notes[1].second.substr(0, 3), "D2+");

    // MusicXML: well-formed, the tempo written, a part of its own.
    const QzRun lint = qztest::shell(std::string("'") + QZ_XMLLINT + "' --noout '" + xml + "'");
    EXPECT_EQ(lint.status, 0) << lint.err;
    const std::string text = qztest::slurp(xml);
    EXPECT_NE(text.find("<per-minute>60</per-minute>"), std::string::npos);
    EXPECT_NE(text.find("<sound tempo=\"60\""), std::string::npos);
    EXPECT_NE(text.find("<part-name>Virtual fundamental</part-name>"), std::string::npos);
    // The compressed file is a score qz reads as the same part.
    const QzRun z = qz("subtone --score '" + mxl + "' --parts 'Virtual fundamental'");
    EXPECT_EQ(z.status, 0) << z.err;
}

// (Silent files and options that do not go together are in the table of
// SoundInput.HostileFilesGetAClearAnswer.)
TEST(SubtoneSegments, OddSoundsGetAClearAnswer)
{
    // A click of 1 ms: a segment or none, and no error.
    const std::string click = qztest::sox(
        "seg_click.wav", "-n -r 44100 -c 1 -b 16 OUT synth 0.001 square 1000 pad 0.5 0.5");
    const QzRun c = qz("subtone --audio '" + click + "' --segments");
    EXPECT_EQ(c.status, 0) << c.err;
    // Eight channels of 24 bits at 8 kHz are mixed down and read at their
    // own rate: the chord's 50 Hz in every segment (the onset detector may
    // split a sound this short, at this rate, once more).
    const std::string deep = qztest::sox(
        "seg_8ch24.wav", "-n -r 8000 -c 8 -b 24 OUT synth 1 sine 200 sine 250 sine 300");
    const QzRun d = qz("subtone --audio '" + deep + "' --segments");
    ASSERT_EQ(d.status, 0) << d.err;
    const std::vector<Line> lines = segments(d.out);
    ASSERT_GE(lines.size(), 1u) << d.out;
    for (const Line &l : lines)
        EXPECT_NEAR(l.hz, 50.0, 0.5);
}

} // namespace

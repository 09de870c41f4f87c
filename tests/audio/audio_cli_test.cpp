// qz track, qz pitchtally --audio and qz subtone --audio end to end, on
// sounds that sox makes with known pitches and partials. Every expected
// value comes from how the sound was made (the notes, the chord), not from
// qz.
#include "sound_fixture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qztest::qz;
using qztest::QzRun;
using qztest::rows;

// Four notes of 400 ms, each followed by 100 ms of silence: MIDI 57 (a
// sine), 60 (a sawtooth), 64 (a sine), 67 (a square wave), all at half of
// full scale, 44.1 kHz mono.
struct Note {
    double pitch;
    double start, end; // ms
    bool sine;
};
const std::vector<Note> kMelody = {
    {57, 0, 400, true}, {60, 500, 900, false}, {64, 1000, 1400, true}, {67, 1500, 1900, false}};

const std::string &melody()
{
    static const std::string path = [] {
        std::string parts;
        const char *const waves[] = {"sine", "sawtooth", "sine", "square"};
        for (std::size_t i = 0; i < kMelody.size(); ++i) {
            const std::string name = "note" + std::to_string(i) + ".wav";
            parts +=
                " '" +
                qztest::sox(name, "-n -r 44100 -c 1 -b 16 OUT synth 0.4 " + std::string(waves[i]) +
                                      " " + std::to_string(qztest::hz(kMelody[i].pitch)) +
                                      " vol 0.5 pad 0 0.1") +
                "'";
        }
        return qztest::sox("melody.wav", parts.substr(1) + " OUT");
    }();
    return path;
}

// The default tracker's window and hop, in ms at 44.1 kHz.
constexpr double kWindowMs = 2048 / 44.1;
constexpr double kHopMs = 256 / 44.1;

// The tolerance stated here for a steady frame: 0.25 semitone. (yinfft,
// the default before, read the 220 Hz sine at 57.16; yin, the default now,
// reads tones of 55 Hz to 2 kHz within 2 cents: docs/sound.md.)
constexpr double kPitchTolerance = 0.25;

TEST(TrackSound, EachNoteInItsSpanAndNothingInThePauses)
{
    const QzRun r = qz("track '" + melody() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::size_t, int> steady;
    std::map<std::size_t, double> sine_amp;
    for (const std::vector<double> &row : rows(r.out)) {
        ASSERT_EQ(row.size(), 3u);
        const double t = row[0], pitch = row[1], amp = row[2];
        bool placed = false;
        for (std::size_t i = 0; i < kMelody.size(); ++i) {
            const Note &n = kMelody[i];
            // An event belongs to a note while the analysis window still
            // holds some of it.
            if (t < n.start || t > n.end + kWindowMs + kHopMs)
                continue;
            placed = true;
            if (t >= n.start + kWindowMs && t <= n.end) { // the window lies inside the note
                EXPECT_NEAR(pitch, n.pitch, kPitchTolerance) << "at " << t << " ms";
                ++steady[i];
                if (n.sine)
                    sine_amp[i] += amp;
            }
        }
        EXPECT_TRUE(placed) << "event in a pause at " << t << " ms";
    }
    const double hops = (400 - kWindowMs) / kHopMs; // frames whose window lies in a note
    for (std::size_t i = 0; i < kMelody.size(); ++i) {
        EXPECT_GE(steady[i], 0.9 * hops) << "note " << i;
        // The RMS of a sine at half of full scale is 0.5 / sqrt(2).
        if (kMelody[i].sine) {
            EXPECT_NEAR(sine_amp[i] / steady[i], 0.5 / std::sqrt(2.0), 0.02) << "note " << i;
        }
    }
}

// Every stretch of more than a second without an event is said on stderr,
// also at the end of the file; a pause of 0.9 s is not. The sound: A4 for
// 0.5 s, 1.5 s of silence, A4 0.5 s, 0.9 s of silence, A4 0.5 s, 1.2 s of
// silence (5.1 s in all). A gap runs from the last event of one tone (its
// end, plus at most the tracker's window and a hop) to the first of the
// next (its start plus at most the same), or to the end of the file.
TEST(TrackSound, StretchesWithoutEventsAreSaid)
{
    auto made = [](const std::string &name, const std::string &what) {
        std::string quoted(1, '\'');
        quoted += qztest::sox(name, "-n -r 44100 -c 1 -b 16 OUT " + what);
        quoted += "' ";
        return quoted;
    };
    const std::string tone = made("gap_tone.wav", "synth 0.5 sine 440 vol 0.5");
    const std::string gaps =
        qztest::sox("gaps.wav", tone + made("gap_1.5.wav", "trim 0 1.5") + tone +
                                    made("gap_0.9.wav", "trim 0 0.9") + tone +
                                    made("gap_1.2.wav", "trim 0 1.2") + "OUT");
    const QzRun len = qztest::shell("soxi -D '" + gaps + "'");
    ASSERT_NEAR(std::stod(len.out), 5.1, 1e-6) << len.out << len.err;
    const QzRun r = qz("track '" + gaps + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(r.out.empty());
    std::vector<std::pair<double, double>> said;
    const std::string head = "qz track: nothing tracked from ";
    std::size_t at = 0;
    while ((at = r.err.find(head, at)) != std::string::npos) {
        double from = 0, to = 0;
        ASSERT_EQ(std::sscanf(r.err.c_str() + at + head.size(), "%lf s to %lf s", &from, &to), 2)
            << r.err;
        said.push_back({from, to});
        at += head.size();
    }
    ASSERT_EQ(said.size(), 2u) << r.err;
    const double late = (kWindowMs + kHopMs) / 1000.0 + 0.01; // 0.01: the two decimals
    EXPECT_GE(said[0].first, 0.5 - 0.01);
    EXPECT_LE(said[0].first, 0.5 + late);
    EXPECT_GE(said[0].second, 2.0 - 0.01);
    EXPECT_LE(said[0].second, 2.0 + late);
    EXPECT_GE(said[1].first, 3.9 - 0.01);
    EXPECT_LE(said[1].first, 3.9 + late);
    EXPECT_EQ(said[1].second, 5.1);
}

TEST(TrackSound, QuantizedPitchesInHzAreTheTempered)
{
    // MIDI 57, 60, 64, 67 in equal temperament, by hand: 220, 261.6256,
    // 329.6276, 391.9954 Hz.
    const std::set<double> tempered = {220.0, 261.6255653005986, 329.6275569128699,
                                       391.99543598174927};
    const QzRun r = qz("track --unit hz --quantize 1 '" + melody() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<double, int> seen;
    for (const std::vector<double> &row : rows(r.out)) {
        ASSERT_EQ(row.size(), 3u);
        for (const Note &n : kMelody)
            if (row[0] >= n.start + kWindowMs && row[0] <= n.end) {
                double nearest = 0.0;
                for (double f : tempered)
                    if (std::fabs(f - row[1]) < std::fabs(nearest - row[1]))
                        nearest = f;
                EXPECT_NEAR(row[1], nearest, nearest * 1e-12);
                EXPECT_NEAR(row[1], qztest::hz(n.pitch), 1e-9);
                ++seen[nearest];
            }
    }
    EXPECT_EQ(seen.size(), 4u);
}

TEST(PitchTallyAudio, QuantizedStreamReportsExactlyThePlayedPitches)
{
    // Agents of 100 ms: one started inside a note sees only that note's
    // pitch (the tracker is silent in the 100 ms pauses), so it reports 1.
    // Agents started by the onset glide of a note see mostly the next pitch.
    const QzRun r = qz("pitchtally --agents 200 --window 100 --minproba 0 --audio '" + melody() +
                       "' --quantize 1");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<double, int> reports;
    std::map<double, double> best;
    for (const std::vector<double> &row : rows(r.out)) {
        ASSERT_EQ(row.size(), 4u); // TIME PITCH AVGAMP PROBA
        const double pitch = row[1], proba = row[3];
        EXPECT_EQ(pitch, std::round(pitch)); // on the grid
        bool played = false;
        for (const Note &n : kMelody)
            played = played || pitch == n.pitch;
        if (played) {
            EXPECT_GE(proba, 0.9) << "pitch " << pitch << " at " << row[0];
            ++reports[pitch];
            best[pitch] = std::max(best[pitch], proba);
        } else {
            EXPECT_LT(proba, 0.5) << "pitch " << pitch << " at " << row[0];
        }
    }
    ASSERT_EQ(reports.size(), kMelody.size());
    for (const Note &n : kMelody) {
        EXPECT_GE(reports[n.pitch], 50) << n.pitch;
        EXPECT_EQ(best[n.pitch], 1.0) << n.pitch;
    }

    // With a threshold of 0.5 only the played pitches remain.
    const QzRun r2 = qz("pitchtally --agents 200 --window 100 --minproba 0.5 --audio '" + melody() +
                        "' --quantize 1");
    ASSERT_EQ(r2.status, 0) << r2.err;
    std::set<double> pitches;
    for (const std::vector<double> &row : rows(r2.out))
        pitches.insert(row.at(1));
    EXPECT_EQ(pitches, (std::set<double>{57, 60, 64, 67}));
}

TEST(PitchTallyAudio, RawPitchesRarelyRecurQuantizedOnesDo)
{
    // Why --quantize exists, and is 1 by default with --audio: three plucked
    // notes (decaying, as real notes do). Raw, the tracker's pitches almost
    // never come again exactly, so almost no agent reaches 0.5; on a
    // semitone grid most do.
    const std::string plucks = qztest::sox(
        "plucks.wav",
        "-n -r 44100 -c 1 -b 16 OUT synth 0.5 pluck A3 : synth 0.5 pluck C4 : synth 0.5 pluck E4");
    double share[2] = {0, 0};
    for (int q = 0; q < 2; ++q) {
        // Raw with --quantize 0; the default with --audio is the semitone grid.
        const QzRun r = qz("pitchtally --agents 200 --window 100 --minproba 0 --audio '" + plucks +
                           "'" + (q ? "" : " --quantize 0"));
        ASSERT_EQ(r.status, 0) << r.err;
        int n = 0, high = 0;
        for (const std::vector<double> &row : rows(r.out)) {
            ++n;
            high += row.at(3) >= 0.5;
        }
        ASSERT_GT(n, 200); // one report per frame with a pitch
        share[q] = static_cast<double>(high) / n;
    }
    EXPECT_LT(share[0], 0.05);
    EXPECT_GT(share[1], 0.8);
}

// Partials 220, 330, 440 and 550 Hz in equal parts, 1 s at 44.1 kHz: the
// harmonics 2 to 5 of a missing 110 Hz.
const std::string &chord()
{
    static const std::string path = qztest::sox(
        "chord.wav", "-n -r 44100 -c 1 -b 16 OUT synth 1 sine 220 sine 330 sine 440 sine 550 "
                     "remix - vol 0.8");
    return path;
}

constexpr double kChordWindowMs = 4096 / 44.1; // the peak picker's default window
// The last hop is short and padded with zeros: the frames whose window lies
// in the sound end one hop before the end.
constexpr double kChordEnd = 1000.0 - 512 / 44.1;

TEST(SubtoneAudio, HarmonicChordOver110HzGives110Hz)
{
    const QzRun r = qz("subtone --audio '" + chord() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    int steady = 0;
    for (const std::vector<double> &row : rows(r.out)) {
        ASSERT_EQ(row.size(), 2u);
        if (row[0] < kChordWindowMs || row[0] >= kChordEnd)
            continue; // the window reaches outside the sound
        // Within 1 %, well inside the box's tolerance of half a semitone
        // (2.9 %).
        EXPECT_NEAR(row[1], 110.0, 1.1) << "at " << row[0] << " ms";
        ++steady;
    }
    EXPECT_GE(steady, 0.9 * (1000.0 - kChordWindowMs) / (512 / 44.1));

    // Strongest or highest first changes the list order, not the
    // fundamental; in midi mode 110 Hz is MIDI 45, a multiple of the
    // approximation 0.5.
    for (const char *args : {"--order strong", "--order high", "--mode midi"}) {
        const QzRun o = qz("subtone " + std::string(args) + " --audio '" + chord() + "'");
        ASSERT_EQ(o.status, 0) << o.err;
        for (const std::vector<double> &row : rows(o.out))
            if (row.at(0) >= kChordWindowMs && row[0] < kChordEnd) {
                EXPECT_NEAR(row[1], args[2] == 'm' ? 45.0 : 110.0, args[2] == 'm' ? 0.0 : 1.1)
                    << args << " at " << row[0];
            }
    }
}

// --digits and --names shape the printed fundamentals with --audio: the
// same frames as without them, each time and fundamental within half a unit
// of its last decimal, and each name the nearest note to the exact
// fundamental with A4 = 442 Hz, worked out here with std::log2 (not the
// tool's correctly rounded one: a cents value on a rounding edge would show
// as a difference of one cent, which none of these frames is near).
TEST(SubtoneAudio, DigitsAndNamesApplyToTheFundamentals)
{
    const std::string chord =
        qztest::sox("names_chord.wav",
                    "-n -r 44100 -c 1 OUT synth 0.5 sine 220 sine 330 sine 440 remix - vol 0.8");
    const QzRun exact = qz("subtone --audio '" + chord + "'");
    const QzRun rounded = qz("subtone --digits 1 --audio '" + chord + "'");
    const QzRun named = qz("subtone --names --a4 442 --audio '" + chord + "'");
    ASSERT_EQ(exact.status, 0) << exact.err;
    ASSERT_EQ(rounded.status, 0) << rounded.err;
    ASSERT_EQ(named.status, 0) << named.err;
    const auto e = rows(exact.out), d = rows(rounded.out);
    ASSERT_EQ(d.size(), e.size());
    ASSERT_GT(e.size(), 10u);
    std::istringstream names(named.out);
    static const char *const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    for (std::size_t i = 0; i < e.size(); ++i) {
        ASSERT_EQ(e[i].size(), 2u);
        ASSERT_EQ(d[i].size(), 2u);
        EXPECT_NEAR(d[i][0], e[i][0], 0.05 + 1e-9);
        EXPECT_NEAR(d[i][1], e[i][1], 0.05 + 1e-9);
        std::string time, name;
        names >> time >> name;
        EXPECT_EQ(std::stod(time), e[i][0]);
        const double midi = 69.0 + 12.0 * std::log2(e[i][1] / 442.0);
        const long n = std::lround(midi);
        const long cents = std::lround((midi - static_cast<double>(n)) * 100.0);
        std::ostringstream expected;
        expected << kNames[n % 12] << (n / 12 - 1);
        if (cents != 0)
            expected << (cents > 0 ? "+" : "") << cents << 'c';
        EXPECT_EQ(name, expected.str()) << e[i][1];
    }
}

TEST(SubtoneAudio, ExplainNamesThePartialsAndTheirHarmonics)
{
    const QzRun r = qz("subtone --explain --audio '" + chord() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    // A frame in the middle: its line, then one line per partial.
    const std::string at = "\n499.";
    const std::size_t start = r.out.find(at);
    ASSERT_NE(start, std::string::npos) << r.out.substr(0, 400);
    const std::size_t end = r.out.find("\n5", start + 1);
    const std::string frame = r.out.substr(start + 1, end - start);
    const double partials[] = {220, 330, 440, 550};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        pos = frame.find("  partial " + std::to_string(i + 1) + ": ", pos);
        ASSERT_NE(pos, std::string::npos) << frame;
        const double f = std::stod(frame.substr(frame.find(": ", pos) + 2));
        EXPECT_NEAR(f, partials[i], 1.0) << frame;
        const std::size_t h = frame.find("harmonic ", pos);
        ASSERT_NE(h, std::string::npos) << frame;
        EXPECT_EQ(std::stoi(frame.substr(h + 9)), i + 2) << frame;
    }
}

// Bad input: a clear message and status, never a crash.
TEST(SoundInput, HostileFilesGetAClearAnswer)
{
    const std::string dir = qztest::scratch();
    qztest::write_file("text.wav", "TIME PITCH\n0 60\n");
    qztest::write_file("empty.wav", "");
    // A RIFF header that promises a WAVE and then breaks off.
    qztest::write_file("junk.bin",
                       std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + std::string(4000, '\x7f'));
    // 32-bit float samples, every one of them inf or not a number.
    std::string wav = "RIFF....WAVEfmt ";
    auto u32 = [&wav](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav += static_cast<char>(v >> (8 * i) & 0xff);
    };
    auto u16 = [&wav](std::uint16_t v) {
        wav += static_cast<char>(v & 0xff);
        wav += static_cast<char>(v >> 8);
    };
    u32(16), u16(3), u16(1), u32(44100), u32(44100 * 4), u16(4), u16(32); // IEEE float, mono
    wav += "data";
    u32(4 * 8820);
    for (int i = 0; i < 8820; ++i)
        u32(i % 2 ? 0x7fc00000u : 0x7f800000u); // nan, inf
    wav.replace(4, 4,
                std::string{static_cast<char>((wav.size() - 8) & 0xff),
                            static_cast<char>((wav.size() - 8) >> 8 & 0xff),
                            static_cast<char>((wav.size() - 8) >> 16 & 0xff), 0});
    const std::string nonfinite = qztest::write_file("nonfinite.wav", wav);
    const std::string zero = qztest::sox("zero.wav", "-n -r 44100 -c 1 -b 16 OUT trim 0 0");
    const std::string silent = qztest::sox("silent.wav", "-n -r 44100 -c 1 -b 16 OUT trim 0 1");
    struct Case {
        std::string args;
        int status;
        std::string err; // a part of stderr
    };
    const std::vector<Case> cases = {
        {"track '" + dir + "missing.wav'", 1, "no such file"},
        {"track '" + dir + "'", 1, "it is a directory"},
        {"track '" + dir + "text.wav'", 1, "as sound"},
        {"track '" + dir + "empty.wav'", 1, "as sound"},
        {"track '" + dir + "junk.bin'", 1, "as sound"},
        {"track '" + zero + "'", 1, "holds no samples"},
        {"track '" + silent + "'", 0, "no pitch found"},
        {"track '" + nonfinite + "'", 0, "no pitch found"},
        {"track --hopsize 4096 '" + silent + "'", 2, "must not exceed --bufsize"},
        {"track --hopsize 99999999999 '" + silent + "'", 2, "--hopsize needs an integer"},
        {"track --bufsize 1000 '" + silent + "'", 2, "power of two"},
        {"track --method nope '" + silent + "'", 2, "unknown pitch method"},
        {"track", 2, "no sound file"},
        {"pitchtally --agents 4 --audio '" + zero + "'", 1, "holds no samples"},
        {"pitchtally --agents 4 --audio '" + dir + "text.wav'", 1, "as sound"},
        {"pitchtally --agents 4 --method yin", 2, "tracker options need --audio"},
        {"pitchtally --agents 4 --audio '" + silent + "' '" + silent + "'", 2, "not both"},
        {"subtone --audio '" + dir + "missing.wav'", 1, "no such file"},
        {"subtone --audio '" + zero + "'", 1, "holds no samples"},
        {"subtone --audio '" + silent + "'", 0, "no spectral peak"},
        {"subtone --audio '" + nonfinite + "'", 0, "no spectral peak"},
        {"subtone --audio '" + silent + "' 440", 2, "not both"},
        {"subtone --partials 3 440", 2, "need --audio"},
        {"subtone --partials 0 --audio '" + silent + "'", 2, "--partials needs"},
        // Options that would have no effect are refused, not ignored.
        {"subtone --echo --audio '" + silent + "'", 2, "--echo prints chords as written"},
        {"subtone --stats --audio '" + silent + "'", 2, "--stats is not available with --audio"},
        {"subtone --a4 442 --audio '" + silent + "'", 2, "it needs --names"},
        {"track --method schmitt --tolerance 0.5 '" + silent + "'", 2, "not to schmitt"},
        {"pitchtally --audio '" + silent + "' --method mcomb --tolerance 0.5", 2, "not to mcomb"},
        {"subtone --audio '" + silent + "' --audio '" + silent + "'", 2, "--audio given twice"},
        // --segments, its options, and -o after --audio.
        {"subtone --audio '" + silent + "' --segments", 0, "no spectral peak"},
        {"subtone --segments 200 250", 2, "need --audio"},
        {"subtone --audio '" + silent + "' --onset hfc", 2, "they need --segments"},
        {"subtone --audio '" + silent + "' --segments --onset nope", 2, "--onset needs an onset"},
        {"subtone --audio '" + silent + "' --segments --change 2", 2, "--change needs a number"},
        {"subtone --audio '" + silent + "' -o '" + dir + "x.mid'", 2, "it needs --segments"},
        {"subtone --audio '" + silent + "' --segments --names", 2, "--names does not go"},
        {"subtone --audio '" + silent + "' --segments --parts 1 -o '" + dir + "x.mid'", 2,
         "do not go with --audio"},
        {"subtone --audio '" + silent + "' --segments --octave 1", 2, "it needs -o"},
        // aubio reports a confidence of 0 for every yinfft frame (measured: a
        // 440 Hz sine through aubio_pitch_get_confidence), so yinfft takes no
        // --confidence.
        {"track --method yinfft --confidence 0.5 '" + silent + "'", 2,
         "--confidence needs a method that reports one"},
    };
    for (const Case &c : cases) {
        const QzRun r = qz(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
        if (c.status != 0 || c.err == "no pitch found" || c.err == "no spectral peak") {
            EXPECT_EQ(r.out, "") << c.args;
        }
    }
}

TEST(SoundInput, StereoAndOtherRatesAreReadAsTheyAre)
{
    // A 440 Hz sine at three rates, one of them stereo and one FLAC: MIDI 69
    // in every frame whose window lies in the sound.
    struct Case {
        std::string name, format;
        double rate;
    };
    for (const Case &c :
         {Case{"st22.wav", "-r 22050 -c 2", 22050}, Case{"r96.flac", "-r 96000 -c 1", 96000},
          Case{"r8.wav", "-r 8000 -c 1", 8000}}) {
        const std::string f = qztest::sox(c.name, "-n " + c.format + " OUT synth 0.5 sine 440");
        const QzRun r = qz("track '" + f + "'");
        ASSERT_EQ(r.status, 0) << c.name << r.err;
        const double window = 2048 / c.rate * 1000.0;
        int n = 0;
        for (const std::vector<double> &row : rows(r.out))
            if (row.at(0) >= window && row[0] <= 500.0) {
                EXPECT_NEAR(row[1], 69.0, kPitchTolerance) << c.name << " at " << row[0];
                ++n;
            }
        EXPECT_GE(n, 0.9 * (500.0 - window) / (256 / c.rate * 1000.0)) << c.name;
    }
    // The chord in stereo at 48 kHz: 110 Hz again.
    const std::string st = qztest::sox(
        "chord48.wav", "-n -r 48000 -c 2 OUT synth 1 sine 220 sine 330 sine 440 sine 550 "
                       "remix 1,2 3,4 vol 0.8");
    const QzRun r = qz("subtone --audio '" + st + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    int n = 0;
    for (const std::vector<double> &row : rows(r.out))
        if (row.at(0) >= 4096 / 48.0 && row[0] < kChordEnd) {
            EXPECT_NEAR(row[1], 110.0, 1.1) << "at " << row[0];
            ++n;
        }
    EXPECT_GT(n, 50);
}

} // namespace

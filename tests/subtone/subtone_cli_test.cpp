// `qz subtone` as a user runs it: the built tool, the real plug-in.
#include "qz_run.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using CliRun = qztest::QzRun;

// Runs `qz subtone ARGS` with `input` on standard input.
CliRun qz_subtone(const std::string &args, const std::string &input = "")
{
    return qztest::run_qz("subtone " + args, input);
}

} // namespace

TEST(SubtoneCli, PrintsTheBoxResultInBothModes) // CHECKED
{
    CliRun r = qz_subtone("440 550 660");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "110.04588317871094\n");
    EXPECT_EQ(r.err, "");
    r = qz_subtone("--mode midi 60 64 67");
    EXPECT_EQ(r.out, "36\n");
    r = qz_subtone("--mode=midi --approx=1 60 64 67");
    EXPECT_EQ(r.out, "40\n");
    r = qz_subtone("--mode midi --approx 0.01 0 0.5");
    EXPECT_EQ(r.out, "-inf\n");
    r = qz_subtone("--approx 0 440 0 660");
    EXPECT_EQ(r.out, "220\n");
    // Negative numbers are partials, not options; a negative approximation stays.
    r = qz_subtone("--approx -1 440");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0\n");
    r = qz_subtone("-- -440 220");
    EXPECT_EQ(r.out, "0\n");
}

TEST(SubtoneCli, StandardInputIsOneChordPerLine)
{
    CliRun r = qz_subtone("--approx 0", "440 660\n\n   \n440,660 # comment\r\n1 1.5\n440");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "220\n220\n0\n440\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(qz_subtone("-", "440\n").out, "440.18353271484375\n");
    EXPECT_EQ(qz_subtone("", "").out, "");
    // A word is an input error with its place, never a partial: the
    // results before it stand, nothing after it is read.
    r = qz_subtone("--approx 0", "440 660\n440 foo 660\n1 1.5\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "220\n");
    EXPECT_EQ(r.err, "qz subtone: <stdin>:2:5: 'foo' is neither a number nor a note name\n");
}

TEST(SubtoneCli, ExplainShowsHarmonicsIntervalAndNoteNames)
{
    // Note names by hand: 550 Hz is 12 log2(550/440) = 3.863 semitones above
    // A4, C#5 - 14 cents; 660 Hz is 7.02 above, E5 + 2 cents; the result
    // 110.0459 Hz is A2 + 0.72 cents. Cents by hand: 440 / (4 * 110.04588) is
    // 1200 log2(0.999583) = -0.72 cents from the fourth harmonic, and so are
    // 550 and 660 from the fifth and sixth; a window is 50 cents each way at
    // approximation 0.5, so 49.3 cents are left to its edge.
    CliRun r = qz_subtone("--explain 440 550 660");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "110.04588317871094\n"
                     "  partial 1: 440 (A4), harmonic 4, -0.7 cents (49.3 from the edge)\n"
                     "  partial 2: 550 (C#5-14c), harmonic 5, -0.7 cents (49.3 from the edge)\n"
                     "  partial 3: 660 (E5+2c), harmonic 6, -0.7 cents (49.3 from the edge)\n"
                     "  interval: [106.86851501464844, 113.2232437133789] Hz, "
                     "midpoint 110.04588317871094 Hz\n"
                     "  result: 110.04588317871094 Hz (A2+1c)\n"
                     "  fragile: no (the harmonic numbers hold with each partial and the "
                     "approximation moved by 3 cents)\n");
    // At approximation 0 the windows are single points: exact harmonics sit
    // on their edges, and moving one partial at all leaves no fundamental.
    r = qz_subtone("--explain --approx 0", "440 0 660\n1 1.5\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "220\n"
                     "  partial 1: 440 (A4), harmonic 2, +0.0 cents (0.0 from the edge: on the "
                     "edge)\n"
                     "  partial 2: 0, harmonic 0 (no window: skipped)\n"
                     "  partial 3: 660 (E5+2c), harmonic 3, +0.0 cents (0.0 from the edge: on the "
                     "edge)\n"
                     "  interval: [220, 220] Hz, midpoint 220 Hz\n"
                     "  result: 220 Hz (A3)\n"
                     "  fragile: yes (partial 1 moved by +3.0 cents gives other harmonic numbers)\n"
                     "0\n"
                     "  partial 1: 1 (C-4-38c)\n"
                     "  partial 2: 1.5 (G-4-36c)\n"
                     "  no fundamental of 1 Hz or more fits\n");
    // The traced search agrees with the plug-in in MIDI mode too; there the
    // names are those of the MIDI numbers (40 is E2).
    r = qz_subtone("--explain --mode midi --approx 1 60 64 67");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 3), "40\n");
    // 261.6256 / (3 * 82.6874) = 1.05468: +92.2 cents, 7.8 short of the
    // 100-cent edge at approximation 1.
    EXPECT_NE(r.out.find("partial 1: 60 (C4) = 261.6255798339844 Hz, harmonic 3, +92.2 cents "
                         "(7.8 from the edge)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  result: 40 (E2)\n"), std::string::npos) << r.out;
}

// Note names, chord files, --echo, --names, --digits, --a4. Expected values:
// a note name must give exactly what its number gives (C4 = 60 and A4 = 69
// by definition; E5 = 440 * 2^(7/12) = 659.2551138257398 Hz and C4 =
// 261.6255653005986 Hz computed apart, in Python); the results of 440 550 660
// (110.0459 Hz) and of the MIDI chord 60 64 67 (36) are the worked examples
// that the other tests check; 36 is C2 and 45 is A2 by definition; rounded
// values by hand.
TEST(SubtoneCli, NoteNamesFilesAndReadableOutput)
{
    const std::string file = ::testing::TempDir() + "qz_chords_" + std::to_string(::getpid());
    std::ofstream(file) << "# a chord file\nC4, E4, G4\n\n60 64 67   # the same\nA3,E4\n";
    const std::string bad = file + ".bad";
    std::ofstream(bad) << "C4 E4 G4\n# fine so far\nC4  X4 G4\n60 64 67\n";
    const std::string commas = file + ".commas";
    std::ofstream(commas) << "60,,64\n";
    const struct {
        std::string args, input, out, err;
        int status;
    } cases[] = {
        {"--mode midi C4 E4 G4", "", "36\n", "", 0},
        {"--mode midi c4 e4 g4", "", "36\n", "", 0},
        {"--mode midi B#3 Fb4 F##4", "", "36\n", "", 0}, // 60 64 67 spelt otherwise
        {"--mode midi C4 E\xE2\x99\xAD"
         "4 G4",
         "", "", "", -1}, // E flat: as 60 63 67 below
        {"A4", "", "440.18353271484375\n", "", 0},
        {"--a4 442 A4", "", "", "", -2}, // as 442 below
        {"--mode midi --echo --names " + file, "", "C4 E4 G4 -> C2\n60 64 67 -> C2\nA3 E4 -> A2\n",
         "", 0},
        {"--mode midi --echo -", "C4 E4 G4\n", "C4 E4 G4 -> 36\n", "", 0},
        {"--mode midi --names --approx 0.01 0 0.5", "", "-inf\n", "", 0},
        {"--digits 2 440 550 660", "", "110.05\n", "", 0},
        {"--digits 0 440 550 660", "", "110\n", "", 0},
        {"--mode midi " + bad, "", "36\n",
         "qz subtone: " + bad + ":3:5: 'X4' is neither a number nor a note name\n", 1},
        {commas, "", "", "qz subtone: " + commas + ":1:4: a comma where a partial should be\n", 1},
        {"--mode midi C4 H4", "", "",
         "qz subtone: argument 2: 'H4' is neither a number, a note name nor a readable file\n", 1},
        {"440 nosuchfile.txt", "", "",
         "qz subtone: argument 2: 'nosuchfile.txt' is neither a number, a note name nor a "
         "readable file\n",
         1},
    };
    for (const auto &c : cases) {
        const CliRun r = qz_subtone(c.args, c.input);
        if (c.status == -1) { // differential: the same as the numbers
            EXPECT_EQ(r.out, qz_subtone("--mode midi 60 63 67").out) << c.args;
            EXPECT_EQ(r.status, 0) << c.args;
            continue;
        }
        if (c.status == -2) {
            EXPECT_EQ(r.out, qz_subtone("442").out) << c.args;
            continue;
        }
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    // Hz mode names: the frequencies computed apart.
    EXPECT_EQ(qz_subtone("C4 A4 E5").out,
              qz_subtone("261.6255653005986 440 659.2551138257398").out);
    EXPECT_EQ(qz_subtone("--a4 415 A4 E5").out, qz_subtone("415 621.7974369038228").out);
    std::remove(file.c_str());
    std::remove(bad.c_str());
    std::remove(commas.c_str());
}

TEST(SubtoneCli, UsageErrorsExitWithTwo)
{
    for (const char *args : {"--bogus",
                             "-x 440",
                             "--mode",
                             "--mode hz 440",
                             "--approx",
                             "--approx abc 440",
                             "- 440",
                             "--explain=1 440",
                             "--names --names 60",
                             "--mode midi --a4 442 60",
                             "--a4 0 A4",
                             "--a4 x A4",
                             "--digits 18 440",
                             "--digits -1 440",
                             "--digits",
                             "440 - ",
                             "--floor C1 440",
                             "--alternatives 2 --floor 0.5 440",
                             "--alternatives 2 --floor x 440",
                             "--alternatives -1 440",
                             "--alternatives 1001 440",
                             "--alternatives 2 --score chorale.musicxml -o out.musicxml"}) {
        const CliRun r = qz_subtone(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("qz subtone: "), std::string::npos) << args;
    }
    const CliRun help = qz_subtone("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: qz subtone", 0), 0u);
}

// Names are spelled as the chord is: with flats where every accidental
// written is a flat, with sharps otherwise. Bb2 D3 F3 gives A#0+6c in
// sharps (the pitch measured when the spelling was first reported).
TEST(SubtoneCli, SpellingFollowsTheChord)
{
    const struct {
        const char *args, *out;
    } cases[] = {
        {"--names Bb2 D3 F3", "Bb0+6c\n"},
        {"--names A#2 D3 F3", "A#0+6c\n"},
        {"--names --mode midi Bb3 Db4 F4", "Bb1-50c\n"},
        {"--names --mode midi Bb3 C#4 F4", "A#1-50c\n"},
        {"--names --mode midi 58 61 65", "A#1-50c\n"},
        {"--names --mode midi B\u266d3 D\u266d4 F4", "Bb1-50c\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(qz_subtone(c.args).out, c.out) << c.args;
    const CliRun e = qz_subtone("--mode midi --explain --alternatives 0 Eb4 G4 Bb4");
    EXPECT_NE(e.out.find("partial 1: 63 (Eb4)"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("result: 39 (Eb2)"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("box: 78.0457 Hz (Eb2+6c)"), std::string::npos) << e.out;
}

// --alternatives after each result, with --explain, and a --floor as a note
// name read with A4 at --a4. The chords and their hearings are the worked
// examples of docs/objects.md ("Other hearings").
TEST(SubtoneCli, AlternativesFollowEachResult)
{
    const CliRun r = qz_subtone("--mode midi --alternatives 1", "C4 E4 G4 B4\nC4 E4 G4\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "28.5\n"
                     "  box: 42.3629 Hz (E1+48c), harmonics 6 8 9 12, fit 50.0 cents\n"
                     "  alternative 1: 32.8142 Hz (C1+6c), harmonics 8 10 12 15, fit 7.8 cents\n"
                     "36\n"
                     "  box: 65.6284 Hz (C2+6c), harmonics 4 5 6, fit 7.8 cents\n"
                     "  no lower fundamental fits better, down to 16.3516 Hz\n");
    // A floor above C1 leaves C1 out; --a4 432 makes the note C1 lower.
    const CliRun high = qz_subtone("--alternatives 3 --floor C#1 C4 E4 G4 B4");
    EXPECT_EQ(high.out.find("alternative 1"), std::string::npos) << high.out;
    EXPECT_NE(high.out.find("down to 34.6478 Hz"), std::string::npos) << high.out;
    const CliRun tuned = qz_subtone("--alternatives 0 --floor C1 --a4 432 C4");
    EXPECT_NE(tuned.out.find("down to 32.1086 Hz"), std::string::npos) << tuned.out;
    // With --explain the list follows the trace, and a partial without a
    // window shows no harmonic.
    const CliRun e = qz_subtone("--explain --alternatives 2 440 0 660");
    EXPECT_EQ(e.status, 0) << e.err;
    const auto fragile = e.out.find("  fragile: ");
    const auto box = e.out.find("  box: 220.0000 Hz (A3), harmonics 2 - 3, fit 0.0 cents\n");
    ASSERT_NE(box, std::string::npos) << e.out;
    EXPECT_LT(fragile, box);
}

// --names in Hz names the result against A4 = --a4, and "no fundamental" is
// a result (exit 0) in both modes, printed as the number. The cents come
// from the independent formula 1200 * log2(f / A4) + 6900 on the worked
// example's result f = 110.04588317871094 Hz (README: 440 550 660): 4500.72
// with A4 = 440 (A2 +0.72 cents), 4601.99 with 415 (A#2 +1.99), 4492.87
// with 442 (A2 -7.13); worked out with Python's math.log2.
TEST(SubtoneCli, NamesInHzAndNoFundamentalIsAResult)
{
    const struct {
        const char *args, *out;
    } cases[] = {
        {"--names 440 550 660", "A2+1c\n"},
        {"--names --digits 2 440 550 660", "A2+0.72c\n"},
        {"--names --a4 415 440 550 660", "A#2+2c\n"},
        {"--names --a4 442 --digits 1 440 550 660", "A2-7.1c\n"},
        // No fundamental of 1 Hz or more: 0 Hz, -inf in midi mode.
        {"0.5 0.7", "0\n"},
        {"--names 0.5 0.7", "0\n"},
        {"--mode midi --approx -1 60 64", "-inf\n"},
        {"--mode midi --names --approx -1 60 64", "-inf\n"},
    };
    for (const auto &c : cases) {
        const CliRun r = qz_subtone(c.args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_EQ(r.err, "") << c.args;
    }
    // In a file, a chord without a fundamental does not fail the run.
    const CliRun file = qz_subtone("-", "440 550 660\n0.5 0.7\n");
    EXPECT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(file.out, "110.04588317871094\n0\n");
}

// A chord file that is a directory, binary or unreadable is an input error
// naming it (exit 1), never an empty success.
TEST(SubtoneCli, FilesThatAreNoTextAreErrors)
{
    const std::string dir =
        std::filesystem::temp_directory_path() / ("qz_subtone_files_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    };
    const std::string midi = write("song.mid", std::string("MThd\0\0\0\6\0\1", 10));
    const std::string latin1 = write("latin1.txt", "440 550 # caf\xe9\n");
    const std::string overlong = write("overlong.txt", "440 \xc0\xaf\n");
    const std::string utf8 = write("utf8.txt", "A4 C\xe2\x99\xaf"
                                               "5 E5 # \xc3\xa9t\xc3\xa9\n");
    const struct {
        std::string path, err;
    } bad[] = {
        {midi, "'" + midi + "' is not text (a NUL byte at byte 5)"},
        {latin1, "'" + latin1 + "' is not text (invalid UTF-8 at byte 14)"},
        {overlong, "'" + overlong + "' is not text (invalid UTF-8 at byte 5)"},
    };
    for (const auto &b : bad) {
        const CliRun r = qz_subtone("'" + b.path + "'");
        EXPECT_EQ(r.status, 1) << b.path;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "qz subtone: " + b.err + "\n");
    }
    const CliRun folder = qz_subtone("440 '" + dir + "'");
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "qz subtone: argument 2: cannot open '" + dir + "': it is a directory\n");
    // Binary on standard input too.
    const CliRun in = qz_subtone("-", std::string("440\0", 4));
    EXPECT_EQ(in.status, 1);
    EXPECT_NE(in.err.find("<stdin>:1: not text (a NUL byte at byte 4)"), std::string::npos)
        << in.err;
    // Valid UTF-8 (a sharp sign, a comment in French) is text.
    const CliRun ok = qz_subtone("'" + utf8 + "'");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_FALSE(ok.out.empty());
    std::filesystem::remove_all(dir);
}

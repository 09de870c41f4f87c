// `qz pitchtally` end to end: the real plug-in in the embedded host, driven
// by a stream in virtual time.
#include "qz_run.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using CliRun = qztest::QzRun;
using qztest::slurp;

// Runs `qz pitchtally ARGS` with `input` on standard input.
CliRun qz(const std::string &args, const std::string &input)
{
    return qztest::run_qz("pitchtally " + args, input);
}

TEST(PitchTallyCli, ReportsInVirtualTimeWithShortestNumbers)
{
    // Clocks due at or before a line's time fire before its events; the
    // amplitude reaches the right inlet before the pitch.
    const CliRun r = qz("--agents 8 --window 100 --minproba 0.6",
                        "# comment\n"
                        "time,pitch,amp\n"
                        "0, 60, 0.1\n"
                        "10 60 0.7   # same pitch\n"
                        "\n"
                        "20\t61,0.3\n"
                        "100 60\n" // slot 0 ends at 100 before this event counts
                        "150 stop\n");
    EXPECT_EQ(r.status, 0) << r.err;
    // Slot 1 (60 at 10) counts the 60 at 100 with amplitude 0.3; slot 2 (61)
    // ends with 1 of 2, below the threshold.
    EXPECT_EQ(r.out, "100 60 0.39999999999999997 0.6666666666666666\n"
                     "110 60 0.5 0.6666666666666666\n");
    EXPECT_EQ(r.err, "");
}

// --quantize rounds a text stream's pitches, read as MIDI pitches, before
// the box counts them: 60.2, 59.9 and 60.4 are all 60 on the semitone grid,
// 61.6 is 62. By hand, at --minproba 0.7: the agent at 0 sees 60, 60, 60,
// 62 (3 of 4 at amplitude 1), the one at 30 only its own 62 (1 of 1); raw,
// every pitch is its own, and only the last agent reaches 0.7.
TEST(PitchTallyCli, QuantizeRoundsATextStream)
{
    const std::string stream = "0 60.2 1\n10 59.9\n20 60.4\n30 61.6\n";
    EXPECT_EQ(qz("--agents 8 --window 100 --minproba 0.7 --quantize 1", stream).out,
              "100 60 1 0.75\n130 62 1 1\n");
    EXPECT_EQ(qz("--agents 8 --window 100 --minproba 0.7", stream).out, "130 61.6 1 1\n");
    EXPECT_EQ(qz("--agents 8 --window 100 --minproba 0 --quantize 0.5", stream).out.substr(0, 15),
              "100 60 1 0.5\n11");
}

TEST(PitchTallyCli, CreationArgumentsAndConsoleErrors)
{
    // Without --agents the tool makes the box with the object's own default
    // count, 100, so the object has nothing to complain about; its default
    // window of 500 ms applies; the remaining clocks run out after the last
    // line.
    CliRun r = qz("", "0 60 0.5\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "500 60 0.5 1\n");
    EXPECT_EQ(r.err, "");
    r = qz("", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");

    // A count the object refuses: its own message.
    r = qz("--agents 0", "");
    EXPECT_EQ(r.err, "qz.pitchtally: 0 stat agents requested: at least 1 is needed, using 100\n");

    r = qz("--agents 1 --window 50", "0 60\n10 61\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "60 61 0 1\n");
    EXPECT_EQ(r.err, "qz.pitchtally: too many events\n");
}

// Values the attributes clip get one warning naming the value used (the
// clipping itself is the box's: window 1 to 2147483647 ms, minproba 0 to 1);
// note names are pitches as MIDI numbers (C4 = 60; Bb3-31c = 58 - 0.31);
// --digits rounds (0.39999999999999997 is 0.4 to three decimals). Reports
// worked out by hand: a window of 1 ms ends each agent 1 ms after its
// pitch with 1 hit of 1 event.
TEST(PitchTallyCli, WarningsNoteNamesAndDigits)
{
    const struct {
        const char *args, *input, *out, *err;
    } cases[] = {
        {"--window -5", "0 60 0.5\n", "1 60 0.5 1\n",
         "qz pitchtally: warning: --window -5 is out of range; the box uses 1\n"},
        {"--window 0", "", "",
         "qz pitchtally: warning: --window 0 is out of range; the box uses 1\n"},
        {"--window 99999999999", "", "",
         "qz pitchtally: warning: --window 99999999999 is out of range; the box uses 2147483647\n"},
        {"--minproba 7 --window 5", "0 60 0.5\n", "5 60 0.5 1\n",
         "qz pitchtally: warning: --minproba 7 is out of range; the box uses 1\n"},
        {"--minproba -0.5", "", "",
         "qz pitchtally: warning: --minproba -0.5 is out of range; the box uses 0\n"},
        {"--minproba 1 --window 1", "", "", ""},
        {"--agents 4 --window 100", "0 C4 0.5\n10 60 0.5\n", "100 60 0.5 1\n110 60 0.5 1\n", ""},
        {"--window 1",
         "0,Bb3-31c\n2 F\xE2\x99\xAF"
         "4+14c 1\n",
         "1 57.69 0 1\n3 66.14 1 1\n", ""},
        {"--agents 8 --window 100 --digits 3", "0 60 0.1\n10 60 0.7\n",
         "100 60 0.4 1\n110 60 0.7 1\n", ""},
    };
    for (const auto &c : cases) {
        const CliRun r = qz(c.args, c.input);
        EXPECT_EQ(r.status, 0) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    const CliRun r = qz("--window 1", "0 H4\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "qz pitchtally: stdin line 1: pitch 'H4' is neither a number nor a note name\n");
}

// A tool whose plug-ins are not beside it says where it looked and names
// --externals; a folder given with --externals must exist.
TEST(PitchTallyCli, PluginSearchErrorsNameTheFolders)
{
    const std::string qz_path = std::string(QZ_BIN_DIR) + "/qz";
    if (slurp(qz_path).rfind("#!", 0) == 0)
        GTEST_SKIP() << "qz runs under an emulator here: a moved copy would be the launcher";
    const std::string dir = ::testing::TempDir() + "qz_moved_" + std::to_string(getpid());
    const std::string err = dir + "/err";
    std::system(
        ("mkdir -p '" + dir + "/bin' && cp '" + qz_path + "' '" + dir + "/bin/qz'").c_str());
    int rc = std::system(("'" + dir + "/bin/qz' pitchtally </dev/null 2>'" + err + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    EXPECT_NE(slurp(err).find("qz: cannot find qz.pitchtally"), std::string::npos) << slurp(err);
    EXPECT_NE(slurp(err).find(dir + "/externals"), std::string::npos) << slurp(err);
    EXPECT_NE(slurp(err).find("use --externals DIR"), std::string::npos) << slurp(err);
    // Given the folder, the moved tool works.
    rc = std::system(("'" + dir + "/bin/qz' --externals '" + QZ_EXTERNALS_DIR +
                      "' pitchtally </dev/null 2>'" + err + "'")
                         .c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 0) << slurp(err);
    rc = std::system(("'" + dir + "/bin/qz' --externals '" + dir +
                      "/nonexistent' pitchtally </dev/null 2>'" + err + "'")
                         .c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 2);
    EXPECT_EQ(slurp(err), "qz: --externals " + dir + "/nonexistent: no such folder\n");
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(PitchTallyCli, InputErrorsNameTheLineAndStop)
{
    CliRun r = qz("--agents 4 --window 10", "0 60\n20 61\n15 62\n30 63\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "10 60 0 1\n"); // what came before the error stands
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;

    r = qz("--agents 4", "0 60\nx 61\n"); // a header is allowed only first
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    for (const char *bad : {"0 60 1 2\n", "0,,60\n", "0\n", "-1 60\n", "0 stop 1\n", "0 sixty\n"}) {
        r = qz("--agents 4", bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_NE(r.err.find("line 1"), std::string::npos) << bad << r.err;
    }
}

// Input that is no stream is an error naming it, never an empty success:
// a directory, a binary file (a MIDI file starts "MThd" and NUL bytes), a
// line of words taken for a header with nothing after it. The same reader
// serves qz run and qz patch. An empty stream prints nothing, and is fine.
TEST(PitchTallyCli, InputsThatAreNoStreamAreErrors)
{
    const std::string dir = ::testing::TempDir() + "qz_tally_inputs_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    const std::string midi = dir + "/song.mid", words = dir + "/words.txt";
    std::ofstream(midi, std::ios::binary) << std::string("MThd\0\0\0\6\0\1\0\1", 12);
    std::ofstream(words) << "hello world\n";
    const struct {
        std::string args, err;
    } cases[] = {
        {"pitchtally '" + dir + "'",
         "qz pitchtally: cannot open '" + dir + "': it is a directory\n"},
        {"pitchtally '" + dir + "/none'",
         "qz pitchtally: cannot open '" + dir + "/none': no such file\n"},
        {"pitchtally '" + midi + "'",
         "qz pitchtally: '" + midi + "' is not text (a NUL byte at byte 5)\n"},
        {"pitchtally '" + words + "'",
         "qz pitchtally: " + words +
             " line 1: no event line; the only line is no 'TIME PITCH [AMP]' event\n"},
        {"run '" + midi + "'", "qz run: '" + midi + "' is not text (a NUL byte at byte 5)\n"},
        {"run '" + dir + "'", "qz run: cannot open '" + dir + "': it is a directory\n"},
        {"patch '" + midi + "'", "qz patch: '" + midi + "' is not text (a NUL byte at byte 5)\n"},
    };
    for (const auto &c : cases) {
        const CliRun r = qztest::run_qz(c.args, "");
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    const CliRun piped = qz("--agents 2 -", std::string("0 60\0\n", 6));
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.err, "qz pitchtally: standard input is not text (a NUL byte at byte 5)\n");
    const CliRun empty = qz("--agents 2", "");
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out + empty.err, "");
    std::remove(midi.c_str());
    std::remove(words.c_str());
    std::remove(dir.c_str());
}

TEST(PitchTallyCli, UsageErrorsExitWith2)
{
    for (const char *args :
         {"--agents", "--agents 1.5", "--window x", "--minproba", "--nope", "a b"}) {
        const CliRun r = qz(args, "");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("qz pitchtally"), std::string::npos) << args;
    }
    const CliRun h = qz("--help", "");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("TIME PITCH [AMP]"), std::string::npos);
}

TEST(PitchTallyCli, ShippedExampleRuns)
{
    const CliRun r = qz(std::string("--agents 32 --window 200 --minproba 0.5 '") +
                            QZ_TESTS_SOURCE_DIR + "/../examples/pitchtally/stream.txt'",
                        "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The stop at 1020 silences the lone 55; the held 72 is fully reported.
    EXPECT_EQ(r.out.find(" 55 "), std::string::npos);
    EXPECT_NE(r.out.find("1420 72 0.295 1\n"), std::string::npos) << r.out;
}

} // namespace

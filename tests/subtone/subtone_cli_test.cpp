// `qz subtone` as a user runs it: the built tool, the real plug-in.
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

struct CliRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `qz subtone ARGS` with `input` on standard input.
CliRun qz_subtone(const std::string &args, const std::string &input = "")
{
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("qz_subtone_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream(dir / "in") << input;
    }
    const std::string cmd = std::string("'") + QZ_BIN_DIR + "/qz' subtone " + args + " < '" +
                            (dir / "in").string() + "' > '" + (dir / "out").string() + "' 2> '" +
                            (dir / "err").string() + "'";
    const int raw = std::system(cmd.c_str());
    CliRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
    fs::remove_all(dir);
    return r;
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

TEST(SubtoneCli, StandardInputIsOneListPerLine)
{
    const CliRun r = qz_subtone("--approx 0", "440 660\n\n   \n440 foo 660\r\n1 1.5\n440");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "220\n220\n0\n440\n");
    EXPECT_EQ(r.err, "qz.subtone: wrong argument type\n");
    EXPECT_EQ(qz_subtone("-", "440\n").out, "440.18353271484375\n");
    EXPECT_EQ(qz_subtone("", "").out, "");
}

TEST(SubtoneCli, ExplainShowsHarmonicsAndInterval)
{
    CliRun r = qz_subtone("--explain 440 550 660");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "110.04588317871094\n"
                     "  partial 1: 440, harmonic 4\n"
                     "  partial 2: 550, harmonic 5\n"
                     "  partial 3: 660, harmonic 6\n"
                     "  interval: [106.86851501464844, 113.2232437133789] Hz, "
                     "midpoint 110.04588317871094 Hz\n");
    r = qz_subtone("--explain --approx 0", "440 x 660\n1 1.5\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "220\n"
                     "  partial 1: 440, harmonic 2\n"
                     "  partial 2: x = 0 Hz, harmonic 0 (no window: skipped)\n"
                     "  partial 3: 660, harmonic 3\n"
                     "  interval: [220, 220] Hz, midpoint 220 Hz\n"
                     "0\n"
                     "  partial 1: 1\n"
                     "  partial 2: 1.5\n"
                     "  no fundamental of 1 Hz or more fits\n");
    // The traced search agrees with the plug-in in MIDI mode too.
    r = qz_subtone("--explain --mode midi --approx 1 60 64 67");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 3), "40\n");
    EXPECT_NE(r.out.find("partial 1: 60 = 261.6255798339844 Hz, harmonic 3\n"), std::string::npos);
}

TEST(SubtoneCli, UsageErrorsExitWithTwo)
{
    for (const char *args : {"--bogus", "-x 440", "--mode", "--mode hz 440", "--approx",
                             "--approx abc 440", "- 440", "--explain=1 440"}) {
        const CliRun r = qz_subtone(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("qz subtone: "), std::string::npos) << args;
    }
    const CliRun help = qz_subtone("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: qz subtone", 0), 0u);
}

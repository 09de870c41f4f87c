// The command-line grammar that every qz command shares: the same option
// forms, the same end of options, the same help and the same usage errors.
#include "qz_run.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using qztest::run_qz;

namespace {

const char *const kCommands[] = {"subtone", "pitchtally", "track", "run", "patch", "refpage"};

} // namespace

// -h and --help print the command's own help, made from its declared
// options, and exit 0; an unknown option or a value given to a flag is a
// usage error in the one format.
TEST(Grammar, HelpAndUsageErrorsAreAlikeInEveryCommand)
{
    for (const std::string cmd : kCommands) {
        for (const char *h : {"-h", "--help"}) {
            const auto r = run_qz(cmd + " " + h);
            EXPECT_EQ(r.status, 0) << cmd << h;
            EXPECT_EQ(r.out.rfind("usage: qz " + cmd, 0), 0u) << cmd << h;
            EXPECT_NE(r.out.find("  -h, --help"), std::string::npos) << cmd;
        }
        const std::string hint = "Try 'qz " + cmd + " --help'.\n";
        for (const char *bad : {"--bogus", "--bogus=1", "-x"}) {
            const auto r = run_qz(cmd + " " + bad + " x");
            EXPECT_EQ(r.status, 2) << cmd << ' ' << bad;
            EXPECT_EQ(r.err, "qz " + cmd + ": unknown option '" + bad + "'\n" + hint) << cmd;
            EXPECT_EQ(r.out, "") << cmd;
        }
    }
    // A flag takes no value; the command's own flag in each.
    for (const char *args :
         {"subtone --explain=1 440", "run --no-posts=1 -", "patch --trace=x f"}) {
        const auto r = run_qz(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("takes no value"), std::string::npos) << args << r.err;
    }
}

// "--opt value" and "--opt=value" are the same option, in every command;
// "--" ends the options, so that a word after it is an operand even when it
// looks like one. Expected values: the worked example 440 550 660 Hz, whose
// fundamental is 110.05 Hz to two decimals (as in the subtone tests).
TEST(Grammar, BothOptionFormsAndTheEndOfOptions)
{
    EXPECT_EQ(run_qz("subtone --digits=2 440 550 660").out, "110.05\n");
    EXPECT_EQ(run_qz("subtone --digits 2 440 550 660").out, "110.05\n");
    // One agent, window 10 ms: the event at 0 reports at 10 with hits 1 of 1.
    const std::string stream = "0 60 0.5\n";
    const auto spaced = run_qz("pitchtally --agents 1 --window 10 --digits 1", stream);
    const auto joined = run_qz("pitchtally --agents=1 --window=10 --digits=1", stream);
    EXPECT_EQ(spaced.status, 0) << spaced.err;
    EXPECT_EQ(spaced.out, "10 60 0.5 1\n");
    EXPECT_EQ(joined.out, spaced.out);
    // A single-valued option or a flag given twice is refused, in either
    // form and whatever the values, in every command; --externals is meant
    // to repeat (one folder each).
    const struct {
        const char *cmd, *args, *option;
    } twice[] = {
        {"subtone", "--digits 5 --digits=0 440 550 660", "--digits"},
        {"subtone", "--mode midi --mode midi 60", "--mode"},
        {"subtone", "--audio a.wav --audio b.wav", "--audio"},
        {"subtone", "--echo --echo 440", "--echo"},
        {"pitchtally", "--window 10 --window=20 -", "--window"},
        {"track", "--method yin --method yin x.wav", "--method"},
        {"run", "--no-posts --no-posts -", "--no-posts"},
        {"patch", "--trace --trace f", "--trace"},
        {"refpage", "-o a -o b", "-o"},
    };
    for (const auto &t : twice) {
        const auto r = run_qz(std::string(t.cmd) + " " + t.args, "0 60\n");
        EXPECT_EQ(r.status, 2) << t.args;
        EXPECT_EQ(r.out, "") << t.args;
        EXPECT_EQ(r.err, "qz " + std::string(t.cmd) + ": " + t.option + " given twice\nTry 'qz " +
                             t.cmd + " --help'.\n")
            << t.args;
    }
    const auto folders = run_qz("--externals /tmp --externals /tmp subtone --help");
    EXPECT_EQ(folders.status, 0) << folders.err;
    // After "--", "--digits" is a partial: neither a number nor a file.
    const auto after = run_qz("subtone -- --digits 440");
    EXPECT_EQ(after.status, 1);
    EXPECT_NE(after.err.find("'--digits' is neither a number"), std::string::npos) << after.err;
    // A negative number is an operand, not an option.
    EXPECT_EQ(run_qz("patch --bogus").status, 2);
    const auto negative = run_qz("pitchtally --agents 1 --window 10 -", "0 -12\n");
    EXPECT_EQ(negative.status, 0) << negative.err;
    EXPECT_EQ(negative.out, "10 -12 0 1\n");
    // A missing value names what the option needs.
    const auto missing = run_qz("pitchtally --window");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "qz pitchtally: --window needs an integer number of ms\n"
                           "Try 'qz pitchtally --help'.\n");
}

// qz --help lists every command of the table, and each command named there
// answers its own --help.
TEST(Grammar, TheTopLevelHelpListsEveryCommand)
{
    const auto top = run_qz("--help");
    EXPECT_EQ(top.status, 0);
    for (const std::string cmd : kCommands)
        EXPECT_NE(top.out.find("\n  " + cmd + " "), std::string::npos) << cmd;
    const auto unknown = run_qz("nosuch");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("qz: unknown command 'nosuch'\n", 0), 0u);
}

// A mistake is answered with the way out: the nearest command or option, how
// cents are written, commas split as in a file, a frequency in midi mode
// named as such, a sound file pointed to --audio.
TEST(Grammar, MistakesPointTheWay)
{
    EXPECT_EQ(run_qz("help subtone").out, run_qz("subtone --help").out);
    const struct {
        const char *args, *err;
        int status;
    } cases[] = {
        {"subtones 440", "qz: unknown command 'subtones' (did you mean 'subtone'?)\n", 2},
        {"help pitchtaly", "qz: no command 'pitchtaly' (did you mean 'pitchtally'?)\n", 2},
        {"subtone --altrenatives 3 440",
         "qz subtone: unknown option '--altrenatives' (did you mean '--alternatives'?)\n", 2},
        {"pitchtally --windwo 40 -", "(did you mean '--window'?)", 2},
        {"subtone G4+14",
         "'G4+14' is neither a number, a note name nor a readable file (cents are written with a "
         "c: G4+14c)\n",
         1},
        {"subtone --mode midi 440 550",
         "qz subtone: warning: partial 1, 440, is outside MIDI 0 to 127 (G#35); for frequencies "
         "in Hz use --mode freq\n",
         0},
    };
    for (const auto &c : cases) {
        const auto r = run_qz(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    // One argument of commas is the chord its words make (440 550 660 Hz,
    // the worked example).
    EXPECT_EQ(run_qz("subtone 440,550,660").out, "110.04588317871094\n");
    EXPECT_EQ(run_qz("subtone --mode midi C4,E4 G4").out,
              run_qz("subtone --mode midi C4 E4 G4").out);

    // The first bytes of a WAV file (RIFF, size, WAVE, fmt ): not text.
    const std::string wav = ::testing::TempDir() + "grammar_tone.wav";
    std::ofstream(wav, std::ios::binary)
        << std::string("RIFF\x24\x08\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00", 22);
    for (const std::string cmd : {"subtone", "pitchtally"}) {
        const auto r = run_qz(cmd + " '" + wav + "'");
        EXPECT_EQ(r.status, 1) << cmd;
        EXPECT_NE(r.err.find("it looks like a WAV sound file: qz " + cmd + " --audio " + wav),
                  std::string::npos)
            << r.err;
    }
}

// With no file and a terminal on standard input, a command says that it
// reads from it and how to end it, before it waits.
TEST(Grammar, ATerminalIsToldWhatIsRead)
{
    int fd = -1;
    const pid_t pid = forkpty(&fd, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string qz = std::string(QZ_BIN_DIR) + "/qz";
        execl(qz.c_str(), qz.c_str(), "--externals", QZ_EXTERNALS_DIR, "subtone", nullptr);
        _exit(127);
    }
    std::string seen;
    char buf[256];
    bool sent = false;
    // Without the line, qz would wait for ever: give up after 20 s of silence.
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) {
            kill(pid, SIGKILL);
            ADD_FAILURE() << "no word from qz subtone on the terminal: " << seen;
            break;
        }
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break; // the child closed the terminal
        seen.append(buf, static_cast<std::size_t>(n));
        if (!sent && seen.find("end with Ctrl-D") != std::string::npos) {
            const char chord[] = "440 550 660\n\x04";
            ASSERT_EQ(write(fd, chord, sizeof chord - 1), static_cast<ssize_t>(sizeof chord - 1));
            sent = true;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_NE(seen.find("qz subtone: reading chords, one a line, from the terminal (standard "
                        "input); end with Ctrl-D"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("110.04588317871094"), std::string::npos) << seen;
}

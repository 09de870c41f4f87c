// The command-line grammar that every qz command shares: the same option
// forms, the same end of options, the same help and the same usage errors.
#include "qz_run.hpp"

#include <gtest/gtest.h>

#include <string>

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

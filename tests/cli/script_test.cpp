// The `qz run` script runner: line handling, errors that name their line,
// and the output format, driven against the real plug-ins.
#include "script.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

struct ScriptRun {
    qzhost::Host host;
    std::ostringstream out;
    std::ostringstream err;
    int errors = 0;

    explicit ScriptRun(const std::string &script, bool posts = false)
    {
        host.add_search_path(QZ_EXTERNALS_DIR);
        qzcli::ScriptRunner runner(host, out, err, "t.qzs", posts);
        errors = runner.run(script);
        host.unload_all();
    }
};

TEST(ScriptErrors, NameTheLineAndTheRunGoesOn)
{
    ScriptRun r("# a comment\n"
                "\n"
                "frobnicate 1 2\n"
                "send nobody 1\n"
                "box s qz.subtone 0.5\n"
                "box s qz.subtone 0.5\n"
                "box x qz.nosuchclass\n"
                "connect s 0 s 7\n"
                "at -5\n"
                "advance x\n"
                "get s nosuchattr\n"
                "send s 440\n");
    EXPECT_EQ(r.errors, 8);
    const std::string err = r.err.str();
    EXPECT_NE(err.find("t.qzs:3: unknown command 'frobnicate'"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:4: no box named 'nobody'"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:6: a box named 's' exists already"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:7: could not create box 'x'"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:8: cannot connect"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:9: time cannot go back"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:10: usage: advance MS"), std::string::npos) << err;
    EXPECT_NE(err.find("t.qzs:11: box 's' has no attribute 'nosuchattr'"), std::string::npos)
        << err;
    // The last line still ran after all those errors.
    EXPECT_NE(r.out.str().find("0 s 0 440.18"), std::string::npos) << r.out.str();
}

// A command word alone (or short of its operands) is a usage error naming
// its line. The rest-of-line of `box`, `send` and `set` was once read past
// the end of the word list for these (caught under AddressSanitizer).
TEST(ScriptErrors, BareCommandWordsAreUsageErrors)
{
    const struct {
        const char *line;
        const char *error;
    } cases[] = {
        {"box", "box needs a name and a class: box NAME CLASS [ARGS...]"},
        {"box b", "box needs a name and a class: box NAME CLASS [ARGS...]"},
        {"send", "usage: send NAME[:INLET] MESSAGE"},
        {"send s", "usage: send NAME[:INLET] MESSAGE"},
        {"set", "usage: set NAME ATTR [VALUE...]"},
        {"set s", "usage: set NAME ATTR [VALUE...]"},
        {"connect", "usage: connect FROM OUTLET TO INLET"},
        {"get", "usage: get NAME ATTR"},
        {"assist", "usage: assist NAME inlet|outlet N"},
        {"advance", "usage: advance MS"},
        {"at", "usage: at T"},
        {"free", "usage: free NAME"},
        {"run 1 2", "usage: run [UNTIL_MS]"},
        {"run x", "usage: run [UNTIL_MS]"},
        {"run inf", "usage: run [UNTIL_MS]"},
    };
    for (const auto &c : cases) {
        // Each alone, and after a box exists, then with trailing blanks.
        for (const std::string &script :
             {std::string(c.line), "box s qz.subtone\n" + std::string(c.line) + "  \t"}) {
            ScriptRun r(script);
            EXPECT_EQ(r.errors, 1) << script;
            const std::string line = script.rfind("box s", 0) == 0 ? "2" : "1";
            EXPECT_EQ(r.err.str(), "t.qzs:" + line + ": " + c.error + "\n") << script;
            EXPECT_EQ(r.out.str(), "") << script;
        }
    }
    // echo alone prints an empty line.
    ScriptRun echo("echo");
    EXPECT_EQ(echo.errors, 0);
    EXPECT_EQ(echo.out.str(), "\n");
}

TEST(ScriptErrors, AClassFoundNowhereNamesTheFoldersSearched)
{
    qzhost::Host host;
    host.add_search_path(QZ_EXTERNALS_DIR);
    std::ostringstream out, err;
    qzcli::ScriptRunner runner(host, out, err, "t.qzs", false);
    runner.set_search_folders({QZ_EXTERNALS_DIR});
    EXPECT_EQ(runner.run("box x qz.nosuch\nbox s qz.subtone\n"), 1);
    EXPECT_EQ(err.str(),
              std::string("t.qzs:1: could not create box 'x' (qz.nosuch): no qz.nosuch") +
                  qzhost::Host::plugin_extension() + " in " + QZ_EXTERNALS_DIR +
                  " (--externals DIR names another folder)\n");
    host.unload_all();
}

TEST(ScriptErrors, UnknownMessageIsTheObjectsConsoleErrorNotAScriptError)
{
    ScriptRun r("box s qz.subtone\n"
                "send s frobnicate 3\n");
    EXPECT_EQ(r.errors, 0) << r.err.str();
    EXPECT_NE(r.out.str().find("0 s error qz.subtone: "), std::string::npos) << r.out.str();
    EXPECT_NE(r.out.str().find("frobnicate"), std::string::npos) << r.out.str();
}

TEST(ScriptOutput, OutletLinesCarryTimeBoxOutletAndShortestValue)
{
    ScriptRun r("box s qz.subtone 0 # exact multiples\n"
                "advance 12.5\n"
                "send s 440 660\n");
    EXPECT_EQ(r.errors, 0) << r.err.str();
    EXPECT_EQ(r.out.str(), "12.5 s 0 220\n");
}

TEST(ScriptOutput, PostsAppearOnlyWhenAsked)
{
    ScriptRun quiet("box s qz.subtone\n");
    ScriptRun loud("box s qz.subtone\n", true);
    EXPECT_EQ(quiet.out.str(), "");
    EXPECT_NE(loud.out.str().find("0 - post "), std::string::npos) << loud.out.str();
}

TEST(ScriptOutput, AttributesAssistanceAndEcho)
{
    ScriptRun r("box s qz.subtone\n"
                "set s approx -3\n"
                "get s approx\n"
                "set s mode 1\n"
                "get s mode\n"
                "assist s inlet 0\n"
                "assist s outlet 5\n"
                "echo hello   world\n");
    EXPECT_EQ(r.errors, 0) << r.err.str();
    EXPECT_EQ(r.out.str(), "0 s @approx 0\n"
                           "0 s @mode 1\n"
                           "0 s inlet 0 Ordered list of frequencies (Hz)\n"
                           "0 s outlet 5 (none)\n"
                           "hello   world\n");
}

TEST(ScriptTime, ClocksFireAtTheirDueTimeAndFreedBoxesStayQuiet)
{
    ScriptRun r("box t qz.pitchtally 4 @window 100\n"
                "send t:1 0.5\n"
                "send t 60\n"
                "advance 40\n"
                "send t 60\n"
                "box u qz.pitchtally 4 @window 10\n"
                "send u 61\n"
                "free u\n"
                "run\n");
    EXPECT_EQ(r.errors, 0) << r.err.str();
    EXPECT_EQ(r.out.str(), "100 t 2 1\n"
                           "100 t 1 0.5\n"
                           "100 t 0 60\n"
                           "140 t 2 1\n"
                           "140 t 1 0.5\n"
                           "140 t 0 60\n");
}

// A qz.pitchtally whose pitch outlet feeds its own left inlet re-arms a
// clock with every report, for ever. `run` stops at its horizon or its
// firing limit, says so on one stderr line, and the script goes on.
// Expected values worked out by hand: the agent made at time T reports at
// T + window, and its report makes the next agent.
TEST(ScriptTime, RunStopsAnEndlessLoopAtItsHorizonOrFiringLimit)
{
    const std::string loop = "box t qz.pitchtally 4 @window 1000000\n"
                             "connect t 0 t 0\n"
                             "send t 60\n";
    // Default horizon: one hour (3,600,000 ms) after the current time 0.
    ScriptRun r(loop + "run\n"
                       "get t window\n");
    EXPECT_EQ(r.errors, 0);
    // (Times in the shortest text that reads back: 1e+06 is 1000000.)
    EXPECT_EQ(r.out.str(), "1e+06 t 2 1\n1e+06 t 1 0\n1e+06 t 0 60\n"
                           "2e+06 t 2 1\n2e+06 t 1 0\n2e+06 t 0 60\n"
                           "3e+06 t 2 1\n3e+06 t 1 0\n3e+06 t 0 60\n"
                           "3600000 t @window 1000000\n");
    EXPECT_EQ(r.err.str(), "t.qzs:4: run stopped at the horizon (3600000 ms): "
                           "1 clock still armed\n");

    // A horizon that is already past, and one that ends the loop in time.
    ScriptRun back(loop + "at 5\nrun 4\nsend t stop\nrun 10\nget t window\n");
    EXPECT_EQ(back.errors, 1);
    EXPECT_EQ(back.err.str(), "t.qzs:5: time cannot go back (now 5)\n");
    EXPECT_EQ(back.out.str(), "5 t @window 1000000\n"); // nothing armed: the time stays

    // One report a millisecond: the firing limit (100,000) ends the run at
    // the 100,000th report's time.
    ScriptRun fast("box t qz.pitchtally 4 @window 1\n"
                   "connect t 0 t 0\n"
                   "send t 60\n"
                   "run\n"
                   "echo after\n");
    EXPECT_EQ(fast.errors, 0);
    EXPECT_EQ(fast.err.str(), "t.qzs:4: run stopped after 100000 firings (1e+05 ms): "
                              "1 clock still armed\n");
    const std::string out = fast.out.str();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 * 100000 + 1);
    EXPECT_NE(out.find("\n1e+05 t 0 60\nafter\n"), std::string::npos);

    // advance and at share the firing limit; the time stays at the last
    // clock fired, so a later `at` can still reach the same loop.
    ScriptRun far("box t qz.pitchtally 4 @window 1\n"
                  "connect t 0 t 0\n"
                  "send t 60\n"
                  "advance 1e9\n"
                  "get t window\n"
                  "at 100001.5\n"
                  "send t stop\n"
                  "at 1e12\n"
                  "get t window\n");
    EXPECT_EQ(far.errors, 0);
    EXPECT_EQ(far.err.str(), "t.qzs:4: advance stopped after 100000 firings (1e+05 ms): "
                             "1 clock still armed\n");
    const std::string o = far.out.str();
    EXPECT_NE(o.find("\n1e+05 t @window 1\n100001 t 2 1\n"), std::string::npos);
    const std::string tail = "\n100001 t 0 60\n1e+12 t @window 1\n"; // stopped, then quiet
    EXPECT_EQ(o.substr(o.size() - tail.size()), tail);
}

} // namespace

// The `qz run` script runner: line handling, errors that name their line,
// and the output format, driven against the real plug-ins.
#include "script.hpp"

#include <gtest/gtest.h>

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

} // namespace

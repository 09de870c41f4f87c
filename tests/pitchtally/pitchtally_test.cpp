// qz.pitchtally through the embedded host: registration, creation arguments,
// the agents' counting and reports in virtual time, stop, the full pool,
// attribute changes mid-stream and re-entrant receivers.
#include "bits.hpp"
#include "console.hpp"
#include "externals.hpp"
#include "pitchtally.h"
#include "qzhost.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using qzhost::BoxId;
using qzhost::Host;

// One report as it left the object: probability, average amplitude, pitch.
struct Report {
    double time;
    double pitch;
    double avgamp;
    double proba;
};

class PitchTally : public ::testing::Test {
  protected:
    void SetUp() override { host.add_search_path(test_externals()); }

    BoxId make(const std::string &text)
    {
        const BoxId b = host.create(text);
        EXPECT_GE(b, 0) << text;
        return b;
    }
    t_pitchtally *obj(BoxId b) { return reinterpret_cast<t_pitchtally *>(host.object(b)); }

    void pitch(BoxId b, double p) { host.send_float(b, 0, p); }
    void amp(BoxId b, double a) { host.send_float(b, 1, a); }

    // Groups the recorded sends into reports, checking that each one left
    // as probability (outlet 2), average amplitude (1), pitch (0).
    std::vector<Report> reports(BoxId b)
    {
        std::vector<Report> out;
        std::vector<qzhost::OutletEvent> mine;
        for (const auto &e : sends)
            if (e.box == b)
                mine.push_back(e);
        EXPECT_EQ(mine.size() % 3, 0u);
        for (size_t i = 0; i + 2 < mine.size(); i += 3) {
            EXPECT_EQ(mine[i].outlet, 2);
            EXPECT_EQ(mine[i + 1].outlet, 1);
            EXPECT_EQ(mine[i + 2].outlet, 0);
            out.push_back({mine[i + 2].time, mine[i + 2].value, mine[i + 1].value, mine[i].value});
        }
        return out;
    }

    std::vector<std::string> errors() const { return qzt::console_errors(host); }

    Host host;
    // Every value that left an outlet, in send order.
    const std::vector<qzhost::OutletEvent> &sends = host.outlet_log();
};

// ---- Registration ---------------------------------------------------------

TEST_F(PitchTally, RegistersMessagesAttributesAndPortsInOrder)
{
    const BoxId b = make("qz.pitchtally 4");
    EXPECT_EQ(host.method_names("qz.pitchtally"),
              (std::vector<std::string>{"assist", "inletinfo", "int", "float", "ft1", "stop"}));
    EXPECT_EQ(host.attr_names("qz.pitchtally"), (std::vector<std::string>{"window", "minproba"}));
    EXPECT_EQ(host.inlet_count(b), 2);
    EXPECT_EQ(host.outlet_count(b), 3);

    std::vector<t_atom> v;
    ASSERT_TRUE(host.attr_attr("qz.pitchtally", "window", "label", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_STREQ(atom_getsym(&v[0])->s_name, "Window (ms)");
    ASSERT_TRUE(host.attr_attr("qz.pitchtally", "minproba", "label", v));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_STREQ(atom_getsym(&v[0])->s_name, "Probability Threshold");
    for (const char *a : {"window", "minproba"}) {
        ASSERT_TRUE(host.attr_attr("qz.pitchtally", a, "save", v)) << a;
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(atom_getlong(&v[0]), 1);
    }
    ASSERT_TRUE(host.attr_attr("qz.pitchtally", "window", "min", v));
    EXPECT_TRUE(v.empty()); // registered without a value
}

TEST_F(PitchTally, BannerAndCreditArePostedOncePerLoad)
{
    make("qz.pitchtally 4");
    make("qz.pitchtally 4");
    EXPECT_EQ(host.mains_called(), 1);
    int posts = 0;
    for (const auto &l : host.console_log())
        if (!l.error && l.box == -1)
            ++posts;
    EXPECT_EQ(posts, 2);
}

TEST_F(PitchTally, AssistanceTexts)
{
    const BoxId b = make("qz.pitchtally 4");
    EXPECT_EQ(host.assist(b, ASSIST_INLET, 0), "pitch");
    EXPECT_EQ(host.assist(b, ASSIST_INLET, 1), "amplitude");
    EXPECT_EQ(host.assist(b, ASSIST_OUTLET, 0), "coocked pitch");
    EXPECT_EQ(host.assist(b, ASSIST_OUTLET, 1), "average amplitude");
    EXPECT_EQ(host.assist(b, ASSIST_OUTLET, 2), "probability");
    bool written = true;
    host.assist(b, ASSIST_INLET, 2, &written);
    EXPECT_FALSE(written);
    written = true;
    host.assist(b, ASSIST_OUTLET, 3, &written);
    EXPECT_FALSE(written);
    written = true;
    host.assist(b, 3, 0, &written);
    EXPECT_FALSE(written);
}

// ---- Creation arguments and the open choices ----------------------------------

TEST_F(PitchTally, CreationArgumentForms)
{
    struct Case {
        const char *text;
        int32_t agents;
        t_atom_long window;
        double minproba;
        std::vector<std::string> errors;
    };
    const std::vector<Case> cases = {
        {"qz.pitchtally", 100, PITCHTALLY_DEFAULT_WINDOW, 0.0, {"Number of stat agents needed"}},
        {"qz.pitchtally 16", 16, PITCHTALLY_DEFAULT_WINDOW, 0.0, {}},
        {"qz.pitchtally 16.5",
         100,
         PITCHTALLY_DEFAULT_WINDOW,
         0.0,
         {"Number of stat agents needed as first argument"}},
        {"qz.pitchtally @window 250",
         100,
         250,
         0.0,
         {"Number of stat agents needed as first argument"}},
        {"qz.pitchtally 8 @window 250 @minproba 0.5", 8, 250, 0.5, {}},
        {"qz.pitchtally 8 @minproba 1.5", 8, PITCHTALLY_DEFAULT_WINDOW, 1.0, {}},
        {"qz.pitchtally 8 @minproba -0.5", 8, PITCHTALLY_DEFAULT_WINDOW, 0.0, {}},
        // Windows below the lower bound are raised to it.
        {"qz.pitchtally 8 @window 0", 8, PITCHTALLY_MIN_WINDOW, 0.0, {}},
        {"qz.pitchtally 8 @window -40", 8, PITCHTALLY_MIN_WINDOW, 0.0, {}},
#if QZ_HOST_32BIT
        // No 32-bit integer: a float, which is no count.
        {"qz.pitchtally 4294967301",
         100,
         PITCHTALLY_DEFAULT_WINDOW,
         0.0,
         {"Number of stat agents needed as first argument"}},
#else
        // The count is read as a 32-bit signed value: 2^32 + 5 is 5.
        {"qz.pitchtally 4294967301", 5, PITCHTALLY_DEFAULT_WINDOW, 0.0, {}},
#endif
    };
    for (const Case &c : cases) {
        host.clear_logs();
        const BoxId b = make(c.text);
        ASSERT_GE(b, 0);
        const t_pitchtally *x = obj(b);
        EXPECT_EQ(x->agentcount, c.agents) << c.text;
        EXPECT_NE(x->agents, nullptr) << c.text;
        EXPECT_EQ(x->window, c.window) << c.text;
        EXPECT_BITS(c.minproba, x->minproba);
        EXPECT_EQ(x->highest, 0);
        EXPECT_BITS(0.0, x->cur_amp);
        EXPECT_EQ(errors(), c.errors) << c.text;
        for (const auto &l : host.console_log()) {
            if (l.error) {
                EXPECT_EQ(l.box, b);
            }
        }
        host.free_box(b);
    }
}

TEST_F(PitchTally, UnusableCountFallsBackTo100AndWorks)
{
    for (const char *text : {"qz.pitchtally 0", "qz.pitchtally -3"}) {
        host.clear_logs();
        host.clear_logs();
        const BoxId b = make(text);
        ASSERT_EQ(errors().size(), 1u) << text;
        EXPECT_NE(errors()[0].find("using 100"), std::string::npos) << errors()[0];
        EXPECT_EQ(obj(b)->agentcount, 100);
        pitch(b, 60);
        host.run_until_idle();
        EXPECT_EQ(reports(b).size(), 1u);
        host.free_box(b);
    }
}

TEST_F(PitchTally, FailedPoolAllocationFallsBackTo100)
{
    ASSERT_TRUE(host.load("qz.pitchtally"));
    host.clear_logs();
    host.inject_fault(Host::Fault::SysmemNewptr);
    const BoxId b = make("qz.pitchtally 16");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_NE(errors()[0].find("cannot allocate 16"), std::string::npos) << errors()[0];
    EXPECT_EQ(obj(b)->agentcount, 100);
    for (int i = 0; i < 50; ++i)
        pitch(b, 60);
    const auto errs = errors();
    EXPECT_TRUE(std::find(errs.begin(), errs.end(), "too many events") == errs.end());
    host.run_until_idle();
    EXPECT_EQ(reports(b).size(), 50u);

    // The fallback block cannot be had either: the object exists, ignores
    // pitches and is freed cleanly.
    host.clear_logs();
    // (A count of 0 asks for no block of its own: the fallback is the first.)
    host.inject_fault(Host::Fault::SysmemNewptr, 0);
    const BoxId c = make("qz.pitchtally 0");
    ASSERT_GE(c, 0);
    EXPECT_EQ(obj(c)->agentcount, 0);
    EXPECT_EQ(errors().size(), 2u);
    pitch(c, 60);
    host.send(c, 0, "stop", {});
    host.run_until_idle();
    EXPECT_TRUE(reports(c).empty());
    host.free_box(c);
}

TEST_F(PitchTally, WindowSettingsBelowTheBoundAreRaised)
{
    const BoxId b = make("qz.pitchtally 4 @window 250");
    std::vector<t_atom> v(1);
    atom_setlong(&v[0], -7);
    ASSERT_TRUE(host.attr_set(b, "window", v));
    EXPECT_EQ(obj(b)->window, PITCHTALLY_MIN_WINDOW);
    atom_setlong(&v[0], 40);
    ASSERT_TRUE(host.attr_set(b, "window", v));
    std::vector<t_atom> got;
    ASSERT_TRUE(host.attr_get(b, "window", got));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(atom_getlong(&got[0]), 40);
    // Beyond what a 32-bit count of ms holds: capped, never wrapped negative.
    atom_setlong(&v[0], std::numeric_limits<t_atom_long>::max());
    ASSERT_TRUE(host.attr_set(b, "window", v));
    EXPECT_EQ(obj(b)->window, INT32_MAX);
}

// ---- Counting and reports -----------------------------------------------------

TEST_F(PitchTally, CountsHitsAndEventsAndReportsExactQuotients)
{
    // CHECKED against the worked example: 60, 60, 61 within one window.
    const BoxId b = make("qz.pitchtally 8 @window 100 @minproba 0.6");
    const double a1 = 0.1, a2 = 0.7, a3 = 0.3;
    amp(b, a1);
    pitch(b, 60);
    EXPECT_EQ(obj(b)->highest, 0); // first spawn: slot 0, no live agent updated
    EXPECT_BITS(1.0, obj(b)->agents[0].hits);
    EXPECT_BITS(1.0, obj(b)->agents[0].events);
    host.advance_to(10);
    amp(b, a2);
    pitch(b, 60);
    host.advance_to(20);
    amp(b, a3);
    pitch(b, 61);
    EXPECT_EQ(obj(b)->highest, 2);
    host.run_until_idle();

    const auto r = reports(b);
    ASSERT_EQ(r.size(), 2u); // slot 1 (1 of 2 = 0.5) is below 0.6
    EXPECT_BITS(100.0, r[0].time);
    EXPECT_BITS(60.0, r[0].pitch);
    EXPECT_BITS((a1 + a2) / 2.0, r[0].avgamp);
    EXPECT_BITS(2.0 / 3.0, r[0].proba);
    EXPECT_BITS(120.0, r[1].time);
    EXPECT_BITS(61.0, r[1].pitch);
    EXPECT_BITS(a3, r[1].avgamp);
    EXPECT_BITS(1.0, r[1].proba);
    EXPECT_BITS(0.5, obj(b)->agents[1].proba); // computed though not sent
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(obj(b)->agents[i].active, 0);
    EXPECT_EQ(obj(b)->highest, 2); // ends of windows do not lower it
}

TEST_F(PitchTally, MatchesPitchesExactlyAndTakesIntegersAs32BitPitches)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    amp(b, 1.0);
    pitch(b, 60.0);
    amp(b, 0.5);
    pitch(b, 60.000001);     // another pitch: events only
    host.send_int(b, 0, 60); // 60 is 60.0: a hit
    host.send_int(b, 0, static_cast<t_atom_long>((int64_t{1} << 32) + 60)); // as 32 bits: 60
    amp(b, 0.25); // right inlet alone: nothing happens
    EXPECT_BITS(0.25, obj(b)->cur_amp);
    EXPECT_EQ(obj(b)->highest, 3);
    host.run_until_idle();
    const auto r = reports(b);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_BITS(60.0, r[0].pitch);
    EXPECT_BITS(3.0 / 4.0, r[0].proba);
    EXPECT_BITS((1.0 + 0.5 + 0.5) / 3.0, r[0].avgamp);
    EXPECT_BITS(60.000001, r[1].pitch);
    EXPECT_BITS(1.0 / 3.0, r[1].proba);
    EXPECT_BITS(0.5, r[1].avgamp);
    EXPECT_BITS(60.0, r[2].pitch);
    EXPECT_BITS(2.0 / 2.0, r[2].proba);
    EXPECT_BITS(60.0, r[3].pitch);
}

TEST_F(PitchTally, RightInletAloneSendsNothing)
{
    const BoxId b = make("qz.pitchtally 8");
    amp(b, 0.9);
    host.run_until_idle();
    EXPECT_TRUE(sends.empty());
    EXPECT_EQ(host.pending_clocks(), 0u);
    EXPECT_EQ(obj(b)->agents[0].active, 0);
}

TEST_F(PitchTally, ThresholdIsInclusiveAndZeroPassesEverything)
{
    // 60, 61 -> slot 0 ends with 1 of 2 = 0.5 exactly.
    const BoxId b = make("qz.pitchtally 8 @window 50 @minproba 0.5");
    pitch(b, 60);
    pitch(b, 61);
    host.run_until_idle();
    ASSERT_EQ(reports(b).size(), 2u);
    EXPECT_BITS(0.5, reports(b)[0].proba);

    host.clear_logs();
    const BoxId c = make("qz.pitchtally 8 @window 50");
    for (double p : {60.0, 61.0, 62.0, 63.0})
        pitch(c, p);
    host.run_until_idle();
    ASSERT_EQ(reports(c).size(), 4u);
    EXPECT_BITS(0.25, reports(c)[0].proba);

    // Just above (in the precision of the host's atoms): not sent.
    host.clear_logs();
    std::vector<t_atom> v(1);
    atom_setfloat(&v[0], std::nextafter(static_cast<t_atom_float>(0.5), t_atom_float{1}));
    ASSERT_TRUE(host.attr_set(b, "minproba", v));
    pitch(b, 60);
    pitch(b, 61);
    host.run_until_idle();
    ASSERT_EQ(reports(b).size(), 1u);
    EXPECT_BITS(61.0, reports(b)[0].pitch);
}

TEST_F(PitchTally, AttributeChangesMidStream)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    pitch(b, 60); // ends at 100
    host.advance_to(10);
    std::vector<t_atom> v(1);
    atom_setlong(&v[0], 30);
    ASSERT_TRUE(host.attr_set(b, "window", v));
    pitch(b, 61); // 1 of 1, ends at 40
    host.advance_to(50);
    ASSERT_EQ(reports(b).size(), 1u);
    EXPECT_BITS(40.0, reports(b)[0].time);
    EXPECT_BITS(61.0, reports(b)[0].pitch);

    // minproba applies to the running agent of 60 (1 of 2 = 0.5).
    atom_setfloat(&v[0], 0.75);
    ASSERT_TRUE(host.attr_set(b, "minproba", v));
    host.advance_to(200);
    EXPECT_EQ(reports(b).size(), 1u);
    EXPECT_BITS(0.5, obj(b)->agents[0].proba);
    EXPECT_EQ(obj(b)->agents[0].active, 0);
}

// ---- Full pool, stop, slot reuse -------------------------------------------------

TEST_F(PitchTally, FullPoolRestartsSlotZero)
{
    const BoxId b = make("qz.pitchtally 2 @window 100");
    pitch(b, 60); // slot 0, would end at 100
    host.advance_to(10);
    pitch(b, 61); // slot 1, ends at 110
    host.advance_to(20);
    host.clear_logs();
    amp(b, 0.4);
    pitch(b, 62); // full: slot 0 restarted, ends at 120
    EXPECT_EQ(errors(), (std::vector<std::string>{"too many events"}));
    EXPECT_EQ(host.console_log()[0].box, b);
    EXPECT_BITS(62.0, obj(b)->agents[0].pitch);
    EXPECT_BITS(1.0, obj(b)->agents[0].hits);
    EXPECT_BITS(1.0, obj(b)->agents[0].events);
    EXPECT_BITS(0.4, obj(b)->agents[0].ampsum);
    EXPECT_EQ(obj(b)->highest, 1);
    host.run_until_idle();
    const auto r = reports(b);
    ASSERT_EQ(r.size(), 2u); // the agent of 60 never reports
    EXPECT_BITS(110.0, r[0].time);
    EXPECT_BITS(61.0, r[0].pitch);
    EXPECT_BITS(0.5, r[0].proba);
    EXPECT_BITS(120.0, r[1].time);
    EXPECT_BITS(62.0, r[1].pitch);
    EXPECT_BITS(1.0, r[1].proba);
}

TEST_F(PitchTally, StopEndsAgentsSilentlyAndResetsHighest)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    pitch(b, 60);
    host.send(b, 0, "stop", {}); // the single agent in slot 0 (highest 0)
    EXPECT_EQ(host.pending_clocks(), 0u);
    host.advance_to(500);
    EXPECT_TRUE(sends.empty());

    pitch(b, 60);
    pitch(b, 61);
    pitch(b, 62);
    EXPECT_EQ(obj(b)->highest, 2);
    host.send(b, 0, "stop", {});
    EXPECT_EQ(obj(b)->highest, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(obj(b)->agents[i].active, 0);
    pitch(b, 63); // next spawn takes slot 0 and counts nothing stale
    EXPECT_BITS(63.0, obj(b)->agents[0].pitch);
    host.run_until_idle();
    const auto r = reports(b);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_BITS(600.0, r[0].time);
    EXPECT_BITS(1.0, r[0].proba);
}

TEST_F(PitchTally, FreedSlotsBelowHighestAreReusedLowestFirst)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    pitch(b, 60); // slot 0, ends 100
    host.advance_to(10);
    pitch(b, 61); // slot 1, ends 110
    host.advance_to(20);
    pitch(b, 62);         // slot 2, ends 120
    host.advance_to(105); // slot 0 has reported
    ASSERT_EQ(reports(b).size(), 1u);
    pitch(b, 62); // lands in slot 0, below highest; slot 2 counts a hit
    EXPECT_EQ(obj(b)->highest, 2);
    EXPECT_BITS(62.0, obj(b)->agents[0].pitch);
    EXPECT_BITS(2.0, obj(b)->agents[2].hits);
    host.advance_to(112); // slot 1 reports
    pitch(b, 64);         // slot 1 again; slots 0 and 2 count it
    EXPECT_BITS(64.0, obj(b)->agents[1].pitch);
    EXPECT_BITS(2.0, obj(b)->agents[0].events);
    EXPECT_BITS(3.0, obj(b)->agents[2].events);
    host.run_until_idle();
    const auto r = reports(b);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_BITS(120.0, r[2].time);
    EXPECT_BITS(62.0, r[2].pitch);
    EXPECT_BITS(2.0 / 3.0, r[2].proba);
    EXPECT_BITS(205.0, r[3].time);
    EXPECT_BITS(0.5, r[3].proba);
    EXPECT_BITS(212.0, r[4].time);
}

// ---- Re-entrant receivers -------------------------------------------------------

TEST_F(PitchTally, TakeOverOfTheReportingSlotEndsItsReport)
{
    const BoxId b = make("qz.pitchtally 2 @window 100");
    amp(b, 0.2);
    pitch(b, 60);
    host.advance_to(50);
    pitch(b, 61); // slot 1: keeps the pool busy so a spawn must find a free slot
    host.advance_to(99);
    bool sent_back = false;
    std::vector<int32_t> active_seen;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box != b || sent_back || e.outlet != 2)
            return;
        sent_back = true;
        // While the probability travels, slot 0 is still live.
        active_seen.push_back(obj(b)->agents[0].active);
        amp(b, 0.6);
        pitch(b, 60); // counted by slot 0, then the full pool restarts slot 0
    });
    host.clear_logs();
    host.advance_to(100);
    ASSERT_TRUE(sent_back);
    ASSERT_EQ(active_seen.size(), 1u);
    EXPECT_NE(active_seen[0], 0);
    // Both slots were live: the event found the pool full.
    EXPECT_EQ(errors(), (std::vector<std::string>{"too many events"}));

    // Outcome with slot 0 restarted by the take-over: the report stops after
    // the probability, and the new agent runs its full window.
    const auto &mine = sends;
    ASSERT_GE(mine.size(), 1u);
    EXPECT_EQ(mine[0].outlet, 2);
    EXPECT_BITS(0.5, mine[0].value);
    size_t at100 = 0;
    for (const auto &e : mine)
        if (e.time == 100.0)
            ++at100;
    EXPECT_EQ(at100, 1u);
    EXPECT_NE(obj(b)->agents[0].active, 0);
    EXPECT_BITS(60.0, obj(b)->agents[0].pitch);
    EXPECT_EQ(host.pending_clocks(), 2u);
}

TEST_F(PitchTally, HitSentBackDuringTheFirstSendEntersTheAverage)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    amp(b, 0.2);
    pitch(b, 60);
    host.advance_to(99);
    bool sent_back = false;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box == b && e.outlet == 2 && !sent_back) {
            sent_back = true;
            amp(b, 0.6);
            pitch(b, 60);
        }
    });
    host.advance_to(100);
    ASSERT_TRUE(sent_back);
    // Sends at 100: proba of slot 0 (1 of 1), then its average amplitude with
    // the hit counted during the first send, then its pitch.
    std::vector<qzhost::OutletEvent> at100;
    for (const auto &e : sends)
        if (e.time == 100.0)
            at100.push_back(e);
    ASSERT_EQ(at100.size(), 3u);
    EXPECT_EQ(at100[0].outlet, 2);
    EXPECT_BITS(1.0, at100[0].value); // sent before the event arrived
    EXPECT_EQ(at100[1].outlet, 1);
    EXPECT_BITS((0.2 + 0.6) / 2.0, at100[1].value);
    EXPECT_EQ(at100[2].outlet, 0);
    EXPECT_BITS(60.0, at100[2].value);
    // The slot is free after the sends; the new agent took slot 1.
    EXPECT_EQ(obj(b)->agents[0].active, 0);
    EXPECT_BITS(2.0, obj(b)->agents[0].hits);
    EXPECT_NE(obj(b)->agents[1].active, 0);
    EXPECT_EQ(obj(b)->highest, 1);
    host.run_until_idle();
    const auto r = reports(b);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_BITS(200.0, r[1].time);
    EXPECT_BITS(0.6, r[1].avgamp);
}

// A receiver restarts the reporting slot during each of the three sends, in
// both ways a slot can be restarted while it reports: "stop" then a pitch,
// or a pitch into a full pool (take-over of slot 0). The report ends with
// the value whose delivery restarted it; the new agent keeps its slot and
// its armed clock and reports its own values a full window later. Expected
// values by hand: slot 0 holds pitch 60 with amplitude 0.25; it counts 1 hit
// of 1 event, or of 2 when slot 1 (pitch 61) was started beside it to fill
// the pool. The new agent of 70 counts 1 of 1 with amplitude 0.75.
TEST_F(PitchTally, RestartDuringEachSendEndsTheReportThere)
{
    struct Case {
        int outlet;     // the send during which the receiver acts
        bool take_over; // pool full (2 agents) instead of "stop" then a pitch
        size_t sent;    // values of the first report that left
    };
    const Case cases[] = {{2, false, 1}, {1, false, 2}, {0, false, 3},
                          {2, true, 1},  {1, true, 2},  {0, true, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "outlet " << c.outlet << (c.take_over ? " take-over" : " stop"));
        Host h;
        h.add_search_path(test_externals());
        const BoxId b =
            h.create(c.take_over ? "qz.pitchtally 2 @window 100" : "qz.pitchtally 8 @window 100");
        ASSERT_GE(b, 0);
        h.send_float(b, 1, 0.25);
        h.send_float(b, 0, 60.0); // slot 0, due at 100
        if (c.take_over) {
            h.advance_to(50.0);
            h.send_float(b, 0, 61.0); // slot 1, due at 150: the pool is full
        }
        h.advance_to(99.0);
        bool acted = false;
        h.on_outlet([&](const qzhost::OutletEvent &e) {
            if (e.box != b || e.outlet != c.outlet || e.time != 100.0 || acted)
                return;
            acted = true;
            if (!c.take_over)
                h.send(b, 0, "stop", {});
            h.send_float(b, 1, 0.75);
            h.send_float(b, 0, 70.0);
        });
        h.advance_to(100.0);
        ASSERT_TRUE(acted);
        std::vector<qzhost::OutletEvent> first;
        for (const auto &e : h.outlet_log())
            if (e.time == 100.0)
                first.push_back(e);
        ASSERT_EQ(first.size(), c.sent);
        const int outlets[] = {2, 1, 0};
        const double values[] = {c.take_over ? 0.5 : 1.0, 0.25, 60.0};
        for (size_t i = 0; i < c.sent; ++i) {
            EXPECT_EQ(first[i].outlet, outlets[i]);
            EXPECT_BITS(values[i], first[i].value);
        }
        const auto *x = reinterpret_cast<const t_pitchtally *>(h.object(b));
        EXPECT_EQ(x->agents[0].active, 1); // the new agent runs
        EXPECT_BITS(70.0, x->agents[0].pitch);
        EXPECT_EQ(qzt::console_errors(h), c.take_over ? std::vector<std::string>{"too many events"}
                                                      : std::vector<std::string>{});
        // Its clock (and slot 1's, when the pool was full) is armed; nothing else.
        EXPECT_EQ(h.pending_clocks(), c.take_over ? 2u : 1u);
        h.advance_to(200.0);
        std::vector<qzhost::OutletEvent> at200;
        for (const auto &e : h.outlet_log())
            if (e.time == 200.0)
                at200.push_back(e);
        ASSERT_EQ(at200.size(), 3u);
        EXPECT_BITS(1.0, at200[0].value);  // 1 of 1
        EXPECT_BITS(0.75, at200[1].value); // its own amplitude
        EXPECT_BITS(70.0, at200[2].value);
    }
}

TEST_F(PitchTally, StopAndSpawnDuringAReportLeaveTheNewAgentRunning)
{
    const BoxId b = make("qz.pitchtally 8 @window 100");
    pitch(b, 60);
    bool done = false;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box == b && e.outlet == 2 && !done) {
            done = true;
            host.send(b, 0, "stop", {});
            pitch(b, 70); // takes slot 0, the slot being reported
        }
    });
    host.advance_to(100);
    ASSERT_TRUE(done);
    // The report ended with its probability; slot 0 holds the agent of 70,
    // still live with its clock armed, and it reports at 200.
    EXPECT_NE(obj(b)->agents[0].active, 0);
    EXPECT_EQ(host.pending_clocks(), 1u);
    host.run_until_idle();
    // The first report was cut after the probability: 1 send, then 3.
    ASSERT_EQ(sends.size(), 4u);
    EXPECT_EQ(sends[0].outlet, 2);
    EXPECT_BITS(100.0, sends[0].time);
    EXPECT_BITS(200.0, sends[3].time);
    EXPECT_BITS(70.0, sends[3].value);
}

} // namespace

// Lifetimes of boxes: many boxes of both kinds made and freed with agents
// still running, freed in any order and at any moment, never fire a clock
// or send a value afterwards, and leave nothing allocated (the sanitizer
// build's LeakSanitizer and the valgrind run check the last part at exit).
#include "externals.hpp"
#include "pitchtally.h"
#include "qzhost.hpp"
#include "subtone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using qzhost::BoxId;
using qzhost::Host;

class Lifetime : public ::testing::Test {
  protected:
    void SetUp() override
    {
        host.add_search_path(test_externals());
        host.on_outlet([this](const qzhost::OutletEvent &e) {
            if (std::find(freed.begin(), freed.end(), e.box) != freed.end())
                ++sends_from_freed;
        });
    }

    BoxId make(const std::string &text)
    {
        const BoxId b = host.create(text);
        EXPECT_GE(b, 0) << text;
        return b;
    }
    void free_box(BoxId b)
    {
        host.free_box(b);
        freed.push_back(b);
    }
    const t_pitchtally *tally(BoxId b) const
    {
        return reinterpret_cast<const t_pitchtally *>(host.object(b));
    }
    size_t active_slots(BoxId b) const
    {
        const t_pitchtally *x = tally(b);
        size_t n = 0;
        for (int32_t i = 0; i < x->agentcount; ++i)
            n += x->agents[i].active != 0;
        return n;
    }
    size_t errors() const
    {
        return static_cast<size_t>(std::count_if(host.console_log().begin(),
                                                 host.console_log().end(),
                                                 [](const auto &l) { return l.error; }));
    }

    Host host;
    std::vector<BoxId> freed;
    int sends_from_freed = 0;
};

// Freeing a qz.pitchtally box frees every one of its clocks, idle or armed,
// and returns. The plug-in is built with host/maxapi.h, which defines the
// host headers' lower-case macros (clock_free is freeobject there): a pool
// routine of such a name became a freeobject calling itself and spun for
// ever in the host, and now no longer builds. Freeing a box made that way
// is what hung: this test would time out.
TEST_F(Lifetime, FreeingAPitchtallyBoxFreesEachClockOnce)
{
    const size_t before = host.live_clocks();
    const BoxId idle = make("qz.pitchtally 4");
    const BoxId busy = make("qz.pitchtally 3 @window 50");
    ASSERT_EQ(host.live_clocks(), before + 7);
    host.send_float(busy, 0, 60);
    host.send_float(busy, 0, 62);
    ASSERT_EQ(host.pending_clocks(), 2u);
    free_box(idle);
    EXPECT_EQ(host.live_clocks(), before + 3);
    free_box(busy);
    EXPECT_EQ(host.live_clocks(), before);
    EXPECT_EQ(host.pending_clocks(), 0u);
    host.advance_by(100);
    EXPECT_EQ(sends_from_freed, 0);
}

// Many boxes of both kinds, pools full and partly full, lists past the
// 16-bit capacity, all freed in a shuffled order while time moves on between
// the frees: no clock stays armed, nothing is sent by a freed box, and the
// boxes still alive go on reporting.
TEST_F(Lifetime, ManyBoxesFreedInAnyOrderWithAgentsRunning)
{
    std::mt19937 rng(7);
    std::vector<BoxId> boxes;
    for (int i = 0; i < 120; ++i) {
        const int agents = 1 + i % 9;
        const BoxId t =
            make("qz.pitchtally " + std::to_string(agents) + " @window " + std::to_string(50 + i));
        for (int e = 0; e < agents + i % 3; ++e) // some pools overflow: "too many events"
            host.send_float(t, 0, 60.0 + e % 2);
        boxes.push_back(t);

        const BoxId s = make(i % 2 ? "qz.subtone 0.5" : "qz.subtone 1 @mode 1");
        std::vector<t_atom> list(static_cast<size_t>(1 + (i % 4 == 0 ? 33000 + i : i)));
        for (size_t k = 0; k < list.size(); ++k)
            atom_setfloat(&list[k], 440.0 * static_cast<double>(1 + k % 3));
        host.send(s, 0, "list", list);
        boxes.push_back(s);
    }
    ASSERT_GT(host.pending_clocks(), 300u);

    std::shuffle(boxes.begin(), boxes.end(), rng);
    for (size_t i = 0; i < boxes.size(); ++i) {
        free_box(boxes[i]);
        if (i % 10 == 0)
            host.advance_by(7.0);
        // Exactly the running agents of the boxes still alive hold a clock.
        size_t running = 0;
        for (size_t j = i + 1; j < boxes.size(); ++j)
            if (host.class_name(boxes[j]) == "qz.pitchtally")
                running += active_slots(boxes[j]);
        ASSERT_EQ(host.pending_clocks(), running) << "after freeing box " << boxes[i];
    }
    EXPECT_EQ(host.pending_clocks(), 0u);
    host.advance_by(1e6);
    EXPECT_EQ(sends_from_freed, 0);
}

// Freeing a box disarms its clocks without disturbing another box's: the
// survivor's agents, armed before and after the freed box's, report at their
// own due times and in order.
TEST_F(Lifetime, FreedBoxNeverFiresAndOthersKeepTheirTimes)
{
    const BoxId a = make("qz.pitchtally 8 @window 100");
    const BoxId b = make("qz.pitchtally 8 @window 100");
    for (int i = 0; i < 6; ++i) {
        host.send_float(i % 2 ? a : b, 0, 60.0 + i);
        host.advance_by(10.0);
    }
    // b's agents are due at 100, 120, 140; a's at 110, 130, 150.
    ASSERT_EQ(host.pending_clocks(), 6u);
    free_box(a);
    EXPECT_EQ(host.pending_clocks(), 3u);
    host.advance_by(1000.0);
    EXPECT_EQ(sends_from_freed, 0);

    std::vector<double> pitch_times;
    for (const auto &e : host.outlet_log()) {
        ASSERT_EQ(e.box, b);
        if (e.outlet == 0)
            pitch_times.push_back(e.time);
    }
    EXPECT_EQ(pitch_times, (std::vector<double>{100.0, 120.0, 140.0}));
    EXPECT_EQ(host.pending_clocks(), 0u);
}

// A box freed right after "stop", right after a take-over of slot 0, or
// with its own pitch outlet fed back into it: nothing fires afterwards.
TEST_F(Lifetime, FreeAfterStopTakeOverOrFeedback)
{
    const BoxId loop = make("qz.pitchtally 3 @window 5");
    ASSERT_TRUE(host.connect(loop, 0, loop, 0)); // each report starts a new agent
    host.send_float(loop, 0, 60.0);
    host.advance_by(50.0); // ten rounds of the loop
    EXPECT_EQ(active_slots(loop), 1u);

    const BoxId stopped = make("qz.pitchtally 2 @window 10");
    host.send_float(stopped, 0, 60.0);
    host.send(stopped, 0, "stop", {});
    host.send_float(stopped, 0, 61.0);

    const BoxId full = make("qz.pitchtally 1 @window 10");
    host.send_float(full, 0, 60.0);
    host.send_float(full, 0, 61.0); // "too many events": slot 0 restarted, clock re-armed

    EXPECT_EQ(host.pending_clocks(), 3u);
    free_box(stopped);
    free_box(full);
    free_box(loop);
    EXPECT_EQ(host.pending_clocks(), 0u);
    host.advance_by(1e6);
    EXPECT_EQ(sends_from_freed, 0);
}

// A pool whose allocation fails falls back to the default pool; when even
// that fails the box keeps no pool and ignores pitches. Either way freeing
// it releases everything, and an instance the host refuses leaves nothing.
TEST_F(Lifetime, FailedAllocationsLeaveNothingBehind)
{
    host.inject_fault(Host::Fault::SysmemNewptr, 0);
    const BoxId fallback = make("qz.pitchtally 50");
    EXPECT_EQ(tally(fallback)->agentcount, PITCHTALLY_DEFAULT_AGENTS);

    // A count of 0 asks for no block; the default pool that replaces it fails.
    host.inject_fault(Host::Fault::SysmemNewptr, 0);
    const BoxId poolless = host.create("qz.pitchtally 0");
    ASSERT_GE(poolless, 0);
    EXPECT_EQ(tally(poolless)->agents, nullptr);
    host.send_float(poolless, 0, 60.0);
    host.send(poolless, 0, "stop", {});

    host.inject_fault(Host::Fault::ObjectAlloc, 0);
    EXPECT_LT(host.create("qz.pitchtally 50"), 0);
    host.inject_fault(Host::Fault::ObjectAlloc, 0);
    EXPECT_LT(host.create("qz.subtone"), 0);

    host.send_float(fallback, 0, 60.0);
    free_box(fallback);
    free_box(poolless);
    EXPECT_EQ(host.pending_clocks(), 0u);
}

// A host torn down with boxes alive and agents armed frees them all: each
// pass makes a fresh host, so the leak checkers see every pool, clock and
// buffer of a discarded host.
TEST(LifetimeHost, HostTornDownWithAgentsRunning)
{
    for (int pass = 0; pass < 20; ++pass) {
        Host h;
        h.add_search_path(test_externals());
        const BoxId t = h.create("qz.pitchtally 4 @window 100");
        const BoxId s = h.create("qz.subtone");
        ASSERT_GE(t, 0);
        ASSERT_GE(s, 0);
        h.send_float(t, 0, 60.0);
        h.send_float(t, 0, 60.0);
        h.send_text(s, 0, "440 550 660");
        h.advance_by(pass % 3 == 0 ? 150.0 : 10.0);
        EXPECT_EQ(h.pending_clocks(), pass % 3 == 0 ? 0u : 2u);
    }
}

// The destructor of a box can run while one of its agents is still sending
// its report: a receiver deletes the box on the first value, as a patch
// script can. The agent must not touch the freed pool afterwards, and the
// remaining values of that report are not sent. (The host runs the
// destructor of a box freed while plug-in code runs once the outermost host
// call returns.)
TEST_F(Lifetime, BoxFreedByAReceiverDuringItsReport)
{
    const BoxId t = make("qz.pitchtally 4 @window 10");
    bool done = false;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box == t && !done) {
            done = true;
            free_box(t);
        }
    });
    host.send_float(t, 0, 60.0);
    host.advance_by(20.0);
    EXPECT_TRUE(done);
    EXPECT_EQ(sends_from_freed, 0); // nothing after the free
    size_t sent = 0;
    for (const auto &e : host.outlet_log())
        sent += e.box == t ? 1 : 0;
    EXPECT_EQ(sent, 1u); // the probability only
    EXPECT_FALSE(host.alive(t));
    EXPECT_EQ(host.pending_clocks(), 0u);
}

} // namespace

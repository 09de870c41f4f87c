// Clocks on virtual time: order by due time with ties in arming order,
// re-arming, cancelling, clocks armed while another fires, freeing.
#include "host_fixture.hpp"

#include <algorithm>
#include <cmath>

using Strings = std::vector<std::string>;

namespace {

class Clocks : public qzt::HostTest {
  protected:
    // "<box>:<text>@<time>" for every tick line, in order.
    Strings ticks() const
    {
        Strings out;
        for (const auto &l : host.console_log())
            if (l.text.rfind("tick", 0) == 0)
                out.push_back(std::to_string(l.box) + ":" + l.text + "@" +
                              qzhost::format_number(l.time));
        return out;
    }
    void arm(qzhost::BoxId b, int clock, long ms)
    {
        ASSERT_TRUE(
            host.send_text(b, 0, "arm " + std::to_string(clock) + " " + std::to_string(ms)));
    }
};

TEST_F(Clocks, DueOrderWithTiesInArmingOrder)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe");
    arm(b, 1, 10);
    arm(a, 0, 10);
    arm(a, 1, 5);
    arm(b, 0, 10);
    EXPECT_EQ(host.pending_clocks(), 4u);
    host.advance_to(20);
    EXPECT_EQ(ticks(), (Strings{"0:tick1@5", "1:tick1@10", "0:tick0@10", "1:tick0@10"}));
    EXPECT_EQ(host.now(), 20);
    EXPECT_EQ(host.pending_clocks(), 0u);
}

TEST_F(Clocks, RearmingReplacesAndGoesBehindTies)
{
    auto a = make("qzt.probe");
    arm(a, 0, 10);
    arm(a, 1, 10);
    arm(a, 0, 10); // same time, armed again: now after clock 1
    EXPECT_EQ(host.pending_clocks(), 2u);
    host.advance_to(10);
    EXPECT_EQ(ticks(), (Strings{"0:tick1@10", "0:tick0@10"}));
    host.clear_logs();
    arm(a, 0, 5);
    arm(a, 0, 30); // replaces the pending time
    host.advance_by(29);
    EXPECT_TRUE(ticks().empty());
    host.advance_by(1);
    EXPECT_EQ(ticks(), (Strings{"0:tick0@40"}));
}

TEST_F(Clocks, UnsetCancelsAndNegativeDelayMeansNow)
{
    auto a = make("qzt.probe");
    arm(a, 0, 10);
    arm(a, 1, 10);
    host.clear_logs();
    ASSERT_TRUE(host.send_text(a, 0, "unset 0"));
    ASSERT_TRUE(host.send_text(a, 0, "unset 0")); // unsetting an idle clock is harmless
    EXPECT_EQ(host.pending_clocks(), 1u);
    arm(a, 0, -50);
    host.advance_to(100);
    EXPECT_EQ(ticks(), (Strings{"0:tick0@0", "0:tick1@10"}));
}

TEST_F(Clocks, ClockArmedWhileFiringRunsInTheSameAdvance)
{
    auto a = make("qzt.probe @chain 5");
    arm(a, 0, 10);
    host.advance_to(15); // tick0 at 10 arms tick1 for 15
    EXPECT_EQ(ticks(), (Strings{"0:tick0@10", "0:tick1@15"}));
    host.clear_logs();
    host.attr_set(a, "chain", {qzt::L(10)});
    arm(a, 0, 0);
    host.advance_to(20); // tick0 at 15 arms tick1 for 25: later than 20
    EXPECT_EQ(ticks(), (Strings{"0:tick0@15"}));
    EXPECT_EQ(host.now(), 20);
    EXPECT_EQ(host.pending_clocks(), 1u);
}

TEST_F(Clocks, TimeNeverGoesBack)
{
    auto a = make("qzt.probe");
    host.advance_to(100);
    host.advance_to(50);
    EXPECT_EQ(host.now(), 100);
    host.advance_to(std::nan(""));
    EXPECT_EQ(host.now(), 100);
    arm(a, 0, 0);
    host.advance_to(99); // due at 100, not before
    EXPECT_TRUE(ticks().empty());
    host.advance_to(100);
    EXPECT_EQ(ticks(), (Strings{"0:tick0@100"}));
}

TEST_F(Clocks, RunUntilIdleAndItsLimit)
{
    auto a = make("qzt.probe @chain 1000");
    arm(a, 0, 7);
    EXPECT_TRUE(host.run_until_idle());
    EXPECT_EQ(ticks(), (Strings{"0:tick0@7", "0:tick1@1007"}));
    EXPECT_EQ(host.now(), 1007);
    arm(a, 0, 1);
    arm(a, 1, 2);
    EXPECT_FALSE(host.run_until_idle(1));
    EXPECT_EQ(host.pending_clocks(), 1u);
}

TEST_F(Clocks, FreedBoxesNeverFire)
{
    // "leak": the destructor leaves its clocks armed; the host disarms them.
    auto a = make("qzt.probe leak");
    auto b = make("qzt.probe");
    arm(a, 0, 10);
    arm(b, 0, 10);
    host.free_box(a);
    host.free_box(b);
    EXPECT_EQ(host.pending_clocks(), 0u);
    host.advance_to(50);
    EXPECT_TRUE(ticks().empty());
}

TEST_F(Clocks, HostDestructorFreesLeftoverClocksWithoutFiring)
{
    int ticks_seen = 0;
    {
        qzhost::Host h;
        h.add_search_path(QZ_HOST_TEST_PLUGINS);
        h.on_console([&](const qzhost::ConsoleLine &l) { ticks_seen += l.text == "tick0"; });
        auto a = h.create("qzt.probe leak");
        ASSERT_GE(a, 0);
        h.send_text(a, 0, "arm 0 10");
    }
    EXPECT_EQ(ticks_seen, 0);
}

TEST_F(Clocks, ManyClocksKeepTheirOrder)
{
    // 300 boxes, two clocks each, armed at colliding times, some disarmed,
    // some re-armed: the firing order is (due, last arming order).
    std::vector<qzhost::BoxId> boxes;
    for (int i = 0; i < 300; ++i)
        boxes.push_back(make("qzt.probe"));
    struct Arm {
        long due;
        int order;
        std::string what;
        bool armed;
    };
    std::vector<Arm> arms; // index: box * 2 + clock
    arms.resize(600);
    int order = 0;
    auto do_arm = [&](int i, int k, long due) {
        arm(boxes[i], k, due);
        arms[i * 2 + k] = {due, order++, std::to_string(boxes[i]) + ":tick" + std::to_string(k),
                           true};
    };
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 300; ++i)
            do_arm(i, k, (i * 37 + k * 11) % 23);
    for (int i = 0; i < 300; i += 5) {
        host.send_text(boxes[i], 0, "unset 0");
        arms[i * 2].armed = false;
    }
    for (int i = 1; i < 300; i += 7)
        do_arm(i, 1, (i * 13) % 23);
    std::vector<Arm> exp;
    for (const auto &a : arms)
        if (a.armed)
            exp.push_back(a);
    std::sort(exp.begin(), exp.end(), [](const Arm &x, const Arm &y) {
        return x.due != y.due ? x.due < y.due : x.order < y.order;
    });
    Strings want;
    for (const auto &a : exp)
        want.push_back(a.what + "@" + std::to_string(a.due));
    host.clear_logs();
    host.advance_to(1000);
    EXPECT_EQ(ticks(), want);
}

} // namespace

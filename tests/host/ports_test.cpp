// Outlets and connections: outlet numbering, connection order, observers,
// re-entrant delivery, feedback loops, boxes freed while a value travels.
#include "host_fixture.hpp"

using Strings = std::vector<std::string>;

namespace {

class Ports : public qzt::HostTest {
  protected:
    std::string ev(const qzhost::OutletEvent &e) const
    {
        return std::to_string(e.box) + "/" + std::to_string(e.outlet) + "=" +
               qzhost::format_number(e.value);
    }
    Strings events() const
    {
        Strings out;
        for (const auto &e : host.outlet_log())
            out.push_back(ev(e));
        return out;
    }
};

TEST_F(Ports, LastMadeOutletIsLeftmost)
{
    auto a = make("qzt.probe");
    EXPECT_EQ(host.outlet_count(a), 3);
    host.send_text(a, 0, "outc 0 1"); // made first: rightmost
    host.send_text(a, 0, "outc 1 2");
    host.send_text(a, 0, "outc 2 3"); // made last: leftmost
    EXPECT_EQ(events(), (Strings{"0/2=1", "0/1=2", "0/0=3"}));
}

TEST_F(Ports, ConnectionsDeliverInConnectionOrder)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe");
    auto c = make("qzt.probe");
    ASSERT_TRUE(host.connect(a, 0, c, 0));
    ASSERT_TRUE(host.connect(a, 0, b, 1));
    ASSERT_TRUE(host.connect(a, 0, b, 0));
    ASSERT_TRUE(host.connect(a, 1, c, 1));
    EXPECT_FALSE(host.connect(a, 3, b, 0));
    EXPECT_FALSE(host.connect(a, 0, b, 2));
    EXPECT_FALSE(host.connect(a, 0, 99, 0));
    host.clear_logs();
    host.send_text(a, 0, "outc 2 0.5");
    host.send_text(a, 0, "outc 1 7");
    Strings got;
    for (const auto &l : host.console_log())
        got.push_back(std::to_string(l.box) + " " + l.text);
    EXPECT_EQ(got, (Strings{"2 float 0.5", "1 ft1 0.5", "1 float 0.5", "2 ft1 7"}));
}

TEST_F(Ports, ObserversSeeAValueBeforeItsReceivers)
{
    Strings seq; // outlives the host whose observers write to it
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    auto a = h.create("qzt.probe");
    auto b = h.create("qzt.probe");
    h.connect(a, 0, b, 0);
    h.on_outlet([&](const qzhost::OutletEvent &e) { seq.push_back("out " + ev(e)); });
    h.on_console([&](const qzhost::ConsoleLine &l) { seq.push_back("console " + l.text); });
    h.send_text(a, 0, "outc 2 4");
    EXPECT_EQ(seq, (Strings{"out 0/0=4", "console float 4"}));
}

TEST_F(Ports, ReceiverSendsBackIntoItsSource)
{
    // Each box sends f - 1 on for f > 0: a value bounces between them.
    auto a = make("qzt.probe @relay 1");
    auto b = make("qzt.probe @relay 1");
    host.connect(a, 0, b, 0);
    host.connect(b, 0, a, 0);
    host.clear_logs();
    host.send_float(a, 0, 3);
    EXPECT_EQ(events(), (Strings{"0/0=2", "1/0=1", "0/0=0"}));
    EXPECT_EQ(texts(), (Strings{"float 3", "float 2", "float 1", "float 0"}));
}

TEST_F(Ports, FeedbackLoopIsCutWithAnError)
{
    size_t sent = 0;
    Strings errs;
    qzhost::Host h;
    h.add_search_path(QZ_HOST_TEST_PLUGINS);
    auto a = h.create("qzt.probe @relay 2");
    auto b = h.create("qzt.probe @relay 2");
    h.connect(a, 0, b, 0);
    h.connect(b, 0, a, 0);
    h.clear_logs();
    h.set_recording(false);
    h.on_outlet([&](const qzhost::OutletEvent &) { ++sent; });
    h.on_console([&](const qzhost::ConsoleLine &l) {
        if (l.error)
            errs.push_back(l.text);
    });
    h.send_float(a, 0, 1);
    EXPECT_EQ(errs, (Strings{"stack overflow"}));
    EXPECT_EQ(sent, 1000u);
    EXPECT_TRUE(h.console_log().empty()); // recording was off
    // The boxes still work afterwards.
    h.attr_set(a, "relay", {qzt::L(0)});
    h.set_recording(true);
    h.send_float(a, 0, 5);
    ASSERT_EQ(h.console_log().size(), 1u);
    EXPECT_EQ(h.console_log()[0].text, "float 5");
}

TEST_F(Ports, BoxesFreedAndMadeWhileAValueTravels)
{
    auto a = make("qzt.probe");
    auto b = make("qzt.probe");
    auto c = make("qzt.probe");
    host.connect(a, 0, b, 0);
    host.connect(a, 0, c, 0);
    // The observer captures only what outlives the fixture's host.
    static qzhost::BoxId made;
    static bool once;
    made = -1;
    once = true;
    host.on_outlet([&](const qzhost::OutletEvent &) {
        if (!once)
            return;
        once = false;
        host.free_box(b); // a receiver still to come
        host.free_box(a); // the sender, inside its own routine
        made = host.create("qzt.probe");
        host.connect(made, 0, c, 0);
    });
    host.clear_logs();
    host.send_text(a, 0, "outc 2 9");
    EXPECT_FALSE(host.alive(a));
    EXPECT_FALSE(host.alive(b));
    EXPECT_EQ(made, 3);
    EXPECT_EQ(texts(c), (Strings{"float 9"}));
    EXPECT_EQ(texts(b), (Strings{"free"}));
    host.send_text(made, 0, "outc 2 1");
    EXPECT_EQ(texts(c), (Strings{"float 9", "float 1"}));
}

} // namespace

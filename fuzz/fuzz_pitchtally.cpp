// Fuzzes qz.pitchtally with random streams of pitches, amplitudes, "stop",
// attribute changes and advances of the virtual clock, sometimes with one of
// its outlets fed back into its own left inlet. After every step the pool
// must keep its invariants:
//   - every active slot lies within 0..highest, and highest < agentcount;
//   - an active agent has hits >= 1 and events >= hits;
//   - exactly the active slots have an armed clock (the host's count of
//     armed clocks equals the count of active slots: a free slot's clock
//     never stays armed, and no running agent is left without one);
// and every report leaves as probability, average amplitude, pitch (cut
// short only by a take-over of its own slot), with a probability in (0, 1]
// that reaches minproba. Without feedback a model of the pool, written from
// its rules, runs beside the object: every slot and every report (time and
// values, bit for bit) must match it. Freeing the box
// disarms everything: nothing is sent afterwards, however far time advances.
#include "fuzz_host.hpp"
#include "pitchtally.h"

#include <algorithm>
#include <cstring>

namespace {

using qzfuzz::fail;
using qzfuzz::host;

struct Sent {
    double time;
    int outlet;
    double value;
    int too_many = 0; // g_too_many when the value was sent
    int slot = -1;    // with a probability: the slot reporting it
};
std::vector<Sent> g_sent; // values the box sent since the last check
qzhost::BoxId g_box = -1;
int g_too_many = 0;                // "too many events" posted since the box was made
int g_route = -1;                  // the outlet fed back into the left inlet, or -1
const t_pitchtally *g_x = nullptr; // the live box's record

bool same(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The pool as its rules describe it: update every live slot up to highest,
// spawn in the first free slot (slot 0 when none is free), fire the due
// agents in (due time, arming order), report when hits / events reaches the
// threshold, stop ends everything silently.
struct Model {
    struct Slot {
        bool active = false;
        double pitch = 0, hits = 0, events = 0, ampsum = 0, due = 0;
        uint64_t seq = 0;
    };
    std::vector<Slot> slots;
    int32_t highest = 0;
    double amp = 0.0;
    uint64_t seq = 0;
    int too_many = 0;
    std::vector<Sent> expected;

    void pitch(double p, double now, int32_t window)
    {
        if (slots.empty())
            return;
        for (int32_t i = 0; i <= highest; ++i) {
            Slot &s = slots[static_cast<size_t>(i)];
            if (!s.active)
                continue;
            s.events += 1.0;
            if (s.pitch == p) {
                s.hits += 1.0;
                s.ampsum += amp;
            }
        }
        size_t i = 0;
        while (i < slots.size() && slots[i].active)
            ++i;
        if (i == slots.size()) {
            i = 0;
            ++too_many;
        }
        slots[i] = {true, p, 1.0, 1.0, amp, now + (window > 0 ? window : 0), ++seq};
        highest = std::max(highest, static_cast<int32_t>(i));
    }
    void stop()
    {
        for (int32_t i = 0; i <= highest && !slots.empty(); ++i)
            slots[static_cast<size_t>(i)].active = false;
        highest = 0;
    }
    void advance(double t, double minproba)
    {
        for (;;) {
            Slot *next = nullptr;
            for (Slot &s : slots)
                if (s.active && s.due <= t &&
                    (!next || s.due < next->due || (s.due == next->due && s.seq < next->seq)))
                    next = &s;
            if (!next)
                return;
            const double proba = next->hits / next->events;
            if (proba >= minproba) {
                expected.push_back({next->due, 2, proba});
                expected.push_back({next->due, 1, next->ampsum / next->hits});
                expected.push_back({next->due, 0, next->pitch});
            }
            next->active = false;
        }
    }
};

void compare(const Model &m, const t_pitchtally *x)
{
    if (g_sent.size() != m.expected.size())
        fail("%zu values sent, the model expects %zu", g_sent.size(), m.expected.size());
    for (size_t i = 0; i < g_sent.size(); ++i) {
        const Sent &a = g_sent[i];
        const Sent &b = m.expected[i];
        if (a.time != b.time || a.outlet != b.outlet || !same(a.value, b.value))
            fail("value %zu: sent %a at %.17g on outlet %d, the model expects %a at %.17g on %d", i,
                 a.value, a.time, a.outlet, b.value, b.time, b.outlet);
    }
    if (g_too_many != m.too_many)
        fail("\"too many events\" posted %d times, the model expects %d", g_too_many, m.too_many);
    if (!x->agents)
        return;
    if (x->highest != m.highest)
        fail("highest %d, the model has %d", x->highest, m.highest);
    for (int32_t i = 0; i < x->agentcount; ++i) {
        const t_statagent &a = x->agents[i];
        const Model::Slot &b = m.slots[static_cast<size_t>(i)];
        if ((a.active != 0) != b.active)
            fail("slot %d: active %d, the model says %d", i, a.active, b.active);
        if (b.active && (!same(a.pitch, b.pitch) || !same(a.hits, b.hits) ||
                         !same(a.events, b.events) || !same(a.ampsum, b.ampsum)))
            fail("slot %d: pitch %a hits %a events %a ampsum %a; the model has %a %a %a %a", i,
                 a.pitch, a.hits, a.events, a.ampsum, b.pitch, b.hits, b.events, b.ampsum);
    }
}

// A pitch: often one of a few values, so that agents find hits.
double pitch(FuzzedDataProvider &in)
{
    static constexpr double kPitches[] = {
        60.0,
        61.0,
        60.000001,
        0.0,
        -0.0,
        440.0,
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
    };
    return in.ConsumeIntegralInRange<int>(0, 3) != 0 ? in.PickValueInArray(kPitches)
                                                     : qzfuzz::any_double(in);
}

void check_pool(const t_pitchtally *x, qzhost::Host &h)
{
    if (!x->agents) {
        if (x->agentcount != 0 || h.pending_clocks() != 0)
            fail("no pool, but %d slots and %zu clocks", x->agentcount, h.pending_clocks());
        return;
    }
    if (x->highest < 0 || x->highest >= x->agentcount)
        fail("highest %d with %d slots", x->highest, x->agentcount);
    size_t active = 0;
    for (int32_t i = 0; i < x->agentcount; ++i) {
        const t_statagent &a = x->agents[i];
        if (a.active == 0)
            continue;
        ++active;
        if (a.active != 1)
            fail("slot %d: active %d between messages", i, a.active);
        if (i > x->highest)
            fail("slot %d active above highest %d", i, x->highest);
        if (!(a.hits >= 1.0) || !(a.events >= a.hits))
            fail("slot %d: hits %a, events %a", i, a.hits, a.events);
    }
    if (h.pending_clocks() != active)
        fail("%zu clocks armed for %zu active slots", h.pending_clocks(), active);
}

// The values sent since the last check form reports, each probability,
// average amplitude, pitch, with a probability in (0, 1] at or above the
// threshold in force. A report ends early exactly when the value on the
// outlet fed back as a pitch took over the reporting slot (a full pool
// restarts slot 0, posting "too many events" during that value's delivery):
// the rest of it would carry the new agent's values.
void check_reports(const t_pitchtally *x)
{
    for (size_t i = 0; i < g_sent.size();) {
        if (g_sent[i].outlet != 2)
            fail("value %zu: a report starts on outlet %d", i, g_sent[i].outlet);
        const double p = g_sent[i].value;
        if (!(p > 0.0 && p <= 1.0) || !(p >= x->minproba))
            fail("probability %a with minproba %a", p, x->minproba);
        const int slot = g_sent[i].slot;
        size_t len = 0;
        for (;;) {
            const Sent &v = g_sent[i + len];
            ++len;
            const int after = i + len < g_sent.size() ? g_sent[i + len].too_many : g_too_many;
            const bool restarted = v.outlet == g_route && slot == 0 && after > v.too_many;
            if (restarted || len == 3)
                break;
            if (i + len >= g_sent.size() || g_sent[i + len].outlet != 2 - static_cast<int>(len))
                fail("report of slot %d cut after outlet %d without a take-over of its slot", slot,
                     v.outlet);
        }
        i += len;
    }
    g_sent.clear();
}

std::vector<t_atom> attr_value(FuzzedDataProvider &in, bool window)
{
    std::vector<t_atom> v;
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        break; // no value
    case 1:
        v.push_back(qzfuzz::any_atom(in));
        break;
    default:
        v.push_back(window ? qzt::L(in.ConsumeIntegralInRange<int>(-5, 400))
                           : qzt::F(in.ConsumeFloatingPointInRange<double>(-0.5, 1.5)));
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qzhost::Host &h = host();
    static const bool observed = [&h] {
        h.on_outlet([](const qzhost::OutletEvent &e) {
            if (e.box != g_box)
                fail("a value from box %d, not the live one %d", e.box, g_box);
            int slot = -1;
            for (int32_t i = 0; e.outlet == 2 && g_x && g_x->agents && i < g_x->agentcount; ++i)
                if (g_x->agents[i].active == 2) // the slot whose report is under way
                    slot = i;
            g_sent.push_back({e.time, e.outlet, e.value, g_too_many, slot});
        });
        h.on_console([](const qzhost::ConsoleLine &l) {
            if (l.box == g_box && l.error && l.text == "too many events")
                ++g_too_many;
        });
        return true;
    }();
    (void)observed;

    FuzzedDataProvider in(data, size);
    std::vector<t_atom> args;
    if (in.ConsumeIntegralInRange<int>(0, 7) != 0)
        args.push_back(qzt::L(in.ConsumeIntegralInRange<int>(-2, 12)));
    if (in.ConsumeBool()) {
        args.push_back(qzfuzz::sym_atom(in));
        args.push_back(qzt::L(in.ConsumeIntegralInRange<int>(-5, 400)));
    }
    if (in.ConsumeBool()) {
        t_atom a;
        atom_setsym(&a, h.sym("@minproba"));
        args.push_back(a);
        args.push_back(qzt::F(in.ConsumeFloatingPointInRange<double>(-0.5, 1.5)));
    }
    g_sent.clear();
    g_too_many = 0;
    g_box = static_cast<qzhost::BoxId>(-2); // the box being made posts under its new id
    const qzhost::BoxId box = h.create("qz.pitchtally", args);
    if (box < 0)
        fail("qz.pitchtally not created");
    g_box = box;
    const auto *x = reinterpret_cast<const t_pitchtally *>(h.object(box));
    g_x = x;
    // Feedback: one value of each report (the pitch, the average amplitude or
    // the probability) comes back as a new pitch event while the report is
    // under way, so that a take-over can land during each of the three
    // sends; and perhaps the average amplitude as the amplitude.
    const bool feedback = in.ConsumeIntegralInRange<int>(0, 3) == 0;
    g_route = -1;
    if (feedback) {
        g_route = in.ConsumeIntegralInRange<int>(0, 2);
        h.connect(box, g_route, box, 0);
        if (in.ConsumeBool())
            h.connect(box, 1, box, 1);
    }
    check_pool(x, h);
    g_too_many = 0;
    Model model;
    model.slots.resize(x->agents ? static_cast<size_t>(x->agentcount) : 0);
    const bool modelled = !feedback;

    for (int step = 0; step < 200 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
        case 1:
        case 2: {
            const double p = pitch(in);
            model.pitch(p, h.now(), static_cast<int32_t>(x->window));
            h.send_float(box, 0, p);
            break;
        }
        case 3: {
            const t_atom_long n = qzfuzz::any_long(in);
            // The object reads an int as 32 bits.
            model.pitch(static_cast<double>(static_cast<int32_t>(n)), h.now(),
                        static_cast<int32_t>(x->window));
            h.send_int(box, 0, n);
            break;
        }
        case 4: {
            const double a = in.ConsumeBool() ? qzfuzz::any_double(in)
                                              : in.ConsumeFloatingPointInRange<double>(0, 1);
            model.amp = a;
            h.send_float(box, 1, a);
            break;
        }
        case 5:
            model.stop();
            h.send(box, 0, "stop", {});
            if (x->agents && x->highest != 0)
                fail("highest %d after stop", x->highest);
            break;
        case 6:
            h.attr_set(box, "window", attr_value(in, true));
            break;
        case 7:
            h.attr_set(box, "minproba", attr_value(in, false));
            break;
        default: {
            // Long advances only without feedback: there each report starts
            // a new agent, up to one firing per agent and millisecond.
            const double by = !feedback && in.ConsumeIntegralInRange<int>(0, 3) == 0
                                  ? in.ConsumeFloatingPointInRange<double>(0.0, 1e4)
                                  : static_cast<double>(in.ConsumeIntegralInRange<int>(0, 600));
            model.advance(h.now() + by, x->minproba);
            h.advance_by(by);
            break;
        }
        }
        check_pool(x, h);
        if (modelled)
            compare(model, x);
        model.expected.clear();
        check_reports(x);
    }

    // Let every agent end (a feedback loop would go on for ever: bounded).
    if (in.ConsumeBool()) {
        h.run_until_idle(2000);
        check_pool(x, h);
        check_reports(x);
    }
    h.free_box(box);
    g_box = -1;
    g_x = nullptr;
    if (h.pending_clocks() != 0)
        fail("%zu clocks still armed after the box was freed", h.pending_clocks());
    h.advance_by(3e9);
    if (!g_sent.empty())
        fail("%zu values sent after the box was freed", g_sent.size());
    return 0;
}

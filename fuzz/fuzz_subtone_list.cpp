// Fuzzes qz.subtone with lists of random atoms (integers, floats with
// infinities and not-a-number, symbols, long lists) between random changes
// of `mode` and `approx`. Every number or non-empty list must send exactly
// one value; where the reference search finishes within a node budget, that
// value must match it bit for bit.
//
// Built with QZ_FUZZ_SUBTONE_WIDE=1 (the default) every value is fair game:
// the object's search stops at its work budget, then posts an error and
// sends nothing, which is the one other answer a list may get. A list that
// runs into the budget takes about 0.4 s in a release build and some 25
// times that in this build, so fuzz/run.sh gives this program a longer
// timeout and an input holds fewer messages. With 0 the values stay where
// the plain, unbounded search ends quickly (lists of up to four partials
// from 20 Hz to 2 kHz, long lists of one repeated value, approximations
// from 0 to 3 semitones).
#include "fuzz_host.hpp"
#include "subtone.h"
#include "subtone_counted.h"

#include <cstring>
#include <string>

#ifndef QZ_FUZZ_SUBTONE_WIDE
#define QZ_FUZZ_SUBTONE_WIDE 0
#endif

namespace {

using qzfuzz::fail;
using qzfuzz::host;

constexpr bool kWide = QZ_FUZZ_SUBTONE_WIDE != 0;
// Nodes the reference may visit for a value to be checked against it.
constexpr std::uint64_t kReferenceBudget = 200000;

std::vector<double> g_sent; // values the box sent during one message
int g_budget = 0;           // work-budget errors posted during one message

uint64_t bits64(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

// A partial at position i of a list, for the current mode. Bounded: Hz from
// 20 to 2,000 (MIDI pitches 16 to 95), symbols, 0 and the infinities
// anywhere; -1 and not-a-number only among the first two. The plain search
// enumerates a dense tree when nothing can be accepted: a positive partial
// below 20 Hz, or a negative or not-a-number partial from the third on,
// makes it take up to about 10^8 steps, and so do some lists of five or six
// partials up to 16 kHz (seconds; see docs/hostile-inputs.md). Wide:
// anything anywhere.
t_atom partial(FuzzedDataProvider &in, bool midi, size_t i)
{
    if (kWide)
        return in.ConsumeIntegralInRange<int>(0, 9) == 0 ? qzfuzz::sym_atom(in)
               : in.ConsumeBool()                        ? qzt::L(qzfuzz::any_long(in))
                                                         : qzt::F(qzfuzz::any_double(in));
    static constexpr double kAnywhere[] = {
        0.0,
        -0.0,
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
    };
    static constexpr double kFirstTwo[] = {-1.0, std::numeric_limits<double>::quiet_NaN()};
    const double bottom = midi ? 16.0 : 20.0;
    const double top = midi ? 95.0 : 2000.0;
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0:
        return qzfuzz::sym_atom(in);
    case 1:
        if (i < 2 && in.ConsumeBool())
            return qzt::F(in.PickValueInArray(kFirstTwo));
        return qzt::F(in.PickValueInArray(kAnywhere));
    case 2:
    case 3:
        return qzt::L(in.ConsumeIntegralInRange<t_atom_long>(static_cast<t_atom_long>(bottom),
                                                             static_cast<t_atom_long>(top)));
    default:
        return qzt::F(in.ConsumeFloatingPointInRange<double>(bottom, top));
    }
}

t_atom approx_value(FuzzedDataProvider &in)
{
    if (kWide)
        return qzfuzz::any_atom(in);
    static constexpr double kEdges[] = {0.0, 0.01, 0.5, 1.0, 2.0, -0.5};
    if (in.ConsumeBool())
        return qzt::F(in.PickValueInArray(kEdges));
    return qzt::F(in.ConsumeFloatingPointInRange<double>(0.0, 3.0));
}

// The list, and whether the reference can be computed for it (numbers only).
std::vector<t_atom> make_list(FuzzedDataProvider &in, bool midi)
{
    std::vector<t_atom> list;
    const int shape = in.ConsumeIntegralInRange<int>(0, 15);
    if (shape == 0) {
        // A long list of one repeated partial, past the 16-bit capacity.
        static constexpr int kCounts[] = {1000, 32767, 32768, 40000, 65537};
        const t_atom a = partial(in, midi, 2);
        list.assign(static_cast<size_t>(in.PickValueInArray(kCounts)), a);
        return list;
    }
    const int n = in.ConsumeIntegralInRange<int>(0, kWide ? 64 : 4);
    for (int i = 0; i < n && in.remaining_bytes() > 0; ++i)
        list.push_back(partial(in, midi, list.size()));
    return list;
}

// What the object sends for the list, from the reference search, when it
// finishes within the budget; false otherwise (or when the list holds a
// symbol, whose slot the object fills as it chooses).
bool reference(const t_subtone *x, const std::vector<t_atom> &list, double *out)
{
    if (list.empty() || list.size() > 4096)
        return false;
    std::vector<float> p;
    p.reserve(list.size());
    for (const t_atom &a : list) {
        float v;
        if (atom_gettype(&a) == A_LONG)
            v = static_cast<float>(atom_getlong(&a));
        else if (atom_gettype(&a) == A_FLOAT)
            v = static_cast<float>(atom_getfloat(&a)); // double -> single, as the object does
        else
            return false;
        p.push_back(x->mode != 0 ? midi_to_hz(v) : v);
    }
    subtone_count count{};
    const double r = subtone_counted_compute(p.data(), static_cast<std::int32_t>(p.size()), x->mode,
                                             x->approx, x->tolerance, kReferenceBudget, &count);
    if (!count.finished)
        return false;
    *out = r;
    return true;
}

// Whether the work budget promises the list an answer: every partial a
// number that lies, in Hz, from 0.5 Hz to 2 MHz, at an approximation from 0
// to 1,000 semitones. The most demanding such list (2000000 1999999 at
// approximation 0) takes about 1.7 million of the 20 million steps.
bool promised(const t_subtone *x, const std::vector<t_atom> &list)
{
    if (!(x->approx >= 0.0f && x->approx <= 1000.0f))
        return false;
    for (const t_atom &a : list) {
        float v;
        if (atom_gettype(&a) == A_LONG)
            v = static_cast<float>(
                static_cast<int32_t>(atom_getlong(&a))); // as the object reads it
        else if (atom_gettype(&a) == A_FLOAT)
            v = static_cast<float>(atom_getfloat(&a));
        else
            return false;
        const float hz = x->mode != 0 ? midi_to_hz(v) : v;
        if (!(hz >= 0.5f && hz <= 2e6f))
            return false;
    }
    return true;
}

// A number or a list gets one value, or (stopped by the work budget) one
// error and no value. false in the second case.
bool expect_one(const char *what, size_t count)
{
    if (g_sent.size() == 1 && g_budget == 0)
        return true;
    if (g_sent.empty() && g_budget == 1)
        return false;
    fail("%s of %zu atoms sent %zu values and posted %d work-budget errors", what, count,
         g_sent.size(), g_budget);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qzhost::Host &h = host();
    static const bool observed = [&h] {
        h.on_outlet([](const qzhost::OutletEvent &e) { g_sent.push_back(e.value); });
        h.on_console([](const qzhost::ConsoleLine &l) {
            if (l.error && l.text.find("work budget") != std::string::npos)
                ++g_budget;
        });
        return true;
    }();
    (void)observed;

    FuzzedDataProvider in(data, size);
    std::vector<t_atom> args;
    if (in.ConsumeBool())
        args.push_back(approx_value(in));
    if (in.ConsumeBool()) {
        args.push_back(qzfuzz::sym_atom(in)); // often not an attribute name
        // Bounded: an infinite tolerance (approx above ~1,400 semitones)
        // with a 0 Hz partial from the third on makes the search count every
        // harmonic number up to 2^24 at each level (see the table).
        args.push_back(in.ConsumeBool() ? qzt::L(in.ConsumeIntegralInRange<int>(0, 1))
                       : kWide          ? qzfuzz::any_atom(in)
                                        : approx_value(in));
    }
    qzfuzz::trace("create qz.subtone", args);
    const qzhost::BoxId box = h.create("qz.subtone", args);
    if (box < 0)
        fail("qz.subtone not created");
    const auto *x = reinterpret_cast<const t_subtone *>(h.object(box));

    for (int step = 0; step < (kWide ? 6 : 16) && in.remaining_bytes() > 0; ++step) {
        g_sent.clear();
        g_budget = 0;
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: { // mode: 0, 1, another number, a symbol or nothing
            std::vector<t_atom> v;
            if (in.ConsumeIntegralInRange<int>(0, 5) != 0)
                v.push_back(in.ConsumeBool() ? qzt::L(in.ConsumeIntegralInRange<int>(0, 1))
                                             : qzfuzz::any_atom(in));
            qzfuzz::trace("mode", v);
            h.attr_set(box, "mode", v);
            break;
        }
        case 1: { // approx, through the attribute and its clip
            std::vector<t_atom> v;
            if (in.ConsumeIntegralInRange<int>(0, 5) != 0)
                v.push_back(approx_value(in));
            qzfuzz::trace("approx", v);
            h.attr_set(box, "approx", v);
            if (x->approx < 0.0f)
                fail("approx %a below 0 after the clip", static_cast<double>(x->approx));
            break;
        }
        case 2: { // one number
            const t_atom a = partial(in, x->mode != 0, 0);
            qzfuzz::trace("number", {a});
            if (atom_gettype(&a) == A_LONG)
                h.send_int(box, 0, atom_getlong(&a));
            else if (atom_gettype(&a) == A_FLOAT)
                h.send_float(box, 0, atom_getfloat(&a));
            else
                break;
            const bool sent = expect_one("a number", 1);
            if (!sent && promised(x, {a}))
                fail("a number within 0.5 Hz to 2 MHz stopped by the work budget");
            const std::vector<t_atom> one{a};
            double want;
            // An int arrives narrowed to 32 bits: compare only where that
            // changes nothing.
            const bool narrowed = atom_gettype(&a) == A_LONG &&
                                  atom_getlong(&a) != static_cast<int32_t>(atom_getlong(&a));
            if (!narrowed && reference(x, one, &want)) {
                // A search that the plain one finishes in a few steps never
                // runs into the budget.
                if (!sent)
                    fail("number: stopped by the budget, the reference gives %a", want);
                if (bits64(want) != bits64(g_sent[0]))
                    fail("number: sent %a, the reference gives %a", g_sent[0], want);
            }
            break;
        }
        case 3:
        case 4:
        case 5: { // a list
            const std::vector<t_atom> list = make_list(in, x->mode != 0);
            if (list.size() > 64)
                qzfuzz::trace("long list of",
                              {qzt::L(static_cast<t_atom_long>(list.size())), list[0]});
            else
                qzfuzz::trace("list", list);
            h.send(box, 0, "list", list);
            if (list.empty()) {
                if (!g_sent.empty())
                    fail("an empty list sent %zu values", g_sent.size());
                break;
            }
            const bool sent = expect_one("a list", list.size());
            if (!sent && promised(x, list))
                fail("list of %zu partials within 0.5 Hz to 2 MHz stopped by the work budget",
                     list.size());
            double want;
            if (reference(x, list, &want)) {
                if (!sent)
                    fail("list of %zu: stopped by the budget, the reference gives %a", list.size(),
                         want);
                if (bits64(want) != bits64(g_sent[0]))
                    fail("list of %zu: sent %a, the reference gives %a", list.size(), g_sent[0],
                         want);
            }
            break;
        }
        case 6: // messages it does not take
            h.send(box, 0, in.ConsumeBool() ? "bang" : "stop", {});
            if (!g_sent.empty())
                fail("an unknown message sent a value");
            break;
        default: { // the attributes read back as held, through the clip at 0
            std::vector<t_atom> v;
            if (!h.attr_get(box, "approx", v) || v.size() != 1)
                fail("approx cannot be read back");
            const float got = static_cast<float>(atom_getfloat(&v[0]));
            // The getter clips too: a negative or not-a-number value that the
            // constructor kept reads back as the minimum, 0.
            const float want = qzfuzz::is_nan(x->approx) || x->approx < 0.0f ? 0.0f : x->approx;
            if (std::memcmp(&got, &want, sizeof got) != 0)
                fail("approx reads back %a, holds %a", static_cast<double>(got),
                     static_cast<double>(x->approx));
            break;
        }
        }
        // The tolerance always follows the approximation.
        const float t = tolerance_from_midi(x->approx);
        if (std::memcmp(&t, &x->tolerance, sizeof t) != 0)
            fail("tolerance %a for approx %a", static_cast<double>(x->tolerance),
                 static_cast<double>(x->approx));
    }
    h.free_box(box);
    return 0;
}

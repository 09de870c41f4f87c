// Fuzzes the creation of qz.subtone and qz.pitchtally boxes: random atoms
// and "@name value..." settings as creation arguments, sometimes with the
// host's allocations made to fail. Each new box must hold a consistent state,
// answer a number and a "stop" or list, and leave nothing behind when freed:
// no armed clock, and nothing sent after it is gone.
#include "fuzz_host.hpp"
#include "pitchtally.h"
#include "subtone.h"

#include <cstring>

namespace {

using qzfuzz::fail;
using qzfuzz::host;

int g_sends = 0; // values sent by any outlet since the last reset

uint32_t bits32(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

void check_subtone(const t_subtone *x)
{
    // The tolerance always follows the approximation, whichever way
    // (constructor argument or attribute setting) it was last set.
    if (bits32(x->tolerance) != bits32(tolerance_from_midi(x->approx)))
        fail("qz.subtone: tolerance %a does not match approx %a", static_cast<double>(x->tolerance),
             static_cast<double>(x->approx));
    if (x->capacity != 0 || x->partials)
        fail("qz.subtone: a buffer before the first list");
}

void check_pitchtally(const t_pitchtally *x)
{
    if (x->agents ? x->agentcount < 1 : x->agentcount != 0)
        fail("qz.pitchtally: %d slots with pool %p", x->agentcount,
             static_cast<const void *>(x->agents));
    if (x->highest != 0)
        fail("qz.pitchtally: highest %d on a fresh pool", x->highest);
    // The window goes to clock_delay as a 32-bit count of ms, at least 1.
    if (x->window < PITCHTALLY_MIN_WINDOW || x->window > INT32_MAX)
        fail("qz.pitchtally: window %" PRId64, static_cast<int64_t>(x->window));
    // The clip filter keeps the threshold within 0..1 (a NaN passes it).
    if (x->minproba < 0.0 || x->minproba > 1.0)
        fail("qz.pitchtally: minproba %a", x->minproba);
    for (int32_t i = 0; i < x->agentcount; ++i)
        if (x->agents[i].active != 0 || x->agents[i].owner != x)
            fail("qz.pitchtally: slot %d not fresh", i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qzhost::Host &h = host();
    static const bool observed = [&h] {
        h.on_outlet([](const qzhost::OutletEvent &) { ++g_sends; });
        return true;
    }();
    (void)observed;

    FuzzedDataProvider in(data, size);
    const bool subtone = in.ConsumeBool();
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        h.inject_fault(in.ConsumeBool() ? qzhost::Host::Fault::ObjectAlloc
                                        : qzhost::Host::Fault::SysmemNewptr,
                       in.ConsumeIntegralInRange<int>(0, 2));
    std::vector<t_atom> args = qzfuzz::creation_args(in);
    if (!subtone && !args.empty() && atom_gettype(&args[0]) == A_LONG) {
        // Pools are made slot by slot with a clock each: keep the count where
        // one input takes milliseconds. The object narrows the count to 32
        // bits; the bits above are kept so that narrowing is still exercised.
        const t_atom_long v = atom_getlong(&args[0]);
        if (static_cast<int32_t>(v) > 4096)
            atom_setlong(&args[0], (v & ~static_cast<t_atom_long>(0xffffffff)) | (v & 0xfff));
    }

    qzfuzz::trace(subtone ? "create qz.subtone" : "create qz.pitchtally", args);
    const qzhost::BoxId box = h.create(subtone ? "qz.subtone" : "qz.pitchtally", args);
    h.inject_fault(qzhost::Host::Fault::ObjectAlloc, 1 << 30); // disarm an unused fault
    h.inject_fault(qzhost::Host::Fault::SysmemNewptr, 1 << 30);
    if (box < 0)
        return 0; // the host refused the instance: the constructor returned null
    if (subtone)
        check_subtone(reinterpret_cast<const t_subtone *>(h.object(box)));
    else
        check_pitchtally(reinterpret_cast<const t_pitchtally *>(h.object(box)));

    // The new box works: a number, then a list or a "stop". qz.subtone gets
    // them only with an approximation from 0 to 24 semitones: outside it
    // (and for huge partials) the plain search counts harmonic numbers up to
    // 2^24 before it gives up, seconds under the sanitizers; that work is
    // the subject of fuzz_subtone_list, not of this program.
    if (subtone) {
        const t_subtone *x = reinterpret_cast<const t_subtone *>(h.object(box));
        // MIDI pitches above 135 are beyond 20 kHz, and grow exponentially.
        const double top = x->mode != 0 ? 135.0 : 20000.0;
        if (x->approx >= 0.0f && x->approx <= 24.0f) {
            const double first = in.ConsumeFloatingPointInRange<double>(-1.0, top);
            qzfuzz::trace("float", {qzt::F(first)});
            h.send_float(box, 0, first);
            // At most two partials: a third that fits nothing makes the
            // plain search's work quadratic in the first partial's harmonic
            // count.
            std::vector<t_atom> list;
            const int n = in.ConsumeIntegralInRange<int>(0, 2);
            for (int i = 0; i < n; ++i)
                list.push_back(qzt::F(in.ConsumeFloatingPointInRange<double>(0.0, top / 4.0)));
            qzfuzz::trace("list", list);
            h.send(box, 0, "list", list);
        }
    } else {
        h.send_float(box, 0, qzfuzz::any_double(in));
        h.send(box, 0, "stop", {});
        h.send_float(box, 0, qzfuzz::any_double(in));
    }

    h.free_box(box);
    if (h.pending_clocks() != 0)
        fail("%zu clocks still armed after the box was freed", h.pending_clocks());
    g_sends = 0;
    h.advance_by(3e9); // past every window a box could have armed
    if (g_sends != 0)
        fail("%d values sent after the box was freed", g_sends);
    return 0;
}

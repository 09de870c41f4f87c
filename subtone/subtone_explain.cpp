#include "subtone_explain.h"

#include "crmath.h"
#include "subtone_search.h"
#include "subtone_steps.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kCentsPerOctave = 1200.0;
// The fragility test's move of the approximation, in semitones.
constexpr double kSemitonesPerCent = 0.01;

double cents(double ratio)
{
    return kCentsPerOctave * crmath::log2(ratio);
}

// Whether the search on q finds a result with the harmonic numbers of `out`.
// A search that runs out of memory or budget counts as a change: it gives
// no result at all.
bool same_path(subtone_workspace &ws, const float *q, std::int32_t k, float tolerance,
               const subtone_explanation &out)
{
    float found = 0.0f;
    std::uint64_t steps = 0;
    if (subtone_fast_run(&ws, q, k, tolerance, kSubtoneWorkBudget, &found, &steps) !=
            SUBTONE_FAST_OK ||
        !subtone_accepted(found))
        return false;
    for (std::int32_t i = 0; i < k; ++i)
        if (ws.frames[i].n != out.partials[static_cast<std::size_t>(i)].harmonic)
            return false;
    return true;
}

} // namespace

void subtone_test_fragility(subtone_workspace &ws, const float *p, std::int32_t k, float approx,
                            float tolerance, subtone_explanation &out)
{
    out.fragility = subtone_fragility::not_checked;
    out.fragile_partial = -1;
    out.fragile_change = 0.0;
    if (!out.accepted || k > kSubtoneFragilityMaxPartials)
        return;
    auto fragile = [&out](std::int32_t partial, double change) {
        out.fragility = subtone_fragility::fragile;
        out.fragile_partial = partial;
        out.fragile_change = change;
    };
    // The approximation, up and (while it stays a tolerance) down.
    for (const double c : {kSubtoneEdgeCents, -kSubtoneEdgeCents}) {
        const double a = static_cast<double>(approx) + c * kSemitonesPerCent;
        if (a < 0.0)
            continue;
        const float t = tolerance_from_midi(static_cast<float>(a));
        if (!same_path(ws, p, k, t, out)) {
            fragile(-1, c * kSemitonesPerCent);
            return;
        }
    }
    // Each partial, up and down, the others as they are.
    out.scratch.assign(p, p + k);
    for (std::int32_t i = 0; i < k; ++i) {
        const float f = p[i];
        if (!(std::isfinite(f) && f > 0.0f))
            continue; // a partial without a window moves nowhere
        for (const double c : {kSubtoneEdgeCents, -kSubtoneEdgeCents}) {
            out.scratch[static_cast<std::size_t>(i)] =
                static_cast<float>(static_cast<double>(f) * crmath::exp2(c / kCentsPerOctave));
            const bool same = same_path(ws, out.scratch.data(), k, tolerance, out);
            out.scratch[static_cast<std::size_t>(i)] = f;
            if (!same) {
                fragile(i, c);
                return;
            }
        }
    }
    out.fragility = subtone_fragility::robust;
}

subtone_fast_status subtone_explain(subtone_workspace &ws, const float *p, std::int32_t k,
                                    std::int64_t mode, float approx, float tolerance,
                                    subtone_explanation &out)
{
    out.partials.assign(static_cast<std::size_t>(k), subtone_partial_explained{});
    out.fragility = subtone_fragility::not_checked;
    out.fragile_partial = -1;
    out.fragile_change = 0.0;
    out.accepted = false;
    out.found = 0.0f;
    const subtone_fast_status status =
        subtone_fast_run(&ws, p, k, tolerance, kSubtoneWorkBudget, &out.found, &out.steps);
    if (status != SUBTONE_FAST_OK)
        return status;
    out.value = subtone_output(out.found, mode, approx);
    out.accepted = subtone_accepted(out.found);
    if (!out.accepted)
        return status;

    // The path, read off the frames before another search reuses them.
    out.lo = ws.frames[k].lo;
    out.hi = ws.frames[k].hi;
    const double r = static_cast<double>(out.found);
    for (std::int32_t i = 0; i < k; ++i) {
        subtone_partial_explained &e = out.partials[static_cast<std::size_t>(i)];
        const subtone_fast_frame &fr = ws.frames[i];
        e.harmonic = fr.n;
        const bool windowed =
            e.harmonic > 0.0f && std::isfinite(e.harmonic) && p[i] > 0.0f && std::isfinite(p[i]);
        if (!windowed) {
            e.cents = std::numeric_limits<double>::quiet_NaN();
            e.margin = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        e.cents = cents(static_cast<double>(p[i]) / (static_cast<double>(e.harmonic) * r));
        // The window the search narrowed with, exactly as it computed it.
        const double wlo = subtone_window_lo(fr.flo, fr.n);
        const double whi = subtone_window_hi(fr.fhi, fr.n);
        const double below = cents(r / wlo), above = cents(whi / r);
        e.margin = below < above ? below : above;
        e.on_edge = e.margin < kSubtoneEdgeCents;
    }
    return status;
}

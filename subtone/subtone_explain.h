// Why the search found what it found, in terms a musician can check: the
// path the object's own search took (each partial's harmonic number, and how
// far in cents the partial lies from that harmonic of the result), the last
// interval, and whether the result is fragile, that is whether a small
// change of the approximation or of one partial gives other harmonic
// numbers. Everything is read off the frames of the search the object runs
// (subtone_fast_run); nothing here searches in a way of its own.
//
// Meant for tools (qz --explain, the JavaScript explain()), not for an
// object's message path: the fragility test runs the search again up to
// 2k + 2 times, so it is a call of its own, made only where it is shown.
#ifndef QZ_SUBTONE_EXPLAIN_H
#define QZ_SUBTONE_EXPLAIN_H

#include "subtone_fast.h"

#include <cstdint>
#include <vector>

// A partial within this many cents of its window's edge is marked, and the
// fragility test moves each partial, and the approximation, by this much.
inline constexpr double kSubtoneEdgeCents = 3.0;
// Lists longer than this are not tested for fragility (each partial costs
// two more searches).
inline constexpr std::int32_t kSubtoneFragilityMaxPartials = 64;

struct subtone_partial_explained {
    float harmonic = 0.0f; // harmonic number chosen for it (accepted results)
    double cents = 0.0;    // the partial against that harmonic of the result; NaN: no window
    double margin = 0.0;   // cents between the result and the nearer edge of that window
    bool on_edge = false;  // margin below kSubtoneEdgeCents
};

enum class subtone_fragility {
    robust,      // every change tried kept the harmonic numbers
    fragile,     // some change gave other harmonic numbers, or none
    not_checked, // not tested: nothing found, or a list too long to test
};

struct subtone_explanation {
    std::uint64_t steps = 0;
    float found = 0.0f;    // the search's raw result
    bool accepted = false; // a fundamental of 1 Hz or more fits
    float lo = 0.0f;       // the last interval, whose midpoint `found` is
    float hi = 0.0f;
    double value = 0.0; // the value the object sends
    std::vector<subtone_partial_explained> partials;

    subtone_fragility fragility = subtone_fragility::not_checked;
    // The first change found that alters the harmonic numbers: the partial
    // moved (its index; -1 for the approximation) and by how much (cents for
    // a partial, semitones for the approximation).
    std::int32_t fragile_partial = -1;
    double fragile_change = 0.0;

    std::vector<float> scratch; // the moved partials of the fragility test
};

// Runs the object's search on the k >= 1 partials p (singles in Hz, as the
// object stores them) with the object's approximation and tolerance, and
// explains its path into `out`. Returns the search's status; out.partials
// holds k entries in every case, filled only when the result is accepted.
// The fragility is left not tested.
subtone_fast_status subtone_explain(subtone_workspace &ws, const float *p, std::int32_t k,
                                    std::int64_t mode, float approx, float tolerance,
                                    subtone_explanation &out);

// Tests the accepted result that subtone_explain put in `out` (same p, k,
// approx and tolerance) for fragility: moves the approximation, then each
// partial, by kSubtoneEdgeCents each way, runs the object's search again and
// compares the harmonic numbers. Lists longer than
// kSubtoneFragilityMaxPartials, and results not accepted, stay not tested.
void subtone_test_fragility(subtone_workspace &ws, const float *p, std::int32_t k, float approx,
                            float tolerance, subtone_explanation &out);

#endif // QZ_SUBTONE_EXPLAIN_H

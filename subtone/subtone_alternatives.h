// Other hearings of a chord: fundamentals below the one the object finds
// that fit its partials better, each with its harmonic numbers and its fit.
//
// The object answers with the highest frequency whose harmonics all fall
// within the approximation, however close to the edge of its window a
// partial lies. A listener may hear a lower fundamental that fits every
// partial more truly. This lists them, for the tools (qz --alternatives, the
// JavaScript explain()); the objects never link it.
//
// Definitions (docs/objects.md, "Other hearings"). Frequencies are measured
// in cents, x = 1200 log2(f / 1 Hz).
// - At a frequency f each partial p (one with a window: above 0 and finite)
//   is heard as its nearest harmonic n >= 1, nearest in cents; the deviation
//   of p is 1200 log2(p / (n f)). The fit at f is the largest absolute
//   deviation of any partial.
// - A hearing is a range of frequencies over which the nearest harmonics of
//   all partials stay the same; its frequency is where the fit is least in
//   that range, its fit that least value. It fits the chord when its fit is
//   within the approximation (1200 log2(1 + tolerance) cents).
// - The object's own result is heard with the harmonic numbers its search
//   chose, over the last interval of its search; it comes first.
// - The alternatives are the hearings that fit, whose frequency lies below
//   the object's result and at or above a floor, whose harmonic numbers are
//   not the object's, and whose fit is better, by kSubtoneTruerCents at
//   least, than that of every hearing listed before them (the object's
//   result first): the list reads "lower, but truer", from the top down, and
//   ends after `count` of them.
#ifndef QZ_SUBTONE_ALTERNATIVES_H
#define QZ_SUBTONE_ALTERNATIVES_H

#include "subtone_explain.h"

#include <cstdint>
#include <vector>

// How much truer than the one before an alternative must fit: the
// precision fits are printed with, so that each listed fit reads lower than
// the one before it, and no octave below a fit, equal but for rounding,
// is listed again.
inline constexpr double kSubtoneTruerCents = 0.1;

// The default floor: C0 (MIDI 12), the lowest note a staff names.
inline constexpr double kSubtoneFloorHz = 16.351597831287414;

// Most steps (ranges of equal harmonic numbers examined, counted once per
// partial) one chord may take: a few milliseconds. A list stopped by it
// says so (`complete` false); only partials far above the floor's range, or
// a floor far below the chord, come near it.
inline constexpr std::uint64_t kSubtoneAlternativesBudget = std::uint64_t{1} << 21;

struct subtone_hearing {
    double hz = 0.0;  // where the fit is least
    double fit = 0.0; // the largest deviation of any partial there, in cents
    // One per partial, in partial order; 0 for a partial without a window.
    std::vector<double> harmonics;
};

struct subtone_alternatives {
    subtone_hearing result;             // the object's own result
    std::vector<subtone_hearing> lower; // the alternatives, from the top down
    std::uint64_t steps = 0;            // work done, in the budget's units
    bool complete = true;               // false: the budget ran out above the floor
    double stopped_hz = 0.0;            // where the sweep stopped when not complete
};

// Lists the alternatives of the result that subtone_explain put in `e` for
// the same k >= 1 partials p (singles in Hz, as the object stores them) and
// tolerance, down to floor_hz (>= 1), at most `count` of them. false, with
// `out` empty, when `e` holds no accepted result.
bool subtone_find_alternatives(const float *p, std::int32_t k, float tolerance,
                               const subtone_explanation &e, double floor_hz, std::int32_t count,
                               subtone_alternatives &out);

#endif // QZ_SUBTONE_ALTERNATIVES_H

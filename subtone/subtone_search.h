// The virtual-fundamental search of qz.subtone, free of the host.
//
// Given the partials of a chord in Hz (singles, in arrival order) and a
// tolerance, the search finds the highest frequency of which every partial
// is, within the tolerance, an integer multiple. Which steps run in single
// and which in double precision is part of the result: the found/not-found
// test and the MIDI rounding turn on the last bit of intermediate values.
//
// Nothing here allocates or keeps state between calls. log2 and round come
// from the host's jitlib library.
#ifndef QZ_SUBTONE_SEARCH_H
#define QZ_SUBTONE_SEARCH_H

#include <stdint.h>

// Approximation an object starts with when none is given, in semitones.
inline constexpr float kSubtoneDefaultApprox = 0.5f;

// Lower bound of every search: the single nearest to 0.1 Hz.
inline constexpr float kSubtoneLowest = 0.1f;

// MIDI pitch (69 = 440 Hz, 12 steps an octave) to Hz.
float midi_to_hz(float m);
// Hz to MIDI pitch.
float hz_to_midi(float f);
// Tolerance ratio minus one for an approximation in semitones.
float tolerance_from_midi(float a);

// Whether the search takes a result as found: anything not strictly between
// -1 and 1, including infinities and not-a-number. This is what truncating
// to a 32-bit integer and testing for non-zero answers on the host (there an
// out-of-range value converts to INT32_MIN), written without the conversion.
inline bool subtone_accepted(float r)
{
    return !(r > -1.0f && r < 1.0f);
}

// The reference search, written as a recursion, one level per partial.
// Searches [lo, hi] for a fundamental of the k partials p[0..k-1] within
// tolerance t; returns the midpoint of the interval of the first accepted
// match, or 0. Its depth is k + 1 frames of the machine stack: meant for
// tests and short lists.
float subtone_search(const float *p, int32_t k, float lo, float hi, float t);

// One level of the search held on an explicit stack.
struct subtone_frame {
    float lo, hi;   // interval the level searches within
    float flo, fhi; // the level's partial divided and multiplied by 1 + t
    float n;        // harmonic number being tried
    float n_last;   // last harmonic number to try
};

// The same search as subtone_search, with the same results bit for bit, on
// an explicit stack of k + 1 frames that the caller provides. When the
// result is accepted, frames[i].n is the harmonic number chosen for p[i]
// (i < k) and frames[k].lo, frames[k].hi the interval whose midpoint was
// returned.
float subtone_search_stacked(const float *p, int32_t k, float lo, float hi, float t,
                             subtone_frame *frames);

// Upper bound of the top level for the first partial p0: (1 + t) * p0 in
// double, rounded once to single.
float subtone_upper_bound(float p0, float t);

// The value sent for a search result r: r in Hz when mode is 0, otherwise
// the MIDI pitch of r rounded to the nearest multiple of approx (with
// approx 0, the MIDI pitch unrounded).
double subtone_output(float r, int64_t mode, float approx);

// The virtual fundamental of the k >= 1 partials p (Hz), as sent by the
// object: the search from kSubtoneLowest to subtone_upper_bound, converted by
// subtone_output. This form uses the recursive reference search.
double subtone_compute(const float *p, int32_t k, int64_t mode, float approx, float tolerance);
// The same on the explicit stack `frames` of k + 1 entries (any length of list).
double subtone_compute(const float *p, int32_t k, int64_t mode, float approx, float tolerance,
                       subtone_frame *frames);

#endif // QZ_SUBTONE_SEARCH_H

// The steps of the virtual-fundamental search whose rounding decides its
// result, written once for every search that must give the same bits: the
// reference recursion, the explicit stack, the accelerated search and its
// suffix sets, and the explanation of a result.
//
// Which operations run in single and which in double precision is part of
// the result: the found/not-found test and the MIDI rounding turn on the
// last bit of these values.
#ifndef QZ_SUBTONE_STEPS_H
#define QZ_SUBTONE_STEPS_H

#include "clib.h"

// A partial f's own window for a tolerance ratio u = 1 + t: f / u and f * u,
// singles.
inline void subtone_partial_window(float f, float u, float &flo, float &fhi)
{
    flo = f / u;
    fhi = f * u;
}

// The window of a partial (its flo, fhi) for harmonic number n: the single
// quotients flo / n and fhi / n.
inline float subtone_window_lo(float flo, float n)
{
    return flo / n;
}
inline float subtone_window_hi(float fhi, float n)
{
    return fhi / n;
}

// Harmonic numbers that can bring a partial's window into [lo, hi]: the
// single quotients, ceiled or floored in double, back to single (exact).
inline float subtone_first_harmonic(float flo, float hi)
{
    return static_cast<float>(ceil(static_cast<double>(flo / hi)));
}
inline float subtone_last_harmonic(float fhi, float lo)
{
    return static_cast<float>(floor(static_cast<double>(fhi / lo)));
}

// [lo, hi] narrowed to a partial's window for harmonic number n. A
// not-a-number window bound (n = 0 for a partial of 0) fails both tests and
// leaves the bound as it was.
inline void subtone_narrow(float lo, float hi, float flo, float fhi, float n, float &nlo,
                           float &nhi)
{
    const float cand_hi = subtone_window_hi(fhi, n);
    nhi = hi > cand_hi ? cand_hi : hi;
    const float cand_lo = subtone_window_lo(flo, n);
    nlo = cand_lo > lo ? cand_lo : lo;
}

// The value a search returns for its last interval: the single sum, halved
// in double, rounded once to single.
inline float subtone_midpoint(float lo, float hi)
{
    return static_cast<float>(static_cast<double>(lo + hi) * 0.5); // double -> single
}

#endif // QZ_SUBTONE_STEPS_H

#include "subtone_search.h"

#include "crmath.h"
#include "jitlib.h"
#include "subtone_steps.h"

namespace {

// Pitch reference: 440 Hz at MIDI pitch 69, 12 steps an octave.
constexpr double kRefHz = 440.0;
constexpr double kRefMidi = 69.0;
constexpr double kStepsPerOctave = 12.0;

} // namespace

float midi_to_hz(float m)
{
    const double e = (static_cast<double>(m) - kRefMidi) / kStepsPerOctave;
    // pow(2, e), correctly rounded and the same bits in every build (crmath.h)
    return static_cast<float>(crmath::exp2(e) * kRefHz); // double -> single, once
}

float hz_to_midi(float f)
{
    const double octaves = jit_math_log2(static_cast<double>(f) / kRefHz);
    return static_cast<float>(octaves * kStepsPerOctave + kRefMidi); // double -> single, once
}

float tolerance_from_midi(float a)
{
    const double ratio = crmath::exp2(static_cast<double>(a) / kStepsPerOctave); // pow(2, a/12)
    return static_cast<float>(ratio - 1.0); // double -> single, once
}

float subtone_search(const float *p, int32_t k, float lo, float hi, float t)
{
    if (!(lo <= hi))
        return 0.0f;
    if (k == 0)
        return subtone_midpoint(lo, hi);

    const float f = p[0];
    const float u = t + 1.0f;
    float flo, fhi;
    subtone_partial_window(f, u, flo, fhi);
    const float n_last = subtone_last_harmonic(fhi, lo);
    for (float n = subtone_first_harmonic(flo, hi); n <= n_last;) {
        float nlo, nhi;
        subtone_narrow(lo, hi, flo, fhi, n, nlo, nhi);
        const float r = subtone_search(p + 1, k - 1, nlo, nhi, t);
        if (subtone_accepted(r))
            return r;
        // From 2^24 on, n + 1 rounds back to n: every harmonic number that
        // single precision can count has been tried, so the level ends.
        const float next = n + 1.0f;
        if (next == n)
            break;
        n = next;
    }
    return 0.0f;
}

float subtone_search_stacked(const float *p, int32_t k, float lo, float hi, float t,
                             subtone_frame *frames)
{
    const float u = t + 1.0f;
    int32_t level = 0; // the level being entered with [lo, hi]
    for (;;) {
        // Enter `level`: either it yields a result at once, or it descends
        // with its first harmonic number.
        float r = 0.0f;
        if (!(lo <= hi)) {
            r = 0.0f;
        } else if (level == k) {
            frames[level].lo = lo;
            frames[level].hi = hi;
            r = subtone_midpoint(lo, hi);
        } else {
            subtone_frame &fr = frames[level];
            const float f = p[level];
            fr.lo = lo;
            fr.hi = hi;
            subtone_partial_window(f, u, fr.flo, fr.fhi);
            fr.n_last = subtone_last_harmonic(fr.fhi, lo);
            fr.n = subtone_first_harmonic(fr.flo, hi);
            if (fr.n <= fr.n_last) {
                subtone_narrow(fr.lo, fr.hi, fr.flo, fr.fhi, fr.n, lo, hi);
                ++level;
                continue;
            }
            r = 0.0f;
        }

        // Hand r back up until some level descends again.
        for (;;) {
            if (level == 0)
                return r;
            --level;
            // An accepted result is accepted by every level above as well.
            if (subtone_accepted(r))
                return r;
            subtone_frame &fr = frames[level];
            const float next = fr.n + 1.0f;
            if (next != fr.n && next <= fr.n_last) { // n + 1 == n from 2^24 on: level ends
                fr.n = next;
                subtone_narrow(fr.lo, fr.hi, fr.flo, fr.fhi, fr.n, lo, hi);
                ++level;
                break;
            }
            r = 0.0f;
        }
    }
}

float subtone_upper_bound(float p0, float t)
{
    const double hi = (1.0 + static_cast<double>(t)) * static_cast<double>(p0);
    return static_cast<float>(hi); // double -> single, once
}

double subtone_output(float r, int64_t mode, float approx)
{
    if (mode == 0)
        return static_cast<double>(r);
    const float m = hz_to_midi(r);
    if (approx == 0.0f) // no grid to round to: the pitch itself
        return static_cast<double>(m);
    const float q = m / approx; // single division
    const double steps = jit_math_round(static_cast<double>(q));
    return static_cast<double>(approx) * steps; // double product
}

double subtone_compute(const float *p, int32_t k, int64_t mode, float approx, float tolerance)
{
    const float hi = subtone_upper_bound(p[0], tolerance);
    return subtone_output(subtone_search(p, k, kSubtoneLowest, hi, tolerance), mode, approx);
}

double subtone_compute(const float *p, int32_t k, int64_t mode, float approx, float tolerance,
                       subtone_frame *frames)
{
    const float hi = subtone_upper_bound(p[0], tolerance);
    const float r = subtone_search_stacked(p, k, kSubtoneLowest, hi, tolerance, frames);
    return subtone_output(r, mode, approx);
}

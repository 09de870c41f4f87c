#include "peaks.hpp"

#include <algorithm>
#include <cmath>

namespace qzcli {

namespace {

// Level in dB; silence is a very low level rather than -inf, so that the
// parabola stays finite.
double level_db(float m)
{
    const double v = m > 1e-30f ? static_cast<double>(m) : 1e-30;
    return 20.0 * std::log10(v);
}

} // namespace

void pick_peaks(const float *mags, std::size_t bins, double bin_hz, const PeakOptions &opt,
                std::vector<Peak> &out)
{
    out.clear();
    if (bins < 3 || opt.count == 0)
        return;
    for (std::size_t k = 1; k + 1 < bins; ++k) {
        const float m = mags[k];
        if (!(m > mags[k - 1] && m >= mags[k + 1]))
            continue;
        // Vertex of the parabola through (-1, a), (0, b), (1, c): offset p in
        // bins, |p| <= 1/2 since b is the largest of the three.
        const double a = level_db(mags[k - 1]), b = level_db(m), c = level_db(mags[k + 1]);
        const double denom = a - 2.0 * b + c;
        const double p = denom < 0.0 ? 0.5 * (a - c) / denom : 0.0;
        // The vertex lies at or above b; the lift is capped at 3 dB, more than
        // the 1.4 dB that a Hann window loses at most between two bins, so
        // that a neighbour at the silence floor cannot inflate a peak.
        const double peak_db = std::min(b - 0.25 * (a - c) * p, b + 3.0);
        const double amp = std::pow(10.0, peak_db / 20.0);
        if (!(amp >= opt.min_amp))
            continue;
        out.push_back({(static_cast<double>(k) + p) * bin_hz, amp});
    }
    auto stronger = [](const Peak &x, const Peak &y) {
        return x.amp != y.amp ? x.amp > y.amp : x.freq < y.freq;
    };
    if (out.size() > opt.count) {
        std::partial_sort(out.begin(), out.begin() + static_cast<long>(opt.count), out.end(),
                          stronger);
        out.resize(opt.count);
    }
    if (opt.strongest_first)
        std::sort(out.begin(), out.end(), stronger);
    else
        std::sort(out.begin(), out.end(),
                  [](const Peak &x, const Peak &y) { return x.freq < y.freq; });
}

} // namespace qzcli

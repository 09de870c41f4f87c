// A small spectral peak picker: the strongest local maxima of a magnitude
// spectrum, each refined by a parabola through its three bins' levels.
#ifndef QZ_CLI_PEAKS_HPP
#define QZ_CLI_PEAKS_HPP

#include <cstddef>
#include <vector>

namespace qzcli {

struct Peak {
    double freq = 0.0; // Hz
    double amp = 0.0;  // linear, in the spectrum's own scale
};

struct PeakOptions {
    std::size_t count = 6;        // keep at most this many, the strongest
    double min_amp = 0.0;         // ignore peaks whose (refined) amplitude is below this
    bool strongest_first = false; // order of the result; otherwise lowest frequency first
};

// Peaks of `mags` (bins 0..bins-1, bin k at k * bin_hz Hz). A peak is a bin
// k, 0 < k < bins - 1, louder than bin k - 1 and at least as loud as bin
// k + 1 (a flat top counts once, at its lowest bin). Its frequency and
// amplitude come from the parabola through the three bins' levels in dB.
// Of all peaks, the `count` strongest are kept (equal ones: the lower
// first), then ordered as asked. `out` is cleared first.
void pick_peaks(const float *mags, std::size_t bins, double bin_hz, const PeakOptions &opt,
                std::vector<Peak> &out);

} // namespace qzcli

#endif // QZ_CLI_PEAKS_HPP

// The peak picker on spectra computed here: a plain DFT of Hann-windowed
// sines of known frequency and amplitude, scaled as the front end scales
// aubio's spectra (a sine's peak reads as its amplitude).
#include "peaks.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct Sine {
    double freq, amp;
};

constexpr double kRate = 44100.0;
constexpr std::size_t kSize = 2048;
constexpr double kBinHz = kRate / kSize;

// Magnitudes of bins 0..kSize/2 of the periodic Hann-windowed sum of
// `sines`, times 4 / kSize.
std::vector<float> spectrum(const std::vector<Sine> &sines)
{
    std::vector<double> x(kSize);
    for (std::size_t i = 0; i < kSize; ++i) {
        double v = 0.0;
        for (const Sine &s : sines)
            v += s.amp * std::sin(2.0 * std::numbers::pi * s.freq * static_cast<double>(i) / kRate);
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                              static_cast<double>(kSize));
        x[i] = v * w;
    }
    std::vector<double> cosine(kSize), sine(kSize); // of 2 pi j / kSize
    for (std::size_t j = 0; j < kSize; ++j) {
        const double ph =
            2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(kSize);
        cosine[j] = std::cos(ph);
        sine[j] = std::sin(ph);
    }
    std::vector<float> mags(kSize / 2 + 1);
    for (std::size_t k = 0; k < mags.size(); ++k) {
        double re = 0.0, im = 0.0;
        for (std::size_t i = 0; i < kSize; ++i) {
            re += x[i] * cosine[k * i % kSize];
            im -= x[i] * sine[k * i % kSize];
        }
        mags[k] = static_cast<float>(std::hypot(re, im) * 4.0 / kSize);
    }
    return mags;
}

double db(double a)
{
    return 20.0 * std::log10(a);
}

TEST(Peaks, RefinedFrequencyAndLevelOfSinesBetweenBins)
{
    // Bins are 21.5 Hz wide; the tones sit 0.5, 0.3 and 0.1 bins off a bin,
    // where the raw bin is worst (up to 1.4 dB low, half a bin off).
    const std::vector<Sine> tones = {
        {10.5 * kBinHz, 0.1}, {31.3 * kBinHz, 0.5}, {70.1 * kBinHz, 0.25}};
    const std::vector<float> mags = spectrum(tones);
    qzcli::PeakOptions opt;
    opt.count = 3;
    std::vector<qzcli::Peak> peaks;
    qzcli::pick_peaks(mags.data(), mags.size(), kBinHz, opt, peaks);
    ASSERT_EQ(peaks.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        // Lowest first. A parabola on the dB levels of a Hann main lobe is
        // good to a few hundredths of a bin and, half a bin off, to about a
        // third of a dB (where the raw bin reads 1.4 dB low).
        EXPECT_NEAR(peaks[i].freq, tones[i].freq, 0.05 * kBinHz) << i;
        EXPECT_NEAR(db(peaks[i].amp), db(tones[i].amp), 0.4) << i;
    }
}

TEST(Peaks, KeepsTheStrongestInTheAskedOrder)
{
    const std::vector<Sine> tones = {
        {200.0, 0.05}, {400.0, 0.4}, {600.0, 0.2}, {800.0, 0.1}, {1000.0, 0.3}};
    const std::vector<float> mags = spectrum(tones);
    std::vector<qzcli::Peak> peaks;
    auto freqs = [&] {
        std::vector<long> f;
        for (const qzcli::Peak &p : peaks)
            f.push_back(std::lround(p.freq / 10.0) * 10);
        return f;
    };
    qzcli::PeakOptions opt;
    opt.count = 3;
    qzcli::pick_peaks(mags.data(), mags.size(), kBinHz, opt, peaks);
    EXPECT_EQ(freqs(), (std::vector<long>{400, 600, 1000}));
    opt.strongest_first = true;
    qzcli::pick_peaks(mags.data(), mags.size(), kBinHz, opt, peaks);
    EXPECT_EQ(freqs(), (std::vector<long>{400, 1000, 600}));
    // The threshold applies to the refined level: 0.1 and 0.05 fall below
    // 0.15 whatever the count.
    opt.count = 64;
    opt.strongest_first = false;
    opt.min_amp = 0.15;
    qzcli::pick_peaks(mags.data(), mags.size(), kBinHz, opt, peaks);
    EXPECT_EQ(freqs(), (std::vector<long>{400, 600, 1000}));
}

TEST(Peaks, EdgesOfTheSpectrum)
{
    std::vector<qzcli::Peak> peaks;
    qzcli::PeakOptions opt;
    // Silence, a flat spectrum and a ramp: no bin is louder than its lower
    // neighbour and at least as loud as its upper one.
    for (const std::vector<float> &m : {std::vector<float>(9, 0.0f), std::vector<float>(9, 0.5f),
                                        std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7, 8}}) {
        qzcli::pick_peaks(m.data(), m.size(), 1.0, opt, peaks);
        EXPECT_TRUE(peaks.empty());
    }
    // Bins 0 and the last are never peaks; a plateau counts once; a peak next
    // to an empty bin is lifted by at most 3 dB (here: bins 1 and 2 equal,
    // the vertex half a bin up).
    const std::vector<float> m = {9, 0, 1, 1, 0, 0, 2, 0.5f, 9};
    qzcli::pick_peaks(m.data(), m.size(), 1.0, opt, peaks);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_DOUBLE_EQ(peaks[0].freq, 2.5);
    EXPECT_NEAR(db(peaks[0].amp), 3.0, 1e-9);
    EXPECT_GT(peaks[1].freq, 6.0); // pulled toward the louder neighbour
    EXPECT_LE(peaks[1].freq, 6.5);
    // Too short to hold a peak; count 0 keeps none.
    qzcli::pick_peaks(m.data(), 2, 1.0, opt, peaks);
    EXPECT_TRUE(peaks.empty());
    opt.count = 0;
    qzcli::pick_peaks(m.data(), m.size(), 1.0, opt, peaks);
    EXPECT_TRUE(peaks.empty());
}

} // namespace

// A seeded corpus of chords for comparing the accelerated search with the
// reference: MIDI and Hz chords of 1-24 partials, jittered harmonic
// spectra, and lists salted with zeros, duplicates, negatives, infinities,
// not-a-number and absurdly high or low values, at approximations from 0 to
// 3 semitones (and a few outside that range).
#ifndef QZ_TESTS_SUBTONE_FAST_CORPUS_HPP
#define QZ_TESTS_SUBTONE_FAST_CORPUS_HPP

#include "subtone_search.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

struct chord {
    std::vector<float> hz; // partials as the search sees them
    std::int64_t mode;     // 0 Freq, 1 MIDI
    float approx;
    float tolerance;
};

// Small, portable generator (splitmix64), so the corpus is the same
// everywhere for a given seed.
class chord_source {
  public:
    explicit chord_source(std::uint64_t seed) : state_(seed) {}

    std::uint64_t bits()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(bits() >> 11) * 0x1p-53; }
    double uniform(double a, double b) { return a + (b - a) * unit(); }
    int below(int n) { return static_cast<int>(bits() % static_cast<std::uint64_t>(n)); }

    chord next()
    {
        chord c;
        c.mode = below(2);
        c.approx = pick_approx();
        c.tolerance = tolerance_from_midi(c.approx);
        const int k = pick_count();
        switch (below(6)) {
        case 0: // MIDI pitches of the piano range
        case 1:
            for (int i = 0; i < k; ++i)
                c.hz.push_back(midi_to_hz(pitch(21.0, 108.0)));
            break;
        case 2: // Hz from 20 Hz to 20 kHz, log-uniform, sometimes whole numbers
            for (int i = 0; i < k; ++i) {
                const double f = 20.0 * std::pow(1000.0, unit());
                c.hz.push_back(static_cast<float>(below(3) == 0 ? std::round(f) : f));
            }
            break;
        case 3: { // a jittered harmonic spectrum, partials in any order
            const double f0 = 20.0 * std::pow(100.0, unit());
            const double cents = below(3) == 0 ? 0.0 : uniform(0.0, 60.0);
            for (int i = 0; i < k; ++i) {
                const double h = 1 + below(below(2) == 0 ? 8 : 40);
                const double jitter = std::pow(2.0, uniform(-cents, cents) / 1200.0);
                c.hz.push_back(static_cast<float>(f0 * h * jitter));
            }
            break;
        }
        case 4: // low MIDI pitches, where fits crowd near 1 Hz
            for (int i = 0; i < k; ++i)
                c.hz.push_back(midi_to_hz(pitch(-40.0, 40.0)));
            break;
        default: // whole range of MIDI pitches, some absurd
            for (int i = 0; i < k; ++i)
                c.hz.push_back(midi_to_hz(pitch(0.0, below(4) == 0 ? 300.0 : 140.0)));
            break;
        }
        salt(c.hz);
        return c;
    }

  private:
    std::uint64_t state_;

    float pitch(double lo, double hi)
    {
        const double m = uniform(lo, hi);
        switch (below(4)) {
        case 0:
            return static_cast<float>(std::round(m));
        case 1:
            return static_cast<float>(std::round(m * 2.0) / 2.0);
        default:
            return static_cast<float>(m);
        }
    }

    float pick_approx()
    {
        static const float grid[] = {0.0f,  0.01f, 0.02f, 0.05f, 0.1f,
                                     0.25f, 0.5f,  1.0f,  2.0f,  3.0f};
        switch (below(16)) {
        case 0:
            return static_cast<float>(uniform(-1.0, 0.0)); // a negative tolerance
        case 1:
            return static_cast<float>(uniform(3.0, 40.0)); // wider than an octave window
        case 2:
        case 3:
        case 4:
        case 5:
            return static_cast<float>(uniform(0.0, 3.0));
        default:
            return grid[below(10)];
        }
    }

    int pick_count()
    {
        switch (below(8)) {
        case 0:
            return 1 + below(24);
        case 1:
        case 2:
            return 1 + below(12);
        default:
            return 1 + below(7);
        }
    }

    // Now and then replace or insert special values.
    void salt(std::vector<float> &p)
    {
        constexpr float inf = std::numeric_limits<float>::infinity();
        static const float specials[] = {0.0f,
                                         -0.0f,
                                         inf,
                                         -inf,
                                         std::numeric_limits<float>::quiet_NaN(),
                                         -440.0f,
                                         -1.0f,
                                         -1e-30f,
                                         1.0f,
                                         1.5f,
                                         0.5f,
                                         1e-40f,
                                         1e-30f,
                                         2e6f,
                                         1.6777216e7f,
                                         3e7f,
                                         1e20f,
                                         std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::min()};
        if (below(4) != 0)
            return;
        const int edits = 1 + below(3);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = static_cast<std::size_t>(below(static_cast<int>(p.size())));
            switch (below(4)) {
            case 0: // duplicate a partial
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(at), p[at]);
                break;
            case 1: // insert a special value
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(at),
                         specials[below(sizeof specials / sizeof specials[0])]);
                break;
            default: // replace by a special value (the first one too)
                p[at] = specials[below(sizeof specials / sizeof specials[0])];
                break;
            }
        }
    }
};

#endif // QZ_TESTS_SUBTONE_FAST_CORPUS_HPP

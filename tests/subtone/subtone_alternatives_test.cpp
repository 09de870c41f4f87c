// The lower fundamentals that fit a chord better (subtone_find_alternatives),
// against a reference of this file's own: a dense scan of frequencies in
// cents, each partial heard as its nearest harmonic (chosen by comparing
// ratios, not cents), grouped into hearings of equal harmonic numbers, with
// the least largest deviation of each group found by the scan. It uses the
// C library's log2 and exp2 where the code under test uses crmath's.
#include "subtone_alternatives.h"
#include "subtone_explain.h"
#include "subtone_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Chord {
    std::vector<float> p;
    float approx;
};

struct Listing {
    bool ok = false;
    subtone_explanation e;
    subtone_alternatives a;
};

Listing list(const Chord &c, double floor_hz, std::int32_t count)
{
    Listing l;
    const float t = tolerance_from_midi(c.approx);
    subtone_workspace ws{};
    const auto k = static_cast<std::int32_t>(c.p.size());
    if (subtone_explain(ws, c.p.data(), k, 0, c.approx, t, l.e) == SUBTONE_FAST_OK)
        l.ok = subtone_find_alternatives(c.p.data(), k, t, l.e, floor_hz, count, l.a);
    subtone_workspace_free(&ws);
    return l;
}

bool windowed(float f)
{
    return std::isfinite(f) && f > 0.0f;
}

// The reference's hearing of one frequency f: each partial's nearest
// harmonic (0 for a partial without a window) into n, and the largest
// deviation, in cents.
double hear_at(const std::vector<float> &p, double f, std::vector<double> &n)
{
    double lo = INFINITY, hi = -INFINITY; // ratios of partial to harmonic
    for (std::size_t i = 0; i < p.size(); ++i) {
        n[i] = 0.0;
        if (!windowed(p[i]))
            continue;
        const double r = static_cast<double>(p[i]) / f;
        double h = std::floor(r);
        // h or h + 1, whichever r / h is nearer 1 in ratio
        if (h < 1.0 || r * r > h * (h + 1.0))
            h += 1.0;
        n[i] = h;
        lo = std::min(lo, r / h);
        hi = std::max(hi, r / h);
    }
    return std::max(1200.0 * std::log2(hi), -1200.0 * std::log2(lo));
}

// Cents between scanned frequencies: a coarse scan finds the hearings, a
// fine one around each hearing's best point finds its least deviation.
constexpr double kCoarse = 0.05;
constexpr double kStep = 0.004;

// The least largest deviation of the partials heard as `n`, over [xlo, xhi].
double reference_fit(const std::vector<float> &p, const std::vector<double> &n, double xlo,
                     double xhi)
{
    double best = INFINITY;
    for (double x = xlo;; x += kStep) {
        x = std::min(x, xhi);
        double worst = 0.0;
        for (std::size_t i = 0; i < p.size(); ++i)
            if (n[i] > 0.0)
                worst =
                    std::max(worst, std::fabs(1200.0 * std::log2(static_cast<double>(p[i]) /
                                                                 (n[i] * std::exp2(x / 1200.0)))));
        best = std::min(best, worst);
        if (x >= xhi)
            return best;
    }
}

struct RefHearing {
    std::vector<double> n;
    double x = 0.0;
    double fit = INFINITY;
};

// The alternatives as the definition gives them, from the scan. `ambiguous`
// is set when a decision lies within the scan's error of its threshold: the
// comparison then stops there.
std::vector<RefHearing> reference(const Chord &c, const Listing &l, double floor_hz,
                                  std::size_t count, bool &ambiguous)
{
    const double within =
        1200.0 * std::log2(1.0 + static_cast<double>(tolerance_from_midi(c.approx)));
    const double top = 1200.0 * std::log2(static_cast<double>(l.e.found));
    const double bottom = 1200.0 * std::log2(floor_hz);
    std::vector<RefHearing> groups;
    std::vector<double> n(c.p.size());
    const double down = std::exp2(-kCoarse / 1200.0);
    double f = std::exp2((top - kStep / 2) / 1200.0);
    for (double x = top - kStep / 2; x >= bottom; x -= kCoarse, f *= down) {
        const double fit = hear_at(c.p, f, n);
        if (groups.empty() || groups.back().n != n)
            groups.push_back({n, x, fit});
        else if (fit < groups.back().fit) {
            groups.back().x = x;
            groups.back().fit = fit;
        }
    }
    for (RefHearing &g : groups) {
        const double from = std::min(top - kStep / 2, g.x + kCoarse);
        const double to = std::max(bottom, g.x - kCoarse);
        for (double x = from; x >= to; x -= kStep) {
            const double fit = hear_at(c.p, std::exp2(x / 1200.0), n);
            if (n == g.n && fit < g.fit) {
                g.x = x;
                g.fit = fit;
            }
        }
    }
    const double margin = 0.01;
    ambiguous = false;
    double record = l.a.result.fit;
    std::vector<RefHearing> listed;
    for (const RefHearing &g : groups) {
        if (listed.size() == count || g.n == l.a.result.harmonics)
            continue;
        const double need = std::min(within, record - kSubtoneTruerCents);
        if (std::fabs(g.fit - need) < margin) {
            ambiguous = true;
            break;
        }
        if (g.fit < need) {
            listed.push_back(g);
            record = g.fit;
        }
    }
    return listed;
}

// Compares the listing of `c` with the reference; false when the reference
// could not decide (the chord is then counted, not compared).
bool agrees(const Chord &c, double floor_hz, std::size_t count, const std::string &what)
{
    const Listing l = list(c, floor_hz, static_cast<std::int32_t>(count));
    if (!l.ok)
        return true; // nothing found: nothing to list
    SCOPED_TRACE(what);
    EXPECT_TRUE(l.a.complete);
    // The object's own hearing: its harmonic numbers, the fit over its interval.
    for (std::size_t i = 0; i < c.p.size(); ++i)
        EXPECT_EQ(l.a.result.harmonics[i],
                  windowed(c.p[i]) ? static_cast<double>(l.e.partials[i].harmonic) : 0.0);
    EXPECT_NEAR(l.a.result.fit,
                reference_fit(c.p, l.a.result.harmonics,
                              1200.0 * std::log2(static_cast<double>(l.e.lo)),
                              1200.0 * std::log2(static_cast<double>(l.e.hi))),
                0.01);
    bool ambiguous = false;
    const std::vector<RefHearing> ref = reference(c, l, floor_hz, count, ambiguous);
    const std::size_t n = ambiguous ? std::min(ref.size(), l.a.lower.size()) : ref.size();
    if (!ambiguous) {
        EXPECT_EQ(l.a.lower.size(), ref.size());
    }
    for (std::size_t i = 0; i < n && i < l.a.lower.size(); ++i) {
        EXPECT_EQ(l.a.lower[i].harmonics, ref[i].n) << "alternative " << i + 1;
        EXPECT_NEAR(l.a.lower[i].fit, ref[i].fit, 0.01) << "alternative " << i + 1;
        EXPECT_NEAR(1200.0 * std::log2(l.a.lower[i].hz), ref[i].x, 2 * kStep)
            << "alternative " << i + 1;
    }
    return !ambiguous;
}

TEST(SubtoneAlternatives, WorkedExamples)
{
    // Harmonics 1 to 18 of 100 Hz: the object, at 0.5 semitones, takes 1700
    // and 1800 Hz both as harmonic 17 and finds 102.90 Hz; 100 Hz, with
    // every partial exact, must be listed.
    Chord tone{{}, 0.5f};
    for (int h = 1; h <= 18; ++h)
        tone.p.push_back(100.0f * static_cast<float>(h));
    const Listing l = list(tone, kSubtoneFloorHz, 5);
    ASSERT_TRUE(l.ok);
    EXPECT_NEAR(l.e.found, 102.90f, 0.01f);
    EXPECT_EQ(l.a.result.harmonics[16], 17.0);
    EXPECT_EQ(l.a.result.harmonics[17], 17.0);
    EXPECT_GT(l.a.result.fit, 45.0);
    const auto hundred = std::find_if(l.a.lower.begin(), l.a.lower.end(), [](const auto &h) {
        return std::fabs(1200.0 * std::log2(h.hz / 100.0)) < 1.0;
    });
    ASSERT_NE(hundred, l.a.lower.end());
    for (int h = 1; h <= 18; ++h)
        EXPECT_EQ(hundred->harmonics[static_cast<std::size_t>(h - 1)], h);
    EXPECT_LT(hundred->fit, 0.01);
    // Nothing lower can fit better than exactly: the list ends there.
    EXPECT_EQ(&*hundred, &l.a.lower.back());

    // C4 E4 G4 B4 (equal temperament): the object hears harmonics 6 8 9 12
    // of E1+48c; C1, as 8 10 12 15, fits every partial within 14 cents.
    Chord maj7{{}, 0.5f};
    for (const int m : {60, 64, 67, 71})
        maj7.p.push_back(static_cast<float>(440.0 * std::exp2((m - 69) / 12.0)));
    const Listing m = list(maj7, kSubtoneFloorHz, 5);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.a.result.harmonics, (std::vector<double>{6, 8, 9, 12}));
    const auto c1 = std::find_if(m.a.lower.begin(), m.a.lower.end(), [](const auto &h) {
        return h.harmonics == std::vector<double>{8, 10, 12, 15};
    });
    ASSERT_NE(c1, m.a.lower.end());
    EXPECT_NEAR(c1->hz, 32.70, 0.2);
    EXPECT_LT(c1->fit, 14.0);

    // A count of 0 lists nothing below, the object's own hearing still; a
    // floor above the result leaves nothing to list.
    EXPECT_TRUE(list(maj7, kSubtoneFloorHz, 0).a.lower.empty());
    EXPECT_TRUE(list(maj7, 50.0, 5).a.lower.empty());
    // A partial without a window has no harmonic and no say in the fit.
    Chord gap{{440.0f, 0.0f, 660.0f}, 0.5f};
    const Listing g = list(gap, kSubtoneFloorHz, 5);
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.a.result.harmonics, (std::vector<double>{2, 0, 3}));
    EXPECT_LT(g.a.result.fit, 0.01);
}

TEST(SubtoneAlternatives, AgreeWithADenseScan)
{
    std::vector<Chord> chords;
    // The corpus chords of audible partials (its others are edge values the
    // object's own tests cover).
    const std::string path = std::string(QZ_TESTS_SOURCE_DIR) + "/corpus/chords_hz.txt";
    std::ifstream corpus(path);
    ASSERT_TRUE(corpus) << path;
    std::string line;
    while (std::getline(corpus, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream in(line);
        Chord c{{}, 0.5f};
        std::string w;
        bool audible = true;
        while (in >> w) {
            char *end = nullptr;
            const float v = std::strtof(w.c_str(), &end);
            audible = audible && *end == '\0' && v >= 20.0f && v <= 5000.0f;
            c.p.push_back(v);
        }
        if (audible && !c.p.empty() && c.p.size() <= 12)
            chords.push_back(c);
    }
    EXPECT_GT(chords.size(), 20u);
    // Random chords: 2 to 8 partials from 55 to 440 Hz and three octaves up,
    // three approximations.
    std::mt19937 rng(20261209);
    std::uniform_real_distribution<float> cents(0.0f, 3600.0f);
    std::uniform_int_distribution<int> size(2, 8);
    const float approxes[] = {0.25f, 0.5f, 1.0f};
    for (int i = 0; i < 36; ++i) {
        Chord c{{}, approxes[i % 3]};
        for (int j = size(rng); j > 0; --j)
            c.p.push_back(55.0f * std::exp2(cents(rng) / 1200.0f));
        chords.push_back(c);
    }
    int compared = 0, undecided = 0;
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const Listing l = list(chords[i], kSubtoneFloorHz, 0);
        if (!l.ok)
            continue;
        // Two octaves below the result keep the scan short.
        const double floor_hz = std::max(kSubtoneFloorHz, static_cast<double>(l.e.found) / 4.0);
        (agrees(chords[i], floor_hz, 8, "chord " + std::to_string(i)) ? compared : undecided)++;
    }
    EXPECT_GT(compared, 50);
    EXPECT_LT(undecided, compared / 10);
}

TEST(SubtoneAlternatives, WorkIsBounded)
{
    // 64 partials of up to 20 kHz against the default floor: hundreds of
    // thousands of ranges, cut by the budget, which is said.
    Chord wide{{}, 0.5f};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> hz(5000.0f, 20000.0f);
    wide.p.push_back(20000.0f);
    for (int i = 1; i < 64; ++i)
        wide.p.push_back(hz(rng));
    const Listing l = list(wide, kSubtoneFloorHz, 1000);
    ASSERT_TRUE(l.ok);
    EXPECT_LE(l.a.steps, kSubtoneAlternativesBudget);
    if (!l.a.complete) {
        EXPECT_GT(l.a.stopped_hz, kSubtoneFloorHz);
        EXPECT_LT(l.a.stopped_hz, static_cast<double>(l.e.found));
    }
}

} // namespace

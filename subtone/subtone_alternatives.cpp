#include "subtone_alternatives.h"

#include "crmath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kCentsPerOctave = 1200.0;

double cents_of(double v)
{
    return kCentsPerOctave * crmath::log2(v);
}

// The ratio that is `cents` cents.
double exp2_of_cents(double cents)
{
    return crmath::exp2(cents / kCentsPerOctave);
}

bool windowed(float f)
{
    return std::isfinite(f) && f > 0.0f;
}

// Whether the tracks hear the object's own harmonic numbers.
template <class Tracks> bool own(const Tracks &tracks, const std::vector<double> &harmonics)
{
    for (const auto &t : tracks)
        if (t.n != harmonics[static_cast<std::size_t>(t.partial)])
            return false;
    return true;
}

// Where the largest deviation from the fundamentals that the partials
// imply, qmin to qmax (each partial divided by its harmonic number), is
// least within [lo, hi] Hz: their geometric middle, kept inside the range.
// Returns that frequency; *ratio receives the largest deviation there as a
// ratio (1 or more).
double best_point(double qmin, double qmax, double lo, double hi, double *ratio)
{
    const double f = std::clamp(std::sqrt(qmin * qmax), lo, hi);
    *ratio = std::max(qmax / f, f / qmin);
    return f;
}

// One partial as the sweep hears it: its harmonic n, the fundamental that
// implies (q = p / n), and the frequency below which, going down, the next
// harmonic is the nearer one in cents (p / sqrt(n (n + 1))).
struct Track {
    std::int32_t partial;
    double p;
    double n;
    double q;
    double turn;
};

void hear(Track &t, double n)
{
    t.n = n;
    t.q = t.p / n;
    t.turn = t.p / std::sqrt(n * (n + 1.0));
}

// The track of partial p heard nearest at f: the harmonic whose range of
// nearness [turn, turn of the one below] holds f.
Track track_at(std::int32_t i, float p, double f)
{
    Track t{};
    t.partial = i;
    t.p = static_cast<double>(p);
    hear(t, std::max(1.0, std::floor(t.p / f)));
    while (f < t.turn) // heard lower down: a higher harmonic
        hear(t, t.n + 1.0);
    while (t.n > 1.0 && f > t.p / std::sqrt(t.n * (t.n - 1.0)))
        hear(t, t.n - 1.0); // above the turn of the harmonic below: that one
    return t;
}

} // namespace

bool subtone_find_alternatives(const float *p, std::int32_t k, float tolerance,
                               const subtone_explanation &e, double floor_hz, std::int32_t count,
                               subtone_alternatives &out)
{
    out = subtone_alternatives{};
    if (!e.accepted || k < 1 || static_cast<std::int32_t>(e.partials.size()) != k)
        return false;
    const double top = static_cast<double>(e.found);
    const double bottom = std::max(floor_hz, 1.0);
    const double within = cents_of(1.0 + static_cast<double>(tolerance));

    // The object's own hearing: its harmonic numbers over its last interval.
    double qmin = std::numeric_limits<double>::infinity();
    double qmax = -qmin;
    out.result.harmonics.assign(static_cast<std::size_t>(k), 0.0);
    for (std::int32_t i = 0; i < k; ++i) {
        const float n = e.partials[static_cast<std::size_t>(i)].harmonic;
        if (!windowed(p[i]) || !(n > 0.0f) || !std::isfinite(n))
            continue;
        out.result.harmonics[static_cast<std::size_t>(i)] = static_cast<double>(n);
        const double q = static_cast<double>(p[i]) / static_cast<double>(n);
        qmin = std::min(qmin, q);
        qmax = std::max(qmax, q);
    }
    if (!(qmin <= qmax))
        return false; // no partial with a window: nothing to hear
    double ratio = 1.0;
    out.result.hz =
        best_point(qmin, qmax, static_cast<double>(e.lo), static_cast<double>(e.hi), &ratio);
    out.result.fit = cents_of(ratio);

    // The sweep, from the object's result down to the floor, range by range
    // of equal nearest harmonics. Fits are compared as ratios, against the
    // largest ratio a new alternative may have; cents are taken only of
    // what is listed.
    std::vector<Track> tracks;
    for (std::int32_t i = 0; i < k; ++i)
        if (windowed(p[i]))
            tracks.push_back(track_at(i, p[i], top));
    const auto width = static_cast<std::uint64_t>(tracks.size());
    double record = out.result.fit;
    auto limit_of = [within](double r) {
        return exp2_of_cents(std::min(within, r - kSubtoneTruerCents));
    };
    double limit = limit_of(record);
    double f_hi = top;
    while (f_hi > bottom && static_cast<std::int32_t>(out.lower.size()) < count &&
           record >= kSubtoneTruerCents) {
        if (out.steps + width > kSubtoneAlternativesBudget) {
            out.complete = false;
            out.stopped_hz = f_hi;
            break;
        }
        out.steps += width;
        double next = 0.0;
        qmin = std::numeric_limits<double>::infinity();
        qmax = -qmin;
        for (const Track &t : tracks) {
            next = std::max(next, t.turn);
            qmin = std::min(qmin, t.q);
            qmax = std::max(qmax, t.q);
        }
        const double f = best_point(qmin, qmax, std::max(next, bottom), f_hi, &ratio);
        if (ratio <= limit && f < top && !own(tracks, out.result.harmonics)) {
            subtone_hearing h;
            h.hz = f;
            h.fit = cents_of(ratio);
            h.harmonics.assign(static_cast<std::size_t>(k), 0.0);
            for (const Track &t : tracks)
                h.harmonics[static_cast<std::size_t>(t.partial)] = t.n;
            out.lower.push_back(std::move(h));
            record = out.lower.back().fit;
            limit = limit_of(record);
        }
        f_hi = next;
        for (Track &t : tracks)
            if (t.turn == next)
                hear(t, t.n + 1.0);
    }
    return true;
}

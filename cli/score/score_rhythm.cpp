#include "score_rhythm.hpp"

#include <algorithm>

namespace qzcli {

namespace {

constexpr const char *kTypes[] = {"whole", "half", "quarter", "eighth",
                                  "16th",  "32nd", "64th",    "128th"};
constexpr int kLastType = 7;

bool power_of_two(std::int64_t v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

int log2_of(std::int64_t v)
{
    int l = 0;
    while (v > 1) {
        v >>= 1;
        ++l;
    }
    return l;
}

// `ticks` as `values`, longest first.
void plain_pieces(std::int64_t ticks, const std::vector<Value> &values, std::vector<Piece> &out)
{
    for (const Value &v : values)
        while (ticks >= v.ticks && out.size() < 256) {
            out.push_back({v.ticks, v.type, v.dots});
            ticks -= v.ticks;
        }
    if (ticks > 0)
        out.push_back({ticks, nullptr, 0});
}

} // namespace

std::vector<Value> note_values(std::int64_t tpq)
{
    static const struct {
        const char *type;
        std::int64_t num, den; // quarters
    } kValues[] = {{"whole", 4, 1},  {"half", 2, 1}, {"quarter", 1, 1},
                   {"eighth", 1, 2}, {"16th", 1, 4}, {"32nd", 1, 8}};
    std::vector<Value> v;
    for (const auto &t : kValues) {
        if ((tpq * t.num * 3) % (t.den * 2) == 0)
            v.push_back({t.type, 1, tpq * t.num * 3 / (t.den * 2)});
        if ((tpq * t.num) % t.den == 0)
            v.push_back({t.type, 0, tpq * t.num / t.den});
    }
    return v;
}

std::vector<TupletBeat> tuplet_beats(std::int64_t start, std::int64_t end, std::int64_t tpq,
                                     int beat_type, const std::vector<std::int64_t> &cuts,
                                     const std::vector<Value> &values)
{
    std::vector<TupletBeat> out;
    if (!power_of_two(beat_type) || beat_type > 64 || (tpq * 4) % beat_type != 0 || values.empty())
        return out;
    const std::int64_t beat = tpq * 4 / beat_type;
    const std::int64_t finest = values.back().ticks; // the shortest written value
    for (std::int64_t b = start; b < end; b += beat) {
        const std::int64_t be = std::min(end, b + beat);
        std::vector<std::int64_t> in;
        bool plain = true;
        for (const std::int64_t c : cuts)
            if (c > b && c < be) {
                in.push_back(c - b);
                plain = plain && (c - b) % finest == 0;
            }
        if (plain || be - b != beat)
            continue;
        for (std::int64_t n = 3; n <= 32; ++n) {
            if (power_of_two(n) || beat % n != 0)
                continue;
            const std::int64_t unit = beat / n;
            if (!std::all_of(in.begin(), in.end(),
                             [unit](std::int64_t o) { return o % unit == 0; }))
                continue;
            std::int64_t normal = 1;
            while (normal * 2 < n)
                normal *= 2;
            const int type = log2_of(beat_type) + log2_of(normal);
            if (type <= kLastType)
                out.push_back({b, be, unit, static_cast<int>(n), static_cast<int>(normal), type});
            break;
        }
    }
    return out;
}

std::vector<Piece> rhythm_pieces(std::int64_t from, std::int64_t to,
                                 const std::vector<TupletBeat> &tuplets,
                                 const std::vector<Value> &values)
{
    std::vector<Piece> out;
    std::int64_t t = from;
    while (t < to && out.size() < 256) {
        const auto it = std::find_if(tuplets.begin(), tuplets.end(),
                                     [t](const TupletBeat &b) { return b.end > t; });
        if (it == tuplets.end() || it->start > t) {
            plain_pieces(std::min(to, it == tuplets.end() ? to : it->start) - t, values, out);
            t = std::min(to, it == tuplets.end() ? to : it->start);
            continue;
        }
        // Inside a tuplet beat: j units at a time, j the largest of 1, 2,
        // 3, 4, 6, 8, 12, ... (a plain or dotted value of units) that fits.
        const TupletBeat &b = *it;
        const std::int64_t stop = std::min(to, b.end);
        std::int64_t units = (stop - t) / b.unit;
        while (units > 0) {
            // The largest power of two j <= units that a type still names,
            // or its dotted form (1.5 j) when that fits too.
            int type = b.unit_type, dots = 0;
            std::int64_t j = 1;
            while (type > 0 && j * 2 <= units) {
                j *= 2;
                --type;
            }
            if (j >= 2 && j + j / 2 <= units) {
                j += j / 2;
                dots = 1;
            }
            Piece p{j * b.unit, kTypes[type], dots, b.actual, b.normal};
            p.tuplet_start = t == b.start;
            t += j * b.unit;
            units -= j;
            p.tuplet_stop = t == b.end;
            out.push_back(p);
        }
        if (t < stop) // not on the beat's units: cannot happen for its own cuts
            out.push_back({stop - t, nullptr, 0});
        t = stop;
    }
    return out;
}

} // namespace qzcli

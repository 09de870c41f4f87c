#include "score_chords.hpp"

#include "cli_common.hpp"
#include "notes.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace qzcli {

bool select_parts(const Score &score, const std::string &list, std::vector<bool> &selected,
                  std::string &error)
{
    selected.assign(score.parts.size(), list.empty());
    std::size_t from = 0;
    while (!list.empty() && from <= list.size()) {
        const std::size_t comma = std::min(list.find(',', from), list.size());
        const std::string word = list.substr(from, comma - from);
        from = comma + 1;
        bool found = false;
        for (std::size_t i = 0; i < score.parts.size(); ++i)
            if (score.parts[i] == word) {
                selected[i] = true;
                found = true;
            }
        long n = 0;
        if (!found && parse_long(word, n) && n >= 1 &&
            static_cast<std::size_t>(n) <= score.parts.size()) {
            selected[static_cast<std::size_t>(n - 1)] = true;
            found = true;
        }
        if (!found) {
            // Name them all, with their numbers, so that the next try hits.
            const std::string kind = score.midi ? "track" : "part";
            error = "--parts: no " + kind + " '" + word + "'; the " + kind + "s are";
            for (std::size_t i = 0; i < score.parts.size(); ++i)
                error += (i == 0 ? " " : ", ") + std::to_string(i + 1) +
                         (score.parts[i].empty() ? std::string(" (no name)")
                                                 : " '" + score.parts[i] + "'");
            if (score.parts.empty())
                error += " none";
            return false;
        }
    }
    return true;
}

std::vector<ScoreNote> merged_notes(const Score &score, const std::vector<ScoreNote> &notes,
                                    double merge_s)
{
    // Every time a note starts or ends, and whether one starts there.
    std::map<std::int64_t, bool> times;
    for (const ScoreNote &n : notes) {
        times[n.start] = true;
        times.emplace(n.end, false);
    }
    std::map<std::int64_t, std::int64_t> to; // time -> merged time
    for (auto it = times.begin(); it != times.end();) {
        const double first = midi_seconds(score, it->first);
        auto end = it;
        std::int64_t merged = it->first;
        bool start_seen = false;
        for (; end != times.end() && midi_seconds(score, end->first) - first < merge_s; ++end)
            if (end->second && !start_seen) {
                merged = end->first;
                start_seen = true;
            }
        for (; it != end; ++it)
            to[it->first] = merged;
    }
    std::vector<ScoreNote> out;
    out.reserve(notes.size());
    for (ScoreNote n : notes) {
        n.start = to[n.start];
        n.end = to[n.end];
        if (n.end > n.start)
            out.push_back(n);
    }
    return out;
}

bool score_chords(const Score &score, const std::vector<bool> &selected, double merge_s,
                  std::vector<ScoreChord> &chords, std::string &error)
{
    chords.clear();
    // The selected notes (merged: a part left out moves no other's times).
    const bool merge = score.midi && merge_s > 0.0;
    std::vector<ScoreNote> notes;
    for (const ScoreNote &n : score.notes)
        if (static_cast<std::size_t>(n.part) < selected.size() &&
            selected[static_cast<std::size_t>(n.part)])
            notes.push_back(n);
    if (merge)
        notes = merged_notes(score, notes, merge_s);
    // Every start and end of a selected note, in time order; at one time
    // the ends come first.
    struct Edge {
        std::int64_t tick;
        int delta; // -1 end, +1 start
        double pitch;
        double velocity;
    };
    std::vector<Edge> edges;
    for (const ScoreNote &n : notes)
        if (n.end > n.start && static_cast<std::size_t>(n.part) < selected.size() &&
            selected[static_cast<std::size_t>(n.part)]) {
            edges.push_back({n.start, +1, n.pitch, n.velocity});
            edges.push_back({n.end, -1, n.pitch, n.velocity});
        }
    std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) {
        return a.tick != b.tick ? a.tick < b.tick : a.delta < b.delta;
    });
    // pitch -> the velocities of the notes that sound it
    std::map<double, std::multiset<double>> sounding;
    for (std::size_t i = 0; i < edges.size();) {
        const std::int64_t tick = edges[i].tick;
        for (; i < edges.size() && edges[i].tick == tick; ++i) {
            std::multiset<double> &v = sounding[edges[i].pitch];
            if (edges[i].delta > 0)
                v.insert(edges[i].velocity);
            else if (const auto it = v.find(edges[i].velocity); it != v.end())
                v.erase(it);
            if (v.empty())
                sounding.erase(edges[i].pitch);
        }
        if (sounding.empty() || i == edges.size())
            continue;
        if (sounding.size() > kScoreMaxChordPitches) {
            error = score_position(score, tick) + ": a chord of more than " +
                    std::to_string(kScoreMaxChordPitches) + " pitches";
            return false;
        }
        if (merge && midi_seconds(score, edges[i].tick) - midi_seconds(score, tick) < merge_s)
            continue; // a sound shorter than the merge time makes no chord
        ScoreChord c;
        c.start = tick;
        c.end = edges[i].tick;
        for (const auto &[pitch, v] : sounding) {
            c.pitches.push_back(pitch);
            c.velocities.push_back(*v.rbegin());
        }
        chords.push_back(std::move(c));
    }
    return true;
}

namespace {

const ScoreMeasure *measure_at(const Score &score, std::int64_t tick)
{
    const auto it =
        std::upper_bound(score.measures.begin(), score.measures.end(), tick,
                         [](std::int64_t t, const ScoreMeasure &m) { return t < m.start; });
    return it == score.measures.begin() ? nullptr : &*(it - 1);
}

} // namespace

int score_fifths(const Score &score, std::int64_t tick)
{
    if (score.midi) {
        const auto it =
            std::upper_bound(score.keys.begin(), score.keys.end(), tick,
                             [](std::int64_t t, const Score::Key &k) { return t < k.tick; });
        return it == score.keys.begin() ? 0 : (it - 1)->fifths;
    }
    const ScoreMeasure *m = measure_at(score, tick);
    return m ? m->fifths : 0;
}

std::string score_position(const Score &score, std::int64_t tick)
{
    char buf[64];
    if (score.midi) {
        std::snprintf(buf, sizeof buf, "%.3f s", midi_seconds(score, tick));
        return buf;
    }
    const ScoreMeasure *found = measure_at(score, tick);
    if (!found)
        return "tick " + std::to_string(tick);
    const ScoreMeasure &m = *found;
    // A beat is the time signature's unit: 4 / beat-type quarter notes.
    const double beat_ticks =
        static_cast<double>(score.ticks_per_quarter) * 4.0 / static_cast<double>(m.beat_type);
    const double beat = 1.0 + static_cast<double>(tick - m.start) / beat_ticks;
    std::snprintf(buf, sizeof buf, "%.3f", beat);
    std::string b = buf;
    while (b.back() == '0')
        b.pop_back();
    if (b.back() == '.')
        b.pop_back();
    return "measure " + (m.number.empty() ? "?" : m.number) + " beat " + b;
}

} // namespace qzcli

// A MusicXML score as a Standard MIDI File (format 1), for -o OUT.mid from
// MusicXML: a first track with the tempo map (<sound tempo>, 120 until the
// first), the time and the concert key signatures, then one track per part
// with its notes at concert pitch, and the fundamentals' track that
// write_score_midi adds.
#include "score_writers.hpp"
#include "smf_bytes.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace qzcli {

namespace {

// MIDI's division is 15 bits: a finer score is played at 960 a quarter.
constexpr std::int64_t kMaxDivision = 32767, kFallbackDivision = 960;

struct Ticks {
    std::int64_t from = 1, to = 1; // a tick is to / from MIDI ticks
    std::int64_t operator()(std::int64_t t) const
    {
        return from == to ? t : (t * to + from / 2) / from;
    }
};

void meta(Track &t, std::int64_t tick, unsigned type, const std::string &data)
{
    t.event(tick, {0xff, type});
    put_vlq(t.data, data.size());
    t.data += data;
}

int log2_of(int v)
{
    int l = 0;
    while (v > 1) {
        v >>= 1;
        ++l;
    }
    return l;
}

} // namespace

bool write_musicxml_midi(const Score &score, const std::vector<ScoreChord> &chords,
                         const SubtoneScore &opt, std::string &out, std::string &error)
{
    const Ticks ticks{score.ticks_per_quarter, score.ticks_per_quarter <= kMaxDivision
                                                   ? score.ticks_per_quarter
                                                   : kFallbackDivision};
    // The first track's meta events, put in time order before they are
    // written (a track's times only go forward).
    struct Meta {
        std::int64_t tick;
        unsigned type;
        std::string data;
    };
    std::vector<Meta> metas;
    for (const Score::Tempo &t : score.tempo) {
        const auto us =
            static_cast<std::uint32_t>(std::clamp(std::lround(t.us_per_quarter), 1L, 0xffffffL));
        metas.push_back(
            {ticks(t.tick), 0x51,
             std::string{static_cast<char>(us >> 16), static_cast<char>((us >> 8) & 0xff),
                         static_cast<char>(us & 0xff)}});
    }
    std::int64_t last = 0;
    for (std::size_t i = 0; i < score.measures.size(); ++i) {
        const ScoreMeasure &m = score.measures[i];
        const std::int64_t at = ticks(m.start);
        if (i == 0 || m.time_change)
            metas.push_back({at, 0x58,
                             std::string{static_cast<char>(m.beats),
                                         static_cast<char>(log2_of(m.beat_type)), 24, 8}});
        if (i == 0 || m.key_change)
            metas.push_back({at, 0x59, std::string{static_cast<char>(m.fifths), 0}});
        last = std::max(last, ticks(m.start + m.length));
    }
    std::stable_sort(metas.begin(), metas.end(),
                     [](const Meta &x, const Meta &y) { return x.tick < y.tick; });
    Track head;
    for (const Meta &e : metas)
        meta(head, e.tick, e.type, e.data);
    head.event(last, {0xff, 0x2f, 0x00});
    std::vector<Track> tracks(score.parts.size());

    // Each part on its own channel (never 10), 14 of them in turn, so that
    // one stays free for the fundamentals; its quarter tones are bent on it
    // (which bends its other notes sounding then as well).
    std::vector<unsigned> channel(score.parts.size());
    unsigned used = 0;
    for (std::size_t p = 0; p < score.parts.size(); ++p) {
        unsigned c = static_cast<unsigned>(p % 14);
        c += c >= 9 ? 1 : 0;
        channel[p] = c;
        used |= 1u << c;
        Track &t = tracks[p];
        meta(t, 0, 0x03, score.parts[p].substr(0, 256));
        put_bend_range(t, c);
    }
    struct Event {
        std::int64_t tick;
        bool on;
        double pitch, velocity;
        int part;
    };
    std::vector<Event> events;
    events.reserve(score.notes.size() * 2);
    for (const ScoreNote &n : score.notes) {
        events.push_back({ticks(n.start), true, n.pitch, n.velocity, n.part});
        events.push_back({ticks(n.end), false, n.pitch, n.velocity, n.part});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.tick != b.tick ? a.tick < b.tick : (!a.on && b.on);
    });
    std::vector<double> bend(score.parts.size(), 0.0);
    // How many of a part's notes sound each key: voices of one part that
    // share a note (a unison of two voices on one staff) sound it once,
    // from the first start to the last end, as one key can sound but once
    // on a channel.
    std::vector<std::array<int, 128>> sounding(score.parts.size());
    for (auto &keys : sounding)
        keys.fill(0);
    for (const Event &e : events) {
        const double key = std::round(e.pitch);
        if (key < 0.0 || key > 127.0)
            continue;
        const auto p = static_cast<std::size_t>(e.part);
        const unsigned c = channel[p];
        const auto k = static_cast<unsigned>(key);
        Track &t = tracks[p];
        int &count = sounding[p][k];
        if (!e.on) {
            if (--count == 0)
                t.event(e.tick, {0x80 | c, k, 0});
            continue;
        }
        if (count++ > 0)
            continue;
        if (e.pitch - key != bend[p]) {
            bend[p] = e.pitch - key;
            const auto v = static_cast<unsigned>(
                std::clamp(std::lround(8192.0 + bend[p] / kBendRange * 8192.0), 0L, 16383L));
            t.event(e.tick, {0xe0 | c, v & 0x7f, v >> 7});
        }
        // The dynamics attribute is a percentage of forte, velocity 90.
        const auto vel = static_cast<unsigned>(std::clamp(std::lround(e.velocity * 0.9), 1L, 127L));
        t.event(e.tick, {0x90 | c, k, vel});
    }
    std::string smf = "MThd";
    put_be(smf, 6, 4);
    put_be(smf, 1, 2);
    put_be(smf, static_cast<std::uint32_t>(tracks.size() + 1), 2);
    put_be(smf, static_cast<std::uint32_t>(ticks.to), 2);
    auto append = [&smf](const Track &t) {
        smf += "MTrk";
        put_be(smf, static_cast<std::uint32_t>(t.data.size()), 4);
        smf += t.data;
    };
    append(head);
    for (Track &t : tracks) {
        t.event(std::max(t.at, last), {0xff, 0x2f, 0x00});
        append(t);
    }
    // The fundamentals' track, as for a MIDI score, on this file's ticks.
    Score as_midi;
    as_midi.midi = true;
    as_midi.ticks_per_quarter = ticks.to;
    as_midi.midi_end = smf.size();
    as_midi.used_channels = used;
    std::vector<ScoreChord> on_ticks = chords;
    for (ScoreChord &c : on_ticks) {
        c.start = ticks(c.start);
        c.end = ticks(c.end);
    }
    return write_score_midi(smf, as_midi, on_ticks, opt, out, error);
}

} // namespace qzcli

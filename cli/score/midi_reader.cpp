// Reading Standard MIDI Files (format 0 and 1). Our own small reader: the
// usual Debian library for this (libsmf) is unmaintained and exists for
// none of our cross builds. It reads the header and the tracks, delta
// times, running status, meta events (tempo, key signature, track name, end of
// track),
// skips system exclusive messages, and turns note on/off (a note-on of
// velocity 0 is an off) into notes whose pitch includes the channel's pitch
// bend at the note's start, scaled by the bend range that RPN 0 sets
// (default +-2 semitones). Channel 10 is percussion and makes no notes.
#include "score.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace qzcli {

namespace {

struct Cursor {
    std::string_view b;
    std::size_t pos = 0;
    std::string &error;

    bool fail(std::size_t at, const std::string &what)
    {
        error = "byte " + std::to_string(at) + ": " + what;
        return false;
    }
    bool need(std::size_t n, const char *what)
    {
        if (b.size() - pos < n)
            return fail(b.size(), std::string("truncated ") + what);
        return true;
    }
    std::uint32_t be(std::size_t n)
    {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v = (v << 8) | static_cast<unsigned char>(b[pos++]);
        return v;
    }
    // A variable-length quantity: at most 4 bytes (28 bits).
    bool vlq(std::uint32_t &v, const char *what)
    {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (!need(1, what))
                return false;
            const auto c = static_cast<unsigned char>(b[pos++]);
            v = (v << 7) | (c & 0x7f);
            if ((c & 0x80) == 0)
                return true;
        }
        return fail(pos, std::string("variable-length number of more than 4 bytes in ") + what);
    }
};

struct Channel {
    double bend = 0.0;  // -1..1 of the range
    double range = 2.0; // semitones
    int rpn_msb = 127, rpn_lsb = 127;
    // Per key: the index of its sounding note, or -1.
    std::array<long, 128> open;
    Channel() { open.fill(-1); }
};

} // namespace

bool read_midi(std::string_view bytes, Score &score, std::string &error)
{
    score = Score{};
    score.midi = true;
    Cursor c{bytes, 0, error};
    if (!c.need(8, "header") || bytes.substr(0, 4) != "MThd")
        return c.fail(0, "no MIDI header (MThd)");
    c.pos = 4;
    const std::uint32_t hlen = c.be(4);
    if (hlen < 6 || !c.need(hlen, "header"))
        return c.fail(4, "header shorter than 6 bytes");
    const std::uint32_t format = c.be(2), ntracks = c.be(2), division = c.be(2);
    c.pos = 8 + hlen;
    if (format > 1)
        return c.fail(8,
                      "MIDI file format " + std::to_string(format) + " is not read (only 0 and 1)");
    if (ntracks > kScoreMaxParts)
        return c.fail(10, "more than " + std::to_string(kScoreMaxParts) + " tracks");
    if (format == 0 && ntracks != 1)
        return c.fail(10, "a format 0 file has one track, not " + std::to_string(ntracks));
    if (division == 0)
        return c.fail(12, "division 0");
    score.format = static_cast<int>(format);
    if (division & 0x8000) {
        const int fps = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        const int tpf = static_cast<int>(division & 0xff);
        if (fps <= 0 || tpf == 0)
            return c.fail(12, "bad SMPTE division");
        score.ticks_per_quarter = 0;
        score.smpte_ticks_per_s = (fps == 29 ? 29.97 : fps) * tpf;
    } else {
        score.ticks_per_quarter = division;
    }

    std::size_t events = 0;
    std::uint32_t track = 0;
    score.midi_end = c.pos;
    while (track < ntracks) {
        if (!c.need(8, "track header"))
            return false;
        const std::size_t chunk_at = c.pos;
        const std::string_view id = bytes.substr(c.pos, 4);
        c.pos += 4;
        const std::uint32_t len = c.be(4);
        if (bytes.size() - c.pos < len)
            return c.fail(chunk_at,
                          "truncated track (" + std::to_string(len) + " bytes announced)");
        const std::size_t end = c.pos + len;
        if (id != "MTrk") { // an unknown chunk is skipped, as the standard asks
            c.pos = end;
            continue;
        }
        const int part = static_cast<int>(score.parts.size());
        score.parts.emplace_back();
        std::array<Channel, 16> ch;
        std::int64_t tick = 0;
        unsigned running = 0;
        Cursor t{bytes.substr(0, end), c.pos, error};
        auto close = [&](Channel &k, int key, std::int64_t at) {
            const long i = k.open[key];
            if (i < 0)
                return;
            ScoreNote &n = score.notes[static_cast<std::size_t>(i)];
            n.end = at;
            k.open[key] = -1;
        };
        bool ended = false;
        while (t.pos < end && !ended) {
            if (++events > kScoreMaxEvents)
                return t.fail(t.pos, "more than " + std::to_string(kScoreMaxEvents) + " events");
            std::uint32_t delta = 0;
            if (!t.vlq(delta, "delta time"))
                return false;
            tick += delta;
            if (!t.need(1, "event"))
                return false;
            const std::size_t at = t.pos;
            unsigned status = static_cast<unsigned char>(bytes[t.pos]);
            if (status & 0x80)
                ++t.pos;
            else if (running == 0)
                return t.fail(at, "data byte without a status (running status unset)");
            else
                status = running;
            if (status == 0xff) {
                if (!t.need(1, "meta event"))
                    return false;
                const unsigned type = static_cast<unsigned char>(bytes[t.pos++]);
                std::uint32_t mlen = 0;
                if (!t.vlq(mlen, "meta event") || !t.need(mlen, "meta event"))
                    return false;
                const std::string_view data = bytes.substr(t.pos, mlen);
                t.pos += mlen;
                if (type == 0x2f)
                    ended = true;
                else if (type == 0x03 && score.parts[part].empty())
                    score.parts[part] = std::string(data.substr(0, 256));
                else if (type == 0x51 && mlen == 3) {
                    const auto u = [&](std::size_t i) {
                        return static_cast<unsigned char>(data[i]);
                    };
                    const double us = (u(0) << 16) | (u(1) << 8) | u(2);
                    if (us > 0)
                        score.tempo.push_back({tick, us});
                } else if (type == 0x59 && mlen == 2) {
                    const int byte = static_cast<unsigned char>(data[0]);
                    const int sf = byte > 127 ? byte - 256 : byte; // a signed byte
                    if (sf >= -7 && sf <= 7 && score.keys.size() < kScoreMaxMeasures)
                        score.keys.push_back({tick, sf});
                }
                running = 0; // meta and sysex events cancel running status
                continue;
            }
            if (status == 0xf0 || status == 0xf7) {
                std::uint32_t slen = 0;
                if (!t.vlq(slen, "system exclusive") || !t.need(slen, "system exclusive"))
                    return false;
                t.pos += slen;
                running = 0;
                continue;
            }
            if (status >= 0xf0)
                return t.fail(at, "system message " + std::to_string(status) + " in a file");
            running = status;
            const unsigned kind = status & 0xf0, n = status & 0x0f;
            const std::size_t data_len = (kind == 0xc0 || kind == 0xd0) ? 1 : 2;
            if (!t.need(data_len, "channel message"))
                return false;
            const unsigned d1 = static_cast<unsigned char>(bytes[t.pos]);
            const unsigned d2 = data_len > 1 ? static_cast<unsigned char>(bytes[t.pos + 1]) : 0;
            if ((d1 | d2) & 0x80)
                return t.fail(t.pos, "status byte where a data byte belongs");
            t.pos += data_len;
            score.used_channels |= 1u << n;
            Channel &k = ch[n];
            if (kind == 0x90 && d2 > 0) {
                if (n == 9)
                    continue;                         // percussion
                close(k, static_cast<int>(d1), tick); // the same key again ends the first
                if (score.notes.size() >= kScoreMaxNotes)
                    return t.fail(at, "more than " + std::to_string(kScoreMaxNotes) + " notes");
                score.notes.push_back(
                    {tick, tick, d1 + k.bend * k.range, part, static_cast<double>(d2)});
                k.open[d1] = static_cast<long>(score.notes.size() - 1);
            } else if (kind == 0x80 || kind == 0x90) {
                close(k, static_cast<int>(d1), tick);
            } else if (kind == 0xe0) {
                k.bend = (static_cast<double>((d2 << 7) | d1) - 8192.0) / 8192.0;
            } else if (kind == 0xb0) {
                if (d1 == 101)
                    k.rpn_msb = static_cast<int>(d2);
                else if (d1 == 100)
                    k.rpn_lsb = static_cast<int>(d2);
                else if ((d1 == 6 || d1 == 38) && k.rpn_msb == 0 && k.rpn_lsb == 0) {
                    // RPN 0, pitch bend range: semitones (6) and cents (38).
                    const double semis = d1 == 6 ? d2 : std::floor(k.range);
                    const double cents = d1 == 38 ? d2 : 0.0;
                    k.range = semis + cents / 100.0;
                }
            }
        }
        // Notes still sounding at the end of the track end there.
        for (Channel &k : ch)
            for (int key = 0; key < 128; ++key)
                close(k, key, tick);
        c.pos = end;
        score.midi_end = end;
        ++track;
    }
    // A zero-length note (on and off at one tick) sounds nothing.
    std::erase_if(score.notes, [](const ScoreNote &n) { return n.end <= n.start; });
    // One key a time. Tracks that disagree at one time (a notation
    // program writes each transposing instrument's written key) leave the
    // concert key unknown: spelled as in C.
    std::stable_sort(score.keys.begin(), score.keys.end(),
                     [](const Score::Key &a, const Score::Key &b) { return a.tick < b.tick; });
    std::vector<Score::Key> keys;
    for (const Score::Key &k : score.keys) {
        if (!keys.empty() && keys.back().tick == k.tick) {
            if (keys.back().fifths != k.fifths)
                keys.back().fifths = 0;
        } else {
            keys.push_back(k);
        }
    }
    score.keys = std::move(keys);
    std::stable_sort(score.tempo.begin(), score.tempo.end(),
                     [](const Score::Tempo &a, const Score::Tempo &b) { return a.tick < b.tick; });
    // Each change's time in seconds, so that a tick's is found by bisection.
    double s = 0.0, us = 500000.0;
    std::int64_t at = 0;
    const double tpq = static_cast<double>(std::max<std::int64_t>(score.ticks_per_quarter, 1));
    for (Score::Tempo &t : score.tempo) {
        s += static_cast<double>(t.tick - at) / tpq * us / 1e6;
        t.seconds = s;
        at = t.tick;
        us = t.us_per_quarter;
    }
    return true;
}

double midi_seconds(const Score &score, std::int64_t tick)
{
    if (score.ticks_per_quarter <= 0)
        return score.smpte_ticks_per_s > 0 ? static_cast<double>(tick) / score.smpte_ticks_per_s
                                           : 0.0;
    const double tpq = static_cast<double>(score.ticks_per_quarter);
    // The last tempo change before `tick` (changes at `tick` itself take
    // effect after it).
    const auto it =
        std::lower_bound(score.tempo.begin(), score.tempo.end(), tick,
                         [](const Score::Tempo &t, std::int64_t v) { return t.tick < v; });
    if (it == score.tempo.begin())
        return static_cast<double>(tick) / tpq * 0.5;
    const Score::Tempo &t = *(it - 1);
    return t.seconds + static_cast<double>(tick - t.tick) / tpq * t.us_per_quarter / 1e6;
}

} // namespace qzcli

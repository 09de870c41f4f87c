// The track "Virtual fundamental" added to a Standard MIDI File: one note
// per chord on a channel the file does not use (never channel 10), with a
// pitch bend before each note whose fundamental lies between two keys. RPN
// 0 sets the channel's bend range to +-2 semitones first.
#include "score_writers.hpp"
#include "smf_bytes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace qzcli {

bool write_score_midi(std::string_view midi, const Score &score,
                      const std::vector<ScoreChord> &chords, const SubtoneScore &opt,
                      std::string &out, std::string &error)
{
    int channel = -1;
    for (int c = 0; c < 16 && channel < 0; ++c)
        if (c != 9 && (score.used_channels & (1u << c)) == 0)
            channel = c;
    if (channel < 0) {
        error = "no free MIDI channel for the fundamentals (the file uses all 15 besides 10)";
        return false;
    }
    if (midi.size() < 14 || score.midi_end < 14) {
        error = "cannot read the score again";
        return false;
    }
    const auto u = static_cast<unsigned>(channel);
    Track t;
    const std::string name = fundamental_part_name(opt.octave);
    t.event(0, {0xff, 0x03});
    put_vlq(t.data, name.size());
    t.data += name;
    t.event(0, {0xc0 | u, 32}); // acoustic bass
    put_bend_range(t, u);
    double bend_now = 0.0;
    std::int64_t last = 0;
    for (const ScoreChord &c : chords) {
        last = std::max(last, c.end);
        if (!std::isfinite(c.f0))
            continue;
        const double pitch = c.f0 + 12.0 * opt.octave;
        const double key = std::round(pitch);
        if (key < 0.0 || key > 127.0)
            continue;                    // beyond MIDI's keys: nothing sounds
        const double bend = pitch - key; // within +-0.5 semitone
        if (bend != bend_now) {
            const auto v = static_cast<unsigned>(
                std::clamp(std::lround(8192.0 + bend / kBendRange * 8192.0), 0L, 16383L));
            t.event(c.start, {0xe0 | u, v & 0x7f, v >> 7});
            bend_now = bend;
        }
        const auto k = static_cast<unsigned>(key);
        t.event(c.start, {0x90 | u, k, 80});
        t.event(c.end, {0x80 | u, k, 0});
    }
    t.event(last, {0xff, 0x2f, 0x00});

    // The header says one track more, and format 1: a format 0 file with a
    // second track is a format 1 file.
    const std::uint32_t ntracks =
        (static_cast<unsigned char>(midi[10]) << 8) | static_cast<unsigned char>(midi[11]);
    // The header and the tracks that were read; bytes after the last track
    // would stand between it and ours.
    out.assign(midi.data(), std::min(midi.size(), score.midi_end));
    std::string head;
    put_be(head, 1, 2);
    put_be(head, ntracks + 1, 2);
    out.replace(8, 4, head);
    out += "MTrk";
    put_be(out, static_cast<std::uint32_t>(t.data.size()), 4);
    out += t.data;
    return true;
}

} // namespace qzcli

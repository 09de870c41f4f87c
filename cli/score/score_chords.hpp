// The chords of a score: a new chord wherever a selected note starts or
// ends, made of the distinct pitches sounding there.
#ifndef QZ_CLI_SCORE_CHORDS_HPP
#define QZ_CLI_SCORE_CHORDS_HPP

#include "score.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace qzcli {

struct ScoreChord {
    std::int64_t start = 0, end = 0; // ticks
    std::vector<double> pitches;     // distinct, lowest first
    std::vector<double> velocities;  // of each pitch: its loudest sounding note
    double f0 = -std::numeric_limits<double>::infinity(); // what the box sent (MIDI); -inf: none
    double midpoint_hz = NAN; // the search's result before the grid's rounding (--lyrics cents)
};

// Which parts --parts LIST selects: names or 1-based numbers, separated by
// commas; empty: all. false with `error` for a name or number that is none.
bool select_parts(const Score &score, const std::string &list, std::vector<bool> &selected,
                  std::string &error);

// The chords of the selected parts, in time order; a stretch where nothing
// sounds has no chord. With `merge_s` > 0 (MIDI scores), the notes' starts
// and ends are first merged as merged_notes does, and a chord shorter than
// `merge_s` is dropped. false with `error` when a chord holds more than
// kScoreMaxChordPitches pitches.
bool score_chords(const Score &score, const std::vector<bool> &selected, double merge_s,
                  std::vector<ScoreChord> &chords, std::string &error);

// `notes` of a MIDI score with their starts and ends merged: the times of
// all their starts and ends, in order, fall into groups, each of the times
// less than `merge_s` seconds after the group's first; every time of a
// group becomes the group's earliest start (its first time when it has no
// start), and a note that then ends where it starts is dropped.
std::vector<ScoreNote> merged_notes(const Score &score, const std::vector<ScoreNote> &notes,
                                    double merge_s);

// The key signature in force at `tick` (fifths: > 0 sharps, < 0 flats):
// the measure's, or a MIDI file's last key signature event (0 before any).
int score_fifths(const Score &score, std::int64_t tick);

// A position for people: "measure 3 beat 2.5" (MusicXML), "1.25 s" (MIDI).
std::string score_position(const Score &score, std::int64_t tick);

} // namespace qzcli

#endif // QZ_CLI_SCORE_CHORDS_HPP

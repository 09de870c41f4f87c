// Fundamentals timed in seconds, as the segments of a sound give them,
// written as a score of their own: a MIDI file at 60 beats a minute and a
// tick a millisecond, or MusicXML (.musicxml, .xml, compressed .mxl) at 60
// beats a minute in 4/4, its times rounded to 32nd notes (125 ms), with the
// tempo written. Either holds one part, "Virtual fundamental".
#ifndef QZ_CLI_TIMED_SCORE_HPP
#define QZ_CLI_TIMED_SCORE_HPP

#include <string>
#include <vector>

namespace qzcli {

struct TimedChord {
    double start_ms = 0.0, end_ms = 0.0;
    std::vector<double> pitches; // MIDI, lowest first
    double f0 = 0.0;             // MIDI; not finite: none
};

// Writes `chords` (in time order, not overlapping) to `path`, as its
// extension says, their fundamentals `octave` octaves higher; `title` is
// the MusicXML work title. false with `error` when it cannot.
bool write_timed_score(const std::string &path, const std::vector<TimedChord> &chords, int octave,
                       const std::string &title, std::string &error);

} // namespace qzcli

#endif // QZ_CLI_TIMED_SCORE_HPP

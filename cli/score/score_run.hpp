// The score side of qz subtone --score: the file read, its chords made and
// ordered for the box, and what -o and --plot make of them once the box
// has given each chord its fundamental.
#ifndef QZ_CLI_SCORE_RUN_HPP
#define QZ_CLI_SCORE_RUN_HPP

#include "score.hpp"
#include "score_chords.hpp"
#include "score_options.hpp"

#include <string>
#include <vector>

namespace qzcli {

struct ScoreRun {
    std::string bytes, xml; // the file as read (MIDI), or its MusicXML text
    Score score;
    bool is_midi = false;
    std::vector<ScoreChord> chords; // f0 to be filled in by the box
};

// Reads --score FILE (MIDI, .mxl or MusicXML, told by its first bytes),
// refuses -o and --merge where they do not fit its kind, and makes the
// chords of the selected parts, their pitches lowest first, highest first
// or loudest first. Returns kOk, or kFailure (an input error, said on
// stderr) or kUsage (said on stderr).
int read_score_run(const SubtoneScore &so, bool highest_first, bool strongest_first, ScoreRun &run);

// -o OUT: the score written with its fundamentals, as OUT's extension
// says. false after saying why on stderr.
bool write_score_run(const SubtoneScore &so, const ScoreRun &run);

// --plot: the chords as a piano roll with their fundamentals.
bool plot_score_run(const std::string &path, const std::string &title, const ScoreRun &run);

} // namespace qzcli

#endif // QZ_CLI_SCORE_RUN_HPP

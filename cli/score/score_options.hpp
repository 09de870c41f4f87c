// Options of qz subtone --score (the virtual fundamental of every chord of
// a MusicXML or MIDI score). Declared in every build, so that a build
// without the score libraries still knows them and says that it lacks them.
#ifndef QZ_CLI_SCORE_OPTIONS_HPP
#define QZ_CLI_SCORE_OPTIONS_HPP

#include <string>

namespace qzcli {

struct SubtoneAudio;
class CommandLine;

enum class ScoreLyrics { none, hz, cents };
// What -o writes as the fundamental: the box's value (on the grid of its
// approximation), or the midpoint of its last interval rounded to the
// nearest semitone or quarter tone.
enum class ScoreGrid { approx, semitone, quarter };

struct SubtoneScore {
    std::string file;  // --score FILE; empty: no score
    std::string out;   // -o OUT.musicxml|.xml|.mxl|.mid; empty: the table on stdout
    std::string parts; // --parts LIST; empty: all
    int octave = 0;    // --octave N: written fundamentals shifted by N octaves
    ScoreLyrics lyrics = ScoreLyrics::none;
    // --merge MS: in a MIDI file, starts and ends closer together than this
    // are one time, and a note shorter than it makes no chord; 0: exact.
    double merge_ms = 20.0;
    ScoreGrid grid = ScoreGrid::approx; // --grid
    bool octave_given = false, lyrics_given = false, merge_given = false, grid_given = false;
    bool any = false; // an option that needs --score was given
};

void add_subtone_score_options(CommandLine &cl, SubtoneScore &opt);

// After all options: false with `error` when they do not go together
// (`table_only`: an option that shapes the table, --explain or --digits,
// was given).
bool check_subtone_score(const SubtoneScore &opt, const SubtoneAudio &audio, bool have_words,
                         bool table_only, std::string &error);

} // namespace qzcli

#endif // QZ_CLI_SCORE_OPTIONS_HPP

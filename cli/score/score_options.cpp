#include "score_options.hpp"

#include "audio_options.hpp"
#include "cli_common.hpp"
#include "options.hpp"

namespace qzcli {

void add_subtone_score_options(CommandLine &cl, SubtoneScore &opt)
{
    cl.section("scores");
    cl.option("--score", "FILE",
              "the virtual fundamental of every chord of a score: MusicXML\n"
              "(.musicxml, .xml, compressed .mxl) or a Standard MIDI File\n"
              "(.mid). A chord begins wherever a note starts or ends; it\n"
              "is sent to the box as MIDI pitches (midi mode). One line a\n"
              "chord: POSITION: CHORD -> NOTE (MIDI, HZ Hz)",
              "--score needs a file", [&opt](const std::string &v) {
                  if (v.empty())
                      throw OptionError{"--score needs a file"};
                  opt.file = v;
              });
    cl.option("-o", "OUT",
              "write the score with the fundamentals added instead of the\n"
              "table: OUT.musicxml, OUT.xml or compressed OUT.mxl\n"
              "(MusicXML input: a part \"Virtual fundamental\"), OUT.mid\n"
              "(a track; from MusicXML, the score's notes as well)",
              "-o needs a file name", [&opt](const std::string &v) {
                  if (!has_extension(v, ".musicxml") && !has_extension(v, ".xml") &&
                      !has_extension(v, ".mxl") && !has_extension(v, ".mid") &&
                      !has_extension(v, ".midi"))
                      throw OptionError{
                          "-o needs a name ending in .musicxml, .xml, .mxl or .mid, not '" + v +
                          "'"};
                  opt.out = v;
                  opt.any = true;
              });
    cl.option("--parts", "LIST",
              "only these parts (MusicXML part-name or number from 1)\n"
              "or tracks (MIDI track name or number from 1), separated\n"
              "by commas",
              "--parts needs a list", [&opt](const std::string &v) {
                  if (v.empty())
                      throw OptionError{"--parts needs a list of names or numbers"};
                  opt.parts = v;
                  opt.any = true;
              });
    cl.option("--octave", "N", "-o: write the fundamentals N octaves higher (-4..4, default 0)",
              "--octave needs an integer from -4 to 4", [&opt](const std::string &v) {
                  long n = 0;
                  if (!parse_long(v, n) || n < -4 || n > 4)
                      throw OptionError{"--octave needs an integer from -4 to 4"};
                  opt.octave = static_cast<int>(n);
                  opt.octave_given = true;
                  opt.any = true;
              });
    cl.option("--lyrics", "hz|cents|none",
              "-o MusicXML: under each fundamental its frequency (hz) or\n"
              "the cents from the written note to the search's result\n"
              "before the grid's rounding (cents)",
              "--lyrics needs hz, cents or none", [&opt](const std::string &v) {
                  if (v == "hz")
                      opt.lyrics = ScoreLyrics::hz;
                  else if (v == "cents")
                      opt.lyrics = ScoreLyrics::cents;
                  else if (v == "none")
                      opt.lyrics = ScoreLyrics::none;
                  else
                      throw OptionError{"--lyrics needs hz, cents or none"};
                  opt.lyrics_given = true;
                  opt.any = true;
              });
    cl.option("--grid", "semitone|quarter|approx",
              "-o: the written fundamental is the midpoint of the box's\n"
              "last interval rounded to the nearest semitone or quarter\n"
              "tone, or the box's own value (approx, the default: on the\n"
              "grid of the approximation); the tolerance stays --approx",
              "--grid needs semitone, quarter or approx", [&opt](const std::string &v) {
                  if (v == "semitone")
                      opt.grid = ScoreGrid::semitone;
                  else if (v == "quarter")
                      opt.grid = ScoreGrid::quarter;
                  else if (v == "approx")
                      opt.grid = ScoreGrid::approx;
                  else
                      throw OptionError{"--grid needs semitone, quarter or approx"};
                  opt.grid_given = true;
                  opt.any = true;
              });
    cl.option("--merge", "MS",
              "MIDI scores: starts and ends less than MS ms apart are\n"
              "one time, and a sound shorter than that makes no chord,\n"
              "so that a notation program's or a player's small gaps\n"
              "and overlaps make no chords of their own (default 20;\n"
              "0: every tick counts)",
              "--merge needs a number of ms from 0 to 1000", [&opt](const std::string &v) {
                  double ms = 0.0;
                  if (!parse_double(v, ms) || !(ms >= 0.0 && ms <= 1000.0))
                      throw OptionError{"--merge needs a number of ms from 0 to 1000"};
                  opt.merge_ms = ms;
                  opt.merge_given = true;
                  opt.any = true;
              });
    cl.note("With --score, --order low|high|strong orders each chord's pitches\n"
            "(strong: loudest first by MIDI velocity or MusicXML dynamics) and\n"
            "--plot draws the chords as a piano roll with the fundamental.");
}

bool check_subtone_score(const SubtoneScore &opt, const SubtoneAudio &audio, bool have_words,
                         bool table_only, std::string &error)
{
    if (opt.file.empty()) {
        error = "-o, --parts, --octave, --lyrics, --grid and --merge need --score FILE";
        return false;
    }
    // An option that would have no effect is refused rather than ignored.
    if (opt.out.empty() && (opt.octave_given || opt.lyrics_given || opt.grid_given)) {
        error = "--octave, --lyrics and --grid shape the score that -o writes: they need -o";
        return false;
    }
    if (!opt.out.empty() && table_only) {
        error = "--explain and --digits shape the table; with -o no table is printed";
        return false;
    }
    if (opt.lyrics_given && (has_extension(opt.out, ".mid") || has_extension(opt.out, ".midi"))) {
        error = "--lyrics writes MusicXML lyrics; -o " + opt.out + " is a MIDI file";
        return false;
    }
    if (!audio.file.empty() || audio.any_spectrum_option) {
        error = "--score does not go with --audio or the peak picker's options";
        return false;
    }
    if (have_words) {
        error = "give either --score FILE or partials, not both";
        return false;
    }
    return true;
}

} // namespace qzcli

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
              "table: OUT.musicxml or OUT.xml (MusicXML input: a part\n"
              "\"Virtual fundamental\"), OUT.mid (MIDI input: a track)",
              "-o needs a file name", [&opt](const std::string &v) {
                  if (!has_extension(v, ".musicxml") && !has_extension(v, ".xml") &&
                      !has_extension(v, ".mid") && !has_extension(v, ".midi"))
                      throw OptionError{"-o needs a name ending in .musicxml, .xml or .mid, not '" +
                                        v + "'"};
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
                  opt.any = true;
              });
    cl.option("--lyrics", "hz|cents|none",
              "-o MusicXML: under each fundamental its frequency (hz) or\n"
              "its distance in cents from the written note (cents)",
              "--lyrics needs hz, cents or none", [&opt](const std::string &v) {
                  if (v == "hz")
                      opt.lyrics = ScoreLyrics::hz;
                  else if (v == "cents")
                      opt.lyrics = ScoreLyrics::cents;
                  else if (v == "none")
                      opt.lyrics = ScoreLyrics::none;
                  else
                      throw OptionError{"--lyrics needs hz, cents or none"};
                  opt.any = true;
              });
    cl.note("With --score, --order low|high|strong orders each chord's pitches\n"
            "(strong: loudest first by MIDI velocity or MusicXML dynamics) and\n"
            "--plot draws the chords as a piano roll with the fundamental.");
}

bool check_subtone_score(const SubtoneScore &opt, const SubtoneAudio &audio, bool have_words,
                         std::string &error)
{
    if (opt.file.empty()) {
        error = "-o, --parts, --octave and --lyrics need --score FILE";
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

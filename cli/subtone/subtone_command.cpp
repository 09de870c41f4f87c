// qz subtone: the virtual fundamental of chords, computed by the qz.subtone
// plug-in in the embedded host.
#include "audio_options.hpp" // --audio, --plot and the peak picker's options
#include "chords.hpp"
#include "cli_common.hpp"
#include "notes.hpp"
#include "options.hpp"
#include "score_options.hpp" // --score, -o, --parts, --octave, --lyrics
#include "subtone_audio.hpp"
#include "subtone_fast.h"
#include "subtone_score.hpp"
#include "subtone_session.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *const kUsage = "usage: qz subtone [OPTIONS] PARTIAL...\n"
                           "       qz subtone [OPTIONS] [FILE|-]...";

const char *const kAbout =
    "Sends the partials of a chord as one list to a qz.subtone box and prints\n"
    "the virtual fundamental that the box sends back: the highest frequency of\n"
    "which every partial is, within the approximation, an integer multiple.\n"
    "The box is made as \"qz.subtone A @mode 0|1\" (without A when --approx is\n"
    "not given).\n"
    "\n"
    "A PARTIAL is a number (an integer or a float, also inf, -inf, nan) or a\n"
    "note name: a letter A-G, any number of '#' or 'b' (also the signs sharp\n"
    "and flat), an octave (C4 = 60, A4 = 69) and optional cents: C4, F#3,\n"
    "Bb3-31c, E4+14c. A note name is converted before it reaches the box: to\n"
    "its MIDI number in midi mode, to its frequency (A4 = 440 Hz, or --a4) in\n"
    "freq mode.\n"
    "\n"
    "Chord files (FILE, or standard input when no argument is given or for\n"
    "'-') hold one chord a line, its partials separated by spaces or commas;\n"
    "'#' starts a comment, blank lines are skipped. One result line is\n"
    "printed per chord, in order.\n"
    "\n"
    "One argument may hold several partials separated by commas (C4,E4,G4).\n"
    "\n"
    "A word that is neither a number, a note name nor a readable file, or a\n"
    "partial in a file that is neither a number nor a note name, is an input\n"
    "error (exit status 1) reported with its place (FILE:LINE:COLUMN). The\n"
    "box is never sent a word: 'qz run' reaches its \"wrong argument type\".";

std::string footer()
{
    return "Results are printed as the shortest decimal text that reads back as the\n"
           "same double (unless --digits). When no fundamental of 1 Hz or more fits,\n"
           "the result is 0 in freq mode and -inf in midi mode: that is a result,\n"
           "printed like any other (exit status 0). A list whose search needs more\n"
           "than " +
           std::to_string(kSubtoneWorkBudget) +
           " steps (only partials far beyond the audible range do)\n"
           "gets an error from the box and no result.\n"
           "\n"
           "A FILE that is a directory, cannot be read, or is not text (a NUL byte\n"
           "or invalid UTF-8 near its start) is an input error naming it.\n"
           "\n"
           "exit status: 0 done (also when a chord has no fundamental), 1 input\n"
           "error, a list the box refuses (no result), or plug-in missing, 2 usage\n"
           "error (also an option given twice, or one that --audio does not take)";
}

bool lower_equals(const std::string &a, const char *b)
{
    std::string l;
    for (char c : a)
        l += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return l == b;
}

bool readable_file(const std::string &path)
{
    std::string unused;
    return qzcli::check_readable(path, unused);
}

} // namespace

int cmd_subtone(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    qzhost::Host host;
    qzcli::SubtoneOptions opt;
    qzcli::SubtoneAudio audio;
    qzcli::SubtoneScore score;
    bool have_a4 = false;
    bool mode_given = false;
    qzcli::CommandLine cl("subtone", kUsage, kAbout, footer());
    cl.option("--mode", "freq|midi",
              "partials and result in Hz (freq, the default), or as\n"
              "MIDI pitches (midi: 69 is 440 Hz, 12 steps an octave;\n"
              "the result is rounded to the nearest multiple of A, or\n"
              "not rounded when A is 0)",
              "--mode needs freq or midi", [&](const std::string &v) {
                  mode_given = true;
                  if (lower_equals(v, "freq"))
                      opt.units.midi = false;
                  else if (lower_equals(v, "midi"))
                      opt.units.midi = true;
                  else
                      throw qzcli::OptionError{"--mode must be freq or midi, not '" + v + "'"};
              });
    cl.option("--approx", "A",
              "approximation in semitones (default 0.5), the box's\n"
              "creation argument: an integer text makes an integer\n"
              "atom, any other number a float atom; a negative A is\n"
              "kept (and then nothing is ever found)",
              "--approx needs a number", [&](const std::string &v) {
                  opt.approx = host.parse_atom(v);
                  if (atom_gettype(&opt.approx) != A_LONG && atom_gettype(&opt.approx) != A_FLOAT)
                      throw qzcli::OptionError{"--approx needs a number, not '" + v + "'"};
                  opt.have_approx = true;
              });
    cl.option("--a4", "HZ", "frequency of A4 for note names in freq mode (440)",
              "--a4 needs a frequency in Hz above 0", [&](const std::string &v) {
                  if (!qzcli::parse_double(v, opt.units.a4) || !std::isfinite(opt.units.a4) ||
                      opt.units.a4 <= 0.0)
                      throw qzcli::OptionError{"--a4 needs a frequency in Hz above 0"};
                  have_a4 = true;
              });
    cl.flag("--echo", opt.echo,
            "print each chord, as written, before its result:\n\"C4 E4 G4 -> 36\"");
    cl.flag("--names", opt.names,
            "print the result as the nearest note and the distance\n"
            "to it in cents (C2, A2+1c); in freq mode with A4 at\n"
            "--a4 Hz. With --digits N the cents get N decimals.\n"
            "No fundamental (0, -inf) is printed as the number.");
    cl.option_digits(opt.digits);
    cl.flag("--explain", opt.explain,
            "after each result, one line per partial with its note\n"
            "name, the value the search used (Hz) and the harmonic\n"
            "number it chose, the interval whose midpoint is the\n"
            "fundamental, and the result with its note name");
    cl.option_long("--alternatives", "N",
                   "after each result, the box's harmonic numbers with\n"
                   "their fit (the largest deviation in cents of any\n"
                   "partial, at the best frequency of the box's interval),\n"
                   "then up to N lower fundamentals that fit better than\n"
                   "every one above them, a line each",
                   0, 1000, opt.alternatives);
    bool floor_given = false;
    std::string floor_text;
    cl.option("--floor", "HZ|NOTE",
              "with --alternatives, the lowest fundamental listed: a\n"
              "frequency in Hz (1 or more) or a note name (default C0,\n"
              "16.3516 Hz)",
              "--floor needs a frequency in Hz (1 or more) or a note name",
              [&](const std::string &v) {
                  floor_text = v;
                  floor_given = true;
              });
    cl.flag("--stats", opt.stats,
            "after each result, print to stderr how many steps\n"
            "(intervals tried) the search needed: \"steps N\"");
    qzcli::add_subtone_audio_options(cl, audio);
    qzcli::add_subtone_score_options(cl, score);
    if (const auto done = cl.parse(args))
        return *done;
    const std::vector<std::string> &words = cl.operands(); // partials, files and '-'
    using qzcli::usage_error;
    if (floor_given && opt.alternatives < 0)
        return usage_error("subtone", "--floor is the lowest of the --alternatives: it needs "
                                      "--alternatives N");
    if (floor_given) { // a note name with A4 at --a4, as the partials' names
        double hz = 0.0, midi = 0.0;
        if (qzcli::parse_note(floor_text, midi))
            hz = qzcli::note_to_hz(midi, opt.units.a4);
        else if (!qzcli::parse_double(floor_text, hz))
            hz = NAN;
        if (!std::isfinite(hz) || hz < 1.0)
            return usage_error("subtone", "--floor needs a frequency in Hz (1 or more) or a note "
                                          "name, not '" +
                                              floor_text + "'");
        opt.floor_hz = hz;
    }
    if (have_a4 && opt.units.midi)
        return usage_error("subtone", "--a4 applies to note names in freq mode; in midi mode "
                                      "a note name is its MIDI number");

    // -o and --octave after --audio write the segments' fundamentals.
    const bool audio_out = score.file.empty() && !audio.file.empty();
    if (!score.file.empty() || (score.any && !audio_out)) { // the chords of a score
        if (std::string e; !qzcli::check_subtone_score(score, audio, !words.empty(),
                                                       opt.explain || opt.digits >= 0, e))
            return usage_error("subtone", e);
        // A score's chords are MIDI pitches and its table names every note:
        // what only typed chords use is refused rather than ignored.
        if (mode_given && !opt.units.midi)
            return usage_error("subtone", "--score sends MIDI pitches: --mode freq does not "
                                          "go with it");
        if (opt.alternatives >= 0 && !score.out.empty())
            return usage_error("subtone", "--alternatives shapes the table; with -o no table is "
                                          "printed");
        if (opt.echo || opt.stats || opt.names || have_a4)
            return usage_error("subtone", "--echo, --stats, --names and --a4 do not go with "
                                          "--score (its table names every note)");
        qzcli::setup_host(host, ctx);
        host.set_recording(false);
        if (!qzcli::load_plugin(host, ctx, "qz.subtone"))
            return qzcli::kFailure;
        return qzcli::subtone_score(host, opt, score, audio,
                                    qzcli::title_from_args("subtone", args));
    }

    // Each word is a partial, a chord file, or '-' (standard input); the
    // partials on the command line make one chord and cannot be mixed with
    // files.
    qzcli::Chord chord;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        t_atom atom;
        if (w != "-" && qzcli::read_partial(host, w, opt.units, atom)) {
            chord.tokens.push_back(w);
            chord.atoms.push_back(atom);
        } else if (w == "-" || readable_file(w)) {
            files.push_back(w);
        } else if (std::error_code ec; std::filesystem::exists(w, ec)) {
            // A directory, or a file that cannot be read: say which.
            std::string error;
            qzcli::check_readable(w, error);
            std::cerr << "qz subtone: argument " << (i + 1) << ": " << error << '\n';
            return qzcli::kFailure;
        } else if (w.find(',') != std::string::npos) {
            // "C4,E4,G4": partials split as a chord file's line is.
            qzcli::Chord part;
            std::string error;
            std::size_t column = 0;
            if (!qzcli::read_chord_line(host, w, opt.units, part, error, column)) {
                std::cerr << "qz subtone: argument " << (i + 1) << ", column " << column << ": "
                          << error << '\n';
                return qzcli::kFailure;
            }
            chord.tokens.insert(chord.tokens.end(), part.tokens.begin(), part.tokens.end());
            chord.atoms.insert(chord.atoms.end(), part.atoms.begin(), part.atoms.end());
        } else {
            std::cerr << "qz subtone: argument " << (i + 1) << ": '" << w
                      << "' is neither a number, a note name nor a readable file"
                      << qzcli::note_hint(w) << '\n';
            return qzcli::kFailure;
        }
    }
    if (!chord.atoms.empty() && !files.empty())
        return usage_error("subtone", "give either partials or chord files ('-': standard "
                                      "input), not both");
    if (std::string e; !qzcli::check_subtone_audio(audio, !words.empty(), e))
        return usage_error("subtone", e);
    if (!audio.file.empty()) {
        // --digits and --names shape the printed fundamentals; what only
        // the text path has is refused rather than ignored.
        if (opt.echo)
            return usage_error("subtone", "--echo prints chords as written; with --audio there "
                                          "are none");
        if (opt.stats)
            return usage_error("subtone", "--stats is not available with --audio");
        if (audio.segments && opt.names)
            return usage_error("subtone", "--segments names every note already: --names does "
                                          "not go with it");
        if (have_a4 && !opt.names && !audio.segments)
            return usage_error("subtone", "with --audio, --a4 names notes: it needs --names or "
                                          "--segments");
        if (score.any &&
            (!score.parts.empty() || score.lyrics_given || score.grid_given || score.merge_given))
            return usage_error("subtone", "--parts, --lyrics, --grid and --merge read a score: "
                                          "they do not go with --audio");
        if (score.any && !audio.segments)
            return usage_error("subtone", "with --audio, -o writes the segments' fundamentals: "
                                          "it needs --segments");
        if (score.octave_given && score.out.empty())
            return usage_error("subtone", "--octave shapes what -o writes: it needs -o");
        audio.out = score.out;
        audio.octave = score.octave;
        audio.digits = opt.digits;
        audio.names = opt.names;
        audio.a4 = opt.units.a4;
        audio.alternatives = opt.alternatives;
        audio.floor_hz = opt.floor_hz;
    }
    if (words.empty())
        files.push_back("-");

    qzcli::setup_host(host, ctx);
    host.set_recording(false);
    if (!qzcli::load_plugin(host, ctx, "qz.subtone"))
        return qzcli::kFailure;
    qzcli::SubtoneSession session(host, opt, std::cout, std::cerr);
    if (!session.ok())
        return qzcli::kFailure;
    if (!audio.file.empty())
        return qzcli::subtone_audio(host, session.box(), opt.units.midi ? 1 : 0, opt.explain, audio,
                                    session.sent(), qzcli::title_from_args("subtone", args));

    if (!chord.atoms.empty())
        return session.chord(chord) ? qzcli::kOk : qzcli::kFailure;
    int status = qzcli::kOk;
    for (const std::string &f : files) {
        if (f == "-") {
            qzcli::hint_terminal_input("subtone", "chords, one a line,");
            status = std::max(status, session.read(std::cin, "<stdin>"));
        } else {
            std::string text;
            if (!qzcli::read_text_input("subtone", f, text))
                return qzcli::kFailure;
            std::istringstream in(text);
            status = std::max(status, session.read(in, f));
        }
        if (session.input_error())
            break;
    }
    return status;
}

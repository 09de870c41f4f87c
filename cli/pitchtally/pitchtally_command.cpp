// qz pitchtally: runs a pitch/amplitude stream through qz.pitchtally in the
// embedded host, in virtual time, and prints the agents' reports.
#include "audio_commands.hpp" // --audio, --plot and the tracker options
#include "cli_common.hpp"
#include "options.hpp"
#include "pitchtally_stream.hpp"
#include "plot.hpp"
#include "statagent_pool.hpp"

#include <cmath>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

namespace {

const char *const kUsage = "usage: qz pitchtally [OPTIONS] [FILE|-]";

const char *const kAbout =
    "Runs a stream of pitch events through qz.pitchtally in virtual time and\n"
    "prints every report of its stat agents.";

const char *const kFooter =
    "input (FILE, or standard input when absent or '-'), one event a line:\n"
    "  TIME PITCH [AMP]   AMP (when given) goes to the right inlet, then PITCH\n"
    "                     (a float) to the left inlet\n"
    "  TIME stop          \"stop\" to the left inlet: running agents end silently\n"
    "PITCH is a number or a note name, which becomes its MIDI number (C4 = 60,\n"
    "Bb3-31c = 57.69). Fields are separated by spaces, tabs or a comma. TIME is\n"
    "in milliseconds (fractions allowed), at least 0 and never less than the\n"
    "line before. Before each line every agent whose window ends at or before\n"
    "TIME reports. Empty lines and text after '#' are ignored; the first other\n"
    "line may be a header (its first field is not a number). After the last\n"
    "line every agent still running reports.\n"
    "\n"
    "output, one line per report:\n"
    "  TIME PITCH AVGAMP PROBA\n"
    "TIME is when the agent's window ended; numbers are printed as the shortest\n"
    "text that reads back as the same double (unless --digits).\n"
    "\n"
    "errors: console errors of the object go to stderr (\"qz.pitchtally: ...\").\n"
    "A line that does not parse, or whose time goes backwards, is reported on\n"
    "stderr with its line number and stops the run with exit status 1; the\n"
    "reports printed before it stand. An input that is a directory, cannot be\n"
    "read or is not text (a NUL byte or invalid UTF-8 near its start: a MIDI\n"
    "file, a WAV), or whose only line is taken for a header, is an input error\n"
    "naming it (exit status 1); an empty one prints nothing. Exit status 2:\n"
    "wrong command line (also an option given twice).";

// Warns when the box holds another value for an attribute than the one
// asked for (the attribute clipped it).
void warn_if_clipped(qzhost::Host &host, qzhost::BoxId box, const char *attr, double asked,
                     const std::string &text)
{
    std::vector<t_atom> value;
    if (!host.attr_get(box, attr, value) || value.empty())
        return;
    // An integer attribute read as an integer: a 32-bit host's float atom
    // would round 2147483647 up.
    const double used = atom_gettype(&value[0]) == A_LONG
                            ? static_cast<double>(atom_getlong(&value[0]))
                            : atom_getfloat(&value[0]);
    if (used == asked)
        return;
    std::cerr << "qz pitchtally: warning: --" << attr << ' ' << text
              << " is out of range; the box uses " << qzhost::format_number(used) << '\n';
}

} // namespace

// qz pitchtally --audio's grid when --quantize is not given: semitones, on
// which the frames of a held note recur (docs/sound.md).
constexpr double kDefaultAudioQuantize = 1.0;

int cmd_pitchtally(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    const std::string sub = "pitchtally";
    bool have_window = false, have_minproba = false;
    long long agents = kStatagentDefaultCount, window = 0;
    double minproba = 0.0;
    int digits = -1;
    std::string path = "-", window_text, minproba_text;
    qzcli::PitchTallyAudio audio;

    qzcli::CommandLine cl(sub, kUsage, kAbout, kFooter);
    cl.option("--agents", "N",
              "number of stat agents (the creation argument; default\n" +
                  std::to_string(kStatagentDefaultCount) + ", the object's own default)",
              "--agents needs an integer", [&](const std::string &v) {
                  if (!qzcli::parse_int64(v, agents))
                      throw qzcli::OptionError{"--agents needs an integer"};
              });
    cl.option("--window", "MS",
              "@window: length of each agent's window in ms (integer;\n"
              "the object's default " +
                  std::to_string(kStatagentDefaultWindow) +
                  "); the box raises a value below\n"
                  "1 to 1 and caps one above 2147483647, and the tool then\n"
                  "warns on stderr with the value used",
              "--window needs an integer number of ms", [&](const std::string &v) {
                  if (!qzcli::parse_int64(v, window))
                      throw qzcli::OptionError{"--window needs an integer number of ms"};
                  window_text = v;
                  have_window = true;
              });
    cl.option("--minproba", "P",
              "@minproba: reports below probability P are not sent; the\n"
              "box clips P to 0..1, with a warning as for --window",
              "--minproba needs a number", [&](const std::string &v) {
                  if (!qzcli::parse_double(v, minproba))
                      throw qzcli::OptionError{"--minproba needs a number"};
                  minproba_text = v;
                  have_minproba = true;
              });
    cl.option_digits(digits);
    qzcli::add_pitchtally_audio_options(cl, audio);
    if (const auto done = cl.parse(args))
        return *done;
    if (cl.operands().size() > 1)
        return cl.usage_error("more than one input file given");
    const bool have_path = !cl.operands().empty();
    if (have_path)
        path = cl.operands()[0];

    std::string input, audio_error;
    if (!qzcli::check_pitchtally_audio(audio, have_path, audio_error))
        return cl.usage_error(audio_error);
    // A held note's frames recur only on a grid: semitones unless told.
    if (!audio.file.empty() && !audio.track.have_quantize)
        audio.track.quantize = kDefaultAudioQuantize;
    const double text_quantize = audio.file.empty() ? audio.track.quantize : 0.0;
    if (!audio.file.empty() ? !qzcli::pitchtally_audio_text(audio, input)
                            : !qzcli::read_text_input(sub, path, input))
        return qzcli::kFailure;
    qzcli::TallyPicture picture(audio.plot);

    qzhost::Host host;
    qzcli::setup_host(host, ctx);
    host.set_recording(false);
    if (!qzcli::load_plugin(host, ctx, "qz.pitchtally"))
        return qzcli::kFailure;

    // A 32-bit host's atoms hold 32-bit integers: a count or window beyond
    // them is given as the largest one, which the box caps or clips alike.
    auto atom_long = [](long long v) {
        constexpr long long lo = std::numeric_limits<t_atom_long>::min();
        constexpr long long hi = std::numeric_limits<t_atom_long>::max();
        return static_cast<t_atom_long>(v < lo ? lo : v > hi ? hi : v);
    };
    std::vector<t_atom> argv;
    t_atom at;
    atom_setlong(&at, atom_long(agents));
    argv.push_back(at);
    if (have_window) {
        atom_setsym(&at, host.sym("@window"));
        argv.push_back(at);
        atom_setlong(&at, atom_long(window));
        argv.push_back(at);
    }
    if (have_minproba) {
        atom_setsym(&at, host.sym("@minproba"));
        argv.push_back(at);
        atom_setfloat(&at, minproba);
        // What the box is given: a single in a 32-bit host, which is no clip.
        minproba = atom_getfloat(&at);
        argv.push_back(at);
    }
    const qzhost::BoxId box = host.create("qz.pitchtally", argv);
    if (box < 0)
        return qzcli::kFailure;
    if (have_window)
        warn_if_clipped(host, box, "window", static_cast<double>(window), window_text);
    std::vector<t_atom> window_used;
    if (host.attr_get(box, "window", window_used) && !window_used.empty())
        picture.set_window(atom_getfloat(&window_used[0]));
    if (have_minproba)
        warn_if_clipped(host, box, "minproba", minproba, minproba_text);

    const int status =
        qzcli::play_pitch_stream(host, box, input, path == "-" ? "stdin" : path, digits, std::cout,
                                 std::cerr, &picture, text_quantize);
    host.free_box(box);
    if (status == qzcli::kOk &&
        !picture.write(qzcli::title_from_args(sub, args), qzcli::pitch_label(audio),
                       !audio.file.empty() && !audio.track.midi ? qzcli::PitchAxis::hz
                                                                : qzcli::PitchAxis::midi))
        return qzcli::kFailure;
    return status;
}

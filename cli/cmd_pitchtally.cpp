// qz pitchtally: runs a pitch/amplitude stream through qz.pitchtally in the
// embedded host, in virtual time, and prints the agents' reports.
#include "audio_commands.hpp" // --audio, --plot and the tracker options
#include "cli_common.hpp"
#include "pitchtally_stream.hpp"
#include "plot.hpp"

#include <cmath>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

namespace {

// The object's own count when none is given; the tool passes it so that
// the object has no reason to complain.
constexpr long kDefaultAgents = 100;

const char *const kHelp =
    "usage: qz pitchtally [--agents N] [--window MS] [--minproba P] [--digits N] [FILE|-]\n"
    "\n"
    "Runs a stream of pitch events through qz.pitchtally in virtual time and\n"
    "prints every report of its stat agents.\n"
    "\n"
    "options:\n"
    "  --agents N     number of stat agents (the creation argument; default\n"
    "                 100, the object's own default)\n"
    "  --window MS    @window: length of each agent's window in ms (integer;\n"
    "                 the object's default 500); the box raises a value below\n"
    "                 1 to 1 and caps one above 2147483647, and the tool then\n"
    "                 warns on stderr with the value used\n"
    "  --minproba P   @minproba: reports below probability P are not sent; the\n"
    "                 box clips P to 0..1, with a warning as for --window\n"
    "  --digits N     round printed values to N decimals (0 to 17); without it\n"
    "                 values are printed exactly\n"
    "  --help         show this help\n"
    "\n"
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
    "reports printed before it stand. Exit status 2: wrong command line.\n";

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

int cmd_pitchtally(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    const std::string sub = "pitchtally";
    bool have_window = false, have_minproba = false;
    long long agents = kDefaultAgents, window = 0;
    double minproba = 0.0;
    int digits = -1;
    std::string path = "-", window_text, minproba_text;
    bool have_path = false;
    qzcli::PitchTallyAudio audio;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp << qzcli::kPitchTallyAudioHelp;
            return qzcli::kOk;
        }
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--agents") {
            if (!value(v) || !qzcli::parse_int64(v, agents))
                return qzcli::usage_error(sub, "--agents needs an integer");
        } else if (a == "--window") {
            if (!value(window_text) || !qzcli::parse_int64(window_text, window))
                return qzcli::usage_error(sub, "--window needs an integer number of ms");
            have_window = true;
        } else if (a == "--minproba") {
            if (!value(minproba_text) || !qzcli::parse_double(minproba_text, minproba))
                return qzcli::usage_error(sub, "--minproba needs a number");
            have_minproba = true;
        } else if (const auto taken = qzcli::take_pitchtally_audio_option(args, i, audio, v);
                   taken != qzcli::OptionTaken::No) {
            if (taken == qzcli::OptionTaken::Error)
                return qzcli::usage_error(sub, v);
        } else if (a == "--digits") {
            if (!value(v) || !qzcli::parse_digits(v, digits))
                return qzcli::usage_error(sub, "--digits needs an integer from 0 to 17");
        } else if (a.size() > 1 && a[0] == '-') {
            return qzcli::usage_error(sub, "unknown option '" + a + "'");
        } else {
            if (have_path)
                return qzcli::usage_error(sub, "more than one input file given");
            path = a;
            have_path = true;
        }
    }

    std::string input, audio_error;
    if (!qzcli::check_pitchtally_audio(audio, have_path, audio_error))
        return qzcli::usage_error(sub, audio_error);
    if (!audio.file.empty() ? !qzcli::pitchtally_audio_text(audio, input)
                            : !qzcli::read_input(path, input))
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
    if (have_minproba)
        warn_if_clipped(host, box, "minproba", minproba, minproba_text);

    const int status = qzcli::play_pitch_stream(host, box, input, path == "-" ? "stdin" : path,
                                                digits, std::cout, std::cerr, &picture);
    host.free_box(box);
    if (status == qzcli::kOk &&
        !picture.write(qzcli::title_from_args(sub, args), qzcli::pitch_label(audio)))
        return qzcli::kFailure;
    return status;
}

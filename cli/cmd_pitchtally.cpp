// qz pitchtally: runs a pitch/amplitude stream through qz.pitchtally in the
// embedded host, in virtual time, and prints the agents' reports.
#include "audio_commands.hpp" // --audio, --plot and the tracker options
#include "cli_common.hpp"
#include "plot.hpp"

#include <cmath>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char *const kHelp =
    "usage: qz pitchtally [--agents N] [--window MS] [--minproba P] [FILE|-]\n"
    "\n"
    "Runs a stream of pitch events through qz.pitchtally in virtual time and\n"
    "prints every report of its stat agents.\n"
    "\n"
    "options:\n"
    "  --agents N     number of stat agents (the creation argument); without it\n"
    "                 the object posts \"Number of stat agents needed\" and uses 100\n"
    "  --window MS    @window: length of each agent's window in ms (integer)\n"
    "  --minproba P   @minproba: reports below probability P are not sent (0..1)\n"
    "  --help         show this help\n"
    "\n"
    "input (FILE, or standard input when absent or '-'), one event a line:\n"
    "  TIME PITCH [AMP]   AMP (when given) goes to the right inlet, then PITCH\n"
    "                     (a float) to the left inlet\n"
    "  TIME stop          \"stop\" to the left inlet: running agents end silently\n"
    "Fields are separated by spaces, tabs or a comma. TIME is in milliseconds\n"
    "(fractions allowed), at least 0 and never less than the line before. Before\n"
    "each line every agent whose window ends at or before TIME reports. Empty\n"
    "lines and text after '#' are ignored; the first other line may be a header\n"
    "(its first field is not a number). After the last line every agent still\n"
    "running reports.\n"
    "\n"
    "output, one line per report:\n"
    "  TIME PITCH AVGAMP PROBA\n"
    "TIME is when the agent's window ended; numbers are printed as the shortest\n"
    "text that reads back as the same double.\n"
    "\n"
    "errors: console errors of the object go to stderr (\"qz.pitchtally: ...\").\n"
    "A line that does not parse, or whose time goes backwards, is reported on\n"
    "stderr with its line number and stops the run with exit status 1; the\n"
    "reports printed before it stand. Exit status 2: wrong command line.\n";

struct Event {
    double time = 0.0;
    bool stop = false;
    double pitch = 0.0;
    bool has_amp = false;
    double amp = 0.0;
};

// Splits a line into fields separated by blanks or by one comma (with blanks
// around it allowed). An empty field between commas is an error.
bool split_fields(std::string_view line, std::vector<std::string> &fields)
{
    fields.clear();
    size_t i = 0;
    const size_t n = line.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (i < n && blank(line[i]))
        ++i;
    if (i == n)
        return true;
    for (;;) {
        const size_t start = i;
        while (i < n && !blank(line[i]) && line[i] != ',')
            ++i;
        if (i == start)
            return false; // a comma where a field should be
        fields.emplace_back(line.substr(start, i - start));
        while (i < n && blank(line[i]))
            ++i;
        if (i == n)
            return true;
        if (line[i] == ',') {
            ++i;
            while (i < n && blank(line[i]))
                ++i;
            if (i == n)
                return false; // trailing comma
        }
    }
}

bool parse_number(const std::string &word, double &out)
{
    return qzcli::parse_double(word, out);
}

// Parses one line. Returns false with `error` set when it does not parse;
// `empty` tells a blank/comment line, `header` a header line.
bool parse_line(std::string_view raw, bool header_allowed, Event &ev, bool &empty, bool &header,
                std::string &error)
{
    empty = false;
    header = false;
    const size_t hash = raw.find('#');
    const std::string_view line = raw.substr(0, hash);
    std::vector<std::string> f;
    if (!split_fields(line, f)) {
        error = "empty field";
        return false;
    }
    if (f.empty()) {
        empty = true;
        return true;
    }
    double t = 0.0;
    if (!parse_number(f[0], t)) {
        if (header_allowed) {
            header = true;
            return true;
        }
        error = "time '" + f[0] + "' is not a number";
        return false;
    }
    if (!std::isfinite(t) || t < 0.0) {
        error = "time '" + f[0] + "' must be a finite number of ms, at least 0";
        return false;
    }
    ev = Event{};
    ev.time = t;
    if (f.size() < 2) {
        error = "expected TIME PITCH [AMP] or TIME stop";
        return false;
    }
    if (f[1] == "stop") {
        if (f.size() != 2) {
            error = "nothing may follow 'stop'";
            return false;
        }
        ev.stop = true;
        return true;
    }
    if (!parse_number(f[1], ev.pitch)) {
        error = "pitch '" + f[1] + "' is not a number";
        return false;
    }
    if (f.size() >= 3) {
        if (!parse_number(f[2], ev.amp)) {
            error = "amplitude '" + f[2] + "' is not a number";
            return false;
        }
        ev.has_amp = true;
    }
    if (f.size() > 3) {
        error = "too many fields (expected TIME PITCH [AMP])";
        return false;
    }
    return true;
}

} // namespace

int cmd_pitchtally(const qzcli::Context &ctx, const std::vector<std::string> &args)
{
    const std::string sub = "pitchtally";
    bool have_agents = false, have_window = false, have_minproba = false;
    long agents = 0, window = 0;
    double minproba = 0.0;
    std::string path = "-";
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
            if (!value(v) || !qzcli::parse_long(v, agents))
                return qzcli::usage_error(sub, "--agents needs an integer");
            have_agents = true;
        } else if (a == "--window") {
            if (!value(v) || !qzcli::parse_long(v, window))
                return qzcli::usage_error(sub, "--window needs an integer number of ms");
            have_window = true;
        } else if (a == "--minproba") {
            if (!value(v) || !qzcli::parse_double(v, minproba))
                return qzcli::usage_error(sub, "--minproba needs a number");
            have_minproba = true;
        } else if (const auto taken = qzcli::take_pitchtally_audio_option(args, i, audio, v);
                   taken != qzcli::OptionTaken::No) {
            if (taken == qzcli::OptionTaken::Error)
                return qzcli::usage_error(sub, v);
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

    std::vector<t_atom> argv;
    t_atom at;
    if (have_agents) {
        atom_setlong(&at, agents);
        argv.push_back(at);
    }
    if (have_window) {
        atom_setsym(&at, host.sym("@window"));
        argv.push_back(at);
        atom_setlong(&at, window);
        argv.push_back(at);
    }
    if (have_minproba) {
        atom_setsym(&at, host.sym("@minproba"));
        argv.push_back(at);
        atom_setfloat(&at, minproba);
        argv.push_back(at);
    }
    const qzhost::BoxId box = host.create("qz.pitchtally", argv);
    if (box < 0)
        return qzcli::kFailure;

    // A report leaves as probability, average amplitude, pitch: the line is
    // complete when the pitch arrives.
    double proba = 0.0, avgamp = 0.0;
    std::string out;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.box != box)
            return;
        if (e.outlet == 2) {
            proba = e.value;
        } else if (e.outlet == 1) {
            avgamp = e.value;
        } else if (e.outlet == 0) {
            out += qzhost::format_number(e.time);
            out += ' ';
            out += qzhost::format_number(e.value);
            out += ' ';
            out += qzhost::format_number(avgamp);
            out += ' ';
            out += qzhost::format_number(proba);
            out += '\n';
            picture.report(e.time, e.value, avgamp, proba);
        }
    });
    auto flush = [&] {
        std::cout << out;
        out.clear();
    };

    const std::string where = path == "-" ? "stdin" : path;
    const std::string_view text(input);
    size_t pos = 0;
    long lineno = 0;
    bool seen_data = false;
    double last_time = 0.0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        const std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineno;

        Event ev;
        bool empty = false, header = false;
        std::string error;
        if (!parse_line(line, !seen_data, ev, empty, header, error)) {
            flush();
            std::cerr << "qz pitchtally: " << where << " line " << lineno << ": " << error << '\n';
            return qzcli::kFailure;
        }
        if (empty)
            continue;
        seen_data = true; // a header is allowed only before any other line
        if (header)
            continue;
        if (ev.time < last_time) {
            flush();
            std::cerr << "qz pitchtally: " << where << " line " << lineno << ": time "
                      << qzhost::format_number(ev.time) << " is before the previous line's "
                      << qzhost::format_number(last_time) << '\n';
            return qzcli::kFailure;
        }
        last_time = ev.time;

        host.advance_to(ev.time);
        if (ev.stop) {
            host.send(box, 0, "stop", {});
        } else {
            if (ev.has_amp)
                host.send_float(box, 1, ev.amp);
            host.send_float(box, 0, ev.pitch);
            picture.event(ev.time, ev.pitch, ev.has_amp, ev.amp);
        }
        if (out.size() > 1 << 16)
            flush();
    }
    host.run_until_idle();
    flush();
    if (!picture.write(qzcli::title_from_args(sub, args), qzcli::pitch_label(audio)))
        return qzcli::kFailure;
    return qzcli::kOk;
}

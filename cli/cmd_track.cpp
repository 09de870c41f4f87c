// qz track: the pitch/amplitude stream that a pitch tracker object would
// send for a sound file, tracked by aubio.
#include "audio.hpp"
#include "cli_common.hpp"
#include "plot.hpp"

#include <iostream>
#include <string>
#include <vector>

namespace {

const char *const kHelp = "usage: qz track [OPTIONS] FILE\n"
                          "\n"
                          "Tracks the pitch of a sound file with aubio and prints, one line per\n"
                          "frame that has a pitch:\n"
                          "  TIME PITCH AMP\n"
                          "TIME in ms, PITCH as a MIDI pitch or in Hz (--unit), AMP linear. The\n"
                          "lines are the stream qz pitchtally reads (qz pitchtally --audio FILE\n"
                          "runs it straight through the object).\n"
                          "\n";

const char *const kMoreHelp =
    "\n"
    "other options:\n"
    "  --plot OUT       also draw the stream to OUT.svg or OUT.png (1200x600)\n"
    "  --help           show this help\n"
    "\n"
    "Numbers are printed as the shortest text that reads back as the same\n"
    "double. A silent file prints nothing and says so on stderr.\n"
    "exit status: 0 done, 1 the file cannot be read as sound (missing, not\n"
    "sound, no samples) or the picture cannot be written, 2 usage error\n";

} // namespace

int cmd_track(const qzcli::Context &, const std::vector<std::string> &args)
{
    const std::string sub = "track";
    qzcli::TrackOptions opt;
    std::string file, plot;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp << qzcli::kTrackOptionsHelp << kMoreHelp;
            return qzcli::kOk;
        }
        std::string error;
        const qzcli::OptionTaken r = qzcli::take_track_option(args, i, opt, error);
        if (r == qzcli::OptionTaken::Error)
            return qzcli::usage_error(sub, error);
        if (r == qzcli::OptionTaken::Yes)
            continue;
        if (a == "--plot" || a.rfind("--plot=", 0) == 0) {
            if (a == "--plot" && i + 1 >= args.size())
                return qzcli::usage_error(sub, "--plot needs a file name ending in .svg or .png");
            plot = a == "--plot" ? args[++i] : a.substr(7);
            if (!qzcli::plot_path_ok(plot, error))
                return qzcli::usage_error(sub, error);
            continue;
        }
        if (a.size() > 1 && a[0] == '-')
            return qzcli::usage_error(sub, "unknown option '" + a + "'");
        if (!file.empty())
            return qzcli::usage_error(sub, "more than one sound file given");
        file = a;
    }
    if (file.empty())
        return qzcli::usage_error(sub, "no sound file given");
    if (opt.hopsize > opt.bufsize)
        return qzcli::usage_error(sub, "--hopsize must not exceed --bufsize (" +
                                           std::to_string(opt.bufsize) + ")");

    std::vector<qzcli::TrackEvent> events;
    std::string error;
    if (!qzcli::track_sound(file, opt, events, error)) {
        std::cerr << "qz track: " << error << '\n';
        return qzcli::kFailure;
    }
    std::string out;
    for (const qzcli::TrackEvent &e : events) {
        out += qzhost::format_number(e.time);
        out += ' ';
        out += qzhost::format_number(e.pitch);
        out += ' ';
        out += qzhost::format_number(e.amp);
        out += '\n';
    }
    std::cout << out;
    if (events.empty())
        std::cerr << "qz track: no pitch found in '" << file << "'\n";
    if (!plot.empty()) {
        std::vector<qzcli::StreamPoint> stream;
        stream.reserve(events.size());
        for (const qzcli::TrackEvent &e : events)
            stream.push_back({e.time, e.pitch, e.amp});
        if (!qzcli::plot_track(plot, qzcli::title_from_args(sub, args),
                               opt.midi ? "pitch (MIDI)" : "pitch (Hz)", stream, error)) {
            std::cerr << "qz track: " << error << '\n';
            return qzcli::kFailure;
        }
    }
    return qzcli::kOk;
}

// qz track: the pitch/amplitude stream that a pitch tracker object would
// send for a sound file, tracked by aubio.
#include "audio.hpp"
#include "audio_options.hpp"
#include "cli_common.hpp"
#include "options.hpp"
#include "plot.hpp"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char *const kUsage = "usage: qz track [OPTIONS] FILE";

const char *const kAbout = "Tracks the pitch of a sound file with aubio and prints, one line per\n"
                           "frame that has a pitch:\n"
                           "  TIME PITCH AMP\n"
                           "TIME in ms, PITCH as a MIDI pitch or in Hz (--unit), AMP linear. The\n"
                           "lines are the stream qz pitchtally reads (qz pitchtally --audio FILE\n"
                           "runs it straight through the object).";

const char *const kTrackerNote =
    "Why --quantize: qz.pitchtally counts a pitch as recurring only when it\n"
    "arrives again exactly, to the last bit. A tracker's raw pitches rarely\n"
    "repeat exactly (a plucked A4 comes out as 69.0035623, 69.0036103,\n"
    "69.0036559, ...), so on raw pitches nearly every agent sees only its\n"
    "own event. Rounding to a grid (--quantize 1: semitones) makes the\n"
    "repeats that the object counts. The rounding belongs to the front end,\n"
    "not the object: in a patch it is the job of the boxes between the\n"
    "tracker and the object.\n"
    "\n"
    "A frame becomes an event only when it has a pitch: the tracker found one\n"
    "(not 0), the frame is louder than --silence and its confidence reaches\n"
    "--confidence. Its TIME is when a tracker running in real time would send\n"
    "it: the end of the hop just analysed, in ms from the start of the file\n"
    "(the last hop may be short: it ends with the file).\n"
    "AMP is the RMS level of that hop's samples, linear (a full-scale sine\n"
    "gives 0.707). Stereo and multichannel files are mixed down to mono; any\n"
    "sample rate the file has is used as it is.";

const char *const kFooter =
    "Numbers are printed as the shortest text that reads back as the same\n"
    "double. A silent file prints nothing and says so on stderr; every stretch\n"
    "of more than a second without an event (also at the start and the end\n"
    "of the file) is said on stderr: \"qz track: nothing tracked from 6.02 s\n"
    "to 10.00 s\".\n"
    "exit status: 0 done, 1 the file cannot be read as sound (missing, not\n"
    "sound, no samples) or the picture cannot be written, 2 usage error";

// Seconds with two decimals, rounded here (half away from zero) rather than
// by printf, whose ties differ between C libraries.
std::string seconds(double ms)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", std::round(ms / 10.0) / 100.0);
    return buf;
}

} // namespace

int cmd_track(const qzcli::Context &, const std::vector<std::string> &args)
{
    const std::string sub = "track";
    qzcli::TrackOptions opt;
    std::string plot;
    qzcli::CommandLine cl(sub, kUsage, kAbout, kFooter);
    cl.section("tracker options (aubio; the names follow aubio's own tools)");
    qzcli::add_track_options(cl, opt);
    cl.note(kTrackerNote);
    cl.section("other options");
    qzcli::add_plot_option(cl, plot, "also draw the stream to OUT.svg or OUT.png (1200x600)");
    if (const auto done = cl.parse(args))
        return *done;
    if (cl.operands().size() > 1)
        return cl.usage_error("more than one sound file given");
    const std::string file = cl.operands().empty() ? "" : cl.operands()[0];
    if (file.empty())
        return cl.usage_error("no sound file given");
    if (std::string e; !qzcli::check_track_options(opt, e))
        return cl.usage_error(e);

    std::vector<qzcli::TrackEvent> events;
    std::string error;
    double end_ms = 0.0;
    if (!qzcli::track_sound(file, opt, events, error, &end_ms)) {
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
    std::cout.flush();
    if (events.empty())
        std::cerr << "qz track: no pitch found in '" << file << "'\n";
    for (const qzcli::TrackGap &g : qzcli::track_gaps(events, end_ms))
        std::cerr << "qz track: nothing tracked from " << seconds(g.from_ms) << " s to "
                  << seconds(g.to_ms) << " s\n";
    if (!plot.empty()) {
        std::vector<qzcli::StreamPoint> stream;
        stream.reserve(events.size());
        for (const qzcli::TrackEvent &e : events)
            stream.push_back({e.time, e.pitch, e.amp});
        if (!qzcli::plot_track(
                plot, qzcli::title_from_args(sub, args), opt.midi ? "pitch (MIDI)" : "pitch (Hz)",
                opt.midi ? qzcli::PitchAxis::midi : qzcli::PitchAxis::hz, stream, error)) {
            std::cerr << "qz track: " << error << '\n';
            return qzcli::kFailure;
        }
    }
    return qzcli::kOk;
}

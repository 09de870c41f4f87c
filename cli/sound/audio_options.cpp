#include "audio_options.hpp"

#include "cli_common.hpp"
#include "options.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace qzcli {

namespace {

constexpr long kMaxBufsize = 1L << 20;

std::string range_text(double lo, double hi)
{
    return qzhost::format_number(lo) + " to " + qzhost::format_number(hi);
}

// Readers that also note that an option of their group was given.
OptionReader long_reader(const std::string &needs, long lo, long hi, long &out, bool *any)
{
    return [needs, lo, hi, &out, any](const std::string &v) {
        if (!parse_long(v, out) || out < lo || out > hi)
            throw OptionError{needs};
        if (any)
            *any = true;
    };
}

void add_long(CommandLine &cl, const std::string &name, const std::string &value_name,
              const std::string &help, long lo, long hi, long &out, bool *any)
{
    const std::string needs =
        name + " needs an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    cl.option(name, value_name, help, needs, long_reader(needs, lo, hi, out, any));
}

void add_number(CommandLine &cl, const std::string &name, const std::string &value_name,
                const std::string &help, double lo, double hi, double &out, bool *any,
                bool *given = nullptr)
{
    const std::string needs = name + " needs a number from " + range_text(lo, hi);
    cl.option(name, value_name, help, needs,
              [needs, lo, hi, &out, any, given](const std::string &v) {
                  if (!parse_double(v, out) || !std::isfinite(out) || out < lo || out > hi)
                      throw OptionError{needs};
                  if (any)
                      *any = true;
                  if (given)
                      *given = true;
              });
}

void add_bufsize(CommandLine &cl, const std::string &help, long &out, bool *any)
{
    const std::string needs =
        "--bufsize needs a power of two from 32 to " + std::to_string(kMaxBufsize);
    const OptionReader in_range = long_reader(needs, 32, kMaxBufsize, out, any);
    cl.option("--bufsize", "N", help, needs, [in_range, needs, &out](const std::string &v) {
        in_range(v);
        if ((out & (out - 1)) != 0)
            throw OptionError{needs};
    });
}

} // namespace

double confidence_floor(const TrackOptions &opt)
{
    if (opt.have_confidence)
        return opt.confidence;
    return opt.method == "yin" || opt.method == "yinfast" ? 0.5 : 0.0;
}

void add_track_options(CommandLine &cl, TrackOptions &opt, bool *any)
{
    static const char *const methods[] = {"yin",   "yinfft",  "yinfast", "mcomb",
                                          "fcomb", "schmitt", "specacf"};
    cl.option("--method", "M",
              "pitch method: yin (default, the most accurate on tones\n"
              "of 55 Hz to 2 kHz: docs/sound.md), yinfft, yinfast,\n"
              "mcomb, fcomb, schmitt, specacf",
              "--method needs a pitch method (yin, yinfft, ...)",
              [&opt, any](const std::string &v) {
                  for (const char *m : methods)
                      if (v == m) {
                          opt.method = v;
                          if (any)
                              *any = true;
                          return;
                      }
                  throw OptionError{"unknown pitch method '" + v +
                                    "' (yin, yinfft, yinfast, mcomb, fcomb, schmitt, specacf)"};
              });
    add_bufsize(cl, "analysis window in samples, a power of two (default 2048)", opt.bufsize, any);
    add_long(cl, "--hopsize", "N", "samples from one frame to the next, 1..bufsize (default 256)",
             1, kMaxBufsize, opt.hopsize, any);
    add_number(cl, "--silence", "DB", "frames quieter than DB (dB, default -70) have no pitch",
               -200.0, 0.0, opt.silence, any);
    add_number(cl, "--tolerance", "T",
               "aubio's pitch tolerance, for yin, yinfft and yinfast only\n"
               "(default: aubio's for the method, 0.85 for yinfft, 0.15\n"
               "for yin)",
               0.0, 1.0, opt.tolerance, any, &opt.have_tolerance);
    add_number(cl, "--confidence", "C",
               "drop frames whose confidence is below C (0..1; default\n"
               "0.5 for yin and yinfast, 0 for the others); above 0 only\n"
               "with yin, yinfast and specacf, the methods aubio gives a\n"
               "confidence (the others always report 0)",
               0.0, 1.0, opt.confidence, any, &opt.have_confidence);
    cl.option("--unit", "midi|hz", "pitch as MIDI pitch (default; 69 is 440 Hz) or in Hz",
              "--unit needs midi or hz", [&opt, any](const std::string &v) {
                  if (v != "midi" && v != "hz" && v != "Hz")
                      throw OptionError{"--unit needs midi or hz"};
                  opt.midi = v == "midi";
                  if (any)
                      *any = true;
              });
    // Not a tracker option alone: qz pitchtally rounds a text stream too.
    add_number(cl, "--quantize", "STEP",
               "round every pitch to the nearest multiple of STEP\n"
               "semitones (in Hz: the Hz of the rounded MIDI pitch);\n"
               "0 keeps them as tracked (qz track's default). qz\n"
               "pitchtally rounds to semitones (1) by default with\n"
               "--audio, and a text stream's pitches, read as MIDI\n"
               "pitches, only when it is given",
               0.0, 128.0, opt.quantize, nullptr, &opt.have_quantize);
}

void add_plot_option(CommandLine &cl, std::string &plot, const std::string &help)
{
    const std::string needs = "--plot needs a file name ending in .svg or .png";
    cl.option("--plot", "OUT", help, needs, [&plot](const std::string &v) {
        std::string error;
        if (!plot_path_ok(v, error))
            throw OptionError{error};
        plot = v;
    });
}

namespace {

void add_audio_option(CommandLine &cl, std::string &file, const std::string &help)
{
    cl.option("--audio", "FILE", help, "--audio needs a sound file", [&file](const std::string &v) {
        if (v.empty())
            throw OptionError{"--audio needs a sound file"};
        file = v;
    });
}

} // namespace

void add_pitchtally_audio_options(CommandLine &cl, PitchTallyAudio &opt)
{
    cl.section("sound and pictures");
    add_audio_option(cl, opt.file,
                     "track the pitch of a sound file (aubio) and send its\n"
                     "stream (as qz track prints it) to the object instead of\n"
                     "reading text, with the tracker options below\n"
                     "(qz track --help says more)");
    add_plot_option(cl, opt.plot,
                    "draw the reports to OUT.svg or OUT.png (1200x600): time\n"
                    "across, pitch up, one disc per report sized by its\n"
                    "probability and shaded by its average amplitude, the\n"
                    "incoming stream as faint dots behind");
    add_track_options(cl, opt.track, &opt.any_track_option);
}

void add_subtone_audio_options(CommandLine &cl, SubtoneAudio &opt)
{
    SpectrumOptions &sp = opt.spectrum;
    bool *any = &opt.any_spectrum_option;
    cl.section("sound and pictures");
    add_audio_option(cl, opt.file,
                     "read the partials from a sound file: aubio's phase\n"
                     "vocoder makes one spectrum per frame, our peak picker\n"
                     "takes its strongest peaks, and each frame's peaks go to\n"
                     "the box as one list. One line per frame with peaks:\n"
                     "  TIME F0\n"
                     "TIME in ms (end of the frame's hop), F0 as the box sent\n"
                     "it; --digits rounds both, --names prints F0 as a note\n"
                     "name (--a4 sets A4 for it in freq mode). --echo and\n"
                     "--stats are refused with --audio. With --explain, after\n"
                     "each line, one line per partial: its frequency, level\n"
                     "and harmonic number.");
    add_bufsize(cl, "phase vocoder window, a power of two (default 4096)", sp.bufsize, any);
    add_long(cl, "--hopsize", "N", "samples from one frame to the next, 1..bufsize (default 512)",
             1, kMaxBufsize, sp.hopsize, any);
    add_long(cl, "--partials", "N", "keep the N strongest peaks of a frame (1..64, default 6)", 1,
             64, sp.partials, any);
    add_number(cl, "--threshold", "DB",
               "ignore peaks weaker than DB dB full scale (a full-scale\n"
               "sine is 0 dB; default -60)",
               -200.0, 0.0, sp.threshold, any);
    cl.option("--order", "low|high|strong",
              "list order: lowest first (default), highest first, or\n"
              "strongest (loudest) first. The first partial is the one\n"
              "the box's search starts from.",
              "--order needs low, high or strong", [&sp](const std::string &v) {
                  if (v != "low" && v != "high" && v != "strong")
                      throw OptionError{"--order needs low, high or strong"};
                  sp.strongest_first = v == "strong";
                  sp.highest_first = v == "high";
                  sp.order_given = true;
              });
    add_plot_option(cl, opt.plot,
                    "draw the frames to OUT.svg or OUT.png (1200x600): the\n"
                    "peaks as dots and the fundamental as a line, on a\n"
                    "logarithmic frequency axis; with --segments, each\n"
                    "segment's stable peaks and fundamental as bars");
    cl.flag("--segments", opt.segments,
            "split the sound at its onsets (aubio's onset detector)\n"
            "and its chord changes (--change), and send one chord per\n"
            "segment: the peaks present in most of its frames after\n"
            "the attack, at their median frequency and level, the\n"
            "--partials loudest. One line per segment:\n"
            "  START - END s: PEAKS -> NOTE (MIDI, HZ Hz)\n"
            "times in seconds, the peaks as note names, the\n"
            "fundamental with its MIDI pitch (--digits decimals,\n"
            "default 2). -o OUT.mid|.musicxml|.xml|.mxl writes the\n"
            "fundamentals as a part (60 beats a minute; MusicXML on\n"
            "a grid of 32nd notes), --octave N moves them");
    cl.option("--onset", "METHOD",
              "--segments: aubio's onset method (hfc, energy, complex,\n"
              "phase, wphase, specdiff, kl, mkl, specflux; default\n"
              "complex)",
              "--onset needs an onset method", [&opt](const std::string &v) {
                  static const char *const methods[] = {"hfc",      "energy",   "complex", "phase",
                                                        "wphase",   "specdiff", "kl",      "mkl",
                                                        "specflux", "default"};
                  if (std::find(std::begin(methods), std::end(methods), v) == std::end(methods))
                      throw OptionError{"--onset needs an onset method (hfc, energy, complex, "
                                        "phase, wphase, specdiff, kl, mkl, specflux), not '" +
                                        v + "'"};
                  opt.onset.method = v;
                  opt.any_onset_option = true;
              });
    add_number(cl, "--onset-threshold", "T",
               "--segments: the onset detector's threshold (0.001..10,\n"
               "default 0.1): higher finds fewer onsets",
               0.001, 10.0, opt.onset.threshold, &opt.any_onset_option);
    add_number(cl, "--change", "D",
               "--segments: a chord change without an attack is a\n"
               "boundary too, where the peaks' levels per semitone over\n"
               "one window before and one after differ by more than D\n"
               "(cosine distance, 0..1; 0: onsets only; default 0.1).\n"
               "Boundaries closer than 150 ms are one.",
               0.0, 1.0, opt.segment.change, &opt.any_onset_option);
    cl.note("A peak is a bin louder than its lower neighbour and at least as loud as\n"
            "its upper one; its frequency and level are refined by a parabola through\n"
            "the three bins' levels in dB. In midi mode the peaks are sent as MIDI\n"
            "pitches.");
}

bool check_pitchtally_audio(const PitchTallyAudio &opt, bool have_input_file, std::string &error)
{
    if (opt.file.empty() && opt.any_track_option) {
        error = "tracker options need --audio FILE";
        return false;
    }
    if (!opt.file.empty() && have_input_file) {
        error = "give either --audio FILE or a text stream, not both";
        return false;
    }
    return check_track_options(opt.track, error);
}

bool check_track_options(const TrackOptions &opt, std::string &error)
{
    if (opt.hopsize > opt.bufsize) {
        error = "--hopsize must not exceed --bufsize (" + std::to_string(opt.bufsize) + ")";
        return false;
    }
    // aubio reads a tolerance only in its yin methods; elsewhere it would be
    // dropped without a word.
    if (opt.have_tolerance && opt.method != "yin" && opt.method != "yinfft" &&
        opt.method != "yinfast") {
        error = "--tolerance applies to the methods yin, yinfft and yinfast, not to " + opt.method;
        return false;
    }
    // aubio (0.4.9) gives a confidence of 0 for every frame of yinfft,
    // mcomb, fcomb and schmitt: a --confidence above 0 would drop them all
    // and print nothing but "no pitch found".
    if (opt.confidence > 0.0 && opt.method != "yin" && opt.method != "yinfast" &&
        opt.method != "specacf") {
        error = "--confidence needs a method that reports one (yin, yinfast, specacf); aubio "
                "gives " +
                opt.method + " a confidence of 0 for every frame";
        return false;
    }
    return true;
}

bool check_subtone_audio(const SubtoneAudio &opt, bool have_partials, std::string &error)
{
    if (opt.file.empty() &&
        (opt.any_spectrum_option || opt.spectrum.order_given || !opt.plot.empty())) {
        error = "--bufsize, --hopsize, --partials, --threshold, --order and --plot need "
                "--audio FILE";
        return false;
    }
    if (!opt.file.empty() && have_partials) {
        error = "give either --audio FILE or partials, not both";
        return false;
    }
    if (opt.file.empty() && (opt.segments || opt.any_onset_option)) {
        error = "--segments, --onset, --onset-threshold and --change need --audio FILE";
        return false;
    }
    if (!opt.segments && opt.any_onset_option) {
        error = "--onset, --onset-threshold and --change set how --segments splits the sound: they "
                "need "
                "--segments";
        return false;
    }
    if (opt.spectrum.hopsize > opt.spectrum.bufsize) {
        error =
            "--hopsize must not exceed --bufsize (" + std::to_string(opt.spectrum.bufsize) + ")";
        return false;
    }
    return true;
}

bool plot_path_ok(const std::string &path, std::string &error)
{
    if (has_extension(path, ".svg") || has_extension(path, ".png"))
        return true;
    error = "--plot needs a file name ending in .svg or .png, not '" + path + "'";
    return false;
}

std::string pitch_label(const PitchTallyAudio &opt)
{
    if (opt.file.empty())
        return "pitch";
    return opt.track.midi ? "pitch (MIDI)" : "pitch (Hz)";
}

std::string title_from_args(const std::string &command, const std::vector<std::string> &args)
{
    std::string title = "qz " + command;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--plot") {
            ++i;
            continue;
        }
        if (args[i].rfind("--plot=", 0) == 0)
            continue;
        title += ' ';
        title += args[i];
    }
    return title;
}

} // namespace qzcli

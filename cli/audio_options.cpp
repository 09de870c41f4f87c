#include "audio_options.hpp"

#include "cli_common.hpp"

#include <cmath>

namespace qzcli {

const char *const kTrackOptionsHelp =
    "tracker options (aubio; the names follow aubio's own tools):\n"
    "  --method M       pitch method: yinfft (default), yin, yinfast, mcomb,\n"
    "                   fcomb, schmitt, specacf\n"
    "  --bufsize N      analysis window in samples, a power of two (default 2048)\n"
    "  --hopsize N      samples from one frame to the next, 1..bufsize (default 256)\n"
    "  --silence DB     frames quieter than DB (dB, default -70) have no pitch\n"
    "  --tolerance T    aubio's pitch tolerance (default: aubio's for the method,\n"
    "                   0.85 for yinfft, 0.15 for yin)\n"
    "  --confidence C   drop frames whose confidence is below C (0..1, default 0)\n"
    "  --unit midi|hz   pitch as MIDI pitch (default; 69 is 440 Hz) or in Hz\n"
    "  --quantize STEP  round every pitch to the nearest multiple of STEP\n"
    "                   semitones (in Hz: the Hz of the rounded MIDI pitch)\n"
    "\n"
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
    "sample rate the file has is used as it is.\n";

const char *const kPitchTallyAudioHelp =
    "\n"
    "sound and pictures:\n"
    "  --audio FILE     track the pitch of a sound file (aubio) and send its\n"
    "                   stream (as qz track prints it) to the object instead of\n"
    "                   reading text; the tracker options of qz track apply\n"
    "                   (qz track --help): --method --bufsize --hopsize\n"
    "                   --silence --tolerance --confidence --unit --quantize\n"
    "  --plot OUT       draw the reports to OUT.svg or OUT.png (1200x600): time\n"
    "                   across, pitch up, one disc per report sized by its\n"
    "                   probability and shaded by its average amplitude, the\n"
    "                   incoming stream as faint dots behind\n";

const char *const kSubtoneAudioHelp =
    "\n"
    "sound and pictures:\n"
    "  --audio FILE     read the partials from a sound file: aubio's phase\n"
    "                   vocoder makes one spectrum per frame, our peak picker\n"
    "                   takes its strongest peaks, and each frame's peaks go to\n"
    "                   the box as one list. One line per frame with peaks:\n"
    "                     TIME F0\n"
    "                   TIME in ms (end of the frame's hop), F0 as the box sent\n"
    "                   it. With --explain, after each line, one line per\n"
    "                   partial: its frequency, level and harmonic number.\n"
    "  --bufsize N      phase vocoder window, a power of two (default 4096)\n"
    "  --hopsize N      samples from one frame to the next, 1..bufsize (default 512)\n"
    "  --partials N     keep the N strongest peaks of a frame (1..64, default 6)\n"
    "  --threshold DB   ignore peaks weaker than DB dB full scale (a full-scale\n"
    "                   sine is 0 dB; default -60)\n"
    "  --order low|strong  list order: lowest frequency first (default) or\n"
    "                   strongest first. The first partial is the one the box's\n"
    "                   search starts from.\n"
    "  --plot OUT       draw the frames to OUT.svg or OUT.png (1200x600): the\n"
    "                   peaks as dots and the fundamental as a line, on a\n"
    "                   logarithmic frequency axis\n"
    "A peak is a bin louder than its lower neighbour and at least as loud as\n"
    "its upper one; its frequency and level are refined by a parabola through\n"
    "the three bins' levels in dB. In midi mode the peaks are sent as MIDI\n"
    "pitches.\n";

namespace {

// Splits "--name=value"; reports whether args[i] is `name`, and fetches the
// value (inline or the next word).
class Word {
  public:
    Word(const std::vector<std::string> &args, std::size_t &i) : args_(args), i_(i)
    {
        const std::string &a = args[i];
        const std::size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name_ = a.substr(0, eq);
            value_ = a.substr(eq + 1);
            inline_ = true;
        } else {
            name_ = a;
        }
    }
    bool is(const char *name) const { return name_ == name; }
    const std::string &name() const { return name_; }
    bool value(std::string &out)
    {
        if (inline_) {
            out = value_;
            return true;
        }
        if (i_ + 1 >= args_.size())
            return false;
        out = args_[++i_];
        return true;
    }

  private:
    const std::vector<std::string> &args_;
    std::size_t &i_;
    std::string name_, value_;
    bool inline_ = false;
};

bool power_of_two(long n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

constexpr long kMaxBufsize = 1L << 20;

std::string format_range(double lo, double hi)
{
    return qzhost::format_number(lo) + " to " + qzhost::format_number(hi);
}

OptionTaken take_long(Word &w, long lo, long hi, long &out, std::string &error)
{
    std::string v;
    if (!w.value(v) || !parse_long(v, out) || out < lo || out > hi) {
        error =
            w.name() + " needs an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
        return OptionTaken::Error;
    }
    return OptionTaken::Yes;
}

OptionTaken take_number(Word &w, double lo, double hi, double &out, std::string &error)
{
    std::string v;
    if (!w.value(v) || !parse_double(v, out) || !std::isfinite(out) || out < lo || out > hi) {
        error = w.name() + " needs a number from " + format_range(lo, hi);
        return OptionTaken::Error;
    }
    return OptionTaken::Yes;
}

OptionTaken take_bufsize(Word &w, long &out, std::string &error)
{
    if (take_long(w, 32, kMaxBufsize, out, error) == OptionTaken::Error || !power_of_two(out)) {
        error = w.name() + " needs a power of two from 32 to " + std::to_string(kMaxBufsize);
        return OptionTaken::Error;
    }
    return OptionTaken::Yes;
}

} // namespace

OptionTaken take_track_option(const std::vector<std::string> &args, std::size_t &i,
                              TrackOptions &opt, std::string &error)
{
    Word w(args, i);
    std::string v;
    if (w.is("--method")) {
        static const char *const methods[] = {"yinfft", "yin",     "yinfast", "mcomb",
                                              "fcomb",  "schmitt", "specacf"};
        if (!w.value(v)) {
            error = "--method needs a pitch method (yinfft, yin, ...)";
            return OptionTaken::Error;
        }
        for (const char *m : methods)
            if (v == m) {
                opt.method = v;
                return OptionTaken::Yes;
            }
        error = "unknown pitch method '" + v +
                "' (yinfft, yin, yinfast, mcomb, fcomb, schmitt, specacf)";
        return OptionTaken::Error;
    }
    if (w.is("--bufsize"))
        return take_bufsize(w, opt.bufsize, error);
    if (w.is("--hopsize"))
        return take_long(w, 1, kMaxBufsize, opt.hopsize, error);
    if (w.is("--silence"))
        return take_number(w, -200.0, 0.0, opt.silence, error);
    if (w.is("--tolerance")) {
        opt.have_tolerance = true;
        return take_number(w, 0.0, 1.0, opt.tolerance, error);
    }
    if (w.is("--confidence"))
        return take_number(w, 0.0, 1.0, opt.confidence, error);
    if (w.is("--quantize"))
        return take_number(w, 0.0, 128.0, opt.quantize, error);
    if (w.is("--unit")) {
        if (w.value(v) && (v == "midi" || v == "hz" || v == "Hz")) {
            opt.midi = v == "midi";
            return OptionTaken::Yes;
        }
        error = "--unit needs midi or hz";
        return OptionTaken::Error;
    }
    return OptionTaken::No;
}

OptionTaken take_spectrum_option(const std::vector<std::string> &args, std::size_t &i,
                                 SpectrumOptions &opt, std::string &error)
{
    Word w(args, i);
    std::string v;
    if (w.is("--bufsize"))
        return take_bufsize(w, opt.bufsize, error);
    if (w.is("--hopsize"))
        return take_long(w, 1, kMaxBufsize, opt.hopsize, error);
    if (w.is("--partials"))
        return take_long(w, 1, 64, opt.partials, error);
    if (w.is("--threshold"))
        return take_number(w, -200.0, 0.0, opt.threshold, error);
    if (w.is("--order")) {
        if (w.value(v) && (v == "low" || v == "strong")) {
            opt.strongest_first = v == "strong";
            return OptionTaken::Yes;
        }
        error = "--order needs low or strong";
        return OptionTaken::Error;
    }
    return OptionTaken::No;
}

namespace {

// --audio FILE and --plot OUT, shared by both commands.
OptionTaken take_file_option(const std::vector<std::string> &args, std::size_t &i,
                             std::string &audio, std::string &plot, std::string &error)
{
    Word w(args, i);
    if (w.is("--audio")) {
        if (!w.value(audio) || audio.empty()) {
            error = "--audio needs a sound file";
            return OptionTaken::Error;
        }
        return OptionTaken::Yes;
    }
    if (w.is("--plot")) {
        if (!w.value(plot)) {
            error = "--plot needs a file name ending in .svg or .png";
            return OptionTaken::Error;
        }
        return plot_path_ok(plot, error) ? OptionTaken::Yes : OptionTaken::Error;
    }
    return OptionTaken::No;
}

} // namespace

OptionTaken take_pitchtally_audio_option(const std::vector<std::string> &args, std::size_t &i,
                                         PitchTallyAudio &opt, std::string &error)
{
    OptionTaken r = take_file_option(args, i, opt.file, opt.plot, error);
    if (r != OptionTaken::No)
        return r;
    r = take_track_option(args, i, opt.track, error);
    if (r == OptionTaken::Yes)
        opt.any_track_option = true;
    return r;
}

OptionTaken take_subtone_audio_option(const std::vector<std::string> &args, std::size_t &i,
                                      SubtoneAudio &opt, std::string &error)
{
    OptionTaken r = take_file_option(args, i, opt.file, opt.plot, error);
    if (r != OptionTaken::No)
        return r;
    r = take_spectrum_option(args, i, opt.spectrum, error);
    if (r == OptionTaken::Yes)
        opt.any_spectrum_option = true;
    return r;
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
    if (opt.track.hopsize > opt.track.bufsize) {
        error = "--hopsize must not exceed --bufsize (" + std::to_string(opt.track.bufsize) + ")";
        return false;
    }
    return true;
}

bool check_subtone_audio(const SubtoneAudio &opt, bool have_partials, std::string &error)
{
    if (opt.file.empty() && (opt.any_spectrum_option || !opt.plot.empty())) {
        error = "--bufsize, --hopsize, --partials, --threshold, --order and --plot need "
                "--audio FILE";
        return false;
    }
    if (!opt.file.empty() && have_partials) {
        error = "give either --audio FILE or partials, not both";
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
    auto ends_with = [&](const char *ext) {
        const std::string e(ext);
        if (path.size() <= e.size())
            return false;
        std::string tail = path.substr(path.size() - e.size());
        for (char &c : tail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return tail == e;
    };
    if (ends_with(".svg") || ends_with(".png"))
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

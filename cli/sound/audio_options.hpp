// Options of the sound front end (qz track, qz pitchtally --audio,
// qz subtone --audio) and of the pictures (--plot). Parsed here for every
// build, so that a build without aubio or cairo still knows the options and
// can say plainly that it lacks them.
#ifndef QZ_CLI_AUDIO_OPTIONS_HPP
#define QZ_CLI_AUDIO_OPTIONS_HPP

#include "notes.hpp"
#include "segments.hpp"

#include <string>
#include <vector>

namespace qzcli {

// The pitch tracker's settings, named after aubio's own tools.
struct TrackOptions {
    std::string method = "yin";   // aubio pitch method (the most accurate: docs/sound.md)
    long bufsize = 2048;          // analysis window, samples (a power of two)
    long hopsize = 256;           // samples between two frames
    double silence = -70.0;       // dB: quieter frames have no pitch
    bool have_tolerance = false;  // false: aubio's own default for the method
    double tolerance = 0.0;       // aubio's pitch tolerance
    bool have_confidence = false; // false: the method's default (confidence_floor)
    double confidence = 0.0;      // frames with a lower confidence are dropped
    bool midi = true;             // pitch unit: MIDI (true) or Hz
    bool have_quantize = false;   // --quantize given (qz pitchtally --audio has a default)
    double quantize = 0.0;        // grid step in semitones; 0: pitches as tracked
};

// The spectral peak picker's settings (qz subtone --audio).
struct SpectrumOptions {
    long bufsize = 4096;          // phase vocoder window, samples (a power of two)
    long hopsize = 512;           // samples between two frames
    long partials = 6;            // strongest peaks kept per frame
    double threshold = -60.0;     // dB full scale: weaker peaks are ignored
    bool strongest_first = false; // list order sent to the object: lowest first by default
    bool highest_first = false;   // --order high: highest frequency first
    bool order_given = false;     // --order (which qz subtone --score takes too)
};

// The onset detector that splits a sound into segments (--segments).
struct OnsetOptions {
    std::string method = "complex"; // aubio onset method (docs/sound.md)
    double threshold = 0.1;         // aubio's peak-picking threshold
    double minioi_ms = 50.0;        // no onset closer than this to the one before
    double silence = -70.0;         // dB: no onset in quieter hops
    long bufsize = 1024;            // the detector's window (the hop is the spectra's)
};

// What qz pitchtally takes besides its own options.
struct PitchTallyAudio {
    std::string file; // --audio FILE; empty: the text stream is read
    TrackOptions track;
    bool any_track_option = false;
    std::string plot; // --plot OUT.svg|OUT.png; empty: no picture
};

// What qz subtone takes besides its own options.
struct SubtoneAudio {
    std::string file; // --audio FILE; empty: partials are read as text
    SpectrumOptions spectrum;
    int digits = -1;        // --digits of the printed times and fundamentals; -1: exact
    bool names = false;     // --names: fundamentals as note names
    double a4 = kA4Hz;      // --a4, for those names in freq mode
    long alternatives = -1; // --alternatives N after each frame's result; -1: none
    double floor_hz = 0.0;  // --floor of those
    bool segments = false;  // --segments: one chord per segment between onsets
    OnsetOptions onset;
    SegmentOptions segment;
    bool any_onset_option = false;
    std::string out; // -o OUT.mid|.musicxml|.xml|.mxl of the segments; empty: none
    int octave = 0;  // --octave of what -o writes
    bool any_spectrum_option = false;
    std::string plot;
};

class CommandLine;

// The confidence below which a frame is dropped: --confidence when given,
// otherwise 0.5 for yin and yinfast (their onset frames, half silence, come
// out far off with a low confidence: docs/sound.md) and 0 for the methods
// whose confidence aubio leaves at 0.
double confidence_floor(const TrackOptions &opt);

// Declare the options on a command's command line, with their help.
void add_track_options(CommandLine &cl, TrackOptions &opt, bool *any = nullptr);
void add_plot_option(CommandLine &cl, std::string &plot, const std::string &help);
void add_pitchtally_audio_options(CommandLine &cl, PitchTallyAudio &opt);
void add_subtone_audio_options(CommandLine &cl, SubtoneAudio &opt);

// Checks after all options are read; false with `error` when they do not
// go together (a tracker option without --audio, --audio with a FILE,
// --hopsize above --bufsize, --tolerance with a method that has none).
bool check_track_options(const TrackOptions &opt, std::string &error);
bool check_pitchtally_audio(const PitchTallyAudio &opt, bool have_input_file, std::string &error);
bool check_subtone_audio(const SubtoneAudio &opt, bool have_partials, std::string &error);

// Whether --plot PATH names a picture we can write (.svg or .png).
bool plot_path_ok(const std::string &path, std::string &error);

// The pitch axis label of qz pitchtally's picture: with --audio the unit is
// known ("pitch (MIDI)", "pitch (Hz)"), a text stream's is not ("pitch").
std::string pitch_label(const PitchTallyAudio &opt);

// The command line without its --plot option, for a picture's title.
std::string title_from_args(const std::string &command, const std::vector<std::string> &args);

} // namespace qzcli

#endif // QZ_CLI_AUDIO_OPTIONS_HPP

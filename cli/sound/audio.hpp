// Sound in, through aubio: the pitch tracker's stream (qz track, qz
// pitchtally --audio) and the phase vocoder's spectra (qz subtone --audio).
// A build without aubio has the same functions; they fail with a message
// saying so.
#ifndef QZ_CLI_AUDIO_HPP
#define QZ_CLI_AUDIO_HPP

#include "audio_options.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qzcli {

// One event of the tracker's stream, as a tracker object would send it.
struct TrackEvent {
    double time = 0.0;       // ms from the start of the file: end of the hop analysed
    double pitch = 0.0;      // MIDI pitch or Hz, after --quantize
    double amp = 0.0;        // RMS level of the hop, linear
    double confidence = 0.0; // the tracker's confidence, 0..1
};

// Tracks the pitch of a sound file. `events` receives the frames that have
// a pitch, `end_ms` (when given) the length of the file in ms. false with
// `error` set when the file cannot be read as sound or holds no samples; a
// silent file gives true and no events.
bool track_sound(const std::string &path, const TrackOptions &opt, std::vector<TrackEvent> &events,
                 std::string &error, double *end_ms = nullptr);

// A stretch of the file with no event longer than kTrackGapMs: from the
// event before it (or the start) to the event after it (or the end).
struct TrackGap {
    double from_ms = 0.0, to_ms = 0.0;
};
inline constexpr double kTrackGapMs = 1000.0;
std::vector<TrackGap> track_gaps(const std::vector<TrackEvent> &events, double end_ms);

// One spectrum: bin magnitudes 0..bufsize/2, scaled so that a sine's peak
// reads as its amplitude (1 for a full-scale sine).
struct Spectrum {
    double time = 0.0;       // ms: end of the frame's hop
    double samplerate = 0.0; // Hz
    std::size_t bufsize = 0; // FFT size; bin k is k * samplerate / bufsize Hz
    const float *mags = nullptr;
    std::size_t bins = 0;
    double onset_ms = -1.0; // an onset the detector placed, ms from the start; < 0: none
};

// Runs aubio's phase vocoder over a sound file and hands every frame's
// spectrum to `sink`, in order; the sink returns false to stop. With
// `onsets`, aubio's onset detector runs on the same hops, and a frame
// carries the onset it reported (placed earlier than the frame, by the
// detector's delay: at most onset_lag_ms later than the onset). `end_ms`
// (when given) receives the length of the file. false with `error` set
// when the file cannot be read or holds no samples.
bool read_spectra(const std::string &path, long bufsize, long hopsize,
                  const std::function<bool(const Spectrum &)> &sink, std::string &error,
                  const OnsetOptions *onsets = nullptr, double *end_ms = nullptr);

// How late, after the end of the hop it lies in, an onset reaches the sink
// at the latest, at `samplerate` Hz.
double onset_lag_ms(const OnsetOptions &opt, long hopsize, double samplerate);

// Rounds a MIDI pitch to the nearest multiple of `step` semitones (halfway
// cases away from zero); step 0 leaves it as it is.
double quantize_pitch(double midi, double step);

} // namespace qzcli

#endif // QZ_CLI_AUDIO_HPP

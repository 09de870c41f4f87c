// The pictures of the qz tool, drawn with cairo: one function per picture,
// SVG or PNG from the same drawing code (the file name's ending picks the
// surface). A build without cairo has the same functions; they fail with a
// message saying so.
#ifndef QZ_CLI_PLOT_HPP
#define QZ_CLI_PLOT_HPP

#include "peaks.hpp"

#include <string>
#include <vector>

namespace qzcli {

// Size of every picture, in pixels (PNG) or points (SVG).
inline constexpr int kPlotWidth = 1200;
inline constexpr int kPlotHeight = 600;

// One event of a pitch/amplitude stream.
struct StreamPoint {
    double time = 0.0; // ms
    double pitch = 0.0;
    double amp = 0.0;
};

// One report of a stat agent.
struct TallyReport {
    double time = 0.0; // ms: when the agent's window ended
    double pitch = 0.0;
    double avgamp = 0.0;
    double proba = 0.0;
    bool alone = false; // the agent's window held its own event only
};

// One analysed frame of qz subtone --audio.
struct SubtoneFrame {
    double time = 0.0;          // ms
    std::vector<Peak> partials; // the peaks sent to the box (Hz)
    bool has_f0 = false;        // the box found a fundamental of 1 Hz or more
    double f0_hz = 0.0;
};

// The unit of a pitch axis: MIDI pitches on a linear axis, or Hz on a
// logarithmic one; both are ticked with note names (A4 = 440 Hz).
enum class PitchAxis { midi, hz };

// qz track: the tracker's stream, pitch against time, each event shaded by
// its amplitude. `y_label` names the pitch axis.
bool plot_track(const std::string &path, const std::string &title, const std::string &y_label,
                PitchAxis unit, const std::vector<StreamPoint> &stream, std::string &error);

// qz pitchtally: the reports as discs (area from the probability, shade from
// the average amplitude) over the incoming stream drawn faint.
bool plot_pitchtally(const std::string &path, const std::string &title, const std::string &y_label,
                     PitchAxis unit, const std::vector<StreamPoint> &stream,
                     const std::vector<TallyReport> &reports, std::string &error);

// qz subtone --audio: the partials of each frame as dots and the virtual
// fundamental as a line, on a logarithmic frequency axis.
bool plot_subtone(const std::string &path, const std::string &title,
                  const std::vector<SubtoneFrame> &frames, std::string &error);

// One segment of qz subtone --audio --segments: its span, its stable peaks
// and the fundamental the box sent.
struct PlotSegment {
    double start = 0.0, end = 0.0; // s
    std::vector<Peak> chord;       // Hz
    bool has_f0 = false;
    double f0_hz = 0.0;
};

// qz subtone --audio --segments: every frame's peaks as faint dots, each
// segment's stable peaks as bars over its span, its fundamental as a red
// bar.
bool plot_segments(const std::string &path, const std::string &title,
                   const std::vector<SubtoneFrame> &frames,
                   const std::vector<PlotSegment> &segments, std::string &error);

// One chord of qz subtone --score: its span, its pitches (MIDI) and the
// fundamental the box sent (MIDI; -inf: none).
struct RollChord {
    double start = 0.0, end = 0.0; // `x_label`'s unit
    std::vector<double> pitches;
    double f0 = 0.0;
};

// qz subtone --score: the chords as a piano roll (a bar per pitch) with the
// virtual fundamental as a line over time.
bool plot_score(const std::string &path, const std::string &title, const std::string &x_label,
                const std::vector<RollChord> &chords, std::string &error);

// Collects what qz pitchtally sends and receives, for plot_pitchtally.
class TallyPicture {
  public:
    explicit TallyPicture(std::string path) : path_(std::move(path)) {}
    bool wanted() const { return !path_.empty(); }
    // A pitch event; without an amplitude the last one given holds (as the
    // object's right inlet keeps it).
    void event(double time, double pitch, bool has_amp, double amp);
    void report(double time, double pitch, double avgamp, double proba);
    // The agents' window in ms, by which a report is told to be alone in
    // its window (drawn as a ring).
    void set_window(double ms) { window_ = ms; }
    // Draws the picture when one was asked for; false with a message on
    // stderr when it cannot be written.
    bool write(const std::string &title, const std::string &y_label, PitchAxis unit) const;

  private:
    std::string path_;
    double amp_ = 0.0;
    double window_ = 0.0;
    std::vector<StreamPoint> stream_;
    std::vector<TallyReport> reports_;
};

} // namespace qzcli

#endif // QZ_CLI_PLOT_HPP

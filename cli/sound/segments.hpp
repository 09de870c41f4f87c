// A sound split into segments at its onsets, each with the chord of its
// stable spectral peaks: the peaks present in most of the segment's steady
// frames (its frames after the attack), at their median frequency and level.
// Frames come in as the phase vocoder makes them, onsets as the onset
// detector reports them (a few hops late); segments go out in order as soon
// as the next onset or the end of the sound closes them. Memory is bounded
// whatever the length of the sound: a segment holds at most
// kSegmentMaxFrames frames and is split when longer.
#ifndef QZ_CLI_SEGMENTS_HPP
#define QZ_CLI_SEGMENTS_HPP

#include "peaks.hpp"

#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

namespace qzcli {

struct SegmentOptions {
    double attack_ms = 30.0;   // frames whose window starts less than this after the onset
    double cluster_cents = 30; // peaks of two frames this close are one partial
    double share = 0.5;        // a stable peak is in more than this share of the steady frames
    double range_db = 40.0;    // stable peaks this much below the loudest are dropped
    std::size_t partials = 6;  // the chord: at most this many stable peaks, the loudest
    // A chord change without an attack (legato, an organ) is a boundary
    // too: where the peaks' levels per semitone over one window before and
    // one after differ by a cosine distance above this (0: not looked for).
    double change = 0.1;
    double min_gap_ms = 150.0; // no boundary closer than this to another
};

// At most this many frames make one segment (about 12 s at a hop of 512
// samples at 44.1 kHz); a longer stretch without an onset is split there.
inline constexpr std::size_t kSegmentMaxFrames = 1024;
// Peaks kept of one frame; more are ignored.
inline constexpr std::size_t kSegmentFramePeaks = 64;

struct Segment {
    double start_ms = 0.0, end_ms = 0.0;
    std::vector<Peak> chord;      // stable peaks, loudest first
    std::size_t frames = 0;       // frames whose peaks were counted
    std::size_t sound_frames = 0; // of those, frames with at least one peak
};

class SegmentBuilder {
  public:
    using Sink = std::function<void(const Segment &)>;
    // `window_ms`: the analysis window's length; `hop_ms`: the time from
    // one frame to the next; `onset_lag_ms`: how late the onset detector
    // reports an onset at the latest, after the end of the hop it lies in.
    SegmentBuilder(const SegmentOptions &opt, double window_ms, double hop_ms, double onset_lag_ms,
                   Sink sink);

    // An onset at `ms` from the start of the sound (in any order, at most
    // `onset_lag_ms` after the end of the hop it lies in).
    void onset(double ms);
    // A frame whose window ends at `end_ms`, with its peaks (any order).
    void frame(double end_ms, const std::vector<Peak> &peaks);
    // The end of the sound at `end_ms`: every frame still held is placed,
    // and the last segment is sent.
    void finish(double end_ms);

  private:
    struct Held {
        double end_ms = 0.0;
        std::size_t first = 0, count = 0; // its peaks in held_peaks_
    };
    struct Member {
        double cents = 0.0; // log frequency
        double freq = 0.0, amp = 0.0;
        std::size_t frame = 0;
    };
    void place(double end_ms, const Peak *peaks, std::size_t count);
    void look_for_change(double end_ms, const Peak *peaks, std::size_t count);
    void close(double end_ms);
    void release_front();

    SegmentOptions opt_;
    double window_ms_, lag_ms_;
    Sink sink_;
    std::deque<double> onsets_;
    std::deque<Held> held_;
    std::vector<Peak> held_peaks_;
    std::size_t held_base_ = 0; // index in held_peaks_ of the front frame's first peak

    // The open segment.
    double start_ms_ = 0.0;
    double first_sound_ms_ = 0.0; // where its sound starts
    bool attack_free_ = false;    // it starts where a long one was split: no attack
    double last_sound_ms_ = -1.0; // end of its last frame with a peak; < 0: none yet
    double last_end_ms_ = 0.0, spacing_ms_ = 0.0; // the last frame placed, and the hop
    std::size_t steady_ = 0, sound_ = 0, attack_ = 0;
    std::vector<Member> steady_peaks_, attack_peaks_;
    std::size_t attack_sound_ = 0;

    // The chord change detector: the last 2 * half_ frames' peaks as
    // (semitone, level) pairs (a ring), the sums of the two halves, and the
    // distances found for the last two frames.
    struct Band {
        int semitone = 0;
        double level = 0.0;
    };
    static constexpr std::size_t kBands = 128;
    std::size_t half_ = 2, frames_seen_ = 0;
    std::vector<Band> ring_;
    std::vector<std::size_t> ring_count_;
    std::vector<double> ring_end_;
    std::vector<double> left_, right_;
    double dist_prev_ = 0.0, dist_prev2_ = 0.0, split_prev_ = 0.0;

    // Scratch of close().
    std::vector<Member> sorted_;
    std::vector<double> values_;
    std::vector<std::size_t> seen_;
    Segment out_;
};

} // namespace qzcli

#endif // QZ_CLI_SEGMENTS_HPP

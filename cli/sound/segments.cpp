#include "segments.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qzcli {

namespace {

// The middle value of `v` (the mean of the two middle ones for an even
// count); `v` is reordered.
double median(std::vector<double> &v)
{
    const std::size_t n = v.size();
    const auto mid = v.begin() + static_cast<long>(n / 2);
    std::nth_element(v.begin(), mid, v.end());
    if (n % 2 == 1)
        return *mid;
    const double upper = *mid;
    const double lower = *std::max_element(v.begin(), mid);
    return 0.5 * (lower + upper);
}

} // namespace

SegmentBuilder::SegmentBuilder(const SegmentOptions &opt, double window_ms, double hop_ms,
                               double onset_lag_ms, Sink sink)
    : opt_(opt), window_ms_(window_ms), sink_(std::move(sink))
{
    // Each half of the change detector spans one window; a change is found
    // half a window and one half more after it (and one frame to see that
    // the distance has peaked).
    if (hop_ms > 0.0 && std::isfinite(hop_ms))
        half_ = std::clamp<std::size_t>(static_cast<std::size_t>(std::lround(window_ms / hop_ms)),
                                        2, 64);
    const double change_lag =
        opt_.change > 0.0 ? 0.5 * window_ms + static_cast<double>(half_ + 2) * hop_ms : 0.0;
    lag_ms_ = std::max(onset_lag_ms, change_lag);
    ring_.resize(2 * half_ * kSegmentFramePeaks);
    ring_count_.assign(2 * half_, 0);
    ring_end_.assign(2 * half_, 0.0);
    left_.assign(kBands, 0.0);
    right_.assign(kBands, 0.0);
    steady_peaks_.reserve(kSegmentMaxFrames * 8);
    attack_peaks_.reserve(256);
    seen_.assign(kSegmentMaxFrames + 1, 0);
}

void SegmentBuilder::onset(double ms)
{
    if (!std::isfinite(ms) || ms < 0.0)
        return;
    // Boundaries stay sorted; one close to another adds nothing.
    const auto at = std::lower_bound(onsets_.begin(), onsets_.end(), ms);
    if (at != onsets_.end() && *at - ms < opt_.min_gap_ms)
        return;
    if (at != onsets_.begin() && ms - *(at - 1) < opt_.min_gap_ms)
        return;
    if (ms - start_ms_ < opt_.min_gap_ms && ms > start_ms_ - opt_.min_gap_ms)
        return;
    onsets_.insert(at, ms);
}

void SegmentBuilder::look_for_change(double end_ms, const Peak *peaks, std::size_t count)
{
    const std::size_t n = 2 * half_;
    const std::size_t slot = frames_seen_ % n;
    ++frames_seen_;
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Peak &p = peaks[i];
        if (!(p.freq > 0.0) || !std::isfinite(p.freq) || !(p.amp > 0.0) || !std::isfinite(p.amp))
            continue;
        const double midi = 69.0 + 12.0 * std::log2(p.freq / 440.0);
        if (!(midi >= 0.0 && midi < static_cast<double>(kBands)))
            continue;
        ring_[slot * kSegmentFramePeaks + used++] = {
            static_cast<int>(std::lround(midi)) % static_cast<int>(kBands), std::sqrt(p.amp)};
    }
    ring_count_[slot] = used;
    ring_end_[slot] = end_ms;
    if (frames_seen_ < n)
        return;
    // The oldest half_ frames against the newest half_.
    std::fill(left_.begin(), left_.end(), 0.0);
    std::fill(right_.begin(), right_.end(), 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t f = (frames_seen_ + k) % n; // k = 0: the oldest
        std::vector<double> &side = k < half_ ? left_ : right_;
        for (std::size_t i = 0; i < ring_count_[f]; ++i) {
            const Band &b = ring_[f * kSegmentFramePeaks + i];
            side[static_cast<std::size_t>(b.semitone)] += b.level;
        }
    }
    double dot = 0.0, ll = 0.0, rr = 0.0;
    for (std::size_t i = 0; i < kBands; ++i) {
        dot += left_[i] * right_[i];
        ll += left_[i] * left_[i];
        rr += right_[i] * right_[i];
    }
    const double dist = ll > 0.0 && rr > 0.0 ? 1.0 - dot / std::sqrt(ll * rr) : 0.0;
    // The new half's first frame, whose window a change at the peak of the
    // distance lies in the middle of.
    const double split = ring_end_[(frames_seen_ + half_) % n] - 0.5 * window_ms_;
    if (dist_prev_ > opt_.change && dist_prev_ > dist_prev2_ && dist_prev_ >= dist)
        onset(split_prev_);
    dist_prev2_ = dist_prev_;
    dist_prev_ = dist;
    split_prev_ = split;
}

void SegmentBuilder::frame(double end_ms, const std::vector<Peak> &peaks)
{
    Held h;
    h.end_ms = end_ms;
    h.first = held_base_ + held_peaks_.size();
    h.count = std::min(peaks.size(), kSegmentFramePeaks);
    held_peaks_.insert(held_peaks_.end(), peaks.begin(),
                       peaks.begin() + static_cast<long>(h.count));
    held_.push_back(h);
    if (opt_.change > 0.0)
        look_for_change(end_ms, peaks.data(), h.count);
    // A frame is placed once every onset before its end has been reported.
    while (!held_.empty() && held_.front().end_ms + lag_ms_ <= end_ms)
        release_front();
}

void SegmentBuilder::release_front()
{
    const Held h = held_.front();
    held_.pop_front();
    place(h.end_ms, held_peaks_.data() + (h.first - held_base_), h.count);
    if (held_.empty()) {
        held_peaks_.clear();
        held_base_ = 0;
    } else if (const std::size_t used = held_.front().first - held_base_;
               used > held_peaks_.size() / 2) {
        held_peaks_.erase(held_peaks_.begin(), held_peaks_.begin() + static_cast<long>(used));
        held_base_ += used;
    }
}

void SegmentBuilder::finish(double end_ms)
{
    while (!held_.empty())
        release_front();
    // Onsets after the last frame's end start nothing that sounds.
    onsets_.clear();
    close(end_ms);
}

void SegmentBuilder::place(double end_ms, const Peak *peaks, std::size_t count)
{
    // Every onset before this frame's end closes the open segment: the frame
    // belongs to the last of them, whose attack it may hold.
    while (!onsets_.empty() && onsets_.front() < end_ms) {
        // An onset reported later than promised, behind frames already
        // placed, takes effect after them.
        const double o = std::max(onsets_.front(), last_end_ms_);
        onsets_.pop_front();
        if (o > start_ms_) {
            close(o);
            start_ms_ = o;
        }
    }
    if (steady_ + attack_ >= kSegmentMaxFrames) {
        // A long stretch without an onset: split it after the last frame
        // placed; the next segment has no attack.
        const double at = std::max(start_ms_, last_end_ms_);
        close(at);
        start_ms_ = at;
        attack_free_ = true;
    }
    const double window_start = end_ms - window_ms_;
    const bool attack = !attack_free_ && window_start < start_ms_ + opt_.attack_ms;
    std::vector<Member> &into = attack ? attack_peaks_ : steady_peaks_;
    const std::size_t index = attack ? attack_ : steady_;
    bool sound = false;
    for (std::size_t i = 0; i < count; ++i) {
        const Peak &p = peaks[i];
        if (!(p.freq > 0.0) || !std::isfinite(p.freq) || !std::isfinite(p.amp))
            continue;
        into.push_back({1200.0 * std::log2(p.freq), p.freq, p.amp, index});
        sound = true;
    }
    if (attack) {
        ++attack_;
        attack_sound_ += sound ? 1 : 0;
    } else {
        ++steady_;
        sound_ += sound ? 1 : 0;
    }
    if (end_ms > last_end_ms_)
        spacing_ms_ = end_ms - last_end_ms_;
    last_end_ms_ = end_ms;
    if (sound) {
        if (last_sound_ms_ < 0.0)
            first_sound_ms_ = std::max(start_ms_, window_start);
        last_sound_ms_ = end_ms;
    }
}

void SegmentBuilder::close(double end_ms)
{
    const bool any = last_sound_ms_ >= 0.0;
    // The steady frames when some have sound; a segment too short to have
    // any is heard through its attack frames.
    const bool steady = sound_ > 0;
    const std::vector<Member> &members = steady ? steady_peaks_ : attack_peaks_;
    const std::size_t frames = steady ? sound_ : attack_sound_;
    if (any) {
        out_.start_ms = first_sound_ms_;
        // Sound up to the next onset ends there; sound that stops before it
        // ends with its last frame.
        const double end = end_ms - last_sound_ms_ <= 1.5 * spacing_ms_ ? end_ms : last_sound_ms_;
        out_.end_ms = std::max(end, out_.start_ms);
        out_.frames = steady ? steady_ : attack_;
        out_.sound_frames = frames;
        out_.chord.clear();
        sorted_.assign(members.begin(), members.end());
        std::sort(sorted_.begin(), sorted_.end(),
                  [](const Member &a, const Member &b) { return a.cents < b.cents; });
        // A partial: a run of peaks, each within cluster_cents of the one
        // below it. It is stable when more than `share` of the frames with
        // sound hold it.
        std::size_t stamp = 0;
        for (std::size_t i = 0; i < sorted_.size();) {
            std::size_t j = i + 1;
            while (j < sorted_.size() &&
                   sorted_[j].cents - sorted_[j - 1].cents <= opt_.cluster_cents)
                ++j;
            ++stamp;
            std::size_t distinct = 0;
            for (std::size_t k = i; k < j; ++k) {
                std::size_t &s = seen_[sorted_[k].frame];
                if (s != stamp) {
                    s = stamp;
                    ++distinct;
                }
            }
            if (static_cast<double>(distinct) > opt_.share * static_cast<double>(frames)) {
                Peak p;
                values_.clear();
                for (std::size_t k = i; k < j; ++k)
                    values_.push_back(sorted_[k].freq);
                p.freq = median(values_);
                values_.clear();
                for (std::size_t k = i; k < j; ++k)
                    values_.push_back(sorted_[k].amp);
                p.amp = median(values_);
                out_.chord.push_back(p);
            }
            i = j;
        }
        std::sort(out_.chord.begin(), out_.chord.end(), [](const Peak &a, const Peak &b) {
            return a.amp != b.amp ? a.amp > b.amp : a.freq < b.freq;
        });
        if (!out_.chord.empty()) {
            const double floor = out_.chord.front().amp * std::pow(10.0, -opt_.range_db / 20.0);
            std::size_t keep = 0;
            while (keep < out_.chord.size() && keep < opt_.partials &&
                   out_.chord[keep].amp >= floor)
                ++keep;
            out_.chord.resize(keep);
        }
        sink_(out_);
    }
    std::fill(seen_.begin(), seen_.end(), 0);
    steady_peaks_.clear();
    attack_peaks_.clear();
    steady_ = sound_ = attack_ = attack_sound_ = 0;
    last_sound_ms_ = -1.0;
    first_sound_ms_ = 0.0;
    start_ms_ = end_ms;
    attack_free_ = false;
}

} // namespace qzcli

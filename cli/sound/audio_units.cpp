// Pitch units and gaps of the sound front end, host-free and built
// everywhere.
#include "audio.hpp"

#include <cmath>

namespace qzcli {

double quantize_pitch(double midi, double step)
{
    if (!(step > 0.0))
        return midi;
    return std::round(midi / step) * step;
}

std::vector<TrackGap> track_gaps(const std::vector<TrackEvent> &events, double end_ms)
{
    std::vector<TrackGap> gaps;
    if (events.empty())
        return gaps; // the whole file: said once as "no pitch found"
    double before = 0.0;
    for (const TrackEvent &e : events) {
        if (e.time - before > kTrackGapMs)
            gaps.push_back({before, e.time});
        before = e.time;
    }
    if (end_ms - before > kTrackGapMs)
        gaps.push_back({before, end_ms});
    return gaps;
}

} // namespace qzcli

// The sound front end in a build without aubio: every use says so.
#include "audio.hpp"

namespace qzcli {

namespace {
const char *const kNoAudio = "this qz was built without sound support (aubio)";
}

bool track_sound(const std::string &, const TrackOptions &, std::vector<TrackEvent> &events,
                 std::string &error, double *)
{
    events.clear();
    error = kNoAudio;
    return false;
}

bool read_spectra(const std::string &, long, long, const std::function<bool(const Spectrum &)> &,
                  std::string &error, const OnsetOptions *, double *)
{
    error = kNoAudio;
    return false;
}

double onset_lag_ms(const OnsetOptions &, long, double)
{
    return 0.0;
}

} // namespace qzcli

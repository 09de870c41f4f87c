// Pitch units of the sound front end, host-free and built everywhere.
#include "audio.hpp"

#include <cmath>

namespace qzcli {

double quantize_pitch(double midi, double step)
{
    if (!(step > 0.0))
        return midi;
    return std::round(midi / step) * step;
}

} // namespace qzcli

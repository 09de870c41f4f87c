// Pitch units of the sound front end, host-free and built everywhere.
#include "audio.hpp"

#include <cmath>

namespace qzcli {

double hz_to_midi_pitch(double hz)
{
    return 69.0 + 12.0 * std::log2(hz / 440.0);
}

double midi_pitch_to_hz(double midi)
{
    return 440.0 * std::exp2((midi - 69.0) / 12.0);
}

double quantize_pitch(double midi, double step)
{
    if (!(step > 0.0))
        return midi;
    return std::round(midi / step) * step;
}

} // namespace qzcli

// The stream that qz pitchtally reads (TIME PITCH [AMP] / TIME stop, one
// event a line), played into a qz.pitchtally box in virtual time.
#ifndef QZ_CLI_PITCHTALLY_STREAM_HPP
#define QZ_CLI_PITCHTALLY_STREAM_HPP

#include "qzhost.hpp"

#include <ostream>
#include <string>
#include <string_view>

namespace qzcli {

class TallyPicture;

// Plays `text` into `box` and prints one "TIME PITCH AVGAMP PROBA" line per
// report on `out`, values with `digits` decimals (-1: shortest exact text).
// A line that does not parse, or goes back in time, is reported on `err`
// ("qz pitchtally: WHERE line N: ...") and ends the stream. After the last
// line every agent still running reports. Returns 0, or 1 after an input
// error. The observer it adds to `host` refers to this call: the host must
// send nothing more once it returns (free it, or its box, first). With a
// `picture`, every event and report is also drawn there. A `quantize` step
// above 0 rounds each pitch, read as a MIDI pitch, to its nearest multiple.
int play_pitch_stream(qzhost::Host &host, qzhost::BoxId box, std::string_view text,
                      const std::string &where, int digits, std::ostream &out, std::ostream &err,
                      TallyPicture *picture = nullptr, double quantize = 0.0);

} // namespace qzcli

#endif // QZ_CLI_PITCHTALLY_STREAM_HPP

// qz subtone --audio: the frames of a sound file as chords for the box.
#ifndef QZ_CLI_SUBTONE_AUDIO_HPP
#define QZ_CLI_SUBTONE_AUDIO_HPP

#include "audio_options.hpp"
#include "qzhost.hpp"

#include <string>
#include <vector>

namespace qzcli {

// Sends one list of peaks per frame to `box` (which `sent` collects the
// outlet of) and prints "TIME F0" per frame, with --explain the partials
// and their harmonic numbers; draws the picture when asked. Returns the
// exit status.
int subtone_audio(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                  const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title);

} // namespace qzcli

#endif // QZ_CLI_SUBTONE_AUDIO_HPP

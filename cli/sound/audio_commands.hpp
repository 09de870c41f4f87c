// The sound front ends of qz pitchtally and qz subtone: what their --audio
// option runs, kept apart from the commands' text-input paths.
#ifndef QZ_CLI_AUDIO_COMMANDS_HPP
#define QZ_CLI_AUDIO_COMMANDS_HPP

#include "audio_options.hpp"
#include "qzhost.hpp"

#include <string>
#include <vector>

namespace qzcli {

// qz pitchtally --audio: the tracked stream of opt.file as the text lines
// qz pitchtally reads ("TIME PITCH AMP", numbers that read back exactly).
// false with a message on stderr when the file cannot be tracked.
bool pitchtally_audio_text(const PitchTallyAudio &opt, std::string &text);

// qz subtone --audio: sends one list of peaks per frame to `box` (which
// `sent` collects the outlet of) and prints "TIME F0" per frame, with
// --explain the partials and their harmonic numbers; draws the picture when
// asked. Returns the exit status.
int subtone_audio(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                  const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title);

} // namespace qzcli

#endif // QZ_CLI_AUDIO_COMMANDS_HPP

// The sound front end of qz pitchtally: what its --audio option runs, kept
// apart from the command's text-input path (qz subtone --audio is
// cli/subtone/subtone_audio.hpp, over the same reader).
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

} // namespace qzcli

#endif // QZ_CLI_AUDIO_COMMANDS_HPP

// qz subtone --score: the chords of a score through one qz.subtone box.
#ifndef QZ_CLI_SUBTONE_SCORE_HPP
#define QZ_CLI_SUBTONE_SCORE_HPP

#include "audio_options.hpp"
#include "qzhost.hpp"
#include "score_options.hpp"
#include "subtone_session.hpp"

#include <string>

namespace qzcli {

// Runs qz subtone --score with the plug-in loaded in `host`: the chords of
// the score, each sent to one qz.subtone box in midi mode, printed as a
// table or written as a part of the score (-o); --plot draws them (`audio`
// holds --order and --plot, which --audio shares). Returns the exit status.
int subtone_score(qzhost::Host &host, const SubtoneOptions &opt, const SubtoneScore &score,
                  const SubtoneAudio &audio, const std::string &title);

} // namespace qzcli

#endif // QZ_CLI_SUBTONE_SCORE_HPP

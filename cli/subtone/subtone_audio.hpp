// qz subtone --audio: the frames of a sound file as chords for the box.
#ifndef QZ_CLI_SUBTONE_AUDIO_HPP
#define QZ_CLI_SUBTONE_AUDIO_HPP

#include "audio_options.hpp"
#include "peaks.hpp"
#include "qzhost.hpp"
#include "subtone_explain.h"

#include <iosfwd>

#include <string>
#include <vector>

namespace qzcli {

// Sends one list of peaks per frame to `box` (which `sent` collects the
// outlet of) and prints "TIME F0" per frame, with --explain the partials
// and their harmonic numbers; draws the picture when asked. Returns the
// exit status.
int subtone_audio(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                  const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title);

// The partials of one list as the box stored them (singles, in Hz), the
// search the box ran on them, and the harmonic number it chose for each
// (`explain`); then the lower fundamentals that fit better (--alternatives).
void explain_partials(const std::vector<Peak> &peaks, const std::vector<t_atom> &atoms, long mode,
                      float approx, float tolerance, bool explain, const SubtoneAudio &opt,
                      subtone_workspace &ws, subtone_explanation &e, std::ostream &out);

// The box's approximation and the tolerance the search derives from it;
// false after saying why on stderr.
bool box_approx(qzhost::Host &host, qzhost::BoxId box, float &approx, float &tolerance);

// qz subtone --audio --segments: one chord per segment between onsets,
// made of its stable peaks, sent to `box`; one line per segment, -o writes
// the fundamentals, --plot draws them. Returns the exit status.
int subtone_segments(qzhost::Host &host, qzhost::BoxId box, long mode, bool explain,
                     const SubtoneAudio &opt, std::vector<double> &sent, const std::string &title);

} // namespace qzcli

#endif // QZ_CLI_SUBTONE_AUDIO_HPP

// Reading chords for qz subtone: each partial a number or a note name,
// never a word that would reach the object by accident.
#ifndef QZ_CLI_CHORDS_HPP
#define QZ_CLI_CHORDS_HPP

#include "notes.hpp"
#include "qzhost.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

struct PitchUnits {
    bool midi = false; // partials are MIDI numbers (else Hz)
    double a4 = kA4Hz; // Hz of A4 when a note name becomes a frequency
};

// One partial: a number as the host reads it (an integer or a float atom),
// or a note name converted to a float atom: its MIDI number, or in Hz its
// frequency with A4 at units.a4. false for anything else.
bool read_partial(qzhost::Host &host, const std::string &token, const PitchUnits &units,
                  t_atom &out);

struct Chord {
    std::vector<std::string> tokens; // as written
    std::vector<t_atom> atoms;
    // How its notes and results are named; unset: as its tokens are written
    // (spelling_of). A score's chord takes its key's.
    std::optional<Spelling> spelling;
};

// Reads one line of a chord file: partials separated by blanks or commas,
// '#' starts a comment. false with `error` and `column` set when a field is
// missing or is no partial; an empty chord is a blank line.
bool read_chord_line(qzhost::Host &host, std::string_view line, const PitchUnits &units,
                     Chord &chord, std::string &error, std::size_t &column);

// The partials as a qz.subtone box stores them from these atoms: each
// number as a single, a MIDI pitch converted to Hz (mode 1); anything else
// is 0, the slot the box leaves for an atom it refused. What --explain
// traces is then the very input of the box's search.
std::vector<float> box_partials(const std::vector<t_atom> &atoms, long mode);

} // namespace qzcli

#endif // QZ_CLI_CHORDS_HPP

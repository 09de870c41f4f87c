#include "chords.hpp"

#include "fields.hpp"
#include "notes.hpp"
#include "subtone_search.h"

namespace qzcli {

bool read_partial(qzhost::Host &host, const std::string &token, const PitchUnits &units,
                  t_atom &out)
{
    // A word the host would intern as a symbol is first tried as a note.
    double midi = 0.0;
    if (parse_note(token, midi)) {
        atom_setfloat(&out, units.midi ? midi : note_to_hz(midi, units.a4));
        return true;
    }
    out = host.parse_atom(token);
    return atom_gettype(&out) == A_LONG || atom_gettype(&out) == A_FLOAT;
}

bool read_chord_line(qzhost::Host &host, std::string_view line, const PitchUnits &units,
                     Chord &chord, std::string &error, std::size_t &column)
{
    chord.tokens.clear();
    chord.atoms.clear();
    std::vector<Field> fields;
    if (!split_fields(strip_comment(line), fields, column)) {
        error = "a comma where a partial should be";
        return false;
    }
    for (Field &f : fields) {
        t_atom a;
        if (!read_partial(host, f.text, units, a)) {
            column = f.column;
            error = "'" + f.text + "' is neither a number nor a note name" + note_hint(f.text);
            return false;
        }
        chord.atoms.push_back(a);
        chord.tokens.push_back(std::move(f.text));
    }
    return true;
}

std::vector<float> box_partials(const std::vector<t_atom> &atoms, long mode)
{
    std::vector<float> p;
    p.reserve(atoms.size());
    for (const t_atom &a : atoms) {
        float v = 0.0f;
        if (atom_gettype(&a) == A_LONG)
            v = static_cast<float>(atom_getlong(&a));
        else if (atom_gettype(&a) == A_FLOAT)
            v = static_cast<float>(atom_getfloat(&a));
        else {
            p.push_back(0.0f);
            continue;
        }
        p.push_back(mode != 0 ? midi_to_hz(v) : v);
    }
    return p;
}

} // namespace qzcli

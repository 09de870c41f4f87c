// Note names as musicians write them ("C4", "F#3", "Bb3-31c", "E♭5+14c"),
// to and from MIDI numbers (C4 = 60, A4 = 69) and frequencies.
#ifndef QZ_CLI_NOTES_HPP
#define QZ_CLI_NOTES_HPP

#include <string>
#include <string_view>
#include <vector>

namespace qzcli {

// Reads a note name: a letter A-G (either case), any number of accidentals
// ('#' or '♯' raise, 'b' or '♭' lower a semitone), an octave (an integer,
// C4 = 60, C-1 = 0) and optional cents ("+14c", "-31.5c"). false when the
// whole text is not one.
bool parse_note(std::string_view text, double &midi);

// Why `text` is no note name when it nearly is one: cents written without
// their 'c' ("G4+14": " (cents are written with a c: G4+14c)"); empty
// otherwise.
std::string note_hint(std::string_view text);

// How the black keys are named: C# (sharps, the default) or Db (flats).
enum class Spelling { sharps, flats };

// The spelling a chord is written in: flats when every accidental in its
// note names is a flat (and there is one), sharps otherwise.
Spelling spelling_of(const std::vector<std::string> &words);

// The nearest note and the distance to it in cents, rounded to
// `cent_decimals` decimals and left out when it rounds to 0: "A2+1c",
// "C#5-14c", "C4". Sharps name the black keys, or flats ("Db5-14c"). A value that is not finite,
// or too far out to name, gets the shortest text of the number instead.
std::string note_name(double midi, int cent_decimals = 0, Spelling spelling = Spelling::sharps);

// The frequency of A4 (MIDI 69) unless the user gives another.
inline constexpr double kA4Hz = 440.0;

// Frequency of a MIDI number and back, with A4 (69) at `a4` Hz, in double,
// the same bits in every build.
double note_to_hz(double midi, double a4);
double hz_to_note(double hz, double a4);

// note_name of a frequency, A4 at `a4` Hz ("A2+1c" for 110.046 Hz); a
// frequency that is not above 0 or not finite (0: no fundamental) gets the
// shortest text of the number.
std::string hz_note_name(double hz, double a4, int cent_decimals = 0,
                         Spelling spelling = Spelling::sharps);

// A pitch as qz subtone prints a result: the number (`digits` decimals; -1:
// the exact text), or with `names` its note name with `digits` decimals of
// cents (0 when -1) from a MIDI number (`midi`) or a frequency (A4 at
// `a4`).
std::string pitch_text(double v, bool midi, double a4, bool names, int digits,
                       Spelling spelling = Spelling::sharps);

} // namespace qzcli

#endif // QZ_CLI_NOTES_HPP

#include "notes.hpp"

#include "crmath.h"
#include "qzhost.hpp"
#include "values.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

namespace qzcli {

namespace {

// Semitones above C of the letters A..G.
constexpr int kLetter[7] = {9, 11, 0, 2, 4, 5, 7};
constexpr const char *kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                    "F#", "G",  "G#", "A",  "A#", "B"};
constexpr const char *kFlatNames[12] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                        "Gb", "G",  "Ab", "A",  "Bb", "B"};
constexpr std::string_view kSharp = "\xE2\x99\xAF"; // U+266F
constexpr std::string_view kFlat = "\xE2\x99\xAD";  // U+266D

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool parse_note(std::string_view s, double &midi)
{
    if (s.empty())
        return false;
    const char letter = static_cast<char>(s[0] >= 'a' ? s[0] - 'a' + 'A' : s[0]);
    if (letter < 'A' || letter > 'G')
        return false;
    size_t i = 1;
    double semitones = kLetter[letter - 'A'];
    for (;;) {
        if (i < s.size() && s[i] == '#') {
            semitones += 1;
            ++i;
        } else if (i < s.size() && s[i] == 'b') {
            semitones -= 1;
            ++i;
        } else if (s.substr(i, kSharp.size()) == kSharp) {
            semitones += 1;
            i += kSharp.size();
        } else if (s.substr(i, kFlat.size()) == kFlat) {
            semitones -= 1;
            i += kFlat.size();
        } else {
            break;
        }
    }
    // The octave: an optional minus and up to six digits.
    bool negative = false;
    if (i < s.size() && s[i] == '-' && i + 1 < s.size() && digit(s[i + 1])) {
        negative = true;
        ++i;
    }
    const size_t octave_start = i;
    long octave = 0;
    while (i < s.size() && digit(s[i]) && i - octave_start < 6)
        octave = octave * 10 + (s[i++] - '0');
    if (i == octave_start || (i < s.size() && digit(s[i])))
        return false;
    if (negative)
        octave = -octave;
    double cents = 0.0;
    if (i < s.size()) {
        // "+14c", "-31.5c": a sign, digits with an optional fraction, 'c'.
        if ((s[i] != '+' && s[i] != '-') || s.back() != 'c')
            return false;
        const std::string_view number = s.substr(i + 1, s.size() - i - 2);
        if (number.empty() || number.size() > 12 || !digit(number.front()) || !digit(number.back()))
            return false;
        size_t dots = 0;
        for (char c : number) {
            if (c == '.')
                ++dots;
            else if (!digit(c))
                return false;
        }
        if (dots > 1)
            return false;
        cents = std::strtod(std::string(number).c_str(), nullptr);
        if (s[i] == '-')
            cents = -cents;
    }
    midi = 12.0 * static_cast<double>(octave + 1) + semitones + cents / 100.0;
    return true;
}

std::string note_name(double midi, int cent_decimals, Spelling spelling)
{
    if (!std::isfinite(midi) || std::fabs(midi) > 1e6)
        return qzhost::format_number(midi);
    const double nearest = std::round(midi);
    const double scale = std::pow(10.0, cent_decimals);
    double cents = std::round((midi - nearest) * 100.0 * scale) / scale;
    const long n = static_cast<long>(nearest);
    const long pc = ((n % 12) + 12) % 12;
    const long octave = (n - pc) / 12 - 1;
    std::string name =
        (spelling == Spelling::flats ? kFlatNames : kNames)[pc] + std::to_string(octave);
    if (cents == 0.0)
        return name;
    return name + (cents > 0.0 ? "+" : "") + format_value(cents, cent_decimals) + "c";
}

// exp2 and log2 correctly rounded (crmath.h), not the C library's: a note
// name printed for a frequency, and the frequency of a note name, are then
// the same in every build.
double note_to_hz(double midi, double a4)
{
    return a4 * crmath::exp2((midi - 69.0) / 12.0);
}

double hz_to_note(double hz, double a4)
{
    return 69.0 + 12.0 * crmath::log2(hz / a4);
}

std::string hz_note_name(double hz, double a4, int cent_decimals, Spelling spelling)
{
    if (!(hz > 0.0) || !std::isfinite(hz))
        return qzhost::format_number(hz);
    return note_name(hz_to_note(hz, a4), cent_decimals, spelling);
}

std::string pitch_text(double v, bool midi, double a4, bool names, int digits, Spelling spelling)
{
    if (!names)
        return format_value(v, digits);
    const int cents = digits < 0 ? 0 : digits;
    return midi ? note_name(v, cents, spelling) : hz_note_name(v, a4, cents, spelling);
}

Spelling spelling_of(const std::vector<std::string> &words)
{
    bool flat = false;
    for (const std::string &w : words) {
        double midi = 0.0;
        if (w.empty() || !parse_note(w, midi))
            continue;
        // The accidentals stand between the letter and the octave.
        const std::string_view rest = std::string_view(w).substr(1);
        if (rest.find('#') != std::string_view::npos || rest.find(kSharp) != std::string_view::npos)
            return Spelling::sharps;
        flat = flat || rest.find('b') != std::string_view::npos ||
               rest.find(kFlat) != std::string_view::npos;
    }
    return flat ? Spelling::flats : Spelling::sharps;
}

std::string note_hint(std::string_view text)
{
    double midi = 0.0;
    const std::string with_c = std::string(text) + "c";
    if (!text.empty() && text.back() >= '0' && text.back() <= '9' &&
        text.find_first_of("+-", 1) != std::string_view::npos && parse_note(with_c, midi))
        return " (cents are written with a c: " + with_c + ")";
    return {};
}

} // namespace qzcli

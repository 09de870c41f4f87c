// The words --explain prints for a search's path: each partial's harmonic
// number and how far it lies from it, and whether the result is fragile.
#ifndef QZ_CLI_EXPLAIN_TEXT_HPP
#define QZ_CLI_EXPLAIN_TEXT_HPP

#include "notes.hpp"
#include "subtone_alternatives.h"
#include "subtone_explain.h"

#include <ostream>
#include <string>

namespace qzcli {

// Cents with a sign and one decimal: "+1.2", "-48.9", "+0.0".
std::string cents_text(double cents);

// What follows a partial on its line once a fundamental was found:
// ", harmonic 4, -0.7 cents (49.3 from the edge)", with "(no window:
// skipped)" for a partial that narrows nothing, and a mark for a partial on
// the edge of its window.
std::string harmonic_text(const subtone_partial_explained &e, int digits);

// A fundamental as qz subtone --score and --segments print it: "G1 (31,
// 49.00 Hz)", its note name, the MIDI pitch (`digits` decimals; -1: the
// exact text) and the frequency with 2 decimals.
std::string fundamental_text(double midi, double hz, int digits,
                             Spelling spelling = Spelling::sharps);

// The line on fragility, from the search's fragility test.
void print_fragility(std::ostream &out, const subtone_explanation &e);

// The object's result heard with its fit, then the lower fundamentals that
// fit better, a line each: "  alternative 1: 100.0000 Hz (G2+35c),
// harmonics 1 2 3 4, fit 0.4 cents". Frequencies with 4 decimals, or
// `digits`; note names with A4 at `a4` Hz.
void print_alternatives(std::ostream &out, const subtone_alternatives &a, double floor_hz,
                        double a4, int digits, Spelling spelling = Spelling::sharps);

} // namespace qzcli

#endif // QZ_CLI_EXPLAIN_TEXT_HPP

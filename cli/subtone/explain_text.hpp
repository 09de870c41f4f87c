// The words --explain prints for a search's path: each partial's harmonic
// number and how far it lies from it, and whether the result is fragile.
#ifndef QZ_CLI_EXPLAIN_TEXT_HPP
#define QZ_CLI_EXPLAIN_TEXT_HPP

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

// The line on fragility, from the search's fragility test.
void print_fragility(std::ostream &out, const subtone_explanation &e);

} // namespace qzcli

#endif // QZ_CLI_EXPLAIN_TEXT_HPP

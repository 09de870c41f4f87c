// Help patchers as executable documentation. `check_patch` does what a
// reader of the patch does, in reading order (top to bottom, left to right
// on a row; a subpatcher's boxes when its box is reached):
//   - clicks every message box;
//   - lets time pass where a comment says "wait N ms";
//   - reads every number box that has a comment "= VALUE" right beside it
//     (on its row, starting within 60 points of its right edge) and compares
//     the box with VALUE to the decimals VALUE is written with: "= 110.0459"
//     holds for a box showing 110.04591..., "= 36" for 36 but not 36.5.
// A "= VALUE" comment beside no number box, or a patch with nothing to
// compare, fails too.
#ifndef QZ_CLI_PATCH_CHECK_HPP
#define QZ_CLI_PATCH_CHECK_HPP

#include "patch.hpp"

#include <ostream>
#include <string>

namespace qzcli {

// Parses an expectation comment ("= 36 (C2)"): the value and how many
// decimals it is written with. false when the text is no expectation.
bool parse_expectation(const std::string &comment, double &value, int &decimals);
// Whether a box showing `shown` agrees with the expected value.
bool agrees(double shown, double expected, int decimals);

// Walks the patch as described above, printing one line per click, wait and
// comparison to `out`. Returns the number of failed comparisons and
// misplaced expectations (and 1 when there is nothing to compare).
int check_patch(Patch &patch, std::ostream &out);

} // namespace qzcli

#endif // QZ_CLI_PATCH_CHECK_HPP

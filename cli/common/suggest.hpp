// The word a user probably meant: for a mistyped command or option, the
// nearest of the known ones.
#ifndef QZ_CLI_SUGGEST_HPP
#define QZ_CLI_SUGGEST_HPP

#include <string>
#include <vector>

namespace qzcli {

// The candidate nearest to `word`: one that `word` begins or that begins
// `word` (at least three letters in common), or else one at most two edits
// away (a letter put in, left out, changed or two swapped), the fewest edits
// first. Empty when none is that near.
std::string nearest_word(const std::string &word, const std::vector<std::string> &candidates);

// " (did you mean 'X'?)" for the nearest candidate, or empty.
std::string did_you_mean(const std::string &word, const std::vector<std::string> &candidates);

} // namespace qzcli

#endif // QZ_CLI_SUGGEST_HPP

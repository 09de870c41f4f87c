#include "suggest.hpp"

#include <algorithm>
#include <cstddef>

namespace qzcli {

namespace {

// Edits between a and b: insertions, deletions, changes and swaps of two
// neighbours (optimal string alignment).
std::size_t edits(const std::string &a, const std::string &b)
{
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::size_t> d((n + 1) * (m + 1));
    auto at = [m, &d](std::size_t i, std::size_t j) -> std::size_t & { return d[i * (m + 1) + j]; };
    for (std::size_t i = 0; i <= n; ++i)
        at(i, 0) = i;
    for (std::size_t j = 0; j <= m; ++j)
        at(0, j) = j;
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    return at(n, m);
}

std::size_t letters(const std::string &w)
{
    return w.size() - std::min(w.find_first_not_of('-'), w.size());
}

} // namespace

std::string nearest_word(const std::string &word, const std::vector<std::string> &candidates)
{
    for (const std::string &c : candidates) {
        const std::string &shorter = c.size() < word.size() ? c : word;
        const std::string &longer = c.size() < word.size() ? word : c;
        if (letters(shorter) >= 3 && longer.compare(0, shorter.size(), shorter) == 0)
            return c;
    }
    std::string best;
    std::size_t fewest = 3;
    for (const std::string &c : candidates) {
        const std::size_t e = edits(word, c);
        // Two edits in a word of three letters would suggest anything.
        if (e < fewest && e < letters(c))
            best = c, fewest = e;
    }
    return best;
}

std::string did_you_mean(const std::string &word, const std::vector<std::string> &candidates)
{
    const std::string near = nearest_word(word, candidates);
    return near.empty() ? std::string() : " (did you mean '" + near + "'?)";
}

} // namespace qzcli

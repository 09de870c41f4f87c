// The console lines of a host as the tests read them: their texts, of every
// box or of one.
#ifndef QZ_TESTS_CONSOLE_HPP
#define QZ_TESTS_CONSOLE_HPP

#include "qzhost.hpp"

#include <string>
#include <vector>

namespace qzt {

// Stands for every box, where a routine below takes one (-1 is a line of no
// box, such as a banner).
inline constexpr qzhost::BoxId kAnyBox = -2;

// Texts of the console lines of `box`, errors and posts alike.
inline std::vector<std::string> console_texts(const qzhost::Host &h, qzhost::BoxId box = kAnyBox)
{
    std::vector<std::string> out;
    for (const auto &l : h.console_log())
        if (box == kAnyBox || l.box == box)
            out.push_back(l.text);
    return out;
}

// Texts of the error lines of `box`.
inline std::vector<std::string> console_errors(const qzhost::Host &h, qzhost::BoxId box = kAnyBox)
{
    std::vector<std::string> out;
    for (const auto &l : h.console_log())
        if (l.error && (box == kAnyBox || l.box == box))
            out.push_back(l.text);
    return out;
}

} // namespace qzt

#endif // QZ_TESTS_CONSOLE_HPP

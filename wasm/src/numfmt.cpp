// The host's number text for the note-name code compiled into the package
// (host/embedded/numfmt.cpp needs a floating-point std::to_chars, which
// emscripten's C++ library lacks): the shortest %g text that reads back as
// the same double. Note names fall back to it only for values that are not
// finite or too far out to name.
#include "qzhost.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qzhost {

std::string format_number(double v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    char buf[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

} // namespace qzhost

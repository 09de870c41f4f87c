#include "values.hpp"

#include "qzhost.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace qzcli {

std::string format_value(double v, int digits)
{
    if (digits < 0 || !std::isfinite(v) || std::fabs(v) >= 1e15)
        return qzhost::format_number(v);
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    // Trailing zeros and a bare point dropped, in the buffer, so that the
    // string is made once ("-0" is 0).
    std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (std::memchr(buf, '.', len) != nullptr) {
        while (len > 0 && buf[len - 1] == '0')
            --len;
        if (len > 0 && buf[len - 1] == '.')
            --len;
    }
    if (len == 2 && buf[0] == '-' && buf[1] == '0')
        return "0";
    return std::string(buf, len);
}

} // namespace qzcli

#include "values.hpp"

#include "qzhost.hpp"

#include <cmath>
#include <cstdio>

namespace qzcli {

std::string format_value(double v, int digits)
{
    if (digits < 0 || !std::isfinite(v) || std::fabs(v) >= 1e15)
        return qzhost::format_number(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    std::string text = buf;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

} // namespace qzcli

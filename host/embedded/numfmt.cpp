// Number texts: the shortest decimal that reads back as the same double.
#include "qzhost.hpp"

#include <charconv>
#include <cmath>

namespace qzhost {

std::string format_number(double v)
{
    if (std::isnan(v))
        return "nan"; // whatever its sign bit
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string format_atom(const t_atom &a)
{
    switch (a.a_type) {
    case A_LONG:
        return std::to_string(a.a_w.w_long);
    case A_FLOAT:
        return format_number(a.a_w.w_float);
    case A_SYM:
        return a.a_w.w_sym ? a.a_w.w_sym->s_name : "";
    default:
        return "";
    }
}

} // namespace qzhost

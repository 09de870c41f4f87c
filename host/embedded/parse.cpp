// Atom texts: integers, decimal floats (no hexadecimal), inf/nan, symbols.
#include "internal.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace qzhost {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// Optional sign and decimal digits only.
bool is_integer_text(std::string_view w)
{
    size_t i = (!w.empty() && (w[0] == '+' || w[0] == '-')) ? 1 : 0;
    if (i == w.size())
        return false;
    for (; i < w.size(); ++i)
        if (!is_digit(w[i]))
            return false;
    return true;
}

// [sign] (digits [. digits*] | . digits) [(e|E) [sign] digits]. Returns the
// decimal exponent of the leading significant digit through `magnitude`
// (used to tell overflow from underflow), or false when the text is no
// decimal number.
bool is_decimal_text(std::string_view w, long long &magnitude)
{
    size_t i = 0, n = w.size();
    if (i < n && (w[i] == '+' || w[i] == '-'))
        ++i;
    size_t int_begin = i;
    while (i < n && is_digit(w[i]))
        ++i;
    size_t int_end = i;
    size_t frac_begin = i, frac_end = i;
    if (i < n && w[i] == '.') {
        frac_begin = ++i;
        while (i < n && is_digit(w[i]))
            ++i;
        frac_end = i;
    }
    if (int_end == int_begin && frac_end == frac_begin)
        return false;
    long long exp10 = 0;
    if (i < n && (w[i] == 'e' || w[i] == 'E')) {
        ++i;
        bool neg = false;
        if (i < n && (w[i] == '+' || w[i] == '-'))
            neg = w[i++] == '-';
        if (i == n)
            return false;
        for (; i < n; ++i) {
            if (!is_digit(w[i]))
                return false;
            if (exp10 < 1000000000LL)
                exp10 = exp10 * 10 + (w[i] - '0');
        }
        if (neg)
            exp10 = -exp10;
    }
    if (i != n)
        return false;
    // Position of the first non-zero digit relative to the decimal point.
    long long lead = 0;
    bool found = false;
    for (size_t k = int_begin; k < int_end && !found; ++k)
        if (w[k] != '0') {
            lead = static_cast<long long>(int_end - k) - 1;
            found = true;
        }
    for (size_t k = frac_begin; k < frac_end && !found; ++k)
        if (w[k] != '0') {
            lead = -static_cast<long long>(k - frac_begin) - 1;
            found = true;
        }
    magnitude = found ? lead + exp10 : std::numeric_limits<long long>::min();
    return true;
}

} // namespace

namespace detail {

bool number_atom(std::string_view w, t_atom &a)
{
    if (is_integer_text(w)) {
        std::string_view digits = w[0] == '+' ? w.substr(1) : w;
        t_atom_long v = 0;
        auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (res.ec == std::errc() && res.ptr == digits.data() + digits.size()) {
            atom_setlong(&a, v);
            return true;
        }
        // Out of the integer range: read as a float below.
    }
    long long magnitude = 0;
    if (is_decimal_text(w, magnitude)) {
        bool neg = w[0] == '-';
        std::string_view body = (w[0] == '+' || w[0] == '-') ? w.substr(1) : w;
        double v = 0.0;
        auto res =
            std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
        if (res.ec == std::errc::result_out_of_range)
            v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        atom_setfloat(&a, neg ? -v : v);
        return true;
    }
    std::string_view body = w;
    bool neg = false;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        neg = body[0] == '-';
        body.remove_prefix(1);
    }
    if (iequals(body, "inf") || iequals(body, "infinity")) {
        atom_setfloat(&a, neg ? -std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::infinity());
        return true;
    }
    if (iequals(w, "nan")) {
        atom_setfloat(&a, std::numeric_limits<double>::quiet_NaN());
        return true;
    }
    return false;
}

} // namespace detail

t_atom Host::parse_atom(std::string_view w)
{
    t_atom a;
    if (!detail::number_atom(w, a))
        atom_setsym(&a, sym(w));
    return a;
}

std::vector<t_atom> Host::parse_atoms(std::string_view text)
{
    std::vector<t_atom> out;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < text.size()) {
        while (i < text.size() && blank(text[i]))
            ++i;
        size_t b = i;
        while (i < text.size() && !blank(text[i]))
            ++i;
        if (i > b)
            out.push_back(parse_atom(text.substr(b, i - b)));
    }
    return out;
}

} // namespace qzhost

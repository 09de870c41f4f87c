// Atoms: typed values of messages.
#include "internal.hpp"

#include <cmath>
#include <limits>

namespace qzhost::detail {

t_atom_long to_long(double v)
{
    using limits = std::numeric_limits<t_atom_long>;
    if (std::isnan(v))
        return 0;
    // 2^31 or 2^63, exact in double; anything at or beyond it saturates.
    constexpr double bound = -static_cast<double>(limits::min());
    if (v >= bound)
        return limits::max();
    if (v < -bound)
        return limits::min();
    return static_cast<t_atom_long>(v); // truncates toward zero
}

bool is_number(const t_atom &a)
{
    return a.a_type == A_LONG || a.a_type == A_FLOAT;
}

double number_of(const t_atom &a)
{
    if (a.a_type == A_LONG)
        return static_cast<double>(a.a_w.w_long);
    if (a.a_type == A_FLOAT)
        return static_cast<double>(a.a_w.w_float);
    return 0.0;
}

t_atom_long long_of(const t_atom &a)
{
    if (a.a_type == A_LONG)
        return a.a_w.w_long;
    if (a.a_type == A_FLOAT)
        return to_long(static_cast<double>(a.a_w.w_float));
    return 0;
}

} // namespace qzhost::detail

extern "C" {

long atom_gettype(const t_atom *a)
{
    return a ? static_cast<long>(a->a_type) : static_cast<long>(A_NOTHING);
}

namespace {

// A symbol atom coerced to a number, as the host's atom_getlong and
// atom_getfloat document: a symbol whose whole text reads as a number (by
// the rules of box text) is that number; any other symbol is 0.
t_atom coerced(const t_atom &a)
{
    t_atom n = a;
    if (a.a_type == A_SYM && !(a.a_w.w_sym && a.a_w.w_sym->s_name &&
                               qzhost::detail::number_atom(a.a_w.w_sym->s_name, n)))
        atom_setlong(&n, 0);
    return n;
}

} // namespace

t_atom_long atom_getlong(const t_atom *a)
{
    return a ? qzhost::detail::long_of(coerced(*a)) : 0;
}

t_atom_float atom_getfloat(const t_atom *a)
{
    return a ? static_cast<t_atom_float>(qzhost::detail::number_of(coerced(*a))) : 0;
}

// A symbol atom's symbol; for anything else the empty symbol (null when no
// host is running).
t_symbol *atom_getsym(const t_atom *a)
{
    if (a && a->a_type == A_SYM)
        return a->a_w.w_sym;
    auto *h = qzhost::detail::current();
    return h ? h->s_empty : nullptr;
}

t_max_err atom_setlong(t_atom *a, t_atom_long b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_LONG;
    a->a_w.w_long = b;
    return MAX_ERR_NONE;
}

t_max_err atom_setfloat(t_atom *a, double b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_FLOAT;
    a->a_w.w_float = static_cast<t_atom_float>(b); // single in the 32-bit host
    return MAX_ERR_NONE;
}

t_max_err atom_setsym(t_atom *a, t_symbol *b)
{
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->a_type = A_SYM;
    a->a_w.w_sym = b;
    return MAX_ERR_NONE;
}

} // extern "C"

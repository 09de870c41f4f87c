// Atoms made by hand, as the host's own atom_set* routines fill them.
// Shared by the test suites and the fuzz programs (no test framework here).
#ifndef QZ_TESTS_ATOMS_HPP
#define QZ_TESTS_ATOMS_HPP

#include "qzhost.hpp"

namespace qzt {

inline t_atom L(t_atom_long v)
{
    t_atom a;
    atom_setlong(&a, v);
    return a;
}

inline t_atom F(double v)
{
    t_atom a;
    atom_setfloat(&a, v);
    return a;
}

inline t_atom S(qzhost::Host &h, const char *s)
{
    t_atom a;
    atom_setsym(&a, h.sym(s));
    return a;
}

} // namespace qzt

#endif // QZ_TESTS_ATOMS_HPP

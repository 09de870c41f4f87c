// `@name value...` pairs among the creation arguments of the Pd externals.
#include "qz_pd.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool is_setting(const t_atom *a)
{
    return a->a_type == A_SYMBOL && a->a_w.w_symbol->s_name[0] == '@' &&
           a->a_w.w_symbol->s_name[1] != '\0';
}

} // namespace

int qz_pd_first_setting(int argc, const t_atom *argv)
{
    int i = 0;
    while (i < argc && !is_setting(&argv[i]))
        ++i;
    return i;
}

void qz_pd_apply_settings(t_object *x, int argc, t_atom *argv)
{
    int i = qz_pd_first_setting(argc, argv);
    while (i < argc) {
        t_symbol *name = gensym(argv[i].a_w.w_symbol->s_name + 1);
        const int first = i + 1;
        const int n = qz_pd_first_setting(argc - first, argv + first);
        pd_typedmess(&x->ob_pd, name, n, argv + first);
        i = first + n;
    }
}

double qz_pd_decimal(t_float f)
{
    if (!std::isfinite(f))
        return f;
    // 9 significant digits always read back as the same single.
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
        const double d = std::strtod(text, nullptr);
        if (static_cast<t_float>(d) == f)
            return d;
    }
    return f;
}

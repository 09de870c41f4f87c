// qzt.variadic: posts through every variadic routine of the host and the C
// library that a plug-in calls, with integers, strings, characters and
// doubles mixed, '*' widths among them, so that a loader which passes
// variadic arguments on from another calling convention (the arm64 macOS
// slice, tests/host/macho_loader_test.cpp) shows any argument it misplaces.
#include "clib.h"
#include "maxapi.h"
#include "module_entry.h"

struct t_variadic {
    t_object ob;
};

static t_class *variadic_class = nullptr;

#define VARIADIC_METHOD(f) reinterpret_cast<method>(reinterpret_cast<void (*)()>(f))

static void *variadic_new(t_symbol * /*s*/, long /*argc*/, t_atom * /*argv*/)
{
    return object_alloc(variadic_class);
}

// Everything at once: the post, then a formatted text in an error.
static void variadic_bang(t_variadic *x)
{
    object_post(&x->ob, "%d|%s|%g|%.3f|%ld|%*d|%c|%5.1e|%%|%x", 42, "text", 0.1, 3.14159, -7L, 6,
                12, 'z', 12345.678, 255);
    char text[128];
    const int n =
        snprintf(text, sizeof text, "%.2f %d %.2f %d %.2f %d %s", 0.5, 1, 1.5, 2, 2.5, 3, "end");
    object_error(&x->ob, "%s (%d characters)", text, n);
}

// A float as many digits and in hexadecimal: the double's every bit.
static void variadic_float(t_variadic *x, double f)
{
    object_post(&x->ob, "%.17g %a", f, f);
}

QZ_EXT_MAIN
{
    t_class *c = class_new("qzt.variadic", VARIADIC_METHOD(variadic_new), nullptr,
                           static_cast<long>(sizeof(t_variadic)), nullptr, A_GIMME, 0);
    class_addmethod(c, VARIADIC_METHOD(variadic_bang), "bang", 0);
    class_addmethod(c, VARIADIC_METHOD(variadic_float), "float", A_FLOAT, 0);
    class_register(CLASS_BOX, c);
    variadic_class = c;
    return 0;
}

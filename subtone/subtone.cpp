// qz.subtone: sends the virtual fundamental of every number or list it gets.
#include "subtone.h"

#include "module_entry.h"
#include "subtone_list.hpp"

#include "clib.h"

#include <stddef.h>
#include <stdint.h>

#ifndef QZ_VERSION
#define QZ_VERSION "dev"
#endif

static t_class *subtone_class = nullptr;

QZ_EXT_MAIN
{
    t_class *c = class_new("qz.subtone", SUBTONE_METHOD(subtone_new), SUBTONE_METHOD(subtone_free),
                           static_cast<long>(sizeof(t_subtone)), nullptr, A_GIMME, 0);

    object_post(nullptr, "qz.subtone %s: virtual fundamental of a chord", QZ_VERSION);
    object_post(nullptr, "qz.subtone: highest common subharmonic within a tolerance in semitones");

    // Inlet and outlet descriptions for the patcher.
    class_addmethod(c, SUBTONE_METHOD(subtone_assist), "assist", A_CANT, 0);
    // A number is a list of one partial.
    class_addmethod(c, SUBTONE_METHOD(subtone_int), "int", A_LONG, 0);
    class_addmethod(c, SUBTONE_METHOD(subtone_float), "float", A_FLOAT, 0);
    // Partials in arrival order; the first one is where the search starts.
    class_addmethod(c, SUBTONE_METHOD(subtone_list), "list", A_GIMME, 0);

    // "mode": how partials and result are read and sent, a menu Freq (Hz) / MIDI.
    t_object *attr = attr_offset_new("mode", gensym("long"), 0, nullptr, nullptr,
                                     static_cast<long>(offsetof(t_subtone, mode)));
    class_addattr(c, attr);
    class_attr_addattr_parse(c, "mode", "style", gensym("symbol"), 0, "enumindex");
    class_attr_addattr_parse(c, "mode", "enumvals", gensym("atom"), 0, "Freq MIDI");
    class_attr_addattr_parse(c, "mode", "save", gensym("long"), 0, "1");

    // "approx": how far, in semitones, a partial may lie from an exact
    // multiple, and the grid the MIDI result is rounded to. Not below 0.
    attr = attr_offset_new("approx", gensym("float32"), 0, nullptr, nullptr,
                           static_cast<long>(offsetof(t_subtone, approx)));
    class_addattr(c, attr);
    class_attr_addattr_format(c, "approx", "label", gensym("symbol"), 0, "s",
                              gensym_tr("Approximation (MIDI)"));
    t_object *approx_attr = static_cast<t_object *>(class_attr_get(c, gensym("approx")));
    attr_addfilter_clip(approx_attr, 0, 0, 1, 0);
    class_attr_addattr_parse(c, "approx", "save", gensym("long"), 0, "1");
    // The default getter stays; the setter keeps `tolerance` in step. The
    // host reads the routine as a pointer-sized argument.
    object_method(approx_attr, gensym("setmethod"), gensym("get"), static_cast<void *>(nullptr));
    object_method(approx_attr, gensym("setmethod"), gensym("set"),
                  reinterpret_cast<void *>(SUBTONE_METHOD(subtone_approx_set)));

    class_register(CLASS_BOX, c);
    subtone_class = c;
    return 0;
}

void *subtone_new(t_symbol * /*s*/, long argc, t_atom *argv)
{
    const int32_t count = static_cast<int32_t>(argc); // the host's count, as 32 bits
    t_subtone *x = static_cast<t_subtone *>(object_alloc(subtone_class));
    if (!x)
        return nullptr;
    x->outlet = floatout(x); // every result is a float (outlet_float)

    // The first argument, if it is a number, is the approximation; it is
    // taken as given (the attribute's clip does not apply here).
    float approx = kSubtoneDefaultApprox;
    if (count > 0 && argv) {
        if (atom_gettype(argv) == A_LONG)
            approx = static_cast<float>(atom_getlong(argv));
        else if (atom_gettype(argv) == A_FLOAT)
            approx = static_cast<float>(atom_getfloat(argv)); // double -> single
    }
    x->approx = approx;
    x->tolerance = tolerance_from_midi(approx);
    x->mode = 0;
    x->capacity = 0;
    x->partials = nullptr;
    x->search = subtone_workspace{};

    attr_args_process(x, static_cast<short>(count), argv);
    return x;
}

void subtone_free(t_subtone *x)
{
    free(x->partials);
    subtone_workspace_free(&x->search);
}

void subtone_assist(t_subtone * /*x*/, void * /*b*/, long m, long a, char *s)
{
    if (m == ASSIST_INLET)
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", "Ordered list of frequencies (Hz)");
    else if (m == ASSIST_OUTLET && a == 0)
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", "Virtual Fundamental");
}

void subtone_int(t_subtone *x, t_atom_long n)
{
    const int32_t v = static_cast<int32_t>(n); // the host's integer, as 32 bits
    t_atom a;
    if (atom_setlong(&a, v) == MAX_ERR_NONE)
        subtone_list(x, gensym("list"), 1, &a);
}

void subtone_float(t_subtone *x, double f)
{
    t_atom a;
    if (atom_setfloat(&a, f) == MAX_ERR_NONE)
        subtone_list(x, gensym("list"), 1, &a);
}

// The host side of the list handling in subtone_list.hpp.
struct subtone_max {
    using object = t_subtone;
    using atom = t_atom;
    static bool number(const t_atom *a, float &v)
    {
        if (atom_gettype(a) == A_LONG)
            v = static_cast<float>(atom_getlong(a));
        else if (atom_gettype(a) == A_FLOAT)
            v = static_cast<float>(atom_getfloat(a)); // double -> single
        else
            return false;
        return true;
    }
    static void outlet_float(t_subtone *x, double f) { ::outlet_float(x->outlet, f); }
    static void error(t_subtone *x, const char *text) { object_error(&x->ob, "%s", text); }
};

void subtone_list(t_subtone *x, t_symbol * /*s*/, long argc, t_atom *argv)
{
    // The host's count, as 32 bits.
    subtone_lists<subtone_max>::list(x, static_cast<int32_t>(argc), argv);
}

t_max_err subtone_approx_set(t_subtone *x, void * /*attr*/, long argc, t_atom *argv)
{
    if (argc && argv) {
        const float approx = static_cast<float>(atom_getfloat(argv)); // double -> single
        x->tolerance = tolerance_from_midi(approx);
        x->approx = approx;
    } else {
        x->approx = kSubtoneDefaultApprox;
        x->tolerance = tolerance_from_midi(kSubtoneDefaultApprox);
    }
    return MAX_ERR_NONE;
}

// qzt.hostrules: a test plug-in written the way the host's own
// documentation tells a plug-in to be written, so that a test can hold the
// embedded host to what the host documents:
//   - "val" is a "long" attribute on a C `long` field, with a guard field
//     right after it ("guard"); "wide" is an "atom_long" attribute on a
//     t_atom_long field, with its own guard ("wideguard");
//   - "clipped" is a float64 attribute clipped to [0, 10], and the message
//     "raw" writes its field directly, past the filter;
//   - "int" is a typed routine (A_LONG), "float" one with A_FLOAT;
//   - "coerce" posts atom_getlong and atom_getfloat of each of its atoms;
//   - one outlet made with intout (right) and one with floatout (left);
//     "sendint"/"sendfloat" <outlet> <value> send through either.
#include "maxapi.h"
#include "module_entry.h"

#include <cstddef>

#define RULES_METHOD(f) reinterpret_cast<method>(reinterpret_cast<void (*)()>(f))

namespace {

struct t_rules {
    t_object ob;
    long val;         // "val": type "long"
    long guard;       // "guard": must stay as set, whatever "val" gets
    t_atom_long wide; // "wide": type "atom_long"
    long wideguard;   // "wideguard"
    double clipped;   // "clipped": float64, clip filter [0, 10]
    void *out_float;  // outlet 0 (left), floatout
    void *out_int;    // outlet 1 (right), intout
};

t_class *rules_class = nullptr;

void rules_int(t_rules *x, t_atom_long n)
{
    object_post(&x->ob, "int %lld", static_cast<long long>(n));
}

void rules_float(t_rules *x, double f)
{
    object_post(&x->ob, "float %.17g", f);
}

void rules_raw(t_rules *x, double f)
{
    x->clipped = f;
}

void rules_coerce(t_rules *x, t_symbol *, long argc, t_atom *argv)
{
    for (long i = 0; i < argc; ++i)
        object_post(&x->ob, "%lld %.17g", static_cast<long long>(atom_getlong(argv + i)),
                    static_cast<double>(atom_getfloat(argv + i)));
}

void *rules_outlet(t_rules *x, const t_atom *which)
{
    return atom_getlong(which) == 0 ? x->out_float : x->out_int;
}

void rules_sendint(t_rules *x, t_symbol *, long argc, t_atom *argv)
{
    if (argc >= 2)
        outlet_int(rules_outlet(x, argv), atom_getlong(argv + 1));
}

void rules_sendfloat(t_rules *x, t_symbol *, long argc, t_atom *argv)
{
    if (argc >= 2)
        outlet_float(rules_outlet(x, argv), atom_getfloat(argv + 1));
}

void *rules_new(t_symbol *, long argc, t_atom *argv)
{
    auto *x = static_cast<t_rules *>(object_alloc(rules_class));
    if (!x)
        return nullptr;
    x->out_int = intout(x);
    x->out_float = floatout(x);
    attr_args_process(x, static_cast<short>(argc), argv);
    return x;
}

void add_attr(t_class *c, const char *name, const char *type, size_t offset)
{
    class_addattr(
        c, attr_offset_new(name, gensym(type), 0, nullptr, nullptr, static_cast<long>(offset)));
}

} // namespace

QZ_EXT_MAIN
{
    t_class *c = class_new("qzt.hostrules", RULES_METHOD(rules_new), nullptr,
                           static_cast<long>(sizeof(t_rules)), nullptr, A_GIMME, 0);
    class_addmethod(c, RULES_METHOD(rules_int), "int", A_LONG, 0);
    class_addmethod(c, RULES_METHOD(rules_float), "float", A_FLOAT, 0);
    class_addmethod(c, RULES_METHOD(rules_raw), "raw", A_FLOAT, 0);
    class_addmethod(c, RULES_METHOD(rules_coerce), "coerce", A_GIMME, 0);
    class_addmethod(c, RULES_METHOD(rules_sendint), "sendint", A_GIMME, 0);
    class_addmethod(c, RULES_METHOD(rules_sendfloat), "sendfloat", A_GIMME, 0);
    add_attr(c, "val", "long", offsetof(t_rules, val));
    add_attr(c, "guard", "long", offsetof(t_rules, guard));
    add_attr(c, "wide", "atom_long", offsetof(t_rules, wide));
    add_attr(c, "wideguard", "long", offsetof(t_rules, wideguard));
    add_attr(c, "clipped", "float64", offsetof(t_rules, clipped));
    attr_addfilter_clip(class_attr_get(c, gensym("clipped")), 0, 10, 1, 1);
    class_register(CLASS_BOX, c);
    rules_class = c;
    return 0;
}

// qzt.probe: a test plug-in that reports every call the host makes into it
// on the console, so tests can check dispatch, attributes, ports and clocks.
// The same module also registers three small classes with a single number
// routine each, for the host's number fallbacks.
#include "maxapi.h"
#include "module_entry.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#define PROBE_METHOD(f) reinterpret_cast<method>(reinterpret_cast<void (*)()>(f))

namespace {

struct t_probe {
    t_object ob;
    long along;       // "along": long, clipped to [0, 10]
    float f32;        // "f32": float32, clipped below at -1.5
    double f64;       // "f64": float64 with a custom setter and getter
    long relay;       // "relay": 1 sends f - 1 on for f > 0, 2 sends f on
    long chain;       // "chain": tick 0 arms clock 1 this many ms later
    t_atom_long leak; // the destructor leaves the clocks alone
    void *outs[3];    // in creation order: outs[0] is the rightmost
    t_clock *clocks[2];
};

t_class *probe_class = nullptr;
t_class *onlyint_class = nullptr;
t_class *onlyfloat_class = nullptr;
t_class *onlylist_class = nullptr;
int mains = 0; // module global: counts `main` calls of this module image

void probe_bang(t_probe *x)
{
    object_post(&x->ob, "bang");
}
void probe_int(t_probe *x, t_atom_long n)
{
    object_post(&x->ob, "int %lld", (long long)n);
}

void probe_float(t_probe *x, double f)
{
    object_post(&x->ob, "float %.17g", f);
    if (x->relay == 1 && f > 0)
        outlet_float(x->outs[2], f - 1);
    else if (x->relay == 2)
        outlet_float(x->outs[2], f);
}

void probe_ft1(t_probe *x, double f)
{
    object_post(&x->ob, "ft1 %.17g", f);
}
void probe_name(t_probe *x, t_symbol *s)
{
    object_post(&x->ob, "name %s", s->s_name);
}

void probe_list(t_probe *x, t_symbol *s, long argc, t_atom *argv)
{
    char text[256];
    int n = std::snprintf(text, sizeof text, "%s %ld:", s->s_name, argc);
    for (long i = 0; i < argc && n < 200; ++i) {
        switch (atom_gettype(argv + i)) {
        case A_LONG:
            n += std::snprintf(text + n, sizeof text - n, " l%lld",
                               (long long)atom_getlong(argv + i));
            break;
        case A_FLOAT:
            n += std::snprintf(text + n, sizeof text - n, " f%.17g", atom_getfloat(argv + i));
            break;
        default:
            n += std::snprintf(text + n, sizeof text - n, " s%s", atom_getsym(argv + i)->s_name);
        }
    }
    object_post(&x->ob, "%s", text);
    // The routine owns its copy of the atoms: scribbling on it is harmless.
    if (argc > 0)
        atom_setlong(argv, 12345);
}

// "outc <creation index> <value>": sends out of the outlet made at that place.
void probe_outc(t_probe *x, t_symbol *, long argc, t_atom *argv)
{
    if (argc < 2)
        return;
    t_atom_long k = atom_getlong(argv);
    if (k >= 0 && k < 3)
        outlet_float(x->outs[k], atom_getfloat(argv + 1));
}

// "arm <clock> <ms>"
void probe_arm(t_probe *x, t_symbol *, long argc, t_atom *argv)
{
    if (argc < 2)
        return;
    t_atom_long k = atom_getlong(argv);
    if (k >= 0 && k < 2)
        clock_delay(x->clocks[k], static_cast<long>(atom_getlong(argv + 1)));
}

void probe_unset(t_probe *x, t_atom_long k)
{
    if (k >= 0 && k < 2)
        clock_unset(x->clocks[k]);
}

void probe_tick0(t_probe *x)
{
    object_post(&x->ob, "tick0");
    if (x->chain > 0) {
        clock_delay(x->clocks[1], static_cast<long>(x->chain));
        x->chain = 0;
    }
}

void probe_tick1(t_probe *x)
{
    object_post(&x->ob, "tick1");
}

void probe_assist(t_probe *, void *, long kind, long index, char *text)
{
    if (kind == ASSIST_INLET && index == 0)
        std::strcpy(text, "probe in");
    else if (kind == ASSIST_OUTLET && index == 1)
        std::strcpy(text, "probe out 1");
}

void probe_poke(t_probe *x)
{
    object_post(&x->ob, "poked");
}

t_max_err probe_f64_set(t_probe *x, void *, long argc, t_atom *argv)
{
    object_post(&x->ob, "f64 set %ld", argc);
    x->f64 = argc > 0 ? atom_getfloat(argv) : -1.0;
    return MAX_ERR_NONE;
}

// Two atoms: the value and 42.
t_max_err probe_f64_get(t_probe *x, void *, long *argc, t_atom **argv)
{
    *argv = reinterpret_cast<t_atom *>(sysmem_newptr(2 * sizeof(t_atom)));
    if (!*argv)
        return MAX_ERR_GENERIC;
    *argc = 2;
    atom_setfloat(*argv, x->f64);
    atom_setlong(*argv + 1, 42);
    return MAX_ERR_NONE;
}

t_max_err probe_relay_get(t_probe *, void *, long *argc, t_atom **argv)
{
    *argv = reinterpret_cast<t_atom *>(sysmem_newptr(sizeof(t_atom)));
    *argc = 1;
    atom_setlong(*argv, -99);
    return MAX_ERR_NONE;
}

void *probe_new(t_symbol *s, long argc, t_atom *argv)
{
    if (argc > 0 && atom_gettype(argv) == A_SYM && atom_getsym(argv) == gensym("null"))
        return nullptr;
    t_probe *x = static_cast<t_probe *>(object_alloc(probe_class));
    if (!x)
        return nullptr;
    object_post(&x->ob, "new %s %ld", s->s_name, argc);
    if (argc > 0 && atom_gettype(argv) == A_SYM && atom_getsym(argv) == gensym("fail"))
        return nullptr; // allocated, then given up: the host releases the record
    x->leak = argc > 0 && atom_gettype(argv) == A_SYM && atom_getsym(argv) == gensym("leak");
    floatin(x, 1);
    for (auto &o : x->outs)
        o = floatout(x);
    x->clocks[0] = clock_new(x, PROBE_METHOD(probe_tick0));
    x->clocks[1] = clock_new(x, PROBE_METHOD(probe_tick1));
    attr_args_process(x, static_cast<short>(argc), argv);
    return x;
}

void probe_free(t_probe *x)
{
    object_post(&x->ob, "free");
    if (!x->leak)
        for (auto *c : x->clocks)
            freeobject(reinterpret_cast<t_object *>(c));
}

struct t_small {
    t_object ob;
};

void small_int(t_small *x, t_atom_long n)
{
    object_post(&x->ob, "onlyint %lld", (long long)n);
}
void small_float(t_small *x, double f)
{
    object_post(&x->ob, "onlyfloat %.17g", f);
}

void small_list(t_small *x, t_symbol *s, long argc, t_atom *argv)
{
    object_post(&x->ob, "onlylist %s %ld %.17g", s->s_name, argc, argc ? atom_getfloat(argv) : 0.0);
}

void *onlyint_new()
{
    return object_alloc(onlyint_class);
}
void *onlyfloat_new(t_symbol *, long, t_atom *)
{
    return object_alloc(onlyfloat_class);
}
void *onlylist_new(t_symbol *, long, t_atom *)
{
    return object_alloc(onlylist_class);
}

t_class *small_class(const char *name, method ctor, short type)
{
    return class_new(name, ctor, nullptr, static_cast<long>(sizeof(t_small)), nullptr, type, 0);
}

} // namespace

QZ_EXT_MAIN
{
    ++mains;
    object_post(nullptr, "probe main %d", mains);

    t_class *c = class_new("qzt.probe", PROBE_METHOD(probe_new), PROBE_METHOD(probe_free),
                           static_cast<long>(sizeof(t_probe)), nullptr, A_GIMME, 0);
    class_addmethod(c, PROBE_METHOD(probe_assist), "assist", A_CANT, 0);
    class_addmethod(c, PROBE_METHOD(stdinletinfo), "inletinfo", A_CANT, 0);
    class_addmethod(c, PROBE_METHOD(probe_poke), "poke", A_CANT, 0);
    class_addmethod(c, PROBE_METHOD(probe_bang), "bang", 0);
    class_addmethod(c, PROBE_METHOD(probe_int), "int", A_LONG, 0);
    class_addmethod(c, PROBE_METHOD(probe_float), "float", A_FLOAT, 0);
    class_addmethod(c, PROBE_METHOD(probe_ft1), "ft1", A_FLOAT, 0);
    class_addmethod(c, PROBE_METHOD(probe_name), "name", A_SYM, 0);
    class_addmethod(c, PROBE_METHOD(probe_list), "list", A_GIMME, 0);
    class_addmethod(c, PROBE_METHOD(probe_outc), "outc", A_GIMME, 0);
    class_addmethod(c, PROBE_METHOD(probe_arm), "arm", A_GIMME, 0);
    class_addmethod(c, PROBE_METHOD(probe_unset), "unset", A_LONG, 0);

    t_object *a = attr_offset_new("along", gensym("long"), 0, nullptr, nullptr,
                                  static_cast<long>(offsetof(t_probe, along)));
    class_addattr(c, a);
    attr_addfilter_clip(a, 0, 10, 1, 1);
    class_attr_addattr_format(c, "along", "label", gensym("symbol"), 0, "s", gensym_tr("A long"));
    class_attr_addattr_parse(c, "along", "save", gensym("long"), 0, "1");

    a = attr_offset_new("f32", gensym("float32"), 0, nullptr, nullptr,
                        static_cast<long>(offsetof(t_probe, f32)));
    class_addattr(c, a);
    attr_addfilter_clip(class_attr_get(c, gensym("f32")), -1.5, 0, 1, 0);
    class_attr_addattr_parse(c, "f32", "enumvals", gensym("atom"), 0, "Freq MIDI 2.5 -7");

    a = attr_offset_new("f64", gensym("float64"), 0, nullptr, nullptr,
                        static_cast<long>(offsetof(t_probe, f64)));
    class_addattr(c, a);
    object_method(a, gensym("setmethod"), gensym("set"), PROBE_METHOD(probe_f64_set));
    object_method(a, gensym("setmethod"), gensym("get"), PROBE_METHOD(probe_f64_get));
    class_attr_addattr_format(c, "f64", "range", gensym("atom"), 0, "ld f", 7L, 0.25);

    a = attr_offset_new("relay", gensym("long"), 0, nullptr, nullptr,
                        static_cast<long>(offsetof(t_probe, relay)));
    class_addattr(c, a);
    // A custom getter, then the default one restored.
    object_method(a, gensym("setmethod"), gensym("get"), PROBE_METHOD(probe_relay_get));
    object_method(a, gensym("setmethod"), gensym("get"), static_cast<method>(nullptr));
    auto *type = static_cast<t_symbol *>(object_method(a, gensym("gettype")));
    object_post(nullptr, "relay is %s", type ? type->s_name : "?");
    class_attr_addattr_parse(c, "relay", "min", type, 0, nullptr);

    a = attr_offset_new("chain", gensym("long"), 0, nullptr, nullptr,
                        static_cast<long>(offsetof(t_probe, chain)));
    class_addattr(c, a);

    class_register(CLASS_BOX, c);
    probe_class = c;

    onlyint_class = small_class("qzt.onlyint", PROBE_METHOD(onlyint_new), A_NOTHING);
    class_addmethod(onlyint_class, PROBE_METHOD(small_int), "int", A_LONG, 0);
    class_register(CLASS_BOX, onlyint_class);

    onlyfloat_class = small_class("qzt.onlyfloat", PROBE_METHOD(onlyfloat_new), A_GIMME);
    class_addmethod(onlyfloat_class, PROBE_METHOD(small_float), "float", A_FLOAT, 0);
    class_register(CLASS_BOX, onlyfloat_class);

    onlylist_class = small_class("qzt.onlylist", PROBE_METHOD(onlylist_new), A_GIMME);
    class_addmethod(onlylist_class, PROBE_METHOD(small_list), "list", A_GIMME, 0);
    class_register(CLASS_BOX, onlylist_class);

    // A second class under a taken name: refused, the first one stays.
    t_class *dup = small_class("qzt.onlyint", PROBE_METHOD(onlylist_new), A_GIMME);
    class_addmethod(dup, PROBE_METHOD(small_list), "list", A_GIMME, 0);
    class_register(CLASS_BOX, dup);
    return 0;
}

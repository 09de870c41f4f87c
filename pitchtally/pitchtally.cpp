// qz.pitchtally: the object around the stat agent pool.
//
//   left inlet   "float"/"int": a pitch event; "stop": end every agent silently
//   right inlet  "ft1": the current amplitude, used by the following pitches
//   outlets      pitch, average amplitude, probability (sent right to left)
//   creation     [agent count] [@window ms] [@minproba p]
#include "pitchtally.h"
#include "module_entry.h"

#include "clib.h"

#include <stdint.h>

#ifndef QZ_VERSION
#define QZ_VERSION "dev"
#endif

static t_class *pitchtally_class = nullptr;

void *pitchtally_new(t_symbol *s, long argc, t_atom *argv);
void pitchtally_free(t_pitchtally *x);
void pitchtally_assist(t_pitchtally *x, void *b, long m, long a, char *s);
void pitchtally_int(t_pitchtally *x, t_atom_long n);
void pitchtally_float(t_pitchtally *x, double f);
void pitchtally_ft1(t_pitchtally *x, double f);
t_max_err pitchtally_window_set(t_pitchtally *x, void *attr, long argc, t_atom *argv);

QZ_EXT_MAIN
{
    t_class *c = class_new("qz.pitchtally", PITCHTALLY_METHOD(pitchtally_new),
                           PITCHTALLY_METHOD(pitchtally_free),
                           static_cast<long>(sizeof(t_pitchtally)), nullptr, A_GIMME, 0);

    object_post(nullptr, "qz.pitchtally %s: recurrence statistics of a pitch tracker's stream",
                QZ_VERSION);
    object_post(nullptr, "qz.pitchtally: stat agents after hzpick~, from the qz package");

    // Assistance texts for the patcher.
    class_addmethod(c, PITCHTALLY_METHOD(pitchtally_assist), "assist", A_CANT, 0);
    class_addmethod(c, PITCHTALLY_METHOD(stdinletinfo), "inletinfo", A_CANT, 0);
    // Left inlet: a pitch event, as an integer or a float.
    class_addmethod(c, PITCHTALLY_METHOD(pitchtally_int), "int", A_LONG, 0);
    class_addmethod(c, PITCHTALLY_METHOD(pitchtally_float), "float", A_FLOAT, 0);
    // Right inlet: the amplitude that goes with the following pitches.
    class_addmethod(c, PITCHTALLY_METHOD(pitchtally_ft1), "ft1", A_FLOAT, 0);
    // Left inlet: end every running agent without a report.
    class_addmethod(c, PITCHTALLY_METHOD(pitchtally_stop), "stop", 0);

    // window: length of each agent's window in ms. The getter is the host's;
    // the setter raises values below PITCHTALLY_MIN_WINDOW to it.
    t_object *attr = attr_offset_new("window", gensym("long"), 0, nullptr,
                                     PITCHTALLY_METHOD(pitchtally_window_set),
                                     static_cast<long>(offsetof(t_pitchtally, window)));
    class_addattr(c, attr);
    class_attr_addattr_format(c, "window", "label", gensym("symbol"), 0, "s",
                              gensym_tr("Window (ms)"));
    class_attr_addattr_parse(c, "window", "save", gensym("long"), 0, "1");
    t_object *window_attr = static_cast<t_object *>(class_attr_get(c, gensym("window")));
    t_symbol *window_type = static_cast<t_symbol *>(object_method(window_attr, gensym("gettype")));
    class_attr_addattr_parse(c, "window", "min", window_type, 0, nullptr);

    // minproba: reports below this probability are not sent.
    attr = attr_offset_new("minproba", gensym("float64"), 0, nullptr, nullptr,
                           static_cast<long>(offsetof(t_pitchtally, minproba)));
    class_addattr(c, attr);
    class_attr_addattr_format(c, "minproba", "label", gensym("symbol"), 0, "s",
                              gensym_tr("Probability Threshold"));
    class_attr_addattr_parse(c, "minproba", "save", gensym("long"), 0, "1");
    attr_addfilter_clip(class_attr_get(c, gensym("minproba")), 0.0, 1.0, 1, 1);

    class_register(CLASS_BOX, c);
    pitchtally_class = c;
    return 0;
}

void *pitchtally_new(t_symbol * /*s*/, long argc, t_atom *argv)
{
    t_pitchtally *x = static_cast<t_pitchtally *>(object_alloc(pitchtally_class));
    if (!x)
        return nullptr;

    floatin(x, 1);
    x->out_proba = floatout(x);
    x->out_avgamp = floatout(x);
    x->out_pitch = floatout(x);

    x->agentcount = PITCHTALLY_DEFAULT_AGENTS;
    x->minproba = 0.0;
    x->window = PITCHTALLY_DEFAULT_WINDOW;
    x->cur_pitch = 0.0;
    x->cur_amp = 0.0;

    if (argc < 1)
        object_error(&x->ob, "Number of stat agents needed");
    else if (atom_gettype(argv) == A_LONG)
        x->agentcount = static_cast<int32_t>(atom_getlong(argv));
    else
        object_error(&x->ob, "Number of stat agents needed as first argument");
    if (x->agentcount > PITCHTALLY_MAX_AGENTS) {
        object_error(&x->ob, "%ld stat agents requested: at most %d are allowed, using %d",
                     static_cast<long>(x->agentcount), PITCHTALLY_MAX_AGENTS,
                     PITCHTALLY_MAX_AGENTS);
        x->agentcount = PITCHTALLY_MAX_AGENTS;
    }

    attr_args_process(x, static_cast<short>(argc), argv);

    pitchtally_pool_new(x);
    return x;
}

void pitchtally_free(t_pitchtally *x)
{
    pitchtally_pool_free(x);
}

void pitchtally_assist(t_pitchtally * /*x*/, void * /*b*/, long m, long a, char *s)
{
    const char *text = nullptr;
    if (m == ASSIST_INLET) {
        if (a == 0)
            text = "pitch";
        else if (a == 1)
            text = "amplitude";
    } else if (m == ASSIST_OUTLET) {
        if (a == 0)
            text = "coocked pitch";
        else if (a == 1)
            text = "average amplitude";
        else if (a == 2)
            text = "probability";
    }
    if (text)
        snprintf(s, ASSIST_MAX_STRING_LEN, "%s", text);
}

void pitchtally_int(t_pitchtally *x, t_atom_long n)
{
    pitchtally_float(x, static_cast<double>(static_cast<int32_t>(n)));
}

void pitchtally_float(t_pitchtally *x, double f)
{
    x->cur_pitch = f;
    pitchtally_update(x, f, x->cur_amp);
    pitchtally_spawn(x, x->cur_pitch, x->cur_amp);
}

void pitchtally_ft1(t_pitchtally *x, double f)
{
    x->cur_amp = f;
}

// Stores the window in its C `long` field (the host's storage of a "long"
// attribute), raised to
// PITCHTALLY_MIN_WINDOW and capped to what the agents' clocks take (a
// 32-bit signed count of ms).
t_max_err pitchtally_window_set(t_pitchtally *x, void * /*attr*/, long argc, t_atom *argv)
{
    if (argc < 1 || !argv)
        return MAX_ERR_NONE;
    if (atom_gettype(argv) != A_LONG && atom_gettype(argv) != A_FLOAT)
        return MAX_ERR_GENERIC; // not a number: the window stays as it was
    // As 64 bits, whatever the width of the host's integers.
    int64_t ms = atom_getlong(argv);
    if (ms < PITCHTALLY_MIN_WINDOW)
        ms = PITCHTALLY_MIN_WINDOW;
    if (ms > INT32_MAX)
        ms = INT32_MAX;
    x->window = static_cast<long>(ms);
    return MAX_ERR_NONE;
}

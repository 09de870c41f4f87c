// qz.subtone for Pure Data: sends the virtual fundamental of every number or
// list it gets, computed by the same search as the Max object.
//
//   inlet     float or list: partials (Hz, or MIDI pitches in MIDI mode);
//             "mode 0|1|Freq|MIDI", "approx [semitones]"
//   outlet    the virtual fundamental (Hz, or MIDI pitch in MIDI mode)
//   creation  [approx] [@mode m] [@approx a]
//
// Pd's floats are singles: partials arrive as singles, as the search stores
// them anyway, and the result leaves as a single (exact in Hz, where the
// search's result is a single; a MIDI result, rounded in double to a
// multiple of approx, is narrowed once more).
#include "qz_pd.h"
#include "subtone_fast.h"
#include "subtone_list.hpp"
#include "subtone_search.h"

#include <cstdint>
#include <cstdlib>

static t_class *subtone_class = nullptr;

typedef struct _subtone {
    t_object ob;
    int32_t mode;             /* 0 Freq, anything else MIDI */
    float approx;             /* approximation in semitones */
    float tolerance;          /* tolerance_from_midi(approx), kept in step with it */
    float *partials;          /* the partials of the last list, in Hz */
    int32_t capacity;         /* slots of `partials` */
    t_outlet *outlet;         /* the virtual fundamental */
    subtone_workspace search; /* the search's stack and feasibility sets, grown as lists need */
} t_subtone;

static void subtone_set_approx(t_subtone *x, float approx)
{
    x->approx = approx;
    x->tolerance = tolerance_from_midi(approx);
}

static void *subtone_new(t_symbol * /*s*/, int argc, t_atom *argv)
{
    t_subtone *x = reinterpret_cast<t_subtone *>(pd_new(subtone_class));
    x->outlet = outlet_new(&x->ob, &s_float);
    x->mode = 0;
    x->partials = nullptr;
    x->capacity = 0;
    x->search = subtone_workspace{};

    // A number as first argument is the approximation, taken as given (the
    // clipping of the "approx" message does not apply to it).
    float approx = kSubtoneDefaultApprox;
    if (argc > 0 && argv[0].a_type == A_FLOAT)
        approx = argv[0].a_w.w_float;
    subtone_set_approx(x, approx);

    qz_pd_apply_settings(&x->ob, argc, argv);
    return x;
}

static void subtone_free(t_subtone *x)
{
    std::free(x->partials);
    subtone_workspace_free(&x->search);
}

// The host side of the list handling in subtone_list.hpp.
struct subtone_pd {
    using object = t_subtone;
    using atom = t_atom;
    static bool number(const t_atom *a, float &v)
    {
        if (a->a_type != A_FLOAT)
            return false;
        v = a->a_w.w_float;
        return true;
    }
    static void outlet_float(t_subtone *x, double f)
    {
        ::outlet_float(x->outlet, static_cast<t_float>(f)); // double -> single
    }
    static void error(t_subtone *x, const char *text) { pd_error(x, "qz.subtone: %s", text); }
};

static void subtone_list(t_subtone *x, t_symbol * /*s*/, int argc, t_atom *argv)
{
    subtone_lists<subtone_pd>::list(x, argc, argv);
}

static void subtone_float(t_subtone *x, t_floatarg f)
{
    t_atom a;
    SETFLOAT(&a, f);
    subtone_list(x, &s_list, 1, &a);
}

// "mode 0" or "mode Freq": partials and result in Hz; "mode 1" (any number
// that is not 0 once truncated, as the Max attribute stores it) or
// "mode MIDI": MIDI pitches. Without a value the mode stays.
static void subtone_mode(t_subtone *x, t_symbol * /*s*/, int argc, t_atom *argv)
{
    if (argc < 1)
        return;
    if (argv[0].a_type == A_FLOAT) {
        const t_float f = argv[0].a_w.w_float;
        x->mode = (f >= 1 || f <= -1) ? 1 : 0;
    } else if (argv[0].a_w.w_symbol == gensym("Freq")) {
        x->mode = 0;
    } else if (argv[0].a_w.w_symbol == gensym("MIDI")) {
        x->mode = 1;
    } else {
        pd_error(x, "qz.subtone: mode is 0 (Freq) or 1 (MIDI)");
    }
}

// "approx a": the approximation in semitones, raised to 0 when below; without
// a value back to 0.5, the state of a new object.
static void subtone_approx(t_subtone *x, t_symbol * /*s*/, int argc, t_atom *argv)
{
    if (argc < 1) {
        subtone_set_approx(x, kSubtoneDefaultApprox);
        return;
    }
    if (argv[0].a_type != A_FLOAT) {
        pd_error(x, "qz.subtone: wrong argument type");
        return;
    }
    float approx = argv[0].a_w.w_float;
    if (!(approx >= 0.0f))
        approx = 0.0f; // below 0, or not a number: 0, as the Max attribute's clip does
    subtone_set_approx(x, approx);
}

QZ_PD_SETUP(setup_qz0x2esubtone)
{
    subtone_class =
        class_new(gensym("qz.subtone"), QZ_PD_NEW(subtone_new), QZ_PD_METHOD(subtone_free),
                  sizeof(t_subtone), CLASS_DEFAULT, A_GIMME, A_NULL);
    class_addfloat(subtone_class, QZ_PD_METHOD(subtone_float));
    class_addlist(subtone_class, QZ_PD_METHOD(subtone_list));
    class_addmethod(subtone_class, QZ_PD_METHOD(subtone_mode), gensym("mode"), A_GIMME, A_NULL);
    class_addmethod(subtone_class, QZ_PD_METHOD(subtone_approx), gensym("approx"), A_GIMME, A_NULL);
    post("qz.subtone %s: virtual fundamental of a chord", QZ_VERSION);
}

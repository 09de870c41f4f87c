// qz.pitchtally for Pure Data: the same stat agent pool as the Max object,
// on Pd's clocks and outlets.
//
//   left inlet   float: a pitch event; "stop": end every agent silently;
//                "window ms", "minproba p"
//   right inlet  float: the current amplitude, used by the following pitches
//   outlets      pitch, average amplitude, probability (sent right to left)
//   creation     [agent count] [@window ms] [@minproba p]
//
// The pool works in doubles; pitches and amplitudes arrive as Pd's singles
// and the three values leave narrowed to singles.
#include "qz_pd.h"
#include "statagent_pool.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>

static t_class *pitchtally_class = nullptr;

struct _pitchtally;
typedef statagent_record<t_clock, struct _pitchtally> t_statagent;

typedef struct _pitchtally {
    t_object ob;
    int32_t agentcount;   /* number of slots, fixed at creation */
    t_statagent *agents;  /* the pool: one block of agentcount slots */
    double minproba;      /* probability threshold, 0 to 1 */
    int32_t window;       /* window length in ms */
    double cur_pitch;     /* last pitch received in the left inlet */
    double cur_amp;       /* amplitude that goes with it */
    int32_t highest;      /* highest slot index a spawn has used since creation or stop */
    t_float amp_in;       /* written by the right inlet */
    t_outlet *out_pitch;  /* outlet 0 (leftmost) */
    t_outlet *out_avgamp; /* outlet 1 */
    t_outlet *out_proba;  /* outlet 2 (rightmost) */
} t_pitchtally;

static void statagent_tick(t_statagent *agent);
static void statagent_init(t_pitchtally *owner, t_statagent *agent);

namespace {

struct pd_host {
    using object = t_pitchtally;
    using agent = t_statagent;

    static t_clock *clock_new(t_statagent *a)
    {
        return ::clock_new(a, QZ_PD_METHOD(statagent_tick));
    }
    static void clock_delay(t_clock *c, int32_t ms) { ::clock_delay(c, static_cast<double>(ms)); }
    static void clock_unset(t_clock *c) { ::clock_unset(c); }
    static void clock_dispose(t_clock *c) { ::clock_free(c); }
    static void outlet_float(t_outlet *o, double f)
    {
        ::outlet_float(o, static_cast<t_float>(f)); // double -> single
    }
    static void post_error(t_pitchtally *x, const char *text)
    {
        pd_error(x, "qz.pitchtally: %s", text);
    }
    static void *alloc(size_t bytes) { return getbytes(bytes); }
    static void free(void *p, size_t bytes) { freebytes(p, bytes); }
    static void init(t_pitchtally *x, t_statagent *a) { statagent_init(x, a); }
};

using pool = statagent_pool<pd_host>;

} // namespace

// One slot in its state after pool creation, with its own clock.
static void statagent_init(t_pitchtally *owner, t_statagent *agent)
{
    pool::init(owner, agent);
}

static void statagent_tick(t_statagent *agent)
{
    pool::tick(agent);
}

// Whether f is a whole number that a 32-bit count holds.
static bool is_count(t_float f)
{
    const double d = f;
    return d >= INT32_MIN && d <= INT32_MAX && d == std::trunc(d);
}

static void *pitchtally_new(t_symbol * /*s*/, int argc, t_atom *argv)
{
    t_pitchtally *x = reinterpret_cast<t_pitchtally *>(pd_new(pitchtally_class));
    x->amp_in = 0;
    floatinlet_new(&x->ob, &x->amp_in);
    x->out_pitch = outlet_new(&x->ob, &s_float);
    x->out_avgamp = outlet_new(&x->ob, &s_float);
    x->out_proba = outlet_new(&x->ob, &s_float);

    x->agentcount = kStatagentDefaultCount;
    x->minproba = 0.0;
    x->window = kStatagentDefaultWindow;
    x->cur_pitch = 0.0;
    x->cur_amp = 0.0;
    x->agents = nullptr;
    x->highest = 0;

    // The agent count: Pd's numbers are all floats, so an integral one stands
    // for the Max object's integer argument.
    if (argc < 1) {
        pd_error(x, "qz.pitchtally: Number of stat agents needed");
    } else if (argv[0].a_type == A_FLOAT && is_count(argv[0].a_w.w_float)) {
        x->agentcount = static_cast<int32_t>(argv[0].a_w.w_float);
    } else {
        pd_error(x, "qz.pitchtally: Number of stat agents needed as first argument");
    }
    if (x->agentcount > kStatagentMaxCount) {
        pd_error(x, "qz.pitchtally: %ld stat agents requested: at most %d are allowed, using %d",
                 static_cast<long>(x->agentcount), kStatagentMaxCount, kStatagentMaxCount);
        x->agentcount = kStatagentMaxCount;
    }

    qz_pd_apply_settings(&x->ob, argc, argv);

    pool::create(x);
    return x;
}

static void pitchtally_free(t_pitchtally *x)
{
    pool::release(x);
}

static void pitchtally_float(t_pitchtally *x, t_floatarg f)
{
    x->cur_pitch = f;
    x->cur_amp = x->amp_in;
    pool::update(x, f, x->cur_amp);
    pool::spawn(x, x->cur_pitch, x->cur_amp);
}

static void pitchtally_stop(t_pitchtally *x)
{
    pool::stop(x);
}

// "window ms": the length of the windows of agents started from now on,
// truncated to whole ms, at least kStatagentMinWindow and at most what a
// 32-bit count holds. Without a value it stays.
static void pitchtally_window(t_pitchtally *x, t_symbol * /*s*/, int argc, t_atom *argv)
{
    if (argc < 1)
        return;
    if (argv[0].a_type != A_FLOAT) {
        pd_error(x, "qz.pitchtally: wrong argument type");
        return;
    }
    const double ms = argv[0].a_w.w_float;
    if (!(ms >= kStatagentMinWindow))
        x->window = kStatagentMinWindow;
    else if (ms >= static_cast<double>(INT32_MAX))
        x->window = INT32_MAX;
    else
        x->window = static_cast<int32_t>(ms);
}

// "minproba p": reports below this probability are not sent; clipped to 0..1.
// Without a value it stays. The threshold is the decimal that was typed, as
// a double: 0.2 lets a probability of exactly 1/5 through, which the single
// 0.200000003 that Pd hands over would not.
static void pitchtally_minproba(t_pitchtally *x, t_symbol * /*s*/, int argc, t_atom *argv)
{
    if (argc < 1)
        return;
    if (argv[0].a_type != A_FLOAT) {
        pd_error(x, "qz.pitchtally: wrong argument type");
        return;
    }
    double p = qz_pd_decimal(argv[0].a_w.w_float);
    if (!(p >= 0.0))
        p = 0.0; // below 0, or not a number: 0, as the Max attribute's clip does
    if (p > 1.0)
        p = 1.0;
    x->minproba = p;
}

QZ_PD_SETUP(setup_qz0x2epitchtally)
{
    pitchtally_class =
        class_new(gensym("qz.pitchtally"), QZ_PD_NEW(pitchtally_new), QZ_PD_METHOD(pitchtally_free),
                  sizeof(t_pitchtally), CLASS_DEFAULT, A_GIMME, A_NULL);
    class_addfloat(pitchtally_class, QZ_PD_METHOD(pitchtally_float));
    class_addmethod(pitchtally_class, QZ_PD_METHOD(pitchtally_stop), gensym("stop"), A_NULL);
    class_addmethod(pitchtally_class, QZ_PD_METHOD(pitchtally_window), gensym("window"), A_GIMME,
                    A_NULL);
    class_addmethod(pitchtally_class, QZ_PD_METHOD(pitchtally_minproba), gensym("minproba"),
                    A_GIMME, A_NULL);
    post("qz.pitchtally %s: recurrence statistics of a pitch tracker's stream", QZ_VERSION);
}

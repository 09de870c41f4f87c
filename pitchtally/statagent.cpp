// The stat agent pool of qz.pitchtally on the Max host: a fixed array of
// agents, each with one host clock, made when the object is created and
// freed with it.
//
// The pool itself is statagent_pool.hpp; here it reaches the host through
// clock_new, clock_delay, clock_unset, freeobject (on clocks),
// outlet_float, object_error, sysmem_newptr and sysmem_freeptr.
#include "pitchtally.h"

#include <stddef.h>
#include <stdint.h>

namespace {

struct max_host {
    using object = t_pitchtally;
    using agent = t_statagent;

    static t_clock *clock_new(t_statagent *a)
    {
        return ::clock_new(a, PITCHTALLY_METHOD(statagent_tick));
    }
    static void clock_delay(t_clock *c, int32_t ms) { ::clock_delay(c, static_cast<long>(ms)); }
    static void clock_unset(t_clock *c) { ::clock_unset(c); }
    static void clock_dispose(t_clock *c) { freeobject(reinterpret_cast<t_object *>(c)); }
    static void outlet_float(void *o, double f) { ::outlet_float(o, f); }
    static void post_error(t_pitchtally *x, const char *text) { object_error(&x->ob, "%s", text); }
    static void *alloc(size_t bytes) { return sysmem_newptr(static_cast<t_ptr_size>(bytes)); }
    static void free(void *p, size_t /*bytes*/) { sysmem_freeptr(p); }
    static void init(t_pitchtally *x, t_statagent *a) { statagent_init(x, a); }
};

using pool = statagent_pool<max_host>;

} // namespace

void statagent_init(t_pitchtally *owner, t_statagent *agent)
{
    pool::init(owner, agent);
}

void pitchtally_pool_new(t_pitchtally *x)
{
    pool::create(x);
}

void pitchtally_pool_free(t_pitchtally *x)
{
    pool::release(x);
}

void pitchtally_update(t_pitchtally *x, double pitch, double amplitude)
{
    pool::update(x, pitch, amplitude);
}

void pitchtally_spawn(t_pitchtally *x, double pitch, double amplitude)
{
    pool::spawn(x, pitch, amplitude);
}

void statagent_tick(t_statagent *agent)
{
    pool::tick(agent);
}

void pitchtally_stop(t_pitchtally *x)
{
    pool::stop(x);
}

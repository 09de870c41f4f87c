// The stat agent pool of qz.pitchtally: a fixed array of agents, each with
// one host clock, made when the object is created and freed with it.
//
// The pool reaches the host only through clock_new, clock_delay,
// clock_unset, freeobject (on clocks), outlet_float, object_error,
// sysmem_newptr and sysmem_freeptr, so it runs on any host (or stand-in)
// that provides those.
#include "pitchtally.h"

#include <stdint.h>

namespace {

// Values of t_statagent::active. Any nonzero value means "live": updates
// count the agent and spawns do not take its slot.
constexpr int32_t kFree = 0;
constexpr int32_t kRunning = 1;
// Set by statagent_tick while the report travels downstream. A receiver may
// send a pitch back meanwhile; should that restart the slot (a take-over of
// a full pool, or a spawn after a "stop"), spawn sets kRunning again and the
// report ends there: its remaining values would belong to the new agent,
// and freeing the slot afterwards would orphan the new agent's armed clock.
constexpr int32_t kReporting = 2;

// The block for `count` slots, or null when the count is unusable or the
// host refuses the block (including a size that does not fit t_ptr_size).
t_statagent *pool_alloc(int32_t count)
{
    if (count < 1)
        return nullptr;
    const t_ptr_size slot = sizeof(t_statagent);
    if (static_cast<uint64_t>(count) > UINTPTR_MAX / slot)
        return nullptr;
    return reinterpret_cast<t_statagent *>(sysmem_newptr(static_cast<t_ptr_size>(count) * slot));
}

} // namespace

void statagent_init(t_pitchtally *owner, t_statagent *agent)
{
    agent->active = kFree;
    agent->pitch = 0.0;
    agent->hits = 0.0;
    agent->events = 0.0;
    agent->ampsum = 0.0;
    agent->proba = 0.0;
    agent->clock = clock_new(agent, PITCHTALLY_METHOD(statagent_tick));
    agent->owner = owner;
}

void pitchtally_pool_new(t_pitchtally *x)
{
    t_object *ob = &x->ob;
    t_statagent *agents = nullptr;
    if (x->agentcount < 1) {
        object_error(ob, "%ld stat agents requested: at least 1 is needed, using %d",
                     static_cast<long>(x->agentcount), PITCHTALLY_DEFAULT_AGENTS);
    } else {
        agents = pool_alloc(x->agentcount);
        if (!agents)
            object_error(ob, "cannot allocate %ld stat agents, using %d",
                         static_cast<long>(x->agentcount), PITCHTALLY_DEFAULT_AGENTS);
    }
    if (!agents) {
        x->agentcount = PITCHTALLY_DEFAULT_AGENTS;
        agents = pool_alloc(x->agentcount);
    }
    if (!agents) {
        object_error(ob, "cannot allocate stat agents: pitch events are ignored");
        x->agentcount = 0;
    }
    x->agents = agents;
    for (int32_t i = 0; i < x->agentcount; ++i)
        statagent_init(x, &agents[i]);
    x->highest = 0;
}

void pitchtally_pool_free(t_pitchtally *x)
{
    if (!x->agents)
        return;
    for (int32_t i = 0; i < x->agentcount; ++i)
        freeobject(reinterpret_cast<t_object *>(x->agents[i].clock));
    sysmem_freeptr(x->agents);
    x->agents = nullptr;
}

void pitchtally_update(t_pitchtally *x, double pitch, double amplitude)
{
    if (!x->agents)
        return;
    for (int32_t i = 0; i <= x->highest; ++i) {
        t_statagent *a = &x->agents[i];
        if (a->active == kFree)
            continue;
        a->events += 1.0;
        if (a->pitch == pitch) { // exact: 60.0 and 60.000001 are different pitches
            a->hits += 1.0;
            a->ampsum += amplitude;
        }
    }
}

void pitchtally_spawn(t_pitchtally *x, double pitch, double amplitude)
{
    if (!x->agents)
        return;
    int32_t i = 0;
    while (i < x->agentcount && x->agents[i].active != kFree)
        ++i;
    if (i == x->agentcount) {
        // Full pool: slot 0 is restarted; the agent it held never reports.
        object_error(&x->ob, "too many events");
        i = 0;
    }
    t_statagent *a = &x->agents[i];
    a->active = kRunning;
    a->pitch = pitch;
    a->ampsum = amplitude;
    a->hits = 1.0;
    a->events = 1.0;
    // Arming replaces a pending time, which a take-over of slot 0 relies on.
    clock_delay(a->clock, static_cast<long>(static_cast<int32_t>(x->window)));
    if (i > x->highest)
        x->highest = i;
}

void statagent_tick(t_statagent *agent)
{
    t_pitchtally *x = agent->owner;
    agent->proba = agent->hits / agent->events;
    // The slot stays live until the three values are out: an event that a
    // receiver sends back meanwhile is counted here, and a spawn does not
    // take this slot. Each value is read only after the one before it has
    // been sent, so an event counted during the first send is part of the
    // average amplitude.
    agent->active = kReporting;
    if (agent->proba >= x->minproba) { // false when either is a NaN
        outlet_float(x->out_proba, agent->proba);
        if (agent->active == kRunning)
            return;
        outlet_float(x->out_avgamp, agent->ampsum / agent->hits);
        if (agent->active == kRunning)
            return;
        outlet_float(x->out_pitch, agent->pitch);
        if (agent->active == kRunning)
            return;
    }
    agent->active = kFree;
}

void pitchtally_stop(t_pitchtally *x)
{
    if (!x->agents)
        return;
    for (int32_t i = 0; i <= x->highest; ++i) {
        x->agents[i].active = kFree;
        clock_unset(x->agents[i].clock);
    }
    x->highest = 0;
}

// The stat agent pool of qz.pitchtally, written once for every host the
// object runs in (the Max plug-in, the Pd external).
//
// The pool keeps its state in the binding's object record and reaches the
// host only through a small policy H that the binding supplies:
//
//   struct H {
//       using object = ...;  // the binding's t_pitchtally: fields agentcount,
//                            // agents, highest, window, minproba, out_pitch,
//                            // out_avgamp, out_proba
//       using agent = ...;   // statagent_record<the host's clock, object>
//       static clock *clock_new(agent *a);      // its firing runs tick(a)
//       static void clock_delay(clock *c, int32_t ms);
//       static void clock_unset(clock *c);
//       static void clock_dispose(clock *c);    // frees it, cancelling a pending firing
//       static void outlet_float(void *o, double f);
//       static void post_error(object *x, const char *text);  // console, tied to x
//       static void *alloc(size_t bytes);       // null when refused
//       static void free(void *p, size_t bytes);
//       static void init(object *x, agent *a); // the binding's statagent_init,
//                                              // which calls statagent_pool::init
//   };
//
// No policy name may be one that the host's headers define as a macro
// (maxapi.h lists them): a policy routine named clock_free, for one, turns
// into a freeobject that calls itself there, and one named error is
// rewritten under C74_LEGACY_DEFINES.
//
// Every operation runs to its end; the host runs one object's events,
// "stop" and clock firings one at a time.
#ifndef QZ_PITCHTALLY_STATAGENT_POOL_HPP
#define QZ_PITCHTALLY_STATAGENT_POOL_HPP

#include "clib.h"

#include <stddef.h>
#include <stdint.h>

// One slot of the pool.
template <class Clock, class Owner> struct statagent_record {
    int32_t active; // nonzero while the agent's window runs (2 while its report
                    // is being sent); 0: free slot
    double pitch;   // pitch of the event that started the agent
    double hits;    // events whose pitch equals `pitch`, the first included
    double events;  // every pitch event since the start, the first included
    double ampsum;  // sum of the amplitudes of the hits
    double proba;   // hits / events, computed when the window ends
    Clock *clock;   // ends the window; made once, kept for the object's life
    Owner *owner;   // gives the report its threshold and outlets
};

// Agent count used when none, or an unusable one, is given.
inline constexpr int32_t kStatagentDefaultCount = 100;
// Most agents one object makes. Each agent is a slot and a host clock, all
// made with the object, and every pitch event visits the running ones:
// 100,000 keep making the object within about 100 ms and 100 MB, and an
// event within what a control-rate stream allows.
inline constexpr int32_t kStatagentMaxCount = 100000;
// Window length before any setting, and the shortest accepted (ms).
inline constexpr int32_t kStatagentDefaultWindow = 500;
inline constexpr int32_t kStatagentMinWindow = 1;

template <class H> struct statagent_pool {
    using object = typename H::object;
    using agent = typename H::agent;

    // Values of agent::active. Any nonzero value means "live": updates count
    // the agent and spawns do not take its slot.
    static constexpr int32_t kFree = 0;
    static constexpr int32_t kRunning = 1;
    // Set by tick while the report travels downstream. A receiver may send a
    // pitch back meanwhile; should that restart the slot (a take-over of a
    // full pool, or a spawn after a "stop"), spawn sets kRunning again and
    // the report ends there: its remaining values would belong to the new
    // agent, and freeing the slot afterwards would orphan the new agent's
    // armed clock.
    static constexpr int32_t kReporting = 2;

    // The block for `count` slots, or null when the count is unusable or the
    // host refuses the block.
    static agent *alloc(int32_t count)
    {
        if (count < 1)
            return nullptr;
        if (static_cast<uint64_t>(count) > SIZE_MAX / sizeof(agent))
            return nullptr;
        return static_cast<agent *>(H::alloc(static_cast<size_t>(count) * sizeof(agent)));
    }

    // One slot in its state after pool creation, with its own clock.
    static void init(object *owner, agent *a)
    {
        a->active = kFree;
        a->pitch = 0.0;
        a->hits = 0.0;
        a->events = 0.0;
        a->ampsum = 0.0;
        a->proba = 0.0;
        a->clock = H::clock_new(a);
        a->owner = owner;
    }

    // Makes the pool for x->agentcount slots and sets highest to 0. A count
    // below 1, or one that cannot be allocated, is reported and replaced by
    // kStatagentDefaultCount. Should even that fail, the object keeps no pool
    // (agentcount 0) and ignores pitch events.
    static void create(object *x)
    {
        char text[128];
        agent *agents = nullptr;
        if (x->agentcount < 1) {
            snprintf(text, sizeof text, "%ld stat agents requested: at least 1 is needed, using %d",
                     static_cast<long>(x->agentcount), kStatagentDefaultCount);
            H::post_error(x, text);
        } else {
            agents = alloc(x->agentcount);
            if (!agents) {
                snprintf(text, sizeof text, "cannot allocate %ld stat agents, using %d",
                         static_cast<long>(x->agentcount), kStatagentDefaultCount);
                H::post_error(x, text);
            }
        }
        if (!agents) {
            x->agentcount = kStatagentDefaultCount;
            agents = alloc(x->agentcount);
        }
        if (!agents) {
            H::post_error(x, "cannot allocate stat agents: pitch events are ignored");
            x->agentcount = 0;
        }
        x->agents = agents;
        for (int32_t i = 0; i < x->agentcount; ++i)
            H::init(x, &agents[i]); // each slot through the binding's statagent_init
        x->highest = 0;
    }

    // Frees every slot's clock (cancelling it), then the block.
    static void release(object *x)
    {
        if (!x->agents)
            return;
        for (int32_t i = 0; i < x->agentcount; ++i)
            H::clock_dispose(x->agents[i].clock);
        H::free(x->agents, static_cast<size_t>(x->agentcount) * sizeof(agent));
        x->agents = nullptr;
    }

    // Every live agent counts one pitch event.
    static void update(object *x, double pitch, double amplitude)
    {
        if (!x->agents)
            return;
        for (int32_t i = 0; i <= x->highest; ++i) {
            agent *a = &x->agents[i];
            if (a->active == kFree)
                continue;
            a->events += 1.0;
            if (a->pitch == pitch) { // exact: 60.0 and 60.000001 are different pitches
                a->hits += 1.0;
                a->ampsum += amplitude;
            }
        }
    }

    // Starts an agent for a pitch event in the first free slot.
    static void spawn(object *x, double pitch, double amplitude)
    {
        if (!x->agents)
            return;
        int32_t i = 0;
        while (i < x->agentcount && x->agents[i].active != kFree)
            ++i;
        if (i == x->agentcount) {
            // Full pool: slot 0 is restarted; the agent it held never reports.
            H::post_error(x, "too many events");
            i = 0;
        }
        agent *a = &x->agents[i];
        a->active = kRunning;
        a->pitch = pitch;
        a->ampsum = amplitude;
        a->hits = 1.0;
        a->events = 1.0;
        // Arming replaces a pending time, which a take-over of slot 0 relies on.
        H::clock_delay(a->clock, static_cast<int32_t>(x->window));
        if (i > x->highest)
            x->highest = i;
    }

    // The clock routine: ends the agent's window and reports.
    static void tick(agent *a)
    {
        object *x = a->owner;
        a->proba = a->hits / a->events;
        // The slot stays live until the three values are out: an event that a
        // receiver sends back meanwhile is counted here, and a spawn does not
        // take this slot. Each value is read only after the one before it has
        // been sent, so an event counted during the first send is part of the
        // average amplitude.
        a->active = kReporting;
        if (a->proba >= x->minproba) { // false when either is a NaN
            H::outlet_float(x->out_proba, a->proba);
            if (a->active == kRunning)
                return;
            H::outlet_float(x->out_avgamp, a->ampsum / a->hits);
            if (a->active == kRunning)
                return;
            H::outlet_float(x->out_pitch, a->pitch);
            if (a->active == kRunning)
                return;
        }
        a->active = kFree;
    }

    // Ends every agent without a report.
    static void stop(object *x)
    {
        if (!x->agents)
            return;
        for (int32_t i = 0; i <= x->highest; ++i) {
            x->agents[i].active = kFree;
            H::clock_unset(x->agents[i].clock);
        }
        x->highest = 0;
    }
};

#endif // QZ_PITCHTALLY_STATAGENT_POOL_HPP

/*
 * qz.pitchtally: recurrence statistics of a pitch tracker's stream.
 *
 * Every pitch that arrives in the left inlet starts a stat agent. For its
 * window the agent counts every pitch event and, among them, those whose
 * pitch equals its own exactly. When the window ends it computes
 * hits / events and, if that reaches `minproba`, sends the probability, the
 * average amplitude of its hits and its pitch, right to left.
 *
 * The agents live in a fixed pool inside the object (statagent.cpp), each
 * with one host clock, all made when the object is created; the pool itself
 * (statagent_pool.hpp) is shared with the Pd external.
 */
#ifndef QZ_PITCHTALLY_PITCHTALLY_H
#define QZ_PITCHTALLY_PITCHTALLY_H

#include "maxapi.h"
#include "statagent_pool.hpp"

#include <stdint.h>

struct _pitchtally;

/* One slot of the pool (statagent_pool.hpp). */
typedef statagent_record<t_clock, struct _pitchtally> t_statagent;

/* The object. */
typedef struct _pitchtally {
    t_object ob;
    int32_t agentcount;  /* number of slots, fixed at creation */
    t_statagent *agents; /* the pool: one block of agentcount slots */
    double minproba;     /* attribute: probability threshold, 0 to 1 */
    long window;         /* attribute "window" (host type "long": a C long), in ms */
    double cur_pitch;    /* last pitch received in the left inlet */
    double cur_amp;      /* last amplitude received in the right inlet */
    int32_t highest;     /* highest slot index a spawn has used since creation or stop */
    void *out_pitch;     /* outlet 0 (leftmost) */
    void *out_avgamp;    /* outlet 1 */
    void *out_proba;     /* outlet 2 (rightmost) */
} t_pitchtally;

/* A routine handed to the host as a `method`. The detour through a
   parameterless function type is the portable way to cast between
   function types. */
#define PITCHTALLY_METHOD(f) reinterpret_cast<method>(reinterpret_cast<void (*)(void)>(f))

/* Agent count used when none, or an unusable one, is given. */
#define PITCHTALLY_DEFAULT_AGENTS kStatagentDefaultCount
/* Most agents one object makes (statagent_pool.hpp). A larger count is
   reported and capped. */
#define PITCHTALLY_MAX_AGENTS kStatagentMaxCount
/* Window length before any setting, and the shortest accepted (ms). */
#define PITCHTALLY_DEFAULT_WINDOW kStatagentDefaultWindow
#define PITCHTALLY_MIN_WINDOW kStatagentMinWindow

/* ---- The pool (statagent.cpp) ------------------------------------------- */

/* Makes the pool for x->agentcount slots and sets highest to 0. A count
   below 1, or one that cannot be allocated, is reported on the console and
   replaced by PITCHTALLY_DEFAULT_AGENTS. Should even that fail, the object
   keeps no pool (agentcount 0) and ignores pitch events. */
void pitchtally_pool_new(t_pitchtally *x);
/* Frees every slot's clock (cancelling it), then the block. */
void pitchtally_pool_free(t_pitchtally *x);

void statagent_init(t_pitchtally *owner, t_statagent *agent);
void pitchtally_update(t_pitchtally *x, double pitch, double amplitude);
void pitchtally_spawn(t_pitchtally *x, double pitch, double amplitude);
void statagent_tick(t_statagent *agent);
void pitchtally_stop(t_pitchtally *x);

#endif /* QZ_PITCHTALLY_PITCHTALLY_H */

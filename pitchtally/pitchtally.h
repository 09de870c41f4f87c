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
 * with one host clock, all made when the object is created.
 */
#ifndef QZ_PITCHTALLY_PITCHTALLY_H
#define QZ_PITCHTALLY_PITCHTALLY_H

#include "maxapi.h"

#include <stdint.h>

struct _pitchtally;

/* One slot of the pool. */
typedef struct _statagent {
    int32_t active;            /* nonzero while the agent's window runs (2 while its report
                                  is being sent); 0: free slot */
    double pitch;              /* pitch of the event that started the agent */
    double hits;               /* events whose pitch equals `pitch`, the first included */
    double events;             /* every pitch event since the start, the first included */
    double ampsum;             /* sum of the amplitudes of the hits */
    double proba;              /* hits / events, computed when the window ends */
    t_clock *clock;            /* ends the window; made once, kept for the object's life */
    struct _pitchtally *owner; /* gives the report its threshold and outlets */
} t_statagent;

/* The object. */
typedef struct _pitchtally {
    t_object ob;
    int32_t agentcount;  /* number of slots, fixed at creation */
    t_statagent *agents; /* the pool: one block of agentcount slots */
    double minproba;     /* attribute: probability threshold, 0 to 1 */
    t_atom_long window;  /* attribute: window length in ms (read as 32-bit) */
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
#define PITCHTALLY_DEFAULT_AGENTS 100
/* Most agents one object makes. Each agent is a slot and a host clock, all
   made with the box, and every pitch event visits the running ones: 100,000
   keep making the box within about 100 ms and 100 MB, and an event within
   what a control-rate stream allows. A larger count is reported and capped. */
#define PITCHTALLY_MAX_AGENTS 100000
/* Window length before any setting, and the shortest accepted (ms). */
#define PITCHTALLY_DEFAULT_WINDOW 500
#define PITCHTALLY_MIN_WINDOW 1

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

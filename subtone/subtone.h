/*
 * qz.subtone: the virtual fundamental of a list of partials.
 *
 * One inlet takes an int, a float or a list of partials (Hz, or MIDI
 * pitches in MIDI mode); one outlet sends the virtual fundamental as a float.
 * Attributes: `mode` (0 Freq, 1 MIDI) and `approx` (approximation in
 * semitones). The record is declared here so that tests can inspect an
 * instance that the embedded host made.
 */
#ifndef QZ_SUBTONE_H
#define QZ_SUBTONE_H

#include "maxapi.h"
#include "subtone_fast.h"
#include "subtone_search.h"

#include <stdint.h>

typedef struct _subtone {
    t_object ob;  /* the host's object header */
    long mode;    /* attribute "mode" (host type "long", stored as a C long): 0 Freq, else MIDI */
    float approx; /* attribute "approx": approximation in semitones */
    float tolerance;  /* tolerance_from_midi(approx), kept in step with it */
    float *partials;  /* the partials of the last list, in Hz */
    int16_t capacity; /* slots of `partials`, as the last allocation's count truncated to 16 bits */
    void *outlet;     /* the virtual fundamental */
    subtone_workspace search; /* the search's stack and feasibility sets, grown as lists need */
} t_subtone;

/* Casts a routine to the host's generic routine type. */
#define SUBTONE_METHOD(f) reinterpret_cast<method>(reinterpret_cast<void (*)(void)>(f))

void *subtone_new(t_symbol *s, long argc, t_atom *argv);
void subtone_free(t_subtone *x);
void subtone_assist(t_subtone *x, void *b, long m, long a, char *s);
void subtone_int(t_subtone *x, t_atom_long n);
void subtone_float(t_subtone *x, double f);
void subtone_list(t_subtone *x, t_symbol *s, long argc, t_atom *argv);
t_max_err subtone_approx_set(t_subtone *x, void *attr, long argc, t_atom *argv);

#endif /* QZ_SUBTONE_H */

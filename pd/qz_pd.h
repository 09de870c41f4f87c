/*
 * Shared by the Pure Data externals of qz (qz.subtone, qz.pitchtally).
 *
 * Pd loads an external with RTLD_GLOBAL, so every symbol it exports joins
 * the name space of Pd and of every other external. The build hides all
 * symbols; QZ_PD_SETUP marks the one that Pd looks up, the class's setup
 * routine ("qz.subtone" -> setup_qz0x2esubtone: a dot becomes 0x2e and the
 * prefix setup_ replaces the suffix _setup).
 */
#ifndef QZ_PD_QZ_PD_H
#define QZ_PD_QZ_PD_H

#include "m_pd.h"

#define QZ_PD_SETUP(name) extern "C" __attribute__((visibility("default"))) void name(void)

/* A routine handed to Pd as a t_method or t_newmethod. The detour through a
   parameterless function type is the portable way to cast between function
   types. */
#define QZ_PD_METHOD(f) reinterpret_cast<t_method>(reinterpret_cast<void (*)(void)>(f))
#define QZ_PD_NEW(f) reinterpret_cast<t_newmethod>(reinterpret_cast<void (*)(void)>(f))

#ifndef QZ_VERSION
#define QZ_VERSION "dev"
#endif

/* Index of the first `@name` among the creation arguments, or argc: the
   arguments before it are the object's own. */
int qz_pd_first_setting(int argc, const t_atom *argv);

/* Applies the `@name value...` settings among the creation arguments, in
   order, as the messages `name value...` sent to x itself, so that a setting
   goes through the same method, checks and clipping as the message. */
void qz_pd_apply_settings(t_object *x, int argc, t_atom *argv);

/* The double of the shortest decimal that reads back as the single f: the
   number as it was typed in a box or message (0.2 for the single
   0.200000003). Infinities and NaN come back as they are. */
double qz_pd_decimal(t_float f);

#endif /* QZ_PD_QZ_PD_H */

/*
 * The subset of the Max host's C API that the qz objects call, under the
 * host's own names, types and codes.
 *
 * Object code includes this header and nothing else of the host. In a build
 * without the host the operations are provided by the embedded host
 * (libqzhost); a build against the host's own SDK replaces this header with
 * the SDK's headers and links the SDK's import libraries instead.
 */
#ifndef QZ_HOST_MAXAPI_H
#define QZ_HOST_MAXAPI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(QZ_BUILDING_HOST)
#define QZ_HOST_API __declspec(dllexport)
#else
#define QZ_HOST_API __declspec(dllimport)
#endif
#else
#define QZ_HOST_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalar types ------------------------------------------------------ */

typedef int64_t t_atom_long;   /* integers in atoms and "long" attributes */
typedef double t_atom_float;   /* floats in atoms */
typedef t_atom_long t_max_err; /* result code of host operations */
typedef char *t_ptr;           /* memory from sysmem_newptr */
typedef uintptr_t t_ptr_size;  /* size handed to sysmem_newptr */

enum e_max_errorcodes {
    MAX_ERR_NONE = 0,     /* no error */
    MAX_ERR_GENERIC = -1, /* unspecified failure */
    MAX_ERR_INVALID_PTR = -2
};

/* Atom type codes (also argument-type codes of message routines). */
enum e_max_atomtypes {
    A_NOTHING = 0, /* end of an argument-type list; a message without arguments */
    A_LONG = 1,    /* one integer */
    A_FLOAT = 2,   /* one float */
    A_SYM = 3,     /* one symbol */
    A_GIMME = 8,   /* selector, count and atoms */
    A_CANT = 9     /* private: called only by the host */
};

/* Kinds of an assistance request. */
enum { ASSIST_INLET = 1, ASSIST_OUTLET = 2 };

/* Size of the text buffer that the host hands to an "assist" routine. */
#define ASSIST_STRING_MAXSIZE 512

/* ---- Records ----------------------------------------------------------- */

struct _class;
struct _object;

/* A symbol: interned text. Two symbols with the same text are the same pointer. */
typedef struct _symbol {
    const char *s_name;
    struct _object *s_thing;
} t_symbol;

/* The header that begins every instance record. Its fields are the host's. */
typedef struct _object {
    struct _class *o_class; /* the class this instance belongs to */
    void *o_host;           /* the host's own record of the instance */
    t_atom_long o_magic;    /* marks a live object */
} t_object;

typedef struct _class t_class;

union word {
    t_atom_long w_long;
    t_atom_float w_float;
    t_symbol *w_sym;
    t_object *w_obj;
};

/* One typed value of a message. */
typedef struct atom {
    short a_type;
    union word a_w;
} t_atom;

typedef void t_outlet;
typedef void t_inlet;
typedef void t_clock;

/*
 * A message routine. The host calls it with the arguments that its
 * registered type codes announce:
 *   A_NOTHING  void f(x)
 *   A_LONG     void f(x, t_atom_long n)
 *   A_FLOAT    void f(x, double f)
 *   A_GIMME    void f(x, t_symbol *s, long argc, t_atom *argv)
 *   constructor with A_GIMME: void *f(t_symbol *s, long argc, t_atom *argv)
 *   "assist"   void f(x, void *box, long kind, long index, char *text)
 *   "inletinfo" void f(x, void *box, long index, char *hot)
 *   clock      void f(owner)
 *   attribute getter t_max_err f(x, void *attr, long *argc, t_atom **argv)
 *   attribute setter t_max_err f(x, void *attr, long argc, t_atom *argv)
 */
typedef void *(*method)(void *, ...);

#define CLASS_BOX "box"

/* ---- Classes ----------------------------------------------------------- */

/* Makes a class. The argument types of the constructor follow `type` and end with 0. */
QZ_HOST_API t_class *class_new(const char *name, method mnew, method mfree, long size, method mmenu,
                               short type, ...);
/* Adds a message routine; its argument-type codes follow the name and end with 0. */
QZ_HOST_API t_max_err class_addmethod(t_class *c, method m, const char *name, ...);
/* Registers the class in a name space ("box"), so that boxes can be made of it. */
QZ_HOST_API t_max_err class_register(t_symbol *name_space, t_class *c);

/* ---- Attributes -------------------------------------------------------- */

/* Makes an attribute stored at `offset` in the instance record. Types: "long",
   "float32", "float64". Null accessors mean the host's defaults. */
QZ_HOST_API t_object *attr_offset_new(const char *name, t_symbol *type, long flags, method mget,
                                      method mset, long offset);
QZ_HOST_API t_max_err class_addattr(t_class *c, t_object *attr);
QZ_HOST_API t_object *class_attr_get(t_class *c, t_symbol *attrname);
/* Adds an attribute-of-attribute ("label", "save", "style", "enumvals", "min", ...)
   whose value is parsed from text (null: no value). */
QZ_HOST_API t_max_err class_attr_addattr_parse(t_class *c, const char *attrname,
                                               const char *attrname2, t_symbol *type, long flags,
                                               const char *parsestr);
/* As class_attr_addattr_parse, with the value given by a format ("s": one symbol). */
QZ_HOST_API t_max_err class_attr_addattr_format(t_class *c, const char *attrname,
                                                const char *attrname2, t_symbol *type, long flags,
                                                const char *fmt, ...);
/* Clips every value set through the attribute to [min, max] where asked. */
QZ_HOST_API t_max_err attr_addfilter_clip(void *attr, double min, double max, long usemin,
                                          long usemax);
/* Applies the "@name value..." settings among the creation arguments. */
QZ_HOST_API t_max_err attr_args_process(void *x, short ac, t_atom *av);

/* Sends a message to an object. On attributes: "setmethod" with the symbol
   "get" or "set" and a routine (null: the default accessor), "gettype"
   (answers the type symbol). Further arguments are pointer-sized. */
QZ_HOST_API void *object_method(void *x, t_symbol *s, ...);
QZ_HOST_API void *object_method_imp(void *x, void *s, void *p1, void *p2, void *p3, void *p4,
                                    void *p5, void *p6, void *p7, void *p8);

/* ---- Symbols ----------------------------------------------------------- */

QZ_HOST_API t_symbol *gensym(const char *s);
/* A localisable text; without a translation table it is the symbol of the text. */
QZ_HOST_API t_symbol *gensym_tr(const char *s);

/* ---- Instances --------------------------------------------------------- */

/* A new zeroed instance of the class with its header set up, or null. */
QZ_HOST_API void *object_alloc(t_class *c);
/* Frees an instance (destructor first) or a clock (cancelling it). */
QZ_HOST_API void freeobject(t_object *op);

/* ---- Inlets and outlets ------------------------------------------------ */

/* A new outlet, placed left of the outlets made before it. */
QZ_HOST_API t_outlet *intout(void *x);
QZ_HOST_API t_outlet *floatout(void *x);
/* Inlet number n (1 to 9) whose floats arrive as "ft<n>". */
QZ_HOST_API t_inlet *floatin(void *x, short n);
/* Sends a float out of an outlet, at once, to everything connected to it. */
QZ_HOST_API void *outlet_float(t_outlet *o, double f);
/* The host's standard "inletinfo" routine: writes 1 (cold) into t for every
   inlet but the leftmost, 0 (hot) for the leftmost. */
QZ_HOST_API void stdinletinfo(t_object *s, void *b, long a, char *t);

/* ---- Atoms ------------------------------------------------------------- */

QZ_HOST_API long atom_gettype(const t_atom *a);
QZ_HOST_API t_atom_long atom_getlong(const t_atom *a);
QZ_HOST_API t_atom_float atom_getfloat(const t_atom *a);
QZ_HOST_API t_symbol *atom_getsym(const t_atom *a);
QZ_HOST_API t_max_err atom_setlong(t_atom *a, t_atom_long b);
QZ_HOST_API t_max_err atom_setfloat(t_atom *a, double b);
QZ_HOST_API t_max_err atom_setsym(t_atom *a, t_symbol *b);

/* ---- Console ----------------------------------------------------------- */

/* printf-style; a null object posts without a box (e.g. a banner). */
QZ_HOST_API void object_post(t_object *x, const char *s, ...);
QZ_HOST_API void object_error(t_object *x, const char *s, ...);

/* ---- Clocks ------------------------------------------------------------ */

/* A clock that calls fn(obj) when it fires. */
QZ_HOST_API t_clock *clock_new(void *obj, method fn);
/* Arms the clock to fire n milliseconds from now (replacing a pending time). */
QZ_HOST_API void clock_delay(t_clock *x, long n);
/* Disarms the clock. */
QZ_HOST_API void clock_unset(t_clock *x);

/* ---- Memory ------------------------------------------------------------ */

QZ_HOST_API t_ptr sysmem_newptr(t_ptr_size size);
QZ_HOST_API void sysmem_freeptr(void *ptr);

#ifdef __cplusplus
}
#endif

#endif /* QZ_HOST_MAXAPI_H */

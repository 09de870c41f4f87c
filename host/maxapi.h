/*
 * The subset of the Max host's C API that the qz objects call, under the
 * host's own names, with the host's binary interface on each target:
 *
 *                      32-bit host               64-bit host
 *   t_atom_long        32 bits                   64 bits (pointer-sized)
 *   t_atom_float       float (single)            double
 *   t_atom             6 bytes, value at 2       16 bytes, value at 8
 *   t_object           16 bytes                  32 bytes (four pointer-sized fields)
 *   records            2-byte packing            natural alignment
 *   object_method      the variadic routine      object_method_imp, 8 pointer-sized args
 *   "long" attribute   a C long: 32 bits on Windows in both widths (64 on 64-bit Linux)
 *
 * Object code includes this header and nothing else of the host, and uses
 * only names that the host's own headers define with the same meaning, so
 * the same sources build against either. In a build without the host the
 * operations come from the embedded host, which is built as the host's own
 * module names on Windows (MaxAPI.dll, jitlib.dll). The static assertions at
 * the end pin every size and offset above: drift breaks the build.
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

/* Pointer width of the target: the host comes as a 32-bit and a 64-bit build. */
#if UINTPTR_MAX == 0xffffffffu
#define QZ_HOST_32BIT 1
#else
#define QZ_HOST_32BIT 0
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalar types ------------------------------------------------------ */

typedef intptr_t t_ptr_int;    /* pointer-sized signed integer */
typedef uintptr_t t_ptr_uint;  /* pointer-sized unsigned integer */
typedef t_ptr_int t_atom_long; /* integers in atoms and "atom_long" attributes */
#if QZ_HOST_32BIT
typedef float t_atom_float; /* floats in atoms: single in the 32-bit host */
#else
typedef double t_atom_float; /* floats in atoms: double in the 64-bit host */
#endif
typedef t_atom_long t_max_err; /* result code of host operations */
typedef char *t_ptr;           /* memory from sysmem_newptr */
typedef t_ptr_uint t_ptr_size; /* size handed to sysmem_newptr */

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

/* Characters the text buffer of an "assist" routine holds. */
#define ASSIST_MAX_STRING_LEN 500

/* ---- Records ----------------------------------------------------------- */

struct _class;
struct messlist; /* the host's message list of an instance's class */
struct inlet;    /* the host's inlet list */
struct outlet;   /* the host's outlet list */

#if QZ_HOST_32BIT
#pragma pack(push, 2)
#endif

/* A symbol: interned text. Two symbols with the same text are the same pointer. */
typedef struct _symbol {
    char *s_name;
    struct _object *s_thing;
} t_symbol;

/* The header that begins every instance record: four pointer-sized fields
   that the host owns and writes. An instance's own fields follow it. */
typedef struct _object {
    struct messlist *o_messlist; /* the messages the instance answers */
    t_ptr_int o_magic;           /* marks a live object */
    struct inlet *o_inlet;       /* the instance's inlets */
    struct outlet *o_outlet;     /* the instance's outlets */
} t_object;

union word {
    t_atom_long w_long;
    t_atom_float w_float;
    t_symbol *w_sym;
    struct _object *w_obj;
};

/* One typed value of a message. */
typedef struct atom {
    short a_type;
    union word a_w;
} t_atom;

#if QZ_HOST_32BIT
#pragma pack(pop)
#endif

typedef struct _class t_class;
typedef struct clock t_clock;

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

/* ---- Symbols ----------------------------------------------------------- */

QZ_HOST_API t_symbol *gensym(const char *s);
/* A localisable text; without a translation table it is the symbol of the text. */
QZ_HOST_API t_symbol *gensym_tr(const char *s);

/* The name space of the classes that boxes are made of. */
#define CLASS_BOX gensym("box")

/* ---- Classes ----------------------------------------------------------- */

/* Makes a class. The argument types of the constructor follow `type` and end with 0. */
QZ_HOST_API t_class *class_new(const char *name, const method mnew, const method mfree, long size,
                               const method mmenu, short type, ...);
/* Adds a message routine; its argument-type codes follow the name and end with 0. */
QZ_HOST_API t_max_err class_addmethod(t_class *c, const method m, const char *name, ...);
/* Registers the class in a name space (CLASS_BOX), so that boxes can be made of it. */
QZ_HOST_API t_max_err class_register(t_symbol *name_space, t_class *c);

/* ---- Attributes -------------------------------------------------------- */

/* Makes an attribute stored at `offset` in the instance record. Types:
   "long" (a C `long` field: the host's accessors read and write
   sizeof(long) bytes), "atom_long" (a t_atom_long field), "float32",
   "float64". Null accessors mean the host's defaults. */
QZ_HOST_API t_object *attr_offset_new(const char *name, const t_symbol *type, long flags,
                                      const method mget, const method mset, long offset);
QZ_HOST_API t_max_err class_addattr(t_class *c, t_object *attr);
/* The attribute object of a class, or null. */
QZ_HOST_API void *class_attr_get(t_class *c, t_symbol *attrname);
/* Adds an attribute-of-attribute ("label", "save", "style", "enumvals", "min", ...)
   whose value is parsed from text (null: no value). */
QZ_HOST_API t_max_err class_attr_addattr_parse(t_class *c, const char *attrname,
                                               const char *attrname2, const t_symbol *type,
                                               long flags, const char *parsestr);
/* As class_attr_addattr_parse, with the value given by a format ("s": one symbol). */
QZ_HOST_API t_max_err class_attr_addattr_format(t_class *c, const char *attrname,
                                                const char *attrname2, const t_symbol *type,
                                                long flags, const char *fmt, ...);
/* Clips every value set through the attribute, and every value read through
   it, to [min, max] where asked. */
QZ_HOST_API t_max_err attr_addfilter_clip(void *attr, double min, double max, long usemin,
                                          long usemax);
/* Applies the "@name value..." settings among the creation arguments. */
QZ_HOST_API void attr_args_process(void *x, short ac, t_atom *av);

/* Sends a message to an object. On attributes: "setmethod" with the symbol
   "get" or "set" and a routine (null: the default accessor), "gettype"
   (answers the type symbol). Further arguments are pointer-sized. The
   64-bit host takes every such call as object_method_imp with eight
   pointer-sized arguments, the spare ones 0; its headers rewrite each
   object_method(x, s, ...) so, and so does this one. */
QZ_HOST_API void *object_method(void *x, t_symbol *s, ...);
QZ_HOST_API void *object_method_imp(void *x, void *sym, void *p1, void *p2, void *p3, void *p4,
                                    void *p5, void *p6, void *p7, void *p8);
#if !QZ_HOST_32BIT && !defined(QZ_BUILDING_HOST)
#define QZ_OBJECT_METHOD_8(x, s, p1, p2, p3, p4, p5, p6, p7, p8, ...)                              \
    object_method_imp((x), (s), (void *)(p1), (void *)(p2), (void *)(p3), (void *)(p4),            \
                      (void *)(p5), (void *)(p6), (void *)(p7), (void *)(p8))
#define object_method(...) QZ_OBJECT_METHOD_8(__VA_ARGS__, 0, 0, 0, 0, 0, 0, 0, 0, 0)
#endif

/* ---- Instances --------------------------------------------------------- */

/* A new zeroed instance of the class with its header set up, or null. */
QZ_HOST_API void *object_alloc(t_class *c);
/* Frees an instance (destructor first) or a clock (cancelling it). */
QZ_HOST_API void freeobject(t_object *op);

/* ---- Inlets and outlets ------------------------------------------------ */

/* A new outlet, placed left of the outlets made before it. An outlet made
   with intout always sends "int" (outlet_int), one made with floatout
   "float" (outlet_float). */
QZ_HOST_API void *intout(void *x);
QZ_HOST_API void *floatout(void *x);
/* Inlet number n (1 to 9) whose floats arrive as "ft<n>". */
QZ_HOST_API void *floatin(void *x, short n);
/* Sends a float out of an outlet, at once, to everything connected to it. */
QZ_HOST_API void *outlet_float(void *o, double f);
QZ_HOST_API void *outlet_int(void *o, t_atom_long n);
/* The host's standard "inletinfo" routine: writes 1 (cold) into t for every
   inlet but the leftmost, 0 (hot) for the leftmost. */
QZ_HOST_API void stdinletinfo(t_object *s, void *b, long a, char *t);

/* ---- Atoms ------------------------------------------------------------- */

QZ_HOST_API long atom_gettype(const t_atom *a);
/* The atom's number: a float truncates toward zero for atom_getlong; a
   symbol is coerced (its text read as a number, 0 when it is none). */
QZ_HOST_API t_atom_long atom_getlong(const t_atom *a);
QZ_HOST_API t_atom_float atom_getfloat(const t_atom *a);
QZ_HOST_API t_symbol *atom_getsym(const t_atom *a);
QZ_HOST_API t_max_err atom_setlong(t_atom *a, t_atom_long b);
/* Stores b as a t_atom_float: narrowed to single in the 32-bit host. */
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

/* ---- Lower-case macros of the host's headers ---------------------------- */

/*
 * The host's own headers define these lower-case names as macros, so a
 * source built against them has each name rewritten wherever it appears: a
 * routine, member or policy method of the plug-in's own with one of these
 * names silently becomes something else there. They are defined here with
 * the same meaning, so such a collision breaks this build as well instead of
 * a user's. The host's own module (QZ_BUILDING_HOST) defines gensym_tr, so
 * the name stays a routine there.
 */
#define clock_free freeobject
#define binbuf_free freeobject
#define wind_free freeobject
#if !defined(QZ_BUILDING_HOST)
#define gensym_tr gensym
#endif
#define getbytes(size) sysmem_newptr(size)
#define freebytes(p, size) sysmem_freeptr(p)
#define calcoffset(x, y) offsetof(x, y)
#define structmembersize(s, m) sizeof(((s *)0)->m)
/* The header's class pointer: this host keeps the class in o_messlist. */
#define ob_messlist(x) (((t_object *)(x))->o_messlist)
#define ob_class(x) ((t_class *)(((t_object *)(x))->o_messlist))
/* Messages through the class, as object_method sends them. */
#define mess0(x, s) object_method((x), (s))
#define mess1(x, s, a1) object_method((x), (s), (a1))
#define mess2(x, s, a1, a2) object_method((x), (s), (a1), (a2))
#define mess3(x, s, a1, a2, a3) object_method((x), (s), (a1), (a2), (a3))
#define mess4(x, s, a1, a2, a3, a4) object_method((x), (s), (a1), (a2), (a3), (a4))
#define mess5(x, s, a1, a2, a3, a4, a5) object_method((x), (s), (a1), (a2), (a3), (a4), (a5))
/* Names whose meaning reaches into the host's class records, which this
   layer does not expose: a source that uses one does not build here. */
#define ob_name(x) qz_host_has_no_ob_name(x)
#define ob_sym(x) qz_host_has_no_ob_sym(x)
#define ob_filename(x) qz_host_has_no_ob_filename(x)
#define ob_filesym(x) qz_host_has_no_ob_filesym(x)
#define floatmess1(x, s, f) qz_host_has_no_floatmess1(x, s, f)
#if !QZ_HOST_32BIT
#define object_new(...) object_new_imp(__VA_ARGS__)
#endif
#if defined(_WIN32)
#define strcmp_case_insensitive _stricmp
#else
#define strcmp_case_insensitive strcasecmp
#endif
#if defined(C74_LEGACY_DEFINES)
#define post(...) object_post(NULL, __VA_ARGS__)
#define error(...) object_error(NULL, __VA_ARGS__)
#endif

/* ---- The binary interface, pinned per target --------------------------- */

#ifdef __cplusplus
#define QZ_HOST_ASSERT(c, m) static_assert(c, m)
#else
#define QZ_HOST_ASSERT(c, m) _Static_assert(c, m)
#endif

QZ_HOST_ASSERT(sizeof(t_atom_long) == sizeof(void *), "t_atom_long is pointer-sized");
QZ_HOST_ASSERT(sizeof(t_max_err) == sizeof(t_atom_long), "t_max_err is a t_atom_long");
QZ_HOST_ASSERT(sizeof(t_ptr_size) == sizeof(void *), "t_ptr_size is pointer-sized");
QZ_HOST_ASSERT(sizeof(t_symbol) == 2 * sizeof(void *), "t_symbol: name, thing");
QZ_HOST_ASSERT(offsetof(t_symbol, s_thing) == sizeof(void *), "t_symbol: s_thing second");
QZ_HOST_ASSERT(sizeof(t_object) == 4 * sizeof(void *), "t_object: four pointer-sized fields");
QZ_HOST_ASSERT(offsetof(t_object, o_messlist) == 0, "t_object: message list first");
QZ_HOST_ASSERT(offsetof(t_object, o_magic) == sizeof(void *), "t_object: magic second");
QZ_HOST_ASSERT(offsetof(t_object, o_inlet) == 2 * sizeof(void *), "t_object: inlets third");
QZ_HOST_ASSERT(offsetof(t_object, o_outlet) == 3 * sizeof(void *), "t_object: outlets fourth");
QZ_HOST_ASSERT(sizeof(short) == 2, "atom type code is 16 bits");
#if defined(_WIN32) || QZ_HOST_32BIT
QZ_HOST_ASSERT(sizeof(long) == 4, "argc, clock_delay's ms and offsets are 32-bit longs");
#endif
#if QZ_HOST_32BIT
QZ_HOST_ASSERT(sizeof(t_atom_long) == 4, "32-bit host: 32-bit integers");
QZ_HOST_ASSERT(sizeof(t_atom_float) == 4, "32-bit host: single floats in atoms");
QZ_HOST_ASSERT(sizeof(t_atom) == 6, "32-bit host: 6-byte atoms (2-byte packing)");
QZ_HOST_ASSERT(offsetof(t_atom, a_w) == 2, "32-bit host: atom value at offset 2");
QZ_HOST_ASSERT(sizeof(t_object) == 16, "32-bit host: 16-byte object header");
#else
QZ_HOST_ASSERT(sizeof(t_atom_long) == 8, "64-bit host: 64-bit integers");
QZ_HOST_ASSERT(sizeof(t_atom_float) == 8, "64-bit host: double floats in atoms");
QZ_HOST_ASSERT(sizeof(t_atom) == 16, "64-bit host: 16-byte atoms");
QZ_HOST_ASSERT(offsetof(t_atom, a_w) == 8, "64-bit host: atom value at offset 8");
QZ_HOST_ASSERT(sizeof(t_object) == 32, "64-bit host: 32-byte object header");
#endif
#undef QZ_HOST_ASSERT

#endif /* QZ_HOST_MAXAPI_H */

// Variadic calls from an arm64 macOS slice into an arm64 Linux process.
//
// Both platforms pass named arguments alike (x0-x7, v0-v7, then the stack),
// but arm64 macOS passes every variadic argument on the stack, each in an
// 8-byte slot starting at the stack pointer, where Linux's convention
// continues in the registers. Each shim below is an ordinary Linux function
// whose first eight integer parameters are the registers (the named
// arguments, then unused ones) and whose next parameters are therefore the
// first stack slots: the slots of the variadic arguments. The shim reads as
// many slots as the call's own description says (the type list ending in
// 0, the format string) and calls the host's or the C library's routine
// with them, integers as integers and doubles as doubles, as Linux's
// convention passes them. Reading a slot the caller did not fill reads the
// caller's own frame, never beyond it, and such a slot is never used.
#include "macho.hpp"

#if defined(__aarch64__)

#include "clib.h"
#include "maxapi.h"

#include <cstring>

namespace qzhost::macho {

namespace {

constexpr int kSlots = 16;  // stack slots a shim can read
constexpr int kIntArgs = 8; // integer arguments passed on (after the named ones)
constexpr int kFloatArgs = 8;

using u64 = uint64_t;
#define QZ_SLOT_PARAMS                                                                             \
    u64 s0, u64 s1, u64 s2, u64 s3, u64 s4, u64 s5, u64 s6, u64 s7, u64 s8, u64 s9, u64 s10,       \
        u64 s11, u64 s12, u64 s13, u64 s14, u64 s15
#define QZ_SLOTS                                                                                   \
    {                                                                                              \
        s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13, s14, s15                       \
    }

// The variadic arguments of one call, sorted into the integer and floating
// sequences in which Linux's va_arg reads them back.
struct Split {
    u64 i[kIntArgs] = {};
    double d[kFloatArgs] = {};
    int ni = 0, nd = 0, used = 0;
    bool ok = true;

    void take_int(const u64 *slots)
    {
        if (used >= kSlots || ni >= kIntArgs) {
            ok = false;
            return;
        }
        i[ni++] = slots[used++];
    }
    void take_double(const u64 *slots)
    {
        if (used >= kSlots || nd >= kFloatArgs) {
            ok = false;
            return;
        }
        std::memcpy(&d[nd++], &slots[used++], sizeof(double));
    }
};

// The slots a printf format reads: '*' widths and precisions and integer,
// character, string and pointer conversions are integers; a, e, f, g
// (either case) doubles. %n is refused: a plug-in has no business writing
// through its format.
Split split_printf(const char *fmt, const u64 *slots)
{
    Split s;
    for (const char *p = fmt; p && *p && s.ok; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        for (; *p && std::strchr("-+ #0'", *p); ++p) {
        }
        for (; *p && (std::strchr("0123456789.", *p) || *p == '*'); ++p)
            if (*p == '*')
                s.take_int(slots);
        for (; *p && std::strchr("hljztL", *p); ++p) {
        }
        if (!*p)
            break;
        if (std::strchr("aAeEfFgG", *p))
            s.take_double(slots);
        else if (std::strchr("diouxXcsp", *p))
            s.take_int(slots);
        else
            s.ok = false;
    }
    return s;
}

// The slots of class_attr_addattr_format's format: 's' a symbol, 'l' or 'i'
// an integer, 'f' a double.
Split split_attr_format(const char *fmt, const u64 *slots)
{
    Split s;
    for (const char *p = fmt; p && *p && s.ok; ++p) {
        if (*p == 's' || *p == 'l' || *p == 'i')
            s.take_int(slots);
        else if (*p == 'f')
            s.take_double(slots);
    }
    return s;
}

// The slots of an argument-type list ending in A_NOTHING (each an int).
Split split_types(const u64 *slots)
{
    Split s;
    for (int k = 0; k < kIntArgs; ++k) {
        const int t = static_cast<int>(slots[k]);
        s.take_int(slots);
        if (t == A_NOTHING)
            return s;
    }
    s.ok = false; // no A_NOTHING among the types the shim can pass on
    return s;
}

// Each shim ends its call with this, so that the call is never a tail
// call: a tail call would write its own stack arguments over the shim's
// incoming slots, which lie in the arm64 macOS caller's frame beyond the
// slots that caller filled.
template <typename T> T after_call(T v)
{
    asm volatile("" : "+r"(v)::"memory");
    return v;
}
inline void after_call()
{
    asm volatile("" ::: "memory");
}

#define QZ_INTS(s) s.i[0], s.i[1], s.i[2], s.i[3], s.i[4], s.i[5], s.i[6], s.i[7]
#define QZ_FLOATS(s) s.d[0], s.d[1], s.d[2], s.d[3], s.d[4], s.d[5], s.d[6], s.d[7]
#define QZ_ARGS(s) QZ_INTS(s), QZ_FLOATS(s)

void refuse(const char *routine)
{
    object_error(nullptr,
                 "%s: a call from an arm64 macOS plug-in with more arguments than "
                 "the loader passes on",
                 routine);
}

t_class *apple_class_new(const char *name, const method mnew, const method mfree, long size,
                         const method mmenu, short type, u64, u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_types(slots);
    if (!s.ok) {
        refuse("class_new");
        return nullptr;
    }
    return after_call(class_new(name, mnew, mfree, size, mmenu, type, QZ_INTS(s)));
}

t_max_err apple_class_addmethod(t_class *c, const method m, const char *name, u64, u64, u64, u64,
                                u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_types(slots);
    if (!s.ok) {
        refuse("class_addmethod");
        return MAX_ERR_GENERIC;
    }
    return after_call(class_addmethod(c, m, name, QZ_INTS(s)));
}

t_max_err apple_class_attr_addattr_format(t_class *c, const char *attrname, const char *attrname2,
                                          const t_symbol *type, long flags, const char *fmt, u64,
                                          u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_attr_format(fmt, slots);
    if (!s.ok) {
        refuse("class_attr_addattr_format");
        return MAX_ERR_GENERIC;
    }
    return after_call(
        class_attr_addattr_format(c, attrname, attrname2, type, flags, fmt, QZ_ARGS(s)));
}

void apple_object_post(t_object *x, const char *fmt, u64, u64, u64, u64, u64, u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_printf(fmt, slots);
    if (!s.ok)
        return refuse("object_post");
    object_post(x, fmt, QZ_ARGS(s));
    after_call();
}

void apple_object_error(t_object *x, const char *fmt, u64, u64, u64, u64, u64, u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_printf(fmt, slots);
    if (!s.ok)
        return refuse("object_error");
    object_error(x, fmt, QZ_ARGS(s));
    after_call();
}

int apple_snprintf(char *out, size_t n, const char *fmt, u64, u64, u64, u64, u64, QZ_SLOT_PARAMS)
{
    const u64 slots[kSlots] = QZ_SLOTS;
    const Split s = split_printf(fmt, slots);
    if (!s.ok) {
        refuse("snprintf");
        if (n > 0)
            out[0] = '\0';
        return -1;
    }
    return after_call(snprintf(out, n, fmt, QZ_ARGS(s)));
}

template <typename F> void *address_of(F *f)
{
    return reinterpret_cast<void *>(f);
}

} // namespace

void *variadic_shim(std::string_view name)
{
    if (name == "class_new")
        return address_of(&apple_class_new);
    if (name == "class_addmethod")
        return address_of(&apple_class_addmethod);
    if (name == "class_attr_addattr_format")
        return address_of(&apple_class_attr_addattr_format);
    if (name == "object_post")
        return address_of(&apple_object_post);
    if (name == "object_error")
        return address_of(&apple_object_error);
    if (name == "snprintf")
        return address_of(&apple_snprintf);
    return nullptr;
}

} // namespace qzhost::macho

#endif // __aarch64__

// The names a macOS plug-in may import, and what each resolves to: the
// host's C API (maxapi.h), which the real host resolves by flat lookup when
// it loads the bundle, and the C library functions of clib.h, which every
// macOS process has loaded. Any other name is refused by the loader, so a
// bundle that would need something else fails here as it would on a Mac.
#include "macho.hpp"

#include "clib.h"
#include "maxapi.h"

#include <cstdio>
#include <cstdlib>

namespace qzhost::macho {

namespace {

// Called by the stub helper only if a lazy pointer were still unbound. The
// loader binds every lazy pointer when it maps the image, so reaching this
// means the image's lazy bind table missed an entry.
[[noreturn]] void unbound_lazy_pointer()
{
    std::fputs("qzhost: a macOS plug-in called an import the loader did not bind\n", stderr);
    std::abort();
}

struct Entry {
    std::string_view name;
    void *address;
};

template <typename F> void *address_of(F *f)
{
    return reinterpret_cast<void *>(f);
}

const Entry kHostApi[] = {
    {"atom_getfloat", address_of(&atom_getfloat)},
    {"atom_getlong", address_of(&atom_getlong)},
    {"atom_getsym", address_of(&atom_getsym)},
    {"atom_gettype", address_of(&atom_gettype)},
    {"atom_setfloat", address_of(&atom_setfloat)},
    {"atom_setlong", address_of(&atom_setlong)},
    {"atom_setsym", address_of(&atom_setsym)},
    {"attr_addfilter_clip", address_of(&attr_addfilter_clip)},
    {"attr_args_process", address_of(&attr_args_process)},
    {"attr_offset_new", address_of(&attr_offset_new)},
    {"class_addattr", address_of(&class_addattr)},
    {"class_addmethod", address_of(&class_addmethod)},
    {"class_attr_addattr_format", address_of(&class_attr_addattr_format)},
    {"class_attr_addattr_parse", address_of(&class_attr_addattr_parse)},
    {"class_attr_get", address_of(&class_attr_get)},
    {"class_new", address_of(&class_new)},
    {"class_register", address_of(&class_register)},
    {"clock_delay", address_of(&clock_delay)},
    {"clock_new", address_of(&clock_new)},
    {"clock_unset", address_of(&clock_unset)},
    {"floatin", address_of(&floatin)},
    {"floatout", address_of(&floatout)},
    {"freeobject", address_of(&freeobject)},
    {"gensym", address_of(&gensym)},
    {"gensym_tr", address_of(&gensym_tr)},
    {"intout", address_of(&intout)},
    {"object_alloc", address_of(&object_alloc)},
    {"object_error", address_of(&object_error)},
    {"object_method", address_of(&object_method)},
    {"object_method_imp", address_of(&object_method_imp)},
    {"object_post", address_of(&object_post)},
    {"outlet_float", address_of(&outlet_float)},
    {"outlet_int", address_of(&outlet_int)},
    {"stdinletinfo", address_of(&stdinletinfo)},
    {"sysmem_freeptr", address_of(&sysmem_freeptr)},
    {"sysmem_newptr", address_of(&sysmem_newptr)},
};

// Exactly the functions that clib.h declares for a freestanding build.
const Entry kCLibrary[] = {
    {"ceil", address_of(static_cast<double (*)(double)>(&ceil))},
    {"floor", address_of(static_cast<double (*)(double)>(&floor))},
    {"free", address_of(&free)},
    {"malloc", address_of(&malloc)},
    {"memcmp", address_of(&memcmp)},
    {"realloc", address_of(&realloc)},
    {"snprintf", address_of(&snprintf)},
};

// The variadic routines among them.
[[maybe_unused]] constexpr std::string_view kVariadic[] = {
    "class_new",    "class_addmethod", "class_attr_addattr_format", "object_method", "object_post",
    "object_error", "snprintf"};

} // namespace

void *resolve(std::string_view name)
{
#if defined(__aarch64__)
    // arm64 macOS passes variadic arguments otherwise than this process:
    // such a routine is reached through its shim, or not at all.
    for (std::string_view v : kVariadic)
        if (v == name)
            return variadic_shim(name);
#endif
    for (const Entry &e : kHostApi)
        if (e.name == name)
            return e.address;
    for (const Entry &e : kCLibrary)
        if (e.name == name)
            return e.address;
    // The x86_64 stub helper's binder (imported under this very name):
    // never called (see above).
    if (name == "dyld_stub_binder")
        return address_of(&unbound_lazy_pointer);
    return nullptr;
}

} // namespace qzhost::macho

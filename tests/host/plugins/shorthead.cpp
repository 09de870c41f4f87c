// qzt.shorthead: a plug-in built with a header one field short of the host's
// (three pointer-sized fields, as an earlier layer of ours declared it). Its
// first own field then lies where the host keeps the instance's outlet list,
// exactly like `mode` in a qz.subtone built that way. The embedded host must
// refuse such an instance at once instead of letting both sides overwrite
// each other.
#include "maxapi.h"
#include "module_entry.h"

#include <cstddef>

namespace {

struct short_header {
    void *messlist;
    t_ptr_int magic;
    void *inlet;
};

struct t_shorthead {
    short_header ob; // one field short of t_object
    t_atom_long mode;
    void *outlet;
};

static_assert(sizeof(short_header) + sizeof(void *) == sizeof(t_object),
              "the header is exactly one field short");

t_class *shorthead_class = nullptr;

// As qz.subtone does: the outlet first, then the instance's own fields.
void *shorthead_new(t_symbol *, long, t_atom *)
{
    auto *x = static_cast<t_shorthead *>(object_alloc(shorthead_class));
    if (!x)
        return nullptr;
    x->outlet = intout(x);
    x->mode = 0;
    return x;
}

} // namespace

QZ_EXT_MAIN
{
    t_class *c = class_new("qzt.shorthead",
                           reinterpret_cast<method>(reinterpret_cast<void (*)()>(shorthead_new)),
                           nullptr, static_cast<long>(sizeof(t_shorthead)), nullptr, A_GIMME, 0);
    class_register(CLASS_BOX, c);
    shorthead_class = c;
    return 0;
}

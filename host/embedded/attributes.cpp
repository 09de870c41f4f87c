// Attributes: values stored in instance records, set and read through
// accessors (the host's defaults or the class's own), with clip filters and
// attributes-of-attributes.
#include "internal.hpp"

#include <cmath>
#include <cstdarg>
#include <cstring>

using qzhost::detail::AttrRec;
using qzhost::detail::current_or_complain;
using qzhost::detail::InstRec;

namespace qzhost {

namespace {

using fn_getter = t_max_err (*)(void *, void *, long *, t_atom **);
using fn_setter = t_max_err (*)(void *, void *, long, t_atom *);

AttrRec *attr_of(void *p)
{
    auto *o = static_cast<t_object *>(p);
    if (!o || o->o_magic != detail::kMagicAttr)
        return nullptr;
    return reinterpret_cast<AttrRec *>(o);
}

// The clip filter, applied to what is set and to what is read. A float atom is clipped to [min,
// max]; NaN lies in no range, so a clipped attribute never takes it: it becomes the minimum (the
// maximum when only that is set). An integer atom stays an integer: the
// bounds are brought inside the integers (min rounded up, max rounded down)
// before comparing.
void clip(const AttrRec &a, t_atom &at)
{
    if (at.a_type == A_FLOAT) {
        // The bounds are stored in the atom's own float type.
        if (std::isnan(at.a_w.w_float) && (a.clip_min || a.clip_max))
            at.a_w.w_float = static_cast<t_atom_float>(a.clip_min ? a.min : a.max);
        if (a.clip_min && at.a_w.w_float < a.min)
            at.a_w.w_float = static_cast<t_atom_float>(a.min);
        if (a.clip_max && at.a_w.w_float > a.max)
            at.a_w.w_float = static_cast<t_atom_float>(a.max);
    } else if (at.a_type == A_LONG) {
        if (a.clip_min) {
            t_atom_long lo = detail::to_long(std::ceil(a.min));
            if (at.a_w.w_long < lo)
                at.a_w.w_long = lo;
        }
        if (a.clip_max) {
            t_atom_long hi = detail::to_long(std::floor(a.max));
            if (at.a_w.w_long > hi)
                at.a_w.w_long = hi;
        }
    }
}

// The default setter: no value does nothing; otherwise the first atom,
// converted to the attribute's type, is stored at the offset. A "long"
// attribute is the platform's C `long`, as the host stores it: 4 bytes on
// Windows in both widths and on 32-bit systems, 8 on 64-bit Linux; an
// integer wider than that keeps its low bits only (4294967297 stores 1 in
// a 32-bit `long`). "atom_long" is the atoms' own t_atom_long.
bool default_set(Host::Impl *h, InstRec *r, const AttrRec &a, long argc, const t_atom *argv)
{
    if (argc <= 0)
        return true;
    if (!detail::is_number(argv[0])) {
        h->postf(r->obj, true, "wrong argument type for attribute \"%s\"", a.name->s_name);
        return false;
    }
    char *field = reinterpret_cast<char *>(r->obj) + a.offset;
    if (a.type == h->s_long) {
        // Modular narrowing (C++20): the low bits of the two's complement.
        long v = static_cast<long>(detail::long_of(argv[0]));
        std::memcpy(field, &v, sizeof v);
    } else if (a.type == h->s_atom_long) {
        t_atom_long v = detail::long_of(argv[0]);
        std::memcpy(field, &v, sizeof v);
    } else if (a.type == h->s_float32) {
        float v = static_cast<float>(detail::number_of(argv[0])); // narrowed once, to single
        std::memcpy(field, &v, sizeof v);
    } else {
        double v = detail::number_of(argv[0]);
        std::memcpy(field, &v, sizeof v);
    }
    return true;
}

// The default getter: one atom of the stored value, allocated with
// sysmem_newptr like a custom getter's.
t_max_err default_get(Host::Impl *h, InstRec *r, const AttrRec &a, long *argc, t_atom **argv)
{
    t_atom *out = reinterpret_cast<t_atom *>(sysmem_newptr(sizeof(t_atom)));
    if (!out)
        return MAX_ERR_GENERIC;
    const char *field = reinterpret_cast<const char *>(r->obj) + a.offset;
    if (a.type == h->s_long) {
        long v;
        std::memcpy(&v, field, sizeof v);
        atom_setlong(out, v);
    } else if (a.type == h->s_atom_long) {
        t_atom_long v;
        std::memcpy(&v, field, sizeof v);
        atom_setlong(out, v);
    } else if (a.type == h->s_float32) {
        float v;
        std::memcpy(&v, field, sizeof v);
        atom_setfloat(out, v);
    } else {
        double v;
        std::memcpy(&v, field, sizeof v);
        atom_setfloat(out, v);
    }
    *argc = 1;
    *argv = out;
    return MAX_ERR_NONE;
}

} // namespace

bool Host::Impl::attr_set(InstRec *r, AttrRec *a, long argc, const t_atom *argv)
{
    if (!r || r->destroyed || r->dying)
        return false;
    // Filtered copy: the caller's atoms stay as they were.
    size_t n = argc > 0 ? static_cast<size_t>(argc) : 0;
    t_atom local[detail::kLocalAtoms];
    std::vector<t_atom> heap_atoms;
    t_atom *atoms = local;
    if (n > detail::kLocalAtoms) {
        heap_atoms.resize(n);
        atoms = heap_atoms.data();
    }
    for (size_t i = 0; i < n; ++i) {
        atoms[i] = argv[i];
        clip(*a, atoms[i]);
    }
    if (a->setter) {
        detail::fn_cast<fn_setter>(a->setter)(r->obj, a, static_cast<long>(n), atoms);
        return true;
    }
    return default_set(this, r, *a, static_cast<long>(n), atoms);
}

bool Host::Impl::attr_get(InstRec *r, AttrRec *a, std::vector<t_atom> &out)
{
    out.clear();
    if (!r || r->destroyed || r->dying)
        return false;
    long argc = 0;
    t_atom *argv = nullptr;
    t_max_err err = a->getter ? detail::fn_cast<fn_getter>(a->getter)(r->obj, a, &argc, &argv)
                              : default_get(this, r, *a, &argc, &argv);
    if (argv && argc > 0)
        out.assign(argv, argv + argc);
    sysmem_freeptr(argv);
    // The clip filter works on both sides: a value stored past it (by the
    // constructor, or a routine writing the field) reads clipped.
    for (t_atom &at : out)
        clip(*a, at);
    return err == MAX_ERR_NONE;
}

} // namespace qzhost

namespace {

qzhost::detail::AttrAttr *find_attrattr(AttrRec *a, t_symbol *name)
{
    for (auto &aa : a->attrattrs)
        if (aa.name == name)
            return &aa;
    return nullptr;
}

// Adds or replaces an attribute-of-attribute.
t_max_err add_attrattr(t_class *c, const char *attrname, const char *attrname2, t_symbol *type,
                       std::vector<t_atom> atoms)
{
    if (!c || !attrname || !attrname2)
        return MAX_ERR_INVALID_PTR;
    auto *h = c->host;
    AttrRec *a = c->find_attr(h->intern(attrname));
    if (!a) {
        h->postf(nullptr, true, "%s: no attribute \"%s\"", c->name.c_str(), attrname);
        return MAX_ERR_GENERIC;
    }
    t_symbol *name = h->intern(attrname2);
    if (auto *old = find_attrattr(a, name)) {
        old->type = type;
        old->atoms = std::move(atoms);
    } else {
        a->attrattrs.push_back({name, type, std::move(atoms)});
    }
    return MAX_ERR_NONE;
}

} // namespace

extern "C" {

t_object *attr_offset_new(const char *name, const t_symbol *type, long flags, const method mget,
                          const method mset, long offset)
{
    auto *h = current_or_complain("attr_offset_new");
    if (!h)
        return nullptr;
    if (!name || (type != h->s_long && type != h->s_atom_long && type != h->s_float32 &&
                  type != h->s_float64)) {
        h->postf(nullptr, true, "attr_offset_new: attribute \"%s\": unsupported type \"%s\"",
                 name ? name : "", type ? type->s_name : "");
        return nullptr;
    }
    if (offset < static_cast<long>(sizeof(t_object))) {
        h->postf(nullptr, true, "attr_offset_new: attribute \"%s\" overlaps the object header",
                 name);
        return nullptr;
    }
    auto a = std::make_unique<AttrRec>();
    a->ob.o_messlist = reinterpret_cast<struct messlist *>(&h->attr_class);
    a->ob.o_magic = qzhost::detail::kMagicAttr;
    a->host = h;
    a->name = h->intern(name);
    a->type = const_cast<t_symbol *>(type);
    a->flags = flags;
    a->getter = mget;
    a->setter = mset;
    a->offset = offset;
    a->clip_min = a->clip_max = false;
    a->min = a->max = 0.0;
    h->attrs.push_back(std::move(a));
    return &h->attrs.back()->ob;
}

t_max_err class_addattr(t_class *c, t_object *attr)
{
    AttrRec *a = qzhost::attr_of(attr);
    if (!c || !a)
        return MAX_ERR_INVALID_PTR;
    auto *h = c->host;
    // The attribute's storage must lie inside the instance record.
    long width = a->type == h->s_long        ? static_cast<long>(sizeof(long))
                 : a->type == h->s_atom_long ? static_cast<long>(sizeof(t_atom_long))
                 : a->type == h->s_float32   ? 4
                                             : 8;
    if (a->offset + width > c->size) {
        h->postf(nullptr, true, "%s: attribute \"%s\" lies outside the instance record",
                 c->name.c_str(), a->name->s_name);
        return MAX_ERR_GENERIC;
    }
    if (c->find_attr(a->name)) {
        h->postf(nullptr, true, "%s: attribute \"%s\" is already defined", c->name.c_str(),
                 a->name->s_name);
        return MAX_ERR_GENERIC;
    }
    c->attrs.push_back(a);
    return MAX_ERR_NONE;
}

void *class_attr_get(t_class *c, t_symbol *attrname)
{
    if (!c || !attrname)
        return nullptr;
    AttrRec *a = c->find_attr(attrname);
    return a ? &a->ob : nullptr;
}

t_max_err class_attr_addattr_parse(t_class *c, const char *attrname, const char *attrname2,
                                   const t_symbol *type, long flags, const char *parsestr)
{
    (void)flags;
    if (!c)
        return MAX_ERR_INVALID_PTR;
    std::vector<t_atom> atoms;
    if (parsestr)
        atoms = c->host->self->parse_atoms(parsestr);
    return add_attrattr(c, attrname, attrname2, const_cast<t_symbol *>(type), std::move(atoms));
}

// Formats: "s" one t_symbol*, "l"/"ld" one long, "f"/"d" one double; a '%'
// before a letter is allowed; blanks are skipped.
t_max_err class_attr_addattr_format(t_class *c, const char *attrname, const char *attrname2,
                                    const t_symbol *type, long flags, const char *fmt, ...)
{
    (void)flags;
    if (!c || !fmt)
        return MAX_ERR_INVALID_PTR;
    std::vector<t_atom> atoms;
    va_list ap;
    va_start(ap, fmt);
    for (const char *p = fmt; *p; ++p) {
        t_atom at;
        switch (*p) {
        case '%':
        case ' ':
            continue;
        case 's':
            atom_setsym(&at, va_arg(ap, t_symbol *));
            break;
        case 'l':
            if (p[1] == 'd')
                ++p;
            atom_setlong(&at, va_arg(ap, long));
            break;
        case 'f':
        case 'd':
            atom_setfloat(&at, va_arg(ap, double));
            break;
        default:
            va_end(ap);
            c->host->postf(nullptr, true, "%s: attribute \"%s\": unknown format \"%s\"",
                           c->name.c_str(), attrname ? attrname : "", fmt);
            return MAX_ERR_GENERIC;
        }
        atoms.push_back(at);
    }
    va_end(ap);
    return add_attrattr(c, attrname, attrname2, const_cast<t_symbol *>(type), std::move(atoms));
}

t_max_err attr_addfilter_clip(void *attr, double min, double max, long usemin, long usemax)
{
    AttrRec *a = qzhost::attr_of(attr);
    if (!a)
        return MAX_ERR_INVALID_PTR;
    a->clip_min = usemin != 0;
    a->clip_max = usemax != 0;
    a->min = min;
    a->max = max;
    return MAX_ERR_NONE;
}

// Settings "@name value..." among creation arguments, applied in order.
// Atoms before the first "@name" are the constructor's own and are skipped.
void attr_args_process(void *x, short ac, t_atom *av)
{
    InstRec *r = qzhost::detail::inst_of(x);
    if (!r)
        return;
    auto *h = r->host;
    auto is_key = [](const t_atom &a) {
        return a.a_type == A_SYM && a.a_w.w_sym && a.a_w.w_sym->s_name[0] == '@';
    };
    long n = ac > 0 && av ? ac : 0;
    long i = 0;
    while (i < n && !is_key(av[i]))
        ++i;
    while (i < n) {
        const char *name = av[i].a_w.w_sym->s_name + 1;
        long first = ++i;
        while (i < n && !is_key(av[i]))
            ++i;
        AttrRec *a = r->cls->find_attr(h->intern(name));
        if (!a) {
            h->postf(r->obj, true, "no attribute \"%s\"", name);
            continue;
        }
        h->attr_set(r, a, i - first, av + first);
    }
}

} // extern "C"

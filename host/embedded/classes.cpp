// Classes, their message routines, and dispatch of messages by the routines'
// registered argument types.
#include "internal.hpp"

#include <cstdarg>
#include <cstring>

using qzhost::detail::current_or_complain;

namespace qzhost {

using detail::InstRec;
using detail::MethodRec;

namespace {

// Function types the host calls routines through: always the routine's own
// type, never a variadic one.
using fn_nothing = void (*)(void *);
using fn_long = void (*)(void *, t_atom_long);
using fn_float = void (*)(void *, double);
using fn_sym = void (*)(void *, t_symbol *);
using fn_gimme = void (*)(void *, t_symbol *, long, t_atom *);

// Copies atoms into a buffer the routine may write to without touching the
// caller's; short messages stay on the stack.
struct AtomCopy {
    t_atom local[detail::kLocalAtoms];
    std::vector<t_atom> heap;
    t_atom *data = nullptr;
    AtomCopy(long argc, const t_atom *argv)
    {
        size_t n = argc > 0 ? static_cast<size_t>(argc) : 0;
        if (n <= detail::kLocalAtoms) {
            data = local;
        } else {
            heap.resize(n);
            data = heap.data();
        }
        if (n)
            std::memcpy(data, argv, n * sizeof(t_atom));
    }
};

} // namespace

_class *Host::Impl::find_class(std::string_view name) const
{
    auto it = registry.find(name);
    return it == registry.end() ? nullptr : it->second;
}

// Calls a routine with the arguments its type codes announce. A_LONG and
// A_FLOAT routines take the first atom, converted between int and float
// (float to int truncates toward zero). A typed routine whose message comes
// without its argument is not called, as in the host, where such a call
// "will fail": the error `missing argument for "SELECTOR"` is posted and
// false returned (the same for A_SYM). A float
// message that came as a double (`exact`) reaches them as that double. A
// symbol where a number is needed (or a number where a symbol is needed) is
// not passed: the error `wrong argument type for "SELECTOR"` is posted and
// false returned. A_CANT routines are private and not reachable by messages.
bool Host::Impl::call_method(InstRec *r, const MethodRec &m, t_symbol *sel, long argc,
                             const t_atom *argv, const double *exact)
{
    void *x = r->obj;
    if (m.types.empty()) {
        detail::fn_cast<fn_nothing>(m.fn)(x);
        return true;
    }
    const short type = m.types[0];
    if ((type == A_LONG || type == A_FLOAT || type == A_SYM) && argc <= 0 && !exact) {
        postf(r->obj, true, "missing argument for \"%s\"", sel->s_name);
        return false;
    }
    switch (type) {
    case A_LONG:
    case A_FLOAT: {
        if (!exact && !detail::is_number(argv[0])) {
            postf(r->obj, true, "wrong argument type for \"%s\"", sel->s_name);
            return false;
        }
        const double f = exact ? *exact : detail::number_of(argv[0]);
        if (type == A_LONG)
            detail::fn_cast<fn_long>(m.fn)(x,
                                           exact ? detail::to_long(f) : detail::long_of(argv[0]));
        else
            detail::fn_cast<fn_float>(m.fn)(x, f);
        return true;
    }
    case A_SYM:
        if (argv[0].a_type != A_SYM) {
            postf(r->obj, true, "wrong argument type for \"%s\"", sel->s_name);
            return false;
        }
        detail::fn_cast<fn_sym>(m.fn)(x, argv[0].a_w.w_sym);
        return true;
    case A_GIMME: {
        AtomCopy copy(argc, argv);
        detail::fn_cast<fn_gimme>(m.fn)(x, sel, argc, copy.data);
        return true;
    }
    default:
        postf(r->obj, true, "doesn't understand \"%s\"", sel->s_name);
        return false;
    }
}

// Finds the routine for a selector with the host's number fallbacks, then
// attributes; posts `doesn't understand "SELECTOR"` when nothing answers.
bool Host::Impl::dispatch(InstRec *r, t_symbol *sel, long argc, const t_atom *argv,
                          const double *exact)
{
    _class *c = r->cls;
    const MethodRec *m = c->find_method(sel);
    if (m && !(m->types.size() == 1 && m->types[0] == A_CANT))
        return call_method(r, *m, sel, argc, argv, exact);
    if (sel == s_int || sel == s_float) {
        t_symbol *other = sel == s_int ? s_float : s_int;
        if (const MethodRec *m2 = c->find_method(other))
            return call_method(r, *m2, other, argc, argv, exact);
        if (const MethodRec *m3 = c->find_method(s_list))
            return call_method(r, *m3, s_list, argc, argv);
    } else if (sel == s_list && argc == 1 && detail::is_number(argv[0])) {
        t_symbol *first = argv[0].a_type == A_LONG ? s_int : s_float;
        t_symbol *second = first == s_int ? s_float : s_int;
        if (const MethodRec *m2 = c->find_method(first))
            return call_method(r, *m2, first, argc, argv);
        if (const MethodRec *m3 = c->find_method(second))
            return call_method(r, *m3, second, argc, argv);
    }
    if (detail::AttrRec *a = c->find_attr(sel))
        return attr_set(r, a, argc, argv);
    postf(r->obj, true, "doesn't understand \"%s\"", sel->s_name);
    return false;
}

// A message to an inlet: inlet 0 dispatches by selector; a floatin inlet n
// turns a number into "ft<n>" (float argument) and refuses anything else.
bool Host::Impl::send_to(InstRec *r, int inlet, t_symbol *sel, long argc, const t_atom *argv,
                         const double *exact)
{
    if (!r || r->destroyed || r->dying)
        return false;
    if (inlet < 0 || static_cast<size_t>(inlet) >= r->inlets.size() || !r->inlets[inlet]) {
        postf(r->obj, true, "no inlet %d", inlet);
        return false;
    }
    if (inlet == 0)
        return dispatch(r, sel, argc, argv, exact);
    bool number = (sel == s_int || sel == s_float || sel == s_list) && argc == 1 &&
                  detail::is_number(argv[0]);
    if (!number) {
        postf(r->obj, true, "inlet %d: expects a number, not \"%s\"", inlet, sel->s_name);
        return false;
    }
    t_symbol *ft = s_ft[inlet];
    const MethodRec *m = r->cls->find_method(ft);
    if (!m) {
        postf(r->obj, true, "doesn't understand \"%s\"", ft->s_name);
        return false;
    }
    const double f = exact ? *exact : detail::number_of(argv[0]);
    t_atom a;
    atom_setfloat(&a, f);
    return call_method(r, *m, ft, 1, &a, &f);
}

} // namespace qzhost

extern "C" {

t_class *class_new(const char *name, method mnew, method mfree, long size, method mmenu, short type,
                   ...)
{
    (void)mmenu;
    auto *h = current_or_complain("class_new");
    if (!h)
        return nullptr;
    if (!name || !mnew) {
        h->post(nullptr, true, "class_new: a class needs a name and a constructor");
        return nullptr;
    }
    auto c = std::make_unique<_class>();
    c->host = h;
    c->name = name;
    c->mnew = mnew;
    c->mfree = mfree;
    c->size =
        size < static_cast<long>(sizeof(t_object)) ? static_cast<long>(sizeof(t_object)) : size;
    if (type != A_NOTHING) {
        c->ctor_types.push_back(type);
        va_list ap;
        // The host's signature ends its named parameters with a short; every
        // ABI the host runs on passes it in an int-sized slot.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
        va_start(ap, type);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
        for (int i = 1; i < qzhost::detail::kMaxArgTypes; ++i) {
            int t = va_arg(ap, int);
            if (t == 0)
                break;
            c->ctor_types.push_back(static_cast<short>(t));
        }
        va_end(ap);
    }
    if (c->ctor_types.size() > 1 || (c->ctor_types.size() == 1 && c->ctor_types[0] != A_GIMME &&
                                     c->ctor_types[0] != A_LONG && c->ctor_types[0] != A_FLOAT)) {
        h->postf(nullptr, true, "%s: unsupported constructor argument types", name);
        return nullptr;
    }
    h->classes.push_back(std::move(c));
    return h->classes.back().get();
}

t_max_err class_addmethod(t_class *c, method m, const char *name, ...)
{
    if (!c || !m || !name)
        return MAX_ERR_INVALID_PTR;
    auto *h = c->host;
    qzhost::detail::MethodRec rec{h->intern(name), m, {}};
    va_list ap;
    va_start(ap, name);
    for (int i = 0; i < qzhost::detail::kMaxArgTypes; ++i) {
        int t = va_arg(ap, int);
        if (t == 0)
            break;
        rec.types.push_back(static_cast<short>(t));
    }
    va_end(ap);
    // One typed argument, a list, or none: what the host's dispatch can call.
    if (rec.types.size() > 1) {
        h->postf(nullptr, true, "%s: method \"%s\": unsupported argument types", c->name.c_str(),
                 name);
        return MAX_ERR_GENERIC;
    }
    for (auto &old : c->methods) {
        if (old.name == rec.name) {
            old = std::move(rec); // a second registration replaces the routine
            return MAX_ERR_NONE;
        }
    }
    c->methods.push_back(std::move(rec));
    return MAX_ERR_NONE;
}

t_max_err class_register(t_symbol *name_space, t_class *c)
{
    if (!c)
        return MAX_ERR_INVALID_PTR;
    auto *h = c->host;
    (void)name_space; // only the "box" name space exists here
    if (h->registry.count(c->name)) {
        h->postf(nullptr, true, "%s: a class of this name is already registered", c->name.c_str());
        return MAX_ERR_GENERIC;
    }
    h->registry.emplace(c->name, c);
    c->registered = true;
    return MAX_ERR_NONE;
}

} // extern "C"

// Instances: allocation with the host's header, freeing, and object_method.
#include "internal.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

using qzhost::detail::AttrRec;
using qzhost::detail::ClockRec;
using qzhost::detail::current_or_complain;
using qzhost::detail::InstRec;

namespace qzhost {

namespace detail {

namespace {

struct messlist *messlist_of(const InstRec *r)
{
    return reinterpret_cast<struct messlist *>(r->cls);
}

struct outlet *outlet_head_of(const InstRec *r)
{
    return r->outlets.empty() ? nullptr : reinterpret_cast<struct outlet *>(r->outlets.back());
}

} // namespace

void write_header(InstRec *r)
{
    r->obj->o_messlist = messlist_of(r);
    r->obj->o_magic = kMagicInstance;
    r->obj->o_inlet = reinterpret_cast<struct inlet *>(r);
    r->obj->o_outlet = outlet_head_of(r);
}

InstRec *inst_of(const void *x)
{
    auto *o = static_cast<const t_object *>(x);
    if (!o || o->o_magic != kMagicInstance || !o->o_inlet)
        return nullptr;
    auto *r = reinterpret_cast<InstRec *>(o->o_inlet);
    // While a host runs, only its own live records are read through the header.
    if (Host::Impl *h = current(); h && h->instances.find(r) == h->instances.end())
        return nullptr;
    if (r->obj != o)
        return nullptr;
    if (o->o_messlist != messlist_of(r) || o->o_outlet != outlet_head_of(r)) {
        if (!r->header_reported) {
            r->header_reported = true;
            r->host->postf(nullptr, true,
                           "%s: the host's object header was overwritten (the instance record "
                           "must begin with the host's %u-byte t_object)",
                           r->cls->name.c_str(), static_cast<unsigned>(sizeof(t_object)));
        }
        return nullptr;
    }
    return r;
}

} // namespace detail

bool Host::Impl::take_fault(int &counter)
{
    if (counter < 0)
        return false;
    if (counter == 0) {
        counter = -1;
        return true;
    }
    --counter;
    return false;
}

// A zeroed record of the class size with the header filled. While a box of
// this class is being made, the first instance allocated becomes that box.
InstRec *Host::Impl::new_instance(_class *c)
{
    if (take_fault(fail_alloc_after))
        return nullptr;
    auto *obj = static_cast<t_object *>(std::calloc(1, static_cast<size_t>(c->size)));
    if (!obj)
        return nullptr;
    InstRec *r = nullptr;
    if (!creating.empty() && creating.back().cls == c && !creating.back().tied) {
        r = creating.back().rec;
        creating.back().tied = true;
    } else {
        r = new InstRec{};
    }
    r->host = this;
    r->obj = obj;
    r->cls = c;
    r->inlets.assign(1, true);
    r->destroyed = false;
    r->outlets.clear();
    detail::write_header(r);
    instances.insert(r);
    return r;
}

// Destructor (when asked), then the record's inlets, outlets and memory. While
// plug-in code runs the memory is kept until the outermost host call returns,
// so a routine still running on this instance does not touch freed memory.
void Host::Impl::destroy_instance(InstRec *r, bool call_destructor)
{
    if (!r || r->destroyed)
        return;
    r->destroyed = true;
    if (r->box >= 0 && static_cast<size_t>(r->box) < boxes.size() && boxes[r->box] == r)
        boxes[r->box] = nullptr;
    if (call_destructor && r->cls->mfree)
        qzhost::detail::fn_cast<void (*)(void *)>(r->cls->mfree)(r->obj);
    // Clocks the destructor left armed never fire for a freed owner.
    disarm_owned_by(r->obj);
    r->obj->o_magic = detail::kMagicFreed;
    instances.erase(r);
    if (depth > 0)
        graveyard.push_back(r);
    else
        release_record(r);
}

// A box freed by a receiver while it is itself sending (or while any routine
// may still run on it) is unhooked at once: it gets no more messages, sends
// nothing more and its own clocks stop. Its destructor runs only once the
// outermost host call returns, so a routine of the box still on the stack
// never reads what the destructor released.
void Host::Impl::free_instance(InstRec *r)
{
    if (!r || r->destroyed || r->dying)
        return;
    if (depth <= 1) {
        destroy_instance(r, true);
        return;
    }
    r->dying = true;
    if (r->box >= 0 && static_cast<size_t>(r->box) < boxes.size() && boxes[r->box] == r)
        boxes[r->box] = nullptr;
    disarm_owned_by(r->obj);
    doomed.push_back(r);
}

void Host::Impl::flush_deferred()
{
    if (flushing)
        return; // a destructor's own host calls end here too
    flushing = true;
    while (!doomed.empty()) {
        std::vector<InstRec *> batch;
        batch.swap(doomed);
        for (InstRec *r : batch)
            destroy_instance(r, true);
    }
    flushing = false;
    if (!graveyard.empty())
        flush_graveyard();
}

void Host::Impl::release_record(InstRec *r)
{
    for (auto *o : r->outlets)
        delete o;
    std::free(r->obj);
    delete r;
}

void Host::Impl::flush_graveyard()
{
    // Releasing runs no plug-in code, so nothing is added meanwhile.
    for (auto *r : graveyard)
        release_record(r);
    graveyard.clear();
}

} // namespace qzhost

namespace {

using qzhost::Host;

// Attribute messages: "setmethod" (2 arguments), "gettype" and "getname".
void *attr_method(Host::Impl *h, AttrRec *a, t_symbol *s, void *p1, void *p2)
{
    if (s == h->s_setmethod) {
        auto *which = static_cast<t_symbol *>(p1);
        auto fn = reinterpret_cast<method>(p2);
        if (which == h->s_get)
            a->getter = fn;
        else if (which == h->s_set)
            a->setter = fn;
        else {
            // object_method answers with a pointer; an error code travels in it.
            return reinterpret_cast<void *>( // NOLINT(performance-no-int-to-ptr)
                static_cast<intptr_t>(MAX_ERR_GENERIC));
        }
        return nullptr;
    }
    if (s == h->s_gettype)
        return a->type;
    if (s == h->s_getname)
        return a->name;
    h->postf(nullptr, true, "attribute \"%s\": doesn't understand \"%s\"", a->name->s_name,
             s ? s->s_name : "");
    return nullptr;
}

// How many pointer-sized arguments a message to an attribute or a box reads.
int arg_count(Host::Impl *h, const void *x, t_symbol *s)
{
    auto *o = static_cast<const t_object *>(x);
    if (o->o_magic == qzhost::detail::kMagicAttr)
        return s == h->s_setmethod ? 2 : 0;
    if (s == h->s_assist)
        return 4;
    if (s == h->s_inletinfo)
        return 3;
    auto *r = qzhost::detail::inst_of(x);
    if (!r)
        return 0;
    const auto *m = r->cls->find_method(s);
    if (m && m->types.size() == 1 && (m->types[0] == A_LONG || m->types[0] == A_SYM))
        return 1;
    return 0;
}

// object_method with its arguments read. On an instance: "assist" and
// "inletinfo" by their known signatures, a routine without arguments, or one
// with a single integer or symbol argument. Other private routines are not
// called (their signatures are unknown to the host).
void *dispatch_method(void *x, t_symbol *s, void *const *p)
{
    auto *o = static_cast<t_object *>(x);
    if (!o || !s)
        return nullptr;
    if (o->o_magic == qzhost::detail::kMagicAttr) {
        auto *a = reinterpret_cast<AttrRec *>(o);
        return attr_method(a->host, a, s, p[0], p[1]);
    }
    InstRec *r = qzhost::detail::inst_of(x);
    if (!r)
        return nullptr;
    auto *h = r->host;
    qzhost::detail::HostScope scope(h);
    const auto *m = r->cls->find_method(s);
    if (!m) {
        h->postf(r->obj, true, "doesn't understand \"%s\"", s->s_name);
        return nullptr;
    }
    if (s == h->s_assist) {
        qzhost::detail::fn_cast<void (*)(void *, void *, long, long, char *)>(m->fn)(
            x, p[0], static_cast<long>(reinterpret_cast<intptr_t>(p[1])),
            static_cast<long>(reinterpret_cast<intptr_t>(p[2])), static_cast<char *>(p[3]));
        return nullptr;
    }
    if (s == h->s_inletinfo) {
        qzhost::detail::fn_cast<void (*)(void *, void *, long, char *)>(m->fn)(
            x, p[0], static_cast<long>(reinterpret_cast<intptr_t>(p[1])),
            static_cast<char *>(p[2]));
        return nullptr;
    }
    if (m->types.empty()) {
        qzhost::detail::fn_cast<void (*)(void *)>(m->fn)(x);
        return nullptr;
    }
    if (m->types[0] == A_LONG) {
        qzhost::detail::fn_cast<void (*)(void *, t_atom_long)>(m->fn)(
            x, static_cast<t_atom_long>(reinterpret_cast<intptr_t>(p[0])));
        return nullptr;
    }
    if (m->types[0] == A_SYM) {
        qzhost::detail::fn_cast<void (*)(void *, t_symbol *)>(m->fn)(x,
                                                                     static_cast<t_symbol *>(p[0]));
        return nullptr;
    }
    h->postf(r->obj, true, "object_method: \"%s\" cannot be called with pointer arguments",
             s->s_name);
    return nullptr;
}

} // namespace

extern "C" {

void *object_alloc(t_class *c)
{
    if (!c)
        return nullptr;
    if (c->internal)
        return nullptr;
    InstRec *r = c->host->new_instance(c);
    return r ? r->obj : nullptr;
}

// An instance: destructor, then its record (a box stops existing). A clock:
// cancelled and freed. An attribute: belongs to its class, nothing happens.
void freeobject(t_object *op)
{
    if (!op)
        return;
    if (op->o_magic == qzhost::detail::kMagicClock) {
        auto *c = reinterpret_cast<ClockRec *>(op);
        c->host->free_clock(c);
        return;
    }
    if (op->o_magic == qzhost::detail::kMagicAttr)
        return;
    InstRec *r = qzhost::detail::inst_of(op);
    if (!r) {
        std::fprintf(stderr, "qzhost: freeobject: not a live object\n");
        return;
    }
    qzhost::detail::HostScope scope(r->host);
    r->host->free_instance(r);
}

void *object_method(void *x, t_symbol *s, ...)
{
    if (!x || !s)
        return nullptr;
    void *p[8] = {};
    auto *o = static_cast<t_object *>(x);
    Host::Impl *h = nullptr;
    if (o->o_magic == qzhost::detail::kMagicAttr)
        h = reinterpret_cast<AttrRec *>(o)->host;
    else if (auto *r = qzhost::detail::inst_of(x))
        h = r->host;
    if (!h)
        return nullptr;
    int n = arg_count(h, x, s);
    va_list ap;
    va_start(ap, s);
    for (int i = 0; i < n; ++i)
        p[i] = va_arg(ap, void *);
    va_end(ap);
    return dispatch_method(x, s, p);
}

void *object_method_imp(void *x, void *sym, void *p1, void *p2, void *p3, void *p4, void *p5,
                        void *p6, void *p7, void *p8)
{
    void *p[8] = {p1, p2, p3, p4, p5, p6, p7, p8};
    return dispatch_method(x, static_cast<t_symbol *>(sym), p);
}

} // extern "C"

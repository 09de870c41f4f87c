// Inlets and outlets, and synchronous delivery of floats along connections.
#include "internal.hpp"

#include <cstdio>

using qzhost::detail::InstRec;
using qzhost::detail::OutletRec;

namespace qzhost {

// A float arriving at an inlet: "float" at inlet 0 (with the number
// fallbacks), "ft<n>" at a floatin inlet.
bool Host::Impl::deliver(BoxId to, int inlet, double f)
{
    InstRec *r = box_rec(to);
    if (!r)
        return false; // the receiver has been freed meanwhile
    // The atom holds a t_atom_float; number routines get the double itself.
    t_atom a;
    atom_setfloat(&a, f);
    return send_to(r, inlet, s_float, 1, &a, &f);
}

// An integer arriving at an inlet: "int" at inlet 0, "ft<n>" at a floatin
// inlet.
bool Host::Impl::deliver_int(BoxId to, int inlet, t_atom_long n)
{
    InstRec *r = box_rec(to);
    if (!r)
        return false;
    t_atom a;
    atom_setlong(&a, n);
    return send_to(r, inlet, s_int, 1, &a);
}

template <class Deliver> void Host::Impl::send_out(OutletRec *out, double logged, Deliver each)
{
    InstRec *r = out->owner;
    if (r->destroyed || r->dying)
        return;
    detail::HostScope scope(this);
    if (delivery_depth >= detail::kMaxDeliveryDepth) {
        post(r->obj, true, "stack overflow");
        return;
    }
    const int index = static_cast<int>(r->outlets.size()) - 1 - out->order;
    const OutletEvent ev{now, r->box, index, logged};
    if (recording)
        outlet_log.push_back(ev);
    for (size_t i = 0; i < outlet_observers.size(); ++i)
        outlet_observers[i](ev);
    ++delivery_depth;
    // By index, re-reading the size: a receiver may connect, free or create
    // boxes meanwhile. The outlet record itself outlives this call (freed
    // records wait in the graveyard until the outermost host call returns).
    for (size_t i = 0; i < out->conns.size(); ++i) {
        const detail::Connection c = out->conns[i];
        each(c);
    }
    --delivery_depth;
}

} // namespace qzhost

namespace {

void *new_outlet(void *x, const char *op, qzhost::detail::OutletKind kind)
{
    InstRec *r = qzhost::detail::inst_of(x);
    if (!r) {
        std::fprintf(stderr, "qzhost: %s: not a live object\n", op);
        return nullptr;
    }
    auto *o = new OutletRec{r, static_cast<int>(r->outlets.size()), kind, {}};
    r->outlets.push_back(o);
    // The header's outlet field names the newest (leftmost) outlet.
    qzhost::detail::write_header(r);
    return o;
}

} // namespace

extern "C" {

void *intout(void *x)
{
    return new_outlet(x, "intout", qzhost::detail::OutletKind::Int);
}

void *floatout(void *x)
{
    return new_outlet(x, "floatout", qzhost::detail::OutletKind::Float);
}

void *floatin(void *x, short n)
{
    InstRec *r = qzhost::detail::inst_of(x);
    if (!r) {
        std::fprintf(stderr, "qzhost: floatin: not a live object\n");
        return nullptr;
    }
    if (n < 1 || n > 9) {
        r->host->postf(r->obj, true, "floatin: inlet number %d out of range 1..9", n);
        return nullptr;
    }
    if (r->inlets.size() <= static_cast<size_t>(n))
        r->inlets.resize(static_cast<size_t>(n) + 1, false);
    r->inlets[static_cast<size_t>(n)] = true;
    // An inlet handle is only a token for the object; the index is the inlet.
    return &r->inlets;
}

// What the host does with a float sent through an outlet made with intout,
// or an int through one made with floatout, is not documented: here the
// mismatch is an error on the console and nothing is sent, so a test sees it.
void *outlet_float(void *o, double f)
{
    auto *out = static_cast<OutletRec *>(o);
    if (!out)
        return nullptr;
    auto *h = out->owner->host;
    if (out->kind != qzhost::detail::OutletKind::Float) {
        if (!out->owner->destroyed && !out->owner->dying) {
            qzhost::detail::HostScope scope(h);
            h->post(out->owner->obj, true,
                    "outlet_float on an outlet made with intout: nothing sent");
        }
        return nullptr;
    }
    h->send_out(out, f,
                [h, f](const qzhost::detail::Connection &c) { h->deliver(c.to, c.inlet, f); });
    return nullptr;
}

void *outlet_int(void *o, t_atom_long n)
{
    auto *out = static_cast<OutletRec *>(o);
    if (!out)
        return nullptr;
    auto *h = out->owner->host;
    if (out->kind != qzhost::detail::OutletKind::Int) {
        if (!out->owner->destroyed && !out->owner->dying) {
            qzhost::detail::HostScope scope(h);
            h->post(out->owner->obj, true,
                    "outlet_int on an outlet made with floatout: nothing sent");
        }
        return nullptr;
    }
    h->send_out(out, static_cast<double>(n),
                [h, n](const qzhost::detail::Connection &c) { h->deliver_int(c.to, c.inlet, n); });
    return nullptr;
}

void stdinletinfo(t_object *s, void *b, long a, char *t)
{
    (void)s;
    (void)b;
    // The leftmost inlet is hot (it triggers output); every other inlet is
    // cold (1): it only stores what it receives.
    if (t)
        *t = a > 0 ? 1 : 0;
}

} // extern "C"

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

} // namespace qzhost

namespace {

void *new_outlet(void *x, const char *op)
{
    InstRec *r = qzhost::detail::inst_of(x);
    if (!r) {
        std::fprintf(stderr, "qzhost: %s: not a live object\n", op);
        return nullptr;
    }
    auto *o = new OutletRec{r, static_cast<int>(r->outlets.size()), {}};
    r->outlets.push_back(o);
    // The header's outlet field names the newest (leftmost) outlet.
    qzhost::detail::write_header(r);
    return o;
}

} // namespace

extern "C" {

void *intout(void *x)
{
    return new_outlet(x, "intout");
}

void *floatout(void *x)
{
    return new_outlet(x, "floatout");
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

void *outlet_float(void *o, double f)
{
    auto *out = static_cast<OutletRec *>(o);
    if (!out)
        return nullptr;
    InstRec *r = out->owner;
    auto *h = r->host;
    if (r->destroyed || r->dying)
        return nullptr;
    qzhost::detail::HostScope scope(h);
    if (h->delivery_depth >= qzhost::detail::kMaxDeliveryDepth) {
        h->post(r->obj, true, "stack overflow");
        return nullptr;
    }
    const int index = static_cast<int>(r->outlets.size()) - 1 - out->order;
    const qzhost::OutletEvent ev{h->now, r->box, index, f};
    if (h->recording)
        h->outlet_log.push_back(ev);
    for (size_t i = 0; i < h->outlet_observers.size(); ++i)
        h->outlet_observers[i](ev);
    ++h->delivery_depth;
    // By index, re-reading the size: a receiver may connect, free or create
    // boxes meanwhile. The outlet record itself outlives this call (freed
    // records wait in the graveyard until the outermost host call returns).
    for (size_t i = 0; i < out->conns.size(); ++i) {
        const qzhost::detail::Connection c = out->conns[i];
        h->deliver(c.to, c.inlet, f);
    }
    --h->delivery_depth;
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

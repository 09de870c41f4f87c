// Clocks on virtual time. Armed clocks sit in a binary min-heap ordered by
// (due time, arming sequence): a clock armed for a time already pending goes
// after the ones there (ties fire in arming order). Each clock knows its
// heap position, so re-arming and disarming are O(log n) and, once the heap's
// storage has grown, allocate nothing.
#include "internal.hpp"

#include <cmath>
#include <cstdio>

using qzhost::detail::ClockRec;

namespace qzhost {

namespace {

bool before(const ClockRec *a, const ClockRec *b)
{
    if (a->due != b->due)
        return a->due < b->due;
    return a->seq < b->seq;
}

} // namespace

void Host::Impl::heap_sift_up(size_t i)
{
    ClockRec *c = heap[i];
    while (i > 0) {
        size_t parent = (i - 1) / 2;
        if (!before(c, heap[parent]))
            break;
        heap[i] = heap[parent];
        heap[i]->heap_pos = static_cast<ptrdiff_t>(i);
        i = parent;
    }
    heap[i] = c;
    c->heap_pos = static_cast<ptrdiff_t>(i);
}

void Host::Impl::heap_sift_down(size_t i)
{
    ClockRec *c = heap[i];
    const size_t n = heap.size();
    for (;;) {
        size_t child = 2 * i + 1;
        if (child >= n)
            break;
        if (child + 1 < n && before(heap[child + 1], heap[child]))
            ++child;
        if (!before(heap[child], c))
            break;
        heap[i] = heap[child];
        heap[i]->heap_pos = static_cast<ptrdiff_t>(i);
        i = child;
    }
    heap[i] = c;
    c->heap_pos = static_cast<ptrdiff_t>(i);
}

void Host::Impl::heap_insert(ClockRec *c)
{
    heap.push_back(c);
    heap_sift_up(heap.size() - 1);
}

void Host::Impl::heap_remove(ClockRec *c)
{
    if (c->heap_pos < 0)
        return;
    size_t i = static_cast<size_t>(c->heap_pos);
    c->heap_pos = -1;
    ClockRec *last = heap.back();
    heap.pop_back();
    if (last == c)
        return;
    heap[i] = last;
    last->heap_pos = static_cast<ptrdiff_t>(i);
    heap_sift_up(i);
    heap_sift_down(static_cast<size_t>(last->heap_pos));
}

// Fires the earliest clock if it is due at or before `limit`: the logical
// time becomes its due time while its routine runs.
bool Host::Impl::fire_next(double limit)
{
    if (heap.empty() || !(heap[0]->due <= limit))
        return false;
    ClockRec *c = heap[0];
    heap_remove(c);
    if (c->due > now)
        now = c->due;
    // The routine may re-arm or free its own clock: c is not used afterwards.
    detail::fn_cast<void (*)(void *)>(c->fn)(c->owner);
    return true;
}

void Host::Impl::free_clock(ClockRec *c)
{
    heap_remove(c);
    // Swap-remove from the list of live clocks.
    ClockRec *last = clocks.back();
    clocks[c->slot] = last;
    last->slot = c->slot;
    clocks.pop_back();
    c->ob.o_magic = 0;
    delete c;
}

void Host::Impl::disarm_owned_by(void *owner)
{
    for (ClockRec *c : clocks)
        if (c->owner == owner)
            heap_remove(c);
}

} // namespace qzhost

extern "C" {

t_clock *clock_new(void *obj, method fn)
{
    auto *h = qzhost::detail::current_or_complain("clock_new");
    if (!h)
        return nullptr;
    if (!fn) {
        h->post(nullptr, true, "clock_new: no routine");
        return nullptr;
    }
    auto *c = new ClockRec{};
    c->ob.o_messlist = reinterpret_cast<struct messlist *>(&h->clock_class);
    c->ob.o_magic = qzhost::detail::kMagicClock;
    c->host = h;
    c->owner = obj;
    c->fn = fn;
    c->due = 0.0;
    c->seq = 0;
    c->heap_pos = -1;
    c->slot = h->clocks.size();
    h->clocks.push_back(c);
    return reinterpret_cast<t_clock *>(c);
}

void clock_delay(t_clock *x, long n)
{
    auto *c = reinterpret_cast<ClockRec *>(x);
    if (!c || c->ob.o_magic != qzhost::detail::kMagicClock) {
        std::fprintf(stderr, "qzhost: clock_delay: not a clock\n");
        return;
    }
    auto *h = c->host;
    h->heap_remove(c);
    c->due = h->now + (n > 0 ? static_cast<double>(n) : 0.0);
    c->seq = ++h->arm_seq;
    h->heap_insert(c);
}

void clock_unset(t_clock *x)
{
    auto *c = reinterpret_cast<ClockRec *>(x);
    if (!c || c->ob.o_magic != qzhost::detail::kMagicClock) {
        std::fprintf(stderr, "qzhost: clock_unset: not a clock\n");
        return;
    }
    c->host->heap_remove(c);
}

} // extern "C"

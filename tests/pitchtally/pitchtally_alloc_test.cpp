// Once an object is warm, a pitch event (update, spawn, clock arming), an
// amplitude, a report and "stop" allocate nothing, in the object or in the
// host path that carries them. Every heap allocation of the process is
// counted here by replacing the C allocator (operator new ends in it).
#include "externals.hpp"
#include "pitchtally.h"
#include "qzhost.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t n, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t align, size_t size);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void note()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void *malloc(size_t size)
{
    note();
    return __libc_malloc(size);
}
void *calloc(size_t n, size_t size)
{
    note();
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t size)
{
    note();
    return __libc_realloc(p, size);
}
void *aligned_alloc(size_t align, size_t size)
{
    note();
    return __libc_memalign(align, size);
}
void *memalign(size_t align, size_t size)
{
    note();
    return __libc_memalign(align, size);
}
int posix_memalign(void **out, size_t align, size_t size)
{
    note();
    void *p = __libc_memalign(align, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}

namespace {

// A stream that exercises every per-event path: spawns with and without
// live agents, hits and misses, reports above and below the threshold,
// slots reused below `highest`, the full pool's take-over of slot 0 (with
// its console line), amplitudes and stops.
long play(qzhost::Host &host, qzhost::BoxId b, double start)
{
    long events = 0;
    double t = start;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 40; ++i) {
            t += 0.5;
            host.advance_to(t);
            host.send_float(b, 1, 0.01 * i);
            host.send_float(b, 0, 60.0 + (i % 3));
            ++events;
        }
        host.send_int(b, 0, 61); // the pool of 32 is full by now: take-over
        ++events;
        t += 25.0;
        host.advance_to(t);
        if (round == 2)
            host.send(b, 0, "stop", {});
    }
    host.advance_to(t + 1000.0);
    return events;
}

TEST(PitchTallyAlloc, WarmEventPathAllocatesNothing)
{
    qzhost::Host host;
    host.add_search_path(test_externals());
    host.set_recording(false);
    const qzhost::BoxId b = host.create("qz.pitchtally 32 @window 20 @minproba 0.3");
    ASSERT_GE(b, 0);
    long reports = 0, errors = 0;
    host.on_outlet([&](const qzhost::OutletEvent &e) {
        if (e.outlet == 0)
            ++reports;
    });
    host.on_console([&](const qzhost::ConsoleLine &l) { errors += l.error; });

    play(host, b, 0.0); // warm-up: the host's queues reach their working size

    // The counter sees allocations made inside the host library.
    allocations = 0;
    counting = true;
    host.sym("a symbol the host has not seen");
    counting = false;
    EXPECT_GT(allocations.load(), 0);

    reports = 0;
    errors = 0;
    allocations = 0;
    counting = true;
    const long events = play(host, b, host.now());
    counting = false;

    EXPECT_GT(events, 100);
    EXPECT_GT(reports, 10); // the measured run did report
    EXPECT_GT(errors, 0);   // and overflowed the pool
    EXPECT_EQ(allocations.load(), 0) << "allocations during " << events << " events";
}

} // namespace

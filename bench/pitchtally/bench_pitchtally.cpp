// Pitch events per second through qz.pitchtally, with 100 and 10,000 stat
// agents, in the embedded host with virtual time.
//
// One event a millisecond and a window of 0.9 ms per agent keep about 90 %
// of the pool live, so each event updates ~0.9 * N agents, scans for a free
// slot, arms a clock, and on average one agent reports (three sends).
#include "qzhost.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_PitchEvents(benchmark::State &state)
{
    const long agents = state.range(0);
    const long window = agents * 9 / 10;
    qzhost::Host host;
    host.add_search_path(QZ_EXTERNALS_DIR);
    host.set_recording(false);
    const qzhost::BoxId b = host.create("qz.pitchtally " + std::to_string(agents) + " @window " +
                                        std::to_string(window));
    if (b < 0) {
        state.SkipWithError("qz.pitchtally did not load");
        return;
    }
    long reports = 0;
    host.on_outlet([&](const qzhost::OutletEvent &e) { reports += e.outlet == 0; });

    // A pitch tracker's stream: a few pitches that recur, with some noise.
    const double pitches[7] = {60.0, 60.0, 62.0, 60.0, 64.0, 60.03, 62.0};
    double t = 0.0;
    long i = 0;
    auto event = [&] {
        t += 1.0;
        host.advance_to(t);
        host.send_float(b, 1, 0.001 * static_cast<double>(i % 1000));
        host.send_float(b, 0, pitches[i % 7]);
        ++i;
    };
    for (long w = 0; w < 2 * agents; ++w) // reach the steady state
        event();
    reports = 0;
    for (auto _ : state)
        event();
    state.SetItemsProcessed(state.iterations());
    state.counters["reports"] = static_cast<double>(reports);
}

BENCHMARK(BM_PitchEvents)->Arg(100)->Arg(10000);

// Making and freeing a box at the agent-count cap (PITCHTALLY_MAX_AGENTS,
// 100,000): every slot and its clock. The cap is chosen to keep this within
// about 100 ms.
void BM_CreateAtCap(benchmark::State &state)
{
    qzhost::Host host;
    host.add_search_path(QZ_EXTERNALS_DIR);
    host.set_recording(false);
    for (auto _ : state) {
        const qzhost::BoxId b = host.create("qz.pitchtally 100000");
        if (b < 0) {
            state.SkipWithError("qz.pitchtally did not load");
            return;
        }
        host.free_box(b);
    }
}

BENCHMARK(BM_CreateAtCap)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// The lower fundamentals that fit better (subtone_find_alternatives), run by
// hand:  bench_alternatives --benchmark_counters_tabular=true
// Chords of k random partials: audible ones (MIDI 21-108), and the worst
// kind, partials of 5 to 20 kHz against the default floor, where the sweep
// meets its budget. Counters: steps, and the slowest chord in microseconds
// of this thread's CPU time.
#include "subtone_alternatives.h"
#include "subtone_explain.h"
#include "subtone_search.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

namespace {

double cpu_us()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) * 1e-3;
}

// state.range(0): partials; state.range(1): 0 audible, 1 from 5 to 20 kHz.
void BM_Alternatives(benchmark::State &state)
{
    const auto k = static_cast<int>(state.range(0));
    std::mt19937 rng(static_cast<std::uint32_t>(k));
    std::uniform_real_distribution<float> midi(21.0f, 108.0f);
    std::uniform_real_distribution<float> high(5000.0f, 20000.0f);
    std::vector<std::vector<float>> chords(16);
    for (auto &c : chords)
        for (int i = 0; i < k; ++i)
            c.push_back(state.range(1) != 0 ? high(rng) : midi_to_hz(midi(rng)));
    const float t = tolerance_from_midi(0.5f);
    subtone_workspace ws{};
    subtone_explanation e;
    subtone_alternatives a;
    std::uint64_t steps = 0, most = 0;
    double slowest = 0.0;
    for (auto _ : state) {
        for (const auto &c : chords) {
            subtone_explain(ws, c.data(), k, 0, 0.5f, t, e);
            const double start = cpu_us();
            subtone_find_alternatives(c.data(), k, t, e, kSubtoneFloorHz, 1000, a);
            const double us = cpu_us() - start;
            slowest = us > slowest ? us : slowest;
            steps += a.steps;
            most = a.steps > most ? a.steps : most;
            benchmark::DoNotOptimize(a.lower.data());
        }
    }
    subtone_workspace_free(&ws);
    state.counters["steps_max"] = static_cast<double>(most);
    state.counters["slowest_us"] = slowest;
}

} // namespace

BENCHMARK(BM_Alternatives)->ArgsProduct({{4, 8, 16, 64}, {0, 1}})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The literal search (counted, with a node budget so that it ends) against
// the accelerated search, on fixed seeded chords of MIDI pitches 21-108.
// Counters: steps per chord (mean and maximum), chords on which the literal
// search hit its budget, and for the accelerated search the slowest chord.
#include "subtone_counted.h"
#include "subtone_fast.h"
#include "subtone_search.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <vector>

namespace {

constexpr std::uint64_t kLiteralBudget = 1000000;

std::uint64_t mix(std::uint64_t &s)
{
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double unit(std::uint64_t &s)
{
    return static_cast<double>(mix(s) >> 11) * 0x1p-53;
}

// `count` chords of k random MIDI pitches from 21 to 108, in Hz.
std::vector<std::vector<float>> chords(int count, int k, std::uint64_t seed)
{
    std::vector<std::vector<float>> out(static_cast<std::size_t>(count));
    for (auto &c : out)
        for (int i = 0; i < k; ++i)
            c.push_back(midi_to_hz(static_cast<float>(21.0 + 87.0 * unit(seed))));
    return out;
}

// CPU time of this thread, so that other loads on the machine do not count.
double cpu_us()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) * 1e-3;
}

float approx_arg(const benchmark::State &state)
{
    return static_cast<float>(state.range(1)) / 100.0f;
}

void BM_Literal(benchmark::State &state)
{
    const int k = static_cast<int>(state.range(0));
    const float approx = approx_arg(state);
    const float t = tolerance_from_midi(approx);
    const auto corpus = chords(8, k, 7 + static_cast<std::uint64_t>(k));
    std::uint64_t steps = 0, most = 0, hits = 0;
    for (auto _ : state) {
        steps = most = hits = 0;
        for (const auto &c : corpus) {
            subtone_count count{};
            benchmark::DoNotOptimize(
                subtone_counted_compute(c.data(), k, 1, approx, t, kLiteralBudget, &count));
            steps += count.steps;
            most = count.steps > most ? count.steps : most;
            hits += count.finished ? 0 : 1;
        }
    }
    const auto n = static_cast<double>(corpus.size());
    state.counters["s_per_chord"] = benchmark::Counter(
        n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["steps_mean"] = static_cast<double>(steps) / n;
    state.counters["steps_max"] = static_cast<double>(most);
    state.counters["budget_hits"] = static_cast<double>(hits);
}

void BM_Fast(benchmark::State &state)
{
    const int k = static_cast<int>(state.range(0));
    const float approx = approx_arg(state);
    const float t = tolerance_from_midi(approx);
    const int count = k >= 100 ? 20 : 200;
    const auto corpus = chords(count, k, 7 + static_cast<std::uint64_t>(k));
    subtone_workspace ws{};
    std::uint64_t steps = 0, most = 0;
    double slowest = 0.0;
    for (auto _ : state) {
        steps = most = 0;
        for (const auto &c : corpus) {
            double r = 0.0;
            std::uint64_t n = 0;
            const double t0 = cpu_us();
            subtone_fast_compute(&ws, c.data(), k, 1, approx, t, kSubtoneNoBudget, &r, &n);
            const double us = cpu_us() - t0;
            benchmark::DoNotOptimize(r);
            slowest = us > slowest ? us : slowest;
            steps += n;
            most = n > most ? n : most;
        }
    }
    subtone_workspace_free(&ws);
    const auto n = static_cast<double>(corpus.size());
    state.counters["s_per_chord"] = benchmark::Counter(
        n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["steps_mean"] = static_cast<double>(steps) / n;
    state.counters["steps_max"] = static_cast<double>(most);
    state.counters["slowest_us"] = slowest;
}

void chord_args(benchmark::internal::Benchmark *b)
{
    for (int k : {8, 12, 24})
        for (int a : {1, 5, 25, 100})
            b->Args({k, a});
}

void wide_args(benchmark::internal::Benchmark *b)
{
    for (int k : {2, 4, 6, 16, 24})
        for (int a : {1, 2, 3, 10, 50, 200, 300})
            b->Args({k, a});
    for (int a : {1, 5, 25, 100, 300})
        b->Args({1000, a});
}

} // namespace

// Time per chord is reported in microseconds as the inverse rate
// "s_per_chord" (seconds per chord; multiply by 1e6).
BENCHMARK(BM_Literal)->Apply(chord_args)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Fast)->Apply(chord_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fast)->Name("BM_FastWide")->Apply(wide_args)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

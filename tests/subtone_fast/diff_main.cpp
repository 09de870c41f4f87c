// Long differential run of the accelerated search against the counted
// reference: subtone_fast_diff [chords] [seed] [budget]. Prints a summary
// and every mismatch (as hex floats); exits 1 on any mismatch.
#include "corpus.hpp"
#include "subtone_counted.h"
#include "subtone_fast.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    const long long chords = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const unsigned long long seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 1;
    const unsigned long long budget = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : 1000000;

    chord_source source(seed);
    subtone_workspace ws{};
    long long compared = 0, skipped = 0, mismatches = 0;
    std::uint64_t worst_fast = 0, fast_total = 0;
    double worst_ms = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (long long i = 0; i < chords; ++i) {
        const chord c = source.next();
        const auto k = static_cast<std::int32_t>(c.hz.size());
        double fast = 0.0;
        std::uint64_t nodes = 0;
        const auto t0 = std::chrono::steady_clock::now();
        if (subtone_fast_compute(&ws, c.hz.data(), k, c.mode, c.approx, c.tolerance, &fast,
                                 &nodes) != SUBTONE_FAST_OK) {
            std::printf("chord %lld: out of memory\n", i);
            return 1;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        if (ms > worst_ms)
            worst_ms = ms;
        fast_total += nodes;
        if (nodes > worst_fast) {
            worst_fast = nodes;
            std::printf("chord %lld: new worst fast count %llu (%.3f ms), k=%d approx=%a:", i,
                        static_cast<unsigned long long>(nodes), ms, k,
                        static_cast<double>(c.approx));
            for (float f : c.hz)
                std::printf(" %a", static_cast<double>(f));
            std::printf("\n");
        }
        subtone_count count{};
        const double ref = subtone_counted_compute(c.hz.data(), k, c.mode, c.approx, c.tolerance,
                                                   budget, &count);
        if (!count.finished) {
            ++skipped;
            continue;
        }
        ++compared;
        if (std::bit_cast<std::uint64_t>(ref) != std::bit_cast<std::uint64_t>(fast) ||
            nodes > count.nodes) {
            ++mismatches;
            std::printf("MISMATCH chord %lld: fast %a (%llu nodes) reference %a (%llu nodes), "
                        "mode %lld approx %a:",
                        i, fast, static_cast<unsigned long long>(nodes), ref,
                        static_cast<unsigned long long>(count.nodes),
                        static_cast<long long>(c.mode), static_cast<double>(c.approx));
            for (float f : c.hz)
                std::printf(" %a", static_cast<double>(f));
            std::printf("\n");
        }
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%lld chords (seed %llu, budget %llu): %lld compared, %lld over budget skipped, "
                "%lld mismatches; fast nodes total %llu, worst %llu, worst time %.3f ms; %.1f s\n",
                chords, seed, budget, compared, skipped, mismatches,
                static_cast<unsigned long long>(fast_total),
                static_cast<unsigned long long>(worst_fast), worst_ms, s);
    subtone_workspace_free(&ws);
    return mismatches == 0 ? 0 : 1;
}

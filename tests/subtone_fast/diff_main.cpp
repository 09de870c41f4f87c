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
    const bool trace = argc > 4; // name each chord before it runs, to find a stuck one

    chord_source source(seed);
    subtone_workspace ws{};
    long long compared = 0, skipped = 0, fast_skipped = 0, mismatches = 0;
    std::uint64_t worst_fast = 0;
    double worst_ms = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (long long i = 0; i < chords; ++i) {
        const chord c = source.next();
        const auto k = static_cast<std::int32_t>(c.hz.size());
        if (trace)
            std::fprintf(stderr, "chord %lld\n", i);
        if (!subtone_workspace_reserve(&ws, k)) {
            std::printf("chord %lld: out of memory\n", i);
            return 1;
        }
        subtone_count count{};
        const double ref =
            subtone_counted_compute(c.hz.data(), k, c.mode, c.approx, c.tolerance, budget, &count);
        // The accelerated search visits a subset of the reference's steps,
        // so it needs no budget where the reference finished within one.
        const std::uint64_t fast_budget = count.finished ? kSubtoneNoBudget : budget;
        const auto t0 = std::chrono::steady_clock::now();
        subtone_fast_prepare(&ws, c.hz.data(), k, c.tolerance);
        std::uint64_t steps = 0;
        const float r = subtone_fast_search(&ws, c.hz.data(), k, kSubtoneLowest,
                                            subtone_upper_bound(c.hz[0], c.tolerance), c.tolerance,
                                            fast_budget, &steps);
        const double fast = subtone_output(r, c.mode, c.approx);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        if (steps > budget) {
            ++fast_skipped;
            std::printf("chord %lld: accelerated search over budget too, k=%d approx=%a:", i, k,
                        static_cast<double>(c.approx));
            for (float f : c.hz)
                std::printf(" %a", static_cast<double>(f));
            std::printf("\n");
        } else {
            if (ms > worst_ms) {
                worst_ms = ms;
                std::printf("chord %lld: slowest so far, %.3f ms, %llu steps, k=%d approx=%a:", i,
                            ms, static_cast<unsigned long long>(steps), k,
                            static_cast<double>(c.approx));
                for (float f : c.hz)
                    std::printf(" %a", static_cast<double>(f));
                std::printf("\n");
            }
            worst_fast = steps > worst_fast ? steps : worst_fast;
        }
        if (!count.finished) {
            ++skipped;
            continue;
        }
        ++compared;
        if (std::bit_cast<std::uint64_t>(ref) != std::bit_cast<std::uint64_t>(fast) ||
            steps > count.steps) {
            ++mismatches;
            std::printf("MISMATCH chord %lld: fast %a (%llu steps) reference %a (%llu steps), "
                        "mode %lld approx %a:",
                        i, fast, static_cast<unsigned long long>(steps), ref,
                        static_cast<unsigned long long>(count.steps),
                        static_cast<long long>(c.mode), static_cast<double>(c.approx));
            for (float f : c.hz)
                std::printf(" %a", static_cast<double>(f));
            std::printf("\n");
        }
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%lld chords (seed %llu, budget %llu): %lld compared, %lld mismatches; "
                "reference over budget %lld, accelerated over budget %lld; "
                "worst accelerated count within budget %llu, worst time %.3f ms; %.1f s\n",
                chords, seed, budget, compared, mismatches, skipped, fast_skipped,
                static_cast<unsigned long long>(worst_fast), worst_ms, s);
    subtone_workspace_free(&ws);
    return mismatches == 0 ? 0 : 1;
}

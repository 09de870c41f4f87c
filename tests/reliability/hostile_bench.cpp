// Time qz.subtone takes, through the embedded host, for the lists that make
// a plain depth-first search slow: later partials that fit nothing (below
// 1 Hz, negative, not a number), partials of a million Hz and more, lists
// of up to 32,767 partials. The target is well under a second for each
// (docs/hostile-inputs.md lists the plain search's times).
#include "qzhost.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Case {
    const char *name;
    const char *box;
    std::vector<double> partials;
};

std::vector<double> many(size_t n, bool poisoned)
{
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = 20.0 + std::fmod(static_cast<double>(i) * 7919.123, 19980.0);
    if (poisoned)
        for (size_t i = 2; i < n; i += 97)
            v[i] = i % 2 ? 0.05 : -1.0;
    return v;
}

const std::vector<Case> &cases()
{
    static const std::vector<Case> c = {
        {"chord_440_550_660", "qz.subtone", {440.0, 550.0, 660.0}},
        {"third_below_1Hz", "qz.subtone", {20000.0, 19999.0, 0.05}},
        {"third_negative", "qz.subtone", {20000.0, 19999.0, -1.0}},
        {"third_nan", "qz.subtone", {20000.0, 19999.0, std::numeric_limits<double>::quiet_NaN()}},
        {"first_below_1Hz_approx2", "qz.subtone 2", {0.3, 19000.0, 17000.0}},
        {"first_0.5Hz", "qz.subtone", {0.5, 16389.0, 3576.0}},
        {"third_tiny", "qz.subtone", {1903.305, 4980.545, 2.7e-16}},
        {"six_audible", "qz.subtone", {16310.0, 5033.0, 7337.0, 4986.535845588235, 16310.0, 20.0}},
        {"a_million_Hz", "qz.subtone", {1e6, 1000001.0, 3.0}},
        {"ten_million_Hz", "qz.subtone", {1e7, 1.1e7, 0.05}},
        {"midi_in_the_millions", "qz.subtone @mode 1", {1e6, 2e6, 3e6}},
        {"near_FLT_MAX", "qz.subtone", {3.4e38, 3.3e38, 3e38}},
        // 2^48 steps for the plain search: not run by default.
        {"DISABLED_infinite_tolerance_then_0Hz", "qz.subtone 2000", {791.0, 361.6, 0.0}},
        {"32767_audible", "qz.subtone", many(32767, false)},
        {"32767_poisoned", "qz.subtone", many(32767, true)},
    };
    return c;
}

void run(benchmark::State &state, const Case &c)
{
    qzhost::Host host;
    host.add_search_path(QZ_EXTERNALS_DIR);
    host.set_recording(false);
    const qzhost::BoxId box = host.create(c.box);
    std::vector<t_atom> list(c.partials.size());
    for (size_t i = 0; i < list.size(); ++i)
        atom_setfloat(&list[i], c.partials[i]);
    for (auto _ : state)
        host.send(box, 0, "list", list);
}

const bool registered = [] {
    for (const Case &c : cases())
        benchmark::RegisterBenchmark(c.name, [&c](benchmark::State &s) {
            run(s, c);
        })->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace

BENCHMARK_MAIN();

// The reference search with a node counter and a node budget.
//
// The same steps as subtone_search, one call per step, counted; the search
// gives up once it has made more calls than the budget allows. Tests and
// benchmarks use it to compare the accelerated search with the reference
// on inputs where the reference finishes in reasonable time.
#ifndef QZ_SUBTONE_COUNTED_H
#define QZ_SUBTONE_COUNTED_H

#include <cstdint>

// What a counted search did.
struct subtone_count {
    std::uint64_t steps; // steps of the search made, the top call included
    bool finished;       // false when the budget ran out before the search ended
};

// subtone_search on p[0..k-1] and [lo, hi] with tolerance t, at most
// `budget` calls. The result is meaningful only when `finished` is true.
float subtone_counted_search(const float *p, std::int32_t k, float lo, float hi, float t,
                             std::uint64_t budget, subtone_count *count);

// subtone_compute through the counted search.
double subtone_counted_compute(const float *p, std::int32_t k, std::int64_t mode, float approx,
                               float tolerance, std::uint64_t budget, subtone_count *count);

#endif // QZ_SUBTONE_COUNTED_H

#include "subtone_counted.h"

#include "subtone_search.h"

#include <cmath>

namespace {

struct counter {
    std::uint64_t steps;
    std::uint64_t budget;
    bool out; // budget exceeded: unwind without searching further
};

float counted(const float *p, std::int32_t k, float lo, float hi, float t, counter &c)
{
    if (c.out)
        return 0.0f;
    if (++c.steps > c.budget) {
        c.out = true;
        return 0.0f;
    }
    if (!(lo <= hi))
        return 0.0f;
    if (k == 0)
        return static_cast<float>(static_cast<double>(lo + hi) * 0.5); // double -> single

    const float f = p[0];
    const float u = t + 1.0f;
    const float fhi = f * u;
    const float flo = f / u;
    const float n_last = static_cast<float>(std::floor(static_cast<double>(fhi / lo)));
    for (float n = static_cast<float>(std::ceil(static_cast<double>(flo / hi))); n <= n_last;) {
        const float cand_hi = fhi / n;
        const float nhi = hi > cand_hi ? cand_hi : hi;
        const float cand_lo = flo / n;
        const float nlo = cand_lo > lo ? cand_lo : lo;
        const float r = counted(p + 1, k - 1, nlo, nhi, t, c);
        if (c.out)
            return 0.0f;
        if (subtone_accepted(r))
            return r;
        const float next = n + 1.0f; // stays at n from 2^24 on: the level ends
        if (next == n)
            break;
        n = next;
    }
    return 0.0f;
}

} // namespace

float subtone_counted_search(const float *p, std::int32_t k, float lo, float hi, float t,
                             std::uint64_t budget, subtone_count *count)
{
    counter c{0, budget, false};
    const float r = counted(p, k, lo, hi, t, c);
    count->steps = c.steps;
    count->finished = !c.out;
    return r;
}

double subtone_counted_compute(const float *p, std::int32_t k, std::int64_t mode, float approx,
                               float tolerance, std::uint64_t budget, subtone_count *count)
{
    const float hi = subtone_upper_bound(p[0], tolerance);
    const float r = subtone_counted_search(p, k, kSubtoneLowest, hi, tolerance, budget, count);
    return subtone_output(r, mode, approx);
}

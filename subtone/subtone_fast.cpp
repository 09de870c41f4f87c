#include "subtone_fast.h"

#include "subtone_search.h"
#include "subtone_steps.h"

#include "clib.h"

#include <float.h>
#include <stdint.h>

namespace {

constexpr float kInf = __builtin_huge_valf();
constexpr float kFloatMax = FLT_MAX;

// Single precision counts harmonic numbers one by one up to 2^24.
constexpr int64_t kCountLimit = 16777216;

// Grows a buffer to hold at least `need` elements (geometrically, never
// shrinking). false, with the buffer unchanged, when memory runs out.
template <typename T> bool grow(T *&buf, int32_t &room, int64_t need)
{
    if (need <= room)
        return true;
    int64_t n = room > 0 ? room : 16;
    while (n < need)
        n *= 2;
    if (n > INT32_MAX)
        n = INT32_MAX;
    if (n < need)
        return false;
    void *p = realloc(buf, static_cast<size_t>(n) * sizeof(T));
    if (!p)
        return false;
    buf = static_cast<T *>(p);
    room = static_cast<int32_t>(n);
    return true;
}

// ---- Sets of pieces ---------------------------------------------------------

// Index of the first piece whose upper end is at least x (len if none).
int32_t first_reaching(const subtone_piece *s, int32_t len, float x)
{
    int32_t a = 0, b = len;
    while (a < b) {
        const int32_t m = a + (b - a) / 2;
        if (s[m].hi < x)
            a = m + 1;
        else
            b = m;
    }
    return a;
}

// Index of the last piece whose lower end is at most x (-1 if none).
int32_t last_starting(const subtone_piece *s, int32_t len, float x)
{
    int32_t a = 0, b = len;
    while (a < b) {
        const int32_t m = a + (b - a) / 2;
        if (s[m].lo <= x)
            a = m + 1;
        else
            b = m;
    }
    return a - 1;
}

// Whether [lo, hi] (empty unless lo <= hi) shares a point with the set.
bool meets(const subtone_piece *s, int32_t len, float lo, float hi)
{
    if (!(lo <= hi))
        return false;
    const int32_t i = first_reaching(s, len, lo);
    return i < len && s[i].lo <= hi;
}

// Appends [lo, hi] to a sorted list of pieces built in ascending order of
// lower ends, merging it into the last piece where they overlap or touch.
void append_merged(subtone_piece *w, int32_t &len, float lo, float hi)
{
    if (len > 0 && lo <= w[len - 1].hi) {
        if (hi > w[len - 1].hi)
            w[len - 1].hi = hi;
        return;
    }
    w[len++] = subtone_piece{lo, hi};
}

// The windows of a partial with positive, finite flo and fhi that can meet
// [xmin, xmax]: one piece per harmonic number while consecutive windows
// leave gaps, then one hull piece for all higher numbers, and the point at
// infinity (harmonic number 0). Every window point in [xmin, xmax] is in the
// result, which may hold more. Returns the number of pieces; `listed`
// receives the harmonic numbers listed one by one. The caller checks the
// room first with window_count.
struct window_plan {
    int64_t first; // lowest harmonic number listed
    int64_t last;  // highest harmonic number listed (below first: none)
    int64_t hull;  // hull piece for every number from here on; 0: none
};

window_plan plan_windows(float flo, float fhi, float xmin, float xmax)
{
    const auto cl = [flo](int64_t n) { return subtone_window_lo(flo, static_cast<float>(n)); };
    const auto cu = [fhi](int64_t n) { return subtone_window_hi(fhi, static_cast<float>(n)); };

    // Lowest n whose window starts at or below xmax (the quotients only
    // shrink as n grows); kCountLimit + 1 if none up to 2^24.
    int64_t a = 1;
    if (xmax < kInf) {
        double e = ceil(static_cast<double>(flo) / static_cast<double>(xmax));
        if (!(e >= 1.0))
            e = 1.0;
        if (e > static_cast<double>(kCountLimit + 1))
            e = static_cast<double>(kCountLimit + 1);
        a = static_cast<int64_t>(e);
        while (a > 1 && cl(a - 1) <= xmax)
            --a;
        while (a <= kCountLimit && cl(a) > xmax)
            ++a;
    }
    // Highest n up to 2^24 whose window ends at or above xmin; 0 if none.
    double e = floor(static_cast<double>(fhi) / static_cast<double>(xmin));
    if (!(e >= 0.0))
        e = 0.0;
    if (e > static_cast<double>(kCountLimit))
        e = static_cast<double>(kCountLimit);
    int64_t b = static_cast<int64_t>(e);
    while (b < kCountLimit && cu(b + 1) >= xmin)
        ++b;
    while (b >= 1 && cu(b) < xmin)
        --b;

    // From n0 on, consecutive windows overlap (n + 1) / n <= fhi / flo, so
    // one hull piece loses next to nothing.
    const double ratio = static_cast<double>(fhi) / static_cast<double>(flo);
    int64_t n0 = 2 * kCountLimit;
    if (ratio > 1.0) {
        const double g = ceil(1.0 / (ratio - 1.0)) + 1.0;
        if (g < static_cast<double>(n0))
            n0 = static_cast<int64_t>(g);
    }
    int64_t hull_from = n0 > a ? n0 : a;
    if (hull_from > a + kSubtoneMaxWindows)
        hull_from = a + kSubtoneMaxWindows;

    window_plan plan;
    plan.first = a;
    plan.last = b < hull_from - 1 ? b : hull_from - 1;
    // Numbers above 2^24 occur as single-step starts; they lie under the
    // window of 2^24, so a hull is needed when that one is still relevant.
    const bool need_hull = b >= hull_from || b == kCountLimit;
    plan.hull = need_hull ? (hull_from < kCountLimit ? hull_from : kCountLimit) : 0;
    return plan;
}

int64_t window_count(const window_plan &plan)
{
    const int64_t listed = plan.last >= plan.first ? plan.last - plan.first + 1 : 0;
    return listed + 2;
}

int32_t build_windows(const window_plan &plan, float flo, float fhi, subtone_piece *w)
{
    int32_t len = 0;
    if (plan.hull > 0)
        append_merged(w, len, 0.0f, subtone_window_hi(fhi, static_cast<float>(plan.hull)));
    // Descending n gives ascending windows. A window whose ends cross (a
    // tolerance below 0) holds no point.
    for (int64_t n = plan.last; n >= plan.first; --n) {
        const float nf = static_cast<float>(n);
        const float lo = subtone_window_lo(flo, nf);
        const float hi = subtone_window_hi(fhi, nf);
        if (lo <= hi)
            append_merged(w, len, lo, hi);
    }
    append_merged(w, len, kInf, kInf);
    return len;
}

// out = a ∩ b, both sorted lists of disjoint closed pieces.
int32_t intersect(const subtone_piece *a, int32_t na, const subtone_piece *b, int32_t nb,
                  subtone_piece *out)
{
    int32_t i = 0, j = 0, len = 0;
    while (i < na && j < nb) {
        const float lo = a[i].lo > b[j].lo ? a[i].lo : b[j].lo;
        const float hi = a[i].hi < b[j].hi ? a[i].hi : b[j].hi;
        if (lo <= hi)
            out[len++] = subtone_piece{lo, hi};
        if (a[i].hi < b[j].hi)
            ++i;
        else
            ++j;
    }
    return len;
}

bool same_set(const subtone_piece *a, const subtone_piece *b, int32_t len)
{
    return memcmp(a, b, static_cast<size_t>(len) * sizeof(subtone_piece)) == 0;
}

bool same_bits(float a, float b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// What a partial contributes to the sets.
enum partial_kind {
    kind_free,     // constrains nothing (0, infinities, overflowing windows, ...)
    kind_windows,  // positive, finite windows: listed
    kind_none,     // no window at all: not a number
    kind_infinity, // only the point at infinity: a negative partial at a tolerance
                   // clearly above 0, whose harmonic range is empty for finite bounds
};

partial_kind classify(float f, float u, float flo, float fhi)
{
    if (f != f)
        return kind_none;
    if (flo > 0.0f && flo < kInf && fhi > 0.0f && fhi < kInf)
        return kind_windows;
    // A finite negative partial at u >= 1 + 2^-20: the single quotients
    // a = flo / hi and b = fhi / lo keep a > b after rounding whenever
    // a <= -1 (both are then normal numbers, |fhi| / |flo| exceeds u^2 by
    // far more than their rounding), and otherwise ceil(a) is 0 while
    // floor(b) is -1 unless b underflows to -0. So the harmonic range is
    // empty, except for harmonic number -0, whose child is [inf, hi]: only
    // the point at infinity can pass.
    if (f < 0.0f && f >= -kFloatMax && u >= 1.0f + 0x1p-20f && u <= kFloatMax)
        return kind_infinity;
    return kind_free;
}

// Whether partial f tries, on any finite [lo', hi'] inside a finite
// [lo, hi], only harmonic numbers that [lo, hi] tries too, counted by ones
// below 2^24, each child inside the corresponding child of [lo, hi]: true
// for positive partials whose ranges end well below 2^24 (fhi / lo with lo
// at least 0.1), for 0, the infinities and not-a-number (one child, the
// interval itself, or none), and for negative partials whose range is empty.
bool nests(float f, float u)
{
    if (!(u > 0.0f && u <= kFloatMax))
        return false;
    if (f != f || f == 0.0f || f == kInf || f == -kInf)
        return true;
    float flo, fhi;
    subtone_partial_window(f, u, flo, fhi);
    if (f > 0.0f)
        return flo > 0.0f && fhi <= 1e6f;
    return classify(f, u, flo, fhi) == kind_infinity;
}

// Step to the next harmonic number as the search counts: from 2^24 on,
// n + 1 rounds back to n and the level ends (n becomes not a number).
void advance(subtone_fast_frame &fr)
{
    const float next = fr.n + 1.0f;
    fr.n = next == fr.n ? __builtin_nanf("") : next;
}

// After the child of fr.n, whose interval ends at chi, missed the set s:
// moves fr.n to the first later harmonic number whose child can meet s, or
// ends the level. Later children lie in [lo, chi] and start at flo / n, so
// the first candidate is the first n with flo / n at or below the highest
// point of s in [lo, chi].
void jump(subtone_fast_frame &fr, float chi, const subtone_piece *s, int32_t len)
{
    const float done = __builtin_nanf("");
    const int32_t i = last_starting(s, len, chi);
    if (i < 0) {
        fr.n = done;
        return;
    }
    const float top = s[i].hi < chi ? s[i].hi : chi;
    if (top < fr.lo) {
        fr.n = done;
        return;
    }
    const int64_t from = static_cast<int64_t>(fr.n) + 1;
    const float flo = fr.flo;
    double e = ceil(static_cast<double>(flo) / static_cast<double>(top));
    if (!(e >= static_cast<double>(from)))
        e = static_cast<double>(from);
    if (e > static_cast<double>(kCountLimit + 1))
        e = static_cast<double>(kCountLimit + 1);
    int64_t m = static_cast<int64_t>(e);
    while (m > from && subtone_window_lo(flo, static_cast<float>(m - 1)) <= top)
        --m;
    while (m <= kCountLimit && subtone_window_lo(flo, static_cast<float>(m)) > top)
        ++m;
    const float mf = static_cast<float>(m);
    fr.n = (m <= kCountLimit && mf <= fr.n_last) ? mf : done;
}

// Sets up level `fr` for partial f on [lo, hi] (lo <= hi) as the search
// does: the window of f and the range of harmonic numbers.
void enter(subtone_fast_frame &fr, float f, float u, float lo, float hi)
{
    fr.lo = lo;
    fr.hi = hi;
    subtone_partial_window(f, u, fr.flo, fr.fhi);
    fr.n_last = subtone_last_harmonic(fr.fhi, lo);
    fr.n = subtone_first_harmonic(fr.flo, hi);
    fr.monotone = fr.flo >= 0.0f && fr.fhi >= 0.0f;
    fr.leaf_seen = false;
}

} // namespace

bool subtone_workspace_reserve(subtone_workspace *ws, int32_t k)
{
    if (k < 0)
        return false;
    if (k < ws->levels)
        return true;
    const size_t n = static_cast<size_t>(k) + 1;
    if (n > SIZE_MAX / sizeof(subtone_fast_frame))
        return false; // the stack's size would not fit a size_t
    auto *frames = static_cast<subtone_fast_frame *>(malloc(n * sizeof(subtone_fast_frame)));
    auto *at = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    auto *len = static_cast<int32_t *>(malloc(n * sizeof(int32_t)));
    auto *nested = static_cast<bool *>(malloc(n * sizeof(bool)));
    if (!frames || !at || !len || !nested) {
        free(frames);
        free(at);
        free(len);
        free(nested);
        return false;
    }
    free(ws->frames);
    free(ws->set_at);
    free(ws->set_len);
    free(ws->nested);
    ws->frames = frames;
    ws->set_at = at;
    ws->set_len = len;
    ws->nested = nested;
    ws->levels = k + 1;
    return true;
}

void subtone_workspace_free(subtone_workspace *ws)
{
    free(ws->frames);
    free(ws->set_at);
    free(ws->set_len);
    free(ws->nested);
    free(ws->pieces);
    free(ws->windows);
    *ws = subtone_workspace{};
}

void subtone_fast_prepare(subtone_workspace *ws, const float *p, int32_t k, float t)
{
    const float u = t + 1.0f;
    int32_t *at = ws->set_at;
    int32_t *len = ws->set_len;

    // X[k]: an accepted leaf's upper bound is at least 1 Hz. Without room
    // for that one piece every set stays empty, which the search reads as
    // "no sets": it then skips nothing.
    int32_t used = 0;
    at[k] = 0;
    len[k] = 0;
    if (grow(ws->pieces, ws->piece_room, 1)) {
        ws->pieces[0] = subtone_piece{1.0f, kInf};
        len[k] = 1;
        used = 1;
    }

    // nested[j]: for every partial from j on, a sub-interval of a level's
    // interval tries a subset of its harmonic numbers, counted one by one,
    // each with a sub-interval of the child. Then a level that reached no
    // leaf on [lo, hi] reaches none on any interval inside it.
    ws->nested[k] = true;
    for (int32_t j = k - 1; j >= 0; --j)
        ws->nested[j] = ws->nested[j + 1] && nests(p[j], u);

    int64_t work = 0;
    for (int32_t j = k - 1; j >= 0; --j) {
        // Sharing the next set is always sound: it holds every point the
        // exact set would.
        at[j] = at[j + 1];
        len[j] = len[j + 1];
        if (used == 0 || len[j + 1] == 0)
            continue;
        const float f = p[j];
        if (j + 1 < k && same_bits(f, p[j + 1]))
            continue; // same windows again: X[j + 1] already lies in them

        float flo, fhi;
        subtone_partial_window(f, u, flo, fhi);
        const subtone_piece *x = ws->pieces + at[j + 1];
        const int32_t xlen = len[j + 1];

        int32_t wlen = 0;
        switch (classify(f, u, flo, fhi)) {
        case kind_free:
            continue;
        case kind_none:
            len[j] = 0;
            continue;
        case kind_infinity:
            if (!grow(ws->windows, ws->window_room, 1))
                continue;
            ws->windows[0] = subtone_piece{kInf, kInf};
            wlen = 1;
            break;
        case kind_windows: {
            const window_plan plan = plan_windows(flo, fhi, x[0].lo, x[xlen - 1].hi);
            const int64_t need = window_count(plan);
            if (work + need > kSubtoneMaxSetWork || !grow(ws->windows, ws->window_room, need))
                continue;
            work += need;
            wlen = build_windows(plan, flo, fhi, ws->windows);
            break;
        }
        }

        const int64_t room = static_cast<int64_t>(used) + wlen + xlen;
        if (room > kSubtoneMaxPieces || !grow(ws->pieces, ws->piece_room, room))
            continue;
        x = ws->pieces + at[j + 1]; // the pieces may have moved
        subtone_piece *out = ws->pieces + used;
        const int32_t olen = intersect(ws->windows, wlen, x, xlen, out);
        if (olen == xlen && same_set(out, x, olen))
            continue;
        at[j] = used;
        len[j] = olen;
        used += olen;
    }
}

float subtone_fast_search(subtone_workspace *ws, const float *p, int32_t k, float lo, float hi,
                          float t, uint64_t budget, uint64_t *steps)
{
    uint64_t count = 1; // the top call
    float result = 0.0f;
    if (!(lo <= hi)) {
        *steps = count;
        return 0.0f;
    }
    if (k == 0) {
        *steps = count;
        return subtone_midpoint(lo, hi);
    }

    const float u = t + 1.0f;
    subtone_fast_frame *frames = ws->frames;
    const subtone_piece *pieces = ws->pieces;
    const int32_t *set_at = ws->set_at;
    const int32_t *set_len = ws->set_len;
    // X[k] may be stored as empty only when no piece could be had at all;
    // then nothing is skipped.
    const subtone_piece everything[1] = {{1.0f, kInf}};
    const bool no_sets = set_len[k] == 0;
    // Levels that reached no leaf remember their interval; with finite
    // bounds and nesting partials, any interval inside it fails too.
    const bool remember = hi < kInf;
    for (int32_t i = 0; i < k; ++i) {
        frames[i].dead_lo = kInf;
        frames[i].dead_hi = -kInf;
    }

    int32_t j = 0;
    enter(frames[0], p[0], u, lo, hi);
    for (;;) {
        subtone_fast_frame &fr = frames[j];
        const bool leaf = j + 1 == k;
        const subtone_piece *s = no_sets ? everything : pieces + set_at[j + 1];
        const int32_t slen = no_sets ? 1 : set_len[j + 1];
        bool descended = false;
        while (fr.n <= fr.n_last) {
            // The child's interval, exactly as the search narrows it.
            float clo, chi;
            subtone_narrow(fr.lo, fr.hi, fr.flo, fr.fhi, fr.n, clo, chi);
            if (meets(s, slen, clo, chi)) {
                if (!leaf && clo >= frames[j + 1].dead_lo && chi <= frames[j + 1].dead_hi) {
                    advance(fr); // inside an interval that already failed there
                    continue;
                }
                if (++count > budget)
                    goto done; // result stays 0
                if (leaf) {
                    fr.leaf_seen = true;
                    const float r = subtone_midpoint(clo, chi);
                    if (subtone_accepted(r)) {
                        // The interval whose midpoint is the result, for
                        // whoever explains it.
                        frames[k].lo = clo;
                        frames[k].hi = chi;
                        result = r;
                        goto done;
                    }
                    // Later children have lower ends on both sides, so
                    // lower midpoints.
                    if (fr.monotone)
                        break;
                } else {
                    enter(frames[j + 1], p[j + 1], u, clo, chi);
                    ++j;
                    descended = true;
                    break;
                }
            } else if (fr.monotone && fr.n < static_cast<float>(kCountLimit)) {
                jump(fr, chi, s, slen);
                continue;
            }
            advance(fr);
        }
        if (descended)
            continue;
        // Level j found nothing: back to its parent's next harmonic number.
        if (!fr.leaf_seen && remember && ws->nested[j]) {
            fr.dead_lo = fr.lo;
            fr.dead_hi = fr.hi;
        }
        if (j == 0)
            break;
        --j;
        frames[j].leaf_seen = frames[j].leaf_seen || fr.leaf_seen;
        advance(frames[j]);
    }
done:
    *steps = count;
    return result;
}

subtone_fast_status subtone_fast_run(subtone_workspace *ws, const float *p, int32_t k,
                                     float tolerance, uint64_t budget, float *found,
                                     uint64_t *steps)
{
    if (!subtone_workspace_reserve(ws, k))
        return SUBTONE_FAST_NO_MEMORY;
    const float hi = subtone_upper_bound(p[0], tolerance);
    subtone_fast_prepare(ws, p, k, tolerance);
    *found = subtone_fast_search(ws, p, k, kSubtoneLowest, hi, tolerance, budget, steps);
    return *steps > budget ? SUBTONE_FAST_OVER_BUDGET : SUBTONE_FAST_OK;
}

subtone_fast_status subtone_fast_compute(subtone_workspace *ws, const float *p, int32_t k,
                                         int64_t mode, float approx, float tolerance,
                                         uint64_t budget, double *result, uint64_t *steps)
{
    float r = 0.0f;
    const subtone_fast_status status = subtone_fast_run(ws, p, k, tolerance, budget, &r, steps);
    if (status == SUBTONE_FAST_OK)
        *result = subtone_output(r, mode, approx);
    return status;
}

// The accelerated virtual-fundamental search: the same result as
// subtone_compute, bit for bit, for every input, without the exponential
// work of the plain depth-first search.
//
// It walks the same tree in the same order and skips only subtrees that
// cannot end in an accepted result. Before the search, it builds for every
// position j the set X[j] of frequencies at or above 1 Hz that lie in some
// window [flo / n, fhi / n] of each partial p[j..k-1], with exactly the
// single-precision quotients the search computes. An accepted leaf's upper
// bound lies in one window of every partial on its path, so a child whose
// interval misses X[j + 1] is skipped, and the harmonic number jumps to the
// first one whose window can reach X[j + 1] again.
//
// All storage lives in a subtone_workspace that the caller owns: grown when
// a longer list or a finer tolerance needs more, never shrunk.
#ifndef QZ_SUBTONE_FAST_H
#define QZ_SUBTONE_FAST_H

#include <stddef.h>
#include <stdint.h>

// A closed interval [lo, hi] of frequencies; sets are sorted lists of
// disjoint pieces.
struct subtone_piece {
    float lo, hi;
};

// One level of the search on the explicit stack.
struct subtone_fast_frame {
    float lo, hi;           // interval the level searches within
    float flo, fhi;         // the level's partial divided and multiplied by 1 + t
    float n;                // harmonic number being tried (not a number: level done)
    float n_last;           // last harmonic number to try
    float dead_lo, dead_hi; // an interval on which this level reached no leaf (empty: none)
    bool monotone;          // the windows shrink as n grows: skipping and jumping apply
    bool leaf_seen;         // a leaf was visited below the current interval of this level
};

// Working storage of the accelerated search. A zero-filled record is an
// empty workspace; subtone_workspace_free releases it and leaves it empty.
struct subtone_workspace {
    subtone_fast_frame *frames; // explicit stack, one frame per partial and one more
    int32_t *set_at;            // start of X[j] in `pieces`, j = 0..k
    int32_t *set_len;           // number of pieces of X[j]
    bool *nested;               // nested[j]: p[j..k-1] search sub-intervals within their ranges
    int32_t levels;             // partials that `frames`, `set_at` and `set_len` hold room for
    subtone_piece *pieces;      // the distinct suffix sets, one after another
    int32_t piece_room;         // capacity of `pieces`
    subtone_piece *windows;     // one partial's merged windows while the sets are built
    int32_t window_room;        // capacity of `windows`
};

// Outcome of a call that may need memory.
enum subtone_fast_status {
    SUBTONE_FAST_OK = 0,
    SUBTONE_FAST_NO_MEMORY = 1,   // the stack for the list could not be had: nothing computed
    SUBTONE_FAST_OVER_BUDGET = 2, // the search made more steps than its budget: no result
};

// Limits that bound the workspace whatever the input.
inline constexpr int32_t kSubtoneMaxWindows = 16384;   // windows listed one by one per partial
inline constexpr int32_t kSubtoneMaxPieces = 1 << 21;  // pieces of all suffix sets together
inline constexpr int64_t kSubtoneMaxSetWork = 1 << 23; // windows listed per list, all partials

// Makes room for lists of up to k partials (the stack and the set tables);
// the rest grows on demand inside subtone_fast_compute. false when memory
// runs out; the workspace is then as it was.
bool subtone_workspace_reserve(subtone_workspace *ws, int32_t k);

// Releases everything the workspace holds.
void subtone_workspace_free(subtone_workspace *ws);

// Most search steps (calls of the search, one per interval tried) one list
// may take. Every chord of audible partials needs a few thousand at most;
// only absurd values (partials of megahertz and above, where the harmonic
// counter runs out of single precision) come near it. It keeps a list under
// about half a second on a slow machine; past it an object posts an error
// and sends nothing.
inline constexpr uint64_t kSubtoneWorkBudget = 20000000;
// No budget at all (tests and benchmarks).
inline constexpr uint64_t kSubtoneNoBudget = ~static_cast<uint64_t>(0);

// The accelerated subtone_search from [lo, hi]. `steps` receives the steps
// the search made, counted as the plain search counts its calls (the top
// call included). The search gives up, returning 0 with *steps above
// `budget`, once it has made more steps than `budget`. The workspace must
// hold room for k partials and the suffix sets for p and t built by
// subtone_fast_prepare.
float subtone_fast_search(subtone_workspace *ws, const float *p, int32_t k, float lo, float hi,
                          float t, uint64_t budget, uint64_t *steps);

// Builds the suffix sets X[0..k] for the partials p and tolerance t.
void subtone_fast_prepare(subtone_workspace *ws, const float *p, int32_t k, float t);

// The whole search as the object runs it: the stack reserved, the sets
// built, the search from kSubtoneLowest to subtone_upper_bound of p[0].
// *found receives the search's raw result (0 when nothing was accepted).
// When it is accepted, the frames hold the path that found it: for each
// partial i < k, frames[i].n is its harmonic number and frames[i].flo,
// frames[i].fhi its own window (so [flo / n, fhi / n] the window that
// narrowed the interval), and frames[k].lo, frames[k].hi the last interval,
// whose midpoint *found is. Status as below.
subtone_fast_status subtone_fast_run(subtone_workspace *ws, const float *p, int32_t k,
                                     float tolerance, uint64_t budget, float *found,
                                     uint64_t *steps);

// The entry point of the objects: the value subtone_compute returns for the
// same arguments, bit for bit, into *result, and the steps made into *steps.
// k >= 1 (k = 0 reads p[0] as the plain compute does). Returns
// SUBTONE_FAST_NO_MEMORY, with *result and *steps untouched, when the
// workspace cannot hold the list, and SUBTONE_FAST_OVER_BUDGET, with *result
// untouched, when the search needed more than `budget` steps.
subtone_fast_status subtone_fast_compute(subtone_workspace *ws, const float *p, int32_t k,
                                         int64_t mode, float approx, float tolerance,
                                         uint64_t budget, double *result, uint64_t *steps);

#endif // QZ_SUBTONE_FAST_H

// What qz.subtone does with a list, written once for every host the object
// runs in (the Max plug-in, the Pd external): grow the partial buffer, read
// the atoms into partials, search, and send the result or post the error.
//
// The binding keeps the state in its object record and reaches the host only
// through a small policy H that it supplies:
//
//   struct H {
//       using object = ...; // the binding's t_subtone: fields mode, approx,
//                           // tolerance, partials, capacity, outlet, search
//       using atom = ...;   // the host's atom
//       static bool number(const atom *a, float &v); // false: not a number
//       static void outlet_float(object *x, double f);
//       static void error(object *x, const char *text); // console, tied to x
//   };
#ifndef QZ_SUBTONE_SUBTONE_LIST_HPP
#define QZ_SUBTONE_SUBTONE_LIST_HPP

#include "subtone_fast.h"
#include "subtone_search.h"

#include "clib.h"

#include <stddef.h>
#include <stdint.h>

template <class H> struct subtone_lists {
    using object = typename H::object;
    using atom = typename H::atom;

    // Replaces the partial buffer with room for `count` partials and makes
    // the search's stack as deep. The old contents are not kept. false, with
    // no buffer held, when memory runs out.
    static bool grow(object *x, int32_t count)
    {
        free(x->partials);
        x->partials = nullptr;
        x->capacity = 0;

        const size_t n = static_cast<size_t>(count);
        if (n > SIZE_MAX / sizeof(float))
            return false;
        float *partials = static_cast<float *>(malloc(n * sizeof(float)));
        if (!partials || !subtone_workspace_reserve(&x->search, count)) {
            free(partials);
            return false;
        }
        x->partials = partials;
        // In a 16-bit capacity (the Max object's) a count above 32,767 reads
        // lower than the allocation, so a later long list allocates again;
        // it never reads higher.
        x->capacity = static_cast<decltype(x->capacity)>(count);
        return true;
    }

    static void no_memory(object *x, int32_t count)
    {
        char text[96];
        snprintf(text, sizeof text, "out of memory: no room for a list of %ld partials",
                 static_cast<long>(count));
        H::error(x, text);
    }

    // The list of `count` atoms: its partials, in arrival order.
    static void list(object *x, int32_t count, const atom *argv)
    {
        if (count <= 0 || !argv)
            return; // no first partial to start from: nothing to send

        if (static_cast<int32_t>(x->capacity) < count && !grow(x, count)) {
            no_memory(x, count);
            return;
        }

        const bool midi = x->mode != 0;
        for (int32_t i = 0; i < count; ++i) {
            float v = 0.0f;
            if (!H::number(argv + i, v)) {
                H::error(x, "wrong argument type");
                x->partials[i] = 0.0f; // skipped by the search unless it is the first
                continue;
            }
            x->partials[i] = midi ? midi_to_hz(v) : v;
        }

        double result = 0.0;
        uint64_t steps = 0;
        switch (subtone_fast_compute(&x->search, x->partials, count, x->mode, x->approx,
                                     x->tolerance, kSubtoneWorkBudget, &result, &steps)) {
        case SUBTONE_FAST_OK:
            H::outlet_float(x, result);
            break;
        case SUBTONE_FAST_NO_MEMORY:
            no_memory(x, count);
            break;
        case SUBTONE_FAST_OVER_BUDGET: {
            char text[160];
            snprintf(text, sizeof text,
                     "search abandoned after %llu steps (work budget): partials too far "
                     "out of range to settle; nothing sent",
                     static_cast<unsigned long long>(kSubtoneWorkBudget));
            H::error(x, text);
            break;
        }
        }
    }
};

#endif // QZ_SUBTONE_SUBTONE_LIST_HPP

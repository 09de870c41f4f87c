// The two cores of qz in WebAssembly: the virtual-fundamental search of
// qz.subtone (with its work budget) and the stat agent pool of
// qz.pitchtally, behind a small C interface that the JavaScript module
// (qz.mjs) calls. The objects' own argument handling is repeated here as
// the plug-ins do it; the numbers all come from the same sources as the
// plug-ins: subtone_search.cpp, subtone_fast.cpp, the jitlib routines and
// statagent_pool.hpp.
//
// The pool's clocks run on a virtual time of their own: a min-heap of
// (due time, arming sequence), as the embedded host orders them, so clocks
// due at the same time fire in arming order. JavaScript moves the time
// forward, either by hand (advance) or from real timers.
#include "notes.hpp"
#include "statagent_pool.hpp"
#include "subtone_alternatives.h"
#include "subtone_explain.h"
#include "subtone_fast.h"
#include "subtone_search.h"

#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

// Values and texts go back to JavaScript synchronously, inside the routine
// that computed them, as outlet_float does in the host: a report handler
// may send a pitch back while its agent is still reporting.
EM_JS(void, qz_js_outlet, (int tally, int outlet, double value),
      { Module["qzOutlet"](tally, outlet, value); });
EM_JS(void, qz_js_error, (int tally, const char *text),
      { Module["qzError"](tally, UTF8ToString(text)); });

namespace {

// ---- qz.subtone ---------------------------------------------------------

// Kind of one value handed in from JavaScript: a number, or anything else
// (which the object answers with "wrong argument type").
constexpr std::uint8_t kValueNumber = 1;

// One search context for the module: the list's values as JavaScript gives
// them, the slots as the object fills them (Hz, singles) and the search's
// workspace. Grown for longer lists, never shrunk.
struct subtone_state {
    double *values = nullptr;
    std::uint8_t *kinds = nullptr;
    float *partials = nullptr;
    float *harmonics = nullptr;
    std::int32_t capacity = 0;
    subtone_workspace ws{};
    // The last run.
    double result = 0.0;
    std::int32_t found = 0;
    std::uint64_t steps = 0;
    subtone_explanation explained;     // the last explained run: its path and fragility
    float explained_approx = 0.0f;     // its approximation
    subtone_alternatives alternatives; // and its lower, truer fundamentals
};

subtone_state g_subtone;

// Outcome codes of qz_subtone_run, as qz.mjs reads them.
enum : std::int32_t {
    kRunOk = 0,
    kRunNoMemory = 1,
    kRunOverBudget = 2,
    kRunEmpty = 3,
};

// ---- qz.pitchtally ------------------------------------------------------

struct js_tally;
struct js_clock;
using js_agent = statagent_record<js_clock, js_tally>;

// One agent's timer on the tally's virtual time.
struct js_clock {
    js_agent *agent;
    double due;
    std::uint64_t seq;
    std::int32_t heap_pos; // -1 while idle
};

// An outlet: which box and which of its three outlets (0 pitch, 1 average
// amplitude, 2 probability, counted from the left).
struct js_outlet {
    std::int32_t tally;
    std::int32_t index;
};

// The object record that the pool works in (the fields statagent_pool.hpp
// reads), with the clocks' heap and virtual time.
struct js_tally {
    std::int32_t id; // JavaScript's handle of the box
    std::int32_t agentcount;
    js_agent *agents;
    std::int32_t highest;
    std::int64_t window;
    double minproba;
    double cur_pitch;
    double cur_amp;
    js_outlet outlets[3];
    void *out_pitch;
    void *out_avgamp;
    void *out_proba;
    // Armed clocks, ordered by (due, seq); room for every agent's clock.
    js_clock **heap;
    std::int32_t heap_size;
    double now;
    std::uint64_t arm_seq;
};

bool before(const js_clock *a, const js_clock *b)
{
    if (a->due != b->due)
        return a->due < b->due;
    return a->seq < b->seq;
}

void heap_place(js_tally *x, std::int32_t i, js_clock *c)
{
    x->heap[i] = c;
    c->heap_pos = i;
}

void heap_sift_up(js_tally *x, std::int32_t i)
{
    js_clock *c = x->heap[i];
    while (i > 0) {
        const std::int32_t parent = (i - 1) / 2;
        if (!before(c, x->heap[parent]))
            break;
        heap_place(x, i, x->heap[parent]);
        i = parent;
    }
    heap_place(x, i, c);
}

void heap_sift_down(js_tally *x, std::int32_t i)
{
    js_clock *c = x->heap[i];
    for (;;) {
        std::int32_t child = 2 * i + 1;
        if (child >= x->heap_size)
            break;
        if (child + 1 < x->heap_size && before(x->heap[child + 1], x->heap[child]))
            ++child;
        if (!before(x->heap[child], c))
            break;
        heap_place(x, i, x->heap[child]);
        i = child;
    }
    heap_place(x, i, c);
}

void heap_remove(js_tally *x, js_clock *c)
{
    if (c->heap_pos < 0)
        return;
    const std::int32_t i = c->heap_pos;
    c->heap_pos = -1;
    js_clock *last = x->heap[--x->heap_size];
    if (last == c)
        return;
    heap_place(x, i, last);
    heap_sift_up(x, i);
    heap_sift_down(x, last->heap_pos);
}

void post_text(js_tally *x, const char *text)
{
    qz_js_error(x->id, text);
}

// The pool's host: clocks on the tally's virtual time, outlets and errors
// handed to JavaScript, memory from the general heap. A clock's owner is
// read through its agent, whose owner the pool sets right after making the
// clock; nothing arms a clock before that.
struct js_clock_policy {
    using object = js_tally;
    using agent = js_agent;

    static js_clock *clock_new(js_agent *a)
    {
        auto *c = static_cast<js_clock *>(std::malloc(sizeof(js_clock)));
        if (c)
            *c = js_clock{a, 0.0, 0, -1};
        return c;
    }
    static void clock_delay(js_clock *c, std::int32_t ms)
    {
        if (!c)
            return;
        js_tally *x = c->agent->owner;
        heap_remove(x, c);
        c->due = x->now + (ms > 0 ? static_cast<double>(ms) : 0.0);
        c->seq = ++x->arm_seq;
        heap_place(x, x->heap_size++, c);
        heap_sift_up(x, c->heap_pos);
    }
    static void clock_unset(js_clock *c)
    {
        if (c)
            heap_remove(c->agent->owner, c);
    }
    // Cancels the clock and frees it.
    static void clock_dispose(js_clock *c)
    {
        if (!c)
            return;
        heap_remove(c->agent->owner, c);
        std::free(c);
    }
    static void outlet_float(void *o, double f)
    {
        const auto *out = static_cast<const js_outlet *>(o);
        qz_js_outlet(out->tally, out->index, f);
    }
    static void post_error(js_tally *x, const char *text) { post_text(x, text); }
    // Each slot as the pool makes it: nothing of the binding's own to add.
    static void init(js_tally *x, js_agent *a) { statagent_pool<js_clock_policy>::init(x, a); }
    static void *alloc(std::size_t bytes) { return std::malloc(bytes); }
    static void free(void *p, std::size_t /*bytes*/) { std::free(p); }
};

using pool = statagent_pool<js_clock_policy>;

// The object's bounds on the agent count and the window (pitchtally.h).
constexpr std::int32_t kMaxAgents = kStatagentMaxCount;
constexpr std::int64_t kMinWindow = kStatagentMinWindow;
constexpr std::int64_t kMaxWindow = std::numeric_limits<std::int32_t>::max();

} // namespace

extern "C" {

// ---- qz.subtone ---------------------------------------------------------

// Room for a list of k values; 0 when memory runs out.
EMSCRIPTEN_KEEPALIVE int qz_subtone_reserve(std::int32_t k)
{
    subtone_state &s = g_subtone;
    if (k <= s.capacity)
        return 1;
    std::free(s.values);
    std::free(s.kinds);
    std::free(s.partials);
    std::free(s.harmonics);
    const auto n = static_cast<std::size_t>(k);
    s.values = static_cast<double *>(std::malloc(n * sizeof(double)));
    s.kinds = static_cast<std::uint8_t *>(std::malloc(n));
    s.partials = static_cast<float *>(std::malloc(n * sizeof(float)));
    s.harmonics = static_cast<float *>(std::malloc(n * sizeof(float)));
    if (!s.values || !s.kinds || !s.partials || !s.harmonics ||
        !subtone_workspace_reserve(&s.ws, k)) {
        std::free(s.values);
        std::free(s.kinds);
        std::free(s.partials);
        std::free(s.harmonics);
        s.values = nullptr;
        s.kinds = nullptr;
        s.partials = nullptr;
        s.harmonics = nullptr;
        s.capacity = 0;
        return 0;
    }
    s.capacity = k;
    return 1;
}

EMSCRIPTEN_KEEPALIVE double *qz_subtone_values()
{
    return g_subtone.values;
}
EMSCRIPTEN_KEEPALIVE std::uint8_t *qz_subtone_kinds()
{
    return g_subtone.kinds;
}
EMSCRIPTEN_KEEPALIVE float *qz_subtone_partials()
{
    return g_subtone.partials;
}
EMSCRIPTEN_KEEPALIVE float *qz_subtone_harmonics()
{
    return g_subtone.harmonics;
}

// The approximation as the object stores it, as a single. Set as the
// attribute (`clip` 1), the clip filter raises values below 0 to 0 and
// sends a not-a-number to that minimum too, as the embedded host's filter
// does; as the creation argument (`clip` 0) it is kept as it is.
EMSCRIPTEN_KEEPALIVE float qz_subtone_approx(double approx, std::int32_t clip)
{
    const double stored = clip != 0 && !(approx >= 0.0) ? 0.0 : approx;
    return static_cast<float>(stored);
}

EMSCRIPTEN_KEEPALIVE float qz_subtone_tolerance(float approx)
{
    return tolerance_from_midi(approx);
}

// One list of k values (qz_subtone_values, qz_subtone_kinds) through the
// object: each number rounded to a single, in MIDI mode converted to Hz;
// any other value leaves its slot 0, as the plug-in does. With `explain`,
// the harmonic numbers chosen and the final interval are kept as well.
EMSCRIPTEN_KEEPALIVE std::int32_t qz_subtone_run(std::int32_t k, std::int32_t mode, float approx,
                                                 std::int32_t explain)
{
    subtone_state &s = g_subtone;
    if (k <= 0)
        return kRunEmpty;
    if (k > s.capacity)
        return kRunNoMemory;
    for (std::int32_t i = 0; i < k; ++i) {
        if (s.kinds[i] != kValueNumber) {
            s.partials[i] = 0.0f;
            continue;
        }
        const auto v = static_cast<float>(s.values[i]); // double -> single
        s.partials[i] = mode != 0 ? midi_to_hz(v) : v;
    }
    const float tolerance = tolerance_from_midi(approx);
    s.found = 0;
    if (!explain) {
        switch (subtone_fast_compute(&s.ws, s.partials, k, mode, approx, tolerance,
                                     kSubtoneWorkBudget, &s.result, &s.steps)) {
        case SUBTONE_FAST_OK:
            return kRunOk;
        case SUBTONE_FAST_NO_MEMORY:
            return kRunNoMemory;
        case SUBTONE_FAST_OVER_BUDGET:
            return kRunOverBudget;
        }
        return kRunNoMemory;
    }

    subtone_explanation &e = s.explained;
    s.explained_approx = approx;
    const subtone_fast_status status =
        subtone_explain(s.ws, s.partials, k, mode, approx, tolerance, e);
    subtone_test_fragility(s.ws, s.partials, k, approx, tolerance, e);
    s.steps = e.steps;
    if (status == SUBTONE_FAST_NO_MEMORY)
        return kRunNoMemory;
    if (status == SUBTONE_FAST_OVER_BUDGET)
        return kRunOverBudget;
    s.result = e.value;
    s.found = e.accepted ? 1 : 0;
    for (std::int32_t i = 0; i < k; ++i)
        s.harmonics[i] = e.partials[static_cast<std::size_t>(i)].harmonic;
    return kRunOk;
}

EMSCRIPTEN_KEEPALIVE double qz_subtone_result()
{
    return g_subtone.result;
}
EMSCRIPTEN_KEEPALIVE std::int32_t qz_subtone_found()
{
    return g_subtone.found;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_interval_lo()
{
    return g_subtone.explained.lo;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_interval_hi()
{
    return g_subtone.explained.hi;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_midpoint()
{
    return g_subtone.explained.found;
}
// Each partial's cents from its harmonic of the result and the cents left to
// its window's edge (not a number: no window), and the fragility test's
// outcome (0 robust, 1 fragile, 2 not tested), of the last explained run.
static const subtone_partial_explained *explained_partial(std::int32_t i)
{
    const auto &partials = g_subtone.explained.partials;
    return i >= 0 && static_cast<std::size_t>(i) < partials.size()
               ? &partials[static_cast<std::size_t>(i)]
               : nullptr;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_cents(std::int32_t i)
{
    const subtone_partial_explained *e = explained_partial(i);
    return e ? e->cents : std::numeric_limits<double>::quiet_NaN();
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_margin(std::int32_t i)
{
    const subtone_partial_explained *e = explained_partial(i);
    return e ? e->margin : std::numeric_limits<double>::quiet_NaN();
}
EMSCRIPTEN_KEEPALIVE std::int32_t qz_subtone_fragility()
{
    return static_cast<std::int32_t>(g_subtone.explained.fragility);
}
EMSCRIPTEN_KEEPALIVE std::int32_t qz_subtone_fragile_partial()
{
    return g_subtone.explained.fragile_partial;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_fragile_change()
{
    return g_subtone.explained.fragile_change;
}

// The hearings of the last explained run with a result: the box's own
// (j = 0), then up to `count` lower fundamentals that fit better, down to
// floor_hz. Returns how many there are (0: nothing found).
EMSCRIPTEN_KEEPALIVE std::int32_t qz_subtone_alternatives(std::int32_t count, double floor_hz)
{
    subtone_state &s = g_subtone;
    const auto k = static_cast<std::int32_t>(s.explained.partials.size());
    if (s.found == 0 ||
        !subtone_find_alternatives(s.partials, k, tolerance_from_midi(s.explained_approx),
                                   s.explained, floor_hz, count, s.alternatives))
        return 0;
    return static_cast<std::int32_t>(s.alternatives.lower.size()) + 1;
}
static const subtone_hearing *hearing(std::int32_t j)
{
    const subtone_alternatives &a = g_subtone.alternatives;
    if (j == 0)
        return &a.result;
    return j > 0 && static_cast<std::size_t>(j) <= a.lower.size()
               ? &a.lower[static_cast<std::size_t>(j - 1)]
               : nullptr;
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_hearing_hz(std::int32_t j)
{
    const subtone_hearing *h = hearing(j);
    return h ? h->hz : std::numeric_limits<double>::quiet_NaN();
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_hearing_fit(std::int32_t j)
{
    const subtone_hearing *h = hearing(j);
    return h ? h->fit : std::numeric_limits<double>::quiet_NaN();
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_hearing_harmonic(std::int32_t j, std::int32_t i)
{
    const subtone_hearing *h = hearing(j);
    return h && i >= 0 && static_cast<std::size_t>(i) < h->harmonics.size()
               ? h->harmonics[static_cast<std::size_t>(i)]
               : std::numeric_limits<double>::quiet_NaN();
}
// Where the sweep stopped, when its work bound cut the list (0: complete).
EMSCRIPTEN_KEEPALIVE double qz_subtone_alternatives_stopped()
{
    const subtone_alternatives &a = g_subtone.alternatives;
    return a.complete ? 0.0 : a.stopped_hz;
}

EMSCRIPTEN_KEEPALIVE double qz_subtone_steps()
{
    return static_cast<double>(g_subtone.steps);
}
EMSCRIPTEN_KEEPALIVE double qz_subtone_budget()
{
    return static_cast<double>(kSubtoneWorkBudget);
}

EMSCRIPTEN_KEEPALIVE double qz_midi_to_hz(double m)
{
    return midi_to_hz(static_cast<float>(m));
}
EMSCRIPTEN_KEEPALIVE double qz_hz_to_midi(double f)
{
    return hz_to_midi(static_cast<float>(f));
}

// ---- note names, by the qz tool's own code (cli/common/notes) ------------

// A text from JavaScript (UTF-8, NUL-terminated) and a name back.
char g_text[4096];

EMSCRIPTEN_KEEPALIVE char *qz_text_buffer()
{
    return g_text;
}
EMSCRIPTEN_KEEPALIVE std::int32_t qz_text_room()
{
    return static_cast<std::int32_t>(sizeof g_text);
}
// The MIDI number of the note name in the text buffer, or not a number.
EMSCRIPTEN_KEEPALIVE double qz_parse_note()
{
    double midi = 0.0;
    return qzcli::parse_note(g_text, midi) ? midi : std::numeric_limits<double>::quiet_NaN();
}
// 1 when the note names of the text buffer's words (separated by spaces)
// are spelled with flats only, as qz names their results.
EMSCRIPTEN_KEEPALIVE std::int32_t qz_spelled_with_flats()
{
    std::vector<std::string> words;
    std::istringstream in(g_text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return qzcli::spelling_of(words) == qzcli::Spelling::flats ? 1 : 0;
}
// The note name of a MIDI number as qz --names prints it, into the text
// buffer: cents with `cent_decimals` decimals, flats when `flats`.
EMSCRIPTEN_KEEPALIVE char *qz_note_name(double midi, std::int32_t cent_decimals, std::int32_t flats)
{
    const std::string name = qzcli::note_name(
        midi, cent_decimals, flats != 0 ? qzcli::Spelling::flats : qzcli::Spelling::sharps);
    std::snprintf(g_text, sizeof g_text, "%s", name.c_str());
    return g_text;
}
// A note's frequency, and a frequency's note, with A4 at `a4` Hz, as qz
// converts note names in freq mode (double precision, correctly rounded).
EMSCRIPTEN_KEEPALIVE double qz_note_to_hz(double midi, double a4)
{
    return qzcli::note_to_hz(midi, a4);
}
EMSCRIPTEN_KEEPALIVE double qz_hz_to_note(double hz, double a4)
{
    return qzcli::hz_to_note(hz, a4);
}

// ---- qz.pitchtally ------------------------------------------------------

// A new box with `id` as JavaScript's handle. `agents` is the first
// creation argument: `given` 0 when there is none, 1 for an integer, 2 for
// anything else; the object's messages for those cases go out as errors.
// `given` 3: no count asked for, the default taken without a message.
// Null only when memory runs out for the record itself.
EMSCRIPTEN_KEEPALIVE js_tally *qz_tally_new(std::int32_t id, std::int32_t given, double agents)
{
    auto *x = static_cast<js_tally *>(std::calloc(1, sizeof(js_tally)));
    if (!x)
        return nullptr;
    x->id = id;
    for (std::int32_t i = 0; i < 3; ++i)
        x->outlets[i] = js_outlet{id, i};
    x->out_pitch = &x->outlets[0];
    x->out_avgamp = &x->outlets[1];
    x->out_proba = &x->outlets[2];
    x->agentcount = kStatagentDefaultCount;
    x->window = kStatagentDefaultWindow;
    x->minproba = 0.0;
    if (given == 0) {
        post_text(x, "Number of stat agents needed");
    } else if (given == 3) {
        // No count asked for in JavaScript: the default, without a word.
    } else if (given == 1) {
        // The host's integer atom, read as 32 bits; beyond 64 bits saturated.
        const double a = agents;
        const std::int64_t n = a >= 9.2e18    ? std::numeric_limits<std::int64_t>::max()
                               : a <= -9.2e18 ? std::numeric_limits<std::int64_t>::min()
                                              : static_cast<std::int64_t>(a);
        x->agentcount = static_cast<std::int32_t>(n);
    } else {
        post_text(x, "Number of stat agents needed as first argument");
    }
    if (x->agentcount > kMaxAgents) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "%ld stat agents requested: at most %d are allowed, using %d",
                      static_cast<long>(x->agentcount), kMaxAgents, kMaxAgents);
        post_text(x, text);
        x->agentcount = kMaxAgents;
    }
    pool::create(x);
    if (x->agentcount > 0) {
        x->heap = static_cast<js_clock **>(
            std::malloc(static_cast<std::size_t>(x->agentcount) * sizeof(js_clock *)));
        bool clocks = x->heap != nullptr;
        for (std::int32_t i = 0; clocks && i < x->agentcount; ++i)
            clocks = x->agents[i].clock != nullptr;
        if (!clocks) {
            post_text(x, "cannot allocate the agents' clocks: pitch events are ignored");
            pool::release(x);
            std::free(x->heap);
            x->heap = nullptr;
            x->agentcount = 0;
        }
    }
    return x;
}

// Frees every agent's clock (which also cancels it), the agents and the box.
EMSCRIPTEN_KEEPALIVE void qz_tally_free(js_tally *x)
{
    if (!x)
        return;
    pool::release(x);
    std::free(x->heap);
    std::free(x);
}

EMSCRIPTEN_KEEPALIVE std::int32_t qz_tally_agentcount(const js_tally *x)
{
    return x->agentcount;
}

// The window as the object's setter stores it in the embedded host: the
// integer part of the value, at least 1 ms and at most what a clock takes
// (32-bit ms); a not-a-number is the minimum.
EMSCRIPTEN_KEEPALIVE void qz_tally_set_window(js_tally *x, double ms)
{
    std::int64_t w = kMinWindow;
    if (ms >= static_cast<double>(kMaxWindow))
        w = kMaxWindow;
    else if (ms >= static_cast<double>(kMinWindow))
        w = static_cast<std::int64_t>(ms);
    x->window = w;
}
EMSCRIPTEN_KEEPALIVE double qz_tally_window(const js_tally *x)
{
    return static_cast<double>(x->window);
}

// minproba through the attribute's clip filter: [0, 1], a not-a-number
// sent to the minimum.
EMSCRIPTEN_KEEPALIVE void qz_tally_set_minproba(js_tally *x, double p)
{
    x->minproba = !(p >= 0.0) ? 0.0 : p > 1.0 ? 1.0 : p;
}
EMSCRIPTEN_KEEPALIVE double qz_tally_minproba(const js_tally *x)
{
    return x->minproba;
}

// The right inlet: the amplitude for the pitches that follow.
EMSCRIPTEN_KEEPALIVE void qz_tally_amplitude(js_tally *x, double a)
{
    x->cur_amp = a;
}

// The left inlet: one pitch event at the current time.
EMSCRIPTEN_KEEPALIVE void qz_tally_pitch(js_tally *x, double p)
{
    x->cur_pitch = p;
    pool::update(x, p, x->cur_amp);
    pool::spawn(x, x->cur_pitch, x->cur_amp);
}

EMSCRIPTEN_KEEPALIVE void qz_tally_stop(js_tally *x)
{
    pool::stop(x);
}

EMSCRIPTEN_KEEPALIVE double qz_tally_now(const js_tally *x)
{
    return x->now;
}

// Due time of the earliest armed clock, or infinity.
EMSCRIPTEN_KEEPALIVE double qz_tally_next_due(const js_tally *x)
{
    return x->heap_size > 0 ? x->heap[0]->due : std::numeric_limits<double>::infinity();
}

// Fires the earliest clock if it is due at or before `limit`; the time
// becomes its due time while its report runs. 0 when none is due.
EMSCRIPTEN_KEEPALIVE std::int32_t qz_tally_fire_next(js_tally *x, double limit)
{
    if (x->heap_size == 0 || !(x->heap[0]->due <= limit))
        return 0;
    js_clock *c = x->heap[0];
    heap_remove(x, c);
    if (c->due > x->now)
        x->now = c->due;
    pool::tick(c->agent);
    return 1;
}

// Moves the time to t (never back), firing every clock due until then.
EMSCRIPTEN_KEEPALIVE void qz_tally_advance_to(js_tally *x, double t)
{
    if (std::isnan(t))
        return;
    while (qz_tally_fire_next(x, t) != 0) {
    }
    if (t > x->now)
        x->now = t;
}

// Fires every armed clock in turn, the time following them.
EMSCRIPTEN_KEEPALIVE void qz_tally_flush(js_tally *x)
{
    while (qz_tally_fire_next(x, std::numeric_limits<double>::infinity()) != 0) {
    }
}

} // extern "C"

// qz in JavaScript: the virtual fundamental of qz.subtone and the stat
// agents of qz.pitchtally, computed by the plug-ins' own C++ sources
// compiled to WebAssembly (qz-core.mjs, with the module inlined). The
// WebAssembly is instantiated when this module is imported, so everything
// it exports is ready to call.
import qzCore from "./qz-core.mjs";

const boxes = new Map(); // tally id -> PitchTally
let nextBoxId = 1;

const core = await qzCore({
    qzOutlet(id, outlet, value) {
        boxes.get(id)?._outlet(outlet, value);
    },
    qzError(id, text) {
        boxes.get(id)?._warn(text);
    },
});

/** The error a search throws when it gives up: its message is the object's text. */
export class QzError extends Error {
    constructor(message) {
        super(message);
        this.name = "QzError";
    }
}

// Outcomes of qz_subtone_run (qz_wasm.cpp).
const RUN_OK = 0;
const RUN_NO_MEMORY = 1;
const RUN_OVER_BUDGET = 2;
const RUN_EMPTY = 3;

/** Most search steps one list may take before qz.subtone gives up. */
export const WORK_BUDGET = core._qz_subtone_budget();

// The options each call takes, with what a value must be. A key not listed,
// or a value of another kind, is a QzError that names the key and the keys
// there are: a misspelt option must not pass for a default.
const isFunction = (v) => typeof v === "function";
const isNumber = (v) => typeof v === "number";
const SUBTONE_OPTIONS = {
    mode: [(v) => v === "freq" || v === "midi" || v === 0 || v === 1, '"freq" or "midi"'],
    approx: [isNumber, "a number of semitones"],
    clip: [(v) => typeof v === "boolean", "true or false"],
    a4: [(v) => isNumber(v) && v > 0 && Number.isFinite(v), "a frequency in Hz above 0"],
    onWarning: [isFunction, "a function"],
};
const EXPLAIN_OPTIONS = {
    ...SUBTONE_OPTIONS,
    alternatives: [(v) => Number.isInteger(v) && v >= 0, "a whole number of 0 or more"],
    floor: [(v) => isNumber(v) && v >= 1 && Number.isFinite(v), "a frequency in Hz of 1 or more"],
};
const TALLY_OPTIONS = {
    agents: [isNumber, "a number of stat agents"],
    window: [isNumber, "a number of ms"],
    minproba: [isNumber, "a number"],
    live: [(v) => typeof v === "boolean", "true or false"],
    onReport: [isFunction, "a function"],
    onWarning: [isFunction, "a function"],
};

function checkOptions(what, options, allowed) {
    const keys = Object.keys(allowed);
    const known = `the options are ${keys.join(", ")}`;
    if (options === null || typeof options !== "object" || Array.isArray(options))
        throw new QzError(`${what}: the options must be an object (${known}), not ${String(options)}`);
    for (const [key, value] of Object.entries(options)) {
        if (!Object.hasOwn(allowed, key))
            throw new QzError(`${what}: no option "${key}" (${known})`);
        const [ok, kind] = allowed[key];
        if (value !== undefined && !ok(value))
            throw new QzError(`${what}: option "${key}" must be ${kind}, not ${String(value)} (${known})`);
    }
    return options;
}

function modeNumber(mode) {
    return mode === "midi" || mode === 1 ? 1 : 0;
}

function approxValue(approx) {
    return approx === undefined ? 0.5 : approx;
}

// Puts `text` into the core's text buffer (UTF-8, NUL-terminated); false
// when it does not fit.
function writeText(text) {
    const bytes = new TextEncoder().encode(text);
    if (bytes.length >= core._qz_text_room())
        return false;
    const at = core._qz_text_buffer();
    core.HEAPU8.set(bytes, at);
    core.HEAPU8[at + bytes.length] = 0;
    return true;
}

// A note name's MIDI number by the qz tool's own reader, or NaN.
function parseNote(text) {
    return writeText(text) ? core._qz_parse_note() : NaN;
}

/**
 * A note name as `qz subtone --names` prints one: the nearest note to the
 * MIDI number `midi` and the cents from it ("A1-50c", "C#5-14c"), with
 * `cents` decimals (0 by default), spelled with flats when `flats` is true.
 */
export function noteName(midi, {cents = 0, flats = false} = {}) {
    if (typeof midi !== "number")
        throw new QzError(`noteName: a MIDI number, not ${String(midi)}`);
    return core.UTF8ToString(core._qz_note_name(midi, cents, flats ? 1 : 0));
}

/** Whether qz spells the result of a chord written with these words with flats. */
export function spelledWithFlats(words) {
    return writeText(Array.from(words ?? [], String).join(" ")) && core._qz_spelled_with_flats() !== 0;
}

/** The MIDI number of a note name (C4 = 60, "Bb3-31c"), as qz reads it; NaN when it is none. */
export function noteToMidi(text) {
    return typeof text === "string" ? parseNote(text) : NaN;
}

/** MIDI number to Hz and back with A4 at `a4` Hz (440), as qz converts note names. */
export function noteToHz(midi, a4 = 440) {
    return core._qz_note_to_hz(midi, a4);
}
export function hzToNote(hz, a4 = 440) {
    return core._qz_hz_to_note(hz, a4);
}

function subtoneWarn(options, text) {
    if (typeof options.onWarning === "function")
        options.onWarning(text);
    else
        console.warn(`qz.subtone: ${text}`);
}

// Hands one list to the core and runs it; returns the core's outcome.
function runList(partials, options, explain) {
    const given = typeof partials === "number" ? [partials] : Array.from(partials ?? []);
    // A note name becomes a number before it reaches the object, as in qz
    // subtone: its MIDI number in midi mode, its frequency in freq mode.
    const midi = modeNumber(options.mode) === 1;
    const list = given.map((v) => {
        if (typeof v !== "string")
            return v;
        const m = parseNote(v);
        return Number.isNaN(m) ? v : midi ? m : noteToHz(m, options.a4 ?? 440);
    });
    const k = list.length;
    if (k === 0)
        return {k, status: RUN_EMPTY};
    if (!core._qz_subtone_reserve(k))
        throw new QzError(`out of memory: no room for a list of ${k} partials`);
    const values = core._qz_subtone_values() >> 3;
    const kinds = core._qz_subtone_kinds();
    for (let i = 0; i < k; ++i) {
        const v = list[i];
        const number = typeof v === "number";
        core.HEAPF64[values + i] = number ? v : 0;
        core.HEAPU8[kinds + i] = number ? 1 : 0;
    }
    // Texts in the order the object posts them: one per wrong atom, first.
    for (let i = 0; i < k; ++i)
        if (typeof list[i] !== "number")
            subtoneWarn(options, "wrong argument type");
    const mode = modeNumber(options.mode);
    const approx = core._qz_subtone_approx(approxValue(options.approx), options.clip === false ? 0 : 1);
    const status = core._qz_subtone_run(k, mode, approx, explain ? 1 : 0);
    if (status === RUN_NO_MEMORY)
        throw new QzError(`out of memory: no room for a list of ${k} partials`);
    if (status === RUN_OVER_BUDGET)
        throw new QzError(
            `search abandoned after ${WORK_BUDGET} steps (work budget): partials too far out of ` +
                "range to settle; nothing sent");
    return {k, status, mode, approx};
}

/**
 * The virtual fundamental of a chord, as qz.subtone sends it: `partials` in
 * Hz (mode "freq", the default) or MIDI pitches (mode "midi"), approx in
 * semitones (0.5 by default; below 0 it counts as 0, as the attribute's
 * clip filter makes it, unless `clip: false` keeps it as the object keeps
 * its creation argument). Returns undefined for an empty list (the
 * object sends nothing); throws QzError when the search exceeds its work
 * budget.
 */
export function subtone(partials, options = {}) {
    const run = runList(partials, checkOptions("subtone", options, SUBTONE_OPTIONS), false);
    if (run.status === RUN_EMPTY)
        return undefined;
    return core._qz_subtone_result();
}

// The fragility test of the last explained run, as explain() reports it.
function fragility() {
    const state = core._qz_subtone_fragility();
    if (state === 2)
        return null; // not tested: nothing found, or a very long list
    if (state === 0)
        return false;
    const partial = core._qz_subtone_fragile_partial();
    const change = core._qz_subtone_fragile_change();
    return partial < 0 ? {approximation: change} : {partial, cents: change};
}

// C0, the lowest fundamental explain() lists by default.
const FLOOR_HZ = 16.351597831287414;

// The box's own hearing and the lower fundamentals that fit better, of the
// last explained run, as explain() reports them.
function alternatives(k, options) {
    const count = options.alternatives ?? 3;
    const floor = options.floor ?? FLOOR_HZ;
    const n = core._qz_subtone_alternatives(count, floor);
    if (n === 0)
        return {fit: null, alternatives: null};
    const hearing = (j) => ({
        hz: core._qz_subtone_hearing_hz(j),
        fit: core._qz_subtone_hearing_fit(j),
        harmonics: Array.from({length: k}, (_, i) => core._qz_subtone_hearing_harmonic(j, i)),
    });
    const stopped = core._qz_subtone_alternatives_stopped();
    return {
        fit: hearing(0),
        alternatives: Array.from({length: n - 1}, (_, j) => hearing(j + 1)),
        alternativesStoppedAt: stopped > 0 ? stopped : null,
    };
}

/**
 * The search's path for a chord: the value subtone() returns, whether a
 * fundamental of 1 Hz or more was found, each partial in Hz as the object
 * stores it, the harmonic number chosen for each, how far each lies from
 * that harmonic of the result (cents, and cents left to its window's edge),
 * the final interval whose midpoint was sent, the search steps taken, and
 * whether the result is fragile: whether moving the approximation or one
 * partial by a few cents gives other harmonic numbers. `fit` is the box's
 * own hearing: its harmonic numbers, its best frequency within the final
 * interval and the largest deviation of any partial there in cents; and
 * `alternatives` lists up to `options.alternatives` (3 by default) lower
 * fundamentals, down to `options.floor` Hz (C0 by default), that fit better
 * than every one above them (docs/objects.md, "Other hearings").
 */
export function explain(partials, options = {}) {
    const run = runList(partials, checkOptions("explain", options, EXPLAIN_OPTIONS), true);
    if (run.status === RUN_EMPTY)
        return undefined;
    const found = core._qz_subtone_found() !== 0;
    const hz = Array.from(core.HEAPF32.subarray(core._qz_subtone_partials() >> 2,
                                                (core._qz_subtone_partials() >> 2) + run.k));
    const harmonics = found ? Array.from(core.HEAPF32.subarray(
                                  core._qz_subtone_harmonics() >> 2,
                                  (core._qz_subtone_harmonics() >> 2) + run.k))
                            : null;
    return {
        value: core._qz_subtone_result(),
        ...alternatives(run.k, options),
        found,
        hz,
        harmonics,
        interval: found ? [core._qz_subtone_interval_lo(), core._qz_subtone_interval_hi()] : null,
        midpoint: found ? core._qz_subtone_midpoint() : null,
        cents: found ? Array.from({length: run.k}, (_, i) => core._qz_subtone_cents(i)) : null,
        margins: found ? Array.from({length: run.k}, (_, i) => core._qz_subtone_margin(i)) : null,
        fragile: fragility(),
        steps: core._qz_subtone_steps(),
        approx: run.approx,
        tolerance: core._qz_subtone_tolerance(run.approx),
    };
}

/** MIDI pitch to Hz as qz.subtone converts its partials (single precision). */
export function midiToHz(m) {
    return core._qz_midi_to_hz(m);
}

/** Hz to MIDI pitch as qz.subtone converts its result (single precision). */
export function hzToMidi(f) {
    return core._qz_hz_to_midi(f);
}

const realNow = () => globalThis.performance?.now() ?? Date.now();

/**
 * qz.pitchtally: every pitch starts a stat agent that counts, for `window`
 * milliseconds, the pitches equal to its own among all that arrive, then
 * reports its pitch, the average amplitude of those hits and its
 * probability, if that reaches `minproba`.
 *
 * Time is virtual (moved by advance, advanceTo and flush) unless the tally
 * is made with `live: true`, where it follows the real clock and the
 * reports come from timers.
 */
export class PitchTally {
    constructor(options = {}) {
        checkOptions("PitchTally", options, TALLY_OPTIONS);
        this._listeners = {report: [], warning: []};
        this._live = options.live === true;
        this._firing = false;
        this._timer = null;
        this._pending = {proba: 0, avgamp: 0};
        if (typeof options.onWarning === "function")
            this.on("warning", options.onWarning);
        if (typeof options.onReport === "function")
            this.on("report", options.onReport);
        this._id = nextBoxId++;
        boxes.set(this._id, this);
        // No count: the documented default (100), without the object's
        // warning, which a count that is no integer still gets.
        const agents = options.agents;
        const given = agents === undefined ? 3 : Number.isInteger(agents) ? 1 : 2;
        this._ptr = core._qz_tally_new(this._id, given, given === 1 ? agents : 0);
        if (!this._ptr) {
            boxes.delete(this._id);
            throw new QzError("out of memory: cannot make the tally");
        }
        if (options.window !== undefined)
            this.window = options.window;
        if (options.minproba !== undefined)
            this.minproba = options.minproba;
        this._origin = realNow();
    }

    /** Adds a listener: "report" ({time, pitch, avgamp, proba}) or "warning" (text). */
    on(event, fn) {
        if (!this._listeners[event])
            throw new TypeError(`no event "${event}": "report" or "warning"`);
        this._listeners[event].push(fn);
        return this;
    }

    off(event, fn) {
        const list = this._listeners[event];
        if (list) {
            const i = list.indexOf(fn);
            if (i >= 0)
                list.splice(i, 1);
        }
        return this;
    }

    /** The number of agents (fixed at creation). */
    get agents() {
        return core._qz_tally_agentcount(this._check());
    }

    /** The window of agents started from now on, in ms (an integer, at least 1). */
    get window() {
        return core._qz_tally_window(this._check());
    }
    set window(ms) {
        if (typeof ms !== "number")
            throw new TypeError(`window must be a number of ms, not ${String(ms)}`);
        core._qz_tally_set_window(this._check(), ms);
    }

    /** The threshold a probability must reach to be reported (clipped to 0..1). */
    get minproba() {
        return core._qz_tally_minproba(this._check());
    }
    set minproba(p) {
        if (typeof p !== "number")
            throw new TypeError(`minproba must be a number, not ${String(p)}`);
        core._qz_tally_set_minproba(this._check(), p);
    }

    /** The tally's time in ms. */
    get now() {
        return core._qz_tally_now(this._check());
    }

    /** Whether the tally follows the real clock. */
    get live() {
        return this._live;
    }

    /** The amplitude that goes with the pitches that follow (the right inlet). */
    amplitude(a) {
        if (typeof a !== "number")
            throw new TypeError(`an amplitude is a number, not ${String(a)}`);
        core._qz_tally_amplitude(this._check(), a);
        return this;
    }

    /** One pitch event now (the left inlet). */
    pitch(p) {
        if (typeof p !== "number")
            throw new TypeError(`a pitch is a number, not ${String(p)}`);
        const x = this._check();
        this._catchUp();
        core._qz_tally_pitch(x, p);
        this._schedule();
        return this;
    }

    /** Ends every agent without a report. */
    stop() {
        const x = this._check();
        this._catchUp();
        core._qz_tally_stop(x);
        this._schedule();
        return this;
    }

    /** Moves virtual time on by `ms`, sending the reports due until then. */
    advance(ms) {
        return this.advanceTo(this.now + ms);
    }

    /** Moves virtual time to `t` ms (never back), sending the reports due until then. */
    advanceTo(t) {
        if (this._live)
            throw new Error("a live tally follows the real clock: advance is for virtual time");
        this._fire(() => core._qz_tally_advance_to(this._check(), t));
        return this;
    }

    /** Lets every running agent end and report, in due order. */
    flush() {
        if (this._live)
            throw new Error("a live tally follows the real clock: flush is for virtual time");
        this._fire(() => core._qz_tally_flush(this._check()));
        return this;
    }

    /** Frees the agents; the tally cannot be used afterwards. */
    dispose() {
        if (!this._ptr)
            return;
        if (this._timer !== null)
            clearTimeout(this._timer);
        this._timer = null;
        core._qz_tally_free(this._ptr);
        this._ptr = 0;
        boxes.delete(this._id);
    }

    _check() {
        if (!this._ptr)
            throw new Error("this tally has been disposed");
        return this._ptr;
    }

    _fire(run) {
        if (this._firing)
            throw new Error("time cannot be moved from inside a report");
        this._firing = true;
        try {
            run();
        } finally {
            this._firing = false;
        }
    }

    // Live mode: the time follows the real clock up to now before an event,
    // and one timer waits for the earliest due agent.
    _catchUp() {
        if (this._live && !this._firing)
            this._fire(() => core._qz_tally_advance_to(this._ptr, realNow() - this._origin));
    }

    _schedule() {
        if (!this._live || !this._ptr)
            return;
        if (this._timer !== null)
            clearTimeout(this._timer);
        this._timer = null;
        const due = core._qz_tally_next_due(this._ptr);
        if (due === Infinity)
            return;
        const wait = Math.max(0, due - (realNow() - this._origin));
        this._timer = setTimeout(() => {
            this._timer = null;
            if (!this._ptr)
                return;
            this._catchUp();
            this._schedule();
        }, wait);
    }

    _outlet(outlet, value) {
        if (outlet === 2) {
            this._pending.proba = value;
        } else if (outlet === 1) {
            this._pending.avgamp = value;
        } else {
            const report = {
                time: this.now,
                pitch: value,
                avgamp: this._pending.avgamp,
                proba: this._pending.proba,
            };
            for (const fn of [...this._listeners.report])
                fn(report);
        }
    }

    _warn(text) {
        const list = this._listeners.warning;
        if (list.length === 0)
            console.warn(`qz.pitchtally: ${text}`);
        for (const fn of [...list])
            fn(text);
    }
}

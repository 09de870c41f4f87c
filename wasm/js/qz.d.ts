// Types of qz.mjs: qz.subtone's virtual fundamental and qz.pitchtally's
// stat agents, computed by the plug-ins' own sources in WebAssembly.

/** Thrown when a search gives up; the message is the object's text. */
export declare class QzError extends Error {
    name: "QzError";
}

/** Most search steps one list may take (20,000,000). */
export declare const WORK_BUDGET: number;

export type Mode = "freq" | "midi" | 0 | 1;

export interface SubtoneOptions {
    /** "freq": partials and result in Hz (default); "midi": MIDI pitches. */
    mode?: Mode;
    /** Approximation in semitones (default 0.5); values below 0 count as 0. */
    approx?: number;
    /** false: approx as the creation argument, not clipped (a negative one finds nothing). */
    clip?: boolean;
    /** A4 in Hz for note names in freq mode (440). */
    a4?: number;
    /** Receives the object's warnings ("wrong argument type"); default console.warn. */
    onWarning?: (text: string) => void;
}

/**
 * The value qz.subtone sends for the list `partials` (a number is a list of
 * one); undefined for an empty list. Note names ("C4", "Bb3-31c") are read
 * as qz subtone reads them; other entries that are not numbers are "wrong
 * argument type" and count as 0. Throws QzError over the work budget, and
 * for an option it does not know or a value of the wrong kind.
 */
export declare function subtone(
    partials: ArrayLike<unknown> | Iterable<unknown> | number,
    options?: SubtoneOptions,
): number | undefined;

export interface ExplainOptions extends SubtoneOptions {
    /** How many lower, truer fundamentals to list (default 3; 0: the box's fit alone). */
    alternatives?: number;
    /** The lowest fundamental listed, in Hz (1 or more; default C0, 16.3516 Hz). */
    floor?: number;
}

/** A way of hearing the chord: a fundamental, each partial's harmonic of it, and the fit. */
export interface Hearing {
    /** The frequency where the largest deviation is least. */
    hz: number;
    /** That largest deviation of any partial, in cents. */
    fit: number;
    /** Each partial's harmonic number (0: a partial without a window). */
    harmonics: number[];
}

export interface Explanation {
    /** What subtone() returns. */
    value: number;
    /** The box's own harmonic numbers, heard at their best within the final interval; null when not found. */
    fit: Hearing | null;
    /**
     * Lower fundamentals that fit better than every one above them, the box's
     * first (docs/objects.md, "Other hearings"); null when not found.
     */
    alternatives: Hearing[] | null;
    /** Where the list was cut by its work bound, in Hz; null when it is complete. */
    alternativesStoppedAt?: number | null;
    /** Whether a fundamental of 1 Hz or more fits every partial. */
    found: boolean;
    /** Each partial in Hz, as the object stores it (a single). */
    hz: number[];
    /** The harmonic number chosen for each partial (0: no window, skipped); null when not found. */
    harmonics: number[] | null;
    /** The interval whose midpoint was found, in Hz; null when not found. */
    interval: [number, number] | null;
    midpoint: number | null;
    /** Each partial against its harmonic of the result, in cents; NaN where it has no window; null when not found. */
    cents: number[] | null;
    /** Cents between the result and the nearer edge of each partial's window; null when not found. */
    margins: number[] | null;
    /**
     * false when moving the approximation or any one partial by 3 cents keeps
     * the harmonic numbers; otherwise the first change found that alters them
     * (semitones of approximation, or a partial's index and cents); null when
     * not tested (nothing found, or more than 64 partials).
     */
    fragile: false | {approximation: number} | {partial: number; cents: number} | null;
    /** Search steps taken. */
    steps: number;
    /** The approximation as stored (a single) and its tolerance. */
    approx: number;
    tolerance: number;
}

export declare function explain(
    partials: ArrayLike<unknown> | Iterable<unknown> | number,
    options?: ExplainOptions,
): Explanation | undefined;

/** A note name as qz subtone --names prints it ("A1-50c"): `cents` decimals, flats when `flats`. */
export declare function noteName(midi: number, options?: {cents?: number; flats?: boolean}): string;
/** Whether qz spells a chord written with these words with flats (every accidental a flat). */
export declare function spelledWithFlats(words: Iterable<string>): boolean;
/** The MIDI number of a note name as qz reads it (C4 = 60); NaN when it is none. */
export declare function noteToMidi(text: string): number;
/** MIDI number to Hz, and back, with A4 at `a4` Hz (440), in double precision. */
export declare function noteToHz(midi: number, a4?: number): number;
export declare function hzToNote(hz: number, a4?: number): number;

/** MIDI pitch to Hz as qz.subtone converts partials (single precision). */
export declare function midiToHz(midi: number): number;
/** Hz to MIDI pitch as qz.subtone converts its result (single precision). */
export declare function hzToMidi(hz: number): number;

export interface Report {
    /** Time in ms at which the agent's window ended. */
    time: number;
    pitch: number;
    /** Average amplitude of the events that matched the agent's pitch. */
    avgamp: number;
    /** Matching events divided by all events of the window. */
    proba: number;
}

export interface PitchTallyOptions {
    /** Number of stat agents (an integer; 100 when absent; 100 with a warning when not an integer). */
    agents?: number;
    /** Window of each agent in ms (500 by default; integer part, at least 1). */
    window?: number;
    /** Threshold of the reported probability, clipped to 0..1 (default 0). */
    minproba?: number;
    /** Follow the real clock, with timers, instead of virtual time. */
    live?: boolean;
    onReport?: (report: Report) => void;
    onWarning?: (text: string) => void;
}

export declare class PitchTally {
    constructor(options?: PitchTallyOptions);
    readonly agents: number;
    window: number;
    minproba: number;
    /** The tally's time in ms. */
    readonly now: number;
    readonly live: boolean;
    on(event: "report", fn: (report: Report) => void): this;
    on(event: "warning", fn: (text: string) => void): this;
    off(event: "report" | "warning", fn: (...args: any[]) => void): this;
    /** One pitch event now (the object's left inlet). */
    pitch(p: number): this;
    /** The amplitude for the pitches that follow (the right inlet). */
    amplitude(a: number): this;
    /** Ends every agent without a report. */
    stop(): this;
    /** Virtual time: moves on by `ms`, sending the reports due. */
    advance(ms: number): this;
    /** Virtual time: moves to `t` ms (never back). */
    advanceTo(t: number): this;
    /** Virtual time: lets every running agent end and report. */
    flush(): this;
    /** Frees the agents. */
    dispose(): void;
}

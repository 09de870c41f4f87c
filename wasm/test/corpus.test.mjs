// The package against the native goldens of the shared corpus
// (tests/corpus/): every chord of every qz subtone run and every report of
// every qz pitchtally run, bit for bit. The goldens are the native build's
// output, checked independently as tests/corpus/README.md tells; their
// numbers are the shortest texts that read back as the same double, so
// reading them gives the exact bits the plug-in sent.
//
//   node --test wasm/test/    (QZ_WASM_DIR: the package, build/wasm by default)
import {describe, it} from "node:test";
import assert from "node:assert/strict";
import {readFileSync} from "node:fs";
import {packageUrl, corpusDir} from "./paths.mjs";

const {subtone, explain, PitchTally} = await import(packageUrl("qz.mjs"));

// A number as strtod reads it (the qz tool's parser): decimal, or
// inf / nan with a sign.
function num(text) {
    const t = text.toLowerCase();
    const sign = t.startsWith("-") ? -1 : 1;
    const body = t.replace(/^[+-]/, "");
    if (body === "inf" || body === "infinity")
        return sign * Infinity;
    if (body === "nan")
        return NaN;
    const v = Number(text);
    assert.ok(!Number.isNaN(v), `not a number: ${text}`);
    return v;
}

// The same double, bit for bit (any NaN equals any NaN: the golden's text
// "nan" keeps no sign or payload).
function sameBits(a, b) {
    if (Number.isNaN(a) && Number.isNaN(b))
        return true;
    const x = new Float64Array([a, b]);
    const u = new BigUint64Array(x.buffer);
    return u[0] === u[1];
}

function lines(file) {
    return readFileSync(`${corpusDir}/${file}`, "utf8").split("\n").filter((l) => l.trim() !== "");
}

// Runs of tests/corpus/CMakeLists.txt: golden name, input, options.
const subtoneRuns = [
    ["subtone.hz_a0.5", "chords_hz.txt", {mode: "freq", approx: 0.5}],
    ["subtone.hz_a0.1", "chords_hz.txt", {mode: "freq", approx: 0.1}],
    ["subtone.hz_a2_explain", "chords_hz.txt", {mode: "freq", approx: 2}],
    ["subtone.midi_a0.5_explain", "chords_midi.txt", {mode: "midi", approx: 0.5}],
    ["subtone.midi_a1", "chords_midi.txt", {mode: "midi", approx: 1}],
    ["subtone.midi_a0.25", "chords_midi.txt", {mode: "midi", approx: 0.25}],
    ["subtone.pitches_a0", "pitches_midi.txt", {mode: "midi", approx: 0}],
    ["subtone.pitches_a0.01", "pitches_midi.txt", {mode: "midi", approx: 0.01}],
];

// An --explain golden, chord by chord: the result, the harmonic numbers
// and the final interval (null when no fundamental fits).
function readExplained(golden) {
    const out = [];
    for (const line of lines(`expected/${golden}.out`)) {
        if (!line.startsWith("  ")) {
            out.push({value: num(line), harmonics: [], cents: [], fragile: null, interval: null});
            continue;
        }
        const cur = out[out.length - 1];
        const h = /, harmonic ([^,\s]+)/.exec(line);
        if (line.startsWith("  partial") && h) {
            cur.harmonics.push(num(h[1]));
            const c = /, ([+-]\d+\.\d) cents/.exec(line);
            cur.cents.push(c ? c[1] : null);
        }
        const f = /^ {2}fragile: (yes|no)/.exec(line);
        if (f)
            cur.fragile = f[1] === "yes";
        const iv = /^ {2}interval: \[(\S+), (\S+)\] Hz/.exec(line);
        if (iv)
            cur.interval = [num(iv[1]), num(iv[2])];
    }
    return out;
}

describe("qz subtone corpus", () => {
    for (const [golden, input, options] of subtoneRuns) {
        it(`${golden}: every chord gives the golden's bits`, () => {
            const chords = lines(input).map((l) => l.trim().split(/\s+/).map(num));
            const explained = golden.endsWith("_explain");
            const expected = explained ? readExplained(golden)
                                       : lines(`expected/${golden}.out`).map((v) => ({value: num(v)}));
            assert.equal(expected.length, chords.length, "one golden result per chord");
            let compared = 0;
            chords.forEach((chord, i) => {
                const want = expected[i];
                const what = `${input} line ${i + 1} (${chord.join(" ")})`;
                if (!explained) {
                    const got = subtone(chord, options);
                    assert.ok(sameBits(got, want.value), `${what}: ${got}, golden ${want.value}`);
                    ++compared;
                    return;
                }
                const e = explain(chord, options);
                assert.ok(sameBits(e.value, want.value), `${what}: ${e.value}, golden ${want.value}`);
                assert.equal(subtone(chord, options), e.value, `${what}: subtone and explain agree`);
                if (want.interval === null) {
                    assert.equal(e.found, false, `${what}: the golden finds no fundamental`);
                } else {
                    assert.equal(e.found, true, `${what}: the golden finds a fundamental`);
                    assert.deepEqual(e.harmonics, want.harmonics, `${what}: harmonic numbers`);
                    // Cents as qz prints them: rounded to tenths, half away from zero.
                    const tenths = (c) => {
                        if (Number.isNaN(c))
                            return null;
                        const r = Math.sign(c) * Math.round(Math.abs(c) * 10) / 10;
                        const t = (r >= 0 || Object.is(r, -0) ? "+" : "") + r.toFixed(1);
                        return t === "-0.0" ? "+0.0" : t;
                    };
                    assert.deepEqual(e.cents.map(tenths), want.cents, `${what}: cents`);
                    if (want.fragile !== null)
                        assert.equal(e.fragile !== false, want.fragile, `${what}: fragility`);
                    assert.ok(sameBits(e.interval[0], want.interval[0]) &&
                                  sameBits(e.interval[1], want.interval[1]),
                              `${what}: interval [${e.interval}], golden [${want.interval}]`);
                }
                ++compared;
            });
            assert.equal(compared, chords.length);
        });
    }
});

// The golden of qz subtone --alternatives, chord by chord: the result, then
// the box's hearing and each alternative as printed ("HZ Hz (NOTE),
// harmonics N ..., fit F cents").
function readAlternatives(golden) {
    const out = [];
    const hearing = /: (\S+) Hz \([^)]*\), harmonics ([^,]+), fit (\S+) cents$/;
    for (const line of lines(`expected/${golden}.out`)) {
        if (!line.startsWith("  ")) {
            out.push({value: num(line), hearings: []});
            continue;
        }
        const h = hearing.exec(line);
        if (h)
            out[out.length - 1].hearings.push({hz: h[1], harmonics: h[2], fit: h[3]});
    }
    return out;
}

describe("qz subtone --alternatives corpus", () => {
    it("subtone.midi_a0.5_alternatives: explain() lists the golden's hearings", () => {
        const chords = lines("chords_midi.txt").map((l) => l.trim().split(/\s+/).map(num));
        const expected = readAlternatives("subtone.midi_a0.5_alternatives");
        assert.equal(expected.length, chords.length, "one golden result per chord");
        // As qz prints them: rounded half away from zero, then fixed digits.
        const fixed = (v, d) => (Math.round(v * 10 ** d) / 10 ** d).toFixed(d);
        let listed = 0;
        chords.forEach((chord, i) => {
            const what = `chords_midi.txt line ${i + 1} (${chord.join(" ")})`;
            const e = explain(chord, {mode: "midi", approx: 0.5, alternatives: 3});
            assert.ok(sameBits(e.value, expected[i].value), `${what}: ${e.value}`);
            const got = e.found ? [e.fit, ...e.alternatives].map((h) => ({
                hz: fixed(h.hz, 4),
                harmonics: h.harmonics.map((n) => (n > 0 ? String(n) : "-")).join(" "),
                fit: fixed(h.fit, 1),
            }))
                                : [];
            assert.deepEqual(got, expected[i].hearings, what);
            listed += Math.max(0, got.length - 1);
        });
        assert.ok(listed > 100, `only ${listed} alternatives listed`);
    });
});

// Runs of tests/corpus/CMakeLists.txt: golden, stream, agents, window, minproba.
const tallyRuns = [
    ["pitchtally.dense_16_40", "events_dense.txt", 16, 40, 0.25],
    ["pitchtally.dense_32_100", "events_dense.txt", 32, 100, 0],
    ["pitchtally.melody_16_40", "events_melody.txt", 16, 40, 0.25],
    ["pitchtally.melody_32_100", "events_melody.txt", 32, 100, 0],
];

// Plays a TIME PITCH [AMP] / TIME stop stream in virtual time, as qz
// pitchtally does: the time moves to each line's, an amplitude goes in
// before its pitch, and after the last line every running agent reports.
function play(tally, stream) {
    for (const line of lines(stream)) {
        const f = line.trim().split(/\s+/);
        if (f[0] === "time")
            continue; // the header
        tally.advanceTo(num(f[0]));
        if (f[1] === "stop") {
            tally.stop();
            continue;
        }
        if (f.length === 3)
            tally.amplitude(num(f[2]));
        tally.pitch(num(f[1]));
    }
    tally.flush();
}

describe("qz pitchtally corpus", () => {
    for (const [golden, stream, agents, window, minproba] of tallyRuns) {
        it(`${golden}: every report, time and values, gives the golden's bits`, () => {
            const warnings = [];
            const reports = [];
            const tally = new PitchTally({agents, window, minproba, onWarning: (t) => warnings.push(t)});
            tally.on("report", (r) => reports.push(r));
            play(tally, stream);
            tally.dispose();
            const expected = lines(`expected/${golden}.out`).map((l) => l.split(" ").map(num));
            assert.equal(reports.length, expected.length, "as many reports as the golden");
            reports.forEach((r, i) => {
                const got = [r.time, r.pitch, r.avgamp, r.proba];
                assert.ok(got.every((v, j) => sameBits(v, expected[i][j])),
                          `report ${i + 1}: ${got.join(" ")}, golden ${expected[i].join(" ")}`);
            });
            // The qz tool prints the box's console texts on stderr, not in
            // the golden; a full pool's would show here.
            assert.ok(warnings.every((t) => t === "too many events"), warnings.join("; "));
        });
    }
});

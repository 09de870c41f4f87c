// The package's JavaScript API around the cores: what the objects do at
// their edges (work budget, wrong atoms, clipped attributes, full pool,
// feedback during a report), with values from the objects' documented
// examples and hand-worked cases (tests/corpus/README.md,
// docs/hostile-inputs.md, tests/cli/golden/*.out).
import {describe, it} from "node:test";
import assert from "node:assert/strict";
import {packageUrl} from "./paths.mjs";

const qz = await import(packageUrl("qz.mjs"));
const {subtone, explain, PitchTally, QzError} = qz;

describe("subtone and explain", () => {
    it("answer the documented cases", () => {
        const warnings = [];
        const onWarning = (t) => warnings.push(t);
        const cases = [
            // [partials, options, value]
            [[440, 550, 660], {}, 110.04588317871094],
            [[440, 660], {approx: 0.5}, 220.09176635742188],
            [440, {}, 440.18353271484375], // a number is a list of one
            [[60, 64, 67], {mode: "midi"}, 36],
            [[60, 64, 67], {mode: "midi", approx: 1}, 40],
            [[57, 64], {mode: 1}, 45],
            [[69], {mode: "midi"}, 69],
            [[440, 880], {approx: -1}, 440], // clipped to 0: exact multiples only
            [[440, 880], {approx: NaN}, 440], // the clip filter's minimum (docs/hostile-inputs.md)
            [[440, "foo", 660], {onWarning}, 220.09176635742188],
        ];
        for (const [partials, options, value] of cases)
            assert.equal(subtone(partials, options), value, JSON.stringify([partials, options]));
        assert.deepEqual(warnings, ["wrong argument type"]);
        assert.equal(subtone([]), undefined, "an empty list sends nothing");
    });

    it("reads note names as qz subtone does", () => {
        // The values qz subtone prints for the same words (native build).
        assert.equal(subtone(["C4", "E4", "G4"], {mode: "midi"}), 36);
        assert.equal(subtone(["C4", "E4", "G4"]), 65.64785766601562);
        assert.equal(subtone(["Bb3-31c", "D4", "F4"], {a4: 442}), 58.250797271728516);
        assert.equal(subtone(["C4", 64, "G4"], {mode: "midi"}), 36, "names and numbers mixed");
        assert.ok(Math.abs(qz.noteToMidi("B\u266d3-31c") - 57.69) < 1e-12);
        assert.ok(Number.isNaN(qz.noteToMidi("H4")));
        assert.equal(qz.noteName(57.25), "A3+25c");
        assert.equal(qz.noteName(58, {flats: true}), "Bb3");
        assert.equal(qz.spelledWithFlats(["Bb3", "Db4", "F4"]), true);
        assert.equal(qz.spelledWithFlats(["Bb3", "C#4", "F4"]), false);
    });

    it("refuses an option it does not know, or a value of the wrong kind, naming them", () => {
        const subtoneKeys = "the options are mode, approx, clip, a4, onWarning";
        for (const [call, text] of [
            [() => subtone([60], {mdoe: "midi"}), `subtone: no option "mdoe" (${subtoneKeys})`],
            [() => subtone([60], {mode: "hz"}),
             `subtone: option "mode" must be "freq" or "midi", not hz (${subtoneKeys})`],
            [() => subtone([60], {approx: "0.5"}), /option "approx" must be a number of semitones/],
            [() => subtone([60], "midi"), /subtone: the options must be an object/],
            [() => explain([60], {alternatives: -1}), /explain: option "alternatives" must be a whole number/],
            [() => explain([60], {floor: 0.5}), /explain: option "floor" must be a frequency in Hz of 1 or more/],
            [() => new PitchTally({agnets: 4}),
             'PitchTally: no option "agnets" (the options are agents, window, minproba, live, onReport, onWarning)'],
            [() => new PitchTally({live: 1}), /PitchTally: option "live" must be true or false/],
        ]) {
            assert.throws(call, (e) => e instanceof QzError &&
                              (typeof text === "string" ? e.message === text : text.test(e.message)),
                          String(text));
        }
    });

    it("throws the object's text when the work budget stops the search", () => {
        assert.throws(() => subtone([791, 361.6470588235294, 0], {approx: 2000}), (e) =>
            e instanceof QzError &&
            e.message === "search abandoned after 20000000 steps (work budget): partials too far " +
                          "out of range to settle; nothing sent");
        assert.equal(qz.WORK_BUDGET, 20000000);
    });

    it("explains the path: 440 550 660 at approximation 2 by hand", () => {
        // Harmonics 2, 2, 3; the windows meet in [244.997, 246.942].
        const e = explain([440, 550, 660], {approx: 2});
        assert.equal(e.found, true);
        assert.deepEqual(e.harmonics, [2, 2, 3]);
        assert.deepEqual(e.interval, [244.9971466064453, 246.941650390625]);
        assert.equal(e.value, 245.96939086914062);
        assert.ok(e.steps > 0);
        const none = explain([0, 440]);
        assert.equal(none.found, false);
        assert.equal(none.value, 0);
        assert.equal(none.harmonics, null);
    });
});

describe("PitchTally", () => {
    function tally(options) {
        const reports = [];
        const warnings = [];
        const t = new PitchTally({onWarning: (w) => warnings.push(w), ...options});
        t.on("report", (r) => reports.push([r.time, r.pitch, r.avgamp, r.proba]));
        return {t, reports, warnings};
    }

    it("counts exact pitches in one window (60, 60, 61 at 0.6, by hand)", () => {
        const {t, reports, warnings} = tally({agents: 16, window: 100, minproba: 0.6});
        t.amplitude(0.5).pitch(60).advance(10).amplitude(0.25).pitch(60).advance(10).amplitude(1).pitch(61);
        t.advance(99);
        assert.deepEqual(reports, [[100, 60, 0.375, 2 / 3]]);
        t.flush();
        assert.deepEqual(reports, [[100, 60, 0.375, 2 / 3], [120, 61, 1, 1]]);
        assert.deepEqual(warnings, []);
        assert.equal(t.now, 120);
    });

    it("restarts slot 0 in a full pool, whose agent never reports", () => {
        const {t, reports, warnings} = tally({agents: 2, window: 50});
        t.pitch(60).pitch(61).advance(5).pitch(62).flush();
        assert.deepEqual(warnings, ["too many events"]);
        // Slot 1 (61) ends at 50 with 1 hit in 2 events; slot 0 holds 62 from 5 on.
        assert.deepEqual(reports, [[50, 61, 0, 0.5], [55, 62, 0, 1]]);
    });

    it("counts a pitch sent back during a report in the reporting agent", () => {
        const {t, reports} = tally({agents: 4, window: 10});
        let echoed = false;
        t.on("report", (r) => {
            if (!echoed) {
                echoed = true;
                t.pitch(r.pitch); // counted by the agent still reporting, and starts a new one
            }
        });
        t.pitch(60).flush();
        assert.deepEqual(reports, [[10, 60, 0, 1], [20, 60, 0, 1]]);
    });

    it("reads its settings as the object does", () => {
        // No count: the documented default of 100, without a warning.
        const {t, warnings} = tally({});
        assert.deepEqual(warnings, []);
        assert.equal(t.agents, 100);
        assert.equal(t.window, 500);
        // Not-a-number and infinity as in docs/hostile-inputs.md.
        for (const [set, get] of [[40.7, 40], [0, 1], [-5, 1], [1e12, 2147483647], [NaN, 1],
                                  [Infinity, 2147483647], [-Infinity, 1]]) {
            t.window = set;
            assert.equal(t.window, get, `window ${set}`);
        }
        for (const [set, get] of [[1.5, 1], [-0.5, 0], [0.25, 0.25], [NaN, 0]]) {
            t.minproba = set;
            assert.equal(t.minproba, get, `minproba ${set}`);
        }
        assert.deepEqual(tally({agents: 16.5}).warnings, ["Number of stat agents needed as first argument"]);
        assert.deepEqual(tally({agents: 0}).warnings,
                         ["0 stat agents requested: at least 1 is needed, using 100"]);
        assert.deepEqual(tally({agents: 200000}).warnings,
                         ["200000 stat agents requested: at most 100000 are allowed, using 100000"]);
        t.dispose();
        assert.throws(() => t.pitch(60), /disposed/);
    });

    it("moves no time from inside a report, and follows the clock when live", async () => {
        const {t} = tally({agents: 4, window: 5});
        t.on("report", () => assert.throws(() => t.advance(1), /inside a report/));
        t.pitch(60).flush();
        const live = tally({agents: 4, window: 30, live: true});
        assert.throws(() => live.t.advance(1), /live/);
        const started = performance.now();
        live.t.pitch(64);
        await new Promise((resolve) => live.t.on("report", resolve));
        assert.ok(performance.now() - started >= 29, "not before its window's end");
        assert.equal(live.reports.length, 1);
        assert.equal(live.reports[0][1], 64);
        live.t.dispose();
    });
});

// qz-node.js, the script for the host's Node integration, run in its own
// Node process as node.script runs it, against the stand-in max-api
// (stand-in/max-api): messages in as message-box texts, outlets and
// console posts out. Expected values are the objects' documented examples
// (tests/corpus/README.md, docs/hostile-inputs.md) and the hand-worked
// tally of tests/cli/golden/pitchtally_counts.out.
import {describe, it} from "node:test";
import assert from "node:assert/strict";
import {spawn} from "node:child_process";
import {readFileSync} from "node:fs";
import path from "node:path";
import {fileURLToPath} from "node:url";
import {packageDir} from "./paths.mjs";

const standIn = path.join(path.dirname(fileURLToPath(import.meta.url)), "stand-in");

// Starts the script with `args` (as "script start ARGS" does), sends each
// message, closes the input and collects everything until the process ends.
function run(args, messages) {
    return new Promise((resolve, reject) => {
        const child = spawn(process.execPath, [path.join(packageDir, "qz-node.js"), ...args], {
            env: {...process.env, NODE_PATH: standIn, MAX_ENV: "max"},
            stdio: ["pipe", "pipe", "pipe"],
        });
        let out = "";
        let err = "";
        child.stdout.on("data", (d) => (out += d));
        child.stderr.on("data", (d) => (err += d));
        const timer = setTimeout(() => child.kill(), 20000);
        child.on("error", reject);
        child.on("close", (code) => {
            clearTimeout(timer);
            const events = out.split("\n").filter((l) => l !== "").map((l) => JSON.parse(l));
            resolve({
                code,
                err,
                outlets: events.filter((e) => e.outlet).map((e) => e.outlet),
                errors: events.filter((e) => e.post && e.level === "error").map((e) => e.post.join(" ")),
                posts: events.filter((e) => e.post).map((e) => e.post.join(" ")),
            });
        });
        child.stdin.end(messages.map((m) => m + "\n").join(""));
    });
}

describe("qz-node.js as qz.subtone", () => {
    it("answers lists, numbers, mode and approx as the object does", async () => {
        const r = await run(["subtone"], [
            "440 550 660",   // 110.0459 (documented)
            "440 foo 660",   // "wrong argument type", 220.0918 (hostile inputs)
            "440",           // an int: 440.1835, as the list of one
            "440.",          // a float: the same
            "mode 1",
            "60 64 67",      // 36
            "69",            // 69
            "approx 1",
            "60 64 67",      // 40 at approximation 1
            "approx",        // no value: back to 0.5
            "60 64 67",      // 36
            "mode Freq",
            "approx -3",     // clipped to 0: only exact multiples
            "440 880",       // 440 exactly
            "stop",          // not a qz.subtone message
        ]);
        assert.equal(r.code, 0, r.err);
        assert.deepEqual(r.outlets.map((o) => o.length), r.outlets.map(() => 1), "one value per list");
        const sent = r.outlets.map((o) => o[0]);
        // 440 alone: 440.18353271484375, as tests/subtone/subtone_cli_test.cpp has it.
        assert.deepEqual(sent, [110.04588317871094, 220.09176635742188, 440.18353271484375,
                                440.18353271484375, 36, 69, 40, 36, 440]);
        assert.deepEqual(r.errors, ['qz.subtone: wrong argument type', 'qz.subtone: doesn\'t understand "stop"']);
        assert.ok(r.posts.some((p) => p.startsWith("qz.subtone ready")), r.posts.join("\n"));
    });

    it("takes creation arguments and posts the budget's text, sending nothing", async () => {
        const r = await run(["subtone", "1", "@mode", "midi"], [
            "60 64 67", // 40: approximation 1 in MIDI mode
            "mode 0",
            "approx 2000",
            "791 361.6470588235294 0", // stopped by the work budget (docs/hostile-inputs.md)
            "440 550 660",             // still answers afterwards
        ]);
        // A negative creation argument is kept (the tolerance is negative and
        // nothing is found: 0 Hz), where the attribute would clip it to 0.
        const neg = await run(["subtone", "-3"], ["440 880", "approx -3", "440 880"]);
        assert.deepEqual(neg.outlets, [[0], [440]]);
        assert.equal(r.code, 0, r.err);
        assert.equal(r.outlets[0][0], 40);
        assert.equal(r.outlets.length, 2, "nothing sent for the abandoned search");
        assert.deepEqual(r.errors, ["qz.subtone: search abandoned after 20000000 steps (work budget): " +
                                    "partials too far out of range to settle; nothing sent"]);
    });
});

describe("qz-node.js as qz.pitchtally", () => {
    it("tallies pitches with their amplitudes on real timers", async () => {
        // 60, 60, 61 within one window: 2/3 with average (0.5 + 0.25) / 2,
        // 1/2 below the threshold 0.6 (silent), 1 with average 1.
        const r = await run(["pitchtally", "16", "@window", "300", "@minproba", "0.6"], [
            "amplitude 0.5", "60", "amplitude 0.25", "60", "61 1",
        ]);
        assert.equal(r.code, 0, r.err);
        assert.deepEqual(r.errors, []);
        assert.deepEqual(r.outlets, [[60, 0.375, 2 / 3], [61, 1, 1]]);
    });

    it("stops agents without a report, and posts the creation texts", async () => {
        const r = await run(["pitchtally"], ["window 200", "62", "stop", "minproba 2", "63 0.5"]);
        assert.equal(r.code, 0, r.err);
        // minproba 2 is clipped to 1: the lone 63 (probability 1) still reports.
        assert.deepEqual(r.outlets, [[63, 0.5, 1]]);
        assert.deepEqual(r.errors, ["qz.pitchtally: Number of stat agents needed"]);
        const r2 = await run(["pitchtally", "16.5"], ["approx 1"]);
        assert.deepEqual(r2.errors, ["qz.pitchtally: Number of stat agents needed as first argument",
                                     'qz.pitchtally: doesn\'t understand "approx"']);
    });
});

// The help patcher's message boxes, clicked in order into the node.script
// box they are connected to: the first starts the script, every other one
// must be answered without an error.
describe("qz-node.maxhelp", () => {
    const patcher = JSON.parse(readFileSync(path.join(packageDir, "qz-node.maxhelp"), "utf8")).patcher;
    const boxes = new Map(patcher.boxes.map(({box}) => [box.id, box]));
    const scripts = patcher.boxes.map(({box}) => box)
                           .filter((b) => b.maxclass === "newobj" && /^node\.script qz-node\.js/.test(b.text));

    it("has a node.script box for each object, fed by message boxes", () => {
        assert.equal(scripts.length, 2);
    });

    for (const script of scripts) {
        const messages = patcher.lines.map(({patchline}) => patchline)
                                .filter((l) => l.destination[0] === script.id)
                                .map((l) => boxes.get(l.source[0]))
                                .filter((b) => b.maxclass === "message")
                                .map((b) => b.text);
        const start = messages.find((t) => t.startsWith("script start "));
        it(`${start}: every message is answered`, async () => {
            const args = start.split(" ").slice(2);
            const r = await run(args, messages.filter((t) => t !== start));
            assert.equal(r.code, 0, r.err);
            assert.deepEqual(r.errors, []);
            if (args[0] === "subtone") {
                // 440 550 660 and 440 in Hz at 0.5; 60 64 67 in MIDI at 0.5,
                // then at 1 (documented: 36, 40); 57 64 in Hz at 0.5.
                assert.deepEqual(r.outlets.map((o) => o[0]).slice(0, 3),
                                 [110.04588317871094, 440.18353271484375, 36]);
                assert.equal(r.outlets.length, 4);
            } else {
                // Everything before "stop" ends unreported; 67 alone, with
                // the amplitude 0.5 of the list before, is all of its window.
                assert.deepEqual(r.outlets, [[67, 0.5, 1]]);
            }
        });
    }
});

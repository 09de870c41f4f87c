// The page (build/wasm/web) in a real headless browser: Debian's chromium
// driven by Playwright. Expected numbers are the documented examples
// (tests/corpus/README.md): 60 64 67 in MIDI mode gives 36 at 0.5 and 40 at
// 1; 440 550 660 Hz gives 110.0459 at 0.5.
import {after, before, describe, it} from "node:test";
import assert from "node:assert/strict";
import {browse, serve} from "./browser.mjs";
import {readFileSync} from "node:fs";
import {corpusDir, packageUrl} from "./paths.mjs";

const {PitchTally} = await import(packageUrl("qz.mjs"));

describe("the page in chromium", () => {
    let server;
    let b;
    before(async () => {
        server = await serve();
        b = await browse(server.url);
        await b.page.goto(server.url);
        await b.page.waitForSelector("body[data-ready='1']", {timeout: 20000});
    });
    after(async () => {
        await b?.close();
        await server?.close();
    });

    const fundamental = () => b.page.locator("#fundamental").textContent();

    it("loads with no console error and fetches nothing from elsewhere", async () => {
        assert.deepEqual(b.problems, []);
        assert.deepEqual(b.offsite, []);
        assert.equal(await fundamental(), "36", "the starting chord C4 E4 G4");
    });

    it("shows the fundamental as the user types, with no button to press", async () => {
        const {page} = b;
        await page.selectOption("#mode", "midi");
        await page.fill("#approx", "0.5");
        await page.fill("#chord", "");
        await page.locator("#chord").pressSequentially("60 64 67", {delay: 20});
        assert.equal(await fundamental(), "36");
        assert.match(await page.locator("#fundamental-detail").textContent(), /Hz .* MIDI 36 .* C2/);
        assert.equal(await page.locator("#harmonics").textContent().then((t) => t.split("  ")[0]),
                     "harmonics 4, 5, 6");
        await page.fill("#approx", "1");
        assert.equal(await fundamental(), "40");
        // The staff holds three chord notes and the fundamental.
        assert.equal(await page.locator("#staff ellipse.note").count(), 4);
        assert.equal(await page.locator("#staff ellipse.fundamental").count(), 1);
        await page.selectOption("#mode", "freq");
        await page.fill("#approx", "0.5");
        await page.fill("#chord", "440 550 660");
        assert.equal(await fundamental(), "110.0459");
        assert.deepEqual(b.problems, []);
    });

    it("names each result as qz subtone --names does, over the MIDI corpus", async () => {
        const {page} = b;
        await page.selectOption("#mode", "midi");
        await page.fill("#approx", "0.5");
        const chords = readFileSync(`${corpusDir}/chords_midi.txt`, "utf8").split("\n")
                           .filter((l) => l.trim() !== "");
        const golden = readFileSync(`${corpusDir}/expected/subtone.midi_a0.5_names.out`, "utf8")
                           .split("\n").filter((l) => l !== "");
        assert.equal(golden.length, chords.length);
        let compared = 0;
        for (let i = 0; i < chords.length; ++i) {
            // The page takes numbers and note names; its staff, not inf or nan.
            if (/inf|nan/i.test(chords[i]) || golden[i] === "-inf")
                continue;
            await page.fill("#chord", chords[i]);
            const detail = await page.locator("#fundamental-detail").textContent();
            assert.equal(detail.split(" \u00b7 ").at(-1), golden[i], `line ${i + 1}: ${chords[i]}`);
            ++compared;
        }
        assert.ok(compared > 250, `only ${compared} chords compared`);
        // Hz mode names the frequency against A4 = 440 Hz, spelled as typed
        // (qz subtone --names 50.1994 gives G1+43c; Bb2 D3 F3 gives Bb0+6c).
        await page.selectOption("#mode", "freq");
        await page.fill("#chord", "50.1994");
        assert.match(await page.locator("#fundamental-detail").textContent(), / G1\+43c$/);
        await page.fill("#chord", "Bb2 D3 F3");
        assert.match(await page.locator("#fundamental-detail").textContent(), / Bb0\+6c$/);
    });

    it("draws real clefs, quarter tones with their signs, and labels the keyboard's octaves", async () => {
        const {page} = b;
        await page.selectOption("#mode", "midi");
        await page.fill("#approx", "0.5");
        // A3 C4 E4 gives 32.5, A1-50c (qz subtone --names): an A with a
        // quarter-tone flat (U+1D133); Bb2 D3 F3 a B flat.
        await page.fill("#chord", "A3 C4 E4");
        assert.deepEqual(await page.locator("#staff text.accidental.fundamental").allTextContents(),
                         ["\u{1D133}"]);
        await page.fill("#chord", "62.5 66 69");
        const signs = await page.locator("#staff text.accidental").allTextContents();
        assert.ok(signs.includes("\u{1D132}"), `D#4-50c is D quarter sharp: ${signs}`);
        assert.deepEqual(await page.locator("#staff text.clef").allTextContents(), ["\u{1D11E}", "\u{1D122}"]);
        // The glyphs come from the page's own font, which the browser loaded.
        assert.equal(await page.evaluate(async () => {
            await document.fonts.load('44px "qz music"', "\u{1D11E}");
            return document.fonts.check('44px "qz music"', "\u{1D11E}\u{1D122}\u266D\u{1D133}");
        }), true);
        assert.deepEqual(await page.locator("#keyboard .octave-label").allTextContents(),
                         ["C3", "C4", "C5"]);
        assert.deepEqual(b.problems, []);
    });

    it("lists the lower fundamentals that fit better, with their harmonic numbers", async () => {
        const {page} = b;
        await page.selectOption("#mode", "midi");
        await page.fill("#approx", "0.5");
        // C4 E4 G4 B4: the box hears E1+48c as 6 8 9 12; C1 as 8 10 12 15
        // fits within 8 cents (docs/objects.md, "Other hearings").
        await page.fill("#chord", "C4 E4 G4 B4");
        const items = await page.locator("#alternatives li").allTextContents();
        assert.equal(items.length, 2, items.join(" | "));
        assert.match(items[0], /^as the box hears it: 42\.36 Hz \(E1\+48c\): harmonics 6, 8, 9, 12, fit 50\.0 cents$/);
        assert.match(items[1], /^lower, truer: 32\.81 Hz \(C1\+6c\): harmonics 8, 10, 12, 15, fit 7\.8 cents$/);
    });

    it("shows a message instead of a number for a bad entry", async () => {
        const {page} = b;
        await page.selectOption("#mode", "midi");
        await page.fill("#chord", "60 x64 67");
        assert.equal(await fundamental(), "");
        assert.equal(await page.locator("#message").isVisible(), true);
        assert.match(await page.locator("#message").textContent(), /"x64"/);
        await page.fill("#chord", "60 64 67");
        assert.equal(await page.locator("#message").isVisible(), false);
        assert.equal(await fundamental(), "36");
        await page.fill("#approx", "");
        assert.equal(await fundamental(), "");
        assert.equal(await page.locator("#message").isVisible(), true);
        await page.fill("#approx", "0.5");
    });

    it("builds a chord from the keys", async () => {
        const {page} = b;
        await page.fill("#chord", "");
        for (const key of ["C4", "E4", "G4"])
            await page.click(`#keyboard [aria-label='${key}']`);
        assert.equal(await page.inputValue("#chord"), "C4 E4 G4");
        assert.equal(await fundamental(), "36");
        assert.equal(await page.locator("#keyboard .key.on").count(), 3);
        await page.click("#keyboard [aria-label='E4']"); // a second click takes it out
        assert.equal(await page.inputValue("#chord"), "C4 G4");
        await page.click("#play"); // Web Audio starts without an error
        assert.deepEqual(b.problems, []);
    });

    it("tallies the built-in melody as the package does in Node", async () => {
        const {page} = b;
        await page.click("#tab-tally");
        await page.fill("#agents", "32");
        await page.fill("#window", "120");
        await page.fill("#minproba", "0.3");
        await page.click("#melody");
        const stream = await page.inputValue("#stream");
        const shown = await page.locator("#reports tbody tr").count();
        // The same stream through the package in this Node process.
        const reports = [];
        const t = new PitchTally({agents: 32, window: 120, minproba: 0.3});
        t.on("report", (r) => reports.push(r));
        for (const line of stream.split("\n").slice(1)) {
            const [time, pitch, amp] = line.split(" ").map(Number);
            t.advanceTo(time).amplitude(amp).pitch(pitch);
        }
        t.flush().dispose();
        assert.ok(reports.length > 10, `${reports.length} reports`);
        assert.equal(shown, reports.length);
        const first = await page.locator("#reports tbody tr").first().locator("td").allTextContents();
        assert.deepEqual(first.map(Number), [reports[0].time, reports[0].pitch,
                                             Number(reports[0].avgamp.toFixed(4)),
                                             Number(reports[0].proba.toFixed(4))]);
        assert.equal(await page.locator("#tally-plot circle.report").count(), reports.length);
        assert.deepEqual(b.problems, []);
        assert.deepEqual(b.offsite, []);
    });
});

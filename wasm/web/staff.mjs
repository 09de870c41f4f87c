// A grand staff in SVG with notes on it: the chord's in grey, the virtual
// fundamental's in the accent colour, each placed and given its accidental
// from its name as qz writes it (qz.mjs noteName: "Bb3", "A1-50c"), quarter
// tones with their own signs, ledger lines, and an octave sign for notes
// beyond three ledger lines. Clefs and accidentals are glyphs of the page's
// own font, qz-music.ttf (cut from FreeSerif), so every browser draws them.
const SVG = "http://www.w3.org/2000/svg";
const HALF = 7;   // half a staff space, px
const Y_C4 = 114; // middle C
const LETTER_STEP = {C: 0, D: 1, E: 2, F: 3, G: 4, A: 5, B: 6};
const LETTERS = "CDEFGAB";
const TREBLE = [30, 32, 34, 36, 38]; // diatonic steps of E4 G4 B4 D5 F5
const BASS = [18, 20, 22, 24, 26];   // G2 B2 D3 F3 A3
const G_CLEF = "\u{1D11E}";
const F_CLEF = "\u{1D122}";
const SHARP = "\u266F";
const FLAT = "\u266D";
const QUARTER_SHARP = "\u{1D132}";
const QUARTER_FLAT = "\u{1D133}";

function el(name, attrs, text) {
    const e = document.createElementNS(SVG, name);
    for (const [k, v] of Object.entries(attrs))
        e.setAttribute(k, String(v));
    if (text !== undefined)
        e.textContent = text;
    return e;
}

/**
 * Where a note sits (diatonic step, C4 = 28) and the sign before it, from
 * its name ("F#4", "Bb3", "A1-50c", "D#4-50c"): the letter's line or space
 * with its sharp or flat; a quarter tone (50 cents off) with its own sign,
 * on the white key it lies next to. Other cents are left to the name. Null
 * for a name that is no note (an infinite pitch).
 */
export function place(name) {
    const m = /^([A-G])(#|b)?(-?\d+)(?:([+-]\d+(?:\.\d+)?)c)?$/.exec(name);
    if (!m)
        return null;
    let letter = LETTER_STEP[m[1]];
    const accidental = m[2] ?? "";
    const octave = Number(m[3]);
    const cents = Number(m[4] ?? 0);
    let sign = accidental === "#" ? SHARP : accidental === "b" ? FLAT : "";
    if (Math.abs(cents) === 50) {
        // A natural a quarter up or down; a black key a quarter off is the
        // white key beside it a quarter the other way (D#-50c: D quarter
        // sharp; Eb+50c: E quarter flat).
        if (accidental === "")
            sign = cents < 0 ? QUARTER_FLAT : QUARTER_SHARP;
        else if ((accidental === "#") === (cents < 0))
            sign = accidental === "#" ? QUARTER_SHARP : QUARTER_FLAT;
        else {
            letter += accidental === "#" ? 1 : -1; // never across B-C: no black key there
            sign = accidental === "#" ? QUARTER_FLAT : QUARTER_SHARP;
        }
    }
    return {step: octave * 7 + letter, sign, letter: LETTERS[letter]};
}

const yOf = (step) => Y_C4 - (step - 28) * HALF;

function ledgers(svg, x, step) {
    const lines = [];
    if (step <= 16)
        for (let s = 16; s >= step; s -= 2)
            lines.push(s);
    if (step >= 40)
        for (let s = 40; s <= step; s += 2)
            lines.push(s);
    if (step === 28)
        lines.push(28);
    for (const s of lines)
        svg.append(el("line", {x1: x - 14, x2: x + 14, y1: yOf(s), y2: yOf(s), class: "ledger"}));
}

/** Draws `notes` ({name, fundamental}: names as qz writes them) on the staff `svg`. */
export function drawStaff(svg, notes) {
    svg.replaceChildren();
    for (const s of [...TREBLE, ...BASS])
        svg.append(el("line", {x1: 10, x2: 310, y1: yOf(s), y2: yOf(s), class: "staff-line"}));
    svg.append(el("line", {x1: 10, x2: 10, y1: yOf(38), y2: yOf(18), class: "staff-line"}));
    // The G clef curls round the treble's second line, the F clef's dots
    // sit about the bass's fourth.
    svg.append(el("text", {x: 14, y: yOf(32), class: "clef"}, G_CLEF));
    svg.append(el("text", {x: 14, y: yOf(24), class: "clef"}, F_CLEF));
    const chordX = 110;
    let lastStep = null;
    const placed = notes.map((n) => ({...n, at: place(n.name)})).filter((n) => n.at !== null);
    const chord = placed.filter((n) => !n.fundamental).sort((a, b) => a.at.step - b.at.step);
    const fundamental = placed.filter((n) => n.fundamental);
    const drawn = [...chord.map((n) => ({...n, x: chordX})), ...fundamental.map((n) => ({...n, x: 240}))];
    for (const n of drawn) {
        let {step} = n.at;
        const {sign} = n.at;
        let shift = 0;
        while (step < 8) {
            step += 7;
            --shift;
        }
        while (step > 47) {
            step -= 7;
            ++shift;
        }
        let x = n.x;
        // Seconds in a chord sit beside each other.
        if (!n.fundamental && lastStep !== null && step - lastStep === 1)
            x += 16;
        lastStep = n.fundamental ? lastStep : step;
        const cls = n.fundamental ? "note fundamental" : "note";
        ledgers(svg, x, step);
        svg.append(el("ellipse", {cx: x, cy: yOf(step), rx: 8.2, ry: 5.9, class: cls,
                                  transform: `rotate(-20 ${x} ${yOf(step)})`}));
        if (sign !== "")
            svg.append(el("text", {x: x - 24, y: yOf(step) + 6, class: `accidental ${cls}`}, sign));
        if (shift !== 0)
            svg.append(el("text", {x: x - 10, y: shift < 0 ? yOf(step) + 24 : yOf(step) - 14,
                                   class: `octave ${cls}`}, `${Math.abs(shift) * 7 + 1}v${shift < 0 ? "b" : "a"}`));
    }
}

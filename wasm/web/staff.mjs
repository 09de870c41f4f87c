// A grand staff in SVG with notes on it: the chord's in grey, the virtual
// fundamental's in the accent colour, sharps for black keys, ledger lines,
// and an octave sign for notes beyond three ledger lines.
const SVG = "http://www.w3.org/2000/svg";
const HALF = 7;   // half a staff space, px
const Y_C4 = 114; // middle C
const LETTERS = [0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6]; // pitch class -> C D E F G A B
const SHARP = [0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0];
const TREBLE = [30, 32, 34, 36, 38]; // diatonic steps of E4 G4 B4 D5 F5
const BASS = [18, 20, 22, 24, 26];   // G2 B2 D3 F3 A3

function el(name, attrs, text) {
    const e = document.createElementNS(SVG, name);
    for (const [k, v] of Object.entries(attrs))
        e.setAttribute(k, String(v));
    if (text !== undefined)
        e.textContent = text;
    return e;
}

// Diatonic step (C4 = 28) and sharp of a MIDI pitch, rounded to a semitone.
function place(midi) {
    const m = Math.round(midi);
    const pc = ((m % 12) + 12) % 12;
    const octave = Math.floor(m / 12) - 1;
    return {step: octave * 7 + LETTERS[pc], sharp: SHARP[pc] === 1};
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

/** Draws `notes` ({midi, fundamental}) on the staff `svg`. */
export function drawStaff(svg, notes) {
    svg.replaceChildren();
    for (const s of [...TREBLE, ...BASS])
        svg.append(el("line", {x1: 10, x2: 310, y1: yOf(s), y2: yOf(s), class: "staff-line"}));
    svg.append(el("line", {x1: 10, x2: 10, y1: yOf(38), y2: yOf(18), class: "staff-line"}));
    // Clefs as their letters, G on the treble's second line, F on the
    // bass's fourth: music fonts are not to be counted on.
    svg.append(el("text", {x: 18, y: yOf(32) + 9, class: "clef"}, "G"));
    svg.append(el("text", {x: 18, y: yOf(24) + 9, class: "clef"}, "F"));
    const chordX = 110;
    let lastStep = null;
    const chord = notes.filter((n) => !n.fundamental && Number.isFinite(n.midi))
                       .sort((a, b) => a.midi - b.midi);
    const fundamental = notes.filter((n) => n.fundamental && Number.isFinite(n.midi));
    const drawn = [...chord.map((n) => ({...n, x: chordX})), ...fundamental.map((n) => ({...n, x: 240}))];
    for (const n of drawn) {
        let {step, sharp} = place(n.midi);
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
        if (sharp)
            svg.append(el("text", {x: x - 24, y: yOf(step) + 6, class: `accidental ${cls}`}, "\u266F"));
        if (shift !== 0)
            svg.append(el("text", {x: x - 10, y: shift < 0 ? yOf(step) + 24 : yOf(step) - 14,
                                   class: `octave ${cls}`}, `${Math.abs(shift) * 7 + 1}v${shift < 0 ? "b" : "a"}`));
    }
}

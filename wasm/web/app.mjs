// The page: a chord typed, clicked or played on a MIDI keyboard goes to
// qz.subtone's search at every keystroke; a pitch stream goes through
// qz.pitchtally's agents in virtual time. All numbers come from qz.mjs.
import {
    explain, hzToMidi, hzToNote, midiToHz, noteName as qzNoteName, noteToHz, noteToMidi, PitchTally,
    QzError, spelledWithFlats,
} from "./qz.mjs";
import {drawStaff} from "./staff.mjs";

const $ = (id) => document.getElementById(id);

// Key and axis labels: the nearest note, without cents.
const noteName = (midi) => qzNoteName(Math.round(midi));

// The chord's words as the values qz.subtone takes in `mode`: numbers as
// typed, note names read and converted by qz's own code, as qz subtone
// does (A4 = 440 Hz). Throws an Error naming the bad word.
function readChord(text, mode) {
    const words = text.split(/[\s,;]+/).filter((w) => w !== "");
    return words.map((w) => {
        const note = noteToMidi(w);
        if (!Number.isNaN(note))
            return mode === "midi" ? note : noteToHz(note);
        if (/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(w))
            return Number(w);
        if (/^[A-Ga-g].*[+-]\d+(\.\d+)?$/.test(w) && !Number.isNaN(noteToMidi(`${w}c`)))
            throw new Error(`"${w}": cents are written with a c, as in ${w}c`);
        throw new Error(`"${w}" is neither a note name, a MIDI number nor a frequency in Hz`);
    });
}

const shortNumber = (v) => (Number.isFinite(v) ? String(Number(v.toFixed(4))) : String(v));

// ---- the chord view ------------------------------------------------------

let current = null; // {partialsHz, fundamentalHz} of the last good chord

function showMessage(text) {
    $("message").textContent = text;
    $("message").hidden = false;
    $("fundamental").textContent = "";
    $("fundamental-detail").textContent = "";
    $("harmonics").textContent = "";
    current = null;
    drawStaff($("staff"), []);
    markKeys([]);
}

function update() {
    const mode = $("mode").value;
    const approxText = $("approx").value.trim();
    const approx = Number(approxText);
    if (approxText === "" || !Number.isFinite(approx)) {
        showMessage("The approximation must be a number of semitones.");
        return;
    }
    let partials;
    try {
        partials = readChord($("chord").value, mode);
    } catch (e) {
        showMessage(e.message);
        return;
    }
    if (partials.length === 0) {
        showMessage("Type a chord: note names, MIDI numbers or frequencies.");
        return;
    }
    let e;
    try {
        e = explain(partials, {mode, approx});
    } catch (err) {
        if (!(err instanceof QzError))
            throw err;
        showMessage(err.message);
        return;
    }
    $("message").hidden = true;
    const hz = mode === "midi" ? midiToHz(e.value) : e.value;
    const midi = mode === "midi" ? e.value : hzToMidi(e.value);
    $("fundamental").textContent = shortNumber(e.value);
    // Named as qz subtone --names names it: the value in MIDI mode, the
    // frequency against A4 = 440 Hz in Hz mode, spelled as the chord is.
    const flats = spelledWithFlats($("chord").value.split(/[\s,;]+/));
    const name = qzNoteName(mode === "midi" ? e.value : hzToNote(e.value), {flats});
    showAlternatives(e, flats);
    if (!e.found) {
        $("fundamental-detail").textContent = "no fundamental of 1 Hz or more fits every partial";
        $("harmonics").textContent = "";
    } else {
        $("fundamental-detail").textContent =
            `${shortNumber(hz)} Hz \u00b7 MIDI ${shortNumber(midi)} \u00b7 ${name}`;
        $("harmonics").textContent = "harmonics " + e.harmonics.join(", ") + "  (partials " +
            e.hz.map((f) => shortNumber(f)).join(", ") + " Hz)";
    }
    current = {partialsHz: e.hz, fundamentalHz: e.found ? hz : null};
    // On the staff as qz names them: the partials by their frequencies, the
    // fundamental by its name above.
    const notes = e.hz.filter((f) => f > 0).map((f) => ({name: qzNoteName(hzToNote(f), {flats})}));
    if (e.found && hz > 0)
        notes.push({name, fundamental: true});
    drawStaff($("staff"), notes);
    markKeys(e.hz.filter((f) => f > 0).map((f) => Math.round(hzToMidi(f))));
}

// The box's fit, then the lower fundamentals that fit better, one item each:
// "32.81 Hz (C1+6c): harmonics 8, 10, 12, 15, fit 7.8 cents".
function showAlternatives(e, flats) {
    const list = $("alternatives");
    list.replaceChildren();
    if (!e.found || e.fit === null)
        return;
    const item = (h, label) => {
        const li = document.createElement("li");
        const harmonics = h.harmonics.map((n) => (n > 0 ? String(n) : "-")).join(", ");
        li.textContent = `${label}${h.hz.toFixed(2)} Hz (${qzNoteName(hzToNote(h.hz), {flats})}): ` +
            `harmonics ${harmonics}, fit ${h.fit.toFixed(1)} cents`;
        return li;
    };
    list.append(item(e.fit, "as the box hears it: "));
    for (const h of e.alternatives)
        list.append(item(h, "lower, truer: "));
}

// ---- keyboard, MIDI input and sound -----------------------------------------

const LOW_KEY = 48; // C3
const HIGH_KEY = 83; // B5

function buildKeyboard() {
    const kb = $("keyboard");
    let white = 0;
    for (let m = LOW_KEY; m <= HIGH_KEY; ++m) {
        const black = noteName(m).includes("#");
        const key = document.createElement("button");
        key.type = "button";
        key.className = black ? "key black" : "key white";
        key.dataset.midi = String(m);
        key.title = noteName(m);
        key.setAttribute("aria-label", noteName(m));
        if (m % 12 === 0) { // each octave's C carries its name
            const label = document.createElement("span");
            label.className = "octave-label";
            label.textContent = noteName(m);
            key.append(label);
        }
        if (black)
            key.style.left = `calc(${white} * var(--white) - var(--black) / 2)`;
        else
            key.style.left = `calc(${white++} * var(--white))`;
        key.addEventListener("click", () => toggleNote(m));
        kb.append(key);
    }
    kb.style.width = `calc(${white} * var(--white))`;
}

function markKeys(midis) {
    const on = new Set(midis);
    for (const key of $("keyboard").children)
        key.classList.toggle("on", on.has(Number(key.dataset.midi)));
}

// Adds the note to the chord, or takes it out when it is there already.
function toggleNote(m, force) {
    const mode = $("mode").value;
    const words = $("chord").value.split(/[\s,;]+/).filter((w) => w !== "");
    const same = (w) => {
        const note = noteToMidi(w);
        const named = !Number.isNaN(note);
        const value = named ? note : Number(w);
        return mode === "midi" || named ? Math.round(value) === m : Math.round(hzToMidi(value)) === m;
    };
    const kept = words.filter((w) => !same(w));
    if (force !== false && (kept.length === words.length || force === true))
        kept.push(noteName(m));
    $("chord").value = kept.join(" ");
    update();
}

let audio = null;

function play() {
    if (!current)
        return;
    audio ??= new AudioContext();
    const t0 = audio.currentTime + 0.02;
    const voice = (f, start, length, type, level) => {
        if (!(f > 0 && f < 20000))
            return;
        const osc = audio.createOscillator();
        const gain = audio.createGain();
        osc.type = type;
        osc.frequency.value = f;
        gain.gain.setValueAtTime(0, start);
        gain.gain.linearRampToValueAtTime(level, start + 0.03);
        gain.gain.exponentialRampToValueAtTime(0.0001, start + length);
        osc.connect(gain).connect(audio.destination);
        osc.start(start);
        osc.stop(start + length + 0.05);
    };
    const n = current.partialsHz.length;
    for (const f of current.partialsHz)
        voice(f, t0, 1.4, "sine", 0.25 / n);
    if (current.fundamentalHz !== null)
        voice(current.fundamentalHz, t0 + 0.5, 1.6, "triangle", 0.3);
}

async function connectMidi() {
    if (!navigator.requestMIDIAccess) {
        $("midi-status").textContent = "this browser has no Web MIDI";
        return;
    }
    try {
        const access = await navigator.requestMIDIAccess();
        const held = new Set();
        const listen = (input) => {
            input.onmidimessage = (msg) => {
                const [status, note, velocity] = msg.data;
                const kind = status & 0xf0;
                if (kind === 0x90 && velocity > 0) {
                    if (held.size === 0)
                        $("chord").value = ""; // a new chord starts
                    held.add(note);
                    toggleNote(note, true);
                } else if (kind === 0x80 || (kind === 0x90 && velocity === 0)) {
                    held.delete(note);
                }
            };
        };
        access.inputs.forEach(listen);
        access.onstatechange = () => access.inputs.forEach(listen);
        $("midi-status").textContent = `${access.inputs.size} MIDI input(s)`;
    } catch (e) {
        $("midi-status").textContent = `no MIDI access (${e.message})`;
    }
}

// ---- the tally view --------------------------------------------------------

// A pitch tracker following "Frère Jacques" (MIDI, 300 ms a note, a frame
// every 15 ms) with its usual faults: octave jumps and neighbour pitches
// now and then, from a fixed pseudo-random sequence.
function builtInMelody() {
    const tune = [60, 62, 64, 60, 60, 62, 64, 60, 64, 65, 67, 67, 64, 65, 67, 67];
    let seed = 7;
    const rnd = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
    const lines = ["time pitch amp"];
    let t = 0;
    for (const note of tune) {
        for (let f = 0; f < 20; ++f, t += 15) {
            const r = rnd();
            const p = r < 0.06 ? note + 12 : r < 0.12 ? note + 1 : r < 0.16 ? note - 2 : note;
            const amp = (0.8 * Math.exp(-f / 12)).toFixed(3);
            lines.push(`${t} ${p} ${amp}`);
        }
    }
    return lines.join("\n");
}

function tallyMessage(text) {
    $("tally-message").textContent = text;
    $("tally-message").hidden = text === "";
}

function runTally() {
    tallyMessage("");
    const agents = Number($("agents").value);
    const window = Number($("window").value);
    const minproba = Number($("minproba").value);
    const events = [];
    const lines = $("stream").value.split("\n");
    for (let i = 0; i < lines.length; ++i) {
        const f = lines[i].replace(/#.*/, "").trim().split(/\s+/).filter((w) => w !== "");
        if (f.length === 0 || (events.length === 0 && f[0] === "time"))
            continue;
        const t = Number(f[0]);
        const named = noteToMidi(f[1] ?? "");
        const pitch = f[1] === "stop" ? "stop" : Number.isNaN(named) ? Number(f[1]) : named;
        const amp = f.length > 2 ? Number(f[2]) : null;
        if (!Number.isFinite(t) || t < 0 || (pitch !== "stop" && !Number.isFinite(pitch)) ||
            (amp !== null && !Number.isFinite(amp)) || f.length > 3) {
            tallyMessage(`line ${i + 1}: expected TIME PITCH [AMP] or TIME stop`);
            return;
        }
        if (events.length > 0 && t < events[events.length - 1].t) {
            tallyMessage(`line ${i + 1}: time ${t} is before the previous line's`);
            return;
        }
        events.push({t, pitch, amp});
    }
    const warnings = [];
    const reports = [];
    const tally = new PitchTally({agents: Number.isInteger(agents) ? agents : undefined, window,
                                  minproba, onWarning: (t) => warnings.push(t)});
    tally.on("report", (r) => reports.push(r));
    for (const e of events) {
        tally.advanceTo(e.t);
        if (e.pitch === "stop") {
            tally.stop();
            continue;
        }
        if (e.amp !== null)
            tally.amplitude(e.amp);
        tally.pitch(e.pitch);
    }
    tally.flush();
    tally.dispose();
    if (warnings.length > 0)
        tallyMessage(`${warnings.length} warning(s): ${[...new Set(warnings)].join("; ")}`);
    drawTally(events.filter((e) => e.pitch !== "stop"), reports);
    const body = $("reports").tBodies[0];
    body.replaceChildren(...reports.map((r) => {
        const tr = document.createElement("tr");
        for (const v of [r.time, r.pitch, r.avgamp, r.proba]) {
            const td = document.createElement("td");
            td.textContent = shortNumber(v);
            tr.append(td);
        }
        return tr;
    }));
    $("tally-summary").textContent = `${events.length} events, ${reports.length} reports`;
}

function drawTally(events, reports) {
    const svg = $("tally-plot");
    const NS = "http://www.w3.org/2000/svg";
    const add = (name, attrs, text) => {
        const e = document.createElementNS(NS, name);
        for (const [k, v] of Object.entries(attrs))
            e.setAttribute(k, String(v));
        if (text !== undefined)
            e.textContent = text;
        svg.append(e);
    };
    svg.replaceChildren();
    const all = [...events.map((e) => e.pitch), ...reports.map((r) => r.pitch)];
    if (all.length === 0)
        return;
    const tMax = Math.max(1, ...events.map((e) => e.t), ...reports.map((r) => r.time));
    const pLo = Math.floor(Math.min(...all)) - 1;
    const pHi = Math.ceil(Math.max(...all)) + 1;
    const x = (t) => 40 + (t / tMax) * 745;
    const y = (p) => 240 - ((p - pLo) / Math.max(1, pHi - pLo)) * 225;
    for (let p = Math.ceil(pLo); p <= pHi; ++p)
        if (p % 12 === 0 || pHi - pLo <= 24) {
            add("line", {x1: 40, x2: 785, y1: y(p), y2: y(p), class: p % 12 === 0 ? "grid c" : "grid"});
            if (p % 12 === 0 || pHi - pLo <= 14)
                add("text", {x: 4, y: y(p) + 4, class: "axis"}, noteName(p));
        }
    add("text", {x: 785, y: 256, class: "axis end"}, `${shortNumber(tMax)} ms`);
    for (const e of events)
        add("circle", {cx: x(e.t), cy: y(e.pitch), r: 1.6, class: "event"});
    for (const r of reports)
        add("circle", {cx: x(r.time), cy: y(r.pitch), r: 1.5 + 4 * r.proba, class: "report",
                       "fill-opacity": 0.25 + 0.6 * Math.min(1, r.avgamp)});
}

// ---- wiring ------------------------------------------------------------------

function showView(name) {
    for (const v of ["chord", "tally"]) {
        $(`view-${v}`).hidden = v !== name;
        $(`tab-${v}`).setAttribute("aria-selected", String(v === name));
    }
}

buildKeyboard();
for (const id of ["chord", "approx"])
    $(id).addEventListener("input", update);
$("mode").addEventListener("change", update);
$("play").addEventListener("click", play);
$("midi-in").addEventListener("click", connectMidi);
$("tab-chord").addEventListener("click", () => showView("chord"));
$("tab-tally").addEventListener("click", () => showView("tally"));
$("melody").addEventListener("click", () => {
    $("stream").value = builtInMelody();
    runTally();
});
$("run-tally").addEventListener("click", runTally);
$("stream").value = builtInMelody();
update();
runTally();
document.body.dataset.ready = "1";

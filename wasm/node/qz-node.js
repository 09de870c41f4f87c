// qz.subtone or qz.pitchtally for the host's Node integration: run it with
// a node.script box and start it with the object and its arguments,
//
//   script start subtone [approx] [@mode freq|midi] [@approx a]
//   script start pitchtally [agents] [@window ms] [@minproba p]
//
// (no object word: subtone). Messages into node.script reach the object as
// they reach the plug-in; results leave node.script's left outlet with
// outlet(): the fundamental as one number, a tally report as the list
// "pitch average-amplitude probability". The object's error texts go to
// the host's console. The numbers come from the plug-ins' own C++ in
// WebAssembly (qz.mjs); this is the same cores behind a Node process, with
// that process's message latency, not a plug-in.
"use strict";

let maxAPI;
try {
    maxAPI = require("max-api"); // supplied by the host at run time
} catch (e) {
    if (e.code !== "MODULE_NOT_FOUND")
        throw e;
    console.error("qz-node.js runs inside the host's node.script object, which supplies max-api");
    process.exit(1);
}

const path = require("node:path");
const {pathToFileURL} = require("node:url");

// The package is an ES module instantiated at import; messages wait for
// it in arrival order.
const loading = import(pathToFileURL(path.join(__dirname, "qz.mjs")).href);

// Creation arguments as the host makes atoms of typed text: integers,
// floats and symbols ("@name" starts an attribute setting).
function atom(word) {
    if (typeof word === "number")
        return word;
    const text = String(word);
    return /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(text) ? Number(text) : text;
}

// Splits "x y @a 1 @b 2" into the leading arguments and the settings.
function creationArgs(words) {
    const args = [];
    const attrs = [];
    for (const w of words.map(atom)) {
        if (typeof w === "string" && w.startsWith("@") && w.length > 1)
            attrs.push([w.slice(1), []]);
        else if (attrs.length > 0)
            attrs[attrs.length - 1][1].push(w);
        else
            args.push(w);
    }
    return {args, attrs};
}

function postError(object, text) {
    maxAPI.post(`${object}: ${text}`, maxAPI.POST_LEVELS.ERROR);
}

// The host's integer: 32 bits for the plug-ins' "int" routines.
const int32 = (n) => Number(n) | 0;

function subtoneBox(qz, words) {
    const name = "qz.subtone";
    const {args, attrs} = creationArgs(words);
    // The first argument, when it is a number, is not clipped (as the object
    // reads it); the attribute's settings are.
    const state = {mode: 0, approx: 0.5, clip: true};
    if (typeof args[0] === "number") {
        state.approx = args[0];
        state.clip = false;
    }
    const setMode = (v) => {
        if (typeof v === "number")
            state.mode = int32(v) !== 0 ? 1 : 0;
        else if (typeof v === "string" && /^(freq|midi)$/i.test(v))
            state.mode = v.toLowerCase() === "midi" ? 1 : 0;
        else
            postError(name, `mode: "${String(v)}" is neither Freq (0) nor MIDI (1)`);
    };
    // The attribute's setter: no value restores 0.5; the clip filter raises
    // negative values to 0.
    const setApprox = (...v) => {
        if (v.length === 0 || typeof v[0] === "number") {
            state.approx = v.length === 0 ? 0.5 : v[0];
            state.clip = true;
        } else
            postError(name, `approx: "${String(v[0])}" is not a number`);
    };
    for (const [attr, values] of attrs) {
        if (attr === "mode")
            setMode(values[0]);
        else if (attr === "approx")
            setApprox(...values);
        else
            postError(name, `no attribute "${attr}"`);
    }
    const send = (list) => {
        let value;
        try {
            value = qz.subtone(list, {
                mode: state.mode,
                approx: state.approx,
                clip: state.clip,
                onWarning: (t) => postError(name, t),
            });
        } catch (e) {
            if (!(e instanceof qz.QzError))
                throw e;
            postError(name, e.message);
            return;
        }
        if (value !== undefined)
            return maxAPI.outlet(value);
    };
    return {
        list: (...atoms) => send(atoms),
        float: (f) => send([Number(f)]),
        int: (n) => send([int32(n)]),
        mode: (v) => setMode(v),
        approx: (...v) => setApprox(...v),
    };
}

function pitchtallyBox(qz, words) {
    const name = "qz.pitchtally";
    const {args, attrs} = creationArgs(words);
    const options = {live: true, onWarning: (t) => postError(name, t)};
    if (args.length > 0)
        options.agents = typeof args[0] === "number" ? args[0] : NaN;
    else if (attrs.length > 0)
        options.agents = NaN; // an attribute name first: not an agent count
    else
        postError(name, "Number of stat agents needed"); // as the object says, then its default
    const tally = new qz.PitchTally(options);
    const setNumber = (attr, v) => {
        if (typeof v !== "number") {
            postError(name, `${attr}: "${String(v)}" is not a number`);
            return;
        }
        tally[attr] = v;
    };
    for (const [attr, values] of attrs) {
        if (attr === "window" || attr === "minproba")
            setNumber(attr, values[0]);
        else
            postError(name, `no attribute "${attr}"`);
    }
    tally.on("report", (r) => maxAPI.outlet(r.pitch, r.avgamp, r.proba));
    const pitch = (p) => {
        if (typeof p !== "number")
            postError(name, `a pitch is a number, not "${String(p)}"`);
        else
            tally.pitch(p);
    };
    return {
        float: (f) => pitch(Number(f)),
        int: (n) => pitch(int32(n)),
        // The amplitude inlet of the plug-in ("ft1").
        amplitude: (a) => {
            if (typeof a !== "number")
                postError(name, `an amplitude is a number, not "${String(a)}"`);
            else
                tally.amplitude(a);
        },
        // A list "pitch amplitude" goes over the inlets as the host spreads
        // a list: the amplitude first, then the pitch.
        list: (p, a) => {
            if (a !== undefined)
                tally.amplitude(Number(a));
            pitch(p);
        },
        stop: () => tally.stop(),
        window: (v) => setNumber("window", v),
        minproba: (v) => setNumber("minproba", v),
    };
}

const selectors = ["list", "float", "int", "stop", "approx", "mode", "window", "minproba",
                   "amplitude"];

const words = process.argv.slice(2);
let kind = "subtone";
if (words.length > 0 && /^(qz\.)?(subtone|pitchtally)$/.test(String(words[0])))
    kind = String(words.shift()).replace(/^qz\./, "");

const box = loading.then((qz) => (kind === "pitchtally" ? pitchtallyBox(qz, words)
                                                          : subtoneBox(qz, words)));

function dispatch(selector, args) {
    return box.then((b) => {
        const fn = b[selector];
        if (typeof fn !== "function") {
            postError(`qz.${kind}`, `doesn't understand "${selector}"`);
            return;
        }
        return fn(...args);
    });
}

const handlers = {};
for (const s of selectors)
    handlers[s] = (...args) => dispatch(s, args);
// A bare number, where the integration names it generically.
handlers[maxAPI.MESSAGE_TYPES.NUMBER] = (n) =>
    dispatch(Number.isInteger(n) ? "int" : "float", [n]);
maxAPI.addHandlers(handlers);

box.then(() => maxAPI.post(`qz.${kind} ready (WebAssembly, in Node ${process.version})`),
         (e) => postError(`qz.${kind}`, `cannot load the WebAssembly: ${e.message}`));

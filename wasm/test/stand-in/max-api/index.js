// A stand-in for the host's max-api module, written from what the host's
// Node integration documents (handlers per selector, outlet, post with
// levels, dictionaries, MESSAGE_TYPES, POST_LEVELS, MAX_ENV), so that a
// script for node.script runs in a plain Node process under test.
//
// Messages come in on stdin, one a line, as the text of a message box: a
// leading number makes an "int" or "float" message (one number) or a
// "list", a leading word is the selector. A number goes to the "int" or
// "float" handler, else to the generic "number" one; every message also
// goes to an "all" handler. What the script sends goes to stdout, one JSON
// object a line: {"outlet": [values]} or {"post": [values], "level": L}.
"use strict";

const readline = require("node:readline");

const MESSAGE_TYPES = Object.freeze({
    ALL: "all",
    BANG: "bang",
    DICT: "dict",
    LIST: "list",
    NUMBER: "number",
});
const POST_LEVELS = Object.freeze({ERROR: "error", INFO: "info", WARN: "warn"});

const handlers = new Map(); // selector -> [handler]
const dicts = new Map();

function emit(obj) {
    process.stdout.write(JSON.stringify(obj) + "\n");
}

function addHandler(selector, handler) {
    if (!handlers.has(selector))
        handlers.set(selector, []);
    handlers.get(selector).push(handler);
}

function addHandlers(map) {
    for (const [selector, handler] of Object.entries(map))
        addHandler(selector, handler);
}

function removeHandler(selector, handler) {
    const list = handlers.get(selector);
    if (list && list.indexOf(handler) >= 0)
        list.splice(list.indexOf(handler), 1);
}

function removeHandlers(selector) {
    handlers.delete(selector);
}

function outlet(...values) {
    emit({outlet: values});
    return Promise.resolve();
}

function outletBang() {
    return outlet("bang");
}

function post(...values) {
    let level = POST_LEVELS.INFO;
    if (values.length > 1 && Object.values(POST_LEVELS).includes(values[values.length - 1]))
        level = values.pop();
    emit({post: values, level});
    return Promise.resolve();
}

const getDict = (name) => Promise.resolve(dicts.get(name) ?? {});
const setDict = (name, content) => {
    dicts.set(name, content);
    return Promise.resolve(content);
};
const updateDict = (name, key, value) => {
    const d = dicts.get(name) ?? {};
    d[key] = value;
    dicts.set(name, d);
    return Promise.resolve(d);
};

function atom(word) {
    return /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(word) ? Number(word) : word;
}

function call(list, args) {
    for (const h of [...(list ?? [])])
        Promise.resolve(h(...args)).catch((e) => emit({post: [String(e && e.stack)], level: "error"}));
}

// One message box's text, delivered as the host would.
function deliver(text) {
    const words = text.trim().split(/\s+/).filter((w) => w !== "").map(atom);
    if (words.length === 0)
        return;
    let selector;
    let args;
    if (typeof words[0] === "number") {
        if (words.length === 1)
            selector = Number.isInteger(words[0]) && !/[.eE]/.test(text) ? "int" : "float";
        else
            selector = MESSAGE_TYPES.LIST;
        args = words;
    } else {
        selector = words[0];
        args = words.slice(1);
    }
    const specific = handlers.get(selector);
    if (specific && specific.length > 0)
        call(specific, args);
    else if (selector === "int" || selector === "float")
        call(handlers.get(MESSAGE_TYPES.NUMBER), args);
    call(handlers.get(MESSAGE_TYPES.ALL), [selector, ...args]);
}

readline.createInterface({input: process.stdin}).on("line", deliver);

module.exports = {
    MESSAGE_TYPES,
    POST_LEVELS,
    addHandler,
    addHandlers,
    removeHandler,
    removeHandlers,
    outlet,
    outletBang,
    post,
    getDict,
    setDict,
    updateDict,
};

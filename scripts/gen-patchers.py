#!/usr/bin/env python3
"""Writes the package's help patchers and example from the descriptions below.

    python3 scripts/gen-patchers.py      (rewrites package/help/*.maxhelp and
                                          package/examples/*.maxpat)

Each tab is laid out on a grid: boxes in rows, message boxes above the
object they feed, number boxes below it with the expected value ("= VALUE")
in a comment beside each, "wait N ms" comments where time must pass. `qz
patch --check` clicks the message boxes in reading order and compares.
Expected values are worked by hand (see the notes beside each tab); the
generator refuses a layout where boxes overlap or a cord crosses a box.
"""
import json
import os
import sys

ROW = 34          # row height
H = 22            # box height
APPVERSION = {"major": 8, "minor": 6, "revision": 0, "architecture": "x64", "modernui": 1}
CLASSES = {  # maxclass or object name -> (inlets, outlets, outlettypes)
    "qz.subtone": (1, 1, [""]),
    "qz.pitchtally": (2, 3, ["float", "float", "float"]),
    "print": (1, 0, []),
    "message": (2, 1, [""]),
    "flonum": (1, 2, ["", "bang"]),
    "number": (1, 2, ["", "bang"]),
    "comment": (1, 0, []),
}


class Tab:
    def __init__(self, title):
        self.boxes = []
        self.lines = []
        self.n = 0
        self.comment(title, 20, 0, 640, big=True)

    def _box(self, maxclass, x, row, w, text=None, cls=None, **extra):
        self.n += 1
        ins, outs, types = CLASSES[cls or maxclass]
        box = {"id": "obj-%d" % self.n, "maxclass": maxclass, "numinlets": ins,
               "numoutlets": outs, "outlettype": types,
               "patching_rect": [float(x), float(10 + row * ROW), float(w), float(H)]}
        if text is not None:
            box["text"] = text
        box.update(extra)
        if maxclass == "message" or maxclass == "newobj":
            box["fontsize"] = 12.0
        self.boxes.append({"box": box})
        return box["id"]

    def comment(self, text, x, row, w, big=False):
        extra = {"fontsize": 16.0, "fontface": 1} if big else {}
        ident = self._box("comment", x, row, w, text, **extra)
        # A comment wraps at its width: its box is as tall as its lines
        # (about 6.6 points a character at 12 points, 9 at 16 bold).
        per_line = max(1, int((w - 8) / (9.0 if big else 6.6)))
        lines = -(-len(text) // per_line)
        self.boxes[-1]["box"]["patching_rect"][3] = float(max(H, lines * (20 if big else 15) + 6))
        return ident

    def message(self, text, x, row, w=None):
        return self._box("message", x, row, w or max(30, 8 + 7 * len(text)), text)

    def obj(self, text, x, row, w=None):
        return self._box("newobj", x, row, w or max(60, 8 + 7 * len(text)), text,
                         cls=text.split()[0])

    def flonum(self, x, row, expect, w=60, cw=76):
        b = self._box("flonum", x, row, w, format=6, parameter_enable=0)
        self.comment("= " + expect, x + w + 6, row, cw)
        return b

    def connect(self, a, outlet, b, inlet):
        self.lines.append({"patchline": {"source": [a, outlet], "destination": [b, inlet]}})

    def patcher(self, rect):
        return {"fileversion": 1, "appversion": APPVERSION, "classnamespace": "box",
                "rect": rect, "gridsize": [15.0, 15.0], "boxes": self.boxes,
                "lines": self.lines}


# ---- layout checks ---------------------------------------------------------

def rect_of(tab, ident):
    for b in tab.boxes:
        if b["box"]["id"] == ident:
            return b["box"]["patching_rect"], b["box"]
    raise KeyError(ident)


def port_x(rect, index, count):
    x, _, w, _ = rect
    return x + 4 if count < 2 else x + 4 + index * (w - 8) / (count - 1)


def check(tab, name):
    rects = [b["box"]["patching_rect"] for b in tab.boxes]
    for i, a in enumerate(rects):
        for b in rects[i + 1:]:
            if a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]:
                sys.exit("%s: boxes overlap: %s %s" % (name, a, b))
    for line in tab.lines:
        src, dst = line["patchline"]["source"], line["patchline"]["destination"]
        ra, ba = rect_of(tab, src[0])
        rb, bb = rect_of(tab, dst[0])
        p = (port_x(ra, src[1], ba["numoutlets"]), ra[1] + ra[3])
        q = (port_x(rb, dst[1], bb["numinlets"]), rb[1])
        for b in tab.boxes:
            r = b["box"]["patching_rect"]
            if b["box"]["id"] in (src[0], dst[0]):
                continue
            for k in range(1, 200):  # sample the cord
                t = k / 200.0
                x, y = p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t
                if r[0] <= x <= r[0] + r[2] and r[1] <= y <= r[1] + r[3]:
                    sys.exit("%s: the cord %s -> %s crosses %s" % (name, src, dst, b["box"]["id"]))


def tabbed(tabs, rect):
    """A help patcher: one `p NAME` box per tab, shown as tabs."""
    top = Tab("")
    top.boxes = []
    top.n = 0
    for i, (name, tab) in enumerate(tabs):
        check(tab, name)
        sub = tab.patcher(rect)
        sub["showontab"] = 1
        top.n += 1
        top.boxes.append({"box": {"id": "obj-%d" % top.n, "maxclass": "newobj", "numinlets": 0,
                                  "numoutlets": 0, "patching_rect": [20.0 + 110 * i, 20.0, 90.0, H],
                                  "text": "p " + name, "fontsize": 12.0, "patcher": sub}})
    return {"patcher": top.patcher(rect)}


# ---- qz.subtone --------------------------------------------------------------
# Every expected value is a worked example of the object's behaviour:
# 440 550 660 at approximation 0.5 -> 110.0459 (harmonics 4, 5, 6); the single
# partial 440 -> 440.1835 (middle of its tolerance window); approximation 0:
# 440 660 -> exactly 220; MIDI at 0.5: 60 64 67 -> 36, 57 64 -> 45, 69 -> 69;
# MIDI at 1: 60 64 67 -> 40.

def subtone_hz():
    t = Tab("qz.subtone: the virtual fundamental of a chord in Hz")
    t.comment("A chord in Hz", 20, 1, 150)
    t.comment("A single number", 220, 1, 150)
    t.comment("Creation argument 0", 420, 1, 200)
    a = t.message("440 550 660", 20, 2)
    b = t.message("440", 220, 2)
    c = t.message("440 660", 420, 2)
    sa, sb, sc = t.obj("qz.subtone", 20, 3), t.obj("qz.subtone", 220, 3), t.obj("qz.subtone 0", 420, 3)
    fa, fb, fc = t.flonum(20, 4, "110.0459"), t.flonum(220, 4, "440.1835"), t.flonum(420, 4, "220")
    for m, s, f in ((a, sa, fa), (b, sb, fb), (c, sc, fc)):
        t.connect(m, 0, s, 0)
        t.connect(s, 0, f, 0)
    t.comment("The first partial is where the search starts; the result is the highest "
              "frequency of which every partial is a multiple, within the approximation "
              "(0.5 semitone unless the argument or the approx attribute says otherwise).",
              20, 6, 560)
    return t


def subtone_midi():
    t = Tab("qz.subtone: MIDI pitches in, a MIDI pitch out (@mode 1)")
    t.comment("A chord in MIDI", 20, 1, 150)
    t.comment("approx changes", 200, 1, 150)
    t.comment("Two notes", 400, 1, 100)
    t.comment("A single number", 560, 1, 150)
    a = t.message("60 64 67", 20, 2)
    b1 = t.message("approx 1", 200, 2)
    b2 = t.message("60 64 67", 280, 2)
    c = t.message("57 64", 400, 2)
    d = t.message("69", 560, 2)
    sa = t.obj("qz.subtone @mode 1", 20, 4)
    sb = t.obj("qz.subtone @mode 1", 200, 4)
    sc = t.obj("qz.subtone 0.5 @mode 1", 400, 4, 150)
    sd = t.obj("qz.subtone @mode 1", 560, 4)
    fa, fb = t.flonum(20, 5, "36.0"), t.flonum(200, 5, "40.0")
    fc, fd = t.flonum(400, 5, "45.0"), t.flonum(560, 5, "69.0")
    for m, s in ((a, sa), (b1, sb), (b2, sb), (c, sc), (d, sd)):
        t.connect(m, 0, s, 0)
    for s, f in ((sa, fa), (sb, fb), (sc, fc), (sd, fd)):
        t.connect(s, 0, f, 0)
    t.comment("In MIDI mode the result is rounded to a multiple of the approximation: "
              "with approx 1 the same chord finds a higher fundamental (82.7 Hz, MIDI 40) "
              "than with 0.5 (65.4 Hz, MIDI 36).", 20, 7, 620)
    return t


# ---- qz.pitchtally -------------------------------------------------------------
# Hand-worked reports (an agent counts every event after its own, a match when
# the pitch is equal; probability = matches / events; average amplitude over
# the matches):
# basic: t=0 amplitude 0.8, pitches 60 60 61 (agents A, B, C); t=300 amplitude
#   0.2, pitch 60 (agent D). At t=1000 A has 3 of 4 (0.75, amplitudes
#   0.8 0.8 0.2 -> 0.6), B 2 of 3 (0.667 < 0.7), C 1 of 2: only A reports.
# window: window 200; t=0 amplitude 0.5, pitches 60 62 60 (A, B, C); t=100
#   window 1000, amplitude 0.9, pitch 62 (D, ends at 1100). At t=200 A has 2
#   of 4 (0.5), B 2 of 3 (0.667, amplitudes 0.5 0.9 -> 0.7), C 1 of 2: only B
#   reports at minproba 0.6.
# stop: pitches 60 60, then stop: no agent reports, the boxes stay at 0.

def tally_outputs(t, obj, row, expect):
    outs = []
    names = ("pitch", "amplitude", "probability")
    for i, e in enumerate(expect):
        f = t.flonum(20 + 210 * i, row, e[0] + " " + names[i], cw=140)
        t.connect(obj, i, f, 0)
        outs.append(f)
    return outs


def tally_basic():
    t = Tab("qz.pitchtally: recurring pitches of a pitch stream")
    t.comment("amplitude (right inlet)", 250, 1, 170)
    a1 = t.message("0.8", 380, 2)
    p1 = t.message("60, 60, 61", 20, 3)
    t.comment("wait 300 ms", 500, 4, 90)
    a2 = t.message("0.2", 330, 5)
    p2 = t.message("60", 110, 6)
    obj = t.obj("qz.pitchtally 16 @window 1000 @minproba 0.7", 20, 7, 400)
    t.comment("wait 700 ms: the first agents end", 440, 7, 240)
    for m, i in ((a1, 1), (p1, 0), (a2, 1), (p2, 0)):
        t.connect(m, 0, obj, i)
    tally_outputs(t, obj, 8, [("60.0",), ("0.6",), ("0.75",)])
    t.comment("Each pitch starts an agent that counts the events of the next second. "
              "The first 60 met 60, 61 and 60 again: 3 of 4, with amplitudes 0.8, 0.8 "
              "and 0.2. The others stay below the threshold (minproba 0.7).", 20, 10, 560)
    return t


def tally_window():
    t = Tab("qz.pitchtally: window and minproba")
    w1 = t.message("window 200", 20, 2)
    a1 = t.message("0.5", 440, 2)
    p1 = t.message("60, 62, 60", 110, 3)
    t.comment("wait 100 ms", 560, 4, 90)
    w2 = t.message("window 1000", 200, 5)
    a2 = t.message("0.9", 390, 5)
    p2 = t.message("62", 300, 6)
    obj = t.obj("qz.pitchtally 16 @minproba 0.6", 20, 7, 460)
    t.comment("wait 100 ms", 500, 7, 90)
    for m, i in ((w1, 0), (a1, 1), (p1, 0), (w2, 0), (a2, 1), (p2, 0)):
        t.connect(m, 0, obj, i)
    tally_outputs(t, obj, 8, [("62.0",), ("0.7",), ("0.6667",)])
    t.comment("A new window applies to agents started afterwards: the first three end "
              "after 200 ms. Only the 62 reaches minproba 0.6: it met 60 and 62 (2 of 3, "
              "amplitudes 0.5 and 0.9).", 20, 10, 560)
    return t


def tally_stop():
    t = Tab("qz.pitchtally: stop")
    a = t.message("0.5", 300, 2)
    p = t.message("60, 60", 20, 3)
    s = t.message("stop", 110, 4)
    obj = t.obj("qz.pitchtally 16 @window 500", 20, 5, 320)
    t.comment("wait 500 ms", 360, 5, 90)
    for m, i in ((a, 1), (p, 0), (s, 0)):
        t.connect(m, 0, obj, i)
    tally_outputs(t, obj, 6, [("0",), ("0",), ("0",)])
    t.comment("stop ends every running agent without a report: nothing comes out.",
              20, 8, 500)
    return t


# ---- example: chords to a bass line, and the bass line's recurring pitches ----
# The chords (MIDI, approximation 0.5) give 36, 45, 36 at t=0 with amplitude
# 0.7 (agents A, B, C), and 36 at t=500 with amplitude 0.3 (agent D). At
# t=1000: A 3 of 4 (0.75), B 1 of 3, C 2 of 2 (1.0, amplitudes 0.7 and 0.3 ->
# 0.5): A and C report, C last.

def example():
    t = Tab("Chords in, virtual fundamental out, its recurring pitches tallied")
    a1 = t.message("0.7", 480, 1)
    c1 = t.message("60 64 67, 57 64, 60 64 67", 20, 2)
    t.comment("wait 500 ms", 560, 3, 90)
    a2 = t.message("0.3", 430, 4)
    c2 = t.message("60 64 67", 200, 5)
    st = t.obj("qz.subtone @mode 1", 20, 6)
    f = t.flonum(20, 7, "36.0")
    t.comment("the bass of each chord", 170, 7, 150)
    pt = t.obj("qz.pitchtally 16 @window 1000 @minproba 0.6", 20, 9, 480)
    t.comment("wait 500 ms", 520, 9, 90)
    t.connect(c1, 0, st, 0)
    t.connect(c2, 0, st, 0)
    t.connect(st, 0, f, 0)
    t.connect(f, 0, pt, 0)
    t.connect(a1, 0, pt, 1)
    t.connect(a2, 0, pt, 1)
    outs = tally_outputs(t, pt, 10, [("36.0",), ("0.5",), ("1.0",)])
    pr = t.obj("print bass", 20, 12)
    t.connect(outs[0], 0, pr, 0)
    t.comment("Each chord's fundamental enters qz.pitchtally as a pitch. After a second "
              "the agents that met their own bass note often enough report it; print posts "
              "each reported bass note.", 20, 13, 560)
    check(t, "example")
    return {"patcher": t.patcher([100.0, 100.0, 700.0, 520.0])}


def write(path, doc):
    with open(path, "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package")
    rect = [100.0, 100.0, 700.0, 460.0]
    write(os.path.join(root, "help", "qz.subtone.maxhelp"),
          tabbed([("basic", subtone_hz()), ("midi", subtone_midi())], rect))
    write(os.path.join(root, "help", "qz.pitchtally.maxhelp"),
          tabbed([("basic", tally_basic()), ("window", tally_window()), ("stop", tally_stop())],
                 rect))
    write(os.path.join(root, "examples", "chords-to-bass.maxpat"), example())


if __name__ == "__main__":
    main()

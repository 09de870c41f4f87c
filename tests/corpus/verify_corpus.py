#!/usr/bin/env python3
"""Checks the corpus goldens (expected/) against computations that share no
code with the product:
  - qz subtone runs: each result line recomputed with
    tests/subtone/literal_search.py, the exact transcription of the search;
    lines with inf/nan partials (or pitches infinite in Hz), and lines whose
    search takes more than --limit steps in Python, are skipped and counted;
  - qz pitchtally runs: the stream replayed through a model of the agent
    pool written from its rules (spawn in the first free slot, slot 0 taken
    over when all run, counting, reports at the window's end in due-time
    order, stop), in Python doubles.
Prints, per golden, how many lines agree, differ or were skipped; exits 1 on
any difference.
    python3 tests/corpus/verify_corpus.py [--limit STEPS]
"""
import os
import sys
from fractions import Fraction as F

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "subtone"))
import literal_search as ls  # noqa: E402

SUBTONE = [  # golden, input, MIDI, approx (as tests/corpus/CMakeLists.txt runs them)
    ("subtone.hz_a0.5", "chords_hz.txt", False, "0.5"),
    ("subtone.hz_a0.1", "chords_hz.txt", False, "0.1"),
    ("subtone.midi_a1", "chords_midi.txt", True, "1"),
    ("subtone.midi_a0.25", "chords_midi.txt", True, "0.25"),
    ("subtone.pitches_a0", "pitches_midi.txt", True, "0"),
    ("subtone.pitches_a0.01", "pitches_midi.txt", True, "0.01"),
    # The --explain runs: their result lines (the traces below each are not
    # recomputed).
    ("subtone.hz_a2_explain", "chords_hz.txt", False, "2"),
    ("subtone.midi_a0.5_explain", "chords_midi.txt", True, "0.5"),
]
PITCHTALLY = [  # golden, input, agents, window, minproba
    ("pitchtally.dense_16_40", "events_dense.txt", 16, 40, 0.2),
    ("pitchtally.dense_32_100", "events_dense.txt", 32, 100, 0.0),
    ("pitchtally.melody_16_40", "events_melody.txt", 16, 40, 0.2),
    ("pitchtally.melody_32_100", "events_melody.txt", 32, 100, 0.0),
]


def lines(name):
    with open(os.path.join(HERE, name)) as f:
        return [line.rstrip("\n") for line in f]


def subtone_value(words, midi, approx):
    hz = []
    for w in words:
        v = ls.f32(ls.f64(F(w)))  # the atom's double, rounded to single
        hz.append(ls.midi_to_hz(v) if midi else v)
    if any(isinstance(v, float) for v in hz):  # infinite in Hz: not transcribed
        raise ls.TooLong()
    value, _ = ls.compute(hz, F(approx), midi)
    return float(value)


def check_subtone(golden, source, midi, approx):
    agree = differ = skipped = 0
    inputs = [line for line in lines(source) if line.strip()]
    results = [line for line in lines(os.path.join("expected", golden + ".out"))
               if not line.startswith(" ")]  # --explain traces are indented
    for words, want in zip(inputs, results):
        words = words.split()
        if any(w.lower() in ("inf", "-inf", "nan") for w in words):
            skipped += 1
            continue
        try:
            got = subtone_value(words, midi, approx)
        except ls.TooLong:
            skipped += 1
            continue
        if got == float(want) or (got != got and want == "nan"):
            agree += 1
        else:
            differ += 1
            print(f"  {golden}: {' '.join(words)}: golden {want}, computed {got!r}")
    return agree, differ, skipped


class Pool:
    def __init__(self, agents, window, minproba):
        self.slots = [None] * agents  # [pitch, hits, events, ampsum, due, seq]
        self.highest, self.window, self.minproba = 0, window, minproba
        self.amp, self.seq, self.out = 0.0, 0, []

    def fire_until(self, t):
        while True:
            due = [(s[4], s[5], i) for i, s in enumerate(self.slots) if s and s[4] <= t]
            if not due:
                return
            _, _, i = min(due)
            pitch, hits, events, ampsum, when, _ = self.slots[i]
            proba = hits / events
            if proba >= self.minproba:
                self.out.append((when, pitch, ampsum / hits, proba))
            self.slots[i] = None

    def pitch(self, p, t):
        for i in range(self.highest + 1):
            s = self.slots[i]
            if s:
                s[2] += 1.0
                if s[0] == p:
                    s[1] += 1.0
                    s[3] += self.amp
        free = [i for i, s in enumerate(self.slots) if s is None]
        i = free[0] if free else 0
        self.seq += 1
        self.slots[i] = [p, 1.0, 1.0, self.amp, t + self.window, self.seq]
        self.highest = max(self.highest, i)

    def stop(self):
        for i in range(self.highest + 1):
            self.slots[i] = None
        self.highest = 0


def check_pitchtally(golden, source, agents, window, minproba):
    pool = Pool(agents, window, minproba)
    for line in lines(source)[1:]:
        words = line.replace(",", " ").split("#")[0].split()
        if not words:
            continue
        t = float(words[0])
        pool.fire_until(t)
        if words[1] == "stop":
            pool.stop()
            continue
        if len(words) > 2:
            pool.amp = float(words[2])
        pool.pitch(float(words[1]), t)
    pool.fire_until(float("inf"))
    want = [tuple(float(w) for w in line.split()) for line in
            lines(os.path.join("expected", golden + ".out"))]
    agree = sum(1 for a, b in zip(pool.out, want) if a == b)
    differ = max(len(pool.out), len(want)) - agree
    if differ:
        print(f"  {golden}: {len(pool.out)} reports modelled, {len(want)} in the golden, "
              f"{agree} agree")
    return agree, differ, 0


def main(argv):
    ls.LIMIT = int(argv[argv.index("--limit") + 1]) if "--limit" in argv else 20000
    failed = False
    for args in SUBTONE:
        a, d, s = check_subtone(*args)
        print(f"{args[0]}: {a} agree, {d} differ, {s} skipped")
        failed |= d > 0
    for args in PITCHTALLY:
        a, d, s = check_pitchtally(*args)
        print(f"{args[0]}: {a} agree, {d} differ")
        failed |= d > 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.setrecursionlimit(100000)
    sys.exit(main(sys.argv))

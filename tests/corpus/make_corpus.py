#!/usr/bin/env python3
"""Writes the input side of the cross-build corpus (deterministic, fixed
seed): chords in Hz and in MIDI pitches for `qz subtone`, and pitch/amplitude
event streams for `qz pitchtally`. The expected outputs in expected/ come from
the native build (QZ_UPDATE_GOLDEN=1 ctest -R corpus), and every other build
must reproduce them byte for byte.
    python3 tests/corpus/make_corpus.py   (run from anywhere)"""
import os
import random

here = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(6)


def num(x):
    return repr(round(x, rng.choice([1, 2, 3, 6])))


def write(name, lines):
    with open(os.path.join(here, name), "w") as f:
        f.write("\n".join(lines) + "\n")


# Chords in Hz: harmonics of a fundamental, detuned by a few cents, in
# ascending or mixed order, plus plain random chords and edge lines.
hz = ["440 550 660", "440 660", "100", "0", "0 440", "440 0 660", "-440 880", "1e30 2e30",
      "1e-3 2e-3", "inf 440", "nan 440", "440 nan", "27.5 4186.009", "1 1 1", "20000 19999.5"]
for _ in range(300):
    f0 = rng.uniform(20, 400)
    ns = sorted(rng.sample(range(1, 17), rng.randint(2, 6)))
    if rng.random() < 0.3:
        rng.shuffle(ns)
    cents = rng.choice([0, 3, 10, 30])
    hz.append(" ".join(num(f0 * n * 2 ** (rng.uniform(-cents, cents) / 1200)) for n in ns))
for _ in range(100):
    hz.append(" ".join(num(rng.uniform(50, 5000)) for _ in range(rng.randint(1, 5))))
write("chords_hz.txt", hz)

# Chords in MIDI pitches: triads and larger chords, quarter tones, detuned
# pitches, and edge lines.
midi = ["60 64 67", "57 64", "48 55 64 67 70", "69", "0", "-12 0 12", "127 128", "60 60",
        "60.5 64.25", "200", "-200", "1e6", "-1e6"]
for _ in range(300):
    root = rng.randint(24, 84)
    chord = [root] + [root + rng.choice([3, 4, 5, 7, 9, 10, 11, 12, 14, 16, 19, 24])
                      for _ in range(rng.randint(1, 5))]
    kind = rng.random()
    if kind < 0.3:
        chord = [p + rng.choice([0, 0.25, 0.5, 0.75]) for p in chord]
    elif kind < 0.5:
        chord = [p + rng.uniform(-0.3, 0.3) for p in chord]
    midi.append(" ".join(num(p) if isinstance(p, float) else str(p) for p in chord))
write("chords_midi.txt", midi)

# Single pitches with tolerance 0 (approximation 0): the result is the pitch
# itself, converted to Hz and back, so every bit of both conversions shows.
pitches = [repr(rng.uniform(-20, 140)) for _ in range(1500)]
pitches += ["%d.%02d" % (rng.randint(0, 127), rng.randint(0, 99)) for _ in range(500)]
write("pitches_midi.txt", pitches)

# Event streams: a pitch tracker's output, with repeated pitches, amplitude
# changes, bursts at equal times, and a "stop".
def stream(n, pitches, step, stop_at=None):
    lines = ["time pitch amp"]
    t = 0.0
    for i in range(n):
        t += rng.choice([0, step / 2, step, step * 3])
        if stop_at is not None and i == stop_at:
            lines.append("%s stop" % num(t))
            continue
        p = rng.choice(pitches)
        if rng.random() < 0.7:
            lines.append("%s %s %s" % (num(t), p, num(rng.uniform(0, 1))))
        else:
            lines.append("%s %s" % (num(t), p))
    return lines


write("events_melody.txt", stream(400, ["60", "62", "64", "65", "67", "69.5", "71"], 20))
write("events_dense.txt", stream(600, ["220", "220.5", "330", "440", "441.25", "0"], 5, 300))

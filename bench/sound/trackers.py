#!/usr/bin/env python3
"""How far each of aubio's pitch methods, as qz track runs them, reads a tone
from its true pitch, in cents: the median of a tone's frames (its first
tenth, the onset, left out), for tones of 55 Hz to 1760 Hz made with sox:
a pure sine, a harmonic tone (five harmonics at 1/h) and a plucked string
(sox's pluck, a Karplus-Strong string). Run by hand; prints the table of
docs/sound.md:

    python3 bench/sound/trackers.py build/bin/qz
"""
import math
import os
import statistics
import subprocess
import sys
import tempfile

METHODS = ["yin", "yinfft", "yinfast", "mcomb", "fcomb", "schmitt", "specacf"]
FREQS = [55, 110, 220, 440, 880, 1760]
KINDS = ["pure", "harmonic", "plucked"]


def make_tones(folder):
    for f in FREQS:
        sine = lambda path, hz, vol: subprocess.run(
            ["sox", "-n", "-r", "44100", "-c", "1", path, "synth", "1.0", "sine", str(hz),
             "vol", str(vol)], check=True)
        sine(f"{folder}/pure_{f}.wav", f, 0.5)
        parts = []
        for h in range(1, 6):
            parts.append(f"{folder}/h{h}.wav")
            sine(parts[-1], f * h, 0.5 / h)
        subprocess.run(["sox", "-m", *parts, f"{folder}/harmonic_{f}.wav"], check=True)
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", f"{folder}/plucked_{f}.wav",
                        "synth", "1.0", "pluck", str(f)], check=True)


def cents_off(qz, method, path, f):
    out = subprocess.run([qz, "track", "--method", method, "--unit", "hz", path],
                         capture_output=True, text=True).stdout
    pitches = [float(line.split()[1]) for line in out.splitlines() if line.strip()]
    pitches = pitches[len(pitches) // 10:]
    return 1200 * math.log2(statistics.median(pitches) / f) if pitches else math.nan


def main():
    qz = sys.argv[1] if len(sys.argv) > 1 else "build/bin/qz"
    with tempfile.TemporaryDirectory() as folder:
        make_tones(folder)
        print("| method | tone | " + " | ".join(f"{f} Hz" for f in FREQS) + " | worst |")
        print("|---|---|" + "---|" * (len(FREQS) + 1))
        for m in METHODS:
            for k in KINDS:
                e = [cents_off(qz, m, os.path.join(folder, f"{k}_{f}.wav"), f) for f in FREQS]
                worst = max(9999 if math.isnan(x) else abs(x) for x in e)
                cells = ["none" if math.isnan(x) else f"{x:+.1f}" for x in e]
                print(f"| {m} | {k} | " + " | ".join(cells) + f" | {worst:.1f} |")


if __name__ == "__main__":
    main()

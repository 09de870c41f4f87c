#!/usr/bin/env python3
"""Figures of one run of qz subtone --audio on a sound file: how many lines
(frames, or segments with --segments) it printed, how long it took, the
median fundamental, the share of the time below 30 Hz, the share without a
fundamental, and the share of octave jumps between consecutive lines. Run
by hand, for the pictures of docs/sound.md:

    python3 bench/sound/fundamental_stats.py build/bin/qz \\
        /usr/share/scummvm/drascula/audio/track2.ogg [QZ OPTIONS]

Frames (`TIME F0`, F0 in Hz, or MIDI with --mode midi) each stand for one
hop (--hopsize, 512 by default, at the file's rate, which soxi reads);
segments (`START - END s: ... -> NAME (MIDI, HZ Hz)`) for their length. The
median and the share below 30 Hz are of the time with a fundamental,
weighted by time. An octave jump is a step from one line to the next (both
with a fundamental) within a semitone of a whole number of octaves, one or
more: its share is of all such steps.
"""
import math
import re
import subprocess
import sys
import time

SEGMENT = re.compile(r"^([\d.]+) - ([\d.]+) s: (.*)$")


def midi_to_hz(m):
    return 440.0 * 2 ** ((m - 69) / 12)


def option(options, name, default):
    return options[options.index(name) + 1] if name in options else default


def lines(out, options, rate):
    """[(seconds, Hz or None)] of each line, in order."""
    midi = option(options, "--mode", "freq") == "midi"
    hop = int(option(options, "--hopsize", "512")) / rate
    rows = []
    for line in out.splitlines():
        m = SEGMENT.match(line)
        if m:
            length = float(m.group(2)) - float(m.group(1))
            f = re.search(r"-> \S+ \(([^,)]+)", m.group(3))
            v = float(f.group(1)) if f else -math.inf
            rows.append((length, midi_to_hz(v) if math.isfinite(v) else None))
            continue
        _, f0 = line.split()[:2]
        v = float(f0)
        ok = math.isfinite(v) and (midi or v > 0)
        rows.append((hop, (midi_to_hz(v) if midi else v) if ok else None))
    return rows


def weighted_median(pairs):
    pairs = sorted(pairs)
    half, run = sum(w for _, w in pairs) / 2, 0.0
    for v, w in pairs:
        run += w
        if run >= half:
            return v
    return math.nan


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    qz, path, options = sys.argv[1], sys.argv[2], sys.argv[3:]
    rate = float(subprocess.run(["soxi", "-r", path], capture_output=True, text=True,
                                check=True).stdout)
    began = time.monotonic()
    out = subprocess.run([qz, "subtone", "--audio", path, *options], capture_output=True,
                         text=True, check=True).stdout
    took = time.monotonic() - began
    rows = lines(out, options, rate)
    heard = [(f, w) for w, f in rows if f is not None]
    total = sum(w for w, _ in rows)
    voiced = sum(w for _, w in heard)
    low = sum(w for f, w in heard if f < 30)
    steps = [(a[1], b[1]) for a, b in zip(rows, rows[1:]) if a[1] and b[1]]
    jumps = 0
    for a, b in steps:
        d = 12 * math.log2(b / a)
        k = round(d / 12)
        jumps += k != 0 and abs(d - 12 * k) < 1
    print(f"lines:             {len(rows)} ({total:.2f} s)")
    print(f"time:              {took:.3f} s")
    print(f"median:            {weighted_median(heard):.2f} Hz")
    print(f"below 30 Hz:       {100 * low / voiced if voiced else math.nan:.1f} %")
    print(f"no fundamental:    {100 * (total - voiced) / total if total else math.nan:.1f} %")
    print(f"octave jumps:      {100 * jumps / len(steps) if steps else math.nan:.1f} %"
          f" of {len(steps)} steps")


if __name__ == "__main__":
    main()

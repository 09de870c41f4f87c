#!/usr/bin/env python3
"""qz subtone --audio measured against the scores the sounds are made from.

Each MIDI file is rendered by fluidsynth with the FluidR3 General MIDI
soundfont as piano (GM program 0), church organ (19) and strings (48): every
program change is dropped and one per channel used is put just before the
channel's first note (the drum channel, 10, is left alone). qz subtone
--audio then reads the sound, and qz subtone --score the MIDI file (with
--merge 0, every tick as fluidsynth plays it). On a grid (10 ms by
default), over the score's sounding time (the moments where a score chord
with a fundamental sounds), the audio's fundamental counts as right

  same octave   when |audio - score| < 1 semitone (MIDI values),
  any octave    when |audio - score - 12k| < 1 semitone for a whole k,

and a moment where the audio has none (no segment, no stable peak, no
fundamental) counts as wrong for both.

The score's chords are timed from the MIDI file itself, with mido: a chord
begins wherever a note starts or ends and lasts until the next such time.
The notes qz prints for each chord are checked against the notes sounding
then in mido's reading, an independent reader of the same file.

  segments_vs_score.py QZ [-v] [--frames] [--instrument NAME]...
                       [--expect NAME:SAME:ANY]... [MIDI...] [-- QZ OPTIONS]

Without MIDI files, the pieces of tests/score/midi/ and tests/score/chorale.mid.
--segments (the default) runs `qz subtone --audio WAV --segments`, whose
lines are START - END s: CHORD -> NAME (MIDI, HZ Hz); --frames runs the
frame mode, `--audio WAV --mode midi`, whose lines are TIME F0, TIME in ms
at the end of the frame's hop: a frame stands for the hop centred on the
middle of its window (--bufsize, --hopsize as passed to qz, 4096 and 512 by
default). --expect fails (exit 1) when an instrument's figures, in percent,
are below SAME or ANY. Exit 77 (skipped) when fluidsynth, the soundfont or
mido is missing and this machine's `make deps` would not install them.
"""
import argparse
import bisect
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
INSTRUMENTS = {"piano": 0, "organ": 19, "strings": 48}
DRUMS = 9  # channel 10, counted from 0
SKIP = 77

try:
    import mido
except ImportError:
    mido = None


def missing_tools():
    """The Debian packages of what is missing: fluidsynth, the soundfont, mido."""
    missing = []
    if not shutil.which("fluidsynth"):
        missing.append("fluidsynth")
    if not os.path.isfile(SOUNDFONT):
        missing.append("fluid-soundfont-gm")
    if mido is None:
        missing.append("python3-mido")
    return missing


def deps_would_install(packages):
    """Whether `make deps` installs these here: they are in the test list and
    this is a Debian system with apt-get."""
    try:
        with open(os.path.join(ROOT, "scripts", "packages", "tests")) as f:
            listed = set(re.sub(r"#.*", "", f.read()).split())
    except OSError:
        return False
    return (set(packages) <= listed and shutil.which("apt-get") is not None
            and shutil.which("dpkg-query") is not None)


NOTE = re.compile(r"^([A-G])([#b]*)(-?\d+)(?:([+-]\d+(?:\.\d+)?)c)?$")
STEP = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def note_pitch(name):
    """C4 = 60, with sharps, flats and cents (E4+14c)."""
    m = NOTE.match(name)
    if not m:
        raise ValueError(f"not a note name: {name!r}")
    alter = m.group(2).count("#") - m.group(2).count("b")
    cents = float(m.group(4)) / 100 if m.group(4) else 0.0
    return 12 * (int(m.group(3)) + 1) + STEP[m.group(1)] + alter + cents


def fundamental(text):
    """The MIDI value of `NAME (MIDI, HZ Hz)` or `none (-inf)`; None for none."""
    m = re.match(r"^\S+ \(([^,)]+)(?:, [\d.]+ Hz)?\)$", text.strip())
    if not m:
        raise ValueError(f"not a fundamental: {text!r}")
    v = float(m.group(1))
    return v if math.isfinite(v) else None


SCORE_LINE = re.compile(r"^([\d.]+) s: (.*?) -> (.*)$")
SEGMENT_LINE = re.compile(r"^([\d.]+) - ([\d.]+) s: (.*)$")


def parse_score(text):
    """[(start s, [pitches], fundamental or None)] of qz subtone --score."""
    rows = []
    for line in text.splitlines():
        m = SCORE_LINE.match(line)
        if not m:
            raise ValueError(f"not a score line: {line!r}")
        rows.append((float(m.group(1)), sorted(note_pitch(n) for n in m.group(2).split()),
                     fundamental(m.group(3))))
    return rows


def parse_segments(text):
    """[(start s, end s, fundamental or None)] of --audio --segments."""
    rows = []
    for line in text.splitlines():
        m = SEGMENT_LINE.match(line)
        if not m:
            raise ValueError(f"not a segment line: {line!r}")
        rest = m.group(3)
        f0 = None if rest == "no stable peak" else fundamental(rest.split(" -> ", 1)[1])
        rows.append((float(m.group(1)), float(m.group(2)), f0))
    return rows


def parse_frames(text, bufsize, hopsize, rate):
    """[(start s, end s, fundamental or None)] of the frame mode: each frame's
    hop, centred on the middle of its window (which ends at TIME)."""
    rows = []
    for line in text.splitlines():
        t, f0 = line.split()
        centre = float(t) / 1000 - bufsize / 2 / rate
        v = float(f0)
        rows.append((centre - hopsize / 2 / rate, centre + hopsize / 2 / rate,
                     v if math.isfinite(v) else None))
    return rows


def midi_spans(path):
    """[(start s, end s, [pitches])] of a MIDI file as mido reads it: the
    notes sounding (drums left out) between consecutive times where a note
    starts or ends; empty spans left out."""
    now, sounding, changes = 0.0, {}, []
    for msg in mido.MidiFile(path):
        now += msg.time
        if msg.type not in ("note_on", "note_off") or msg.channel == DRUMS:
            continue
        key = (msg.channel, msg.note)
        if msg.type == "note_on" and msg.velocity > 0:
            sounding[key] = sounding.get(key, 0) + 1
        elif sounding.get(key):
            sounding[key] -= 1
        changes.append((now, sorted({n for (_, n), c in sounding.items() if c})))
    spans = []
    for (t, notes), (t2, _) in zip(changes, changes[1:]):
        if t2 > t and notes:
            spans.append((t, t2, notes))
    return spans


def score_chords(qz, path):
    """[(start s, end s, fundamental or None)]: qz's chords, timed by mido.
    Raises when qz's chords are not the notes mido hears then."""
    # --merge 0: every tick as it is, as fluidsynth plays it (MuseScore's
    # export ends each note a tick early: those 1 ms chords stay).
    rows = parse_score(run([qz, "subtone", "--score", path, "--merge", "0"]))
    spans = midi_spans(path)
    chords = []
    for t, pitches, f0 in rows:
        i = min(range(len(spans)), key=lambda j: abs(spans[j][0] - t))
        if abs(spans[i][0] - t) > 0.0006:  # qz prints milliseconds
            raise ValueError(f"{path}: qz has a chord at {t} s where mido has none")
        if [float(p) for p in spans[i][2]] != pitches:
            raise ValueError(f"{path}: at {t} s qz has {pitches}, mido {spans[i][2]}")
        chords.append((spans[i][0], spans[i][1], f0))
    if len(chords) != len(spans):
        raise ValueError(f"{path}: qz has {len(chords)} chords, mido {len(spans)}")
    return chords


def with_program(path, program, out):
    """The MIDI file with every program change dropped (its delta time kept)
    and one for `program` just before each channel's first note (after what
    comes before it at that time, such as a GM reset, which sets program 0)."""
    mid = mido.MidiFile(path)
    for track in mid.tracks:
        kept, carry, channels = [], 0, set()
        for msg in track:
            if msg.type == "program_change":
                carry += msg.time
                continue
            msg = msg.copy(time=msg.time + carry)
            carry = 0
            if msg.type == "note_on" and msg.channel != DRUMS and msg.channel not in channels:
                channels.add(msg.channel)
                kept.append(mido.Message("program_change", channel=msg.channel,
                                         program=program, time=msg.time))
                msg = msg.copy(time=0)
            kept.append(msg)
        track[:] = kept
    mid.save(out)


def render(midi, wav):
    # fluidsynth 2.3: -n no MIDI input, -i no shell, -q quiet, -F render to
    # the file as fast as possible; its default gain (0.2), reverb and chorus.
    run(["fluidsynth", "-ni", "-q", "-F", wav, "-r", "44100", SOUNDFONT, midi])


def run(cmd):
    p = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    if p.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: exit {p.returncode}: {p.stderr.strip()}")
    return p.stdout


def option_value(options, name, default):
    for i, o in enumerate(options):
        if o == name and i + 1 < len(options):
            return int(options[i + 1])
        if o.startswith(name + "="):
            return int(o.split("=", 1)[1])
    return default


def compare(chords, audio, grid):
    """Seconds of score sounding time; of it, seconds right in the same
    octave, right up to octaves, and without an audio fundamental."""
    audio = sorted(audio)
    starts = [a[0] for a in audio]
    total = same = anyoct = none = 0.0
    for start, end, f0 in chords:
        if f0 is None:
            continue
        k = math.floor(start / grid)
        while True:
            t = (k + 0.5) * grid  # the grid's moments, at the middle of each cell
            k += 1
            if t < start:
                continue
            if t >= end:
                break
            total += grid
            i = bisect.bisect_right(starts, t) - 1
            heard = audio[i][2] if i >= 0 and t < audio[i][1] else None
            if heard is None:
                none += grid
                continue
            d = heard - f0
            same += grid if abs(d) < 1 else 0
            anyoct += grid if abs(d - 12 * round(d / 12)) < 1 else 0
    return total, same, anyoct, none


def default_pieces():
    folder = os.path.join(ROOT, "tests", "score", "midi")
    pieces = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".mid"))
    return pieces + [os.path.join(ROOT, "tests", "score", "chorale.mid")]


def label(path):
    """A piece's name: its path from tests/score/ when it is there."""
    rel = os.path.relpath(path, os.path.join(ROOT, "tests", "score"))
    return os.path.basename(path) if rel.startswith("..") else rel


def main():
    argv = sys.argv[1:]
    qz_options = []
    if "--" in argv:
        qz_options = argv[argv.index("--") + 1:]
        argv = argv[:argv.index("--")]
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("qz")
    ap.add_argument("midi", nargs="*")
    ap.add_argument("--frames", action="store_true", help="measure the frame mode")
    ap.add_argument("--instrument", action="append", choices=sorted(INSTRUMENTS))
    ap.add_argument("--grid", type=float, default=10, help="grid step in ms (10)")
    ap.add_argument("--expect", action="append", default=[], metavar="NAME:SAME:ANY")
    ap.add_argument("-v", action="store_true", help="a table per piece too")
    args = ap.parse_args(argv)

    missing = missing_tools()
    if missing:
        if deps_would_install(missing):
            print(f"missing: {' '.join(missing)} (make deps installs them)")
            return 1
        print(f"skipped: missing {' '.join(missing)}")
        return SKIP

    pieces = args.midi or default_pieces()
    instruments = args.instrument or list(INSTRUMENTS)
    grid = args.grid / 1000
    if args.frames:
        mode = ["--mode", "midi"]
        bufsize = option_value(qz_options, "--bufsize", 4096)
        hopsize = option_value(qz_options, "--hopsize", 512)
        def parse(out):
            return parse_frames(out, bufsize, hopsize, 44100)
    else:
        mode = ["--segments"]
        parse = parse_segments
    began = time.monotonic()
    scores = {p: score_chords(args.qz, p) for p in pieces}
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name in instruments:
            for p in pieces:
                midi = os.path.join(tmp, "in.mid")
                wav = os.path.join(tmp, "out.wav")
                with_program(p, INSTRUMENTS[name], midi)
                render(midi, wav)
                out = run([args.qz, "subtone", "--audio", wav, *mode, *qz_options])
                results[name, p] = compare(scores[p], parse(out), grid)

    what = "frames (--mode midi)" if args.frames else "--segments"
    print(f"qz subtone --audio {what} {' '.join(qz_options)}".rstrip()
          + f": share of the score's sounding time, on a {args.grid:g} ms grid, where the"
          " audio's fundamental is within a semitone of the score's")
    print("| instrument | pieces | sounding s | same octave | any octave | none |")
    print("|---|---|---|---|---|---|")
    figures = {}
    for name in instruments:
        rows = [(p, results[name, p]) for p in pieces]
        if args.v:
            for p, (total, same, anyoct, none) in rows:
                print(f"| {name}: {label(p)} | 1 | {total:.2f} | "
                      f"{100 * same / total:.1f} % | {100 * anyoct / total:.1f} % | "
                      f"{100 * none / total:.1f} % |")
        total, same, anyoct, none = (sum(r[i] for _, r in rows) for i in range(4))
        figures[name] = (100 * same / total, 100 * anyoct / total)
        print(f"| {name} | {len(pieces)} | {total:.2f} | {figures[name][0]:.1f} % | "
              f"{figures[name][1]:.1f} % | {100 * none / total:.1f} % |")
    print(f"({time.monotonic() - began:.1f} s)")

    failed = False
    for e in args.expect:
        name, lo_same, lo_any = e.split(":")
        if name not in figures:
            ap.error(f"--expect {e}: {name} was not measured")
        got = figures[name]
        if got[0] < float(lo_same) or got[1] < float(lo_any):
            print(f"FAIL: {name}: {got[0]:.1f} % same octave, {got[1]:.1f} % any octave;"
                  f" expected at least {lo_same} % and {lo_any} %")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

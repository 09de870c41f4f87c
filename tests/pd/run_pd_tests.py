#!/usr/bin/env python3
"""The Pd externals in real, headless Pure Data, against the native qz.

Runs the shared corpus (tests/corpus) through qz.subtone and qz.pitchtally
twice: in Pd (qz_test.pd plays a generated sequence through a [delay] chain,
and prints every result with [makefilename %.9g], which writes a single
exactly), and through the native `qz` tool on the same input narrowed to
single, as Pd's floats are. Every Pd result must equal the native one
narrowed to single, bit for bit; the reports of qz.pitchtally must come in
the same order with the same times. A Pd run fails on "couldn't create", on
any line that starts "error:" and that the native qz did not post too, and
on any value that differs.

The externals must export nothing but their setup routines. Then the help
patches are opened (each must load without "couldn't create"
or an error), and creation_test.pd checks the creation paths whose errors
are part of the objects' behaviour.

usage: run_pd_tests.py --pd PD --qz QZ [--qz-externals DIR] --externals DIR --corpus DIR
                        --work DIR
"""

import argparse
import math
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PD_TIMEOUT = 120  # seconds for one Pd run: a hang is a failure

# Runs of qz.subtone: (tag, target in qz_test.pd, messages sent to the target
# before the chords, corpus file, the native qz arguments that make the same
# object). S0 is [qz.subtone], S1 [qz.subtone 1], S2 [qz.subtone 0.25 @mode
# 1], S3 [qz.subtone @mode MIDI @approx -1] (approx clipped to 0).
SUBTONE_RUNS = [
    ("hz_a0.5", "S0", [], "chords_hz.txt", ["--approx", "0.5"]),
    ("hz_a0.1", "S0", ["approx 0.1"], "chords_hz.txt", ["--approx", "0.1"]),
    ("hz_a2", "S0", ["approx 2"], "chords_hz.txt", ["--approx", "2"]),
    ("midi_a0.5", "S0", ["mode 1", "approx 0.5"], "chords_midi.txt",
     ["--mode", "midi", "--approx", "0.5"]),
    ("midi_a1", "S0", ["approx 1"], "chords_midi.txt", ["--mode", "midi", "--approx", "1"]),
    ("pitches_a0.01", "S0", ["approx 0.01"], "pitches_midi.txt",
     ["--mode", "midi", "--approx", "0.01"]),
    # "approx" without a value restores 0.5; "mode Freq" is mode 0.
    ("hz_reset", "S0", ["mode Freq", "approx"], "chords_hz.txt", ["--approx", "0.5"]),
    ("hz_a1_arg", "S1", [], "chords_hz.txt", ["--approx", "1"]),
    ("midi_a0.25_arg", "S2", [], "chords_midi.txt", ["--mode", "midi", "--approx", "0.25"]),
    ("pitches_a0_settings", "S3", [], "pitches_midi.txt", ["--mode", "midi", "--approx", "0"]),
]

# Runs of qz.pitchtally: PA is [qz.pitchtally 16 @window 40 @minproba 0.2],
# PB [qz.pitchtally 32 @window 100]. With minproba 0.2, agents whose
# probability is exactly 1/5 (3 of 15) are reported: in Pd, minproba is the
# decimal that was typed, not the single nearest to it.
PITCHTALLY_RUNS = [
    ("dense_16_40", "PA", [], "events_dense.txt",
     ["--agents", "16", "--window", "40", "--minproba", "0.2"]),
    ("melody_32_100", "PB", [], "events_melody.txt",
     ["--agents", "32", "--window", "100", "--minproba", "0"]),
    ("dense_32_40_msg", "PB", ["window 40", "minproba 0.2"], "events_dense.txt",
     ["--agents", "32", "--window", "40", "--minproba", "0.2"]),
    ("melody_16_40", "PA", [], "events_melody.txt",
     ["--agents", "16", "--window", "40", "--minproba", "0.2"]),
    # Settings as the Max attributes store them: a window is truncated to
    # whole ms and raised to 1; minproba is clipped to 0..1.
    ("melody_32_40_trunc", "PB", ["window 40.9", "minproba -3"], "events_melody.txt",
     ["--agents", "32", "--window", "40", "--minproba", "0"]),
    ("dense_16_1_clip", "PA", ["window 0.5", "minproba 1.5"], "events_dense.txt",
     ["--agents", "16", "--window", "1", "--minproba", "1"]),
]

# Wait between two runs of qz.pitchtally: longer than any window, so every
# agent of a run has reported before the next run starts its clock.
PAD_MS = 1000.0


def single(x):
    """x rounded to IEEE single precision, as a double."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def same_single(a, b):
    """Whether two values are the same single (every NaN is alike)."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return struct.pack("f", single(a)) == struct.pack("f", single(b))


def numbers(line):
    """The fields of a corpus line as numbers, or None when one is not a
    finite number after narrowing to single (Pd cannot type inf or nan, and
    reads a word that is not a number as a symbol)."""
    out = []
    for word in line.split():
        try:
            v = single(float(word))
        except ValueError:
            return None
        if not math.isfinite(v):
            return None
        out.append(v)
    return out


def chords(path):
    """The corpus chords that Pd can type, narrowed to single."""
    result = []
    skipped = 0
    with open(path) as f:
        for raw in f:
            line = raw.split("#")[0].strip()
            if not line:
                continue
            values = numbers(line)
            if values is None:
                skipped += 1
                continue
            result.append(values)
    return result, skipped


def events(path):
    """The corpus events (time, "stop") or (time, pitch[, amp]), values
    narrowed to single; the header line is dropped."""
    result = []
    with open(path) as f:
        for raw in f:
            fields = raw.split("#")[0].split()
            if not fields:
                continue
            try:
                t = float(fields[0])
            except ValueError:
                continue  # header
            if fields[1] == "stop":
                result.append((t, "stop"))
            else:
                result.append((t, tuple(single(float(v)) for v in fields[1:])))
    return result


def text(v):
    """A number as text that reads back as the same double."""
    return repr(v)


def run_native(qz, command, args, lines, workdir, name):
    """Runs `qz command args -` (qz: the program and its global options) on
    the lines; returns the fields of each output line and the stderr lines."""
    data = "".join(line + "\n" for line in lines)
    with open(os.path.join(workdir, name + ".native.in"), "w") as f:
        f.write(data)  # kept for a look after a failure
    r = subprocess.run(qz + [command] + args + ["-"], input=data, capture_output=True, text=True,
                       timeout=PD_TIMEOUT)
    # The tool's own warnings (a midi-mode partial outside 0-127) are not the
    # object's: Pd has nothing to match them with.
    errors = [e for e in r.stderr.splitlines()
              if e.strip() and not e.startswith(f"qz {command}: warning: ")]
    return [line.split() for line in r.stdout.splitlines() if line.strip()], errors


def build_sequence(qz, corpus, workdir, failures):
    """Writes seq.txt for qz_test.pd and returns, per tag, what the native qz
    printed: ("subtone" or "report", rows, errors)."""
    seq = []
    expected = {}
    for tag, target, messages, file, args in SUBTONE_RUNS:
        rows, skipped = chords(os.path.join(corpus, file))
        lines = [" ".join(text(v) for v in row) for row in rows]
        native, errors = run_native(qz, "subtone", args, lines, workdir, tag)
        if len(native) != len(rows) and not errors:
            failures.append(f"{tag}: native qz printed {len(native)} results for {len(rows)} chords")
        expected[tag] = ("subtone", native, errors)
        seq.append(f"0 tag {tag}")
        seq += [f"0 {target} {m}" for m in messages]
        seq += [f"0 {target} {line}" for line in lines]
    for tag, target, messages, file, args in PITCHTALLY_RUNS:
        evs = events(os.path.join(corpus, file))
        lines = []
        seq.append(f"{PAD_MS:g} tag {tag}")
        # The amplitude of a new object, as the native run starts with.
        seq.append(f"0 {target}r 0")
        seq += [f"0 {target} {m}" for m in messages]
        clock = 0.0  # where Pd's delay chain stands: the sum of the single delays
        for t, what in evs:
            delay = single(t - clock)
            if clock + delay != t:
                failures.append(f"{tag}: time {t} is not reachable with single delays")
            clock += delay
            if what == "stop":
                lines.append(f"{text(t)} stop")
                seq.append(f"{text(delay)} {target} stop")
            else:
                fields = " ".join(text(v) for v in what)
                lines.append(f"{text(t)} {fields}")
                # "pitch amp" as a list: Pd hands the amplitude to the right
                # inlet first, then the pitch to the left one.
                seq.append(f"{text(delay)} {target} {fields}")
        native, errors = run_native(qz, "pitchtally", args, lines, workdir, tag)
        expected[tag] = ("report", native, errors)
    seq.append(f"{PAD_MS:g} end")
    seq.append("1000000 end")  # read after "end"; never reached
    with open(os.path.join(workdir, "seq.txt"), "w") as f:
        f.write("".join(line + ";\n" for line in seq))
    return expected


def export_failures(externals):
    """Pd loads externals with RTLD_GLOBAL: each may export its setup routine
    and nothing else, and none may depend on the embedded Max host, whose
    class_new, clock_new, ... would meet Pd's own."""
    failures = []
    for name, setup in (("qz.subtone", "setup_qz0x2esubtone"),
                        ("qz.pitchtally", "setup_qz0x2epitchtally")):
        path = os.path.join(externals, name + ".pd_linux")
        r = subprocess.run(["nm", "-D", "--defined-only", path], capture_output=True, text=True)
        exported = {line.split()[-1] for line in r.stdout.splitlines() if line.strip()}
        if r.returncode != 0 or exported != {setup}:
            failures.append(f"{name}.pd_linux exports {sorted(exported)}, not just {setup}")
        r = subprocess.run(["readelf", "-d", path], capture_output=True, text=True)
        if r.returncode != 0 or "qzhost" in r.stdout:
            failures.append(f"{name}.pd_linux needs the embedded host (or readelf failed)")
    return failures


def run_pd(pd, externals, patch_dir, patch, extra=()):
    cmd = [pd, "-nogui", "-noprefs", "-nosound", "-batch", "-stderr", "-path", externals,
           "-open", os.path.join(patch_dir, patch)] + list(extra)
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=PD_TIMEOUT, cwd=patch_dir)
    return r.returncode, (r.stdout + r.stderr).splitlines()


def load_failures(name, lines):
    """Lines that tell a box was not created."""
    return [f"{name}: {line}" for line in lines if "couldn't create" in line]


def parse_pd(lines):
    """What qz_test.pd printed, per tag: [(kind, values)] and error texts."""
    runs = {}
    current = None
    stray = []
    for line in lines:
        if line.startswith("tag: "):
            current = line[5:].strip()
            runs[current] = ([], [])
        elif line.startswith("subtone: ") or line.startswith("report: "):
            kind, _, rest = line.partition(": ")
            words = [w for w in rest.split() if w not in ("list", "symbol")]
            if current is None:
                stray.append(line)
            else:
                runs[current][0].append((kind, words))
        elif line.startswith("error: "):
            if current is None:
                stray.append(line)
            else:
                runs[current][1].append(line[len("error: "):])
        elif line.startswith("unrouted: ") or "couldn't create" in line:
            stray.append(line)
    return runs, stray


def compare(tag, kind, native, native_errors, pd_rows, pd_errors, failures):
    pd_values = [words for k, words in pd_rows if k == kind]
    if len(pd_values) != len(native):
        failures.append(f"{tag}: Pd printed {len(pd_values)} {kind} lines, native qz {len(native)}")
    wrong = 0
    for i, (n, p) in enumerate(zip(native, pd_values)):
        if len(n) != len(p) or not all(same_single(float(a), float(b)) for a, b in zip(n, p)):
            wrong += 1
            if wrong <= 5:
                failures.append(f"{tag}: line {i + 1}: native {' '.join(n)} (narrowed "
                                f"{' '.join('%.9g' % single(float(a)) for a in n)}), "
                                f"Pd {' '.join(p)}")
    if wrong > 5:
        failures.append(f"{tag}: {wrong} lines differ in all")
    # The native tool prefixes its console errors with the class name as Pd's
    # do; any error only Pd posted is a failure.
    if pd_errors != native_errors:
        failures.append(f"{tag}: Pd errors {pd_errors} differ from native qz errors {native_errors}")
    return len(pd_values)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--pd", required=True)
    ap.add_argument("--qz", required=True)
    ap.add_argument("--qz-externals", help="where the native qz finds the Max plug-ins")
    ap.add_argument("--externals", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    a.externals = os.path.abspath(a.externals)
    a.work = os.path.abspath(a.work)

    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    for patch in ("qz_test.pd", "creation_test.pd"):
        shutil.copy(os.path.join(HERE, patch), a.work)

    failures = export_failures(a.externals)
    qz = [a.qz] + (["--externals", a.qz_externals] if a.qz_externals else [])
    expected = build_sequence(qz, a.corpus, a.work, failures)
    rc, lines = run_pd(a.pd, a.externals, a.work, "qz_test.pd")
    if rc != 0:
        failures.append(f"qz_test.pd: pd exited with {rc}")
    failures += load_failures("qz_test.pd", lines)
    runs, stray = parse_pd(lines)
    failures += [f"qz_test.pd: unexpected line: {line}" for line in stray]
    for tag, (kind, native, native_errors) in expected.items():
        if tag not in runs:
            failures.append(f"{tag}: Pd never reached this run")
            continue
        n = compare(tag, kind, native, native_errors, runs[tag][0], runs[tag][1], failures)
        print(f"{tag}: {n} {kind} values compared")
        # In Hz the search's result is a single: Pd sends it unchanged.
        if kind == "subtone" and "--mode" not in SUBTONE_ARGS[tag]:
            inexact = [v for (v,) in native if float(v) != single(float(v))]
            if inexact:
                failures.append(f"{tag}: Hz results that are not singles: {inexact[:3]}")

    # Help patches: opened, and closed by a message once loaded.
    for help_patch in ("qz.subtone-help.pd", "qz.pitchtally-help.pd"):
        rc, lines = run_pd(a.pd, a.externals, a.externals, help_patch, ["-send", "pd quit"])
        if rc != 0:
            failures.append(f"{help_patch}: pd exited with {rc}")
        failures += load_failures(help_patch, lines)
        failures += [f"{help_patch}: {line}" for line in lines if line.startswith("error:")]
        print(f"{help_patch}: opened")

    # Creation paths: their errors are expected, in the order of the boxes.
    rc, lines = run_pd(a.pd, a.externals, a.work, "creation_test.pd")
    failures += load_failures("creation_test.pd", lines)
    got = [line for line in lines if line.startswith(("error:", "time:", "pitch:", "proba:"))]
    if got != CREATION_EXPECTED:
        failures.append("creation_test.pd printed:\n  " + "\n  ".join(got) +
                        "\nexpected:\n  " + "\n  ".join(CREATION_EXPECTED))
    print("creation_test.pd: checked")

    for f in failures:
        print("FAIL " + f, file=sys.stderr)
    return 1 if failures else 0


SUBTONE_ARGS = {tag: args for tag, _, _, _, args in SUBTONE_RUNS}

# What creation_test.pd prints, in order. The error texts are those of the
# Max objects; the report follows from the settings by hand: one agent of
# pitch 60 alone in its window of 250 ms reports probability 1 at 250 ms.
CREATION_EXPECTED = [
    "error: qz.pitchtally: Number of stat agents needed",
    "error: qz.pitchtally: Number of stat agents needed as first argument",
    "error: qz.pitchtally: Number of stat agents needed as first argument",
    "error: qz.pitchtally: -3 stat agents requested: at least 1 is needed, using 100",
    "error: qz.subtone: no method for 'bogus'",
    "proba: 1",
    "pitch: 60",
    "time: 250",
]

if __name__ == "__main__":
    sys.exit(main())

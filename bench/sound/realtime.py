#!/usr/bin/env python3
"""How much faster than real time qz subtone --audio reads a sound: three
minutes of stereo 44.1 kHz, Old Hundredth (tests/score/midi/old100th.mid,
piano) played six times over by fluidsynth with the FluidR3 GM soundfont
and cut to 180 s by sox. Prints, for the segments (--segments) and the
frame mode, the best wall time of five runs, the CPU time of that run and
the real-time factor (180 s over the wall time; the target for --segments
is 50 or more). Run by hand:

    python3 bench/sound/realtime.py build/bin/qz [QZ OPTIONS]

The machine should be otherwise idle: the wall time counts what other
processes take from qz.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PIECE = os.path.join(HERE, "..", "..", "tests", "score", "midi", "old100th.mid")
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
SECONDS = 180
RUNS = 5


def make_sound(path, folder):
    long = os.path.join(folder, "long.wav")
    subprocess.run(["fluidsynth", "-ni", "-q", "-F", long, "-r", "44100", SOUNDFONT,
                    *[PIECE] * 6], check=True)
    subprocess.run(["sox", long, "-r", "44100", "-c", "2", path, "trim", "0", str(SECONDS)],
                   check=True)
    out = subprocess.run(["soxi", "-D", path], capture_output=True, text=True, check=True)
    return float(out.stdout)


def timed(cmd):
    """(wall s, CPU s) of the best of RUNS runs."""
    best = None
    for _ in range(RUNS):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        began = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
        wall = time.perf_counter() - began
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        if best is None or wall < best[0]:
            best = (wall, cpu)
    return best


def main():
    qz = sys.argv[1] if len(sys.argv) > 1 else "build/bin/qz"
    options = sys.argv[2:]
    has_segments = "--segments" in subprocess.run(
        [qz, "subtone", "--help"], capture_output=True, text=True).stdout
    with tempfile.TemporaryDirectory() as folder:
        sound = os.path.join(folder, "three-minutes.wav")
        length = make_sound(sound, folder)
        print(f"{length:.1f} s of stereo 44.1 kHz, best of {RUNS} runs")
        print("| qz subtone --audio F | wall s | CPU s | real-time factor |")
        print("|---|---|---|---|")
        modes = [["--segments"], []] if has_segments else [[]]
        for mode in modes:
            wall, cpu = timed([qz, "subtone", "--audio", sound, *mode, *options])
            name = " ".join(mode + options) or "(frames)"
            print(f"| {name} | {wall:.3f} | {cpu:.3f} | {length / wall:.0f}x |")
        if not has_segments:
            print("(this qz has no --segments)")


if __name__ == "__main__":
    main()

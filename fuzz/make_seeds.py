#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus/ (the files named after what
they do; the others are inputs the fuzzer found).

Each seed is the byte string that makes a fuzz program take one chosen
path: FuzzedDataProvider reads its integers from the end of the input, one
byte at a time, most significant first, as many bytes as the range needs,
and takes the value modulo the range's size. The seeds pin faults that the
committed corpus once missed in replay:
  - a take-over of the reporting slot during each of the three sends of a
    report (fuzz_pitchtally, one agent, one outlet fed back as a pitch);
  - `mode` values other than 0 and 1 (2, -1 and the 32- and 64-bit extremes)
    from the creation arguments and from the attribute, each followed by the
    chord 60 64 67 (fuzz_subtone_list: the reference reads every non-zero
    mode as MIDI);
  - the most demanding chord within 0.5 Hz to 2 MHz (2000000 1999999 at
    approximation 0), which the work budget must let through.
The sequences follow the programs' code; after changing what a program
reads, rerun this and check that each seed still takes its path
(QZ_FUZZ_TRACE=1 build/bin/fuzz_NAME FILE prints what an input does).

    python3 fuzz/make_seeds.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    def __init__(self):
        self.consumed = []  # bytes in the order the program consumes them

    def int_in(self, value, lo, hi, bits=32):
        span = hi - lo
        assert lo <= value <= hi
        n = 0
        while n * 8 < bits and (span >> (n * 8)) > 0:
            n += 1
        off = (value - lo) % (1 << (8 * n)) if n else 0
        self.consumed += list(off.to_bytes(n, "big")) if n else []
        return self

    def boolean(self, b):
        return self.int_in(1 if b else 0, 0, 255, 8)

    def pick(self, index, count):
        return self.int_in(index, 0, count - 1, 64)

    def int64(self, value):  # ConsumeIntegral<int64_t>: the whole range
        self.consumed += list(((value + (1 << 63)) % (1 << 64)).to_bytes(8, "big"))
        return self

    def data(self):
        return bytes(reversed(self.consumed))


def write(program, name, seed):
    path = os.path.join(HERE, "corpus", program, name)
    with open(path, "wb") as f:
        f.write(seed.data())
    print(path)


# ---- fuzz_pitchtally --------------------------------------------------------

def restart_during(route):
    """qz.pitchtally 1 (window 500), outlet `route` fed back to the left
    inlet; pitch 60, then 600 ms: the report at 500 sends a value back, the
    full pool takes slot 0 over while that slot is reporting."""
    s = Seed()
    s.int_in(1, 0, 7).int_in(1, -2, 12)  # a count: 1 agent
    s.boolean(False).boolean(False)  # no @window, no @minproba
    s.int_in(0, 0, 3).int_in(route, 0, 2).boolean(False)  # feedback from `route`
    s.int_in(0, 0, 9).int_in(1, 0, 3).pick(0, 8)  # pitch 60
    s.int_in(9, 0, 9).int_in(600, 0, 600)  # advance 600 ms
    return s


# ---- fuzz_subtone_list ------------------------------------------------------

WORDS = 20  # fuzz_host.hpp kWords: "@mode" is the first
EDGES = [0, 1, -1, 2, 16, 100, 32767, 32768, 65535, 65536, -32768, 2**31 - 1, -2**31,
         2**63 - 1, -2**63, 0x80000001, 0x100000000, -0x80000001]  # any_long's edges


def any_long(s, value):
    if value in EDGES:
        s.int_in(0, 0, 2).pick(EDGES.index(value), len(EDGES))
    elif -200 <= value <= 200:
        s.int_in(1, 0, 2).int_in(value, -200, 200, 64)
    else:
        s.int_in(2, 0, 2).int64(value)


def long_partials(s, values):
    s.int_in(3, 0, 7).int_in(1, 0, 15).int_in(len(values), 0, 64)  # a list of n
    for v in values:
        s.int_in(1, 0, 9).boolean(True)  # an integer atom
        any_long(s, v)


def mode_from_args(mode):
    s = Seed()
    s.boolean(False)  # no approximation argument: 0.5
    s.boolean(True).pick(0, WORDS).boolean(False).int_in(0, 0, 2)  # @mode <integer>
    any_long(s, mode)
    long_partials(s, [60, 64, 67])
    return s


def mode_from_attribute(mode):
    s = Seed()
    s.boolean(False).boolean(False)  # qz.subtone
    s.int_in(0, 0, 7).int_in(1, 0, 5).boolean(False).int_in(0, 0, 2)  # set mode <integer>
    any_long(s, mode)
    long_partials(s, [60, 64, 67])
    return s


def two_megahertz():
    s = Seed()
    s.boolean(True).int_in(0, 0, 2)  # qz.subtone 0
    any_long(s, 0)
    s.boolean(False)
    long_partials(s, [2000000, 1999999])
    return s


# ---- fuzz_segments ----------------------------------------------------------

def seg_value(s, v, lo, hi):
    """fuzz_segments' value(): a finite number in hundredths, or a kind."""
    specials = {"zero": 0, "nan": 1, "inf": 2, "-inf": 3}
    if v in specials:
        s.int_in(specials[v], 0, 7)
    else:
        s.int_in(4, 0, 7).int_in(round((v - lo) * 100), 0, round((hi - lo) * 100))


def seg_start(partials, change, window, hop, lag):
    s = Seed()
    s.int_in(partials, 1, 64, 64).int_in(change, 0, 2).int_in(window, 0, 2)
    s.int_in(hop, 0, 2).int_in(lag, 0, 2)
    return s


def seg_onset(s, ms):
    s.int_in(0, 0, 3)
    seg_value(s, ms, -1000.0, 100000.0)


def seg_frame(s, peaks, step=1):
    s.int_in(1, 0, 3).int_in(step, 1, 3).int_in(len(peaks), 0, 80, 64)
    for f, a in peaks:
        seg_value(s, f, -10.0, 30000.0)
        seg_value(s, a, -1.0, 2.0)


def two_chords():
    """Onsets at 0 and 930 ms, 80 frames (11.6 ms apart, a window of
    92.9 ms) of 200, 300, 400 Hz, then 80 of 250 and 375 Hz."""
    s = seg_start(6, 1, 1, 1, 1)
    seg_onset(s, 0.0)
    for _ in range(80):
        seg_frame(s, [(200.0, 0.5), (300.0, 0.25), (400.0, 0.12)])
    seg_onset(s, 930.0)
    for _ in range(80):
        seg_frame(s, [(250.0, 0.4), (375.0, 0.2)])
    return s


def odd_values():
    """Onsets that are not numbers, infinite or negative, and peaks of
    every kind of value, between frames of one chord."""
    s = seg_start(3, 2, 0, 0, 0)
    for ms in ("nan", "inf", "-inf", -500.0, 5.0, 5.0, 3.0):
        seg_onset(s, ms)
        seg_frame(s, [(440.0, 1.0), ("nan", 0.5), (220.0, "inf"), ("zero", "zero"),
                      (-5.0, 0.1), ("inf", "nan"), (660.0, -0.5)], step=3)
    return s


def long_drone():
    """1,100 frames of one chord and no onset: more than one segment may
    hold."""
    s = seg_start(64, 0, 0, 0, 0)
    for _ in range(1100):
        seg_frame(s, [(110.0, 0.3), (165.0, 0.3)])
    return s


def main():
    write("fuzz_segments", "seed-two-chords-with-onsets", two_chords())
    write("fuzz_segments", "seed-odd-values", odd_values())
    write("fuzz_segments", "seed-long-drone", long_drone())
    for route, name in ((2, "proba"), (1, "avgamp"), (0, "pitch")):
        write("fuzz_pitchtally", f"seed-takeover-during-{name}-send", restart_during(route))
    for mode, name in ((2, "2"), (-1, "minus1"), (-2**31, "int32min"), (2**31 - 1, "int32max")):
        write("fuzz_subtone_list", f"seed-mode-{name}-argument-60-64-67", mode_from_args(mode))
    for mode, name in ((2, "2"), (-1, "minus1"), (-2**63, "int64min"), (0x100000000, "2pow32")):
        write("fuzz_subtone_list", f"seed-mode-{name}-attribute-60-64-67", mode_from_attribute(mode))
    write("fuzz_subtone_list", "seed-budget-2000000-1999999-approx0", two_megahertz())


if __name__ == "__main__":
    main()

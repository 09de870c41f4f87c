#!/usr/bin/env python3
"""An independent transcription of qz.subtone's arithmetic, for the literal
expected values of the subtone tests.

Every single- and double-precision step is computed exactly with fractions
and rounded once to the format the step names (round to nearest, ties to
even); exp2 and log2 are computed with the decimal module at 60 digits and
rounded once to double. Nothing here shares code with the product, so a
fault in its conversions or search does not show up here too.

    python3 tests/subtone/literal_search.py          # prints every case
    python3 tests/subtone/literal_search.py 440 550 660 --approx 0.5 [--midi] [--prune]

--prune skips subtrees in which some later partial has no window meeting
the interval (see may_fit): the same value, without the exponential work
of lists such as 1000000 1000001 3 (billions of steps otherwise); the step
count then covers only the calls made.

Each line gives the case, the value as a hex float (as the tests write it)
and in decimal. The 2 MHz pair at approximation 0 walks about 1.7 million
harmonic numbers; the whole run takes several minutes.
"""
import math
import sys
from decimal import Decimal, getcontext
from fractions import Fraction as F

getcontext().prec = 60
LN2 = Decimal(2).ln()
NAN = None  # not a number: every comparison with it is false
INF = float("inf")


def _round(x, mant_bits, emin, emax):
    """x (a Fraction, or +-inf) rounded to the binary format with mant_bits
    significant bits: ties to even, gradual underflow, overflow to inf."""
    if x is NAN or isinstance(x, float):
        return x
    if x == 0:
        return F(0)
    sign = -1 if x < 0 else 1
    a, b = abs(x.numerator), x.denominator
    e = a.bit_length() - b.bit_length()
    if (a << max(0, -e)) < (b << max(0, e)):
        e -= 1  # now 2^e <= a/b < 2^(e+1)
    e = max(e, emin)  # subnormals share the smallest exponent
    shift = mant_bits - 1 - e  # a/b * 2^shift has mant_bits integer bits
    num, den = (a << shift, b) if shift >= 0 else (a, b << -shift)
    q, r = divmod(num, den)
    if 2 * r > den or (2 * r == den and q % 2 == 1):
        q += 1
    v = F(q, 1 << shift) if shift >= 0 else F(q << -shift)
    if v >= F(2) ** (emax + 1):
        return sign * INF
    return sign * v


def f32(x):
    return _round(x, 24, -126, 127)


def f64(x):
    return _round(x, 53, -1022, 1023)


def lt(a, b):
    return a is not NAN and b is not NAN and a < b


def div(a, b):
    if a is NAN or b is NAN:
        return NAN
    if b == 0:
        return NAN if a == 0 else (INF if a > 0 else -INF)
    if isinstance(a, float) or isinstance(b, float):
        return float(a) / float(b)
    return a / b


def exp2(x):  # correctly rounded 2^x, double in, double out
    return f64(F((Decimal(x.numerator) / Decimal(x.denominator) * LN2).exp()))


def log2(x):  # correctly rounded log2(x) for x > 0
    return f64(F((Decimal(x.numerator) / Decimal(x.denominator)).ln() / LN2))


def midi_to_hz(m):
    return f32(f64(exp2(f64(f64(m - 69) / 12)) * 440))


def hz_to_midi(f):
    if f == 0:
        return -INF
    return f32(f64(f64(log2(f64(F(f) / 440)) * 12) + 69))


def tolerance_from_midi(a):
    return f32(f64(exp2(f64(F(a) / 12)) - 1))


def accepted(r):
    return not (r is not NAN and -1 < r < 1)


LIMIT = None  # most search steps one compute may take, or None
PRUNE = False  # skip subtrees that provably hold no accepted result (below)


class TooLong(Exception):
    """The search took more than LIMIT steps."""


def may_fit(p, lo, hi, t):
    """False only when some partial q > 0 of p has no window
    [q / u / n, q * u / n] (single quotients, n >= 1) that meets [lo, hi].
    An accepted leaf's interval lies inside [lo, hi] and inside the window
    chosen for each later partial, so such a subtree accepts nothing.
    Both window ends fall as n grows: the smallest n whose lower end is at
    most hi has the highest upper end of all that qualify."""
    u = f32(t + 1)
    if not (u > 1) or lo is NAN or hi is NAN or isinstance(hi, float) or hi <= 0:
        return True
    for q in p:
        if isinstance(q, float) or q <= 0:
            continue  # 0, infinities, negatives: not constrained here
        flo, fhi = f32(q / u), f32(q * u)
        if isinstance(fhi, float):
            continue
        n = max(1, math.floor(flo / hi) - 2)
        while f32(flo / n) > hi:
            n += 1
        if f32(fhi / n) < lo:
            return False
    return True


def search(p, lo, hi, t, counter):
    """The search as the design states it, one level per partial, with the
    harmonic counter held in single precision; a level ends where adding 1
    no longer changes the counter (from 2^24 on)."""
    counter[0] += 1
    if LIMIT is not None and counter[0] > LIMIT:
        raise TooLong()
    if not (lo is not NAN and hi is not NAN and lo <= hi):
        return F(0)
    if not p:
        return f32(f32(lo + hi) / 2)
    f = p[0]
    u = f32(t + 1)
    fhi, flo = f32(f * u), f32(div(f, u))
    n_last = f32(div(fhi, lo))  # single quotients, then floor / ceil in double
    n_first = f32(div(flo, hi))
    if n_last is NAN or n_first is NAN:
        return F(0)
    n_last = f32(math.floor(n_last)) if not isinstance(n_last, float) else n_last
    n_first = f32(math.ceil(n_first)) if not isinstance(n_first, float) else n_first
    n = n_first
    while n <= n_last:
        ch = div(fhi, n)
        ch = ch if ch is NAN else f32(ch)
        new_hi = ch if lt(ch, hi) else hi
        cl = div(flo, n)
        cl = cl if cl is NAN else f32(cl)
        new_lo = cl if lt(lo, cl) else lo
        if PRUNE and not may_fit(p[1:], new_lo, new_hi, t):
            r = F(0)
        else:
            r = search(p[1:], new_lo, new_hi, t, counter)
        if accepted(r):
            return r
        nxt = f32(n + 1)
        if nxt == n:  # from 2^24 on n + 1 rounds back to n: the level ends
            break
        n = nxt
    return F(0)


def round_half_away(x):
    return math.floor(x + F(1, 2)) if x >= 0 else -math.floor(-x + F(1, 2))


def compute(partials_hz, approx, midi):
    a = f32(F(approx))
    t = tolerance_from_midi(a)
    p = [f32(F(v)) if not isinstance(v, F) else v for v in partials_hz]
    hi = f32(f64(f64(1 + t) * p[0]))
    counter = [0]
    r = search(p, f32(F(1, 10)), hi, t, counter)
    if not midi:
        return r, counter[0]
    m = hz_to_midi(r)
    if a == 0 or m in (INF, -INF):
        return m, counter[0]
    q = f32(m / a)
    return f64(a * round_half_away(q)), counter[0]


def hexf(v):
    if isinstance(v, float):
        return repr(v)
    return float(v).hex()


CASES = [
    # (partials, approx, MIDI input and output)
    ([440, 550, 660], 0.5, False),
    ([440], 0.5, False),
    ([440, 660], 0.5, False),
    ([440, 550, 660], 3, False),
    ([440, 0, 660], 0, False),
    ([60, 64, 67], 0.5, True),
    ([60, 64, 67], 1, True),
    ([60.1, 64, 67], 0.5, True),
    ([69, 76], 0, True),
    ([60.3], 0, True),
    (["x", 60, 67], 0.5, True),  # "x": a slot holding 0 Hz
    ([60, "x", 67], 0.5, True),
    ([1999999, 1999998], 0, False),
    ([2000000, 1999999], 0, False),
    ([1000000, 1000001, 3], 0.5, False, "prune"),  # billions of steps unpruned
    ([440, 0, F(10) ** 30], 1000, False),
]

# Long lists, by name: 32,767 harmonics of 55 Hz (55 to 19,965 Hz) in a
# scrambled order, as tests/reliability/hostile_input_test.cpp makes them.
LONG = {
    "harmonics of 55 Hz": [55 * (1 + (i * 7919) % 363) for i in range(32767)],
}


def run(partials, approx, midi, label=None):
    hz = []
    for v in partials:
        if v == "x":
            hz.append(F(0))
        elif midi:
            hz.append(midi_to_hz(f32(F(v))))
        else:
            hz.append(f32(F(v)))
    value, nodes = compute(hz, approx, midi)
    label = label or " ".join(map(str, partials))
    print(f"{label} approx {approx}{' midi' if midi else ''}: "
          f"{hexf(value)} ({float(value)!r}), {nodes} search steps")


def main(argv):
    global PRUNE
    PRUNE = "--prune" in argv
    argv = [a for a in argv if a != "--prune"]
    if len(argv) > 1:
        midi = "--midi" in argv
        approx = 0.5
        if "--approx" in argv:
            approx = F(argv[argv.index("--approx") + 1])
        words = [w for i, w in enumerate(argv[1:], 1)
                 if not w.startswith("--") and argv[i - 1] != "--approx"]
        run([w if w == "x" else F(w) for w in words], approx, midi)
        return
    for a in (0.5, 1, 0, 0.25, -1, F(1, 10), 2, 3):
        print(f"tolerance_from_midi({a}) = {hexf(tolerance_from_midi(f32(F(a))))}")
    for partials, approx, midi, *prune in CASES:
        PRUNE = bool(prune)
        run([v if v == "x" else F(v) for v in partials], F(approx), midi,
            " ".join(map(str, partials)))
    PRUNE = False
    for label, partials in LONG.items():
        for approx in (F(1, 2), F(0)):
            run([F(v) for v in partials], approx, False, label)


if __name__ == "__main__":
    sys.setrecursionlimit(100000)
    main(sys.argv)

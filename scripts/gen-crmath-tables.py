#!/usr/bin/env python3
"""Prints the double-double constants of host/crmath.h, computed with
Python's decimal module at 80 significant digits: each constant is split into
hi = the nearest double and lo = the nearest double to the rest."""
from decimal import Decimal as D, getcontext

getcontext().prec = 80


def dd(x):
    hi = float(x)
    lo = float(x - D(hi))
    return "{%s, %s}" % (float.hex(hi), float.hex(lo))


ln2 = D(2).ln()
print("// ln 2 and 1/ln 2")
print("inline constexpr dd kLn2 = %s;" % dd(ln2))
print("inline constexpr dd kInvLn2 = %s;" % dd(1 / ln2))
print("// 2^(j/128), j = 0..127")
print("inline constexpr dd kExp2Table[128] = {")
for j in range(128):
    print("    %s," % dd((D(j) / 128 * ln2).exp()))
print("};")
fact = D(1)
print("// 1/k!, k = 0..10")
print("inline constexpr dd kInvFactorial[11] = {")
for k in range(11):
    if k:
        fact *= k
    print("    %s," % dd(1 / fact))
print("};")
print("// 1/(2k+1), k = 0..21")
print("inline constexpr dd kInvOdd[22] = {")
for k in range(22):
    print("    %s," % dd(D(1) / (2 * k + 1)))
print("};")

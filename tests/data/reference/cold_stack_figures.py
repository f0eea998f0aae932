#!/usr/bin/python3
"""Voc, Jsc and Pmax of the default cell's series stack (all junctions lit) at deep-cold temperatures, to 40
digits: the two-diode junctions' balance and the temperature laws solved by bisection in mpmath, independently
of the program's solver. tests/model/exact_circuit_test.cpp holds the printed values.

    /usr/bin/python3 tests/data/reference/cold_stack_figures.py
"""
from mpmath import mp, mpf, exp

mp.dps = 50
VT0 = mpf("0.025851")
T_REF = mpf("26.85")
ZERO_C = mpf("273.15")
# The default form: per junction Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2, Eg.
JUNCTIONS = [
    ("5", "5000", "0.008", "40e-12", "400e-9", "1", "2", "0.67"),
    ("5", "10000", "0.012", "1e-12", "80e-9", "1", "2", "1.40"),
    ("5", "500", "0.016", "50e-9", "1e-6", "1", "2", "1.85"),
]


def cell(T):
    r = (mpf(T) + ZERO_C) / (T_REF + ZERO_C)
    vt = VT0 * r
    out = []
    for rs, rp, jsc, jsd1, jsd2, m1, m2, eg in JUNCTIONS:
        eg = mpf(eg)
        cooling = 1 - 1 / r
        out.append(dict(
            Rs=mpf(rs), Rp=mpf(rp), Jsc=mpf(jsc),
            Jsd1=mpf(jsd1) * r**3 * exp(eg / VT0 * cooling),
            Jsd2=mpf(jsd2) * r ** mpf("2.5") * exp(eg / (2 * VT0) * cooling),
            mVt1=mpf(m1) * vt, mVt2=mpf(m2) * vt))
    return out


def bisect(f, lo, hi, steps=400):
    """The root of a decreasing f in [lo, hi]."""
    for _ in range(steps):
        mid = (lo + hi) / 2
        if f(mid) > 0:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def junction_voltage(j, J):
    def balance(vd):
        return (j["Jsc"] - j["Jsd1"] * (exp(vd / j["mVt1"]) - 1) - j["Jsd2"] * (exp(vd / j["mVt2"]) - 1)
                - vd / j["Rp"] - J)
    vd = bisect(balance, -j["Rp"] * (abs(J) + j["Jsc"]) - 1, mpf(10))
    conductance = (j["Jsd1"] / j["mVt1"] * exp(vd / j["mVt1"]) + j["Jsd2"] / j["mVt2"] * exp(vd / j["mVt2"])
                   + 1 / j["Rp"])
    return vd - j["Rs"] * J, -1 / conductance - j["Rs"]


def stack(junctions, J):
    parts = [junction_voltage(j, J) for j in junctions]
    return sum(p[0] for p in parts), sum(p[1] for p in parts)


for T in ("-273", "-270", "-250", "-200", "-100"):
    js = cell(T)
    voc = stack(js, 0)[0]
    jsc = bisect(lambda J: stack(js, J)[0], mpf(0), mpf(1), 200)
    # The maximum of J V(J): where V + J dV/dJ = 0.
    jmp = bisect(lambda J: (lambda v: v[0] + J * v[1])(stack(js, J)), mpf(0), jsc, 200)
    pmax = jmp * stack(js, jmp)[0]
    print(f'{{"{T}", {mp.nstr(voc, 20)}, {mp.nstr(jsc, 20)}, {mp.nstr(pmax, 20)}}},')

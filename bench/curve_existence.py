#!/usr/bin/python3
"""How often a study and the exact figures disagree on which lit curves of a cell have figures of merit, over
random extreme cells: every resistance, photocurrent and saturation current drawn log-uniformly over many
decades, ideality factors from 0.3 to 10. For each study with lit curves, a cell counts when run(study)
gives figures to a curve that figures(study) does not, or the reverse; each kind is printed with its count
and the first cell's two answers. Where both give figures, the largest relative difference of each figure
is printed with its cell, and how many curves differ by more than the sweeps' resolution (1e-5 for Voc,
Jsc, FF and Pmax, 2e-4 for Vmp and Jmp).

    PYTHONPATH=build/python /usr/bin/python3 bench/curve_existence.py [SEED] [CELLS] [rl]

With rl, the studies inside the Rl/Rg network (at its default 1e12 Ohm cm2) instead.
"""
import math
import random
import sys

import pelarin

SERIES_STUDIES = ["independent", "all", "two", "one"]
NETWORK_STUDIES = ["all-rl", "two-rl", "one-rl"]
RANGES = {"Rs": (1e-4, 1e5), "Rp": (1e-2, 1e10), "Jsc": (1e-9, 1), "Jsd1": (1e-30, 1), "Jsd2": (1e-30, 1)}


def draw(rng):
    p = pelarin.Parameters()
    for j in "123":
        def log_uniform(name):
            low, high = RANGES[name]
            return math.exp(rng.uniform(math.log(low), math.log(high)))
        p["Rs" + j], p["Rp" + j], p["Jsc" + j] = log_uniform("Rs"), log_uniform("Rp"), log_uniform("Jsc")
        p["Jsd" + j + "1"], p["Jsd" + j + "2"] = log_uniform("Jsd1"), log_uniform("Jsd2")
        p["m" + j + "1"], p["m" + j + "2"] = rng.uniform(0.3, 10), rng.uniform(0.3, 10)
    return p


RESOLUTION = {"Voc": 1e-5, "Jsc": 1e-5, "FF": 1e-5, "Pmax": 1e-5, "Vmp": 2e-4, "Jmp": 2e-4}


def curves_with_figures(call):
    """The curves that have figures (name -> figures), and why none when the call fails."""
    try:
        return {name: figures for name, figures in call().items() if figures is not None}, None
    except Exception as error:  # a study's calculation error, or figures' RuntimeError naming the curve
        return {}, "%s: %s" % (type(error).__name__, str(error)[:160])


def compare(ran, solved, where, largest, beyond):
    """Each figure's relative difference between the study and the exact figures of the curves both give."""
    for name in set(ran) & set(solved):
        outside = False
        for figure, resolution in RESOLUTION.items():
            a, b = ran[name][figure], solved[name][figure]
            if a is None or b is None:
                outside = outside or (a is None) != (b is None)
                continue
            difference = abs(a - b) / max(abs(b), 1e-300)
            if difference > largest.get(figure, (0,))[0]:
                largest[figure] = (difference, where + (name,))
            outside = outside or difference > resolution
        beyond[0] += outside
        beyond[1] += 1


def main():
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 1)
    cells = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    studies = NETWORK_STUDIES if len(sys.argv) > 3 and sys.argv[3] == "rl" else SERIES_STUDIES
    kinds, largest, beyond = {}, {}, [0, 0]
    for n in range(cells):
        p = draw(rng)
        for study in studies:
            ran, ran_why = curves_with_figures(lambda: pelarin.run(study, p).figures)
            solved, solved_why = curves_with_figures(lambda: pelarin.figures(study, p))
            compare(ran, solved, (n, study), largest, beyond)
            if set(ran) != set(solved):
                kind = (study, "study only: %d" % len(set(ran) - set(solved)),
                        "figures only: %d" % len(set(solved) - set(ran)))
                kinds.setdefault(kind, []).append((n, ran_why, solved_why))
    print("%d cells, %d studies each" % (cells, len(studies)))
    for kind, seen in sorted(kinds.items(), key=lambda item: -len(item[1])):
        n, ran_why, solved_why = seen[0]
        print("%4d %s; first: cell %d, study: %s; figures: %s" % (len(seen), kind, n, ran_why, solved_why))
    print("%d curves with figures on both paths, %d differ beyond the sweeps' resolution" % (beyond[1], beyond[0]))
    for figure, (difference, where) in sorted(largest.items()):
        print("  largest %s difference %.2g (cell %d, %s, %s)" % ((figure, difference) + where))


if __name__ == "__main__":
    main()

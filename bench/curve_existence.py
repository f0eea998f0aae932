#!/usr/bin/python3
"""How often a study and the exact figures disagree on which lit curves of a cell have figures of merit, over
random extreme cells: every resistance, photocurrent and saturation current drawn log-uniformly over many
decades, ideality factors from 0.3 to 10. For each study with lit curves, a cell counts when run(study)
gives figures to a curve that figures(study) does not, or the reverse; each kind is printed with its count
and the first cell's two answers.

    PYTHONPATH=build/python /usr/bin/python3 bench/curve_existence.py [SEED] [CELLS]
"""
import math
import random
import sys

import pelarin

STUDIES = ["independent", "all", "two", "one"]
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


def curves_with_figures(call):
    """The curves that have figures, and why none when the call fails."""
    try:
        return {name for name, figures in call().items() if figures is not None}, None
    except Exception as error:  # a study's calculation error, or figures' RuntimeError naming the curve
        return set(), "%s: %s" % (type(error).__name__, str(error)[:160])


def main():
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 1)
    cells = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    kinds = {}
    for n in range(cells):
        p = draw(rng)
        for study in STUDIES:
            ran, ran_why = curves_with_figures(lambda: pelarin.run(study, p).figures)
            solved, solved_why = curves_with_figures(lambda: pelarin.figures(study, p))
            if ran != solved:
                kind = (study, "study only: %d" % len(ran - solved), "figures only: %d" % len(solved - ran))
                kinds.setdefault(kind, []).append((n, ran_why, solved_why))
    print("%d cells, %d studies each" % (cells, len(STUDIES)))
    for kind, seen in sorted(kinds.items(), key=lambda item: -len(item[1])):
        n, ran_why, solved_why = seen[0]
        print("%4d %s; first: cell %d, study: %s; figures: %s" % (len(seen), kind, n, ran_why, solved_why))


if __name__ == "__main__":
    main()

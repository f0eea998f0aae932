#!/usr/bin/python3
# How often the fit finds the global minimum: 20 random truths whose lit and dark curves the literal study
# makes (the bracketing searches, not the exact solver the fit works on), fitted with five free parameters
# from the form's defaults. A truth counts as found when the fit's cost is no higher than that of a one-start
# fit from the truth itself.
# Usage: bench/fit_truths.py build/batch/pelarin-batch [STARTS [SEED]]
import math
import random
import re
import subprocess
import sys
import tempfile

batch = sys.argv[1]
starts = sys.argv[2] if len(sys.argv) > 2 else "16"
rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 20261208)
free = ["Rs2", "Rp1", "Jsd11", "m12", "Jsd22"]
found = 0
for t in range(20):
    truth = {"Rs2": 10 ** rng.uniform(-1, 1), "Rp1": 10 ** rng.uniform(3, 5), "Jsd11": 10 ** rng.uniform(-13, -9),
             "m12": rng.uniform(1.6, 2.4), "Jsd22": 10 ** rng.uniform(-10, -7)}
    sets = sum([["--set", f"{name}={value:.6g}"] for name, value in truth.items()], [])
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([batch, "all", "--dir", folder] + sets, check=True, capture_output=True)
        tables = f"{folder}/Test_plr/Test_J(V)_AllJunctions"

        def fit(extra, n):
            run = subprocess.run([batch, "fit", "--data", f"lit={tables}.txt", "--data", f"dark={tables}_dark.txt",
                                  "--out", f"{folder}/fit{n}.plr", "--starts", str(n)]
                                 + sum([["--free", name] for name in free], []) + extra,
                                 capture_output=True, text=True)
            cost = re.search(r"cost ([0-9.e+-]+)\)", run.stdout + run.stderr)
            return float(cost.group(1)) if cost else math.inf

        at_truth = fit(sets, 1)
        cost = fit([], starts)
    ok = cost <= at_truth * 1.01 + 1e-10
    found += ok
    print(f"truth {t}: cost {cost:.3e}, at the truth {at_truth:.3e}{'' if ok else '  a local minimum'}", flush=True)
print(f"the global minimum found for {found} of 20 truths with {starts} starts")

#!/usr/bin/python3
"""The 1000 x 1000 exact scan of the stack (Rs1 x Rp1, study all) on 2 threads, side by side: the batch
tool writing its CSV file, and Python's pelarin.scan filling numpy columns. Prints each one's wall time and
peak resident size, and checks that every FF is the same double in both.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_scan_scale.py build [POINTS]

POINTS (1000) sets the points of each axis. Exits 1 when an FF differs or a limit is missed (batch under
6 s, Python under 8 s with a peak under 300 MB), with POINTS at 1000."""
import csv
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
POINTS = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
VARY = {"Rs1": ("log", 0.1, 10, POINTS), "Rp1": ("log", 100, 1e6, POINTS)}

PYTHON_SCAN = """
import sys, numpy, pelarin
t = pelarin.scan("all", pelarin.Parameters(), %r, threads=2)
numpy.save(sys.argv[1], t["FF"])
""" % (VARY,)


def timed(command, env=None):
    """Runs command; returns its wall time and peak resident size in MB (it is the only child so far)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    start = time.monotonic()
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL)
    seconds = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return seconds, max(peak, before) / 1024


def main():
    with tempfile.TemporaryDirectory(prefix="pelarin-scale-") as folder:
        summary = os.path.join(folder, "scan.csv")
        ff_file = os.path.join(folder, "ff.npy")
        env = dict(os.environ, PYTHONPATH=os.path.join(BUILD, "python"))
        py_seconds, py_peak = timed([sys.executable, "-c", PYTHON_SCAN, ff_file], env)
        vary = ["--vary", "Rs1=0.1:10:%d:log" % POINTS, "--vary", "Rp1=100:1e6:%d:log" % POINTS]
        batch_seconds, _ = timed([os.path.join(BUILD, "batch", "pelarin-batch"), "scan", "all", *vary,
                                  "--summary", summary, "-j", "2"])
        with open(summary, newline="") as file:
            rows = csv.reader(line for line in file if not line.startswith("#"))
            column = next(rows).index("FF")
            batch_ff = np.array([float(row[column] or "nan") for row in rows])
        python_ff = np.load(ff_file)
    same = batch_ff.shape == python_ff.shape and np.array_equal(batch_ff, python_ff, equal_nan=True)
    print("%d cells: batch tool %.2f s (CSV written); Python %.2f s, peak %.0f MB; every FF equal: %s"
          % (POINTS * POINTS, batch_seconds, py_seconds, py_peak, same))
    within = batch_seconds < 6 and py_seconds < 8 and py_peak < 300
    return 0 if same and (POINTS != 1000 or within) else 1


if __name__ == "__main__":
    sys.exit(main())

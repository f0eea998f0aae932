"""Efficiency of the default three-junction stack over the shunt and the series resistance of junction 1:
a 60 x 60 exact scan of the study "all", drawn as a colour map.

Usage: PYTHONPATH=build/python /usr/bin/python3 examples/efficiency_map.py [picture.png]
(default examples/efficiency_map.png)."""

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import pelarin  # noqa: E402

N = 60


def main():
    picture = sys.argv[1] if len(sys.argv) > 1 else str(Path(__file__).with_name("efficiency_map.png"))
    p = pelarin.Parameters()
    rows = pelarin.scan("all", p, vary={"Rp1": ("log", 10, 1e5, N), "Rs1": ("lin", 0.1, 40, N)})
    # One row per cell, the first parameter outermost: Rp1 runs down the rows, Rs1 along them.
    efficiency = rows["efficiency"].reshape(N, N)
    rp1 = rows["Rp1"].reshape(N, N)[:, 0]
    rs1 = rows["Rs1"].reshape(N, N)[0, :]

    figure, axes = plt.subplots(figsize=(7.5, 5.5), dpi=120)
    mesh = axes.pcolormesh(rs1, rp1, efficiency, shading="nearest", cmap="viridis")
    lines = axes.contour(rs1, rp1, efficiency, levels=8, colors="white", linewidths=0.7)
    axes.clabel(lines, fmt="%.1f %%", fontsize=8)
    axes.plot(p["Rs1"], p["Rp1"], "o", color="red", label="default cell")
    axes.set_yscale("log")
    axes.set_xlabel("Rs1 (Ohm.cm2)")
    axes.set_ylabel("Rp1 (Ohm.cm2)")
    axes.set_title("Efficiency of the stack (study \"all\", exact figures, %d x %d cells)" % (N, N))
    axes.legend(loc="upper right")
    figure.colorbar(mesh, ax=axes, label="efficiency (%) at 100 mW/cm2")
    figure.tight_layout()
    figure.savefig(picture)
    print("written:", picture)


if __name__ == "__main__":
    main()

"""The Python module against the batch tool it shares its code with, file for file, and its own promises:
the form's refusals, Ctrl-C that leaves a valid scan file, and the README's example as written."""

import csv
import os
import re
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import pelarin

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("PELARIN_BUILD", ROOT / "build"))
BATCH = BUILD / "batch" / "pelarin-batch"
FIGURES = ["Voc", "Jsc", "FF", "Pmax", "Vmp", "Jmp", "efficiency", "incident_power"]


def batch(*args, cwd, status=0):
    done = subprocess.run([str(BATCH), *args], cwd=cwd, capture_output=True, text=True)
    assert done.returncode == status, done.stderr
    return done.stdout


def read_table(path):
    """The V and J columns of a result table (TAB-separated, a header line), each value with half a unit of
    its last digit: the precision of the table's mask."""
    def value(text):
        mantissa, _, exponent = text.strip().upper().partition("E")
        decimals = len(mantissa.partition(".")[2])
        return float(text), 0.5 * 10.0 ** (int(exponent or 0) - decimals)
    rows = [[value(t) for t in line.split("\t")[:2]] for line in path.read_text().splitlines()[1:]]
    return np.array(rows)  # rows of ((V, its precision), (J, its precision))


def assert_same_points(v, j, table):
    """Every row of the table is a point of the curve to the table's precision, and there are as many."""
    assert len(v) == len(table)
    order = np.argsort(v)
    v, j = v[order], j[order]
    for (tv, dv), (tj, dj) in table:
        near = slice(np.searchsorted(v, tv - 1.01 * dv), np.searchsorted(v, tv + 1.01 * dv, side="right"))
        assert np.any(np.abs(j[near] - tj) <= 1.01 * dj), f"no drawn point at V = {tv}, J = {tj}"


def sets(boxes):
    return [arg for name, text in boxes.items() for arg in ("--set", f"{name}={text}")]


@pytest.mark.parametrize("study, table, curve, boxes", [
    ("all", "Test_J(V)_AllJunctions.txt", "stack", {}),
    ("all", "Test_J(V)_AllJunctions_dark.txt", "stack, dark", {"Rp2": "300"}),
    ("independent", "Test_J(V)_#2.txt", "#2 alone", {"Jsc2": "0,02"}),
    ("one", "Test_J(V)_1Junction_#3.txt", "#3 lit, #1 #2 dark", {}),
])
def test_study_curves_are_the_batch_tools_tables(tmp_path, study, table, curve, boxes):
    batch(study, "--dir", ".", "--overwrite", *sets(boxes), cwd=tmp_path)
    drawn = pelarin.run(study, pelarin.Parameters(**boxes)).curves[curve]
    # The same points (a table may run the other way, or join two sweeps in order of voltage).
    assert_same_points(drawn.v, drawn.j, read_table(tmp_path / "Test_plr" / table))


@pytest.mark.parametrize("study, boxes, power", [
    ("all", {}, 100),
    ("two-rl", {"Rl1": "300", "Rg3": "400"}, 100),
    ("independent", {"Jsc1": "0"}, 80),
    ("one", {"Rs3": "20"}, 100),
    ("two", {"T": "80", "X": "30", "Eg2": "1.42", "alpha1": "1e-3"}, 100),
    ("all-rl", {"beta3": "0.5", "beta2": "0.3", "Jsc1": "0.004", "Abd1": "0.5", "Vbd1": "-1"}, 100),
])
def test_exact_figures_are_the_batch_tools_summary(tmp_path, study, boxes, power):
    batch("figures", study, "--summary", "x.csv", "--incident-power", str(power), *sets(boxes), cwd=tmp_path)
    with open(tmp_path / "x.csv", newline="") as file:
        rows = list(csv.reader(file))[1:]
    figures = pelarin.figures(study, pelarin.Parameters(**boxes), incident_power=power)
    assert list(figures) == [row[2] for row in rows]
    for row in rows:
        # Each figure is the very double the CSV writes, in its units.
        assert [float(f) if f else None for f in row[4:]] == [figures[row[2]][k] for k in FIGURES]


@pytest.mark.parametrize("args, vary, options, status", [
    (["--vary", "Rp1=10:1e6:13:log"], {"Rp1": ("log", 10, 1e6, 13)}, {}, 0),
    # The first cell has no figures: its row says why, the batch tool ends with status 4.
    (["--vary", "Jsc2=0:0.01:3"], {"Jsc2": ("lin", 0, 0.01, 3)}, {}, 4),
    (["--vary", "Rs2=1:20:4", "--vary", "Jsc3=0.012:0.02:3", "-j", "2"],
     {"Rs2": ("lin", 1, 20, 4), "Jsc3": ("lin", 0.012, 0.02, 3)}, {"threads": 2}, 0),
    (["--sample", "40", "--seed", "7", "--vary", "Rp1=lognormal:1000:3", "--vary", "Jsc2=normal:0.012:0.001"],
     {"Rp1": ("lognormal", 1000, 3), "Jsc2": ("normal", 0.012, 0.001)}, {"sample": 40, "seed": 7}, 0),
    (["--figures", "curve", "--vary", "Rs1=1:40:3"], {"Rs1": ("lin", 1, 40, 3)}, {"method": "curve"}, 0),
    (["--vary", "T=-150:120:4", "--vary", "X=1:1000:3:log"], {"T": ("lin", -150, 120, 4), "X": ("log", 1, 1000, 3)},
     {}, 0),
])
def test_scan_file_is_the_batch_tools_byte_for_byte(tmp_path, args, vary, options, status):
    p = pelarin.Parameters(Rp3=800)
    batch("scan", "two", "--set", "Rp3=800", "--summary", "batch.csv", *args, cwd=tmp_path, status=status)
    table = pelarin.scan("two", p, vary, summary=tmp_path / "py.csv", **options)
    assert (tmp_path / "py.csv").read_bytes() == (tmp_path / "batch.csv").read_bytes()
    frame = list(csv.DictReader(line for line in open(tmp_path / "py.csv") if not line.startswith("#")))
    assert len(table) == len(frame)
    assert list(table["curve"]) == [row["curve"] for row in frame]
    ff = [float(row["FF"] or "nan") for row in frame]
    assert np.array_equal(ff, table["FF"], equal_nan=True)


@pytest.mark.parametrize("name, text, refusal", [
    ("Rp1", "abc", 'Rp1: "abc" is not a number.'),
    ("Rs2", -1, "Rs2: a resistance cannot be negative"),
    ("m11", "0", "m11: an ideality factor must be above 0"),
    ("md12", "", "m12: the box is empty."),
    ("Jsd31", "-1e-9", "Jsd31: a saturation current cannot be negative"),
    ("T", "-300", "T: the temperature must be above -273.15 and at most 400"),
    ("alpha2", 0.2, "alpha2: a temperature coefficient must be from -0.1 to 0.1"),
    ("beta3", 1.5, "beta3: a luminescent coupling fraction must be from 0 to 1"),
    ("Vbd2", 0, "Vbd2: a breakdown voltage must be above -10000 and below 0 V"),
    ("Abd1", 20, "Abd1: a breakdown strength of 20 with nbd1 = 3.28 makes junction 1's shunt current fall"),
])
def test_a_box_the_form_refuses_raises_value_error_naming_it(name, text, refusal):
    p = pelarin.Parameters()
    with pytest.raises(ValueError) as refused:
        p[name] = text
    assert str(refused.value).startswith(refusal)
    assert p == pelarin.Parameters()  # the cell stays as it was


@pytest.mark.parametrize("name, given, value", [
    ("Rp1", "2000,5", 2000.5),          # a comma is a decimal point
    ("Jsd11", 0.1 + 0.2, 0.1 + 0.2),    # a number reads back to itself
    ("Rs1", 0, 0.001),                  # an empty or zero resistance becomes 0.001
    ("Rl1", "1", 5),                    # a coupling resistance below its limit becomes the limit
    ("Rg2", 1e20, 1e13),
])
def test_a_box_reads_by_the_forms_rules(name, given, value):
    p = pelarin.Parameters()
    p[name] = given
    assert p[name] == value


def test_parameter_file_round_trip_and_refusals(tmp_path):
    p = pelarin.Parameters(Rp1=1234.5, Jsd22="7,5e-8")
    p.save(str(tmp_path / "cell.plr"))
    with pytest.raises(FileExistsError):
        p.save(str(tmp_path / "cell.plr"))
    loaded = pelarin.Parameters.load(str(tmp_path / "cell.plr"))
    assert loaded.to_dict() == p.to_dict() and loaded.name == "cell"
    # The batch tool reads the file to the same cell.
    batch("figures", "all", "--params", "cell.plr", "--summary", "x.csv", cwd=tmp_path)
    row = list(csv.reader(open(tmp_path / "x.csv")))[1]
    assert float(row[6]) == pelarin.figures("all", loaded)["stack"]["FF"]
    lines = (tmp_path / "cell.plr").read_text().splitlines()
    (tmp_path / "bad.plr").write_text("\n".join(lines[:3] + ["Jsd11 0.1"] + lines[4:]))
    with pytest.raises(ValueError, match="line 4"):
        pelarin.Parameters.load(str(tmp_path / "bad.plr"))
    with pytest.raises(FileNotFoundError):
        pelarin.Parameters.load(str(tmp_path / "none.plr"))


def test_run_writes_only_when_asked_and_never_over_a_file(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    pelarin.run("all", pelarin.Parameters())
    assert list(tmp_path.iterdir()) == [] and Path.cwd() == tmp_path
    r = pelarin.run("all", pelarin.Parameters(), save_dir="out")
    table = tmp_path / "out" / "Test_plr" / "Test_J(V)_AllJunctions.txt"
    assert sorted(r.files) == [str(table), str(table).replace(".txt", "_dark.txt")]
    before = table.read_bytes()
    with pytest.raises(FileExistsError):
        pelarin.run("all", pelarin.Parameters(Rs1=9), save_dir="out")
    assert table.read_bytes() == before


def test_runs_and_scans_never_move_the_working_directory(tmp_path, monkeypatch):
    # Another thread of the program keeps working with relative paths while studies and scans run.
    monkeypatch.chdir(tmp_path)
    seen, done = set(), threading.Event()
    watcher = threading.Thread(target=lambda: [seen.add(os.getcwd()) for _ in iter(done.is_set, True)])
    watcher.start()
    try:
        for study in ("all", "independent", "all-rl"):
            pelarin.run(study, pelarin.Parameters(), save_dir="out")
        pelarin.scan("independent", pelarin.Parameters(), {"Rs1": ("lin", 1, 5, 3)}, method="curve",
                     summary=str(tmp_path / "s.csv"))
    finally:
        done.set()
        watcher.join()
    assert seen == {str(tmp_path)}
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out", "s.csv"]


@pytest.mark.parametrize("lit, coupled",
                         [("123", False), ("13", False), ("", False), ("123", True), ("2", True)])
def test_current_and_voltage_invert_each_other(lit, coupled):
    p = pelarin.Parameters(Rl1=300, Rg3=400)
    v = np.linspace(-0.3, 1.2, 50)
    j = pelarin.current(p, v, lit=lit, coupled=coupled)
    np.testing.assert_allclose(pelarin.voltage(p, j, lit=lit, coupled=coupled), v, atol=1e-9)


def test_current_at_zero_volts_is_the_exact_jsc():
    p = pelarin.Parameters(Rs2=12)
    jsc = pelarin.figures("all", p)["stack"]["Jsc"]
    assert pelarin.current(p, 0.0) * 1000 == pytest.approx(jsc, rel=1e-12)
    with pytest.raises(ValueError, match="lit"):
        pelarin.current(p, [0.1], lit="124")


def test_fit_finds_the_cell_that_made_the_curves():
    made = pelarin.Parameters(Rp1=1500, Rs2=8)
    v, v_dark = np.linspace(-0.2, 1.35, 120), np.linspace(0.3, 2.2, 80)
    data = {"lit": (v, pelarin.current(made, v)), "dark": (v_dark, pelarin.current(made, v_dark, lit=""))}
    fit = pelarin.fit(pelarin.Parameters(), data=data, free={"Rp1": (10, 1e6), "Rs2": None}, starts=4,
                      threads=2)
    assert fit.converged and fit.warnings == []
    assert fit.parameters["Rp1"] == pytest.approx(1500, rel=1e-9)
    assert fit.parameters["Rs2"] == pytest.approx(8, rel=1e-9)
    assert [row["parameter"] for row in fit.table] == ["Rp1", "Rs2"] and set(fit.residuals) == {"lit", "dark"}
    with pytest.raises(ValueError, match="lit:12"):
        pelarin.fit(pelarin.Parameters(), data={"bright": data["lit"]}, free={"Rp1": None})


def test_a_campaign_at_three_temperatures_recovers_a_band_gap():
    made = pelarin.Parameters(Eg3=1.8, Jsd31=2e-8)
    v = np.linspace(-0.2, 1.4, 100)
    data = []
    for T in (0, 40, 90):
        at = pelarin.Parameters(Eg3=1.8, Jsd31=2e-8, T=T)
        data.append(("lit", v, pelarin.current(at, v), {"T": T}))
    data.append(("dark", v + 1, pelarin.current(made, v + 1, lit="")))
    fit = pelarin.fit(pelarin.Parameters(), data=data, free={"Eg3": None, "Jsd31": None}, starts=4, threads=2)
    assert fit.converged
    assert fit.parameters["Eg3"] == pytest.approx(1.8, abs=1e-6)
    assert fit.residuals["lit at T = 40 \u00b0C, X = 1 suns"]["T"] == 40
    with pytest.raises(ValueError, match="the same conditions"):
        pelarin.fit(pelarin.Parameters(), data=[data[0], data[0]], free={"Eg3": None})
    with pytest.raises(ValueError, match="T and X"):
        pelarin.fit(pelarin.Parameters(), data=[("lit", v, data[0][2], {"Y": 1})], free={"Eg3": None})


V3 = np.array([0.0, 0.5, 1.0])


@pytest.mark.parametrize("call, kind, said", [
    (lambda p: pelarin.fit(p, data={"lit": (np.array([0, np.nan, 1.0]), V3)}, free={"Rp1": None}),
     ValueError, "not a finite number at point 1"),
    (lambda p: pelarin.fit(p, data={"lit": (V3, V3)}, free={"Rq1": None}), ValueError, 'free names no parameter: "Rq1"'),
    (lambda p: pelarin.fit(p, data={"lit": (V3[:1], V3[:1])}, free={"Rp1": None}), ValueError, "1 point that count"),
    (lambda p: pelarin.current(p, None), TypeError, "not NoneType"),
    (lambda p: pelarin.voltage(p, "0.1"), TypeError, "not str"),
    (lambda p: p.__setitem__("Rp1", "1\x002"), ValueError, 'Rp1: "1?2" is not a number.'),
    (lambda p: pelarin.scan("all", p, {"Rp1": ("log", 10, 1e6, 3)}, summary="/nonexistent/x.csv"), OSError,
     "its folder does not exist"),
    (lambda p: pelarin.scan("all", p, {"Rp1": ("log", 10, 1e6, 2.5)}), ValueError,
     'the number of points of "Rp1=10:1e+06:2.5:log" must be a whole number'),
    (lambda p: pelarin.scan("all", p, {"Rp1": ("log", 10, 1e6, 3)}, summary=""), ValueError,
     "an output file has no name"),
    (lambda p: p.save(""), ValueError, "an output file has no name"),
])
def test_each_error_is_the_documented_kind(call, kind, said):
    with pytest.raises(kind) as raised:
        call(pelarin.Parameters())
    assert said in str(raised.value)


def test_a_fit_logs_nothing_and_minus_zero_is_zero(capfd):
    p = pelarin.Parameters()
    p["Jsc2"] = -0.0
    assert p["Jsc2"] == 0 and str(p["Jsc2"]) == "0.0"
    v = np.linspace(-1, 3, 30)
    pelarin.fit(pelarin.Parameters(), data={"lit": (v, np.ones(30))}, free={"Rp1": None}, starts=2)
    assert capfd.readouterr().err == ""


LONG_SCAN = """
import signal, sys, pelarin
signal.signal(signal.SIGINT, signal.default_int_handler)
try:
    pelarin.scan("all", pelarin.Parameters(), {"Rp1": ("log", 10, 1e6, 200), "Rs1": ("lin", 1, 10, 10)},
                 method="curve", threads=2, summary=sys.argv[1])
except KeyboardInterrupt:
    sys.exit(3)
"""


def rows_of(scan_file):
    """The header and rows of a scan file, without its notes."""
    text = scan_file.read_text() if scan_file.exists() else ""
    return [line for line in text.splitlines() if not line.startswith("#")]


def test_ctrl_c_stops_a_scan_and_leaves_a_valid_file(tmp_path):
    summary = tmp_path / "long.csv"
    scan = subprocess.Popen([sys.executable, "-c", LONG_SCAN, str(summary)], env=os.environ.copy())
    deadline = time.monotonic() + 60
    while len(rows_of(summary)) < 10 and time.monotonic() < deadline:
        time.sleep(0.05)
    scan.send_signal(signal.SIGINT)
    assert scan.wait(timeout=60) == 3
    assert summary.read_text().endswith("\n")
    header, *rows = rows_of(summary)
    assert 10 <= len(rows) < 2000
    assert all(len(next(csv.reader([row]))) == len(header.split(",")) for row in rows)
    # The batch tool reads it as a scan file, with the cells after the stop missing.
    merge = subprocess.run([str(BATCH), "scan-merge", "merged.csv", str(summary)], cwd=tmp_path,
                           capture_output=True, text=True)
    assert merge.returncode == 4 and "cells are missing" in merge.stderr


LONG_RUN = """
import signal, sys, pelarin
signal.signal(signal.SIGINT, signal.default_int_handler)
p = pelarin.Parameters(m12=50, Rp2=1e300, Jsd21=1e-300, Jsd22=1e-40, m22=1e-3, Rs3=1e-9, Jsc3=1e300,
                       Jsd31=1e-300, m32=1e-3, Rg1=1e14, Rg2=10)  # a cell whose study runs until its budget ends
print("running", flush=True)
try:
    pelarin.run("two-rl", p)
except KeyboardInterrupt:
    sys.exit(3)
"""


def test_ctrl_c_stops_a_study_at_once(tmp_path):
    env = dict(os.environ, PYTHONPATH=str(Path(pelarin.__file__).resolve().parent))
    study = subprocess.Popen([sys.executable, "-c", LONG_RUN], env=env, cwd=tmp_path, stdout=subprocess.PIPE,
                             text=True)
    assert study.stdout.readline() == "running\n"
    time.sleep(0.3)
    sent = time.monotonic()
    study.send_signal(signal.SIGINT)
    assert study.wait(timeout=60) == 3
    assert time.monotonic() - sent < 1.5, "the searches end at their next evaluation, not at the study's end"
    assert list(tmp_path.iterdir()) == [], "no study folder is left behind"


def test_the_readmes_python_example_runs(tmp_path, monkeypatch):
    readme = (ROOT / "README.md").read_text()
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    assert blocks
    made = pelarin.Parameters(Rp1=3000, Rs2=7)
    made.save(str(tmp_path / "cell.plr"))
    v, v_d = np.linspace(-0.2, 1.35, 100), np.linspace(0.3, 2.2, 60)
    names = {"v": v, "j_lit": pelarin.current(made, v), "v_d": v_d, "j_d": pelarin.current(made, v_d, lit="")}
    monkeypatch.chdir(tmp_path)
    for block in blocks:
        exec(compile(block, "README.md", "exec"), dict(names))
    assert (tmp_path / "out.plr").exists()


def test_every_public_name_is_documented():
    assert "scan(" in pelarin.__doc__ and "fit(" in pelarin.__doc__
    public = [getattr(pelarin, name) for name in pelarin.__all__ + ["ScanTable"]]
    assert all((thing.__doc__ or "").strip() for thing in public if callable(thing))


def test_to_pandas_is_the_scan_file_read_by_pandas(tmp_path):
    pandas = pytest.importorskip("pandas")
    table = pelarin.scan("two", pelarin.Parameters(), {"Jsc2": ("lin", 0, 0.012, 3)}, summary=tmp_path / "s.csv")
    frame = table.to_pandas()
    read = pandas.read_csv(tmp_path / "s.csv", comment="#", keep_default_na=False, float_precision="round_trip",
                           na_values={c: [""] for c in frame.columns if frame[c].dtype.kind == "f"})
    assert list(frame.columns) == list(read.columns[:-1])  # the file's last column is the row check
    for column in frame.columns:
        assert frame[column].tolist() == read[column].tolist() or (
            np.array_equal(frame[column], read[column], equal_nan=True)), column

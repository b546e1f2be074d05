"""Every error of the analysis raises varrowin.VarrowinError with the program's message, and
arguments of the wrong type or size raise TypeError or ValueError, never a crash."""

import fractions
import os
import pathlib
import shutil
import subprocess

import numpy as np
import pytest

import varrowin
from conftest import source_path

GRID = str(source_path("examples/grid.mp"))
FOUR = str(source_path("tests/data/four.mp"))
NO_PATCH = "Run\nCell length 2.5 km\nMigration\nPop. ALL\n1\n"
BAD_BLOCK = "Run\nA,1,2,A.KCH\nMigration\nPop. ALL\n1\nPop. 2\n1\n"
TRUNCATED = "Run\nA,1,2,A.KCH\nB,3,4\nMigration\nPop. ALL\n1\n1\nPop. 1\n1\n1\nPop. 2\n1\n"


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


# (id, keyword arguments of margin_shifts or None, command-line arguments of the program or None,
#  message). File contents are written to tmp_path under their name when given as (name, text).
ANALYSIS_ERRORS = [
    ("missing-file", dict(path="no-such-file.mp"), ["no-such-file.mp", "2000", "Y", "0.1"],
     "Cannot open file: no-such-file.mp: No such file or directory"),
    ("no-patches", dict(path=("empty.mp", NO_PATCH)), [("empty.mp", NO_PATCH), "2000", "Y", "0.1"],
     "No patches to analyse"),
    ("block-without-patch", dict(path=("bad.mp", BAD_BLOCK)),
     [("bad.mp", BAD_BLOCK), "2000", "Y", "0.1"], "Patch does not exist"),
    ("truncated-population", dict(path=("cut.mp", TRUNCATED)),
     [("cut.mp", TRUNCATED), "2000", "Y", "0.1"], "Unexpected end of file in population section"),
    ("year-out-of-range", dict(start_year=2**31 - 1), [GRID, "2147483647", "Y", "0.1"],
     "Year out of range"),
    ("start-year-beyond-32-bits", dict(start_year=2**31), [GRID, "2147483648", "Y", "0.1"],
     "startyear out of range"),
    ("axis", dict(axis="Z"), None, "XorY must be X or Y"),
    ("axis-word", dict(axis="Xaxis"), None, "XorY must be X or Y"),
    ("axis-empty", dict(axis=""), None, "XorY must be X or Y"),
    ("threshold-zero", dict(threshold=0.0), [GRID, "2000", "Y", "0"],
     "Threshold must be a number greater than 0 and less than 1"),
    ("threshold-one", dict(threshold=1), [GRID, "2000", "Y", "1"],
     "Threshold must be a number greater than 0 and less than 1"),
    ("threshold-nan", dict(threshold=float("nan")), [GRID, "2000", "Y", "nan"],
     "Threshold must be a number greater than 0 and less than 1"),
    # Beyond the float range: refused as the program refuses the same number, not an overflow.
    ("threshold-huge-int", dict(threshold=10**400), [GRID, "2000", "Y", "1e400"],
     "Threshold must be a number greater than 0 and less than 1"),
    ("threshold-huge-negative-int", dict(threshold=-10**400), [GRID, "2000", "Y", "-1e400"],
     "Threshold must be a number greater than 0 and less than 1"),
    ("threshold-huge-fraction", dict(threshold=fractions.Fraction(10**400, 3)), None,
     "Threshold must be a number greater than 0 and less than 1"),
    ("burn-in-negative", dict(burn_in=-1), [GRID, "2000", "Y", "0.1", "-1"],
     "Burn-in must not be negative"),
    ("burn-in-beyond-32-bits", dict(burn_in=2**40), [GRID, "2000", "Y", "0.1", str(2**40)],
     "burn-in out of range"),
    ("burn-in-too-long", dict(burn_in=40), [GRID, "2000", "Y", "0.1", "40"],
     "Burn-in leaves no years to analyse"),
    ("size-threshold-beyond-32-bits", dict(patch_size_threshold=-2**33),
     [GRID, "2000", "Y", "0.1", "0", str(-2**33)], "patch_size_threshold out of range"),
    ("cleaning-keeps-nothing", dict(patch_size_threshold=41), [GRID, "2000", "Y", "0.1", "0", "41"],
     "No patches to analyse"),
    ("unknown-smoothing", dict(smoothing="SMA", window=3),
     [GRID, "2000", "Y", "0.1", "0", "0", "SMA", "3"], "Unknown moving average"),
    ("smoothing-without-window", dict(smoothing="sma"), [GRID, "2000", "Y", "0.1", "0", "0", "sma"],
     "Missing window size"),
    ("window-zero", dict(smoothing="smm", window=0),
     [GRID, "2000", "Y", "0.1", "0", "0", "smm", "0"],
     "Window size must be at least 1"),
    ("window-beyond-32-bits", dict(smoothing="exp", window=2**31),
     [GRID, "2000", "Y", "0.1", "0", "0", "exp", str(2**31)], "window_size out of range"),
    # The first failing argument in the command line's order is the one reported.
    ("order-threshold-before-burn-in", dict(threshold=2.0, burn_in=-1),
     [GRID, "2000", "Y", "2", "-1"], "Threshold must be a number greater than 0 and less than 1"),
    ("order-options-before-file", dict(path="no-such-file.mp", burn_in=-1),
     ["no-such-file.mp", "2000", "Y", "0.1", "-1"], "Burn-in must not be negative"),
]


def materialise(value, tmp_path):
    return write(tmp_path, *value) if isinstance(value, tuple) else value


@pytest.mark.parametrize("function", [varrowin.margin_shifts, varrowin.range_centroids])
@pytest.mark.parametrize("overrides, program_args, message",
                         [case[1:] for case in ANALYSIS_ERRORS],
                         ids=[case[0] for case in ANALYSIS_ERRORS])
def test_analysis_errors_carry_the_program_message(function, overrides, program_args, message,
                                                   tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    arguments = dict(path=GRID, start_year=2000, axis="Y", threshold=0.1)
    arguments.update(overrides)
    arguments["path"] = materialise(arguments["path"], tmp_path)
    with pytest.raises(varrowin.VarrowinError) as raised:
        function(**arguments)
    assert str(raised.value) == message
    assert isinstance(raised.value, ValueError)


def program():
    return os.environ.get("VARROWIN_PROGRAM") or shutil.which("Varrowin")


@pytest.mark.skipif(not program(), reason="no Varrowin program (set VARROWIN_PROGRAM)")
@pytest.mark.parametrize("program_args, message",
                         [(case[2], case[3]) for case in ANALYSIS_ERRORS if case[2]],
                         ids=[case[0] for case in ANALYSIS_ERRORS if case[2]])
def test_the_program_gives_the_same_message(program_args, message, tmp_path):
    args = [materialise(value, tmp_path) for value in program_args]
    args = args[:4] + [";"] + args[4:]
    run = subprocess.run([program()] + args, cwd=tmp_path, capture_output=True, text=True,
                         check=False)
    assert run.stderr == message + "\n"
    assert run.stdout == ""


def test_read_mp_errors(tmp_path):
    # A NUL byte in a repeated name is part of the message.
    named = tmp_path / "nul.mp"
    named.write_bytes(b"A\0x,1,2,A.KCH\nA\0y,3,4\nA\0x,5,6\nMigration\n")
    with pytest.raises(varrowin.VarrowinError) as raised:
        varrowin.read_mp(named, 2000)
    assert str(raised.value) == "Duplicate patch name: A\0x"
    with pytest.raises(varrowin.VarrowinError, match="^Patch does not exist$"):
        varrowin.read_mp(write(tmp_path, "bad.mp", BAD_BLOCK), 2000)
    with pytest.raises(varrowin.VarrowinError, match="^startyear out of range$"):
        varrowin.read_mp(FOUR, -2**31 - 1)
    missing = tmp_path / "missing.mp"
    with pytest.raises(varrowin.VarrowinError) as raised:
        varrowin.read_mp(missing, 2000)
    assert str(raised.value) == "Cannot open file: %s: No such file or directory" % missing


def test_undecodable_path_keeps_its_bytes_in_the_message(tmp_path):
    name = os.fsdecode(b"caf\xe9-missing.mp")  # not UTF-8: a surrogate escape in the str
    with pytest.raises(varrowin.VarrowinError) as raised:
        varrowin.read_mp(os.path.join(str(tmp_path), name), 2000)
    assert os.fsencode(str(raised.value)) == b"Cannot open file: " + os.fsencode(
        str(tmp_path)) + b"/caf\xe9-missing.mp: No such file or directory"


def test_path_accepts_str_bytes_and_path_objects():
    expected = varrowin.margin_shifts(GRID, 2000, "Y", 0.1)["x_shift"]
    for path in (pathlib.Path(GRID), os.fsencode(GRID)):
        assert np.array_equal(varrowin.margin_shifts(path, 2000, "Y", 0.1)["x_shift"], expected)
    assert len(varrowin.read_mp(pathlib.PurePosixPath(FOUR), 2000).patches) == 5


def test_the_error_class():
    assert issubclass(varrowin.VarrowinError, ValueError)
    assert varrowin.VarrowinError.__module__ == "varrowin"


WRONG_ARGUMENTS = [
    ("path-int", dict(path=42), TypeError),
    ("path-none", dict(path=None), TypeError),
    ("path-nul", dict(path=GRID + "\0x"), ValueError),
    ("start-year-float", dict(start_year=2000.0), TypeError),
    ("start-year-text", dict(start_year="2000"), TypeError),
    ("start-year-bool", dict(start_year=True), TypeError),
    ("start-year-list", dict(start_year=[2000, 2001]), TypeError),
    ("axis-not-text", dict(axis=1), TypeError),
    ("axis-list", dict(axis=["X", "Y"]), TypeError),
    ("threshold-text", dict(threshold="0.1"), TypeError),
    ("threshold-none", dict(threshold=None), TypeError),
    ("threshold-array", dict(threshold=np.array([0.1, 0.2])), TypeError),
    ("burn-in-float", dict(burn_in=1.5), TypeError),
    ("size-threshold-text", dict(patch_size_threshold="2"), TypeError),
    ("smoothing-not-text", dict(smoothing=3, window=3), TypeError),
    ("window-float", dict(smoothing="sma", window=3.0), TypeError),
]


@pytest.mark.parametrize("function", [varrowin.margin_shifts, varrowin.range_centroids])
@pytest.mark.parametrize("overrides, error", [case[1:] for case in WRONG_ARGUMENTS],
                         ids=[case[0] for case in WRONG_ARGUMENTS])
def test_wrong_argument_types(function, overrides, error):
    arguments = dict(path=GRID, start_year=2000, axis="Y", threshold=0.1)
    arguments.update(overrides)
    with pytest.raises(error) as raised:
        function(**arguments)
    assert not isinstance(raised.value, varrowin.VarrowinError)


def test_numpy_scalars_are_numbers():
    table = varrowin.margin_shifts(GRID, np.int64(2000), "Y", np.float32(0.25), np.int16(1))
    assert np.array_equal(table["x_shift"],
                          varrowin.margin_shifts(GRID, 2000, "Y", float(np.float32(0.25)), 1)[
                              "x_shift"])


@pytest.mark.parametrize("x, y, error", [
    ("0123", [0, 1, 2, 3], TypeError),
    ([0, 1, 2], b"012", TypeError),
    (None, [1], TypeError),
    ([1, None, 2], [1, 2, 3], TypeError),
    ([1, 2, 3], [1, 2], ValueError),
    ([[0, 1], [1, 0]], [[0, 0], [1, 1]], ValueError),
    (np.zeros((3, 1)), np.zeros(3), ValueError),
    ([1j, 2j, 3j], [1, 2, 3], TypeError),
    ([True, False, True], [1, 2, 3], TypeError),
    (5.0, 5.0, ValueError),
])
@pytest.mark.parametrize("function", [varrowin.mcp_area, varrowin.convex_hull])
def test_wrong_points(function, x, y, error):
    with pytest.raises(error):
        function(x, y)

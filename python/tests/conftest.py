"""Shared helpers of the Python tests. They test the installed package: run them with
PYTHONPATH naming the folder that holds varrowin/ (see .ci/python-check.sh)."""

import csv
import os
import pathlib

import pytest

import varrowin

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]


def pytest_report_header(config):
    return "varrowin %s from %s" % (varrowin.__version__, os.path.dirname(varrowin.__file__))


def source_path(relative):
    return SOURCE_DIR / relative


def read_cases():
    """The rows of tests/data/cases.tsv, the analysis cases shared with the program's and the R
    package's tests, as dicts of the column texts."""
    with open(source_path("tests/data/cases.tsv"), newline="") as table:
        return list(csv.DictReader(table, delimiter="\t"))


def case_arguments(case):
    """The keyword arguments of margin_shifts and range_centroids for a case, with the same
    meaning as the program's command line for it."""
    smoothing = case["smoothing"]
    return {
        "path": source_path(case["file"]),
        "start_year": int(case["start_year"]),
        "axis": case["axis"],
        "threshold": float(case["threshold"]),
        "burn_in": int(case["burn_in"]),
        "patch_size_threshold": int(case["patch_size_threshold"]),
        "smoothing": None if smoothing == "none" else smoothing,
        "window": None if smoothing == "none" else int(case["window"]),
    }


CASES = read_cases()


@pytest.fixture(params=CASES, ids=[case["name"] for case in CASES])
def case(request):
    return request.param

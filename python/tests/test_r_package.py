"""The same numbers as the R package varrowin, bit for bit, on every case of
tests/data/cases.tsv. Runs when VARROWIN_R_LIB names an R library folder holding the package
and Rscript is on the PATH; R prints every double with sprintf("%a")."""

import math
import os
import shutil
import subprocess

import numpy as np
import pytest

import varrowin
from conftest import case_arguments, source_path

R_LIB = os.environ.get("VARROWIN_R_LIB", "")
RSCRIPT = shutil.which("Rscript")

pytestmark = pytest.mark.skipif(
    not (R_LIB and RSCRIPT and os.path.isdir(os.path.join(R_LIB, "varrowin"))),
    reason="set VARROWIN_R_LIB to an R library holding the R package varrowin (and install "
           "Rscript) to compare with R")

# Prints, for one case, every row of margin_shifts and range_centroids and every column of
# read_mp: the label, then the fields separated by tabs, doubles as %a.
R_SCRIPT = r"""
args <- commandArgs(trailingOnly = TRUE)
suppressPackageStartupMessages(library(varrowin, lib.loc = args[1]))
path <- args[2]; start_year <- as.integer(args[3]); axis <- args[4]
threshold <- as.numeric(args[5]); burn_in <- as.integer(args[6])
size_threshold <- as.integer(args[7]); smoothing <- args[8]
window <- if (smoothing == "none") NULL else as.integer(args[9])
hex <- function(v) sprintf("%a", v)
emit <- function(label, frame) {
  cat(label, paste(names(frame), collapse = "\t"), sep = "\t"); cat("\n")
  cells <- lapply(frame, function(column)
    if (is.double(column)) hex(column) else as.character(column))
  for (i in seq_len(nrow(frame))) {
    cat(label, vapply(cells, `[`, "", i), sep = "\t"); cat("\n")
  }
}
emit("margin_shifts", margin_shifts(path, start_year, axis, threshold, burn_in, size_threshold,
                                    smoothing, window))
emit("range_centroids", range_centroids(path, start_year, axis, threshold, burn_in,
                                        size_threshold, smoothing, window))
contents <- read_mp(path, start_year)
emit("patches", contents$patches)
emit("populations", contents$populations)
"""


def r_tables(case, tmp_path):
    script = tmp_path / "numbers.R"
    script.write_text(R_SCRIPT)
    arguments = case_arguments(case)
    run = subprocess.run(
        [RSCRIPT, "--vanilla", str(script), R_LIB, str(arguments["path"]),
         case["start_year"], arguments["axis"], case["threshold"], case["burn_in"],
         case["patch_size_threshold"], case["smoothing"], case["window"]],
        capture_output=True, text=True, check=False)
    assert run.returncode == 0, run.stderr
    tables = {}
    for line in run.stdout.splitlines():
        label, *fields = line.split("\t")
        tables.setdefault(label, []).append(fields)
    return {label: (rows[0], rows[1:]) for label, rows in tables.items()}


def r_double(text):
    special = {"NaN": math.nan, "Inf": math.inf, "-Inf": -math.inf}
    return special[text] if text in special else float.fromhex(text)


def same_bits(a, b):
    return np.float64(a).tobytes() == np.float64(b).tobytes() or (math.isnan(a) and math.isnan(b))


def compare(table, r_table):
    names, rows = r_table
    assert names == table.columns
    assert len(rows) == len(table)
    for k, name in enumerate(names):
        column = table[name]
        if column.dtype.kind == "f":
            mismatches = [(i, column[i], row[k]) for i, row in enumerate(rows)
                          if not same_bits(column[i], r_double(row[k]))]
            assert mismatches == [], name
        else:
            assert [str(value) for value in column] == [row[k] for row in rows], name


def test_same_numbers_as_the_r_package(case, tmp_path):
    r = r_tables(case, tmp_path)
    arguments = case_arguments(case)
    compare(varrowin.margin_shifts(**arguments), r["margin_shifts"])
    compare(varrowin.range_centroids(**arguments), r["range_centroids"])
    contents = varrowin.read_mp(source_path(case["file"]), int(case["start_year"]))
    compare(contents.patches, r["patches"])
    compare(contents.populations, r["populations"])

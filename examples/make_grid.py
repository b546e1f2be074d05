#!/usr/bin/env python3
"""Writes grid.mp: a model run on a 7 x 7 grid of patches whose range drifts towards larger Y.

Usage: make_grid.py [OUTPUT]   (default: grid.mp next to this script)

The file has the layout the reader expects: header lines, a cell-length line in km, a patch
section opened by a line naming the .KCH habitat file, a Migration line, further model lines,
the all-patches block and one block per patch. Every data line holds several numbers of which
the reader uses the first. The output is the same on every run.

In Varrowin's report along Y, North is the margin gathered from the low end of the axis (the
smallest Y) and South the one from the high end (the largest Y), as on a raster map whose rows are
numbered from the top. The habitat optimum here moves towards larger Y, so the range drifts
towards the South margin's end of the axis.
"""
import math
import os
import random
import sys

COLUMNS = 7
ROWS = 7
YEARS = 40
SPACING = 4.0  # cells between neighbouring patches
EXTINCT_PATCH = 9  # goes extinct in EXTINCT_YEAR and stays so
EXTINCT_YEAR = 17


def suitability(y, year):
    """Habitat quality along Y; its optimum moves towards larger Y (South's end) over the run."""
    optimum = 8.0 + 0.35 * year
    return math.exp(-((y - optimum) / 7.0) ** 2)


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "grid.mp")
    rng = random.Random(4711)
    patches = []
    for row in range(ROWS):
        for column in range(COLUMNS):
            number = len(patches) + 1
            patches.append((number, "Patch%02d" % number, 2.0 + SPACING * column,
                            2.0 + SPACING * row))

    populations = {}
    for number, _, x, y in patches:
        capacity = rng.randint(300, 900)
        series = []
        for year in range(YEARS):
            expected = capacity * suitability(y, year) * (0.9 + 0.2 * rng.random())
            value = int(round(expected)) if expected >= 8.0 else 0
            if number == EXTINCT_PATCH and year >= EXTINCT_YEAR:
                value = 0
            series.append(value)
        populations[number] = series

    lines = [
        "Metapopulation model run: grid example, range shift towards larger Y (South)",
        "Version 5.1",
        "Cell length 2.5 km",
        "Replications 100",
        "Duration 40",
        "Stochasticity demographic",
        "Habitat map hab.KCH",
    ]
    for number, name, x, y in patches:
        capacity = max(populations[number])
        lines.append("%s,%.1f,%.1f,%d,1.15,0,%d,0.2,TRUE" % (name, x, y, capacity, number))
    lines += [
        "Migration",
        "TRUE",
        "Dispersal 0.5,1.2,0.6,%d" % (ROWS * COLUMNS),
        "Correlation 0.3,2.0,1",
        "Stages 1",
        "Results of the simulation",
        "Pop. ALL",
    ]
    for year in range(YEARS):
        total = sum(populations[number][year] for number, _, _, _ in patches)
        lines.append("%d %d %d %d %d" % (total, int(total * 0.8), int(total * 1.2), 0,
                                         int(total * 1.5)))
    for number, _, _, _ in patches:
        lines.append("Pop. %d" % number)
        for value in populations[number]:
            spread = int(value * 0.1)
            lines.append("%d %d %d %d %d" % (value, max(value - spread, 0), value + spread,
                                             max(value - 2 * spread, 0), value + 2 * spread))
    lines.append("End of results")
    with open(out_path, "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()

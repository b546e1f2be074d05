"""The module's numbers against the program's stored reports (tests/data/expected/<case>.txt)."""

import math

import numpy as np
import pytest

import varrowin
from conftest import CASES, case_arguments, source_path


def report(case):
    """The header fields and the table rows of a stored report (delimiter ';')."""
    header = {}
    rows = []
    for line in source_path("tests/data/expected/%s.txt" % case["name"]).read_text().splitlines():
        fields = line.split(";")
        if len(fields) == 2:
            header[fields[0]] = fields[1]
        elif len(fields) == 7 and fields[1] not in ("", "Year"):
            rows.append(fields[1:])
    return header, rows


def test_every_case_has_a_stored_report():
    assert len(CASES) >= 8
    for case in CASES:
        assert source_path("tests/data/expected/%s.txt" % case["name"]).is_file()


def test_margin_shifts_print_as_the_report(case):
    header, rows = report(case)
    table = varrowin.margin_shifts(**case_arguments(case))
    assert table.columns == ["year", "margin", "x_shift", "y_shift"]
    assert len(rows) == int(header["Total years"]) > 0
    assert len(table) == 2 * len(rows)
    # Years ascending, North then South within each year, both with the report's numbers.
    printed = []
    for k in range(len(rows)):
        north, south = 2 * k, 2 * k + 1
        assert list(table["margin"][north:south + 1]) == ["North", "South"]
        assert table["year"][north] == table["year"][south]
        printed.append([str(table["year"][north]), "%g" % table["x_shift"][north],
                        "%g" % table["y_shift"][north], str(table["year"][south]),
                        "%g" % table["x_shift"][south], "%g" % table["y_shift"][south]])
    assert printed == rows
    # The report's header figures come along in attrs.
    assert table.attrs["patches_loaded"] == int(header["Num patches loaded"])
    cleaned = header.get("Num patches after cleaning")
    assert table.attrs["patches_after_cleaning"] == (None if cleaned is None else int(cleaned))
    assert "%g" % table.attrs["resolution"] == header["Resolution(km)"]
    assert table["year"].dtype == np.int32
    assert table["x_shift"].dtype == table["y_shift"].dtype == np.float64


def test_read_mp_agrees_with_the_report_header(case):
    header, rows = report(case)
    contents = varrowin.read_mp(source_path(case["file"]), int(case["start_year"]))
    assert len(contents.patches) == int(header["Num patches loaded"])
    assert "%g" % contents.resolution == header["Resolution(km)"]
    years = contents.populations["year"]
    burn_in = int(case["burn_in"])
    if case["smoothing"] == "none":
        # Without smoothing the shift table starts right after the burn-in years.
        assert int(rows[0][0]) == years.min() + burn_in
        assert int(rows[-1][0]) == years.max()


def test_shifts_are_computed_from_the_centroids(case):
    """The report's percentages follow from range_centroids: the offset of each margin from the
    all-patch centroid of the reference year (last burn-in year, else the first year), as a
    size change against the first year after the burn-in."""
    arguments = case_arguments(case)
    centroids = varrowin.range_centroids(**arguments)
    shifts = varrowin.margin_shifts(**arguments)
    assert centroids.columns == ["year", "group", "x_km", "y_km"]
    assert centroids.attrs == shifts.attrs
    years = centroids["year"][0::3]
    assert list(np.diff(years)) == [1] * (len(years) - 1)
    assert list(centroids["group"][:3]) == ["all", "North", "South"]
    assert list(centroids["group"]) == ["all", "North", "South"] * len(years)
    burn_in = arguments["burn_in"]
    reference = 3 * (burn_in - 1 if burn_in > 0 else 0)
    for group, offset in (("North", 1), ("South", 2)):
        for column, axis in (("x_km", "x_shift"), ("y_km", "y_shift")):
            ref = centroids[column][reference]
            margin = centroids[column][offset::3][burn_in:]
            sizes = [abs(ref - value) for value in margin]
            expected = [abs(size - sizes[0]) / sizes[0] * 100.0 if sizes[0] != 0 else
                        (math.nan if size == 0 else math.inf) for size in sizes]
            got = shifts[axis][shifts["margin"] == group]
            assert len(got) == len(expected)
            for a, b in zip(got, expected):
                assert (math.isnan(a) and math.isnan(b)) or a == b, (group, column)


def test_read_mp_reads_patches_and_populations():
    contents = varrowin.read_mp(str(source_path("examples/minimal.mp")), 1990)
    assert contents.patches.columns == ["name", "x", "y"]
    assert list(contents.patches["name"]) == ["A", "B"]
    assert list(contents.patches["x"]) == [10.0, 30.0]
    assert list(contents.patches["y"]) == [20.0, 40.0]
    assert contents.populations.columns == ["patch", "year", "population"]
    assert list(contents.populations["patch"]) == ["A", "A", "B", "B"]
    assert list(contents.populations["year"]) == [1990, 1991, 1990, 1991]
    assert list(contents.populations["population"]) == [100.0, 110.0, 50.0, 55.0]
    assert contents.resolution == 2.5
    assert contents.patches.attrs["start_year"] == 1990


def test_attrs_name_version_file_and_options():
    path = source_path("examples/grid.mp")
    table = varrowin.margin_shifts(path, 2000, "y", 0.2, 1, 2, "sma", 3)
    assert table.attrs == {"version": varrowin.__version__, "file": str(path),
                           "start_year": 2000, "axis": "Y", "threshold": 0.2, "burn_in": 1,
                           "patch_size_threshold": 2, "smoothing": "sma", "window": 3,
                           "patches_loaded": 49, "patches_after_cleaning": 49,
                           "resolution": 2.5}
    # Without smoothing the window is not used; it does not change the numbers.
    plain = varrowin.margin_shifts(path, 2000, "Y", 0.2)
    with_window = varrowin.margin_shifts(path, 2000, "Y", 0.2, window=7)
    assert np.array_equal(plain["x_shift"], with_window["x_shift"], equal_nan=True)


def test_lower_case_axis_reads_as_upper_case():
    path = source_path("tests/data/four.mp")
    lower = varrowin.margin_shifts(path, 2000, "x", 0.25)
    upper = varrowin.margin_shifts(path, 2000, "X", 0.25)
    other = varrowin.margin_shifts(path, 2000, "Y", 0.25)
    assert np.array_equal(lower["x_shift"], upper["x_shift"])
    assert not np.array_equal(lower["x_shift"], other["x_shift"])


def test_to_pandas_keeps_columns_and_attrs():
    pandas = pytest.importorskip("pandas", reason="pandas (Debian python3-pandas) not installed")
    table = varrowin.margin_shifts(source_path("examples/grid.mp"), 2000, "Y", 0.1)
    frame = table.to_pandas()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == table.columns
    assert frame["x_shift"].tolist() == table["x_shift"].tolist()
    assert frame.attrs["file"] == table.attrs["file"]


@pytest.mark.parametrize("x, y, area, hull", [
    # A square with a point inside and one on an edge: only the corners are vertices.
    ([0, 4, 4, 0, 1, 2], [0, 0, 4, 4, 1, 0], 16.0, [(0, 0), (4, 0), (4, 4), (0, 4)]),
    # Counter-clockwise from the lowest point, the smaller x first among equally low ones.
    ([3, 1, 2], [5, 0, 0], 2.5, [(1, 0), (2, 0), (3, 5)]),
    # A point with a nan coordinate is left out.
    ([0, 2, 0, float("nan")], [0, 0, 2, 9], 2.0, [(0, 0), (2, 0), (0, 2)]),
    # So is one with an infinite coordinate.
    ([0, 2, 0, float("inf")], [0, 0, 2, 1], 2.0, [(0, 0), (2, 0), (0, 2)]),
    ([0, 2, 0, 1], [0, 0, 2, float("-inf")], 2.0, [(0, 0), (2, 0), (0, 2)]),
    ([], [], 0.0, []),
    ([1, 2], [1, 2], 0.0, None),
])
def test_convex_hull_and_mcp_area(x, y, area, hull):
    assert varrowin.mcp_area(x, y) == pytest.approx(area, rel=1e-12)
    table = varrowin.convex_hull(np.array(x, dtype=float), y)
    assert table.columns == ["x", "y"]
    if hull is not None:
        assert list(zip(table["x"], table["y"])) == hull

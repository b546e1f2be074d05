"""Varrowin: range-margin shifts from population model results.

Reads the result file of a spatially explicit population model (the MP file) and measures, year
by year, how the two margins of the species' range move relative to the range as a whole, with
the same code and the same numbers as the Varrowin program and the R package varrowin.

Functions (the R package's names and argument order):

    read_mp(path, start_year)                  the patches and their populations
    margin_shifts(path, start_year, axis, threshold, burn_in=0, patch_size_threshold=0,
                  smoothing=None, window=None) the report's North and South shifts per year
    range_centroids(...same arguments...)      the centroids the shifts are computed from
    mcp_area(x, y)                             area of the convex hull of points
    convex_hull(x, y)                          the convex hull of points

Tables are Table objects: numpy arrays by column name (table["year"]), convertible with
table.to_pandas() when pandas is installed. Errors of the analysis raise VarrowinError (a
ValueError) with the program's message.
"""

from __future__ import annotations

import math
import numbers
import operator
import os
from typing import Any, Dict, Mapping, NamedTuple, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _core
from ._core import VarrowinError

VarrowinError.__module__ = "varrowin"
VarrowinError.__doc__ = (
    "An error of the analysis (unreadable file, bad option, nothing left to analyse), with the "
    "Varrowin program's message. A subclass of ValueError.")

__version__: str = _core.__version__

__all__ = [
    "Table",
    "MPContents",
    "VarrowinError",
    "read_mp",
    "margin_shifts",
    "range_centroids",
    "mcp_area",
    "convex_hull",
    "__version__",
]

PathArgument = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_INT64_MIN = -(2**63)
_INT64_MAX = 2**63 - 1


class Table:
    """A small table: numpy arrays of equal length by column name.

    table["year"] gives a column, table.columns the column names in order, len(table) the
    number of rows, table.attrs the version, file and options that made it, and
    table.to_pandas() a pandas DataFrame (pandas must be installed).
    """

    __slots__ = ("_columns", "attrs")

    def __init__(self, columns: Mapping[str, np.ndarray],
                 attrs: Optional[Mapping[str, Any]] = None) -> None:
        self._columns: Dict[str, np.ndarray] = dict(columns)
        lengths = {len(column) for column in self._columns.values()}
        if len(lengths) > 1:
            raise ValueError("the columns of a table must have the same length")
        self.attrs: Dict[str, Any] = dict(attrs or {})

    @property
    def columns(self) -> list:
        """The column names, in order."""
        return list(self._columns)

    def __getitem__(self, name: str) -> np.ndarray:
        return self._columns[name]

    def __contains__(self, name: object) -> bool:
        return name in self._columns

    def __iter__(self):
        return iter(self._columns)

    def __len__(self) -> int:
        for column in self._columns.values():
            return len(column)
        return 0

    def __repr__(self) -> str:
        return "<varrowin.Table: %d rows; columns %s>" % (len(self), ", ".join(self._columns))

    def to_pandas(self):
        """The table as a pandas DataFrame with the same columns; attrs go to DataFrame.attrs."""
        try:
            import pandas
        except ImportError as error:
            raise ImportError("Table.to_pandas needs pandas (Debian: python3-pandas)") from error
        frame = pandas.DataFrame(self._columns)
        frame.attrs.update(self.attrs)
        return frame


class MPContents(NamedTuple):
    """What read_mp reads from an MP file.

    patches: Table with columns name, x, y: one row per patch, in name order (byte order).
    populations: Table with columns patch, year, population: one row per patch and year, patches
        in the order of `patches`, years ascending.
    resolution: the file's cell length (1.0 when the file gives none).
    """

    patches: Table
    populations: Table
    resolution: float


def _path_bytes(path: Any) -> bytes:
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError("path must be a str or an os.PathLike, not %s" % type(path).__name__)
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("path must not contain a NUL character")
    return encoded


def _integer(value: Any, name: str) -> int:
    """An integer argument as a Python int, saturated to 64 bits (the library tells 32-bit range
    errors with the program's message)."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError("%s must be an integer, not bool" % name)
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__)) from None
    return min(max(number, _INT64_MIN), _INT64_MAX)


def _real(value: Any, name: str) -> float:
    """A real argument as a float; one beyond the float range (a huge int or Fraction) as an
    infinity of its sign, which the library then refuses with the program's message."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError("%s must be a real number, not %s" % (name, type(value).__name__))
    try:
        return float(value)
    except OverflowError:
        return math.inf if value > 0 else -math.inf


def _text(value: Any, name: str) -> str:
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (name, type(value).__name__))
    return value


def _options(path, start_year, axis, threshold, burn_in, patch_size_threshold, smoothing,
             window) -> Tuple[tuple, Dict[str, Any]]:
    """The arguments of the compiled analysis and the attrs that describe them."""
    path_bytes = _path_bytes(path)
    start = _integer(start_year, "start_year")
    axis_text = _text(axis, "axis")
    threshold_value = _real(threshold, "threshold")
    burn = _integer(burn_in, "burn_in")
    size_threshold = _integer(patch_size_threshold, "patch_size_threshold")
    smoothing_word = "none" if smoothing is None else _text(smoothing, "smoothing")
    window_value = None if window is None else _integer(window, "window")
    arguments = (path_bytes, start, axis_text, threshold_value, burn, size_threshold,
                 smoothing_word, window_value is not None,
                 0 if window_value is None else window_value)
    attrs = {
        "version": __version__,
        "file": os.fsdecode(path_bytes),
        "start_year": start,
        "axis": axis_text.upper(),
        "threshold": threshold_value,
        "burn_in": burn,
        "patch_size_threshold": size_threshold,
        "smoothing": smoothing_word,
        "window": window_value,
    }
    return arguments, attrs


def _interleave(*columns: np.ndarray) -> np.ndarray:
    """Row k of the result is columns[0][i], columns[1][i], ... for i = k // len(columns)."""
    out = np.empty(len(columns[0]) * len(columns), dtype=np.float64)
    for offset, column in enumerate(columns):
        out[offset::len(columns)] = column
    return out


def _with_header(attrs: Dict[str, Any], raw: Mapping[str, Any]) -> Dict[str, Any]:
    """The attrs of an analysis with the report's header figures added."""
    attrs.update(patches_loaded=raw["patches_loaded"],
                 patches_after_cleaning=raw["patches_after_cleaning"],
                 resolution=raw["resolution"])
    return attrs


def read_mp(path: PathArgument, start_year: int) -> MPContents:
    """Read an MP file: its patches and each patch's population in each year.

    Arguments:
        path: the MP file (str or os.PathLike).
        start_year: calendar year of the model's first time step (a 32-bit integer); the
            first population line of each patch is that year, the next one the year after.

    Returns an MPContents with .patches (columns name, x, y; one row per patch in name order),
    .populations (columns patch, year, population; one row per patch and year) and
    .resolution (the file's cell length, 1.0 when it gives none). Coordinates are the file's
    map coordinates, unscaled.

    Raises VarrowinError with the program's message ("Cannot open file: ...", "Patch does not
    exist", "Unexpected end of file in population section", "startyear out of range", ...),
    TypeError for arguments of the wrong type.
    """
    path_bytes = _path_bytes(path)
    start = _integer(start_year, "start_year")
    raw = _core.read_mp(path_bytes, start)
    attrs = {"version": __version__, "file": os.fsdecode(path_bytes), "start_year": start}
    patches = Table({"name": np.array(raw["names"], dtype=str),
                     "x": raw["x"], "y": raw["y"]}, attrs)
    populations = Table({"patch": np.array(raw["patch"], dtype=str), "year": raw["year"],
                         "population": raw["population"]}, attrs)
    return MPContents(patches, populations, raw["resolution"])


def margin_shifts(path: PathArgument, start_year: int, axis: str, threshold: float,
                  burn_in: int = 0, patch_size_threshold: int = 0, smoothing: Optional[str] = None,
                  window: Optional[int] = None) -> Table:
    """The program's report as a table: the North and South margin shifts per year.

    Arguments (the program's command line in its order, without the delimiter):
        path: the MP file (str or os.PathLike).
        start_year: calendar year of the model's first time step (32-bit integer).
        axis: "X" or "Y" (lower case reads as upper case): the map axis along which the
            margins are taken. North is the margin at the low end of the axis, South the one
            at the high end. Any other text raises VarrowinError("XorY must be X or Y").
        threshold: the share of a year's total population that forms each margin,
            0 < threshold < 1.
        burn_in: number of leading years left out of the shifts (0 or more); the last burn-in
            year is the reference, the first year after it the baseline.
        patch_size_threshold: when 1 or more, keep only the patches with that many consecutive
            years of non-zero population; 0 or less keeps all.
        smoothing: None or "none" (no smoothing), "sma" (simple moving average), "exp"
            (exponential smoothing with factor 2 / (window + 1)) or "smm" (simple moving
            median) of the three centroid series; any other word raises
            VarrowinError("Unknown moving average").
        window: the smoothing window in years (1 or more); required with smoothing (else
            VarrowinError("Missing window size")), not used without.

    Returns a Table with columns year (int32), margin ("North" or "South"), x_shift and
    y_shift (float64): one row per year and margin, years ascending, North before South in each
    year. The shifts are the report's numbers as full doubles: the unsigned percentage change
    of the margin's offset from the range centre since the first year after the burn-in
    ("%g" % value gives the report's text); nan or inf where the baseline offset is 0.
    table.attrs holds the package version, the file, the options and the report's header
    figures: patches_loaded, patches_after_cleaning (None without cleaning) and resolution
    (the file's cell length, 1.0 when it gives none).

    Raises VarrowinError with the program's message for an unreadable file or bad option
    values, TypeError for arguments of the wrong type.
    """
    arguments, attrs = _options(path, start_year, axis, threshold, burn_in,
                                patch_size_threshold, smoothing, window)
    raw = _core.margin_shifts(*arguments)
    rows = len(raw["year"])
    return Table({
        "year": np.repeat(raw["year"], 2),
        "margin": np.tile(np.array(["North", "South"]), rows),
        "x_shift": _interleave(raw["north_x"], raw["south_x"]),
        "y_shift": _interleave(raw["north_y"], raw["south_y"]),
    }, _with_header(attrs, raw))


def range_centroids(path: PathArgument, start_year: int, axis: str, threshold: float,
                    burn_in: int = 0, patch_size_threshold: int = 0,
                    smoothing: Optional[str] = None, window: Optional[int] = None) -> Table:
    """The centroids that margin_shifts computes its shifts from.

    Arguments: as margin_shifts (same names, order, meanings and errors).

    Returns a Table with columns year (int32), group ("all", "North" or "South"), x_km and
    y_km (float64): one row per year and group, years ascending (every year of the smoothed
    series, burn-in years included), then "all", "North", "South" in each year. "all" is the
    population-weighted centroid of all patches, "North" and "South" those of the margins.
    The positions are signed and in the MP file's own coordinate units (the report calls its
    columns km; nothing is converted or scaled by the resolution).
    table.attrs holds the package version, the file, the options and the report's header
    figures: patches_loaded, patches_after_cleaning (None without cleaning) and resolution
    (the file's cell length, 1.0 when it gives none).
    """
    arguments, attrs = _options(path, start_year, axis, threshold, burn_in,
                                patch_size_threshold, smoothing, window)
    raw = _core.range_centroids(*arguments)
    rows = len(raw["year"])
    return Table({
        "year": np.repeat(raw["year"], 3),
        "group": np.tile(np.array(["all", "North", "South"]), rows),
        "x_km": _interleave(raw["all_x"], raw["north_x"], raw["south_x"]),
        "y_km": _interleave(raw["all_y"], raw["north_y"], raw["south_y"]),
    }, _with_header(attrs, raw))


def _coordinates(values: Any, name: str) -> np.ndarray:
    if isinstance(values, (str, bytes)):
        raise TypeError("%s must be a sequence of numbers, not %s" % (name, type(values).__name__))
    array = np.asarray(values)
    if array.dtype.kind not in "iuf":
        raise TypeError("%s must hold real numbers, not %s" % (name, array.dtype))
    if array.ndim != 1:
        raise ValueError("%s must be one-dimensional" % name)
    return np.ascontiguousarray(array, dtype=np.float64)


def _points(x: Any, y: Any) -> Tuple[np.ndarray, np.ndarray]:
    xs = _coordinates(x, "x")
    ys = _coordinates(y, "y")
    if len(xs) != len(ys):
        raise ValueError("x and y must have the same length (%d and %d)" % (len(xs), len(ys)))
    return xs, ys


def mcp_area(x: npt.ArrayLike, y: npt.ArrayLike) -> float:
    """The area of the convex hull (minimum convex polygon) of the points (x[i], y[i]).

    Arguments:
        x, y: equally long one-dimensional sequences or arrays of real numbers.

    Returns the area in squared coordinate units; 0.0 for fewer than three hull vertices.
    Points with a nan or infinite coordinate are left out. This is the toolkit's occupied-range
    area computed on the given points. Raises TypeError for non-numeric input, ValueError for
    arrays that are not one-dimensional or differ in length.
    """
    xs, ys = _points(x, y)
    return _core.mcp_area(xs, ys)


def convex_hull(x: npt.ArrayLike, y: npt.ArrayLike) -> Table:
    """The convex hull of the points (x[i], y[i]).

    Arguments:
        x, y: equally long one-dimensional sequences or arrays of real numbers.

    Returns a Table with columns x and y: every hull vertex once (none that lies on an edge),
    counter-clockwise from the lowest point (smallest y, then smallest x). Points with a nan or
    infinite coordinate are left out. Raises TypeError for non-numeric input, ValueError for
    arrays that are not one-dimensional or differ in length.
    """
    xs, ys = _points(x, y)
    hull_x, hull_y = _core.convex_hull(xs, ys)
    return Table({"x": hull_x, "y": hull_y})

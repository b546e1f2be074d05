// The compiled part of the Python package varrowin: the library's loader, analysis and geometry
// as plain functions on built-in types and numpy arrays. The package's __init__.py checks and
// converts the arguments, names the columns and builds the tables; this module does the work.
//
// Every call releases the GIL while the library runs (loading and analysis hold no Python
// objects). The library reads numbers the same way whatever locale the process has set, so the
// results are those of the program.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/TPatches.h>
#include <varrowin/TPoint.h>
#include <varrowin/TPointTools.h>
#include <varrowin/Version.h>

namespace py = pybind11;

namespace varrowin::python {
namespace {

TSmoothing SmoothingFromWord(const std::string& word) {
  if (word == "none") {
    return TSmoothing::kNone;
  }
  if (word == "sma") {
    return TSmoothing::kMovingAverage;
  }
  if (word == "exp") {
    return TSmoothing::kExponential;
  }
  if (word == "smm") {
    return TSmoothing::kMedian;
  }
  throw TError("Unknown moving average");
}

// A 32-bit integer argument; a value outside 32 bits is an error with the program's message.
std::int32_t Integer32(std::int64_t value, const char* name) {
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw TError(std::string(name) + " out of range");
  }
  return static_cast<std::int32_t>(value);
}

// Builds and checks the options in the program's argument order, so that the first failing
// argument gives the program's message: start year, axis, threshold, burn-in, patch size
// threshold, smoothing word, window. hasWindow tells whether the caller gave a window at all.
TAnalysisOptions MakeOptions(std::int64_t startYear, const std::string& axis, double threshold,
                             std::int64_t burnIn, std::int64_t patchSizeThreshold,
                             const std::string& smoothing, bool hasWindow, std::int64_t window) {
  TAnalysisOptions options;
  options.startYear = Integer32(startYear, "startyear");
  if (axis.size() != 1) {
    throw TError("XorY must be X or Y");
  }
  options.axis = CheckAxis(axis[0]);
  options.threshold = threshold;
  CheckThreshold(threshold);
  options.burnIn = Integer32(burnIn, "burn-in");
  CheckBurnIn(options.burnIn);
  options.patchSizeThreshold = Integer32(patchSizeThreshold, "patch_size_threshold");
  options.smoothing = SmoothingFromWord(smoothing);
  if (options.smoothing != TSmoothing::kNone) {
    if (!hasWindow) {
      throw TError("Missing window size");
    }
    options.window = Integer32(window, "window_size");
    CheckWindow(options.window);
  }
  return options;
}

TAnalysisResult RunAnalysis(const std::string& path, const TAnalysisOptions& options) {
  py::gil_scoped_release noGil;
  return AnalyseMP(path, options);
}

template <class T>
py::array_t<T> ToArray(const std::vector<T>& values) {
  py::array_t<T> array(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

// The X or the Y coordinates of the points as a new array.
py::array_t<double> Coordinates(const std::vector<TPoint>& points, bool wantX) {
  py::array_t<double> array(static_cast<py::ssize_t>(points.size()));
  double* out = array.mutable_data();
  for (const TPoint& point : points) {
    *out++ = wantX ? point.X() : point.Y();
  }
  return array;
}

// The points of two equally long float64 arrays (the package checks kinds and lengths).
using TDoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<TPoint> MakePoints(const TDoubleArray& x, const TDoubleArray& y) {
  if (x.ndim() != 1 || y.ndim() != 1 || x.shape(0) != y.shape(0)) {
    throw py::value_error("x and y must be one-dimensional and of the same length");
  }
  std::vector<TPoint> points;
  points.reserve(static_cast<std::size_t>(x.shape(0)));
  const double* xs = x.data();
  const double* ys = y.data();
  for (py::ssize_t i = 0; i < x.shape(0); ++i) {
    points.emplace_back(xs[i], ys[i]);
  }
  return points;
}

// read_mp: the patches (names, x, y) in name order and, per patch in the same order, its years
// ascending with their populations, flattened into three parallel columns.
py::dict ReadMP(const std::string& path, std::int64_t startYearArgument) {
  const TYear startYear = Integer32(startYearArgument, "startyear");
  std::vector<std::string> names;
  std::vector<double> xs;
  std::vector<double> ys;
  std::vector<std::size_t> yearCounts;
  std::vector<TYear> years;
  std::vector<double> populations;
  double resolution = 1.0;
  {
    py::gil_scoped_release noGil;
    const TPatches patches = TMPParser::LoadMP(path, startYear);
    resolution = patches.GetResolution();
    for (const auto& [name, patch] : patches) {
      names.push_back(name);
      xs.push_back(patch.GetX());
      ys.push_back(patch.GetY());
      yearCounts.push_back(patch.GetNumYears());
      patch.ForEachYear([&](TYear year, double value) {
        years.push_back(year);
        populations.push_back(value);
      });
    }
  }
  // Names are bytes as the file has them; undecodable bytes survive as surrogate escapes.
  py::list nameList(names.size());
  py::list patchColumn(years.size());
  std::size_t row = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    py::object name = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
        names[i].data(), static_cast<py::ssize_t>(names[i].size())));
    if (!name) {
      throw py::error_already_set();
    }
    for (std::size_t k = 0; k < yearCounts[i]; ++k) {
      patchColumn[row++] = name;
    }
    nameList[i] = std::move(name);
  }
  py::dict result;
  result["names"] = nameList;
  result["x"] = ToArray(xs);
  result["y"] = ToArray(ys);
  result["patch"] = patchColumn;
  result["year"] = ToArray(years);
  result["population"] = ToArray(populations);
  result["resolution"] = resolution;
  return result;
}

// The report's header figures: the patches loaded, those left after cleaning (None without
// cleaning) and the file's resolution.
void AddHeaderFigures(py::dict& out, const TAnalysisResult& result) {
  out["patches_loaded"] = result.numPatchesLoaded;
  if (result.numPatchesAfterCleaning < 0) {
    out["patches_after_cleaning"] = py::none();
  } else {
    out["patches_after_cleaning"] = result.numPatchesAfterCleaning;
  }
  out["resolution"] = result.resolution;
}

py::dict MarginShifts(const std::string& path, std::int64_t startYear, const std::string& axis,
                      double threshold, std::int64_t burnIn, std::int64_t patchSizeThreshold,
                      const std::string& smoothing, bool hasWindow, std::int64_t window) {
  const TAnalysisOptions options = MakeOptions(startYear, axis, threshold, burnIn,
                                               patchSizeThreshold, smoothing, hasWindow, window);
  const TAnalysisResult result = RunAnalysis(path, options);
  py::dict out;
  out["year"] = ToArray(result.years);
  out["north_x"] = Coordinates(result.northShifts, true);
  out["north_y"] = Coordinates(result.northShifts, false);
  out["south_x"] = Coordinates(result.southShifts, true);
  out["south_y"] = Coordinates(result.southShifts, false);
  AddHeaderFigures(out, result);
  return out;
}

py::dict RangeCentroids(const std::string& path, std::int64_t startYear, const std::string& axis,
                        double threshold, std::int64_t burnIn, std::int64_t patchSizeThreshold,
                        const std::string& smoothing, bool hasWindow, std::int64_t window) {
  const TAnalysisOptions options = MakeOptions(startYear, axis, threshold, burnIn,
                                               patchSizeThreshold, smoothing, hasWindow, window);
  const TAnalysisResult result = RunAnalysis(path, options);
  py::dict out;
  out["year"] = ToArray(result.centroidYears);
  out["all_x"] = Coordinates(result.allCentroids, true);
  out["all_y"] = Coordinates(result.allCentroids, false);
  out["north_x"] = Coordinates(result.northCentroids, true);
  out["north_y"] = Coordinates(result.northCentroids, false);
  out["south_x"] = Coordinates(result.southCentroids, true);
  out["south_y"] = Coordinates(result.southCentroids, false);
  AddHeaderFigures(out, result);
  return out;
}

double MCPArea(const TDoubleArray& x, const TDoubleArray& y) {
  const std::vector<TPoint> points = MakePoints(x, y);
  py::gil_scoped_release noGil;
  return TPointTools::FindConvexPolygonArea(TPointTools::FindConvexHull(points));
}

py::tuple ConvexHull(const TDoubleArray& x, const TDoubleArray& y) {
  const std::vector<TPoint> points = MakePoints(x, y);
  std::vector<TPoint> hull;
  {
    py::gil_scoped_release noGil;
    hull = TPointTools::FindConvexHull(points);
  }
  return py::make_tuple(Coordinates(hull, true), Coordinates(hull, false));
}

}  // namespace
}  // namespace varrowin::python

PYBIND11_MODULE(_core, m) {
  using namespace varrowin::python;
  namespace vw = varrowin;
  m.doc() = "Compiled core of the varrowin package; use the functions of varrowin itself.";
  m.attr("__version__") = vw::kVersion;

  static py::exception<vw::TError> error(m, "VarrowinError", PyExc_ValueError);
  // The message is decoded as file names are, so that a path with undecodable bytes in
  // "Cannot open file: ..." still gives an error with the program's message.
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) {
        std::rethrow_exception(thrown);
      }
    } catch (const vw::TError& e) {
      const std::string& text = e.Message();
      py::object message = py::reinterpret_steal<py::object>(
          PyUnicode_DecodeFSDefaultAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
      if (!message) {
        PyErr_Clear();
        PyErr_SetString(error.ptr(), e.what());
        return;
      }
      PyErr_SetObject(error.ptr(), message.ptr());
    }
  });

  m.def("read_mp", &ReadMP, py::arg("path"), py::arg("start_year"));
  m.def("margin_shifts", &MarginShifts, py::arg("path"), py::arg("start_year"), py::arg("axis"),
        py::arg("threshold"), py::arg("burn_in"), py::arg("patch_size_threshold"),
        py::arg("smoothing"), py::arg("has_window"), py::arg("window"));
  m.def("range_centroids", &RangeCentroids, py::arg("path"), py::arg("start_year"), py::arg("axis"),
        py::arg("threshold"), py::arg("burn_in"), py::arg("patch_size_threshold"),
        py::arg("smoothing"), py::arg("has_window"), py::arg("window"));
  m.def("mcp_area", &MCPArea, py::arg("x"), py::arg("y"));
  m.def("convex_hull", &ConvexHull, py::arg("x"), py::arg("y"));
}

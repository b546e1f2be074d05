// The calls from R into the Varrowin library. The exported R functions check the types of their
// arguments; the checks of the values (and their messages) are the library's, run here in the
// command line's argument order.
#include <Rcpp.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/TPatches.h>
#include <varrowin/TPoint.h>
#include <varrowin/TPointTools.h>
#include <varrowin/Version.h>

// Every error of the library, as one type whose name is the class of the R condition (Rcpp names
// the condition after the C++ type of the exception).
class varrowin_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace {

using varrowin::TError;

// Runs f and turns an error of the library into a varrowin_error with the same message, and an
// allocation failure into one with the program's message for it.
template <class F>
auto Guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const TError& e) {
    throw varrowin_error(e.what());
  } catch (const std::bad_alloc&) {
    throw varrowin_error("Out of memory");
  }
}

// A whole number from R as a 32-bit count; outside that range the program's message for the
// argument ("startyear out of range", ...).
std::int32_t Int32(double value, const char* name) {
  if (!(value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())) {
    throw TError(std::string(name) + " out of range");
  }
  return static_cast<std::int32_t>(value);
}

// A start year: a 32-bit year above the lowest one, which is R's integer NA.
varrowin::TYear StartYear(double value) {
  if (value == std::numeric_limits<std::int32_t>::min()) {
    throw TError("startyear out of range");
  }
  return Int32(value, "startyear");
}

// The options, checked in the order in which the program checks its arguments. A window of NA
// stands for no window.
varrowin::TAnalysisOptions Options(double startYear, const std::string& axis, double threshold,
                                   double burnIn, double patchSizeThreshold,
                                   const std::string& smoothing, double window) {
  using varrowin::TSmoothing;
  varrowin::TAnalysisOptions o;
  o.startYear = StartYear(startYear);
  if (axis.size() != 1) {
    throw TError("XorY must be X or Y");
  }
  o.axis = varrowin::CheckAxis(axis[0]);
  o.threshold = threshold;
  varrowin::CheckThreshold(o.threshold);
  o.burnIn = Int32(burnIn, "burn-in");
  varrowin::CheckBurnIn(o.burnIn);
  o.patchSizeThreshold = Int32(patchSizeThreshold, "patch_size_threshold");
  if (smoothing == "none") {
    return o;
  }
  if (smoothing == "sma") {
    o.smoothing = TSmoothing::kMovingAverage;
  } else if (smoothing == "exp") {
    o.smoothing = TSmoothing::kExponential;
  } else if (smoothing == "smm") {
    o.smoothing = TSmoothing::kMedian;
  } else {
    throw TError("Unknown moving average");
  }
  if (std::isnan(window)) {
    throw TError("Missing window size");
  }
  o.window = Int32(window, "window_size");
  varrowin::CheckWindow(o.window);
  return o;
}

Rcpp::IntegerVector Years(const varrowin::TYearList& years) {
  return Rcpp::IntegerVector(years.begin(), years.end());
}

Rcpp::NumericVector Xs(const std::vector<varrowin::TPoint>& points) {
  Rcpp::NumericVector xs(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    xs[static_cast<R_xlen_t>(i)] = points[i].X();
  }
  return xs;
}

Rcpp::NumericVector Ys(const std::vector<varrowin::TPoint>& points) {
  Rcpp::NumericVector ys(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    ys[static_cast<R_xlen_t>(i)] = points[i].Y();
  }
  return ys;
}

std::vector<varrowin::TPoint> Points(const Rcpp::NumericVector& x, const Rcpp::NumericVector& y) {
  // The exported functions check this too; the internal ones may be called directly.
  if (x.size() != y.size()) {
    throw TError("'x' and 'y' must have the same length");
  }
  std::vector<varrowin::TPoint> points;
  points.reserve(static_cast<std::size_t>(x.size()));
  for (R_xlen_t i = 0; i < x.size(); ++i) {
    points.emplace_back(x[i], y[i]);
  }
  return points;
}

}  // namespace

// The library's version.
// [[Rcpp::export]]
std::string cpp_version() {
  return varrowin::kVersion;
}

// The analysis of one MP file: the report's figures and rows and the centroid positions.
// [[Rcpp::export]]
Rcpp::List cpp_analyse(std::string path, double start_year, std::string axis, double threshold,
                       double burn_in, double patch_size_threshold, std::string smoothing,
                       double window) {
  return Guarded([&] {
    const varrowin::TAnalysisOptions options =
        Options(start_year, axis, threshold, burn_in, patch_size_threshold, smoothing, window);
    const varrowin::TAnalysisResult r = varrowin::AnalyseMP(path, options);
    return Rcpp::List::create(
        Rcpp::Named("axis") = std::string(1, options.axis),
        Rcpp::Named("patches_loaded") = static_cast<double>(r.numPatchesLoaded),
        Rcpp::Named("patches_after_cleaning") =
            r.numPatchesAfterCleaning < 0 ? NA_REAL
                                          : static_cast<double>(r.numPatchesAfterCleaning),
        Rcpp::Named("resolution") = r.resolution, Rcpp::Named("years") = Years(r.years),
        Rcpp::Named("north_x") = Xs(r.northShifts), Rcpp::Named("north_y") = Ys(r.northShifts),
        Rcpp::Named("south_x") = Xs(r.southShifts), Rcpp::Named("south_y") = Ys(r.southShifts),
        Rcpp::Named("centroid_years") = Years(r.centroidYears),
        Rcpp::Named("all_cx") = Xs(r.allCentroids), Rcpp::Named("all_cy") = Ys(r.allCentroids),
        Rcpp::Named("north_cx") = Xs(r.northCentroids),
        Rcpp::Named("north_cy") = Ys(r.northCentroids),
        Rcpp::Named("south_cx") = Xs(r.southCentroids),
        Rcpp::Named("south_cy") = Ys(r.southCentroids));
  });
}

// The patches of an MP file (name order) and their populations (patch by patch, years
// ascending).
// [[Rcpp::export]]
Rcpp::List cpp_read_mp(std::string path, double start_year) {
  return Guarded([&] {
    const varrowin::TPatches patches = varrowin::TMPParser::LoadMP(path, StartYear(start_year));
    std::vector<std::string> names;
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<std::string> popPatch;
    std::vector<int> popYear;
    std::vector<double> popValue;
    for (const auto& [name, patch] : patches) {
      names.push_back(name);
      xs.push_back(patch.GetX());
      ys.push_back(patch.GetY());
      patch.ForEachYear([&, &name = name](varrowin::TYear year, double value) {
        popPatch.push_back(name);
        popYear.push_back(year);
        popValue.push_back(value);
      });
    }
    return Rcpp::List::create(
        Rcpp::Named("name") = names, Rcpp::Named("x") = xs, Rcpp::Named("y") = ys,
        Rcpp::Named("pop_patch") = popPatch, Rcpp::Named("pop_year") = popYear,
        Rcpp::Named("pop_value") = popValue, Rcpp::Named("resolution") = patches.GetResolution());
  });
}

// The area of the convex hull of the points.
// [[Rcpp::export]]
double cpp_mcp_area(Rcpp::NumericVector x, Rcpp::NumericVector y) {
  return Guarded([&] {
    return varrowin::TPointTools::FindConvexPolygonArea(
        varrowin::TPointTools::FindConvexHull(Points(x, y)));
  });
}

// The vertices of the convex hull of the points.
// [[Rcpp::export]]
Rcpp::List cpp_convex_hull(Rcpp::NumericVector x, Rcpp::NumericVector y) {
  return Guarded([&] {
    const std::vector<varrowin::TPoint> hull = varrowin::TPointTools::FindConvexHull(Points(x, y));
    return Rcpp::List::create(Rcpp::Named("x") = Xs(hull), Rcpp::Named("y") = Ys(hull));
  });
}

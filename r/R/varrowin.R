#' varrowin: range-margin shifts from population model result files
#'
#' Reads the result file of a spatially explicit population model (the MP
#' file) and measures, year by year, how the margins of the species' range
#' move relative to the range as a whole along one map axis. The numbers are
#' computed by the C++ library of the Varrowin program and are the program's to
#' the last bit.
#'
#' Errors found by the library (a file that cannot be read, an option out of
#' range, nothing left to analyse) are conditions of class
#' \code{"varrowin_error"} carrying the program's message; arguments of the
#' wrong type, \code{NA}, or of a length other than 1 are ordinary R errors.
#'
#' @useDynLib varrowin, .registration = TRUE
#' @importFrom Rcpp sourceCpp
#' @keywords internal
"_PACKAGE"

# Signals the library's error with the caller's call.
varrowin_stop <- function(message, call) {
  stop(errorCondition(message, class = "varrowin_error", call = call))
}

# Runs a call into the library; its errors are signalled again with the user's call.
guarded <- function(expr, call) {
  tryCatch(expr, varrowin_error = function(e) varrowin_stop(conditionMessage(e), call))
}

check_string <- function(x, name) {
  if (!is.character(x) || length(x) != 1L || is.na(x)) {
    stop(sprintf("'%s' must be a single character string (not NA)", name), call. = FALSE)
  }
}

check_number <- function(x, name) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x)) {
    stop(sprintf("'%s' must be a single number (not NA)", name), call. = FALSE)
  }
}

# A whole number; its range is checked by the library with the program's message.
check_whole <- function(x, name) {
  if (!is.numeric(x) || length(x) != 1L || is.na(x) || !is.finite(x) || x != trunc(x)) {
    stop(sprintf("'%s' must be a single whole number (not NA)", name), call. = FALSE)
  }
}

check_coordinates <- function(x, y) {
  if (!is.numeric(x) || !is.numeric(y)) {
    stop("'x' and 'y' must be numeric vectors", call. = FALSE)
  }
  if (length(x) != length(y)) {
    stop("'x' and 'y' must have the same length", call. = FALSE)
  }
}

kSmoothings <- c("none", "sma", "exp", "smm")

# Checks the arguments of an analysis and runs it; returns the library's result list with the
# options used.
analyse <- function(path, start_year, axis, threshold, burn_in, patch_size_threshold,
                    smoothing, window, call) {
  check_string(path, "path")
  check_whole(start_year, "start_year")
  check_string(axis, "axis")
  check_number(threshold, "threshold")
  check_whole(burn_in, "burn_in")
  check_whole(patch_size_threshold, "patch_size_threshold")
  if (identical(smoothing, kSmoothings)) {
    smoothing <- "none"
  }
  check_string(smoothing, "smoothing")
  if (!is.null(window)) {
    check_whole(window, "window")
  }
  file <- path.expand(path)
  result <- guarded(
    cpp_analyse(file, as.double(start_year), axis, as.double(threshold), as.double(burn_in),
                as.double(patch_size_threshold), smoothing,
                if (is.null(window)) NA_real_ else as.double(window)),
    call
  )
  result$file <- file
  result$options <- list(
    start_year = start_year, axis = result$axis, threshold = threshold, burn_in = burn_in,
    patch_size_threshold = patch_size_threshold, smoothing = smoothing,
    window = if (smoothing == "none") NULL else window
  )
  result
}

# The attributes every result carries.
with_attributes <- function(df, result) {
  attr(df, "varrowin_version") <- cpp_version()
  attr(df, "file") <- result$file
  attr(df, "options") <- result$options
  attr(df, "patches_loaded") <- result$patches_loaded
  attr(df, "patches_after_cleaning") <- result$patches_after_cleaning
  attr(df, "resolution") <- result$resolution
  df
}

#' Shifts of the range margins, as the Varrowin program reports them
#'
#' Loads the MP file, optionally drops short-lived patches, computes the
#' population-weighted centroid of the whole range and of its two margins
#' (the patches at each end of the axis that together hold the share
#' \code{threshold} of the year's population) for every year, optionally
#' smooths the three series, and returns for every year after the burn-in by
#' how many percent the size of each margin's offset from the range's centroid
#' has changed since the first year after the burn-in, per axis.
#'
#' The numbers are the program's to the last bit: \code{sprintf("\%g", x)}
#' gives the text of the program's report (which prints \code{nan} and
#' \code{inf} where R prints \code{NaN} and \code{Inf}: an offset of 0 in the
#' baseline year makes every later shift in that axis infinite, or not a
#' number where the offset is 0 again).
#'
#' North is the margin gathered from the low end of the axis, South the one
#' from the high end, whichever axis is chosen (the program's report names
#' them so).
#'
#' @param path The MP file: a path (\code{~} is expanded). Reading
#'   gzip-compressed files and \code{"-"} for standard input follows the
#'   program.
#' @param start_year The calendar year of the model's first time step: a
#'   whole number from -2147483647 to 2147483647.
#' @param axis \code{"X"} or \code{"Y"} (\code{"x"} and \code{"y"} read as
#'   upper case): the map axis along which the margins are taken, as in the
#'   program; any other text is an error.
#' @param threshold The share of a year's population that each margin holds,
#'   greater than 0 and less than 1.
#' @param burn_in The number of leading years left out of the shifts, 0 or
#'   more. The last burn-in year is the reference year of the range's
#'   centroid.
#' @param patch_size_threshold Keep only the patches whose population is
#'   non-zero in at least this many consecutive years; 0 (or less) keeps every
#'   patch.
#' @param smoothing \code{"none"}, or the smoothing of the three centroid
#'   series before the shifts are taken: \code{"sma"} (moving mean over
#'   \code{window} years), \code{"exp"} (exponential smoothing with the factor
#'   \code{2 / (window + 1)}) or \code{"smm"} (moving median over
#'   \code{window} years). Only these exact words are taken.
#' @param window The smoothing window in years, a whole number of 1 or more;
#'   required with a smoothing, not used without one.
#'
#' @return A data frame with one row per year and margin, ordered by year and,
#'   within a year, North before South: \code{year} (integer), \code{margin}
#'   (\code{"North"} or \code{"South"}), \code{x_shift} and \code{y_shift} (the
#'   unsigned percentages). Its attributes: \code{varrowin_version} (the
#'   library's version), \code{file} (the path read), \code{options} (the
#'   options used, the axis as \code{"X"} or \code{"Y"}), and the figures of
#'   the report's header: \code{patches_loaded}, \code{patches_after_cleaning}
#'   (\code{NA} without cleaning) and \code{resolution} (the file's cell
#'   length, 1 when it has none).
#'
#' @section Errors: Errors of the analysis are conditions of class
#'   \code{"varrowin_error"} with the program's message, such as "Threshold
#'   must be a number greater than 0 and less than 1", "XorY must be X or Y",
#'   "Burn-in must not be negative", "Unknown moving average", "Missing window
#'   size", "Window size must be at least 1", "Cannot open file: ...", "Burn-in
#'   leaves no years to analyse"; catch them with
#'   \code{tryCatch(..., varrowin_error = function(e) ...)}. They are checked
#'   in the program's argument order. Arguments of the wrong type, \code{NA},
#'   of a length other than 1, or numbers that are not whole where a count is
#'   expected are ordinary R errors.
#'
#' @seealso \code{\link{range_centroids}} for the centroid positions the
#'   shifts are computed from.
#' @examples
#' grid <- system.file("extdata", "grid.mp", package = "varrowin")
#' shifts <- margin_shifts(grid, 2000, "Y", 0.1)
#' head(shifts)
#' north <- shifts[shifts$margin == "North", ]
#' south <- shifts[shifts$margin == "South", ]
#' plot(north$year, north$y_shift, type = "l", xlab = "Year",
#'      ylab = "Shift along Y (%)", ylim = range(shifts$y_shift, finite = TRUE))
#' lines(south$year, south$y_shift, lty = 2)
#' legend("right", legend = c("North", "South"), lty = c(1, 2))
#'
#' # Smoothed with a moving median over 5 years, the first 3 years as burn-in:
#' head(margin_shifts(grid, 2000, "Y", 0.1, burn_in = 3, smoothing = "smm", window = 5))
#'
#' # An error of the analysis:
#' tryCatch(margin_shifts(grid, 2000, "Y", 1.5),
#'          varrowin_error = function(e) conditionMessage(e))
#' @export
margin_shifts <- function(path, start_year, axis, threshold, burn_in = 0,
                          patch_size_threshold = 0,
                          smoothing = c("none", "sma", "exp", "smm"), window = NULL) {
  r <- analyse(path, start_year, axis, threshold, burn_in, patch_size_threshold, smoothing,
               window, sys.call())
  n <- length(r$years)
  df <- data.frame(
    year = rep(r$years, each = 2L),
    margin = rep(c("North", "South"), times = n),
    x_shift = as.vector(rbind(r$north_x, r$south_x)),
    y_shift = as.vector(rbind(r$north_y, r$south_y)),
    stringsAsFactors = FALSE
  )
  with_attributes(df, r)
}

#' Centroids of the whole range and of its margins
#'
#' Runs the analysis of \code{\link{margin_shifts}} and returns the signed
#' positions it computes the shifts from: for every year of the (smoothed)
#' series, burn-in years included, the population-weighted centroid of all
#' patches and of the North and South margins.
#'
#' The positions are in the units of the MP file's patch coordinates. The
#' program's report labels its columns "X(km)" and "Y(km)", and the columns
#' here are named \code{x_km} and \code{y_km} after it, but no conversion takes
#' place: the file's cell length (attribute \code{resolution}) is not applied.
#'
#' @inheritParams margin_shifts
#' @return A data frame with three rows per year, ordered by year and, within
#'   a year, \code{"all"}, \code{"North"}, \code{"South"}: \code{year}
#'   (integer), \code{group}, \code{x_km} and \code{y_km}. The attributes are
#'   those of \code{\link{margin_shifts}}.
#' @section Errors: As for \code{\link{margin_shifts}}.
#' @examples
#' grid <- system.file("extdata", "grid.mp", package = "varrowin")
#' centroids <- range_centroids(grid, 2000, "Y", 0.1)
#' head(centroids)
#' all <- centroids[centroids$group == "all", ]
#' north <- centroids[centroids$group == "North", ]
#' south <- centroids[centroids$group == "South", ]
#' plot(all$year, all$y_km, type = "l", ylim = range(centroids$y_km),
#'      xlab = "Year", ylab = "Centroid Y")
#' lines(north$year, north$y_km, lty = 2)
#' lines(south$year, south$y_km, lty = 3)
#' @export
range_centroids <- function(path, start_year, axis, threshold, burn_in = 0,
                            patch_size_threshold = 0,
                            smoothing = c("none", "sma", "exp", "smm"), window = NULL) {
  r <- analyse(path, start_year, axis, threshold, burn_in, patch_size_threshold, smoothing,
               window, sys.call())
  n <- length(r$centroid_years)
  df <- data.frame(
    year = rep(r$centroid_years, each = 3L),
    group = rep(c("all", "North", "South"), times = n),
    x_km = as.vector(rbind(r$all_cx, r$north_cx, r$south_cx)),
    y_km = as.vector(rbind(r$all_cy, r$north_cy, r$south_cy)),
    stringsAsFactors = FALSE
  )
  with_attributes(df, r)
}

#' Read an MP file
#'
#' Reads the patches and their yearly populations from an MP file as the
#' Varrowin program reads them.
#'
#' @inheritParams margin_shifts
#' @param start_year The calendar year of the model's first time step; the
#'   time steps are numbered from it.
#' @return A list of two data frames: \code{patches} with columns \code{name},
#'   \code{x}, \code{y} (one row per patch, in name order), and
#'   \code{populations} with columns \code{patch} (the patch name),
#'   \code{year} (integer) and \code{population}, one row per patch and year,
#'   patches in name order and years ascending. Attributes:
#'   \code{varrowin_version}, \code{file}, \code{options} (the start year) and
#'   \code{resolution} (the file's cell length, 1 when it has none).
#' @section Errors: A file that cannot be read or that the reader rejects is a
#'   condition of class \code{"varrowin_error"} with the program's message.
#' @examples
#' minimal <- system.file("extdata", "minimal.mp", package = "varrowin")
#' mp <- read_mp(minimal, 2000)
#' mp$patches
#' mp$populations
#' attr(mp, "resolution")
#' @export
read_mp <- function(path, start_year) {
  check_string(path, "path")
  check_whole(start_year, "start_year")
  file <- path.expand(path)
  r <- guarded(cpp_read_mp(file, as.double(start_year)), sys.call())
  out <- list(
    patches = data.frame(name = r$name, x = r$x, y = r$y, stringsAsFactors = FALSE),
    populations = data.frame(patch = r$pop_patch, year = r$pop_year,
                             population = r$pop_value, stringsAsFactors = FALSE)
  )
  attr(out, "varrowin_version") <- cpp_version()
  attr(out, "file") <- file
  attr(out, "options") <- list(start_year = start_year)
  attr(out, "resolution") <- r$resolution
  out
}

#' Area of the minimum convex polygon
#'
#' The area of the convex hull of the points, as the Varrowin library
#' computes the occupied-range area of a year.
#'
#' @param x,y Numeric vectors of the same length: the points' coordinates.
#'   Points with an \code{NA}, \code{NaN} or infinite coordinate are left out.
#' @return The area, in the square of the coordinates' unit; 0 for fewer than
#'   three points or points on one line.
#' @examples
#' mcp_area(c(0, 2, 2, 0, 1), c(0, 0, 2, 2, 1))
#' @export
mcp_area <- function(x, y) {
  check_coordinates(x, y)
  guarded(cpp_mcp_area(as.double(x), as.double(y)), sys.call())
}

#' Convex hull of points
#'
#' The vertices of the convex hull of the points: each once, none that lies
#' on an edge, counter-clockwise from the lowest point (smallest \code{y},
#' then smallest \code{x}).
#'
#' @inheritParams mcp_area
#' @return A data frame with columns \code{x} and \code{y}, one row per
#'   vertex.
#' @examples
#' convex_hull(c(0, 2, 2, 0, 1), c(0, 0, 2, 2, 1))
#' @export
convex_hull <- function(x, y) {
  check_coordinates(x, y)
  r <- guarded(cpp_convex_hull(as.double(x), as.double(y)), sys.call())
  data.frame(x = r$x, y = r$y)
}

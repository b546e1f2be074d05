// The range-margin analysis as one library call: load, clean, rank, walk, smooth and shift.
//
// This is the analysis that the Varrowin program runs and reports; the R package and the Python
// module call it too, so all three give the same numbers to the last bit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Common.h"
#include "TPatches.h"
#include "TPoint.h"

namespace varrowin {

// How the three centroid series are smoothed before the shifts are taken.
enum class TSmoothing {
  kNone,           // no smoothing
  kMovingAverage,  // "sma": moving mean over a window of years
  kExponential,    // "exp": exponential smoothing with the factor 2 / (window + 1)
  kMedian,         // "smm": moving median over a window of years
};

// The options of one analysis, in the program's argument order.
struct TAnalysisOptions {
  TYear startYear = 0;                  // calendar year of the model's first time step
  char axis = 'Y';                      // 'X' or 'Y' (lower case reads as upper case)
  double threshold = 0.1;               // share of a year's population in a margin, 0 < t < 1
  std::int32_t burnIn = 0;              // leading years left out of the shifts, 0 or more
  std::int32_t patchSizeThreshold = 0;  // keep patches with this many consecutive non-zero
                                        // years when 1 or more; 0 or less keeps all
  TSmoothing smoothing = TSmoothing::kNone;
  std::int32_t window = 0;  // smoothing window in years, 1 or more when smoothing
};

// The checks of the options, each throwing TError with the program's message. CheckOptions runs
// them in argument order; the single checks let a caller interleave them with its own.
// Returns the axis as 'X' or 'Y'; throws "XorY must be X or Y" for any other character.
char CheckAxis(char axis);
// Throws "Threshold must be a number greater than 0 and less than 1" unless 0 < threshold < 1.
void CheckThreshold(double threshold);
// Throws "Burn-in must not be negative" for a negative burn-in.
void CheckBurnIn(std::int32_t burnIn);
// Throws "Window size must be at least 1" for a window below 1.
void CheckWindow(std::int32_t window);
// Throws "Delimiter must not be empty" for an empty report delimiter.
void CheckDelimiter(std::string_view delimiter);

// The options as the program reads them from its arguments' text, each check throwing TError
// with the program's message. Nothing depends on the process locale.
// A whole decimal number: leading white space, at most one sign, digits and nothing after them.
// Throws "<name> must be a whole number" for any other text and "<name> out of range" outside
// the signed 32-bit range.
std::int32_t ParseWholeNumberArgument(std::string_view text, std::string_view name);
// Exactly one of X, x, Y or y, returned as 'X' or 'Y'; otherwise "XorY must be X or Y".
char ParseAxis(std::string_view text);
// A decimal or hexadecimal floating-point number as strtod reads it in the "C" locale (white
// space before it, nothing after it, no infinity or not-a-number), whose double lies strictly
// between 0 and 1; otherwise "Threshold must be a number greater than 0 and less than 1".
double ParseThreshold(std::string_view text);

// Runs every check that applies to the options (the window only when smoothing), in argument
// order, and returns the options with the axis as 'X' or 'Y'.
TAnalysisOptions CheckOptions(TAnalysisOptions options);

// The smoothing label of the report ("Simple moving average smoothing window", ...), or an empty
// text for kNone.
const char* SmoothingLabel(TSmoothing smoothing);

// What one analysis gives: the figures of the report's header block, its rows, and the signed
// centroid positions that the percentages are computed from.
struct TAnalysisResult {
  std::int64_t numPatchesLoaded = 0;
  // The number of patches kept by cleaning; -1 when no cleaning ran (patchSizeThreshold < 1).
  std::int64_t numPatchesAfterCleaning = -1;
  double resolution = 1.0;  // the MP file's cell length (1 when it has none)

  // The report's rows: the years from the end of the burn-in on, ascending, and for each year the
  // unsigned percentage change of the North and South margin offsets in X and Y (nan or inf where
  // the first offset is 0).
  TYearList years;
  std::vector<TPoint> northShifts;
  std::vector<TPoint> southShifts;

  // Every year of the (smoothed) centroid series, burn-in years included, ascending, with the
  // population-weighted centroid of the whole range and of each margin in map coordinates.
  // North is the margin gathered from the low end of the axis, South the one from the high end.
  TYearList centroidYears;
  std::vector<TPoint> allCentroids;
  std::vector<TPoint> northCentroids;
  std::vector<TPoint> southCentroids;
};

// Runs the analysis on a loaded patch collection (taken over, so that its memory can go as soon
// as it is no longer needed). The options are checked first (CheckOptions). Throws TError with
// "No patches to analyse", "No years to analyse" or "Burn-in leaves no years to analyse" when
// nothing is left to analyse.
TAnalysisResult Analyse(TPatches patches, const TAnalysisOptions& options);

// Checks the options, loads the MP file (TMPParser::LoadMP with options.startYear) and runs
// Analyse on it. Throws TError with the reader's or the analysis's message.
TAnalysisResult AnalyseMP(const std::string& fileName, const TAnalysisOptions& options);

}  // namespace varrowin

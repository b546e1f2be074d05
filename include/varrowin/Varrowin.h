// The Varrowin run: command line, analysis pipeline and report.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Analysis.h"

namespace varrowin {

// The usage line, written without an end of line when arguments are missing.
inline constexpr const char* kUsage =
    "Usage: Varrowin filename startyear XorY Threshold delimiter [burn-in] "
    "[patch_size_threshold] [moving_average_type (sma | exp | smm) window_size]";

// The text of Varrowin --help (or -h): the usage line, the arguments and what the report's
// North and South mean. Written to standard output with its final end of line.
inline constexpr const char* kHelp =
    "Usage: Varrowin filename startyear XorY Threshold delimiter [burn-in] "
    "[patch_size_threshold] [moving_average_type (sma | exp | smm) window_size]\n"
    "       Varrowin --help | -h | --version\n"
    "\n"
    "  filename              the MP file to read, plain or gzip-compressed;\n"
    "                        - reads standard input\n"
    "  startyear             calendar year of the model's first time step:\n"
    "                        a whole number\n"
    "  XorY                  axis along which the margins are taken: X or Y\n"
    "                        (x and y are read as X and Y)\n"
    "  Threshold             share of a year's population that forms a margin:\n"
    "                        a number greater than 0 and less than 1, e.g. 0.1\n"
    "  delimiter             field separator of the report, used exactly as given:\n"
    "                        one or more characters\n"
    "  burn-in               leading years left out of the shift table:\n"
    "                        a whole number, 0 or more (default 0)\n"
    "  patch_size_threshold  keep only patches with this many consecutive years of\n"
    "                        non-zero population: a whole number; 0 or less keeps\n"
    "                        all (default 0)\n"
    "  moving_average_type   smoothing of the centroid series: sma (moving average),\n"
    "                        exp (exponential), smm (moving median); default none\n"
    "  window_size           smoothing window in years: a whole number, 1 or more\n"
    "\n"
    "Whole numbers are decimal digits with an optional sign and must fit in 32 bits.\n"
    "North is the margin gathered from the low end of the chosen axis (its smallest\n"
    "coordinates) and South the one from the high end, for X as for Y; with raster\n"
    "coordinates, where Y grows downwards, low Y is the northern edge. For each\n"
    "margin, year and ordinate (X, Y) the offset is the range's centroid in the\n"
    "reference year (the last burn-in year, or the first year) minus the margin's\n"
    "centroid; a cell is 100 * | |offset| - |first offset| | / |first offset|, the\n"
    "first offset being that of the table's first year: a change in percent without\n"
    "sign, not scaled by the resolution.\n"
    "\n"
    "VARROWIN_THREADS=N (1 to 256) limits the threads that read a large file,\n"
    "analyse many patch-years and write a long report.\n"
    "\n"
    "Errors: one line on standard error, exit status 1, nothing on standard output\n"
    "(only a failure while the report is being written can leave part of it).\n"
    "  startyear, burn-in, patch_size_threshold or window_size must be a whole number\n"
    "  startyear, burn-in, patch_size_threshold or window_size out of range\n"
    "  XorY must be X or Y\n"
    "  Threshold must be a number greater than 0 and less than 1\n"
    "  Delimiter must not be empty\n"
    "  Burn-in must not be negative\n"
    "  Unknown moving average\n"
    "  Missing window size\n"
    "  Window size must be at least 1\n"
    "  VARROWIN_THREADS must be a whole number from 1 to 256\n"
    "  Cannot open file: <name>: <reason>\n"
    "  Cannot read file: <name>: corrupt gzip data\n"
    "  Cannot read file: <name>: truncated gzip data\n"
    "  Cannot read file: <name>: unexpected data after the gzip data\n"
    "  Duplicate patch name: <name>\n"
    "  Patch does not exist\n"
    "  Unexpected end of file in population section\n"
    "  Year out of range\n"
    "  No patches to analyse\n"
    "  No years to analyse\n"
    "  Burn-in leaves no years to analyse\n"
    "  Cannot write to standard output\n"
    "  Out of memory\n";

// The run parameters of the command line: the MP file, the report's delimiter and the analysis
// options.
struct TRunParameters {
  std::string filename;
  std::string delimiter;
  TAnalysisOptions options;
};

// Reads the run parameters from the arguments that follow the program name (at least five).
// Each argument is checked whole, in argument order, before anything is loaded; the first that
// fails throws TError with its message ("startyear must be a whole number", "XorY must be X or
// Y", ...). The checks are the library's, so the program and the library's callers refuse the
// same options.
TRunParameters ParseArguments(const std::vector<std::string>& args);

// Runs Varrowin on the arguments that follow the program name, writing the report to out and
// the usage line or an error message to err. Returns the exit status: 0 after a complete run,
// 1 after the usage line or an error. Never throws.
int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace varrowin

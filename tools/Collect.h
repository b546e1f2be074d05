// varrowin-collect: merges the reports of many Varrowin runs (one per MP file, as the job-array
// script in examples/slurm/ writes them) into one tidy CSV table, and names the files whose run
// failed.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <varrowin/Analysis.h>

namespace varrowin {

// The usage line of varrowin-collect.
inline constexpr const char* kCollectUsage =
    "Usage: varrowin-collect list outdir startyear XorY Threshold delimiter [burn-in] "
    "[patch_size_threshold] [moving_average_type (sma | exp | smm) window_size]\n";

// The arguments of varrowin-collect: the list of MP files (line i is array task i), the
// directory that holds the reports and logs, and the Varrowin arguments that followed the file
// name.
struct TCollectParameters {
  std::string listFile;
  std::string outDir;
  std::string delimiter;
  TAnalysisOptions options;
};

// Reads the arguments (at least six) as Varrowin reads its own: the same conversions and checks,
// with the same messages. Throws TError, also for a delimiter that cannot be told apart from the
// numbers of a report (empty, an end of line, or a character of a number, "nan" or "inf").
TCollectParameters ParseCollectArguments(const std::vector<std::string>& args);

// One row of a report's table, each cell as the report prints it.
struct TReportRow {
  std::string year;
  std::string northX;
  std::string northY;
  std::string southX;
  std::string southY;
};

// Reads a whole Varrowin report written with the delimiter and the options. Throws TError when
// the text is not a complete report of a run with these options: a header line missing or out of
// order, a header value that differs from the options, fewer or more rows than "Total years", a
// row that is not an empty field, a year, two cells, the same year and two cells, or a last line
// without an end of line.
std::vector<TReportRow> ReadReport(std::string_view text, std::string_view delimiter,
                                   const TAnalysisOptions& options);

// The text as one CSV field: quoted, with inner quotes doubled, when it holds a comma, a quote, a
// carriage return or an end of line, or begins or ends with a blank; unchanged otherwise.
std::string CsvField(std::string_view text);

// The report and the log of array task `task` (1, 2, ...) in outDir.
std::string ReportPath(const std::string& outDir, std::size_t task);
std::string LogPath(const std::string& outDir, std::size_t task);

// Runs varrowin-collect on the arguments after the program name: writes the CSV table of every
// complete report to out and one line per failed file, then a count, to err. Returns 0 when every
// file of the list has a complete report, 1 when any has not (the table then holds the others),
// and 2 when nothing could be collected (usage, arguments, an unreadable list, a failed write).
int RunCollect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace varrowin

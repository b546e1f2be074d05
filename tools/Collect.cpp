#include "Collect.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <sstream>
#include <system_error>

#include <varrowin/Common.h>
#include <varrowin/Varrowin.h>

namespace varrowin {

namespace {

// Every character that a number of a report can hold (digits, signs, point, exponent, nan, inf).
constexpr std::string_view kNumberCharacters = "0123456789+-.einaf";

bool WholeInteger(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool WholeNumber(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// The lines of a text that ends with an end of line, without their ends of line.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The fields of a line cut at every delimiter (which is never empty here).
std::vector<std::string_view> Fields(std::string_view line, std::string_view delimiter) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(delimiter, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + delimiter.size();
  }
}

// The header block a run with these options writes, as label and, where the options fix it,
// the value.
struct THeaderLine {
  std::string label;
  std::string value;  // empty when the value comes from the MP file
};

std::vector<THeaderLine> ExpectedHeader(const TAnalysisOptions& o) {
  std::vector<THeaderLine> header{{"Num patches loaded", ""}};
  if (o.patchSizeThreshold > 0) {
    header.push_back({"Patch size threshold", std::to_string(o.patchSizeThreshold)});
    header.push_back({"Num patches after cleaning", ""});
  }
  header.push_back({"Resolution(km)", ""});
  header.push_back({"Total years", ""});
  if (o.burnIn > 0) {
    header.push_back({"Burn-in years", std::to_string(o.burnIn)});
  }
  if (o.smoothing != TSmoothing::kNone) {
    header.push_back({SmoothingLabel(o.smoothing), std::to_string(o.window)});
  }
  return header;
}

const char* SmoothingWord(TSmoothing smoothing) {
  switch (smoothing) {
    case TSmoothing::kMovingAverage:
      return "sma";
    case TSmoothing::kExponential:
      return "exp";
    case TSmoothing::kMedian:
      return "smm";
    case TSmoothing::kNone:
      break;
  }
  return "none";
}

// The shortest text that reads back as the same double.
std::string ShortestNumber(double value) {
  std::array<char, 32> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return error == std::errc() ? std::string(buffer.data(), end) : std::string("?");
}

// The option columns of every row of the table, after the leading comma.
std::string OptionColumns(const TAnalysisOptions& o) {
  std::string columns = std::to_string(o.startYear);
  columns += ',';
  columns += o.axis;
  columns += ',' + ShortestNumber(o.threshold) + ',' + std::to_string(o.burnIn) + ',' +
             std::to_string(o.patchSizeThreshold) + ',' + SmoothingWord(o.smoothing) + ',';
  if (o.smoothing != TSmoothing::kNone) {
    columns += std::to_string(o.window);
  }
  return columns;
}

// Why a task left no report, from its log: the first line that the array script did not write
// itself (Varrowin's message), or else the log's last line.
std::string FailureFromLog(const std::string& logPath) {
  std::ifstream log(logPath, std::ios::binary);
  if (!log) {
    return "no report and no log " + logPath + " (the task did not run)";
  }
  std::string line;
  std::string last;
  while (std::getline(log, line)) {
    if (line.empty()) {
      continue;
    }
    if (line.rfind("varrowin-array:", 0) != 0) {
      return line;
    }
    last = line;
  }
  return last.empty() ? "no report, and the log " + logPath + " is empty" : last;
}

// The whole file, or nothing when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& contents) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return false;
  }
  std::ostringstream buffer;
  buffer << file.rdbuf();
  contents = buffer.str();
  return true;
}

}  // namespace

TCollectParameters ParseCollectArguments(const std::vector<std::string>& args) {
  TCollectParameters p;
  p.listFile = args[0];
  p.outDir = args[1];
  // The Varrowin arguments after the file name, read by Varrowin's own reading of them.
  std::vector<std::string> run{std::string("-")};
  run.insert(run.end(), args.begin() + 2, args.end());
  TRunParameters parsed = ParseArguments(run);
  p.delimiter = std::move(parsed.delimiter);
  p.options = parsed.options;
  if (p.delimiter.find('\n') != std::string::npos ||
      p.delimiter.find_first_of(kNumberCharacters) != std::string::npos) {
    throw TError("The delimiter '" + p.delimiter +
                 "' cannot be told apart from the numbers of a report: it must not be empty nor "
                 "hold an end of line or any of " +
                 std::string(kNumberCharacters));
  }
  return p;
}

std::vector<TReportRow> ReadReport(std::string_view text, std::string_view delimiter,
                                   const TAnalysisOptions& options) {
  if (text.empty()) {
    throw TError("empty report");
  }
  if (text.back() != '\n') {
    throw TError("the last line has no end of line (report cut short)");
  }
  const std::vector<std::string_view> lines = Lines(text);
  const std::string d(delimiter);
  std::size_t k = 0;
  std::string resolution;
  std::size_t totalYears = 0;
  for (const THeaderLine& expected : ExpectedHeader(options)) {
    const std::string prefix = expected.label + d;
    if (k >= lines.size()) {
      throw TError("no line \"" + expected.label + "\" (report cut short)");
    }
    if (lines[k].substr(0, prefix.size()) != prefix) {
      throw TError("line " + std::to_string(k + 1) + " is not \"" + expected.label +
                   "\": not a report of a run with these arguments");
    }
    const std::string value(lines[k].substr(prefix.size()));
    if (!expected.value.empty() && value != expected.value) {
      throw TError("\"" + expected.label + "\" is " + value + " in the report and " +
                   expected.value + " in the arguments");
    }
    if (expected.label == "Resolution(km)") {
      resolution = value;
    } else if (expected.label == "Total years") {
      const auto [end, error] =
          std::from_chars(value.data(), value.data() + value.size(), totalYears);
      if (error != std::errc() || end != value.data() + value.size()) {
        throw TError("\"Total years\" is not a count: " + value);
      }
    }
    ++k;
  }
  if (k >= lines.size() || lines[k] != d + d + "North" + d + d + "South") {
    throw TError(k >= lines.size() ? "no group header (report cut short)"
                                   : "line " + std::to_string(k + 1) + " is not the group header");
  }
  ++k;
  const std::string columnHeader =
      d + "Year" + d + "X(km)" + d + "Y(km)" + d + "Year" + d + "X(km)" + d + "Y(km)";
  if (k >= lines.size() || !(lines[k] == columnHeader || (lines[k].empty() && resolution == "1"))) {
    throw TError(k >= lines.size() ? "no column header (report cut short)"
                                   : "line " + std::to_string(k + 1) + " is not the column header");
  }
  ++k;
  const std::size_t rows = lines.size() - k;
  if (rows != totalYears) {
    throw TError(std::to_string(rows) + " rows where \"Total years\" is " +
                 std::to_string(totalYears) + (rows < totalYears ? " (report cut short)" : ""));
  }
  std::vector<TReportRow> table;
  table.reserve(rows);
  for (; k < lines.size(); ++k) {
    const std::vector<std::string_view> f = Fields(lines[k], d);
    if (f.size() != 7 || !f[0].empty() || !WholeInteger(f[1]) || f[4] != f[1] ||
        !WholeNumber(f[2]) || !WholeNumber(f[3]) || !WholeNumber(f[5]) || !WholeNumber(f[6])) {
      throw TError("line " + std::to_string(k + 1) +
                   " is not a row of the table: " + std::string(lines[k]));
    }
    table.push_back({std::string(f[1]), std::string(f[2]), std::string(f[3]), std::string(f[5]),
                     std::string(f[6])});
  }
  return table;
}

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) {
    return std::string(text);
  }
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') {
      field += '"';
    }
    field += c;
  }
  field += '"';
  return field;
}

std::string ReportPath(const std::string& outDir, std::size_t task) {
  return outDir + "/" + std::to_string(task) + ".report";
}

std::string LogPath(const std::string& outDir, std::size_t task) {
  return outDir + "/" + std::to_string(task) + ".log";
}

int RunCollect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 6) {
    err << kCollectUsage;
    return 2;
  }
  try {
    const TCollectParameters p = ParseCollectArguments(args);
    std::string listText;
    errno = 0;
    if (!ReadWholeFile(p.listFile, listText)) {
      // The stream's failed open leaves the system's reason in errno.
      const int error = errno;
      throw TError("Cannot open file: " + p.listFile +
                   (error != 0 ? std::string(": ") + std::strerror(error) : std::string()));
    }
    if (!listText.empty() && listText.back() != '\n') {
      listText += '\n';
    }
    const std::vector<std::string_view> files = Lines(listText);
    const std::string options = OptionColumns(p.options);
    out << "file,year,margin,x_shift,y_shift,start_year,axis,threshold,burn_in,"
           "patch_size_threshold,smoothing,window\n";
    std::size_t failed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::size_t task = i + 1;
      const std::string file(files[i]);
      const std::string reportPath = ReportPath(p.outDir, task);
      std::string why;
      std::string report;
      if (file.empty()) {
        why = "line " + std::to_string(task) + " of " + p.listFile + " is empty";
      } else if (!ReadWholeFile(reportPath, report)) {
        why = FailureFromLog(LogPath(p.outDir, task));
      } else {
        try {
          const std::string name = CsvField(file);
          for (const TReportRow& row : ReadReport(report, p.delimiter, p.options)) {
            out << name << ',' << row.year << ",North," << row.northX << ',' << row.northY << ','
                << options << '\n'
                << name << ',' << row.year << ",South," << row.southX << ',' << row.southY << ','
                << options << '\n';
          }
        } catch (const TError& e) {
          why = reportPath + ": " + e.what();
        }
      }
      if (!why.empty()) {
        ++failed;
        err << "varrowin-collect: failed: " << (file.empty() ? "(empty line)" : file) << " (task "
            << task << "): " << why << '\n';
      }
    }
    out.flush();
    if (!out) {
      throw TError("Cannot write to standard output");
    }
    if (failed > 0) {
      err << "varrowin-collect: " << failed << " of " << files.size() << " files failed\n";
      return 1;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    err << "varrowin-collect: Out of memory\n";
  } catch (const std::exception& e) {
    err << "varrowin-collect: " << e.what() << '\n';
  }
  return 2;
}

}  // namespace varrowin

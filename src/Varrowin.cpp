#include <varrowin/Varrowin.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <ios>
#include <locale>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/Version.h>

#include "AnalysisSpans.h"
#include "MPLoad.h"
#include "NumberText.h"
#include "ReportNumber.h"
#include "SeriesPieces.h"

namespace varrowin {

TRunParameters ParseArguments(const std::vector<std::string>& args) {
  TRunParameters p;
  TAnalysisOptions& o = p.options;
  p.filename = args[0];
  o.startYear = ParseWholeNumberArgument(args[1], "startyear");
  o.axis = ParseAxis(args[2]);
  o.threshold = ParseThreshold(args[3]);
  CheckDelimiter(args[4]);
  p.delimiter = args[4];
  if (args.size() >= 6) {
    o.burnIn = ParseWholeNumberArgument(args[5], "burn-in");
    CheckBurnIn(o.burnIn);
  }
  if (args.size() >= 7) {
    o.patchSizeThreshold = ParseWholeNumberArgument(args[6], "patch_size_threshold");
  }
  if (args.size() >= 8) {
    const std::string& word = args[7];
    if (word == "sma") {
      o.smoothing = TSmoothing::kMovingAverage;
    } else if (word == "exp") {
      o.smoothing = TSmoothing::kExponential;
    } else if (word == "smm") {
      o.smoothing = TSmoothing::kMedian;
    } else {
      throw TError("Unknown moving average");
    }
    if (args.size() == 8) {
      throw TError("Missing window size");
    }
    o.window = ParseWholeNumberArgument(args[8], "window_size");
    CheckWindow(o.window);
  }
  return p;
}

namespace {

// Writes the report through one block of 64 KiB: the output stream sees one write per full
// block, not one per line. Numbers are formatted as the output stream formats them; with the
// stream's default format (six significant digits, "C" locale) that is the text of printf's
// %.6g and %d, written here without the stream (WriteShortG, std::to_chars). A failed write is an
// error, so a report that could not be written never ends in success.
class TReport {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  TReport(std::ostream& out, std::string delimiter)
      : out_(out),
        delim_(std::move(delimiter)),
        plain_(out.flags() == (std::ios_base::dec | std::ios_base::skipws) &&
               out.precision() == 6 && out.width() == 0 && out.getloc() == std::locale::classic()),
        block_(kBlockSize) {
    formatter_.copyfmt(out);
    formatter_.exceptions(std::ios_base::goodbit);
  }

  template <class T>
  void HeaderLine(const char* label, const T& value) {
    Text(label);
    Text(delim_);
    Number(value);
    EndLine();
  }

  void GroupHeader() {
    for (const std::string_view part :
         {std::string_view(delim_), std::string_view(delim_), std::string_view("North"),
          std::string_view(delim_), std::string_view(delim_), std::string_view("South")}) {
      Text(part);
    }
    EndLine();
  }

  void ColumnHeader(double resolution) {
    if (resolution != 1.0) {
      for (int group = 0; group < 2; ++group) {
        for (const char* label : {"Year", "X(km)", "Y(km)"}) {
          Text(delim_);
          Text(label);
        }
      }
    }
    EndLine();
  }

  void Row(TYear year, const TPoint& north, const TPoint& south) {
    // Six numbers of at most kShortGRoom characters, six delimiters and the line feed.
    const std::size_t room = 6 * (kShortGRoom + delim_.size()) + 1;
    if (plain_ && room <= block_.size()) {
      if (block_.size() - used_ < room) {
        Drain();
      }
      SetYearText(year);
      char* out = block_.data() + used_;
      for (const TPoint* point : {&north, &south}) {
        out = Delimiter(out);
        out = std::copy_n(yearText_.data(), yearSize_, out);
        out = Delimiter(out);
        out = WriteShortG(out, point->X());
        out = Delimiter(out);
        out = WriteShortG(out, point->Y());
      }
      *out++ = '\n';
      used_ = static_cast<std::size_t>(out - block_.data());
      return;
    }
    for (const TPoint* point : {&north, &south}) {
      Text(delim_);
      Number(year);
      Text(delim_);
      Number(point->X());
      Text(delim_);
      Number(point->Y());
    }
    EndLine();
  }

  // Writes the rest of the report and flushes the output stream.
  void Finish() {
    Drain();
    if (!out_.flush()) {
      Fail();
    }
  }

 private:
  [[noreturn]] static void Fail() { throw TError("Cannot write to standard output"); }

  void Drain() {
    if (used_ > 0) {
      out_.write(block_.data(), static_cast<std::streamsize>(used_));
      used_ = 0;
    }
    if (!out_) {
      Fail();
    }
  }

  void Text(std::string_view text) {
    if (text.size() > block_.size() - used_) {
      Drain();
      if (text.size() > block_.size()) {
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out_) {
          Fail();
        }
        return;
      }
    }
    std::copy(text.begin(), text.end(), block_.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ += text.size();
  }

  template <class T>
  void Number(T value) {
    if (plain_) {
      // Room for any %.6g or integer text.
      constexpr std::size_t kRoom = 32;
      if (block_.size() - used_ < kRoom) {
        Drain();
      }
      char* const first = block_.data() + used_;
      char* last = nullptr;
      if constexpr (std::is_floating_point_v<T>) {
        last = WriteShortG(first, value);
      } else {
        last = std::to_chars(first, first + kRoom, value).ptr;
      }
      used_ += static_cast<std::size_t>(last - first);
      return;
    }
    formatter_.str(std::string());
    formatter_ << value;
    Text(formatter_.view());
  }

  void EndLine() { Text("\n"); }

  // Makes yearText_ the text of the year. Rows come in consecutive years, so the text of the
  // year after the last one is the last text counted up by one.
  void SetYearText(TYear year) {
    if (yearSize_ > 0 && year > 0 && std::int64_t{year} == std::int64_t{lastYear_} + 1) {
      std::size_t digit = yearSize_;
      while (digit > 0 && yearText_[digit - 1] == '9') {
        yearText_[--digit] = '0';
      }
      if (digit > 0) {
        ++yearText_[digit - 1];
      } else {
        yearText_[0] = '1';  // 99 + 1: a 1 and the zeros
        yearText_[yearSize_++] = '0';
      }
    } else {
      yearSize_ = static_cast<std::size_t>(
          std::to_chars(yearText_.data(), yearText_.data() + yearText_.size(), year).ptr -
          yearText_.data());
    }
    lastYear_ = year;
  }

  // Writes the delimiter at out, which has room for it; returns the end.
  char* Delimiter(char* out) const {
    if (delim_.size() == 1) {
      *out = delim_[0];
      return out + 1;
    }
    return std::copy(delim_.begin(), delim_.end(), out);
  }

  std::ostream& out_;
  std::string delim_;
  // The text of the year of the last row, when yearSize_ > 0.
  std::array<char, 16> yearText_{};
  std::size_t yearSize_ = 0;
  TYear lastYear_ = 0;
  bool plain_;
  std::ostringstream formatter_;
  std::vector<char> block_;
  std::size_t used_ = 0;
};

// Writes the rows of the years first, first + 1, ...
void WriteRows(TReport& report, TYear first, const std::vector<TPoint>& north,
               const std::vector<TPoint>& south) {
  for (std::size_t k = 0; k < north.size(); ++k) {
    report.Row(static_cast<TYear>(std::int64_t{first} + static_cast<std::int64_t>(k)), north[k],
               south[k]);
  }
}

// Writes report rows on a second thread, so that the analysis makes the next rows while the last
// ones are formatted and written. Batches are written in the order they are put, and at most
// kWaiting of them wait, so that memory stays bounded. A failure of the writing thread is thrown
// by the next Put or by Finish.
class TRowWriter {
 public:
  explicit TRowWriter(TReport& report) : report_(report), worker_([this] { Work(); }) {}
  TRowWriter(const TRowWriter&) = delete;
  TRowWriter& operator=(const TRowWriter&) = delete;
  TRowWriter(TRowWriter&&) = delete;
  TRowWriter& operator=(TRowWriter&&) = delete;
  // Stops the thread; rows still waiting are dropped (the run has failed).
  ~TRowWriter() { Stop(true); }

  // Takes the points over for writing; north and south get emptied vectors of an earlier batch.
  void Put(TYear first, std::vector<TPoint>& north, std::vector<TPoint>& south) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kWaiting || error_; });
    if (error_) {
      std::rethrow_exception(error_);
    }
    TBatch batch;
    if (!spare_.empty()) {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    batch.first = first;
    batch.north.swap(north);
    batch.south.swap(south);
    north.clear();
    south.clear();
    waiting_.push_back(std::move(batch));
    changed_.notify_all();
  }

  // Waits until every row is written.
  void Finish() {
    Stop(false);
    if (error_) {
      std::rethrow_exception(error_);
    }
  }

 private:
  static constexpr std::size_t kWaiting = 2;

  struct TBatch {
    TYear first = 0;
    std::vector<TPoint> north;
    std::vector<TPoint> south;
  };

  void Stop(bool drop) {
    {
      const std::lock_guard lock(mutex_);
      if (drop) {
        waiting_.clear();
      }
      stopping_ = true;
      changed_.notify_all();
    }
    if (worker_.joinable()) {
      worker_.join();
    }
  }

  void Work() {
    for (;;) {
      TBatch batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
        if (waiting_.empty()) {
          return;
        }
        batch = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
      }
      try {
        WriteRows(report_, batch.first, batch.north, batch.south);
        const std::lock_guard lock(mutex_);
        spare_.push_back(std::move(batch));  // its vectors serve again
      } catch (...) {
        const std::lock_guard lock(mutex_);
        error_ = std::current_exception();
        waiting_.clear();
        changed_.notify_all();
        return;
      }
    }
  }

 private:
  TReport& report_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TBatch> waiting_;
  std::vector<TBatch> spare_;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread worker_;
};

// Writes the report as the analysis hands on its figures and rows: a long report on a second
// thread when the run may use more than one.
class TReportSink : public TAnalysisSink {
 public:
  TReportSink(const TRunParameters& p, std::ostream& out) : p_(p), report_(out, p.delimiter) {}

  void Begin(const TAnalysisFigures& figures) override {
    const TAnalysisOptions& o = p_.options;
    report_.HeaderLine("Num patches loaded", figures.numPatchesLoaded);
    if (figures.numPatchesAfterCleaning >= 0) {
      report_.HeaderLine("Patch size threshold", o.patchSizeThreshold);
      report_.HeaderLine("Num patches after cleaning", figures.numPatchesAfterCleaning);
    }
    report_.HeaderLine("Resolution(km)", figures.resolution);
    report_.HeaderLine("Total years", figures.numRows);
    if (o.burnIn > 0) {
      report_.HeaderLine("Burn-in years", o.burnIn);
    }
    if (o.smoothing != TSmoothing::kNone) {
      report_.HeaderLine(SmoothingLabel(o.smoothing), o.window);
    }
    report_.GroupHeader();
    report_.ColumnHeader(figures.resolution);
    if (figures.numRows >= kThreadedRows && TMPParser::DefaultThreadCount() > 1) {
      try {
        writer_ = std::make_unique<TRowWriter>(report_);
      } catch (const std::system_error&) {
        // No thread to be had: the rows are written here.
      }
    }
  }
  unsigned BusyThreads() const override { return writer_ ? 1 : 0; }
  void Centroids(TYear /*first*/, const std::vector<TPoint>& /*all*/,
                 const std::vector<TPoint>& /*north*/,
                 const std::vector<TPoint>& /*south*/) override {}
  void Rows(TYear first, std::vector<TPoint>& north, std::vector<TPoint>& south) override {
    if (writer_) {
      writer_->Put(first, north, south);
    } else {
      WriteRows(report_, first, north, south);
    }
  }
  void Finish() {
    if (writer_) {
      writer_->Finish();
    }
    report_.Finish();
  }

 private:
  // Below this many rows a report is written by the thread that analyses.
  static constexpr std::size_t kThreadedRows = std::size_t{1} << 15;

  const TRunParameters& p_;
  TReport report_;
  std::unique_ptr<TRowWriter> writer_;
};

}  // namespace

int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "--version")) {
    if (args[0] == "--version") {
      out << "Varrowin " << kVersion << '\n';
    } else {
      out << kHelp;
    }
    if (!out.flush()) {
      err << "Cannot write to standard output" << std::endl;
      return 1;
    }
    return 0;
  }
  if (args.size() < 5) {
    err << kUsage << std::flush;
    return 1;
  }
  try {
    const TRunParameters p = ParseArguments(args);
    // Every check of the file and the options is done before the first line is written: a run
    // that fails on them writes no report at all. The rows are written as they are made.
    TReportSink sink(p, out);
    // With many patches the walk order of the analysis is made while the populations are read.
    TMPParser::TLoadSettings settings;
    std::optional<TCentroidTools::TRangeOrder> order;
    if (p.options.patchSizeThreshold == 0) {
      settings.afterNames = [&order, axis = CheckAxis(p.options.axis)](const TPatches& patches) {
        try {
          order.emplace(patches, axis);
        } catch (const std::bad_alloc&) {
          order.reset();  // only a head start: the analysis makes the order itself
        }
      };
    }
    TMPParser::TLoadReport loaded;
    TPatches patches = TMPParser::LoadMPFile(p.filename, p.options.startYear, settings, &loaded);
    if (loaded.reread) {
      order.reset();  // made for the patches of the first reading
    }
    AnalyseInSpans(std::move(patches), p.options, sink, order ? &*order : nullptr);
    sink.Finish();
    return 0;
  } catch (const std::bad_alloc&) {
    err << "Out of memory" << std::endl;
  } catch (const TError& e) {
    err << e.Message() << std::endl;
  } catch (const std::exception& e) {
    err << e.what() << std::endl;
  }
  return 1;
}

}  // namespace varrowin

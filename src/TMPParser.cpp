#include <varrowin/TMPParser.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <streambuf>
#include <string_view>
#include <system_error>
#include <utility>

#include "NumberText.h"

namespace varrowin::TMPParser {

namespace {

constexpr std::string_view kEndOfFileMessage = "Unexpected end of file in population section";

bool Contains(std::string_view line, std::string_view marker) {
  return line.find(marker) != std::string_view::npos;
}

// True when the line holds only white space (blank, tab, CR, FF, VT) or nothing.
bool IsBlankLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
  });
}

// Cuts lines out of a stream the way std::getline does, but reads the stream in large blocks and
// hands out views into its own buffer, so that no line is copied. One trailing carriage return
// is removed from every line.
class TLineReader {
 public:
  enum class TResult {
    kLine,        // a line ended by a line feed
    kLastLine,    // the last line of the input, not ended by a line feed
    kEndOfInput,  // nothing is left to read
  };

  explicit TLineReader(std::istream& in)
      : source_(in.good() ? in.rdbuf() : nullptr), buffer_(kBlockSize) {}

  // Delivers the next line in line; the view is valid until the next call.
  TResult Next(std::string_view& line) {
    // The usual case: the whole line is already in the buffer.
    if (begin_ < end_) {
      const void* found = std::memchr(buffer_.data() + begin_, '\n', end_ - begin_);
      if (found != nullptr) {
        return TakeLine(found, line);
      }
    }
    return NextAfterFill(line);
  }

 private:
  // Delivers the unread text up to the line feed at found, and moves past that line feed.
  TResult TakeLine(const void* found, std::string_view& line) {
    const auto lineEnd = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
    line = Cut(begin_, lineEnd);
    begin_ = lineEnd + 1;
    return TResult::kLine;
  }

  // Next, for a line that is not wholly in the buffer yet.
  TResult NextAfterFill(std::string_view& line) {
    std::size_t searchFrom = end_;
    for (;;) {
      const void* found = end_ > searchFrom
                              ? std::memchr(buffer_.data() + searchFrom, '\n', end_ - searchFrom)
                              : nullptr;
      if (found != nullptr) {
        return TakeLine(found, line);
      }
      searchFrom = end_;
      if (!Fill()) {
        break;
      }
      // Fill may have moved the unread text to the front of the buffer.
      searchFrom -= shifted_;
    }
    if (begin_ == end_) {
      return TResult::kEndOfInput;
    }
    line = Cut(begin_, end_);
    begin_ = end_;
    return TResult::kLastLine;
  }

  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

  std::string_view Cut(std::size_t from, std::size_t to) const {
    if (to > from && buffer_[to - 1] == '\r') {
      --to;
    }
    return {buffer_.data() + from, to - from};
  }

  // Reads another block behind the unread text, moving that text to the front of the buffer or
  // enlarging the buffer when the text fills it. Returns false at the end of the input.
  bool Fill() {
    shifted_ = 0;
    if (source_ == nullptr || atEnd_) {
      return false;
    }
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      shifted_ = begin_;
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() - end_ < kBlockSize / 2) {
      buffer_.resize(buffer_.size() * 2);
    }
    const auto wanted = static_cast<std::streamsize>(buffer_.size() - end_);
    const std::streamsize got = source_->sgetn(buffer_.data() + end_, wanted);
    if (got <= 0) {
      atEnd_ = true;
      return false;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
  }

  std::streambuf* source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the stream
  std::size_t shifted_ = 0;
  bool atEnd_ = false;
};

// Calls word(w) for every word of the line cut at the delimiters, in order, until it returns
// false. Leading, trailing and repeated delimiters yield no empty words.
template <class F>
void ForEachWord(std::string_view line, std::string_view delimiters, F&& word) {
  std::size_t start = line.find_first_not_of(delimiters);
  while (start != std::string_view::npos) {
    const std::size_t end = line.find_first_of(delimiters, start);
    if (!word(line.substr(start, end == std::string_view::npos ? end : end - start)) ||
        end == std::string_view::npos) {
      return;
    }
    start = line.find_first_not_of(delimiters, end);
  }
}

// Returns the word of the line at the given index among the words cut at the delimiters, or an
// empty view when there are not that many words.
std::string_view NthWord(std::string_view line, std::string_view delimiters, std::size_t index) {
  std::string_view found;
  ForEachWord(line, delimiters, [&found, &index](std::string_view word) {
    if (index-- == 0) {
      found = word;
      return false;
    }
    return true;
  });
  return found;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The first blank-separated word of a line, or an empty view when the line has none.
std::string_view FirstBlankWord(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && line[start] == ' ') {
    ++start;
  }
  std::size_t end = start;
  while (end < line.size() && line[end] != ' ') {
    ++end;
  }
  return line.substr(start, end - start);
}

// The population on a data line: its first blank-separated word converted as atof converts it.
// Data lines are the bulk of every file, so the usual words are converted straight from the
// line. A word of at most 15 decimal digits with an optional minus and point is an exactly
// representable integer divided by an exact power of ten, so one division rounds it correctly,
// as atof does. Every other word goes to ParseDouble.
double ReadDataValue(std::string_view line) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p != end && *p == ' ') {
    ++p;
  }
  const bool negative = p != end && *p == '-';
  if (negative) {
    ++p;
  }
  std::uint64_t mantissa = 0;
  int digits = 0;
  while (p != end && IsDigit(*p)) {
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    ++digits;
    ++p;
  }
  int fraction = 0;
  if (p != end && *p == '.') {
    ++p;
    while (p != end && IsDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
      ++fraction;
      ++p;
    }
  }
  digits += fraction;
  if (digits > 0 && digits <= 15 && (p == end || *p == ' ')) {
    // Whole numbers, the usual case, need no division.
    double value = static_cast<double>(mantissa);
    if (fraction != 0) {
      value /= kPowersOfTen[fraction];
    }
    return negative ? -value : value;
  }
  return ParseDouble(FirstBlankWord(line));
}

// Reads the resolution from the first line that contains "km": the first word cut at k and m,
// cut again at blanks, and its last word converted as atof converts it. No word gives 0.
double ReadResolution(std::string_view line) {
  const std::string_view first = NthWord(line, "km", 0);
  const std::size_t lastEnd = first.find_last_not_of(' ');
  if (lastEnd == std::string_view::npos) {
    return 0.0;
  }
  const std::size_t lastStart = first.find_last_of(' ', lastEnd);
  const std::size_t from = lastStart == std::string_view::npos ? 0 : lastStart + 1;
  return ParseDouble(first.substr(from, lastEnd + 1 - from));
}

// The working state of one load: the collection being built, the patch scan and the index from
// patch-line number to patch name.
class TLoader {
 public:
  TLoader(std::istream& in, TYear startYear) : lines_(in), startYear_(startYear) {}

  TPatches Load() {
    std::string_view line;
    // A last line without a line feed ends the scan unexamined, as a failed getline would.
    while (lines_.Next(line) == TLineReader::TResult::kLine) {
      if (!resolutionFound_ && Contains(line, "km")) {
        patches_.SetResolution(ReadResolution(line));
        resolutionFound_ = true;
      }
      if (inPatchSection_ || (!migrationSeen_ && (Contains(line, ".KCH") || Contains(line, "Pop") ||
                                                  Contains(line, ".DCH")))) {
        ScanPatchLine(line);
      }
      if (Contains(line, "Pop. ALL")) {
        ReadPopulationSection();
        break;
      }
    }
    return std::move(patches_);
  }

 private:
  void ScanPatchLine(std::string_view line) {
    if (Contains(line, "Migration")) {
      migrationSeen_ = true;
      inPatchSection_ = false;
      return;
    }
    inPatchSection_ = true;
    std::optional<TPatch> patch = ParsePatchLine(std::string(line));
    if (!patch) {
      return;  // fewer than three fields: no patch and no patch-line number
    }
    numberIndex_.push_back(patch->GetName());
    patches_.AddPatch(std::move(*patch));
  }

  // Reads the next line that is not blank into line. Returns false at the end of the input.
  bool NextNonBlank(std::string_view& line) {
    for (;;) {
      if (lines_.Next(line) == TLineReader::TResult::kEndOfInput) {
        return false;
      }
      if (!IsBlankLine(line)) {
        return true;
      }
    }
  }

  // The patch that a block header names by its patch-line number: the second word of the line
  // cut at full stops and blanks. Throws TError("Patch does not exist") for any other header.
  TPatch& BlockPatch(std::string_view header) {
    const std::string_view word = NthWord(header, ". ", 1);
    std::string name;
    if (!word.empty()) {
      const TParsedInteger number = ParseInteger(word);
      if (number.value >= 1 && number.value <= static_cast<std::int64_t>(numberIndex_.size())) {
        name = numberIndex_[static_cast<std::size_t>(number.value - 1)];
      }
    }
    return patches_.GetPatch(name);
  }

  void ReadPopulationSection() {
    // The all-patches block is only counted: T is the number of time steps.
    std::int64_t steps = 0;
    std::string_view line;
    for (;;) {
      if (!NextNonBlank(line)) {
        if (patches_.GetNumPatches() == 0) {
          return;
        }
        throw TError(std::string(kEndOfFileMessage));
      }
      if (Contains(line, "Pop.")) {
        break;
      }
      ++steps;
    }
    const std::int64_t numBlocks = patches_.GetNumPatches();
    for (std::int64_t block = 0; block < numBlocks; ++block) {
      TPatch& patch = BlockPatch(line);
      ReadBlock(patch, steps);
      if (!NextNonBlank(line) && block + 1 < numBlocks) {
        throw TError(std::string(kEndOfFileMessage));
      }
    }
  }

  // Reads the T data lines of one block: year startYear + i gets the first word of data line i.
  void ReadBlock(TPatch& patch, std::int64_t steps) {
    if (steps <= 0) {
      return;
    }
    // Memory stays proportional to the input: the reservation for this block follows either
    // the counted all-patches block or a complete block of as many lines. Beyond the cap the
    // storage grows as the values arrive.
    constexpr std::int64_t kMaxReservation = std::int64_t{1} << 26;
    patch.ReserveYears(static_cast<std::size_t>(steps < kMaxReservation ? steps : kMaxReservation));
    std::string_view line;
    for (std::int64_t i = 0; i < steps; ++i) {
      if (!NextNonBlank(line)) {
        throw TError(std::string(kEndOfFileMessage));
      }
      const std::int64_t year = std::int64_t{startYear_} + i;
      if (year > std::numeric_limits<TYear>::max()) {
        throw TError("Year out of range");
      }
      patch.SetYear(static_cast<TYear>(year), ReadDataValue(line));
    }
  }

  TLineReader lines_;
  TYear startYear_;
  TPatches patches_;
  bool resolutionFound_ = false;
  bool inPatchSection_ = false;
  bool migrationSeen_ = false;
  // numberIndex_[k] is the name of patch line k + 1.
  std::vector<std::string> numberIndex_;
};

}  // namespace

void Tokenize(const std::string& line, std::vector<std::string>& tokens,
              const std::string& delimiters) {
  ForEachWord(line, delimiters, [&tokens](std::string_view word) {
    tokens.emplace_back(word);
    return true;
  });
}

// The line is taken by value as the interface has always done; it is only read.
// cppcheck-suppress passedByValue
std::optional<TPatch> ParsePatchLine(std::string line) {
  std::vector<std::string> fields;
  Tokenize(line, fields, ",");
  if (fields.size() < 3) {
    return std::nullopt;
  }
  return TPatch(fields[0], ParseDouble(fields[1]), ParseDouble(fields[2]));
}

TPatches LoadMP(std::istream& in, TYear startYear) {
  return TLoader(in, startYear).Load();
}

TPatches LoadMP(std::string fileName, TYear startYear) {
  std::ifstream file(fileName);
  std::error_code error;
  // A directory opens as a file on some systems and fails only at the first read.
  if (!file.is_open() || std::filesystem::is_directory(fileName, error)) {
    throw TError("Cannot open file: " + fileName);
  }
  return LoadMP(file, startYear);
}

}  // namespace varrowin::TMPParser

#include <varrowin/TMPParser.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "InputSource.h"
#include "MPLoad.h"
#include "NumberText.h"
#include "Parallel.h"
#include "PatchesBuilder.h"

namespace varrowin::TMPParser {

namespace {

constexpr std::string_view kEndOfFileMessage = "Unexpected end of file in population section";

bool Contains(std::string_view line, std::string_view marker) {
  return line.find(marker) != std::string_view::npos;
}

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// True when the line holds only white space (blank, tab, CR, FF, VT) or nothing.
bool IsBlankLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), IsWhiteSpace);
}

// The marker texts the reader looks for in a line.
enum TMarker : unsigned {
  kKm = 1U << 0U,
  kKch = 1U << 1U,
  kPop = 1U << 2U,
  kDch = 1U << 3U,
  kMigration = 1U << 4U,
  kPopAll = 1U << 5U,
  kPopDot = 1U << 6U,
};

// A marker, its text and the anchor its search runs on: the position of a character of the text
// that numbers never hold and that patch names such as P12 seldom do. The full stop of ".KCH" and
// ".DCH" is in every decimal number, and a patch line starts with the P of its name.
struct TMarkerText {
  TMarker marker;
  std::string_view text;
  std::size_t anchor;
};

constexpr TMarkerText kMarkerTexts[] = {
    {kKm, "km", 0},
    {kKch, ".KCH", 1},
    {kPop, "Pop", 1},
    {kDch, ".DCH", 1},
    {kMigration, "Migration", 0},
    {kPopAll, "Pop. ALL", 5},
    {kPopDot, "Pop.", 1},
};

// Longest marker text less one: how far a marker can reach back over the end of a piece.
constexpr std::size_t kMarkerOverlap = 8;

// The table lists the markers in the order of their bits.
const TMarkerText& MarkerText(TMarker marker) {
  return kMarkerTexts[std::countr_zero(static_cast<unsigned>(marker))];
}
static_assert(std::size(kMarkerTexts) == 7 && kMarkerTexts[6].marker == kPopDot);

// Where the text first holds the marker, or npos. The search runs with memchr for the marker's
// character at anchor, one that numbers never hold, so that a long line of numbers is passed over
// at the speed of memchr.
std::size_t FindAt(std::string_view text, std::string_view marker, std::size_t anchor) {
  const char* const data = text.data();
  std::size_t from = anchor;
  while (from < text.size()) {
    const void* found = std::memchr(data + from, marker[anchor], text.size() - from);
    if (found == nullptr) {
      return std::string_view::npos;
    }
    const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    const std::size_t start = at - anchor;
    if (text.size() - start >= marker.size() &&
        std::memcmp(data + start, marker.data(), marker.size()) == 0) {
      return start;
    }
    from = at + 1;
  }
  return std::string_view::npos;
}

std::size_t Find(std::string_view text, const TMarkerText& marker) {
  return FindAt(text, marker.text, marker.anchor);
}

bool Contains(std::string_view text, const TMarkerText& marker) {
  return Find(text, marker) != std::string_view::npos;
}

// The markers of the text that are not in known yet, added to known.
unsigned MarkersIn(std::string_view text, unsigned known = 0) {
  constexpr unsigned kPopFamily = kPop | kPopAll | kPopDot;
  // "Pop. ALL" and "Pop." hold "Pop": a text without it has neither.
  const bool popHere = (known & kPopFamily) != kPopFamily && Contains(text, MarkerText(kPop));
  for (const TMarkerText& markerText : kMarkerTexts) {
    const TMarker marker = markerText.marker;
    if ((known & marker) != 0 || ((marker & kPopFamily) != 0 && !popHere)) {
      continue;
    }
    if (marker == kPop || Contains(text, markerText)) {
      known |= marker;
    }
  }
  return known;
}

// What the caller of TLineReader::Next reads from the line besides its markers and whether it is
// blank. A line longer than the reader keeps whole is delivered as its head: enough of it for
// these, the rest only searched for markers and white space.
enum TNeed : unsigned {
  kNeedPatchFields = 1U << 0U,  // the first three comma-separated fields
  kNeedKmWord = 1U << 1U,       // the first word cut at k and m
  kNeedHeaderWord = 1U << 2U,   // the second word cut at full stops and blanks
  kNeedDataWord = 1U << 3U,     // the first blank-separated word
};

// The first position from pos on whose character is (isDelimiter true) or is not (false) one of
// the delimiters, or npos. The delimiter sets are a character or two: comparing with each is
// cheaper than a library search of the set per character of the line.
std::size_t FindDelimiterOrNot(std::string_view line, std::string_view delimiters, std::size_t pos,
                               bool isDelimiter) {
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    bool found = false;
    for (const char delimiter : delimiters) {
      found = found || c == delimiter;
    }
    if (found == isDelimiter) {
      return pos;
    }
  }
  return std::string_view::npos;
}

// The end (one past the delimiter) of word number index of the text cut at the delimiters, or
// npos when that word does not end inside the text.
std::size_t WordEnd(std::string_view text, std::string_view delimiters, std::size_t index) {
  std::size_t start = FindDelimiterOrNot(text, delimiters, 0, false);
  for (;;) {
    if (start == std::string_view::npos) {
      return std::string_view::npos;
    }
    const std::size_t end = FindDelimiterOrNot(text, delimiters, start, true);
    if (end == std::string_view::npos) {
      return std::string_view::npos;
    }
    if (index-- == 0) {
      return end + 1;
    }
    start = FindDelimiterOrNot(text, delimiters, end, false);
  }
}

// How much of the start of a line the needs read, judged from the part of it in text: npos when
// that part does not show it yet.
std::size_t NeededHead(std::string_view text, unsigned needs) {
  std::size_t head = 0;
  const struct {
    TNeed need;
    std::string_view delimiters;
    std::size_t index;
  } words[] = {{kNeedPatchFields, ",", 2},
               {kNeedKmWord, "km", 0},
               {kNeedHeaderWord, ". ", 1},
               {kNeedDataWord, " ", 0}};
  for (const auto& word : words) {
    if ((needs & word.need) != 0) {
      const std::size_t end = WordEnd(text, word.delimiters, word.index);
      if (end == std::string_view::npos) {
        return end;
      }
      head = std::max(head, end);
    }
  }
  return head;
}

// A line as TLineReader delivers it.
struct TLine {
  std::string_view text;  // the line, or the head of a line too long to keep whole
  bool cut = false;       // text is only the head; markers and blank describe the whole line
  unsigned markers = 0;
  bool blank = false;
};

bool Has(const TLine& line, TMarker marker) {
  return line.cut ? (line.markers & marker) != 0 : Contains(line.text, MarkerText(marker));
}

bool IsBlank(const TLine& line) {
  return line.cut ? line.blank : IsBlankLine(line.text);
}

// Cuts lines out of a byte source the way std::getline does, but reads the source in large
// blocks and hands out views into its own buffer, so that no line is copied. One trailing
// carriage return is removed from every line. A line longer than longLine bytes is not kept
// whole: only the head that the caller's needs read, while the rest is searched for markers and
// white space as it passes, so that memory stays bounded whatever the line length.
class TLineReader {
 public:
  enum class TResult {
    kLine,        // a line ended by a line feed
    kLastLine,    // the last line of the input, not ended by a line feed
    kEndOfInput,  // nothing is left to read
  };

  // start is the offset of the source's first byte in the file; the source is read in blocks of
  // the given size.
  TLineReader(TInputSource& source, std::uint64_t start, const TReadSizes& sizes)
      : source_(source),
        blockSize_(std::max<std::size_t>(sizes.blockBytes, 2)),
        buffer_(blockSize_),
        read_(start),
        longLine_(std::max<std::size_t>(sizes.longLineBytes, 1)) {}

  // Delivers the next line; its text is valid until the next call.
  TResult Next(TLine& line, unsigned needs) {
    lineOffset_ = read_ - (end_ - begin_);
    line.cut = false;
    // The usual case: the whole line is already in the buffer.
    if (begin_ < end_) {
      const void* found = std::memchr(buffer_.data() + begin_, '\n', end_ - begin_);
      if (found != nullptr) {
        return TakeLine(found, line.text);
      }
    }
    return NextAfterFill(line, needs);
  }

  // The offset in the file of the first byte of the line that the last call delivered.
  std::uint64_t LastOffset() const { return lineOffset_; }

  // Hands out the complete lines at hand, line feeds included, after reading another block when
  // they come to fewer than minBytes: a view valid until the next call, empty when no complete
  // line is at hand. The lines are those that Next would deliver one by one.
  std::string_view TakeLines(std::size_t minBytes) {
    // A line already longer than the reader keeps whole is left to Next, which reads past it
    // without growing the buffer.
    if (WholeLinesEnd() - begin_ < minBytes && !atEnd_ && end_ - begin_ < longLine_) {
      Fill();  // moves the unread text, whether or not it reads more
    }
    const std::size_t end = WholeLinesEnd();
    const std::string_view lines(buffer_.data() + begin_, end - begin_);
    begin_ = end;
    return lines;
  }

  // Gives back the last bytes that TakeLines handed out: they are read again.
  void PutBack(std::size_t bytes) { begin_ -= bytes; }

 private:
  // One past the last line feed of the unread text; begin_ when it has none.
  std::size_t WholeLinesEnd() const {
    const std::string_view unread(buffer_.data() + begin_, end_ - begin_);
    const std::size_t feed = unread.rfind('\n');
    return feed == std::string_view::npos ? begin_ : begin_ + feed + 1;
  }

  // Delivers the unread text up to the line feed at found, and moves past that line feed.
  TResult TakeLine(const void* found, std::string_view& line) {
    const auto lineEnd = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
    line = Cut(begin_, lineEnd);
    begin_ = lineEnd + 1;
    return TResult::kLine;
  }

  // Next, for a line that is not wholly in the buffer yet.
  TResult NextAfterFill(TLine& line, unsigned needs) {
    std::size_t searchFrom = end_;
    // The unread text is searched for the needed words again only once it has doubled since the
    // last search, so that a line whose words do not end is searched a bounded number of times
    // over its length.
    std::size_t searchHeadAt = longLine_;
    for (;;) {
      const void* found = end_ > searchFrom
                              ? std::memchr(buffer_.data() + searchFrom, '\n', end_ - searchFrom)
                              : nullptr;
      if (found != nullptr) {
        return TakeLine(found, line.text);
      }
      searchFrom = end_;
      if (end_ - begin_ >= searchHeadAt) {
        const std::size_t head = NeededHead({buffer_.data() + begin_, end_ - begin_}, needs);
        if (head != std::string_view::npos && head < end_ - begin_) {
          return LongLine(line, head);
        }
        searchHeadAt = 2 * (end_ - begin_);
      }
      if (!Fill()) {
        break;
      }
      // Fill may have moved the unread text to the front of the buffer.
      searchFrom -= shifted_;
    }
    if (begin_ == end_) {
      return TResult::kEndOfInput;
    }
    line.text = Cut(begin_, end_);
    begin_ = end_;
    return TResult::kLastLine;
  }

  // Delivers the head of the line that starts at begin_ and runs past end_ (no line feed in
  // between), and reads past the rest of it.
  TResult LongLine(TLine& line, std::size_t head) {
    std::string_view seen(buffer_.data() + begin_, end_ - begin_);
    line.cut = true;
    line.markers = MarkersIn(seen);
    line.blank = IsBlankLine(seen);
    std::string carry(seen.substr(seen.size() - std::min(seen.size(), kMarkerOverlap)));
    // The head stays where it is; the rest of the line passes through the space behind it.
    const std::size_t headEnd = begin_ + head;
    const std::size_t headBegin = begin_;
    for (;;) {
      const std::size_t got = Read(headEnd);
      if (got == 0) {
        line.text = {buffer_.data() + headBegin, head};
        begin_ = end_ = headEnd;
        return TResult::kLastLine;
      }
      std::string_view piece(buffer_.data() + headEnd, got);
      const std::size_t feed = piece.find('\n');
      const std::string_view rest = piece.substr(0, feed);
      // Markers inside this piece, and markers that begin before it and end in it.
      line.markers = MarkersIn(rest, line.markers);
      std::string joined = carry;
      joined.append(rest.substr(0, kMarkerOverlap));
      line.markers = MarkersIn(joined, line.markers);
      line.blank = line.blank && IsBlankLine(rest);
      if (feed != std::string_view::npos) {
        line.text = {buffer_.data() + headBegin, head};
        begin_ = headEnd + feed + 1;
        end_ = headEnd + got;
        return TResult::kLine;
      }
      if (rest.size() >= kMarkerOverlap) {
        carry.assign(rest.substr(rest.size() - kMarkerOverlap));
      } else {
        carry.append(rest);
        carry.erase(0, carry.size() - std::min(carry.size(), kMarkerOverlap));
      }
    }
  }

  // Reads up to a block from the source into the buffer at position at; returns the count.
  std::size_t Read(std::size_t at) {
    if (atEnd_) {
      return 0;
    }
    if (buffer_.size() - at < blockSize_ / 2) {
      buffer_.resize(at + blockSize_);
    }
    const std::size_t got = source_.Read(buffer_.data() + at, buffer_.size() - at);
    read_ += got;
    if (got == 0) {
      atEnd_ = true;
    }
    return got;
  }

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
    if (atEnd_) {
      return false;
    }
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      shifted_ = begin_;
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() - end_ < blockSize_ / 2) {
      buffer_.resize(buffer_.size() * 2);
    }
    const std::size_t got = Read(end_);
    end_ += got;
    return got != 0;
  }

  TInputSource& source_;
  std::size_t blockSize_;
  std::vector<char> buffer_;
  std::uint64_t read_;            // offset in the file of the next byte to read from the source
  std::uint64_t lineOffset_ = 0;  // offset in the file of the last line delivered
  std::size_t longLine_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the source
  std::size_t shifted_ = 0;
  bool atEnd_ = false;
};

// Calls word(w) for every word of the line cut at the delimiters, in order, until it returns
// false. Leading, trailing and repeated delimiters yield no empty words.
template <class F>
void ForEachWord(std::string_view line, std::string_view delimiters, F&& word) {
  std::size_t start = FindDelimiterOrNot(line, delimiters, 0, false);
  while (start != std::string_view::npos) {
    const std::size_t end = FindDelimiterOrNot(line, delimiters, start, true);
    if (!word(line.substr(start, end == std::string_view::npos ? end : end - start)) ||
        end == std::string_view::npos) {
      return;
    }
    start = FindDelimiterOrNot(line, delimiters, end, false);
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

// The fields of a patch line that make its patch.
struct TPatchFields {
  std::string_view name;
  double x = 0.0;
  double y = 0.0;
};

// Reads name, X and Y from the first three comma-separated fields of a patch line, as ForEachWord
// cuts them (empty fields skipped); the rest of the line is not looked at. False when the line
// has fewer than three fields.
bool PatchFieldsOf(std::string_view line, TPatchFields& patch) {
  std::string_view fields[3];
  std::size_t pos = 0;
  for (std::string_view& field : fields) {
    while (pos < line.size() && line[pos] == ',') {
      ++pos;
    }
    if (pos == line.size()) {
      return false;
    }
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ',') {
      ++pos;
    }
    field = line.substr(start, pos - start);
  }
  patch.name = fields[0];
  patch.x = ParseDouble(fields[1]);
  patch.y = ParseDouble(fields[2]);
  return true;
}

// The patch a patch line makes, or none when the line has fewer than three fields.
std::optional<TPatch> PatchFromLine(std::string_view line) {
  TPatchFields fields;
  if (!PatchFieldsOf(line, fields)) {
    return std::nullopt;
  }
  return TPatch(std::string(fields.name), fields.x, fields.y);
}

// Patch lines taken in bulk, cut into pieces of whole lines whose fields two threads parse, while
// one of them takes the fields of the parsed pieces in order.
class TPatchLinePieces {
 public:
  // Cuts text (whole lines, each ended by a line feed) into pieces of about pieceBytes (at
  // least 1), none of them parsed yet.
  void Cut(std::string_view text, std::size_t pieceBytes) {
    pieceBytes = std::max<std::size_t>(pieceBytes, 1);
    texts_.clear();
    while (!text.empty()) {
      // The rest is the last piece when it is at most two pieces long; else a line feed lies from
      // pieceBytes on, as the text ends with one.
      const bool last = text.size() <= pieceBytes || text.size() - pieceBytes <= pieceBytes;
      const std::size_t end = last ? text.size() : text.find('\n', pieceBytes) + 1;
      texts_.push_back(text.substr(0, end));
      text.remove_prefix(end);
    }
    if (fields_.size() < texts_.size()) {
      fields_.resize(texts_.size());
    }
    failures_.assign(texts_.size(), nullptr);
    states_ = std::vector<std::atomic<std::uint8_t>>(texts_.size());
    next_.store(0, std::memory_order_relaxed);
  }

  std::size_t Count() const { return texts_.size(); }

  // Parses pieces until none is left unclaimed.
  void ParseAll() {
    while (ParseOne()) {
    }
  }

  // The fields of the piece, once it is parsed; parses other pieces meanwhile. Rethrows the
  // failure of its parse (the caller then stops the parsing).
  const std::vector<TPatchFields>& Await(std::size_t piece) {
    std::atomic<std::uint8_t>& state = states_[piece];
    while (state.load(std::memory_order_acquire) == kOpen) {
      if (!ParseOne()) {
        state.wait(kOpen, std::memory_order_acquire);
      }
    }
    if (failures_[piece]) {
      std::rethrow_exception(failures_[piece]);
    }
    return fields_[piece];
  }

  // Leaves the pieces not claimed yet unparsed.
  void Stop() { next_.store(texts_.size(), std::memory_order_relaxed); }

 private:
  static constexpr std::uint8_t kOpen = 0;
  static constexpr std::uint8_t kParsed = 1;

  // Parses the next unclaimed piece; false when none is left.
  bool ParseOne() {
    const std::size_t piece = next_.fetch_add(1, std::memory_order_relaxed);
    if (piece >= texts_.size()) {
      return false;
    }
    try {
      FieldsOfLines(texts_[piece], fields_[piece]);
    } catch (...) {
      failures_[piece] = std::current_exception();
    }
    states_[piece].store(kParsed, std::memory_order_release);
    states_[piece].notify_all();
    return true;
  }

  // The fields of the lines in text, in order; lines with fewer than three fields have none.
  static void FieldsOfLines(std::string_view text, std::vector<TPatchFields>& fields) {
    fields.clear();
    while (!text.empty()) {
      const std::size_t feed = text.find('\n');
      std::string_view line = text.substr(0, feed);
      text.remove_prefix(feed + 1);
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);  // as the line reader cuts it
      }
      TPatchFields patch;
      if (PatchFieldsOf(line, patch)) {
        fields.push_back(patch);
      }
    }
  }

  std::vector<std::string_view> texts_;
  std::vector<std::vector<TPatchFields>> fields_;
  std::vector<std::exception_ptr> failures_;
  std::vector<std::atomic<std::uint8_t>> states_;
  std::atomic<std::size_t> next_ = 0;
};

// The patch-line number on a block header: the second word of the line cut at full stops and
// blanks, as atol converts it; 0 when the header names no patch line in 1..count.
std::size_t HeaderNumber(std::string_view header, std::size_t count) {
  const auto isCut = [](char c) { return c == '.' || c == ' '; };
  // The second word, cut as NthWord(header, ". ", 1) cuts it.
  std::size_t pos = 0;
  for (int word = 0; word < 2; ++word) {
    while (pos < header.size() && isCut(header[pos])) {
      ++pos;
    }
    if (word == 0) {
      while (pos < header.size() && !isCut(header[pos])) {
        ++pos;
      }
    }
  }
  std::size_t end = pos;
  std::int64_t value = 0;
  // A word of up to 18 digits is its number; any other word takes ParseInteger.
  while (end < header.size() && end - pos < 18 && IsDigit(header[end])) {
    value = value * 10 + (header[end] - '0');
    ++end;
  }
  if (end == pos || (end < header.size() && !isCut(header[end]))) {
    while (end < header.size() && !isCut(header[end])) {
      ++end;
    }
    if (end == pos) {
      return 0;
    }
    value = ParseInteger(header.substr(pos, end - pos)).value;
  }
  return value >= 1 && value <= static_cast<std::int64_t>(count) ? static_cast<std::size_t>(value)
                                                                 : 0;
}

// Reads the next line that is not blank into line. Returns false at the end of the input.
bool NextNonBlank(TLineReader& lines, TLine& line, unsigned needs) {
  for (;;) {
    if (lines.Next(line, needs) == TLineReader::TResult::kEndOfInput) {
      return false;
    }
    if (!IsBlank(line)) {
      return true;
    }
  }
}

// Memory stays proportional to the input: the reservation for a block follows either the counted
// all-patches block or a complete block of as many lines. Beyond the cap the storage grows as
// the values arrive.
void ReserveBlock(TPatch& patch, std::int64_t steps) {
  constexpr std::int64_t kMaxReservation = std::int64_t{1} << 26;
  patch.ReserveYears(static_cast<std::size_t>(steps < kMaxReservation ? steps : kMaxReservation));
}

// Where the population section is read from when several threads may share it: a regular file
// read with pread.
struct TParallelFile {
  int fd = -1;
  std::string displayName;
  std::uint64_t size = 0;
  std::uint64_t minChunkBytes = kDefaultMinChunkBytes;
  TReadSizes sizes;
};

// The state shared by the threads that parse parts of one population section. Each part starts
// at a block header and ends where the next part starts.
struct TSharedParse {
  const TParallelFile& file;
  TPatchesBuilder& builder;  // builder.Added(k): the patch of patch line k + 1
  std::int64_t steps;
  TYear startYear;
  std::vector<std::atomic<bool>> claimed;  // claimed[k]: a block for patch line k + 1 was met
};

// What one part held: its complete blocks up to the first one that does not agree with the
// sequential reading, and whether there was such a block.
struct TPartResult {
  std::int64_t blocks = 0;
  bool stopped = true;  // a block did not agree, or the part could not be read
};

// Parses the blocks whose headers start in [from, to). A block agrees with the sequential reading
// when its header names a patch line that no other block has named, all its data lines lie
// before to, and its years fit 32 bits; the part ends cleanly when the line after its last block
// that is not blank lies at to (or at the end of the file).
TPartResult ParsePart(TSharedParse& shared, std::uint64_t from, std::uint64_t to) {
  TPartResult result;
  TFileSource source(shared.file.fd, shared.file.displayName, from, to);
  TLineReader lines(source, from, shared.file.sizes);
  TLine line;
  if (!NextNonBlank(lines, line, kNeedHeaderWord) || lines.LastOffset() != from) {
    return result;
  }
  for (;;) {
    const std::size_t number = HeaderNumber(line.text, shared.claimed.size());
    if (number == 0 || shared.claimed[number - 1].exchange(true)) {
      return result;
    }
    TPatch& patch = shared.builder.Added(number - 1);
    ReserveBlock(patch, shared.steps);
    for (std::int64_t i = 0; i < shared.steps; ++i) {
      const std::int64_t year = std::int64_t{shared.startYear} + i;
      if (!NextNonBlank(lines, line, kNeedDataWord) || year > std::numeric_limits<TYear>::max()) {
        return result;
      }
      patch.SetYear(static_cast<TYear>(year), ReadDataValue(line.text));
    }
    ++result.blocks;
    if (!NextNonBlank(lines, line, kNeedHeaderWord)) {
      result.stopped = false;
      return result;
    }
  }
}

// The offset of the first line at or after offset that contains "Pop.", looked for within a few
// MiB; 0 when there is none there.
std::uint64_t FindHeaderAfter(const TParallelFile& file, std::uint64_t offset) {
  constexpr std::size_t kPiece = std::size_t{1} << 18;
  constexpr std::size_t kLimit = std::size_t{4} << 20;
  // Starting one byte early tells whether offset itself begins a line.
  const std::uint64_t start = offset - 1;
  std::vector<char> window;
  std::size_t lineStart = std::string_view::npos;  // in window
  std::size_t searched = 0;
  while (window.size() < kLimit && start + window.size() < file.size) {
    const std::size_t old = window.size();
    window.resize(old + kPiece);
    TFileSource source(file.fd, file.displayName, start + old, file.size);
    const std::size_t got = source.Read(window.data() + old, kPiece);
    window.resize(old + got);
    if (got == 0) {
      break;
    }
    const std::string_view text(window.data(), window.size());
    for (;;) {
      if (lineStart == std::string_view::npos) {
        const std::size_t feed = text.find('\n', searched);
        if (feed == std::string_view::npos) {
          searched = text.size();
          break;
        }
        lineStart = feed + 1;
        searched = lineStart;
      }
      const std::size_t feed = text.find('\n', searched);
      if (feed == std::string_view::npos) {
        searched = text.size();
        break;  // the line goes on in the next piece
      }
      if (Contains(text.substr(lineStart, feed - lineStart), "Pop.")) {
        return start + lineStart;
      }
      lineStart = feed + 1;
      searched = lineStart;
    }
  }
  return 0;
}

// The working state of one load: the collection being built, the patch scan and the index from
// patch-line number to patch name.
class TLoader {
 public:
  // threads: how many threads the load may use; parallel: the file, when the population section
  // may be read by several of them.
  TLoader(TInputSource& source, TYear startYear, const TReadSizes& sizes, unsigned threads = 1,
          const TParallelFile* parallel = nullptr,
          std::function<void(const TPatches&)> afterNames = {})
      : lines_(source, 0, sizes),
        patchPieceBytes_(sizes.patchPieceBytes),
        startYear_(startYear),
        threads_(threads),
        parallel_(parallel),
        afterNames_(std::move(afterNames)) {}

  TPatches Load() {
    try {
      ReadSections();
    } catch (...) {
      // A repeated patch name stops the reading at its line, before any later error.
      CheckPatchNames();
      throw;
    }
    CheckPatchNames();
    return std::move(patches_);
  }

  // Threads that parsed the population section; 0 when the threaded parse failed and the file
  // must be read again alone.
  unsigned ThreadsUsed() const { return threadsUsed_; }

 private:
  void ReadSections() {
    TLine line;
    // A last line without a line feed ends the scan unexamined, as a failed getline would.
    for (;;) {
      if (inPatchSection_ && threads_ > 1 && ReadPlainPatchLines()) {
        continue;
      }
      const unsigned needs =
          (migrationSeen_ ? 0U : kNeedPatchFields) | (resolutionFound_ ? 0U : kNeedKmWord);
      if (lines_.Next(line, needs) != TLineReader::TResult::kLine) {
        break;
      }
      if (!resolutionFound_ && Has(line, kKm)) {
        patches_.SetResolution(ReadResolution(line.text));
        resolutionFound_ = true;
      }
      if (inPatchSection_ ||
          (!migrationSeen_ && (Has(line, kKch) || Has(line, kPop) || Has(line, kDch)))) {
        ScanPatchLine(line);
      }
      if (Has(line, kPopAll)) {
        CheckNamesAndReadPopulation();
        break;
      }
    }
  }

  // The names of the patch lines are checked at their end, all at once.
  // Throws TError("Duplicate patch name: <name>") for the first patch line whose name an earlier
  // patch line has.
  void CheckPatchNames() { ThrowIfRepeated(builder_.CheckNames()); }

  // Throws TError("Duplicate patch name: <name>") for a patch that CheckNames found repeated.
  static void ThrowIfRepeated(const TPatch* repeated) {
    if (repeated != nullptr) {
      throw TError("Duplicate patch name: " + repeated->GetName());
    }
  }

  // Work done while the population section is read, on one of the threads the reading may use:
  // run, and its cost in bytes of the section that take as long to read.
  struct TSideTask {
    std::function<void()> run;
    std::uint64_t bytes = 0;
    bool started = false;

    void Start() {
      started = true;
      run();
    }
  };

  // Checks the patch names and reads the population section. With many patches and a second
  // thread allowed, the names are checked while the section is read: by the thread that reads
  // the first part of a section split over threads (a part the smaller for it), or beside a
  // section read by one thread. A repeated name is still the error reported, whatever the
  // section holds.
  void CheckNamesAndReadPopulation() {
    constexpr std::int64_t kManyPatches = std::int64_t{1} << 15;
    // A name costs about as much to check as this many bytes of the section cost to read.
    constexpr std::uint64_t kCheckBytesPerName = 24;
    // And the caller's work after the check (the ranking of the analysis) about as much more.
    constexpr std::uint64_t kAfterNamesBytesPerName = 24;
    if (threads_ < 2 || patches_.GetNumPatches() < kManyPatches) {
      CheckPatchNames();
      ReadPopulationSection(threads_, nullptr);
      return;
    }
    const TPatch* repeated = nullptr;
    std::exception_ptr checkFailed;
    TSideTask check{[this, &repeated, &checkFailed] {
                      try {
                        repeated = builder_.CheckNames();
                        if (repeated == nullptr && afterNames_) {
                          afterNames_(patches_);
                        }
                      } catch (...) {
                        checkFailed = std::current_exception();
                      }
                    },
                    static_cast<std::uint64_t>(patches_.GetNumPatches()) *
                        (kCheckBytesPerName + (afterNames_ ? kAfterNamesBytesPerName : 0))};
    std::exception_ptr readFailed;
    try {
      ReadPopulationSection(threads_, &check);
    } catch (...) {
      readFailed = std::current_exception();
    }
    if (!check.started) {
      check.Start();  // the reading stopped before it
    }
    if (checkFailed) {
      std::rethrow_exception(checkFailed);
    }
    ThrowIfRepeated(repeated);
    if (readFailed) {
      std::rethrow_exception(readFailed);
    }
  }

  // Reads the patch lines at hand in bulk, up to the first line that holds a marker the reading
  // line by line reacts to: "Migration", "Pop. ALL", and "km" while no resolution is known. Each
  // of the other lines of the patch section only makes a patch, or none. The lines are cut into
  // pieces that this thread and a helper parse, while this thread adds the patches of the parsed
  // pieces in file order. Returns false when no such line was at hand.
  bool ReadPlainPatchLines() {
    constexpr std::size_t kLinesAtOnce = std::size_t{1} << 19;
    const std::string_view lines = lines_.TakeLines(kLinesAtOnce);
    std::size_t plain = lines.size();
    const auto stopAt = [&lines, &plain](TMarker marker) {
      const std::size_t found = Find(lines.substr(0, plain), MarkerText(marker));
      if (found != std::string_view::npos) {
        const std::size_t feed = lines.rfind('\n', found);
        plain = feed == std::string_view::npos ? 0 : feed + 1;
      }
    };
    stopAt(kMigration);
    stopAt(kPopAll);
    if (!resolutionFound_) {
      stopAt(kKm);
    }
    lines_.PutBack(lines.size() - plain);
    if (plain == 0) {
      return false;
    }
    pieces_.Cut(lines.substr(0, plain), patchPieceBytes_);
    {
      // Joined at the end of this block: the pieces are views of the reader's text, which the
      // next call takes anew.
      std::jthread helper;
      if (pieces_.Count() > 1) {
        try {
          helper = std::jthread([this] { pieces_.ParseAll(); });
        } catch (const std::system_error&) {
          // no thread to be had: this thread parses every piece
        }
      }
      try {
        for (std::size_t piece = 0; piece < pieces_.Count(); ++piece) {
          for (const TPatchFields& patch : pieces_.Await(piece)) {
            builder_.Add(patch.name, patch.x, patch.y);
          }
        }
      } catch (...) {
        pieces_.Stop();
        throw;
      }
    }
    return true;
  }

  void ScanPatchLine(const TLine& line) {
    if (Has(line, kMigration)) {
      migrationSeen_ = true;
      inPatchSection_ = false;
      return;
    }
    inPatchSection_ = true;
    TPatchFields fields;
    if (!PatchFieldsOf(line.text, fields)) {
      return;  // fewer than three fields: no patch and no patch-line number
    }
    builder_.Add(fields.name, fields.x, fields.y);
  }

  // The patch that a block header names by its patch-line number.
  // Throws TError("Patch does not exist") for any other header.
  TPatch& BlockPatch(std::string_view header) {
    const std::size_t number =
        HeaderNumber(header, static_cast<std::size_t>(patches_.GetNumPatches()));
    if (number == 0) {
      throw TError("Patch does not exist");
    }
    return builder_.Added(number - 1);
  }

  // Reads the population section with at most the given number of threads, one of which does
  // the side task (when there is one) meanwhile. The side task has ended when this returns or
  // throws, if it was started.
  void ReadPopulationSection(unsigned threads, TSideTask* side) {
    // The all-patches block is only counted: T is the number of time steps.
    std::int64_t steps = 0;
    TLine line;
    for (;;) {
      if (!NextNonBlank(lines_, line, kNeedHeaderWord)) {
        if (patches_.GetNumPatches() == 0) {
          return;
        }
        throw TError(std::string(kEndOfFileMessage));
      }
      if (Has(line, kPopDot)) {
        break;
      }
      ++steps;
    }
    const std::int64_t numBlocks = patches_.GetNumPatches();
    if (parallel_ != nullptr && steps > 0 && numBlocks >= 2) {
      const unsigned used = ReadInParallel(lines_.LastOffset(), steps, threads, side);
      if (used != 1) {
        threadsUsed_ = used;
        return;
      }
    }
    std::jthread beside;
    if (side != nullptr && threads >= 2) {
      try {
        beside = std::jthread([side] { side->Start(); });
      } catch (const std::system_error&) {
        side->Start();  // no thread to be had
      }
    }
    for (std::int64_t block = 0; block < numBlocks; ++block) {
      TPatch& patch = BlockPatch(line.text);
      ReadBlock(patch, steps);
      if (!NextNonBlank(lines_, line, kNeedHeaderWord) && block + 1 < numBlocks) {
        throw TError(std::string(kEndOfFileMessage));
      }
    }
  }

  // Reads the blocks from the first header at offset to the end of the file in parts, one thread
  // per part and at most the given number of threads. Returns the number of threads used; 1 when
  // the section is too small to split (then nothing is read), 0 when the parts did not agree with
  // the sequential reading.
  unsigned ReadInParallel(std::uint64_t offset, std::int64_t steps, unsigned threads,
                          TSideTask* side) {
    const TParallelFile& file = *parallel_;
    if (file.size <= offset) {
      return 1;
    }
    const std::uint64_t length = file.size - offset;
    const std::uint64_t wanted =
        std::min<std::uint64_t>(threads, length / std::max<std::uint64_t>(file.minChunkBytes, 1));
    if (wanted < 2) {
      return 1;
    }
    // The first part's thread does the side task first: its part is the smaller by its cost.
    const std::uint64_t sideBytes = side != nullptr ? side->bytes : 0;
    const std::uint64_t share = (length + sideBytes) / wanted;
    std::vector<std::uint64_t> starts{offset};
    for (std::uint64_t part = 1; part < wanted; ++part) {
      const std::uint64_t target =
          offset + std::max<std::uint64_t>(share * part, sideBytes + 1) - sideBytes;
      const std::uint64_t header = FindHeaderAfter(file, target);
      if (header > starts.back()) {
        starts.push_back(header);
      }
    }
    if (starts.size() < 2) {
      return 1;
    }
    starts.push_back(file.size);

    // No patch is added while the threads run; they only set years on the patches there are.
    TSharedParse shared{
        file, builder_, steps, startYear_,
        std::vector<std::atomic<bool>>(static_cast<std::size_t>(patches_.GetNumPatches()))};
    const std::size_t parts = starts.size() - 1;
    std::vector<TPartResult> results(parts);
    std::vector<char> readFailed(parts, 0);
    auto run = [&shared, &starts, &results, &readFailed](std::size_t part) {
      try {
        results[part] = ParsePart(shared, starts[part], starts[part + 1]);
      } catch (...) {
        readFailed[part] = 1;  // a read error or no memory: the sequential reading meets it again
      }
    };
    RunParts(parts, [&run, side](std::size_t part) {
      if (part == 0 && side != nullptr) {
        side->Start();  // the first part's thread does the side task first
      }
      run(part);
    });
    // The sequential reading reads as many blocks as there are patches, then one more line, and
    // ignores the rest of the file. The parts agree with it when the blocks before the first part
    // that stopped early number at least that many. Blocks after that count cannot have set a
    // year: each of the first blocks named a different patch, so all patches were named, and a
    // later block naming one of them either lost the claim or took it from one of the first
    // blocks, which then did not agree.
    const std::int64_t numPatches = patches_.GetNumPatches();
    std::int64_t total = 0;
    for (std::size_t part = 0; part < parts; ++part) {
      if (readFailed[part] != 0) {
        return 0;
      }
      total += results[part].blocks;
      if (total >= numPatches) {
        return static_cast<unsigned>(parts);
      }
      if (results[part].stopped) {
        return 0;
      }
    }
    return 0;
  }

  // Reads the T data lines of one block: year startYear + i gets the first word of data line i.
  void ReadBlock(TPatch& patch, std::int64_t steps) {
    if (steps <= 0) {
      return;
    }
    ReserveBlock(patch, steps);
    TLine line;
    for (std::int64_t i = 0; i < steps; ++i) {
      if (!NextNonBlank(lines_, line, kNeedDataWord)) {
        throw TError(std::string(kEndOfFileMessage));
      }
      const std::int64_t year = std::int64_t{startYear_} + i;
      if (year > std::numeric_limits<TYear>::max()) {
        throw TError("Year out of range");
      }
      patch.SetYear(static_cast<TYear>(year), ReadDataValue(line.text));
    }
  }

  TLineReader lines_;
  std::size_t patchPieceBytes_;
  TYear startYear_;
  unsigned threads_;
  const TParallelFile* parallel_;
  std::function<void(const TPatches&)> afterNames_;
  unsigned threadsUsed_ = 1;
  // Starts empty and only grows by builder_.Add, one patch per patch line that makes one: the
  // patch of patch line k + 1 is builder_.Added(k).
  TPatches patches_;
  TPatchesBuilder builder_{patches_};
  bool resolutionFound_ = false;
  bool inPatchSection_ = false;
  bool migrationSeen_ = false;
  // The patch lines read in bulk.
  TPatchLinePieces pieces_;
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
  return PatchFromLine(line);
}

TPatches LoadMP(std::istream& in, TYear startYear) {
  bool gzip = false;
  std::unique_ptr<TInputSource> source =
      DecodeIfGzip(std::make_unique<TStreamSource>(in), "input stream", &gzip);
  TPatches patches = TLoader(*source, startYear, TReadSizes{}).Load();
  if (gzip) {
    // Compressed data counts only when all of it is sound, also the part after the sections.
    ReadToEnd(*source);
  }
  return patches;
}

// The name is taken by value as the interface has always done; it is only read.
// cppcheck-suppress passedByValue
TPatches LoadMP(std::string fileName, TYear startYear) {
  return LoadMPFile(fileName, startYear, TLoadSettings{});
}

TPatches LoadMPFile(const std::string& fileName, TYear startYear, const TLoadSettings& settings,
                    TLoadReport* report) {
  const unsigned threads = settings.threads != 0 ? settings.threads : DefaultThreadCount();
  const TOpenedInput input = OpenInput(fileName);
  TLoadReport done;
  auto open = [&input]() -> std::unique_ptr<TInputSource> {
    if (input.regularFile) {
      return std::make_unique<TFileSource>(input.fd, input.displayName, 0, TFileSource::kToEnd);
    }
    return std::make_unique<TFileSource>(input.fd, input.displayName);
  };
  std::unique_ptr<TInputSource> source = DecodeIfGzip(open(), input.displayName, &done.gzip);
  const TParallelFile file{input.fd, input.displayName, input.size, settings.minChunkBytes,
                           settings.sizes};
  const bool parallel = input.regularFile && !done.gzip && threads > 1;
  std::optional<TPatches> patches;
  {
    TLoader loader(*source, startYear, settings.sizes, threads, parallel ? &file : nullptr,
                   settings.afterNames);
    patches.emplace(loader.Load());
    done.threadsUsed = loader.ThreadsUsed();
  }
  if (done.gzip || !input.regularFile) {
    // Compressed data counts only when all of it is sound, also the part after the sections. A
    // pipe is read to its end too, so that the program writing it is not stopped by SIGPIPE.
    ReadToEnd(*source);
  }
  if (done.threadsUsed == 0) {
    // The parts did not agree with reading the file in order: read it again in order.
    patches.reset();
    done.reread = true;
    done.threadsUsed = 1;
    source = DecodeIfGzip(open(), input.displayName, nullptr);
    patches.emplace(TLoader(*source, startYear, settings.sizes).Load());
  }
  if (report != nullptr) {
    *report = done;
  }
  return std::move(*patches);
}

unsigned ParseThreadCount(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t");
  bool valid = first != std::string::npos;
  std::uint64_t value = 0;
  if (valid) {
    for (std::size_t i = first; i <= last && valid; ++i) {
      valid = IsDigit(text[i]);
      value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(text[i] - '0'),
                                      std::uint64_t{kMaxThreads} + 1);
    }
  }
  if (!valid || value < 1 || value > kMaxThreads) {
    throw TError("VARROWIN_THREADS must be a whole number from 1 to " +
                 std::to_string(kMaxThreads));
  }
  return static_cast<unsigned>(value);
}

unsigned DefaultThreadCount() {
  const char* const text = std::getenv("VARROWIN_THREADS");
  if (text != nullptr && *text != '\0') {
    return ParseThreadCount(text);
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof(cpus), &cpus) == 0) {
    return static_cast<unsigned>(std::max(CPU_COUNT(&cpus), 1));
  }
  return 1;
}

}  // namespace varrowin::TMPParser

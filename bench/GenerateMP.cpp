// GenerateMP: writes a large, valid MP file for benchmarks, streamed straight to the output.
//
//   GenerateMP [--extra] [--wide N] <patches> <years> <seed> <output-file>
//
// "-" as output-file writes to stdout. --extra appends two more numbers to about one data line in
// eight; --wide N appends N more fields to the first patch line.
//
// The patches lie on a regular grid (many equal X and many equal Y coordinates). Each patch's
// population in each year is a pure function of (seed, patch, year): a band of suitable habitat
// that moves along Y over the years, multiplied by noise, with unoccupied edge patches, patches
// that go extinct at some year and patches that are never occupied. About half of the patches
// carry populations with decimals, the others whole numbers. Every data line holds several
// numbers, the population first. The same arguments always give the same bytes.
//
// The file is written in two passes over the same function: the first sums the all-patch totals
// per year (they precede the patch blocks), the second writes the blocks. Memory use is a few
// numbers per year, whatever the patch count.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A population in hundredths, so that totals add up exactly to the printed numbers.
using THundredths = std::int64_t;

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30U)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27U)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31U);
}

std::uint64_t Hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b) {
  return SplitMix(SplitMix(SplitMix(seed) ^ a) ^ (b * 0xD6E8FEB86659FD93ULL));
}

// A uniform number in [0, 1) from the upper 53 bits of h.
double Unit(std::uint64_t h) {
  return static_cast<double>(h >> 11U) * 0x1.0p-53;
}

// The grid, the moving habitat band and the fate of each patch.
class TModel {
 public:
  TModel(std::int64_t patches, std::int64_t years, std::uint64_t seed)
      : years_(years), seed_(seed) {
    cols_ = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(patches))));
    rows_ = (patches + cols_ - 1) / cols_;
  }

  std::int64_t Col(std::int64_t p) const { return p % cols_; }
  std::int64_t Row(std::int64_t p) const { return p / cols_; }

  // Population of patch p (0-based) in time step t (0-based), in hundredths.
  THundredths Population(std::int64_t p, std::int64_t t) const {
    const std::uint64_t fate = Hash(seed_, static_cast<std::uint64_t>(p), 0xFA7EULL);
    const std::uint64_t kind = fate % 100U;
    if (kind < 3) {
      return 0;  // never occupied
    }
    if (kind < 9 &&
        t >= static_cast<std::int64_t>((fate >> 8U) % static_cast<std::uint64_t>(years_))) {
      return 0;  // extinct from its extinction step on
    }
    const double progress =
        years_ > 1 ? static_cast<double>(t) / static_cast<double>(years_ - 1) : 0.0;
    const double rows = static_cast<double>(rows_);
    const double centre = rows * (0.3 + 0.4 * progress);
    const double sigma = std::max(rows * 0.18, 1.0);
    const double z = (static_cast<double>(Row(p)) - centre) / sigma;
    const double east = 0.6 + 0.4 * static_cast<double>(Col(p)) / static_cast<double>(cols_);
    const double capacity = 3000.0 * std::exp(-0.5 * z * z) * east;
    const double noise = 0.6 + 0.8 * Unit(Hash(seed_, static_cast<std::uint64_t>(p),
                                               static_cast<std::uint64_t>(t) + 1));
    const double value = capacity * noise;
    if (value < 20.0) {
      return 0;  // too small to persist at the edge of the band
    }
    const auto hundredths = static_cast<THundredths>(value * 100.0);
    const bool decimals = ((fate >> 40U) & 1U) != 0;
    return decimals ? hundredths : hundredths / 100 * 100;
  }

  // The other numbers of a data line: dispersers, juveniles, harvest class, a ratio.
  std::uint64_t Extras(std::int64_t p, std::int64_t t) const {
    return Hash(seed_ ^ 0x5EEDULL, static_cast<std::uint64_t>(p), static_cast<std::uint64_t>(t));
  }

 private:
  std::int64_t years_;
  std::uint64_t seed_;
  std::int64_t cols_ = 1;
  std::int64_t rows_ = 1;
};

// Buffered writer on a C stream; std::to_chars for every number.
class TWriter {
 public:
  explicit TWriter(std::FILE* file) : file_(file), buffer_(kFlushAt + kLineMax) {}

  void Text(std::string_view text) {
    std::copy(text.begin(), text.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ += text.size();
  }
  void Char(char c) { buffer_[used_++] = c; }

  // Writes out the buffer when it is full; for lines longer than the buffer.
  void Spill() {
    if (used_ >= kFlushAt) {
      Flush();
    }
  }

  template <class T>
  void Number(T value) {
    char* const first = buffer_.data() + used_;
    const auto result = std::to_chars(first, first + 32, value);
    used_ += static_cast<std::size_t>(result.ptr - first);
  }

  // Writes hundredths as a plain decimal: 1234 for 123400, 12.5 for 1250, 0.07 for 7.
  void Hundredths(THundredths value) {
    Number(value / 100);
    const THundredths fraction = value % 100;
    if (fraction != 0) {
      Char('.');
      Char(static_cast<char>('0' + fraction / 10));
      if (fraction % 10 != 0) {
        Char(static_cast<char>('0' + fraction % 10));
      }
    }
  }

  // Ends the line; a line holds at most kLineMax bytes.
  void EndLine() {
    Char('\n');
    if (used_ >= kFlushAt) {
      Flush();
    }
  }

  // Writes out what is buffered; false when any write so far failed.
  bool Flush() {
    if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
      failed_ = true;
    }
    used_ = 0;
    return !failed_;
  }

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 20U;
  static constexpr std::size_t kLineMax = 4096;
  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

bool ParseCount(const char* text, std::int64_t& value) {
  const char* end = text + std::strlen(text);
  const auto result = std::from_chars(text, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// The optional shapes of a file.
struct TOptions {
  bool extra = false;     // two more numbers on some data lines
  std::int64_t wide = 0;  // fields appended to the first patch line
};

void WriteFile(const TModel& model, std::int64_t patches, std::int64_t years, std::uint64_t seed,
               const TOptions& options, TWriter& w) {
  // All-patch totals, smallest and largest population per year.
  std::vector<THundredths> total(static_cast<std::size_t>(years), 0);
  std::vector<THundredths> largest(static_cast<std::size_t>(years), 0);
  for (std::int64_t p = 0; p < patches; ++p) {
    for (std::int64_t t = 0; t < years; ++t) {
      const THundredths v = model.Population(p, t);
      total[static_cast<std::size_t>(t)] += v;
      largest[static_cast<std::size_t>(t)] = std::max(largest[static_cast<std::size_t>(t)], v);
    }
  }

  w.Text("Varrowin benchmark landscape, seed ");
  w.Number(seed);
  w.EndLine();
  w.Text("Cell length 2.5 km");
  w.EndLine();
  w.Text("Replications 1");
  w.EndLine();
  w.Text("Duration ");
  w.Number(years);
  w.EndLine();
  for (std::int64_t p = 0; p < patches; ++p) {
    // Coordinates: a 2.5 km grid, X from 500, Y from 1200 (half of them with a decimal).
    w.Char('P');
    w.Number(p + 1);
    w.Char(',');
    w.Hundredths(50000 + 250 * model.Col(p));
    w.Char(',');
    w.Hundredths(120000 + 250 * model.Row(p));
    if (p == 0) {
      w.Text(",P1.KCH");
    }
    w.Text(",1,0.25,");
    w.Number(model.Extras(p, 0) % 5000U);
    if (p == 0) {
      for (std::int64_t f = 0; f < options.wide; ++f) {
        w.Char(',');
        w.Number(f % 1000);
        w.Text(".5");
        w.Spill();
      }
    }
    w.EndLine();
  }
  w.Text("Migration");
  w.EndLine();
  w.Text("Dispersal rates 0.1 0.05");
  w.EndLine();
  w.Text("Pop. ALL");
  w.EndLine();
  for (std::int64_t t = 0; t < years; ++t) {
    w.Hundredths(total[static_cast<std::size_t>(t)]);
    w.Text(" 0 ");
    w.Hundredths(largest[static_cast<std::size_t>(t)]);
    w.EndLine();
  }
  for (std::int64_t p = 0; p < patches; ++p) {
    w.Text("Pop. ");
    w.Number(p + 1);
    w.EndLine();
    for (std::int64_t t = 0; t < years; ++t) {
      const THundredths v = model.Population(p, t);
      const std::uint64_t extras = model.Extras(p, t);
      w.Hundredths(v);
      w.Char(' ');
      w.Number(v == 0 ? 0U : extras % 20U);
      w.Char(' ');
      w.Number(v / 1000);
      w.Char(' ');
      w.Number((extras >> 8U) % 4U);
      w.Text(v == 0 ? " 0" : " 0.5");
      if (options.extra && (extras >> 20U) % 8U == 0) {
        w.Text(" 7 0.125");
      }
      w.EndLine();
    }
  }
  w.Text("End of population results");
  w.EndLine();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  int first = 1;
  while (first < argc && argv[first][0] == '-' && argv[first][1] == '-') {
    const std::string option = argv[first];
    if (option == "--extra") {
      options.extra = true;
    } else if (option == "--wide" && first + 1 < argc &&
               ParseCount(argv[first + 1], options.wide) && options.wide >= 0) {
      ++first;
    } else {
      break;
    }
    ++first;
  }
  std::int64_t patches = 0;
  std::int64_t years = 0;
  std::int64_t seed = 0;
  if (argc - first != 4 || !ParseCount(argv[first], patches) ||
      !ParseCount(argv[first + 1], years) || !ParseCount(argv[first + 2], seed) || patches < 1 ||
      years < 1 || seed < 0) {
    std::fputs(
        "Usage: GenerateMP [--extra] [--wide N] <patches >= 1> <years >= 1> <seed >= 0> "
        "<output-file | ->\n",
        stderr);
    return 2;
  }
  const char* const output = argv[first + 3];
  const bool toStdout = std::strcmp(output, "-") == 0;
  std::FILE* file = toStdout ? stdout : std::fopen(output, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "GenerateMP: cannot open %s for writing\n", output);
    return 1;
  }
  const TModel model(patches, years, static_cast<std::uint64_t>(seed));
  TWriter writer(file);
  WriteFile(model, patches, years, static_cast<std::uint64_t>(seed), options, writer);
  const bool written = writer.Flush();
  const bool closed = toStdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "GenerateMP: write to %s failed\n", output);
    return 1;
  }
  return 0;
}

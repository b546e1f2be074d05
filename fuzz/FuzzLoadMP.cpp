// libFuzzer target: the MP reader on arbitrary bytes, in the stream form and, for every other
// input, also from a file with the population section split over several threads.
//
// The whole input is the file. Its first byte also picks the start year, so that the year
// overflow at the top of the 32-bit range is reachable: the low two bits select 1990, 0, -100
// or 2147483647 minus (byte >> 2) % 4. When bit 4 of the second byte is set, the input is also
// written to a file and loaded on one thread and on 2 to 4 threads (split however small the
// file): both loads must give the same collection or the same error. Bit 3 of the second byte
// picks how the threaded load reads: in tiny blocks with every line over 5 bytes taken as a long
// line, or in the usual blocks with the patch lines cut into pieces of 1 to 36 bytes (bits 0 to 2)
// that the threads parse.
//
// A TError is an expected outcome of a bad file; any other exception, a crash, a difference
// between the threaded and the single-threaded load or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <ios>
#include <limits>
#include <sstream>
#include <string>

#include <unistd.h>

#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/TPatches.h>
#include "FuzzSupport.h"
#include "MPLoad.h"

namespace {

varrowin::TYear StartYear(std::uint8_t selector) {
  switch (selector & 3U) {
    case 0:
      return 1990;
    case 1:
      return 0;
    case 2:
      return -100;
    default:
      return std::numeric_limits<varrowin::TYear>::max() - static_cast<int>((selector >> 2U) % 4U);
  }
}

// Walks the loaded collection so that every stored year and value is touched.
void Inspect(const varrowin::TPatches& patches) {
  double sum = patches.GetResolution();
  for (const auto& entry : patches) {
    const varrowin::TPatch& patch = entry.second;
    for (const varrowin::TYear year : patch.GetYearList()) {
      sum += patch.GetYear(year);
    }
  }
  // Keeps the walk from being optimised away.
  volatile double sink = sum;
  static_cast<void>(sink);
}

// The input file of the threaded comparison: created once per process, removed at exit.
const std::string& InputPath() {
  return varrowin::fuzz::InputPath("varrowin-fuzzload");
}

// The collection with every double's bits, or the error.
std::string LoadFile(varrowin::TYear startYear, unsigned threads, std::uint8_t mode) {
  varrowin::TMPParser::TLoadSettings settings;
  settings.threads = threads;
  settings.minChunkBytes = 1;
  if (threads > 1) {
    if ((mode & 8U) == 0) {
      // Tiny blocks and long-line limit: lines cross block ends and most are read as long lines.
      settings.sizes.blockBytes = 7;
      settings.sizes.longLineBytes = 5;
    } else {
      // Whole lines, and the patch lines in pieces of a few lines or less.
      settings.sizes.patchPieceBytes = 1 + std::size_t{5} * (mode & 7U);
    }
  }
  std::ostringstream out;
  try {
    const varrowin::TPatches patches =
        varrowin::TMPParser::LoadMPFile(InputPath(), startYear, settings);
    out << std::hexfloat << patches.GetResolution() << '\n';
    for (const std::string& name : patches.GetNames()) {
      const varrowin::TPatch& patch = patches.GetPatch(name);
      out << name << ' ' << patch.GetX() << ' ' << patch.GetY();
      for (const varrowin::TYear year : patch.GetYearList()) {
        out << ' ' << year << '=' << patch.GetYear(year);
      }
      out << '\n';
    }
  } catch (const varrowin::TError& e) {
    out << "error: " << e.what();
  }
  return out.str();
}

void CompareThreaded(const std::string& text, varrowin::TYear startYear, unsigned threads,
                     std::uint8_t mode) {
  {
    std::ofstream file(InputPath(), std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file) {
      std::perror("cannot write the fuzz input file");
      std::abort();
    }
  }
  const std::string single = LoadFile(startYear, 1, mode);
  const std::string threaded = LoadFile(startYear, threads, mode);
  if (single != threaded) {
    std::fprintf(
        stderr,
        "threaded load differs (%u threads)\n--- one thread ---\n%s\n--- threaded ---\n%s\n",
        threads, single.c_str(), threaded.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  try {
    Inspect(varrowin::TMPParser::LoadMP(in, StartYear(data[0])));
  } catch (const varrowin::TError&) {
    // A bad file: an expected outcome.
  } catch (const std::exception& e) {
    std::fprintf(stderr, "LoadMP threw an unexpected exception: %s\n", e.what());
    std::abort();
  }
  if (size >= 2 && (data[1] & 16U) != 0) {
    CompareThreaded(text, StartYear(data[0]), 2 + (data[1] >> 5U) % 3, data[1]);
  }
  return 0;
}

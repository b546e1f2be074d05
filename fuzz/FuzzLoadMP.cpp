// libFuzzer target: the MP reader (stream form) on arbitrary bytes.
//
// The whole input is the file. Its first byte also picks the start year, so that the year
// overflow at the top of the 32-bit range is reachable: the low two bits select 1990, 0, -100
// or 2147483647 minus (byte >> 2) % 4.
//
// A TError is an expected outcome of a bad file; any other exception, a crash or a sanitizer
// report is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <sstream>
#include <string>

#include <varrowin/Common.h>
#include <varrowin/TMPParser.h>
#include <varrowin/TPatches.h>

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
  return 0;
}

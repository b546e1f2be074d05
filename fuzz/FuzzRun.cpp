// libFuzzer target: the whole run (RunVarrowin) on an arbitrary MP file with a few fixed
// argument sets: both ordinates, every smoother, burn-in, cleaning, and a start year just
// below the top of the 32-bit range.
//
// Every run must end in order: status 0 with a report whose lines are all complete and nothing
// on the error stream, or status 1 with exactly one line on the error stream and only complete
// lines on the report stream. Anything else, a crash or a sanitizer report, is a finding.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <varrowin/Varrowin.h>
#include "FuzzSupport.h"

namespace {

// The input file: created once per process, rewritten for each input, removed at exit.
const std::string& InputPath() {
  return varrowin::fuzz::InputPath("varrowin-fuzzrun");
}

void Fail(const char* what, const std::vector<std::string>& args, const std::string& out,
          const std::string& err) {
  std::fprintf(stderr, "FuzzRun: %s\nargs:", what);
  for (const std::string& arg : args) {
    std::fprintf(stderr, " '%s'", arg.c_str());
  }
  std::fprintf(stderr, "\n--- out ---\n%s\n--- err ---\n%s\n", out.c_str(), err.c_str());
  std::abort();
}

void CheckRun(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = varrowin::RunVarrowin(args, out, err);
  const std::string outText = out.str();
  const std::string errText = err.str();
  if (!outText.empty() && outText.back() != '\n') {
    Fail("the report ends with an incomplete line", args, outText, errText);
  }
  if (status == 0) {
    if (outText.empty()) {
      Fail("status 0 without a report", args, outText, errText);
    }
    if (!errText.empty()) {
      Fail("status 0 with text on the error stream", args, outText, errText);
    }
  } else if (status == 1) {
    if (errText.size() < 2 || errText.back() != '\n' || errText.find('\n') != errText.size() - 1) {
      Fail("status 1 without exactly one error line", args, outText, errText);
    }
  } else {
    Fail("status neither 0 nor 1", args, outText, errText);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = InputPath();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) {
      std::perror("cannot write the fuzz input file");
      std::abort();
    }
  }
  static const std::array<std::vector<std::string>, 4> kArgumentSets = {{
      {path, "1990", "Y", "0.1", ";"},
      {path, "0", "X", "0.25", ",", "2", "1", "sma", "3"},
      {path, "2147483645", "x", "1.5", ";", "0", "0", "smm", "2"},
      {path, "-5", "Y", "0.5", ";", "1", "2", "exp", "4"},
  }};
  for (const std::vector<std::string>& args : kArgumentSets) {
    CheckRun(args);
  }
  return 0;
}

// The Varrowin run: command line, analysis pipeline and report.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace varrowin {

// The usage line, written without an end of line when arguments are missing.
inline constexpr const char* kUsage =
    "Usage: Varrowin filename startyear XorY Threshold delimiter [burn-in] "
    "[patch_size_threshold] [moving_average_type (sma | exp | smm) window_size]";

// Runs Varrowin on the arguments that follow the program name, writing the report to out and
// the usage line or an error message to err. Returns the exit status: 0 after a complete run,
// 1 after the usage line or an error. Never throws.
int RunVarrowin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace varrowin

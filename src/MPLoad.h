// How the MP file reader splits its work over threads: the settings behind
// TMPParser::LoadMP(fileName, startYear), for tests and tools that need to choose them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <varrowin/Common.h>
#include <varrowin/TPatches.h>

namespace varrowin::TMPParser {

// The population section is parsed by several threads only when each gets at least this much.
inline constexpr std::uint64_t kDefaultMinChunkBytes = std::uint64_t{4} << 20;

// How the reader takes in the file: in blocks of blockBytes, and lines longer than longLineBytes
// not whole but as much of their start as is read from them (at least longLineBytes). With more
// than one thread, runs of patch lines are cut into pieces of about patchPieceBytes (at least 1)
// that the threads parse.
struct TReadSizes {
  std::size_t blockBytes = std::size_t{1} << 20;
  std::size_t longLineBytes = std::size_t{1} << 20;
  std::size_t patchPieceBytes = std::size_t{1} << 16;
};

struct TLoadSettings {
  // Threads for the population section; 0 reads VARROWIN_THREADS, or takes the number of CPUs
  // the process may run on.
  unsigned threads = 0;
  std::uint64_t minChunkBytes = kDefaultMinChunkBytes;
  TReadSizes sizes;
  // Called with the patches when their names are checked on a thread of their own (32,768
  // patches or more, and more than one thread) and found distinct, on that thread, while the
  // population section is read: it may look at the names, the coordinates and the name order,
  // not at the years.
  std::function<void(const TPatches&)> afterNames;
};

// What a load did, for tests.
struct TLoadReport {
  unsigned threadsUsed = 1;  // threads that parsed the population section
  bool gzip = false;         // the input was gzip data
  bool reread = false;       // the threaded parse met something irregular and was redone alone
};

// LoadMP(fileName, startYear) with explicit settings.
TPatches LoadMPFile(const std::string& fileName, TYear startYear, const TLoadSettings& settings,
                    TLoadReport* report = nullptr);

// The largest thread count VARROWIN_THREADS accepts.
inline constexpr unsigned kMaxThreads = 256;

// The thread count of a VARROWIN_THREADS value: a whole decimal number from 1 to kMaxThreads
// (blanks around it allowed). Throws TError("VARROWIN_THREADS must be a whole number from 1 to
// 256") otherwise.
unsigned ParseThreadCount(const std::string& text);

// VARROWIN_THREADS when it is set and not empty, else the number of CPUs in the process's
// affinity mask (at least 1).
unsigned DefaultThreadCount();

}  // namespace varrowin::TMPParser

#include "TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace varrowin::test {

namespace {

std::string MakeTempDir() {
  std::string pattern = "/tmp/varrowin-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  return pattern;
}

void WriteAll(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary);
  file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace

TTempFile::TTempFile(const std::string& contents, const std::string& name)
    : dir_(MakeTempDir()), path_(dir_ + "/" + name) {
  WriteAll(path_, contents);
}

TTempFile::~TTempFile() {
  std::remove(path_.c_str());
  rmdir(dir_.c_str());
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw std::runtime_error("cannot read " + path);
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

std::string SourcePath(const std::string& relative) {
  return std::string(VARROWIN_SOURCE_DIR) + "/" + relative;
}

namespace {

// Runs the binary with standard output captured to a file (no mode) or connected as mode says.
TRunResult Run(const std::vector<std::string>& args, const std::string& stdoutPath,
               std::optional<TStdout> mode) {
  const std::string dir = MakeTempDir();
  const std::string outPath = stdoutPath.empty() ? dir + "/stdout" : stdoutPath;
  const std::string errPath = mode == TStdout::kSharedWithStderr ? outPath : dir + "/stderr";
  const pid_t pid = fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = mode == TStdout::kSharedWithStderr
                          ? outFd
                          : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int inFd = open("/dev/null", O_RDONLY);
    if (outFd < 0 || errFd < 0 || inFd < 0) {
      _exit(127);
    }
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    if (mode == TStdout::kClosed) {
      close(1);
    }
    if (mode == TStdout::kBrokenPipe) {
      int ends[2];
      if (pipe(ends) != 0) {
        _exit(127);
      }
      close(ends[0]);
      dup2(ends[1], 1);
      close(ends[1]);
      signal(SIGPIPE, SIG_IGN);  // kept across exec: a write fails with EPIPE instead
    }
    std::vector<char*> argv;
    std::string program = VARROWIN_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (auto& arg : copies) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  TRunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  if (stdoutPath.empty()) {
    if (!mode || mode == TStdout::kSharedWithStderr) {
      result.out = ReadFile(outPath);
    }
    std::remove(outPath.c_str());
  }
  if (mode != TStdout::kSharedWithStderr) {
    result.err = ReadFile(errPath);
    std::remove(errPath.c_str());
  }
  rmdir(dir.c_str());
  return result;
}

}  // namespace

TRunResult RunBinary(const std::vector<std::string>& args, const std::string& stdoutPath) {
  return Run(args, stdoutPath, std::nullopt);
}

TRunResult RunBinaryWithStdout(const std::vector<std::string>& args, TStdout mode) {
  return Run(args, "", mode);
}

TCentroids MakeSeries(const std::vector<TEntry>& entries, const std::string& name) {
  TCentroids series(name);
  for (const TEntry& e : entries) {
    series.SetCoords(e.year, TPoint(e.x, e.y));
  }
  return series;
}

TCentroids SeriesX(const std::vector<double>& xs) {
  std::vector<TEntry> entries;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    entries.push_back({static_cast<TYear>(2000 + i), xs[i], 0.0});
  }
  return MakeSeries(entries);
}

std::vector<TEntry> Entries(const TCentroids& series) {
  std::vector<TEntry> entries;
  for (const auto& [year, point] : series) {
    entries.push_back({year, point.X(), point.Y()});
  }
  return entries;
}

namespace {

void ExpectValue(double actual, double expected) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << actual;
  } else {
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace

void ExpectSeries(const TCentroids& actual, const std::vector<TEntry>& expected) {
  EXPECT_EQ(actual.GetName(), "");
  const std::vector<TEntry> got = Entries(actual);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(got[i].year, expected[i].year);
    ExpectValue(got[i].x, expected[i].x);
    ExpectValue(got[i].y, expected[i].y);
  }
}

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

TPatch MakePatch(const std::string& name, double x, double y, TYear firstYear,
                 const std::vector<double>& values) {
  TPatch patch(name, x, y);
  for (std::size_t i = 0; i < values.size(); ++i) {
    patch.SetYear(firstYear + static_cast<TYear>(i), values[i]);
  }
  return patch;
}

TPatches Collection(std::vector<TPatch> patches) {
  TPatches result;
  for (TPatch& patch : patches) {
    result.AddPatch(std::move(patch));
  }
  return result;
}

std::string CaseName(const std::string& description) {
  std::string name;
  bool gap = false;
  for (const char c : description) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) {
      gap = true;
      continue;
    }
    if (gap && !name.empty()) {
      name += '_';
    }
    gap = false;
    name += c;
  }
  return name.empty() ? "empty" : name;
}

std::string LoadOutcome(const std::string& path, TYear startYear,
                        const TMPParser::TLoadSettings& settings, TMPParser::TLoadReport* report) {
  std::ostringstream out;
  try {
    const TPatches patches = TMPParser::LoadMPFile(path, startYear, settings, report);
    out << std::hexfloat << patches.GetResolution() << '\n';
    for (const std::string& name : patches.GetNames()) {
      const TPatch& patch = patches.GetPatch(name);
      out << name << ' ' << patch.GetX() << ' ' << patch.GetY();
      for (const TYear year : patch.GetYearList()) {
        out << ' ' << year << '=' << patch.GetYear(year);
      }
      out << '\n';
    }
  } catch (const TError& error) {
    out << "error: " << error.what();
  }
  return out.str();
}

}  // namespace varrowin::test

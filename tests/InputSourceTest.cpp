// Compressed and piped input: gzip files and standard input give what the plain file gives, and
// bad gzip data is an error that names the file, never a partial result.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/TMPParser.h>
#include "InputSource.h"
#include "MPLoad.h"
#include "TestSupport.h"

namespace varrowin {
namespace {

using test::TRunResult;
using test::TTempFile;

// One gzip member holding the text.
std::string GzipMember(const std::string& text) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (status != Z_STREAM_END) {
    throw std::runtime_error("deflate failed");
  }
  return out;
}

// The text in one member per piece, the pieces cut at the given offsets.
std::string GzipMembers(const std::string& text, const std::vector<std::size_t>& cuts) {
  std::string out;
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    out += GzipMember(text.substr(from, cut - from));
    from = cut;
  }
  return out + GzipMember(text.substr(from));
}

// Everything a load gives, as text with every double's bits, so that equal dumps mean equal
// collections.
std::string Dump(const TPatches& patches) {
  std::ostringstream out;
  out << std::hexfloat << patches.GetResolution() << '\n';
  for (const std::string& name : patches.GetNames()) {
    const TPatch& patch = patches.GetPatch(name);
    out << name.size() << ':' << name << ' ' << patch.GetX() << ' ' << patch.GetY();
    for (const TYear year : patch.GetYearList()) {
      out << ' ' << year << '=' << patch.GetYear(year);
    }
    out << '\n';
  }
  return out.str();
}

std::string LoadText(const std::string& bytes) {
  std::istringstream in(bytes);
  return Dump(TMPParser::LoadMP(in, 1990));
}

std::string LoadTextError(const std::string& bytes) {
  try {
    LoadText(bytes);
  } catch (const TError& error) {
    return error.what();
  }
  return "";
}

const std::string& Grid() {
  static const std::string text = test::ReadFile(test::SourcePath("examples/grid.mp"));
  return text;
}

TEST(GzipInput, MembersAndPaddingReadAsThePlainText) {
  const std::string& text = Grid();
  const std::string plain = LoadText(text);
  const std::size_t n = text.size();
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"one member", GzipMember(text)},
      {"two members cut inside a line", GzipMembers(text, {n / 2 + 3})},
      {"a member per few bytes", GzipMembers(text, {1, 2, 50, 51, n / 3, n - 1})},
      {"an empty member first and last", GzipMember("") + GzipMember(text) + GzipMember("")},
      {"zero padding after the last member", GzipMember(text) + std::string(1000, '\0')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadText(c.bytes), plain) << c.what;
  }
}

TEST(GzipInput, BadDataIsAnErrorNamingTheInput) {
  const std::string gz = GzipMember(Grid());
  const std::string truncated = "Cannot read file: input stream: truncated gzip data";
  const std::string corrupt = "Cannot read file: input stream: corrupt gzip data";
  const std::string trailing =
      "Cannot read file: input stream: unexpected data after the gzip data";
  // Every cut from the magic number to the last trailer byte.
  for (std::size_t cut = 2; cut < gz.size(); cut += 1 + cut / 64) {
    EXPECT_EQ(LoadTextError(gz.substr(0, cut)), truncated) << "cut at " << cut;
  }
  EXPECT_EQ(LoadTextError(gz.substr(0, gz.size() - 1)), truncated);
  auto flipped = [&gz](std::size_t at) {
    std::string bytes = gz;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x40);
    return bytes;
  };
  EXPECT_EQ(LoadTextError(flipped(gz.size() - 8)), corrupt) << "CRC-32";
  EXPECT_EQ(LoadTextError(flipped(gz.size() - 3)), corrupt) << "length";
  EXPECT_EQ(LoadTextError(flipped(2)), corrupt) << "compression method";
  EXPECT_FALSE(LoadTextError(flipped(gz.size() / 2)).empty()) << "compressed data";
  EXPECT_EQ(LoadTextError(gz + "x"), trailing);
  EXPECT_EQ(LoadTextError(gz + "\n"), trailing);
  EXPECT_EQ(LoadTextError(gz + std::string(10, '\0') + "x"), trailing);
  EXPECT_EQ(LoadTextError(gz + std::string(10, '\0') + GzipMember("A")), trailing);
  EXPECT_EQ(LoadTextError(gz + "\x1f"), truncated) << "a second member cut after one byte";
  EXPECT_EQ(LoadTextError(GzipMember(Grid()) + GzipMember(Grid()).substr(0, 30)), truncated);
}

// A repeated patch name is the error even when the gzip data breaks off in later patch lines
// that the reader meets only blocks after the repetition.
TEST(GzipInput, RepeatedNameComesBeforeLaterBadData) {
  std::string text = "Cell 1 km\nA,1,2.KCH\nB,3,4\nA,5,6\n";
  for (int i = 0; i < 4000; ++i) {
    text += 'Q';
    text += std::to_string(i);
    text += ",1,1\n";
  }
  text += "Migration\nPop. ALL\n1\nPop. 1\n5\n";
  const std::string gz = GzipMember(text);
  const TTempFile cut(gz.substr(0, gz.size() - gz.size() / 4), "cut.mp.gz");
  TMPParser::TLoadSettings settings;
  settings.sizes.blockBytes = 4096;
  settings.threads = 1;
  std::string message;
  try {
    TMPParser::LoadMPFile(cut.Path(), 1990, settings);
  } catch (const TError& error) {
    message = error.what();
  }
  EXPECT_EQ(message, "Duplicate patch name: A");
  // Without the repetition the broken data is the error.
  text.replace(text.find("A,5,6"), 1, "C");
  const std::string clean = GzipMember(text);
  const TTempFile cleanCut(clean.substr(0, clean.size() - clean.size() / 4), "clean.mp.gz");
  message.clear();
  try {
    TMPParser::LoadMPFile(cleanCut.Path(), 1990, settings);
  } catch (const TError& error) {
    message = error.what();
  }
  EXPECT_EQ(message, "Cannot read file: " + cleanCut.Path() + ": truncated gzip data");
}

// The program on a .mp.gz file: the report of the plain file, or an error and no report.
TEST(GzipInput, ProgramReportsTheSameOrNothing) {
  const TTempFile plain(Grid(), "run.mp");
  const TTempFile gz(GzipMembers(Grid(), {Grid().size() / 3}), "run.mp.gz");
  const TTempFile bad(GzipMember(Grid()) + "trailing", "bad.mp.gz");
  const TTempFile cut(GzipMember(Grid()).substr(0, 500), "cut.mp.gz");
  const std::vector<std::string> rest = {"2000", "Y", "0.1", ";", "2", "1", "sma", "3"};
  auto run = [&rest](const std::string& path) {
    std::vector<std::string> args{path};
    args.insert(args.end(), rest.begin(), rest.end());
    return test::RunBinary(args);
  };
  const TRunResult expected = run(plain.Path());
  ASSERT_EQ(expected.status, 0) << expected.err;
  const TRunResult fromGz = run(gz.Path());
  EXPECT_EQ(fromGz.status, 0) << fromGz.err;
  EXPECT_EQ(fromGz.out, expected.out);
  for (const auto& [file, reason] : {std::pair{&bad, "unexpected data after the gzip data"},
                                     std::pair{&cut, "truncated gzip data"}}) {
    const TRunResult failed = run(file->Path());
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "Cannot read file: " + file->Path() + ": " + reason + "\n");
  }
}

// Runs the program with the bytes on a pipe as standard input.
// allWritten, when given, tells whether the program took every byte.
TRunResult RunWithStdin(const std::vector<std::string>& args, const std::string& bytes,
                        bool* allWritten = nullptr) {
  const TTempFile out("", "stdout");
  const TTempFile err("", "stderr");
  int ends[2];
  if (pipe(ends) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[0], 0);
    close(ends[0]);
    close(ends[1]);
    const int outFd = open(out.Path().c_str(), O_WRONLY | O_TRUNC);
    const int errFd = open(err.Path().c_str(), O_WRONLY | O_TRUNC);
    if (outFd < 0 || errFd < 0) {
      _exit(127);
    }
    dup2(outFd, 1);
    dup2(errFd, 2);
    std::vector<std::string> copies(args);
    std::string program = VARROWIN_BINARY;
    std::vector<char*> argv{program.data()};
    for (std::string& arg : copies) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(ends[0]);
  // The program may stop reading early; a write to a pipe without reader then fails quietly.
  std::signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(ends[1], bytes.data() + written, bytes.size() - written);
    if (n <= 0) {
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  close(ends[1]);
  if (allWritten != nullptr) {
    *allWritten = written == bytes.size();
  }
  int status = 0;
  waitpid(pid, &status, 0);
  TRunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = test::ReadFile(out.Path());
  result.err = test::ReadFile(err.Path());
  return result;
}

TEST(StandardInput, DashReadsPlainAndGzipFromAPipe) {
  const TTempFile plain(Grid(), "run.mp");
  const TRunResult expected = test::RunBinary({plain.Path(), "2000", "X", "0.25", ","});
  ASSERT_EQ(expected.status, 0) << expected.err;
  for (const std::string& bytes : {Grid(), GzipMember(Grid()), GzipMembers(Grid(), {7, 900})}) {
    const TRunResult run = RunWithStdin({"-", "2000", "X", "0.25", ","}, bytes);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected.out);
  }
  // A pipe is read to its end, so that the program writing it is not stopped by SIGPIPE.
  bool allWritten = false;
  const TRunResult tail = RunWithStdin({"-", "2000", "X", "0.25", ","},
                                       Grid() + std::string(1 << 20, '\n'), &allWritten);
  EXPECT_EQ(tail.out, expected.out);
  EXPECT_TRUE(allWritten);
  const TRunResult bad = RunWithStdin({"-", "2000", "X", "0.25", ","}, GzipMember(Grid()) + "x");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "Cannot read file: standard input: unexpected data after the gzip data\n");
}

TEST(ThreadCount, AcceptsWholeNumbersFromOneTo256) {
  const struct {
    const char* text;
    unsigned threads;  // 0: refused
  } cases[] = {{"1", 1},     {"2", 2},      {" 8 ", 8}, {"\t16", 16},
               {"256", 256}, {"0256", 256}, {"0", 0},   {"257", 0},
               {"-1", 0},    {"+2", 0},     {"2x", 0},  {"1.5", 0},
               {"two", 0},   {" ", 0},      {"", 0},    {"99999999999999999999", 0}};
  for (const auto& c : cases) {
    if (c.threads != 0) {
      EXPECT_EQ(TMPParser::ParseThreadCount(c.text), c.threads) << '"' << c.text << '"';
    } else {
      test::ExpectError([&] { TMPParser::ParseThreadCount(c.text); },
                        "VARROWIN_THREADS must be a whole number from 1 to 256");
    }
  }
}

TEST(ThreadCount, EnvironmentValueIsCheckedByTheProgram) {
  const TTempFile plain(Grid(), "run.mp");
  const char* old = std::getenv("VARROWIN_THREADS");
  const std::string saved = old != nullptr ? old : "";
  std::istringstream text(Grid());
  const TPatches patches = TMPParser::LoadMP(text, 2000);
  TAnalysisOptions options;
  options.smoothing = TSmoothing::kExponential;
  options.window = 3;
  const std::size_t rows = Analyse(patches, options).years.size();
  setenv("VARROWIN_THREADS", "0", 1);
  const TRunResult refused = test::RunBinary({plain.Path(), "2000", "Y", "0.1", ";"});
  // Patches read from elsewhere are analysed on one thread, as before the variable was set.
  std::size_t rowsWithBadValue = 0;
  EXPECT_NO_THROW(rowsWithBadValue = Analyse(patches, options).years.size());
  setenv("VARROWIN_THREADS", "", 1);
  const TRunResult empty = test::RunBinary({plain.Path(), "2000", "Y", "0.1", ";"});
  if (old != nullptr) {
    setenv("VARROWIN_THREADS", saved.c_str(), 1);
  } else {
    unsetenv("VARROWIN_THREADS");
  }
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "VARROWIN_THREADS must be a whole number from 1 to 256\n");
  EXPECT_EQ(empty.status, 0) << "an empty value counts as unset";
  EXPECT_GT(rows, 0U);
  EXPECT_EQ(rowsWithBadValue, rows);
}

// A source that hands out one byte per read, so that every byte of a gzip stream, the first byte
// of a following member included, arrives at the end of its block.
class TByteByByteSource : public TInputSource {
 public:
  explicit TByteByByteSource(std::string data) : data_(std::move(data)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (next_ == data_.size() || size == 0) {
      return 0;
    }
    buffer[0] = data_[next_++];
    return 1;
  }

 private:
  std::string data_;
  std::size_t next_ = 0;
};

std::string DecodeByteByByte(const std::string& compressed) {
  TGzipSource source(std::make_unique<TByteByByteSource>(compressed), "run.mp.gz");
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = source.Read(buffer, sizeof buffer)) > 0;) {
    text.append(buffer, got);
  }
  return text;
}

TEST(GzipInput, MemberBoundaryAtTheEndOfABlock) {
  const std::string text = "first part\nsecond part\n";
  EXPECT_EQ(DecodeByteByByte(GzipMembers(text, {11})), text);
  const std::vector<std::pair<std::string, const char*>> cases{
      {std::string("\x1f\x00 more", 7),
       "Cannot read file: run.mp.gz: unexpected data after the gzip data"},
      {"\x1f", "Cannot read file: run.mp.gz: truncated gzip data"},
      {"\x1f\x8b", "Cannot read file: run.mp.gz: truncated gzip data"},
  };
  for (const auto& c : cases) {
    test::ExpectError([&] { DecodeByteByByte(GzipMember(text) + c.first); }, c.second);
  }
}

}  // namespace
}  // namespace varrowin

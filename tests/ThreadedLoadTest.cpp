// The population section parsed by several threads gives what one thread gives: the same
// collection on regular files of every shape, the same first error on damaged ones, and the same
// report from the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "MPLoad.h"
#include "TestSupport.h"

namespace varrowin {
namespace {

using test::TTempFile;
using TMPParser::LoadMPFile;
using TMPParser::TLoadReport;
using TMPParser::TLoadSettings;

// Everything a load gives, with every double's bits, or the error it throws.
std::string Outcome(const std::string& path, unsigned threads, TLoadReport* report = nullptr,
                    TYear startYear = 1990, const TMPParser::TReadSizes& sizes = {}) {
  TLoadSettings settings;
  settings.threads = threads;
  settings.sizes = sizes;
  settings.minChunkBytes = 1;  // split even the smallest file
  return test::LoadOutcome(path, startYear, settings, report);
}

// An MP file of the given shape: patches on a grid, values with and without decimals and with
// extra numbers on some data lines, blank lines here and there, extraFields more fields on the
// first patch line, and a line after the last block.
std::string MakeFile(unsigned patches, int years, int extraFields = 0) {
  std::uint64_t state = static_cast<std::uint64_t>(patches) * 7919 + static_cast<unsigned>(years);
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  std::string text = "Shape test\nCell length 2.5 km\n";
  for (unsigned p = 1; p <= patches; ++p) {
    text += 'P';
    text += std::to_string(p);
    text += ',';
    text += std::to_string(p % 17 * 2.5);
    text += ',';
    text += std::to_string(p / 17 * 2.5);
    text += p == 1 ? ",P1.KCH" : ",1,0.25";
    if (p == 1) {
      for (int f = 0; f < extraFields; ++f) {
        text += ",0.5";
      }
    }
    text += "\n";
  }
  text += "Migration\nPop. ALL\n";
  for (int y = 0; y < years; ++y) {
    text += std::to_string(1000 + y);
    text += " 0 5\n";
  }
  for (unsigned p = 1; p <= patches; ++p) {
    text += "Pop. ";
    text += std::to_string(p);
    text += '\n';
    for (int y = 0; y < years; ++y) {
      const std::uint64_t r = next();
      if (r % 3 == 0) {
        text += std::to_string(r % 1000);
        text += '.';
        text += std::to_string(r % 7);
        text += " 3 1\n";
      } else {
        text += std::to_string(r % 5000);
        text += '\n';
      }
      if (r % 97 == 0) {
        text += "\n  \n";
      }
    }
  }
  return text + "End of population results\n";
}

struct TShape {
  const char* name;
  unsigned patches;
  int years;
  int extraFields;
};

// Small versions of the shapes large model runs produce.
const TShape kShapes[] = {
    {"long", 1, 3000, 0}, {"many", 2000, 2, 0},    {"tall", 8, 1500, 0},
    {"mid", 300, 20, 0},  {"wide", 40, 12, 20000}, {"main", 120, 60, 0},
};

TEST(ThreadedLoad, ShapesLoadAsOnOneThread) {
  for (const TShape& shape : kShapes) {
    const TTempFile file(MakeFile(shape.patches, shape.years, shape.extraFields));
    const std::string single = Outcome(file.Path(), 1);
    ASSERT_EQ(single.rfind("error", 0), std::string::npos) << shape.name << ": " << single;
    for (const unsigned threads : {2U, 3U, 8U}) {
      TLoadReport report;
      EXPECT_EQ(Outcome(file.Path(), threads, &report), single)
          << shape.name << ", " << threads << " threads";
      EXPECT_FALSE(report.reread) << shape.name;
      if (shape.patches >= threads) {
        // Every shape with enough blocks is split: the threaded path is what was compared.
        EXPECT_EQ(report.threadsUsed, threads) << shape.name;
      }
    }
  }
}

TEST(ThreadedLoad, ExamplesLoadAsOnOneThread) {
  std::vector<std::string> files;
  for (const char* dir : {"examples", "tests/data", "fuzz/corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath(dir))) {
      if (entry.path().extension() == ".mp") {
        files.push_back(entry.path().string());
      }
    }
  }
  ASSERT_GT(files.size(), 10U);
  for (const std::string& path : files) {
    for (const TYear startYear : {TYear{1990}, TYear{2147483640}}) {
      EXPECT_EQ(Outcome(path, 4, nullptr, startYear), Outcome(path, 1, nullptr, startYear))
          << path << ", start year " << startYear;
    }
  }
}

// Cuts and damage all through the population section give the same first error (or the same
// collection) with threads as without.
TEST(ThreadedLoad, DamagedFilesGiveTheSameFirstError) {
  const std::string text = MakeFile(30, 25);
  const std::size_t section = text.find("Pop. ALL");
  std::vector<std::string> variants;
  for (std::size_t cut = section; cut < text.size(); cut += 97) {
    variants.push_back(text.substr(0, cut));
  }
  auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string copy = text;
    copy.replace(copy.find(from), from.size(), to);
    return copy;
  };
  variants.push_back(replaced("Pop. 7\n", "Pop. 3\n"));            // a patch named twice
  variants.push_back(replaced("Pop. 7\n", "Pop. 31\n"));           // no such patch line
  variants.push_back(replaced("Pop. 12\n", "Pop.\n"));             // header of one word
  variants.push_back(replaced("Pop. 20\n", "Pop. 20\n1.5\n"));     // a block one line long
  variants.push_back(replaced("Pop. 20\n", "Pop. 20\nPop. 4\n"));  // a header as data
  variants.push_back(replaced("Pop. 9\n", "Pop. 9\n\n\n"));        // blank lines
  variants.push_back(replaced("P5,", "P4,"));                      // a repeated name
  variants.push_back(replaced("End of population results\n", "Pop. 2\n1\n"));
  variants.push_back(text + std::string(3000, 'x'));  // a long last line
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const TTempFile file(variants[i]);
    const std::string single = Outcome(file.Path(), 1);
    for (const unsigned threads : {2U, 5U}) {
      EXPECT_EQ(Outcome(file.Path(), threads), single) << "variant " << i;
    }
  }
  // Years past the 32-bit range, met in a later part.
  const TTempFile file(text);
  EXPECT_EQ(Outcome(file.Path(), 4, nullptr, 2147483647 - 10), "error: Year out of range");
}

// With tens of thousands of patches the names are checked on a thread of their own while the
// population section is read: a repeated name is still the error, also when the section is
// damaged or cut, and the error names the first repeat in file order.
TEST(ThreadedLoad, RepeatedNamesWinOverThePopulationSection) {
  const std::string text = MakeFile(40000, 2);
  auto replaced = [](std::string copy, const std::string& from, const std::string& to) {
    copy.replace(copy.find(from), from.size(), to);
    return copy;
  };
  const std::string repeated =
      replaced(replaced(text, "\nP39000,", "\nP12,"), "\nP39500,", "\nP7,");
  const std::string section = "Pop. ALL";
  struct TVariant {
    std::string text;
    const char* error;  // nullptr: loads
  };
  const TVariant variants[] = {
      {text, nullptr},
      {repeated, "error: Duplicate patch name: P12"},
      {repeated.substr(0, repeated.find(section) + 200), "error: Duplicate patch name: P12"},
      {replaced(repeated, "Pop. 30000\n", "Pop. 0\n"), "error: Duplicate patch name: P12"},
      {replaced(text, "Pop. 30000\n", "Pop. 0\n"), "error: Patch does not exist"},
      {text.substr(0, text.size() - 5000), "error: Unexpected end of file in population section"},
  };
  for (std::size_t i = 0; i < std::size(variants); ++i) {
    const TTempFile file(variants[i].text);
    const std::string single = Outcome(file.Path(), 1);
    if (variants[i].error == nullptr) {
      EXPECT_EQ(single.rfind("error", 0), std::string::npos) << "variant " << i << ": " << single;
    } else {
      EXPECT_EQ(single, variants[i].error) << "variant " << i;
    }
    for (const unsigned threads : {2U, 3U}) {
      TLoadReport report;
      EXPECT_EQ(Outcome(file.Path(), threads, &report), single)
          << "variant " << i << ", " << threads;
      if (i == 0) {
        // The first part's thread checks the names too: the section is split over all threads.
        EXPECT_EQ(report.threadsUsed, threads);
      }
      // Too small to split: the section is read on one thread beside the name check.
      TLoadSettings settings;
      settings.threads = threads;
      EXPECT_EQ(test::LoadOutcome(file.Path(), 1990, settings, nullptr), single)
          << "variant " << i << ", " << threads << ", not split";
    }
  }
}

// With more than one thread the patch lines are read in bulk up to the first line with a marker;
// every kind of patch line, and markers anywhere in the section, give what reading them one by
// one gives.
TEST(ThreadedLoad, PatchSectionReadInBulkAsLineByLine) {
  const std::string text = MakeFile(30000, 2);
  const std::size_t sectionEnd = text.find("Migration");
  const std::string head = text.substr(0, sectionEnd);
  const std::string tail = text.substr(sectionEnd);
  // Applies change to every kth patch line (counted from 0) of the section.
  auto everyKth = [&head, &tail](std::size_t k,
                                 const std::function<std::string(std::string)>& change) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t n = 0; start < head.size(); ++n) {
      const std::size_t end = head.find('\n', start) + 1;
      const std::string line = head.substr(start, end - start);
      out += n % k == 0 ? change(line) : line;
      start = end;
    }
    return out + tail;
  };
  auto replaced = [](std::string copy, const std::string& from, const std::string& to) {
    copy.replace(copy.find(from), from.size(), to);
    return copy;
  };
  const std::string noResolution = replaced(text, "Cell length 2.5 km\n", "Cell length\n");
  const std::string variants[] = {
      text,
      everyKth(1, [](std::string line) { return line.insert(line.size() - 1, "\r"); }),
      everyKth(3,  // three fields, the last ended by a carriage return
               [](const std::string& line) {
                 const std::size_t third = line.find(',', line.find(',') + 1) + 1;
                 return line.substr(0, line.find(',', third)) + "\r\n";
               }),
      everyKth(5,  // two fields and a carriage return: no patch
               [](const std::string& line) {
                 return line.substr(0, line.find(',', line.find(',') + 1) + 1) + "\r\n";
               }),
      everyKth(997, [](std::string line) { return "\n \t\nx,1\n,,\n" + line; }),
      everyKth(1013, [](std::string line) { return line.insert(1, ",,").insert(0, ","); }),
      everyKth(4099, [](std::string line) { return "Pop" + line; }),
      replaced(text, "\nP20000,", "\nMigration,"),
      replaced(text, "\nP20000,", "\nPop. ALL,"),
      noResolution,
      replaced(noResolution, "\nP25000,", "\nCell length 4 km\nP25000,"),
  };
  for (std::size_t i = 0; i < std::size(variants); ++i) {
    const TTempFile file(variants[i]);
    const std::string single = Outcome(file.Path(), 1);
    for (const unsigned threads : {2U, 4U}) {
      EXPECT_EQ(Outcome(file.Path(), threads), single) << "variant " << i << ", " << threads;
    }
  }
}

// A random MP file whose patch section mixes ordinary patch lines with lines of fewer than three
// fields, blank lines, leading and trailing empty fields, carriage returns, repeated names, long
// lines and the markers the reading reacts to ("Migration", "Pop. ALL", "km" without a resolution
// line before it). patchBytes: the size of the patch section.
std::string RandomPatchSectionFile(std::mt19937_64& rng, std::size_t& patchBytes) {
  const auto below = [&rng](std::uint64_t n) { return rng() % n; };
  std::string text = "Random landscape\n";
  if (below(4) != 0) {
    text += "Cell length 2.5 km\n";
  }
  const std::size_t lines = 3000 + below(20000);
  const bool repeats = below(8) == 0;
  const bool markers = below(3) == 0;
  const bool carriageReturns = below(3) == 0;
  const bool longLines = below(5) == 0;
  const bool odd = below(2) == 0;
  const std::size_t start = text.size();
  text += "First,1.5,2.5,F.KCH\n";
  std::size_t patches = 1;
  bool ended = false;
  for (std::size_t i = 0; i < lines && !ended; ++i) {
    std::string line;
    const auto roll = below(1000);
    if (odd && roll < 20) {
      const char* const shortLines[] = {"", " ", "a,b", "x", ",,", "a,,b", ",a,,b,", "\t", "P,1"};
      line = shortLines[below(std::size(shortLines))];
    } else if (markers && roll < 22) {
      const auto marker = below(3);
      if (marker == 2) {
        line = "Cell " + std::to_string(below(9) + 1) + " km,4,5";
        ++patches;
      } else {
        line = marker == 0 ? "Migration" : "Pop. ALL,1,2";
        ended = true;
      }
    } else if (longLines && roll < 24) {
      line = "L" + std::to_string(i) + ",1,2," +
             std::string(1000 + below(300000), below(2) ? '9' : ',');
      ++patches;
    } else {
      std::string name = "P" + std::to_string(repeats && roll < 40 ? below(50) : i);
      if (odd && roll < 60) {
        name = ",," + name;
      }
      line = name + "," + std::to_string(below(1000)) + "." + std::to_string(below(100)) + "," +
             (below(10) == 0 ? "-" : "") + std::to_string(below(1000)) +
             (below(2) != 0 ? ",1,0.25" : "") + (odd && roll < 80 ? ",,," : "");
      ++patches;
    }
    if (carriageReturns && below(2) != 0) {
      line += "\r";
    }
    text += line + "\n";
  }
  patchBytes = text.size() - start;
  if (!ended) {
    text += "Migration\n";
  }
  text += "Pop. ALL\n1000 0 5\n1001 0 5\n";
  for (std::size_t p = 1; p <= patches; ++p) {
    text += "Pop. " + std::to_string(p) + "\n" + std::to_string(below(5000)) + "\n" +
            std::to_string(below(5000)) + "\n";
  }
  return text + "End of population results\n";
}

// The patch lines read in bulk, in pieces that two or three threads parse while one adds them in
// file order, give what reading them one by one gives: the same patches, the same order, the same
// error; also with small read blocks and a small limit for the lines kept whole.
TEST(ThreadedLoad, RandomPatchSectionsReadInPiecesAsLineByLine) {
  std::mt19937_64 rng(99);
  int inPieces = 0;  // files with more than two pieces of patch lines
  for (int f = 0; f < 40; ++f) {
    std::size_t patchBytes = 0;
    const TTempFile file(RandomPatchSectionFile(rng, patchBytes));
    inPieces += patchBytes > (std::size_t{1} << 17) ? 1 : 0;
    TLoadSettings settings;
    if (rng() % 4 == 0) {
      settings.sizes.blockBytes = std::size_t{1} << (14 + rng() % 6);
    }
    if (rng() % 4 == 0) {
      settings.sizes.longLineBytes = std::size_t{1} << (14 + rng() % 6);
    }
    if (rng() % 3 == 0) {
      settings.sizes.patchPieceBytes = 1 + rng() % 2000;  // a few lines or less a piece
    }
    settings.threads = 1;
    const std::string single = test::LoadOutcome(file.Path(), 1990, settings);
    for (const unsigned threads : {2U, 3U}) {
      settings.threads = threads;
      ASSERT_EQ(test::LoadOutcome(file.Path(), 1990, settings), single)
          << "file " << f << ", " << threads << " threads";
    }
  }
  EXPECT_GE(inPieces, 15) << "files whose patch lines are cut into several pieces";
}

// The reader hands the patches on once their names are checked on a thread of their own and found
// distinct, with their names and coordinates whole; not with a repeated name, fewer than 32,768
// patches or one thread.
TEST(ThreadedLoad, AfterNamesSeesDistinctNamesOnly) {
  struct TCase {
    unsigned patches;
    bool repeated;
    unsigned threads;
    int calls;
  };
  const TCase cases[] = {
      {40000, false, 2, 1}, {40000, false, 3, 1}, {40000, true, 2, 0},
      {40000, false, 1, 0}, {20000, false, 2, 0},
  };
  for (const TCase& c : cases) {
    std::string text = MakeFile(c.patches, 2);
    if (c.repeated) {
      text.replace(text.find("\nP30000,"), 8, "\nP12,");
    }
    const TTempFile file(text);
    TLoadSettings settings;
    settings.threads = c.threads;
    int calls = 0;
    std::string seen;
    settings.afterNames = [&calls, &seen](const TPatches& patches) {
      ++calls;
      seen = std::to_string(patches.GetNumPatches()) + " " + patches.GetNames().front() + " " +
             std::to_string(patches.GetCoordinates().back().Y());
    };
    const std::string outcome = test::LoadOutcome(file.Path(), 1990, settings, nullptr);
    EXPECT_EQ(calls, c.calls) << c.patches << " patches, " << c.threads << " threads";
    if (calls == 1) {
      TLoadSettings plain;
      plain.threads = 1;
      const TPatches loaded = LoadMPFile(file.Path(), 1990, plain);
      EXPECT_EQ(seen, std::to_string(loaded.GetNumPatches()) + " " + loaded.GetNames().front() +
                          " " + std::to_string(loaded.GetCoordinates().back().Y()));
    }
  }
}

// The program with tens of thousands of patches, whose walk order is made while the populations
// are read: the same report on one thread and on more, along either axis, with cleaning too.
TEST(ThreadedLoad, ProgramReportWithManyPatchesIsTheSame) {
  const TTempFile file(MakeFile(40000, 3));
  const char* old = std::getenv("VARROWIN_THREADS");
  const std::string saved = old != nullptr ? old : "";
  for (const char* axis : {"Y", "X"}) {
    for (const char* cleaning : {"0", "2"}) {
      const std::vector<std::string> args = {file.Path(), "2000",   axis,  "0.2", ";",
                                             "0",         cleaning, "exp", "2"};
      std::vector<test::TRunResult> runs;
      for (const char* threads : {"1", "2", "3"}) {
        setenv("VARROWIN_THREADS", threads, 1);
        runs.push_back(test::RunBinary(args));
      }
      ASSERT_EQ(runs[0].status, 0) << runs[0].err;
      EXPECT_GT(runs[0].out.size(), 100U);
      for (const test::TRunResult& run : runs) {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, runs[0].out) << axis << ", cleaning " << cleaning;
      }
    }
  }
  if (old != nullptr) {
    setenv("VARROWIN_THREADS", saved.c_str(), 1);
  } else {
    unsetenv("VARROWIN_THREADS");
  }
}

// The program: VARROWIN_THREADS=1 and the default split of a file large enough to be split at
// the program's own threshold give the same report, byte for byte.
TEST(ThreadedLoad, ProgramReportIsTheSame) {
  const std::string text = MakeFile(3000, 500);
  ASSERT_GT(text.size(), 2 * TMPParser::kDefaultMinChunkBytes);
  const TTempFile file(text);
  TLoadSettings settings;
  settings.threads = 2;
  TLoadReport report;
  static_cast<void>(LoadMPFile(file.Path(), 2000, settings, &report));
  EXPECT_EQ(report.threadsUsed, 2U) << "the file is split at the default threshold";
  const std::vector<std::string> args = {file.Path(), "2000", "Y",   "0.1", ";",
                                         "3",         "1",    "sma", "5"};
  const char* old = std::getenv("VARROWIN_THREADS");
  const std::string saved = old != nullptr ? old : "";
  std::vector<test::TRunResult> runs;
  for (const char* threads : {"1", "2", "3"}) {
    setenv("VARROWIN_THREADS", threads, 1);
    runs.push_back(test::RunBinary(args));
  }
  if (old != nullptr) {
    setenv("VARROWIN_THREADS", saved.c_str(), 1);
  } else {
    unsetenv("VARROWIN_THREADS");
  }
  ASSERT_EQ(runs[0].status, 0) << runs[0].err;
  EXPECT_GT(runs[0].out.size(), 1000U);
  for (const test::TRunResult& run : runs) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, runs[0].out);
  }
}

// Lines longer than the reader keeps whole are read as their heads plus what the rest holds.
// With tiny blocks and a tiny long-line limit, a long line among short ones is read that way,
// with its markers at every position relative to the block ends; every file loads as with the
// usual sizes, on one thread or several.
TEST(LongLines, TinyBlocksReadAsTheUsualSizes) {
  // One long line in each role; the pad puts its markers at every distance from a block end.
  const std::vector<std::pair<std::string, std::string>> roles = {
      {"resolution", "Cell length 2.5 k{pad}Pop. ALL\n"},
      {"patch section opened far out", "A,1,2,{pad}.KCH{pad}\n"},
      {"patch line", "B,3,4,{pad}\n"},
      {"short patch line", "{pad}\n"},
      {"Migration far out", "C,5,6,{pad}Migration{pad}\n"},
      {"opening line far out", "Migration\nxy{pad}Pop. ALL{pad}\n"},
      {"counted line holding Pop.", "Migration\nPop. ALL\n7 {pad}Pop.{pad}\n"},
      {"blank line of tabs and blanks", "Migration\nPop. ALL\n1\n2\nPop. 1\n3.5\n\t \t{blanks}\n"},
      {"line blank only at its start", "Migration\nPop. ALL\n1\n2\nPop. 1\n3.5\n\t \t{blanks}9\n"},
      {"data line", "Migration\nPop. ALL\n1\n2\nPop. 1\n2.5 {pad}\n"},
      {"header", "Migration\nPop. ALL\n1\n2\nPop. 1 {pad}\n3.5\n"},
      {"CR at the end", "B,3,4,{pad}\r\n"},
  };
  std::vector<std::string> texts;
  for (const auto& [role, line] : roles) {
    for (std::size_t length = 40; length < 60; ++length) {
      std::string pad;
      for (std::size_t i = 0; i < length; ++i) {
        pad += static_cast<char>('a' + i % 7);
      }
      std::string text = line;
      for (std::size_t at; (at = text.find("{pad}")) != std::string::npos;) {
        text.replace(at, 5, pad);
      }
      for (std::size_t at; (at = text.find("{blanks}")) != std::string::npos;) {
        text.replace(at, 8, std::string(length, ' '));
      }
      // The rest of a valid file around the long line, all lines short.
      if (text.find("Migration") == std::string::npos) {
        text = "Cell 3 km\nA,1,2.KCH\n" + text + "Z,9,9\nMigration\n";
      } else if (text.find("A,1,2") == std::string::npos) {
        text = "Cell 3 km\nA,1,2.KCH\nB,3,4\n" + text;
      }
      if (text.find("Pop. ALL") == std::string::npos) {
        text += "Pop. ALL\n";
      }
      if (text.find("\nPop. 1") == std::string::npos) {
        text += "1\n2\nPop. 1\n3.5\n";
      }
      texts.push_back(text + "4.5\nPop. 2\n5.5\n6.5\nPop. 3\n1\n2\n");
    }
  }
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const TTempFile file(texts[i]);
    const std::string usual = Outcome(file.Path(), 1);
    for (const std::size_t block : {2U, 7U}) {
      for (const std::size_t longLine : {1U, 9U}) {
        for (const unsigned threads : {1U, 3U}) {
          EXPECT_EQ(Outcome(file.Path(), threads, nullptr, 1990, {block, longLine}), usual)
              << roles[i / 20].first << ", text:\n"
              << texts[i] << "\nblock " << block << ", long line " << longLine << ", " << threads
              << " threads";
        }
      }
    }
  }
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM), or -1.
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::atol(line.c_str() + field.size() + 1);
    }
  }
  return -1;
}

// ThreadSanitizer's shadow memory grows with all memory touched, so the memory bounds below do not
// hold under it.
#if defined(__SANITIZE_THREAD__)
#define VARROWIN_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VARROWIN_TEST_TSAN 1
#endif
#endif

// Starts a new peak of the resident memory at the present size (false when the system does not
// allow it).
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return clear.good() && StatusKiB("VmHWM") - StatusKiB("VmRSS") < 1024;
}

// How much the peak resident memory grows while run runs, in KiB; none (and run is not called)
// when the peak cannot be reset here.
std::optional<long> PeakGrowthKiB(const std::function<void()>& run) {
  if (!ResetPeak()) {
    return std::nullopt;
  }
  const long before = StatusKiB("VmRSS");
  run();
  return StatusKiB("VmHWM") - before;
}

// Appends numbers to text, each after a comma, until it holds at least size bytes.
void AppendNumbersUpTo(std::string& text, std::size_t size) {
  text.reserve(size + 16);
  while (text.size() < size) {
    text += ",0.5,1.25,3";
  }
}

// The reader keeps a bounded part of a long line: a patch line of 30 MB loads in a few MiB.
TEST(LongLines, AWidePatchLineIsNotKeptWhole) {
  std::string text = "Cell length 2.5 km\nA,1,2,A.KCH";
  AppendNumbersUpTo(text, 30U << 20);
  text += "\nB,3,4\nMigration\nPop. ALL\n1\n2\nPop. 1\n5\n6\nPop. 2\n6\n7\n";
  const TTempFile file(text);
  text = std::string();
  EXPECT_EQ(Outcome(file.Path(), 1),
            "0x1.4p+1\nA 0x1p+0 0x1p+1 1990=0x1.4p+2 1991=0x1.8p+2\n"
            "B 0x1.8p+1 0x1p+2 1990=0x1.8p+2 1991=0x1.cp+2\n");
  const std::optional<long> growth =
      PeakGrowthKiB([&file] { static_cast<void>(Outcome(file.Path(), 1)); });
  if (!growth) {
    GTEST_SKIP() << "the peak resident memory cannot be reset here";
  }
  // Kept whole, the line alone would take 30 MiB; sanitizers add to the rest.
  EXPECT_LT(*growth, 16 * 1024) << "KiB more at the peak, for a 30 MB line";
}

// A patch line whose fields end only megabytes in, with far more after them: the reader looks
// again for the end of the fields as the line grows, and once they have ended the rest of the line
// is not kept.
TEST(LongLines, FieldsEndingFarInLetTheRestGo) {
  std::string text = "Cell length 2.5 km\nA,1,2,A.KCH\nB," + std::string(3U << 20, '3') + ",4";
  AppendNumbersUpTo(text, 30U << 20);
  text += "\nMigration\nPop. ALL\n1\n2\nPop. 1\n5\n6\nPop. 2\n6\n7\n";
  const TTempFile file(text);
  text = std::string();
  const std::string whole = Outcome(file.Path(), 1, nullptr, 1990, {1U << 20, 64U << 20});
  ASSERT_EQ(whole.rfind("error", 0), std::string::npos) << whole.substr(0, 200);
  const std::optional<long> growth =
      PeakGrowthKiB([&file, &whole] { EXPECT_EQ(Outcome(file.Path(), 1), whole); });
  if (!growth) {
    GTEST_SKIP() << "the peak resident memory cannot be reset here";
  }
#ifdef VARROWIN_TEST_TSAN
  GTEST_SKIP() << "ThreadSanitizer's shadow memory grows with all memory touched: " << *growth
               << " KiB more at the peak";
#endif
  // Kept whole, the line alone would take 30 MiB; its head takes 3 to 8.
  EXPECT_LT(*growth, 20 * 1024) << "KiB more at the peak, for a 30 MB line with a 3 MB field";
}

// Wide patch lines one after another, read in bulk by two threads: the reader's buffer does not
// grow with each of them.
TEST(LongLines, WidePatchLinesInARowAreNotKeptWhole) {
  std::string text = "Cell length 2.5 km\nA0,1,2,A.KCH\n";
  const std::string digits(8U << 20, '7');
  for (int i = 1; i <= 10; ++i) {
    text += "P" + std::to_string(i) + "," + std::to_string(i) + ",1," + digits + "\n";
  }
  text += "Migration\nPop. ALL\n1\n";
  for (int i = 1; i <= 11; ++i) {
    text += "Pop. " + std::to_string(i) + "\n5\n";
  }
  const TTempFile file(text);
  text = std::string();
  const std::string single = Outcome(file.Path(), 1);
  ASSERT_EQ(single.rfind("error", 0), std::string::npos) << single;
  const std::optional<long> growth =
      PeakGrowthKiB([&file, &single] { EXPECT_EQ(Outcome(file.Path(), 2), single); });
  if (!growth) {
    GTEST_SKIP() << "the peak resident memory cannot be reset here";
  }
#ifdef VARROWIN_TEST_TSAN
  GTEST_SKIP() << "ThreadSanitizer's shadow memory grows with all memory touched: " << *growth
               << " KiB more at the peak";
#endif
  // A buffer that grows with the lines takes about 16 MiB more; AddressSanitizer adds about
  // 6 MiB to the rest.
  EXPECT_LT(*growth, 11 * 1024) << "KiB more at the peak, for ten 8 MB lines";
}

}  // namespace
}  // namespace varrowin

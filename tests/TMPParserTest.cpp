#include <varrowin/TMPParser.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace varrowin {
namespace {

using namespace std::string_literals;
using TMPParser::LoadMP;
using TMPParser::ParsePatchLine;
using TMPParser::Tokenize;

// The minimal file: two patches A and B, resolution 2.5, two time steps.
const std::string kMinimal =
    "Example run\n"
    "Cell length 2.5 km\n"
    "A,10,20,A.KCH\n"
    "B,30,40\n"
    "Migration\n"
    "Some other line\n"
    "Pop. ALL\n"
    "150\n"
    "160\n"
    "Pop. 1\n"
    "100\n"
    "110\n"
    "Pop. 2\n"
    "50\n"
    "55\n";

TPatches Load(const std::string& text, TYear startYear = 1990) {
  std::istringstream in(text);
  return LoadMP(in, startYear);
}

// The error message that loading the text raises, or "" when it loads.
std::string LoadError(const std::string& text, TYear startYear = 1990) {
  try {
    Load(text, startYear);
  } catch (const TError& error) {
    return error.Message();
  }
  return "";
}

using TYearValues = std::vector<std::pair<TYear, double>>;

// The years and values of a patch, for whole-patch comparisons.
TYearValues Years(const TPatch& patch) {
  TYearValues years;
  patch.ForEachYear([&years](TYear year, double value) { years.emplace_back(year, value); });
  return years;
}

// ---------------------------------------------------------------------------------------------
// Tokenize and ParsePatchLine

struct TTokenizeCase {
  std::string line;
  std::string delimiters;
  std::vector<std::string> words;
};

class TokenizeTest : public ::testing::TestWithParam<TTokenizeCase> {};

TEST_P(TokenizeTest, AppendsWordsAfterEarlierContents) {
  const TTokenizeCase& c = GetParam();
  std::vector<std::string> tokens{"earlier"};
  Tokenize(c.line, tokens, c.delimiters);
  std::vector<std::string> expected{"earlier"};
  expected.insert(expected.end(), c.words.begin(), c.words.end());
  EXPECT_EQ(tokens, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenizeTest,
    ::testing::Values(TTokenizeCase{"a,,b,", ",", {"a", "b"}}, TTokenizeCase{",,,", ",", {}},
                      TTokenizeCase{"", ",", {}}, TTokenizeCase{"Pop. 12", ". ", {"Pop", "12"}},
                      TTokenizeCase{" 2.5 km", "km", {" 2.5 "}},
                      TTokenizeCase{"Parkmore,1,2", "km", {"Par", "ore,1,2"}},
                      TTokenizeCase{"no delimiter", ",", {"no delimiter"}},
                      TTokenizeCase{",x", ",", {"x"}}, TTokenizeCase{"a\tb c", " ", {"a\tb", "c"}},
                      TTokenizeCase{std::string("a\0b,c", 5), ",", {std::string("a\0b", 3), "c"}},
                      TTokenizeCase{"a b", "", {"a b"}},
                      TTokenizeCase{";a;b,,c d ", ";, ", {"a", "b", "c", "d"}}),
    [](const auto& info) {
      return test::CaseName(std::to_string(info.index) + " " + info.param.line);
    });

struct TPatchLineCase {
  std::string line;
  std::string name;
  double x;
  double y;
};

class PatchLineTest : public ::testing::TestWithParam<TPatchLineCase> {};

TEST_P(PatchLineTest, ReadsNameAndCoordinates) {
  const TPatchLineCase& c = GetParam();
  const std::optional<TPatch> patch = ParsePatchLine(c.line);
  ASSERT_TRUE(patch.has_value());
  EXPECT_EQ(patch->GetName(), c.name);
  EXPECT_EQ(patch->GetX(), c.x);
  EXPECT_EQ(patch->GetY(), c.y);
  EXPECT_EQ(patch->GetNumYears(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatchLineTest,
    ::testing::Values(TPatchLineCase{"P1,10.5,20.25,P1.KCH", "P1", 10.5, 20.25},
                      TPatchLineCase{" P2, 10.5,3", " P2", 10.5, 3},
                      TPatchLineCase{"A,,5,6", "A", 5, 6}, TPatchLineCase{"A,abc,7", "A", 0, 7},
                      TPatchLineCase{"A,1e3,-2.5e-1xyz", "A", 1000, -0.25},
                      TPatchLineCase{"A,\t4,0x10", "A", 4, 16}),
    [](const auto& info) {
      return test::CaseName(std::to_string(info.index) + " " + info.param.line);
    });

TEST(PatchLineTest, FewerThanThreeFieldsMakeNoPatch) {
  for (const std::string line : {"", "Population size", "A,1", ",,,", "A,,,1,,"}) {
    EXPECT_FALSE(ParsePatchLine(line).has_value()) << line;
  }
}

// A patch line's fields are the words Tokenize cuts at commas: random lines of commas, blanks,
// digits and letters make a patch exactly when they have three words, named by the first, with
// the coordinates that the same words give on a line of their own.
TEST(PatchLineTest, FieldsAreTheCommaSeparatedWords) {
  std::mt19937 rng(11);
  const std::string alphabet = ",,, \t1.5-aP";
  std::uniform_int_distribution<std::size_t> length(0, 14);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::vector<std::string> words;
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    for (std::size_t i = length(rng); i > 0; --i) {
      line += alphabet[pick(rng)];
    }
    words.clear();
    TMPParser::Tokenize(line, words, ",");
    const std::optional<TPatch> patch = ParsePatchLine(line);
    ASSERT_EQ(patch.has_value(), words.size() >= 3) << "[" << line << "]";
    if (patch) {
      EXPECT_EQ(patch->GetName(), words[0]) << "[" << line << "]";
      const std::optional<TPatch> plain = ParsePatchLine("n," + words[1] + "," + words[2]);
      ASSERT_TRUE(plain.has_value());
      EXPECT_TRUE(test::SameBits(patch->GetX(), plain->GetX())) << "[" << line << "]";
      EXPECT_TRUE(test::SameBits(patch->GetY(), plain->GetY())) << "[" << line << "]";
    }
  }
}

// ---------------------------------------------------------------------------------------------
// LoadMP: whole files

TEST(LoadMPTest, MinimalFileInStreamAndFileNameForm) {
  const test::TTempFile file(kMinimal);
  for (const TPatches& patches : {Load(kMinimal, 1990), LoadMP(file.Path(), 1990)}) {
    EXPECT_EQ(patches.GetNumPatches(), 2);
    EXPECT_EQ(patches.GetResolution(), 2.5);
    const TPatch& a = patches.GetPatch("A");
    EXPECT_EQ(a.GetX(), 10);
    EXPECT_EQ(a.GetY(), 20);
    EXPECT_EQ(Years(a), (TYearValues{{1990, 100}, {1991, 110}}));
    EXPECT_EQ(Years(patches.GetPatch("B")), (TYearValues{{1990, 50}, {1991, 55}}));
  }
}

TEST(LoadMPTest, StartYearZeroAndNegative) {
  const std::string text = "A,1,2.KCH\nMigration\nPop. ALL\nx1\nx2\nx3\nPop. 1\n1.5\n2.5\n3.5\n";
  EXPECT_EQ(Years(Load(text, 0).GetPatch("A")), (TYearValues{{0, 1.5}, {1, 2.5}, {2, 3.5}}));
  EXPECT_EQ(Years(Load(text, -1).GetPatch("A")), (TYearValues{{-1, 1.5}, {0, 2.5}, {1, 3.5}}));
}

TEST(LoadMPTest, UnopenableFiles) {
  const test::TTempFile file(kMinimal);
  const std::string missing = file.Dir() + "/missing.mp";
  test::ExpectError([&] { LoadMP(missing, 1990); },
                    ("Cannot open file: " + missing + ": No such file or directory").c_str());
  test::ExpectError([&] { LoadMP(file.Dir(), 1990); },
                    ("Cannot open file: " + file.Dir() + ": Is a directory").c_str());
  if (geteuid() != 0) {  // root reads every file
    ASSERT_EQ(chmod(file.Path().c_str(), 0), 0);
    EXPECT_THROW(LoadMP(file.Path(), 1990), TError);
    chmod(file.Path().c_str(), 0600);
  }
}

TEST(LoadMPTest, FailedStreamGivesEmptyCollection) {
  std::istringstream in(kMinimal);
  in.setstate(std::ios::failbit);
  EXPECT_EQ(LoadMP(in, 1990).GetNumPatches(), 0);
}

TEST(LoadMPTest, FilesWithoutSections) {
  EXPECT_EQ(Load("").GetNumPatches(), 0);
  EXPECT_EQ(Load("just\nsome\nlines\nMigration\n").GetNumPatches(), 0);
  // Patches but no population section: patches without years.
  const TPatches patches = Load("A,1,2,A.KCH\nB,3,4\nMigration\n");
  EXPECT_EQ(patches.GetNumPatches(), 2);
  EXPECT_EQ(patches.GetPatch("B").GetNumYears(), 0U);
  EXPECT_EQ(patches.GetResolution(), 1.0);
}

// ---------------------------------------------------------------------------------------------
// The patch scan

// Every case loads the text (no population section) and lists the patch names with X.
struct TScanCase {
  const char* what;
  std::string text;
  std::vector<std::pair<std::string, double>> patches;
};

class PatchScanTest : public ::testing::TestWithParam<TScanCase> {};

TEST_P(PatchScanTest, FindsThePatchLines) {
  const TScanCase& c = GetParam();
  const TPatches patches = Load(c.text);
  std::vector<std::pair<std::string, double>> found;
  for (const auto& [name, patch] : patches) {
    found.emplace_back(name, patch.GetX());
  }
  EXPECT_EQ(found, c.patches) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatchScanTest,
    ::testing::Values(
        TScanCase{"markers by substring",
                  "x\nA,1,2,foo.DCHbar\nB,3,4\nMigration\n",
                  {{"A", 1}, {"B", 3}}},
        TScanCase{"Pop opens",
                  "x\nPopulation size,7,8\nB,3,4\nMigration\n",
                  {{"B", 3}, {"Population size", 7}}},
        TScanCase{"markers are case-sensitive", "a,1,2.kch\npop,1,2\nMigration\n", {}},
        TScanCase{
            "lines before the section are skipped", "C,5,6\nA,1,2.KCH\nMigration\n", {{"A", 1}}},
        TScanCase{"Migration outside the section changes nothing",
                  "Migration here\nA,1,2.KCH\nMigration\n",
                  {{"A", 1}}},
        TScanCase{"marker with Migration goes straight to after Migration",
                  "A,1,2.KCH Migration\nB,3,4.KCH\n",
                  {}},
        TScanCase{"no section after Migration", "A,1,2.KCH\nMigration\nB,3,4.KCH\n", {{"A", 1}}},
        TScanCase{
            "short lines open the section", "Population size\nA,1,2\nMigration\n", {{"A", 1}}},
        TScanCase{"blank and short lines inside are skipped",
                  "A,1,2.KCH\n\nnothing\nB,3,4\nMigration\n",
                  {{"A", 1}, {"B", 3}}},
        TScanCase{
            "a last line without a line feed is not examined", "A,1,2.KCH\nB,3,4", {{"A", 1}}},
        TScanCase{"CRLF", "A,1,2.KCH\r\nB,3,4\r\nMigration\r\n", {{"A", 1}, {"B", 3}}},
        TScanCase{"the CR is no field", "A,1,2.KCH\r\nB,3,\r\nMigration\r\n", {{"A", 1}}},
        TScanCase{"a line holding the marker also is a patch line",
                  "Pop. ALL,9,9\nPop. 1\n",
                  {{"Pop. ALL", 9}}},
        TScanCase{"a resolution-like marker line is a patch line, the km line has one field",
                  "Parkmore,1,2.KCH\nCell 2.5 km\nMigration\n",
                  {{"Parkmore", 1}}},
        TScanCase{"a repeated name after Migration is no patch line",
                  "A,1,2.KCH\nB,3,4\nMigration\nA,5,6.KCH\n",
                  {{"A", 1}, {"B", 3}}},
        TScanCase{"a repeated short line makes no patch",
                  "A,1,2.KCH\nA,\nA,\nB,3,4\nMigration\n",
                  {{"A", 1}, {"B", 3}}}),
    [](const auto& info) { return test::CaseName(info.param.what); });

// Patch names with no comma keep their bytes, NUL included.
TEST(LoadMPTest, NulBytesStayInNames) {
  const std::string text = "A\0B,1,2.KCH\nMigration\n"s;
  const TPatches patches = Load(text);
  EXPECT_TRUE(patches.PatchExists(std::string("A\0B", 3)));
}

// ---------------------------------------------------------------------------------------------
// The resolution line

struct TResolutionCase {
  std::string text;
  double resolution;
};

class ResolutionTest : public ::testing::TestWithParam<TResolutionCase> {};

TEST_P(ResolutionTest, ReadsTheFirstKmLine) {
  EXPECT_EQ(Load(GetParam().text).GetResolution(), GetParam().resolution) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolutionTest,
    ::testing::Values(TResolutionCase{"Cell length 2.5 km\n", 2.5}, TResolutionCase{"x\n", 1.0},
                      TResolutionCase{"  7.25km\n", 7.25},
                      TResolutionCase{"a 0.5 b km 9 km\n", 0.0},    // last word "b"
                      TResolutionCase{"Cell length\t3 km\n", 0.0},  // "length\t3" is one word
                      TResolutionCase{"length x km\nother 4 km\n", 0.0},
                      TResolutionCase{"k m  km\nother 4 km\n", 0.0},  // no word: 0, found
                      TResolutionCase{"Cell length 2.5 km", 1.0},     // last line unexamined
                      // Parkmore before the resolution line: the word "Par" gives 0.
                      TResolutionCase{"Parkmore,1,2.KCH\nCell 2.5 km\nMigration\n", 0.0},
                      // A resolution line after the population section is never read.
                      TResolutionCase{"Pop. ALL\n1\nPop. 1\nCell 2.5 km\n", 1.0}),
    [](const auto& info) {
      return test::CaseName(std::to_string(info.index) + " " + info.param.text);
    });

// ---------------------------------------------------------------------------------------------
// The population section

// Data files with two patches A (line 1) and B (line 2) and the given population section.
std::string TwoPatches(const std::string& population) {
  return "A,1,2.KCH\nB,3,4\nMigration\n" + population;
}

struct TPopulationCase {
  const char* what;
  std::string population;
  TYearValues a;
  TYearValues b;
  std::string patchLines = "A,1,2.KCH\nB,3,4\nMigration\n";
};

class PopulationTest : public ::testing::TestWithParam<TPopulationCase> {};

TEST_P(PopulationTest, ReadsTheBlocks) {
  const TPopulationCase& c = GetParam();
  const TPatches patches = Load(c.patchLines + c.population);
  EXPECT_EQ(Years(patches.GetPatch("A")), c.a) << c.what;
  EXPECT_EQ(Years(patches.GetPatch("B")), c.b) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PopulationTest,
    ::testing::Values(
        TPopulationCase{"first word only",
                        "Pop. ALL\n1\nPop. 1\n100 7 3\nPop. 2\n  5.5  6\n",
                        {{1990, 100}},
                        {{1990, 5.5}}},
        TPopulationCase{"tab is not a blank",
                        "Pop. ALL\n1\nPop. 1\n\t 5\nPop. 2\n\t5 1\n",
                        {{1990, 0}},
                        {{1990, 5}}},
        TPopulationCase{"one-character lines are data",
                        "Pop. ALL\n1\n2\nPop. 1\n5\n6\nPop. 2\n7\n8\n",
                        {{1990, 5}, {1991, 6}},
                        {{1990, 7}, {1991, 8}}},
        TPopulationCase{
            "blank lines are skipped everywhere",
            "Pop. ALL\n\n1\n \t\r\n2\n\nPop. 1\n\n5\n \n6\n\n\n\f\v\nPop. 2\n7\n\n8\n\n",
            {{1990, 5}, {1991, 6}},
            {{1990, 7}, {1991, 8}}},
        TPopulationCase{"CRLF",
                        "Pop. ALL\r\n1\r\n2\r\nPop. 1\r\n5\r\n6\r\nPop. 2\r\n7\r\n8\r\n",
                        {{1990, 5}, {1991, 6}},
                        {{1990, 7}, {1991, 8}}},
        TPopulationCase{"only one CR is removed",
                        "Pop. ALL\n1\nPop. 1\n5\r\r\nPop. 2\n7\n",
                        {{1990, 5}},
                        {{1990, 7}}},
        TPopulationCase{"Pop.3 form and header words",
                        "Pop. ALL\n1\nPop.2 x\n5\nx.1\n6\n",
                        {{1990, 6}},
                        {{1990, 5}}},
        TPopulationCase{"header numbers as atol reads them",
                        "Pop. ALL\n1\nPop.\t+2x\n5\nPop. 00000000000000000001 ALL\n6\n",
                        {{1990, 6}},
                        {{1990, 5}}},
        TPopulationCase{"a short block takes the next header as data",
                        "Pop. ALL\n1\n2\nPop. 1\n5\nPop. 2\nPop. 2\n9\n10\n",
                        {{1990, 5}, {1991, 0}},
                        {{1990, 9}, {1991, 10}}},
        TPopulationCase{"zero time steps", "Pop. ALL\nPop. 1\nPop. 2\n", {}, {}},
        TPopulationCase{"junk and special values",
                        "Pop. ALL\n1\n2\n3\nPop. 1\nabc\n-0\n1e400\nPop. 2\n0x1p4\n-2.5e-1\n.\n",
                        {{1990, 0}, {1991, -0.0}, {1992, HUGE_VAL}},
                        {{1990, 16}, {1991, -0.25}, {1992, 0}}},
        TPopulationCase{"rest of the file not read",
                        "Pop. ALL\n1\nPop. 1\n1.5\nPop. 2\n2.5\nPop. 1\nnot enough\n",
                        {{1990, 1.5}},
                        {{1990, 2.5}}},
        TPopulationCase{"last line without a line feed is a data line",
                        "Pop. ALL\n1\nPop. 1\n1.5\nPop. 2\n2.5",
                        {{1990, 1.5}},
                        {{1990, 2.5}}},
        TPopulationCase{"short patch lines take no number",
                        "Pop. ALL\n1\nPop. 2\n22\nPop.1\n11\n",
                        {{1990, 11}},
                        {{1990, 22}},
                        "Population\nA,1,2\nno fields\nB,3,4\nMigration\n"},
        TPopulationCase{"the same block twice keeps the later values",
                        "Pop. ALL\n1\n1\nPop. 1\n5\n6\nPop. 1\n7\n8\n",
                        {{1990, 7}, {1991, 8}},
                        {}},
        TPopulationCase{"NUL bytes end a number",
                        "Pop. ALL\n1\nPop. 1\n4\0"
                        "5\nPop. 2\n\0\n"s,
                        {{1990, 4}},
                        {{1990, 0}}}),
    [](const auto& info) { return test::CaseName(info.param.what); });

// Every data word must give exactly what atof gives for it, whatever way the reader takes.
TEST(PopulationTest, DataWordsConvertAsAtof) {
  std::uint64_t state = 99;
  auto below = [&state](std::uint64_t n) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (state >> 33) % n;
  };
  const std::string pieces[] = {"-", "0", "1", "9", "5", ".", "e", "-", "+", "x", "\t", "7"};
  std::vector<std::string> words;
  for (int i = 0; i < 20000; ++i) {
    std::string word;
    const std::uint64_t length = 1 + below(i % 2 == 0 ? 22 : 8);
    for (std::uint64_t k = 0; k < length; ++k) {
      // Mostly digits, so that long digit runs around the 15-digit limit are common.
      word += below(3) == 0 ? pieces[below(std::size(pieces))] : std::to_string(below(10));
    }
    words.push_back(word);
  }
  // One patch and T = the number of words; a word of tabs only would make a blank line.
  std::string text = "A,1,2.KCH\nMigration\nPop. ALL\n";
  for (std::string& word : words) {
    if (word.find_first_not_of('\t') == std::string::npos) {
      word += '0';
    }
    text += "1\n";
  }
  text += "Pop. 1\n";
  for (const std::string& word : words) {
    text += (below(4) == 0 ? "  " : "") + word + (below(2) == 0 ? " 7 8\n" : "\n");
  }
  const TPatches patches = Load(text, 0);
  const TPatch& a = patches.GetPatch("A");
  ASSERT_EQ(a.GetNumYears(), words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    const double expected = std::atof(words[i].c_str());
    ASSERT_EQ(std::bit_cast<std::uint64_t>(a.GetYear(static_cast<TYear>(i))),
              std::bit_cast<std::uint64_t>(expected))
        << '"' << words[i] << '"';
  }
}

TEST(PopulationTest, NoPatchesEndsTheSection) {
  EXPECT_EQ(Load("Migration\nPop. ALL\n1\n2\n").GetNumPatches(), 0);
  EXPECT_EQ(Load("Migration\nPop. ALL\n1\nPop. 1\n5\n").GetNumPatches(), 0);
}

// Files that end the load with an error, and one near miss that must load (empty message).
struct TErrorCase {
  const char* what;
  std::string text;
  std::string message;
};

class LoadErrorTest : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(LoadErrorTest, EndsWithTheMessageOrNone) {
  EXPECT_EQ(LoadError(GetParam().text), GetParam().message) << GetParam().what;
}

const std::string kEof = "Unexpected end of file in population section";
const std::string kNoPatch = "Patch does not exist";

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadErrorTest,
    ::testing::Values(
        TErrorCase{"end during the count", TwoPatches("Pop. ALL\n1\n2\n"), kEof},
        TErrorCase{"end right after the opening line", TwoPatches("Pop. ALL\n"), kEof},
        TErrorCase{"end during data lines", TwoPatches("Pop. ALL\n1\n2\nPop. 1\n5\n"), kEof},
        TErrorCase{"end during data lines, blank lines only",
                   TwoPatches("Pop. ALL\n1\n2\nPop. 1\n5\n\n \n"), kEof},
        TErrorCase{"end where a later header should be", TwoPatches("Pop. ALL\n1\nPop. 1\n5\n"),
                   kEof},
        TErrorCase{"end where a later header should be, after blanks",
                   TwoPatches("Pop. ALL\n1\nPop. 1\n5\n\n\n"), kEof},
        TErrorCase{"end at the first read after the last block is fine",
                   TwoPatches("Pop. ALL\n1\nPop. 1\n5\nPop. 2\n6\n\n\n"), ""},
        TErrorCase{"header number 0", TwoPatches("Pop. ALL\n1\nPop. 0\n5\n"), kNoPatch},
        TErrorCase{"header number too large", TwoPatches("Pop. ALL\n1\nPop. 3\n5\n"), kNoPatch},
        TErrorCase{"header number negative", TwoPatches("Pop. ALL\n1\nPop. -1\n5\n"), kNoPatch},
        TErrorCase{"header number wraps 32 bits", TwoPatches("Pop. ALL\n1\nPop. 4294967297\n5\n"),
                   kNoPatch},
        TErrorCase{"header without a number", TwoPatches("Pop. ALL\n1\nPop. x\n5\n"), kNoPatch},
        TErrorCase{"header of one word", TwoPatches("Pop. ALL\n1\nPop.\n5\n"), kNoPatch},
        TErrorCase{"a later header that is data", TwoPatches("Pop. ALL\n1\nPop. 1\n5\n6\n7\n"),
                   kNoPatch},
        TErrorCase{"a name on a second patch line",
                   "A,1,2.KCH\nB,3,4\nA,5,6\nMigration\nPop. ALL\n1\nPop. 1\n5\nPop. 2\n6\n",
                   "Duplicate patch name: A"},
        TErrorCase{"the duplicate comes before a bad header",
                   "A,1,2.KCH\nA,3,4\nMigration\nPop. ALL\n1\nPop. 9\n5\n",
                   "Duplicate patch name: A"},
        TErrorCase{"the name byte for byte", " B x,1,2.KCH\n B x,3,4\nMigration\n",
                   "Duplicate patch name:  B x"},
        TErrorCase{"a name with a NUL byte", std::string("A\0x,1,2.KCH\nA\0y,1,2\nA\0x,3,4\n", 28),
                   std::string("Duplicate patch name: A\0x", 25)},
        TErrorCase{"the first repeating line in file order, A",
                   "B,1,2.KCH\nA,3,4\nA,5,6\nB,7,8\nMigration\n", "Duplicate patch name: A"},
        TErrorCase{"the first repeating line in file order, B",
                   "A,1,2.KCH\nB,3,4\nB,5,6\nA,7,8\nMigration\n", "Duplicate patch name: B"},
        TErrorCase{"a name three times", "C,1,2.KCH\nD,1,1\nC,3,4\nD,2,2\nC,5,6\n",
                   "Duplicate patch name: C"}),
    [](const auto& info) { return test::CaseName(info.param.what); });

TEST(LoadErrorTest, YearOutOfRangeWhenTheYearIsSet) {
  const std::string text = TwoPatches("Pop. ALL\n1\n2\nPop. 1\n5\n6\nPop. 2\n7\n8\n");
  constexpr TYear kMax = std::numeric_limits<TYear>::max();
  EXPECT_EQ(LoadError(text, kMax), "Year out of range");
  EXPECT_EQ(LoadError(text, kMax - 1), "");
  // The end of the file comes before the year that does not fit.
  EXPECT_EQ(LoadError(TwoPatches("Pop. ALL\n1\n2\nPop. 1\n5\n"), kMax), kEof);
  const TPatches patches = Load(text, kMax - 1);
  EXPECT_EQ(patches.GetPatch("B").GetMaxYear(), kMax);
}

// ---------------------------------------------------------------------------------------------
// Robustness

TEST(RobustnessTest, MultiMegabyteLines) {
  const std::string longLine(24U << 20, 'x');
  // A long line before the patches, as a patch name, and as a data line.
  std::string text = longLine + "km\nCell 2.5 km\n" + longLine + ",1,2.KCH\nB,3,4\nMigration\n";
  text += "Pop. ALL\n1\n2\nPop. 1\n" + std::string(2U << 20, '7') + " " + longLine + "\n3.5\n";
  text += "Pop. 2\n" + std::string(3U << 20, ' ') + "4.5\n5.5\n";
  const TPatches patches = Load(text);
  EXPECT_EQ(patches.GetResolution(), 0.0);
  ASSERT_EQ(patches.GetNumPatches(), 2);
  const TPatch& a = patches.GetPatch(longLine);
  ASSERT_EQ(a.GetNumYears(), 2U);
  EXPECT_EQ(a.GetYear(1990), HUGE_VAL);
  EXPECT_EQ(a.GetYear(1991), 3.5);
  EXPECT_EQ(Years(patches.GetPatch("B")), (TYearValues{{1990, 4.5}, {1991, 5.5}}));
}

TEST(RobustnessTest, LinesAcrossBlockBoundaries) {
  // Enough patches and steps that lines straddle every 1 MiB boundary of the reader.
  constexpr int kPatches = 300;
  constexpr int kSteps = 400;
  std::string text = "Cell 0.5 km\n";
  for (int p = 1; p <= kPatches; ++p) {
    text += 'P';
    text += std::to_string(p);
    text += ',';
    text += std::to_string(p);
    text += p == 1 ? ",0.KCH\r\n" : ",0\r\n";
  }
  text += "Migration\nPop. ALL\n";
  for (int s = 0; s < kSteps; ++s) {
    text += "1 2 3\n";
  }
  for (int p = 1; p <= kPatches; ++p) {
    text += "Pop. " + std::to_string(p) + "\n";
    for (int s = 0; s < kSteps; ++s) {
      text += std::to_string(p * 1000 + s) + " 4 5 6\r\n";
    }
  }
  const TPatches patches = Load(text, 0);
  ASSERT_EQ(patches.GetNumPatches(), kPatches);
  for (int p = 1; p <= kPatches; ++p) {
    const TPatch& patch = patches.GetPatch("P" + std::to_string(p));
    ASSERT_EQ(patch.GetNumYears(), static_cast<std::size_t>(kSteps));
    for (int s = 0; s < kSteps; ++s) {
      ASSERT_EQ(patch.GetYear(s), p * 1000 + s) << p << " " << s;
    }
  }
}

TEST(RobustnessTest, ArbitraryBytesNeverCrash) {
  // Deterministic pseudo-random files built from the reader's own vocabulary and raw bytes.
  std::vector<std::string> pieces{
      "Pop. ALL", "Pop.", "Pop. 1", "Pop. 2", ".KCH",  "Migration", "km", ",", "1.5",  " ",
      "\n",       "\r\n", "\t",     "\r",     "A,1,2", "B,3,4",     "9",  "-", "\xff", "\n\n"};
  pieces.emplace_back(1, '\0');
  std::uint64_t state = 12345;
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>(state >> 33);
  };
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const std::size_t length = next() % 60;
    for (std::size_t i = 0; i < length; ++i) {
      text += next() % 8 == 0 ? std::string(1, static_cast<char>(next() % 256))
                              : pieces[next() % pieces.size()];
    }
    try {
      const TPatches patches = Load(text, static_cast<TYear>(next() % 3000) - 1000);
      ++loaded;
      for (const auto& [name, patch] : patches) {
        EXPECT_FALSE(name.empty());
        EXPECT_LE(patch.GetNumYears(), text.size());
      }
    } catch (const TError& error) {
      const std::string message = error.what();
      EXPECT_TRUE(message == kEof || message == kNoPatch ||
                  message.rfind("Duplicate patch name: ", 0) == 0)
          << message;
    }
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace varrowin

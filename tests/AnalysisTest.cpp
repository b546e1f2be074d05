// The analysis as one library call: the option checks and their messages, the result against the
// program's stored reports, the centroid positions against the shifts, and the errors of a run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/TCentroidTools.h>

#include "TestSupport.h"

namespace varrowin::test {
namespace {

namespace tools = TCentroidTools;

// Cuts text at every delimiter character, keeping empty fields.
std::vector<std::string> Split(const std::string& text, char delimiter) {
  std::vector<std::string> fields;
  std::istringstream in(text);
  for (std::string field; std::getline(in, field, delimiter);) {
    fields.push_back(field);
  }
  if (!text.empty() && text.back() == delimiter) {
    fields.emplace_back();
  }
  return fields;
}

// A number as the report prints it.
template <class T>
std::string Printed(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

TAnalysisOptions ValidOptions() {
  TAnalysisOptions o;
  o.startYear = 2000;
  o.axis = 'Y';
  o.threshold = 0.1;
  return o;
}

struct TOptionCase {
  const char* name;
  std::function<void(TAnalysisOptions&)> change;
  const char* message;  // nullptr: the options pass
};

void PrintTo(const TOptionCase& c, std::ostream* os) {
  *os << c.name;
}

class CheckOptionsTest : public ::testing::TestWithParam<TOptionCase> {};

TEST_P(CheckOptionsTest, MessageOrPass) {
  TAnalysisOptions o = ValidOptions();
  GetParam().change(o);
  if (GetParam().message == nullptr) {
    EXPECT_NO_THROW(CheckOptions(o));
  } else {
    ExpectError([&] { CheckOptions(o); }, GetParam().message);
  }
}

constexpr const char* kAxis = "XorY must be X or Y";
constexpr const char* kThreshold = "Threshold must be a number greater than 0 and less than 1";
constexpr const char* kBurnIn = "Burn-in must not be negative";
constexpr const char* kWindow = "Window size must be at least 1";

INSTANTIATE_TEST_SUITE_P(
    Checks, CheckOptionsTest,
    ::testing::Values(
        TOptionCase{"Valid", [](TAnalysisOptions&) {}, nullptr},
        TOptionCase{"AxisZ", [](TAnalysisOptions& o) { o.axis = 'Z'; }, kAxis},
        TOptionCase{"AxisNul", [](TAnalysisOptions& o) { o.axis = '\0'; }, kAxis},
        TOptionCase{"ThresholdZero", [](TAnalysisOptions& o) { o.threshold = 0.0; }, kThreshold},
        TOptionCase{"ThresholdOne", [](TAnalysisOptions& o) { o.threshold = 1.0; }, kThreshold},
        TOptionCase{"ThresholdNegative", [](TAnalysisOptions& o) { o.threshold = -0.5; },
                    kThreshold},
        TOptionCase{"ThresholdNan", [](TAnalysisOptions& o) { o.threshold = std::nan(""); },
                    kThreshold},
        TOptionCase{"ThresholdInf", [](TAnalysisOptions& o) { o.threshold = INFINITY; },
                    kThreshold},
        TOptionCase{"ThresholdJustAboveZero",
                    [](TAnalysisOptions& o) { o.threshold = 4.9406564584124654e-324; }, nullptr},
        TOptionCase{"ThresholdJustBelowOne",
                    [](TAnalysisOptions& o) { o.threshold = 0.99999999999999989; }, nullptr},
        TOptionCase{"BurnInNegative", [](TAnalysisOptions& o) { o.burnIn = -1; }, kBurnIn},
        TOptionCase{"WindowZeroWithSmoothing",
                    [](TAnalysisOptions& o) {
                      o.smoothing = TSmoothing::kMedian;
                      o.window = 0;
                    },
                    kWindow},
        TOptionCase{"WindowNegativeWithSmoothing",
                    [](TAnalysisOptions& o) {
                      o.smoothing = TSmoothing::kExponential;
                      o.window = -3;
                    },
                    kWindow},
        // Without smoothing the window is not looked at.
        TOptionCase{"WindowZeroWithoutSmoothing", [](TAnalysisOptions& o) { o.window = 0; },
                    nullptr},
        // A negative patch size threshold keeps every patch, as 0 does.
        TOptionCase{"PatchSizeNegative", [](TAnalysisOptions& o) { o.patchSizeThreshold = -5; },
                    nullptr},
        // The checks run in argument order: the first failing one is reported.
        TOptionCase{"AxisBeforeThreshold",
                    [](TAnalysisOptions& o) {
                      o.axis = 'q';
                      o.threshold = 2.0;
                    },
                    kAxis},
        TOptionCase{"ThresholdBeforeBurnIn",
                    [](TAnalysisOptions& o) {
                      o.threshold = 2.0;
                      o.burnIn = -1;
                    },
                    kThreshold},
        TOptionCase{"BurnInBeforeWindow",
                    [](TAnalysisOptions& o) {
                      o.burnIn = -1;
                      o.smoothing = TSmoothing::kMovingAverage;
                    },
                    kBurnIn}));

TEST(CheckOptions, AxisReadsEitherCase) {
  for (const auto& [given, expected] :
       std::map<char, char>{{'X', 'X'}, {'x', 'X'}, {'Y', 'Y'}, {'y', 'Y'}}) {
    TAnalysisOptions o = ValidOptions();
    o.axis = given;
    EXPECT_EQ(CheckOptions(o).axis, expected) << given;
  }
}

// One case of tests/data/cases.tsv, with its options read as the program reads its arguments.
struct TStoredCase {
  std::string name;
  std::string file;
  TAnalysisOptions options;
};

std::vector<TStoredCase> StoredCases() {
  const std::vector<std::string> lines = Split(ReadFile(SourcePath("tests/data/cases.tsv")), '\n');
  std::vector<TStoredCase> cases;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      continue;
    }
    const std::vector<std::string> f = Split(lines[i], '\t');
    EXPECT_EQ(f.size(), 9u) << lines[i];
    if (f.size() != 9u) {
      continue;
    }
    TStoredCase c;
    c.name = f[0];
    c.file = f[1];
    TAnalysisOptions& o = c.options;
    o.startYear = std::stoi(f[2]);
    o.axis = f[3].at(0);
    o.threshold = std::stod(f[4]);
    o.burnIn = std::stoi(f[5]);
    o.patchSizeThreshold = std::stoi(f[6]);
    const std::map<std::string, TSmoothing> kinds{{"none", TSmoothing::kNone},
                                                  {"sma", TSmoothing::kMovingAverage},
                                                  {"exp", TSmoothing::kExponential},
                                                  {"smm", TSmoothing::kMedian}};
    o.smoothing = kinds.at(f[7]);
    o.window = std::stoi(f[8]);
    cases.push_back(c);
  }
  return cases;
}

TEST(AnalyseMP, EqualsTheStoredReports) {
  const std::vector<TStoredCase> cases = StoredCases();
  ASSERT_GE(cases.size(), 8u);
  for (const TStoredCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TAnalysisResult r = AnalyseMP(SourcePath(c.file), c.options);
    std::map<std::string, std::string> header;
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line :
         Split(ReadFile(SourcePath("tests/data/expected/" + c.name + ".txt")), '\n')) {
      const std::vector<std::string> f = Split(line, ';');
      if (f.size() == 2) {
        header[f[0]] = f[1];
      } else if (f.size() == 7 && f[1] != "Year") {
        rows.push_back(f);
      }
    }
    EXPECT_EQ(header.at("Num patches loaded"), Printed(r.numPatchesLoaded));
    EXPECT_EQ(header.count("Num patches after cleaning") != 0, r.numPatchesAfterCleaning >= 0);
    if (r.numPatchesAfterCleaning >= 0) {
      EXPECT_EQ(header.at("Num patches after cleaning"), Printed(r.numPatchesAfterCleaning));
    }
    EXPECT_EQ(header.at("Resolution(km)"), Printed(r.resolution));
    EXPECT_EQ(header.at("Total years"), Printed(r.years.size()));
    ASSERT_EQ(rows.size(), r.years.size());
    ASSERT_EQ(r.northShifts.size(), r.years.size());
    ASSERT_EQ(r.southShifts.size(), r.years.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const std::vector<std::string> printed = {"",
                                                Printed(r.years[k]),
                                                Printed(r.northShifts[k].X()),
                                                Printed(r.northShifts[k].Y()),
                                                Printed(r.years[k]),
                                                Printed(r.southShifts[k].X()),
                                                Printed(r.southShifts[k].Y())};
      EXPECT_EQ(rows[k], printed) << "row " << k;
    }
  }
}

// The percentage change of the size of an offset, computed as the shift measure computes it.
double Shift(double offset, double baseline) {
  return std::abs(std::abs(offset) - baseline) / baseline * 100.0;
}

// The same double bit for bit, except that any not-a-number matches any other: the sign of 0 / 0
// depends on how the compiler arranges the absolute values around it.
bool SameShift(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || SameBits(a, b);
}

// The shifts follow from the centroid positions: the offset of a margin from the whole range's
// centroid in the last burn-in year (the first year without burn-in), against its size in the
// first year after the burn-in.
TEST(AnalyseMP, CentroidPositionsGiveTheShifts) {
  for (const TStoredCase& c : StoredCases()) {
    SCOPED_TRACE(c.name);
    const TAnalysisResult r = AnalyseMP(SourcePath(c.file), c.options);
    const std::size_t n = r.centroidYears.size();
    ASSERT_EQ(r.allCentroids.size(), n);
    ASSERT_EQ(r.northCentroids.size(), n);
    ASSERT_EQ(r.southCentroids.size(), n);
    const auto b = static_cast<std::size_t>(c.options.burnIn);
    ASSERT_EQ(r.years.size(), n - b);
    const TPoint& reference = r.allCentroids[b > 0 ? b - 1 : 0];
    const auto check = [&](const std::vector<TPoint>& margin, const std::vector<TPoint>& shifts,
                           const char* side) {
      const TPoint first = reference.Diff(margin[b]);
      const double x0 = std::abs(first.X());
      const double y0 = std::abs(first.Y());
      for (std::size_t k = 0; k < r.years.size(); ++k) {
        EXPECT_EQ(r.years[k], r.centroidYears[b + k]);
        const TPoint offset = reference.Diff(margin[b + k]);
        EXPECT_TRUE(SameShift(shifts[k].X(), Shift(offset.X(), x0))) << side << " X, row " << k;
        EXPECT_TRUE(SameShift(shifts[k].Y(), Shift(offset.Y(), y0))) << side << " Y, row " << k;
      }
    };
    check(r.northCentroids, r.northShifts, "North");
    check(r.southCentroids, r.southShifts, "South");
  }
}

// The margins lie at their ends of the axis: North at or below the whole range, South at or
// above it, in every year (tests/data/four.mp, where every centroid is exact).
TEST(AnalyseMP, MarginsLieAtTheirEndsOfTheAxis) {
  for (const char axis : {'X', 'Y'}) {
    TAnalysisOptions o = ValidOptions();
    o.axis = axis;
    o.threshold = 0.25;
    const TAnalysisResult r = AnalyseMP(SourcePath("tests/data/four.mp"), o);
    ASSERT_EQ(r.centroidYears, (TYearList{2000, 2001, 2002, 2003}));
    for (std::size_t k = 0; k < r.centroidYears.size(); ++k) {
      const auto along = [axis](const TPoint& p) { return axis == 'X' ? p.X() : p.Y(); };
      EXPECT_LE(along(r.northCentroids[k]), along(r.allCentroids[k])) << axis << k;
      EXPECT_GE(along(r.southCentroids[k]), along(r.allCentroids[k])) << axis << k;
    }
  }
}

// The analysis smooths its series where they lie; the result must equal the series functions
// composed one after the other, bit for bit, for every smoothing, window and burn-in.
TEST(Analyse, EqualsTheComposedSeriesFunctions) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> population(0, 50);
  std::uniform_int_distribution<int> coordinate(0, 20);
  for (int round = 0; round < 12; ++round) {
    TPatches patches;
    const int numYears = 1 + round * 7;
    for (int i = 0; i < 1 + round % 5 * 3; ++i) {
      std::string name = "p";
      name += std::to_string(i);
      TPatch patch(name, coordinate(rng) * 0.5, coordinate(rng) * 0.25);
      for (int k = 0; k < numYears; ++k) {
        patch.SetYear(1990 + k, population(rng) * 1.5);
      }
      patches.AddPatch(std::move(patch));
    }
    for (const TSmoothing smoothing : {TSmoothing::kNone, TSmoothing::kMovingAverage,
                                       TSmoothing::kExponential, TSmoothing::kMedian}) {
      for (const std::int32_t window : {1, 2, 5, 30}) {
        TAnalysisOptions o = ValidOptions();
        o.threshold = 0.2;
        o.smoothing = smoothing;
        o.window = window;
        o.burnIn = round % 3;
        SCOPED_TRACE(::testing::Message() << "round " << round << ", smoothing "
                                          << static_cast<int>(smoothing) << ", window " << window);
        tools::TRangeSeries range = tools::GetRangeSeries(patches, o.threshold, o.axis);
        for (TCentroids* series : {&range.north, &range.south, &range.all}) {
          const double factor = 2.0 / (window + 1.0);
          if (smoothing == TSmoothing::kMovingAverage) {
            *series = tools::MovingAverage(*series, window);
          } else if (smoothing == TSmoothing::kExponential) {
            *series = tools::ExponentialSmoothing(*series, factor);
          } else if (smoothing == TSmoothing::kMedian) {
            *series = tools::MedianSmoothing(*series, window);
          }
        }
        if (range.north.GetNumYears() <= static_cast<std::size_t>(o.burnIn)) {
          EXPECT_THROW(Analyse(patches, o), TError);
          continue;
        }
        const TAnalysisResult r = Analyse(patches, o);
        const TCentroids north =
            tools::GetPropInitialRangeCoordShifts(range.all, range.north, o.burnIn);
        ASSERT_EQ(r.centroidYears, range.all.GetYearList());
        ASSERT_EQ(r.years, north.GetYearList());
        std::size_t k = 0;
        for (const auto& [year, point] : range.all) {
          EXPECT_TRUE(SameBits(r.allCentroids[k].X(), point.X())) << year;
          EXPECT_TRUE(SameBits(r.allCentroids[k].Y(), point.Y())) << year;
          EXPECT_TRUE(SameBits(r.northCentroids[k].X(), range.north.GetCoords(year).X())) << year;
          EXPECT_TRUE(SameBits(r.southCentroids[k].Y(), range.south.GetCoords(year).Y())) << year;
          ++k;
        }
        k = 0;
        for (const auto& [year, shift] : north) {
          EXPECT_TRUE(SameShift(r.northShifts[k].X(), std::abs(shift.X()))) << year;
          EXPECT_TRUE(SameShift(r.northShifts[k].Y(), std::abs(shift.Y()))) << year;
          ++k;
        }
      }
    }
  }
}

// Series longer than the analysis's spans of years, smoothed over windows shorter and longer than
// the windows whose medians are sorted afresh, and than a span. The centroids are -0.0 and 0.0 in
// turn (a patch at 0 whose population changes sign): which of the two a sliding median gives
// depends on the whole series before it, so it must not start afresh within the series.
TEST(Analyse, LongSeriesEqualTheComposedSeriesFunctions) {
  TPatches patches;
  TPatch zero("zero", 0.0, 0.0);
  TPatch moving("moving", 1.0, 2.0);
  for (int k = 0; k < 40000; ++k) {
    zero.SetYear(1000 + k, k % 3 == 0 ? -1.0 : 1.0);
    moving.SetYear(1000 + k, k % 7 == 0 ? 0.0 : 1.0 + (k * 37 % 101) / 4.0);
  }
  patches.AddPatch(std::move(zero));
  TPatches both = patches;
  both.AddPatch(std::move(moving));
  for (const TPatches* collection : {&patches, &both}) {
    for (const TSmoothing smoothing : {TSmoothing::kMovingAverage, TSmoothing::kMedian}) {
      for (const std::int32_t window : {5, 65, 301, 20000}) {
        if (smoothing == TSmoothing::kMovingAverage && window > 1000) {
          continue;  // each mean adds its whole window: long windows are slow to check
        }
        TAnalysisOptions o = ValidOptions();
        o.threshold = 0.3;
        o.smoothing = smoothing;
        o.window = window;
        o.burnIn = 17000;
        SCOPED_TRACE(::testing::Message() << collection->GetNumPatches() << " patches, smoothing "
                                          << static_cast<int>(smoothing) << ", window " << window);
        tools::TRangeSeries range = tools::GetRangeSeries(*collection, o.threshold, o.axis);
        for (TCentroids* series : {&range.north, &range.south, &range.all}) {
          *series = smoothing == TSmoothing::kMedian ? tools::MedianSmoothing(*series, window)
                                                     : tools::MovingAverage(*series, window);
        }
        const TAnalysisResult r = Analyse(*collection, o);
        ASSERT_EQ(r.centroidYears, range.all.GetYearList());
        std::size_t k = 0;
        std::size_t differences = 0;
        for (const auto& [year, point] : range.all) {
          const TPoint& north = range.north.GetCoords(year);
          differences += SameBits(r.allCentroids[k].X(), point.X()) ? 0 : 1;
          differences += SameBits(r.allCentroids[k].Y(), point.Y()) ? 0 : 1;
          differences += SameBits(r.northCentroids[k].X(), north.X()) ? 0 : 1;
          differences += SameBits(r.northCentroids[k].Y(), north.Y()) ? 0 : 1;
          ++k;
        }
        EXPECT_EQ(differences, 0U);
      }
    }
  }
}

TEST(AnalyseMP, Errors) {
  const TTempFile noPatches("Header only\nCell length 1 km\n");
  const TTempFile noYears("Run\nA,1,2,A.KCH\nB,3,4\nMigration\n");
  const TTempFile oneYear(
      "Run\nA,1,2,A.KCH\nB,3,4\nMigration\nPop. ALL\n30\nPop. 1\n10\nPop. 2\n20\n");
  const TTempFile allZero(
      "Run\nA,1,2,A.KCH\nB,3,4\nMigration\nPop. ALL\n0.0\n0.0\nPop. 1\n0.0\n0.0\nPop. "
      "2\n0.0\n0.0\n");
  const std::string missing = noPatches.Dir() + "/missing.mp";

  TAnalysisOptions o = ValidOptions();
  ExpectError([&] { AnalyseMP(missing, o); },
              ("Cannot open file: " + missing + ": No such file or directory").c_str());
  ExpectError([&] { AnalyseMP(noPatches.Path(), o); }, "No patches to analyse");
  ExpectError([&] { AnalyseMP(noYears.Path(), o); }, "No years to analyse");
  EXPECT_EQ(AnalyseMP(oneYear.Path(), o).years, (TYearList{2000}));
  o.burnIn = 1;
  ExpectError([&] { AnalyseMP(oneYear.Path(), o); }, "Burn-in leaves no years to analyse");
  // Cleaning that keeps no patch.
  o = ValidOptions();
  o.patchSizeThreshold = 1;
  ExpectError([&] { AnalyseMP(allZero.Path(), o); }, "No patches to analyse");
  // The options are checked before the file is opened.
  o = ValidOptions();
  o.threshold = 1.5;
  ExpectError([&] { AnalyseMP(missing, o); }, kThreshold);
  o = ValidOptions();
  o.smoothing = TSmoothing::kMovingAverage;
  ExpectError([&] { AnalyseMP(missing, o); }, kWindow);
}

}  // namespace
}  // namespace varrowin::test

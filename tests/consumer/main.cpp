// Uses the installed Varrowin library: planar geometry, the yearly centroids of a patch
// collection built in memory, and the MP file reader on an in-memory file. Exits 1 on the first
// result that differs from the expected one.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/TCentroidTools.h>
#include <varrowin/TMPParser.h>
#include <varrowin/TPatch.h>
#include <varrowin/TPatches.h>
#include <varrowin/TPoint.h>
#include <varrowin/TPointTools.h>

namespace {

int failures = 0;

void Expect(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: mismatch: %s\n", what.c_str());
    ++failures;
  }
}

bool Near(double a, double b) {
  return std::fabs(a - b) <= 1e-12 * (1.0 + std::fabs(b));
}

}  // namespace

int main() {
  using varrowin::TPoint;
  namespace tools = varrowin::TPointTools;
  namespace centroids = varrowin::TCentroidTools;

  // A 2 x 2 square has area 4; a 3-4-5 right triangle has area 6.
  const std::vector<TPoint> square{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  Expect(Near(tools::FindConvexPolygonArea(square), 4.0), "area of the 2 x 2 square");
  Expect(Near(tools::Heron({0, 0}, {4, 0}, {0, 3}), 6.0), "Heron of the 3-4-5 triangle");
  Expect(Near(tools::Theta({3, 4}, {2, 3}), 45.0), "Theta of the diagonal");

  // Two patches whose years overlap in part: the year list spans both.
  varrowin::TPatches patches;
  varrowin::TPatch a("A", 10, 20);
  a.SetYear(2000, 100);
  a.SetYear(2001, 110);
  varrowin::TPatch b("B", 30, 40);
  b.SetYear(2001, 50);
  b.SetYear(2002, 55);
  patches.AddPatch(a);
  patches.AddPatch(b);
  const varrowin::TYearList years = centroids::MakeYearList(patches);
  Expect(years == varrowin::TYearList{2000, 2001, 2002}, "MakeYearList of two patches");

  // The 2001 weighted centroid: (10 * 110 + 30 * 50) / 160 and (20 * 110 + 40 * 50) / 160.
  const TPoint mean = centroids::WeightedMeans(patches, 2001);
  Expect(Near(mean.X(), 2600.0 / 160.0) && Near(mean.Y(), 4200.0 / 160.0),
         "weighted centroid of 2001");

  // The reader, on a small MP file held in memory.
  std::istringstream file(
      "Example run\nCell length 2.5 km\nA,10,20,A.KCH\nB,30,40\nMigration\nPop. ALL\n150\n160\n"
      "Pop. 1\n100\n110\nPop. 2\n50\n55\n");
  const varrowin::TPatches loaded = varrowin::TMPParser::LoadMP(file, 1990);
  Expect(loaded.GetNumPatches() == 2, "number of patches read");
  Expect(loaded.GetResolution() == 2.5, "resolution read");
  Expect(loaded.GetPatch("B").GetYear(1991) == 55.0, "population of B in 1991");

  // The analysis as one call, on the same file: both patches keep their share of the
  // population, so both margins stay where they were.
  std::istringstream again(file.str());
  varrowin::TAnalysisOptions options;
  options.startYear = 1990;
  options.axis = 'Y';
  options.threshold = 0.1;
  const varrowin::TAnalysisResult result =
      varrowin::Analyse(varrowin::TMPParser::LoadMP(again, options.startYear), options);
  Expect(result.years == varrowin::TYearList{1990, 1991}, "years of the analysis");
  Expect(result.northShifts.size() == 2 && result.northShifts[1].X() == 0.0 &&
             result.southShifts[1].Y() == 0.0,
         "shifts of the analysis");
  Expect(result.northCentroids.size() == 2 && result.northCentroids[0].Y() == 20.0,
         "North centroid of the analysis");
  try {
    options.threshold = 1.0;
    varrowin::CheckOptions(options);
    Expect(false, "a threshold of 1 is refused");
  } catch (const varrowin::TError& e) {
    Expect(std::string(e.what()) == "Threshold must be a number greater than 0 and less than 1",
           "message of the threshold check");
  }

  if (failures != 0) {
    return 1;
  }
  std::puts("consumer: all checks passed");
  return 0;
}

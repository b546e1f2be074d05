// The analysis as it runs: a span of years at a time, handing on its results as they are made,
// so that a long run needs no whole-length series. Analyse gathers them into a TAnalysisResult;
// the program writes them into its report as they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <varrowin/Analysis.h>
#include <varrowin/Common.h>
#include <varrowin/TPatches.h>
#include <varrowin/TPoint.h>

namespace varrowin {

namespace TCentroidTools {
class TRangeOrder;
}  // namespace TCentroidTools

// The figures of an analysis known before its first row.
struct TAnalysisFigures {
  std::int64_t numPatchesLoaded = 0;
  std::int64_t numPatchesAfterCleaning = -1;  // -1 when no cleaning ran
  double resolution = 1.0;
  std::size_t numCentroidYears = 0;  // years of the smoothed centroid series
  std::size_t numRows = 0;           // years from the end of the burn-in on
};

// Receives what an analysis hands on, in this order: Begin once, then Centroids and Rows for
// consecutive runs of years, each run starting where the previous one of its kind ended.
class TAnalysisSink {
 public:
  TAnalysisSink() = default;
  TAnalysisSink(const TAnalysisSink&) = delete;
  TAnalysisSink& operator=(const TAnalysisSink&) = delete;
  TAnalysisSink(TAnalysisSink&&) = delete;
  TAnalysisSink& operator=(TAnalysisSink&&) = delete;
  virtual ~TAnalysisSink() = default;

  virtual void Begin(const TAnalysisFigures& figures) = 0;
  // The threads the sink keeps busy from Begin on, besides the caller's: the analysis leaves them
  // out of the threads it uses.
  virtual unsigned BusyThreads() const { return 0; }
  // The smoothed centroids of the years first, first + 1, ...; burn-in years included.
  virtual void Centroids(TYear first, const std::vector<TPoint>& all,
                         const std::vector<TPoint>& north, const std::vector<TPoint>& south) = 0;
  // The unsigned percentage shifts of the North and South margins, years first, first + 1, ...
  // The sink may take the points and leave other vectors in their place.
  virtual void Rows(TYear first, std::vector<TPoint>& north, std::vector<TPoint>& south) = 0;
};

// Runs the analysis of Analyse and hands its results to the sink. Every error that Analyse
// reports for the patches or the options is thrown before Begin.
// prepared: the walk order of these patches along the options' axis, when the caller has it.
void AnalyseInSpans(TPatches patches, const TAnalysisOptions& options, TAnalysisSink& sink,
                    TCentroidTools::TRangeOrder* prepared = nullptr);

}  // namespace varrowin

// RankBench: times TCentroidTools::SortOnOrdinate on a large regular grid of patches.
//
//   RankBench [patches (default 200000)] [repetitions (default 3)]
//
// The patches lie on a square-ish grid with a 2.5 km cell, so every X and every Y value is shared
// by hundreds of patches and the order among equal keys matters. For each axis the best and the
// median time of the repetitions are printed, one line per axis:
//
//   rank <axis> <patches> best <seconds> median <seconds>
//
// Before timing, the ranking of a smaller grid is compared with a literal selection sort from
// name order (the order among equal keys is part of the result), and the large ranking is checked
// to be ascending and to hold every name once. A failed check is printed as "check FAILED ..."
// and makes the exit status 1; the timings are printed either way.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <varrowin/TCentroidTools.h>
#include <varrowin/TPatch.h>
#include <varrowin/TPatches.h>

namespace {

using varrowin::TPatch;
using varrowin::TPatches;

// n patches named P1..Pn on a grid of ceil(sqrt(n)) columns.
TPatches MakeGrid(std::int64_t n) {
  const auto cols = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(n))));
  TPatches patches;
  for (std::int64_t p = 0; p < n; ++p) {
    const double x = 500.0 + 2.5 * static_cast<double>(p % cols);
    const double y = 1200.0 + 2.5 * static_cast<double>(p / cols);
    char name[24] = {'P'};
    const auto end = std::to_chars(name + 1, name + sizeof name, p + 1).ptr;
    patches.AddPatch(TPatch(std::string(name, end), x, y));
  }
  return patches;
}

double Key(const TPatches& patches, const std::string& name, char axis) {
  const TPatch& patch = patches.GetPatch(name);
  return axis == 'X' ? patch.GetX() : patch.GetY();
}

// The ranking as the definition states it: a selection sort of name order, strict comparison.
std::vector<std::string> SelectionRanking(const TPatches& patches, char axis) {
  std::vector<std::string> names = patches.GetNames();
  std::vector<double> keys(names.size());
  std::transform(names.begin(), names.end(), keys.begin(),
                 [&](const std::string& name) { return Key(patches, name, axis); });
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    std::size_t candidate = i;
    for (std::size_t j = i + 1; j < names.size(); ++j) {
      if (keys[j] < keys[candidate]) {
        candidate = j;
      }
    }
    std::swap(keys[i], keys[candidate]);
    std::swap(names[i], names[candidate]);
  }
  return names;
}

bool Check(bool ok, const char* what, char axis) {
  std::printf("check %s %c: %s\n", ok ? "ok" : "FAILED", axis, what);
  return ok;
}

bool IsAscendingPermutation(const TPatches& patches, const std::vector<std::string>& ranking,
                            char axis) {
  if (static_cast<std::int64_t>(ranking.size()) != patches.GetNumPatches()) {
    return false;
  }
  for (std::size_t i = 1; i < ranking.size(); ++i) {
    if (Key(patches, ranking[i], axis) < Key(patches, ranking[i - 1], axis)) {
      return false;
    }
  }
  std::vector<std::string> sorted = ranking;
  std::sort(sorted.begin(), sorted.end());
  return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end() &&
         sorted == patches.GetNames();
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 200000;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 3;
  if (n < 1 || repetitions < 1) {
    std::fputs("Usage: RankBench [patches >= 1] [repetitions >= 1]\n", stderr);
    return 2;
  }
  bool ok = true;

  // Equal keys: a 3,000-patch grid is small enough for the literal selection sort.
  const TPatches small = MakeGrid(3000);
  for (const char axis : {'X', 'Y'}) {
    ok = Check(
             varrowin::TCentroidTools::SortOnOrdinate(small, axis) == SelectionRanking(small, axis),
             "order of equal keys on 3000 patches matches the selection sort", axis) &&
         ok;
  }

  const TPatches patches = MakeGrid(n);
  for (const char axis : {'X', 'Y'}) {
    std::vector<double> seconds;
    std::vector<std::string> ranking;
    for (int r = 0; r < repetitions; ++r) {
      const auto start = std::chrono::steady_clock::now();
      ranking = varrowin::TCentroidTools::SortOnOrdinate(patches, axis);
      const auto stop = std::chrono::steady_clock::now();
      seconds.push_back(std::chrono::duration<double>(stop - start).count());
    }
    ok = Check(IsAscendingPermutation(patches, ranking, axis),
               "large ranking is ascending and holds every name once", axis) &&
         ok;
    std::sort(seconds.begin(), seconds.end());
    std::printf("rank %c %lld best %.6f median %.6f\n", axis, static_cast<long long>(n),
                seconds.front(), seconds[seconds.size() / 2]);
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}

#!/usr/bin/env bash
# Bounded fuzzing: builds the libFuzzer targets with clang and runs each for about a minute on a
# copy of the seed corpus (fuzz/corpus plus the example files; fuzz/corpus-numbers for the number
# conversions; fuzz/corpus-hull, for half the time, for the convex hull), so the repository is
# never written. Any crash, sanitizer report, leak, time-out or memory blow-up fails the script.
#   FUZZ_SECONDS  time per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang++ > /dev/null 2>&1; then
  echo "fuzz: skipped: clang++ not found"
  exit 0
fi

seconds=${FUZZ_SECONDS:-60}
build=build-fuzz-ci
generator=()
if command -v ninja > /dev/null 2>&1; then generator=(-G Ninja); fi
CXX=clang++ cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARROWIN_FUZZ=ON -DVARROWIN_TESTS=OFF -DVARROWIN_WERROR=ON > /dev/null
cmake --build "$build" -j2 --target FuzzLoadMP FuzzRun FuzzNumberText FuzzHull

work=$(mktemp -d /tmp/varrowin-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
for target in FuzzLoadMP FuzzRun FuzzNumberText FuzzHull; do
  corpus="$work/$target-corpus"
  artifacts="$work/$target-artifacts"
  mkdir -p "$corpus" "$artifacts"
  run_seconds=$seconds
  if [ "$target" = FuzzNumberText ]; then
    cp fuzz/corpus-numbers/* "$corpus"/
  elif [ "$target" = FuzzHull ]; then
    cp fuzz/corpus-hull/* "$corpus"/
    run_seconds=$(((seconds + 1) / 2))
  else
    cp fuzz/corpus/* "$corpus"/
    for example in examples/*.mp; do
      if [ -e "$example" ]; then cp "$example" "$corpus/example-$(basename "$example")"; fi
    done
  fi
  echo "fuzz: $target for ${run_seconds}s on $(ls "$corpus" | wc -l) seed files"
  found=0
  if ! "$build/fuzz/$target" -max_total_time="$run_seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" > "$work/$target.log" 2>&1; then
    found=1
  fi
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)|cov:' \
    "$work/$target.log" | tail -n 4 || true
  if [ "$found" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
    status=1
    echo "fuzz: $target FOUND A PROBLEM; log tail:"
    tail -n 60 "$work/$target.log"
    for artifact in "$artifacts"/*; do
      [ -e "$artifact" ] || continue
      echo "--- $artifact (base64):"
      base64 "$artifact" | head -c 20000
      echo
    done
  fi
done
[ "$status" -eq 0 ] && echo "fuzz: no findings"
exit "$status"

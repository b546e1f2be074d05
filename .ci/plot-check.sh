#!/usr/bin/env bash
# Plot check: makes a fresh report from the bundled example and draws it with
# examples/plot-shifts.gp, then checks that the result is a PNG file.
#
#   .ci/plot-check.sh
#
# Installs gnuplot (Debian package gnuplot-nox) when it is missing. The program is built, or
# brought up to date, in VARROWIN_BUILD_DIR (default build-plot-check). Exits 1 with a message on
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "plot-check: FAIL: $*" >&2
  exit 1
}
note() { echo "plot-check: $*"; }

if ! command -v gnuplot > /dev/null; then
  note "installing gnuplot-nox"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y gnuplot-nox > /dev/null ||
    { apt-get update > /dev/null && apt-get install -y gnuplot-nox > /dev/null; } ||
    fail "cannot install gnuplot-nox"
fi
command -v awk > /dev/null || fail "awk is missing"

build=${VARROWIN_BUILD_DIR:-build-plot-check}
if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja > /dev/null; then
    generator=(-G Ninja)
  fi
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DVARROWIN_TESTS=OFF \
    > /dev/null || fail "configure of $build"
fi
cmake --build "$build" --target Varrowin -j2 > /dev/null || fail "build of Varrowin in $build"
program=$build/Varrowin
[ -x "$program" ] || fail "$program was not built"

example=examples/grid.mp
if [ ! -f "$example" ]; then
  example=examples/minimal.mp
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/varrowin-plot-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

note "report from $example"
"$program" "$example" 2000 Y 0.1 ';' > "$work/report.csv" || fail "Varrowin failed on $example"
grep -qE '^;-?[0-9]' "$work/report.csv" || fail "the report on $example has no table rows"

note "plot with examples/plot-shifts.gp"
gnuplot -e "report='$work/report.csv'; output='$work/shifts.png'" examples/plot-shifts.gp ||
  fail "gnuplot failed"
[ -s "$work/shifts.png" ] || fail "no PNG written"
signature=$(head -c 8 "$work/shifts.png" | od -An -tx1 | tr -d ' \n')
[ "$signature" = "89504e470d0a1a0a" ] || fail "the output is not a PNG (starts with $signature)"
note "all checks passed ($(wc -c < "$work/shifts.png") bytes)"

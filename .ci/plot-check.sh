#!/usr/bin/env bash
# Plot check: makes fresh reports with the program and draws them with examples/plot-shifts.gp:
# the bundled example (semicolon delimiter), a report whose X shifts are all nan (North and South),
# and a report written with a comma delimiter; then checks what the script refuses (a missing
# report, a report read with the wrong delimiter). Last it checks that the files the recipes of
# the README and the manual page write in the source tree are ignored by git and left out of the
# source tarball that CPack makes.
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

# Draws a report: plot REPORT OUTPUT [gnuplot assignments...], OUTPUT "-" for the script's
# default; the messages go to $work/plot.err.
plot() {
  local report=$1 output=$2
  shift 2
  local assignments="report='$report'"
  [ "$output" = - ] || assignments+="; output='$output'"
  for assignment in "$@"; do
    assignments+="; $assignment"
  done
  gnuplot -e "$assignments" examples/plot-shifts.gp 2> "$work/plot.err"
}
# Fails unless FILE is a PNG file.
expect_png() {
  [ -s "$1" ] || fail "no PNG written to $1"
  local signature
  signature=$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')
  [ "$signature" = "89504e470d0a1a0a" ] || fail "$1 is not a PNG (starts with $signature)"
}

note "report from $example, drawn"
"$program" "$example" 2000 Y 0.1 ';' > "$work/report.csv" || fail "Varrowin failed on $example"
grep -qE '^;-?[0-9]' "$work/report.csv" || fail "the report on $example has no table rows"
plot "$work/report.csv" "$work/shifts.png" || { cat "$work/plot.err" >&2; fail "gnuplot failed"; }
expect_png "$work/shifts.png"
[ ! -s "$work/plot.err" ] || { cat "$work/plot.err" >&2; fail "messages while drawing $example"; }
# Without output the picture goes next to the report.
plot "$work/report.csv" - || fail "gnuplot failed without output"
expect_png "$work/report.csv.png"

note "report whose X shifts are all nan (tests/data/unit.mp along X), drawn"
"$program" tests/data/unit.mp 2000 X 0.1 ';' > "$work/nan.csv" || fail "Varrowin failed on unit.mp"
# The check is only meaningful if both X columns really are nan in every row.
awk -F ';' '/^;[0-9]/ && ($3 != "nan" || $6 != "nan") { bad = 1 } END { exit bad }' \
  "$work/nan.csv" || fail "the unit.mp report has a finite X shift; pick another all-nan case"
plot "$work/nan.csv" "$work/nan.png" || { cat "$work/plot.err" >&2; fail "gnuplot failed on the all-nan report"; }
expect_png "$work/nan.png"
for column in "North X" "South X"; do
  grep -q "the $column shift is nan or inf in every row: not drawn" "$work/plot.err" ||
    { cat "$work/plot.err" >&2; fail "no message about the all-nan $column column"; }
done
if grep -q "Y shift is nan" "$work/plot.err"; then
  fail "a message about the Y columns, which have finite shifts"
fi

note "report written with a comma delimiter, drawn"
"$program" "$example" 2000 Y 0.1 ',' > "$work/comma.csv" || fail "Varrowin failed with a comma"
plot "$work/comma.csv" "$work/comma.png" "delimiter=','" ||
  { cat "$work/plot.err" >&2; fail "gnuplot failed on the comma report"; }
expect_png "$work/comma.png"
[ ! -s "$work/plot.err" ] || { cat "$work/plot.err" >&2; fail "messages while drawing the comma report"; }

note "what the script refuses: no PNG, status 1, a message"
refused() {  # refused WHAT EXPECTED-MESSAGE REPORT [assignments...]
  local what=$1 message=$2 report=$3
  shift 3
  rm -f "$work/refused.png"
  local status=0
  plot "$report" "$work/refused.png" "$@" || status=$?
  [ "$status" -eq 1 ] || fail "$what: status $status, not 1"
  [ ! -e "$work/refused.png" ] || fail "$what: a PNG was written"
  grep -q "$message" "$work/plot.err" || { cat "$work/plot.err" >&2; fail "$what: no message '$message'"; }
}
refused "missing report" "cannot read the report" "$work/no-such-report.csv"
refused "comma report read with ';'" "has no table rows" "$work/comma.csv"
: > "$work/empty.csv"
refused "empty report (a failed run)" "has no table rows" "$work/empty.csv"

# The files that the recipes write in the source tree: the reports, their temporary and error
# files, the job log and the SLURM logs and file list; the plot recipe writes into build/.
generated=(reports/run1.csv reports/run1.csv.part reports/run1.csv.err reports/jobs.log
  logs/varrowin-12_3.out runs.txt build/report.csv build/report.csv.png build/shifts.png)
if command -v git > /dev/null && git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  note "the recipes' files are ignored by git"
  for file in "${generated[@]}"; do
    git check-ignore -q --no-index "$file" || fail "$file is not ignored by git (.gitignore)"
  done

  note "the source tarball holds no generated file"
  copy=$work/source
  mkdir "$copy"
  git ls-files -z | xargs -0 cp --parents -t "$copy"
  for file in "${generated[@]}" x.part fuzz-1.log crash-1 tests/leak-1 out/x; do
    mkdir -p "$copy/$(dirname "$file")"
    echo generated > "$copy/$file"
  done
  cmake -S "$copy" -B "$copy/build-source" -DVARROWIN_TESTS=OFF > "$work/source-configure.log" 2>&1 ||
    { cat "$work/source-configure.log" >&2; fail "configure of the copied source tree"; }
  (cd "$copy/build-source" && cpack --config CPackSourceConfig.cmake > "$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack of the source tarball"; }
  tarball=$(ls "$copy"/build-source/varrowin-*.tar.gz)
  tar -tzf "$tarball" | sed 's|^[^/]*/||' > "$work/tarball.txt"
  for file in README.md LICENSE CITATION.cff CMakeLists.txt src/main.cpp examples/plot-shifts.gp; do
    grep -qxF "$file" "$work/tarball.txt" || fail "the source tarball has no $file"
  done
  if grep -E '(^|/)(reports|logs|build[^/]*|out)/|runs\.txt$|\.part$|fuzz-1\.log$|(crash|leak)-1$' \
    "$work/tarball.txt"; then
    fail "the source tarball holds the generated files above"
  fi
else
  note "not a git checkout: the checks of ignored files are skipped"
fi
note "all checks passed"

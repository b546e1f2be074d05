#!/usr/bin/env bash
# R package check: builds the source tarball of r/ (r/tools/build.sh), runs
# R CMD check --no-manual on it, and fails on any ERROR or WARNING; the NOTEs are printed. Then
# regenerates the Rcpp exports of r/ in a temporary copy and fails if they differ from the
# committed R/RcppExports.R and src/RcppExports.cpp.
#
#   .ci/r-check.sh
#
# Installs the Debian packages R needs when they are missing (r-base-dev r-cran-rcpp
# r-cran-testthat). R CMD check's output goes to VARROWIN_R_CHECK_DIR (default: a new temporary
# directory), which the script prints; R CMD check leaves the installed package in
# <dir>/varrowin.Rcheck, so that a later step can load it with R_LIBS=<dir>/varrowin.Rcheck.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "r-check: FAIL: $*" >&2
  exit 1
}
note() { echo "r-check: $*"; }

packages=(r-base-dev r-cran-rcpp r-cran-testthat)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2> /dev/null | grep -q '^install ok installed$' ||
    missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  note "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update > /dev/null || fail "apt-get update failed"
  apt-get install -y "${missing[@]}" > /dev/null || fail "cannot install ${missing[*]}"
fi

dir=${VARROWIN_R_CHECK_DIR:-$(mktemp -d)}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
note "output in $dir"

tarball=$(VARROWIN_R_OUT="$dir" bash r/tools/build.sh | tail -n 1)
[ -f "$tarball" ] || fail "no source tarball"
note "built $tarball"

rm -rf "$dir/varrowin.Rcheck"
status=0
(cd "$dir" && R CMD check --no-manual -o "$dir" "$tarball") || status=$?
log="$dir/varrowin.Rcheck/00check.log"
[ -f "$log" ] || fail "R CMD check wrote no log (exit status $status)"

note "NOTEs:"
awk '/^\* / { show = ($0 ~ /\.\.\. NOTE$/) } show' "$log"
summary=$(grep '^Status:' "$log" || true)
note "R CMD check: ${summary:-no status line}"
if [ "$status" -ne 0 ] || ! grep -q '^Status:' "$log" || grep -q '^Status:.*\(ERROR\|WARNING\)' "$log"; then
  awk '/^\* / { show = ($0 ~ /\.\.\. (WARNING|ERROR)$/) } show' "$log" >&2
  for out in "$dir"/varrowin.Rcheck/tests/*.Rout.fail; do
    [ -f "$out" ] && tail -n 40 "$out" >&2
  done
  fail "R CMD check found an ERROR or a WARNING (exit status $status)"
fi

# The Rcpp exports must be those that Rcpp::compileAttributes writes for the committed glue.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/varrowin/src"
cp -R r/DESCRIPTION r/NAMESPACE r/R "$copy/varrowin/"
cp r/src/*.cpp "$copy/varrowin/src/"
Rscript -e "invisible(Rcpp::compileAttributes('$copy/varrowin'))" ||
  fail "Rcpp::compileAttributes failed"
diff -u r/R/RcppExports.R "$copy/varrowin/R/RcppExports.R" &&
  diff -u r/src/RcppExports.cpp "$copy/varrowin/src/RcppExports.cpp" ||
  fail "the committed Rcpp exports are out of date: run Rscript -e 'Rcpp::compileAttributes(\"r\")'"

note "installed package left in $dir/varrowin.Rcheck (R_LIBS=$dir/varrowin.Rcheck)"
note "ok"

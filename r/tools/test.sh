#!/bin/sh
# Builds the source package (tools/build.sh), installs it into <work>/lib and runs the package's
# testthat tests on the installed package. Used by CTest; R CMD check does the same and more.
#   sh r/tools/test.sh <work folder>
set -eu
[ $# -eq 1 ] || { echo "usage: $0 <work folder>" >&2; exit 2; }
pkg=$(cd "$(dirname "$0")/.." && pwd)
work=$1
mkdir -p "$work/lib"
tarball=$(VARROWIN_R_OUT="$work" sh "$pkg/tools/build.sh" | tail -n 1)
R CMD INSTALL --no-test-load --library="$work/lib" "$tarball" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; exit 1; }
R_LIBS="$work/lib" Rscript -e '
  results <- testthat::test_dir(commandArgs(TRUE)[1], package = "varrowin",
                                load_package = "installed", stop_on_failure = TRUE)
  cat(sum(as.data.frame(results)$nb), "expectations\n")' "$pkg/tests/testthat"

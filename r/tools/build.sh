#!/bin/sh
# Builds the source package of varrowin from this source tree:
#  1. copies the library sources (src/*.cpp but main.cpp and Varrowin.cpp, the private src/*.h)
#     and the public headers (include/varrowin/) into r/src/lib/, the example MP files into
#     r/inst/extdata/, and the analysis cases of tests/data/cases.tsv (the table, the stored
#     reports and the MP files it names) into r/tests/testthat/data/; none of these copies is
#     committed;
#  2. writes the version of include/varrowin/Version.h into r/DESCRIPTION;
#  3. runs R CMD build, which leaves varrowin_<version>.tar.gz, self-contained, in the output
#     folder: $VARROWIN_R_OUT, else out/r under the source tree.
# With --install it then installs the package from that tarball (R CMD INSTALL).
# Prints the tarball's path as its last line.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
pkg="$root/r"
out=${VARROWIN_R_OUT:-$root/out/r}
install=no
for arg in "$@"; do
  case "$arg" in
    --install) install=yes ;;
    *) echo "usage: $0 [--install]" >&2; exit 2 ;;
  esac
done

rm -rf "$pkg/src/lib" "$pkg/inst/extdata" "$pkg/tests/testthat/data"
mkdir -p "$pkg/src/lib/include/varrowin" "$pkg/inst/extdata" "$pkg/tests/testthat/data"
for f in "$root"/src/*.cpp "$root"/src/*.h; do
  case "$(basename "$f")" in
    main.cpp | Varrowin.cpp) ;;
    *) cp "$f" "$pkg/src/lib/" ;;
  esac
done
cp "$root"/include/varrowin/*.h "$pkg/src/lib/include/varrowin/"
cp "$root"/examples/*.mp "$pkg/inst/extdata/"

data="$pkg/tests/testthat/data"
cp "$root/tests/data/cases.tsv" "$data/"
mkdir -p "$data/expected"
cp "$root"/tests/data/expected/*.txt "$data/expected/"
# The MP files named in the table's second column, under the same relative paths.
tail -n +2 "$root/tests/data/cases.tsv" | cut -f 2 | sort -u | while read -r file; do
  [ -n "$file" ] || continue
  mkdir -p "$data/$(dirname "$file")"
  cp "$root/$file" "$data/$file"
done

version=$(sed -n 's/.*kVersion = "\([^"]*\)".*/\1/p' "$root/include/varrowin/Version.h")
[ -n "$version" ] || { echo "no version in include/varrowin/Version.h" >&2; exit 1; }
sed "s/^Version: .*/Version: $version/" "$pkg/DESCRIPTION" > "$pkg/DESCRIPTION.new"
if cmp -s "$pkg/DESCRIPTION" "$pkg/DESCRIPTION.new"; then
  rm "$pkg/DESCRIPTION.new"
else
  mv "$pkg/DESCRIPTION.new" "$pkg/DESCRIPTION"
fi

mkdir -p "$out"
cd "$out"
R CMD build --no-manual "$pkg"
tarball="$out/varrowin_$version.tar.gz"
[ -f "$tarball" ] || { echo "R CMD build wrote no $tarball" >&2; exit 1; }
if [ "$install" = yes ]; then
  R CMD INSTALL "$tarball"
fi
echo "$tarball"

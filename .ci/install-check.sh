#!/usr/bin/env bash
# Installed-tree check: configures a fresh Release build, installs it into a temporary prefix and
# checks what a user gets there: the program (run on examples/minimal.mp), the manual page (gzipped,
# rendered with man), the static library with its headers, the README and copyright file, and the
# CMake package, used by the small consumer project in tests/consumer/ after the prefix has been
# moved elsewhere. With dpkg-deb at hand it also makes the Debian package and checks its contents.
#
#   .ci/install-check.sh            (CXX selects the compiler, as for any CMake build)
#
# Exits 0 when everything holds, 1 with a message on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

fail() {
  echo "install-check: FAIL: $*" >&2
  exit 1
}
note() { echo "install-check: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varrowin-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
build=$work/build
prefix=$work/prefix
generator=()
if command -v ninja > /dev/null; then
  generator=(-G Ninja)
fi

note "configure, build and install a Release build into $prefix"
cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DVARROWIN_TESTS=OFF -DVARROWIN_WERROR=ON > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "configure"; }
cmake --build "$build" -j2 || fail "build"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "install"

# The library directory follows GNUInstallDirs (lib, or lib64 on some systems).
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || fail "CMAKE_INSTALL_LIBDIR not found in the build's cache"

note "check the installed tree"
expected=(bin/Varrowin bin/varrowin-collect share/man/man1/Varrowin.1.gz share/doc/varrowin/README.md
  share/doc/varrowin/copyright "$libdir/libvarrowin.a"
  "$libdir/cmake/Varrowin/VarrowinConfig.cmake"
  "$libdir/cmake/Varrowin/VarrowinConfigVersion.cmake"
  "$libdir/cmake/Varrowin/VarrowinTargets.cmake")
for header in include/varrowin/*.h; do
  expected+=("include/varrowin/$(basename "$header")")
done
for file in "${expected[@]}"; do
  [ -f "$prefix/$file" ] || fail "missing from the installed tree: $file"
done
[ -x "$prefix/bin/Varrowin" ] || fail "bin/Varrowin is not executable"
cmp -s <(gzip -dc "$prefix/share/man/man1/Varrowin.1.gz") docs/Varrowin.1 ||
  fail "share/man/man1/Varrowin.1.gz does not hold docs/Varrowin.1"
grep -q '^License: MIT$' "$prefix/share/doc/varrowin/copyright" ||
  fail "share/doc/varrowin/copyright names no MIT licence"
# The package must not point back into the build or source tree, nor name the build-only
# options target.
if grep -rlE "varrowin_options|$build|$source_dir/" "$prefix/$libdir/cmake/Varrowin"; then
  fail "the CMake package refers to the build tree or to varrowin_options (files above)"
fi

note "run the installed program on examples/minimal.mp"
[ -f examples/minimal.mp ] || fail "examples/minimal.mp is missing"
status=0
"$prefix/bin/Varrowin" examples/minimal.mp 2000 Y 0.1 ';' > "$work/report.csv" \
  2> "$work/stderr.txt" || status=$?
[ "$status" -eq 0 ] || { cat "$work/stderr.txt" >&2; fail "Varrowin exited with status $status"; }
[ ! -s "$work/stderr.txt" ] || { cat "$work/stderr.txt" >&2; fail "Varrowin wrote to stderr"; }
# Both patches hold the same 2:1 share in both years, so every centroid stays put: no shift.
cat > "$work/expected.csv" << 'REPORT'
Num patches loaded;2
Resolution(km);2.5
Total years;2
;;North;;South
;Year;X(km);Y(km);Year;X(km);Y(km)
;2000;0;0;2000;0;0
;2001;0;0;2001;0;0
REPORT
diff -u "$work/expected.csv" "$work/report.csv" || fail "unexpected report on examples/minimal.mp"
# Too few arguments: the usage line and status 1.
status=0
"$prefix/bin/Varrowin" examples/minimal.mp 2000 > /dev/null 2> "$work/usage.txt" || status=$?
[ "$status" -eq 1 ] || fail "Varrowin with two arguments exited with $status, not 1"
grep -q '^Usage: Varrowin filename' "$work/usage.txt" || fail "no usage line on stderr"

note "render the installed manual page"
page=$prefix/share/man/man1/Varrowin.1.gz
if command -v man > /dev/null; then
  MANWIDTH=80 man -l "$page" > "$work/man.txt" 2> "$work/man.err" || fail "man -l failed"
elif command -v groff > /dev/null; then
  gzip -dc "$page" | groff -man -Tutf8 > "$work/man.txt" 2> "$work/man.err" || fail "groff failed"
else
  fail "neither man nor groff is installed"
fi
[ ! -s "$work/man.err" ] || { cat "$work/man.err" >&2; fail "warnings while rendering the manual page"; }
for section in NAME SYNOPSIS DESCRIPTION ARGUMENTS OUTPUT 'EXIT STATUS' EXAMPLES; do
  grep -q "^$section\$" "$work/man.txt" || fail "manual page has no $section section"
done
if command -v groff > /dev/null; then
  gzip -dc "$page" | groff -man -ww -z 2> "$work/groff.err" || fail "groff -ww failed"
  [ ! -s "$work/groff.err" ] || { cat "$work/groff.err" >&2; fail "groff warnings"; }
fi

if command -v dpkg-deb > /dev/null; then
  note "make the Debian package and check its contents"
  (cd "$build" && cpack -G DEB > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
  deb=$(ls "$build"/varrowin_*.deb)
  dpkg-deb -c "$deb" | awk '{ print $6 }' > "$work/deb.txt"
  for file in ./usr/bin/Varrowin ./usr/share/man/man1/Varrowin.1.gz \
    ./usr/share/doc/varrowin/copyright ./usr/share/doc/varrowin/README.md; do
    grep -qxF "$file" "$work/deb.txt" || fail "the Debian package has no $file"
  done
  if grep -E '/share/doc/[^/]*[A-Z]|/man1/[^/]*\.1$' "$work/deb.txt"; then
    fail "the Debian package has an upper-case documentation directory or an uncompressed page"
  fi
fi

note "build and run tests/consumer against the installed package (prefix moved)"
# A moved prefix proves the package is relocatable: nothing in it may hold the install path.
mv "$prefix" "$work/moved"
prefix=$work/moved
cmake -S tests/consumer -B "$work/consumer" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Werror" > "$work/consumer-configure.log" 2>&1 ||
  { cat "$work/consumer-configure.log" >&2; fail "configure of tests/consumer"; }
found=$(sed -n 's/^Varrowin_DIR:PATH=//p' "$work/consumer/CMakeCache.txt")
[ "$found" = "$prefix/$libdir/cmake/Varrowin" ] ||
  fail "tests/consumer found Varrowin in '$found', not in the installed prefix"
cmake --build "$work/consumer" || fail "build of tests/consumer"
"$work/consumer/VarrowinConsumer" || fail "tests/consumer reported a mismatch"

note "all checks passed"

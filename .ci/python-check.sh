#!/usr/bin/env bash
# Python check: builds the Python module varrowin, installs it into a temporary prefix and runs
# the pytest suite in python/tests against the installed package (not the source tree), then the
# README's Python example.
#
#   .ci/python-check.sh
#
# Installs the Debian packages it needs when they are missing (pybind11-dev python3-dev
# python3-numpy python3-pytest, and python3-pandas python3-matplotlib for the optional parts),
# and makes the locale de_DE.UTF-8 for the decimal-comma test. Uses /usr/bin/python3, whatever
# python3 comes first on the PATH. VARROWIN_R_LIB, when it names an R library holding the R
# package varrowin, adds the comparison with R. Exits 1 with a message on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
python=/usr/bin/python3

fail() {
  echo "python-check: FAIL: $*" >&2
  exit 1
}
note() { echo "python-check: $*"; }

packages=(pybind11-dev python3-dev python3-numpy python3-pytest python3-pandas python3-matplotlib
          locales)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  note "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y "${missing[@]}" > /dev/null ||
    { apt-get update > /dev/null && apt-get install -y "${missing[@]}" > /dev/null; } ||
    fail "cannot install ${missing[*]}"
fi
if ! locale -a 2> /dev/null | grep -qiE '^de_DE\.utf-?8$'; then
  note "making the locale de_DE.UTF-8"
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || fail "cannot make the locale de_DE.UTF-8"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/varrowin-python-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
build=$work/build
prefix=$work/prefix
generator=()
if command -v ninja > /dev/null; then
  generator=(-G Ninja)
fi

note "configure, build and install the module into $prefix"
cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DVARROWIN_PYTHON=ON -DVARROWIN_TESTS=OFF -DVARROWIN_WERROR=ON \
  -DPython_EXECUTABLE="$python" > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "configure"; }
cmake --build "$build" -j2 || fail "build"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "install"

package_dir=$(sed -n 's/^VARROWIN_PYTHON_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$package_dir" ] || fail "VARROWIN_PYTHON_INSTALL_DIR not found in the build's cache"
site=$prefix/$package_dir
for file in __init__.py __init__.pyi py.typed; do
  [ -f "$site/varrowin/$file" ] || fail "$site/varrowin/$file not installed"
done
compgen -G "$site/varrowin/_core*.so" > /dev/null || fail "no _core module in $site/varrowin"

# From a folder outside the source tree, so that only the installed package can be imported.
cd "$work"
imported=$(PYTHONPATH=$site "$python" -c 'import varrowin; print(varrowin.__file__)') ||
  fail "the installed package does not import"
[ "$imported" = "$site/varrowin/__init__.py" ] ||
  fail "imported $imported, not the installed package"

note "pytest on the installed package"
# pytest ends with status 5 when it collects no test: that fails here like any other status.
status=0
PYTHONPATH=$site VARROWIN_PROGRAM=$prefix/bin/Varrowin \
  "$python" -m pytest -p no:cacheprovider -ra "$source_dir/python/tests" || status=$?
[ "$status" -eq 0 ] || fail "pytest ended with status $status"

note "the README's Python example"
awk '/^## Using Varrowin from Python/ { inside = 1; next }
     inside && /^## / { exit }
     inside && /^```python$/ { code = 1; next }
     code && /^```$/ { exit }
     code { print }' "$source_dir/README.md" > "$work/example.py"
[ -s "$work/example.py" ] || fail "no Python example found in the README"
ln -s "$source_dir/examples" "$work/examples"
PYTHONPATH=$site MPLBACKEND=Agg "$python" "$work/example.py" > "$work/example.out" ||
  fail "the README's Python example"
cat "$work/example.out"
awk '/^## Using Varrowin from Python/ { inside = 1; next }
     inside && /^## / { exit }
     inside && /^```text$/ { text = 1; next }
     text && /^```$/ { exit }
     text { print }' "$source_dir/README.md" > "$work/example.expected"
diff "$work/example.expected" "$work/example.out" ||
  fail "the README's Python example printed something else than the README shows"
[ -s "$work/shifts-python.png" ] || fail "the README's Python example drew no shifts-python.png"
note "ok"

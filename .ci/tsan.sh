#!/usr/bin/env bash
# ThreadSanitizer: builds the threaded tests (the reader's, the report writer's, the patch index's,
# the analysis's and the program they run) with clang++ -fsanitize=thread and runs them. Any data race or other report fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

needed=()
command -v clang++ > /dev/null 2>&1 || needed+=(clang)
command -v cmake > /dev/null 2>&1 || needed+=(cmake)
for package in libgtest-dev zlib1g-dev; do
  dpkg -s "$package" > /dev/null 2>&1 || needed+=("$package")
done
if [ "${#needed[@]}" -gt 0 ]; then
  apt-get install -y "${needed[@]}"
fi

build=build-tsan
generator=()
if command -v ninja > /dev/null 2>&1; then generator=(-G Ninja); fi
CXX=clang++ cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARROWIN_WERROR=ON -DVARROWIN_INSTALL=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" > /dev/null
cmake --build "$build" -j2 --target Varrowin ThreadedLoadTest ReportWriterTest TPatchesTest FuzzRegressionTest \
  TCentroidToolsTest

# halt_on_error: the first report ends the process with a failure status, in the tests and in
# the program runs they make.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$build/tests/ThreadedLoadTest"
"$build/tests/ReportWriterTest"
"$build/tests/TPatchesTest" --gtest_filter='*Concurrent*'
"$build/tests/FuzzRegressionTest" --gtest_filter='*ThreadedLoadAgrees*'
"$build/tests/TCentroidToolsTest" --gtest_filter='*AnyThreadCount*'
echo "tsan: no reports"

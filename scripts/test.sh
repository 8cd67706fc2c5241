#!/usr/bin/env bash
# Builds everything and runs every test: a normal build (each suite also once as one shuffled
# process), an address/undefined-sanitizer build, the link's Windows build under wine, the fuzz
# targets for 30 seconds each, and the Debian package, checked and run unpacked.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=2
export QT_QPA_PLATFORM=offscreen

# Qt for Windows is built once from Debian's source and cached; on a machine without the cache
# the build starts now, at the lowest priority, and takes the time the stages below spend
# waiting for simulated printers. The Windows stage waits for it.
mkdir -p build
nice -n 19 scripts/build-qt-windows.sh >build/qt-windows.log 2>&1 &
qt_build=$!

echo "== normal build"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

# CTest runs every test in a process of its own; here each suite runs as one process, in three
# shuffled orders, so that nothing one test leaves behind (a timer, a message sink, a handler)
# can reach another. The console's and the port helper's suites spend nearly all their time
# waiting for simulated printers, so they run in the background meanwhile: the console's three
# orders side by side (three processes, three seeds), the port helper's three in one process.
# The other suites run their three orders one after another in the foreground.
echo "== each suite in one process, shuffled, three times"
shuffled=build/test/shuffled
rm -rf "$shuffled" && mkdir -p "$shuffled"
pids=() logs=()
in_background() { # LOG PROGRAM ARGUMENTS...
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  pids+=($!)
  logs+=("$log")
}
console_suite=build/test/tests/console/console_tests
ports_suite=build/test/tests/ports/ports_tests
for seed in 1 2 3; do
  in_background "$shuffled/console_tests.$seed.log" \
    "$console_suite" --gtest_shuffle --gtest_random_seed="$seed" --gtest_brief=1
done
in_background "$shuffled/ports_tests.log" "$ports_suite" --gtest_shuffle --gtest_repeat=3 \
  --gtest_brief=1
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT # a suite below that fails ends them too
for suite in build/test/tests/*/*_test build/test/tests/*/*_tests; do
  [ -x "$suite" ] && [ "$suite" != "$console_suite" ] && [ "$suite" != "$ports_suite" ] || continue
  echo "-- $(basename "$suite")"
  "$suite" --gtest_shuffle --gtest_repeat=3 --gtest_brief=1
done
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    echo "-- $(basename "${logs[$i]}" .log): $(grep -c '^\[  PASSED  \]' "${logs[$i]}") run(s) passed"
  else
    echo "-- $(basename "${logs[$i]}" .log) failed:"
    cat "${logs[$i]}"
    failed=1
  fi
done
trap - EXIT
[ "$failed" = 0 ]

echo "== address and undefined-behaviour sanitizers"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTR_SANITIZE=ON -DTR_BENCH=OFF
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"

if ! wait "$qt_build"; then
  cat build/qt-windows.log
  exit 1
fi
scripts/test-windows.sh

echo "== fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTR_CONSOLE=OFF -DTR_TESTS=OFF -DTR_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined"
cmake --build build/fuzz -j"$jobs"
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "build/fuzz/corpus/$name"
  echo "-- $name, 30 s"
  "$target" -max_total_time=30 -print_final_stats=1 "build/fuzz/corpus/$name" 2>&1 | tail -n 3
done

echo "== Debian package"
scripts/package.sh
scripts/check-package.sh

echo "== all tests passed"

#!/usr/bin/env bash
# Builds everything and runs every test: a normal build (each suite also once as one shuffled
# process), an address/undefined-sanitizer build, the link's Windows build under wine, the fuzz
# targets for 30 seconds each, and the Debian package, checked and run unpacked.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=2
export QT_QPA_PLATFORM=offscreen

echo "== normal build"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

# CTest runs every test in a process of its own; here each suite runs once as one process, in
# shuffled order three times over, so that nothing one test leaves behind (a timer, a message
# sink, a handler) can reach another.
echo "== each suite in one process, shuffled, three times"
for suite in build/test/tests/*/*_test build/test/tests/*/*_tests; do
  [ -x "$suite" ] || continue
  echo "-- $(basename "$suite")"
  "$suite" --gtest_shuffle --gtest_repeat=3 --gtest_brief=1
done

echo "== address and undefined-behaviour sanitizers"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTR_SANITIZE=ON -DTR_BENCH=OFF
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"

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

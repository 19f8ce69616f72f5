#!/usr/bin/env bash
# Builds both libraries and runs every test: unit, sanitizer, fuzz, differential, the export
# tables of both builds, and the integration and JVM tests against the throwaway directory
# (which the test run starts and stops itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVISTAL_BUILD_DIR:-$root/build}
jobs=${ORVISTAL_JOBS:-2}

bash "$root/scripts/install-packages.sh"

echo "== sanitizer build: unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$build/asan" -DCMAKE_BUILD_TYPE=Debug -DORVISTAL_SANITIZE=ON >/dev/null
cmake --build "$build/asan" -j"$jobs" --target orvistal_unit_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$build/asan/tests/unit/orvistal_unit_tests" --gtest_brief=1

if [ -f "$root/tests/fuzz/run.sh" ]; then
  echo "== fuzzing (bounded)"
  FUZZ_SECONDS=${FUZZ_SECONDS:-60} FUZZ_BUILD_DIR="$build/fuzz" bash "$root/tests/fuzz/run.sh"
fi

echo "== main build (Linux library, Windows library, Java) and all tests"
cmake -S "$root" -B "$build/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVISTAL_BENCH=ON >/dev/null
cmake --build "$build/main" -j"$jobs"
ctest --test-dir "$build/main" --output-on-failure -j1

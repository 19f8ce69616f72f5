#!/usr/bin/env bash
# Builds the libraries and the jar and runs every test: unit, sanitizer, fuzz, differential, the export
# tables of the three libraries, the jar, and the integration and JVM tests against the throwaway directory
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
# The locator's DNS reading against a hostile server, under the sanitizers.
ASAN_OPTIONS=detect_leaks=1 bash "$root/tests/locator/with-hostile-dns.sh" \
  "$build/asan/tests/unit/orvistal_unit_tests" --gtest_brief=1 --gtest_filter='HostileDns.*'

if [ -f "$root/tests/fuzz/run.sh" ]; then
  echo "== fuzzing (bounded)"
  FUZZ_SECONDS=${FUZZ_SECONDS:-60} FUZZ_BUILD_DIR="$build/fuzz" bash "$root/tests/fuzz/run.sh"
fi

echo "== main build (Linux library, Windows library, Java) and all tests"
cmake -S "$root" -B "$build/main" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVISTAL_BENCH=ON >/dev/null
cmake --build "$build/main" -j"$jobs"
ctest --test-dir "$build/main" --output-on-failure -j1

echo "== ThreadSanitizer build: every integration test, the many-thread ones above all"
# The whole binary: about 75 s under the sanitizer against the directory. libldap, SASL and
# Kerberos are not instrumented; no report has needed a suppression so far.
cmake -S "$root" -B "$build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVISTAL_TSAN=ON >/dev/null
cmake --build "$build/tsan" -j"$jobs" --target orvistal_integration_tests
# The directory is started for this step unless it runs already, and stopped only if this step
# started it.
bash "$root/tests/directory/fixture.sh" start
tsan_status=0
(
  eval "$(bash "$root/tests/directory/dc.sh" env)"
  export LDAPURI="ldaps://$ORVISTAL_TEST_SERVER"
  export TSAN_OPTIONS="second_deadlock_stack=1"
  "$build/tsan/tests/integration/orvistal_integration_tests" --gtest_brief=1
) || tsan_status=$?
bash "$root/tests/directory/fixture.sh" stop
exit "$tsan_status"

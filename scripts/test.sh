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

echo "== ThreadSanitizer build: the integration tests that call from many threads"
# The tests that run calls on several threads at once (a bounded subset: the whole binary is
# slow under the sanitizer). libldap, SASL and Kerberos are not instrumented; what the
# suppressions file silences there is explained entry by entry.
tsan_tests='Reliability.*:Binding.ManyThreadsBindAtOnce:Binding.ADroppedConnectionIsReplacedButAWriteIsNeverResent'
tsan_tests+=':SearchWalk.TheExtendedErrorBelongsToItsThreadAndNeverOutlivesARow'
tsan_tests+=':UserContainers.EightThreadsAtOnceGetTheSameAnswers:NodeAccess.ChecksFromEightThreadsAtOnceAgree'
cmake -S "$root" -B "$build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVISTAL_TSAN=ON >/dev/null
cmake --build "$build/tsan" -j"$jobs" --target orvistal_integration_tests
# The directory is started for this step unless it runs already, and stopped only if this step
# started it.
bash "$root/tests/directory/fixture.sh" start
tsan_status=0
(
  eval "$(bash "$root/tests/directory/dc.sh" env)"
  export LDAPURI="ldaps://$ORVISTAL_TEST_SERVER"
  export TSAN_OPTIONS="second_deadlock_stack=1 suppressions=$root/tests/integration/tsan.supp"
  "$build/tsan/tests/integration/orvistal_integration_tests" --gtest_brief=1 --gtest_filter="$tsan_tests"
) || tsan_status=$?
bash "$root/tests/directory/fixture.sh" stop
exit "$tsan_status"

#!/usr/bin/env bash
# Builds the fuzzers (the security core's descriptors, the LDAP provider's parsers) with clang
# in their own build folder and runs each for a bounded time. Exits non-zero when the fuzzer finds a crash, a sanitizer report or a broken invariant.
#   FUZZ_SECONDS  run time (default 60)    FUZZ_BUILD_DIR  build folder (default /tmp/build-fuzz)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${FUZZ_BUILD_DIR:-/tmp/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target authz_descriptor_fuzzer adsi_parsers_fuzzer

# New inputs go to a scratch corpus; the seeds in the source tree stay as committed.
for fuzzer in authz_descriptor_fuzzer adsi_parsers_fuzzer; do
  mkdir -p "$build/corpus/$fuzzer" "$build/artifacts/$fuzzer"
  # The committed seeds are security descriptors; the parser fuzzer starts from nothing.
  seeds=()
  [ "$fuzzer" = authz_descriptor_fuzzer ] && seeds=("$here/corpus")
  "$build/$fuzzer" "$build/corpus/$fuzzer" "${seeds[@]}" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/$fuzzer/" -print_final_stats=1
done

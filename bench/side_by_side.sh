#!/usr/bin/env bash
# The side-by-side benchmark in one command: builds what it needs, starts the test directory
# unless it is running (and stops it afterwards only if it started it), runs the LDAP floor, the
# library's operation counts and the JVM program, and prints one table per native and the
# throughput table. Case names given as arguments (`side_by_side.sh wGetNodeGuid "wSearchNodes"`) run
# only those. Build tree: $ORVISTAL_BUILD_DIR, default build/main.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVISTAL_BUILD_DIR:-$root/build/main}
dc=$root/tests/directory/dc.sh

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVISTAL_BENCH=ON >/dev/null
nice cmake --build "$build" -j2 --target Orvistal orvistal_floor_bench orvistal_operation_counts orvistal_bench_seed orvistal_jvm_bench \
  >/dev/null

started=0
if ! bash "$dc" status >/dev/null 2>&1; then
  bash "$dc" start
  started=1
fi
stop_if_started() {
  if [ "$started" = 1 ]; then bash "$dc" stop; fi
}
trap stop_if_started EXIT
eval "$(bash "$dc" env)"
# The test directory is also this machine's default directory, as a domain member's DC is: logons
# (LogonUserW, under wCheckNodeAccess) go there.
export LDAPURI=ldaps://$ORVISTAL_TEST_SERVER

# JNDI's LDAPS connections verify the directory's certificate through a trust store made from its CA.
# shellcheck disable=SC1091
source "$build/bench/jvm_bench.env"
out=$(mktemp -d)
trap 'rm -rf "$out"; stop_if_started' EXIT
"$ORVISTAL_BENCH_JDK/bin/keytool" -importcert -noprompt -alias orvistal-test-ca -file "$LDAPTLS_CACERT" \
  -keystore "$out/truststore.p12" -storetype PKCS12 -storepass orvistal-bench >/dev/null 2>&1

# The benchmarks' own objects (bench_objects.h): the first run on a directory makes them (a few
# minutes), later runs find them.
"$build/bench/orvistal_bench_seed"

# A program that fails a case still prints the others; the merged table shows which failed.
status=0
echo "library LDAP operation counts..." >&2
"$build/bench/orvistal_operation_counts" "$@" >"$out/ops.tsv" || status=1
# The JVM program runs each case's floor (libldap on one open StartTLS connection) just before the
# library and JNDI run it: all three meet the machine under much the same load.
echo "JVM: the floor, the library and JNDI pooled, latency and throughput (several minutes)..." >&2
"$ORVISTAL_BENCH_JDK/bin/java" -Dorvistal.library="$ORVISTAL_BENCH_LIBRARY" \
  -Dorvistal.bench.floor="$build/bench/orvistal_floor_bench" \
  -Djavax.net.ssl.trustStore="$out/truststore.p12" -Djavax.net.ssl.trustStorePassword=orvistal-bench \
  -cp "$ORVISTAL_BENCH_CLASSPATH" orvistal.bench.SideBySide "$@" >"$out/jvm.tsv" || status=1

python3 "$root/bench/merge_tables.py" "$out/ops.tsv" "$out/jvm.tsv"
exit $status

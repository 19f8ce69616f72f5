#!/usr/bin/env bash
# A fresh JVM with nothing but the jar on its class path (no library path, no property) runs the
# README's example against the test directory: wInit must return 0, from the bundled library's
# verified copy in a private directory of the cache. With `tampered`, a damaged copy waits there
# first: it must be replaced, never loaded (loading it would fail the run), and the next run
# reuses the replacement.
# usage: load_from_jar.sh fresh|tampered JAR JAVA CACHE
set -euo pipefail
mode=$1 jar=$2 java=$3 cache=$4
here=$(cd "$(dirname "$0")" && pwd)
digest=$(unzip -p "$jar" kestrivane/qom/userstoreproxy/multidomain/native/linux-x86_64/libOrvistal.so.sha256 |
         cut -d' ' -f1)
copy=$cache/orvistal/$digest/libOrvistal.so
rm -rf "$cache"
if [ "$mode" = tampered ]; then
  install -d -m 700 "$(dirname "$copy")"
  head -c 65536 /dev/urandom > "$copy"
fi
export XDG_CACHE_HOME=$cache AD_PASSWORD=$ORVISTAL_TEST_BIND_PASSWORD
# Nothing but the system's libraries, or those a caller names (other_libldap_name.sh).
export LD_LIBRARY_PATH=${ORVISTAL_JAR_LIBRARY_PATH:-}
run() { (cd "$here" && "$java" -cp "$jar" Hello.java "$ORVISTAL_TEST_BIND_USER" "$ORVISTAL_TEST_SERVER"); }
run
echo "$digest  $copy" | sha256sum --quiet -c || { echo "FAIL: $copy does not match the jar's checksum"; exit 1; }
for directory in "$cache/orvistal" "$(dirname "$copy")"; do
  [ "$(stat -c %a "$directory")" = 700 ] || { echo "FAIL: $directory is not owner-only"; exit 1; }
done
if [ "$mode" = tampered ]; then
  placed=$(stat -c %i "$copy")
  run
  [ "$(stat -c %i "$copy")" = "$placed" ] || { echo "FAIL: an intact copy was written again"; exit 1; }
fi
echo "OK: loaded from $copy"

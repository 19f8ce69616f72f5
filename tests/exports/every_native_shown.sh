#!/usr/bin/env bash
# Every implemented native is shown by the demo and measured by the side-by-side benchmark (the
# floor, the library's cases and the JVM program's cases): a native added without them fails here.
# usage: every_native_shown.sh NATIVES_LIST SOURCE_ROOT
set -euo pipefail
list=$1 root=$2
missing=0
for native in $(awk '{sub(/.*_Orvistal_/, "", $1); print $1}' "$list"); do
  if ! grep -q "\.$native(" "$root/java/src/orvistal/demo/Demo.java"; then
    echo "FAIL: the demo does not call $native" >&2
    missing=1
  fi
  for table in bench/floor_bench.cpp bench/library_cases.h bench/java/orvistal/bench/SideBySide.java; do
    if ! grep -Eq "\"$native( [^\"]*)?\"" "$root/$table"; then
      echo "FAIL: $table has no case named $native" >&2
      missing=1
    fi
  done
done
exit $missing

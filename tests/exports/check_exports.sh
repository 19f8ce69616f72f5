#!/usr/bin/env bash
# Compares a built library's export table with the list of implemented natives.
# usage: check_exports.sh linux|windows LIBRARY NATIVES_LIST
set -euo pipefail
kind=$1 library=$2 list=$3
expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
case $kind in
  linux)
    awk '{print $1}' "$list" | sort > "$expected"
    nm -D --defined-only "$library" | awk '{print $3}' | sort > "$actual" ;;
  windows)
    awk '{print $2}' "$list" | sort > "$expected"
    i686-w64-mingw32-objdump -p "$library" |
      awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on && !/^\t/ {on=0}' |
      sort > "$actual" ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
if ! diff -u "$expected" "$actual"; then
  echo "FAIL: $kind export table of $library differs from the implemented natives" >&2
  exit 1
fi
echo "OK: $(wc -l < "$actual") exports of $library match"
